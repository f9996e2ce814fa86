#pragma once

#include <cstdint>

// The rider states: everything the rider does besides riding normally. A
// state number is kept in Bike::RiderState; 0..70 index the race's rider
// animation table (one record per state, with its frame count, follow-up
// states and speed threshold), the negative states are the machine's own.
//
// The numbers, which states are special and which follow which are fixed
// here and in Bike::StateStep; the table supplies the looks and timings.
//
// Falls come in two mirrored families. Family A is the side of a fall with
// Roll <= 0 (falls 5 and 10, the bike lifted in 21 with the first bike
// animation, back on in 22, waiting in -4); family B the side with Roll > 0
// (6, 11, 25 with the second bike animation, 26, -3).
enum RiderStateId : std::int32_t {
    kRiderBesideBikeA = -4,       // standing beside the fallen bike, waiting for the remount decision
    kRiderBesideBikeB = -3,
    kRiderWaiting = -2,           // stopped, waiting for throttle
    kRiderRiding = -1,

    kRiderPullAway = 0,           // pulling away at a walking throttle; then riding, tucked
    kRiderStopping = 1,           // full brake to a stop; then waiting, upright
    kRiderRideAnimation = 2,      // the animation shown while riding (upright)
    kRiderLeanAnimation = 3,      // the riding animation at full lean
    kRiderLookBehind = 4,         // head-turn position in StatePhase

    // Off the bike: body angles settle, the heading follows the body's motion.
    kRiderLowSideA = 5,           // falls from a lean beyond 1.3 rad
    kRiderLowSideB = 6,
    kRiderOffBike7 = 7,
    kRiderOffBike8 = 8,
    kRiderOffBike9 = 9,
    kRiderThrownA = 10,           // falls from a violent lean rate, a nose-over or a barrier
    kRiderThrownB = 11,
    kRiderOffBike12 = 12,
    kRiderOffBike13 = 13,
    kRiderOffBike14 = 14,
    kRiderOffBike15 = 15,
    kRiderOffBike16 = 16,
    kRiderOffBike17 = 17,
    kRiderOffBike18 = 18,
    kRiderRunToBikeA = 19,        // dragged toward the bike at 6 m/s
    kRiderRunToBikeB = 20,

    kRiderLiftBikeA = 21,         // the bike is lifted (fall sound, first bike animation); then remount
    kRiderGetOnA = 22,            // getting back on: the bike is recovered onto the track
    kRiderRideOffA = 23,          // riding off toward the path until lined up
    kRiderBackRidingA = 24,       // back to riding
    kRiderLiftBikeB = 25,         // second bike animation
    kRiderGetOnB = 26,
    kRiderRideOffB = 27,
    kRiderBackRidingB = 28,
    kRiderWalkToBikeA = 29,       // dragged toward the bike at 3 m/s
    kRiderWalkToBikeB = 30,
    kRiderWinnerCelebration = 31,

    // Turning the fallen bike round beside it (chosen by the remount table).
    kRiderTurnStartA1 = 32,
    kRiderTurnStartB1 = 33,
    kRiderTurnStartA2 = 34,
    kRiderTurnStartB2 = 35,
    kRiderAnimated36 = 36,        // played and followed as the animation records say
    kRiderAnimated37 = 37,
    kRiderAnimated38 = 38,
    kRiderAnimated39 = 39,
    kRiderAnimated40 = 40,
    kRiderPushA1 = 41,            // pushing the bike round a circle of +2 m at 1 m/s
    kRiderTurnEndA1 = 42,
    kRiderTurnSwitchA2 = 43,
    kRiderPushB1 = 44,
    kRiderTurnEndB1 = 45,
    kRiderTurnSwitchB2 = 46,
    kRiderPushA2 = 47,            // pushing round a circle of -2 m
    kRiderTurnEndA2 = 48,
    kRiderTurnSwitchA1 = 49,
    kRiderPushB2 = 50,
    kRiderTurnEndB2 = 51,
    kRiderTurnSwitchB1 = 52,
    kRiderCrawlA = 53,            // dragged toward the bike at 3 m/s
    kRiderCrawlB = 54,

    kRiderStuck = 55,             // stuck off the road; then stop or ride out
    kRiderBumped56 = 56,          // reactions to a bump; then a gesture toward the rival, or riding
    kRiderBumped57 = 57,
    kRiderBumped58 = 58,
    kRiderBumped59 = 59,
    // Gestures toward the rival: behind or ahead, and to the right (the
    // rival's SideOffset not above ours; negative offsets are right of the
    // centre line) or to the left.
    kRiderGestureBehindRight = 60,
    kRiderGestureAheadRight = 61,
    kRiderGestureBehindLeft = 62,
    kRiderGestureAheadLeft = 63,
    kRiderAnimated64 = 64,
    kRiderAnimated65 = 65,
    kRiderRideOut = 66,           // riding out of a stuck position
    kRiderCelebration67 = 67,     // celebrations of the first three
    kRiderCelebration68 = 68,
    kRiderCelebration69 = 69,
    kRiderCelebration70 = 70,
};

inline constexpr std::int32_t kFirstRiderState = -4;
inline constexpr std::int32_t kLastRiderState = 70;
// Records of the rider animation table: states 0..70.
inline constexpr int kRiderStateRecords = 71;

// A state number the machine knows (-4 .. 70).
constexpr bool IsRiderState(std::int32_t state)
{
    return state >= kFirstRiderState && state <= kLastRiderState;
}

// A state with a record of its own in the animation table (0 .. 70).
constexpr bool HasStateRecord(std::int32_t state)
{
    return state >= 0 && state < kRiderStateRecords;
}

// A value a follow-up list may hold: -1 ends the list, 0..70 a state.
constexpr bool IsFollowUpValue(std::int32_t value)
{
    return value == -1 || HasStateRecord(value);
}

// The name of a state ("riding", "lift bike A", ...); "unknown" outside -4..70.
const char* RiderStateName(std::int32_t state);

// States in which the lean step makes no slide correction (Status 0x4000):
// waiting, pulling away, stopping, riding off after a remount, back to
// riding, stuck off the road.
bool HoldsSlideCorrection(std::int32_t state);

// States in which the fallen rider is drawn toward the bike (19, 20, 29,
// 30, 53, 54) and the speed at which it moves (6 m/s for 19 and 20, else
// 3 m/s; 0 for any other state).
bool IsDraggedRiderState(std::int32_t state);
float DragSpeed(std::int32_t state);

// States in which the rider is off the bike and its body settles (5 .. 20,
// 29, 30).
bool IsOffBikeSettling(std::int32_t state);

// The states that push the bike round a circle, and the circle's signed
// radius (+2 m for 41 and 44, -2 m for 47 and 50; 0 for any other state).
float PushRadius(std::int32_t state);
