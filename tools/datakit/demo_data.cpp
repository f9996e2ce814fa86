#include "tools/datakit/demo_data.h"

#include <system_error>

namespace datakit {

bool make_demo_data(const std::filesystem::path& root, std::string& error)
{
    for (const char* folder : {"Data", "Gfx", "Sfx", "menu"}) {
        std::error_code ec;
        std::filesystem::create_directories(root / folder, ec);
        if (ec) {
            error = "cannot create \"" + (root / folder).string() + "\": " + ec.message();
            return false;
        }
    }
    return true;
}

} // namespace datakit
