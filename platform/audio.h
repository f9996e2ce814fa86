#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/thread.h"

// The audio service: sound buffers mixed in software into one output and
// played through SDL audio.
//
// A buffer holds PCM sound (8-bit unsigned or 16-bit signed, mono or
// stereo, any rate) and plays once or looping, with its own volume, pan and
// frequency. A duplicate of a buffer shares its sound data but plays on its
// own, so one loaded sample can sound several times at once. A streamed
// buffer is refilled while it plays: its owner locks the part that has just
// been played and writes the next sound there, woken by events that the
// mixer sets when the play cursor passes given offsets.
//
// Volumes are in hundredths of a decibel, 0 (full) down to -10000, which is
// silence. Pan runs from -10000 (left only) through 0 (centre, both sides
// full) to 10000 (right only): the far side is lowered by the pan's amount.
// Frequencies run from 100 to 100000 Hz; a buffer played at another rate
// than the output's is resampled with linear interpolation.
//
// The output mixes at one format (22050 Hz, 16-bit, stereo unless changed):
// every playing buffer is added into it and the sum is clipped to 16 bits
// (a loud sum saturates, it never wraps round). With a sound device the
// mixing runs in SDL's audio callback; without one (no device can be
// opened) a thread of the service mixes in real time into nothing, so play
// cursors move, sounds end and streams are refilled as with a device, only
// silently. Tests switch the service to manual mixing
// (set_manual_audio_mixing): nothing mixes but their own calls to mix(),
// whose output they read.
//
// Every operation that can fail reports it by its result; each has a fault
// seam (platform/fault_seam.h, the Audio* kinds). All calls but mix() come
// from the program's threads (the main thread and the stream refill
// threads); the mixer takes the service's lock only to copy the buffers'
// state in and the moved cursors out, never while it mixes, and it
// allocates nothing.
namespace platform {

inline constexpr std::int32_t kAudioVolumeMax = 0;
inline constexpr std::int32_t kAudioVolumeSilent = -10000;
inline constexpr std::int32_t kAudioPanLeft = -10000;
inline constexpr std::int32_t kAudioPanCentre = 0;
inline constexpr std::int32_t kAudioPanRight = 10000;
inline constexpr std::uint32_t kAudioFrequencyMin = 100;
inline constexpr std::uint32_t kAudioFrequencyMax = 100000;

// PCM format of a buffer or of the output.
struct PcmFormat {
    std::uint32_t rate = 22050;  // frames per second
    std::uint16_t bits = 16;     // 8 (unsigned) or 16 (signed)
    std::uint16_t channels = 2;  // 1 or 2

    std::uint32_t block_align() const { return static_cast<std::uint32_t>(bits / 8) * channels; }
    std::uint32_t bytes_per_second() const { return rate * block_align(); }
    // 8 or 16 bits, 1 or 2 channels, a rate of 100 to 100000 Hz.
    bool valid() const;
};

// A buffer of the output; 0 is none. Ids are not reused soon after a
// buffer is released, so a stale id is refused rather than reaching
// another buffer.
using AudioBufferId = std::uint32_t;
inline constexpr AudioBufferId kNoAudioBuffer = 0;

class Event;

// An event set when the play cursor of a streamed buffer reaches an offset,
// or, with kAudioNotifyStop, when the buffer stops (stop() or its end).
inline constexpr std::uint32_t kAudioNotifyStop = 0xFFFFFFFFu;
struct AudioNotification {
    std::uint32_t offset = 0;  // byte offset in the buffer, or kAudioNotifyStop
    Event* event = nullptr;    // must outlive the buffer's notifications
};
inline constexpr std::size_t kAudioMaxNotifications = 32;

// A locked range of a buffer: up to two parts, the second when the range
// wraps round the buffer's end.
struct AudioLock {
    std::uint8_t* part1 = nullptr;
    std::uint32_t bytes1 = 0;
    std::uint8_t* part2 = nullptr;
    std::uint32_t bytes2 = 0;
};

struct AudioBufferStatus {
    bool playing = false;
    bool looping = false;
};

// The process's choice for outputs opened from now on: manual mixing (no
// device and no mixing thread; only mix() calls mix) or real output. Off by
// default.
void set_manual_audio_mixing(bool manual);
bool manual_audio_mixing();

class AudioOutput {
public:
    // At most this many buffers (duplicates included) exist at once.
    static constexpr int kMaxBuffers = 256;
    // Frames mixed per pass of the device callback or the mixing thread.
    static constexpr std::uint32_t kPassFrames = 512;

    AudioOutput();
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Starts the output at 22050 Hz, 16-bit stereo: the sound device when
    // one opens, else silent mixing (see above). False only when the
    // AudioOpen fault is armed or it is open already.
    bool open();
    // Stops the output and releases every buffer.
    void close();
    bool is_open() const { return open_; }
    // A real device plays what is mixed.
    bool has_device() const { return device_ != 0; }

    // The output's format. The mixer always produces 16-bit stereo frames;
    // the rate is the one given, and the device is reopened at it. False for
    // a format that is not valid (or the AudioFormat fault).
    bool set_format(const PcmFormat& format);
    PcmFormat format() const;

    // The level of the whole mix (hundredths of a decibel, clamped to
    // -10000..0).
    bool set_master_volume(std::int32_t level);
    std::int32_t master_volume() const;

