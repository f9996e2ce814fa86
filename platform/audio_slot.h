#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio.h"

// The records of the audio service shared by its buffer calls
// (audio_output.cpp), its mixer (audio_mix.cpp) and its device
// (audio_device.cpp).
namespace platform {

// Play cursors are frames in 32.32 fixed point: the whole frame above, the
// fraction of the way to the next frame below.
inline constexpr int kAudioFractionBits = 32;

// One buffer, under the service's lock.
struct AudioOutput::Slot {
    std::uint32_t generation = 0; // 0: the slot is free
    std::shared_ptr<std::vector<std::uint8_t>> data; // shared with duplicates
    PcmFormat format;
    std::uint32_t frames = 0;
    bool streamed = false;
    bool playing = false;
    bool looping = false;
    std::uint64_t position = 0;
    std::int32_t level = 0;
    std::int32_t pan = 0;
    std::uint32_t frequency = 0; // 0: the format's own rate
    float gain_left = 1.0f;
    float gain_right = 1.0f;
    std::array<AudioNotification, kAudioMaxNotifications> notify{};
    std::uint32_t notify_count = 0;
    // Bytes written ahead of the cursor that may be played, or -1 when the
    // buffer is not guarded.
    std::int64_t filled_ahead = -1;
    // Moves on whenever a call of the program moves the cursor or starts or
    // stops the buffer; the mixer writes back its cursor only when this is
    // what it was when the mix began, so such a call is never undone.
    std::uint32_t serial = 0;
};

// One playing buffer as the mixer copied it at the start of a pass, and
// what the pass did to it.
struct AudioOutput::MixVoice {
    int slot = 0;
    std::uint32_t generation = 0;
    std::uint32_t serial = 0;
    const std::uint8_t* data = nullptr;
    std::uint32_t frames = 0;
    std::uint16_t bits = 16;
    std::uint16_t channels = 1;
    bool looping = false;
    std::uint64_t position = 0;
    std::uint64_t step = 0;       // cursor advance per output frame
    float gain_left = 1.0f;
    float gain_right = 1.0f;
    std::uint64_t playable = ~std::uint64_t{0}; // source frames the guard lets this pass play
    // Results of the pass.
    std::uint64_t end_position = 0;
    std::uint64_t frames_played = 0; // whole source frames the cursor passed
    bool ended = false;              // a one-shot buffer reached its end
    bool starved = false;            // the guard ran out in this pass
};

// Sound data of released buffers, freed once no pass that may have copied
// a pointer to it is still mixing.
struct AudioOutput::Retired {
    std::shared_ptr<std::vector<std::uint8_t>> data;
    std::uint64_t mixes_started = 0;
};

// Mixes one voice into a stereo accumulator of `frames` frames and fills
// its results.
void mix_voice(AudioOutput::MixVoice& voice, float* accumulator, std::size_t frames);

} // namespace platform
