// Samples: ".wav" files loaded whole into buffers of the output, 64 at most.
#include <vector>

#include "app/mixer.h"
#include "sound/sound_library.h"
#include "sound/wav_file.h"

std::int32_t SoundLibrary::AddSample(const char* fileName, std::int32_t id, bool positioned, bool releaseWhenFinished)
{
    if (!m_bInitialised)
        return kSoundOk;
    // Sample ids are 16-bit.
    if (id < 0 || id > 0xFFFF || FindSample(id) >= 0)
        return kSoundBadId;
    int free = -1;
    for (int i = 0; i < kSoundMaxSamples && free < 0; ++i)
        if (!m_Samples[i].m_Buffer)
            free = i;
    if (m_nSampleCount >= kSoundMaxSamples || free < 0)
        return kSoundTooManySamples;

    mixer file;
    if (!fileName || !OpenSoundFile(fileName, file))
        return kSoundFileError;
    WavInfo wav;
    if (!ReadWavHeader(file, wav))
        return kSoundFileError;
    std::vector<std::uint8_t> data(wav.data_size);
    if (file.seekfile(static_cast<int>(wav.data_start), 0) < 0 ||
        file.read(data.data(), static_cast<int>(data.size())) != static_cast<int>(data.size()))
        return kSoundFileError;

    SoundSlot& slot = m_Samples[free];
    const std::int32_t created = positioned ? CreateBuffer(slot, wav.format, wav.data_size)
                                            : CreatePlainBuffer(slot, wav.format, wav.data_size, true);
    if (created != kSoundOk)
        return kSoundBufferError;
    platform::AudioLock lock;
    if (!m_Output.lock(slot.m_Buffer, 0, wav.data_size, lock)) {
        m_Output.release(slot.m_Buffer);
        slot = SoundSlot{};
        return kSoundCannotPlay;
    }
    std::copy(data.begin(), data.begin() + lock.bytes1, lock.part1);
    if (lock.part2)
        std::copy(data.begin() + lock.bytes1, data.end(), lock.part2);
    m_Output.unlock(slot.m_Buffer, lock);

    slot.m_Format = wav.format;
    slot.m_uDataSize = wav.data_size;
    slot.m_nId = id;
    slot.m_nInstance = 0;
    // The positioned flag is kept: the library positions such samples
    // itself (Update3DSounds).
    slot.m_b3D = positioned ? 1 : 0;
    slot.m_fMinDistance = 0.0f;
    slot.m_fMaxDistance = 100.0f;
    slot.m_fLastDistance = -1.0f;
    slot.m_nFrequency = static_cast<std::int32_t>(wav.format.rate);
    slot.m_fVolume = 1.0f;
    slot.m_bStopped = 0;
    slot.m_bActive = 0;
    slot.m_bReleaseWhenFinished = releaseWhenFinished ? 1 : 0;
    ++m_nSampleCount;
    return kSoundOk;
}

std::int32_t SoundLibrary::CreatePlainBuffer(SoundSlot& slot, const platform::PcmFormat& format, std::uint32_t bytes,
                                             bool isStatic)
{
    slot.m_Buffer = m_Output.create_buffer(format, bytes, !isStatic);
    return slot.m_Buffer ? kSoundOk : kSoundBufferError;
}

std::int32_t SoundLibrary::CreateBuffer(SoundSlot& slot, const platform::PcmFormat& format, std::uint32_t bytes)
{
    return CreatePlainBuffer(slot, format, bytes, true);
}

int SoundLibrary::FindSample(std::int32_t id) const
{
    for (int i = 0; i < kSoundMaxSamples; ++i)
        if (m_Samples[i].m_Buffer && m_Samples[i].m_nId == id)
            return i;
    return -1;
}

std::int32_t SoundLibrary::FreeSample(std::int32_t id)
{
    const int index = FindSample(id);
    if (index < 0)
        return kSoundBadId;
    SoundSlot& slot = m_Samples[index];
    m_Output.release(slot.m_Buffer);
    slot = SoundSlot{};
    if (m_nSampleCount > 0)
        --m_nSampleCount;
    for (SoundSlot& v : m_Voices) {
        if (v.m_Buffer && v.m_nId == id) {
            m_Output.release(v.m_Buffer);
            v = SoundSlot{};
        }
    }
    return kSoundOk;
}

void SoundLibrary::FreeAllSamples()
{
    if (!m_bInitialised)
        return;
    for (std::int32_t k = 0; k < kSoundSetSlots; ++k)
        m_SetVoices[k] = -1;
    // Every sample goes, whatever its id, and every voice with it.
    for (SoundSlot& s : m_Samples)
        if (s.m_Buffer)
            FreeSample(s.m_nId);
    for (SoundSlot& v : m_Voices) {
        if (v.m_Buffer)
            m_Output.release(v.m_Buffer);
        v = SoundSlot{};
    }
    m_nSetCount = 0;
    for (std::int32_t& count : m_LayerCounts)
        count = 0;
    m_nSampleCount = 0;
    m_nVoiceCount = 0;
    m_nCurrentSet = -1;
}

std::int32_t SoundLibrary::StopAllSamples()
{
    if (!m_bInitialised)
        return kSoundUnknownError;
    const auto stop = [&](SoundSlot& s) {
        m_Output.stop(s.m_Buffer);
        s.m_fLastDistance = -1.0f;
        s.m_bStopped = 0;
        s.m_bActive = 0;
    };
    for (SoundSlot& s : m_Samples) {
        if (!s.m_Buffer)
            continue;
        stop(s);
        for (SoundSlot& v : m_Voices)
            if (v.m_Buffer && v.m_nId == s.m_nId)
                stop(v);
    }
    return kSoundOk;
}
