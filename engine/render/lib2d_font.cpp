#include "engine/render/lib2d_font.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "app/mixer.h"
#include "engine/render/lib2d_error.h"
#include "engine/render/loadpcx.h"
#include "engine/render/render_device.h"
#include "platform/file.h"

namespace {

// A description file from disk, else from its archive; text files as the
// game reads them in text mode (CR LF becomes LF, 0x1A ends the text).
bool read_description(const std::string& name, bool text, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (!platform::read_whole_file(name, out)) {
        const ArchivePath where = SplitArchivePath(name.c_str());
        mixer entry;
        if (entry.open(where.archive.c_str(), where.entry.c_str(), "rb") != 0)
            return false;
        entry.close();
        if (entry.load(where.archive.c_str(), where.entry.c_str(), out) != 0)
            return false;
    }
    if (text) {
        std::vector<std::uint8_t> decoded;
        for (std::size_t i = 0; i < out.size() && out[i] != 0x1A; ++i)
            if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n'))
                decoded.push_back(out[i]);
        out = std::move(decoded);
    }
    return true;
}

// The description's name: the sheet's name up to ".pcx" (any case), then
// the extension.
std::string description_name(const std::string& sheet, const char* extension)
{
    std::string lower = sheet;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    const std::size_t at = lower.rfind(".pcx");
    return (at == std::string::npos ? sheet : sheet.substr(0, at)) + extension;
}

// The transparent colour of 16-bit glyphs: pure blue in the screen's layout.
std::int32_t blue_key(const render_device& d)
{
    if (d.red_mask == 0x1F)
        return d.red_mask + d.green_mask + d.blue_mask == 0x7FFF ? 0x7C00 : 0xF800;
    return 0x001F;
}

std::uint16_t pack_exact(const render_device& d, int r, int g, int b)
{
    if (d.red_mask == 0x1F)
        return static_cast<std::uint16_t>((b >> 3) << 11 | (g >> 2) << 5 | (r >> 3));
    if (d.red_mask + d.green_mask + d.blue_mask == 0x7FFF)
        return static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    return static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// Whether text can go on the screen now; a scene the batches left open is
// drawn first, so that the text lies over what came before it.
bool device_can_draw(render_device* d)
{
    if (!d || !d->ready || !d->surfaces_valid || d->paused || d->back_buffer.empty())
        return false;
    d->end_batch_scene();
    return true;
}

} // namespace

lib2d_font::lib2d_font()
{
    std::fill(std::begin(glyph_offset), std::end(glyph_offset), -1);
    std::fill(std::begin(glyph_width), std::end(glyph_width), 0);
}

void lib2d_font::free()
{
    glyphs.clear();
    glyphs.shrink_to_fit();
    pair_count = 0;
    pair_keys.clear();
    pair_adjust.clear();
    pair_index.clear();
    colour_table.clear();
    glyph_count = cell_width = cell_height = 0;
    std::fill(std::begin(glyph_offset), std::end(glyph_offset), -1);
    std::fill(std::begin(glyph_width), std::end(glyph_width), 0);
}

void lib2d_font::set_clip(int left, int right, int top, int bottom)
{
    clip_left = left;
    clip_right = right;
    clip_top = top;
    clip_bottom = bottom;
}

void lib2d_font::load_pairs(const std::string& sheet)
{
    std::vector<std::uint8_t> file;
    lib2d_pairs pairs;
    bool found = false;
    if (read_description(description_name(sheet, ".cfg"), true, file))
        found = lib2d_parse_pairs_text(file, pairs);
    else if (read_description(description_name(sheet, ".cfb"), false, file))
        found = lib2d_parse_pairs_binary(file, pairs);
    if (!found)
        return;
    pair_count = pairs.count;
    pair_keys = std::move(pairs.keys);
    pair_adjust = std::move(pairs.adjust);
    pair_index = std::move(pairs.index);
}

int lib2d_font::pair_adjustment(int c, int d) const
{
    if (pair_count == 0 || c < 0 || c > 255 || d < 0 || d > 255)
        return 0;
    const std::int32_t wanted = c << 8 | d;
    for (std::int32_t i = pair_index[static_cast<std::size_t>(c)]; i >= 0 && i < pair_count; ++i) {
        const std::int32_t k = pair_keys[static_cast<std::size_t>(i)];
        if (k == 0 || k > wanted)
            break;
        if (k == wanted)
            return pair_adjust[static_cast<std::size_t>(i)];
    }
    return 0;
}

int lib2d_font::load(const char* sheet, int w, int h, int across, int n, int first)
{
    free();
    render_device* device = installed_render_device();
    if (device)
        set_clip(0, device->width, 0, device->height);
    const std::string name = sheet ? sheet : "";
    load_pairs(name);
    if (!device || !device->ready) {
        lib2d_report_error(5, nullptr);
        return 0;
    }
    std::vector<std::uint8_t> pixels;
    std::uint8_t header[kPcxHeaderBytes];
    std::uint8_t palette[kPcxPaletteBytes];
    if (!loadpcx(pixels, name.c_str(), header, palette)) {
        lib2d_report_error(6, nullptr);
        return 0;
    }
    const pcx_header_fields f = read_pcx_header(header);

    // The software type keeps palette indices (a 16-bit screen maps them
    // through the colour table when drawing); the others keep colours.
    const bool indices = device->render_type == kRenderSoftware;
    bytes_per_pixel = indices ? 1 : 2;
    key = indices ? 0 : blue_key(*device);
    std::uint16_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = pack_exact(*device, palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]);
    if (indices && device->screen_depth == 16)
        colour_table.assign(std::begin(table), std::end(table));

