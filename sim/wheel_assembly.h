#pragma once

#include <cstdint>

#include "sim/tyre.h"
#include "sim/vec3.h"

class Bike;
class model_node;

// The bike model's values of one wheel: the 14 words that the bike-model
// block holds per wheel. The first twelve are the bike file's twelve values
// of that wheel, in file order and already scaled (tyre width in m, aspect
// as a fraction, rim radius in m); then the rolling radius computed from
// them (aspect x width + rim radius) and the bike file's one value shared by
// both wheels.
struct WheelParameters {
    float TyreWidth = 0.0f;    // m
    float TyreAspect = 0.0f;   // sidewall height / width
    float RimRadius = 0.0f;    // m
    float LengthBase = 0.0f;   // RestLength = (0.7 + 0.3 cos roll) x LengthFactor x LengthScale + LengthBase
    float LengthScale = 0.0f;
    float LengthFactor = 0.0f;
    float MaxTravel = 0.0f;    // m of spring travel
    float LeverRatio = 0.0f;   // spring travel per wheel travel (not 0)
    float Rake = 0.0f;         // rad (front; the rear's is 0)
    float Inertia = 0.0f;      // rolling inertia as an equivalent mass, kg (not 0)
    float BrakeDrag = 0.0f;    // N of resistance of the front brake
    float SlipGain = 0.0f;     // tyre work per metre rolled
    float Radius = 0.0f;       // rolling radius, m (not 0)
    float Shared = 0.0f;       // the bike file's value shared by both wheels (kept, unused)
};
static_assert(sizeof(WheelParameters) == 56, "14 words per wheel");

// Radius from the tyre size: width mm, aspect percent, rim diameter inches
// (180 / 55 / 17 gives 0.3149 m).
float WheelRadiusFromTyreSize(float widthMm, float aspectPercent, float rimInches, float* widthOut = nullptr,
                              float* aspectOut = nullptr, float* rimRadiusOut = nullptr);

// Checks the values the wheel divides by or relies on: every value finite,
// Radius, LeverRatio and Inertia above 0, MaxTravel not negative and short of
// the front fork air spring's pole (kAirSpringPole; the same bound serves
// the rear). Returns the name of the first bad value, or null.
const char* FindBadWheelParameter(const WheelParameters& parameters);

// The front fork's air spring pushes back without bound as the spring
// travel nears this (m).
inline constexpr float kAirSpringPole = 0.14f;

// The wheel's own attitude; its heading is the direction the wheel rolls in
// (what the riding physics calls the wheel's TravelHeading).
struct WheelAttitude {
    float Pitch = 0.0f;
    float Heading = 0.0f;
    float Roll = 0.0f;
};

// What the race's model code sets on the wheel's 3D nodes for one drawn
// frame (UpdateNodes) or once when it binds them (BindNodes).
struct WheelNodePose {
    bool HasPivotRotation = false;
    Vec3 PivotRotation;          // front, when binding: PivotNode rotation (-Rake, 0, 0) (unless animated)
    Vec3 WheelRotation;          // WheelNode rotation (unless animated)
    bool HasSuspensionPosition = false;
    Vec3 SuspensionPosition;     // front: SuspensionNode position
    bool HasSuspensionRotation = false;
    Vec3 SuspensionRotation;     // rear: swing-arm angle about x
    float SpinFraction = 0.0f;   // rear: fractional spin for the wheel-detail material set
};

// A bike lifting one wheel turns about the other wheel's contact: its
// wheelbase, the height of its centre of mass and the centre's distance
// along the bike from that contact.
struct WheelLiftGeometry {
    float Length = 0.0f;
    float Height = 0.0f;
    float Reach = 0.0f;
};

// Flags bits.
inline constexpr std::uint32_t kWheelAlwaysGrips = 0x1;  // bit 0: always counts as gripping
inline constexpr std::uint32_t kWheelLeftTrack = 0x2;    // bit 1: the contact point left the track surface
inline constexpr std::uint32_t kWheelFront = 0x4;        // bit 2: front wheel (clear: rear)

// The wheel, tyre and suspension of one end of a bike. Two per Bike
// (FrontWheel, RearWheel); plain data, zeroed with the bike.
//
// Names the riding physics and the wheel contact use for fields held here:
//   the wheel's hub Position       = ContactPoint (the point RestLength above
//                                    the ground, less the suspension travel)
//   the previous ground point       = PrevContactPoint
//   Load (N, vertical)              = Force.y
//   DriveForce (N, along the wheel) = Force.z
//   TravelHeading                   = Orientation.Heading
//   EdgeNormal                      = GroundNormal (the track's edge queries write it)
//   the hub's vertical speed        = Velocity.y
//
// The wheel reads these of its Owner: Pitch, Heading, Roll, UpAxis, Progress,
// SideOffset, Wheelbase, MassOffset, the other wheel's Travel and the rear
// RestLength, Speed, Mass, Weight, Stability, Status (0x8
// finished, 0x10 in the pit lane), Flags (bit 0 human), Setup (FrontTyre,
// RearTyre), Path; and calls Owner->EnterPitLane() and Owner->RejoinCircuit().
// The race's session, weather and paths come from CurrentRaceConditions().
class WheelAssembly {
public:
    WheelAssembly() = default;

    // Takes the bike model's values of this wheel.
    void SetParameters(const WheelParameters& parameters);

