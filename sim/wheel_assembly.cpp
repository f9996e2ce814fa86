#include "sim/wheel_assembly.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "app/game_error.h"
#include "sim/bike.h"
#include "sim/heights.h"
#include "sim/race_conditions.h"
#include "sim/terrain.h"
#include "sim/track.h"
#include "sim/step_isolation.h"

namespace {

constexpr float kKgPerMmToNPerM = 9806.65f;
constexpr float kSuspensionStep = 0.005f;
// A suspension step longer than this is cut short (the race's sub-steps are
// at most 0.1 s long).
constexpr int kMaxSuspensionSteps = 400;
// Smallest magnitude the suspension divides by (cosines of lever angles,
// spring rates, masses that the data left at 0).
constexpr float kTinyDivisor = 1.0e-6f;
// The air spring's pole is never reached: its base 1 - travel / pole stays
// at least this large.
constexpr double kAirSpringMinBase = 0.02;

constexpr std::uint32_t kBikeStatusFinished = 0x8;
constexpr std::uint32_t kBikeStatusInPitLane = 0x10;
constexpr std::uint32_t kBikeFlagHuman = 0x1;

float SafeDivisor(float value)
{
    if (std::fabs(value) >= kTinyDivisor)
        return value;
    return value < 0.0f ? -kTinyDivisor : kTinyDivisor;
}

float PositiveDivisor(float value)
{
    return value > kTinyDivisor ? value : kTinyDivisor;
}

// A damper: the low rate up to the knee speed, the high rate beyond it,
// continuous at the knee (bump for v >= 0, rebound below).
struct Damper {
    float BumpLow, BumpHigh, ReboundLow, ReboundHigh, KneeBump, KneeRebound;

    float Force(float v) const
    {
        if (v >= 0.0f) {
            if (v <= KneeBump)
                return BumpLow * v;
            return BumpHigh * v + (BumpLow - BumpHigh) * KneeBump;
        }
        if (v >= -KneeRebound)
            return ReboundLow * v;
        return ReboundHigh * v - (ReboundLow - ReboundHigh) * KneeRebound;
    }
};

// The speed v with a v + b Damper(v) = rhs: the end speed of a step whose
// damper force is taken at its end. With rates that are not negative the
// left side grows with v, so the knee on the side of rhs tells which
// straight piece holds the answer. Rates that would make it fold back fall
// back to the damper force at the start speed v0.
float ImplicitSpeed(float rhs, float a, float b, const Damper& d, float v0)
{
    float rate = 0.0f;
    float offset = 0.0f;
    if (rhs >= 0.0f) {
        if (rhs <= (a + b * d.BumpLow) * d.KneeBump) {
            rate = d.BumpLow;
        } else {
            rate = d.BumpHigh;
            offset = (d.BumpLow - d.BumpHigh) * d.KneeBump;
        }
    } else {
        if (rhs >= -(a + b * d.ReboundLow) * d.KneeRebound) {
            rate = d.ReboundLow;
        } else {
            rate = d.ReboundHigh;
            offset = -(d.ReboundLow - d.ReboundHigh) * d.KneeRebound;
        }
    }
    const float denominator = a + b * rate;
    if (!(denominator > kTinyDivisor) || d.BumpLow < 0.0f || d.BumpHigh < 0.0f || d.ReboundLow < 0.0f ||
        d.ReboundHigh < 0.0f)
        return (rhs - b * d.Force(v0)) / a;
    return (rhs - b * offset) / denominator;
}

// The front fork's air spring at spring travel x: its force and its
// stiffness (the force's growth per metre), in doubles.
void AirSpring(float x, float* force, float* stiffness)
{
    constexpr double kGain = 129.7232923;
    constexpr double kPoleFactor = 7.142857143; // 1 / kAirSpringPole
    constexpr double kExponent = 1.4;
    double base = 1.0 - kPoleFactor * static_cast<double>(x);
    double slope = kGain * kExponent * kPoleFactor;
    if (base < kAirSpringMinBase) {
        base = kAirSpringMinBase;
        slope = 0.0; // held at its largest force
    }
    *force = static_cast<float>(kGain * (1.0 / std::pow(base, kExponent) - 1.0));
    *stiffness = static_cast<float>(slope / std::pow(base, kExponent + 1.0));
}

// The rotation by `back`, given the rotation by `angle` worked out before.
// When back is exactly -angle (the same bits with the sign flipped), the
// cosine is the same and the sine flips its sign: the library's sine and
// cosine are odd and even bit for bit for every finite float (checked over
// all of them), so the sine and cosine need not be worked out again.
AngleCosSin ReverseRotation(const AngleCosSin& rotation, float angle, float back)
{
    if (std::isfinite(angle) && std::bit_cast<std::uint32_t>(back) == std::bit_cast<std::uint32_t>(-angle)) {
        AngleCosSin reverse;
        reverse.c = rotation.c;
        reverse.s = -rotation.s;
        return reverse;
    }
    return AngleCosSin(back);
}

bool HasGround(float height)
{
    return height != kNoGround;
}

} // namespace

