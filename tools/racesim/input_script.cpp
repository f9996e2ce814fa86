#include "tools/racesim/input_script.h"

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

namespace racesim {

namespace {

bool Within(double v, double lo, double hi)
{
    return v >= lo && v <= hi; // false for a value that is not a number
}

} // namespace

bool ParseInputScript(const std::string& text, std::vector<ScriptLine>& lines, std::string& why)
{
    std::vector<ScriptLine> out;
    std::istringstream in(text);
    std::string raw;
    for (int number = 1; std::getline(in, raw); ++number) {
        const std::size_t start = raw.find_first_not_of(" \t\r");
        if (start == std::string::npos || raw[start] == '#')
            continue;
        std::istringstream fields(raw);
        double t = 0.0, steer = 0.0, throttle = 0.0, brake = 0.0;
        fields >> t >> steer >> throttle >> brake;
        const auto fail = [&](const std::string& what) {
            why = "line " + std::to_string(number) + ": " + what;
            return false;
        };
        if (!fields)
            return fail("needs a time, a steering, a throttle and a brake value");
        int gear = 0;
        if (!(fields >> gear)) {
            if (!fields.eof())
                return fail("the gear is not -1, 0 or 1");
            gear = 0;
        } else {
            std::string rest;
            if (fields >> rest)
                return fail("has more than five values");
        }
        if (!std::isfinite(t) || std::fabs(t) > 1.0e6)
            return fail("the time is not a race time");
        if (!out.empty() && t < out.back().time)
            return fail("the time goes back");
        if (!Within(steer, -1.0, 1.0))
            return fail("the steering is outside -1..1");
        if (!Within(throttle, 0.0, 1.0) || !Within(brake, 0.0, 1.0))
            return fail("the throttle and the brake are 0..1");
        if (gear < -1 || gear > 1)
            return fail("the gear is not -1, 0 or 1");
        out.push_back(ScriptLine{t, static_cast<float>(steer), static_cast<float>(throttle),
                                 static_cast<float>(brake), gear});
    }
    lines = std::move(out);
    return true;
}

bool ReadInputScript(const std::string& path, std::vector<ScriptLine>& lines, std::string& why)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "the input script " + path + " cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseInputScript(text.str(), lines, why);
}

InputManager::ControlSource InputScriptSource(std::vector<ScriptLine> lines, const InputManager& input)
{
    struct State {
        std::vector<ScriptLine> lines;
        int current = -1; // the line in force, -1 before the first
    };
    auto state = std::make_shared<State>();
    state->lines = std::move(lines);
    return [state, &input](int target, ControlRecord& c) {
        if (target != 0)
            return;
        int line = state->current;
        while (line + 1 < static_cast<int>(state->lines.size()) &&
               static_cast<double>(input.m_fRaceClock) >= state->lines[static_cast<std::size_t>(line + 1)].time)
            ++line;
        const bool fresh = line != state->current;
        state->current = line;
        ScriptLine now;
        if (line >= 0)
            now = state->lines[static_cast<std::size_t>(line)];
        c.Throttle = static_cast<std::uint8_t>(std::trunc(now.throttle * 127.0f));
        c.Brake = static_cast<std::uint8_t>(std::trunc(now.brake * 127.0f));
        c.SteerInput = static_cast<std::int8_t>(std::trunc(now.steer * 127.0f));
        const int shift = fresh ? now.gear : 0;
        c.Posture = static_cast<std::uint8_t>((shift & 3) << 6);
    };
}

} // namespace racesim
