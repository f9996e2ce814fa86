#include "platform/frame.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/native_window.h"
#include "platform/video_thread.h"

namespace platform {
namespace {

// Widens a colour channel of `bits` bits to 8 bits, so that full intensity
// stays full intensity (31 -> 255, not 248).
constexpr std::uint32_t widen(std::uint32_t value, int bits)
{
    return (value << (8 - bits)) | (value >> (2 * bits - 8));
}

constexpr std::uint32_t xrgb(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (r << 16) | (g << 8) | b;
}

std::uint32_t from_16_bit(PixelFormat format, std::uint32_t v)
{
    switch (format) {
    case PixelFormat::Rgb565:
        return xrgb(widen((v >> 11) & 31, 5), widen((v >> 5) & 63, 6), widen(v & 31, 5));
    case PixelFormat::Bgr565:
        return xrgb(widen(v & 31, 5), widen((v >> 5) & 63, 6), widen((v >> 11) & 31, 5));
    case PixelFormat::Xrgb1555:
        return xrgb(widen((v >> 10) & 31, 5), widen((v >> 5) & 31, 5), widen(v & 31, 5));
    case PixelFormat::Argb4444:
        return xrgb(((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17);
    default:
        return 0;
    }
}

bool fail(std::string* error, const char* why)
{
    if (error)
        *error = why;
    return false;
}

// Frames wait per window, in the order they were handed over: a window's
// newer frame replaces its own older one (and takes its turn after the
// others), never another window's.
struct Presentation {
    std::mutex mutex;
    std::vector<std::shared_ptr<PresentedFrame>> pending; // waiting for the video thread
    bool show_queued = false;
    std::shared_ptr<const PresentedFrame> last;
    std::map<std::uint32_t, std::shared_ptr<const PresentedFrame>> last_by_window;
};

Presentation& presentation()
{
    static Presentation* instance = new Presentation;
    return *instance;
}

// Runs on the video thread: shows each window's newest pending frame.
void show_pending_frame()
{
    Presentation& p = presentation();
    std::vector<std::shared_ptr<PresentedFrame>> frames;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        frames.swap(p.pending);
        p.show_queued = false;
    }
    for (auto& frame : frames) {
        native::present(frame->window.id, frame->width, frame->height, frame->pixels);
        std::lock_guard<std::mutex> lock(p.mutex);
        p.last_by_window[frame->window.id] = frame;
        p.last = std::move(frame);
    }
}

} // namespace

int bytes_per_pixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Xrgb8888: return 4;
    case PixelFormat::Indexed8: return 1;
    default: return 2;
    }
}

bool convert_to_xrgb(const FrameView& frame, std::vector<std::uint32_t>& out, std::string* error)
{
    if (!frame.pixels)
        return fail(error, "the frame has no pixels");
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxFrameSide || frame.height > kMaxFrameSide)
        return fail(error, "the frame's size is out of range");
    const int bpp = bytes_per_pixel(frame.format);
    if (frame.pitch < frame.width * bpp)
        return fail(error, "the frame's pitch is shorter than a row");
    if (frame.format == PixelFormat::Indexed8 && !frame.palette)
        return fail(error, "an indexed frame needs a palette");

    out.resize(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
    const auto* base = static_cast<const std::uint8_t*>(frame.pixels);
    std::uint32_t* dst = out.data();
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = base + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.pitch);
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bpp);
            switch (frame.format) {
            case PixelFormat::Xrgb8888:
                *dst++ = (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16);
                break;
            case PixelFormat::Indexed8:
                *dst++ = frame.palette[p[0]] & 0x00FFFFFFu;
                break;
            default:
                *dst++ = from_16_bit(frame.format, std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8);
                break;
            }
        }
    }
    return true;
}

bool present_frame(WindowHandle window, const FrameView& frame, std::string* error)
{
    if (!is_window(window))
        return fail(error, "the window does not exist");
    auto copy = std::make_shared<PresentedFrame>();
    if (!convert_to_xrgb(frame, copy->pixels, error))
        return false;
    copy->window = window;
    copy->width = frame.width;
    copy->height = frame.height;

    Presentation& p = presentation();
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        std::erase_if(p.pending, [&](const auto& waiting) { return waiting->window == window; });
        p.pending.push_back(std::move(copy));
        if (!p.show_queued)
            post = p.show_queued = true;
    }
    if (post && !post_to_video_thread(show_pending_frame)) {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.pending.clear();
        p.show_queued = false;
        return fail(error, "the video thread is not running");
    }
    return true;
}

std::optional<PresentedFrame> last_presented_frame()
{
    // Work is done in the order it was handed over: once this empty task has
    // run, every frame presented before the call has been shown.
    run_on_video_thread([] {});
    Presentation& p = presentation();
    std::lock_guard<std::mutex> lock(p.mutex);
    if (!p.last)
        return std::nullopt;
    return *p.last;
}

std::optional<PresentedFrame> last_presented_frame(WindowHandle window)
{
    run_on_video_thread([] {});
    Presentation& p = presentation();
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.last_by_window.find(window.id);
    if (it == p.last_by_window.end())
        return std::nullopt;
    return *it->second;
}

} // namespace platform
