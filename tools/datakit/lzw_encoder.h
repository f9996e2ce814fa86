#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace datakit {

// Packs codes least-significant bit first, each at the width given, the way
// the game's LZW decoder takes them. Tests use it to write hand-made (also
// damaged) code streams.
class LzwCodeWriter {
public:
    void put(std::uint32_t code, unsigned width);
    // The packed bytes; the last partial byte is padded with zero bits.
    std::vector<std::uint8_t> finish();

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t pending_ = 0;
    unsigned pending_bits_ = 0;
};

// Compresses data into the code stream of compressed archive entries:
// a reset (256) first, then codes of 9 to 12 bits with table entries from
// 258, widths growing when the decoder's next free entry reaches 512, 1024
// and 2048; a reset whenever the table is full; the end code (257) last.
// Empty data gives the end code alone.
std::vector<std::uint8_t> lzw_encode(std::span<const std::uint8_t> data);

} // namespace datakit
