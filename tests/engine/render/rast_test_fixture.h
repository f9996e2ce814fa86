#pragma once

// Shared fixtures of the rasteriser tests: a 3-3-2 palette with its shade
// tables and blend pages, a texture, frames with guard bands, the pixel
// rules of the rasteriser written out pixel by pixel, and golden pictures.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/clip_vertex.h"
#include "engine/base/material_records.h"
#include "engine/base/recip_table.h"
#include "engine/base/shade_table.h"
#include "engine/render/rast.h"
#include "tests/support/png_image.h"

namespace rast_test {

// ---- Colours ----

// Palette index rrrgggbb.
inline void palette_rgb(int index, int& r, int& g, int& b)
{
    r = ((index >> 5) & 7) * 255 / 7;
    g = ((index >> 2) & 7) * 255 / 7;
    b = (index & 3) * 255 / 3;
}

inline int nearest_index(int r, int g, int b)
{
    auto q = [](int value, int levels) { return (value * (levels - 1) + 127) / 255; };
    return q(r, 8) << 5 | q(g, 8) << 2 | q(b, 4);
}

inline std::uint16_t rgb565(int r, int g, int b)
{
    return static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

inline std::vector<std::uint8_t> palette_bytes()
{
    std::vector<std::uint8_t> p(768);
    for (int i = 0; i < 256; ++i) {
        int r, g, b;
        palette_rgb(i, r, g, b);
        p[3 * i] = static_cast<std::uint8_t>(r);
        p[3 * i + 1] = static_cast<std::uint8_t>(g);
        p[3 * i + 2] = static_cast<std::uint8_t>(b);
    }
    return p;
}

// Shade entry of colour c at level L: the colour darkened to (L + 1) / 256.
inline std::uint32_t shade_entry(int level, int c, int depth)
{
    int r, g, b;
    palette_rgb(c, r, g, b);
    r = r * (level + 1) / 256;
    g = g * (level + 1) / 256;
    b = b * (level + 1) / 256;
    if (depth == 16) {
        const std::uint32_t px = rgb565(r, g, b);
        return px << 16 | px;
    }
    return static_cast<std::uint32_t>(nearest_index(r, g, b)) * 0x01010101u;
}

inline void install_tables(int depth)
{
    for (int level = 0; level < 256; ++level)
        for (int c = 0; c < 256; ++c)
            shade_table[level * 256 + c] = shade_entry(level, c, depth);
    // Page p blends toward its own colour; level k by (k + 1) / 16.
    for (int page = 0; page < 16; ++page) {
        const int pr = (page * 97) & 255, pg = (page * 53 + 128) & 255, pb = (page * 29 + 64) & 255;
        for (int k = 0; k < 16; ++k)
            for (int d = 0; d < 256; ++d) {
                int r, g, b;
                palette_rgb(d, r, g, b);
                r += (pr - r) * (k + 1) / 16;
                g += (pg - g) * (k + 1) / 16;
                b += (pb - b) * (k + 1) / 16;
                blend_pages[page][k * 256 + d] = static_cast<std::uint32_t>(nearest_index(r, g, b)) * 0x01010101u;
            }
    }
    recip_table_build();
}

// ---- Texture ----

// A 64 x 64 texture (rows 256 bytes apart, mask 0x3F3F): a gradient with a
// fine pattern, a stripe of transparent texels 0 and a stripe of
// translucent texels 0xE0-0xFF.
struct texture {
    std::vector<std::uint8_t> texels = std::vector<std::uint8_t>(65536, 0);
    texture()
    {
        for (int u = 0; u < 64; ++u)
            for (int v = 0; v < 64; ++v) {
                int t = (u >> 3) << 5 | (v >> 3) << 2 | (((u ^ v) >> 2) & 3);
                if ((u + v) % 13 == 0)
                    t = 0;
                else if ((u - v + 64) % 11 == 0)
                    t = 0xE0 | ((u + v) & 15);
                texels[u * 256 + v] = static_cast<std::uint8_t>(t);
            }
    }
    raster_material material(std::int32_t mode, std::int32_t page = 3) const
    {
        raster_material m;
        m.fill_mode = mode;
        m.blend_page = page;
        m.texels = texels.data();
        m.texture_mask = 0x3F3F;
        return m;
    }
};

// ---- Frames ----

// A frame of width x height pixels inside a guard band of `guard` pixels on
// every side (and longer rows), all filled with a background pattern; the
// guard keeps its own byte, which must survive every drawing.
struct frame {
    static constexpr std::uint8_t guard_byte = 0xA5;
    int width, height, depth, guard, pitch;  // pitch in bytes of the whole buffer
    std::vector<std::uint8_t> bytes;

    frame(int w, int h, int d, int g = 16) : width(w), height(h), depth(d), guard(g)
    {
        pitch = (w + 2 * g + 3) * bpp();
        bytes.assign(static_cast<std::size_t>(pitch) * (h + 2 * g), guard_byte);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                set(x, y, background(x, y));
    }
    int bpp() const { return depth == 16 ? 2 : 1; }
    std::uint32_t background(int x, int y) const
    {
        // A calm gradient, so that drawn polygons stand out and blended
        // pixels still find different colours below them.
        const int r = (y * 3) & 255, g = (x * 3) & 255, b = 96;
        if (depth == 16)
            return rgb565(r, g, b);
        return static_cast<std::uint32_t>(nearest_index(r, g, b));
    }
    std::uint8_t* at(int x, int y) { return &bytes[static_cast<std::size_t>(y + guard) * pitch + (x + guard) * bpp()]; }
    std::uint32_t get(int x, int y)
    {
        const std::uint8_t* p = at(x, y);
        return depth == 16 ? static_cast<std::uint32_t>(p[0] | p[1] << 8) : p[0];
    }
    void set(int x, int y, std::uint32_t value)
    {
        std::uint8_t* p = at(x, y);
        p[0] = static_cast<std::uint8_t>(value);
        if (depth == 16)
            p[1] = static_cast<std::uint8_t>(value >> 8);
    }
    rast_frame view() { return {at(0, 0), pitch, width, height, depth}; }
    void make_current() { rast_set_screen(static_cast<float>(width), static_cast<float>(height), view()); }

    // Bytes of the guard band that are no longer the guard byte.
    int damaged_guard() const
    {
        int damaged = 0;
        for (int y = 0; y < height + 2 * guard; ++y)
            for (int x = 0; x < pitch; ++x) {
                const bool inside = y >= guard && y < guard + height && x >= guard * bpp() && x < (guard + width) * bpp();
                if (!inside && bytes[static_cast<std::size_t>(y) * pitch + x] != guard_byte)
                    ++damaged;
            }
        return damaged;
    }

    // The picture as a PNG image: palette indices, or RGB from 5-6-5 with
    // the bits repeated into the low bits (so the 16-bit values come back).
    torvane_test::PngImage image()
    {
        torvane_test::PngImage img;
        img.width = width;
        img.height = height;
        img.indexed = depth != 16;
        if (img.indexed)
            img.palette = palette_bytes();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t p = get(x, y);
                if (img.indexed) {
                    img.pixels.push_back(static_cast<std::uint8_t>(p));
                } else {
                    const int r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
                    img.pixels.push_back(static_cast<std::uint8_t>(r << 3 | r >> 2));
                    img.pixels.push_back(static_cast<std::uint8_t>(g << 2 | g >> 4));
                    img.pixels.push_back(static_cast<std::uint8_t>(b << 3 | b >> 2));
                }
            }
        return img;
    }
};

// ---- Vertices ----

inline clip_vertex vertex(float sx, float sy, float u_texels, float v_texels, float light, float w = 1.0f)
{
    clip_vertex v{};
    v.x = sx;
    v.y = sy;
    v.z = w;
    v.w = w;
    v.sx = sx;
    v.sy = sy;
    v.rhw = w != 0.0f ? 1.0f / w : 0.0f;
    v.u = u_texels * 65536.0f;
    v.v = v_texels * 65536.0f;
    v.light[0] = light;
    return v;
}

// ---- Filler cases ----

// One filler's case: the frame's depth, the full-resolution switch and the
// material's fill mode.
struct filler_case {
    const char* name;
    int depth;
    int full_res;
    std::int32_t mode;
};

inline void PrintTo(const filler_case& c, std::ostream* os)
{
    *os << c.name;
}

inline std::vector<filler_case> filler_cases()
{
    return {{"opaque_half_8", 8, 0, 0},   {"keyed_half_8", 8, 0, 6},   {"opaque_full_8", 8, 1, 0},
            {"keyed_full_8", 8, 1, 6},    {"blend_half_8", 8, 0, 9},   {"opaque_half_16", 16, 0, 0},
            {"keyed_half_16", 16, 0, 6},  {"opaque_full_16", 16, 1, 0}, {"keyed_full_16", 16, 1, 6}};
}

inline std::string filler_case_name(const ::testing::TestParamInfo<filler_case>& info)
{
    return info.param.name;
}

// ---- Golden pictures ----

// Compares a picture with its golden file; TORVANE_UPDATE_GOLDEN=1 writes
// the file instead. Golden pictures come from the tests' reference, never
// from the rasteriser.
inline void expect_golden(const std::string& name, const torvane_test::PngImage& image)
{
    const std::string path = std::string(TORVANE_RAST_GOLDEN_DIR) + "/" + name + ".png";
    torvane_test::PngImage golden;
    if (!torvane_test::golden_to_compare(path, image, golden))
        return;
    ASSERT_EQ(golden.width, image.width) << name;
    ASSERT_EQ(golden.height, image.height) << name;
    ASSERT_EQ(golden.indexed, image.indexed) << name;
    const std::size_t channels = image.indexed ? 1 : 3;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        if (golden.pixels[i] != image.pixels[i]) {
            const std::size_t px = i / channels;
            ADD_FAILURE() << name << ": first difference at (" << px % image.width << ", " << px / image.width
                          << "): golden " << int(golden.pixels[i]) << ", reference " << int(image.pixels[i]);
            return;
        }
    }
}

// The first pixel where two frames differ, as text; empty when they agree.
inline std::string first_difference(frame& a, frame& b)
{
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.get(x, y) != b.get(x, y))
                return "(" + std::to_string(x) + ", " + std::to_string(y) + "): " + std::to_string(a.get(x, y)) +
                       " vs " + std::to_string(b.get(x, y));
    return {};
}

// ---- Thread count ----

// The rasteriser's thread count is program-wide: each test sets it itself
// (one thread: every entry draws before it returns), whatever an earlier
// test in the same process left, and leaves one behind.
template <class Base>
class drawing_base : public Base {
protected:
    void SetUp() override { rast_set_threads(1); }
    void TearDown() override { rast_set_threads(1); }
};
using drawing = drawing_base<::testing::Test>;
template <class Param>
using drawing_with = drawing_base<::testing::TestWithParam<Param>>;

} // namespace rast_test
