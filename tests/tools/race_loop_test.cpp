// Whole races of computer riders through the race loop (the race's own Load,
// Begin and Update, as the game runs them) on the demo data, with the speed
// profile the race builds for its riders: a table of circuits and frame
// times. The runner runs the same races over every circuit and seed; here a
// few circuits keep the sanitizer build's run short.
#include <gtest/gtest.h>

#ifdef TORVANE_RACESIM_PATH

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "input/input_manager.h"
#include "race/race.h"
#include "sim/bike.h"
#include "sim/race_context.h"
#include "sim/rider_states.h"
#include "sim/track.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tests/support/demo_data.h"
#include "tools/racesim/race_sim.h"

namespace {

constexpr int kRiders = 16;
constexpr int kLaps = 3;
// Every rider covers this much of the lap in every 10 s it rides through.
constexpr double kWindow = 10.0; // s
constexpr float kLeastProgress = 100.0f; // m
// A fallen rider is riding again within this time.
constexpr double kLongestOff = 40.0; // s

// The demo data, made once for the test process.
const std::filesystem::path& DemoData()
{
    static const std::filesystem::path data = [] {
        const std::filesystem::path dir = torvane_test::make_temp_dir("demo") / "data";
        std::string error;
        EXPECT_TRUE(torvane_test::install_demo_data(dir, error)) << error;
        return dir;
    }();
    return data;
}

// True when the ground under the point belongs to the path (between its
// edges). The query moves the path's search hint, which is race state, so
// the hint is put back.
bool OnThePath(Track& path, const Vec3& point, float hint)
{
    const int hintSection = path.LastSection;
    const float height = path.Query(&point, nullptr, hint, nullptr);
    path.LastSection = hintSection;
    return height != kTrackNone;
}

// Watches the riders frame by frame from the green light: each stays on
// the circuit, inside its edges, covers ground in every 10 s it rides
// through, and after a fall rides again within 40 s, until it finishes.
class RiderWatch {
public:
    explicit RiderWatch(double frameTime) : m_frameTime(frameTime) {}

    void operator()(Race& race)
    {
        m_lapLength = race.m_Circuit.Length;
        if (!(race.LiveFlags() & kRaceRacing))
            return;
        const int riders = race.RiderCount();
        m_windowStart.resize(static_cast<std::size_t>(riders), -1.0f);
        m_rodeWindow.resize(static_cast<std::size_t>(riders), true);
        m_offSince.resize(static_cast<std::size_t>(riders), -1.0);
        const double now = static_cast<double>(++m_frames) * m_frameTime;
        const bool windowEnds = now >= m_nextWindow;
        for (int i = 0; i < riders; ++i) {
            const Bike& b = race.m_pBikes[i];
            if (b.Status & kBikeFinished)
                continue;
            const std::string who = "rider " + std::to_string(i) + " at " + std::to_string(now) + " s: ";
            if (b.Path != &race.m_Circuit) {
                Fault(who + "left the circuit for the pit lane");
                continue;
            }
            if (!OnThePath(race.m_Circuit, b.Position, b.Progress))
                Fault(who + "beyond the circuit's edges");
            const auto k = static_cast<std::size_t>(i);
            const bool riding = b.RiderState == kRiderRiding;
            double& offSince = m_offSince[k];
            if (riding) {
                offSince = -1.0;
            } else {
                m_rodeWindow[k] = false;
                if (offSince < 0.0)
                    offSince = now;
                else if (now - offSince > kLongestOff && now - offSince - m_frameTime <= kLongestOff)
                    Fault(who + "not riding again " + std::to_string(kLongestOff) + " s after a fall (state " +
                          std::to_string(b.RiderState) + ")");
            }
            const float travelled = static_cast<float>(b.Laps) * m_lapLength + b.Progress;
            float& start = m_windowStart[k];
            if (windowEnds) {
                if (start >= -0.5f && m_rodeWindow[k] && travelled - start < kLeastProgress)
                    Fault(who + "covered " + std::to_string(travelled - start) + " m in the last 10 s");
                start = travelled;
                m_rodeWindow[k] = riding;
            } else if (start < -0.5f) {
                start = travelled;
            }
        }
        if (windowEnds)
            m_nextWindow += kWindow;
    }

