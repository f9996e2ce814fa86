#include "engine/render/loadpcx.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/game_error.h"
#include "app/mixer.h"
#include "platform/file.h"

namespace {

constexpr char kRawMagic[] = "Corvantis";
constexpr std::size_t kRawMagicBytes = 9;
constexpr std::size_t kRawCountOffset = 9;
constexpr std::size_t kRawHeaderOffset = 13;
constexpr std::size_t kRawPaletteOffset = 141;
constexpr std::size_t kRawPixelOffset = 909;
constexpr std::size_t kPcxDataOffset = 128;

std::int16_t le16(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(p[0] | p[1] << 8);
}

// Copies `count` bytes from `offset` of the file, reading bytes past its end
// as 0.
void copy_from(const std::vector<std::uint8_t>& file, std::size_t offset, std::uint8_t* out, std::size_t count)
{
    std::memset(out, 0, count);
    if (offset >= file.size())
        return;
    std::memcpy(out, file.data() + offset, std::min(count, file.size() - offset));
}

bool read_picture_file(const char* name, std::vector<std::uint8_t>& file)
{
    if (platform::read_whole_file(name, file))
        return true;
    const ArchivePath where = SplitArchivePath(name);
    mixer entry;
    if (entry.open(where.archive.c_str(), where.entry.c_str(), "rb") != 0)
        return false;
    entry.close();
    file.clear();
    if (entry.load(where.archive.c_str(), where.entry.c_str(), file) != 0)
        throw GameError("Error loadfile in loadpcx");
    return true;
}

bool decode_raw(const std::vector<std::uint8_t>& file, std::vector<std::uint8_t>& pixels,
                std::uint8_t (&header)[kPcxHeaderBytes], std::uint8_t (&palette)[kPcxPaletteBytes])
{
    std::uint8_t count_bytes[4];
    copy_from(file, kRawCountOffset, count_bytes, sizeof count_bytes);
    std::size_t count = static_cast<std::size_t>(count_bytes[0]) | static_cast<std::size_t>(count_bytes[1]) << 8 |
                        static_cast<std::size_t>(count_bytes[2]) << 16 | static_cast<std::size_t>(count_bytes[3]) << 24;
    // A count larger than the file holds is cut to what is there.
    const std::size_t available = file.size() > kRawPixelOffset ? file.size() - kRawPixelOffset : 0;
    count = std::min(count, available);
    if (count < 1)
        return false;
    copy_from(file, kRawHeaderOffset, header, kPcxHeaderBytes);
    copy_from(file, kRawPaletteOffset, palette, kPcxPaletteBytes);
    pixels.assign(count + kPcxPixelSlack, 0);
    copy_from(file, kRawPixelOffset, pixels.data(), std::min(count + kPcxPixelSlack, available));
    return true;
}

void decode_rle(const std::vector<std::uint8_t>& file, std::size_t picture_bytes, std::vector<std::uint8_t>& pixels)
{
    pixels.assign(picture_bytes + kPcxPixelSlack, 0);
    std::size_t in = kPcxDataOffset;
    std::size_t out = 0;
    long long remaining = static_cast<long long>(picture_bytes);
    while (remaining > 0 && in < file.size()) {
        const std::uint8_t b = file[in++];
        if ((b & 0xC0) == 0xC0) {
            const std::size_t run = b & 0x3F;
            const std::uint8_t value = in < file.size() ? file[in++] : 0;
            const std::size_t room = pixels.size() - out;
            std::memset(pixels.data() + out, value, std::min(run, room));
            out += std::min(run, room);
            remaining -= static_cast<long long>(run);
        } else {
            if (out < pixels.size())
                pixels[out++] = b;
            remaining -= 1;
        }
    }
}

} // namespace

pcx_header_fields read_pcx_header(const std::uint8_t (&header)[kPcxHeaderBytes])
{
    pcx_header_fields f;
    f.rows = le16(header + 10) - le16(header + 6) + 1;
    f.planes = static_cast<std::int8_t>(header[65]);
    f.bytes_per_line = le16(header + 66);
    return f;
}

int loadpcx(std::vector<std::uint8_t>& pixels, const char* name, std::uint8_t (&header)[kPcxHeaderBytes],
            std::uint8_t (&palette)[kPcxPaletteBytes])
{
    std::vector<std::uint8_t> file;
    if (!name || !read_picture_file(name, file))
        return 0;

    std::vector<std::uint8_t> out;
    if (file.size() >= kRawMagicBytes && std::memcmp(file.data(), kRawMagic, kRawMagicBytes) == 0) {
        if (!decode_raw(file, out, header, palette))
            return 0;
    } else {
        copy_from(file, 0, header, kPcxHeaderBytes);
        std::memset(palette, 0, kPcxPaletteBytes);
        if (file.size() >= kPcxPaletteBytes)
            std::memcpy(palette, file.data() + file.size() - kPcxPaletteBytes, kPcxPaletteBytes);
        const pcx_header_fields f = read_pcx_header(header);
        const long long n = static_cast<long long>(f.rows) * f.planes * f.bytes_per_line;
        if (n < 1 || n > static_cast<long long>(kPcxMaxPixels))
            return 0;
        decode_rle(file, static_cast<std::size_t>(n), out);
    }
    pixels = std::move(out);
    return 1;
}
