#pragma once

#include <cstdint>

#include "engine/base/mat4.h"
#include "engine/base/name_hash.h"
#include "engine/base/pool_new.h"
#include "engine/base/vec4.h"

class fcurve;

// Lattice animation: a sequence of lattice shapes (boxes of u x v x w
// control points); a curve picks a fractional shape index, the shapes
// around it are blended (Catmull-Rom) into a working lattice with a border
// layer, and vertices are deformed through that lattice cell by cell.

// Point counts per axis of a lattice shape. With the border layer the
// working lattice has at most 7 points per axis.
inline constexpr std::uint32_t lattice_min_points = 2;
inline constexpr std::uint32_t lattice_max_points = 5;

// Blends four key values with fraction f (Catmull-Rom, tension 0.5).
float anim_key_blend(float p0, float p1, float p2, float p3, float f);
vec4 anim_key_blend(const vec4& p0, const vec4& p1, const vec4& p2, const vec4& p3, float f);

// The key sampler of transitions: the blended value of the four keys and its
// companion value. The outer keys of a transition are formed as
// K1 + K2 - companion; the companion is the blended value itself, so the
// outer keys mirror the inner ones and a transition leaves A and reaches B
// with zero speed.
void anim_key_sample(const vec4& prev, const vec4& cur, const vec4& next, const vec4& next2, float f,
                     float weight, vec4* value, vec4* companion);

// The fields of a lattice shape's 144-byte file header.
struct lattice_header {
    char name[32] = {};
    char second_name[32] = {};
    std::uint32_t kept_word = 0;
    std::uint32_t counts[3] = {0, 0, 0};
    std::uint32_t kept[3] = {1, 1, 1};
    vec4 box_min{};
    vec4 box_max{};
};

struct lattice_shape : pool_record<lattice_shape, pool_lattice_shape> {
    named_record name{};
    named_record second_name{};
    std::uint32_t kept_word = 0;
    std::uint32_t u = 0, v = 0, w = 0;
    std::uint32_t kept[3] = {1, 1, 1};
    vec4* points = nullptr;          // (i * v + j) * w + k
    vec4 box_min{};
    vec4 box_max{};
    float cell_scale[3] = {1.0f, 1.0f, 1.0f};
    std::uint32_t reserved0 = 0;
    lattice_shape* prev = nullptr;
    lattice_shape* next = nullptr;
    std::uint32_t owner_state = 2;   // 2: points from the heap; 3: from the lattice point pool
    // A program-wide serial number and a revision counted up whenever the
    // points change: the cell cache's key.
    std::uint32_t serial = 0;
    std::uint32_t revision = 0;

    lattice_shape();
    ~lattice_shape();
    lattice_shape(const lattice_shape&) = delete;
    lattice_shape& operator=(const lattice_shape&) = delete;

    void set_state(std::uint32_t state) { owner_state = state; }
    // Names, kept words, counts, box and cell scales from a file header.
    void apply_header(const lattice_header& header);
    // Header words (names, counts, kept words, box, cell scales) into another shape.
    void copy(lattice_shape* out) const;
    // Cell scales from the counts and the box: (n - 1) x 0.999 / extent per
    // axis; an axis of zero extent gets 0.
    void update_cell_scales();
    std::uint32_t point_count() const { return u * v * w; }
    vec4& at(std::uint32_t i, std::uint32_t j, std::uint32_t k) { return points[(i * v + j) * w + k]; }
    const vec4& at(std::uint32_t i, std::uint32_t j, std::uint32_t k) const { return points[(i * v + j) * w + k]; }

    // Allocates the point array for the counts: heap in state 2, the
    // engine's lattice point pool in state 3 (at most 343 points).
    void allocate_points();

    static inline int live = 0;
};

// Links n shapes in order (first prev null, last next null).
void lattice_link_shapes(lattice_shape* const* shapes, int n);

class lattice_anim : public pool_record<lattice_anim, pool_lattice_anim> {
public:
    lattice_anim() { ++live; }
    // In owner state 2 destroys its shapes, its working shape and its curve.
    ~lattice_anim();
    lattice_anim(const lattice_anim&) = delete;
    lattice_anim& operator=(const lattice_anim&) = delete;

    void set_state(std::uint32_t state);
    void copy(const lattice_anim& other);
    // Takes n shapes of equal counts as its list (linked in order) and makes
    // its working shape: the first shape's header with two more points per
    // axis, for the border layer, and points of its own.
    void take_shapes(lattice_shape* const* shapes, int n);

    // Fills the working shape for time t: the shapes around the curve's value
    // blended, placed by `matrix`, the box scaled by `scale`, and the border
    // layer extrapolated. Nothing without shapes, curve or working shape.
    void eval(const mat4* matrix, const vec4* scale, float t);
    // The shape index the curve gives at t (0 without a curve), clamped to
    // [0, shape count]; the shape k it falls in and the fraction.
    void locate(float t, lattice_shape** shape, float* f) const;
    // Blended points (u x v x w, untransformed) and their companions at t;
    // without a curve, those of the first shape.
    void sample(float t, vec4* values, vec4* companions) const;

    std::uint32_t kept_word = 0;
    fcurve* curve = nullptr;
    lattice_shape* first = nullptr;
    lattice_shape* last = nullptr;
    lattice_shape* working = nullptr;
    std::uint32_t count = 0;
    lattice_anim* prev = nullptr;
    lattice_anim* next = nullptr;
    std::uint32_t owner_state = 2;

    static inline int live = 0;

private:
    void neighbours(lattice_shape* k, lattice_shape* out[4]) const;
};

// The deformation cell cache: 7 x 7 x 7 cells of 4 x 4 x 4 working-lattice
// points, cell (i, j, k) at (i x 7 + j) x 7 + k holding the block whose first
// point is (i - 1, j - 1, k - 1). It remembers which shape and revision it
// holds, so it is refilled when the lattice changes and never mistakes a
// new shape at a reused address for the old one.
struct lattice_cell_cache {
    static constexpr int axis_cells = 7;
    static constexpr int cell_points = 64;
    vec4 cells[axis_cells * axis_cells * axis_cells][cell_points];
    std::uint32_t serial = 0;     // 0: nothing prepared
    std::uint32_t revision = 0;
    std::uint32_t fills = 0;      // how many times it was filled
};

// Fills the cache for the working shape unless it holds it already.
void lattice_cells_prepare(lattice_cell_cache* cache, const lattice_shape* shape);

// The uniform cubic B-spline tensor product of a 4 x 4 x 4 block (z fastest)
// at fractions (fx, fy, fz) in [0, 1).
vec4 ffd_lattice_eval(const vec4* block, float fx, float fy, float fz);

// Deforms point p through the prepared cache of the working shape. The cell
// is the lattice coordinate truncated toward zero, clamped to the prepared
// cells; a point beyond the lattice continues its edge cell for at most one
// cell's length and is held there further out. A working shape without
// prepared cells leaves the point as it is.
void lattice_deform_point(const lattice_cell_cache* cache, const lattice_shape* shape, vec4* out, const vec4* p);
