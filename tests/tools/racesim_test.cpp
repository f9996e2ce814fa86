// End to end through the built headless race runner: the demo data made in
// a temporary folder, the program run on it, its output read back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_circuits.h"
#include "tests/support/demo_data.h"

namespace {

struct SimRun {
    int status = -1;
    std::vector<std::string> lines; // standard output
    std::string errors;
};

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RaceSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef TORVANE_RACESIM_PATH
        GTEST_SKIP() << "the race runner is not built";
#endif
        dir_ = torvane_test::make_temp_dir("racesim");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_ / "data", error)) << error;
    }

    SimRun RunSim(const std::string& arguments)
    {
        SimRun run;
#ifdef TORVANE_RACESIM_PATH
        const std::filesystem::path out = dir_ / "out.txt";
        const std::filesystem::path err = dir_ / "err.txt";
        const std::string command = std::string("'") + TORVANE_RACESIM_PATH + "' --data '" + (dir_ / "data").string() +
                                    "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::istringstream text(ReadFile(out));
        for (std::string line; std::getline(text, line);)
            run.lines.push_back(line);
        run.errors = ReadFile(err);
#else
        (void)arguments;
#endif
        return run;
    }

    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

// A rider's line: 1 position, 2 rider, 3 laps, 4 time, 5 best lap, 6 status,
// 7 incidents.
const std::regex kRiderLine(R"(pos=(\d+) rider=(\d+) laps=(-?\d+) time=(\d+\.\d{3}|-) best=(\d+\.\d{3}|-) )"
                            R"(status=(finished|classified|dnf) incidents=(\d+))");
const std::regex kSummary(R"(hash=([0-9a-f]{16}) simulated=(\d+\.\d{3}) wall=(\d+\.\d{3}) speed=(\d+\.\d))");

// The fields of every rider's line of a run, in standing order.
std::vector<std::smatch> RiderFields(const SimRun& run)
{
    std::vector<std::smatch> fields;
    for (const std::string& line : run.lines) {
        std::smatch m;
        if (std::regex_match(line, m, kRiderLine))
            fields.push_back(m);
    }
    return fields;
}

// Checks a finished run: one line per rider, every position and rider once,
// numbers only, then the summary. Returns the summary's hash and simulated time.
void CheckClassification(const SimRun& run, int riders, std::string* hash, double* simulated)
{
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.lines.size(), static_cast<std::size_t>(riders) + 1) << run.errors;
    std::set<int> positions, ids;
    for (int i = 0; i < riders; ++i) {
        const std::string& line = run.lines[static_cast<std::size_t>(i)];
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kRiderLine)) << line;
        positions.insert(std::stoi(m[1]));
        ids.insert(std::stoi(m[2]));
    }
    EXPECT_EQ(positions.size(), static_cast<std::size_t>(riders)) << "every rider classified once";
    EXPECT_EQ(*positions.begin(), 1);
    EXPECT_EQ(*positions.rbegin(), riders);
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(riders));
    std::smatch m;
    ASSERT_TRUE(std::regex_match(run.lines.back(), m, kSummary)) << run.lines.back();
    *hash = m[1];
    *simulated = std::stod(m[2]);
}

class RaceSimCircuitTest : public RaceSimTest, public ::testing::WithParamInterface<const char*> {};

// A 16-rider, 3-lap race on every demo circuit runs to its end with every
// rider classified and no number that is not one.
TEST_P(RaceSimCircuitTest, SixteenRidersThreeLaps)
{
    const SimRun run = RunSim(std::string("--track ") + GetParam());
    std::string hash;
    double simulated = 0.0;
    CheckClassification(run, 16, &hash, &simulated);
    EXPECT_GT(simulated, 60.0);
    for (const std::smatch& m : RiderFields(run)) {
        // A race over laps classifies everyone, and no rider is credited
        // with more laps than the race has.
        EXPECT_NE(m[6], "dnf") << m[0];
        EXPECT_LE(std::stoi(m[3]), 3) << m[0];
    }
}

