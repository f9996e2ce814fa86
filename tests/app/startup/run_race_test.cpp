#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/startup/loading_screen.h"
#include "app/startup/main_wnd_proc.h"
#include "app/startup/program_objects.h"
#include "app/startup/run_race.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "engine/render/render_device.h"
#include "engine/render/texture_cache.h"
#include "input/input_manager.h"
#include "menu/menu_display.h"
#include "menu/run_loop_sound.h"
#include "platform/frame.h"
#include "platform/audio.h"
#include "platform/native_event.h"
#include "race/race.h"
#include "race/race_sound.h"
#include "sound/sound_library.h"
#include "tests/app/startup/startup_fixture.h"
#include "tools/datakit/mix_writer.h"

using startup_test::StartupTest;

namespace {

// Sugo: the short demo circuit with a pit lane.
constexpr const char* kTrack = "Sugo";
constexpr int kSugoIndex = 10;
constexpr int kRiders = 4;
// Each frame of a test race lasts a tenth of a second of the test clock.
constexpr std::uint32_t kFrameMs = 20;
// More frames than any test race needs: a run loop that never ends fails
// the test instead of hanging it.
constexpr int kFrameLimit = 40000;

// What the championship and the record stores hold, to tell whether a run
// changed them.
struct Outcome {
    std::vector<std::uint8_t> event;
    std::vector<std::int32_t> points;
    std::vector<std::uint8_t> sim;
    std::vector<std::uint8_t> arcade;
    bool operator==(const Outcome&) const = default;
};

Outcome CurrentOutcome()
{
    Outcome o;
    const ChampionshipEvent& e = TheChampionship().CurrentEvent();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(e.Results);
    o.event.assign(bytes, bytes + sizeof e.Results);
    for (int id = 0; id < kChampRiders; ++id)
        o.points.push_back(TheChampionship().FindRider(id).Points);
    o.sim = BuildTrackRecordsFile(TheSimRecords());
    o.arcade = BuildTrackRecordsFile(TheArcadeRecords());
    return o;
}

// A race run through RunRaceLoop with a frame observer that moves the test
// clock on by one frame, counts the runs and the frames, and lets each test
// act on the race.
class RunRaceTest : public StartupTest {
protected:
    void SetUp() override
    {
        StartupTest::SetUp();
        platform::set_test_clock(100000);
        objects_ = std::make_unique<ProgramObjects>();
        app_ = &TheGameApp();
        ASSERT_TRUE(RegisterMainWindowClass());
        ASSERT_TRUE(app_->CreateMainWindow());
        renderer_ = &the_render_device();
        ASSERT_EQ(renderer_->enumerate_drivers(app_->m_hWnd), 1);
        app_->LoadSettings();
        app_->GfxFlags &= ~kGfxFlagFullScreen;
        ASSERT_EQ(TheInputManager()->Create(), kInputOk);
        // The display as the menus leave it.
        ASSERT_TRUE(StartMenuDisplay());

        // Four computer riders, one lap of Sugo, a championship race; the
        // championship's player rides rider 0 (so that the records take
        // its result).
        app_->Flags = kAppFlagMenu;
        app_->RaceFlags = kRaceFlagChampionship;
        std::strcpy(app_->m_szTrack, kTrack);
        app_->m_nSession = 4;
        app_->m_nLaps = 1;
        app_->m_nSkill = 1;
        app_->m_nWeather = 0;
        app_->m_nRiders = kRiders;
        for (int i = 0; i < kRiders; ++i)
            app_->m_RiderIds[i] = i;
        app_->ReleasePlayers();
        Championship& champ = TheChampionship();
        champ.CurrentEventIndex = kSugoIndex;
        champ.SetSessionKind(kSessionFirstRace);
        for (int i = 0; i < kRiders; ++i)
            champ.AddEntry(i, kEntryComputer);
        champ.SetPlayerRider(0);
        TheSimRecords().Clear();
        TheArcadeRecords().Clear();
        platform::clear_recorded_message_boxes();
    }

    void TearDown() override
    {
        objects_.reset();
        StartupTest::TearDown();
    }

    // Runs the race; `act` is called after every frame with the run number
    // (1, 2, ...) and the frame number within the run.
    void Run(const std::function<void(Race&, int run, int frame)>& act = {})
    {
        runs_ = 0;
        frames_ = 0;
        races_.clear();
        int frame = 0;
        // A run ends with the race's ending flag up; the next run's start
        // clears it.
        bool ending_before = true;
        RunRaceLoop(*app_, [&](Race& race) {
            const bool ending = (race.LiveFlags() & kRaceFlagEnding) != 0;
            if (ending_before && !ending) {
                ++runs_;
                frame = 0;
            }
            ending_before = ending;
            ++frame;
            ++frames_;
            races_.push_back(&race);
            EXPECT_EQ(app_->m_pRace, &race);
            if (act)
                act(race, runs_, frame);
            platform::advance_test_clock(kFrameMs);
            if (frames_ >= kFrameLimit) {
                ADD_FAILURE() << "the race did not end";
                g_bQuit = 1;
            }
        });
        EXPECT_EQ(app_->m_pRace, nullptr);
        EXPECT_EQ(g_LoadingHandshake.load(), kLoadingAcknowledged);
    }