float WheelRadiusFromTyreSize(float widthMm, float aspectPercent, float rimInches, float* widthOut,
                              float* aspectOut, float* rimRadiusOut)
{
    const float width = widthMm * 0.001f;
    const float aspect = aspectPercent * 0.01f;
    const float rim = rimInches * 0.0127f;
    if (widthOut != nullptr)
        *widthOut = width;
    if (aspectOut != nullptr)
        *aspectOut = aspect;
    if (rimRadiusOut != nullptr)
        *rimRadiusOut = rim;
    return aspect * width + rim;
}

const char* FindBadWheelParameter(const WheelParameters& p)
{
    struct Named {
        const char* name;
        float value;
    };
    const Named values[] = {
        {"tyre width", p.TyreWidth},   {"tyre aspect", p.TyreAspect},   {"rim radius", p.RimRadius},
        {"length base", p.LengthBase}, {"length scale", p.LengthScale}, {"length factor", p.LengthFactor},
        {"max travel", p.MaxTravel},   {"lever ratio", p.LeverRatio},   {"rake", p.Rake},
        {"inertia", p.Inertia},        {"brake drag", p.BrakeDrag},     {"slip gain", p.SlipGain},
        {"radius", p.Radius},          {"shared value", p.Shared},
    };
    for (const Named& v : values) {
        if (!std::isfinite(v.value))
            return v.name;
    }
    if (!(p.Radius > 0.0f))
        return "radius";
    if (!(p.LeverRatio > 0.0f))
        return "lever ratio";
    if (!(p.Inertia > 0.0f))
        return "inertia";
    if (!(p.MaxTravel >= 0.0f && p.MaxTravel < kAirSpringPole))
        return "max travel";
    if (std::fabs(p.Rake) >= 1.5f)
        return "rake";
    return nullptr;
}

void WheelAssembly::SetParameters(const WheelParameters& p)
{
    TyreWidth = p.TyreWidth;
    TyreAspect = p.TyreAspect;
    RimRadius = p.RimRadius;
    LengthBase = p.LengthBase;
    LengthScale = p.LengthScale;
    LengthFactor = p.LengthFactor;
    MaxTravel = p.MaxTravel;
    LeverRatio = p.LeverRatio;
    Rake = p.Rake;
    Inertia = p.Inertia;
    BrakeDrag = p.BrakeDrag;
    SlipGain = p.SlipGain;
    Radius = p.Radius;
    Shared = p.Shared;
}

const char* WheelAssembly::FindBadSetupValue() const
{
    struct Named {
        const char* name;
        float value;
    };
    const Named values[] = {
        {"spring rate", SpringRate}, {"bump high", BumpHigh},     {"rebound high", ReboundHigh},
        {"bump low", BumpLow},       {"rebound low", ReboundLow}, {"preload", Preload},
        {"mass", Mass},              {"sprung mass", SprungMass},
    };
    for (const Named& v : values) {
        if (!std::isfinite(v.value))
            return v.name;
    }
    if (!(SpringRate > 0.0f))
        return "spring rate";
    if (!(Mass > 0.0f))
        return "mass";
    if (!(SprungMass > 0.0f))
        return "sprung mass";
    if (IsFront() && BumpLow == 0.0f)
        return "bump low";
    return nullptr;
}

