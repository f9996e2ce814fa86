#include "platform/frame.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

std::uint32_t pixel16(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

#if defined(__SSE2__)
// Eight 16-bit pixels at a time: each channel (at bit `Shift`, `Bits` wide)
// widened to 8 bits in its own 16-bit lane, red and green/blue then
// interleaved into four 32-bit pixels twice. The same values the scalar
// loop below gives, for every pixel.
template <int Bits, int Shift>
[[gnu::always_inline]] inline __m128i channel8(__m128i v)
{
    const __m128i c = _mm_and_si128(_mm_srli_epi16(v, Shift), _mm_set1_epi16((1 << Bits) - 1));
    return _mm_or_si128(_mm_slli_epi16(c, 8 - Bits), _mm_srli_epi16(c, 2 * Bits - 8));
}

template <int RBits, int RShift, int GBits, int GShift, int BBits, int BShift>
int convert_row16_sse2(const std::uint8_t* row, int width, std::uint32_t* out)
{
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x));
        const __m128i r = channel8<RBits, RShift>(v);
        const __m128i gb = _mm_or_si128(_mm_slli_epi16(channel8<GBits, GShift>(v), 8), channel8<BBits, BShift>(v));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi16(gb, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 4), _mm_unpackhi_epi16(gb, r));
    }
    return x;
}
#endif

// One loop per format over a row (eight pixels at a time where the
// processor has the instructions, the rest one by one).
void convert_row(PixelFormat format, const std::uint8_t* row, int width, const std::uint32_t* palette,
                 std::uint32_t* out)
{
    int x = 0;
    switch (format) {
    case PixelFormat::Xrgb8888:
#if defined(__SSE2__)
        // Four pixels at a time: the same bytes with the unused top one
        // cleared.
        for (; x + 4 <= width; x += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_and_si128(v, _mm_set1_epi32(0x00FFFFFF)));
        }
#endif
        for (; x < width; ++x) {
            const std::uint8_t* p = row + 4 * x;
            out[x] = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
        }
        break;
    case PixelFormat::Indexed8:
        for (; x < width; ++x)
            out[x] = palette[row[x]] & 0x00FFFFFFu;
        break;
    case PixelFormat::Rgb565:
#if defined(__SSE2__)
        x = convert_row16_sse2<5, 11, 6, 5, 5, 0>(row, width, out);
#endif
        for (; x < width; ++x) {
            const std::uint32_t v = pixel16(row + 2 * x);
            out[x] = xrgb(widen((v >> 11) & 31, 5), widen((v >> 5) & 63, 6), widen(v & 31, 5));
        }
        break;
    case PixelFormat::Bgr565:
#if defined(__SSE2__)
        x = convert_row16_sse2<5, 0, 6, 5, 5, 11>(row, width, out);
#endif
        for (; x < width; ++x) {
            const std::uint32_t v = pixel16(row + 2 * x);
            out[x] = xrgb(widen(v & 31, 5), widen((v >> 5) & 63, 6), widen((v >> 11) & 31, 5));
        }
        break;
    case PixelFormat::Xrgb1555:
#if defined(__SSE2__)
        x = convert_row16_sse2<5, 10, 5, 5, 5, 0>(row, width, out);
#endif
        for (; x < width; ++x) {
            const std::uint32_t v = pixel16(row + 2 * x);
            out[x] = xrgb(widen((v >> 10) & 31, 5), widen((v >> 5) & 31, 5), widen(v & 31, 5));
        }
        break;
    case PixelFormat::Argb4444:
#if defined(__SSE2__)
        // 4-bit channels widen by x 17: (c << 4) | c, the same shape.
        x = convert_row16_sse2<4, 8, 4, 4, 4, 0>(row, width, out);
#endif
        for (; x < width; ++x) {
            const std::uint32_t v = pixel16(row + 2 * x);
            out[x] = xrgb(((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17);
        }
        break;
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
    std::shared_ptr<PresentedFrame> last;
    std::map<std::uint32_t, std::shared_ptr<PresentedFrame>> last_by_window;
    // Frames nothing holds any more, whose pixel memory the next frames
    // reuse (a frame is a megabyte or more, allocated and cleared anew it
    // would cost more than its conversion).
    std::vector<std::shared_ptr<PresentedFrame>> spare;
};

constexpr std::size_t kSpareFrames = 4;

// Keeps a frame that nothing else holds for reuse. Called under the lock.
void retire(Presentation& p, std::shared_ptr<PresentedFrame> frame)
{
    if (frame && frame.use_count() == 1 && p.spare.size() < kSpareFrames)
        p.spare.push_back(std::move(frame));
}

// A spare frame for `pixels` pixels: one of that size where there is one
// (windows of different sizes share the spares, and growing a frame clears
// its new pixels before the conversion writes them), else the last one.
std::shared_ptr<PresentedFrame> take_spare_frame(Presentation& p, std::size_t pixels)
{
    std::lock_guard<std::mutex> lock(p.mutex);
    if (p.spare.empty())
        return std::make_shared<PresentedFrame>();
    auto pick = p.spare.end() - 1;
    for (auto it = p.spare.begin(); it != p.spare.end(); ++it)
        if ((*it)->pixels.size() == pixels) {
            pick = it;
            break;
        }
    std::shared_ptr<PresentedFrame> frame = std::move(*pick);
    p.spare.erase(pick);
    return frame;
}

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
        std::shared_ptr<PresentedFrame> window_before = std::exchange(p.last_by_window[frame->window.id], frame);
        std::shared_ptr<PresentedFrame> last_before = std::exchange(p.last, std::move(frame));
        retire(p, std::move(window_before));
        retire(p, std::move(last_before));
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
    for (int y = 0; y < frame.height; ++y)
        convert_row(frame.format, base + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.pitch),
                    frame.width, frame.palette, out.data() + static_cast<std::size_t>(y) * frame.width);
    return true;
}

bool present_frame(WindowHandle window, const FrameView& frame, std::string* error)
{
    if (!is_window(window))
        return fail(error, "the window does not exist");
    Presentation& p = presentation();
    const std::size_t pixels = frame.width > 0 && frame.height > 0
                                   ? static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height)
                                   : 0;
    std::shared_ptr<PresentedFrame> copy = take_spare_frame(p, pixels);
    if (!convert_to_xrgb(frame, copy->pixels, error))
        return false;
    copy->window = window;
    copy->width = frame.width;
    copy->height = frame.height;

    bool post = false;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        for (auto it = p.pending.begin(); it != p.pending.end();) {
            if ((*it)->window == window) {
                retire(p, std::move(*it));
                it = p.pending.erase(it);
            } else {
                ++it;
            }
        }
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
