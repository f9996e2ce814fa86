#pragma once

#include <cstdint>
#include <vector>

class render_device;

// The number of the next screenshot name to try ("scre%03d.bmp"): 0 at
// program start, raised past every name found taken and after every file
// written.
extern std::int32_t screenshot_number;

// The bytes of a 24-bit bitmap of the device's back buffer: the 54-byte
// header written field by field, then the rows from the bottom of the
// screen up, blue, green, red per pixel, each row padded to a multiple of
// 4 bytes. A 16-bit screen is unpacked by its masks (565, 555 or BGR 565),
// an 8-bit one through its palette. Pixels outside the drawn picture are
// black. A scene the batches left open is drawn first.
std::vector<std::uint8_t> screenshot_bmp_bytes(render_device& device);
