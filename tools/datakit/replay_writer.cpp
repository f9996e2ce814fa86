#include "tools/datakit/replay_writer.h"

#include "platform/byte_writer.h"

namespace datakit {

std::vector<std::uint8_t> ReplayFileWriter::build() const
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.i32(riders);
    out.i32(humans);
    for (int i = 0; i < 32; ++i)
        out.i32(i);
    out.u32(0); // the players' pointer
    out.fixed_string(track, 12);
    out.u32(race_flags);
    out.i32(laps);
    out.i32(skill);
    out.i32(weather);
    out.i32(session);
    out.f32(30.0f);
    out.f32(45.0f);
    for (int p = 0; p < humans; ++p) {
        out.i32(0);            // a local player
        out.i32(p);            // the rider he rides
        out.fixed_string("PLAYER", 64);
        out.u32(0);            // network id
        out.f32(1499.99f);     // best lap
        out.zeros(108);        // set-up
    }
    out.f32(length);
    out.i32(static_cast<std::int32_t>(steps.size()));
    for (std::size_t n = 0; n < steps.size(); ++n) {
        out.f32(steps[n]);
        for (int p = 0; p < humans; ++p) {
            out.u16(0);
            out.u8(static_cast<std::uint8_t>(n % 128));
            out.u8(0);
            out.i8(0);
            out.u8(0);
        }
    }
    return bytes;
}

} // namespace datakit
