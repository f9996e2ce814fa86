#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/name_hash.h"
#include "engine/base/pool_new.h"
#include "engine/base/vec4.h"

class fcurve;

// Shape animation: K key positions of V vertices; a curve picks a fractional
// key index, and the blended positions (Catmull-Rom over the four keys
// around it) are written into the mesh's array of 48-byte vertex records.
class shape_anim : public pool_record<shape_anim, pool_shape_anim> {
public:
    shape_anim() { ++live; }
    // Destroys the curve (owner states 2 and 3) and frees the arrays: state
    // 2 from the heap, state 3 back to the engine's single-slot pools.
    ~shape_anim();
    shape_anim(const shape_anim&) = delete;
    shape_anim& operator=(const shape_anim&) = delete;

    void set_state(std::uint32_t state);

    // Name and hash, counts and arrays (taken over by the shape).
    void init_from_record(const char* shape_name, std::uint32_t vertices, std::uint32_t keys,
                          std::uint16_t* offsets, vec4* positions);

    // Allocates the arrays for V vertices and K keys: heap in state 2, the
    // engine's single-slot pools in state 3. False when state 3's pools
    // cannot hold them.
    bool allocate(std::uint32_t vertices, std::uint32_t keys, bool with_offsets);

    // Writes the positions at time t into `dest`, `dest_bytes` long: vertex i
    // at its offset (or at 48 x i without offsets); x, y and z are written,
    // the fourth word is left as it was, and a vertex that would not fit in
    // `dest` is skipped. Without a curve key 0 is written.
    void apply(void* dest, std::size_t dest_bytes, float t) const;
    // The key index the curve gives at t, clamped to [0, K - 1].
    float key_index(float t) const;
    // The blended position of vertex i at key index s.
    vec4 blend(std::uint32_t i, float s) const;
    const vec4& key_position(std::uint32_t key, std::uint32_t i) const { return positions[key * vertex_count + i]; }

    named_record name{};
    fcurve* curve = nullptr;
    std::uint32_t vertex_count = 0;
    std::uint32_t key_count = 0;
    std::uint16_t* offsets = nullptr;   // byte offsets of the destination vertices, or null
    vec4* positions = nullptr;          // key-major: all V vertices of key 0, then key 1, ...
    shape_anim* prev = nullptr;
    shape_anim* next = nullptr;
    std::uint32_t owner_state = 2;

    static inline int live = 0;

private:
    void free_arrays();
};

// Links n shapes in order.
void shape_link(shape_anim* const* shapes, int n);

// The weight of a corner from the angle between its two edges: e1 = c - a,
// e2 = a - b, each over (length + 0.001); acos(|e1 . e2|) x 2 / pi, in [0, 1].
float corner_angle_weight(const vec4& a, const vec4& b, const vec4& c);