INSTANTIATE_TEST_SUITE_P(DemoCircuits, RaceSimCircuitTest, ::testing::ValuesIn(datakit::kDemoCircuitNames),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The same seed gives the same race, bit for bit.
TEST_F(RaceSimTest, SameSeedSameHash)
{
    std::string first, second;
    double a = 0.0, b = 0.0;
    CheckClassification(RunSim("--track Sugo --riders 8 --laps 2 --seed 7"), 8, &first, &a);
    CheckClassification(RunSim("--track Sugo --riders 8 --laps 2 --seed 7"), 8, &second, &b);
    EXPECT_EQ(first, second);
    EXPECT_EQ(a, b);
}

// A practice session runs its hour in fast-forward and ends; qualifying too.
TEST_F(RaceSimTest, PracticeSessionRunsItsHour)
{
    for (const char* session : {"0", "2"}) {
        std::string hash;
        double simulated = 0.0;
        CheckClassification(RunSim(std::string("--track Island --session ") + session), 16, &hash, &simulated);
        EXPECT_GE(simulated, 3600.0) << session;
        EXPECT_LT(simulated, 3604.0) << session;
    }
    // A circuit without a pit lane runs any session as a race.
    std::string hash;
    double simulated = 0.0;
    const SimRun run = RunSim("--track Sentul --session 0 --riders 4 --laps 1");
    CheckClassification(run, 4, &hash, &simulated);
    EXPECT_GT(simulated, 30.0);
    for (const std::smatch& m : RiderFields(run))
        EXPECT_NE(m[6], "dnf") << m[0];
}

// A lone rider turns a full turn every lap: after 21 laps on Sugo the
// rider used to stand still on the track and the race never ended. 22 laps
// run to the line.
TEST_F(RaceSimTest, ALoneRiderRidesALongRace)
{
    std::string hash;
    double simulated = 0.0;
    const SimRun run = RunSim("--track Sugo --session 4 --riders 1 --laps 22 --seed 1");
    CheckClassification(run, 1, &hash, &simulated);
    const std::vector<std::smatch> fields = RiderFields(run);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0][3], "22") << fields[0][0];
    EXPECT_EQ(fields[0][6], "finished") << fields[0][0] << run.errors;
    EXPECT_LT(simulated, 22 * 120.0);
}

// How each rider's race ended: the time limit cuts a race short; a race of
// session 4 classifies its riders with estimated laps, one of session 3
// leaves them unclassified, with no race time. A rider who has timed no
// lap shows no best lap.
TEST_F(RaceSimTest, StatusOfRidersTheTimeLimitStopped)
{
    struct Case {
        const char* arguments;
        const char* status;
        bool timed; // a lap timed before the limit
    };
    for (const Case& c : {Case{"--session 4 --time-limit 150", "classified", true},
                          Case{"--session 3 --time-limit 150", "dnf", true},
                          Case{"--session 4 --time-limit 30", "classified", false}}) {
        std::string hash;
        double simulated = 0.0;
        const SimRun run = RunSim(std::string("--track Sugo --riders 3 --laps 5 ") + c.arguments);
        CheckClassification(run, 3, &hash, &simulated);
        EXPECT_NE(run.errors.find("the time limit ended the race; 3 riders had not finished"), std::string::npos)
            << run.errors;
        for (const std::smatch& m : RiderFields(run)) {
            EXPECT_EQ(m[6], c.status) << c.arguments << ": " << m[0];
            EXPECT_EQ(m[4] == "-", std::string(c.status) == "dnf") << c.arguments << ": " << m[0];
            EXPECT_EQ(m[5] != "-", c.timed) << c.arguments << ": " << m[0];
            if (std::string(c.status) == "classified") {
                EXPECT_EQ(m[3], "5") << c.arguments << ": " << m[0];
            }
        }
    }
}

// A race that cannot load prints the load's message and fails; so does a
// bad command line.
TEST_F(RaceSimTest, FailedLoadAndBadArguments)
{
    std::filesystem::remove(dir() / "data" / "Data" / "Details.dat");
    std::filesystem::remove(dir() / "data" / "Data" / "Data.mix");
    SimRun run = RunSim("--track Sugo");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.lines.empty());
    EXPECT_NE(run.errors.find("Dettagli moto non trovati"), std::string::npos) << run.errors;

    run = RunSim("--riders 40");
    EXPECT_EQ(run.status, 2);
    run = RunSim("--frame-time");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("usage: torvane-racesim"), std::string::npos) << run.errors;
}

// --help prints the usage and succeeds.
TEST_F(RaceSimTest, HelpPrintsTheUsage)
{
    const SimRun run = RunSim("--help");
    EXPECT_EQ(run.status, 0);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines[0].rfind("usage: torvane-racesim", 0), 0u) << run.lines[0];
    EXPECT_TRUE(run.errors.empty()) << run.errors;
}

// The race header holds 11 characters of track name: a longer name is
// refused, where it was cut and loaded another track.
TEST_F(RaceSimTest, TrackNamesLongerThanTheHeaderAreRefused)
{
    SimRun run = RunSim("--track SugoSugoSugo");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.lines.empty());
    EXPECT_NE(run.errors.find("the track name \"SugoSugoSugo\" is too long; track names have 1 to 11 characters"),
              std::string::npos)
        << run.errors;
    run = RunSim("--track ''");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("is empty"), std::string::npos) << run.errors;
    // Eleven characters fit: the name goes to the race whole (no such track).
    run = RunSim("--track SugoSugoSug");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("SugoSugoSug"), std::string::npos) << run.errors;
}

} // namespace
