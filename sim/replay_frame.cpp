#include "sim/replay_frame.h"

#include <cmath>

#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"
#include "sim/rider_states.h"
#include "sim/track.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.28318531f;
constexpr float kAngleToByte = 40.58451f;    // 255 / 2 pi
constexpr float kByteToAngle = 0.024639944f; // 2 pi / 255
constexpr float kPhaseToUnit = 0.007874016f; // 1 / 127
constexpr float kPostureScale = 32767.0f;
constexpr float kPostureUnscale = 3.051851e-05f; // 1 / 32767
// A cyclic phase that passes its end between two frames: from above this
// to below kPhaseWrapLow it is blended through 127 and wraps to 0.
constexpr int kPhaseWrapHigh = 96;
constexpr int kPhaseWrapLow = 32;
constexpr float kReplayCoordinateLimit = 1.0e7f;

// x folded into [-pi, pi]; both ends stay as they are.
float FoldAngle(float x)
{
    float d = std::fmod(x, kTwoPi);
    if (d > kPi)
        d -= kTwoPi;
    else if (d < -kPi)
        d += kTwoPi;
    return d;
}

std::int8_t SignedByte(float value)
{
    return static_cast<std::int8_t>(TruncClamped(value, -128, 127));
}

// The rider record of a frame whose rider is apart, or null when the rider
// is on the bike or the frame's record index finds no record.
const ReplayRiderRecord* ApartRider(const ReplayFrame& frame, const RiderRecordBlocks& blocks)
{
    if (!RiderApartInState(ReplayStateFromByte(frame.State)))
        return nullptr;
    return blocks.Find(static_cast<std::uint16_t>(frame.Value));
}

Vec3 StoredPoint(float x, float y, float z)
{
    return Vec3(x * kReplayUnscaleXZ, y * kReplayUnscaleY, z * kReplayUnscaleXZ);
}

// A stored coordinate a replay may hold: finite and within 2000 km.
bool UsableCoordinate(float v)
{
    return std::isfinite(v) && std::fabs(v) <= kReplayCoordinateLimit;
}

float Distance(const Vec3& a, const Vec3& b)
{
    return a.Minus(b).Length();
}

} // namespace

const ReplayRiderRecord* RiderRecordBlocks::Find(int index) const
{
    if (!Blocks || index < 0)
        return nullptr;
    const int block = index / kReplayRiderBlockRecords;
    if (block >= BlockCount || !Blocks[block])
        return nullptr;
    return &Blocks[block][index % kReplayRiderBlockRecords];
}

std::int8_t AngleToByte(float angle)
{
    if (!std::isfinite(angle))
        return 0;
    return static_cast<std::int8_t>(TruncClamped(FoldAngle(angle) * kAngleToByte, -127, 127));
}

float AngleFromByte(std::int8_t b)
{
    return static_cast<float>(b) * kByteToAngle;
}

float AngleByteLerp(std::int8_t a, std::int8_t b, float t)
{
    const float from = AngleFromByte(a);
    const float to = AngleFromByte(b);
    return from + FoldAngle(to - from) * t;
}

std::int8_t ByteDifference(std::int8_t a, std::int8_t b)
{
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(static_cast<std::uint8_t>(a) - static_cast<std::uint8_t>(b)));
}

float ByteBlend(std::int8_t a, std::int8_t b, float t)
{
    return static_cast<float>(b) * t + (1.0f - t) * static_cast<float>(a);
}

std::int32_t ReplayStateFromByte(std::int8_t state)
{
    return IsRiderState(state) ? static_cast<std::int32_t>(state) : static_cast<std::int32_t>(kRiderRiding);
}

bool RiderApartInState(std::int32_t state)
{
    const RiderStateTable* table = CurrentRaceContext().RiderStates;
    return table && HasStateRecord(state) && !table->Attached(state);
}

void WriteReplayFrame(platform::ByteWriter& out, const ReplayFrame& frame)
{
    out.f32(frame.X);
    out.f32(frame.Y);
    out.f32(frame.Z);
    out.i8(frame.Pitch);
    out.i8(frame.Heading);
    out.i8(frame.Roll);
    out.i8(frame.State);
    out.i8(frame.Phase);
    out.u8(0);
    out.i16(frame.Value);
}

