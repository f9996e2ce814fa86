#include "sim/telemetry_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/file.h"
#include "sim/float_conv.h"

TelemetryRanges& CurrentTelemetryRanges()
{
    static TelemetryRanges ranges;
    return ranges;
}

std::uint8_t TelemetryByte(float value, float min, float scale)
{
    const std::int32_t whole = TruncToInt((value - min) * scale);
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(whole) & 0xFFu);
}

std::uint8_t TelemetryByte(float value, const TelemetryRange& range, const TelemetryRange& fallback)
{
    const bool usable = std::isfinite(range.Min) && std::isfinite(range.Max) && range.Max > range.Min;
    const TelemetryRange& r = usable ? range : fallback;
    const std::int32_t whole = TruncToInt((value - r.Min) * 255.0f / (r.Max - r.Min));
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(whole) & 0xFFu);
}

std::string TelemetryHeader::TrackNameText() const
{
    return std::string(TrackName, strnlen(TrackName, sizeof TrackName));
}

void TelemetryHeader::SetTrackName(std::string_view name)
{
    const std::size_t end = std::min(name.find('\0'), name.size());
    const std::size_t length = std::min(end, sizeof TrackName);
    std::memset(TrackName, 0, sizeof TrackName);
    std::memcpy(TrackName, name.data(), length);
}

void WriteTelemetrySample(platform::ByteWriter& out, const TelemetrySample& sample)
{
    out.f32(sample.Time);
    out.f32(sample.Distance);
    out.bytes(sample.Channel, sizeof sample.Channel);
}

bool ReadTelemetrySample(platform::ByteReader& in, TelemetrySample* out)
{
    if (!in.has(kTelemetrySampleBytes))
        return false;
    TelemetrySample s;
    s.Time = in.f32();
    s.Distance = in.f32();
    in.bytes(s.Channel, sizeof s.Channel);
    *out = s;
    return true;
}

std::vector<std::uint8_t> TelemetryFileBytes(const TelemetryHeader& header, std::span<const TelemetrySample> samples)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kTelemetryHeaderBytes + samples.size() * kTelemetrySampleBytes);
    platform::ByteWriter out(bytes);
    out.fixed_string(std::string_view(header.TrackName, sizeof header.TrackName), kTelemetryTrackNameBytes,
                     platform::StringFit::MayFill);
    out.u32(header.Model);
    WriteBikeSetup(out, header.Setup);
    out.f32(header.AirTemperature);
    out.f32(header.TrackTemperature);
    out.u32(header.Weather);
    out.u32(static_cast<std::uint32_t>(samples.size()));
    for (const TelemetrySample& sample : samples)
        WriteTelemetrySample(out, sample);
    return bytes;
}

bool WriteTelemetryFile(std::string_view path, const TelemetryHeader& header,
                        std::span<const TelemetrySample> samples, std::string* error)
{
    return platform::write_whole_file(path, TelemetryFileBytes(header, samples), error);
}

namespace {

bool Fail(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}

} // namespace

bool ParseTelemetryFile(std::span<const std::uint8_t> bytes, TelemetryHeader* header,
                        std::vector<TelemetrySample>* samples, std::string* error)
{
    if (bytes.size() < kTelemetryHeaderBytes)
        return Fail(error, "the telemetry file holds " + std::to_string(bytes.size()) +
                               " bytes, less than its 137-byte header");
    platform::ByteReader in(bytes);
    TelemetryHeader h;
    in.bytes(h.TrackName, kTelemetryTrackNameBytes);
    h.Model = in.u32();
    if (!ReadBikeSetup(in, &h.Setup))
        return Fail(error, "the telemetry file's set-up cannot be read");
    h.AirTemperature = in.f32();
    h.TrackTemperature = in.f32();
    h.Weather = in.u32();
    const std::uint32_t count = in.u32();
    const std::size_t room = in.remaining() / kTelemetrySampleBytes;
    if (!in.ok() || count != room || in.remaining() % kTelemetrySampleBytes != 0)
        return Fail(error, "the telemetry file says " + std::to_string(count) + " samples but holds " +
                               std::to_string(in.remaining()) + " bytes of samples");
    std::vector<TelemetrySample> read(count);
    for (TelemetrySample& sample : read)
        if (!ReadTelemetrySample(in, &sample))
            return Fail(error, "the telemetry file ends inside a sample");
    *header = h;
    *samples = std::move(read);
    return true;
}

bool ReadTelemetryFile(std::string_view path, TelemetryHeader* header, std::vector<TelemetrySample>* samples,
                       std::string* error)
{
    std::vector<std::uint8_t> bytes;
    if (!platform::read_whole_file(path, bytes, error))
        return false;
    return ParseTelemetryFile(bytes, header, samples, error);
}
