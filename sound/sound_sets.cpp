// Engine sound sets: up to ten looping layers per bike model, each sounding
// over a range of revs, cross-faded at its edges and pitched with the revs.
// Up to five layers sound together, one per layer slot.
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

#include "app/typed_list.h"
#include "sound/sound_library.h"

static_assert(offsetof(SoundSetLayer, m_bEnabled) == 80, "the list's fields fill the first 84 bytes");
static_assert(offsetof(SoundSetLayer, m_nSampleId) == kSoundLayerFileBytes, "the sample id follows the list's fields");

namespace {

constexpr double kSetBaseRate = 22050.0;
constexpr double kPi = 3.14159265358979323846;

} // namespace

int SoundLibrary::LoadWav(const char* listFile, const char* listKey, const char* folder, std::int32_t firstId)
{
    if (!m_bInitialised)
        return -1;
    if (m_nSetCount >= kSoundMaxSets) {
        std::fprintf(stderr, "sound: engine sound set \"%s\" not loaded: %d sets are loaded already\n",
                     listKey ? listKey : "", kSoundMaxSets);
        return 0;
    }
    const int set = m_nSetCount;
    SoundSetLayer* layers = m_Sets[set];
    for (int i = 0; i < kSoundMaxLayers; ++i)
        layers[i] = SoundSetLayer{};
    const int count = ReadTypedList(listFile, listKey, layers, kSoundLayerFileBytes, sizeof(SoundSetLayer),
                                    kSoundMaxLayers);
    for (int i = 0; i < count; ++i) {
        SoundSetLayer& layer = layers[i];
        layer.m_szName[sizeof layer.m_szName - 1] = '\0';
        const std::string path = std::string(folder ? folder : "") + layer.m_szName + ".wav";
        const std::int32_t result = AddSample(path.c_str(), firstId + i, true, false);
        if (result != kSoundOk)
            std::fprintf(stderr, "sound: engine layer \"%s\": %s\n", path.c_str(), GetErrorText(result));
        layer.m_nSampleId = firstId + i;
    }
    m_LayerCounts[set] = count;
    ++m_nSetCount;
    return count;
}

void SoundLibrary::StopSetSlots(std::int32_t set)
{
    for (std::int32_t& entry : m_SetVoices) {
        if (entry >= 0 && set >= 0 && set < m_nSetCount && entry < m_LayerCounts[set])
            StopVoiceNow(m_Sets[set][entry].m_nSampleId, 0);
        entry = -1;
    }
}

std::int32_t SoundLibrary::PlaySoundSet(std::int32_t set, float speed, float dt, float volume)
{
    if (!m_bInitialised)
        return kSoundOk;
    if (speed == -1.0f || (m_nCurrentSet != -1 && m_nCurrentSet != set)) {
        StopSetSlots(m_nCurrentSet != -1 ? m_nCurrentSet : set);
        if (speed == -1.0f)
            return kSoundOk;
    }
    if (set < 0 || set >= m_nSetCount)
        return kSoundCannotPlay;
    m_nCurrentSet = set;

    for (int k = 0; k < kSoundSetSlots; ++k) {
        int chosen = -1;
        for (int i = 0; i < m_LayerCounts[set] && chosen < 0; ++i) {
            const SoundSetLayer& l = m_Sets[set][i];
            if (l.m_nSlot == k && static_cast<float>(l.m_nLow) <= speed && speed < static_cast<float>(l.m_nHigh))
                chosen = i;
        }
        std::int32_t& entry = m_SetVoices[k];
        if (chosen < 0) {
            if (entry >= 0)
                StopVoiceNow(m_Sets[set][entry].m_nSampleId, 0);
            entry = -1;
            continue;
        }
        const SoundSetLayer& l = m_Sets[set][chosen];
        // The range is not empty (low <= speed < high), so no width below
        // is zero where it divides.
        const double s = speed;
        const double pitch =
            l.m_nPitchLow + (s - l.m_nLow) / (l.m_nHigh - l.m_nLow) * (l.m_nPitchHigh - l.m_nPitchLow);
        double frequency = kSetBaseRate * std::exp2(pitch / 12.0 + l.m_nFineTune / 1536.0);
        if (l.m_nWobble != 0) {
            if (l.m_fWobblePeriod > 0.0f) {
                m_fSetPhase += dt / l.m_fWobblePeriod;
                if (m_fSetPhase >= 1.0f)
                    m_fSetPhase = -1.0f;
            }
            frequency *= std::exp2(l.m_nWobble / 120.0 * std::sin(std::fabs(m_fSetPhase) * kPi / 2.0));
        }
        double fade = 1.0;
        if (s < l.m_nFullFrom)
            fade = (s - l.m_nLow) / (l.m_nFullFrom - l.m_nLow);
        else if (s > l.m_nFullTo)
            fade = 1.0 - (s - l.m_nFullTo) / (l.m_nHigh - l.m_nFullTo);
        const float level = static_cast<float>(l.m_fVolumeLow + fade * volume * (l.m_fVolumeHigh - l.m_fVolumeLow));

        const int sampleIndex = FindSample(l.m_nSampleId);
        if (sampleIndex < 0)
            return kSoundCannotPlay;
        SoundSlot& sample = m_Samples[sampleIndex];
        const auto hz = static_cast<std::uint32_t>(std::fmin(std::fmax(frequency, platform::kAudioFrequencyMin),
                                                             platform::kAudioFrequencyMax));
        if (entry != chosen) {
            if (entry >= 0)
                StopVoiceNow(m_Sets[set][entry].m_nSampleId, 0);
            m_Output.stop(sample.m_Buffer);
            m_Output.set_position(sample.m_Buffer, 0);
            sample.m_nId = l.m_nSampleId;
            sample.m_nInstance = 0;
            sample.m_nFrequency = static_cast<std::int32_t>(sample.m_Format.rate);
            sample.m_fMinDistance = kSoundSetMarker;
            sample.m_bLoop = 1;
            sample.m_bActive = 1;
            sample.m_bStopped = 0;
            entry = chosen;
            m_Output.set_frequency(sample.m_Buffer, hz);
            m_Output.set_volume(sample.m_Buffer, SampleLevel(level));
            m_Output.play(sample.m_Buffer, true);
        } else {
            m_Output.set_frequency(sample.m_Buffer, hz);
            m_Output.set_volume(sample.m_Buffer, SampleLevel(level));
        }
    }
    return kSoundOk;
}

std::int32_t SoundLibrary::GetSoundSetSample(std::int32_t set) const
{
    if (set < 0 || set >= m_nSetCount)
        return -1;
    for (int i = 0; i < m_LayerCounts[set]; ++i)
        if (m_Sets[set][i].m_bEnabled)
            return m_Sets[set][i].m_nSampleId;
    return -1;
}
