#pragma once

// The one list per struct of what a bike snapshot keeps.
//
// Every data member of Bike, WheelAssembly and Tyre is named here exactly
// once, in declaration order, either as SAVED (the snapshot keeps it) or as
// NOT_SAVED (a binding to the race, the program or the 3D model that a
// restore must leave alone; each says why). tests/sim/snapshot_test.cpp
// reads the three headers and fails when a member is missing here, so a
// field added to one of these structs must be added to its list below: as
// SAVED when any step reads or writes it, NOT_SAVED otherwise.
//
// A visitor `v` receives v.Saved(memberPointer, "Name") or
// v.NotSaved(memberPointer, "Name") for each member. Saved members are
// written as 32-bit words by type (sim/snapshot.cpp): one word per scalar,
// three per Vec3, Integrator and WheelAttitude, five per ControlRecord,
// pointers to bikes and paths as indexes; WheelAssembly and Tyre members go
// through their own lists.

#include "sim/bike.h"
#include "sim/tyre.h"
#include "sim/wheel_assembly.h"

#define TORVANE_SAVED(field) v.Saved(&Self::field, #field)
#define TORVANE_NOT_SAVED(field) v.NotSaved(&Self::field, #field)

template <class Visitor>
constexpr void ForEachTyreField(Visitor& v)
{
    using Self = Tyre;
    // Temperatures, wear and the surface under the tyre.
    TORVANE_SAVED(Wear);
    TORVANE_SAVED(Temp);
    TORVANE_SAVED(Grip);
    TORVANE_SAVED(Surface);
    TORVANE_SAVED(SurfaceC);
    TORVANE_SAVED(SurfaceB);
    TORVANE_SAVED(SurfaceA);
    TORVANE_SAVED(SurfaceD);
    TORVANE_SAVED(SurfaceHeat);
    TORVANE_SAVED(SurfaceWear);
    TORVANE_SAVED(Camber);
    TORVANE_SAVED(ZoneWeight);
    TORVANE_SAVED(WeightedWear);
    TORVANE_SAVED(WeightedTemp);
    TORVANE_SAVED(Asymmetry);
    // The coefficients: a set-up change during the race may load another
    // tyre, so they are kept too.
    TORVANE_SAVED(CoolCentre);
    TORVANE_SAVED(CoolShoulder);
    TORVANE_SAVED(HeatCentre);
    TORVANE_SAVED(HeatShoulder);
    TORVANE_SAVED(WearDecade);
    TORVANE_SAVED(WearCentre);
    TORVANE_SAVED(WearShoulder);
    TORVANE_SAVED(WearCurve);
    TORVANE_SAVED(TempCurve);
    TORVANE_SAVED(GripScale);
    TORVANE_SAVED(WearExp);
    // A cache of the cooling exponential, keyed by its exponent.
    TORVANE_NOT_SAVED(CoolKnown);
    TORVANE_NOT_SAVED(CoolExponentBits);
    TORVANE_NOT_SAVED(CoolFactor);
}