void WheelAssembly::ApplySetup()
{
    float s = SpringRate;
    const float b = BumpHigh;
    const float r = ReboundHigh;
    const float p = Preload;
    if (IsFront()) {
        SetupFactor = 0.0375f * (12.0f - p) + 1.2f * (0.95f - s) + 0.00066666666f * (b - 2700.0f);
        KneeBump = 100.0f / SafeDivisor(BumpLow);
        KneeRebound = ReboundLow * 3.3333334e-5f;
        s *= 2.0f;
        BumpLow *= 2.0f;
        ReboundLow *= 2.0f;
        BumpHigh = 2.0f * (3000.0f + 4.0f * (b - 3000.0f));
        ReboundHigh = 2.0f * (250.0f + 4.0f * (r - 250.0f));
    } else {
        BumpHigh = 11000.0f + 4.0f * (b - 11000.0f);
        ReboundHigh = 2500.0f + 4.0f * (r - 2500.0f);
        SetupFactor = 0.08571429f * (12.5f - s) + 0.06f * (10.0f - p) + 0.0002f * (b - 10000.0f);
        KneeBump = 0.03f;
        KneeRebound = 0.03f;
    }
    CosRake = std::cos(Rake);
    SpringRate = s * kKgPerMmToNPerM;
    Preload = p * 0.001f;
    Compliance = 1.0f / PositiveDivisor(SpringRate);
    const float sprung = PositiveDivisor(SprungMass);
    FreeBumpHigh = BumpHigh / sprung;
    FreeReboundHigh = ReboundHigh / sprung;
    FreeBumpLow = BumpLow / sprung;
    FreeReboundLow = ReboundLow / sprung;
}

int WheelAssembly::ChooseTyreNumber() const
{
    const RaceConditions& race = CurrentRaceConditions();
    if (Owner != nullptr && (Owner->Flags & kBikeFlagHuman) != 0 && Owner->Setup != nullptr &&
        (race.RunFlags & kRunFlagFrontEnd) != 0 && !race.Arcade())
        return IsFront() ? Owner->Setup->FrontTyre : Owner->Setup->RearTyre;
    return race.Rain() ? 1 : 0;
}

void WheelAssembly::LoadTyre()
{
    std::string problem;
    if (!Tyre.Load(ChooseTyreNumber(), &problem))
        throw GameError(problem);
    Terrain0 = TerrainTable.Terrain0;
    Terrain1 = TerrainTable.Terrain1;
}

void WheelAssembly::Reset()
{
    SpinAngle = 0.0f;
    Terrain = 0;
    Velocity = Vec3();
    SpringSpeed = 0.0f;
    TravelSpeed = 0.0f;
    Force.x = 0.0f;
    Force.z = 0.0f;
    TurnRadius = 0.0f;
    HubAccel = 0.0f;
    Orientation.Pitch = Owner->Pitch;
    Orientation.Heading = Owner->Heading;
    Orientation.Roll = Owner->Roll;
    Heading = Owner->Heading;
    LoadShare = 0.5f;
    Grip = 1.0f;
    RestLength = (0.7f + 0.3f * std::cos(Owner->Roll)) * LengthFactor * LengthScale + LengthBase;

    unsigned char surface = 0;
    GroundHeight = Owner->Path != nullptr ? Owner->Path->Query(&ContactPoint, &GroundNormal, Owner->Progress, &surface)
                                          : kNoGround;
    Terrain = static_cast<std::int8_t>(ClampSurfaceClass(surface));
    const int t = Terrain;
    Tyre.Surface = t;
    Tyre.SurfaceA = TerrainTable.DryA[t] > 0.0f ? TerrainTable.DryA[t] : 0.0f;
    Tyre.SurfaceB = TerrainTable.DryB[t] > 0.0f ? TerrainTable.DryB[t] : 0.0f;
    Tyre.SurfaceC = TerrainTable.DryC[t];
    Tyre.SurfaceD = TerrainTable.DryD[t];
    Tyre.SurfaceHeat = TerrainTable.HeatFactor[t];
    Tyre.SurfaceWear = TerrainTable.WearFactor[t];
    if (HasGround(GroundHeight))
        PrevGroundHeight = GroundHeight;

    Downforce = Force.y;
    const float lever = PositiveDivisor(LeverRatio);
    const float t0 = (Compliance * Force.y - Preload) * CosRake / lever;
    SpringTravel = t0;
    Travel = t0;
    // Without ground the wheel keeps its height: the bike's settling finds
    // another place for it.
    if (HasGround(GroundHeight))
        ContactPoint.y = (RestLength - t0 * CosRake / lever) * Owner->UpAxis.y + GroundHeight;
    PrevContactPoint = ContactPoint;
}

