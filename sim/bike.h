#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "input/control_record.h"
#include "sim/bike_setup.h"
#include "sim/grid_entry.h"
#include "sim/integrator.h"
#include "sim/telemetry_file.h"
#include "sim/vec3.h"
#include "sim/wheel_assembly.h"

class Track;
class ml_modelinfo;
struct ReplayFrame;
struct ReplayRiderRecord;
struct RiderRecordBlocks;
struct BikeModel;
struct PlayerRecord;


// The pose when a riding step began (Bike::StepStart).
struct RidingStepStart {
    Vec3 CgPosition;
    Vec3 FrontHub;
    Vec3 RearHub;
    float Pitch = 0.0f;
    float Heading = 0.0f;
    float Roll = 0.0f;
    float FrontGround = 0.0f;
    float RearGround = 0.0f;
};

// Status bits.
inline constexpr std::uint32_t kBikeDown = 0x1;            // rider fallen
inline constexpr std::uint32_t kBikeAtRest = 0x2;          // the fallen bike has come to rest
inline constexpr std::uint32_t kBikeFallRequested = 0x4;   // a barrier hit asks the dynamics step to make the rider fall
inline constexpr std::uint32_t kBikeFinished = 0x8;
inline constexpr std::uint32_t kBikeInPitLane = 0x10;
inline constexpr std::uint32_t kBikeBodyActive = 0x20;     // the fallen-bike body is active
inline constexpr std::uint32_t kBikeSnapshotSaved = 0x40;
inline constexpr std::uint32_t kBikeParked = 0x80;         // out of the session
inline constexpr std::uint32_t kBikeToPits = 0x100;        // heading for the pit lane
inline constexpr std::uint32_t kBikeWaitingInBox = 0x200;      // placed in its pit box, not yet out on the circuit
inline constexpr std::uint32_t kBikePitPlaced = 0xA10;     // placed in the pit lane (0x10 | 0x200 | 0x800)
inline constexpr std::uint32_t kBikePitStop = 0x400;       // pit stop reached
inline constexpr std::uint32_t kBikeLeavingBox = 0x800;
inline constexpr std::uint32_t kBikeEngineVoice = 0x1000;   // the bike's 3D engine voice is playing (in SoundFlags)
inline constexpr std::uint32_t kBikeWrongWay = 0x2000;
inline constexpr std::uint32_t kBikeNoSlideFix = 0x4000;   // the lean step makes no slide correction
inline constexpr std::uint32_t kBikeRearSlideFall = 0x8000;
inline constexpr std::uint32_t kBikeEngineFailed = 0x10000;
inline constexpr std::uint32_t kBikeRejoined = 0x20000;    // the next crossing times no lap
inline constexpr std::uint32_t kBikeBarrierTouched = 0x40000;
inline constexpr std::uint32_t kBikeLapTakenBack = 0x80000;  // a backward crossing of the line took a lap back
inline constexpr std::uint32_t kBikePitEntryBeforeLine = 0x100000; // entered the pit lane with the line still ahead

// Flags bits (besides the player's driving aids, kPlayerFlag*).
inline constexpr std::uint32_t kBikeHuman = 0x1;
inline constexpr std::uint32_t kBikeNoControl = 0x80;      // no control step
inline constexpr std::uint32_t kBikeTelemetry = 0x100;     // records telemetry
inline constexpr std::uint32_t kBikeComputerFlags = 0x62;  // a computer rider: automatic gears, speed limiter, lean by grip

inline constexpr float kNoLapTime = 1499.99f;

// The simulation record of one motorcycle with its rider. The race holds an
// array of them in grid order; every part of the bike simulation reads and
// writes this one record.
//
// Life cycle: constructed zeroed with the race's array; Init binds it to a
// rider when the race loads (LoadParameters takes the bike model's numbers);
// PlaceAtStart puts it on the grid or in the pit lane when the race begins;
// Restart sends it out again; Park takes it out of the session; destroyed
// with the race.
class Bike {
public:
    Bike();
    ~Bike();
    Bike(const Bike&) = delete;
    Bike& operator=(const Bike&) = delete;

    // Binds the bike to its rider (player null for a computer rider) and its
    // bike-table entry, registers a human bike's controls with the input
    // manager and loads the model's parameters. False, with a message in
    // InitMessage(), when the entry's pit slot or model is out of range, the
    // model's block is not loaded, or the input manager refuses the bike.
    bool Init(PlayerRecord* player, int index, GridEntry* entry);
    // The reason of the last failed Init.
    static const std::string& InitMessage();