template <class Visitor>
constexpr void ForEachWheelField(Visitor& v)
{
    using Self = WheelAssembly;
    TORVANE_SAVED(Flags);
    TORVANE_SAVED(Travel);
    TORVANE_SAVED(SpringTravel);
    TORVANE_SAVED(SpringSpeed);
    TORVANE_SAVED(GroundHeight);
    TORVANE_SAVED(PrevGroundHeight);
    TORVANE_SAVED(PrevContactPoint);
    TORVANE_SAVED(ContactPoint);
    TORVANE_SAVED(Velocity);
    TORVANE_SAVED(Heading);
    TORVANE_SAVED(Grip);
    TORVANE_SAVED(GroundNormal);
    TORVANE_SAVED(RestLength);
    TORVANE_SAVED(Force);
    TORVANE_SAVED(Orientation);
    TORVANE_SAVED(TurnRadius);
    TORVANE_SAVED(LoadShare);
    TORVANE_SAVED(HubAccel);
    TORVANE_SAVED(SpinAngle);
    TORVANE_SAVED(Terrain0);
    TORVANE_SAVED(Terrain1);
    TORVANE_SAVED(Downforce);
    TORVANE_SAVED(Terrain);
    // Values the set-up gives (a set-up change during the race rewrites them).
    TORVANE_SAVED(Compliance);
    TORVANE_SAVED(CosRake);
    TORVANE_SAVED(KneeBump);
    TORVANE_SAVED(KneeRebound);
    TORVANE_SAVED(SetupFactor);
    TORVANE_SAVED(FreeBumpHigh);
    TORVANE_SAVED(FreeReboundHigh);
    TORVANE_SAVED(FreeBumpLow);
    TORVANE_SAVED(FreeReboundLow);
    TORVANE_SAVED(TravelSpeed);
    TORVANE_SAVED(StepDistance);
    TORVANE_SAVED(SlideMargin);
    TORVANE_SAVED(Tyre);
    TORVANE_NOT_SAVED(Owner);  // the bike that holds the wheel
    TORVANE_SAVED(SpringRate);
    TORVANE_SAVED(BumpHigh);
    TORVANE_SAVED(ReboundHigh);
    TORVANE_SAVED(BumpLow);
    TORVANE_SAVED(ReboundLow);
    TORVANE_SAVED(Radius);
    TORVANE_SAVED(LengthBase);
    TORVANE_SAVED(LengthScale);
    TORVANE_SAVED(LengthFactor);
    TORVANE_SAVED(MaxTravel);
    TORVANE_SAVED(LeverRatio);
    TORVANE_SAVED(Rake);
    TORVANE_SAVED(Preload);
    TORVANE_SAVED(Shared);
    TORVANE_SAVED(Mass);
    TORVANE_SAVED(SprungMass);
    TORVANE_SAVED(Inertia);
    TORVANE_SAVED(BrakeDrag);
    TORVANE_SAVED(SlipGain);
    TORVANE_SAVED(TyreWidth);
    TORVANE_SAVED(TyreAspect);
    TORVANE_SAVED(RimRadius);
    // The 3D model's nodes and their rest data, bound once by the race's
    // model code; no step changes them.
    TORVANE_NOT_SAVED(NodeRest);
    TORVANE_NOT_SAVED(PivotHeight);
    TORVANE_NOT_SAVED(WheelArmLength);
    TORVANE_NOT_SAVED(PivotNode);
    TORVANE_NOT_SAVED(SuspensionNode);
    TORVANE_NOT_SAVED(WheelNode);
}