    std::unique_ptr<ProgramObjects> objects_;
    GameApp* app_ = nullptr;
    render_device* renderer_ = nullptr;
    int runs_ = 0;
    int frames_ = 0;
    std::vector<Race*> races_;
};

// The player ends the race from its menu after `seconds` of racing.
std::function<void(Race&, int, int)> EndAfter(float seconds)
{
    return [seconds](Race& race, int, int) {
        if (TheInputManager()->m_fRaceClock >= seconds && !(race.LiveFlags() & kRaceFlagEnding))
            TheInputManager()->QueueRaceCommand(kRaceCommandEnd);
    };
}

bool IsBlack(const platform::PresentedFrame& frame)
{
    for (std::uint32_t p : frame.pixels)
        if (p != 0)
            return false;
    return true;
}

} // namespace

TEST_F(RunRaceTest, RunsARaceFromItsLoadingScreenToItsResults)
{
    const Outcome before = CurrentOutcome();
    const std::int32_t logo_before = LoadingLogoFrame();
    const std::uint32_t presented_before = renderer_->frames_presented;
    bool racing_seen = false;
    Run([&](Race& race, int, int frame) {
        // The player ends the race from its menu after a minute of racing.
        if (TheInputManager()->m_fRaceClock >= 60.0f && !(race.LiveFlags() & kRaceFlagEnding))
            TheInputManager()->QueueRaceCommand(kRaceCommandEnd);
        if (frame == 1) {
            // The loading screen has ended and shown its pictures: the
            // track's picture twice (one per buffer) and the last picture.
            EXPECT_EQ(g_LoadingHandshake.load(), kLoadingAcknowledged);
            EXPECT_GE(renderer_->frames_presented, presented_before + 4);
            EXPECT_GE(LoadingLogoFrame(), logo_before);
        }
        racing_seen = racing_seen || (race.LiveFlags() & kRaceRacing);
    });
    EXPECT_EQ(runs_, 1);
    EXPECT_TRUE(racing_seen);
    EXPECT_EQ(app_->m_nRunMarker, 0xABCDu);
    EXPECT_EQ(app_->m_bPlayerResult, 0); // no human rode
    EXPECT_TRUE(platform::recorded_message_boxes().empty());

    // The results are in the championship's race block, in order, and the
    // player's result in the simulation records; the arcade records stay.
    const Outcome after = CurrentOutcome();
    EXPECT_NE(after.event, before.event);
    Championship& champ = TheChampionship();
    for (int p = 0; p < kRiders; ++p) {
        const RiderPlacing placing = champ.GetResultAtPosition(p);
        EXPECT_GE(placing.RiderId, 0);
        EXPECT_LT(placing.RiderId, kRiders);
        EXPECT_TRUE(std::isfinite(placing.TimeC));
    }
    EXPECT_EQ(champ.FindRider(champ.GetResultAtPosition(0).RiderId).Points, 25);
    EXPECT_NE(after.sim, before.sim);
    EXPECT_EQ(after.arcade, before.arcade);

    // The run ended with one black frame.
    const auto last = platform::last_presented_frame();
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(IsBlack(*last));
}

// What the race's textures hold once loaded: every record in use, with its
// sides, kind, flags and texels.
std::uint64_t TextureDigest(const render_device& renderer)
{
    std::uint64_t h = 14695981039346656037ull;
    const auto mix = [&h](std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    };
    if (!renderer.texture_records)
        return h;
    for (int i = 0; i < kCacheTextures; ++i) {
        const cache_texture& t = renderer.texture_records[i];
        if (t.size == 0)
            continue;
        mix(static_cast<std::uint64_t>(i));
        mix(t.size);
        mix(t.flags);
        mix(static_cast<std::uint32_t>(t.source_width) | static_cast<std::uint64_t>(t.source_height) << 32);
        mix(static_cast<std::uint32_t>(t.colour_key) | static_cast<std::uint64_t>(t.blend_mode) << 32);
        if (t.pixels)
            for (std::uint32_t b = 0; b < t.size; ++b)
                mix(t.pixels[b]);
    }
    return h;
}