    // Copies the bike model's numbers into the bike and its wheels, loads
    // the tyres and applies the set-up.
    void LoadParameters();
    // Replaces the set-up in force and applies it again. A set-up with a
    // value the simulation cannot use (FindBadBikeSetupValue) or a tyre
    // that cannot be loaded is refused: false, and the bike is unchanged.
    bool SetSetup(const BikeSetup& setup);
    // Turns the set-up into the bike's physical parameters.
    void ApplySetup();

    void PlaceAtStart(bool full);
    void ResetDynamics(bool keepHeading);
    void Restart();
    void Park();
    void OnRaceEnd() {}

    // Pass 1 of a simulation sub-step: controls into a lean.
    void ControlStep(float dt);
    // Whether ControlStep(dt) would change nothing but this bike: no rider
    // state, no force feedback. Of the other bikes it then reads their
    // places (which no control step writes) and, through ControlledValues
    // (sim/step_isolation.h), their speed targets and turning radii; so the
    // race may run such steps side by side (race/bike_stepping.h).
    bool ControlStepStandsAlone(float dt) const;
    // Drives the lean toward a target; returns the new lean angle.
    float LeanStep(float leanTarget, float dt);
    // Forward and up axes and the centre-of-mass offset from the pose.
    void UpdateBodyAxes();
    // Radius of the circle the lean balances at the current speed (0 when
    // upright; at least 5 m in magnitude).
    float LeanRadius(float lean) const;
    // Lean that balances a circle of radius r at the current speed.
    float LeanForRadius(float radius) const;

    // Pass 2 of a simulation sub-step: timing, then the riding physics or
    // the crash step, the pose from the new wheel positions, falls, aim,
    // tyre and surface sounds, skid marks and dust.
    void DynamicsStep(float dt);
    // The dynamics step in its three parts, for a race that steps the
    // bikes of a sub-step side by side (race/bike_stepping.h).
    // DynamicsBefore: the timing, the pit arrival, the notices and a fallen
    // bike's crash step; it says what of the step is left. DynamicsCore: the
    // riding physics of a bike on its wheels, up to its aim and rates; it
    // reads and writes this bike alone. DynamicsAfter: the turning circle,
    // the headings' fold and the pit stop's parking.
    enum class DynamicsLeft { Nothing, After, CoreAndAfter };
    DynamicsLeft DynamicsBefore(float dt);
    void DynamicsCore(float dt);
    void DynamicsAfter();
    // The engine sound of one drawn frame: pre-start revving, the layered
    // set for the viewed bike's close cameras, a 3D voice otherwise.
    void UpdateEngineSound(float frameTime);
    // Riding physics of one sub-step: drive and brake forces, drag and
    // slipstream, weight transfer, the turning circles, speed, suspension,
    // tyres, gearbox, revs and engine heat.
    void RidingStep(float dt);
    // Engine power at the revs, W; -1 when the engine has failed or past the
    // power table (0 there with an automatic gearbox).
    float EnginePower(float rpm) const;
    // Manual shift requests, or the automatic gearbox's choice.
    void ShiftGears(float dt);
    // Overrides the wheel forces and the throttle and brake bytes so that
    // the bike holds TargetSpeed (computer riders, finished bikes, the pit
    // lane).
    void LimitSpeed(float dt, float drag, float engineBraking, float maxBrake, float maxDrive);
    // Puts the front wheel a wheelbase ahead of the rear one and finds both
    // on the track; false when either left the track surface.
    bool PlaceWheels();
    // Wheel contact of a riding step: keeps the wheels inside the track
    // edges, laying the bike along a barrier it hits; a hard hit requests a
    // fall, a lighter one a bump state; plays the impact sound.
    void UpdateContacts();
    // The wheelbase less the fork's compression.
    void UpdateWheelbase();

    // Drives a bike that no person steers (computer riders; a human bike
    // after the finish, in the pit lane, or whose player has left): picks a
    // line through the gaps between the bikes ahead, sets TargetSpeed and
    // leans the bike toward the line (sim/computer_control.cpp).
    void ComputerControl(float dt);
    // The tightest turning circle from the bike to the road-edge points
    // between the cross-sections at Progress + distance and the next (its
    // signed radius; 0 when there is none).
    float EdgeRadiusProbe(float distance);
    // The lean acceleration of the balance of gravity and (withTurn) the
    // turn; the radius that gives a lean acceleration (0: none).
    float LeanAccel(int withTurn) const;
    float RadiusForLeanAccel(float accel) const;
    // The viewed bike's telemetry channels and one-line summary, to the
    // race's plot window (RaceHooks); the summary only when the window shows
    // it.
    void PrintAiDebug();
    // The one-line summary (the plot window's title), cut to `size` bytes
    // with its terminating zero; a zero size writes nothing.
    void FormatAiDebugLine(char* out, std::size_t size) const;
    // The value of one channel of the plot window (ids 0..48; 0 otherwise).
    float AiChannelValue(int channel) const;

