// Input replays: recording, playback with checkpoints and rewind, the
// replay commands, ".rpl" files, and the state replay, against a race that
// the test plays itself (its state is the time it has simulated).
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/replay_description.h"
#include "input/replay_file.h"
#include "platform/byte_writer.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "tests/input/input_fixture.h"
#include "tests/support/temp_dir.h"

using namespace input_test;

namespace {

// A race whose whole state is the time it has simulated and the frames it
// has taken; its viewed bike's status is settable.
class ReplayRaceLink : public FakeRaceLink {
public:
    double simulated = 0.0;
    std::uint32_t frames = 0;
    std::uint32_t viewedStatus = 0;
    int restores = 0;
    // State replay: the pose each rider is given, and what was played.
    std::vector<int> apartRiders;
    struct Played {
        int rider;
        std::uint8_t a, b;
        float t;
    };
    std::vector<Played> played;
    std::uint8_t pose = 0;
    bool holdStart = false; // the go signal does not start the race

    void Finish() override
    {
        ++finishes;
        if (!holdStart)
            flags |= kRaceFlagRacing;
    }
    std::uint32_t ViewedBikeStatus() const override { return viewedStatus; }
    std::size_t RaceStateWords() const override { return 3; }
    void SaveRaceState(std::uint32_t* words) override
    {
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(simulated);
        words[0] = static_cast<std::uint32_t>(bits);
        words[1] = static_cast<std::uint32_t>(bits >> 32);
        words[2] = frames;
    }
    void RestoreRaceState(const std::uint32_t* words) override
    {
        simulated = std::bit_cast<double>(static_cast<std::uint64_t>(words[0]) | (static_cast<std::uint64_t>(words[1]) << 32));
        frames = words[2];
        ++restores;
    }
    int ReplayRiders() const override { return 2; }
    bool EncodeReplayFrame(int rider, std::uint8_t* frame, std::uint8_t* riderRecord, std::uint16_t index) override
    {
        std::memset(frame, 0, 20);
        frame[0] = pose;
        frame[1] = static_cast<std::uint8_t>(rider);
        for (int r : apartRiders)
            if (r == rider) {
                std::memset(riderRecord, 0xA0 + rider, 16);
                frame[18] = static_cast<std::uint8_t>(index);
                return true;
            }
        return false;
    }
    void PlayReplayFrame(int rider, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* const*, int,
                         float t) override
    {
        played.push_back({rider, a[0], b[0], t});
    }
};

// A race description: "Misano", one human rider.
class TestDescription : public ReplayDescription {
public:
    std::vector<std::uint8_t> header = MakeHeader("Misano", 4, 1);
    std::vector<std::uint8_t> players = std::vector<std::uint8_t>(kReplayPlayerBytes, 0x11);
    int adopted = -1;

    static std::vector<std::uint8_t> MakeHeader(const char* track, int riders, int humans)
    {
        std::vector<std::uint8_t> h;
        platform::ByteWriter out(h);
        out.i32(riders);
        out.i32(humans);
        for (int i = 0; i < 32; ++i)
            out.i32(i);
        out.u32(0);
        out.fixed_string(track, 12);
        out.u32(0);   // race flags
        out.i32(3);   // laps
        out.i32(2);   // skill
        out.i32(0);   // weather
        out.i32(4);   // session
        out.f32(30.0f);
        out.f32(45.0f);
        return h;
    }
    void Describe(std::vector<std::uint8_t>& h, std::vector<std::uint8_t>& p) const override
    {
        h = header;
        p = players;
    }
    void Adopt(const std::uint8_t* h, const std::uint8_t* p, int humans) override
    {
        header.assign(h, h + kReplayHeaderBytes);
        players.assign(p, p + static_cast<std::size_t>(humans) * kReplayPlayerBytes);
        adopted = humans;
    }
};

// Works in a folder of its own, where "replay\" is made.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const std::filesystem::path& dir) : m_previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~ScopedCurrentFolder() { std::filesystem::current_path(m_previous); }

private:
    std::filesystem::path m_previous;
};

