// The headless race with its sounds, on SDL's dummy audio driver (the test
// main chooses it): everything loads as the race names it, and the race
// ends as it does without sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/demo_data.h"
#include "tools/racesim/race_sim.h"

#ifdef TORVANE_RACESIM_PATH

namespace {

// The largest sample of a recorded 16-bit ".wav" (its data after the
// 44-byte header the recorder writes).
int Peak(const std::vector<char>& wav)
{
    int most = 0;
    for (std::size_t i = 44; i + 1 < wav.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(static_cast<std::uint8_t>(wav[i]) |
                                                 (static_cast<std::uint8_t>(wav[i + 1]) << 8));
        most = std::max(most, std::abs(static_cast<int>(v)));
    }
    return most;
}

} // namespace

TEST(RaceSimSound, ARaceWithItsSoundsEndsAsOneWithout)
{
    const std::filesystem::path data = torvane_test::make_temp_dir("sound_race") / "data";
    std::string error;
    ASSERT_TRUE(torvane_test::install_demo_data(data, error)) << error;
    racesim::Options options;
    options.data = data.string();
    options.track = "Sugo";
    options.riders = 6;
    options.laps = 1;
    const racesim::Result quiet = racesim::Run(options);
    options.sound = true;
    const racesim::Result loud = racesim::Run(options);
    ASSERT_TRUE(loud.loaded) << loud.error;
    EXPECT_EQ(loud.sound.rfind("sound: output=device samples=45 sets=5 mixed=", 0), 0u) << loud.sound;
    EXPECT_TRUE(quiet.sound.empty());
    ASSERT_EQ(quiet.riders.size(), loud.riders.size());
    for (std::size_t i = 0; i < quiet.riders.size(); ++i)
        EXPECT_EQ(racesim::FormatRider(quiet.riders[i]), racesim::FormatRider(loud.riders[i]));
    EXPECT_EQ(quiet.simulated, loud.simulated);
    EXPECT_EQ(quiet.hash, loud.hash) << "the sound's own state stays out of the race's";

    // Recorded in race time: as long as the run, and not silent.
    options.sound_record = (data.parent_path() / "race.wav").string();
    const racesim::Result recorded = racesim::Run(options);
    EXPECT_EQ(recorded.sound.rfind("sound: output=silent samples=45 sets=5 mixed=", 0), 0u) << recorded.sound;
    const auto bytes = std::filesystem::file_size(options.sound_record);
    EXPECT_GT(static_cast<double>(bytes), recorded.simulated * 22050 * 4);
    std::ifstream in(options.sound_record, std::ios::binary);
    std::vector<char> wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::any_of(wav.begin() + 44, wav.end(), [](char c) { return c != 0; }));
    for (std::size_t i = 0; i < quiet.riders.size(); ++i)
        EXPECT_EQ(racesim::FormatRider(quiet.riders[i]), racesim::FormatRider(recorded.riders[i]));
    EXPECT_LT(Peak(wav), 32767) << "the race's mix reaches full scale";
}

// The loudest moments of a race (the start beeps over the engines) and of
// an arcade race with its music on top stay below full scale.
TEST(RaceSimSound, RecordedRacesNeverReachFullScale)
{
    const std::filesystem::path data = torvane_test::make_temp_dir("sound_peak") / "data";
    std::string error;
    ASSERT_TRUE(torvane_test::install_demo_data(data, error)) << error;
    for (const int session : {4, 6}) {
        racesim::Options options;
        options.data = data.string();
        options.track = "Sugo";
        options.riders = 4;
        options.laps = 1;
        options.session = session;
        options.sound = true;
        options.sound_record = (data.parent_path() / ("race" + std::to_string(session) + ".wav")).string();
        const racesim::Result result = racesim::Run(options);
        ASSERT_TRUE(result.loaded) << result.error;
        std::ifstream in(options.sound_record, std::ios::binary);
        const std::vector<char> wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const int peak = Peak(wav);
        EXPECT_GT(peak, 8000) << "session " << session << ": the race is heard";
        EXPECT_LT(peak, 32767) << "session " << session << ": the mix reaches full scale";
    }
}

#endif
