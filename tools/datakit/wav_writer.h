#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Writes ".wav" sound files: RIFF "WAVE" with a PCM "fmt " chunk and a
// "data" chunk, as common sound tools write them, with the variants tests
// need (an 18-byte format chunk, extra chunks before and after the data).
namespace datakit {

struct WavLayout {
    bool format_extra_word = false;     // an 18-byte "fmt " chunk (extra size 0)
    bool list_before_data = false;      // a "LIST" chunk (odd size, padded) between format and data
    bool fact_before_format = false;    // a "fact" chunk before the format
    bool trailing_chunk = false;        // a "LIST" chunk after the data
};

// The bytes of a wave file holding `data` (PCM bytes in the format given).
std::vector<std::uint8_t> wav_bytes(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels,
                                    const std::vector<std::uint8_t>& data, const WavLayout& layout = {});

// 16-bit samples (interleaved when stereo) as PCM bytes, and back.
std::vector<std::uint8_t> pcm16_bytes(const std::vector<std::int16_t>& samples);

// Writes a 16-bit wave file atomically, creating missing folders.
bool write_wav16(const std::filesystem::path& path, std::uint32_t rate, std::uint16_t channels,
                 const std::vector<std::int16_t>& samples, std::string& error);

} // namespace datakit