class ReplayTest : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        platform::set_message_box_recording(true);
        platform::clear_recorded_message_boxes();
        dir_ = torvane_test::make_temp_dir("replay");
        folder_ = std::make_unique<ScopedCurrentFolder>(dir_);
        platform::invalidate_path_cache();
        input.SetReplayDescription(&description);
    }
    void TearDown() override
    {
        folder_.reset();
        InputFixture::TearDown();
    }

    // Starts race input as the race run loop does, the race under way.
    void Begin(std::uint32_t mode)
    {
        if (!created_) {
            ASSERT_EQ(input.Create(), kInputOk);
            input.Acquire();
            input.SetRaceLink(&link);
            ASSERT_TRUE(input.AddTarget(&controls, InputManager::kTargetLocal, 7));
            created_ = true;
        }
        link.flags = kRaceFlagRacing;
        link.simulated = 0.0;
        link.frames = 0;
        ASSERT_TRUE(input.BeginRace(mode));
    }

    // One drawn frame `ms` after the last, simulated as the race does: the
    // frame's step, then every further frame the input hands out.
    void Frame(std::uint32_t ms = 100)
    {
        platform::advance_test_clock(ms);
        if (input.ReadControls() && !input.m_bPaused && !link.fading) {
            do {
                if (input.m_fFrameTime > 0.0f) {
                    link.simulated += static_cast<double>(std::min(input.m_fFrameTime, 1.0f));
                    ++link.frames;
                }
            } while (input.NextFrame(false));
        }
    }

    // Records `frames` frames of `ms` with throttle rising frame by frame.
    void Record(int frames, std::uint32_t ms = 100)
    {
        Begin(kInputModeRecord);
        for (int i = 0; i < frames; ++i) {
            input.SetControlSource([i](int, ControlRecord& c) { c.Throttle = static_cast<std::uint8_t>(i % 128); });
            Frame(ms);
        }
        input.SetControlSource(nullptr);
        input.EndRace();
    }

    std::vector<std::uint8_t> FileBytes(const std::string& name)
    {
        std::vector<std::uint8_t> bytes;
        EXPECT_TRUE(platform::read_whole_file("replay\\" + name + ".rpl", bytes));
        return bytes;
    }

    ReplayRaceLink link;
    TestDescription description;
    ControlRecord controls;
    std::filesystem::path dir_;
    std::unique_ptr<ScopedCurrentFolder> folder_;
    bool created_ = false;
};

// A frame is recorded exactly when the race simulates it.
TEST_F(ReplayTest, RecordsTheFramesTheRaceSimulates)
{
    Begin(kInputModeRecord);
    Frame();
    ASSERT_EQ(input.m_nInputFrameCount, 1);
    float step = 0.0f;
    ControlRecord first;
    ASSERT_TRUE(input.InputRecord(0, &step, &first));
    EXPECT_FLOAT_EQ(step, 0.1f);

    struct Case {
        const char* what;
        std::function<void()> set;
        std::function<void()> clear;
        bool simulated; // the race simulates the frame all the same
    } const cases[] = {
        {"paused", [&] { input.m_bPaused = 1; }, [&] { input.m_bPaused = 0; }, false},
        {"not under way", [&] { link.flags = 0, link.holdStart = true; },
         [&] { link.flags = kRaceFlagRacing, link.holdStart = false; }, true},
        {"fading", [&] { link.fading = true; }, [&] { link.fading = false; }, false},
        {"viewed bike finished", [&] { link.viewedStatus = kViewedBikeFinished; }, [&] { link.viewedStatus = 0; },
         true},
    };
    for (const Case& c : cases) {
        const int before = input.m_nInputFrameCount;
        const std::uint32_t simulated = link.frames;
        c.set();
        Frame();
        EXPECT_EQ(input.m_nInputFrameCount, before) << c.what;
        EXPECT_EQ(link.frames, simulated + (c.simulated ? 1u : 0u)) << c.what;
        c.clear();
        Frame();
        EXPECT_EQ(input.m_nInputFrameCount, before + 1) << c.what;
    }
    // A long frame keeps the second the race simulates of it.
    Frame(2500);
    ASSERT_TRUE(input.InputRecord(input.m_nInputFrameCount - 1, &step, nullptr));
    EXPECT_EQ(step, 1.0f);
    EXPECT_EQ(input.m_fReplayLength, input.m_fReplayTime);
}

// Played back, the recorded frames drive the race frame for frame, at any
// frame time of the viewer; the last recorded frame is simulated once and
// the race then stands still.
TEST_F(ReplayTest, PlaybackRepeatsTheRecordingAtAnyFrameTime)
{
    Record(50, 100);
    const double recorded = link.simulated;
    ASSERT_EQ(link.frames, 50u);
    for (std::uint32_t ms : {100u, 7u, 33u, 450u}) {
        Begin(kInputModePlayback);
        EXPECT_EQ(input.m_nInputFrameIndex, 0);
        input.ReplayCommand(0);
        for (int i = 0; i < 20000 && input.m_nInputFrameIndex < input.m_nInputFrameCount; ++i)
            Frame(ms);
        EXPECT_EQ(link.frames, 50u) << ms;
        EXPECT_EQ(link.simulated, recorded) << ms;
        EXPECT_EQ(controls.Throttle, 49) << ms;
        // Beyond the end nothing more is simulated, however long it plays.
        for (int i = 0; i < 10; ++i)
            Frame(ms);
        EXPECT_EQ(link.frames, 50u) << ms;
        EXPECT_EQ(input.m_fFrameTime, 0.0f);
        input.EndRace();
    }
}

