#pragma once

#include <cstddef>
#include <cstdint>

// What the lockstep exchange of a network race needs of the network
// session: sends between players, the next waiting message, a
// wait for one, and whether a player (or the session) is still there. The
// input sits below the multiplayer code in the build; the network session
// implements this, and the race run loop hands it to the input
// (InputManager::SetNetLink) for a network race.
class InputNetLink {
public:
    virtual ~InputNetLink() = default;

    // Sends from player `from` to player `to` (0: every player),
    // guaranteed or not. False when it could not go out.
    virtual bool SendFrame(std::uint32_t from, std::uint32_t to, const void* data, std::size_t size,
                           bool guaranteed) = 0;
    // The next waiting application message: its sender (0: none waiting);
    // the bytes stay valid until the next call.
    virtual std::uint32_t ReceiveFrame(const std::uint8_t*& data, std::size_t& size) = 0;
    // Waits up to `ms` real milliseconds for a message; true when one waits.
    virtual bool WaitForFrame(std::uint32_t ms) = 0;
    // The player is still in the session.
    virtual bool PlayerPresent(std::uint32_t id) const = 0;
    // The session is still open (a client loses it when the host goes).
    virtual bool LinkOpen() const = 0;
};
