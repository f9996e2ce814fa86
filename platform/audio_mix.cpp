// The mixer: every playing buffer resampled, scaled and added into one
// stereo sum, softly limited below full scale.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audio_slot.h"
#include "platform/sync_event.h"

namespace platform {
namespace {

constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kAudioFractionBits) - 1;
constexpr float kFractionScale = 1.0f / 4294967296.0f;

// The mix's soft limiter: below the knee the sum passes unchanged; above it
// the sum bends smoothly (its slope 1 at the knee) towards a ceiling under
// full scale, so loud moments (many voices, a beep over the engines, the
// music on top) are squeezed instead of clipped flat.
constexpr float kLimiterKnee = 24000.0f;
constexpr float kLimiterCeiling = 32000.0f;

inline float soft_limit(float x)
{
    const float size = std::fabs(x);
    if (size <= kLimiterKnee)
        return x;
    constexpr float room = kLimiterCeiling - kLimiterKnee;
    const float bent = kLimiterKnee + room * std::tanh((size - kLimiterKnee) / room);
    return x < 0.0f ? -bent : bent;
}

// Sample `channel` of frame `frame` as a 16-bit value.
inline float sample_at(const std::uint8_t* data, std::uint32_t frame, int channel, int channels, int bits)
{
    if (bits == 8)
        return static_cast<float>((static_cast<int>(data[frame * channels + channel]) - 128) * 256);
    const std::uint8_t* p = data + (static_cast<std::size_t>(frame) * channels + channel) * 2;
    return static_cast<float>(static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8))));
}

} // namespace

void mix_voice(AudioOutput::MixVoice& v, float* acc, std::size_t frames)
{
    const std::uint64_t length = static_cast<std::uint64_t>(v.frames) << kAudioFractionBits;
    std::uint64_t pos = v.position;
    std::uint64_t passed = 0;
    v.ended = false;
    if (v.frames == 0) {
        v.ended = true;
        v.end_position = 0;
        v.frames_played = 0;
        return;
    }
    const bool stereo = v.channels == 2;
    v.starved = false;
    for (std::size_t i = 0; i < frames; ++i) {
        // A guarded stream plays only what has been written; the rest of
        // the pass is silent and the cursor waits for more.
        if (passed >= v.playable) {
            v.starved = true;
            break;
        }
        if (pos >= length) {
            if (!v.looping) {
                v.ended = true;
                break;
            }
            pos %= length;
        }
        const auto frame = static_cast<std::uint32_t>(pos >> kAudioFractionBits);
        // The frame after it, which the interpolation leans towards: past
        // the end of a one-shot buffer, or past what a guarded stream has
        // written, the current frame stands in for it.
        std::uint32_t next = frame + 1 < v.frames ? frame + 1 : (v.looping ? 0 : frame);
        if (passed + 1 >= v.playable)
            next = frame;
        const float t = static_cast<float>(pos & kFractionMask) * kFractionScale;
        const float a0 = sample_at(v.data, frame, 0, v.channels, v.bits);
        const float b0 = sample_at(v.data, next, 0, v.channels, v.bits);
        const float left = a0 + (b0 - a0) * t;
        float right = left;
        if (stereo) {
            const float a1 = sample_at(v.data, frame, 1, 2, v.bits);
            const float b1 = sample_at(v.data, next, 1, 2, v.bits);
            right = a1 + (b1 - a1) * t;
        }
        acc[2 * i] += left * v.gain_left;
        acc[2 * i + 1] += right * v.gain_right;
        const std::uint64_t before = pos >> kAudioFractionBits;
        pos += v.step;
        passed += (pos >> kAudioFractionBits) - before;
    }
    if (v.ended) {
        v.end_position = 0;
    } else {
        if (pos >= length && v.looping)
            pos %= length;
        v.end_position = pos;
    }
    v.frames_played = passed;
}

