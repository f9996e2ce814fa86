#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/bike.h"
#include "sim/bike_parameters.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/setup_files.h"

namespace {

// 25 degrees of rake and 109.2 mm of trail are the least stable; 10 degrees
// (or 24.4 mm of trail) less make the most stable.
constexpr float kLeastStableRake = 0.43633232f;
constexpr float kStabilityPerRake = 5.729578f;
constexpr float kLeastStableTrail = 0.1092f;
constexpr float kStabilityPerTrail = 41.02564f;
// The steering head sits this far from the rear axle's line: the wheelbase
// grows with the sine of the rake.
constexpr float kRakeWheelbaseArm = 0.8f;
constexpr float kGravity = 9.80665f;

// Qualifying keeps the player's set-up as "<track>.set" in the working
// folder. A file that cannot be written costs only that copy: the race goes
// on, and the failure is logged rather than shown to the player.
void SaveQualifyingSetup(const BikeSetup& setup)
{
    const RaceContext& race = CurrentRaceContext();
    const std::string_view track(race.TrackName, strnlen(race.TrackName, sizeof race.TrackName));
    if (track.empty())
        return;
    const std::string name = PlayerSetupFileName(track);
    std::string error;
    if (!WriteSetupFile(name, setup, &error))
        std::fprintf(stderr, "The set-up could not be saved as %s: %s\n", name.c_str(), error.c_str());
}

// The tyre a wheel would take with `setup` in force can be loaded (the
// set-up's tyre numbers are used only by a human bike in a race started from
// the front end outside the arcade model; LoadTyre throws on a tyre that is
// not in the file).
bool SetupTyresLoad(const Bike& bike, const BikeSetup& setup, std::string* problem)
{
    const RaceConditions& race = CurrentRaceConditions();
    if (!bike.IsHuman() || !(race.RunFlags & kRunFlagFrontEnd) || race.Arcade())
        return true;
    for (const int number : {setup.FrontTyre, setup.RearTyre}) {
        Tyre probe;
        if (!probe.Load(number, problem))
            return false;
    }
    return true;
}

} // namespace

bool Bike::SetSetup(const BikeSetup& setup)
{
    if (!Setup)
        return false;
    if (const char* bad = FindBadBikeSetupValue(setup, GearCount)) {
        std::fprintf(stderr, "Set-up refused: bad %s\n", bad);
        return false;
    }
    std::string problem;
    if (!SetupTyresLoad(*this, setup, &problem)) {
        std::fprintf(stderr, "Set-up refused: %s\n", problem.c_str());
        return false;
    }
    *Setup = setup;
    LoadParameters();
    return true;
}

// Runs on the model's parameters freshly copied by LoadParameters, so every
// change here is made once.
void Bike::ApplySetup()
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const bool arcade = conditions.SessionType == kSessionArcade;
    const BikeSetup& s = *Setup;

    if (conditions.SessionType == kSessionQualifying && IsHuman())
        SaveQualifyingSetup(s);

    // The arcade model's computer riders sit higher and further back.
    if (arcade && !IsHuman()) {
        MassHeight *= 1.1f;
        MassForward *= 0.7f;
    }

    // Rake: the model's wheelbase follows the steering head.
    const float modelRake = FrontWheel.Rake;
    BaseWheelbase += kRakeWheelbaseArm * (std::sin(s.SteeringHeadAngle) - std::sin(modelRake));
    FrontWheel.Rake = s.SteeringHeadAngle;

    Stability = (kLeastStableRake - s.SteeringHeadAngle) * kStabilityPerRake +
                (kLeastStableTrail - s.Trail) * kStabilityPerTrail;
    Stability = std::clamp(Stability, 0.0f, 1.0f);

    // Gearing: overall ratio = gear x primary x crown / sprocket. The teeth
    // are checked above 0 before a set-up reaches the bike; a sprocket of 0
    // here would still give no drive rather than a division by zero.
    SprocketTeeth = s.SprocketTeeth;
    CrownTeeth = s.CrownTeeth;
    for (int g = 0; g < kMaxGears; ++g)
        GearRatio[g] = s.GearRatio[g];
    const float finalDrive =
        SprocketTeeth > 0 ? static_cast<float>(CrownTeeth) / static_cast<float>(SprocketTeeth) : 0.0f;
    for (int g = 0; g < GearCount && g < kMaxGears; ++g)
        OverallRatio[g] = GearRatio[g] * PrimaryRatio * finalDrive;

    FrontWheel.SpringRate = s.FrontSpring;
    FrontWheel.BumpHigh = s.FrontBumpHigh;
    FrontWheel.ReboundHigh = s.FrontReboundHigh;
    FrontWheel.BumpLow = s.FrontBumpLow;
    FrontWheel.ReboundLow = s.FrontReboundLow;
    FrontWheel.Preload = s.FrontPreload;
    FrontWheel.Mass = Mass * 0.08f;
    RearWheel.SpringRate = s.RearSpring;
    RearWheel.BumpHigh = s.RearBumpHigh;
    RearWheel.ReboundHigh = s.RearReboundHigh;
    RearWheel.BumpLow = s.RearBumpLow;
    RearWheel.ReboundLow = s.RearReboundLow;
    RearWheel.Preload = s.RearPreload;
    RearWheel.Mass = Mass * 0.1f;

    // The arcade model rides on fixed dampers whatever the set-up says.
    if (arcade) {
        FrontWheel.BumpHigh = 2500.0f;
        FrontWheel.ReboundHigh = 250.0f;
        FrontWheel.BumpLow = 600.0f;
        FrontWheel.ReboundLow = 1250.0f;
        RearWheel.BumpHigh = 11000.0f;
        RearWheel.ReboundHigh = 2500.0f;
        RearWheel.BumpLow = 6600.0f;
        RearWheel.ReboundLow = 10000.0f;
    }

    Weight = Mass * kGravity;

    // The centre of mass is measured from the rear axle at rest.
    RearWheel.Orientation = WheelAttitude{};
    RearWheel.RestLength = RearWheel.LengthFactor * RearWheel.LengthScale + RearWheel.LengthBase;
    MassHeight -= RearWheel.RestLength;
    MassOffset = Vec3(0.0f, MassHeight, MassForward);
    TyreGripScale = 0.8f;

    // Static shares of the mass over the two wheels (the bike file's
    // wheelbase is checked at load; a rake can only move it by 0.8 m).
    const float front = BaseWheelbase > 0.0f ? MassForward * Mass / BaseWheelbase : 0.0f;
    FrontWheel.SprungMass = front;
    RearWheel.SprungMass = Mass - front;

    FrontWheel.ApplySetup();
    RearWheel.ApplySetup();
}