// A race loaded as the run loop loads it, not yet run.
std::unique_ptr<Race> LoadRaceAsTheRunLoopDoes(GameApp& app)
{
    InputManager& input = *TheInputManager();
    input.m_dwMode = 0;
    g_bQuit = 0;
    input.SetWindow();
    auto race = std::make_unique<Race>();
    app.m_pRace = race.get();
    EXPECT_TRUE(race->Load());
    return race;
}

// The loading screen's thread draws its logo and presents through the
// renderer while the main thread loads the race, whose materials take and
// fill texture records: the loads beside the screen leave the records as a
// load alone does. The thread begins a logo frame as soon as it has let the
// run loop go, so each load has at least that frame drawn and presented
// beside it (several in a build with ThreadSanitizer, whose loads are slow,
// and which checks that nothing the two threads touch is shared unguarded:
// see docs/startup.md); the loads go on until at least three frames were
// begun before one ended.
TEST_F(RunRaceTest, TheLoadingScreenPresentsWhileARaceLoadsItsTexturesWithoutTouchingThem)
{
    const struct {
        const char* what;
        bool software;
    } displays[] = {{"3D device", false}, {"software rasteriser", true}};
    for (const auto& d : displays) {
        SCOPED_TRACE(d.what);
        if (d.software) {
            // The primary driver's first device is the software renderer.
            renderer_->release();
            ASSERT_EQ(renderer_->enumerate_drivers(app_->m_hWnd), 1);
            app_->D3DDriver = 0;
            ASSERT_TRUE(StartMenuDisplay());
            ASSERT_EQ(renderer_->render_type, kRenderSoftware);
        } else {
            ASSERT_NE(renderer_->render_type, kRenderSoftware);
        }
        std::uint64_t alone = 0;
        {
            std::unique_ptr<Race> race = LoadRaceAsTheRunLoopDoes(*app_);
            alone = TextureDigest(*renderer_);
            race.reset();
            app_->m_pRace = nullptr;
        }
        int during = 0, rounds = 0;
        while (during < 3 && rounds < 30) {
            ++rounds;
            LoadingScreen loading;
            const std::int32_t first = LoadingLogoFrame();
            ASSERT_TRUE(loading.Start(kTrack));
            std::unique_ptr<Race> race = LoadRaceAsTheRunLoopDoes(*app_);
            during += LoadingLogoFrame() - first;
            loading.Stop();
            EXPECT_EQ(TextureDigest(*renderer_), alone) << "round " << rounds;
            race.reset();
            app_->m_pRace = nullptr;
        }
        EXPECT_GE(during, 3) << rounds << " loads";
        EXPECT_TRUE(platform::recorded_message_boxes().empty());
    }
}

TEST_F(RunRaceTest, ARestartRunsTheSameRaceAgainWithoutReloading)
{
    std::int32_t logo_after_load = -1;
    Run([&](Race& race, int run, int frame) {
        if (run == 1 && frame == 1)
            logo_after_load = LoadingLogoFrame();
        // The first run is restarted after ten seconds of racing; the second
        // ends after ten seconds.
        const bool started = TheInputManager()->m_fRaceClock >= 10.0f && !(race.LiveFlags() & kRaceFlagEnding);
        if (run == 1 && started)
            TheInputManager()->QueueRaceCommand(kRaceCommandRestart);
        if (run == 2 && started)
            TheInputManager()->QueueRaceCommand(kRaceCommandEnd);
        if (run == 2) {
            // Same race, no loading screen again, and the start is run anew.
            EXPECT_EQ(&race, races_.front());
            EXPECT_EQ(LoadingLogoFrame(), logo_after_load);
            if (frame == 1) {
                EXPECT_FALSE(race.LiveFlags() & kRaceRacing);
            }
        }
    });
    EXPECT_EQ(runs_, 2);
    // Every rider has a race result.
    for (int p = 0; p < kRiders; ++p)
        EXPECT_NO_THROW(TheChampionship().GetResultAtPosition(p));
}

TEST_F(RunRaceTest, TheQuitByteStopsTheRaceWithoutARestartButKeepsItsResults)
{
    const Outcome before = CurrentOutcome();
    Run([&](Race& race, int, int frame) {
        if (frame == 150)
            TheInputManager()->QueueRaceCommand(kRaceCommandRestart);
        // The restart has been taken up by the race: then the window closes.
        if (frame > 150 && (race.LiveFlags() & kRaceFlagRunAgain))
            g_bQuit = 1;
    });
    EXPECT_EQ(runs_, 1);
    EXPECT_NE(CurrentOutcome().event, before.event);
}

