#pragma once

class Bike;

// Small pieces of the riding physics shared by its files.

// The pull of the slope along the bike: the height difference of the two
// wheels' ground times the weight over the wheelbase (0 while either wheel
// has never found ground).
float RidingSlopeForce(const Bike& bike);

// The engaged gear as an index the bike's ratios hold: 0 .. GearCount - 1,
// with the gear count taken within 1..6.
int ValidGear(const Bike& bike);

// Engine revs at a rear-wheel speed in the engaged gear.
float RevsAtSpeed(const Bike& bike, float speed);
