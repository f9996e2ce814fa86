#pragma once

#include <string>
#include <vector>

#include "engine/model/anm_reader.h"

namespace datakit {

// The joints of the rider model that every rider animation turns (and the
// pelvis, which the animations also move), in the order the model lists
// them.
const std::vector<std::string>& world_rider_joints();

// One animation per record of "RIDER_ANIMATIONS" (rider_state_writer.h),
// named as the record: timed records run over their frames at 18 a second,
// the others over one second. Every animation turns every joint about all
// three axes and moves the pelvis, so that any two of them blend (the
// "CURVING" transition from the upright riding animation to the one at
// full lean relies on it). The riding animations run from hanging off to
// the left (time 0) through the middle (0.5) to the right (1).
std::vector<anm_animation> world_rider_anm();

// One animation per record of "BIKE_ANIMATIONS": the node "CHASSIS" that
// every bike model holds rolls to one side (A) or the other (B) and sinks
// to the ground over the record's frames.
std::vector<anm_animation> world_bike_anm();

} // namespace datakit
