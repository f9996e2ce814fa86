#include "sound/sound_library.h"

#include <cmath>

#include "app/mixer.h"
#include "platform/message_box.h"

namespace {

SoundLibrary* g_pSoundLibrary = nullptr;

} // namespace

SoundLibrary::SoundLibrary() = default;

SoundLibrary::~SoundLibrary()
{
    if (m_bInitialised)
        Shutdown();
}

std::int32_t SoundLibrary::Init(void* window, bool hardware3D)
{
    // Every menu set starts the library as it loads: once started, it keeps
    // its streams and the engine layers it plays.
    if (m_bInitialised)
        return kSoundOk;
    // Positions are always worked out by the library itself: the output has
    // no 3D processing of its own.
    m_bHardware3D = 0;
    (void)hardware3D;
    for (SoundStream& s : m_Streams)
        s.m_bFinished.store(true);
    for (std::int32_t& k : m_SetVoices)
        k = -1;
    return InitDirectSound(window);
}

std::int32_t SoundLibrary::InitDirectSound(void* /*window*/)
{
    if (m_bInitialised)
        return kSoundOk;
    for (SoundSlot& s : m_Samples)
        s = SoundSlot{};
    for (SoundSlot& s : m_Voices)
        s = SoundSlot{};
    m_nSampleCount = 0;
    m_nVoiceCount = 0;
    m_bPrimaryPlaying = 0;
    if (!m_Output.open())
        return kSoundInitError;
    m_nSavedPrimaryVolume = m_Output.master_volume();
    m_bInitialised = 1;
    SetFormat(22050, 16, 2);
    return kSoundOk;
}

void SoundLibrary::SetFormat(std::int32_t rate, std::int32_t bits, std::int32_t channels)
{
    if (!m_bInitialised)
        return;
    platform::PcmFormat format{static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits),
                               static_cast<std::uint16_t>(channels)};
    if (rate <= 0 || bits <= 0 || channels <= 0 || !m_Output.set_format(format))
        return;
    m_PrimaryFormat = format;
}

void SoundLibrary::SetVolume(float v)
{
    if (!m_bInitialised)
        return;
    std::int32_t level = -10000;
    if (v > 0.0f)
        level = static_cast<std::int32_t>(1200.0 * std::log10(static_cast<double>(v)));
    if (level > m_nSavedPrimaryVolume)
        level = m_nSavedPrimaryVolume;
    m_Output.set_master_volume(level);
}

std::int32_t SoundLibrary::Shutdown()
{
    if (!m_bInitialised)
        return kSoundCannotShutdown;
    for (int channel = 0; channel < kSoundStreams; ++channel)
        StopStream(channel);
    m_Output.set_master_volume(m_nSavedPrimaryVolume);
    for (SoundSlot& v : m_Voices) {
        if (v.m_Buffer) {
            m_Output.stop(v.m_Buffer);
            m_Output.release(v.m_Buffer);
        }
        v = SoundSlot{};
    }
    for (SoundSlot& s : m_Samples) {
        if (s.m_Buffer) {
            m_Output.stop(s.m_Buffer);
            m_Output.release(s.m_Buffer);
        }
        s = SoundSlot{};
    }
    m_Output.close();
    m_nSampleCount = 0;
    m_nVoiceCount = 0;
    m_nSetCount = 0;
    m_nCurrentSet = -1;
    m_bInitialised = 0;
    return kSoundOk;
}

std::int32_t SoundLibrary::SampleLevel(float v) const
{
    const double product = static_cast<double>(v) * static_cast<double>(m_fEffectsVolume);
    if (!(product > 0.0))
        return platform::kAudioVolumeSilent;
    const double level = 2000.0 * std::log10(product);
    if (level < platform::kAudioVolumeSilent)
        return platform::kAudioVolumeSilent;
    return level > 0.0 ? 0 : static_cast<std::int32_t>(level);
}

const char* SoundLibrary::GetErrorText(std::int32_t code)
{
    static constexpr const char* kTexts[] = {
        "OK",
        "File not found or wrong file type",
        "Invalid or already defined sample ID",
        "Too many samples loaded (increase SND_MAXSAMP)",
        "Error initializing Direct sound",
        "Error creating sound buffer",
        "No output format set (call SetFormat)",
        "Cannot play sample",
        "Cannot uninitialize Sound Driver",
        "Unknown or undefined error",
    };
    if (code < 0 || code > kSoundUnknownError)
        return kTexts[kSoundUnknownError];
    return kTexts[code];
}

SoundLibrary* TheSoundLibrary()
{
    return g_pSoundLibrary;
}

void SetTheSoundLibrary(SoundLibrary* library)
{
    g_pSoundLibrary = library;
}