float WheelAssembly::Move(float dt, float speed)
{
    const float d = dt * speed;
    StepDistance += d;
    const float h = Heading;
    if (TurnRadius != 0.0f) {
        const float r = TurnRadius;
        const float a = d / r;
        Heading -= a;
        Orientation.Heading -= a;
        // Along the chord of the arc, 2 r sin(a/2) at the mean heading: the
        // difference of the circle's two points, without subtracting nearly
        // equal cosines (on a wide arc or a short step that difference lost
        // the step's motion, or all of it).
        const float chord = 2.0f * r * std::sin(0.5f * a);
        const float mid = h - 0.5f * a;
        ContactPoint.x += chord * std::sin(mid);
        ContactPoint.z += chord * std::cos(mid);
    } else {
        ContactPoint.x += d * std::sin(h);
        ContactPoint.z += d * std::cos(h);
    }
    return d;
}

void WheelAssembly::UpdateGrip(float speed) { UpdateGrip(speed, AngleCosSin(Owner->Pitch)); }

void WheelAssembly::UpdateGrip(float speed, const AngleCosSin& pitch)
{
    const RaceConditions& race = CurrentRaceConditions();
    const float speed2 = speed * speed;
    // The turn into the contact's frame (none in the air).
    float toContact = std::numeric_limits<float>::quiet_NaN();
    AngleCosSin rotation;
    if (Travel <= 0.0f) {
        // In the air: no side force, no turn.
        TurnRadius = 0.0f;
        Force.x = 0.0f;
        Force.z = 0.0f;
        Grip = 0.0f;
    } else {
        Force.x = TurnRadius != 0.0f ? LoadShare * Owner->Mass / TurnRadius * speed2 : 0.0f;
        // The force is held in the wheel's own frame (x across it, z along
        // it); the friction circle is taken in the frame of the direction
        // the contact point travels in, the wheel heading less the slip
        // (turned back at the end). Turning it by the compass heading
        // instead would make the grip and the turn depend on the direction
        // the bike rides in.
        toContact = Heading - Orientation.Heading;
        rotation = AngleCosSin(toContact);
        Force = VecRotateY(Force, rotation);
        // The angle of the load from the vertical, on the outside of the
        // turn: a lean that balances the turn carries it square to the tyre.
        const float ang = std::atan2(Force.x, Force.y);

        float limit = std::cos(Orientation.Roll - ang) *
                      (Downforce * Tyre.Grip * Tyre.SurfaceC * pitch.c + LoadShare * Owner->Weight * std::fabs(pitch.s));
        // A wheel turned past its side (or a surface without friction) has
        // no grip rather than a grip that pushes the wrong way.
        if (!(limit > 0.0f))
            limit = 0.0f;
        const float total = std::sqrt(Force.z * Force.z + Force.x * Force.x);

        // No force to transmit: full grip, whatever the load.
        if ((Flags & kWheelAlwaysGrips) != 0 || total <= limit || total == 0.0f) {
            Grip = 1.0f;
        } else {
            const float margin = (Owner->Status & kBikeStatusFinished) != 0 ? 1.0f : SlideMargin;
            const float side = std::fabs(Force.x);
            if (limit <= (1.0f - margin) * total) {
                Grip = limit / total;
            } else if (side <= limit) {
                Force.z = std::copysign(std::sqrt(limit * limit - Force.x * Force.x), Force.z);
                Grip = 1.0f;
            } else {
                Force.z = 0.0f;
                Grip = side != 0.0f ? limit / side : 1.0f;
            }
            if (!race.Arcade() && Grip < 1.0f && Tyre.Surface != 0)
                Grip *= 0.1f;
            Force.x *= Grip;
            Force.z *= Grip;
        }
    }

    Force = VecRotateY(Force, ReverseRotation(rotation, toContact, Orientation.Heading - Heading));
    TurnRadius = Force.x != 0.0f ? LoadShare * Owner->Mass / Force.x * speed2 : 0.0f;
    const double magnitude = std::fabs(static_cast<double>(TurnRadius));
    if (magnitude > 120000.0)
        TurnRadius = 0.0f;
    else if (TurnRadius != 0.0f && magnitude < 5.0)
        TurnRadius = TurnRadius > 0.0f ? 5.0f : -5.0f;
}

