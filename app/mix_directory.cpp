#include "app/mix_directory.h"

#include <algorithm>
#include <limits>

#include "app/text_compare.h"
#include "platform/byte_reader.h"

bool MixDirectorySizeValid(std::uint32_t directory_size, std::int64_t archive_size)
{
    return archive_size >= 4 && directory_size % kMixDirEntrySize == 0 &&
           std::int64_t{directory_size} <= archive_size - 4;
}

bool DecodeMixDirEntry(const std::uint8_t* record, MixDirEntry& out)
{
    out = MixDirEntry{};
    bool terminated = false;
    for (std::size_t i = 0; i < 16; ++i) {
        const char c = static_cast<char>(record[i] ^ kMixNameScramble);
        if (c == '\0') {
            terminated = true;
            break;
        }
        out.name[i] = c;
    }
    if (!terminated) {
        out.name[0] = '\0';
        return false;
    }
    platform::ByteReader fields(record + 16, kMixDirEntrySize - 16);
    out.offset = fields.u32();
    out.packed_size = fields.u32();
    out.size = fields.u32();
    out.flags = fields.u32();
    return fields.ok();
}

std::uint64_t MaxLzwOutput(std::uint64_t packed_size)
{
    const std::uint64_t codes = packed_size * 8 / 9;
    const std::uint64_t growing = std::min<std::uint64_t>(codes, 3838);
    // Codes 0..growing-1 give at most j + 2 bytes each, the rest 3840.
    return growing * (growing + 3) / 2 + (codes - growing) * 3840;
}

bool MixEntryPlausible(const MixDirEntry& entry, std::int64_t data_end)
{
    constexpr std::uint64_t kMaxPosition = std::numeric_limits<std::int32_t>::max();
    const bool compressed = (entry.flags & kMixFlagCompressed) != 0;
    const std::uint64_t stored = compressed ? entry.packed_size : entry.size;
    if (std::uint64_t{entry.offset} + stored > static_cast<std::uint64_t>(data_end))
        return false;
    if (std::uint64_t{entry.offset} + entry.size > kMaxPosition ||
        std::uint64_t{entry.offset} + stored > kMaxPosition)
        return false;
    if (compressed && entry.size > MaxLzwOutput(entry.packed_size))
        return false;
    return true;
}

MixLookup FindMixEntry(std::span<const std::uint8_t> directory, std::int64_t data_end, std::string_view name,
                       MixDirEntry& found)
{
    bool have_match = false;
    for (std::size_t at = 0; at + kMixDirEntrySize <= directory.size(); at += kMixDirEntrySize) {
        MixDirEntry entry;
        if (!DecodeMixDirEntry(directory.data() + at, entry))
            return MixLookup::Damaged;
        if (entry.name[0] == '\0')
            break;
        if (!MixEntryPlausible(entry, data_end))
            return MixLookup::Damaged;
        if (!have_match && EqualsIgnoringCase(std::string_view(entry.name), name)) {
            found = entry;
            have_match = true;
        }
    }
    return have_match ? MixLookup::Found : MixLookup::NotFound;
}