    const long long P = f.bytes_per_line, R = f.rows;
    const int W2 = (w + 1) & ~1;
    const long long grid_rows = across > 0 ? (static_cast<long long>(n) + across - 1) / across : 0;
    if (w <= 0 || h <= 0 || across <= 0 || n <= 0 || first < 0 || f.planes != 1 ||
        P < static_cast<long long>(across) * w || grid_rows * h > R) {
        lib2d_report_error(2, name.c_str());
        return 0;
    }

    const int bpp = bytes_per_pixel;
    std::vector<std::uint32_t> cell(static_cast<std::size_t>(W2) * h);
    for (int k = 0; k < n && first + k < 256; ++k) {
        const int code = first + k;
        const std::size_t x0 = static_cast<std::size_t>(k % across) * w;
        const std::size_t y0 = static_cast<std::size_t>(k / across) * h;
        bool empty = true;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < W2; ++x) {
                const std::size_t at = (y0 + y) * static_cast<std::size_t>(P) + x0 + x;
                const int index = x < w && at < pixels.size() ? pixels[at] : 0;
                empty = empty && index == 0;
                cell[static_cast<std::size_t>(y) * W2 + x] =
                    indices ? static_cast<std::uint32_t>(index)
                            : (index == 0 ? static_cast<std::uint32_t>(key) : table[index]);
            }
        glyph_offset[code] = static_cast<std::int32_t>(glyphs.size());
        if (empty) {
            glyph_width[code] = 0;
            continue;
        }
        const std::uint32_t clear = indices ? 0u : static_cast<std::uint32_t>(key);
        const auto column_clear = [&](int x) {
            for (int y = 0; y < h; ++y)
                if (cell[static_cast<std::size_t>(y) * W2 + x] != clear)
                    return false;
            return true;
        };
        int left = 0;
        while (left < w && column_clear(left))
            ++left;
        int right = 0;
        while (right < w && column_clear(W2 - 1 - right))
            ++right;
        int width = W2 - left - right;
        if (width & 1) {
            if (right == 0)
                --left;
            ++width;
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t v = cell[static_cast<std::size_t>(y) * W2 + left + x];
                glyphs.push_back(static_cast<std::uint8_t>(v));
                if (bpp == 2)
                    glyphs.push_back(static_cast<std::uint8_t>(v >> 8));
            }
        glyph_width[code] = width;
        ++glyph_count;
    }
    glyphs.resize(glyphs.size() + 8, 0);
    cell_width = W2;
    cell_height = h;
    return 1;
}

lib2d_font::Box lib2d_font::screen_box() const
{
    const render_device* d = installed_render_device();
    return {0, d->draw_width, 0, d->draw_height};
}

