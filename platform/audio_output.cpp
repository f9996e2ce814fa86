// The audio service's buffers: creation, duplicates, locks, play state and
// controls. Every call takes the service's lock for the few instructions it
// needs; the mixer (audio_mix.cpp) copies what it reads under the same lock.
#include <algorithm>
#include <cstring>

#include "platform/audio_slot.h"
#include "platform/fault_seam.h"

namespace platform {
namespace {

std::atomic<bool> g_manual_mixing{false};

constexpr std::uint32_t kIndexBits = 16;
constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;

void set_gains(AudioOutput::Slot& s)
{
    const float gain = audio_gain(s.level);
    // The side away from the pan is lowered by the pan's amount.
    s.gain_left = gain * audio_gain(s.pan > 0 ? -s.pan : 0);
    s.gain_right = gain * audio_gain(s.pan < 0 ? s.pan : 0);
}

} // namespace

void set_manual_audio_mixing(bool manual)
{
    g_manual_mixing.store(manual);
}

bool manual_audio_mixing()
{
    return g_manual_mixing.load();
}

bool PcmFormat::valid() const
{
    return (bits == 8 || bits == 16) && (channels == 1 || channels == 2) && rate >= kAudioFrequencyMin &&
           rate <= kAudioFrequencyMax;
}

AudioOutput::AudioOutput()
    : slots_(std::make_unique<Slot[]>(kMaxBuffers)), voices_(std::make_unique<MixVoice[]>(kMaxBuffers)),
      accumulator_(std::make_unique<float[]>(2 * kPassFrames))
{
    format_ = PcmFormat{22050, 16, 2};
}

AudioOutput::~AudioOutput()
{
    close();
}

bool AudioOutput::open()
{
    if (open_ || take_fault(Fault::AudioOpen))
        return false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        format_ = PcmFormat{22050, 16, 2};
        master_level_ = 0;
        master_gain_ = 1.0f;
    }
    frames_mixed_.store(0);
    open_ = true;
    if (!manual_audio_mixing() && !start_device())
        start_pacer();
    return true;
}

void AudioOutput::close()
{
    if (!open_)
        return;
    stop_device();
    stop_pacer();
    std::lock_guard<std::mutex> guard(mutex_);
    for (int i = 0; i < kMaxBuffers; ++i)
        slots_[i] = Slot{};
    retired_.clear();
    open_ = false;
}

bool AudioOutput::set_format(const PcmFormat& format)
{
    if (!open_ || !format.valid() || take_fault(Fault::AudioFormat))
        return false;
    const bool had_device = device_ != 0;
    const bool rate_changed = format.rate != this->format().rate;
    if (had_device && rate_changed)
        stop_device();
    {
        std::lock_guard<std::mutex> guard(mutex_);
        format_ = format;
    }
    if (had_device && rate_changed && !start_device()) {
        stop_pacer();
        start_pacer();
    }
    return true;
}

PcmFormat AudioOutput::format() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return format_;
}

bool AudioOutput::set_master_volume(std::int32_t level)
{
    if (!open_)
        return false;
    std::lock_guard<std::mutex> guard(mutex_);
    master_level_ = std::clamp(level, kAudioVolumeSilent, kAudioVolumeMax);
    master_gain_ = audio_gain(master_level_);
    return true;
}

std::int32_t AudioOutput::master_volume() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return master_level_;
}

AudioOutput::Slot* AudioOutput::find(AudioBufferId id)
{
    const std::uint32_t index = id & kIndexMask;
    if (index == 0 || index > static_cast<std::uint32_t>(kMaxBuffers))
        return nullptr;
    Slot& s = slots_[index - 1];
    return s.generation != 0 && s.generation == (id >> kIndexBits) ? &s : nullptr;
}

const AudioOutput::Slot* AudioOutput::find(AudioBufferId id) const
{
    return const_cast<AudioOutput*>(this)->find(id);
}

// A free slot with a fresh generation, under the lock.
AudioBufferId AudioOutput::claim_slot(Slot*& out)
{
    for (int i = 0; i < kMaxBuffers; ++i) {
        Slot& s = slots_[i];
        if (s.generation != 0)
            continue;
        s = Slot{};
        s.generation = next_generation_;
        next_generation_ = next_generation_ + 1 > 0xFFFFu ? 1 : next_generation_ + 1;
        out = &s;
        return (s.generation << kIndexBits) | static_cast<std::uint32_t>(i + 1);
    }
    return kNoAudioBuffer;
}

