#pragma once

#include <cstdint>

#include "engine/base/name_hash.h"
#include "engine/base/pool_new.h"
#include "engine/base/vec4.h"

// Path splines: points in space joined by cubic Bezier segments (P0 = A's
// position, P1 = A's out-handle, P2 = B's in-handle, P3 = B's position),
// measured by arc length so that an object can be placed at a distance
// along the path.

struct path_point : pool_record<path_point, pool_path_point> {
    std::uint32_t flags = 1;
    vec4 in_handle{};
    vec4 position{};
    vec4 out_handle{};
    float cumulative = 0.0f;       // arc length from the first point
    float segment_length = 0.0f;   // of the segment that starts here
    float correction = 0.0f;       // six-chord table total minus segment_length
    path_point* prev = nullptr;
    path_point* next = nullptr;
    std::uint32_t owner_state = 2;
    std::uint32_t reserved = 0;

    path_point() { ++live; }
    ~path_point() { --live; }
    path_point(const path_point&) = delete;
    path_point& operator=(const path_point&) = delete;

    void set_state(std::uint32_t state) { owner_state = state; }
    // The geometry and lengths of another point (links and state kept).
    void copy(const path_point& other);

    static inline int live = 0;
};

// Rebuild flags of insert_point and append_points.
inline constexpr std::uint32_t spline_rebuild_around = 0x10;
inline constexpr std::uint32_t spline_auto_handles = 0x20;
// Spline flags.
inline constexpr std::uint32_t spline_closed = 0x8;
inline constexpr std::uint32_t spline_from_transition = 0x20;

class path_spline : public pool_record<path_spline, pool_path_spline> {
public:
    path_spline() = default;
    // In owner state 2, deletes every point.
    ~path_spline();
    path_spline(const path_spline&) = delete;
    path_spline& operator=(const path_spline&) = delete;

    void set_state(std::uint32_t state);

    // Links the point in (see spline_points::link_point), then runs
    // rebuild_around for flag 0x10 or auto_handles for flag 0x20. False
    // (nothing linked) when the spline already holds 1100 points.
    bool insert_point(path_point* point, std::int32_t index, std::uint32_t rebuild_flags);
    // Appends `count` points in order (index 1100); a closed spline is
    // treated as open until its last point is appended. False when the
    // spline would exceed 1100 points (nothing appended then).
    bool append_points(path_point* const* points, std::uint32_t count, std::uint32_t rebuild_flags);

    // Length of the segment starting at the point: six guarded chords when
    // the tolerance is <= 0, else the adaptive measure. A point without a
    // successor gets segment length, correction and cumulative length 0.
    void measure_segment(path_point* point) const;
    // Cumulative lengths from the point on.
    void accumulate(path_point* point) const;

    // Position at arc length s (clamped to the spline). No point: the
    // origin; one point: its position.
    vec4 point_at(float s) const;
    // Position and tangent at arc length s (tangent 0 without a segment).
    void point_and_tangent_at(float s, vec4* position, vec4* tangent) const;
    vec4 point_at_b(float s) const { return point_at(s); }
    vec4 point_at_c(float s) const { return point_at(s); }

    void auto_handles(path_point* point) const;
    void rebuild_around(path_point* point);

    // Total arc length (the last point's cumulative length; 0 when empty).
    float total_length() const { return last ? last->cumulative : 0.0f; }

    named_record name{};
    named_record second_name{};
    std::uint32_t reserved0 = 0;
    void* placement = nullptr;     // not used: an instance finds the node it follows by the path's name
    float tolerance = -16.0f;      // <= 0: fixed six-step measure
    std::uint32_t flags = 0;       // spline_closed
    path_point* first = nullptr;
    path_point* last = nullptr;
    std::uint32_t count = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
    std::uint32_t owner_state = 2;

private:
    bool wraps() const { return (flags & spline_closed) && count >= 3; }
};

// The guarded distance between two points: sqrt(dx^2 + dy^2 + dz^2 + 0.001).
float path_distance(const vec4& a, const vec4& b);

// The point of the segment starting at `a` at parameter u (a must have a
// successor), and its derivative.
vec4 path_segment_point(const path_point* a, float u);
vec4 path_segment_tangent(const path_point* a, float u);
