#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/fault_seam.h"
#include "platform/file.h"
#include "sim/bike.h"
#include "sim/race_context.h"
#include "sim/setup_files.h"
#include "sim/telemetry_file.h"
#include "tests/sim/bike_world.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"

namespace {

using bike_test::BikeWorld;

constexpr int kPracticeSession = 0;

std::string Hex(const std::uint8_t* bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

TelemetryHeader SampleHeader()
{
    TelemetryHeader h;
    h.SetTrackName("Island");
    h.Model = 3;
    h.Setup.PlayerFlags = 0x208;
    h.Setup.CrownTeeth = 40;
    h.Setup.FrontTyre = 3;
    h.AirTemperature = 30.0f;
    h.TrackTemperature = 45.5f;
    h.Weather = 1;
    return h;
}

TEST(TelemetryFileTest, HeaderIsOneHundredThirtySevenUnalignedBytesThenTwentyBytesPerSample)
{
    TelemetrySample samples[2];
    samples[0].Time = 12.5f;
    samples[0].Distance = 100.25f;
    for (int c = 0; c < 12; ++c) {
        samples[0].Channel[c] = static_cast<std::uint8_t>(c + 1);
        samples[1].Channel[c] = static_cast<std::uint8_t>(0xF0 + c);
    }
    const std::vector<std::uint8_t> bytes = TelemetryFileBytes(SampleHeader(), samples);
    ASSERT_EQ(bytes.size(), 137u + 2u * 20u);

    struct Field {
        std::size_t offset;
        const char* hex;
    } const golden[] = {
        {0, "49736c616e64000000"},   // "Island", zero-padded to 9 bytes
        {9, "03000000"},             // model, at an odd offset
        {13, "08020000"},            // set-up: player flags
        {13 + 24, "28000000"},       // set-up: crown teeth
        {13 + 100, "03000000"},      // set-up: front tyre
        {121, "0000f041"},           // air temperature 30
        {125, "00003642"},           // track temperature 45.5
        {129, "01000000"},           // weather: rain
        {133, "02000000"},           // two samples
        {137, "00004841" "0080c842" "0102030405060708090a0b0c"},
        {157, "00000000" "00000000" "f0f1f2f3f4f5f6f7f8f9fafb"},
    };
    for (const Field& f : golden) {
        const std::size_t length = std::strlen(f.hex) / 2;
        EXPECT_EQ(Hex(bytes.data() + f.offset, length), f.hex) << "at " << f.offset;
    }

    TelemetryHeader header;
    std::vector<TelemetrySample> back;
    std::string error;
    ASSERT_TRUE(ParseTelemetryFile(bytes, &header, &back, &error)) << error;
    EXPECT_EQ(header.TrackNameText(), "Island");
    EXPECT_EQ(header.Model, 3u);
    EXPECT_EQ(header.Setup.CrownTeeth, 40);
    EXPECT_EQ(header.TrackTemperature, 45.5f);
    EXPECT_EQ(header.Weather, 1u);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Distance, 100.25f);
    EXPECT_EQ(std::memcmp(back[1].Channel, samples[1].Channel, 12), 0);
}

TEST(TelemetryFileTest, TrackNameFillsNineBytesAndNeverCopiesPastItsEnd)
{
    TelemetryHeader h;
    const char buffer[20] = "Ab\0XXXXXXXXXXXXXXX";
    h.SetTrackName(std::string_view(buffer, sizeof buffer));
    std::vector<std::uint8_t> bytes = TelemetryFileBytes(h, {});
    EXPECT_EQ(Hex(bytes.data(), 9), "416200000000000000");

    h.SetTrackName("Barcelona-Catalunya"); // longer than the field: its first 9 bytes, no terminator
    bytes = TelemetryFileBytes(h, {});
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 9), "Barcelona");
    TelemetryHeader back;
    std::vector<TelemetrySample> samples;
    ASSERT_TRUE(ParseTelemetryFile(bytes, &back, &samples));
    EXPECT_EQ(back.TrackNameText(), "Barcelona");
    EXPECT_TRUE(samples.empty());
}

