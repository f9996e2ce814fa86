#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The one picture reader: standard run-length encoded PCX files and the raw
// layout that begins with "Corvantis" (same header and palette, pixels not
// encoded). The file is looked for on disk first, then in its ".mix"
// archive. The pixels come back as stored: one byte per pixel and plane,
// line after line, each line holding `planes` runs of `bytes per line`.

inline constexpr std::size_t kPcxHeaderBytes = 128;
inline constexpr std::size_t kPcxPaletteBytes = 768;
// Bytes the pixel buffer holds beyond the picture's own.
inline constexpr std::size_t kPcxPixelSlack = 8;

// The header fields the program reads (little-endian).
struct pcx_header_fields {
    int rows = 0;            // ymax - ymin + 1
    int planes = 0;          // 1: 8-bit indices; 3: one plane each of red, green, blue
    int bytes_per_line = 0;  // the picture's width
};
pcx_header_fields read_pcx_header(const std::uint8_t (&header)[kPcxHeaderBytes]);

// Reads the picture into `pixels` (N + 8 bytes with N = rows x planes x
// bytes per line, or S + 8 for the raw layout), `header` and `palette`.
// 1 on success; 0, with `pixels` untouched, when the file is neither on disk
// nor in its archive. Throws GameError "Error loadfile in loadpcx" when the
// archive entry opens but cannot be read.
//
// Damaged files never read or write out of bounds: a file shorter than its
// header or palette reads the missing bytes as 0, encoded data that runs
// out at the end of the file leaves the rest of the pixels 0, a run past the end of the buffer is
// cut there, and a raw pixel count larger than the file is cut to what the
// file holds. A picture of fewer than one byte (no rows, planes or bytes
// per line, or a raw file without pixels) or of more than kPcxMaxPixels
// bytes is refused (0, `pixels` untouched).
//
// The reader keeps no state between calls, so the loading-screen thread
// may read its pictures while the main thread reads others.
int loadpcx(std::vector<std::uint8_t>& pixels, const char* file, std::uint8_t (&header)[kPcxHeaderBytes],
            std::uint8_t (&palette)[kPcxPaletteBytes]);

inline constexpr std::size_t kPcxMaxPixels = 64u * 1024u * 1024u;
