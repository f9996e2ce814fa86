#include <cmath>

#include "sim/bike.h"
#include "sim/bike_sounds.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"

namespace {

constexpr int kContactPasses = 5;
constexpr float kBarrierClearance = 0.02f;  // m a wheel is put off the barrier
constexpr float kFallClosingSpeed = 13.888889f; // 50 km/h into the barrier
constexpr float kQuarterTurn = 1.5707964f;

// The barrier sections one wheel has hit in this contact handling.
struct SectionTrail {
    int last = -1;
    int lastStep = 0;
};

// Notes a barrier section hit; true when the wheel hit the same section
// again or stepped back the way it came (the bike is caught in a corner).
bool NoteSection(SectionTrail& trail, int section, int sectionCount)
{
    if (trail.last < 0) {
        trail.last = section;
        return false;
    }
    int step = section - trail.last;
    // Sections wrap round a circuit: the short way round gives the direction.
    if (sectionCount > 0) {
        if (step > sectionCount / 2)
            step -= sectionCount;
        else if (step < -sectionCount / 2)
            step += sectionCount;
    }
    const bool caught = step == 0 || (trail.lastStep != 0 && (step > 0) != (trail.lastStep > 0));
    if (step != 0)
        trail.lastStep = step;
    trail.last = section;
    return caught;
}

Vec3 HubAbove(const Vec3& ground, const WheelAssembly& wheel, const Vec3& up)
{
    return ground.Plus(up.Times(wheel.Radius));
}

Vec3 GroundBelow(const WheelAssembly& wheel, const Vec3& up)
{
    return wheel.ContactPoint.Minus(up.Times(wheel.Radius));
}

} // namespace

