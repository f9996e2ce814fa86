#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "tools/datakit/demo_data.h"

namespace torvane_test {

// Puts the demo data as shipped into `dir`: a copy of the set the build made
// (build/data, complete once its ".made" stamp is there; the tests that use
// this depend on it, so it is as new as the kit they link), or, without one,
// written by the data kit itself. Copying takes a fraction of the time the
// kit needs to make the whole world again for every test.
inline bool install_demo_data(const std::filesystem::path& dir, std::string& error)
{
#ifdef TORVANE_BUILT_DEMO_DATA
    const std::filesystem::path built = TORVANE_BUILT_DEMO_DATA;
    std::error_code ec;
    if (std::filesystem::exists(built / ".made", ec)) {
        std::filesystem::create_directories(dir, ec);
        for (const auto& entry : std::filesystem::directory_iterator(built, ec)) {
            if (entry.path().filename() == ".made")
                continue;
            std::filesystem::copy(entry.path(), dir / entry.path().filename(),
                                  std::filesystem::copy_options::recursive |
                                      std::filesystem::copy_options::overwrite_existing,
                                  ec);
            if (ec) {
                error = "cannot copy \"" + entry.path().string() + "\": " + ec.message();
                return false;
            }
        }
        if (!ec)
            return true;
        error = "cannot read \"" + built.string() + "\": " + ec.message();
        return false;
    }
#endif
    return datakit::make_demo_data(dir, error);
}

} // namespace torvane_test
