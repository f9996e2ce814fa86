// Voices: a sample plays on its own buffer or on one of 96 duplicates of
// it, each named by (sample id, instance).
#include <algorithm>
#include <cmath>

#include "sound/sound_library.h"

namespace {

std::int32_t ClampFrequency(std::int64_t hz)
{
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(hz, platform::kAudioFrequencyMin, platform::kAudioFrequencyMax));
}

} // namespace

bool SoundLibrary::FindVoice(std::int32_t id, std::int32_t instance, SoundSlot*& slot)
{
    slot = nullptr;
    for (SoundSlot& s : m_Samples) {
        if (s.m_Buffer && s.m_nId == id && s.m_nInstance == instance) {
            slot = &s;
            return true;
        }
    }
    for (SoundSlot& v : m_Voices) {
        if (v.m_Buffer && v.m_nId == id && v.m_nInstance == instance) {
            slot = &v;
            return true;
        }
    }
    return false;
}

int SoundLibrary::FindStoppedVoice(std::int32_t id) const
{
    for (int i = 0; i < kSoundMaxVoices; ++i) {
        const SoundSlot& v = m_Voices[i];
        if (!v.m_Buffer || v.m_nId != id)
            continue;
        // A voice the nearest-voice selection has paused still belongs to
        // its instance.
        if (v.m_bStopped && v.m_bActive)
            continue;
        platform::AudioBufferStatus status;
        m_Output.status(v.m_Buffer, status);
        if (!status.playing && !status.looping)
            return i;
    }
    return -1;
}

int SoundLibrary::FindFreeVoice() const
{
    for (int i = 0; i < kSoundMaxVoices; ++i)
        if (!m_Voices[i].m_Buffer)
            return i;
    return -1;
}

std::int32_t SoundLibrary::Play(std::int32_t id, std::int32_t instance, std::int32_t frequency, float volume,
                                std::int32_t pan, std::uint8_t flags)
{
    if (!m_bInitialised)
        return kSoundOk;
    const int sampleIndex = FindSample(id);
    if (sampleIndex < 0)
        return kSoundCannotPlay;
    SoundSlot& sample = m_Samples[sampleIndex];

    if (flags & (kPlayUpdateFrequency | kPlayUpdateValues)) {
        SoundSlot* live = nullptr;
        if (FindVoice(id, instance, live)) {
            platform::AudioBufferStatus status;
            m_Output.status(live->m_Buffer, status);
            if ((flags & kPlayUpdateFrequency) && (status.playing || live->m_bActive)) {
                if (frequency != kSoundKeep)
                    live->m_nFrequency = ClampFrequency(frequency);
                return kSoundOk;
            }
            if ((flags & kPlayUpdateValues) && status.playing) {
                if (frequency != kSoundKeep)
                    live->m_nFrequency = ClampFrequency(frequency);
                if (volume != kSoundKeepF)
                    live->m_fVolume = volume;
                return kSoundOk;
            }
        }
    }

    platform::AudioBufferStatus own;
    m_Output.status(sample.m_Buffer, own);
    SoundSlot* slot = nullptr;
    if (flags & kPlayRestartOwn) {
        slot = &sample;
        if (own.playing)
            m_Output.stop(sample.m_Buffer);
        m_Output.set_position(sample.m_Buffer, 0);
    } else if (flags & kPlayOwnIfIdle) {
        slot = &sample;
        if (own.playing)
            return kSoundOk;
        m_Output.set_position(sample.m_Buffer, 0);
    } else if (!own.playing && instance == 0) {
        slot = &sample;
        m_Output.set_position(sample.m_Buffer, 0);
        slot->m_bActive = 1;
    } else if (const int stopped = FindStoppedVoice(id); stopped >= 0) {
        // A stopped voice of the sample is taken over and starts below with
        // this call's values, as a fresh voice would.
        slot = &m_Voices[stopped];
        m_Output.stop(slot->m_Buffer);
        m_Output.set_position(slot->m_Buffer, 0);
        slot->m_bActive = 1;
        slot->m_bStopped = 0;
        slot->m_fLastDistance = -1.0f;
    } else {
        const int free = FindFreeVoice();
        if (free < 0)
            return kSoundCannotPlay;
        SoundSlot& voice = m_Voices[free];
        voice = sample;
        voice.m_Buffer = m_Output.duplicate(sample.m_Buffer);
        if (!voice.m_Buffer) {
            voice = SoundSlot{};
            return kSoundBufferError;
        }
        voice.m_nId = id;
        // A sample an engine sound set plays carries the set's marker; its
        // voices are ordinary positioned sounds.
        if (voice.m_fMinDistance == kSoundSetMarker)
            voice.m_fMinDistance = 0.0f;
        voice.m_bStopped = 0;
        voice.m_fLastDistance = -1.0f;
        voice.m_bActive = 1;
        ++m_nVoiceCount;
        slot = &voice;
    }
    slot->m_nInstance = instance;
    slot->m_nFrequency = static_cast<std::int32_t>(slot->m_Format.rate);
    m_Output.set_frequency(slot->m_Buffer, 0);

    slot->m_bLoop = (flags & kPlayLoop) ? 1 : 0;
    slot->m_fVolume = volume == kSoundKeepF ? 1.0f : volume;
    m_Output.set_volume(slot->m_Buffer, SampleLevel(slot->m_fVolume));
    if (frequency != kSoundKeep)
        SetVoiceFrequency(id, instance, frequency);
    if (pan != kSoundKeep && !m_bHardware3D)
        m_Output.set_pan(slot->m_Buffer, pan);
    slot->m_bAlwaysAudible = (flags & kPlayAlwaysAudible) ? 1 : 0;

    if (flags & kPlayPositioned) {
        slot->m_b3D = 1;
        PositionVoice(*slot, 0.01f);
        return kSoundOk;
    }
    if (!m_Output.play(slot->m_Buffer, slot->m_bLoop != 0))
        return kSoundCannotPlay;
    slot->m_bStopped = 0;
    return kSoundOk;
}

