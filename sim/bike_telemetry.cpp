#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/byte_writer.h"
#include "platform/file.h"
#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"

// "telem.dat" in the working folder: the session's track name (9 bytes), the
// bike model, the set-up, the two temperatures and the weather, the sample
// count, then the samples (20 bytes each).
bool Bike::WriteTelemetry()
{
    const RaceContext& race = CurrentRaceContext();
    const RaceConditions& conditions = CurrentRaceConditions();
    const int count = TelemetryBuffer ? std::min(TelemetryCount, kTelemetryCapacity) : 0;

    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.bytes(race.TrackName, 9);
    out.u32(GridEntry ? static_cast<std::uint32_t>(GridEntry->Model) : 0u);
    if (Setup)
        WriteBikeSetup(out, *Setup);
    else
        out.zeros(kBikeSetupBytes);
    out.f32(race.AirTemperature);
    out.f32(race.TrackTemperature);
    out.u32(static_cast<std::uint32_t>(conditions.Weather));
    out.u32(static_cast<std::uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        const TelemetrySample& sample = TelemetryBuffer[static_cast<std::size_t>(i)];
        out.f32(sample.Time);
        out.f32(sample.Distance);
        out.bytes(sample.Channel, sizeof sample.Channel);
    }
    return platform::write_whole_file("telem.dat", bytes);
}
