// The fallen bike: four mass points (front and rear wheel, and two above
// them) that fall, slide, bounce and scrape along the ground until they come
// to rest. Built from the riding pose at the moment of a fall; advanced once
// per sub-step while the rider is down.
#include <algorithm>
#include <cmath>

#include "sim/bike.h"
#include "sim/bike_sounds.h"
#include "sim/float_conv.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/track.h"

namespace {

constexpr float kGravity = 9.80665f;

// A point touches the ground when it lies less than its radius above it.
constexpr float kPointRadius[4] = {0.05f, 0.05f, 0.3f, 0.3f};

// Sound samples and voice modes of the body.
constexpr int kSampleBarrier = 6;
constexpr int kSampleImpactTarmac = 5;   // 5..7
constexpr int kSampleImpactOther = 14;   // 14..16
constexpr int kModeOneShot = 40;
constexpr int kModeLooped = 41;

// Smoke kinds.
constexpr int kSmokeSparks = 3;

constexpr std::uint8_t kSurfaceTarmac = 0;
constexpr std::uint8_t kSurfaceQuietInRain = 2;

// Below this speed a point's velocity is cut to 0.
constexpr float kRestSpeed = 0.05f;

float HorizontalLength(const Vec3& v) { return std::sqrt(v.x * v.x + v.z * v.z); }

// v without the part that points into the surface of normal n.
Vec3 WithoutInward(const Vec3& v, const Vec3& n)
{
    const float into = v.Dot(n);
    return into < 0.0f ? v.Minus(n.Times(into)) : v;
}

// v without any part along the unit (or zero) axis a.
Vec3 WithoutAlong(const Vec3& v, const Vec3& a) { return v.Minus(a.Times(v.Dot(a))); }

int ContactCount(const std::uint8_t (&contact)[4])
{
    int n = 0;
    for (const std::uint8_t c : contact)
        n += c != 0 ? 1 : 0;
    return n;
}

RaceHooks* Hooks() { return CurrentRaceContext().Hooks; }

// Plays a sample of this bike at its position, heard from 20 m to 200 m.
void PlayAtBike(const Bike& bike, int sample, float frequency, float volume, int mode)
{
    RaceHooks* hooks = Hooks();
    if (!hooks)
        return;
    hooks->Play(sample, bike.Index, frequency, volume, kKeepSoundValue, mode);
    hooks->SetVoiceDistance(sample, bike.Index, 20.0f, 200.0f);
    hooks->SetVoicePosition(sample, bike.Index, bike.Position);
}

void StopVoice(const Bike& bike, int sample)
{
    if (RaceHooks* hooks = Hooks())
        hooks->StopVoice(sample, bike.Index);
}

} // namespace

void Bike::LocateContacts(float dt)
{
    RiderSideOffset = SideOffset;
    RiderProgress = Progress;
    RiderSegment = Segment;
    Status &= ~kBikeFallRequested;
    Status |= kBikeBodyActive;
    if (Status & kBikeDown)
        return;

    FrontWheel.Flags &= ~kWheelLeftTrack;
    RearWheel.Flags &= ~kWheelLeftTrack;

    // The lean's swing: the sideways speed of the centre of mass as the bike
    // rolls, given to the rider and to the upper body points.
    const Vec3 swing = ForwardAxis.Cross(UpAxis).Times(Lean.Rate * MassOffset.y);
    const Vec3& front = FrontWheel.ContactPoint;
    const Vec3& rear = RearWheel.ContactPoint;
    CgPosition = rear.Plus(ForwardAxis.Times(MassForward)).Plus(UpAxis.Times(MassHeight));
    CgVelocity.Add(swing);
    RiderPosition = rear;

    BodyPoint[0] = front.Plus(ForwardAxis.Times(FrontWheel.Radius));
    BodyVelocity[0] = FrontWheel.Velocity;
    BodyPoint[3] = front.Plus(UpAxis.Times(MassHeight));
    BodyVelocity[3] = FrontWheel.Velocity.Plus(swing);
    BodyPoint[1] = rear.Minus(ForwardAxis.Times(RearWheel.Radius));
    BodyVelocity[1] = RearWheel.Velocity;
    BodyPoint[2] = rear.Plus(UpAxis.Times(MassHeight));
    BodyVelocity[2] = RearWheel.Velocity.Plus(swing);

    // Points beyond a track edge come back onto it and lose their motion
    // through the barrier.
    for (int i = 0; i < 4; ++i) {
        Vec3& n = BodyNormal[i];
        if (Path && Path->Locate(&BodyPoint[i], &n, Progress)) {
            BodyPoint[i].Add(n.Times(0.02f));
            BodyVelocity[i] = WithoutAlong(BodyVelocity[i], n);
            BodyContact[i] = 1;
        } else {
            BodyContact[i] = 0;
        }
    }

    // Lift the body so that no point starts below the ground under its
    // wheel (a wheel that found no ground gives no lift).
    float lift = 0.0f;
    for (int i = 0; i < 4; ++i) {
        const WheelAssembly& wheel = (i == 0 || i == 3) ? FrontWheel : RearWheel;
        if (wheel.GroundHeight == kNoGround)
            continue;
        lift = std::max(lift, wheel.GroundHeight - (BodyPoint[i].y - kPointRadius[i]));
    }
    for (Vec3& p : BodyPoint)
        p.y += lift;

    FrontWheel.Travel = 0.0f;
    RearWheel.Travel = 0.0f;
    BodyStep(dt);
}

