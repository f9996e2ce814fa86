#pragma once

#include <cstddef>
#include <cstdint>

// What the input needs of the game around it while a race runs: the race's
// flag word and go signal, its overlay (start light, fade, shade), the start
// beeps and the mute of the sound library, the player's bike, and whether
// this is a network race. The input sits below these subsystems in the
// build; the race installs an implementation (InputManager::SetRaceLink)
// for the time it runs. Without one, the input measures time and reads the
// devices, and these effects do not happen.
class InputRaceLink {
public:
    virtual ~InputRaceLink() = default;

    // The application's run flag for a network race.
    virtual bool NetworkRace() const = 0;

    // The race flag word, and a change of it: `set` bits raised, then
    // `clear` bits cleared.
    virtual std::uint32_t RaceFlags() const = 0;
    virtual void ChangeRaceFlags(std::uint32_t set, std::uint32_t clear) = 0;

    // The go signal at the end of the start countdown.
    virtual void Finish() = 0;

    // The overlay's start light frame (0, 1, 2; -1 hides it), and the
    // material set of the start-light model (nothing when the race has no
    // such model).
    virtual void SetStartLight(int frame) = 0;
    virtual void SetStartLightMaterial(float set) = 0;

    // Plays one of the two start samples (0 the first beep, 1 the last).
    virtual void PlayStartSample(int sample) = 0;

    // The overlay's fade: its target, its level at once, and the shade.
    virtual void SetFadeTarget(float value) = 0;
    virtual void SetFadeLevel(float value) = 0;
    virtual void SetShade(float value) = 0;
    virtual bool IsFading() const = 0;

    // Parks the player's own bike.
    virtual void ParkPlayerBike() = 0;

    // The overlay's notice that the host of a network race has paused it.
    virtual void ShowHostPaused(bool shown) { (void)shown; }

    // Master volume of the sound library to 0, and back.
    virtual void MuteSound() = 0;
    virtual void UnmuteSound() = 0;

    // ---- What the replays need (input/input_replay.cpp) ----

    // The viewed bike's status word (bit 0x08: it has finished); 0 when no
    // bike is viewed.
    virtual std::uint32_t ViewedBikeStatus() const { return 0; }
    // The whole race state (flags, simulation state, every bike) in
    // RaceStateWords() words: written into a checkpoint, and taken back.
    virtual std::size_t RaceStateWords() const { return 0; }
    virtual void SaveRaceState(std::uint32_t* /*words*/) {}
    virtual void RestoreRaceState(const std::uint32_t* /*words*/) {}

    // The state replay: the riders, one rider's pose encoded into a 20-byte
    // frame (and, while the rider's body is apart from the bike, its
    // 16-byte rider record with `index` stored in the frame; true then),
    // and a rider posed between two frames with the recording's rider
    // records (`blocks` of 1000 16-byte slots each).
    virtual int ReplayRiders() const { return 0; }
    virtual bool EncodeReplayFrame(int /*rider*/, std::uint8_t* /*frame*/, std::uint8_t* /*riderRecord*/,
                                   std::uint16_t /*index*/)
    {
        return false;
    }
    virtual void PlayReplayFrame(int /*rider*/, const std::uint8_t* /*a*/, const std::uint8_t* /*b*/,
                                 const std::uint8_t* const* /*blocks*/, int /*blockCount*/, float /*t*/)
    {
    }
};

// The bike status bit that ends an input recording: the viewed bike has
// finished.
inline constexpr std::uint32_t kViewedBikeFinished = 0x08;

// Race flags the input reads and sets.
inline constexpr std::uint32_t kRaceFlagRacing = 0x01;
inline constexpr std::uint32_t kRaceFlagReplay = 0x04;
inline constexpr std::uint32_t kRaceFlagRunAgain = 0x08;
inline constexpr std::uint32_t kRaceFlagEnding = 0x10;