template <class Visitor>
constexpr void ForEachBikeField(Visitor& v)
{
    using Self = Bike;
    TORVANE_SAVED(Status);
    TORVANE_SAVED(TrackLine);
    TORVANE_SAVED(Lean);
    TORVANE_SAVED(LookAhead);
    TORVANE_SAVED(WeavePhase);
    TORVANE_SAVED(TurnRadius);
    TORVANE_SAVED(TurnSpare);
    TORVANE_SAVED(Posture);
    TORVANE_SAVED(BodyPoint);
    TORVANE_SAVED(BodyVelocity);
    TORVANE_SAVED(BodyNormal);
    TORVANE_SAVED(BodyContact);
    TORVANE_SAVED(LapTime);
    TORVANE_SAVED(BestLap);
    TORVANE_SAVED(RaceTime);
    TORVANE_SAVED(EngineTemp);
    TORVANE_SAVED(Speed);
    TORVANE_SAVED(WheelSpeed);
    TORVANE_SAVED(Rpm);
    TORVANE_SAVED(Gear);
    TORVANE_SAVED(Laps);
    TORVANE_SAVED(Pitch);
    TORVANE_SAVED(Heading);
    TORVANE_SAVED(Roll);
    TORVANE_SAVED(AngularRate);
    TORVANE_SAVED(Position);
    TORVANE_SAVED(RiderAngles);
    TORVANE_SAVED(RiderPosition);
    TORVANE_SAVED(CgVelocity);
    TORVANE_SAVED(CgPosition);
    TORVANE_SAVED(RiderState);
    TORVANE_SAVED(StateTime);
    TORVANE_SAVED(StatePhase);
    TORVANE_SAVED(RideValue);
    TORVANE_SAVED(SideOffset);
    TORVANE_SAVED(Progress);
    TORVANE_SAVED(Segment);
    TORVANE_SAVED(RiderSideOffset);
    TORVANE_SAVED(RiderProgress);
    TORVANE_SAVED(RiderSegment);
    TORVANE_SAVED(PathHeading);
    TORVANE_SAVED(CurveRadius);
    TORVANE_SAVED(PrevPosition);
    TORVANE_SAVED(PrevPitch);
    TORVANE_SAVED(PrevHeading);
    TORVANE_SAVED(PrevRoll);
    TORVANE_SAVED(PrevSideOffset);
    TORVANE_SAVED(StepTravel);
    TORVANE_SAVED(Wheelbase);
    TORVANE_SAVED(TargetSpeed);
    // The model's parameters and the gearing of the set-up (a set-up change
    // during the race rewrites them).
    TORVANE_SAVED(GearCount);
    TORVANE_SAVED(PrimaryRatio);
    TORVANE_SAVED(SprocketTeeth);
    TORVANE_SAVED(CrownTeeth);
    TORVANE_SAVED(GearRatio);
    TORVANE_SAVED(OverallRatio);
    TORVANE_SAVED(DragC0);
    TORVANE_SAVED(DragC1);
    TORVANE_SAVED(DragC2);
    TORVANE_SAVED(EngineBrakeE0);
    TORVANE_SAVED(EngineBrakeE1);
    TORVANE_SAVED(EngineBrakeE2);
    TORVANE_SAVED(SideSlipDivisor);
    // The power table lives in the race's bike-model block: its size goes
    // with the pointer, both set when the model is loaded.
    TORVANE_NOT_SAVED(PowerTableSize);
    TORVANE_NOT_SAVED(PowerTable);
    TORVANE_SAVED(RevLimit);
    TORVANE_SAVED(HeatSlope);
    TORVANE_SAVED(HeatCold);
    TORVANE_SAVED(HeatHot);
    TORVANE_SAVED(Mass);
    TORVANE_SAVED(Weight);
    TORVANE_SAVED(BaseWheelbase);
    TORVANE_SAVED(Stability);
    TORVANE_SAVED(MassForward);
    TORVANE_SAVED(MassHeight);
    TORVANE_SAVED(TyreGripScale);
    TORVANE_SAVED(Rival);              // as a bike index
    TORVANE_SAVED(RivalSpare);
    TORVANE_SAVED(SideSpeed);
    TORVANE_SAVED(FurthestProgress);
    TORVANE_SAVED(SlideTime);
    TORVANE_SAVED(CentreX);
    TORVANE_SAVED(CentreZ);
    TORVANE_SAVED(LapStartTime);
    TORVANE_SAVED(LastLap);
    TORVANE_SAVED(LapDelta);
    TORVANE_SAVED(LapSpare);
    TORVANE_SAVED(RelaunchTime);
    TORVANE_NOT_SAVED(RiderEntry);     // the player's record, owned by the application
    TORVANE_NOT_SAVED(TelemetryBuffer); // the samples stay; the count below says how many count
    TORVANE_SAVED(TelemetryCount);
    TORVANE_NOT_SAVED(GridEntry);      // the rider's entry of the race's bike table
    TORVANE_NOT_SAVED(Setup);          // the set-up record; its values are saved where the bike uses them
    TORVANE_NOT_SAVED(PlayerId);       // set once by Init
    TORVANE_NOT_SAVED(Index);          // the bike's place in the race's array
    TORVANE_SAVED(Controls);
    TORVANE_SAVED(Flags);
    TORVANE_SAVED(Path);               // as circuit or pit lane
    TORVANE_SAVED(Accel);
    TORVANE_SAVED(AimHeading);
    TORVANE_SAVED(EngineSoundRpm);
    TORVANE_SAVED(RacePosition);
    TORVANE_SAVED(Ahead);              // as a bike index
    TORVANE_SAVED(Behind);             // as a bike index
    TORVANE_SAVED(FrontWheel);
    TORVANE_SAVED(RearWheel);
    TORVANE_NOT_SAVED(BikeInstance);   // 3D instances, owned by the race
    TORVANE_NOT_SAVED(RiderInstance);
    TORVANE_NOT_SAVED(ShadowInstance);
    TORVANE_NOT_SAVED(RiderShadowInstance);
    TORVANE_SAVED(SettledPosition);
    TORVANE_SAVED(ShiftTimer);
    TORVANE_SAVED(SlipMarker);
    TORVANE_SAVED(ForwardAxis);
    TORVANE_SAVED(UpAxis);
    TORVANE_SAVED(MassOffset);
    TORVANE_SAVED(BodyContactCount);
    TORVANE_NOT_SAVED(RevTarget);      // the engine sound's: cosmetic, as the three below
    TORVANE_NOT_SAVED(RevRate);
    TORVANE_NOT_SAVED(SoundRpm);
    TORVANE_NOT_SAVED(SoundFlags);
    TORVANE_SAVED(SkidSmokeTimer);
    TORVANE_SAVED(BodyPrevious);
    TORVANE_SAVED(BodySurface);
    TORVANE_SAVED(StepStart);
}

#undef TORVANE_SAVED
#undef TORVANE_NOT_SAVED
