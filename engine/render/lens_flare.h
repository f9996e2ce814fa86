#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The lens flare drawn over the race view when the sun is in front of the
// camera: six textured squares strung along the line from the sun through
// the screen's centre, and a full-screen glare: the element table, the
// flare's pictures as 4-4-4-4 texels, the screen squares of a frame, and
// the texture set that keeps the pictures in the renderer's texture cache
// and draws the squares on the 3D device.

struct flare_element {
    float depth_factor;
    float size;           // radius factor
    std::uint32_t colour; // 0xRRGGBB
    std::int32_t texture; // index into the series
};

inline constexpr flare_element kFlareElements[6] = {
    {300.0f, 50.0f, 0xFFFFFF, 1}, {200.0f, 20.0f, 0x00AAAA, 3}, {100.0f, 50.0f, 0xFFFFFF, 3},
    {-100.0f, 60.0f, 0xAAAA00, 3}, {-200.0f, 50.0f, 0xFFFFFF, 2}, {-500.0f, 25.0f, 0xFFFFFF, 0},
};
inline constexpr std::int32_t kFlareGlareTexture = 4;
// Textures 0 to 4 are drawn: a shorter series draws nothing.
inline constexpr std::int32_t kFlareTexturesNeeded = 5;

// A transformed, lit vertex of a flare square.
struct flare_vertex {
    float x = 0, y = 0, z = 0, rhw = 0;
    std::uint32_t colour = 0, specular = 0;
    float u = 0, v = 0;
};

// A square: top-left, bottom-left, bottom-right, top-right, drawn as the
// triangles of kFlareQuadIndices.
struct flare_quad {
    flare_vertex corner[4];
    std::int32_t texture = 0;
    bool depth_test = false; // the sun disc is hidden by nearer scenery
};
inline constexpr std::uint16_t kFlareQuadIndices[6] = {2, 1, 0, 3, 2, 0};

// What a frame's flare depends on.
struct flare_view {
    float sun_x = 0, sun_y = 0, sun_z = 0; // the sun's direction in view space
    float scale = 0;                       // projection scale x zoom
    float centre_x = 0, centre_y = 0;
    std::int32_t width = 0, height = 0;    // the screen
    std::int32_t texture_count = 0;        // pictures of the series loaded
    bool modulate_alpha = false;           // the device blends textures by alpha
};

// The squares to draw, in order (elements 0 to 5, then the glare). Empty
// when the sun is behind or beside the viewer (-z below 0.02) or the series
// has fewer than five textures. An element behind the camera, of no size or
// off the screen is left out; one crossing an edge is cut there with its
// texture coordinates cut in proportion.
std::vector<flare_quad> lens_flare_quads(const flare_view& view);

// A flare picture's index as a 4-4-4-4 texel: white, with the alpha of the
// index's low four bits.
inline std::uint16_t flare_texel(std::uint8_t index)
{
    return static_cast<std::uint16_t>((index & 0x0F) << 12 | 0x0FFF);
}

struct flare_picture {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint16_t> texels; // width x height
};

// Loads "<base>00.pcx", "<base>01.pcx", ... until one is missing, each as
// texels. The pictures loaded (the series' end is no error).
std::vector<flare_picture> load_flare_pictures(const std::string& base);

struct cache_texture;

// The lens flare of the race view: the series' pictures as textures of the
// renderer's texture cache, the element table, and the blend words the
// device's capabilities allow.
class texture_set {
public:
    static constexpr int kMaxElements = 10;
    struct record {
        float depth_factor[kMaxElements] = {};
        float size[kMaxElements] = {};
        std::uint32_t colour[kMaxElements] = {};
        std::int32_t texture_index[kMaxElements] = {};
        std::int32_t texture_count = 0;
        std::vector<cache_texture*> textures;  // one per loaded picture
        std::int32_t source_blend = 0;         // 5 (source alpha) once loaded
        std::int32_t destination_blend = 0;    // 2 (one) or 6 (inverse source alpha)
        std::int32_t texture_blend = 0;        // 4 (modulate alpha) or 2 (modulate)
    };

    // Disabled (not 0): no record, and the set does nothing.
    explicit texture_set(int disabled);
    // Gives every texture back through the renderer's free_texture.
    ~texture_set();
    texture_set(const texture_set&) = delete;
    texture_set& operator=(const texture_set&) = delete;

    // Loads "<base>00.pcx", "<base>01.pcx", ... up to the first missing
    // picture, each as a texture (white, with the alpha of its index's low
    // four bits), and sets the element table. 0 when disabled, without a
    // 4-bit-alpha texture format or a blend the flare needs, or when a
    // texture cannot be made (after the renderer's error box: 39 no free
    // record, 43 no 4-4-4-4 format, 28 a surface, or a side that is not a
    // power of two, 21 a lock, 42 video memory); the textures made before
    // stay in the set.
    int load_pcx_series(const char* base);
    // Draws the flare of a frame over the back buffer, blended by the
    // textures' alpha: elements 0 to 4 over everything, the sun disc and
    // the glare depth-tested. The caller gives the frame's view (the sun's
    // view-space direction, projection scale and centre, the screen); the
    // set fills in its texture count and blend. Nothing when disabled, in
    // the software type, without a device, while paused, without 4-bit
    // alpha, or before a series was loaded. The race computes the view from
    // its scene view and the sun its engine context names, and does not
    // call this while the camera stands under something (grid_find_ground,
    // engine/scene/ground_under.h).
    void draw_screen_overlay(const flare_view& view);

    std::int32_t disabled = 0;
    std::unique_ptr<record> data;
};