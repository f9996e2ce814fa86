#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "race/ai_load.h"
#include "race/bike_stepping.h"
#include "race/camera_editor.h"
#include "race/output_window.h"
#include "race/race_camera.h"
#include "race/race_data.h"
#include "race/race_links.h"
#include "race/race_sound.h"
#include "race/smoke.h"
#include "race/standings.h"
#include "sim/bike.h"
#include "sim/bike_parameters.h"
#include "sim/grid_entry.h"
#include "sim/race_conditions.h"
#include "sim/rider_state_table.h"
#include "sim/track.h"

// Race flags (the word is shared with the simulation and the input, which
// name the bits they use: kRaceRacing, kRaceFinished, kRaceSimulated,
// kRaceFlagReplay, kRaceFlagRunAgain, kRaceFlagEnding, kRaceFlagChampionship).
inline constexpr std::uint32_t kRaceSessionOver = 0x02;   // the session's time is over (also: the winner crossed the line)
inline constexpr std::uint32_t kRaceRestart = 0x04;       // run again (with 0x08)
inline constexpr std::uint32_t kRaceSuspended = 0x40;     // in the in-race menu: no 3D data, no frame work
inline constexpr std::uint32_t kRaceStateSaved = 0x80;    // a state snapshot is held in the save buffer
inline constexpr std::uint32_t kRace3dLoaded = 0x100;

// The object of one race or session: it owns the circuit and its pit lane,
// the bikes, the race's camera and overlay, the data the race reads when it
// loads, and runs the race frame by frame on the bike simulation.
//
// GameApp::RunRace (or the headless runner, tools/racesim) creates it,
// calls Load and Start3d, then at each run StartMusic and Begin, then every
// frame Draw, DrawOverlay and Update until the overlay's fade level reaches
// 1.0, then ClassifyUnfinished; it runs the race again while the flags ask
// for a restart, and deletes it.
//
// The simulation sits below the race in the build: ShareWithSimulation()
// hands the race's records to it (RaceConditions, RaceContext), and the
// destructor takes them back. The race installs its link to the input
// (RaceInputLink) while it loads and removes it when it goes.
struct Race3dData;
// Frees the race's 3D data record (race/race_3d.cpp, where it is complete).
struct Race3dDataDeleter {
    void operator()(Race3dData* data) const;
};

class Race {
public:
    Race();
    ~Race();
    Race(const Race&) = delete;
    Race& operator=(const Race&) = delete;

    // ---- Loading (race/race_load.cpp) ----

    // Reads everything the race needs from the application's race header
    // and the data files, builds the bikes and, unless the race starts
    // suspended, loads the 3D data. A failure is shown in a message box
    // captioned "Error" and gives false; the caller then deletes the race.
    bool Load();

    // Fills the five bike-model blocks for the session's track: the list
    // "MANUFACTURERS" of "Data\Info.dat", the track's set-up
    // "Data\Settings\<track>.set" and each model's bike file. A missing or
    // damaged file throws a GameError naming it; the race's loader shows the
    // message and the load fails (bikes never run on zeroed values).
    // Returns true when all five models are loaded.
    bool LoadBikes();

    // Points the simulation's race records at this race.
    void ShareWithSimulation();

    // ---- 3D data, display and music (race/race_3d.cpp) ----

    // Loads the race's 3D data: the track's scene record, libraries,
    // instances, sounds. Failures throw a GameError (what was loaded before
    // the failure stays until Release3d or the destructor frees it). A race
    // without a renderer (headless) takes the scene record only.
    bool Load3d();
    // Frees everything Load3d and Start3d made, in the reverse of their
    // order; nothing while no 3D data is loaded.
    void Release3d();
    // The race's engine context (made current), camera and scene view of
    // the display's size; DestroyView deletes them and makes the context
    // that was current before current again.
    void CreateView();
    void DestroyView();
    // The race's 3D data while it is loaded with a renderer; null without
    // one (headless) and while released.
    Race3dData* Data3d() { return m_p3d.get(); }
    // The track scene record's device: a hardware 3D device is the one the
    // installed renderer runs (false without a renderer).
    static bool RendersOnHardware();
    // Starts the display for the race (renderer, palette, camera); the
    // result of InitDisplay.
    int Start3d();
    int InitDisplay();
    // Opens the telemetry plot window beside the game's window, on its
    // default channels, when the race has riders and runs in a window with
    // room beside it; the focus stays with the game's window.
    void OpenTelemetryWindow();
    // At each run: the music, the flags of the run cleared, every bike
    // placed for the start, the standings, the simulation's random stream
    // seeded.
    void StartMusic();
    // The race's effect samples and engine sound sets (race/race_sound.cpp),
    // loaded with the 3D data and freed with it.
    void LoadSounds();
    void FreeSounds();

