#include "sound/sound_library.h"

namespace {

SoundLibrary* g_pSoundLibrary = nullptr;

} // namespace

std::int32_t SoundLibrary::Shutdown()
{
    if (!m_bInitialised)
        return kSoundCannotShutdown;
    m_bInitialised = 0;
    return kSoundOk;
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