void AudioOutput::reap_retired()
{
    retired_.erase(std::remove_if(retired_.begin(), retired_.end(),
                                  [&](const Retired& r) { return r.mixes_started <= mixes_finished_; }),
                   retired_.end());
}

AudioBufferId AudioOutput::create_buffer(const PcmFormat& format, std::uint32_t bytes, bool streamed)
{
    if (!open_ || !format.valid() || take_fault(Fault::AudioBufferCreate))
        return kNoAudioBuffer;
    const std::uint32_t frames = std::max<std::uint32_t>(bytes / format.block_align(), 1);
    // Allocated before the lock: the mixer never waits on an allocation.
    auto data = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(frames) * format.block_align(),
                                                            format.bits == 8 ? 0x80 : 0x00);
    std::lock_guard<std::mutex> guard(mutex_);
    reap_retired();
    Slot* s = nullptr;
    const AudioBufferId id = claim_slot(s);
    if (id == kNoAudioBuffer)
        return kNoAudioBuffer;
    s->data = std::move(data);
    s->format = format;
    s->frames = frames;
    s->streamed = streamed;
    set_gains(*s);
    return id;
}

AudioBufferId AudioOutput::duplicate(AudioBufferId source)
{
    if (!open_ || take_fault(Fault::AudioBufferDuplicate))
        return kNoAudioBuffer;
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* from = find(source);
    if (!from)
        return kNoAudioBuffer;
    const int from_index = static_cast<int>(from - slots_.get());
    Slot* s = nullptr;
    const AudioBufferId id = claim_slot(s);
    if (id == kNoAudioBuffer)
        return kNoAudioBuffer;
    const Slot& original = slots_[from_index];
    s->data = original.data;
    s->format = original.format;
    s->frames = original.frames;
    s->streamed = original.streamed;
    s->level = original.level;
    s->pan = original.pan;
    s->frequency = original.frequency;
    set_gains(*s);
    return id;
}

void AudioOutput::release(AudioBufferId id)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    if (!s)
        return;
    if (s->playing)
        fire_stop(*s);
    // A pass that began before this may still read the data: keep it until
    // that pass has finished.
    if (mixes_started_ > mixes_finished_)
        retired_.push_back(Retired{std::move(s->data), mixes_started_});
    *s = Slot{};
    reap_retired();
}

bool AudioOutput::exists(AudioBufferId id) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return find(id) != nullptr;
}

PcmFormat AudioOutput::buffer_format(AudioBufferId id) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    return s ? s->format : PcmFormat{};
}

std::uint32_t AudioOutput::buffer_bytes(AudioBufferId id) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    return s ? s->frames * s->format.block_align() : 0;
}

bool AudioOutput::lock(AudioBufferId id, std::uint32_t offset, std::uint32_t bytes, AudioLock& out)
{
    out = AudioLock{};
    if (take_fault(Fault::AudioBufferLock))
        return false;
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    if (!s)
        return false;
    const std::uint32_t size = s->frames * s->format.block_align();
    if (bytes == 0)
        bytes = size;
    if (offset >= size || bytes > size)
        return false;
    std::uint8_t* base = s->data->data();
    out.part1 = base + offset;
    out.bytes1 = std::min(bytes, size - offset);
    if (out.bytes1 < bytes) {
        out.part2 = base;
        out.bytes2 = bytes - out.bytes1;
    }
    return true;
}

bool AudioOutput::unlock(AudioBufferId id, const AudioLock& locked)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    if (!s)
        return false;
    const std::uint8_t* base = s->data->data();
    const std::uint32_t size = s->frames * s->format.block_align();
    const auto inside = [&](const std::uint8_t* p, std::uint32_t n) {
        return !p || (p >= base && p + n <= base + size);
    };
    return inside(locked.part1, locked.bytes1) && inside(locked.part2, locked.bytes2);
}

bool AudioOutput::play(AudioBufferId id, bool loop)
{
    if (take_fault(Fault::AudioBufferPlay))
        return false;
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    if (!s)
        return false;
    if (!s->playing)
        ++s->serial;
    s->playing = true;
    s->looping = loop;
    return true;
}