    // ---- The run (race/race_run.cpp, race/race_keys.cpp) ----

    // Prepares the start (sky, overlay, viewed rider, camera) and runs one
    // first update.
    void Begin();
    // The green light.
    void StartRace();
    // One frame of race logic, after drawing.
    void Update();
    // The simulation of one frame; the last sub-step length.
    float Step();
    // The threads the bikes of a sub-step are stepped on (1: one after the
    // other; 0: BikeStepping::ThreadsFor the riders, the default). The
    // results are the same whatever the count.
    void SetSimulationThreads(int threads);
    // The side-by-side stepping in use (null before the first sub-step and
    // while the bikes step one after the other).
    const BikeStepping* SteppingInUse() const { return m_pStepping.get(); }
    void Draw();
    void DrawOverlay();
    // The race keys, once per frame.
    void HandleKeys();

    // The in-race menu: the race stops drawing and runs its bikes in the
    // simulated mode (race/race_suspend.cpp). Resume reloads the 3D data and
    // begins again; a failure there is shown like a failed load and ends
    // the race.
    void Suspend();
    void Resume();

    // Writes (buffer given) or takes (the race's own save buffer when null)
    // the whole race state: the flags, the simulation state and every
    // bike's snapshot. Each returns the word behind the last it wrote or
    // read. A buffer for the race's state holds StateWordCount() words.
    std::uint32_t* SaveState(std::uint32_t* buffer);
    const std::uint32_t* RestoreState(const std::uint32_t* buffer);
    std::size_t StateWordCount() const;

    void SetViewRider(int rider);
    // The in-race set-up screen: the first rider whose grid entry carries
    // the id gets the set-up; false when none does or the set-up is refused.
    bool SetRiderSetup(std::uint32_t riderId, const BikeSetup* setup);

    // The in-race menu of a practice-type session, run when a human rider
    // is out of the session (the menus install it). Without one, the
    // session is run to its end as for a race started straight from a menu
    // command.
    using InRaceMenu = std::function<void(Race&)>;
    void SetInRaceMenu(InRaceMenu menu) { m_InRaceMenu = std::move(menu); }

    // The seed of the simulation's random stream, taken at every start of
    // the race (the same for every peer and every replay of the race). By
    // default it comes from the race header.
    void SetRandomSeed(std::uint32_t seed)
    {
        m_uRandomSeed = seed;
        m_bSeedGiven = true;
    }
    std::uint32_t RandomSeed() const { return m_uRandomSeed; }

    // ---- Session clock, standings and classification
    // (race/session_clock.cpp, race/standings.cpp) ----

    // The one-hour clock of a practice-type session (nothing in races):
    // while the race is suspended it advances the session itself, in
    // sub-steps of at most 1 s (`fast`: twenty times the frame time; with
    // an end requested, straight to the end of the hour); while it runs it
    // sends out at most one parked computer rider. At 3600 s every rider
    // finishes; from 3604 s on the viewed rider is parked (race command 5).
    void UpdateSessionClock(bool fast);
    // Sorts the track order and the standing order, gives every rider its
    // standing position and links it to its neighbours on the road.
    void UpdateStandings();
    // After the frame loop: the classification of riders that have not
    // finished (estimated laps for computer riders in races decided by laps;
    // qualifying runs its clock out).
    void ClassifyUnfinished();

    // The race flag word in force: once the race is shared with the
    // simulation, the bikes set bits in the simulation's copy, which is
    // then the one the race reads and writes.
    std::uint32_t& LiveFlags();
    // Both orders back to grid order (0, 1, 2, ...).
    void ResetOrders();
    // Riders in the race (the bike array's count, at most kMaxRaceRiders).
    int RiderCount() const;

    // ---- State other parts of the race read ----

    Hud& GetHud() { return m_Camera.m_Hud; }
    // Best lap of the session (kNoLapTime: none yet).
    float SessionBestLap() const;
    bool AttractRun() const;
    bool NetworkGame() const;
    bool Has3d() { return (LiveFlags() & kRace3dLoaded) != 0; }
    // The viewed rider's bike, or null.
    Bike* ViewedBike();

