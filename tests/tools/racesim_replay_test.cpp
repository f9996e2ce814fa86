// Replays of whole races through the headless runner: a race with a
// scripted human rider recorded, saved, loaded and played back gives the
// race's state bit for bit at every frame it takes, whatever the viewer's
// frame time, after a rewind, and with the sound on or off; the runner's
// program plays a file back with the hash of the race that made it, also
// with the processor's fused multiply-add variants of the maths library
// switched off.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "input/input_manager.h"
#include "race/race.h"
#include "tests/support/demo_data.h"
#include "tests/support/temp_dir.h"
#include "tools/racesim/input_script.h"
#include "tools/racesim/race_sim.h"

#ifdef TORVANE_RACESIM_PATH

namespace {

// Full throttle, weaving, a brake now and then, shifting up and down: the
// rider leaves the road and falls more than once in the 40 s.
constexpr const char* kScript = "# t steer throttle brake gear\n"
                                "-3 0 0.5 0\n"
                                "0 0 1 0 1\n"
                                "2 0.05 1 0 1\n"
                                "4 -0.1 1 0 1\n"
                                "6 0.3 0.8 0\n"
                                "9 -0.4 1 0 1\n"
                                "12 0 0 1 -1\n"
                                "14 0.6 1 0\n"
                                "18 -0.6 1 0 1\n"
                                "23 0.2 0.5 0.5\n"
                                "27 0 1 0\n"
                                "31 -0.3 1 0 -1\n"
                                "36 0.1 1 0\n";

// The race state's hash. The race's flag word is in it twice (first, and
// in the simulation state); its replay and ending bits say how the run goes
// (a replay run has the one, and the two runs are ended on frames of their
// own), not what the race is, and are left out.
constexpr std::size_t kSimulationFlagsWord = 1 + 6;
constexpr std::uint32_t kRunFlags = kRaceFlagReplay | kRaceFlagEnding;

std::uint64_t Fnv(std::vector<std::uint32_t> words)
{
    words[0] &= ~kRunFlags;
    words[kSimulationFlagsWord] &= ~kRunFlags;
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (std::uint32_t w : words)
        for (int i = 0; i < 4; ++i) {
            h ^= (w >> (8 * i)) & 0xFF;
            h *= 0x100000001B3ull;
        }
    return h;
}

std::uint64_t StateHash(Race& race)
{
    std::vector<std::uint32_t> words(race.StateWordCount());
    race.SaveState(words.data());
    return Fnv(words);
}

class ReplayRaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = torvane_test::make_temp_dir("replay_race");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_ / "data", error)) << error;
        std::ofstream(dir_ / "script.txt") << kScript;
    }

    racesim::Options Recording() const
    {
        racesim::Options o;
        o.data = (dir_ / "data").string();
        o.track = "Sugo";
        o.riders = 4;
        o.laps = 1;
        o.time_limit = 40.0;
        o.input_script = (dir_ / "script.txt").string();
        o.replay_save = (dir_ / "race.rpl").string();
        return o;
    }
    racesim::Options Playback(double frameTime) const
    {
        racesim::Options o;
        o.data = (dir_ / "data").string();
        o.frame_time = frameTime;
        o.replay_play = (dir_ / "race.rpl").string();
        return o;
    }

    std::filesystem::path dir_;
};

// The race state after every recorded frame, by the frames recorded.
struct RecordedStates {
    std::map<int, std::uint64_t> byFrame;
    void Watch(racesim::Options& o)
    {
        o.after_frame = [this](Race& race) {
            const int n = TheInputManager()->m_nInputFrameCount;
            if (n > 0 && !byFrame.count(n))
                byFrame[n] = StateHash(race);
        };
    }
};

// Compares the state after every frame taken in playback, and every
// checkpoint, with the recording's.
struct PlaybackCheck {
    const RecordedStates& recorded;
    int compared = 0;
    int checkpoints = 0;
    int mismatches = 0;
    std::string where{}; // the first frames that differ
    int rewindAt = -1; // steps back 2.5 s once this frame index is reached
    bool rewound = false;

    void Watch(racesim::Options& o)
    {
        o.after_frame = [this](Race& race) {
            InputManager& input = *TheInputManager();
            const int index = input.m_nInputFrameIndex;
            const auto it = recorded.byFrame.find(index);
            if (index > 0 && it != recorded.byFrame.end()) {
                ++compared;
                if (StateHash(race) != it->second && ++mismatches <= 10)
                    where += " " + std::to_string(index);
            }
            if (rewindAt >= 0 && !rewound && index >= rewindAt) {
                input.ReplayCommand(7);
                input.m_fSeekAmount = 2.5f;
                input.ReplayCommand(0);
                rewound = true;
            }
            if (index < input.m_nInputFrameCount)
                return;
            for (int c = checkpoints; c < input.CheckpointCount(); ++c) {
                std::int32_t frame = 0;
                const std::uint32_t* state = input.Checkpoint(c, nullptr, &frame);
                const auto at = recorded.byFrame.find(frame);
                if (!state || at == recorded.byFrame.end())
                    continue;
                ++checkpoints;
                std::vector<std::uint32_t> words(state, state + race.StateWordCount());
                if (Fnv(words) != at->second && ++mismatches <= 10)
                    where += " checkpoint " + std::to_string(c);
            }
        };
    }
};

