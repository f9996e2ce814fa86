#pragma once

#include <cstdint>

#include "sim/vec3.h"

class Bike;
class Race;

// Contacts between bikes, once per simulation pass after the sub-steps of
// every bike (not in snapshot mode): riders whose outlines touch during the
// last sub-step rub along each other, bump nose to tail, or both fall.
// See docs/race.md, "Contacts between bikes".

// Every rider on the circuit (not in the pit lane, not parked) against the
// riders just ahead of it on the road, walking the ring of the standings'
// ahead links until they are further ahead than the two bikes' lengths.
// Pairs are taken in bike index order, so the pass is deterministic.
void ResolveBikeContacts(Race& race);

// One pair: sweeps both outlines (`height` metres up each bike's leaning
// axis, `margin` metres to either side of it) over the last sub-step and
// resolves the first contact found. True only when the contact threw both
// riders down (a hard touch); false without contact and after rubbing or a
// nose-to-tail bump.
bool BikeContact(Bike& a, Bike& b, float height, float margin);

// Whether a point of a moving segment passes over the origin during one
// step. The point at fraction x of the side moves linearly from p0 + x d0
// (start of the step) to p1 + x d1 (end); p0, p1 are the side's start
// point and d0, d1 its vector (end minus start). On a crossing: *time in
// [0, 1] over the step and *fraction = x; the earliest crossing when there
// are two.
bool SweptSegmentIntersect(const Vec2& p0, const Vec2& d0, const Vec2& p1, const Vec2& d1, double* time,
                           double* fraction);

// The outline of a bike in the ground plane for one pose: corners 0 and 1
// at the rear end (+side, -side), 2 and 3 at the front end (-side, +side);
// side i runs from corner i to corner (i + 1) mod 4.
struct BikeOutline {
    Vec2 Corner[4];
};

// The outline of a bike at a pose (position x, z; heading; lean), taken
// `height` metres up the leaning axis with a half-width of `margin`.
BikeOutline MakeBikeOutline(const Bike& bike, float x, float z, float heading, float lean, float height,
                            float margin);

// Length of a bike's outline: the wheelbase of its model plus both wheel
// radii, less 0.2 m.
float BikeOutlineLength(const Bike& bike);

// Pairs of riders tested by ResolveBikeContacts since the program started
// (shown by debug displays).
extern std::uint32_t g_uBikeContactPairs;