    // Position along the path: distance, segment, heading and curve radius
    // of the path there, side offset.
    // While the race runs, also counts crossings of the line, times laps,
    // keeps the race record, finishes the bike and raises the lap notices.
    float UpdateProgress();
    void EnterPitLane();
    void RejoinCircuit();

    // Race timing, once per sub-step (from the dynamics step and from the
    // race's session clock): lap and race time, progress, the pit entry; in
    // the race's simulated mode, advances the bike along the path's tabled
    // speeds instead.
    void AdvanceTime(float dt);
    // A computer rider's lap time drawn around its reference lap time.
    float EstimateLapTime();
    // The classification of a computer rider that has not finished: the
    // laps it has left, at estimated times.
    void CompleteRace();
    // The bike has finished (and with it the race).
    void FinishRace();
    // A parked computer rider of a practice-type session goes out again when
    // its drawn time has come and enough of the session is left; true when
    // it went.
    bool PracticeRelaunch();
    // At the pit entry: another lap, or in to the pits (parking at once in
    // the simulated mode, and after the line on a circuit without a pit lane).
    void AfterLap();

    // Enters a rider state (-1 riding, -2 waiting on the grid, >= 0 the
    // rider animation table's states).
    void SetState(int state, float startTime);
    // Rider state machine: advances the current state once per sub-step
    // (after the dynamics step) and decides what follows when its animation
    // ends.
    void StateStep(float dt);
    // Chooses how a rider standing beside the fallen bike turns it round
    // and gets back on (called by StateStep).
    void Remount();

    // Crash step: one sub-step of a fallen bike and its rider (runs instead
    // of the riding physics while Status bit 0x1 is set).
    void CrashStep(float dt);
    // Puts a fallen bike back on its feet on the track: clears the crash
    // body; with `place`, first moves it back behind any bike it would
    // overlap and 0.9 m inside the wider edge; then settles it.
    void Recover(bool place);

    // Fallen-bike body model: four mass points that fall, slide and come to
    // rest. LocateContacts builds the body from the riding pose at a fall
    // and runs the first BodyStep; BodyStep advances it one sub-step.
    void LocateContacts(float dt);
    void BodyStep(float dt);
    // Ground and barrier contact of the four points, scrapes and sparks.
    void GroundStep(float dt);
    // Restores the body's rectangular shape and removes stretching motion.
    void RebuildBody();
    // Removes stretching motion along the bike's axis (only while the rider
    // is down).
    void ConstrainBodyVelocities();

    // Writes the recorded samples to "telem.dat" in the working folder;
    // false when the file cannot be written.
    bool WriteTelemetry();
    // Adds one telemetry sample (once per dynamics sub-step while Flags has
    // kBikeTelemetry): nothing in the pit lane or once the buffer is full.
    void RecordTelemetry();

    // Snapshots (sim/snapshot.h): every piece of the bike's changing state,
    // field by field, into kBikeSnapshotWords words. Without `force` a bike
    // whose snapshot is current (Status 0x40) is not saved again, and a save
    // marks the live bike with 0x40. Restore: without `force` only a bike
    // marked 0x40 is restored; false when nothing was restored (also for a
    // buffer that does not hold a bike snapshot).
    void SaveSnapshot(std::uint32_t* buffer, bool force);
    bool RestoreSnapshot(const std::uint32_t* buffer, bool force);

    // Replay frames (sim/replay_frame.h). Encode fills the frame of the
    // bike's visible pose; when the rider is apart from the bike it also
    // fills `rider`, stores `riderIndex` in the frame and returns true.
    bool EncodeReplayFrame(ReplayFrame* frame, ReplayRiderRecord* rider, std::uint16_t riderIndex) const;
    // Poses the bike between frame a (t = 0) and frame b (t = 1).
    void PlayReplayFrame(const ReplayFrame& a, const ReplayFrame& b, const RiderRecordBlocks& blocks, float t);
    // Poses the bike exactly at one frame.
    void ShowReplayFrame(const ReplayFrame& a, const RiderRecordBlocks& blocks);
    // Derives the centre of mass, the front wheel, the progress and the
    // wheels' ground after a direct move of Position and the angles.
    void UpdatePose();

