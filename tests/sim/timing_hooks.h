#pragma once

// Race hooks that record what the race timing asks of the overlay, the
// camera and the music, for the timing and standings tests.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/sim/bike_world.h"

namespace bike_test {

class TimingHooks : public RecordingHooks {
public:
    void HudRaise(std::uint32_t bits) override { calls.push_back("raise " + std::to_string(bits)); }
    void HudClear(std::uint32_t bits) override { calls.push_back("clear " + std::to_string(bits)); }
    void HudSetViewMode(int mode) override { calls.push_back("notice " + std::to_string(mode)); }
    void HudDisableMessages(std::uint32_t mask) override { calls.push_back("disable " + std::to_string(mask)); }
    void SetCameraMode(int mode) override
    {
        calls.push_back("camera " + std::to_string(mode));
        CurrentRaceContext().CameraMode = mode;
    }
    void StopStream(int channel) override { calls.push_back("stop " + std::to_string(channel)); }
    void StartStream(int channel, bool loop) override
    {
        calls.push_back("start " + std::to_string(channel) + (loop ? " loop" : ""));
    }

    int Count(const std::string& call) const
    {
        int n = 0;
        for (const std::string& c : calls)
            n += c == call ? 1 : 0;
        return n;
    }
    bool Has(const std::string& call) const { return Count(call) > 0; }

    std::vector<std::string> calls;
};

} // namespace bike_test
