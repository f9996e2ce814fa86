#include "app/startup/run_race.h"

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <cstring>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/play_seam.h"
#include "app/replay_description.h"
#include "app/startup/loading_screen.h"
#include "champ/champ_objects.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "champ/track_records.h"
#include "engine/render/lib2d_picture.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/run_loop_sound.h"
#include "menu/run_menu.h"
#include "net/net_session.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "race/race.h"
#include "sound/sound_library.h"

namespace {

constexpr std::uint32_t kRunMarker = 0xABCD;
constexpr std::int32_t kFrontEndWidth = 640;
constexpr std::int32_t kFrontEndHeight = 480;
// Session types 0..2 are practice-type sessions; 4 and 5 races over laps.
constexpr std::int32_t kLastPracticeSession = 2;
constexpr std::int32_t kFirstLapRace = 4;
constexpr std::int32_t kLastLapRace = 5;
constexpr std::int32_t kNoRider = 32;
// Input modes of a race start.
constexpr std::uint32_t kBeginReplay = 1;
constexpr std::uint32_t kBeginLive = 2;

InputManager& Input()
{
    InputManager* input = TheInputManager();
    if (!input)
        throw std::logic_error("a race is run without the input manager");
    return *input;
}

// A race outside the front end sets up its own 640 x 480 display, and the
// local player rides the rider the template names.
bool PrepareOutsideFrontEnd(GameApp& app, render_device& renderer)
{
    const std::int32_t hres = app.HRes, vres = app.VRes;
    app.HRes = kFrontEndWidth;
    app.VRes = kFrontEndHeight;
    app.SizeMainWindow();
    app.HRes = hres;
    app.VRes = vres;
    const int depth = (app.GfxFlags & kGfxFlagFullScreen) ? 32 : 16;
    if (!renderer.init(app.DDrawDriver, kFrontEndWidth, kFrontEndHeight, depth, app.D3DDriver))
        return false;
    const std::int32_t rider = app.m_PlayerTemplate.RiderIndex;
    if (rider >= 0 && rider < kNoRider && app.m_nRiders > 0) {
        app.ReleasePlayers();
        app.AddPlayer(app.m_PlayerTemplate);
    }
    return true;
}

// The race, or null when it cannot be made; that is a failed load, and
// says so as a failed load does.
std::unique_ptr<Race> CreateRace()
{
    std::unique_ptr<Race> race;
    try {
        if (!platform::take_fault(platform::Fault::MemoryAlloc))
            race = std::make_unique<Race>();
    } catch (const std::bad_alloc&) {
    }
    if (!race)
        platform::message_box("Out of memory", "Error", platform::MB_ICONEXCLAMATION);
    return race;
}

// Loads the last loading picture. A picture file that is there but cannot
// be read throws its message text: that is shown, as a failed race load
// shows its own, and the picture counts as not loaded.
bool LoadLoadingPicture(lib2d_picture& picture)
{
    try {
        return picture.load(kLoadingPicture, kFrontEndWidth, kFrontEndHeight, 1, 1) != 0;
    } catch (const std::exception& e) {
        platform::message_box(e.what(), "Error", platform::MB_ICONEXCLAMATION);
        return false;
    }
}

// Step 6: the last loading picture, shown once the thread has stopped. False
// when the picture cannot be loaded (the thread is stopped all the same).
bool ShowLoadingPicture(LoadingScreen& loading, render_device& renderer)
{
    lib2d_picture picture;
    if (!LoadLoadingPicture(picture)) {
        loading.Stop();
        return false;
    }
    loading.Stop();
    picture.draw(0, 0, 0);
    renderer.present();
    picture.free();
    return true;
}

// Deletes the race and forgets it in the application record.
void DeleteRace(GameApp& app, std::unique_ptr<Race>& race)
{
    race.reset();
    app.m_pRace = nullptr;
}

// The application record never points at a race that has gone, also when a
// failure thrown during the run leaves the run loop.
struct RaceField {
    GameApp& App;
    ~RaceField() { App.m_pRace = nullptr; }
};

// The race description the input's replays use, for the time of one run.
struct ReplayDescriptionField {
    ReplayDescriptionField(InputManager& input, ReplayDescription& description) : Input(input)
    {
        Input.SetReplayDescription(&description);
    }
    ~ReplayDescriptionField() { Input.SetReplayDescription(nullptr); }
    ReplayDescriptionField(const ReplayDescriptionField&) = delete;
    ReplayDescriptionField& operator=(const ReplayDescriptionField&) = delete;
    InputManager& Input;
};

// The replay the menus chose becomes the race to run. One that cannot be
// loaded (missing or damaged; the current replay stays as it was) is said
// so, and no race runs: the menus come back.
bool LoadChosenReplay(InputManager& input)
{
    if (input.LoadReplay())
        return true;
    const std::string name(input.m_szReplayName, strnlen(input.m_szReplayName, sizeof input.m_szReplayName));
    platform::message_box("The replay \"" + name + "\" could not be loaded.", "Error", platform::MB_ICONEXCLAMATION);
    return false;
}

void BeginRun(GameApp& app, Race& race, InputManager& input)
{
    input.m_bPaused = 0;
    // A race that is not a replay records afresh.
    if (!(race.LiveFlags() & kRaceFlagReplay))
        input.FreeReplay();
    race.StartMusic();
    ApplyEventTimes(race, app);
    // A network race takes its frames through the session's lockstep link.
    input.SetNetLink((app.Flags & kAppFlagNetwork) ? g_pNetSession : nullptr);
    app.SyncPlayers();
    std::uint32_t mode = (race.LiveFlags() & kRaceFlagReplay) ? kBeginReplay : kBeginLive;
    if (app.Flags & kAppFlagNetworkHost)
        mode |= kInputModeHost;
    g_bQuit = input.BeginRace(mode) ? 0 : 1;
    race.Begin();
    if (PlaySeam* seam = ThePlaySeam())
        seam->RaceStarted(race.m_szTrackName, race.m_nSessionType, race.RiderCount(), race.m_nLaps);
}

// Takes at most one waiting window message and hands it to its window.
void DispatchOneMessage()
{
    platform::Message message;
    if (platform::peek_message(message, true)) {
        platform::translate_message(message);
        platform::dispatch_message(message);
    }
}

// A headless player's seam may have the frames run without being shown:
// the scene is not drawn and nothing is presented, while the overlay still
// runs (its menus and timers act on the race). The seam's frame call stands
// where a frame would wait for the display, after each frame.
void RunFrames(Race& race, render_device& renderer, const RaceFrameObserver& afterFrame)
{
    PlaySeam* seam = ThePlaySeam();
    const bool shown = !seam || seam->DrawRace();
    while (!g_bQuit && race.GetHud().m_fFadeLevel < 1.0f) {
        const bool drawing = !(race.LiveFlags() & kRaceSuspended);
        if (drawing) {
            if (shown && !renderer.clear_zbuffer())
                break;
            DispatchOneMessage();
        }
        if (shown)
            race.Draw();
        race.DrawOverlay();
        race.Update();
        if (drawing && shown && !renderer.present())
            break;
        if (afterFrame)
            afterFrame(race);
        if (seam)
            seam->RaceFrame();
    }
}

void ShowBlackFrame(render_device& renderer)
{
    renderer.set_background(0.0f, 0.0f, 0.0f);
    renderer.clear_back_buffer();
    renderer.present();
}

// The first human rider (a player record that is not a remote player's)
// decides the player result.
void SetPlayerResult(GameApp& app, const Race& race)
{
    app.m_bPlayerResult = 0;
    for (int i = 0; i < race.m_nBikes; ++i) {
        const Bike& bike = race.m_pBikes[static_cast<std::size_t>(i)];
        if (bike.RiderEntry && bike.RiderEntry->Kind >= 0) {
            app.m_bPlayerResult = (bike.Status & kRiderStatusFinished) ? 1 : 0;
            return;
        }
    }
}

void StoreResults(GameApp& app, const Race& race, const InputManager& input)
{
    if ((app.Flags & kAppFlagDemo) || !(app.Flags & kAppFlagMenu) || (input.m_dwMode & kInputModePlayback))
        return;
    Championship& champ = TheChampionship();
    const std::vector<RaceResultLine> lines = RaceResultLines(race, app);
    champ.StoreRaceResults(lines);
    if (app.m_nSession == kSessionTypeArcade)
        TheArcadeRecords().AddPlayerResult(champ, TheGameSettings());
    else if (app.m_nSession >= kFirstLapRace && app.m_nSession <= kLastLapRace)
        TheSimRecords().AddPlayerResult(champ, TheGameSettings());
}

// The in-race menu of a practice-type session: the main menu set again,
// from the state the session leads to, over a display of its own (the
// race's may have replaced the menus').
void RunInRaceMenu(Race& /*race*/)
{
    ForgetMenuDisplay();
    RunMenu("Menu", kInRaceMenuFlags, -1);
}

} // namespace