// Rewinding by 2.5 s from 10.2 s restores the checkpoint made at 7 s and
// plays forward to 7.7 s; playing on then gives what the recording gave.
TEST_F(ReplayTest, RewindRestoresACheckpointAndPlaysOn)
{
    Record(120, 100);
    const double recorded = link.simulated;
    Begin(kInputModePlayback);
    input.ReplayCommand(0);
    while (input.m_fPlaybackPos < 10.2f - 1e-4f)
        Frame(100);
    EXPECT_NEAR(input.m_fPlaybackPos, 10.2f, 1e-3f);
    EXPECT_GE(input.CheckpointCount(), 11);
    // Each checkpoint was made on the first frame at or past its second.
    for (int c = 0; c < input.CheckpointCount(); ++c) {
        float position = -1.0f;
        std::int32_t index = -1;
        ASSERT_TRUE(input.Checkpoint(c, &position, &index));
        EXPECT_GE(position, static_cast<float>(c) - 1e-4f);
        EXPECT_LT(position, static_cast<float>(c) + 0.101f);
    }

    input.m_fSeekAmount = 2.5f;
    input.ReplayCommand(1); // paused: only the rewind's own frames run
    link.restores = 0;
    input.m_fReplayTime = input.m_fPlaybackPos; // a frame into the pause
    Frame(100);
    EXPECT_EQ(link.restores, 1);
    float position = 0.0f;
    std::int32_t index = 0;
    input.Checkpoint(7, &position, &index);
    EXPECT_TRUE(index == 70 || index == 71) << index;
    EXPECT_NEAR(input.m_fReplayTime, 7.7f, 1e-3f);
    // The frames up to 7.7 s played.
    EXPECT_LT(input.m_fPlaybackPos, input.m_fReplayTime);
    EXPECT_GT(input.m_fPlaybackPos + 0.1f, input.m_fReplayTime);
    EXPECT_NEAR(link.simulated, input.m_fPlaybackPos, 1e-3);
    EXPECT_EQ(link.frames, static_cast<std::uint32_t>(input.m_nInputFrameIndex));

    input.ReplayCommand(0);
    while (input.m_nInputFrameIndex < input.m_nInputFrameCount)
        Frame(100);
    EXPECT_EQ(link.simulated, recorded);
}

TEST_F(ReplayTest, ReplayCommands)
{
    Record(100, 100);
    Begin(kInputModePlayback);
    input.m_fLastFrameTime = 0.1f;
    struct Case {
        int code;
        bool before;      // playing before
        float replayTime; // change
        float seek;
        bool playing;     // after
    } const cases[] = {
        {0, false, 0.0f, 0.0f, true},  {1, true, 0.0f, 0.0f, false}, {2, false, 0.0f, 0.0f, true},
        {2, true, 0.0f, 0.0f, false},  {3, true, 0.1f, 0.0f, false}, {4, true, 0.3f, 0.0f, false},
        {5, true, 0.03f, 0.0f, false}, {6, true, 0.0f, 0.1f, false}, {7, true, 0.0f, 0.3f, false},
        {8, true, 0.0f, 0.03f, false},
    };
    for (const Case& c : cases) {
        if (c.before)
            input.m_dwMode |= kInputModePlaying;
        else
            input.m_dwMode &= ~kInputModePlaying;
        input.m_fReplayTime = 1.0f;
        input.m_fSeekAmount = 0.0f;
        const int mutes = link.mutes, unmutes = link.unmutes;
        input.ReplayCommand(c.code);
        EXPECT_NEAR(input.m_fReplayTime, 1.0f + c.replayTime, 1e-6f) << c.code;
        EXPECT_NEAR(input.m_fSeekAmount, c.seek, 1e-6f) << c.code;
        EXPECT_EQ((input.m_dwMode & kInputModePlaying) != 0, c.playing) << c.code;
        EXPECT_EQ(link.unmutes - unmutes, c.playing ? 1 : 0) << c.code;
        EXPECT_EQ(link.mutes - mutes, c.playing ? 0 : 1) << c.code;
    }
    // 9: the race again as a replay of itself, paused.
    input.ReplayCommand(9);
    EXPECT_EQ(input.m_nRaceCommand, kRaceCommandEndReplay);
    EXPECT_FALSE(input.m_dwMode & kInputModePlaying);
}

