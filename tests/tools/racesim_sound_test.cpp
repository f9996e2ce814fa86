// The headless race with its sounds, on SDL's dummy audio driver (the test
// main chooses it): everything loads as the race names it, and the race
// ends as it does without sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "race/race.h"
#include "sim/bike.h"
#include "sim/grid_entry.h"
#include "tests/support/cycle_hz.h"
#include "tests/support/demo_data.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_sounds.h"
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

// A recorded 16-bit ".wav": its rate, channels and samples, read by its
// chunks (false when it is not such a file).
struct Recording {
    std::uint32_t rate = 0;
    std::uint16_t channels = 0;
    std::vector<std::int16_t> samples;
};

bool ReadRecording(const std::vector<char>& wav, Recording& out)
{
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, wav.data() + at, 4);
        return v;
    };
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 || std::memcmp(wav.data() + 8, "WAVE", 4) != 0)
        return false;
    std::size_t at = 12;
    bool format = false;
    while (at + 8 <= wav.size()) {
        const std::uint32_t size = u32(at + 4);
        if (size > wav.size() - at - 8)
            return false;
        if (std::memcmp(wav.data() + at, "fmt ", 4) == 0 && size >= 16) {
            std::uint16_t bits = 0;
            std::memcpy(&out.channels, wav.data() + at + 10, 2);
            out.rate = u32(at + 12);
            std::memcpy(&bits, wav.data() + at + 22, 2);
            format = bits == 16 && out.channels > 0;
        } else if (std::memcmp(wav.data() + at, "data", 4) == 0 && format) {
            out.samples.resize(size / 2);
            std::memcpy(out.samples.data(), wav.data() + at + 8, out.samples.size() * 2);
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
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

// The viewed bike's engine in a recorded race is heard at the pitch its
// revs give. One rider (no other engine), watched onboard (the engine set
// plays unpositioned, with no Doppler); its engine revs are logged after
// every frame, which is when the frame's sound is mixed. Where the revs
// hold within 0.5 % for 0.3 s or more inside the range of one layer alone,
// that stretch of the recording is cut out and its crank cycle measured
// against the kit's layer list: a layer from `low` to `high` rpm at pitches
// `pitch low` .. `pitch high` semitones (whole semitones from the revs its
// sample was made at, reference = low x 2^(-pitch low / 12)) plays at pitch
// p = pitch low + (revs - low) / (high - low) x (pitch high - pitch low),
// its sample 2^(p / 12 + fine tune / 1536) times faster, and a four-stroke
// engine's cycle lasts two revolutions: reference / 120 x 2^(...) Hz.
TEST(RaceSimSound, TheViewedEngineIsHeardAtThePitchItsRevsGive)
{
    const std::filesystem::path data = torvane_test::make_temp_dir("sound_pitch") / "data";
    std::string error;
    ASSERT_TRUE(torvane_test::install_demo_data(data, error)) << error;
    racesim::Options options;
    options.data = data.string();
    options.track = "Sugo";
    options.riders = 1;
    options.laps = 1;
    options.camera = 1; // onboard front
    options.sound = true;
    options.sound_record = (data.parent_path() / "race.wav").string();
    std::vector<float> revs;  // by frame; -1: no viewed bike racing
    std::string model;
    options.after_frame = [&](Race& race) {
        Bike* viewed = race.ViewedBike();
        const bool racing = viewed && (race.LiveFlags() & kRaceRacing) && race.m_Camera.Mode() == 1;
        revs.push_back(racing ? viewed->EngineSoundRpm : -1.0f);
        if (viewed && viewed->GridEntry && model.empty())
            model = race.m_BikeModels[viewed->GridEntry->Model].Maker.ModelName;
    };
    const racesim::Result result = racesim::Run(options);
    ASSERT_TRUE(result.loaded) << result.error;
    ASSERT_FALSE(model.empty());
    ASSERT_EQ(static_cast<long long>(revs.size()), result.frames);

    std::ifstream in(options.sound_record, std::ios::binary);
    const std::vector<char> wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Recording recording;
    ASSERT_TRUE(ReadRecording(wav, recording));
    ASSERT_EQ(recording.channels, 2);
    ASSERT_GT(recording.rate, 0u);
    // Frame n (from 0) mixed the samples from the end of frame n - 1's to
    // (n + 1) x frame time x rate.
    const double perFrame = static_cast<double>(static_cast<float>(options.frame_time)) * recording.rate;
    const auto frameEnd = [&](std::size_t n) { return static_cast<std::size_t>((n + 1) * perFrame); };
    ASSERT_NEAR(static_cast<double>(recording.samples.size() / 2), frameEnd(revs.size() - 1), 2.0);

    // The bands of the kit's set (the last layer, the other bikes' sample,
    // has an empty range) and which of them sounds alone at given revs.
    std::vector<datakit::SoundLayerSpec> layers = datakit::demo_engine_layers(model);
    std::erase_if(layers, [](const datakit::SoundLayerSpec& l) { return l.low >= l.high; });
    ASSERT_EQ(layers.size(), 4u);
    const auto alone = [&](float r) {
        int found = -1;
        for (std::size_t i = 0; i < layers.size(); ++i) {
            if (layers[i].low <= r && r < layers[i].high) {
                if (found >= 0)
                    return -1;
                found = static_cast<int>(i);
            }
        }
        return found;
    };

    // The steady stretches, longest first; the first frame of each is left
    // out (its pitch may still glide from the last).
    struct Stretch {
        std::size_t first, last; // frames, inclusive
        int layer;
    };
    std::vector<Stretch> stretches;
    const auto needed = static_cast<std::size_t>(std::ceil(0.3 / options.frame_time));
    for (std::size_t i = 0; i < revs.size();) {
        const int layer = revs[i] > 0.0f ? alone(revs[i]) : -1;
        std::size_t j = i;
        float lo = revs[i], hi = revs[i];
        while (layer >= 0 && j + 1 < revs.size() && revs[j + 1] > 0.0f && alone(revs[j + 1]) == layer &&
               std::max(hi, revs[j + 1]) <= 1.005f * std::min(lo, revs[j + 1])) {
            ++j;
            lo = std::min(lo, revs[j]);
            hi = std::max(hi, revs[j]);
        }
        if (layer >= 0 && j - i >= needed)
            stretches.push_back({i + 1, j, layer});
        i = j + 1;
    }
    ASSERT_FALSE(stretches.empty()) << "no steady revs for 0.3 s in " << revs.size() << " frames";
    std::sort(stretches.begin(), stretches.end(),
              [](const Stretch& a, const Stretch& b) { return a.last - a.first > b.last - b.first; });
    int measured = 0;
    for (const Stretch& s : stretches) {
        if (measured == 3)
            break;
        ++measured;
        const datakit::SoundLayerSpec& l = layers[static_cast<std::size_t>(s.layer)];
        double sum = 0.0;
        for (std::size_t n = s.first; n <= s.last; ++n)
            sum += revs[n];
        const double r = sum / static_cast<double>(s.last - s.first + 1);
        const double reference = l.low * std::exp2(-l.pitch_low / 12.0);
        const double p = l.pitch_low + (r - l.low) / (l.high - l.low) * (l.pitch_high - l.pitch_low);
        const double expected = reference / 120.0 * std::exp2(p / 12.0 + l.fine_tune / 1536.0);
        const std::vector<std::int16_t> cut(recording.samples.begin() + 2 * static_cast<std::ptrdiff_t>(frameEnd(s.first - 1)),
                                            recording.samples.begin() + 2 * static_cast<std::ptrdiff_t>(frameEnd(s.last)));
        const double heard = torvane_test::CycleHz(cut, expected, recording.rate);
        EXPECT_NEAR(heard / expected, 1.0, 0.02)
            << model << " layer " << l.name << " at " << r << " rpm, frames " << s.first << ".." << s.last << ": heard "
            << heard << " Hz, expected " << expected << " Hz";
    }
}

#endif
