#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The common CRC-32 (polynomial 0xEDB88320, reflected, starting from and
// finishing with all bits set): the checksum of our key files and of PNG
// chunks.
namespace platform {

namespace crc32_detail {

constexpr std::array<std::uint32_t, 256> make_table()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

inline constexpr std::array<std::uint32_t, 256> table = make_table();

} // namespace crc32_detail

inline std::uint32_t crc32(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i)
        c = crc32_detail::table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace platform