void AudioOutput::mix(std::int16_t* out, std::size_t frames)
{
    while (frames > 0) {
        const std::size_t pass = std::min<std::size_t>(frames, kPassFrames);

        // Copy the playing buffers' state in.
        int count = 0;
        std::uint32_t out_rate = 0;
        float master = 1.0f;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            ++mixes_started_;
            out_rate = format_.rate;
            master = master_gain_;
            for (int i = 0; i < kMaxBuffers; ++i) {
                const Slot& s = slots_[i];
                if (s.generation == 0 || !s.playing)
                    continue;
                MixVoice& v = voices_[count++];
                v.slot = i;
                v.generation = s.generation;
                v.serial = s.serial;
                v.data = s.data->data();
                v.frames = s.frames;
                v.bits = s.format.bits;
                v.channels = s.format.channels;
                v.looping = s.looping;
                v.position = s.position;
                const std::uint64_t rate = s.frequency ? s.frequency : s.format.rate;
                v.step = (rate << kAudioFractionBits) / out_rate;
                v.gain_left = s.gain_left;
                v.gain_right = s.gain_right;
                v.playable = s.filled_ahead < 0 ? ~std::uint64_t{0}
                                                : static_cast<std::uint64_t>(s.filled_ahead) / s.format.block_align();
            }
        }

        float* acc = accumulator_.get();
        std::fill(acc, acc + 2 * pass, 0.0f);
        for (int i = 0; i < count; ++i)
            mix_voice(voices_[i], acc, pass);

        // Write the moved cursors back and wake whoever waits on them. The
        // events are set under the lock so that a buffer released after it
        // is never signalled, whatever its owner does with its events.
        {
            std::lock_guard<std::mutex> guard(mutex_);
            for (int i = 0; i < count; ++i) {
                const MixVoice& v = voices_[i];
                Slot& s = slots_[v.slot];
                if (s.generation != v.generation || s.serial != v.serial || !s.playing)
                    continue;
                const std::uint32_t align = s.format.block_align();
                const std::uint64_t size = static_cast<std::uint64_t>(s.frames) * align;
                const std::uint64_t start = (v.position >> kAudioFractionBits) * align;
                const std::uint64_t covered = v.frames_played * align;
                for (std::uint32_t n = 0; n < s.notify_count; ++n) {
                    const AudioNotification& note = s.notify[n];
                    if (note.offset == kAudioNotifyStop || !note.event)
                        continue;
                    // The bytes played in this pass run from `start` for
                    // `covered` bytes, round the end when looping.
                    const std::uint64_t ahead = (note.offset + size - start % size) % size;
                    if (ahead < covered)
                        note.event->set();
                }
                s.position = v.end_position;
                if (s.filled_ahead >= 0)
                    s.filled_ahead = std::max<std::int64_t>(
                        0, s.filled_ahead - static_cast<std::int64_t>(v.frames_played * align));
                if (v.ended) {
                    s.playing = false;
                    s.looping = false;
                    fire_stop(s);
                }
            }
            ++mixes_finished_;
        }

        for (std::size_t i = 0; i < 2 * pass; ++i) {
            const float x = std::nearbyint(soft_limit(acc[i] * master));
            out[i] = static_cast<std::int16_t>(std::clamp(x, -32768.0f, 32767.0f));
        }
        frames_mixed_.fetch_add(pass, std::memory_order_relaxed);
        out += 2 * pass;
        frames -= pass;
    }
}

void AudioOutput::fire_stop(Slot& slot)
{
    for (std::uint32_t n = 0; n < slot.notify_count; ++n) {
        if (slot.notify[n].offset == kAudioNotifyStop && slot.notify[n].event)
            slot.notify[n].event->set();
    }
}

float audio_gain(std::int32_t level)
{
    if (level <= kAudioVolumeSilent)
        return 0.0f;
    if (level >= 0)
        return 1.0f;
    return static_cast<float>(std::pow(10.0, static_cast<double>(level) / 2000.0));
}

} // namespace platform