TEST_F(ReplayRaceTest, APlayedBackRaceIsTheRecordedRaceBitForBit)
{
    RecordedStates states;
    racesim::Options record = Recording();
    states.Watch(record);
    const racesim::Result made = racesim::Run(record);
    ASSERT_TRUE(made.loaded) << made.error;
    ASSERT_TRUE(made.replay_error.empty()) << made.replay_error;
    ASSERT_GT(made.replay_frames, 2000);
    ASSERT_TRUE(std::filesystem::exists(dir_ / "race.rpl"));

    // At the recording's frame time, at a coarser and at a finer one.
    for (double frameTime : {1.0 / 60.0, 1.0 / 23.0, 1.0 / 144.0}) {
        PlaybackCheck check{states};
        racesim::Options play = Playback(frameTime);
        check.Watch(play);
        const racesim::Result played = racesim::Run(play);
        ASSERT_TRUE(played.loaded) << played.error;
        EXPECT_EQ(played.replay_frames, made.replay_frames);
        EXPECT_EQ(played.hash, made.hash) << frameTime;
        ASSERT_EQ(played.riders.size(), made.riders.size());
        for (std::size_t i = 0; i < made.riders.size(); ++i)
            EXPECT_EQ(racesim::FormatRider(played.riders[i]), racesim::FormatRider(made.riders[i]));
        EXPECT_GT(check.compared, made.replay_frames / 4) << frameTime;
        EXPECT_GE(check.checkpoints, 30) << frameTime;
        EXPECT_EQ(check.mismatches, 0) << frameTime << ":" << check.where;
    }

    // Stepping back 2.5 s in the middle and playing on gives the same bits
    // again.
    PlaybackCheck check{states};
    check.rewindAt = made.replay_frames / 2;
    racesim::Options play = Playback(1.0 / 60.0);
    check.Watch(play);
    const racesim::Result rewound = racesim::Run(play);
    EXPECT_TRUE(check.rewound);
    EXPECT_EQ(check.mismatches, 0) << check.where;
    EXPECT_EQ(rewound.hash, made.hash);
}

// A recording that ends when the viewed bike finishes (no time limit, no
// human: the viewed bike is the first computer rider) stops with the race:
// nothing is simulated after the last recorded frame, so the replay ends
// on the recorded race's last state and prints its hash.
TEST_F(ReplayRaceTest, ARecordingEndedByTheViewedBikesFinishPlaysBackToItsHash)
{
    racesim::Options record = Recording();
    record.time_limit = 0.0;
    record.input_script.clear();
    const racesim::Result made = racesim::Run(record);
    ASSERT_TRUE(made.loaded) << made.error;
    ASSERT_FALSE(made.time_limit_reached);
    ASSERT_TRUE(made.replay_error.empty()) << made.replay_error;
    const auto viewed = std::find_if(made.riders.begin(), made.riders.end(),
                                     [](const racesim::RiderLine& line) { return line.rider == 0; });
    ASSERT_NE(viewed, made.riders.end());
    EXPECT_EQ(viewed->status, racesim::RiderStatus::Finished);
    for (double frameTime : {1.0 / 60.0, 1.0 / 23.0}) {
        const racesim::Result played = racesim::Run(Playback(frameTime));
        ASSERT_TRUE(played.loaded) << played.error;
        EXPECT_EQ(played.replay_frames, made.replay_frames) << frameTime;
        EXPECT_EQ(played.hash, made.hash) << frameTime;
    }
}

