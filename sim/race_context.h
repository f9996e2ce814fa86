#pragma once

#include <cstdint>

#include "sim/grid_entry.h"
#include "sim/vec3.h"

class Bike;
struct BikeModel;
class ml_modelinfo;
struct RiderStateTable;

// What the bike simulation does to the race's presentation: showing and
// hiding 3D instances, their animations, posing the bike's models, sounds,
// smoke and skid marks, overlay messages. The race
// installs an implementation over its engine objects when it has 3D data;
// without one (a race without 3D, the tests) the simulation runs alone and
// these calls do nothing.
class RaceHooks {
public:
    virtual ~RaceHooks() = default;
    // Shows (instance flag 1 set) or hides (cleared) a model instance.
    virtual void ShowInstance(ml_modelinfo* instance, bool shown) = 0;
    // Makes an animation current on an instance (0: none).
    virtual void SetAnimation(ml_modelinfo* instance, std::uint32_t animationHash) = 0;
    // Poses the bike's instances for its current state.
    virtual void UpdateModel(Bike& bike) = 0;

    // The sound library, as the simulation calls it. A voice is a sample id
    // with an instance (the bike's Index; its 3D engine voice uses Index + 1).
    // kKeepSoundValue as a frequency, volume or pan keeps the sample's own.
    // Without a race presentation (tests, no sound) these do nothing.
    virtual void Play(int /*sample*/, int /*instance*/, float /*frequency*/, float /*volume*/, float /*pan*/,
                      int /*mode*/) {}
    virtual void StopVoice(int /*sample*/, int /*instance*/) {}
    virtual void StopVoiceNow(int /*sample*/, int /*instance*/) {}
    virtual void SetVoiceDistance(int /*sample*/, int /*instance*/, float /*minimum*/, float /*maximum*/) {}
    virtual void SetVoicePosition(int /*sample*/, int /*instance*/, const Vec3& /*position*/) {}
    virtual void SetVoiceVolume(int /*sample*/, int /*instance*/, float /*volume*/) {}
    // The sample of a bike model's sound set for a voice instance (-1: none).
    virtual int GetSoundSetSample(int /*soundSet*/, int /*instance*/) { return -1; }
    // Plays the layered engine sound of a set at the given revs (-1 stops it).
    virtual void PlaySoundSet(int /*soundSet*/, float /*rpm*/, int /*mode*/, float /*volume*/) {}

    // Smoke, dust, sparks and spray at one of the bike's emitter points
    // (0..3 the fallen-bike body points, 4 front wheel, 5 rear wheel, 6 the
    // rider, 7 the engine); kinds 0 tyre smoke, 1..4 dust of a surface
    // class, 3 sparks, 4 rain spray.
    virtual void SmokeEmit(int /*kind*/, Bike& /*bike*/, int /*point*/, float /*amount*/) {}
    // A skid mark between two hub positions at their ground heights.
    virtual void SmokeEmitLine(const Vec3& /*from*/, const Vec3& /*to*/, float /*fromGround*/, float /*toGround*/) {}

    // The race overlay: message bits and notices.
    virtual bool HudTest(std::uint32_t /*bits*/) { return false; }
    virtual void HudRaise(std::uint32_t /*bits*/) {}
    virtual void HudClear(std::uint32_t /*bits*/) {}
    virtual void HudSetViewMode(int /*mode*/) {}
    // Clears bits of the overlay's enabled-message mask.
    virtual void HudDisableMessages(std::uint32_t /*mask*/) {}

    // The race camera's mode (RaceCamera::SetMode); the camera keeps
    // RaceContext::CameraMode up to date.
    virtual void SetCameraMode(int /*mode*/) {}
    // The race music channels (0 and 1): stop one, start one that the race
    // opened at its start.
    virtual void StopStream(int /*channel*/) {}
    virtual void StartStream(int /*channel*/, bool /*loop*/) {}

    // The telemetry plot window: the channel ids selected for plotting, in
    // plot-slot order; a point of one slot's curve; the window's title text.
    // The title (the viewed bike's debug line) is formatted only while
    // ShowsPlotText says something shows it: formatting it every frame for
    // nothing costs a noticeable share of a race's time.
    virtual int PlotChannelCount() { return 0; }
    virtual int PlotChannel(int /*slot*/) { return -1; }
    virtual void Plot(int /*slot*/, float /*time*/, float /*value*/) {}
    virtual bool ShowsPlotText() { return false; }
    virtual void SetPlotText(const char* /*text*/) {}

