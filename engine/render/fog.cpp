#include "engine/render/fog.h"

#include <algorithm>
#include <cmath>

#include "engine/render/render_device.h"

std::uint32_t fog_table[kFogEntries] = {};
float fog_depth_scale = 0.0f;

void build_fog_table(float density, float start, float end)
{
    const float e = end - 200.0f;
    const float s = start - 200.0f;
    const float range = e - 120.0f;
    if (range == 0.0f || !std::isfinite(range) || !std::isfinite(s) || !std::isfinite(density)) {
        fog_depth_scale = 0.0f;
        std::fill(std::begin(fog_table), std::end(fog_table), 0xFF000000u);
        return;
    }
    fog_depth_scale = 1.0f / range;
    // The entries before the fog starts carry no fog.
    const double clear = std::fabs(double(s) * double(fog_depth_scale)) * 255.0;
    const int n = static_cast<int>(std::clamp(clear, 0.0, 256.0));
    for (int i = 0; i < n; ++i)
        fog_table[i] = 0xFF000000u;
    // An exponential fall toward the fog colour. A density so large that
    // the scale is not finite gives full fog after the first entry.
    const double scale = 255.0 / std::exp(-double(density));
    for (int i = 0; i < kFogEntries - n; ++i) {
        double value = scale * std::exp(-double(density) * i / 255.0) - scale;
        if (!std::isfinite(value))
            value = i == 0 ? 0.0 : -255.0;
        const int factor = std::clamp(static_cast<int>(std::clamp(std::trunc(value), -1e6, 1e6)) + 255, 0, 255);
        fog_table[n + i] = static_cast<std::uint32_t>(factor) << 24;
    }
}

void render_device::make_fog_table(float density, float start, float end)
{
    build_fog_table(density, start, end);
}

void render_device::set_fog(int mode, float r, float g, float b)
{
    fog_enabled = mode == 256 ? 1 : 0;
    fog_colour = fog_rgb(r, g, b);
    device_fog_state = 0;  // the next fogged texture turns the device's fog on again
}

void render_device::set_fog_color(int mode, float r, float g, float b)
{
    if (mode < 1 || device_fog_state == 1)
        return;
    fog_enabled = mode == 256 ? 1 : 0;
    fog_colour = fog_rgb(r, g, b);
}

std::uint32_t render_device::fog_rgb(float r, float g, float b)
{
    // Components outside 0..1 (or not numbers) are held to the range.
    const auto c = [](float v) {
        const float x = std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
        return static_cast<std::uint32_t>(x * 255.0f);
    };
    return c(r) << 16 | c(g) << 8 | c(b);
}