    // Converts the set-up values (SpringRate, the four damper rates and
    // Preload as the set-up holds them; Mass and SprungMass set by the bike)
    // into the suspension's working values. Values the suspension divides by
    // that are not above 0 are replaced by the smallest positive ones that
    // keep it finite; FindBadSetupValue reports them first.
    void ApplySetup();
    // Checks the set-up values before ApplySetup: spring rate and masses
    // above 0, damper rates and preload finite, BumpLow not 0 (front).
    // Returns the name of the first bad value, or null.
    const char* FindBadSetupValue() const;

    // Chooses the tyre number (the set-up's for a human bike in a race
    // started from the front end outside the arcade model, else 1 in rain
    // and 0 otherwise), loads it and copies Terrain0, Terrain1. A tyre that
    // cannot be loaded throws a GameError naming the list and the file.
    void LoadTyre();
    // The tyre number LoadTyre chooses.
    int ChooseTyreNumber() const;

    void Reset();                               // at rest on the ground
    void UpdateGrip(float speed);               // side force, grip cut, turn radius
    // The same, given the cosine and sine of the owner's pitch (the riding
    // step works them out once for both wheels).
    void UpdateGrip(float speed, const AngleCosSin& pitch);
    void StepSuspension(float dt);              // suspension over dt, in steps of at most 5 ms
    // How high the wheel can lift (m) while the other stays on the ground:
    // to where the centre of mass stands over the other contact.
    float LiftLimit() const;
    // The mass that a load pulling this wheel up has to lift: the whole
    // bike turning about the other wheel's contact, taken at this wheel.
    float LiftMass() const;
    void TravelFromHeight();                    // travel from the contact height (replays)
    float Move(float dt, float speed);          // rolls the contact point; returns dt x speed
    float BumpSteer() const;                    // lean disturbance from the bump profile
    void LocateOnTrack(float progress);         // ground, terrain values, pit-lane switching

    // The race's model code reads the nodes' rest data and binds them
    // (suspension node position, pivot node height, length of the wheel
    // node's (y, z) position); the returned pose holds the front pivot's
    // rotation.
    WheelNodePose BindNodes(const Vec3& suspensionRest, float pivotHeight, float wheelArmLength);
    // The node transforms of one drawn frame.
    WheelNodePose UpdateNodes() const;

    bool IsFront() const { return (Flags & kWheelFront) != 0; }

    // The bike as it turns about the other wheel's contact.
    WheelLiftGeometry Lift() const;

    // Fields, in this order (the snapshot keeps the first 35 words: Flags
    // to Terrain).
    std::uint32_t Flags = 0;
    float Travel = 0.0f;            // wheel travel (0 or below: off the ground)
    float SpringTravel = 0.0f;      // spring compression
    float SpringSpeed = 0.0f;
    float GroundHeight = 0.0f;      // 3.4028235e38: none found
    float PrevGroundHeight = 0.0f;
    Vec3 PrevContactPoint;
    Vec3 ContactPoint;
    Vec3 Velocity;                  // y: the hub's vertical speed
    float Heading = 0.0f;
    float Grip = 0.0f;              // 1 within grip; below 1 the factor the side force was cut to
    Vec3 GroundNormal;
    float RestLength = 0.0f;
    Vec3 Force;                     // side x, vertical y (load), z along the wheel (drive/brake)
    WheelAttitude Orientation;
    float TurnRadius = 0.0f;        // signed; 0 straight
    float LoadShare = 0.0f;
    float HubAccel = 0.0f;
    float SpinAngle = 0.0f;
    float Terrain0 = 0.0f;
    float Terrain1 = 0.0f;
    float Downforce = 0.0f;
    std::int8_t Terrain = 0;        // surface class under the wheel
    float Compliance = 0.0f;        // 1 / spring rate
    float CosRake = 0.0f;
    float KneeBump = 0.0f;          // damper knee speeds, m/s
    float KneeRebound = 0.0f;
    float SetupFactor = 0.0f;
    float FreeBumpHigh = 0.0f;      // damper rates / SprungMass
    float FreeReboundHigh = 0.0f;
    float FreeBumpLow = 0.0f;
    float FreeReboundLow = 0.0f;
    float TravelSpeed = 0.0f;
    float StepDistance = 0.0f;
    float SlideMargin = 0.0f;
    ::Tyre Tyre;
    Bike* Owner = nullptr;

    // Set-up values (from the bike's set-up; converted by ApplySetup).
    float SpringRate = 0.0f;        // kg/mm before, N/m after
    float BumpHigh = 0.0f;
    float ReboundHigh = 0.0f;
    float BumpLow = 0.0f;
    float ReboundLow = 0.0f;
    // Model values (SetParameters).
    float Radius = 0.0f;
    float LengthBase = 0.0f;
    float LengthScale = 0.0f;
    float LengthFactor = 0.0f;
    float MaxTravel = 0.0f;
    float LeverRatio = 0.0f;
    float Rake = 0.0f;
    float Preload = 0.0f;           // mm before ApplySetup, m after
    float Shared = 0.0f;
    float Mass = 0.0f;              // unsprung mass, kg
    float SprungMass = 0.0f;        // static share of the bike's mass, kg
    float Inertia = 0.0f;
    float BrakeDrag = 0.0f;
    float SlipGain = 0.0f;
    float TyreWidth = 0.0f;
    float TyreAspect = 0.0f;
    float RimRadius = 0.0f;

    Vec3 NodeRest;                  // rest position of the suspension node
    float PivotHeight = 0.0f;       // y position of the pivot node (front)
    float WheelArmLength = 0.0f;    // length of the wheel node's (y, z) position (rear)
    model_node* PivotNode = nullptr;
    model_node* SuspensionNode = nullptr;
    model_node* WheelNode = nullptr;
};

// Height that means no ground was found.
inline constexpr float kNoGround = 3.4028235e38f;
