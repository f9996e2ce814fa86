#pragma once

// The computer rider's geometry toolkit: turning circles through points,
// rays across the road meeting other riders' circles, and the few helpers
// around them. Bike::ComputerControl (sim/computer_control.cpp) is built on
// them; TurnRadius also serves the riding dynamics.
//
// Points and directions are (x, z) pairs; a heading h is the direction
// (sin h, cos h). A positive radius turns left (the centre lies on the left
// of the heading, the heading decreases along the circle), as on the track.

#include "sim/vec3.h"

class Track;

// The value that stands for "none" (no crossing).
inline constexpr float kAiNone = 3.4028235e38f;

// The point `distance` metres to the left of p across the heading (to the
// right for a negative distance): (p.x + d sin(h - pi/2), p.y, p.z + d cos(h - pi/2)).
// With a signed turn radius as the distance it is the turning circle's centre.
void OffsetPoint(const Vec3* p, float heading, float distance, Vec3* out);

// Distance along the unit ray p + t dir to the circle of `radius` round
// (centre.x, centre.z): of the two crossings, the one nearer the ray's start
// (t of smaller magnitude; the one behind on a tie). When the ray misses the
// circle: kAiNone for a positive radius, -kAiNone otherwise.
float RayCircleDistance(const float p[2], const float dir[2], const Vec3* centre, float radius);

// Both crossings of the ray with the circle: t1 = sqrt(D) - b, t2 = -b - sqrt(D).
// False, with nothing written, when the ray misses the circle.
bool RayCircleIntersect(const float p[2], const float dir[2], const Vec3* centre, float radius, float* t1,
                        float* t2);

// The signed radius of the circle that leaves p along `heading` and passes
// through q; 0 when q lies on the line of the heading (ahead or behind), when
// q is p, or when the circle would be too large for a float.
float TurnRadius(const float p[2], float heading, const float q[2]);

// Tightens a turning circle that leaves p along `heading` so that, over the
// next `arc` metres of it, it does not cross the road edges of the
// cross-sections from distance d0 on: each edge point on the wrong side
// pulls the circle through itself. Returns the radius (0 stays 0).
float ClampRadiusToEdges(const Track* track, const Vec3* p, float heading, float radius, float d0, float arc);

// p := p - q, then turned by -angle (into a frame at q whose heading is angle).
void ToLocalFrame(float p[2], const float q[2], float angle);
// The same with the frame's heading given as a direction (x, z).
void ToLocalFrameDir(float p[2], const float q[2], const float dir[2]);
