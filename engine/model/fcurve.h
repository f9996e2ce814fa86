#pragma once

#include <cstdint>

#include "engine/base/pool_new.h"

// Function curves: a time maps to one float through a list of keys in
// ascending time, joined by step, linear or cubic Bezier segments, and
// extended before the first and after the last key by one of three
// extrapolation modes.
//
// Owner state: 2 (after construction) means the curve owns its keys and its
// destructor deletes them; a curve of a freshly loaded animation carries 1
// until its library takes it back (set_state(2)) and destroys it.

enum fcurve_extrapolation : std::uint32_t {
    fcurve_extrap_constant = 0,
    fcurve_extrap_linear = 1,
    fcurve_extrap_cycle = 2,
};

enum fcurve_interpolation : std::uint32_t {
    fcurve_interp_constant = 0,
    fcurve_interp_linear = 1,
    fcurve_interp_cubic = 2,   // any value other than 0 and 1 is cubic
};

struct fcurve_key : pool_record<fcurve_key, pool_fcurve_key> {
    float time = 0.0f;
    float value = 0.0f;
    float out_slope = 0.0f;   // leaving the key towards the next one
    float in_slope = 0.0f;    // arriving from the previous one
    fcurve_key* prev = nullptr;
    fcurve_key* next = nullptr;
    std::uint32_t owner_state = 2;

    fcurve_key() { ++live; }
    fcurve_key(float t, float v, float out, float in) : time(t), value(v), out_slope(out), in_slope(in) { ++live; }
    ~fcurve_key() { --live; }
    fcurve_key(const fcurve_key&) = delete;
    fcurve_key& operator=(const fcurve_key&) = delete;

    void set_state(std::uint32_t state) { owner_state = state; }

    static inline int live = 0;
};

class fcurve : public pool_record<fcurve, pool_fcurve> {
public:
    // The most keys a curve holds (its count is 16 bits).
    static constexpr std::uint32_t max_keys = 65535;

    fcurve() { ++live; }
    ~fcurve();
    fcurve(const fcurve&) = delete;
    fcurve& operator=(const fcurve&) = delete;

    // Every key and the curve take the state.
    void set_state(std::uint32_t state);
    // Copies the curve's words (keys shared, not duplicated).
    void copy(const fcurve& other);

    // The value at time t. A curve without keys gives 0. An extrapolation
    // mode other than 0, 1 and 2 is fatal ("fcurve::calc").
    float calc(float t) const;

    // Writes time t, the value and both slopes of the curve at t into `key`
    // (which need not belong to the curve).
    void eval_key(fcurve_key* key, float t);

    // Stores t in the key and links it in: between the keys around t when t
    // lies strictly inside the curve, as the only key of an empty curve,
    // after the last key when t >= 0, else before the first. False (nothing
    // linked) when the curve already holds max_keys keys.
    bool insert_key(fcurve_key* key, float t);
    // eval_key, then insert_key.
    bool add_key_at(fcurve_key* key, float t);

    // The range of values the curve takes (cubic segments included); 0 for a
    // curve without keys (min and max untouched), else 1.
    int value_range(float* min, float* max) const;
    // Maps the value range linearly onto [new_min, new_max] (slopes scaled
    // alike). A curve whose values are all equal takes new_min everywhere.
    void remap_values(float new_min, float new_max);
    // Multiplies every value and slope by target / max; nothing when the
    // maximum is 0.
    void scale_values(float target);

    std::uint32_t name_hash = 0;
    std::uint32_t param_id = 0;
    fcurve_key* first = nullptr;
    fcurve_key* last = nullptr;
    std::uint16_t key_count = 0;
    std::uint32_t pre_mode = fcurve_extrap_linear;
    std::uint32_t post_mode = fcurve_extrap_linear;
    std::uint32_t interp = fcurve_interp_cubic;
    std::uint32_t owner_state = 2;

    static inline int live = 0;

private:
    float segment_value(const fcurve_key* a, const fcurve_key* b, float t) const;
    void segment_key(const fcurve_key* a, const fcurve_key* b, float t, fcurve_key* key) const;
    // t shifted by whole curve lengths into [first time, last time).
    float cycle_time(float t) const;
    // The key that ends the segment holding t (first key with time > t), or
    // the last key.
    const fcurve_key* segment_end(float t) const;
};

// Reports an extrapolation mode the curve code does not know and ends the
// program (exit status 1).
[[noreturn]] void fcurve_mode_error(const char* caption);