void Bike::BodyStep(float dt)
{
    if (!(Status & kBikeDown)) {
        // The first call of a fall: the body takes its shape and the
        // previous positions follow from the velocities; nothing moves yet.
        BodyContactCount = 0;
        RebuildBody();
        for (int i = 0; i < 4; ++i)
            BodyPrevious[i] = BodyPoint[i].Minus(BodyVelocity[i].Times(dt));
        Status |= kBikeDown;
        return;
    }

    StopVoice(*this, kSoundSurface);
    for (int i = 0; i < 4; ++i) {
        BodyVelocity[i].y -= dt * kGravity;
        BodyPrevious[i] = BodyPoint[i];
    }

    // Contacts: a point on the ground loses its motion into the ground, and
    // a point moving toward a grounded point's contact faster than that
    // point hands the excess over to it (w collects what reaches the ground).
    Vec3 pushed[4];
    for (int i = 0; i < 4; ++i)
        pushed[i] = BodyVelocity[i];
    for (int a = 0; a < 4; ++a) {
        if (!BodyContact[a])
            continue;
        const Vec3& n = BodyNormal[a];
        const Vec3 q = BodyPoint[a].Plus(n.Times(kPointRadius[a]));
        BodyVelocity[a] = WithoutInward(BodyVelocity[a], n);
        for (int b = 0; b < 4; ++b) {
            if (b == a)
                continue;
            const Vec3 u = q.Minus(BodyPoint[b]).Normalised();
            const float s = BodyVelocity[b].Minus(BodyVelocity[a]).Dot(u);
            if (s > 0.0f) {
                BodyVelocity[b].Subtract(u.Times(s));
                pushed[b].Subtract(u.Times(s));
                pushed[a].Add(u.Times(s));
            }
        }
    }

    // Impact: more than one point more on the ground than in the last step.
    const int contacts = ContactCount(BodyContact);
    if (contacts > BodyContactCount + 1 && Speed >= 3.0f) {
        const int n = TruncToInt(1000.0f * dt);
        const int sample = (BodySurface[0] == kSurfaceTarmac ? kSampleImpactTarmac : kSampleImpactOther) + n % 3;
        PlayAtBike(*this, sample, kKeepSoundValue, 0.5f, kModeOneShot);
    }
    BodyContactCount = contacts;

    // Friction of the points pushed into the ground. The wheels roll: the
    // front keeps its motion along its (steered) heading, the rear 40 % of
    // it; the upper points slide.
    for (int i = 0; i < 4; ++i) {
        Vec3& v = BodyVelocity[i];
        const float speed = v.Length();
        const float into = pushed[i].Dot(BodyNormal[i]);
        if (!BodyContact[i] || !(speed > 0.0f) || !(into < 0.0f))
            continue;
        const float k = BodySurface[i] == kSurfaceTarmac ? 3.0f : 6.0f;
        const float f = std::max(speed + k * into, 0.0f) / speed;
        if (i < 2) {
            const float h = i == 0 ? Heading - 0.2f * Roll : Heading;
            const Vec3 d(std::sin(h), 0.0f, std::cos(h));
            const Vec3 along = d.Times(v.Dot(d) * (i == 0 ? 1.0f : 0.4f));
            v = along.Plus(v.Minus(along).Times(f));
        } else {
            v = v.Times(f);
        }
    }

    for (int i = 0; i < 4; ++i)
        BodyPoint[i].Add(BodyVelocity[i].Times(dt));

    GroundStep(dt);
    ConstrainBodyVelocities();

    // The bike's pose from the points.
    const Vec3 axis = BodyPoint[0].Minus(BodyPoint[1]);
    const Vec3 up = BodyPoint[2].Plus(BodyPoint[3]).Times(0.5f).Minus(BodyPoint[0].Plus(BodyPoint[1]).Times(0.5f));
    Heading = std::atan2(axis.x, axis.z);
    const Vec3 axisLocal = VecRotateY(axis, -Heading);
    const Vec3 upLocal = VecRotateY(up, -Heading);
    Pitch = -std::atan2(axisLocal.y, axisLocal.z);
    const Vec3 upUnpitched = VecRotateX(upLocal, -Pitch);
    Roll = -std::atan2(upUnpitched.x, upUnpitched.y);
}

