#pragma once

#include <cstdint>

// The sound library: the program's one object over the sound output, with
// its samples, voices, engine sound sets and streamed music. Every operation
// reports a result code and never throws; while the library is not started
// every operation does nothing and returns its neutral value, so the game
// runs silently without sound.
//
// So far it holds its life cycle (constructed with the program-wide objects,
// shut down at the end of the program) and its result texts; the output,
// samples, voices and streams join it with the sound issue.

// Result codes.
inline constexpr std::int32_t kSoundOk = 0;
inline constexpr std::int32_t kSoundFileError = 1;
inline constexpr std::int32_t kSoundBadId = 2;
inline constexpr std::int32_t kSoundTooManySamples = 3;
inline constexpr std::int32_t kSoundInitError = 4;
inline constexpr std::int32_t kSoundBufferError = 5;
inline constexpr std::int32_t kSoundNoFormat = 6;
inline constexpr std::int32_t kSoundCannotPlay = 7;
inline constexpr std::int32_t kSoundCannotShutdown = 8;
inline constexpr std::int32_t kSoundUnknownError = 9;

class SoundLibrary {
public:
    SoundLibrary() = default;
    SoundLibrary(const SoundLibrary&) = delete;
    SoundLibrary& operator=(const SoundLibrary&) = delete;

    // Stops and releases everything and leaves the library not started.
    // kSoundCannotShutdown when it was not started.
    std::int32_t Shutdown();

    bool Initialised() const { return m_bInitialised != 0; }

    // The text of a result code ("OK", "File not found or wrong file type",
    // ...); "Unknown or undefined error" for a code outside 0..9.
    static const char* GetErrorText(std::int32_t code);

    float m_fDistanceScale = 1.0f;
    float m_fEffectsVolume = 1.0f;
    float m_fStreamVolume[2] = {1.0f, 1.0f};
    std::int32_t m_nCurrentSet = -1;

private:
    std::uint8_t m_bInitialised = 0;
};

// The program's one SoundLibrary, or null before the program-wide objects
// have built it.
SoundLibrary* TheSoundLibrary();
void SetTheSoundLibrary(SoundLibrary* library);
