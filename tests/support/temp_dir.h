#pragma once
#include <filesystem>
#include <string>

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

// Points TORVANE_HOME (the settings folder) at a fresh temporary folder for
// the lifetime of the object, with no armed faults and no recorded message
// boxes, and puts the old value back afterwards.
class ScopedHome {
public:
    explicit ScopedHome(const char* hint = "home");
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;
    const std::filesystem::path& path() const { return home_; }

private:
    std::filesystem::path home_;
    std::string old_home_;
};

} // namespace torvane_test