// A replay saves once, under the track's first three letters and the first
// free number; it loads back whole, 10000 records in one block.
TEST_F(ReplayTest, SavesOnceUnderTheFirstFreeNameAndLoadsBack)
{
    Record(10000, 20);
    ASSERT_EQ(input.m_nInputFrameCount, 10000);
    ASSERT_EQ(input.m_nInputBlocks, 1);
    ASSERT_TRUE(input.SaveReplay());
    EXPECT_STREQ(input.m_szReplayName, "Mis1");
    EXPECT_FALSE(input.SaveReplay()) << "saved already";
    EXPECT_FALSE(platform::file_exists("replay\\Mis2.rpl"));
    const std::vector<std::uint8_t> bytes = FileBytes("Mis1");
    EXPECT_EQ(bytes.size(), 180u + 188u + 8u + 10000u * 10u);

    // With Mis1 and Mis2 there, a fresh recording goes to Mis3.
    platform::write_whole_file("replay\\Mis2.rpl", bytes);
    input.FreeReplay();
    Record(3, 20);
    ASSERT_TRUE(input.SaveReplay());
    EXPECT_STREQ(input.m_szReplayName, "Mis3");

    // Loading: the description is the file's, the records too.
    input.FreeReplay();
    std::strcpy(input.m_szReplayName, "Mis1");
    description.header = TestDescription::MakeHeader("Assen", 2, 0);
    ASSERT_TRUE(input.LoadReplay());
    EXPECT_EQ(description.adopted, 1);
    EXPECT_EQ(ReplayTrackName(description.header), "Misano");
    EXPECT_EQ(input.m_nInputFrameCount, 10000);
    EXPECT_EQ(input.m_nInputBlocks, 1);
    EXPECT_TRUE(input.m_dwMode & kInputModeLoaded);
    EXPECT_STREQ(input.m_szReplayName, "Mis1");
    EXPECT_FALSE(input.SaveReplay()) << "a loaded replay is not saved again";
    ControlRecord last;
    ASSERT_TRUE(input.InputRecord(9999, nullptr, &last));
    EXPECT_EQ(last.Throttle, 9999 % 128);

    // A folder that cannot be written: refused, nothing left, the name
    // cleared so that a later save may try again.
    input.FreeReplay();
    Record(3, 20);
    std::filesystem::remove_all(dir_ / "replay");
    std::ofstream(dir_ / "replay") << "a file where the folder should be";
    platform::invalidate_path_cache();
    EXPECT_FALSE(input.SaveReplay());
    EXPECT_STREQ(input.m_szReplayName, "");
    EXPECT_FALSE(input.m_dwMode & kInputModeSaved);
}

