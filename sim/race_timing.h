#pragma once

#include <cstdint>

#include "sim/race_context.h"

class Bike;

// Helpers of the bikes' race timing (sim/bike_progress.cpp,
// sim/race_timing.cpp) and the values they share with the race.

// Race camera modes the timing switches to.
inline constexpr int kCameraTelevision = 4; // trackside television view
inline constexpr int kCameraStored = 8;     // stored only: the camera keeps still

// Overlay messages raised at the finish.
inline constexpr std::uint32_t kHudFinishedInPits = 32;
inline constexpr std::uint32_t kHudFinishTelevision = 128;
inline constexpr std::uint32_t kHudWinner = 512;
inline constexpr std::uint32_t kHudFinishBanner = 16384;

// Skill factor of the estimated lap times, by skill level 0..3.
inline constexpr float kSkillFactor[4] = {1.10f, 1.06f, 1.03f, 1.00f};

// When the circuit has no pit lane, a finished bike (or a computer rider at
// the end of its practice run) stays on the circuit and parks this far past
// the line.
inline constexpr float kParkPastLine = 100.0f;

// The bike the camera follows, or null.
Bike* ViewedBike();
bool IsViewedBike(const Bike& bike);

// Index of the leader of the race's standing order, or -1 without one.
int LeaderIndex(const RaceContext& race);

// `laps` moved by `delta`, held within the signed byte the count is kept in.
std::int8_t AddLaps(std::int8_t laps, int delta);

// Seconds since the session began (the input's race clock; 0 without an
// input manager).
float SessionClock();

// True when the race has a pit lane to drive into.
bool RaceHasPitLane();
