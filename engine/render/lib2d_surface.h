#pragma once

#include <cstdint>

struct cache_texture;

// A rectangle of one colour that the race overlay draws behind its gauges:
// an 8 x 8 texture of the renderer's texture cache drawn as a screen quad
// (with the colour's alpha when the device has 4-bit-alpha textures).
class lib2d_surface {
public:
    // Components 0..1. Not valid in the software render type, or when the
    // cache has no free record or a step fails (after the renderer's error
    // box).
    lib2d_surface(float r, float g, float b, float a);
    ~lib2d_surface() { release(); }
    lib2d_surface(const lib2d_surface&) = delete;
    lib2d_surface& operator=(const lib2d_surface&) = delete;

    // Draws the colour over (x, y)-(x + w, y + h) of the back buffer. 1 when
    // valid (and drawn, or nothing to draw on), else 0.
    int draw(float x, float y, float w, float h);
    // Gives the texture back to the cache (its surfaces, its entries in the
    // eviction ring and the pending-reload list) and forgets it. `valid` is
    // not changed; a released surface draws nothing.
    void release();

    std::int32_t valid = 0;
    cache_texture* texture = nullptr;
};
