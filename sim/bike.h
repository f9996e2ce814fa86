#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "input/control_record.h"
#include "sim/bike_setup.h"
#include "sim/grid_entry.h"
#include "sim/integrator.h"
#include "sim/vec3.h"
#include "sim/wheel_assembly.h"

class Track;
class ml_modelinfo;
struct BikeModel;
struct PlayerRecord;

// One telemetry sample: the bike's race time and distance, then twelve
// channels quantised to a byte each (throttle, brake, gear, speed, revs,
// roll, pitch, acceleration, front and rear suspension travel and speed).
struct TelemetrySample {
    float Time = 0.0f;
    float Distance = 0.0f;
    std::uint8_t Channel[12] = {};
};
inline constexpr int kTelemetryCapacity = 10000;
inline constexpr int kTelemetrySampleBytes = 20;

// Status bits.
inline constexpr std::uint32_t kBikeDown = 0x1;            // rider fallen
inline constexpr std::uint32_t kBikeAtRest = 0x2;          // the fallen bike has come to rest
inline constexpr std::uint32_t kBikeFinished = 0x8;
inline constexpr std::uint32_t kBikeInPitLane = 0x10;
inline constexpr std::uint32_t kBikeBodyActive = 0x20;     // the fallen-bike body is active
inline constexpr std::uint32_t kBikeSnapshotSaved = 0x40;
inline constexpr std::uint32_t kBikeParked = 0x80;         // out of the session
inline constexpr std::uint32_t kBikeToPits = 0x100;        // heading for the pit lane
inline constexpr std::uint32_t kBikePitPlaced = 0xA10;     // placed in the pit lane (0x10 | 0x200 | 0x800)
inline constexpr std::uint32_t kBikePitStop = 0x400;       // pit stop reached
inline constexpr std::uint32_t kBikeLeavingBox = 0x800;
inline constexpr std::uint32_t kBikeWrongWay = 0x2000;
inline constexpr std::uint32_t kBikeNoSlideFix = 0x4000;   // the lean step makes no slide correction
inline constexpr std::uint32_t kBikeRearSlideFall = 0x8000;
inline constexpr std::uint32_t kBikeEngineFailed = 0x10000;
inline constexpr std::uint32_t kBikeRejoined = 0x20000;    // the next crossing times no lap
inline constexpr std::uint32_t kBikeBarrierTouched = 0x40000;

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
    // Replaces the set-up in force and applies it again.
    void SetSetup(const BikeSetup& setup);
    // Turns the set-up into the bike's physical parameters.
    void ApplySetup();

    void PlaceAtStart(bool full);
    void ResetDynamics(bool keepHeading);
    void Restart();
    void Park();
    void OnRaceEnd() {}

    // Pass 1 of a simulation sub-step: controls into a lean.
    void ControlStep(float dt);
    // Drives the lean toward a target; returns the new lean angle.
    float LeanStep(float leanTarget, float dt);
    // Forward and up axes and the centre-of-mass offset from the pose.
    void UpdateBodyAxes();
    // Radius of the circle the lean balances at the current speed (0 when
    // upright; at least 5 m in magnitude).
    float LeanRadius(float lean) const;
    // Lean that balances a circle of radius r at the current speed.
    float LeanForRadius(float radius) const;

    // Drives a bike that no person steers. Least form until the computer
    // rider's control is built: it holds the bike upright on its line.
    void ComputerControl(float dt);

    // Position along the path: distance, segment, heading and curve radius
    // of the path there, side offset.
    float UpdateProgress();
    void EnterPitLane();
    void RejoinCircuit();

    // Enters a rider state (-1 riding, -2 waiting on the grid, >= 0 the
    // rider animation table's states).
    void SetState(int state, float startTime);

    // Writes the recorded samples to "telem.dat" in the working folder and
    // empties the buffer; false when the file cannot be written.
    bool WriteTelemetry();

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
    float RevTarget = 0.0f;
    float RevRate = 0.0f;
    float SkidSmokeTimer = 0.0f;

private:
    const BikeModel* ModelBlock() const;
    void ShowInstances(bool shown, bool cockpit);
    void PlaceOnCircuit();
    void PlaceInPitLane();
    bool SettleWheels(int* attempts);
    void SettleOnCentreLine();
    void FinishSettle();
    void SteerTowardPath();
};

// Session types.
inline constexpr std::int32_t kSessionPractice = 0;
inline constexpr std::int32_t kSessionQualifying = 2;
inline constexpr bool IsPracticeSession(std::int32_t sessionType) { return sessionType <= 2; }
