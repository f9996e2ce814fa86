#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "platform/text.h"

// Drawing a line of text into a caller's picture: the face gives the
// glyphs' coverage, and each covered pixel is blended (16-bit colour) or
// replaced by the nearest palette entry (8-bit).
namespace platform {

namespace {

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

Channel channel(std::uint32_t mask)
{
    Channel c;
    c.mask = mask;
    c.shift = mask ? std::countr_zero(mask) : 0;
    c.bits = std::popcount(mask);
    return c;
}

// A channel's value widened to 8 bits (its top bits repeated below).
std::uint32_t widen(std::uint32_t pixel, const Channel& c)
{
    if (c.bits == 0)
        return 0;
    const std::uint32_t v = (pixel & c.mask) >> c.shift;
    std::uint32_t out = v << (8 - c.bits);
    for (int filled = c.bits; filled < 8; filled += c.bits)
        out |= v << (8 - c.bits) >> filled;
    return out & 0xFF;
}

std::uint32_t narrow(std::uint32_t value, const Channel& c)
{
    return c.bits == 0 ? 0 : ((value >> (8 - c.bits)) << c.shift) & c.mask;
}

// Blends 16-bit pixels: colour x coverage + pixel x (1 - coverage), each
// channel rounded to the nearest.
class Blender16 {
public:
    Blender16(PixelLayout layout, std::uint32_t bgr)
        : masks_(pixel_masks(layout)), r_(channel(masks_.red)), g_(channel(masks_.green)), b_(channel(masks_.blue)),
          full_(pack_colour(bgr, layout)), red_(bgr & 0xFF), green_((bgr >> 8) & 0xFF), blue_((bgr >> 16) & 0xFF)
    {
    }

    std::uint16_t blend(std::uint16_t pixel, std::uint32_t cover) const
    {
        if (cover >= 255)
            return full_;
        const auto mix = [&](std::uint32_t fg, const Channel& c) {
            return narrow((fg * cover + widen(pixel, c) * (255 - cover) + 127) / 255, c);
        };
        return static_cast<std::uint16_t>(mix(red_, r_) | mix(green_, g_) | mix(blue_, b_) | masks_.alpha);
    }
    std::uint16_t full() const { return full_; }

private:
    PixelMasks masks_;
    Channel r_, g_, b_;
    std::uint16_t full_;
    std::uint32_t red_, green_, blue_;
};

// The palette entry nearest to a colour (by squared distance of the
// channels; the first of equals).
std::uint8_t nearest_entry(std::span<const std::uint32_t> palette, std::uint32_t bgr)
{
    const auto dist = [&](std::uint32_t p) {
        long d = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const long a = static_cast<long>((p >> shift) & 0xFF) - static_cast<long>((bgr >> shift) & 0xFF);
            d += a * a;
        }
        return d;
    };
    const std::size_t n = std::min<std::size_t>(palette.size(), 256);
    std::size_t best = 0;
    long best_distance = std::numeric_limits<long>::max();
    for (std::size_t i = 0; i < n; ++i) {
        const long d = dist(palette[i]);
        if (d < best_distance) {
            best_distance = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

PixelRect intersect(const PixelRect& a, const PixelRect& b)
{
    PixelRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

bool drawable(const TextTarget& t)
{
    if (!t.pixels || t.width <= 0 || t.height <= 0)
        return false;
    const PixelMasks m = pixel_masks(t.layout);
    if (m.depth)
        return false;
    if (m.palettised && t.palette.empty())
        return false;
    return t.pitch >= t.width * bytes_per_pixel(t.layout);
}

std::uint8_t* pixel_row(const TextTarget& t, int y)
{
    return t.pixels + static_cast<std::ptrdiff_t>(y) * t.pitch;
}

std::uint16_t load16(const std::uint8_t* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void store16(std::uint8_t* p, std::uint16_t v)
{
    std::memcpy(p, &v, 2);
}

void fill(const TextTarget& t, const PixelRect& r, std::uint32_t bgr)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const bool indexed = t.layout == PixelLayout::Indexed8;
    const std::uint16_t value = indexed ? nearest_entry(t.palette, bgr) : pack_colour(bgr, t.layout);
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* row = pixel_row(t, y);
        for (int x = r.left; x < r.right; ++x) {
            if (indexed)
                row[x] = static_cast<std::uint8_t>(value);
            else
                store16(row + 2 * x, value);
        }
    }
}

} // namespace

void draw_text(const TextFace& face, const TextTarget& target, std::string_view text, const TextDrawOptions& options)
{
    if (text.empty() || !drawable(target))
        return;
    const PixelRect clip = intersect(options.clip, PixelRect{0, 0, target.width, target.height});
    if (clip.width() <= 0 || clip.height() <= 0)
        return;

    // The reference point is kept well inside int's range, so that the cell's
    // edges computed from it cannot overflow.
    constexpr int kReach = 1 << 28;
    const int width = face.measure(text);
    int left = std::clamp(options.x, -kReach, kReach);
    if (options.align == TextAlign::Right)
        left -= width;
    else if (options.align == TextAlign::Center)
        left -= width / 2;
    const int top = std::clamp(options.y, -kReach, kReach);
    if (options.opaque)
        fill(target, intersect(clip, PixelRect{left, top, left + width, top + face.cell_height()}), options.background);

    const TextCoverage cover = face.coverage(text);
    if (cover.width <= 0 || cover.height <= 0 ||
        cover.alpha.size() < static_cast<std::size_t>(cover.width) * static_cast<std::size_t>(cover.height))
        return;
    const PixelRect area = intersect(clip, PixelRect{left, top, left + cover.width, top + cover.height});
    const bool indexed = target.layout == PixelLayout::Indexed8;
    const std::uint8_t entry = indexed ? nearest_entry(target.palette, options.colour) : 0;
    const Blender16 blender(indexed ? PixelLayout::Rgb565 : target.layout, options.colour);
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint8_t* row = pixel_row(target, y);
        const std::uint8_t* alpha = cover.alpha.data() + static_cast<std::size_t>(y - top) * cover.width;
        for (int x = area.left; x < area.right; ++x) {
            const std::uint32_t a = alpha[x - left];
            if (a == 0)
                continue;
            if (indexed) {
                if (a >= 128)
                    row[x] = entry;
            } else {
                store16(row + 2 * x, blender.blend(load16(row + 2 * x), a));
            }
        }
    }
}

} // namespace platform
