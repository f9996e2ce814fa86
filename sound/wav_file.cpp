#include "sound/wav_file.h"

#include <algorithm>
#include <cstring>

#include "app/mixer.h"
#include "platform/byte_reader.h"
#include "platform/file.h"

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::uint32_t kFormatBytes = 16;
// The extensible format: the 16 plain bytes, the extra size (22 or more),
// the valid bits, the channel mask and the sub-format's 16-byte identifier.
constexpr std::uint32_t kExtensibleBytes = 40;
constexpr std::uint16_t kExtensibleExtra = 22;
// The identifier of PCM as a sub-format: the tag 1 in its first two bytes,
// then these fourteen.
constexpr std::uint8_t kPcmSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool ReadExactly(mixer& file, void* dst, int count)
{
    return file.read(dst, count) == count;
}

// The extension of an extensible format chunk (read from `at`, the 17th byte
// of the chunk's body): PCM as its sub-format, with no more valid bits than
// the container holds.
bool ExtensibleIsPcm(mixer& file, std::uint32_t size, std::int64_t at, std::int64_t file_size, std::uint16_t bits)
{
    constexpr std::uint32_t kExtension = kExtensibleBytes - kFormatBytes;
    std::uint8_t ext[kExtension];
    if (size < kExtensibleBytes || at + kExtension > file_size || !ReadExactly(file, ext, sizeof ext))
        return false;
    platform::ByteReader e(ext, sizeof ext);
    const std::uint16_t extra = e.u16();
    const std::uint16_t valid_bits = e.u16();
    e.u32(); // channel mask: the speakers do not change how the data is laid out
    std::uint8_t guid[16];
    e.bytes(guid, sizeof guid);
    const std::uint16_t sub_format = static_cast<std::uint16_t>(guid[0] | (guid[1] << 8));
    return extra >= kExtensibleExtra && valid_bits <= bits && sub_format == kFormatPcm &&
           std::memcmp(guid + 2, kPcmSubFormatTail, sizeof kPcmSubFormatTail) == 0;
}

} // namespace

bool OpenSoundFile(const char* name, mixer& file)
{
    if (platform::file_exists(name) && file.open_file(name, "rb") == 0)
        return true;
    const ArchivePath where = SplitArchivePath(name);
    return file.open(where.archive.c_str(), where.entry.c_str(), "rb") == 0;
}

bool ReadWavHeader(mixer& file, WavInfo& info)
{
    info = WavInfo{};
    const std::int64_t file_size = file.size();
    std::uint8_t header[12];
    if (file.seekfile(0, 0) != 0 || !ReadExactly(file, header, sizeof header))
        return false;
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return false;

    bool have_format = false;
    bool have_data = false;
    std::int64_t at = 12;
    // Every chunk header must fit in the file; the walk ends at its end.
    while (at + 8 <= file_size && !(have_format && have_data)) {
        std::uint8_t chunk[8];
        if (file.seekfile(static_cast<int>(at), 0) < 0 || !ReadExactly(file, chunk, sizeof chunk))
            return false;
        platform::ByteReader r(chunk, sizeof chunk);
        char id[4];
        r.bytes(id, 4);
        const std::uint32_t size = r.u32();
        const std::int64_t body = at + 8;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            std::uint8_t fmt[kFormatBytes];
            if (size < kFormatBytes || body + kFormatBytes > file_size || !ReadExactly(file, fmt, sizeof fmt))
                return false;
            platform::ByteReader f(fmt, sizeof fmt);
            const std::uint16_t tag = f.u16();
            const std::uint16_t channels = f.u16();
            const std::uint32_t rate = f.u32();
            f.u32(); // bytes per second: follows from the rest
            const std::uint16_t align = f.u16();
            const std::uint16_t bits = f.u16();
            info.format = platform::PcmFormat{rate, bits, channels};
            if (!info.format.valid() || align != info.format.block_align())
                return false;
            if (tag == kFormatExtensible) {
                if (!ExtensibleIsPcm(file, size, body + kFormatBytes, file_size, bits))
                    return false;
            } else if (tag != kFormatPcm) {
                return false;
            }
            have_format = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            info.data_start = static_cast<std::uint32_t>(body);
            const std::int64_t held = std::max<std::int64_t>(file_size - body, 0);
            info.data_size = static_cast<std::uint32_t>(std::min<std::int64_t>(size, held));
            have_data = true;
        }
        at = body + static_cast<std::int64_t>(size) + (size & 1u);
    }
    if (!have_format || !have_data)
        return false;
    info.data_size -= info.data_size % info.format.block_align();
    return info.data_size > 0;
}