    float LapLength() const { return m_lapLength; }
    const std::vector<std::string>& Faults() const { return m_faults; }
    int FaultCount() const { return m_faultCount; }

private:
    void Fault(const std::string& what)
    {
        if (m_faults.size() < 20)
            m_faults.push_back(what);
        ++m_faultCount;
    }

    double m_frameTime;
    long long m_frames = 0;
    double m_nextWindow = kWindow;
    float m_lapLength = 0.0f;
    std::vector<float> m_windowStart; // by bike; below 0: not started
    std::vector<bool> m_rodeWindow;   // by bike: riding all through the window so far
    std::vector<double> m_offSince;   // by bike: when it stopped riding; below 0: riding
    std::vector<std::string> m_faults;
    int m_faultCount = 0;
};

struct WatchedRace {
    racesim::Result result;
    float lapLength = 0.0f;
    std::vector<std::string> faults;
    int faultCount = 0;
};

// One race of 16 computer riders over 3 laps, seed 1, at `framesPerSecond`,
// kept for the test process (the 1/60 s race of a circuit is every frame
// time's reference).
const WatchedRace& RaceOn(const std::string& track, int framesPerSecond)
{
    static std::map<std::pair<std::string, int>, WatchedRace> races;
    const auto key = std::make_pair(track, framesPerSecond);
    const auto found = races.find(key);
    if (found != races.end())
        return found->second;

    racesim::Options options;
    options.data = DemoData().string();
    options.track = track;
    options.riders = kRiders;
    options.laps = kLaps;
    options.seed = 1;
    options.frame_time = 1.0 / framesPerSecond;
    RiderWatch watch(options.frame_time);
    options.after_frame = [&watch](Race& race) { watch(race); };
    WatchedRace race;
    {
        torvane_test::FpTraps traps;
        race.result = racesim::Run(options);
    }
    race.lapLength = watch.LapLength();
    race.faults = watch.Faults();
    race.faultCount = watch.FaultCount();
    return races.emplace(key, std::move(race)).first->second;
}

std::string Describe(const WatchedRace& race)
{
    std::string text;
    for (const racesim::RiderLine& line : race.result.riders)
        text += racesim::FormatRider(line) + "\n";
    for (const std::string& fault : race.faults)
        text += fault + "\n";
    if (race.faultCount > static_cast<int>(race.faults.size()))
        text += "... " + std::to_string(race.faultCount) + " faults in all\n";
    return text;
}

struct RaceCase {
    const char* track;
    int framesPerSecond;
};

void PrintTo(const RaceCase& c, std::ostream* out)
{
    *out << c.track << " at 1/" << c.framesPerSecond << " s";
}

class RaceLoopTest : public ::testing::TestWithParam<RaceCase> {};

// A race holds together at any frame time: everyone finishes on the track,
// close together, with few incidents, at a grand prix bike's pace, and the
// frame time hardly moves the winner's time.
TEST_P(RaceLoopTest, SixteenRidersFinishThreeLapsTogether)
{
    const RaceCase c = GetParam();
    const WatchedRace& race = RaceOn(c.track, c.framesPerSecond);
    const racesim::Result& r = race.result;
    ASSERT_TRUE(r.loaded) << r.error;
    ASSERT_TRUE(r.non_finite.empty()) << r.non_finite << " at " << r.non_finite_time << " s";
    ASSERT_FALSE(r.time_limit_reached) << Describe(race);
    ASSERT_EQ(r.riders.size(), static_cast<std::size_t>(kRiders));
    ASSERT_GT(race.lapLength, 1000.0f);

    // Riders keep to the circuit, inside its edges, and keep riding.
    EXPECT_EQ(race.faultCount, 0) << Describe(race);

    float winner = r.riders.front().race_time;
    float last = 0.0f;
    int incidents = 0;
    for (const racesim::RiderLine& line : r.riders) {
        const std::string text = racesim::FormatRider(line);
        EXPECT_EQ(line.status, racesim::RiderStatus::Finished) << text;
        EXPECT_EQ(line.laps, kLaps) << text;
        winner = std::min(winner, line.race_time);
        last = std::max(last, line.race_time);
        incidents += line.incidents;
        ASSERT_LT(line.best_lap, kNoLapTime) << text;
        const double kmh = race.lapLength / line.best_lap * 3.6;
        EXPECT_GE(kmh, 130.0) << text;
        EXPECT_LE(kmh, 190.0) << text;
    }
    EXPECT_LE(last, 1.2f * winner) << Describe(race);
    EXPECT_LE(incidents, 2) << Describe(race);

    if (c.framesPerSecond != 60) {
        const WatchedRace& reference = RaceOn(c.track, 60);
        ASSERT_FALSE(reference.result.riders.empty());
        float referenceWinner = reference.result.riders.front().race_time;
        for (const racesim::RiderLine& line : reference.result.riders)
            referenceWinner = std::min(referenceWinner, line.race_time);
        EXPECT_NEAR(winner, referenceWinner, 0.03f * referenceWinner) << "the winner's time against the 1/60 s race";
    }
}

INSTANTIATE_TEST_SUITE_P(DemoCircuits, RaceLoopTest,
                         ::testing::Values(RaceCase{"Island", 30}, RaceCase{"Island", 60}, RaceCase{"Island", 120},
                                           RaceCase{"Monza", 30}, RaceCase{"Monza", 60}, RaceCase{"Monza", 120},
                                           RaceCase{"Sugo", 30}, RaceCase{"Sugo", 60}, RaceCase{"Sugo", 120}),
                         [](const ::testing::TestParamInfo<RaceCase>& info) {
                             return std::string(info.param.track) + "_" +
                                    std::to_string(info.param.framesPerSecond) + "fps";
                         });

// The watch leaves the race as it is: a watched race ends with the same
// state, bit for bit, as one run without it.
TEST(RaceLoopWatchTest, WatchingDoesNotChangeTheRace)
{
    racesim::Options options;
    options.data = DemoData().string();
    options.track = "Sugo";
    options.riders = 4;
    options.laps = 1;
    const racesim::Result plain = racesim::Run(options);
    RiderWatch watch(options.frame_time);
    options.after_frame = [&watch](Race& race) { watch(race); };
    const racesim::Result watched = racesim::Run(options);
    ASSERT_TRUE(plain.loaded) << plain.error;
    EXPECT_EQ(plain.hash, watched.hash);
    EXPECT_GT(watch.LapLength(), 0.0f);
}

// A value that stops being finite ends the run at the frame it appears, and
// the run names the rider and the field.
TEST(RaceLoopWatchTest, ANonFiniteValueEndsTheRunAtItsFrame)
{
    racesim::Options options;
    options.data = DemoData().string();
    options.track = "Sugo";
    options.riders = 4;
    options.laps = 1;
    int frames = 0;
    float clockAtFault = -1.0f;
    options.after_frame = [&](Race& race) {
        if (++frames == 200) {
            race.m_pBikes[2].RearWheel.Tyre.Temp[1] = std::numeric_limits<float>::quiet_NaN();
            clockAtFault = TheInputManager()->m_fRaceClock;
        }
    };
    const racesim::Result r = racesim::Run(options);
    ASSERT_TRUE(r.loaded) << r.error;
    EXPECT_EQ(r.non_finite, "rider 2 (RearWheel.Tyre.Temp)");
    EXPECT_EQ(r.non_finite_time, static_cast<double>(clockAtFault));
    EXPECT_EQ(frames, 200);
}

} // namespace

#endif
