// The checked-in record of whole races (tests/tools/race_outcomes.txt): each
// race it lists is run with the built runner on the demo data and its
// classification and state hash are compared with the record exactly, so
// that a change to the simulation or the race that moves a race shows here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/demo_data.h"

#if defined(TORVANE_RACESIM_PATH) && defined(TORVANE_RACE_OUTCOMES)

namespace {

constexpr const char* kRemake = "If the change is meant to move races, remake the record with\n"
                                "  tools/record_race_outcomes\n"
                                "and give the reason in the commit message.";

// One race of the record: the runner's arguments and the lines it printed.
struct RecordedRace {
    std::string arguments;
    std::vector<std::string> lines;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The races of the record; comment lines start with '#'. A line before the
// first race line is a fault of the record.
std::vector<RecordedRace> ReadRecord(const std::filesystem::path& path, std::string& error)
{
    std::vector<RecordedRace> races;
    int number = 0;
    for (const std::string& line : Lines(ReadFile(path))) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("race ", 0) == 0) {
            races.push_back({line.substr(5), {}});
        } else if (races.empty()) {
            error = "line " + std::to_string(number) + " comes before any race line: " + line;
            return {};
        } else {
            races.back().lines.push_back(line);
        }
    }
    return races;
}

// The runner's output for a race, its summary cut after the simulated time
// (the wall time and speed vary), as the record keeps it.
std::vector<std::string> RunRace(const std::filesystem::path& data, const std::filesystem::path& dir,
                                 const std::string& arguments, int& status)
{
    const std::filesystem::path out = dir / "out.txt";
    const std::filesystem::path err = dir / "err.txt";
    const std::string command = std::string("'") + TORVANE_RACESIM_PATH + "' --data '" + data.string() + "' " +
                                arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::vector<std::string> lines = Lines(ReadFile(out));
    for (std::string& line : lines) {
        const std::size_t wall = line.find(" wall=");
        if (line.rfind("hash=", 0) == 0 && wall != std::string::npos)
            line.erase(wall);
    }
    for (const std::string& line : Lines(ReadFile(err)))
        lines.push_back("stderr: " + line);
    return lines;
}

// The lines that differ: "-" as recorded, "+" as run now.
std::string Difference(const std::vector<std::string>& recorded, const std::vector<std::string>& now)
{
    std::string text;
    const std::size_t n = std::max(recorded.size(), now.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string* a = i < recorded.size() ? &recorded[i] : nullptr;
        const std::string* b = i < now.size() ? &now[i] : nullptr;
        if (a && b && *a == *b)
            continue;
        if (a)
            text += "- " + *a + "\n";
        if (b)
            text += "+ " + *b + "\n";
    }
    return text;
}

TEST(RaceOutcomeTest, RacesOnTheDemoDataRunAsRecorded)
{
    std::string error;
    const std::vector<RecordedRace> races = ReadRecord(TORVANE_RACE_OUTCOMES, error);
    ASSERT_TRUE(error.empty()) << TORVANE_RACE_OUTCOMES << ": " << error;
    ASSERT_GE(races.size(), 3u) << TORVANE_RACE_OUTCOMES << " holds too few races";

    const std::filesystem::path dir = torvane_test::make_temp_dir("outcomes");
    ASSERT_TRUE(torvane_test::install_demo_data(dir / "data", error)) << error;
    for (const RecordedRace& race : races) {
        ASSERT_FALSE(race.lines.empty()) << "the record holds no result for race " << race.arguments << "\n"
                                         << kRemake;
        int status = -1;
        const std::vector<std::string> now = RunRace(dir / "data", dir, race.arguments, status);
        EXPECT_EQ(status, 0) << "torvane-racesim " << race.arguments;
        // Only the lines that differ are shown.
        EXPECT_TRUE(now == race.lines) << "torvane-racesim " << race.arguments
                                       << " no longer runs as recorded in " << TORVANE_RACE_OUTCOMES
                                       << " (- recorded, + now):\n"
                                       << Difference(race.lines, now) << kRemake;
    }
}

} // namespace

#endif
