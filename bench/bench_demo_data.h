#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "tools/datakit/demo_data.h"

namespace bench_support {

// The demo data, written once per run of a benchmark program into a folder
// of the temporary directory ("<prefix>-<pid>"), which goes again when the
// program ends. The folder's path lives in the same object as the clean-up,
// so the clean-up can never run after the path is gone.
class DemoDataFolder {
public:
    explicit DemoDataFolder(const std::string& prefix)
        : m_path(std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(::getpid())))
    {
        std::string error;
        if (!datakit::make_demo_data(m_path, error)) {
            Remove();
            throw std::runtime_error(error);
        }
    }
    ~DemoDataFolder() { Remove(); }
    DemoDataFolder(const DemoDataFolder&) = delete;
    DemoDataFolder& operator=(const DemoDataFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    void Remove()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }

    std::filesystem::path m_path;
};

} // namespace bench_support