void lib2d_font::put_glyph(int code, long long x, long long y, const Box& box) const
{
    const render_device* d = installed_render_device();
    const int w = glyph_width[code];
    const std::uint8_t* glyph = glyphs.data() + glyph_offset[code];
    const int bpp = bytes_per_pixel;
    const int depth_bytes = d->screen_depth == 16 ? 2 : 1;
    for (long long gy = std::max(0LL, box.top - y); gy < cell_height && y + gy < box.bottom; ++gy) {
        std::uint8_t* row = d->back_buffer.data() + static_cast<std::size_t>(y + gy) * d->back_pitch;
        for (long long gx = std::max(0LL, box.left - x); gx < w && x + gx < box.right; ++gx) {
            const std::uint8_t* src = glyph + (static_cast<std::size_t>(gy) * w + gx) * bpp;
            std::uint32_t v = bpp == 2 ? static_cast<std::uint32_t>(src[0] | src[1] << 8) : src[0];
            if (v == static_cast<std::uint32_t>(key))
                continue;
            if (!colour_table.empty())
                v = colour_table[v];
            std::uint8_t* dst = row + static_cast<std::size_t>(x + gx) * depth_bytes;
            dst[0] = static_cast<std::uint8_t>(v);
            if (depth_bytes == 2)
                dst[1] = static_cast<std::uint8_t>(v >> 8);
        }
    }
}

int lib2d_font::draw_text(const char* text, int x, int y, int space, int spacing)
{
    render_device* d = installed_render_device();
    if (!device_can_draw(d))
        return 0;
    if (!text || !*text || cell_height == 0)
        return 1;
    const Box screen = screen_box();
    const Box box{std::max(clip_left, screen.left), std::min(clip_right, screen.right),
                  std::max(clip_top, screen.top), std::min(clip_bottom, screen.bottom)};
    const long long top = std::max<long long>(y, box.top);
    const long long bottom = std::min<long long>(static_cast<long long>(y) + cell_height, box.bottom);
    if (bottom - top < 1)
        return 0;
    draw_run(text, x, y, box, space, spacing, true);
    return 1;
}

void lib2d_font::draw_run(const char* text, long long x, int y, const Box& box, int space, int extra,
                          bool kerning) const
{
    long long pen = x;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p && pen < box.right; ++p) {
        const int c = *p;
        if (c == ' ' || c == '_') {
            pen += space;
            continue;
        }
        if (!has_glyph(c))
            continue;
        if (pen + glyph_width[c] > box.left)
            put_glyph(c, pen, y, box);
        pen += static_cast<long long>(glyph_width[c]) + extra + (kerning ? pair_adjustment(c, p[1]) : 0);
    }
}

int lib2d_font::text_width(const char* text, int space, int spacing) const
{
    if (!text)
        return 0;
    long long sum = 0, extra = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const int c = *p;
        if (c == ' ' || c == '_') {
            sum += space;
            extra = 0;
            continue;
        }
        if (!has_glyph(c))
            continue;
        extra = static_cast<long long>(spacing) + pair_adjustment(c, p[1]);
        sum += glyph_width[c] + extra;
    }
    return static_cast<int>(std::clamp<long long>(sum - extra, INT_MIN, INT_MAX));
}

int lib2d_font::draw_text_ex(const char* text, int x, int y, int narrowing)
{
    render_device* d = installed_render_device();
    if (!device_can_draw(d))
        return 0;
    if (!text || cell_height == 0)
        return 1;
    const Box box = screen_box();
    const int cell = cell_width - narrowing;
    long long pen = x;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p && pen < box.right; ++p) {
        const int c = *p;
        if (c == ' ' || c == '_') {
            pen += cell;
            continue;
        }
        if (!has_glyph(c))
            continue;
        const int gap = cell - glyph_width[c];
        const int right_pad = gap >> 1;
        const long long at = pen + (gap - right_pad);
        if (at + glyph_width[c] > box.left)
            put_glyph(c, at, y, box);
        pen += cell;
    }
    return 1;
}

int lib2d_font::draw_text_gap(const char* text, int x, int y, int space, int gap)
{
    render_device* d = installed_render_device();
    if (!device_can_draw(d))
        return 0;
    if (!text || cell_height == 0)
        return 1;
    draw_run(text, x, y, screen_box(), space, gap, false);
    return 1;
}
