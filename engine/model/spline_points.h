#pragma once

#include <cstdint>

#include "engine/model/path_spline.h" // the spline and rebuild flags

// The list and arc-length logic that path splines and orientation splines
// share. A spline is a chain of points (path points or orientation keys),
// each holding its cumulative arc length, the length of the segment that
// starts at it and that segment's correction (the difference between the
// six-chord sum of the lookup table and the measured length). Segments are
// evaluated by the spline's own functions.
namespace spline_points {

// The most points a spline holds; an insertion index at or beyond it means
// "append" to the file loader.
inline constexpr std::uint32_t max_points = 1100;
inline constexpr std::int32_t append_index = 1100;

// Samples of the six-chord lookup table.
inline constexpr int table_steps = 6;

// Links `point` into the list of `spline` (first, last, count) by the
// insertion rule of both splines: an index 1..count-1 goes before the point
// at that index; an empty spline takes it as its only point (links,
// lengths cleared); a negative index prepends; any other index appends.
template <class Spline, class Point>
void link_point(Spline& spline, Point* point, std::int32_t index)
{
    if (index >= 1 && static_cast<std::uint32_t>(index) < spline.count) {
        Point* at = spline.first;
        for (std::int32_t i = 0; i < index; ++i)
            at = at->next;
        point->next = at;
        point->prev = at->prev;
        at->prev->next = point;
        at->prev = point;
    } else if (!spline.first) {
        point->prev = point->next = nullptr;
        point->segment_length = 0.0f;
        point->correction = 0.0f;
        point->cumulative = 0.0f;
        spline.first = spline.last = point;
    } else if (index < 0) {
        point->prev = nullptr;
        point->next = spline.first;
        spline.first->prev = point;
        spline.first = point;
    } else {
        point->prev = spline.last;
        point->next = nullptr;
        spline.last->next = point;
        spline.last = point;
    }
    ++spline.count;
}

// Deletes every point of a spline that owns them (owner state 2) and
// empties it; a spline that does not own its points leaves them alone.
template <class Spline>
void delete_points(Spline& spline)
{
    if (spline.owner_state != 2)
        return;
    for (auto* p = spline.first; p;) {
        auto* next = p->next;
        delete p;
        p = next;
    }
    spline.first = spline.last = nullptr;
    spline.count = 0;
}

// Gives every point and the spline the owner state.
template <class Spline>
void set_state(Spline& spline, std::uint32_t state)
{
    for (auto* p = spline.first; p; p = p->next)
        p->set_state(state);
    spline.owner_state = state;
}

// Links `point` by link_point's rule, then rebuilds the handles around it
// (spline_rebuild_around) or makes its own (spline_auto_handles). False
// when the spline is full.
template <class Spline, class Point>
bool insert(Spline& spline, Point* point, std::int32_t index, std::uint32_t rebuild_flags)
{
    if (spline.count >= max_points)
        return false;
    link_point(spline, point, index);
    if (rebuild_flags & spline_rebuild_around)
        spline.rebuild_around(point);
    else if (rebuild_flags & spline_auto_handles)
        spline.auto_handles(point);
    return true;
}

// Appends `n` points; a closed spline counts as closed only for the last
// one, so that only its handles wrap round. False, appending nothing, when
// they do not all fit.
template <class Spline, class Point>
bool append(Spline& spline, Point* const* points, std::uint32_t n, std::uint32_t rebuild_flags)
{
    if (n > max_points - spline.count)
        return false;
    const bool closed = spline.flags & spline_closed;
    spline.flags &= ~spline_closed;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (closed && i + 1 == n)
            spline.flags |= spline_closed;
        insert(spline, points[i], append_index, rebuild_flags);
    }
    return true;
}

// From `point` on, each cumulative length = the previous point's cumulative
// length + its segment length; a point without a predecessor starts at 0.
template <class Point>
void accumulate(Point* point)
{
    for (; point; point = point->next)
        point->cumulative = point->prev ? point->prev->cumulative + point->prev->segment_length : 0.0f;
}

// The segment A -> A.next holding arc length s (clamped to the spline), and
// the parameter u of s within it. `chord(a, u0, u1)` is the guarded chord
// distance between the segment's points at u0 and u1. Returns A, or null
// when the spline has fewer than two points.
template <class Spline, class Point, class Chord>
Point* locate(const Spline& spline, float s, float& u, Chord chord)
{
    if (!spline.first || !spline.first->next)
        return nullptr;
    if (s < spline.first->cumulative)
        s = spline.first->cumulative;
    if (s > spline.last->cumulative)
        s = spline.last->cumulative;
    Point* end = spline.first;
    while (end->next && !(end->cumulative > s))
        end = end->next;
    Point* a = end->prev ? end->prev : end;
    if (!a->next)
        a = a->prev;

    // Table of (u, length): six chords, each inner sample lowered by a fifth
    // of the correction per step, so that the table ends at the segment's
    // measured length.
    float lengths[table_steps + 1];
    lengths[0] = 0.0f;
    float sum = 0.0f;
    for (int i = 1; i < table_steps; ++i) {
        sum += chord(a, static_cast<float>(i - 1) / table_steps, static_cast<float>(i) / table_steps) -
               0.2f * a->correction;
        lengths[i] = sum;
    }
    lengths[table_steps] = sum + chord(a, static_cast<float>(table_steps - 1) / table_steps, 1.0f);

    const float d = s - a->cumulative;
    int i = 0;
    while (i < table_steps - 1 && !(d < lengths[i + 1]))
        ++i;
    const float step = 1.0f / table_steps;
    const float span = lengths[i + 1] - lengths[i];
    float v = static_cast<float>(i) * step;
    // Equal lengths (a degenerate step) take the step's start.
    if (span > 0.0f)
        v += (d - lengths[i]) / span * step;
    u = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return a;
}

} // namespace spline_points