void WheelAssembly::StepSuspension(float dt)
{
    if (!(dt > 0.0f))
        return;
    const float angle = IsFront() ? Orientation.Pitch + Rake : Orientation.Pitch;
    const float c = SafeDivisor(std::cos(angle) / PositiveDivisor(LeverRatio));
    const float load = Force.y < 0.0f ? Force.y : std::sqrt(Force.x * Force.x + Force.y * Force.y);
    const float groundSpeed = (HasGround(GroundHeight) && HasGround(PrevGroundHeight))
                                  ? (GroundHeight - PrevGroundHeight) * std::cos(Orientation.Roll) / dt
                                  : 0.0f;
    const float hubSpeed = Velocity.y;
    TravelSpeed = (groundSpeed - hubSpeed) / c;
    if (SpringTravel == Travel)
        SpringSpeed = TravelSpeed;

    const float mass = PositiveDivisor(Mass);
    const float sprung = PositiveDivisor(SprungMass);
    // The wheel's own motion apart from the spring: the load presses it
    // down on its own mass, but a load that pulls it up (a negative one,
    // under a wheelie or a stoppie) lifts this end of the whole bike.
    const float wheelMass = Force.y < 0.0f ? std::max(mass, LiftMass()) : mass;
    const float separation = -9.80665f * SprungMass * c;
    const Damper together{BumpLow, BumpHigh, ReboundLow, ReboundHigh, KneeBump, KneeRebound};
    const Damper free{FreeBumpLow, FreeBumpHigh, FreeReboundLow, FreeReboundHigh, KneeBump, KneeRebound};

    // The suspension steps exactly dt, in equal steps of at most 5 ms.
    int steps = static_cast<int>(std::ceil(dt / kSuspensionStep));
    steps = std::clamp(steps, 1, kMaxSuspensionSteps);
    const float h = dt / static_cast<float>(steps);
    float peak = 0.0f;
    for (int step = 0; step < steps; ++step) {
        if (Travel == SpringTravel && TravelSpeed == SpringSpeed) {
            // Wheel and spring move together. The spring and damper forces
            // are taken at the end of the step (the air spring linearised
            // about its start), which keeps the stiff dampers stable at any
            // step length.
            const float x0 = SpringTravel;
            const float equilibrium = Compliance * load * c - Preload;
            float air = 0.0f;
            float airStiffness = 0.0f;
            if (IsFront())
                AirSpring(x0, &air, &airStiffness);
            const float hm = h / mass;
            const float rhs = SpringSpeed - hm * ((x0 - equilibrium) * SpringRate + air);
            const float v1 = ImplicitSpeed(rhs, 1.0f + h * hm * (SpringRate + airStiffness), hm, together,
                                           SpringSpeed);
            float x1 = x0 + h * v1;
            const float damper = together.Force(v1);
            const float spring = (x1 + Preload) * SpringRate;
            if (spring + damper > peak)
                peak = spring + damper;
            SpringSpeed = v1;
            if (x1 >= MaxTravel) {
                // The stop ends the compression but not the spring's push
                // back: a spring held at the stop with no speed would never
                // leave it.
                x1 = MaxTravel;
                SpringSpeed = std::min(SpringSpeed, 0.0f);
            }
            SpringTravel = x1;
            if (spring + damper >= separation) {
                Travel = SpringTravel;
                TravelSpeed = SpringSpeed;
            } else {
                Travel += h * TravelSpeed;
                TravelSpeed += h * Force.y / (c * wheelMass);
            }
        } else {
            // The wheel has left the spring: each moves on its own.
            const float oldTravelSpeed = TravelSpeed;
            TravelSpeed += h * Force.y / (wheelMass * c);
            Travel += h * oldTravelSpeed;
            // The spring pushes the wheel out whichever way the lever
            // points: a bike pitched past the vertical (its lever's cosine
            // negative) would otherwise make the spring pull, and the step
            // grow without bound.
            const float stiffness = SpringRate / (sprung * std::fabs(c));
            const float rhs = SpringSpeed - h * (SpringTravel + Preload) * stiffness;
            SpringSpeed = ImplicitSpeed(rhs, 1.0f + h * h * stiffness, h, free, SpringSpeed);
            SpringTravel += h * SpringSpeed;
            if (SpringTravel < Travel) {
                SpringSpeed = TravelSpeed;
                SpringTravel = Travel;
            }
        }
    }

    // A wheel that lifts while the other stays on the ground turns the bike
    // about that wheel's contact: it can rise no higher than where the
    // centre of mass stands over the other contact. There it stops rising.
    const WheelAssembly& other = IsFront() ? Owner->RearWheel : Owner->FrontWheel;
    if (Travel < 0.0f && other.Travel >= 0.0f) {
        const float lift = LiftLimit();
        const float lowest = -lift / std::fabs(c);
        if (Travel < lowest) {
            Travel = lowest;
            TravelSpeed = std::max(TravelSpeed, 0.0f);
            if (SpringTravel < Travel) {
                SpringTravel = Travel;
                SpringSpeed = TravelSpeed;
            }
        }
    }

    const float newHubSpeed = groundSpeed - c * TravelSpeed;
    HubAccel = (newHubSpeed - hubSpeed) / dt;
    Velocity.y = newHubSpeed;
    Downforce = peak / c;
    if (HasGround(GroundHeight))
        ContactPoint.y = (RestLength - c * Travel) * Owner->UpAxis.y + GroundHeight;
}

