#pragma once

#include <cstdint>
#include <vector>

// The description of a race that a replay file begins with: the
// application's race header (180 bytes) and its player records (188 bytes
// each). The application sits above the input in the build; the race run
// loop installs its description (InputManager::SetReplayDescription) for
// the time a race runs, so that a replay can be saved and a chosen replay
// loaded before its race is made.
class ReplayDescription {
public:
    virtual ~ReplayDescription() = default;
    // The race header, with the players' pointer as four zero bytes, and
    // as many player records as the header's human count.
    virtual void Describe(std::vector<std::uint8_t>& header, std::vector<std::uint8_t>& players) const = 0;
    // Takes over a checked description: the header's fields and `humans`
    // player records replace the application's.
    virtual void Adopt(const std::uint8_t* header, const std::uint8_t* players, int humans) = 0;
};
