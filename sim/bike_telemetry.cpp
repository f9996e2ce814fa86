#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/telemetry_file.h"

namespace {

// The channels with a fixed scale: byte = (value - min) x scale.
constexpr float kSpeedScale = 2.7f;                 // m/s
constexpr float kRpmScale = 0.0159375f;             // 255 / 16000
constexpr float kRollMin = -1.5707964f;             // -pi/2 .. pi/2
constexpr float kRollScale = 81.16902f;             // 255 / pi
constexpr float kPitchMin = -0.39269909f;           // -pi/8 .. pi/8
constexpr float kPitchScale = 324.67609f;           // 255 / (pi/4)
constexpr float kAccelMin = -29.41995f;             // -3 g .. 3 g
constexpr float kAccelScale = 4.3337936f;           // 255 / 6 g

} // namespace

void Bike::RecordTelemetry()
{
    if (!TelemetryBuffer || TelemetryCount < 0 || TelemetryCount >= kTelemetryCapacity ||
        (Status & kBikeInPitLane))
        return;

    const TelemetryRanges& ranges = CurrentTelemetryRanges();
    const TelemetryRanges defaults;
    TelemetrySample& sample = TelemetryBuffer[static_cast<std::size_t>(TelemetryCount)];
    sample.Time = RaceTime;
    sample.Distance = Progress;
    std::uint8_t* c = sample.Channel;
    c[kTelemetryThrottle] = TelemetryByte(static_cast<float>(Controls.Throttle), ranges.Throttle, defaults.Throttle);
    c[kTelemetryBrake] = TelemetryByte(static_cast<float>(Controls.Brake), ranges.Brake, defaults.Brake);
    c[kTelemetryGear] = TelemetryByte(static_cast<float>(Gear), ranges.Gear, defaults.Gear);
    c[kTelemetrySpeed] = TelemetryByte(Speed, 0.0f, kSpeedScale);
    c[kTelemetryRpm] = TelemetryByte(Rpm, 0.0f, kRpmScale);
    c[kTelemetryRoll] = TelemetryByte(Roll, kRollMin, kRollScale);
    c[kTelemetryPitch] = TelemetryByte(Pitch, kPitchMin, kPitchScale);
    c[kTelemetryAccel] = TelemetryByte(Accel, kAccelMin, kAccelScale);
    c[kTelemetryFrontTravel] = TelemetryByte(FrontWheel.Travel, ranges.FrontTravel, defaults.FrontTravel);
    c[kTelemetryFrontSpeed] = TelemetryByte(FrontWheel.TravelSpeed, ranges.FrontSpeed, defaults.FrontSpeed);
    c[kTelemetryRearTravel] = TelemetryByte(RearWheel.Travel, ranges.RearTravel, defaults.RearTravel);
    c[kTelemetryRearSpeed] = TelemetryByte(RearWheel.TravelSpeed, ranges.RearSpeed, defaults.RearSpeed);
    ++TelemetryCount;
}

// "telem.dat" in the working folder: the session's track name (its first 9
// bytes), the bike model, the set-up, the two temperatures and the weather,
// then the samples.
bool Bike::WriteTelemetry()
{
    const RaceContext& race = CurrentRaceContext();
    const RaceConditions& conditions = CurrentRaceConditions();
    const int count = TelemetryBuffer ? std::clamp(TelemetryCount, 0, kTelemetryCapacity) : 0;

    TelemetryHeader header;
    header.SetTrackName(std::string_view(race.TrackName, strnlen(race.TrackName, sizeof race.TrackName)));
    header.Model = GridEntry ? static_cast<std::uint32_t>(GridEntry->Model) : 0u;
    if (Setup)
        header.Setup = *Setup;
    header.AirTemperature = race.AirTemperature;
    header.TrackTemperature = race.TrackTemperature;
    header.Weather = static_cast<std::uint32_t>(conditions.Weather);
    const std::span<const TelemetrySample> samples(TelemetryBuffer.get(), static_cast<std::size_t>(count));
    return WriteTelemetryFile(kTelemetryFileName, header, samples);
}