WheelLiftGeometry WheelAssembly::Lift() const
{
    // Height of the centre of mass above the ground (the offset is measured
    // from the rear hub) and its distance along the bike from the other
    // wheel's contact, about which this end lifts.
    WheelLiftGeometry g;
    g.Length = std::max(Owner->Wheelbase, 0.1f);
    g.Height = std::max(Owner->MassOffset.y + Owner->RearWheel.RestLength, 0.1f);
    const float forward = std::clamp(Owner->MassOffset.z, 0.0f, g.Length);
    g.Reach = IsFront() ? forward : g.Length - forward;
    return g;
}

float WheelAssembly::LiftLimit() const
{
    const WheelLiftGeometry g = Lift();
    return g.Length * g.Reach / std::sqrt(g.Reach * g.Reach + g.Height * g.Height);
}

float WheelAssembly::LiftMass() const
{
    // The bike turning about the other contact, its mass taken at the centre
    // of mass: inertia m (reach^2 + height^2) over the wheelbase squared.
    const WheelLiftGeometry g = Lift();
    return Owner->Mass * (g.Reach * g.Reach + g.Height * g.Height) / (g.Length * g.Length);
}

void WheelAssembly::TravelFromHeight()
{
    const float angle = IsFront() ? Orientation.Pitch - Rake : Orientation.Pitch;
    if (!HasGround(GroundHeight))
        return;
    const float t = (RestLength * Owner->UpAxis.y + GroundHeight - ContactPoint.y) * LeverRatio /
                    SafeDivisor(std::cos(angle));
    SpringTravel = t;
    Travel = t;
}

float WheelAssembly::BumpSteer() const
{
    if (LoadShare <= 0.5f)
        return 0.0f;
    const float b = BumpHeight(Owner->Progress * 100.0f) * (2.0f - Owner->Stability) * Tyre.SurfaceB;
    if (CurrentRaceConditions().Arcade())
        return b;
    return b * (2.0f * LoadShare - 1.0f) * (1.0f + 10.0f * SetupFactor);
}

