// Positioned sound: the library keeps the nearest voices audible and gives
// each its level, pan and Doppler pitch from where it lies relative to the
// listener, in the ground plane.
#include <algorithm>
#include <cmath>

#include "sound/sound_library.h"

namespace {

// Beyond this Doppler exponent (the sound closing or leaving at more than
// 0.8 x 260 m/s) the shift is dropped as a jump of the source, not motion.
constexpr float kDopplerLimit = 0.8f;
constexpr float kDopplerSpeed = 260.0f;
// Positioned sounds are mixed below full level, leaving room for the
// engine sound set and the music.
constexpr float kPositionedLevel = 0.7f;

struct Candidate {
    SoundSlot* slot;
    bool alwaysAudible;
    float distance;
};

} // namespace

void SoundLibrary::PositionVoice(SoundSlot& slot, float dt)
{
    const float dx = slot.m_Position[0] - m_ListenerPosition[0];
    const float dz = slot.m_Position[2] - m_ListenerPosition[2];
    const float d = std::sqrt(dx * dx + dz * dz) * m_fDistanceScale;
    if (slot.m_fLastDistance == -1.0f)
        slot.m_fLastDistance = d;

    float attenuation = 0.0f;
    float pan = 0.0f;
    float doppler = 0.0f;
    if (d < slot.m_fMaxDistance) {
        if (dt > 0.0f) {
            doppler = (slot.m_fLastDistance - d) / dt / kDopplerSpeed;
            if (!(std::fabs(doppler) < kDopplerLimit))
                doppler = 0.0f;
        }
        const float range = slot.m_fMaxDistance - slot.m_fMinDistance;
        if (d <= slot.m_fMinDistance || range <= 0.0f)
            attenuation = 1.0f;
        else
            attenuation = std::max(0.0f, 1.0f - (d - slot.m_fMinDistance) / range);
        // The listener's right in the ground plane, from its heading: the
        // world is right-handed with y up, so facing +z the right is -x.
        // Pan grows with the sideways offset, so near sounds stay centred.
        const float heading = -m_fListenerHeading;
        const float rightX = -std::cos(heading);
        const float rightZ = std::sin(heading);
        if (slot.m_fMaxDistance > 0.0f)
            pan = 10000.0f * (dx * rightX + dz * rightZ) * m_fDistanceScale / slot.m_fMaxDistance;
    }
    pan = std::clamp(pan, -10000.0f, 10000.0f);

    m_Output.set_volume(slot.m_Buffer, SampleLevel(attenuation * slot.m_fVolume * kPositionedLevel));
    m_Output.set_pan(slot.m_Buffer, static_cast<std::int32_t>(pan));
    if (!slot.m_bAlwaysAudible) {
        const double shifted = std::trunc(std::exp2(static_cast<double>(doppler)) * slot.m_nFrequency);
        m_Output.set_frequency(slot.m_Buffer, static_cast<std::uint32_t>(std::clamp(
                                                  shifted, static_cast<double>(platform::kAudioFrequencyMin),
                                                  static_cast<double>(platform::kAudioFrequencyMax))));
    }
    platform::AudioBufferStatus status;
    m_Output.status(slot.m_Buffer, status);
    if (!status.playing) {
        m_Output.play(slot.m_Buffer, slot.m_bLoop != 0);
        slot.m_bStopped = 0;
    }
    slot.m_fLastDistance = d;
}

void SoundLibrary::Update3DSounds(float dt, int budget)
{
    if (!m_bInitialised || dt == 0.0f)
        return;
    if (!m_bPrimaryPlaying)
        m_bPrimaryPlaying = 1;

    Candidate table[kSoundMaxSamples + kSoundMaxVoices];
    int count = 0;
    const auto gather = [&](SoundSlot& s) {
        if (!s.m_Buffer || !s.m_b3D || !s.m_bActive || s.m_fMinDistance == kSoundSetMarker)
            return;
        platform::AudioBufferStatus status;
        m_Output.status(s.m_Buffer, status);
        // Paused voices (stopped by an earlier selection) stay candidates,
        // so they sound again when they come near.
        if (!status.playing && !s.m_bLoop && !s.m_bStopped)
            return;
        const float dx = s.m_Position[0] - m_ListenerPosition[0];
        const float dz = s.m_Position[2] - m_ListenerPosition[2];
        table[count++] = Candidate{&s, s.m_bAlwaysAudible != 0, std::sqrt(dx * dx + dz * dz) * m_fDistanceScale};
    };
    for (SoundSlot& s : m_Samples)
        gather(s);
    for (SoundSlot& v : m_Voices)
        gather(v);

    // Nearest first; equal distances keep their order.
    std::stable_sort(table, table + count,
                     [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    for (int i = 0; i < count; ++i) {
        SoundSlot& s = *table[i].slot;
        if (i < budget || table[i].alwaysAudible) {
            if (s.m_bStopped && m_Output.play(s.m_Buffer, s.m_bLoop != 0))
                s.m_bStopped = 0;
            PositionVoice(s, dt);
        } else {
            m_Output.stop(s.m_Buffer);
            s.m_bStopped = 1;
        }
    }
    ReleaseFinishedVoices();
}

void SoundLibrary::ReleaseFinishedVoices()
{
    for (SoundSlot& v : m_Voices) {
        if (!v.m_Buffer || !v.m_bReleaseWhenFinished || v.m_bStopped)
            continue;
        platform::AudioBufferStatus status;
        m_Output.status(v.m_Buffer, status);
        if (status.playing)
            continue;
        m_Output.release(v.m_Buffer);
        v = SoundSlot{};
        if (m_nVoiceCount > 0)
            --m_nVoiceCount;
    }
}
