#include "engine/render/lib2d_picture.h"

#include <algorithm>
#include <cstring>

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

int lib2d_picture::load(const char* file, int w, int h, int across, int n, float /*opacity*/, int /*flags*/)
{
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

    const bool indexed = device->render_type == kRenderSoftware && device->screen_depth != 16;
    const int bpp = indexed ? 1 : 2;
    const Packing packing = packing_of(*device);
    std::uint16_t table[256] = {};
    if (!indexed) {
        for (int i = 0; i < 256; ++i)
            table[i] = pack(packing, palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]);
        if (packing == Packing::Rgb555)
            key = 0x3E0;
        else if (packing == Packing::Rgb565)
            key = 0x7E0;
    } else {
        key = 0;
    }

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
                            v = pack(packing, r, g, b);
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
        fr.width = right - left + 1;
        fr.height = bottom - top + 1;
        fr.pixels.resize(static_cast<std::size_t>(fr.width) * fr.height * bpp);
        for (int y = 0; y < fr.height; ++y)
            std::memcpy(fr.pixels.data() + static_cast<std::size_t>(y) * fr.width * bpp,
                        cell.pixels.data() + (static_cast<std::size_t>(top + y) * W2 + left) * bpp,
                        static_cast<std::size_t>(fr.width) * bpp);
    }
    return 1;
}

int lib2d_picture::draw(int x, int y, int index, int /*mode*/)
{
    render_device* device = installed_render_device();
    if (!device || device->paused || index < 0 || index >= count)
        return 0;
    frame& fr = frames[static_cast<std::size_t>(index)];
    if (fr.pixels.empty() || !device->surfaces_valid || device->screen_depth / 8 != bytes_per_pixel)
        return 0;
    fr.x = x;
    fr.y = y;

    // Clip to the clipping rectangle (right and bottom exclusive, so that a
    // full-screen picture at (0, 0) covers the screen) and to the buffer.
    const int right_bound = std::min(clip_right, device->draw_width);
    const int bottom_bound = std::min(clip_bottom, device->draw_height);
    const int left_bound = std::max(clip_left, 0);
    const int top_bound = std::max(clip_top, 0);
    long long dx = static_cast<long long>(x) + fr.trim_left;
    long long dy = static_cast<long long>(y) + fr.trim_top;
    long long sx = 0, sy = 0;
    if (dx < left_bound) {
        sx = left_bound - dx;
        dx = left_bound;
    }
    if (dy < top_bound) {
        sy = top_bound - dy;
        dy = top_bound;
    }
    const long long w = std::min<long long>(fr.width - sx, right_bound - dx);
    const long long h = std::min<long long>(fr.height - sy, bottom_bound - dy);
    if (w < 1 || h < 1)
        return 0;

    const int bpp = bytes_per_pixel;
    for (long long row = 0; row < h; ++row) {
        const std::uint8_t* src =
            fr.pixels.data() + (static_cast<std::size_t>(sy + row) * fr.width + static_cast<std::size_t>(sx)) * bpp;
        std::uint8_t* dst = device->back_buffer.data() + static_cast<std::size_t>(dy + row) * device->back_pitch +
                            static_cast<std::size_t>(dx) * bpp;
        for (long long col = 0; col < w; ++col) {
            const std::uint32_t v = bpp == 2 ? static_cast<std::uint32_t>(src[2 * col] | src[2 * col + 1] << 8)
                                             : src[col];
            if (v == static_cast<std::uint32_t>(key))
                continue;
            std::memcpy(dst + col * bpp, src + col * bpp, static_cast<std::size_t>(bpp));
        }
    }
    return 1;
}
