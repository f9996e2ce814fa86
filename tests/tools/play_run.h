// Runs the built headless player on a copy of the demo data and reads its
// log back: shared by the scripted plays of the tools' tests.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace torvane_test {

struct PlayRun {
    int status = -1;
    std::vector<std::string> lines; // the log
    std::string errors;
};

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The player run in `dir` (its "data" folder, its output files) with the
// settings folder `home` and the steps and options of `arguments`.
inline PlayRun RunPlay(const std::filesystem::path& dir, const std::filesystem::path& home,
                       const std::string& arguments)
{
    PlayRun run;
#ifdef TORVANE_PLAY_PATH
    const std::filesystem::path out = dir / "out.txt";
    const std::filesystem::path err = dir / "err.txt";
    const std::string command = std::string("'") + TORVANE_PLAY_PATH + "' --data '" + (dir / "data").string() +
                                "' --home '" + home.string() + "' " + arguments + " >'" + out.string() + "' 2>'" +
                                err.string() + "'";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::istringstream text(ReadFile(out));
    for (std::string line; std::getline(text, line);)
        run.lines.push_back(line);
    run.errors = ReadFile(err);
#else
    (void)dir;
    (void)home;
    (void)arguments;
#endif
    return run;
}

// The log and the error output, for a failure's message.
inline std::string Log(const PlayRun& run)
{
    std::string text;
    for (const std::string& line : run.lines)
        text += line + "\n";
    return text + "(stderr)\n" + run.errors;
}

// The index of the first line at or after `from` that matches, or -1.
inline int Find(const std::vector<std::string>& lines, const std::string& pattern, int from = 0)
{
    const std::regex re(pattern);
    for (int i = std::max(from, 0); i < static_cast<int>(lines.size()); ++i)
        if (std::regex_match(lines[static_cast<std::size_t>(i)], re))
            return i;
    return -1;
}

inline int Find(const PlayRun& run, const std::string& pattern, int from = 0)
{
    return Find(run.lines, pattern, from);
}

} // namespace torvane_test
