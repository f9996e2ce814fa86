#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "sim/bike_setup.h"

// One telemetry sample: the bike's race time and distance, then twelve
// channels quantised to a byte each (throttle, brake, gear, speed, revs,
// roll, pitch, acceleration, front and rear suspension travel and speed).
struct TelemetrySample {
    float Time = 0.0f;
    float Distance = 0.0f;
    std::uint8_t Channel[12] = {};
};
inline constexpr int kTelemetryCapacity = 10000;
inline constexpr int kTelemetrySampleBytes = 20;

// The channels of a sample, by their byte in Channel[].
enum TelemetryChannel : int {
    kTelemetryThrottle = 0,
    kTelemetryBrake = 1,
    kTelemetryGear = 2,
    kTelemetrySpeed = 3,
    kTelemetryRpm = 4,
    kTelemetryRoll = 5,
    kTelemetryPitch = 6,
    kTelemetryAccel = 7,
    kTelemetryFrontTravel = 8,
    kTelemetryFrontSpeed = 9,
    kTelemetryRearTravel = 10,
    kTelemetryRearSpeed = 11,
};

// The range a channel's byte spans: the byte is (value - Min) x 255 /
// (Max - Min), truncated, low 8 bits kept.
struct TelemetryRange {
    float Min = 0.0f;
    float Max = 0.0f;
};

// The ranges of the channels that the telemetry plot scales from its channel
// table ("Throttle", "Brake", "Gear", "Front travel (mm)", "Front vel
// (mm/sec)", "Rear travel (mm)", "Rear vel (mm/sec)"). The race may put its
// table's values here when it loads; a range that is empty or not finite
// falls back to these defaults when a sample is recorded.
struct TelemetryRanges {
    TelemetryRange Throttle{0.0f, 127.0f};
    TelemetryRange Brake{0.0f, 127.0f};
    TelemetryRange Gear{0.0f, 6.0f};
    TelemetryRange FrontTravel{-0.2f, 0.2f};
    TelemetryRange FrontSpeed{-0.5f, 0.5f};
    TelemetryRange RearTravel{-0.1f, 0.1f};
    TelemetryRange RearSpeed{-0.5f, 0.5f};
};

// The program's ranges (the defaults until the race sets its own).
TelemetryRanges& CurrentTelemetryRanges();

// A channel byte: trunc((value - min) x scale), of which only the low 8 bits
// are kept, so a value beyond the range wraps round in its byte. The
// truncation goes through a value clamped to 32 bits (NaN gives 0), never a
// plain cast of a float that may not fit.
std::uint8_t TelemetryByte(float value, float min, float scale);
// The same with the scale 255 / (max - min) of a range, computed as
// (value - min) x 255 / (max - min); an empty or non-finite range uses
// `fallback`.
std::uint8_t TelemetryByte(float value, const TelemetryRange& range, const TelemetryRange& fallback);

// The header of "telem.dat" and of the lap files cut from it: 137 bytes,
// little-endian, with no alignment:
//   0    9    track name (zero-padded; a name of 9 or more characters fills it)
//   9    4    bike-model index
//   13   108  the bike's set-up
//   121  4    air temperature of the session
//   125  4    track temperature
//   129  4    weather (0 sunny, 1 rain, 2 fog)
//   133  4    sample count n
//   137  20n  the samples
struct TelemetryHeader {
    char TrackName[9] = {};   // not terminated when the name fills it
    std::uint32_t Model = 0;
    BikeSetup Setup;
    float AirTemperature = 0.0f;
    float TrackTemperature = 0.0f;
    std::uint32_t Weather = 0;

    // The track name as text (up to its first 0 byte, at most 9 characters).
    std::string TrackNameText() const;
    // Copies a name into the field: at most 9 characters, never past its
    // terminator, zero-padded.
    void SetTrackName(std::string_view name);
};

inline constexpr std::size_t kTelemetryTrackNameBytes = 9;
inline constexpr std::size_t kTelemetryHeaderBytes = 137;
inline constexpr const char* kTelemetryFileName = "telem.dat";

void WriteTelemetrySample(platform::ByteWriter& out, const TelemetrySample& sample);
// False, with *out untouched, when the 20 bytes are not there.
bool ReadTelemetrySample(platform::ByteReader& in, TelemetrySample* out);

// The bytes of a whole telemetry file.
std::vector<std::uint8_t> TelemetryFileBytes(const TelemetryHeader& header, std::span<const TelemetrySample> samples);

// Writes a telemetry file (temporary file, then rename). False, with
// `error` saying why, when it cannot be written; an old file is then left
// as it was.
bool WriteTelemetryFile(std::string_view path, const TelemetryHeader& header,
                        std::span<const TelemetrySample> samples, std::string* error = nullptr);

// Parses a telemetry file. False, with `error` saying why, when it is
// shorter than its header or its sample count does not match its size;
// the outputs are then untouched.
bool ParseTelemetryFile(std::span<const std::uint8_t> bytes, TelemetryHeader* header,
                        std::vector<TelemetrySample>* samples, std::string* error = nullptr);
bool ReadTelemetryFile(std::string_view path, TelemetryHeader* header, std::vector<TelemetrySample>* samples,
                       std::string* error = nullptr);
