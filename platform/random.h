#pragma once

#include <cstdint>

// The runtime's random numbers: a linear congruential generator whose
// results run from 0 to 32767, the range the game's formulas divide by.
//
// The program keeps independent streams so that one use of randomness never
// shifts another's sequence:
// - Simulation: everything that decides the race. It is seeded at the start
//   of every race from data that every peer and every replay share, and only
//   the simulation step draws from it, so a race replays bit for bit.
// - Cosmetic: variation that only changes what is seen or heard (sound
//   pitch, effects). It is drawn per frame, so the frame rate changes how
//   much of it is used; keeping it apart means the frame rate never changes
//   the race.
// - Default: what rand()/srand() use, for everything else.
// The streams are not locked: each is used from one thread.
namespace platform {

inline constexpr int RAND_MAX_VALUE = 32767;

class RandomStream {
public:
    constexpr RandomStream() = default;
    constexpr explicit RandomStream(std::uint32_t seed) : state_(seed) {}

    constexpr void seed(std::uint32_t seed) { state_ = seed; }

    // Next value in 0..RAND_MAX_VALUE.
    constexpr int next()
    {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

    // The whole state, so a snapshot can continue the sequence exactly.
    constexpr std::uint32_t state() const { return state_; }
    constexpr void set_state(std::uint32_t state) { state_ = state; }

private:
    std::uint32_t state_ = 1; // as if seeded with 1
};

enum class RandomStreamId { Default, Simulation, Cosmetic };

// The program-wide stream of that name.
RandomStream& random_stream(RandomStreamId id);

// The default stream.
int rand();
void srand(std::uint32_t seed);

} // namespace platform
