#pragma once

#include <cstdint>
#include <vector>

#include "platform/display.h"

class render_device;
struct mtr_texture;

// A set of equal-size frames cut from one picture sheet (loadpcx), each
// trimmed to its visible pixels and kept in the display's pixel format,
// drawn onto the renderer's back buffer with its transparent colour left
// out. Used for full-screen backgrounds, the loading screens and their
// animated logo, sprites and the mouse pointer.
//
// A picture given a target texture (a material frame, set_value before
// load) paints its frames into that texture instead: the software type's
// 8-bit texels, or the texture's system-memory copy in the texture's own
// 16-bit layout (4-4-4-4 with the picture's opacity as alpha), loaded into
// video memory at the next present. This is how the cockpit's digital
// displays reach the 3D dashboard.
//
// A picture belongs to one thread at a time: the loading-screen thread loads
// and draws its own while the main thread loads a race.
class lib2d_picture {
public:
    struct frame {
        std::int32_t x = 0, y = 0;            // where it was last drawn
        std::int32_t width = 0, height = 0;   // the trimmed frame
        std::int32_t trim_left = 0, trim_top = 0;
        std::vector<std::uint8_t> pixels;     // width x height pixels; empty: nothing visible
    };

    lib2d_picture() = default;
    ~lib2d_picture() { free(); }
    lib2d_picture(const lib2d_picture&) = delete;
    lib2d_picture& operator=(const lib2d_picture&) = delete;

    // Reads the sheet and cuts `count` frames of w x h, `across` to a row,
    // in reading order. `opacity` and `flags` serve pictures painted into
    // textures. 1, or 0 after a Lib2d error box (7: the display is not set
    // up; 8: the sheet is not found; 2: the sheet is smaller than the grid).
    int load(const char* file, int w, int h, int across, int count, float opacity = 0.0f, int flags = 0);
    // Draws frame `index` with its cell's top-left corner at (x, y), clipped
    // to the clipping rectangle and the back buffer (a target: painted into
    // the texture at (x, y) scaled to its cached size, clipped to the
    // rectangle, by default the texture's size; 1 also when the texture is
    // not resident yet or cannot be locked). 1 when something was
    // drawn; 0 while the display is paused, for an index past the frames,
    // an empty frame, or a frame entirely outside. `mode` 3 asks for the
    // visible surface; the back buffer is the only surface, and is used.
    int draw(int x, int y, int index, int mode = 0);
    void set_rect(int left, int right, int top, int bottom);
    // The texture to paint into (null: the screen); before load.
    void set_value(mtr_texture* texture) { target = texture; }
    // Frees every frame; the clipping rectangle is kept.
    void free();

    std::int32_t count = 0;
    std::int32_t key = 0;          // transparent colour in the display's format
    std::int32_t clip_left = 0, clip_right = 0, clip_top = 0, clip_bottom = 0;
    std::int32_t bytes_per_pixel = 0;
    std::vector<frame> frames;
    mtr_texture* target = nullptr;
    // The layout of a target picture's 16-bit frames.
    platform::PixelLayout target_layout = platform::PixelLayout::Rgb565;

private:
    // The software type's texels of a target are rows of this many bytes.
    static constexpr int kSoftwareTexelRow = 256;
    int draw_into_target(render_device& device, int x, int y, int index);
};
