#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "sim/bike_setup.h"

// One human player of a race: who he is, which rider he rides, his network
// id, his best lap and his own bike set-up. The application keeps one per
// player in the race header and a template for the local player; replay
// files copy them as 188 bytes each (WritePlayerRecord / ReadPlayerRecord).
struct PlayerRecord {
    std::int32_t Kind = 0;          // negative: a remote player of a network game
    std::int32_t RiderIndex = 0;    // championship rider; 32 or more: none
    char Name[64] = {};             // zero-terminated
    std::uint32_t NetworkId = 0;    // id in the network session
    float BestLap = 0.0f;           // kept equal to the best lap of the player's bike
    BikeSetup Setup;                // the player's own set-up

    bool Remote() const { return (static_cast<std::uint32_t>(Kind) & 0x80000000u) != 0; }
};

inline constexpr std::size_t kPlayerRecordBytes = 188;

inline void WritePlayerRecord(platform::ByteWriter& out, const PlayerRecord& p)
{
    out.i32(p.Kind);
    out.i32(p.RiderIndex);
    out.fixed_string(std::string_view(p.Name, sizeof p.Name), sizeof p.Name);
    out.u32(p.NetworkId);
    out.f32(p.BestLap);
    WriteBikeSetup(out, p.Setup);
}

// False, with *out untouched, when the 188 bytes are not there. The name is
// always left zero-terminated.
inline bool ReadPlayerRecord(platform::ByteReader& in, PlayerRecord* out)
{
    if (!in.has(kPlayerRecordBytes))
        return false;
    PlayerRecord p;
    p.Kind = in.i32();
    p.RiderIndex = in.i32();
    in.bytes(p.Name, sizeof p.Name);
    p.Name[sizeof p.Name - 1] = '\0';
    p.NetworkId = in.u32();
    p.BestLap = in.f32();
    if (!ReadBikeSetup(in, &p.Setup) || !in.ok())
        return false;
    *out = p;
    return true;
}
