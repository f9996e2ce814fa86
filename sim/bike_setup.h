#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

// A bike's tuning: steering geometry, gearing, suspension and tyre choice,
// plus the player's driving aids. Every bike model has a default set-up per
// track; a human player owns his own copy. The record is the same 108 bytes
// (27 little-endian four-byte fields) in memory, in ".set" files, in
// "telem.dat" and in the menus' saved copies; files are read and written
// field by field (ReadBikeSetup / WriteBikeSetup), never as a whole struct.
//
// This header needs no library: the application record and the settings
// hold set-ups too.
struct BikeSetup {
    std::uint32_t PlayerFlags = 0;   // driving aids (kPlayerFlag*); becomes the bike's Flags with bit 0 set
    float FrontLimiter = 0.0f;       // slide margin of the front wheel
    float RearLimiter = 0.0f;        // slide margin of the rear wheel
    float SteeringHeadAngle = 0.0f;  // rake, radians; 0 = never set
    float Trail = 0.0f;              // metres
    std::int32_t SprocketTeeth = 0;  // gearbox sprocket
    std::int32_t CrownTeeth = 0;     // rear crown
    float GearRatio[6] = {};         // gears 1 to 6
    float FrontSpring = 0.0f;        // kg/mm
    float RearSpring = 0.0f;         // kg/mm
    float FrontPreload = 0.0f;       // mm
    float RearPreload = 0.0f;        // mm
    float FrontBumpHigh = 0.0f;      // damper rates
    float RearBumpHigh = 0.0f;
    float FrontBumpLow = 0.0f;
    float RearBumpLow = 0.0f;
    float FrontReboundHigh = 0.0f;
    float RearReboundHigh = 0.0f;
    float FrontReboundLow = 0.0f;
    float RearReboundLow = 0.0f;
    std::int32_t FrontTyre = 0;      // tyre record number ("TYRE_%d")
    std::int32_t RearTyre = 0;
};

inline constexpr std::size_t kBikeSetupBytes = 108;
static_assert(sizeof(BikeSetup) == kBikeSetupBytes, "BikeSetup is 27 four-byte fields");
static_assert(offsetof(BikeSetup, GearRatio) == 28 && offsetof(BikeSetup, FrontSpring) == 52 &&
                  offsetof(BikeSetup, FrontTyre) == 100,
              "BikeSetup keeps its stored field offsets");

// Driving-aid bits of PlayerFlags (the whole word becomes the bike's Flags).
inline constexpr std::uint32_t kPlayerFlagAutoGears = 0x02;   // automatic gearbox
inline constexpr std::uint32_t kPlayerFlagAlwaysGrip = 0x08;  // both wheels always count as gripping
inline constexpr std::uint32_t kPlayerFlagEngineHeat = 0x10;  // engine-heat model
inline constexpr std::uint32_t kPlayerFlagSpeedLimit = 0x20;  // speed limiter
inline constexpr std::uint32_t kPlayerFlagLeanByGrip = 0x40;  // lean limited by the front tyre's grip
inline constexpr std::uint32_t kPlayerFlagWrongWay = 0x200;   // wrong-way test on
inline constexpr std::uint32_t kPlayerFlagNoRecovery = 0x400; // a dragged rider is not put back at once
// Every driving aid a player may choose; a human's word is masked to these.
inline constexpr std::uint32_t kPlayerFlagAids = kPlayerFlagAutoGears | kPlayerFlagAlwaysGrip | kPlayerFlagEngineHeat |
                                                 kPlayerFlagSpeedLimit | kPlayerFlagLeanByGrip | kPlayerFlagWrongWay |
                                                 kPlayerFlagNoRecovery;

// Reads one stored set-up (108 bytes). False, with *out untouched, when the
// bytes are not there.
inline bool ReadBikeSetup(platform::ByteReader& in, BikeSetup* out)
{
    if (!in.has(kBikeSetupBytes))
        return false;
    BikeSetup s;
    s.PlayerFlags = in.u32();
    s.FrontLimiter = in.f32();
    s.RearLimiter = in.f32();
    s.SteeringHeadAngle = in.f32();
    s.Trail = in.f32();
    s.SprocketTeeth = in.i32();
    s.CrownTeeth = in.i32();
    for (float& ratio : s.GearRatio)
        ratio = in.f32();
    s.FrontSpring = in.f32();
    s.RearSpring = in.f32();
    s.FrontPreload = in.f32();
    s.RearPreload = in.f32();
    s.FrontBumpHigh = in.f32();
    s.RearBumpHigh = in.f32();
    s.FrontBumpLow = in.f32();
    s.RearBumpLow = in.f32();
    s.FrontReboundHigh = in.f32();
    s.RearReboundHigh = in.f32();
    s.FrontReboundLow = in.f32();
    s.RearReboundLow = in.f32();
    s.FrontTyre = in.i32();
    s.RearTyre = in.i32();
    if (!in.ok())
        return false;
    *out = s;
    return true;
}

// Appends the 108 stored bytes of a set-up.
inline void WriteBikeSetup(platform::ByteWriter& out, const BikeSetup& s)
{
    out.u32(s.PlayerFlags);
    out.f32(s.FrontLimiter);
    out.f32(s.RearLimiter);
    out.f32(s.SteeringHeadAngle);
    out.f32(s.Trail);
    out.i32(s.SprocketTeeth);
    out.i32(s.CrownTeeth);
    for (float ratio : s.GearRatio)
        out.f32(ratio);
    out.f32(s.FrontSpring);
    out.f32(s.RearSpring);
    out.f32(s.FrontPreload);
    out.f32(s.RearPreload);
    out.f32(s.FrontBumpHigh);
    out.f32(s.RearBumpHigh);
    out.f32(s.FrontBumpLow);
    out.f32(s.RearBumpLow);
    out.f32(s.FrontReboundHigh);
    out.f32(s.RearReboundHigh);
    out.f32(s.FrontReboundLow);
    out.f32(s.RearReboundLow);
    out.i32(s.FrontTyre);
    out.i32(s.RearTyre);
}