TEST_F(RunRaceTest, ADemoRaceAndAWatchedReplayChangeNothing)
{
    const Outcome before = CurrentOutcome();
    // An attract run, ended after twenty seconds of racing.
    app_->Flags = kAppFlagMenu | kAppFlagDemo;
    Run(EndAfter(20.0f));
    EXPECT_EQ(runs_, 1);
    EXPECT_GT(frames_, 10);
    EXPECT_EQ(CurrentOutcome(), before);

    // A race watched as an input replay records nothing either (the replay
    // is seen to play as the run ends).
    app_->Flags = kAppFlagMenu;
    Run([&](Race&, int, int frame) {
        if (frame == 100) {
            TheInputManager()->m_dwMode |= kInputModePlayback;
            g_bQuit = 1;
        }
    });
    EXPECT_EQ(runs_, 1);
    EXPECT_EQ(CurrentOutcome(), before);
}

TEST_F(RunRaceTest, AFailedLoadReturnsToTheCaller)
{
    const Outcome before = CurrentOutcome();
    // A track that is not there: the race says why and is deleted.
    std::strcpy(app_->m_szTrack, "Nowhere");
    Run();
    EXPECT_EQ(frames_, 0);
    auto boxes = platform::recorded_message_boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, "Error");

    // A race that cannot be made is a failed load too.
    std::strcpy(app_->m_szTrack, kTrack);
    platform::clear_recorded_message_boxes();
    platform::fail_next(platform::Fault::MemoryAlloc);
    Run();
    EXPECT_EQ(frames_, 0);
    boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Out of memory");

    // Without the last loading picture the race is not run either.
    platform::clear_recorded_message_boxes();
    std::filesystem::remove(data_ / "Gfx" / "Loading" / "loading.pcx");
    std::filesystem::remove(data_ / "Gfx" / "Loading.mix");
    Run();
    EXPECT_EQ(frames_, 0);
    boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Lib2d Error Message");
    EXPECT_EQ(boxes[0].text, "Cannot open sprite file! gfx\\Loading\\loading.pcx\r\n");
    EXPECT_EQ(CurrentOutcome(), before);
}

// The replay of a race saved from its overlay, chosen in the menus: the run
// loads it (the race header is the file's), plays it to its last frame as
// a replay, and files no results. A chosen replay that cannot be loaded is
// said so, and no race runs.
TEST_F(RunRaceTest, AChosenReplayIsLoadedAndWatched)
{
    int recorded = 0;
    bool saved = false;
    Run([&](Race& race, int, int) {
        InputManager& input = *TheInputManager();
        if (input.m_fRaceClock >= 5.0f && !(race.LiveFlags() & kRaceFlagEnding)) {
            recorded = input.m_nInputFrameCount;
            saved = input.SaveReplay();
            input.QueueRaceCommand(kRaceCommandEnd);
        }
    });
    ASSERT_TRUE(saved);
    ASSERT_GT(recorded, 100);
    EXPECT_STREQ(TheInputManager()->m_szReplayName, "") << "freed with the race";

    const Outcome before = CurrentOutcome();
    app_->m_nLaps = 7;
    std::strcpy(TheInputManager()->m_szReplayName, "Sug1");
    TheInputManager()->m_bReplayChosen = 1;
    int played = 0;
    Run([&](Race& race, int, int frame) {
        InputManager& input = *TheInputManager();
        EXPECT_TRUE(input.m_dwMode & kInputModePlayback);
        EXPECT_EQ(race.m_nLaps, 1);
        if (frame == 1)
            input.ReplayCommand(0);
        played = input.m_nInputFrameIndex;
        if (played >= input.m_nInputFrameCount && !(race.LiveFlags() & kRaceFlagEnding))
            input.QueueRaceCommand(kRaceCommandEnd);
    });
    EXPECT_EQ(runs_, 1);
    EXPECT_EQ(played, recorded);
    EXPECT_EQ(app_->m_nLaps, 1);
    EXPECT_EQ(CurrentOutcome(), before);
    EXPECT_EQ(TheInputManager()->m_bReplayChosen, 0);

    platform::clear_recorded_message_boxes();
    std::strcpy(TheInputManager()->m_szReplayName, "Sug9");
    TheInputManager()->m_bReplayChosen = 1;
    Run();
    EXPECT_EQ(frames_, 0);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The replay \"Sug9\" could not be loaded.");
}

