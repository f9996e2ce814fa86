#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

// A rider's controls of one frame: what the input manager packs from the
// devices, what network frames and input replays carry byte for byte, and
// what the bike's control step reads. Six bytes when stored:
//   0-1  status word (bit 0: the player has left the race)
//   2    throttle 0..127
//   3    brake 0..127
//   4    steering -127..127 (signed; the input already arrives cubed)
//   5    bits 0-4 hang-on 0..31, bit 5 look behind, bits 6-7 gear shift
//        (signed 2-bit: 1 up, 3 = -1 down, 0 none)
struct ControlRecord {
    std::uint16_t Status = 0;
    std::uint8_t Throttle = 0;
    std::uint8_t Brake = 0;
    std::int8_t SteerInput = 0;
    std::uint8_t Posture = 0; // hang-on, look-behind and shift bits

    // Hang-on 0..31.
    int HangOn() const { return Posture & 0x1F; }
    bool LookBehind() const { return (Posture & kLookBehindBit) != 0; }
    // The shift request: +1 up, -1 down, 0 none (2 reads as none).
    int ShiftRequest() const
    {
        const int bits = (Posture >> 6) & 3;
        return bits == 1 ? 1 : (bits == 3 ? -1 : 0);
    }
    bool PlayerLeft() const { return (Status & kControlStatusLeft) != 0; }

    static constexpr std::uint16_t kControlStatusLeft = 0x0001;
    static constexpr std::uint8_t kLookBehindBit = 0x20;
};

inline constexpr int kControlRecordBytes = 6;
// The record is six bytes with every field at its stored offset, and the
// steering byte is signed, whatever the compiler's alignment.
static_assert(sizeof(ControlRecord) == kControlRecordBytes, "a control record is six bytes");
static_assert(std::is_standard_layout_v<ControlRecord> && std::is_trivially_copyable_v<ControlRecord>);
static_assert(offsetof(ControlRecord, Status) == 0 && offsetof(ControlRecord, Throttle) == 2 &&
                  offsetof(ControlRecord, Brake) == 3 && offsetof(ControlRecord, SteerInput) == 4 &&
                  offsetof(ControlRecord, Posture) == 5,
              "control record fields at their stored offsets");
static_assert(std::is_signed_v<decltype(ControlRecord::SteerInput)>, "the steering byte is signed");

inline void WriteControlRecord(platform::ByteWriter& out, const ControlRecord& c)
{
    out.u16(c.Status);
    out.u8(c.Throttle);
    out.u8(c.Brake);
    out.i8(c.SteerInput);
    out.u8(c.Posture);
}

// False, with *out untouched, when the six bytes are not there.
inline bool ReadControlRecord(platform::ByteReader& in, ControlRecord* out)
{
    if (!in.has(kControlRecordBytes))
        return false;
    ControlRecord c;
    c.Status = in.u16();
    c.Throttle = in.u8();
    c.Brake = in.u8();
    c.SteerInput = in.i8();
    c.Posture = in.u8();
    *out = c;
    return true;
}
