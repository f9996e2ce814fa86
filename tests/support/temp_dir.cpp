#include "tests/support/temp_dir.h"

#include "platform/fault_seam.h"
#include "platform/message_box.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace torvane_test {

const std::filesystem::path& temp_root()
{
    // Never destroyed, so the exit handler below can still use it.
    static const std::filesystem::path* const root = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "torvane-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create the test folder");
        // A process that ends through exit() (death tests, fatal error paths)
        // still removes its folder. A forked child shares the parent's
        // folder and leaves it alone.
        static const pid_t owner = getpid();
        std::atexit([] {
            if (getpid() != owner)
                return;
            std::error_code ec;
            std::filesystem::remove_all(temp_root(), ec);
        });
        return new std::filesystem::path(pattern);
    }();
    return *root;
}

std::filesystem::path make_temp_dir(const char* hint)
{
    static std::atomic<int> counter{0};
    auto dir = temp_root() / (std::string(hint) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

ScopedCwd::ScopedCwd(const std::filesystem::path& dir) : old_(std::filesystem::current_path())
{
    std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd()
{
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
}

ScopedHome::ScopedHome(const char* hint) : home_(make_temp_dir(hint))
{
    if (const char* old = std::getenv("TORVANE_HOME"))
        old_home_ = old;
    setenv("TORVANE_HOME", home_.c_str(), 1);
    platform::clear_faults();
    platform::clear_recorded_message_boxes();
}

ScopedHome::~ScopedHome()
{
    platform::clear_faults();
    setenv("TORVANE_HOME", old_home_.c_str(), 1);
}

} // namespace torvane_test
