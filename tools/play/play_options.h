#pragma once

#include <string>
#include <vector>

#include "tools/play/play_steps.h"

// The command line of torvane-play:
//
//   torvane-play --data DIR [--home DIR] [--frame-time S] [--race-frame-time S]
//                [--shots DIR] [--time-limit S] STEP...
namespace play {

struct Options {
    std::string data;               // the game's data folder (its working folder)
    std::string home;               // the settings folder (TORVANE_HOME); empty: as the environment says
    double frame_time = 1.0 / 60.0; // s of test clock per menu frame
    double race_frame_time = 0.1;   // s of test clock per race frame
    std::string shots;              // where "shot" writes its pictures; races are drawn only with it
    std::vector<Step> steps;
    // The play ends after this much test clock (--time-limit, 1 to 3600 s).
    double time_limit = kMaxWaitSeconds;
};

// Every argument but the program's name; an argument starting with "--" is
// an option with its value, any other a step. False, with the reason in
// `error`, for a bad or unknown option, a bad step or no --data.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

// The usage lines.
const char* Usage();

} // namespace play