    // True when the calls of a simulation sub-step may reach the
    // presentation held back to the sub-step's end, in their order (the
    // race then steps its bikes side by side, race/bike_stepping.h): a bike
    // passed to SmokeEmit or UpdateModel is then seen as it is at that end.
    virtual bool TakesHeldCalls() { return false; }
};

// Passed as a frequency, volume or pan: keep the sample's own value.
inline constexpr float kKeepSoundValue = 56789.0f;

// Told of every rider state a bike enters (Bike::SetState), with the state
// it leaves; for a watcher outside the race (the headless runner counts
// falls and barrier contacts with it). It must not change the bike. While the
// race steps its bikes side by side (race/bike_stepping.h) it is told at the
// end of the sub-step, in the same order, with the bike as it is then.
class RiderStateListener {
public:
    virtual ~RiderStateListener() = default;
    virtual void RiderStateEntered(const Bike& bike, std::int32_t previous, std::int32_t state) = 0;
};

// Race flags the simulation reads or sets.
inline constexpr std::uint32_t kRaceRacing = 0x01;    // the start has been given: laps and times count
inline constexpr std::uint32_t kRaceFinished = 0x02;  // the winner has crossed the line
inline constexpr std::uint32_t kRaceSimulated = 0x40; // nothing is drawn; bikes advance along tabled speeds

inline constexpr int kCockpitVariants = 2;

// The race fields that the bikes read and write, besides the session, the
// weather and the paths (RaceConditions). The race fills this record while it
// loads and clears it when it ends; the simulation sits below the race in
// the build and reaches it through this record only.
struct RaceContext {
    std::uint32_t Flags = 0;         // kRace* bits
    std::int32_t ViewedRider = 0;    // index of the bike the camera follows
    BikeModel* Models = nullptr;     // the five bike-model blocks (kBikeModelCount), by grid entry model index
    Bike* Bikes = nullptr;           // the race's bikes, in grid order
    std::int32_t BikeCount = 0;
    char TrackName[20] = {};         // the session's track name (telemetry header)
    float AirTemperature = 0.0f;     // the session's two temperatures (telemetry header)
    float TrackTemperature = 0.0f;
    // Cockpit instances: two per bike model and one shared (null without 3D).
    ml_modelinfo* Cockpit[kBikeModelCount][kCockpitVariants] = {};
    ml_modelinfo* SharedCockpit = nullptr;
    std::uint32_t BikeAnimations[2] = {}; // name hashes of the two bike animations (falls)
    // The rider animation table (frame counts, follow-ups, speed thresholds
    // and animation hashes of the rider states); null: no state is timed and
    // no rider animation is asked for. InstallRiderStateTable sets it.
    const RiderStateTable* RiderStates = nullptr;
    RaceHooks* Hooks = nullptr;      // null: no presentation
    // Null: nobody watches the rider states. Not the race's: whoever sets it
    // after the race has loaded takes it away again.
    RiderStateListener* StateListener = nullptr;
    std::int32_t CameraMode = 0;     // 0..7: 0, 1, 2, 3, 6 on-board and close views; 4, 5, 7 distant
    std::uint32_t GraphicsFlags = 0; // the application's graphics flags (bit 0 "Sound", 0x20 "Ambient")
    // The pit boxes by pit slot: distance of the box along the pit lane, and
    // its depth (m; the arrival margin and the side offset at which a bike
    // counts as parked in it).
    float PitBoxDistance[32] = {};
    float PitBoxDepth[32] = {};
    // Distance along the circuit at which the pit lane branches off (the
    // start of the pit lane's first segment, computed by the race at load).
    float PitEntryDistance = 0.0f;
    // The race's start counter; while it is 10 the computer riders take no
    // extra look-ahead in the first seconds of the race.
    std::int32_t StartCounter = 0;
    // Timing (progress and timing of the bikes, the race's standings):
    float RaceRecord = 1499.99f;     // best lap of the session; 1499.99 = none yet
    std::int32_t OverlayBike = -1;   // the bike an overlay message speaks of (-1 none)
    std::int32_t CircuitNumber = 0;  // index 0..11 of the track in the season's table of circuits
    std::int32_t ChosenCamera = 0;   // the player's chosen camera mode (the "Camera" setting)
    // The race's standing order: bike indices, leader first (BikeCount
    // entries, at most 32); null before the race has one.
    const std::int32_t* StandingOrder = nullptr;

    bool Simulated() const { return (Flags & kRaceSimulated) != 0; }
    bool Racing() const { return (Flags & kRaceRacing) != 0; }
};

// The program's one record (cleared until a race fills it).
RaceContext& CurrentRaceContext();
