#include "engine/render/lib2d_picture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/base/texture_record.h"
#include "engine/render/lib2d_error.h"
#include "engine/render/loadpcx.h"
#include "engine/render/render_device.h"

namespace {

// Every channel is raised one step before it is packed, so no colour of a
// picture becomes 0 or the pure-green key.
std::uint32_t raise(std::uint32_t c)
{
    return std::min<std::uint32_t>((c & 0xF8) + 8, 0xF8);
}

enum class Packing { Rgb565, Rgb555, Bgr565 };

Packing packing_of(const render_device& device)
{
    if (device.red_mask == 0x1F)
        return Packing::Bgr565;
    if (device.red_mask + device.green_mask + device.blue_mask == 0x7FFF)
        return Packing::Rgb555;
    return Packing::Rgb565;
}

std::uint16_t pack(Packing p, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    r = raise(r);
    g = raise(g);
    b = raise(b);
    switch (p) {
    case Packing::Bgr565: return static_cast<std::uint16_t>((b >> 3) << 11 | (g >> 2) << 5 | (r >> 3));
    case Packing::Rgb555: return static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    case Packing::Rgb565: break;
    }
    return static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// A target texture's texel: its own layout, 4-4-4-4 with the picture's
// alpha (0..15).
std::uint16_t pack_texel(platform::PixelLayout layout, int alpha, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    switch (layout) {
    case platform::PixelLayout::Argb4444:
        return static_cast<std::uint16_t>(alpha << 12 | (raise(r) >> 4) << 8 | (raise(g) >> 4) << 4 | raise(b) >> 4);
    case platform::PixelLayout::Rgb555: return pack(Packing::Rgb555, r, g, b);
    case platform::PixelLayout::Bgr565: return pack(Packing::Bgr565, r, g, b);
    default: return pack(Packing::Rgb565, r, g, b);
    }
}

// The average of two texels of a layout, channel by channel (the alphas
// are combined by OR), for textures shrunk on square-only devices.
std::uint16_t average(platform::PixelLayout layout, std::uint16_t p, std::uint16_t q)
{
    const platform::PixelMasks m = platform::pixel_masks(layout);
    std::uint32_t v = (p | q) & m.alpha;
    for (std::uint32_t mask : {m.red, m.green, m.blue})
        v |= (((p & mask) + (q & mask)) >> 1) & mask;
    return static_cast<std::uint16_t>(v);
}

// The target's record in the renderer's cache, or null.
cache_texture* target_record(const render_device& device, const mtr_texture* target)
{
    auto* t = target ? static_cast<cache_texture*>(target->surface) : nullptr;
    return device.owns_texture(t) && t->size != 0 ? t : nullptr;
}

// One cell in the display's format, `stride` pixels to a row.
struct Cell {
    int stride = 0;
    int height = 0;
    int bpp = 0;
    std::vector<std::uint8_t> pixels;

    std::uint32_t at(int x, int y) const
    {
        const std::size_t i = (static_cast<std::size_t>(y) * stride + x) * bpp;
        return bpp == 2 ? static_cast<std::uint32_t>(pixels[i] | pixels[i + 1] << 8) : pixels[i];
    }
    void put(int x, int y, std::uint32_t v)
    {
        const std::size_t i = (static_cast<std::size_t>(y) * stride + x) * bpp;
        pixels[i] = static_cast<std::uint8_t>(v);
        if (bpp == 2)
            pixels[i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
};

} // namespace

void lib2d_picture::set_rect(int left, int right, int top, int bottom)
{
    clip_left = left;
    clip_right = right;
    clip_top = top;
    clip_bottom = bottom;
}

void lib2d_picture::free()
{
    frames.clear();
    frames.shrink_to_fit();
    count = 0;
}

int lib2d_picture::load(const char* file, int w, int h, int across, int n, float opacity, int /*flags*/)
{
    const int alpha = std::clamp(static_cast<int>(opacity * 15.0f), 0, 15);
    free();
    render_device* device = installed_render_device();
    if (device)
        set_rect(0, device->width, 0, device->height);
    if (!device || !device->ready) {
        lib2d_report_error(7, file);
        return 0;
    }
    std::vector<std::uint8_t> sheet;
    std::uint8_t header[kPcxHeaderBytes];
    std::uint8_t palette[kPcxPaletteBytes];
    // An archive entry that cannot be read throws "Error loadfile in
    // loadpcx" to the caller's handler (the loading screen's reports it).
    if (!loadpcx(sheet, file, header, palette)) {
        lib2d_report_error(8, file);
        return 0;
    }
    const pcx_header_fields f = read_pcx_header(header);

    // A target in the software type takes 8-bit texels whatever the
    // screen's depth; in the 3D types, texels of the target's own layout.
    const bool software = device->render_type == kRenderSoftware;
    const bool indexed = software && (target || device->screen_depth != 16);
    const int bpp = indexed ? 1 : 2;
    const Packing packing = packing_of(*device);
    const cache_texture* record = target && !software ? target_record(*device, target) : nullptr;
    bool to_texture = false;
    int sx = 1, sy = 1;
    if (target) {
        set_rect(0, 0, 0, 0);
        if (record) {
            to_texture = device->texture_layout_of(*record, target_layout);
            // A square-only device shrinks the longer side of the texture;
            // the frames shrink with it.
            const int tw = record->source_width, th = record->source_height;
            if (device->device_info.square_only && tw > 0 && th > 0) {
                if (tw > th)
                    sx = tw / th;
                else
                    sy = th / tw;
            }
        }
    }
    std::uint16_t table[256] = {};
    const auto pack_rgb = [&](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        return to_texture ? pack_texel(target_layout, alpha, r, g, b) : pack(packing, r, g, b);
    };
    if (!indexed) {
        for (int i = 0; i < 256; ++i)
            table[i] = pack_rgb(palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]);
        if (packing == Packing::Rgb555)
            key = 0x3E0;
        else if (packing == Packing::Rgb565)
            key = 0x7E0;
    } else {
        key = 0;
    }
    if (target)
        key = 0;

    // The sheet must hold the grid; the checks are made in 64 bits so that
    // no product of the header's numbers wraps.
    const long long P = f.bytes_per_line, R = f.rows;
    const long long W2 = (static_cast<long long>(w) + 1) & ~1LL;
    const bool planes_ok = f.planes == 1 || (f.planes == 3 && !indexed);
    // Every cell of the grid must lie inside the sheet: its rows of cells
    // (the last one perhaps part full) must fit in the sheet's rows, not
    // only its byte count.
    const long long grid_rows = across > 0 ? (static_cast<long long>(n) + across - 1) / across : 0;
    if (w <= 0 || h <= 0 || across <= 0 || n <= 0 || !planes_ok || P < static_cast<long long>(across) * w ||
        R * bpp * P < bpp * W2 * n * h || grid_rows * h > R) {
        lib2d_report_error(2, file);
        return 0;
    }
    const std::size_t line_bytes = static_cast<std::size_t>(P) * static_cast<std::size_t>(f.planes);
    const auto sheet_at = [&](long long x, long long y, int plane) -> int {
        // A cell row past the decoded picture reads as transparent.
        const std::size_t i = static_cast<std::size_t>(y) * line_bytes + static_cast<std::size_t>(plane) * P +
                              static_cast<std::size_t>(x);
        return y < R && i < sheet.size() ? sheet[i] : -1;
    };

    bytes_per_pixel = bpp;
    count = n;
    frames.assign(static_cast<std::size_t>(n), frame{});
    Cell cell;
    cell.stride = static_cast<int>(W2);
    cell.height = h;
    cell.bpp = bpp;
    for (int k = 0; k < n; ++k) {
        const long long x0 = static_cast<long long>(k % across) * w;
        const long long y0 = static_cast<long long>(k / across) * h;
        cell.pixels.assign(static_cast<std::size_t>(W2) * h * bpp, 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < W2; ++x) {
                std::uint32_t v = indexed ? 0u : static_cast<std::uint32_t>(key);
                if (x < w) {
                    if (f.planes == 3) {
                        const int r = sheet_at(x0 + x, y0 + y, 0), g = sheet_at(x0 + x, y0 + y, 1),
                                  b = sheet_at(x0 + x, y0 + y, 2);
                        if (r >= 0 && g >= 0 && b >= 0)
                            v = pack_rgb(static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(g),
                                         static_cast<std::uint32_t>(b));
                    } else {
                        const int index = sheet_at(x0 + x, y0 + y, 0);
                        if (index > 0)
                            v = indexed ? static_cast<std::uint32_t>(index) : table[index];
                    }
                }
                cell.put(x, y, v);
            }
        }
        // Trim the transparent border.
        const std::uint32_t clear = indexed ? 0u : static_cast<std::uint32_t>(key);
        int left = static_cast<int>(W2), right = -1, top = h, bottom = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < W2; ++x)
                if (cell.at(x, y) != clear) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        frame& fr = frames[static_cast<std::size_t>(k)];
        if (right < 0)
            continue; // nothing visible: an empty frame
        fr.trim_left = left;
        fr.trim_top = top;
        const int trimmed_w = right - left + 1, trimmed_h = bottom - top + 1;
        if (bpp == 1 || (sx == 1 && sy == 1)) {
            fr.width = trimmed_w;
            fr.height = trimmed_h;
            fr.pixels.resize(static_cast<std::size_t>(fr.width) * fr.height * bpp);
            for (int y = 0; y < fr.height; ++y)
                std::memcpy(fr.pixels.data() + static_cast<std::size_t>(y) * fr.width * bpp,
                            cell.pixels.data() + (static_cast<std::size_t>(top + y) * W2 + left) * bpp,
                            static_cast<std::size_t>(fr.width) * bpp);
            continue;
        }
        // Shrunk: every sy-th row; every sx-th pixel averaged with its
        // right-hand neighbour (not past the row's end).
        fr.width = trimmed_w / sx;
        fr.height = trimmed_h / sy;
        fr.pixels.resize(static_cast<std::size_t>(fr.width) * fr.height * 2);
        Cell reduced;
        reduced.stride = fr.width;
        reduced.height = fr.height;
        reduced.bpp = 2;
        reduced.pixels.swap(fr.pixels);
        for (int y = 0; y < fr.height; ++y)
            for (int x = 0; x < fr.width; ++x) {
                const int cx = left + x * sx, cy = top + y * sy;
                std::uint32_t p = cell.at(cx, cy);
                if (x * sx + 1 < trimmed_w)
                    p = average(target_layout, static_cast<std::uint16_t>(p),
                                static_cast<std::uint16_t>(cell.at(cx + 1, cy)));
                reduced.put(x, y, p);
            }
        fr.pixels.swap(reduced.pixels);
    }
    return 1;
}

