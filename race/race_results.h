#pragma once

#include <vector>

#include "champ/championship.h"

class GameApp;
class Race;

// The race's classification as the championship files it: line p is the
// rider in race position p (the race's standing order), with its
// championship rider id (the race header's), its three result times (lap,
// best lap, race time), its status word and its laps. The race run loop
// files it when a race ends; the weekend screens file it while a session
// is suspended under them, to show the player's place.
std::vector<RaceResultLine> RaceResultLines(const Race& race, const GameApp& app);