void RunRaceLoop(GameApp& app)
{
    RunRaceLoop(app, RaceFrameObserver());
}

void RunRaceLoop(GameApp& app, const RaceFrameObserver& afterFrame)
{
    InputManager& input = Input();
    render_device& renderer = the_render_device();

    app.m_nRunMarker = kRunMarker;
    if (!(app.Flags & kAppFlagMenu)) {
        if (!PrepareOutsideFrontEnd(app, renderer))
            return;
    } else if (app.m_nSession <= kLastPracticeSession) {
        app.RaceFlags |= kRaceFlagNoLoadingScreen;
    }

    LoadingScreen loading;
    if (!(app.RaceFlags & kRaceFlagNoLoadingScreen))
        loading.Start(app.m_szTrack);

    input.m_dwMode = 0;
    // The replays describe their race by the application's race header.
    GameAppReplayDescription description(app);
    ReplayDescriptionField replayField{input, description};
    if (input.m_bReplayChosen) {
        input.m_bReplayChosen = 0;
        if (!LoadChosenReplay(input)) {
            loading.Stop();
            return;
        }
    }
    g_bQuit = platform::is_window(app.m_hWnd) ? 0 : 1;
    app.m_bSettingsApplied = 0;
    input.SetWindow();

    // The menus start the sound as each menu set loads; a race outside the
    // front end starts it here, before the race loads its samples.
    if (!(app.Flags & kAppFlagMenu))
        StartSoundFromSettings(app, TheGameSettings(), TheSoundLibrary());

    RaceField field{app};
    std::unique_ptr<Race> race = CreateRace();
    app.m_pRace = race.get();
    if (race)
        race->SetInRaceMenu(RunInRaceMenu);
    if (!race || !race->Load()) {
        loading.Stop();
        DeleteRace(app, race);
        return;
    }
    if (loading.Running() && !ShowLoadingPicture(loading, renderer)) {
        DeleteRace(app, race);
        return;
    }
    if (!(app.RaceFlags & kRaceFlagNoLoadingScreen)) {
        app.SizeMainWindow();
        race->Start3d();
    }
    if (input.m_dwMode & kInputModeLoaded)
        race->LiveFlags() |= kRaceFlagReplay;

    for (;;) {
        BeginRun(app, *race, input);
        RunFrames(*race, renderer, afterFrame);
        if (!(app.Flags & kAppFlagDirectStart))
            ShowBlackFrame(renderer);
        race->ClassifyUnfinished();
        if (PlaySeam* seam = ThePlaySeam())
            seam->RaceEnded();
        SetPlayerResult(app, *race);
        StoreResults(app, *race, input);
        input.EndRace();
        if (!(race->LiveFlags() & (kRaceFlagReplay | kRaceFlagRunAgain)) || g_bQuit)
            break;
    }

    input.RemoveTarget(nullptr);
    input.SetNetLink(nullptr);
    input.FreeReplay();
    DeleteRace(app, race);
}
