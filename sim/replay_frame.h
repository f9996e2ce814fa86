#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

// Replay frames: the visible pose of one bike at one recorded instant, in
// 20 bytes, plus a 15-byte rider record while the rider's body is apart
// from the bike. A state replay stores one frame per rider five times a
// second and plays the bikes back by interpolating between two frames.
//
// ReplayFrame, stored little-endian:
//   0   f32  Position.x x 5
//   4   f32  Position.y x 100
//   8   f32  Position.z x 5
//   12  i8   Pitch as an angle byte
//   13  i8   Heading as an angle byte
//   14  i8   Roll as an angle byte
//   15  i8   RiderState (-1 riding)
//   16  i8   phase: RideValue x 127 while riding, else StatePhase x 127
//   17       not used (written as 0)
//   18  i16  rider on the bike: Posture x 32767; rider apart: the index of
//            the frame's rider record
struct ReplayFrame {
    float X = 0.0f;
    float Y = 0.0f;
    float Z = 0.0f;
    std::int8_t Pitch = 0;
    std::int8_t Heading = 0;
    std::int8_t Roll = 0;
    std::int8_t State = -1;
    std::int8_t Phase = 0;
    std::int16_t Value = 0;
};
inline constexpr std::size_t kReplayFrameBytes = 20;

// ReplayRiderRecord, 15 bytes (kept in 16-byte slots): the rider's position
// with the frame's scales, then its pitch, heading and roll as angle bytes.
struct ReplayRiderRecord {
    float X = 0.0f;
    float Y = 0.0f;
    float Z = 0.0f;
    std::int8_t Pitch = 0;
    std::int8_t Heading = 0;
    std::int8_t Roll = 0;
};
inline constexpr std::size_t kReplayRiderRecordBytes = 15;
inline constexpr std::size_t kReplayRiderSlotBytes = 16;
// Rider records come in blocks of this many; record i is slot i % 1000 of
// block i / 1000.
inline constexpr int kReplayRiderBlockRecords = 1000;

// The rider records of a recording, as the replay keeps them. A record
// index that falls outside the blocks finds no record.
struct RiderRecordBlocks {
    ReplayRiderRecord* const* Blocks = nullptr;
    int BlockCount = 0;

    const ReplayRiderRecord* Find(int index) const;
};

// Positions are stored scaled: x and z in fifths of a metre, y in
// centimetres.
inline constexpr float kReplayScaleXZ = 5.0f;
inline constexpr float kReplayScaleY = 100.0f;
inline constexpr float kReplayUnscaleXZ = 0.2f;
inline constexpr float kReplayUnscaleY = 0.01f;

// An angle as a byte: the angle is first folded into [-pi, pi] (a heading
// may have turned round many times), then trunc(angle x 255 / 2 pi), so
// -pi .. pi use -127 .. 127.
std::int8_t AngleToByte(float angle);
// A byte back to radians: b x 2 pi / 255.
float AngleFromByte(std::int8_t b);
// Interpolates two angle bytes the shorter way round: t = 0 gives a, 1 b.
float AngleByteLerp(std::int8_t a, std::int8_t b, float t);
// The difference a - b of two bytes, wrapping round in 8 bits.
std::int8_t ByteDifference(std::int8_t a, std::int8_t b);
// b x t + (1 - t) x a of two signed bytes.
float ByteBlend(std::int8_t a, std::int8_t b, float t);

// A state byte read back from a recording: a rider state the machine knows
// (-4 .. 70) stays, anything else reads as riding (-1).
std::int32_t ReplayStateFromByte(std::int8_t state);

// True when the rider's body is apart from the bike in a state: a state of
// 0 or more whose rider animation record has 0 in its attachment word
// (without the race's table every state keeps the rider on the bike).
bool RiderApartInState(std::int32_t state);

void WriteReplayFrame(platform::ByteWriter& out, const ReplayFrame& frame);
// False, with *out untouched, when the 20 bytes are not there or a stored
// coordinate is not a finite number within 2000 km (a damaged recording).
bool ReadReplayFrame(platform::ByteReader& in, ReplayFrame* out);
// Writes the 15 bytes of a rider record and pads its slot to 16.
void WriteReplayRiderRecord(platform::ByteWriter& out, const ReplayRiderRecord& rider);
// Reads one 16-byte slot; false, with *out untouched, when it is not there
// or holds a coordinate a frame could not hold.
bool ReadReplayRiderRecord(platform::ByteReader& in, ReplayRiderRecord* out);
