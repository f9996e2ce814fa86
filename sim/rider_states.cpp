#include "sim/rider_states.h"

#include <iterator>

namespace {

// Names of states -4 .. 70, in order.
constexpr const char* kStateNames[] = {
    "beside bike A",       // -4
    "beside bike B",       // -3
    "waiting",             // -2
    "riding",              // -1
    "pull away",           // 0
    "stopping",            // 1
    "ride animation",      // 2
    "lean animation",      // 3
    "look behind",         // 4
    "low side A",          // 5
    "low side B",          // 6
    "off bike 7",          // 7
    "off bike 8",          // 8
    "off bike 9",          // 9
    "thrown A",            // 10
    "thrown B",            // 11
    "off bike 12",         // 12
    "off bike 13",         // 13
    "off bike 14",         // 14
    "off bike 15",         // 15
    "off bike 16",         // 16
    "off bike 17",         // 17
    "off bike 18",         // 18
    "run to bike A",       // 19
    "run to bike B",       // 20
    "lift bike A",         // 21
    "get on A",            // 22
    "ride off A",          // 23
    "back riding A",       // 24
    "lift bike B",         // 25
    "get on B",            // 26
    "ride off B",          // 27
    "back riding B",       // 28
    "walk to bike A",      // 29
    "walk to bike B",      // 30
    "winner celebration",  // 31
    "turn start A1",       // 32
    "turn start B1",       // 33
    "turn start A2",       // 34
    "turn start B2",       // 35
    "animated 36",         // 36
    "animated 37",         // 37
    "animated 38",         // 38
    "animated 39",         // 39
    "animated 40",         // 40
    "push A1",             // 41
    "turn end A1",         // 42
    "turn switch A2",      // 43
    "push B1",             // 44
    "turn end B1",         // 45
    "turn switch B2",      // 46
    "push A2",             // 47
    "turn end A2",         // 48
    "turn switch A1",      // 49
    "push B2",             // 50
    "turn end B2",         // 51
    "turn switch B1",      // 52
    "crawl A",             // 53
    "crawl B",             // 54
    "stuck",               // 55
    "bumped 56",           // 56
    "bumped 57",           // 57
    "bumped 58",           // 58
    "bumped 59",           // 59
    "gesture behind right",// 60
    "gesture ahead right", // 61
    "gesture behind left", // 62
    "gesture ahead left",  // 63
    "animated 64",         // 64
    "animated 65",         // 65
    "ride out",            // 66
    "celebration 67",      // 67
    "celebration 68",      // 68
    "celebration 69",      // 69
    "celebration 70",      // 70
};
static_assert(std::size(kStateNames) == kLastRiderState - kFirstRiderState + 1, "one name per state");

constexpr float kRunSpeed = 6.0f;  // m/s
constexpr float kWalkSpeed = 3.0f; // m/s
constexpr float kPushRadius = 2.0f; // m

} // namespace

const char* RiderStateName(std::int32_t state)
{
    if (!IsRiderState(state))
        return "unknown";
    return kStateNames[state - kFirstRiderState];
}

bool HoldsSlideCorrection(std::int32_t state)
{
    switch (state) {
    case kRiderWaiting:
    case kRiderPullAway:
    case kRiderStopping:
    case kRiderRideOffA:
    case kRiderBackRidingA:
    case kRiderRideOffB:
    case kRiderBackRidingB:
    case kRiderStuck:
        return true;
    default:
        return false;
    }
}

bool IsDraggedRiderState(std::int32_t state)
{
    return DragSpeed(state) > 0.0f;
}

float DragSpeed(std::int32_t state)
{
    switch (state) {
    case kRiderRunToBikeA:
    case kRiderRunToBikeB:
        return kRunSpeed;
    case kRiderWalkToBikeA:
    case kRiderWalkToBikeB:
    case kRiderCrawlA:
    case kRiderCrawlB:
        return kWalkSpeed;
    default:
        return 0.0f;
    }
}

bool IsOffBikeSettling(std::int32_t state)
{
    return (state >= kRiderLowSideA && state <= kRiderRunToBikeB) || state == kRiderWalkToBikeA ||
           state == kRiderWalkToBikeB;
}

float PushRadius(std::int32_t state)
{
    switch (state) {
    case kRiderPushA1:
    case kRiderPushB1:
        return kPushRadius;
    case kRiderPushA2:
    case kRiderPushB2:
        return -kPushRadius;
    default:
        return 0.0f;
    }
}
