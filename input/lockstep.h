#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "input/control_record.h"

class InputNetLink;

// The lockstep frame message of a network race (little-endian):
//   0   race command (0 none, 1..5)
//   4   frame number
//   8   frame time step, float seconds (0 while the host has paused)
//   12 + 12k  player entry k: network player id, ControlRecord, 2 unused
// A client's message has one entry; the host's one per target.
inline constexpr std::size_t kFrameHeaderBytes = 12;
inline constexpr std::size_t kFrameEntryBytes = 12;
// A message of exactly this size is a start-barrier message, not a frame.
inline constexpr std::size_t kBarrierMessageBytes = 4;
// At most this many entries (one per player of a session).
inline constexpr std::size_t kMaxFrameEntries = 32;
// At most this many frames wait in the queue; a frame arriving at a full
// queue is dropped (the sender's resend brings it again).
inline constexpr std::size_t kMaxQueuedFrames = 100;

struct FrameEntry {
    std::uint32_t PlayerId = 0;
    ControlRecord Controls;
};

struct FrameMessage {
    std::int32_t Command = 0;
    std::uint32_t Frame = 0;
    float Step = 0.0f;
    std::vector<FrameEntry> Entries;
};

std::vector<std::uint8_t> BuildFrameMessage(const FrameMessage& message);
// False when the bytes are not a frame message: a size that is not a header
// and 1..32 whole entries, a race command outside 0..5, or a time step that
// is not a number from 0 to 1 s.
bool ReadFrameMessage(std::span<const std::uint8_t> bytes, FrameMessage& message);

// The lockstep state of the input for one race run.
struct LockstepState {
    // A queued frame: its header, and per target (by target index) the
    // controls it carries.
    struct Queued {
        std::int32_t Command = 0;
        std::uint32_t Frame = 0;
        float Step = 0.0f;
        std::vector<std::optional<ControlRecord>> Controls;
    };

    InputNetLink* Link = nullptr;
    std::vector<Queued> Frames;
    std::vector<std::uint8_t> LastMessage; // the last message sent, for resending
    std::uint32_t LastFrom = 0;            // and the player it went from
    std::vector<std::uint8_t> Heard;       // per target, this frame
    // While waiting, the last message is sent again this often (real
    // milliseconds); a lost frame costs this much.
    std::uint32_t ResendMs = 100;
    // A peer heard of for this long counts as gone: the host goes on
    // without a silent client (as if it had left, race command 4); a
    // client whose host is silent leaves the race.
    std::uint32_t SilenceMs = 10000;
    // The session or the host was lost: the exchange waits no more.
    bool Lost = false;
    // Frames dropped at a full queue (for the tests).
    std::uint64_t DroppedAtFullQueue = 0;

    void Clear()
    {
        Frames.clear();
        LastMessage.clear();
        Heard.clear();
        Lost = false;
    }
};