    bool IsHuman() const { return (Flags & kBikeHuman) != 0; }
    bool IsOut() const { return (Status & 0xFF) >= 0x80; }

    // --- the record, in order ---
    std::uint32_t Status = 0;
    Integrator TrackLine{0.0f, 0.0f, 0.0f};  // lateral line of the computer control
    Integrator Lean{0.0f, 0.0f, 0.0f};       // roll angle, its rate, the largest lean acceleration
    Integrator LookAhead{0.0f, 0.0f, 0.0f};  // look-ahead distance of the computer control
    float WeavePhase = 0.0f;
    float TurnRadius = 0.0f;                 // turn radius the lean balances
    float TurnSpare = 0.0f;                  // zeroed at placement
    float Posture = 0.0f;                    // 0 tucked .. 1 sitting up
    Vec3 BodyPoint[4];                       // the fallen-bike body
    Vec3 BodyVelocity[4];
    Vec3 BodyNormal[4];
    std::uint8_t BodyContact[4] = {};
    float LapTime = 0.0f;
    float BestLap = 0.0f;
    float RaceTime = 0.0f;
    float EngineTemp = 0.0f;                 // 0..1; failed at 0.9
    float Speed = 0.0f;                      // m/s
    float WheelSpeed = 0.0f;                 // rolling speed of the rear wheel
    float Rpm = 0.0f;
    std::int8_t Gear = 0;                    // 0-based
    std::int8_t Laps = 0;                    // -1 before the first crossing
    float Pitch = 0.0f;
    float Heading = 0.0f;
    float Roll = 0.0f;
    Vec3 AngularRate;                        // pitch, heading, roll rates
    Vec3 Position;                           // the rear wheel's reference point
    Vec3 RiderAngles;                        // pitch, heading, roll of the rider's body
    Vec3 RiderPosition;
    Vec3 CgVelocity;
    Vec3 CgPosition;
    std::int32_t RiderState = 0;             // -1 riding
    float StateTime = 0.0f;
    float StatePhase = 0.0f;
    float RideValue = 0.0f;                  // smoothed steering input
    float SideOffset = 0.0f;                 // from the path's centre line
    float Progress = 0.0f;                   // along the path
    std::uint32_t Segment = 0;
    float RiderSideOffset = 0.0f;            // the fallen rider's own
    float RiderProgress = 0.0f;
    std::uint32_t RiderSegment = 0;
    float PathHeading = 0.0f;
    float CurveRadius = 0.0f;
    Vec3 PrevPosition;                       // pose at the start of the sub-step
    float PrevPitch = 0.0f;
    float PrevHeading = 0.0f;
    float PrevRoll = 0.0f;
    float PrevSideOffset = 0.0f;
    float StepTravel = 0.0f;
    float Wheelbase = 0.0f;                  // current wheelbase
    float TargetSpeed = 0.0f;

    // Model parameters (copied from the bike model; gearing from the set-up).
    std::int32_t GearCount = 0;
    float PrimaryRatio = 0.0f;
    std::int32_t SprocketTeeth = 0;
    std::int32_t CrownTeeth = 0;
    float GearRatio[6] = {};
    float OverallRatio[6] = {};              // gear x primary x crown / sprocket
    float DragC0 = 0.0f;                     // drag = (C2 v + C1) v + C0
    float DragC1 = 0.0f;
    float DragC2 = 0.0f;
    float EngineBrakeE0 = 0.0f;              // engine braking = (E2 rpm + E1) rpm + E0
    float EngineBrakeE1 = 0.0f;
    float EngineBrakeE2 = 0.0f;
    float SideSlipDivisor = 0.0f;
    std::int32_t PowerTableSize = 0;         // entries of PowerTable, one per 100 rpm
    const float* PowerTable = nullptr;       // kW; owned by the race's bike-model block
    float RevLimit = 0.0f;                   // the engine record
    float HeatSlope = 0.0f;
    float HeatCold = 0.0f;
    float HeatHot = 0.0f;
    float Mass = 0.0f;                       // kg
    float Weight = 0.0f;                     // N
    float BaseWheelbase = 0.0f;
    float Stability = 0.0f;                  // 0..1
    float MassForward = 0.0f;                // centre of mass ahead of the rear axle
    float MassHeight = 0.0f;
    float TyreGripScale = 0.0f;

