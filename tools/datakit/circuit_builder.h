#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/datakit/track_writer.h"

// Generates a track file (and its pit lane) from a description: a closed
// centre line of straights and arcs, a cross-section style with banking and
// verges, hills, kerbs, gravel traps, the starting grid and the pit lane.
// The format is described in docs/sim-track.md.
namespace datakit {

enum class PieceKind { Straight, Arc };

// One piece of the centre line, in driving order from the start line.
struct CircuitPiece {
    PieceKind kind = PieceKind::Straight;
    double length = 0.0;        // straight: metres (ignored when `solve` is set)
    double radius = 0.0;        // arc: signed metres, positive turns left
    double angle_deg = 0.0;     // arc: how far it turns, degrees (positive)
    bool solve = false;         // straight whose length closes the loop (exactly two pieces)
    double bank_deg = 0.0;      // arc: banking; positive raises the outside of the curve
    bool kerbs = false;         // arc: kerb on the inside verge round the apex, on the outside at the exit
    bool gravel = false;        // arc: gravel over the outside verge from the apex on
    double outside_verge = 0.0; // arc: outside verge width here (0: the style's)
    float speed_limit = 0.0f;   // km/h written into the segment (0: none)
};

CircuitPiece straight(double length);
// A straight whose length the builder chooses so that the loop closes.
CircuitPiece solved_straight();
CircuitPiece left(double radius, double degrees);
CircuitPiece right(double radius, double degrees);

// A raised-cosine rise (or, with a negative height, dip) of the centre line.
struct Hill {
    double centre = 0.0; // distance along the lap, m
    double length = 0.0; // m from foot to foot
    double height = 0.0; // m at the top
};

struct CrossSectionStyle {
    double asphalt_left = 6.0;  // m from the centre line to the left asphalt border
    double asphalt_right = 6.0;
    double verge_left = 4.0;    // m from the asphalt border to the track edge
    double verge_right = 4.0;
    std::uint8_t surface_left = 1; // verge classes (see docs/sim-track.md)
    std::uint8_t surface_right = 1;
    double verge_drop = 0.05;   // the edge lies this much below the continued asphalt plane
    double transition = 30.0;   // m over which verge widths change
    // m over which banking changes. The ground between two cross-sections is
    // two triangles, so a road whose banking changes twists each quad and
    // leaves a ridge along every diagonal: over 30 m, 12 degrees of banking
    // on 12 m of asphalt gave ridges of 2 cm a metre apart, which a wheel
    // sampled at short steps rode as a washboard (at 1 ms frames bikes were
    // thrown off the road). Over 120 m they are a quarter of that.
    double bank_transition = 120.0;
    double kerb_width = 1.2;
    double kerb_height = 0.05;  // of the kerb's middle above the ground
    std::uint8_t gravel_surface = 2;
};

// Grid slots behind the start line, two abreast.
struct GridStyle {
    double first_row = 8.0;    // m from the line back to slot 0
    double row_spacing = 8.0;
    double stagger = 3.0;      // the second slot of a row stands this much further back
    double lateral = 2.2;      // m left (first slot) and right (second slot) of the centre line
};

// A pit lane alongside the straight through the start line: it leaves the
// circuit's asphalt border `entry_before` m before the line, runs parallel at
// `offset` m from the centre line, and rejoins `exit_after` m after it.
struct PitLaneStyle {
    bool present = false;
    int side = 1;                 // +1 right of the straight, -1 left
    double entry_before = 320.0;
    double exit_after = 260.0;
    double offset = 18.0;
    double curve_radius = 150.0;  // of the four arcs that lead out and back
    double asphalt_track_side = 3.0;
    double asphalt_garage_side = 5.0;
    double verge_track_side = 0.5;
    double verge_garage_side = 3.0;
    std::uint8_t surface = 3;
    double box_lateral = 3.5;     // box points from the pit lane's centre line toward the garages
    double box_spacing = 7.0;
    double speed = 16.7;          // reference speed, m/s
    float speed_limit = 0.0f;     // km/h written into the segments (0: the race's default)
};

struct CircuitDescription {
    std::string name;
    std::vector<CircuitPiece> pieces; // from the start line round to it
    double start_x = 0.0;
    double start_z = 0.0;
    double start_heading_deg = 0.0;
    CrossSectionStyle style;
    std::vector<Hill> hills;
    GridStyle grid;
    PitLaneStyle pit;
    // Reference speeds: cornering grip and braking / acceleration (m/s^2).
    double grip_g = 1.3;
    double braking = 9.0;
    double acceleration = 4.0;
    double top_speed = 83.0;
};

struct BuiltCircuit {
    TrackFile circuit;
    bool has_pit_lane = false;
    TrackFile pit_lane;
    double length = 0.0;               // of the circuit's centre line
    double pit_length = 0.0;
    std::vector<double> piece_start;   // distance at which each piece begins
    std::vector<double> piece_length;  // solved lengths included
    TrackFileXZ pit_entry;             // where the pit lane leaves the circuit
    TrackFileXZ pit_exit;              // where it rejoins
    double pit_entry_distance = 0.0;   // circuit distance of pit_entry
};

// Builds the files; throws std::invalid_argument naming what in the
// description cannot be built (a loop that does not turn once round, solved
// straights that come out too short, kerbs wider than their verge, a pit lane
// beside a curve, ...).
BuiltCircuit build_circuit(const CircuitDescription& description);

} // namespace datakit
