#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/mat4.h"
#include "engine/base/node_binding.h"
#include "engine/base/vec4.h"

// The light record of the 3D world (`scn_light`): a point light with a
// range, a spot light with a range and a cone, or a directional light.
// Animation libraries fill lights from their files; the scene carries them
// into camera space each frame and lights vertices with them.
//
// Stored record, 268 bytes, little-endian (the layout of animation files):
//   0   i32  type (1 point, 2 spot, 3 directional)
//   4   u32  flags word, kept
//   8   4 f32 world position
//   24  4 f32 position
//   40  3 f32 colour r, g, b
//   52  f32  squared range, 56 f32 1 / squared range, 60 f32 falloff
//   64  4 f32 target
//   80  f32  cone half-angle (radians), 84 f32 softness
//   88  f32  tan(cone), 92 f32 its square
//   96  char[32] light name, 128 u32 its hash, 132 u32 kept
//   136 f32  range (the loader applies set_range with it)
//   140 8 x u32 words kept as they are
//   172 u32  channel-link count R (R node binding records follow the light)
//   176 u32  pointer slot: the links (written 0, never read)
//   180 16 f32 spot matrix
//   244 u32  pointer slots: previous, 248 next (written 0, never read)
//   252 u32  owner state slot (written 0, never read)
//   256 u32  link word, 260 and 264 u32 kept
struct scn_light {
    static constexpr std::size_t file_bytes = 268;
    static constexpr std::size_t range_offset = 136;
    static constexpr std::size_t link_count_offset = 172;
    static constexpr std::size_t links_slot_offset = 176;

    std::int32_t type = 1;
    std::uint32_t flags = 0;
    vec4 world_position{};
    vec4 position{};
    float r = 0.0f, g = 0.0f, b = 0.0f;
    float range_sq = 300.0f;
    float inv_range_sq = 0.0f;
    float falloff = 0.0f;
    vec4 target{};
    float cone = 0.2617994f;
    float softness = 0.5f;
    float cone_tan = 0.0f;
    float cone_tan_sq = 0.0f;
    char name[32] = {};
    std::uint32_t name_hash = 0;
    std::uint32_t kept0 = 0;
    float range = 0.0f;
    std::uint32_t kept[8] = {};
    std::int32_t link_count = 0;
    node_binding* links = nullptr;   // channel links, chained through next
    mat4 spot_matrix{};
    scn_light* prev = nullptr;
    scn_light* next = nullptr;
    std::uint32_t owner_state = 2;
    std::uint32_t link_word = 0;
    std::uint32_t kept1[2] = {};

    // Kept by the scene view, not stored: set once the light has been
    // carried into camera space, when position and target hold camera-space
    // values and world_target the target before that transform.
    bool in_camera_space = false;
    vec4 world_target{};

    scn_light() = default;
    // Deletes the channel links.
    ~scn_light()
    {
        node_binding* link = links;
        while (link) {
            node_binding* after = link->next;
            delete link;
            link = after;
        }
    }
    scn_light(const scn_light&) = delete;
    scn_light& operator=(const scn_light&) = delete;

    // Squared range, its reciprocal and the falloff from the range; the
    // colour is doubled (again on every call). A range of 0 leaves the
    // reciprocal and the falloff 0, so the light reaches nothing.
    void set_range(float new_range)
    {
        range_sq = new_range * new_range;
        inv_range_sq = range_sq != 0.0f ? 1.0f / range_sq : 0.0f;
        falloff = range_sq != 0.0f ? -2.0f / (range_sq * range_sq) : 0.0f;
        r *= 2.0f;
        g *= 2.0f;
        b *= 2.0f;
    }
    void set_color(float red, float green, float blue)
    {
        r = red;
        g = green;
        b = blue;
    }
    void set_link(std::uint32_t word) { link_word = word; }
    void set_state(std::uint32_t state)
    {
        for (node_binding* link = links; link; link = link->next)
            link->set_state(state);
        owner_state = state;
    }
};

// Chains n consecutive lights (first prev null, last next null).
inline void link_light_array(scn_light* lights, int n)
{
    for (int i = 0; i < n; ++i) {
        lights[i].prev = i > 0 ? &lights[i - 1] : nullptr;
        lights[i].next = i + 1 < n ? &lights[i + 1] : nullptr;
    }
}