bool ReadReplayFrame(platform::ByteReader& in, ReplayFrame* out)
{
    if (!in.has(kReplayFrameBytes))
        return false;
    ReplayFrame f;
    f.X = in.f32();
    f.Y = in.f32();
    f.Z = in.f32();
    f.Pitch = in.i8();
    f.Heading = in.i8();
    f.Roll = in.i8();
    f.State = in.i8();
    f.Phase = in.i8();
    in.skip(1);
    f.Value = in.i16();
    if (!UsableCoordinate(f.X) || !UsableCoordinate(f.Y) || !UsableCoordinate(f.Z))
        return false;
    *out = f;
    return true;
}

void WriteReplayRiderRecord(platform::ByteWriter& out, const ReplayRiderRecord& rider)
{
    out.f32(rider.X);
    out.f32(rider.Y);
    out.f32(rider.Z);
    out.i8(rider.Pitch);
    out.i8(rider.Heading);
    out.i8(rider.Roll);
    out.zeros(kReplayRiderSlotBytes - kReplayRiderRecordBytes);
}

bool ReadReplayRiderRecord(platform::ByteReader& in, ReplayRiderRecord* out)
{
    if (!in.has(kReplayRiderSlotBytes))
        return false;
    ReplayRiderRecord r;
    r.X = in.f32();
    r.Y = in.f32();
    r.Z = in.f32();
    r.Pitch = in.i8();
    r.Heading = in.i8();
    r.Roll = in.i8();
    in.skip(kReplayRiderSlotBytes - kReplayRiderRecordBytes);
    if (!UsableCoordinate(r.X) || !UsableCoordinate(r.Y) || !UsableCoordinate(r.Z))
        return false;
    *out = r;
    return true;
}

bool Bike::EncodeReplayFrame(ReplayFrame* frame, ReplayRiderRecord* rider, std::uint16_t riderIndex) const
{
    frame->X = Position.x * kReplayScaleXZ;
    frame->Y = Position.y * kReplayScaleY;
    frame->Z = Position.z * kReplayScaleXZ;
    frame->Pitch = AngleToByte(Pitch);
    frame->Heading = AngleToByte(Heading);
    frame->Roll = AngleToByte(Roll);
    frame->State = static_cast<std::int8_t>(static_cast<std::uint8_t>(RiderState & 0xFF));
    frame->Phase = SignedByte((RiderState == kRiderRiding ? RideValue : StatePhase) * 127.0f);

    if (!RiderApartInState(RiderState) || !rider) {
        frame->Value = static_cast<std::int16_t>(TruncClamped(Posture * kPostureScale, -32768, 32767));
        return false;
    }
    rider->X = RiderPosition.x * kReplayScaleXZ;
    rider->Y = RiderPosition.y * kReplayScaleY;
    rider->Z = RiderPosition.z * kReplayScaleXZ;
    rider->Pitch = AngleToByte(RiderAngles.x);
    rider->Heading = AngleToByte(RiderAngles.y);
    rider->Roll = AngleToByte(RiderAngles.z);
    frame->Value = static_cast<std::int16_t>(riderIndex);
    return true;
}

