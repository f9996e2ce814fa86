#include "engine/render/lens_flare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/render/loadpcx.h"

namespace {

constexpr float kRhw = 0.01f;
constexpr std::uint32_t kSpecular = 0xFF000000u;

flare_quad square(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1, float z,
                  std::uint32_t colour, std::int32_t texture)
{
    flare_quad q;
    const float xs[4] = {x0, x0, x1, x1}, ys[4] = {y0, y1, y1, y0};
    const float us[4] = {u0, u0, u1, u1}, vs[4] = {v0, v1, v1, v0};
    for (int i = 0; i < 4; ++i) {
        flare_vertex& v = q.corner[i];
        v.x = xs[i];
        v.y = ys[i];
        v.z = z;
        v.rhw = kRhw;
        v.colour = colour;
        v.specular = kSpecular;
        v.u = us[i];
        v.v = vs[i];
    }
    q.texture = texture;
    return q;
}

} // namespace

std::vector<flare_quad> lens_flare_quads(const flare_view& view)
{
    std::vector<flare_quad> quads;
    if (view.texture_count < kFlareTexturesNeeded || -view.sun_z < 0.02f)
        return quads;
    const float q = 1.0f / -view.sun_z;
    const float sx = view.sun_x * q, sy = view.sun_y * q, sz = view.sun_z * q;
    const int a = std::min(255, static_cast<int>(150.0f * q));
    const std::uint32_t element_alpha = static_cast<std::uint32_t>(255 - a);
    const float W = static_cast<float>(view.width), H = static_cast<float>(view.height);

    for (int i = 0; i < 6; ++i) {
        const flare_element& e = kFlareElements[i];
        const bool sun_disc = i == 5;
        const float z = sun_disc ? 0.7f : 0.00002f;
        const std::uint32_t alpha = sun_disc ? 255u : element_alpha;
        const float depth = sz * e.depth_factor - 1000.0f;
        if (!(depth < 0.0f))
            continue;
        const float k = view.scale / depth;
        const float x = view.centre_x + k * sx * e.depth_factor;
        const float y = view.centre_y - k * sy * e.depth_factor;
        const float r = std::fabs(e.size * k);
        // A square of no size has nothing to show, and its texture
        // coordinates would divide by its zero width.
        if (!(r > 0.0f))
            continue;
        float x0 = x - r, x1 = x + r, y0 = y - r, y1 = y + r;
        if (x1 < 0 || y1 < 0 || x0 >= W || y0 >= H)
            continue;
        // Cut at the edges; each coordinate from the square's own corners.
        const float span = x1 - x0, ox0 = x0, oy0 = y0, oy1 = y1;
        float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
        if (x0 < 0) {
            u0 = 1.0f - x1 / span;
            x0 = 0;
        }
        if (y0 < 0) {
            v0 = 1.0f - oy1 / (oy1 - oy0);
            y0 = 0;
        }
        if (x1 >= W) {
            u1 = (W - ox0) / span;
            x1 = W - 1;
        }
        if (y1 >= H) {
            v1 = (H - oy0) / (oy1 - oy0);
            y1 = H - 1;
        }
        flare_quad quad = square(x0, y0, x1, y1, u0, v0, u1, v1, z, alpha << 24 | e.colour, e.texture);
        quad.depth_test = sun_disc;
        quads.push_back(quad);
    }

    const int b = std::min(255, static_cast<int>(170.0f * q * q));
    if (b > 16 && view.modulate_alpha) {
        flare_quad glare = square(0, 0, W - 1, H - 1, 0, 0, 1, 1, 0.000001f,
                                  static_cast<std::uint32_t>(255 - b) << 24 | 0xFFFFFFu, kFlareGlareTexture);
        glare.depth_test = true;
        quads.push_back(glare);
    }
    return quads;
}

std::vector<flare_picture> load_flare_pictures(const std::string& base)
{
    std::vector<flare_picture> pictures;
    for (int n = 0; n < 100; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "%02d.pcx", n);
        std::vector<std::uint8_t> pixels;
        std::uint8_t header[kPcxHeaderBytes];
        std::uint8_t palette[kPcxPaletteBytes];
        if (!loadpcx(pixels, (base + name).c_str(), header, palette))
            break;
        const pcx_header_fields f = read_pcx_header(header);
        if (f.bytes_per_line <= 0 || f.rows <= 0)
            break; // no picture a texture can be made of: the series ends
        flare_picture p;
        p.width = f.bytes_per_line;
        p.height = f.rows;
        const std::size_t count = static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
        p.texels.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            p.texels[i] = flare_texel(i < pixels.size() ? pixels[i] : 0);
        pictures.push_back(std::move(p));
    }
    return pictures;
}