    Bike* Rival = nullptr;
    std::uint32_t RivalSpare = 0;            // zeroed at placement and at a settle
    float SideSpeed = 0.0f;
    float FurthestProgress = 0.0f;
    float SlideTime = 0.0f;
    float CentreX = 0.0f;
    float CentreZ = 0.0f;
    float LapStartTime = 0.0f;
    float LastLap = 0.0f;
    float LapDelta = 0.0f;
    float LapSpare = 0.0f;                   // zeroed at a settle
    float RelaunchTime = 0.0f;
    PlayerRecord* RiderEntry = nullptr;
    std::unique_ptr<TelemetrySample[]> TelemetryBuffer;
    std::int32_t TelemetryCount = 0;
    ::GridEntry* GridEntry = nullptr;
    BikeSetup* Setup = nullptr;
    std::uint32_t PlayerId = 0;
    std::int32_t Index = 0;
    ControlRecord Controls;
    std::uint32_t Flags = 0;
    Track* Path = nullptr;
    float Accel = 0.0f;
    float AimHeading = 0.0f;
    float EngineSoundRpm = 0.0f;
    std::int32_t RacePosition = 0;
    Bike* Ahead = nullptr;
    Bike* Behind = nullptr;
    WheelAssembly FrontWheel;
    WheelAssembly RearWheel;
    ml_modelinfo* BikeInstance = nullptr;
    ml_modelinfo* RiderInstance = nullptr;
    ml_modelinfo* ShadowInstance = nullptr;
    ml_modelinfo* RiderShadowInstance = nullptr;

    // The dynamics' own state.
    Vec3 SettledPosition;                    // where the last settle left the bike
    float ShiftTimer = 0.0f;                 // + after an up-shift, - after a down-shift
    float SlipMarker = 0.0f;

    Vec3 ForwardAxis;
    Vec3 UpAxis;
    Vec3 MassOffset;                         // centre of mass from Position, bike frame
    std::int32_t BodyContactCount = 0;
    // The engine sound's own values, which never reach the simulation (the
    // race is the same with the sound on or off): the revving before the
    // start (its revs, target and rate) and the engine voice's bits.
    float RevTarget = 0.0f;
    float RevRate = 0.0f;
    float SoundRpm = 0.0f;
    std::uint32_t SoundFlags = 0;            // kBikeEngineVoice
    float SkidSmokeTimer = 0.0f;

    // The fallen-bike body's working values that carry from one sub-step
    // to the next: each point's position before the step's move (the
    // step's velocities come from it) and the surface class under it (the
    // next step's friction and impact sound read it; 0 = tarmac).
    Vec3 BodyPrevious[4];
    std::uint8_t BodySurface[4] = {};

    // The pose when the running riding step began: the wheel contact puts
    // the bike back to it, and the step's rates and velocities are measured
    // from it. Working values of one dynamics step only (nothing reads them
    // in a later sub-step), so snapshots need not keep them.
    RidingStepStart StepStart;

private:
    const BikeModel* ModelBlock() const;
    // Parts of the riding step.
    void PitManoeuvre();
    void RearSlide();
    void UpdateWheelSpeed(float dt, float drivePower);
    void UpdateEngine(float dt);
    // Parts of the dynamics step.
    void PitArrival(float dt);
    void WrongWayNotice();
    void TyreEffects(float dt);
    void PoseFromWheels(float dt);
    void CheckFall(float dt);
    void Aim();
    // The rider's own body while the rider is down (part of CrashStep).
    void MoveFallenRider(float dt);
    // CrashStep: whether the fallen bike has stopped moving.
    bool FallenBikeStill(float dt) const;
    // Recover: the Progress behind every other bike on the same path.
    float ProgressClearOfOthers() const;
    void ShowInstances(bool shown, bool cockpit);
    void PlaceOnCircuit();
    void PlaceInPitLane();
    bool SettleWheels(int* attempts);
    void SettleOnCentreLine();
    void FinishSettle();
    void SteerTowardPath();
    void CountLineCrossing(int lapDelta);
    void FinishIfRaceDone(int lapDelta);
    void EndTimedLap();
    void AdvanceSimulated(float dt);
};

// Session types.
inline constexpr std::int32_t kSessionPractice = 0;
inline constexpr std::int32_t kSessionQualifying = 2;
inline constexpr bool IsPracticeSession(std::int32_t sessionType) { return sessionType <= 2; }
// Practice-type sessions run on a one-hour clock.
inline constexpr float kTimedSessionLength = 3600.0f;