void Bike::PlayReplayFrame(const ReplayFrame& a, const ReplayFrame& b, const RiderRecordBlocks& blocks, float t)
{
    const float u = 1.0f - t;
    const Vec3 frontBefore = FrontWheel.ContactPoint;
    const Vec3 rearBefore = RearWheel.ContactPoint;

    Position = StoredPoint(u * a.X + t * b.X, u * a.Y + t * b.Y, u * a.Z + t * b.Z);
    RearWheel.ContactPoint = Position;
    RearWheel.GroundHeight = Position.y;

    const ReplayRiderRecord* riderA = ApartRider(a, blocks);
    const ReplayRiderRecord* riderB = ApartRider(b, blocks);

    // Leaving the rider's separate pose, the bike takes frame b's angles at
    // once.
    const float k = riderA && !riderB ? 1.0f : t;
    Pitch = AngleByteLerp(a.Pitch, b.Pitch, k);
    Heading = AngleByteLerp(a.Heading, b.Heading, k);
    Roll = AngleByteLerp(a.Roll, b.Roll, k);
    RearWheel.Orientation = WheelAttitude{Pitch, Heading, Roll};
    RearWheel.Heading = Heading;

    if (!riderA && !riderB) {
        RiderPosition = Position;
        RiderAngles = Vec3(Pitch, Heading, Roll);
        Posture = (static_cast<float>(a.Value) * u + static_cast<float>(b.Value) * t) * kPostureUnscale;
    } else if (!riderA) {
        // Thrown off: from frame a's bike pose to frame b's rider.
        RiderPosition = StoredPoint(u * a.X + t * riderB->X, u * a.Y + t * riderB->Y, u * a.Z + t * riderB->Z);
        RiderAngles = Vec3(AngleByteLerp(a.Pitch, riderB->Pitch, t), AngleByteLerp(a.Heading, riderB->Heading, t),
                           AngleByteLerp(a.Roll, riderB->Roll, t));
        Posture = 0.0f;
    } else if (!riderB) {
        RiderPosition = Position;
        RiderAngles = Vec3(Pitch, Heading, Roll);
        Posture = 0.0f;
    } else {
        RiderPosition = StoredPoint(u * riderA->X + t * riderB->X, u * riderA->Y + t * riderB->Y,
                                    u * riderA->Z + t * riderB->Z);
        RiderAngles = Vec3(AngleByteLerp(riderA->Pitch, riderB->Pitch, t),
                           AngleByteLerp(riderA->Heading, riderB->Heading, t),
                           AngleByteLerp(riderA->Roll, riderB->Roll, t));
        Posture = 0.0f;
    }

    const std::int32_t stateA = ReplayStateFromByte(a.State);
    const std::int32_t stateB = ReplayStateFromByte(b.State);
    if (RiderState != stateB)
        SetState(stateB, 0.0f);

    float phase;
    if (stateA == stateB) {
        if (b.Phase < kPhaseWrapLow && a.Phase > kPhaseWrapHigh)
            phase = static_cast<float>(
                TruncToInt((static_cast<float>(b.Phase) + 127.0f) * t + static_cast<float>(a.Phase) * u) & 127);
        else
            phase = static_cast<float>(b.Phase) * t + static_cast<float>(a.Phase) * u;
    } else {
        phase = static_cast<float>(b.Phase) * t;
    }
    StatePhase = phase * kPhaseToUnit;
    if (RiderState == kRiderRiding)
        RideValue = StatePhase;

    const float dx = b.X - a.X;
    const float dz = b.Z - a.Z;
    Speed = std::sqrt(dx * dx + dz * dz);

    UpdatePose();

    FrontWheel.StepDistance = Distance(FrontWheel.ContactPoint, frontBefore);
    RearWheel.StepDistance = Distance(RearWheel.ContactPoint, rearBefore);
}

void Bike::ShowReplayFrame(const ReplayFrame& a, const RiderRecordBlocks& blocks)
{
    Position = StoredPoint(a.X, a.Y, a.Z);
    RearWheel.ContactPoint = Position;
    RearWheel.GroundHeight = Position.y;
    Pitch = AngleFromByte(a.Pitch);
    Heading = AngleFromByte(a.Heading);
    Roll = AngleFromByte(a.Roll);
    RearWheel.Orientation = WheelAttitude{Pitch, Heading, Roll};
    RearWheel.Heading = Heading;

    if (const ReplayRiderRecord* rider = ApartRider(a, blocks)) {
        RiderPosition = StoredPoint(rider->X, rider->Y, rider->Z);
        RiderAngles = Vec3(AngleFromByte(rider->Pitch), AngleFromByte(rider->Heading), AngleFromByte(rider->Roll));
        Posture = 0.0f;
    } else {
        RiderPosition = Position;
        RiderAngles = Vec3(Pitch, Heading, Roll);
        Posture = static_cast<float>(a.Value) * kPostureUnscale;
    }

    const std::int32_t state = ReplayStateFromByte(a.State);
    if (RiderState != state)
        SetState(state, 0.0f);
    StatePhase = static_cast<float>(a.Phase) * kPhaseToUnit;
    if (RiderState == kRiderRiding)
        RideValue = StatePhase;

    UpdatePose();
}

void Bike::UpdatePose()
{
    CgPosition = Position.Plus(VecRotateY(MassOffset, Heading));

    const float cosPitch = std::cos(Pitch);
    FrontWheel.ContactPoint = RearWheel.ContactPoint.Plus(Vec3(std::sin(Heading) * cosPitch * Wheelbase,
                                                               -std::sin(Pitch) * Wheelbase,
                                                               std::cos(Heading) * cosPitch * Wheelbase));
    UpdateProgress();

    for (WheelAssembly* wheel : {&FrontWheel, &RearWheel}) {
        wheel->LocateOnTrack(Progress);
        wheel->TravelFromHeight();
    }

    if (Path) {
        Vec2 point(Position.x, Position.z);
        int segment = static_cast<int>(Segment);
        int lapDelta = 0;
        Progress = Path->Project(&point, &segment, &PathHeading, &lapDelta);
        Segment = static_cast<std::uint32_t>(segment < 0 ? 0 : segment);
    }
}