// Damaged files are refused before anything of the current replay goes.
TEST_F(ReplayTest, DamagedFilesAreRefusedWithTheCurrentReplayKept)
{
    Record(5, 20);
    ASSERT_TRUE(input.SaveReplay());
    const std::vector<std::uint8_t> good = FileBytes("Mis1");
    const auto word = [](std::vector<std::uint8_t> b, std::size_t at, std::uint32_t v) {
        std::memcpy(b.data() + at, &v, 4);
        return b;
    };
    const std::size_t count = 180 + 188 + 4;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } const cases[] = {
        {"empty", {}},
        {"short header", std::vector<std::uint8_t>(good.begin(), good.begin() + 100)},
        {"33 riders", word(good, 0, 33)},
        {"negative riders", word(good, 0, 0xFFFFFFFFu)},
        {"more humans than riders", word(good, 4, 5)},
        {"negative humans", word(good, 4, 0x80000000u)},
        {"laps", word(good, 156, 1000)},
        {"skill", word(good, 160, 4)},
        {"weather", word(good, 164, 3)},
        {"session", word(good, 168, 7)},
        {"unterminated track", [&] { auto b = good; std::memset(b.data() + 140, 'x', 12); return b; }()},
        {"empty track", [&] { auto b = good; b[140] = 0; return b; }()},
        {"short players", std::vector<std::uint8_t>(good.begin(), good.begin() + 300)},
        {"no record count", std::vector<std::uint8_t>(good.begin(), good.begin() + count)},
        {"count past the end", word(good, count, 6)},
        {"huge count", word(good, count, 0x7FFFFFFFu)},
        {"negative count", word(good, count, 0xFFFFFFFFu)},
        {"negative length", word(good, count - 4, std::bit_cast<std::uint32_t>(-1.0f))},
        {"length not a number", word(good, count - 4, 0x7FC00000u)},
        {"zero step", word(good, count + 4, 0)},
        {"step not a number", word(good, count + 4, 0x7FC00000u)},
        {"step above a second", word(good, count + 4, std::bit_cast<std::uint32_t>(1.5f))},
    };
    // The replay in hand: a recording of its own.
    input.FreeReplay();
    Record(7, 20);
    for (const Case& c : cases) {
        ReplayFileContents parsed;
        std::string why;
        EXPECT_FALSE(ParseReplayFile(c.bytes, parsed, why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        platform::write_whole_file("replay\\Bad.rpl", c.bytes);
        std::strcpy(input.m_szReplayName, "Bad");
        EXPECT_FALSE(input.LoadReplay()) << c.what;
        EXPECT_EQ(input.m_nInputFrameCount, 7) << c.what;
        EXPECT_EQ(description.adopted, -1) << c.what;
        EXPECT_FALSE(input.m_dwMode & kInputModeLoaded) << c.what;
    }
    // A missing file too; trailing bytes after the records are no harm.
    std::strcpy(input.m_szReplayName, "Gone");
    EXPECT_FALSE(input.LoadReplay());
    EXPECT_EQ(input.m_nInputFrameCount, 7);
    auto longer = good;
    longer.push_back(0);
    ReplayFileContents parsed;
    std::string why;
    EXPECT_TRUE(ParseReplayFile(longer, parsed, why)) << why;
    EXPECT_EQ(parsed.frames, 5);
}

// A replay drives the race's human riders one for one: a race with another
// count of players refuses to play it.
TEST_F(ReplayTest, PlaybackWithAnotherPlayerCountIsRefused)
{
    Record(5, 20);
    ASSERT_TRUE(input.SaveReplay());
    input.FreeReplay();
    std::strcpy(input.m_szReplayName, "Mis1");
    ASSERT_TRUE(input.LoadReplay());
    ControlRecord second;
    ASSERT_TRUE(input.AddTarget(&second, InputManager::kTargetLocal, 8));
    platform::clear_recorded_message_boxes();
    EXPECT_FALSE(input.BeginRace(kInputModePlayback));
    EXPECT_FALSE(input.m_dwMode & kInputModePlayback);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "This replay was recorded with 1 players; its race has 2.");
}

// The state replay: five samples a second, each rider's frame; blocks left
// behind are filled with the sample that passed them; playback poses every
// rider between the sample and the next one, never past the recording.
TEST_F(ReplayTest, StateReplaySamplesAndPlaysBack)
{
    Begin(kInputModeRecord | kInputModeStateRecord);
    link.apartRiders = {1};
    for (int i = 0; i < 110; ++i) {
        link.pose = static_cast<std::uint8_t>(i);
        input.m_fReplayTime = 0.2f * static_cast<float>(i) + 0.01f;
        input.StepStateReplay();
    }
    EXPECT_EQ(input.m_nStateBlocks, 2);
    EXPECT_EQ(input.m_nEventCount, 110) << "rider 1 is apart in every sample";
    EXPECT_NEAR(input.m_fReplayLength, 0.2f * 109 + 0.01f - 0.201f, 1e-4f);
    // A jump past a block fills the rest of the block it leaves.
    link.pose = 200;
    input.m_fReplayTime = 0.2f * 305 + 0.01f;
    input.StepStateReplay();
    EXPECT_EQ(input.m_nStateBlocks, 4);
    input.EndRace();

    input.m_dwMode &= ~kInputModeReplayModes;
    input.m_dwMode |= kInputModePlayback | kInputModeStatePlayback;
    link.played.clear();
    input.m_fReplayTime = 0.2f * 150 + 0.1f;
    input.StepStateReplay();
    ASSERT_EQ(link.played.size(), 2u);
    EXPECT_EQ(link.played[0].a, 200) << "a sample of a block left behind";
    EXPECT_NEAR(link.played[0].t, 0.5f, 1e-3f);
    link.played.clear();
    input.m_fReplayTime = 0.2f * 50 + 0.1f;
    input.StepStateReplay();
    EXPECT_EQ(link.played[1].a, 50);
    EXPECT_EQ(link.played[1].b, 51);
    // At the end of the blocks the last sample is shown, nothing past it.
    link.played.clear();
    input.m_fReplayTime = 80.0f;
    input.StepStateReplay();
    ASSERT_EQ(link.played.size(), 2u);
    EXPECT_EQ(link.played[0].t, 0.0f);
}

} // namespace