TEST(TelemetryFileTest, ReaderRefusesFilesWhoseCountDoesNotMatchTheirSize)
{
    const TelemetrySample three[3] = {};
    const std::vector<std::uint8_t> good = TelemetryFileBytes(SampleHeader(), three);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"shorter than the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 136)},
        {"a sample missing", std::vector<std::uint8_t>(good.begin(), good.end() - 20)},
        {"a sample cut short", std::vector<std::uint8_t>(good.begin(), good.end() - 1)},
        {"bytes after the samples", good},
        {"a count far beyond the file", good},
    };
    cases[3].bytes.push_back(0);
    cases[4].bytes[133] = 0xFF;
    cases[4].bytes[136] = 0x7F;
    for (const Case& c : cases) {
        TelemetryHeader header;
        header.Model = 99;
        std::vector<TelemetrySample> samples(1);
        std::string error;
        EXPECT_FALSE(ParseTelemetryFile(c.bytes, &header, &samples, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(header.Model, 99u) << c.what;
        EXPECT_EQ(samples.size(), 1u) << c.what;
    }
}

// A practice bike out of the pits, ready to record.
Bike& RidingPracticeBike(BikeWorld& world)
{
    world.Load("Island", kPracticeSession);
    world.MakeBikes(1, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    b.Restart();
    b.Status &= ~kBikePitPlaced; // out of the pit lane
    return b;
}

TEST(TelemetryRecordTest, ChannelsAreQuantisedToBytesThatWrapOutsideTheirRange)
{
    torvane_test::FpTraps traps;
    BikeWorld world;
    Bike& b = RidingPracticeBike(world);
    ASSERT_NE(b.Flags & kBikeTelemetry, 0u);

    struct Case {
        const char* what;
        std::uint8_t throttle, brake;
        std::int8_t gear;
        float speed, rpm, roll, pitch, accel, frontTravel, frontSpeed, rearTravel, rearSpeed;
        std::uint8_t expected[12];
    } const cases[] = {
        {"in range", 127, 0, 2, 40.0f, 12000.0f, 0.5f, -0.1f, 5.0f, 0.05f, -0.25f, -0.05f, 0.5f,
         {255, 0, 85, 108, 191, 168, 95, 149, 159, 63, 63, 255}},
        {"mid throttle and brake", 64, 100, 6, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -0.2f, -0.5f, 0.1f, 0.0f,
         {128, 200, 255, 0, 0, 127, 127, 127, 0, 0, 255, 127}},
        // Beyond its range a channel keeps the low 8 bits of its value.
        {"wrapping", 0, 0, 0, 100.0f, 20000.0f, -2.0f, 0.5f, -40.0f, 0.3f, 0.75f, -0.2f, -1.0f,
         {0, 0, 0, 14, 62, 222, 33, 211, 62, 62, 129, 129}},
    };
    for (const Case& c : cases) {
        b.TelemetryCount = 0;
        b.Controls.Throttle = c.throttle;
        b.Controls.Brake = c.brake;
        b.Gear = c.gear;
        b.Speed = c.speed;
        b.Rpm = c.rpm;
        b.Roll = c.roll;
        b.Pitch = c.pitch;
        b.Accel = c.accel;
        b.FrontWheel.Travel = c.frontTravel;
        b.FrontWheel.TravelSpeed = c.frontSpeed;
        b.RearWheel.Travel = c.rearTravel;
        b.RearWheel.TravelSpeed = c.rearSpeed;
        b.RaceTime = 61.25f;
        b.Progress = 812.5f;
        b.RecordTelemetry();
        ASSERT_EQ(b.TelemetryCount, 1) << c.what;
        const TelemetrySample& s = b.TelemetryBuffer[0];
        EXPECT_EQ(s.Time, 61.25f);
        EXPECT_EQ(s.Distance, 812.5f);
        for (int k = 0; k < 12; ++k)
            EXPECT_EQ(s.Channel[k], c.expected[k]) << c.what << ", channel " << k;
    }

    // Values that are not numbers or do not fit 32 bits give a byte, not a fault.
    b.TelemetryCount = 0;
    b.Speed = std::numeric_limits<float>::quiet_NaN();
    b.Rpm = 1e30f;
    b.RecordTelemetry();
    EXPECT_EQ(b.TelemetryBuffer[0].Channel[kTelemetrySpeed], 0);
    EXPECT_EQ(b.TelemetryBuffer[0].Channel[kTelemetryRpm], 0xFF);
}

TEST(TelemetryRecordTest, RangesOfTheRaceTableScaleTheirChannelsAndUnusableOnesFallBack)
{
    torvane_test::FpTraps traps;
    BikeWorld world;
    Bike& b = RidingPracticeBike(world);
    const TelemetryRanges saved = CurrentTelemetryRanges();
    CurrentTelemetryRanges().Gear = TelemetryRange{0.0f, 4.0f};
    CurrentTelemetryRanges().FrontTravel = TelemetryRange{0.1f, 0.1f};  // empty
    CurrentTelemetryRanges().RearTravel = TelemetryRange{0.0f, std::numeric_limits<float>::infinity()};
    b.Gear = 2;
    b.FrontWheel.Travel = 0.0f;
    b.RearWheel.Travel = 0.0f;
    b.TelemetryCount = 0;
    b.RecordTelemetry();
    CurrentTelemetryRanges() = saved;
    EXPECT_EQ(b.TelemetryBuffer[0].Channel[kTelemetryGear], 127);       // 2 of 0..4
    EXPECT_EQ(b.TelemetryBuffer[0].Channel[kTelemetryFrontTravel], 127); // the default -0.2..0.2
    EXPECT_EQ(b.TelemetryBuffer[0].Channel[kTelemetryRearTravel], 127);  // the default -0.1..0.1
}

TEST(TelemetryRecordTest, StopsWhenFullAndInThePitLane)
{
    BikeWorld world;
    Bike& b = RidingPracticeBike(world);
    b.TelemetryCount = kTelemetryCapacity - 1;
    b.RecordTelemetry();
    EXPECT_EQ(b.TelemetryCount, kTelemetryCapacity);
    b.RecordTelemetry();
    EXPECT_EQ(b.TelemetryCount, kTelemetryCapacity);

    b.TelemetryCount = 5;
    b.Status |= kBikeInPitLane;
    b.RecordTelemetry();
    EXPECT_EQ(b.TelemetryCount, 5);

    // A computer bike has no buffer: nothing is recorded.
    Bike computer;
    computer.Flags = kBikeTelemetry;
    computer.RecordTelemetry();
    EXPECT_EQ(computer.TelemetryCount, 0);
}

TEST(TelemetryParkTest, ParkingWritesTheSamplesAndABikeWithoutSamplesWritesNoFile)
{
    BikeWorld world;
    Bike& b = RidingPracticeBike(world);
    b.Park();
    EXPECT_FALSE(platform::file_exists(kTelemetryFileName));

    b.Restart();
    b.Status &= ~kBikePitPlaced;
    for (int i = 0; i < 4; ++i) {
        b.RaceTime = 0.5f * static_cast<float>(i);
        b.Speed = 10.0f * static_cast<float>(i);
        b.RecordTelemetry();
    }
    b.Park();
    EXPECT_EQ(b.TelemetryCount, 0);

    TelemetryHeader header;
    std::vector<TelemetrySample> samples;
    std::string error;
    ASSERT_TRUE(ReadTelemetryFile(kTelemetryFileName, &header, &samples, &error)) << error;
    EXPECT_EQ(header.TrackNameText(), "Island");
    EXPECT_EQ(header.Model, 0u);
    EXPECT_TRUE(SetupFileBytes(header.Setup) == SetupFileBytes(*b.Setup));
    EXPECT_EQ(header.AirTemperature, 30.0f);
    EXPECT_EQ(header.TrackTemperature, 45.0f);
    ASSERT_EQ(samples.size(), 4u);
    EXPECT_EQ(samples[3].Time, 1.5f);
    EXPECT_EQ(samples[3].Channel[kTelemetrySpeed], 81);
}

TEST(TelemetryParkTest, AFailedWriteIsReportedAndKeepsTheOldFile)
{
    BikeWorld world;
    Bike& b = RidingPracticeBike(world);
    b.RecordTelemetry();
    ASSERT_TRUE(b.WriteTelemetry());
    std::vector<std::uint8_t> before;
    ASSERT_TRUE(platform::read_whole_file(kTelemetryFileName, before));

    b.RecordTelemetry();
    platform::fail_next(platform::Fault::FileOpen);
    EXPECT_FALSE(b.WriteTelemetry());
    std::vector<std::uint8_t> after;
    ASSERT_TRUE(platform::read_whole_file(kTelemetryFileName, after));
    EXPECT_EQ(after, before);

    // Parking goes on after a failed write: the bike is out, the buffer empty.
    platform::fail_next(platform::Fault::FileOpen);
    b.Park();
    EXPECT_TRUE(b.IsOut());
    EXPECT_EQ(b.TelemetryCount, 0);
    platform::clear_faults();
}

// A plot window that selects two channels and may or may not show its title.
class PlotWindowHooks : public bike_test::RecordingHooks {
public:
    explicit PlotWindowHooks(bool showsTitle) : showsTitle_(showsTitle) {}
    int PlotChannelCount() override { return 2; }
    int PlotChannel(int slot) override { return slot == 0 ? 3 : 4; }
    void Plot(int slot, float, float value) override { points.push_back({slot, value}); }
    bool ShowsPlotText() override { return showsTitle_; }
    void SetPlotText(const char* text) override { titles.emplace_back(text); }

    std::vector<std::pair<int, float>> points;
    std::vector<std::string> titles;

private:
    bool showsTitle_;
};

TEST(PlotWindowTest, ChannelsArePlottedEveryFrameAndTheDebugLineOnlyWhenTheWindowShowsIt)
{
    torvane_test::FpTraps traps;
    BikeWorld world;
    Bike& b = RidingPracticeBike(world);
    b.Speed = 20.0f;
    b.Rpm = 9000.0f;
    b.Gear = 2;
    b.TurnRadius = 50.0f;

    for (const bool shows : {false, true}) {
        SCOPED_TRACE(shows ? "title shown" : "title hidden");
        PlotWindowHooks hooks(shows);
        CurrentRaceContext().Hooks = &hooks;
        b.PrintAiDebug();
        CurrentRaceContext().Hooks = &world.hooks;

        ASSERT_EQ(hooks.points.size(), 2u);
        EXPECT_EQ(hooks.points[0].first, 0);
        EXPECT_FLOAT_EQ(hooks.points[0].second, b.AiChannelValue(3));
        EXPECT_FLOAT_EQ(hooks.points[1].second, b.AiChannelValue(4));
        if (!shows) {
            EXPECT_TRUE(hooks.titles.empty());
            continue;
        }
        char line[160];
        b.FormatAiDebugLine(line, sizeof line);
        ASSERT_EQ(hooks.titles.size(), 1u);
        EXPECT_EQ(hooks.titles[0], line);
        EXPECT_EQ(hooks.titles[0].rfind("# 0 Pos:", 0), 0u) << hooks.titles[0];
        EXPECT_NE(hooks.titles[0].find("Gear:3 Spd:  72 Rpm: 9000 Radius: 50.0"), std::string::npos)
            << hooks.titles[0];
    }
}

TEST(PlotWindowTest, TheDebugLineIsCutToTheBufferItIsAskedInto)
{
    BikeWorld world;
    Bike& b = RidingPracticeBike(world);
    char full[160];
    b.FormatAiDebugLine(full, sizeof full);
    char cut[9];
    std::memset(cut, 'x', sizeof cut);
    b.FormatAiDebugLine(cut, sizeof cut);
    EXPECT_EQ(std::string(cut), std::string(full).substr(0, 8));
    char untouched = 'x';
    b.FormatAiDebugLine(&untouched, 0);
    EXPECT_EQ(untouched, 'x');
}

} // namespace
