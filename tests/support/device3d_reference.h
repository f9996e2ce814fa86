#pragma once

// A plain reference for the 3D device's triangles: one pixel at a time, in
// double precision, from barycentric weights; its pictures as golden PNG
// files, and the tolerance a device's picture is held to. The device's own
// tests and the renderer's batch tests compare the device with it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/device3d_raster.h"
#include "tests/support/png_image.h"

namespace device3d_reference {

using namespace platform;

struct Colour {
    double r = 0, g = 0, b = 0, a = 255;
};

inline Colour from_argb(std::uint32_t c)
{
    return {double((c >> 16) & 255), double((c >> 8) & 255), double(c & 255), double(c >> 24)};
}

// 16-bit texel to 0..255 channels, rounding the expansion.
inline Colour texel_colour(PixelLayout layout, std::uint16_t t)
{
    const auto e = [](unsigned v, unsigned max) { return double((v * 255 + max / 2) / max); };
    switch (layout) {
    case PixelLayout::Argb4444:
        return {e((t >> 8) & 15, 15), e((t >> 4) & 15, 15), e(t & 15, 15), e(t >> 12, 15)};
    case PixelLayout::Rgb555: return {e((t >> 10) & 31, 31), e((t >> 5) & 31, 31), e(t & 31, 31), 255};
    default: return {e(t >> 11, 31), e((t >> 5) & 63, 63), e(t & 31, 31), 255};
    }
}

inline std::uint16_t to565(double r, double g, double b)
{
    const auto q = [](double v, int levels) {
        return static_cast<unsigned>(std::clamp(v, 0.0, 255.0) * levels / 255.0 + 0.5);
    };
    return static_cast<std::uint16_t>(q(r, 31) << 11 | q(g, 63) << 5 | q(b, 31));
}

struct Frame {
    int width = 0, height = 0;
    std::vector<std::uint16_t> colour, depth;
    Frame(int w, int h, std::uint16_t background = 0) : width(w), height(h), colour(w * h, background), depth(w * h, 0xFFFF) {}
    RasterTarget target() { return {colour.data(), width, PixelLayout::Rgb565, depth.data(), width, {0, 0, width, height}}; }
};

inline double snap(float v)
{
    return std::round(double(v) * 16.0) / 16.0;
}

// Whether point (px, py) lies in the triangle: inside, or on a top or left
// edge, with the corners ordered so the area is positive (y grows down).
inline bool covers(const TLVertex* v, double px, double py, double weights[3])
{
    double x[3], y[3];
    for (int i = 0; i < 3; ++i) {
        x[i] = snap(v[i].sx);
        y[i] = snap(v[i].sy);
    }
    double area = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
    if (area == 0)
        return false;
    int o[3] = {0, 1, 2};
    if (area < 0) {
        std::swap(o[1], o[2]);
        area = -area;
    }
    for (int e = 0; e < 3; ++e) {
        const int i = o[e], j = o[(e + 1) % 3], k = o[(e + 2) % 3];
        const double dx = x[j] - x[i], dy = y[j] - y[i];
        const double f = dx * (py - y[i]) - dy * (px - x[i]);
        const bool top_left = dy < 0 || (dy == 0 && dx > 0);
        if (f < 0 || (f == 0 && !top_left))
            return false;
        weights[k] = f / area;  // the edge opposite corner k
    }
    return true;
}

struct RefTexture {
    PixelLayout layout = PixelLayout::Rgb565;
    int width = 0, height = 0;
    std::vector<std::uint16_t> texels;
    bool keyed = false;
    std::uint16_t key = 0;
    std::uint16_t at(long u, long v) const
    {
        const long w = width, h = height;
        return texels[((v % h + h) % h) * w + (u % w + w) % w];
    }
    RasterTexture raster() const { return {texels.data(), width, height, width, layout, keyed, key}; }
};

// Draws one triangle the plain way.
inline void reference_triangle(Frame& f, const RenderStates& st, const RefTexture* tex, const TLVertex* v, const PixelRect& clip)
{
    for (int y = clip.top; y < clip.bottom; ++y)
        for (int x = clip.left; x < clip.right; ++x) {
            double w[3];
            if (!covers(v, x, y, w))
                continue;
            const auto lerp = [&](auto get) { return w[0] * get(v[0]) + w[1] * get(v[1]) + w[2] * get(v[2]); };
            const std::size_t at = std::size_t(y) * f.width + x;
            unsigned z16 = 0;
            if (st.z_enable) {
                const double z = std::clamp(lerp([](const TLVertex& p) { return double(std::clamp(p.sz, 0.0f, 1.0f)); }), 0.0, 1.0);
                z16 = unsigned(z * 65535 + 0.5);
                const unsigned old = f.depth[at];
                bool pass = true;
                switch (st.z_func) {
                case CompareFunc::Never: pass = false; break;
                case CompareFunc::Less: pass = z16 < old; break;
                case CompareFunc::Equal: pass = z16 == old; break;
                case CompareFunc::LessEqual: pass = z16 <= old; break;
                case CompareFunc::Greater: pass = z16 > old; break;
                case CompareFunc::NotEqual: pass = z16 != old; break;
                case CompareFunc::GreaterEqual: pass = z16 >= old; break;
                case CompareFunc::Always: pass = true; break;
                }
                if (!pass)
                    continue;
            }
            const TLVertex& first = v[0];
            const auto chan = [&](auto get) { return st.gouraud ? lerp(get) : get(first); };
            Colour c{chan([](const TLVertex& p) { return from_argb(p.colour).r; }),
                     chan([](const TLVertex& p) { return from_argb(p.colour).g; }),
                     chan([](const TLVertex& p) { return from_argb(p.colour).b; }),
                     chan([](const TLVertex& p) { return from_argb(p.colour).a; })};
            if (tex) {
                const double q = lerp([](const TLVertex& p) { return double(p.rhw); });
                const double u = lerp([](const TLVertex& p) { return double(p.tu) * p.rhw; }) / q * tex->width;
                const double vv = lerp([](const TLVertex& p) { return double(p.tv) * p.rhw; }) / q * tex->height;
                const std::uint16_t nearest = tex->at(long(std::floor(u)), long(std::floor(vv)));
                const bool keying = st.colour_key && tex->keyed;
                if (keying && nearest == tex->key)
                    continue;
                Colour t;
                if (st.filter == TextureFilter::Nearest) {
                    t = texel_colour(tex->layout, nearest);
                } else {
                    const double fu = u - 0.5, fv = vv - 0.5;
                    const long iu = long(std::floor(fu)), iv = long(std::floor(fv));
                    const double tu = fu - iu, tv = fv - iv;
                    double sum = 0;
                    t = {0, 0, 0, 0};
                    for (int j = 0; j < 2; ++j)
                        for (int i = 0; i < 2; ++i) {
                            const std::uint16_t raw = tex->at(iu + i, iv + j);
                            if (keying && raw == tex->key)
                                continue;
                            const double wt = (i ? tu : 1 - tu) * (j ? tv : 1 - tv);
                            const Colour k = texel_colour(tex->layout, raw);
                            t.r += k.r * wt;
                            t.g += k.g * wt;
                            t.b += k.b * wt;
                            t.a += k.a * wt;
                            sum += wt;
                        }
                    t = {t.r / sum, t.g / sum, t.b / sum, t.a / sum};
                }
                const bool alpha = tex->layout == PixelLayout::Argb4444;
                switch (st.texture_blend) {
                case TextureBlend::Decal: c = t; break;
                case TextureBlend::Modulate:
                    c = {t.r * c.r / 255, t.g * c.g / 255, t.b * c.b / 255, alpha ? t.a : c.a};
                    break;
                case TextureBlend::ModulateAlpha:
                    c = {t.r * c.r / 255, t.g * c.g / 255, t.b * c.b / 255, t.a * c.a / 255};
                    break;
                }
            }
            if (st.specular) {
                c.r = std::min(255.0, c.r + chan([](const TLVertex& p) { return from_argb(p.specular).r; }));
                c.g = std::min(255.0, c.g + chan([](const TLVertex& p) { return from_argb(p.specular).g; }));
                c.b = std::min(255.0, c.b + chan([](const TLVertex& p) { return from_argb(p.specular).b; }));
            }
            if (st.fog) {
                const double k = lerp([](const TLVertex& p) { return from_argb(p.specular).a; }) / 255;
                const Colour fc = from_argb(st.fog_colour);
                c.r = c.r * k + fc.r * (1 - k);
                c.g = c.g * k + fc.g * (1 - k);
                c.b = c.b * k + fc.b * (1 - k);
            }
            if (st.stippled_alpha) {
                // The 4 x 4 ordered dither's rank: the bits of x ^ y and y
                // interleaved, in reverse order.
                const int d = (x ^ y) & 3, e = y & 3;
                const int rank = (d & 1) << 3 | (e & 1) << 2 | (d >> 1) << 1 | (e >> 1);
                if (!(std::clamp(c.a, 0.0, 255.0) > rank * 16 + 8))
                    continue;
            }
            if (st.alpha_blend) {
                const Colour d = texel_colour(PixelLayout::Rgb565, f.colour[at]);
                const double a = std::clamp(c.a, 0.0, 255.0) / 255;
                const auto factor = [&](BlendFactor b) {
                    switch (b) {
                    case BlendFactor::Zero: return 0.0;
                    case BlendFactor::One: return 1.0;
                    case BlendFactor::SourceAlpha: return a;
                    case BlendFactor::InverseSourceAlpha: return 1 - a;
                    }
                    return 1.0;
                };
                const double s = factor(st.source_blend), dd = factor(st.dest_blend);
                c = {c.r * s + d.r * dd, c.g * s + d.g * dd, c.b * s + d.b * dd, c.a};
            }
            f.colour[at] = to565(c.r, c.g, c.b);
            if (st.z_enable && st.z_write)
                f.depth[at] = static_cast<std::uint16_t>(z16);
        }
}

inline torvane_test::PngImage picture(const Frame& f)
{
    torvane_test::PngImage img;
    img.width = f.width;
    img.height = f.height;
    img.indexed = false;
    for (std::uint16_t p : f.colour) {
        const Colour c = texel_colour(PixelLayout::Rgb565, p);
        img.pixels.push_back(static_cast<std::uint8_t>(c.r));
        img.pixels.push_back(static_cast<std::uint8_t>(c.g));
        img.pixels.push_back(static_cast<std::uint8_t>(c.b));
    }
    return img;
}

// Compares the reference with its golden file (TORVANE_UPDATE_GOLDEN=1
// writes the file from the reference instead).
inline void expect_golden(const std::string& dir, const std::string& name, const Frame& reference)
{
    const std::string path = dir + "/" + name + ".png";
    const torvane_test::PngImage image = picture(reference);
    const char* update = std::getenv("TORVANE_UPDATE_GOLDEN");
    std::string error;
    if (update && std::strcmp(update, "1") == 0) {
        ASSERT_TRUE(torvane_test::write_png(path, image, &error)) << path << ": " << error;
        return;
    }
    torvane_test::PngImage golden;
    ASSERT_TRUE(torvane_test::read_png(path, golden, &error)) << path << ": " << error;
    ASSERT_EQ(golden.width, image.width);
    ASSERT_EQ(golden.height, image.height);
    EXPECT_TRUE(golden.pixels == image.pixels) << name << ": the reference no longer makes its golden picture";
}

// The device may differ from the reference by one step of a 565 channel
// anywhere (float against double); textured scenes may differ by more at up
// to `outliers` pixels, where a texel boundary falls between the two
// computations of a coordinate.
inline void expect_close(const std::string& name, const Frame& device, const Frame& reference, int outliers)
{
    int bad = 0;
    std::string first;
    for (std::size_t i = 0; i < device.colour.size(); ++i) {
        const int a = device.colour[i], b = reference.colour[i];
        const bool close = std::abs((a >> 11) - (b >> 11)) <= 1 && std::abs(((a >> 5) & 63) - ((b >> 5) & 63)) <= 1 &&
                           std::abs((a & 31) - (b & 31)) <= 1;
        if (!close && bad++ == 0)
            first = "(" + std::to_string(i % device.width) + ", " + std::to_string(i / device.width) + ")";
    }
    EXPECT_LE(bad, outliers) << name << ": first difference at " << first;
}

} // namespace device3d_reference