// In the wheels' terms: a wheel's hub is its ContactPoint, the ground point
// where the tyre touched the track at the last good placement is its
// PrevContactPoint, and the normal of the last edge hit is its GroundNormal.
void Bike::UpdateContacts()
{
    if (PlaceWheels())
        return;

    WheelAssembly* wheels[2] = {&FrontWheel, &RearWheel};
    const Vec3 keptGround[2] = {FrontWheel.PrevContactPoint, RearWheel.PrevContactPoint};
    const float headingBefore = Heading;
    SectionTrail trails[2];
    int caught = 0;
    const int edge = SideOffset <= 0.0f ? 1 : 0;
    // Until a pass lays the bike along a barrier, the impact direction is
    // straight ahead, far enough never to count as a hit.
    Vec3 impactNormal = ForwardAxis.Times(50.0f);

    bool placed = false;
    for (int pass = 0; pass < kContactPasses && !placed; ++pass) {
        // Where each wheel's ground point would go, stopped at the barrier.
        Vec3 point[2];
        float fraction[2] = {1.0f, 1.0f};
        for (int i = 0; i < 2; ++i) {
            WheelAssembly& wheel = *wheels[i];
            const Vec3 target = GroundBelow(wheel, UpAxis);
            point[i] = target;
            if (!(wheel.Flags & kWheelLeftTrack) || !Path)
                continue;
            Vec3 crossing = target;
            if (!Path->EdgeCrossing(&crossing, &wheel.PrevContactPoint, &wheel.GroundNormal, Progress, edge))
                continue;
            if (NoteSection(trails[i], Path->CurrentSection(), Path->SectionCount()))
                ++caught;
            // A raised edge can stop the point further than its motion: a
            // fraction above 1. A wheel that did not move has no fraction.
            const float moved = target.Minus(wheel.PrevContactPoint).Length();
            if (moved > 0.0f)
                fraction[i] = crossing.Minus(wheel.PrevContactPoint).Length() / moved;
            point[i] = crossing.Plus(wheel.GroundNormal.Times(kBarrierClearance));
        }

        if (fraction[0] > 1.0f || fraction[1] > 1.0f) {
            // Climbing the barrier: back to the pose of the step's start.
            FrontWheel.PrevContactPoint = keptGround[0];
            RearWheel.PrevContactPoint = keptGround[1];
            Pitch = StepStart.Pitch;
            Heading = StepStart.Heading;
            Roll = StepStart.Roll;
            for (WheelAssembly* wheel : wheels) {
                wheel->Orientation.Heading = Heading;
                wheel->Heading = Heading;
            }
            UpdateBodyAxes();
            for (WheelAssembly* wheel : wheels)
                wheel->ContactPoint = HubAbove(wheel->PrevContactPoint, *wheel, UpAxis);
        } else if (fraction[0] == 1.0f && fraction[1] == 1.0f) {
            // No crossing found: a point beyond an edge is put back inside.
            for (int i = 0; i < 2; ++i) {
                WheelAssembly& wheel = *wheels[i];
                if (Path && Path->Locate(&point[i], &wheel.GroundNormal, Progress))
                    point[i] = point[i].Plus(wheel.GroundNormal.Times(kBarrierClearance));
                wheel.ContactPoint = HubAbove(point[i], wheel, UpAxis);
            }
        } else {
            // The wheel that hit first sets the barrier's direction; the
            // bike is laid along it, pointing the way the wheel was going.
            const int first = fraction[0] < fraction[1] ? 0 : 1;
            const int other = 1 - first;
            WheelAssembly& hit = *wheels[first];
            const Vec3 along = VecRotateY(hit.GroundNormal, -kQuarterTurn);
            const float s = along.Dot(point[first].Minus(hit.PrevContactPoint));
            const Vec3 forward = s > 0.0f ? along : along.Times(-1.0f);
            const float length = point[0].Minus(point[1]).Length();
            // The other wheel is behind the front one, ahead of the rear one.
            point[other] = point[first].Plus(forward.Times(other == 0 ? length : -length));
            impactNormal = hit.GroundNormal;

            const float dx = point[0].x - point[1].x;
            const float dz = point[0].z - point[1].z;
            if (dx != 0.0f || dz != 0.0f)
                Heading = std::atan2(dx, dz);
            for (WheelAssembly* wheel : wheels) {
                wheel->Orientation.Heading = Heading;
                wheel->Heading = Heading;
            }
            RearWheel.ContactPoint = HubAbove(point[1], RearWheel, UpAxis);
            FrontWheel.ContactPoint = HubAbove(point[0], FrontWheel, UpAxis);
            const float reach = std::cos(Pitch) * Wheelbase;
            FrontWheel.ContactPoint.x = RearWheel.ContactPoint.x + std::sin(Heading) * reach;
            FrontWheel.ContactPoint.z = RearWheel.ContactPoint.z + std::cos(Heading) * reach;
        }

        if (caught >= 2 && Path) {
            // Caught in a corner of the barrier: the wheel that is off the
            // track goes a wheelbase from the other, just inside the edge.
            UpdateWheelbase();
            const float reach = std::cos(Pitch) * Wheelbase;
            const Vec3 ahead(std::sin(Heading) * reach, 0.0f, std::cos(Heading) * reach);
            const int moved = (FrontWheel.Flags & kWheelLeftTrack) ? 0 : 1;
            WheelAssembly& wheel = *wheels[moved];
            if (moved == 1) {
                RearWheel.ContactPoint.x = FrontWheel.ContactPoint.x - ahead.x;
                RearWheel.ContactPoint.z = FrontWheel.ContactPoint.z - ahead.z;
            } else {
                FrontWheel.ContactPoint.x = RearWheel.ContactPoint.x + ahead.x;
                FrontWheel.ContactPoint.z = RearWheel.ContactPoint.z + ahead.z;
            }
            int section = trails[moved].last;
            if (section < 0)
                section = trails[1 - moved].last;
            if (section < 0)
                section = Path->CurrentSection();
            wheel.PrevContactPoint = GroundBelow(wheel, UpAxis);
            Path->OffsetFromEdge(&wheel.PrevContactPoint, edge, section, kBarrierClearance);
            wheel.ContactPoint = HubAbove(wheel.PrevContactPoint, wheel, UpAxis);
            caught = 0;
            trails[moved] = SectionTrail();
        }

        FrontWheel.Flags &= ~kWheelLeftTrack;
        RearWheel.Flags &= ~kWheelLeftTrack;
        placed = PlaceWheels();
    }

    if (!placed) {
        // The bike could not be freed: back where it was, and down it goes.
        FrontWheel.PrevContactPoint = keptGround[0];
        RearWheel.PrevContactPoint = keptGround[1];
        for (WheelAssembly* wheel : wheels)
            wheel->ContactPoint = HubAbove(wheel->PrevContactPoint, *wheel, UpAxis);
        Status |= kBikeFallRequested;
    }

    // The impact: hard enough into the barrier, a fall (never in the pit
    // lane); lighter, the rider reacts to the bump.
    const float closing = -ForwardAxis.Dot(impactNormal) * Speed;
    if (closing >= kFallClosingSpeed && !(Status & kBikeInPitLane))
        Status |= kBikeFallRequested;
    else if (RiderState == -1)
        SetState(WrapAngle(headingBefore, Heading) > 0.0f ? 57 : 56, 0.0f);

    const float v = Speed * 0.0125f;
    const int sample = v > 0.4f ? kSoundImpactHard : (v > 0.1f ? kSoundImpactMedium : kSoundImpactLight);
    PlayBikeSound(sample, Index, 16800.0f, 0.5f, 40, 20.0f, 200.0f, Position);
}