    // The members, each owned by the race.
    CameraEditor m_CameraEditor;  // first built, last gone
    char m_szTrackName[20] = {};
    std::int32_t m_nSessionType = 0;
    std::int32_t m_nWeather = 0;
    std::uint32_t m_uFlags = 0;
    std::int32_t m_nViewedRider = 0;
    BikeModel m_BikeModels[kBikeModelCount];
    GridEntry m_BikeTable[kPitSlotCount];     // the list "BIKES", by rider id
    GridEntry m_GridEntries[kMaxRaceRiders];  // each rider's own entry, by grid place
    Track m_Circuit;
    Track m_PitLane;
    bool m_bHasPitLane = false;
    PitMarker m_PitMarkers[2];                // pit entry (riders on the circuit), pit exit (in the pit lane)
    std::unique_ptr<Bike[]> m_pBikes;
    std::int32_t m_nBikes = 0;
    std::int32_t m_nLaps = 0;        // laps of a race session
    std::int32_t m_nSkill = 0;       // computer riders' skill level 0..3
    std::int32_t m_nTrackIndex = 0;  // the track's place 0..11 in the season's table
    RiderOrder m_TrackOrder = IdentityRiderOrder();    // bike indices by distance along the lap
    RiderOrder m_StandingOrder = IdentityRiderOrder(); // bike indices in classification order

    std::uint32_t m_uSavedFlags = 0;
    std::vector<std::uint32_t> m_SaveBuffer;
    RaceCamera m_Camera;             // with the overlay
    SmokeEmitter m_Smokes[kSmokeKinds];
    SmokeSystem m_Smoke;             // the particles and skid marks (race/smoke.h)
    std::vector<PracticeArch> m_Arches;
    std::vector<SoundMarker> m_SoundMarkers;
    float m_TrackPriority[kTrackPriorityValues] = {};
    float m_TrackDetail[kLodDistances] = {};
    float m_BikeDetail[kLodDistances] = {};
    float m_RiderTimes[kRiderTimeValues] = {}; // by rider id x 12 + track index
    float m_fFastestTime = 0.0f;     // of this track's column of the rider times
    float m_fSlowestTime = 0.0f;
    AiSkill m_AiSkill;
    TrackSceneRecord m_TrackScene;
    std::unique_ptr<RiderStateTable> m_pRiderStates;
    RaceSoundState m_Sound;          // the loaded samples and sound sets (race/race_sound.h)
    // The telemetry plot window beside the race's window (race/output_window.h),
    // opened by InitDisplay, closed with the race.
    OutputWindow m_Telemetry;

    // What the race keeps of the application record (read when it loads).
    std::uint32_t m_uRunFlags = 0;   // kAppFlag*
    std::uint32_t m_uGfxFlags = 0;   // kGfxFlag*
    std::int32_t m_nCameraSetting = 0;
    std::int32_t m_nDetailLevel = 0;
    bool m_bHardwareDevice = false;  // the chosen 3D device is a hardware one
    std::uint32_t m_uEngineOption = 0; // switched by F11; the engine context's option byte
    float m_SkyColour[3] = {};       // background of the race's display, by weather

private:
    bool OrdersValid(int count) const;
    void RunSuspendedSession(float frameTime, bool toTheEnd);
    void RelaunchOneRider();

    // Parts of Load (race/race_load.cpp).
    void LoadSteps();
    void ReadRaceHeader();
    void ReadDataLists();
    void ReadDetailLists(const char* suffix);
    void ReadSoundMarkers();
    void ReadPitMarkers();
    void BuildBikes();
    void LoadAnimSets();
    // Parts of Update and Resume.
    void RunInRaceMenu();
    void RunInRaceMenuOnce();
    void PutRidersBackOnCircuit();
    void EndAfterFailedResume(const char* message);
    void UpdateBikeModel(Bike& bike);
    // The side-by-side stepping of the bikes; null when the race steps them
    // one after the other.
    BikeStepping* Stepping();
    void SetSkyColour();
    // Parts of Load3d (race/race_3d.cpp).
    void LoadTrackScene();
    void LoadTrackPalette();
    void LoadSky();
    void LoadLight();
    void LoadLibraries();
    void LoadCockpits();
    void ReleaseCockpitsAndBikes();

    std::unique_ptr<Race3dData, Race3dDataDeleter> m_p3d;
    RaceInputLink m_InputLink;
    RaceSimulationHooks m_Hooks;
    InRaceMenu m_InRaceMenu;
    // Steps the bikes side by side (race/bike_stepping.h); made at the first
    // sub-step that can use it.
    std::unique_ptr<BikeStepping> m_pStepping;
    int m_nSimulationThreads = 0;
    std::uint32_t m_uRandomSeed = 0;
    bool m_bSeedGiven = false;
    bool m_bViewCreated = false;
    bool m_bResuming = false;
    bool m_bInMenu = false;

    friend class RaceInputLink;
};

// The application's run flags (kAppFlagDirectStart, ...) are in app/game_app.h.