// The sound's own state never reaches the race: recorded with the sound
// on, the race is the one recorded without, and plays back the same.
TEST_F(ReplayRaceTest, TheSoundSettingChangesNothing)
{
    const racesim::Result quiet = racesim::Run(Recording());
    ASSERT_TRUE(quiet.loaded) << quiet.error;
    racesim::Options loud = Recording();
    loud.sound = true;
    loud.replay_save = (dir_ / "loud.rpl").string();
    const racesim::Result made = racesim::Run(loud);
    ASSERT_TRUE(made.loaded) << made.error;
    EXPECT_EQ(made.hash, quiet.hash);
    racesim::Options play = Playback(1.0 / 30.0);
    play.replay_play = loud.replay_save;
    play.sound = true;
    EXPECT_EQ(racesim::Run(play).hash, quiet.hash);
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The runner's program: `env` set for the run. The exit status and the
// output's hash and frame count.
struct ProgramRun {
    int status = -1;
    std::string hash, frames, errors;
};

ProgramRun RunProgram(const std::filesystem::path& dir, const std::string& env, const std::string& arguments)
{
    const std::filesystem::path out = dir / "out.txt", err = dir / "err.txt";
    const std::string command = env + " '" + TORVANE_RACESIM_PATH + "' --data '" + (dir / "data").string() + "' " +
                                arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const std::string text = ReadFile(out);
    std::smatch m;
    if (std::regex_search(text, m, std::regex("hash=([0-9a-f]{16})")))
        run.hash = m[1];
    if (std::regex_search(text, m, std::regex("replay-frames=(\\d+)")))
        run.frames = m[1];
    run.errors = ReadFile(err);
    return run;
}

TEST_F(ReplayRaceTest, TheProgramPlaysAFileBackWithTheHashOfItsRace)
{
    const std::string race = "--track Sugo --riders 4 --laps 1 --time-limit 20 --input-script '" +
                             (dir_ / "script.txt").string() + "' --replay-save '" + (dir_ / "p.rpl").string() + "'";
    const ProgramRun made = RunProgram(dir_, "", race);
    ASSERT_EQ(made.status, 0) << made.errors;
    ASSERT_FALSE(made.hash.empty());
    ASSERT_FALSE(made.frames.empty());

    // The processor's variants of the maths functions switched off: the
    // same race, and the same replay.
    const std::string noFma = "GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA";
    const ProgramRun plain = RunProgram(dir_, noFma, race + " --replay-save '" + (dir_ / "q.rpl").string() + "'");
    EXPECT_EQ(plain.hash, made.hash);
    const std::string play = "--frame-time 0.04 --replay-play '" + (dir_ / "p.rpl").string() + "'";
    for (const std::string& env : {std::string(), noFma}) {
        const ProgramRun played = RunProgram(dir_, env, play);
        EXPECT_EQ(played.status, 0) << played.errors;
        EXPECT_EQ(played.hash, made.hash) << env;
        EXPECT_EQ(played.frames, made.frames) << env;
    }

    // Bad command lines and files.
    EXPECT_EQ(RunProgram(dir_, "", play + " --input-script x").status, 2);
    // A network race's riders are driven through the lockstep exchange.
    EXPECT_EQ(RunProgram(dir_, "", play + " --net-join 127.0.0.1:1").status, 2);
    EXPECT_EQ(RunProgram(dir_, "", "--net-host 0 --replay-save x.rpl").status, 2);
    const ProgramRun unwritten =
        RunProgram(dir_, "", "--riders 2 --time-limit 2 --replay-save '" + (dir_ / "none" / "x.rpl").string() + "'");
    EXPECT_EQ(unwritten.status, 6);
    EXPECT_NE(unwritten.errors.find("could not be written"), std::string::npos) << unwritten.errors;
    const ProgramRun missing = RunProgram(dir_, "", "--replay-play '" + (dir_ / "none.rpl").string() + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.errors.find("cannot be played"), std::string::npos) << missing.errors;
    std::ofstream(dir_ / "bad.txt") << "0 2 1 0\n";
    const ProgramRun badScript = RunProgram(dir_, "", "--input-script '" + (dir_ / "bad.txt").string() + "'");
    EXPECT_EQ(badScript.status, 1);
    EXPECT_NE(badScript.errors.find("line 1: the steering is outside -1..1"), std::string::npos) << badScript.errors;
}

TEST(InputScript, LinesAndTheirErrors)
{
    std::vector<racesim::ScriptLine> lines;
    std::string why;
    ASSERT_TRUE(racesim::ParseInputScript("# c\n\n-1 0 0.5 0\n0 -0.5 1 0 1\n", lines, why)) << why;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].steer, -0.5f);
    EXPECT_EQ(lines[1].gear, 1);
    struct Case {
        const char* text;
        const char* why;
    } const cases[] = {
        {"0 0 1\n", "line 1: needs a time, a steering, a throttle and a brake value"},
        {"1 0 1 0\n0 0 1 0\n", "line 2: the time goes back"},
        {"0 0 1.5 0\n", "line 1: the throttle and the brake are 0..1"},
        {"0 0 1 0 2\n", "line 1: the gear is not -1, 0 or 1"},
        {"0 0 1 0 x\n", "line 1: the gear is not -1, 0 or 1"},
        {"0 0 1 0 1 5\n", "line 1: has more than five values"},
        {"1e9 0 1 0\n", "line 1: the time is not a race time"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(racesim::ParseInputScript(c.text, lines, why)) << c.text;
        EXPECT_EQ(why, c.why) << c.text;
    }
}

} // namespace

#endif
