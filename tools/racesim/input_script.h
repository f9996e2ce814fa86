#pragma once

#include <string>
#include <vector>

#include "input/input_manager.h"

// A rider driven as a human from a text file of timed controls, so that a
// race the runner records has human input. One line per change:
//
//   t steer throttle brake [gear]
//
// t: the race clock in seconds at which the line takes over (negative
// during the start countdown), never below the line before; steer: -1
// (full left) .. 1 (full right); throttle and brake: 0 .. 1; gear: 1 shifts
// up, -1 down, 0 (or nothing) keeps the gear, once, on the line's first
// frame. Blank lines and lines starting with '#' are skipped. Before the
// first line the rider holds everything at 0.
namespace racesim {

struct ScriptLine {
    double time = 0.0;
    float steer = 0.0f;
    float throttle = 0.0f;
    float brake = 0.0f;
    int gear = 0;
};

// Reads a script; false with `why` ("line 3: ...") for a file that cannot
// be read or a line that does not follow the rules above.
bool ReadInputScript(const std::string& path, std::vector<ScriptLine>& lines, std::string& why);
bool ParseInputScript(const std::string& text, std::vector<ScriptLine>& lines, std::string& why);

// The controls of the input's first target from the script, at the input's
// race clock.
InputManager::ControlSource InputScriptSource(std::vector<ScriptLine> lines, const InputManager& input);

} // namespace racesim
