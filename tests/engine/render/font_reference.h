#pragma once

// A plain reference of what the bitmap font draws, for the golden pictures
// of the font test. It works from the data kit's inputs (the sheet's
// indices and palette, the kerning pairs as the kit wrote them), not from
// the loaded font: every glyph is found again in its sheet cell, trimmed
// and widened by the rules, and painted one pixel at a time into a screen
// of plain values (palette indices or 16-bit colours).

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/engine/render/screen_fixture.h"
#include "tools/datakit/font_writer.h"
#include "tools/datakit/pcx_writer.h"

namespace font_reference {

// What the screen keeps: palette indices (the software type on an 8-bit
// screen), 16-bit colours mapped from indices at drawing time (the software
// type on a 16-bit screen), or 16-bit colours with pure blue transparent
// (the 3D types).
enum class Target { Indexed8, Software16, Colour16 };

struct Screen {
    Target target = Target::Indexed8;
    screen_test::Layout layout = screen_test::Layout::Rgb565;
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The font's inputs: its sheet, the grid and its pairs.
struct Font {
    const datakit::PcxPicture* sheet = nullptr;
    int w = 0, h = 0, across = 0, count = 0, first = 0;
    std::vector<datakit::FontPair> pairs;
};

// A palette colour in the screen's 16-bit layout, each component cut (not
// rounded) to its bits.
inline std::uint32_t pack(screen_test::Layout layout, int r, int g, int b)
{
    switch (layout) {
    case screen_test::Layout::Rgb555:
        return static_cast<std::uint32_t>((r / 8) * 1024 + (g / 8) * 32 + b / 8);
    case screen_test::Layout::Bgr565:
        return static_cast<std::uint32_t>((b / 8) * 2048 + (g / 4) * 32 + r / 8);
    case screen_test::Layout::Rgb565:
        break;
    }
    return static_cast<std::uint32_t>((r / 8) * 2048 + (g / 4) * 32 + b / 8);
}

// Pure blue in the layout: the 3D types' transparent colour.
inline std::uint32_t blue(screen_test::Layout layout)
{
    return pack(layout, 0, 0, 255);
}

// The sheet's index at column x, row y of the cell of character number k
// (counted from the first); 0 in the cell's extra column of an odd width.
inline int cell_index(const Font& f, int k, int x, int y)
{
    if (x >= f.w)
        return 0;
    const int sx = (k % f.across) * f.w + x;
    const int sy = (k / f.across) * f.h + y;
    return f.sheet->pixels[static_cast<std::size_t>(sy) * f.sheet->width + sx];
}

// Whether the cell's pixel is left out when drawn.
inline bool clear_pixel(const Font& f, const Screen& s, int k, int x, int y)
{
    const int i = cell_index(f, k, x, y);
    if (i == 0)
        return true;
    if (s.target != Target::Colour16)
        return false;
    const std::uint8_t* rgb = f.sheet->palette.data() + 3 * i;
    return pack(s.layout, rgb[0], rgb[1], rgb[2]) == blue(s.layout);
}

// The value the screen receives for a pixel that is not left out.
inline std::uint32_t drawn_value(const Font& f, const Screen& s, int k, int x, int y)
{
    const int i = cell_index(f, k, x, y);
    if (s.target == Target::Indexed8)
        return static_cast<std::uint32_t>(i);
    const std::uint8_t* rgb = f.sheet->palette.data() + 3 * i;
    return pack(s.layout, rgb[0], rgb[1], rgb[2]);
}

// A glyph: its character number k, the first cell column it shows and its
// (even) width; width 0 for a character without glyph.
struct Glyph {
    int k = 0, left = 0, width = 0;
};

inline Glyph glyph(const Font& f, const Screen& s, int code)
{
    Glyph g;
    g.k = code - f.first;
    if (code < f.first || g.k >= f.count || code > 255)
        return {};
    const int even = f.w % 2 == 0 ? f.w : f.w + 1;
    bool empty = true;
    for (int y = 0; y < f.h; ++y)
        for (int x = 0; x < f.w; ++x)
            if (cell_index(f, g.k, x, y) != 0)
                empty = false;
    if (empty)
        return {};
    const auto clear_column = [&](int x) {
        for (int y = 0; y < f.h; ++y)
            if (!clear_pixel(f, s, g.k, x, y))
                return false;
        return true;
    };
    int left = 0;
    while (left < f.w && clear_column(left))
        left = left + 1;
    int right = 0;
    while (right < f.w && clear_column(even - 1 - right))
        right = right + 1;
    int width = even - left - right;
    if (width <= 0)
        return {};
    if (width % 2 == 1) {
        width = width + 1;
        if (right == 0)
            left = left - 1;
    }
    g.left = left;
    g.width = width;
    return g;
}

// The kerning of c followed by d: the first of the kit's entries for the
// pair.
inline int kerning(const Font& f, int c, int d)
{
    for (const datakit::FontPair& p : f.pairs)
        if (p.first == c && p.second == d)
            return p.adjust;
    return 0;
}

struct Rect {
    int left, right, top, bottom;  // right and bottom exclusive
};

// Paints the glyph of `code` with its top-left corner at (x, y): every
// pixel inside the rectangle and the screen that is not left out.
inline void paint(Screen& s, const Font& f, int code, long long x, long long y, const Rect& clip)
{
    const Glyph g = glyph(f, s, code);
    for (int gy = 0; gy < f.h; ++gy)
        for (int gx = 0; gx < g.width; ++gx) {
            const long long sx = x + gx, sy = y + gy;
            if (sx < clip.left || sx >= clip.right || sy < clip.top || sy >= clip.bottom)
                continue;
            if (sx < 0 || sx >= s.width || sy < 0 || sy >= s.height)
                continue;
            if (clear_pixel(f, s, g.k, g.left + gx, gy))
                continue;
            s.at(static_cast<int>(sx), static_cast<int>(sy)) = drawn_value(f, s, g.k, g.left + gx, gy);
        }
}

inline Rect on_screen(const Screen& s, const Rect& r)
{
    return {std::max(r.left, 0), std::min(r.right, s.width), std::max(r.top, 0), std::min(r.bottom, s.height)};
}

// The walk of every drawer: the pen starts at x; a space or underscore
// moves it by `space`; a character without glyph moves nothing; a glyph is
// painted at the pen plus offset(glyph) and the pen then moves by
// advance(glyph, character, next character). The walk ends at the
// rectangle's right.
template <class Offset, class Advance>
void walk(Screen& s, const Font& f, const Rect& r, const char* t, int x, int y, int space, Offset offset,
          Advance advance)
{
    long long pen = x;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(t); *p != 0 && pen < r.right; ++p) {
        if (*p == ' ' || *p == '_') {
            pen += space;
            continue;
        }
        const Glyph g = glyph(f, s, *p);
        if (g.width == 0)
            continue;
        paint(s, f, *p, pen + offset(g), y, r);
        pen += advance(g, *p, p[1]);
    }
}

// A glyph advances by its width, the spacing and the kerning with the very
// next character (even one the font lacks).
inline void text(Screen& s, const Font& f, const Rect& clip, const char* t, int x, int y, int space, int spacing)
{
    walk(
        s, f, on_screen(s, clip), t, x, y, space, [](const Glyph&) { return 0; },
        [&](const Glyph& g, int c, int d) { return g.width + spacing + kerning(f, c, d); });
}

// Each character in a fixed cell of cell width - narrowing: the glyph with
// the room's larger half (rounded up) left of it; a space or underscore is
// an empty cell.
inline void text_ex(Screen& s, const Font& f, const char* t, int x, int y, int narrowing)
{
    const int cell = (f.w % 2 == 0 ? f.w : f.w + 1) - narrowing;
    const auto left_pad = [&](const Glyph& g) {
        const int room = cell - g.width;
        const int right_pad = room >= 0 ? room / 2 : -((-room + 1) / 2);
        return room - right_pad;
    };
    walk(s, f, Rect{0, s.width, 0, s.height}, t, x, y, cell, left_pad, [&](const Glyph&, int, int) { return cell; });
}

// Glyphs at their widths, each followed by `gap` pixels.
inline void text_gap(Screen& s, const Font& f, const char* t, int x, int y, int space, int gap)
{
    walk(
        s, f, Rect{0, s.width, 0, s.height}, t, x, y, space, [](const Glyph&) { return 0; },
        [&](const Glyph& g, int, int) { return g.width + gap; });
}

} // namespace font_reference