void WheelAssembly::LocateOnTrack(float progress)
{
    const RaceConditions& race = CurrentRaceConditions();
    Vec3 hub = ContactPoint.Minus(Owner->UpAxis.Times(RestLength));
    if (HasGround(GroundHeight))
        PrevGroundHeight = GroundHeight;

    Track* path = Owner->Path;
    unsigned char surface = 0;
    GroundHeight = path != nullptr ? path->Query(&hub, &GroundNormal, progress, &surface) : kNoGround;
    Terrain = static_cast<std::int8_t>(ClampSurfaceClass(surface));

    // Terrain values of this class, blended from the dry to the wet columns
    // by the bike's speed (0.01 per m/s).
    const int t = Terrain;
    const float f = 0.01f * Owner->Speed;
    const TerrainRecord& table = TerrainTable;
    const float a = table.DryA[t] + (table.WetA[t] - table.DryA[t]) * f;
    const float b = table.DryB[t] + (table.WetB[t] - table.DryB[t]) * f;
    Tyre.SurfaceA = a > 0.0f ? a : 0.0f;
    Tyre.SurfaceB = b > 0.0f ? b : 0.0f;
    Tyre.SurfaceC = table.DryC[t] + (table.WetC[t] - table.DryC[t]) * f;
    Tyre.SurfaceD = table.DryD[t] + (table.WetD[t] - table.DryD[t]) * f;
    Tyre.SurfaceHeat = table.HeatFactor[t];
    Tyre.SurfaceWear = table.WearFactor[t];
    Tyre.Surface = t;

    if (HasGround(GroundHeight)) {
        const int edge = Owner->SideOffset <= 0.0f ? 1 : 0;
        Vec3 crossing = hub;
        if (path->EdgeCrossing(&crossing, &PrevContactPoint, &GroundNormal, Owner->Progress, edge)) {
            GroundHeight = PrevGroundHeight;
            Flags |= kWheelLeftTrack;
        } else {
            const float distance = IsFront() ? Owner->Progress + Owner->Wheelbase : Owner->Progress;
            GroundHeight += BumpHeight(distance) * Tyre.SurfaceA;
        }
        return;
    }

    // No ground under the hub: near the pit lane's entry (or exit) the wheel
    // may have passed onto the other path.
    const bool inPitLane = (Owner->Status & kBikeStatusInPitLane) != 0;
    const PitMarker& marker = inPitLane ? race.PitExit : race.PitEntry;
    Track* other = inPitLane ? race.Circuit : race.PitLane;
    bool hit = false;
    if (other != nullptr && other != path) {
        const float dx = hub.x - marker.X;
        const float dz = hub.z - marker.Z;
        const bool near = marker.Radius <= 0.0f || dx * dx + dz * dz <= marker.Radius * marker.Radius;
        if (near) {
            Vec3 normal;
            unsigned char otherSurface = 0;
            hit = HasGround(other->Query(&hub, &normal, -1.0f, &otherSurface));
            if (hit) {
                GroundNormal = normal;
                if (!IsFront()) {
                    // Changing paths changes what the other bikes see.
                    NeedsBikeByBikeOrder();
                    if (inPitLane)
                        Owner->RejoinCircuit();
                    else
                        Owner->EnterPitLane();
                }
            }
        }
    }
    if (!hit) {
        if (path != nullptr)
            path->Locate(&hub, &GroundNormal, Owner->Progress);
        Flags |= kWheelLeftTrack;
    }
    GroundHeight = PrevGroundHeight;
}

WheelNodePose WheelAssembly::BindNodes(const Vec3& suspensionRest, float pivotHeight, float wheelArmLength)
{
    NodeRest = suspensionRest;
    PivotHeight = pivotHeight;
    WheelArmLength = wheelArmLength;
    WheelNodePose pose = UpdateNodes();
    if (IsFront()) {
        pose.HasPivotRotation = true;
        pose.PivotRotation = Vec3(-Rake, 0.0f, 0.0f);
    }
    return pose;
}

WheelNodePose WheelAssembly::UpdateNodes() const
{
    WheelNodePose pose;
    pose.WheelRotation = Vec3(SpinAngle, 0.0f, 0.0f);
    const float lever = PositiveDivisor(LeverRatio);
    if (IsFront()) {
        const float e = PivotHeight - RestLength;
        pose.HasSuspensionPosition = true;
        pose.SuspensionPosition =
            Vec3(NodeRest.x, NodeRest.y + SpringTravel / lever + (e - e / SafeDivisor(CosRake)), NodeRest.z);
    } else {
        pose.SpinFraction = SpinAngle - std::trunc(SpinAngle);
        const float arm = WheelArmLength * lever;
        pose.HasSuspensionRotation = true;
        pose.SuspensionRotation = Vec3(Travel > 0.0f && arm != 0.0f ? SpringTravel / arm : 0.0f, 0.0f, 0.0f);
    }
    return pose;
}