void Bike::GroundStep(float dt)
{
    RebuildBody();

    const RaceConditions& conditions = CurrentRaceConditions();
    float ground[4];
    for (int i = 0; i < 4; ++i) {
        Vec3& p = BodyPoint[i];
        Vec3& n = BodyNormal[i];
        BodyContact[i] = 0;
        unsigned char surface = BodySurface[i];
        const float h = Path ? Path->Query(&p, &n, Progress, &surface) : kTrackNone;
        BodySurface[i] = surface;
        if (h == kTrackNone) {
            // Off the surface: the point has gone through a barrier. It comes
            // back onto the barrier where it crossed it, or onto the nearest
            // edge, or else back where it was, bouncing off.
            BodyContact[i] = 1;
            if (Speed > 2.0f)
                PlayAtBike(*this, kSampleBarrier, kKeepSoundValue, 0.5f, kModeOneShot);
            const int edge = SideOffset <= 0.0f ? 1 : 0;
            const bool crossed = Path && Path->EdgeCrossing(&p, &BodyPrevious[i], &n, Progress, edge);
            if (!crossed && !(Path && Path->Locate(&p, &n, Progress))) {
                p = BodyPrevious[i];
                n = BodyVelocity[i].Normalised().Times(-1.0f);
            }
            ground[i] = p.y - 2.0f;
        } else {
            n = n.Normalised();
            ground[i] = h;
        }

        if (p.y < ground[i] + kPointRadius[i]) {
            p.y = ground[i] + kPointRadius[i];
            BodyContact[i] = 1;
            if (Speed < 3.0f) {
                StopVoice(*this, kSoundScrapeTarmac);
                StopVoice(*this, kSoundScrapeVerge);
            } else {
                const float volume = std::clamp(Speed * 0.02f, 0.1f, 0.5f);
                const float fraction = dt - std::trunc(dt);
                const float frequency = static_cast<float>(TruncToInt(20000.0f + 8000.0f * fraction + 8000.0f * volume));
                RaceHooks* hooks = Hooks();
                if (BodySurface[i] == kSurfaceTarmac) {
                    if (hooks)
                        hooks->SmokeEmit(kSmokeSparks, *this, i, 1.0f);
                    StopVoice(*this, kSoundScrapeVerge);
                    PlayAtBike(*this, kSoundScrapeTarmac, frequency, volume, kModeLooped);
                } else if (!(BodySurface[i] == kSurfaceQuietInRain && conditions.Rain())) {
                    if (hooks)
                        hooks->SmokeEmit(BodySurface[i], *this, i, 1.0f);
                    StopVoice(*this, kSoundScrapeTarmac);
                    PlayAtBike(*this, kSoundScrapeVerge, frequency, volume, kModeLooped);
                }
            }
        }
    }

    // Velocities from the motion of the step.
    for (int i = 0; i < 4; ++i) {
        Vec3& v = BodyVelocity[i];
        if (dt != 0.0f)
            v = BodyPoint[i].Minus(BodyPrevious[i]).Times(1.0f / dt);
        if (BodyContact[i]) {
            v = WithoutInward(v, BodyNormal[i]);
            if (HorizontalLength(v) < 1.0f)
                v.y = 0.0f;
        }
        if (v.Length() < kRestSpeed)
            v = Vec3();
    }

    FrontWheel.GroundHeight = ground[0];
    RearWheel.GroundHeight = ground[1];
}

void Bike::RebuildBody()
{
    Vec3* p = BodyPoint;
    // The bike's axis, lower to upper direction and centre. A body squashed
    // flat (a point on another) takes its missing directions from the pose.
    Vec3 u = p[0].Minus(p[1]).Normalised();
    if (u.Length() == 0.0f)
        u = Vec3(std::sin(Heading), 0.0f, std::cos(Heading));
    const Vec3 lower = p[0].Plus(p[1]).Times(0.5f);
    const Vec3 upper = p[2].Plus(p[3]).Times(0.5f);
    Vec3 w = WithoutAlong(upper.Minus(lower), u).Normalised();
    if (w.Length() == 0.0f) {
        w = WithoutAlong(Vec3(0.0f, 1.0f, 0.0f), u).Normalised();
        if (w.Length() == 0.0f)
            w = Vec3(std::cos(Heading), 0.0f, -std::sin(Heading));
    }
    const Vec3 centre = lower.Plus(upper).Times(0.5f);
    const Vec3 h = w.Times(0.5f * MassHeight);
    const Vec3 a = u.Times(0.5f * Wheelbase);
    p[0] = centre.Minus(h).Plus(a);
    p[1] = centre.Minus(h).Minus(a);
    p[2] = centre.Plus(h).Minus(a);
    p[3] = centre.Plus(h).Plus(a);

    // No stretching toward or away from the centre.
    Vec3 mean;
    for (const Vec3& v : BodyVelocity)
        mean.Add(v);
    mean = mean.Times(0.25f);
    for (int i = 0; i < 4; ++i) {
        const Vec3 r = p[i].Minus(centre).Normalised();
        BodyVelocity[i] = mean.Plus(WithoutAlong(BodyVelocity[i].Minus(mean), r));
    }
}

void Bike::ConstrainBodyVelocities()
{
    if (!(Status & kBikeDown))
        return;
    Vec3 mean;
    for (const Vec3& v : BodyVelocity)
        mean.Add(v);
    mean = mean.Times(0.25f);
    const Vec3 u = FrontWheel.ContactPoint.Minus(RearWheel.ContactPoint).Normalised();
    for (Vec3& v : BodyVelocity)
        v = mean.Plus(WithoutAlong(v.Minus(mean), u));
}