namespace {

// Where a frame goes: the destination's first column and row and the part
// of the frame left after clipping to [left, right) x [top, bottom).
struct Placement {
    long long dx = 0, dy = 0, sx = 0, sy = 0, w = 0, h = 0;
};

bool place(const lib2d_picture::frame& fr, long long x, long long y, int left, int right, int top, int bottom,
           Placement& p)
{
    p.dx = x + fr.trim_left;
    p.dy = y + fr.trim_top;
    left = std::max(left, 0);
    top = std::max(top, 0);
    if (p.dx < left) {
        p.sx = left - p.dx;
        p.dx = left;
    }
    if (p.dy < top) {
        p.sy = top - p.dy;
        p.dy = top;
    }
    p.w = std::min<long long>(fr.width - p.sx, right - p.dx);
    p.h = std::min<long long>(fr.height - p.sy, bottom - p.dy);
    return p.w >= 1 && p.h >= 1;
}

template <class Pixel>
Pixel load(const std::uint8_t* p)
{
    Pixel v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// `value` in every pixel lane of a 64-bit word.
template <class Pixel>
constexpr std::uint64_t pixel_lanes(std::uint64_t value)
{
    return value * (sizeof(Pixel) == 2 ? 0x0001000100010001ull : 0x0101010101010101ull);
}

// True when some pixel lane of the word is 0 (exact: the borrow of a lane
// reaches its top bit only when the lane is 0 or a lower lane was).
template <class Pixel>
bool has_zero_lane(std::uint64_t v)
{
    constexpr std::uint64_t low = pixel_lanes<Pixel>(1);
    constexpr std::uint64_t high = low << (8 * sizeof(Pixel) - 1);
    return ((v - low) & ~v & high) != 0;
}

// Copies the pixels of a row that are not `key`, each run of them in one
// copy (a row without the key is a single copy). The runs are found eight
// bytes at a time: a full-screen picture is scanned every frame.
template <class Pixel>
void copy_row_visible(const std::uint8_t* src, std::uint8_t* dst, long long width, Pixel key)
{
    constexpr long long bpp = sizeof(Pixel);
    constexpr long long per_word = 8 / bpp;
    const std::uint64_t keys = pixel_lanes<Pixel>(key);
    long long x = 0;
    while (x < width) {
        while (x + per_word <= width && load<std::uint64_t>(src + x * bpp) == keys)
            x += per_word;
        while (x < width && load<Pixel>(src + x * bpp) == key)
            ++x;
        const long long start = x;
        for (;;) {
            while (x + per_word <= width && !has_zero_lane<Pixel>(load<std::uint64_t>(src + x * bpp) ^ keys))
                x += per_word;
            const long long end = std::min(x + per_word, width);
            while (x < end && load<Pixel>(src + x * bpp) != key)
                ++x;
            if (x < end || x >= width)
                break;
        }
        if (x > start)
            std::memcpy(dst + start * bpp, src + start * bpp, static_cast<std::size_t>((x - start) * bpp));
    }
}

// Copies the frame's visible pixels (those not `key`) into rows of `pitch`
// bytes. A key no pixel of the depth can have copies whole rows.
void copy_visible(const lib2d_picture::frame& fr, const Placement& p, int bpp, std::uint32_t key, std::uint8_t* base,
                  std::size_t pitch)
{
    const bool keyed = key <= (bpp == 2 ? 0xFFFFu : 0xFFu);
    for (long long row = 0; row < p.h; ++row) {
        const std::uint8_t* src =
            fr.pixels.data() + (static_cast<std::size_t>(p.sy + row) * fr.width + static_cast<std::size_t>(p.sx)) * bpp;
        std::uint8_t* dst = base + static_cast<std::size_t>(p.dy + row) * pitch + static_cast<std::size_t>(p.dx) * bpp;
        if (!keyed)
            std::memcpy(dst, src, static_cast<std::size_t>(p.w * bpp));
        else if (bpp == 2)
            copy_row_visible<std::uint16_t>(src, dst, p.w, static_cast<std::uint16_t>(key));
        else
            copy_row_visible<std::uint8_t>(src, dst, p.w, static_cast<std::uint8_t>(key));
    }
}

} // namespace

int lib2d_picture::draw(int x, int y, int index, int /*mode*/)
{
    render_device* device = installed_render_device();
    if (!device || device->paused || index < 0 || index >= count)
        return 0;
    // What the batches hold is drawn first: the picture lies over it, and
    // a texture painted into must not change under queued triangles.
    device->end_batch_scene();
    if (target)
        return draw_into_target(*device, x, y, index);
    frame& fr = frames[static_cast<std::size_t>(index)];
    if (fr.pixels.empty() || !device->surfaces_valid || device->screen_depth / 8 != bytes_per_pixel)
        return 0;
    fr.x = x;
    fr.y = y;

    // Clip to the clipping rectangle (right and bottom exclusive, so that a
    // full-screen picture at (0, 0) covers the screen) and to the buffer.
    Placement p;
    if (!place(fr, x, y, clip_left, std::min(clip_right, device->draw_width), clip_top,
               std::min(clip_bottom, device->draw_height), p))
        return 0;
    copy_visible(fr, p, bytes_per_pixel, static_cast<std::uint32_t>(key), device->back_buffer.data(),
                 static_cast<std::size_t>(device->back_pitch));
    return 1;
}

int lib2d_picture::draw_into_target(render_device& device, int x, int y, int index)
{
    frame& fr = frames[static_cast<std::size_t>(index)];
    if (device.render_type == kRenderSoftware) {
        // The software type's texels: 8-bit, rows 256 bytes apart.
        if (clip_right == 0)
            set_rect(0, target->width, 0, target->height);
        fr.x = x;
        fr.y = y;
        Placement p;
        if (fr.pixels.empty() || !target->pixels || bytes_per_pixel != 1 ||
            !place(fr, x, y, clip_left, std::min({clip_right, target->width, kSoftwareTexelRow}), clip_top,
                   std::min(clip_bottom, target->height), p))
            return 0;
        copy_visible(fr, p, 1, 0, target->pixels, kSoftwareTexelRow);
        return 1;
    }
    cache_texture* t = target_record(device, target);
    if (!t || t->source_width <= 0 || t->source_height <= 0)
        return 0;
    // The position in the texture's cached size.
    const long long tx = static_cast<long long>(t->cache_width) * x / t->source_width;
    const long long ty = static_cast<long long>(t->cache_height) * y / t->source_height;
    if (clip_right == 0)
        set_rect(0, t->cache_width, 0, t->cache_height);
    fr.x = static_cast<std::int32_t>(tx);
    fr.y = static_cast<std::int32_t>(ty);
    // Not resident: nothing to show it in yet.
    if (!t->video_surface)
        return 1;
    platform::Surface& surface = t->system_surface ? *t->system_surface : *t->video_surface;
    Placement p;
    if (fr.pixels.empty() || bytes_per_pixel != 2 || surface.layout() != target_layout ||
        !place(fr, tx, ty, clip_left, std::min(clip_right, surface.width()), clip_top,
               std::min(clip_bottom, surface.height()), p))
        return 1;
    platform::SurfaceLock lock;
    if (surface.lock(lock) != platform::DisplayResult::Ok)
        return 1;
    copy_visible(fr, p, 2, 0, lock.pixels, static_cast<std::size_t>(lock.pitch));
    surface.unlock();
    // The system copy was written: the video copy is loaded again at the
    // next present.
    if (t->system_surface)
        device.add_pending_reload(t);
    return 1;
}