// A loading screen that cannot show itself, or cannot start, leaves the
// race to run without it; neither wait of the run loop is left hanging.
TEST_F(RunRaceTest, ARaceRunsWithoutTheLoadingScreenWhenItCannotShow)
{
    app_->Flags = kAppFlagMenu | kAppFlagDemo;
    std::filesystem::remove(data_ / "Gfx" / "Loading" / "Sugo.pcx");
    std::filesystem::remove(data_ / "Gfx" / "Loading.mix");
    Run(EndAfter(5.0f));
    EXPECT_EQ(runs_, 1);
    auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open sprite file! gfx\\Loading\\Sugo.pcx\r\n");

    platform::clear_recorded_message_boxes();
    platform::fail_next(platform::Fault::ThreadCreate);
    Run(EndAfter(5.0f));
    EXPECT_EQ(runs_, 1);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

// A loading picture whose archive entry is damaged (its directory promises
// more bytes than the entry holds) makes the picture loader throw its
// message text. On the loading thread that would end the program; the
// loading screen instead gives up like a missing picture, and the run loop
// handles the last loading picture's failure like a failed race load.
TEST_F(RunRaceTest, ADamagedLoadingPictureNeitherEndsTheProgramNorHangsTheRace)
{
    const auto damage = [&](const char* entry) {
        const std::filesystem::path plain = data_ / "Gfx" / "Loading" / entry;
        std::ifstream in(plain, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(bytes.empty());
        in.close();
        std::filesystem::remove(plain);
        datakit::MixWriter mix;
        ASSERT_TRUE(mix.add(entry, bytes, datakit::MixStorage::Compressed, false));
        std::vector<std::uint8_t> archive = mix.build();
        // The directory's one entry: its unpacked size doubled.
        const std::size_t size_at = archive.size() - 4 - 32 + 24;
        const std::uint32_t doubled = static_cast<std::uint32_t>(bytes.size() * 2);
        for (int k = 0; k < 4; ++k)
            archive[size_at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(doubled >> (8 * k));
        std::ofstream(data_ / "Gfx" / "Loading.mix", std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
    };

    // The track's picture: the race runs without its loading screen.
    const std::filesystem::path track_picture = data_ / "Gfx" / "Loading" / "Sugo.pcx";
    const std::filesystem::path kept = data_ / "Sugo.pcx.kept";
    std::filesystem::copy_file(track_picture, kept);
    app_->Flags = kAppFlagMenu | kAppFlagDemo;
    damage("Sugo.pcx");
    Run(EndAfter(5.0f));
    EXPECT_EQ(runs_, 1);
    auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Error loadfile in loadpcx");

    // The last loading picture: the race is deleted and the caller goes on.
    platform::clear_recorded_message_boxes();
    std::filesystem::rename(kept, track_picture);
    damage("loading.pcx");
    Run();
    EXPECT_EQ(frames_, 0);
    boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "Error loadfile in loadpcx");
}

// A practice-type session started from the menus has no loading screen, no
// window sizing and no display start: it begins suspended (the in-race menu
// brings it out); nothing is presented meanwhile. Closing the window ends
// it, and its results are kept.
TEST_F(RunRaceTest, APracticeSessionFromTheMenusHasNoLoadingScreen)
{
    app_->m_nSession = 0;
    TheChampionship().SetSessionKind(kSessionFirstTimed);
    const Outcome before = CurrentOutcome();
    app_->HRes = 800;
    app_->VRes = 600;
    const std::int32_t window_width = app_->m_nWindowWidth;
    const std::uint32_t presented_before = renderer_->frames_presented;
    Run([&](Race& race, int, int frame) {
        EXPECT_TRUE(race.LiveFlags() & kRaceSuspended);
        if (frame == 5)
            g_bQuit = 1;
    });
    EXPECT_EQ(runs_, 1);
    EXPECT_EQ(frames_, 5);
    EXPECT_TRUE(app_->RaceFlags & kRaceFlagNoLoadingScreen);
    EXPECT_EQ(app_->m_nWindowWidth, window_width);
    // Only the closing black frame was shown.
    EXPECT_EQ(renderer_->frames_presented, presented_before + 1);
    EXPECT_NE(CurrentOutcome().event, before.event);
}

// A race outside the front end sets up its own display, rides the rider the
// player template names, and records nothing.
TEST_F(RunRaceTest, ARaceOutsideTheFrontEndSetsUpItsDisplay)
{
    const Outcome before = CurrentOutcome();
    renderer_->release();
    ASSERT_EQ(renderer_->enumerate_drivers(app_->m_hWnd), 1);
    app_->Flags = 0;
    app_->m_PlayerTemplate.RiderIndex = 2;
    Run([&](Race& race, int, int frame) {
        EXPECT_EQ(renderer_->ready, 1);
        EXPECT_EQ(renderer_->width, 640);
        if (frame == 50)
            TheInputManager()->QueueRaceCommand(kRaceCommandEnd);
        (void)race;
    });
    EXPECT_EQ(runs_, 1);
    ASSERT_EQ(app_->m_nHumans, 1);
    EXPECT_EQ(app_->m_Players[0].RiderIndex, 2);
    EXPECT_STREQ(app_->m_Players[0].Name, "PLAYER");
    EXPECT_EQ(CurrentOutcome(), before);

    // A display that cannot start: nothing else happens.
    renderer_->release();
    Run();
    EXPECT_EQ(frames_, 0);
    ASSERT_FALSE(platform::recorded_message_boxes().empty());
    EXPECT_EQ(platform::recorded_message_boxes().back().caption, kRenderErrorCaption);
}

// The sound library started as the menus start it, before the race loads
// its sounds, with the volume settings applied: the mixer's output (mixed
// by the test, a frame of the race at a time) carries the race's sounds at
// the "SoundVolume" level.
TEST_F(RunRaceTest, ARaceStartedByTheGamePlaysItsSoundsAtTheVolumeSettings)
{
    platform::set_manual_audio_mixing(true);
    GameSettings& settings = TheGameSettings();
    settings.Audio.Sound = 1;
    settings.Audio.MusicVolume = 0.25f;
    app_->GfxFlags |= kGfxFlagSound;
    const auto loudness = [&](float soundVolume) {
        settings.Audio.SoundVolume = soundVolume;
        // The menus start the sound as their set loads, before the race.
        EXPECT_TRUE(StartSoundFromSettings(*app_, settings, TheSoundLibrary()));
        double energy = 0.0;
        std::size_t samples = 0;
        int loaded = 0;
        std::vector<std::int16_t> pcm(2 * 22050 * kFrameMs / 1000);
        Run([&](Race& race, int run, int frame) {
            SoundLibrary* sound = TheSoundLibrary();
            if (frame == 1) {
                EXPECT_TRUE(sound->Initialised());
                loaded = sound->SampleCount();
            }
            sound->Output().mix(pcm.data(), pcm.size() / 2);
            for (const std::int16_t v : pcm)
                energy += static_cast<double>(v) * v;
            samples += pcm.size();
            EndAfter(2.0f)(race, run, frame);
        });
        SoundLibrary* sound = TheSoundLibrary();
        EXPECT_TRUE(sound->Initialised());
        EXPECT_EQ(loaded, kRaceEffectSamples + 5 * 5); // the effects and five engine sets
        EXPECT_FLOAT_EQ(sound->m_fEffectsVolume, soundVolume);
        EXPECT_FLOAT_EQ(sound->m_fStreamVolume[kRaceMusicChannel], 0.25f);
        return std::sqrt(energy / static_cast<double>(std::max<std::size_t>(samples, 1)));
    };
    const double full = loudness(1.0f);
    const double half = loudness(0.5f);
    platform::set_manual_audio_mixing(false);
    // Levels are 20 x log10 of the volume in decibels: half the volume is
    // half the amplitude, the same race sounding the same way.
    EXPECT_GT(full, 300.0);
    EXPECT_NEAR(half / full, 0.5, 0.03);
}

// A race outside the front end: the run loop starts the sound library
// itself with the volume settings, and the platform mixer's output (mixed
// by the test a frame of the race at a time, the music's refill thread
// given the time to keep up) carries them. An arcade session plays its
// music from the load; until the green light (after which the finishing
// jingle's channel, which no setting names, may sound) the test hears the
// effects alone ("MusicVolume" 0: the music silent) and the music alone
// ("SoundVolume" 0), each at two settings. A level of v is 2000 x log10(v)
// hundredths of a decibel: amplitudes in the ratio of the volumes.
TEST_F(RunRaceTest, TheRunLoopStartsTheSoundAtTheVolumeSettings)
{
    platform::set_manual_audio_mixing(true);
    app_->Flags = 0;
    app_->RaceFlags = 0;
    app_->m_nSession = kSessionArcade;
    GameSettings& settings = TheGameSettings();
    settings.Audio.Sound = 1;
    settings.Audio.Music = 1;
    settings.SetAppFlags(*app_);
    ASSERT_FALSE(TheSoundLibrary()->Initialised());
    struct Heard {
        double rms = 0.0;
        double seconds = 0.0;
        int tune = 0; // the race tune the run played
    };
    const auto hear = [&](float soundVolume, float musicVolume) {
        settings.Audio.SoundVolume = soundVolume;
        settings.Audio.MusicVolume = musicVolume;
        Heard heard;
        heard.tune = RaceMusicCounter();
        double energy = 0.0;
        std::size_t samples = 0;
        std::vector<std::int16_t> pcm(2 * 22050 * kFrameMs / 1000);
        Run([&](Race& race, int run, int frame) {
            SoundLibrary* sound = TheSoundLibrary();
            if (frame == 1) {
                EXPECT_TRUE(sound->Initialised());
                EXPECT_TRUE(sound->Stream(kRaceMusicChannel).m_bOpen) << "the arcade session's music";
            }
            if (!(race.LiveFlags() & kRaceRacing)) {
                platform::AudioOutput& output = sound->Output();
                output.mix(pcm.data(), pcm.size() / 2);
                for (const std::int16_t v : pcm)
                    energy += static_cast<double>(v) * v;
                samples += pcm.size();
                // The refill thread writes what was played before the next
                // frame is mixed, as it would in real time.
                const SoundStream& music = sound->Stream(kRaceMusicChannel);
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                std::uint32_t ahead = 0;
                while (music.m_bOpen && !music.m_bFinished.load() && output.filled_ahead(music.m_Buffer, ahead) &&
                       ahead + music.m_uBlockSize <= music.m_uBufferSize && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            EndAfter(0.5f)(race, run, frame);
        });
        SoundLibrary* sound = TheSoundLibrary();
        EXPECT_TRUE(sound->Initialised());
        EXPECT_FLOAT_EQ(sound->m_fEffectsVolume, soundVolume);
        EXPECT_FLOAT_EQ(sound->m_fStreamVolume[kRaceMusicChannel], musicVolume);
        heard.rms = std::sqrt(energy / static_cast<double>(std::max<std::size_t>(samples, 1)));
        heard.seconds = static_cast<double>(samples) / 2.0 / 22050.0;
        return heard;
    };
    // The amplitude ratio of two volumes' levels (whole hundredths of a
    // decibel).
    const auto ratio = [](double a, double b) {
        return std::pow(10.0, (std::trunc(2000.0 * std::log10(a)) - std::trunc(2000.0 * std::log10(b))) / 2000.0);
    };

    // The effects: the engines revving on the grid and the start lights.
    const Heard effectsHigh = hear(0.6f, 0.0f);
    const Heard effectsLow = hear(0.25f, 0.0f);
    EXPECT_GT(effectsHigh.seconds, 1.0) << "heard until the green light";
    EXPECT_GT(effectsHigh.rms, 200.0);
    EXPECT_NEAR(effectsLow.rms / effectsHigh.rms, ratio(0.25, 0.6), 0.03);

    // The music: the race tunes take turns from run to run, so the second
    // setting is heard on the run that plays the first one's tune again.
    const Heard musicHigh = hear(0.0f, 0.5f);
    Heard musicLow = hear(0.0f, 0.2f);
    if (musicLow.tune != musicHigh.tune)
        musicLow = hear(0.0f, 0.2f);
    ASSERT_EQ(musicLow.tune, musicHigh.tune);
    platform::set_manual_audio_mixing(false);
    EXPECT_GT(musicHigh.rms, 200.0);
    EXPECT_NEAR(musicLow.rms / musicHigh.rms, ratio(0.2, 0.5), 0.02);
}

// A race outside the front end starts the sound itself (in the front end
// the menus have started it); a library that cannot start turns the sound
// off, and the race runs silently.
TEST_F(RunRaceTest, ARaceRunsSilentlyWhenTheSoundCannotStart)
{
    app_->Flags = 0;
    TheGameSettings().Audio.Sound = 1;
    TheGameSettings().SetAppFlags(*app_);
    platform::fail_next(platform::Fault::AudioOpen);
    Run(EndAfter(1.0f));
    EXPECT_FALSE(TheSoundLibrary()->Initialised());
    EXPECT_EQ(TheGameSettings().Audio.Sound, 0u);
    EXPECT_EQ(app_->GfxFlags & kGfxFlagSound, 0u);
    EXPECT_EQ(runs_, 1);

    // The same race in the front end leaves the sound to the menus.
    app_->Flags = kAppFlagMenu;
    TheGameSettings().Audio.Sound = 1;
    Run(EndAfter(1.0f));
    EXPECT_FALSE(TheSoundLibrary()->Initialised());
}

// The race's classification as the championship files it.
TEST_F(RunRaceTest, ResultLinesFollowTheStandingOrder)
{
    Race race;
    race.m_nBikes = 3;
    race.m_pBikes = std::make_unique<Bike[]>(3);
    app_->m_RiderIds[0] = 7;
    app_->m_RiderIds[1] = 3;
    app_->m_RiderIds[2] = 12;
    race.m_StandingOrder[0] = 2;
    race.m_StandingOrder[1] = 0;
    race.m_StandingOrder[2] = 1;
    for (int i = 0; i < 3; ++i) {
        Bike& b = race.m_pBikes[i];
        b.LapTime = 60.0f + i;
        b.BestLap = 50.0f + i;
        b.RaceTime = 300.0f + i;
        b.Status = i == 1 ? 0u : kRiderStatusFinished;
        b.Laps = static_cast<std::int8_t>(3 + i);
    }
    // A standing order entry past the riders is skipped.
    race.m_StandingOrder[3] = 9;
    const std::vector<RaceResultLine> lines = RaceResultLines(race, *app_);
    ASSERT_EQ(lines.size(), 3u);
    const int expected[3][2] = {{12, 2}, {7, 0}, {3, 1}};
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        const int bike = expected[p][1];
        EXPECT_EQ(lines[p].RiderId, expected[p][0]);
        EXPECT_EQ(lines[p].TimeA, 60.0f + bike);
        EXPECT_EQ(lines[p].TimeB, 50.0f + bike);
        EXPECT_EQ(lines[p].TimeC, 300.0f + bike);
        EXPECT_EQ(lines[p].Laps, 3 + bike);
    }
    EXPECT_EQ(lines[2].Status, 0u);
}

// A windowed race on a screen wider than the race: the telemetry plot
// window opens beside the game's window and plots; Escape pressed while it
// has the keyboard still pauses and resumes the race; closing it leaves the
// race running to its end.
TEST_F(RunRaceTest, TheTelemetryWindowPlotsBesideAWindowedRaceAndLeavesItTheKeysAndTheRun)
{
    platform::WindowHandle plot{};
    int step = 0;
    float closed_at = 0.0f;
    const auto escape = [&](platform::NativeEventKind kind) {
        platform::NativeEvent key;
        key.kind = kind;
        key.window = plot;
        key.sdl_keycode = 27;
        key.sdl_scancode = 41; // Escape
        EXPECT_TRUE(platform::deliver_native_event(key));
    };
    Run([&](Race& race, int, int frame) {
        InputManager& input = *TheInputManager();
        if (frame == 1) {
            // Opened at the race's 3D start, right of the game's window,
            // on its default channels.
            ASSERT_TRUE(race.m_Telemetry.IsOpen());
            plot = race.m_Telemetry.Handle();
            platform::Rect game, beside;
            ASSERT_TRUE(platform::get_window_rect(app_->m_hWnd, game));
            ASSERT_TRUE(platform::get_window_rect(plot, beside));
            EXPECT_EQ(beside.left, game.right);
            EXPECT_EQ(beside.right, platform::get_system_metric(platform::SM_CXSCREEN));
            EXPECT_EQ(race.m_Telemetry.ChannelCount(), 4);
        }
        switch (step) {
        case 0:
            if (input.m_fRaceClock < 12.0f)
                break;
            {
                // Speed and revs have drawn curves through the middle of
                // their bands (away from the labels at the sides).
                const auto shown = platform::last_presented_frame(plot);
                ASSERT_TRUE(shown.has_value());
                const int w = shown->width, h = shown->height;
                const std::uint32_t colours[2] = {0xFF0000, 0xFF00FF}; // slots 2 and 3
                for (int slot = 2; slot < 4; ++slot) {
                    int ink = 0;
                    for (int y = slot * h / 4 + 8; y < (slot + 1) * h / 4 - 8; ++y)
                        for (int x = 90; x < w - 70; ++x)
                            ink += shown->pixels[static_cast<std::size_t>(y) * w + x] == colours[slot - 2];
                    EXPECT_GT(ink, 50) << "slot " << slot;
                }
                EXPECT_FALSE(platform::window_title(plot).empty());
            }
            escape(platform::NativeEventKind::KeyDown);
            step = 1;
            break;
        case 1:
            escape(platform::NativeEventKind::KeyUp);
            step = 2;
            break;
        case 2:
            if (!input.m_bPaused)
                break; // the key is read by a later frame's poll
            EXPECT_TRUE(race.GetHud().Test(kHudPauseMenu));
            escape(platform::NativeEventKind::KeyDown);
            step = 3;
            break;
        case 3:
            escape(platform::NativeEventKind::KeyUp);
            step = 4;
            break;
        case 4:
            if (input.m_bPaused)
                break;
            {
                // The user closes the plot window.
                platform::NativeEvent close;
                close.kind = platform::NativeEventKind::CloseRequest;
                close.window = plot;
                EXPECT_TRUE(platform::deliver_native_event(close));
            }
            closed_at = input.m_fRaceClock;
            step = 5;
            break;
        case 5:
            EXPECT_EQ(g_bQuit, 0);
            if (!race.m_Telemetry.IsOpen() && input.m_fRaceClock >= closed_at + 5.0f &&
                !(race.LiveFlags() & kRaceFlagEnding))
                input.QueueRaceCommand(kRaceCommandEnd);
            break;
        }
    });
    EXPECT_EQ(step, 5);
    EXPECT_FALSE(platform::is_window(plot));
    EXPECT_TRUE(platform::is_window(app_->m_hWnd));
    EXPECT_EQ(runs_, 1);
    // The race ran to its results.
    EXPECT_NO_THROW(TheChampionship().GetResultAtPosition(0));
}
