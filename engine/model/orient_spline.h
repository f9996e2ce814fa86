#pragma once

#include <cstdint>

#include "engine/base/name_hash.h"
#include "engine/base/pool_new.h"
#include "engine/base/quat.h"
#include "engine/model/path_spline.h"

// Orientation splines: unit quaternions joined by spherical Bezier segments
// (key, out-handle, next in-handle, next key, evaluated by quat_spline),
// measured by arc length over all four components like path splines.

struct orient_key : pool_record<orient_key, pool_orient_key> {
    std::uint32_t flags = 1;
    quat in_handle{0.0f, 0.0f, 0.0f, 1.0f};
    quat key{0.0f, 0.0f, 0.0f, 1.0f};
    quat out_handle{0.0f, 0.0f, 0.0f, 1.0f};
    float cumulative = 0.0f;
    float segment_length = 0.0f;
    float correction = 0.0f;
    orient_key* prev = nullptr;
    orient_key* next = nullptr;
    std::uint32_t owner_state = 2;
    std::uint32_t reserved = 0;

    orient_key() { ++live; }
    ~orient_key() { --live; }
    orient_key(const orient_key&) = delete;
    orient_key& operator=(const orient_key&) = delete;

    void set_state(std::uint32_t state) { owner_state = state; }
    void copy(const orient_key& other);

    static inline int live = 0;
};

class orient_spline : public pool_record<orient_spline, pool_orient_spline> {
public:
    orient_spline() = default;
    ~orient_spline();
    orient_spline(const orient_spline&) = delete;
    orient_spline& operator=(const orient_spline&) = delete;

    void set_state(std::uint32_t state);

    // As path_spline: false (nothing linked) beyond 1100 keys.
    bool insert_key(orient_key* key, std::int32_t index, std::uint32_t rebuild_flags);
    bool append_keys(orient_key* const* keys, std::uint32_t count, std::uint32_t rebuild_flags);
    // Six guarded chords over the four components.
    void measure_segment(orient_key* key) const;
    void accumulate(orient_key* key) const;
    // The quaternion at arc length s (clamped). No key: the identity.
    quat key_at(float s) const;
    // The segment's keys interpolated at arc length s: the quaternion, and
    // handles taken from the segment's ends (used to start a transition).
    void key_record_at(float s, orient_key* out) const;
    void auto_handles(orient_key* key) const;
    void rebuild_around(orient_key* key);

    float total_length() const { return last ? last->cumulative : 0.0f; }

    named_record name{};
    const orient_spline* source = nullptr;   // the spline a transition started from
    std::uint32_t reserved0 = 0;
    std::uint32_t flags = 0;                  // spline_closed, spline_from_transition
    orient_key* first = nullptr;
    orient_key* last = nullptr;
    std::uint32_t count = 0;
    std::uint32_t interpolation = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
    std::uint32_t owner_state = 2;

private:
    bool wraps() const { return (flags & spline_closed) && count >= 3; }
};

// sqrt of the squared difference over x, y, z, w, plus 0.001.
float orient_distance(const quat& a, const quat& b);
quat orient_segment_point(const orient_key* a, float u);
