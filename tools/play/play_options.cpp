#include "tools/play/play_options.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace play {

namespace {

// A frame of 1 ms to 1 s.
bool ParseFrameTime(const std::string& text, double& out)
{
    double v = 0.0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty() || !(v >= 0.001 && v <= 1.0))
        return false;
    out = v;
    return true;
}

// A play of 1 s to an hour of test clock.
bool ParseTimeLimit(const std::string& text, double& out)
{
    double v = 0.0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty() || !(v >= 1.0 && v <= 3600.0))
        return false;
    out = v;
    return true;
}

} // namespace

const char* Usage()
{
    return "usage: torvane-play --data DIR [--home DIR] [--frame-time S] [--race-frame-time S] [--shots DIR] "
           "[--time-limit S] STEP...\n"
           "  a STEP is a key by its name (Enter, Esc, Tab, Up, Down, Left, Right, a letter, F1...),\n"
           "  hold:KEY and let:KEY (a key held down until let go), wait:S (seconds of the test clock),\n"
           "  click:X,Y (a menu pixel of 640 x 480), shot, bike (the player's bike logged),\n"
           "  signal:FILE or await:FILE\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error)
{
    options = Options{};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!arg.starts_with("--")) {
            Step step;
            if (!ParseStep(arg, step, error))
                return false;
            options.steps.push_back(step);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "the option " + arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        bool ok = true;
        if (arg == "--data")
            options.data = value;
        else if (arg == "--home")
            options.home = value;
        else if (arg == "--shots")
            options.shots = value;
        else if (arg == "--frame-time")
            ok = ParseFrameTime(value, options.frame_time);
        else if (arg == "--race-frame-time")
            ok = ParseFrameTime(value, options.race_frame_time);
        else if (arg == "--time-limit")
            ok = ParseTimeLimit(value, options.time_limit);
        else {
            error = "unknown option " + arg;
            return false;
        }
        if (!ok || value.empty()) {
            error = "bad option " + arg + " " + value + (ok ? "" : " (a frame time is 0.001 to 1 second, a time limit 1 to 3600)");
            return false;
        }
    }
    if (options.data.empty()) {
        error = "no --data folder";
        return false;
    }
    return true;
}

} // namespace play