std::int32_t SoundLibrary::StopVoice(std::int32_t id, std::int32_t instance)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    m_Output.stop(slot->m_Buffer);
    slot->m_bStopped = 1;
    slot->m_bActive = 0;
    return kSoundOk;
}

std::int32_t SoundLibrary::StopVoiceNow(std::int32_t id, std::int32_t instance)
{
    return StopVoice(id, instance);
}

std::int32_t SoundLibrary::PauseVoice(std::int32_t id, std::int32_t instance)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    m_Output.stop(slot->m_Buffer);
    slot->m_bStopped = 1;
    return kSoundOk;
}

std::int32_t SoundLibrary::ResumeVoice(std::int32_t id, std::int32_t instance)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    if (!m_Output.play(slot->m_Buffer, slot->m_bLoop != 0))
        return kSoundCannotPlay;
    slot->m_bStopped = 0;
    return kSoundOk;
}

std::int32_t SoundLibrary::SetVoiceFrequency(std::int32_t id, std::int32_t instance, std::int32_t hz)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    // Kept in the slot too, so the positioning shifts this frequency.
    slot->m_nFrequency = ClampFrequency(hz);
    m_Output.set_frequency(slot->m_Buffer, static_cast<std::uint32_t>(slot->m_nFrequency));
    return kSoundOk;
}

std::int32_t SoundLibrary::SetVoicePan(std::int32_t id, std::int32_t instance, std::int32_t pan)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    m_Output.set_pan(slot->m_Buffer, pan);
    return kSoundOk;
}

std::int32_t SoundLibrary::SetVoiceVolume(std::int32_t id, std::int32_t instance, float v)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    slot->m_fVolume = v;
    // A positioned voice takes its level from the next positioning.
    if (!slot->m_b3D)
        m_Output.set_volume(slot->m_Buffer, SampleLevel(v));
    return kSoundOk;
}

std::int32_t SoundLibrary::SetVoiceDistance(std::int32_t id, std::int32_t instance, float minimum, float maximum)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    if (slot->m_b3D) {
        slot->m_fMinDistance = minimum * m_fDistanceScale;
        slot->m_fMaxDistance = maximum * m_fDistanceScale;
    }
    return kSoundOk;
}

std::int32_t SoundLibrary::SetVoicePosition(std::int32_t id, std::int32_t instance, float x, float y, float z)
{
    SoundSlot* slot = nullptr;
    if (!m_bInitialised || !FindVoice(id, instance, slot))
        return kSoundUnknownError;
    if (slot->m_b3D) {
        slot->m_Position[0] = x;
        slot->m_Position[1] = y;
        slot->m_Position[2] = z;
    }
    return kSoundOk;
}

std::int32_t SoundLibrary::SetVoicePosition3D(std::int32_t id, std::int32_t instance, float /*x*/, float /*y*/,
                                              float /*z*/)
{
    SoundSlot* slot = nullptr;
    return m_bInitialised && FindVoice(id, instance, slot) ? kSoundOk : kSoundUnknownError;
}

std::int32_t SoundLibrary::SetVoiceCone(std::int32_t id, std::int32_t instance, std::int32_t /*insideAngle*/,
                                        std::int32_t /*outsideAngle*/, const float* /*orientation*/,
                                        std::int32_t /*outsideVolume*/)
{
    SoundSlot* slot = nullptr;
    return m_bInitialised && FindVoice(id, instance, slot) ? kSoundOk : kSoundUnknownError;
}

void SoundLibrary::SetListener(const float position[3], const float velocity[3], const float front[3],
                               const float* /*top*/)
{
    if (!m_bInitialised)
        return;
    for (int i = 0; i < 3; ++i) {
        m_ListenerPosition[i] = position[i];
        m_ListenerVelocity[i] = velocity[i];
    }
    m_fListenerHeading = -std::atan2(front[0], front[2]);
}