    // A buffer of `bytes` bytes of silence in the given format (rounded
    // down to whole frames; at least one frame). `streamed` buffers take
    // position notifications. kNoAudioBuffer when the format is not valid,
    // no slot is free, or the AudioBufferCreate fault is armed.
    AudioBufferId create_buffer(const PcmFormat& format, std::uint32_t bytes, bool streamed);
    // A new buffer over the same sound data, stopped at its start with the
    // source's volume, pan and frequency. kNoAudioBuffer on failure
    // (AudioBufferDuplicate).
    AudioBufferId duplicate(AudioBufferId source);
    // Stops the buffer and forgets it; the data goes when its last
    // duplicate has gone and the mixer no longer reads it.
    void release(AudioBufferId id);
    bool exists(AudioBufferId id) const;

    PcmFormat buffer_format(AudioBufferId id) const;
    std::uint32_t buffer_bytes(AudioBufferId id) const;

    // Gives direct access to `bytes` bytes from `offset` (wrapping round the
    // end; `bytes` 0 means the whole buffer). False for an unknown buffer, a
    // range longer than the buffer or an offset outside it (AudioBufferLock).
    // The parts stay valid while the buffer or a duplicate exists.
    bool lock(AudioBufferId id, std::uint32_t offset, std::uint32_t bytes, AudioLock& out);
    bool unlock(AudioBufferId id, const AudioLock& locked);

    // Starts the buffer from its play cursor (AudioBufferPlay); playing it
    // again changes only the loop flag.
    bool play(AudioBufferId id, bool loop);
    // Stops it where it is; its stop notification fires when it was playing.
    bool stop(AudioBufferId id);
    bool status(AudioBufferId id, AudioBufferStatus& out) const;

    // The play cursor in bytes (AudioBufferControl for the set).
    bool set_position(AudioBufferId id, std::uint32_t byte_offset);
    bool position(AudioBufferId id, std::uint32_t& play_byte) const;

    // Volume and pan as above (clamped to their ranges); frequency in Hz,
    // clamped to 100..100000, 0 for the buffer's own rate (AudioBufferControl).
    bool set_volume(AudioBufferId id, std::int32_t level);
    bool set_pan(AudioBufferId id, std::int32_t pan);
    bool set_frequency(AudioBufferId id, std::uint32_t hz);
    bool volume(AudioBufferId id, std::int32_t& level) const;
    bool pan(AudioBufferId id, std::int32_t& pan) const;
    // The rate it plays at (its own when none was set).
    bool frequency(AudioBufferId id, std::uint32_t& hz) const;

    // Guards a streamed buffer against playing what its owner has not
    // written yet: from now on the buffer plays at most `bytes` bytes ahead
    // of its play cursor, and each add_filled() lets it play that many more.
    // Where the guard runs out, the buffer is silent and its cursor waits
    // (an underrun is heard as a gap, never as old sound played again).
    // Buffers start unguarded.
    bool set_filled_ahead(AudioBufferId id, std::uint32_t bytes);
    bool add_filled(AudioBufferId id, std::uint32_t bytes);
    // The bytes the guard still lets the buffer play (false when it is not
    // guarded): the rest of the buffer, from its oldest unplayed-over byte,
    // is free to be written again.
    bool filled_ahead(AudioBufferId id, std::uint32_t& bytes) const;

    // Replaces the buffer's notifications. Only a streamed buffer that is
    // stopped takes them; offsets must lie inside the buffer (or be
    // kAudioNotifyStop) and every event must be given (AudioBufferNotify).
    bool set_notifications(AudioBufferId id, std::span<const AudioNotification> notifications);

    // Mixes the next `frames` frames of 16-bit stereo into `out` (2 x frames
    // values) and moves every playing buffer on. The device callback and the
    // mixing thread call it; with manual mixing the tests do.
    void mix(std::int16_t* out, std::size_t frames);

    // Frames mixed since the output opened.
    std::uint64_t frames_mixed() const { return frames_mixed_.load(std::memory_order_relaxed); }

    // The service's own records (platform/audio_slot.h).
    struct Slot;
    struct MixVoice;
    struct Retired;

private:

    Slot* find(AudioBufferId id);
    const Slot* find(AudioBufferId id) const;
    // A buffer control (volume, pan, frequency, play cursor): fails when the
    // fault seam says so or the buffer is unknown, else applies `change`
    // under the lock; `change` may refuse.
    template <class Change>
    bool control(AudioBufferId id, Change change);
    AudioBufferId claim_slot(Slot*& out);
    void reap_retired();
    bool start_device();
    void stop_device();
    void start_pacer();
    void stop_pacer();
    void fire_stop(Slot& slot);
    static void device_callback(void* self, std::uint8_t* stream, int bytes);

    mutable std::mutex mutex_;
    std::unique_ptr<Slot[]> slots_;
    std::unique_ptr<MixVoice[]> voices_;   // the mixer's copy of the playing buffers
    std::unique_ptr<float[]> accumulator_; // one pass of stereo
    std::vector<Retired> retired_;
    PcmFormat format_;
    std::int32_t master_level_ = 0;
    float master_gain_ = 1.0f;
    bool open_ = false;
    std::uint32_t device_ = 0;
    std::uint32_t next_generation_ = 1;
    std::uint64_t mixes_started_ = 0;   // under mutex_
    std::uint64_t mixes_finished_ = 0;  // under mutex_
    std::atomic<std::uint64_t> frames_mixed_{0};
    std::atomic<bool> pacer_stop_{false};
    Thread pacer_;
};

// A level in hundredths of a decibel as a linear gain (0 at -10000 or
// below, 1 at 0 or above).
float audio_gain(std::int32_t level);

} // namespace platform