bool AudioOutput::stop(AudioBufferId id)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    if (!s)
        return false;
    if (s->playing) {
        s->playing = false;
        s->looping = false;
        ++s->serial;
        fire_stop(*s);
    }
    return true;
}

bool AudioOutput::status(AudioBufferId id, AudioBufferStatus& out) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    out = AudioBufferStatus{};
    if (!s)
        return false;
    out.playing = s->playing;
    out.looping = s->playing && s->looping;
    return true;
}

template <class Change>
bool AudioOutput::control(AudioBufferId id, Change change)
{
    if (take_fault(Fault::AudioBufferControl))
        return false;
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    return s && change(*s);
}

bool AudioOutput::set_position(AudioBufferId id, std::uint32_t byte_offset)
{
    return control(id, [&](Slot& s) {
        const std::uint32_t frame = byte_offset / s.format.block_align();
        if (frame >= s.frames)
            return false;
        s.position = static_cast<std::uint64_t>(frame) << kAudioFractionBits;
        ++s.serial;
        return true;
    });
}

bool AudioOutput::position(AudioBufferId id, std::uint32_t& play_byte) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    play_byte = 0;
    if (!s)
        return false;
    play_byte = static_cast<std::uint32_t>(s->position >> kAudioFractionBits) * s->format.block_align();
    return true;
}

bool AudioOutput::set_volume(AudioBufferId id, std::int32_t level)
{
    return control(id, [&](Slot& s) {
        s.level = std::clamp(level, kAudioVolumeSilent, kAudioVolumeMax);
        set_gains(s);
        return true;
    });
}

bool AudioOutput::set_pan(AudioBufferId id, std::int32_t pan)
{
    return control(id, [&](Slot& s) {
        s.pan = std::clamp(pan, kAudioPanLeft, kAudioPanRight);
        set_gains(s);
        return true;
    });
}

bool AudioOutput::set_frequency(AudioBufferId id, std::uint32_t hz)
{
    return control(id, [&](Slot& s) {
        s.frequency = hz == 0 ? 0 : std::clamp(hz, kAudioFrequencyMin, kAudioFrequencyMax);
        return true;
    });
}

bool AudioOutput::volume(AudioBufferId id, std::int32_t& level) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    level = s ? s->level : kAudioVolumeSilent;
    return s != nullptr;
}

bool AudioOutput::pan(AudioBufferId id, std::int32_t& pan) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    pan = s ? s->pan : 0;
    return s != nullptr;
}

bool AudioOutput::frequency(AudioBufferId id, std::uint32_t& hz) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    hz = s ? (s->frequency ? s->frequency : s->format.rate) : 0;
    return s != nullptr;
}

bool AudioOutput::set_filled_ahead(AudioBufferId id, std::uint32_t bytes)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    if (!s || !s->streamed)
        return false;
    s->filled_ahead = bytes;
    return true;
}

bool AudioOutput::add_filled(AudioBufferId id, std::uint32_t bytes)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    if (!s || s->filled_ahead < 0)
        return false;
    // Never more than the whole buffer: older bytes are overwritten.
    const std::int64_t size = static_cast<std::int64_t>(s->frames) * s->format.block_align();
    s->filled_ahead = std::min<std::int64_t>(size, s->filled_ahead + bytes);
    return true;
}

bool AudioOutput::filled_ahead(AudioBufferId id, std::uint32_t& bytes) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const Slot* s = find(id);
    bytes = 0;
    if (!s || s->filled_ahead < 0)
        return false;
    bytes = static_cast<std::uint32_t>(s->filled_ahead);
    return true;
}

bool AudioOutput::set_notifications(AudioBufferId id, std::span<const AudioNotification> notifications)
{
    if (notifications.size() > kAudioMaxNotifications || take_fault(Fault::AudioBufferNotify))
        return false;
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* s = find(id);
    if (!s || !s->streamed || s->playing)
        return false;
    const std::uint32_t size = s->frames * s->format.block_align();
    for (const AudioNotification& n : notifications) {
        if (!n.event || (n.offset != kAudioNotifyStop && n.offset >= size))
            return false;
    }
    std::copy(notifications.begin(), notifications.end(), s->notify.begin());
    s->notify_count = static_cast<std::uint32_t>(notifications.size());
    return true;
}

} // namespace platform
