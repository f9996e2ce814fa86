#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace datakit {

// An 8-bit picture with its palette (8-bit components), as the game's
// picture reader (loadpcx) takes it. planes 1: one byte per pixel, the
// palette index; planes 3: three runs per line, red, green and blue.
struct PcxPicture {
    int width = 0;
    int height = 0;
    int planes = 1;
    // Bytes stored per line and plane; 0 means the width. Image tools pad
    // lines to an even count: a 121-pixel picture is stored with 122 bytes
    // per line, the extra bytes 0.
    int bytes_per_line = 0;
    std::vector<std::uint8_t> pixels;           // height x planes x width, line after line
    std::array<std::uint8_t, 768> palette{};    // red, green, blue per index
};

// The bytes of a standard run-length encoded PCX file: the 128-byte header
// (bytes per line = width), each line's planes encoded (runs of at most 63;
// a single byte of 0xC0 or above is written as a run of one), then the
// marker 0x0C and the palette as the file's last 768 bytes. Throws
// std::invalid_argument for a picture whose sizes and pixels do not agree.
std::vector<std::uint8_t> pcx_bytes(const PcxPicture& picture);

// The raw layout the reader also accepts: "Corvantis", the pixel count, the
// header, the palette, then the pixels unencoded and 8 more bytes.
std::vector<std::uint8_t> pcx_raw_bytes(const PcxPicture& picture);

// Writes the picture as a PCX file (atomically). False and `error` on
// failure.
bool write_pcx(const std::filesystem::path& path, const PcxPicture& picture, std::string& error);

// The demo palette with 8-bit components (the 6-bit values times four).
std::array<std::uint8_t, 768> demo_palette_rgb();

// A demo circuit's loading picture (640 x 480, the demo palette): sky,
// hills in the circuit's colour, the road with its kerbs.
PcxPicture demo_track_picture(int circuit);

// The loading screens in "<root>/Gfx/Loading": "loading.pcx" (640 x 480),
// one 640 x 480 picture per demo circuit ("<circuit>.pcx"), the animated
// logo "TvnLogo.pcx" (35 frames of 120 x 90, five to a row) and its
// background "Mask_00.pcx" (120 x 90).
bool write_demo_loading_pictures(const std::filesystem::path& root, std::string& error);

} // namespace datakit
