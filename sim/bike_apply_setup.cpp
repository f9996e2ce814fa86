#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/byte_writer.h"
#include "platform/file.h"
#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"

namespace {

// Qualifying keeps the player's set-up as "<track>.set" in the working folder.
void SaveQualifyingSetup(const BikeSetup& setup)
{
    const RaceContext& race = CurrentRaceContext();
    if (!race.TrackName[0])
        return;
    const std::string name(race.TrackName, strnlen(race.TrackName, sizeof race.TrackName));
    platform::ByteWriter out;
    WriteBikeSetup(out, setup);
    std::string error;
    if (!platform::write_whole_file(name + ".set", out.bytes(), &error))
        std::fprintf(stderr, "The set-up could not be saved as %s.set: %s\n", name.c_str(), error.c_str());
}

} // namespace

void Bike::SetSetup(const BikeSetup& setup)
{
    if (Setup)
        *Setup = setup;
    LoadParameters();
}

void Bike::ApplySetup()
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const bool arcade = conditions.SessionType == kSessionArcade;
    const BikeSetup& s = *Setup;

    if (conditions.SessionType == kSessionQualifying && IsHuman())
        SaveQualifyingSetup(s);

    if (arcade && !IsHuman()) {
        MassHeight *= 1.1f;
        MassForward *= 0.7f;
    }

    // Rake: the model's wheelbase follows the steering head.
    const float modelRake = FrontWheel.Rake;
    BaseWheelbase += 0.8f * (std::sin(s.SteeringHeadAngle) - std::sin(modelRake));
    FrontWheel.Rake = s.SteeringHeadAngle;

    // 25 degrees of rake and 109.2 mm of trail are the least stable; 10
    // degrees or 24.4 mm less make the most stable.
    Stability = (0.43633232f - s.SteeringHeadAngle) * 5.729578f + (0.1092f - s.Trail) * 41.02564f;
    Stability = std::clamp(Stability, 0.0f, 1.0f);

    SprocketTeeth = s.SprocketTeeth;
    CrownTeeth = s.CrownTeeth;
    for (int g = 0; g < 6; ++g)
        GearRatio[g] = s.GearRatio[g];
    for (int g = 0; g < GearCount && g < 6; ++g)
        OverallRatio[g] = GearRatio[g] * PrimaryRatio * static_cast<float>(CrownTeeth) /
                          static_cast<float>(SprocketTeeth);

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

    Weight = Mass * 9.80665f;

    RearWheel.Orientation = WheelAttitude{};
    RearWheel.RestLength = RearWheel.LengthFactor * RearWheel.LengthScale + RearWheel.LengthBase;
    MassHeight -= RearWheel.RestLength;
    MassOffset = Vec3(0.0f, MassHeight, MassForward);
    TyreGripScale = 0.8f;

    // Static shares of the mass over the two wheels (the wheelbase is
    // checked above 0 when the bike file is read).
    const float front = BaseWheelbase > 0.0f ? MassForward * Mass / BaseWheelbase : 0.0f;
    FrontWheel.SprungMass = front;
    RearWheel.SprungMass = Mass - front;

    FrontWheel.ApplySetup();
    RearWheel.ApplySetup();
}
