#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"

// Frame hand-over: any thread presents a finished picture to a window. The
// picture is copied (as 32-bit XRGB) before present_frame returns, so the
// caller may draw its next frame at once; the video thread then shows it in
// the window, scaled to the client area when the sizes differ. A frame that
// arrives while an earlier one of the same window still waits to be shown
// replaces it.
namespace platform {

enum class PixelFormat {
    Xrgb8888, // 32-bit, 0x00RRGGBB
    Rgb565,   // 16-bit, rrrrrggg gggbbbbb
    Xrgb1555, // 16-bit, xrrrrrgg gggbbbbb
    Bgr565,   // 16-bit, bbbbbggg gggrrrrr
    Argb4444, // 16-bit, aaaarrrr ggggbbbb (alpha ignored)
    Indexed8, // 8-bit, through a 256-entry palette
};

// A picture in the caller's memory.
struct FrameView {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::Xrgb8888;
    const void* pixels = nullptr;
    int pitch = 0;                          // bytes from one row to the next
    const std::uint32_t* palette = nullptr; // Indexed8: 256 entries, 0x00RRGGBB
};

inline constexpr int kMaxFrameSide = 4096;

int bytes_per_pixel(PixelFormat format);

// Converts a picture to rows of 0x00RRGGBB, tightly packed. False, with the
// reason in `error`, for a picture that does not describe valid memory: no
// pixels, a side not in 1..kMaxFrameSide, a pitch shorter than a row, or an
// indexed picture without a palette.
bool convert_to_xrgb(const FrameView& frame, std::vector<std::uint32_t>& out, std::string* error = nullptr);

// Hands the picture to the video thread for the window. False (nothing
// shown) for an invalid picture, a window that does not exist or a video
// thread that is not running.
bool present_frame(WindowHandle window, const FrameView& frame, std::string* error = nullptr);

struct PresentedFrame {
    WindowHandle window;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, width x height
};

// The last frame the video thread has shown, at the size it was presented.
// Frames handed over before this call are shown first (bounded wait).
std::optional<PresentedFrame> last_presented_frame();
// The last frame the video thread has shown in that window.
std::optional<PresentedFrame> last_presented_frame(WindowHandle window);

} // namespace platform
