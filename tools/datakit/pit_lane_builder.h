#pragma once

#include <functional>

#include "tools/datakit/circuit_builder.h"
#include "tools/datakit/circuit_geometry.h"

namespace datakit {

struct PitLane {
    TrackFile file;
    double length = 0.0;
    TrackFileXZ entry;          // first point of the pit lane's centre line
    TrackFileXZ exit;           // last point
    double entry_distance = 0.0; // circuit distance beside `entry`
};

// Builds the pit lane of d.pit beside the circuit's straight through the
// start line. `height` gives the circuit's centre-line height at a circuit
// distance; the pit lane follows it. Throws std::invalid_argument when the
// circuit is not straight there or the pit lane does not fit.
PitLane build_pit_lane(const CircuitDescription& d, const circuit_geometry::CentreLine& circuit,
                       const std::function<double(double)>& height);

} // namespace datakit
