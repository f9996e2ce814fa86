#pragma once

#include <cstdint>

#include "engine/base/mat4.h"
#include "engine/base/pool_new.h"
#include "engine/base/vec4.h"

class fcurve;
class path_spline;
class orient_spline;
class lattice_anim;
class shape_anim;
struct orient_key;

// The channels of an animated object: scaling, position (translation curves
// or a path), rotation (Euler curves or an orientation spline), and the
// node that bundles them with the object's lattice and shape animations.
//
// Destructors free what a channel owns only in owner state 2.

class anim_scaling {
public:
    anim_scaling() { ++live; }
    ~anim_scaling();
    anim_scaling(const anim_scaling&) = delete;
    anim_scaling& operator=(const anim_scaling&) = delete;

    void set_state(std::uint32_t state);
    // (x, y, z) of the three curves; a missing curve gives 1.
    vec4 eval(float t) const;

    fcurve* x = nullptr;
    fcurve* y = nullptr;
    fcurve* z = nullptr;
    std::uint32_t reserved[2] = {0, 0};
    std::uint32_t owner_state = 2;

    static inline int live = 0;
};

// Position flags.
inline constexpr std::uint32_t position_along_path = 0x2;
inline constexpr std::uint32_t position_by_curves = 0x4;
inline constexpr std::uint32_t position_blend_paths = 0x40;
inline constexpr std::uint32_t position_equal_paths = 0x80;

class anim_position : public pool_record<anim_position, pool_anim_position> {
public:
    anim_position() { ++live; }
    // In owner state 2 destroys the fraction and translation curves (the
    // path belongs to the node).
    ~anim_position();
    anim_position(const anim_position&) = delete;
    anim_position& operator=(const anim_position&) = delete;

    void set_state(std::uint32_t state);
    void copy(const anim_position& other);

    // Along the path (flag 2 with a fraction curve): the path point at
    // (total length - 0.001) x fraction, a fraction of exactly 0 taken as
    // 0.001; w is left as `out` held it. By curves (flag 4): x, y, z (a
    // missing curve gives 0). Otherwise (0, 0, 0).
    void eval(float t, vec4* out) const;
    // The path case with its tangent; false (nothing written) without a
    // path and fraction curve.
    bool eval_with_tangent(float t, vec4* position, vec4* tangent) const;
    vec4 eval_by_length_a(float t) const;
    vec4 eval_by_length_b(float t) const;
    // Rescale the fraction curve to lengths along the path.
    void fraction_to_length();
    void fraction_to_range();

    std::uint32_t flags = 1;
    path_spline* path = nullptr;
    fcurve* fraction = nullptr;
    fcurve* x = nullptr;
    fcurve* y = nullptr;
    fcurve* z = nullptr;
    anim_position* prev = nullptr;
    anim_position* next = nullptr;
    std::uint32_t owner_state = 2;

    static inline int live = 0;

private:
    float path_length_at(float t) const;
};

// Rotation flags.
inline constexpr std::uint32_t rotation_by_spline = 0x2;
inline constexpr std::uint32_t rotation_by_angles = 0x4;

inline constexpr float degrees_to_radians = 0.017453293f;

class anim_rotation : public pool_record<anim_rotation, pool_anim_rotation> {
public:
    anim_rotation() { ++live; }
    // In owner state 2 destroys the orientation spline (when the channel
    // owns it) and its four curves.
    ~anim_rotation();
    anim_rotation(const anim_rotation&) = delete;
    anim_rotation& operator=(const anim_rotation&) = delete;

    void set_state(std::uint32_t state);

    // The rotation matrix at t: by the orientation spline (flag 2 with a
    // parameter curve), else by Euler angles (flag 4): the angles start as
    // `defaults` (or 0 with first_only), x from its curve, then, without
    // first_only and with a y curve, y and then z from theirs (degrees).
    // Otherwise the identity.
    void eval(float t, int first_only, const vec4* defaults, mat4* out) const;
    // The orientation spline's key at the parameter curve's value.
    void key_at(float t, orient_key* out) const;
    void param_to_length();
    void param_to_range();

    std::uint32_t flags = 1;
    orient_spline* spline = nullptr;
    fcurve* param = nullptr;
    fcurve* x = nullptr;
    fcurve* y = nullptr;
    fcurve* z = nullptr;
    anim_rotation* prev = nullptr;
    anim_rotation* next = nullptr;
    std::uint32_t owner_state = 2;
    // True when the spline was built for this channel (a transition's);
    // a loaded spline belongs to no channel.
    bool owns_spline = false;

    static inline int live = 0;

private:
    float spline_length_at(float t) const;
};

// Node flags.
inline constexpr std::uint32_t node_lattice_a = 0x400;   // lattice from parameter 66
inline constexpr std::uint32_t node_lattice_b = 0x200;   // lattice from parameter 67
// The node's vertices are deformed by its parent's lattice (placed in the
// world), which the parent evaluates; the node never evaluates or owns it.
inline constexpr std::uint32_t node_lattice_follows_parent = 0x1000;

class anim_node : public pool_record<anim_node, pool_anim_node> {
public:
    anim_node() { ++live; }
    // Destroys the path spline, the channels, the lattice animation (with
    // flag 0x200 or 0x400) and the shape animations.
    ~anim_node();
    anim_node(const anim_node&) = delete;
    anim_node& operator=(const anim_node&) = delete;

    void set_state(std::uint32_t state);
    void copy(const anim_node& other);

    std::uint32_t flags = 1;
    std::uint32_t anim_hash = 0;
    std::uint32_t object_hash = 0;
    std::uint32_t reserved0 = 0;
    path_spline* path = nullptr;
    orient_spline* orient = nullptr;
    anim_position* position = nullptr;
    anim_rotation* rotation = nullptr;
    lattice_anim* lattice = nullptr;
    shape_anim* shapes = nullptr;
    anim_scaling* scaling = nullptr;
    anim_node* next = nullptr;
    anim_node* prev = nullptr;
    anim_node* prev_anim = nullptr;   // the same object in the previous animation
    anim_node* next_anim = nullptr;   // and in the next one
    std::uint32_t reserved1 = 0;

    static inline int live = 0;
};
