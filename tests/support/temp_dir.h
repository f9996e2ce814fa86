#pragma once
#include <filesystem>

namespace torvane_test {

// The test process's own temporary folder; everything a test writes goes
// below it. Created before the first test, removed when the process ends.
const std::filesystem::path& temp_root();

// A fresh, empty sub-folder of temp_root() for one test.
std::filesystem::path make_temp_dir(const char* hint = "t");

// Changes the working directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::filesystem::path& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;
private:
    std::filesystem::path old_;
};

} // namespace torvane_test
