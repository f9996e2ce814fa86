#pragma once

#include <cstdint>
#include <vector>

class render_device;

// A set of equal-size frames cut from one picture sheet (loadpcx), each
// trimmed to its visible pixels and kept in the display's pixel format,
// drawn onto the renderer's back buffer with its transparent colour left
// out. Used for full-screen backgrounds, the loading screens and their
// animated logo, sprites and the mouse pointer.
//
// So far pictures draw on the screen; painting into a texture (the cockpit's
// digital displays) joins with the texture cache.
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
    // to the clipping rectangle and the back buffer. 1 when something was
    // drawn; 0 while the display is paused, for an index past the frames,
    // an empty frame, or a frame entirely outside. `mode` 3 asks for the
    // visible surface; the back buffer is the only surface, and is used.
    int draw(int x, int y, int index, int mode = 0);
    void set_rect(int left, int right, int top, int bottom);
    // Frees every frame; the clipping rectangle is kept.
    void free();

    std::int32_t count = 0;
    std::int32_t key = 0;          // transparent colour in the display's format
    std::int32_t clip_left = 0, clip_right = 0, clip_top = 0, clip_bottom = 0;
    std::int32_t bytes_per_pixel = 0;
    std::vector<frame> frames;
};
