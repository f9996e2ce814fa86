#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/audio.h"
#include "platform/sync_event.h"
#include "platform/thread.h"

class mixer;
class SoundLibrary;

// The sound library: the program's one object over the sound output, with
// its samples, voices, engine sound sets and streamed music. Every operation
// reports a result code and never throws; while the library is not started
// every operation does nothing and returns its neutral value, so the game
// runs silently without sound. docs/sound.md describes it.

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

inline constexpr int kSoundMaxSamples = 64;
inline constexpr int kSoundMaxVoices = 96;
inline constexpr int kSoundMaxSets = 8;
inline constexpr int kSoundMaxLayers = 10;
inline constexpr int kSoundSetSlots = 5;
inline constexpr int kSoundStreams = 2;

// Passed as a frequency, volume or pan: keep the sample's own value.
inline constexpr std::int32_t kSoundKeep = 56789;
inline constexpr float kSoundKeepF = 56789.0f;

// The minimum distance that marks a sample played by an engine sound set
// (kept out of the nearest-voice selection).
inline constexpr float kSoundSetMarker = -123.0f;

// Flags of SoundLibrary::Play.
inline constexpr std::uint8_t kPlayLoop = 0x01;
inline constexpr std::uint8_t kPlayRestartOwn = 0x02;   // the sample's own buffer, restarted
inline constexpr std::uint8_t kPlayOwnIfIdle = 0x04;    // the sample's own buffer, only when idle
inline constexpr std::uint8_t kPlayPositioned = 0x08;   // level, pan and pitch by the positioning
inline constexpr std::uint8_t kPlayUpdateFrequency = 0x10; // a live voice only takes the frequency
inline constexpr std::uint8_t kPlayUpdateValues = 0x20;    // a playing voice only takes frequency and volume
inline constexpr std::uint8_t kPlayAlwaysAudible = 0x40;

// One loaded sample or one voice (a duplicate of a sample's buffer).
struct SoundSlot {
    platform::AudioBufferId m_Buffer = platform::kNoAudioBuffer;
    platform::PcmFormat m_Format;
    std::uint32_t m_uDataSize = 0;
    std::int32_t m_nId = -1;
    std::int32_t m_nInstance = 0;
    std::uint8_t m_b3D = 0;            // positioned
    float m_Position[3] = {0.0f, 0.0f, 0.0f};
    float m_fMinDistance = 0.0f;
    float m_fMaxDistance = 100.0f;
    float m_fLastDistance = -1.0f;     // -1: none yet
    std::int32_t m_nFrequency = 0;     // Hz, before the Doppler shift
    float m_fVolume = 1.0f;
    std::uint8_t m_bStopped = 0;
    std::uint8_t m_bActive = 0;
    std::uint8_t m_bLoop = 0;
    std::uint8_t m_bReleaseWhenFinished = 0;
    std::uint8_t m_bAlwaysAudible = 0;
};

// One layer of an engine sound set: the 84 bytes of its line in the
// definition list, then the id its sample was loaded under.
struct SoundSetLayer {
    char m_szName[32];
    std::int32_t m_nSlot;
    std::int32_t m_nLow;        // revs where the layer starts (inclusive)
    std::int32_t m_nFullFrom;   // where the fade-in ends
    std::int32_t m_nFullTo;     // where the fade-out begins
    std::int32_t m_nHigh;       // where the layer ends (exclusive)
    std::int32_t m_nFineTune;   // 1/128 semitone
    std::int32_t m_nPitchLow;   // semitones at low
    std::int32_t m_nPitchHigh;  // semitones at high
    std::int32_t m_nWobble;     // depth of the pitch wobble, 0 none
    float m_fWobblePeriod;      // seconds per unit of the wobble phase
    float m_fVolumeLow;
    float m_fVolumeHigh;
    std::int32_t m_bEnabled;    // the layer GetSoundSetSample names
    std::int32_t m_nSampleId;
};
inline constexpr int kSoundLayerFileBytes = 84;

// One streamed music channel.
struct SoundStream {
    platform::AudioBufferId m_Buffer = platform::kNoAudioBuffer;
    platform::PcmFormat m_Format;
    std::uint32_t m_uDataSize = 0;
    bool m_bOpen = false;
    std::uint32_t m_uWriteOffset = 0;
    std::uint32_t m_uLastPlayPosition = 0;
    std::atomic<int> m_nStop{1};
    std::unique_ptr<mixer> m_pFile;
    std::uint32_t m_uBufferSize = 0;
    std::uint32_t m_uBlockSize = 0;
    int m_nLoop = 0;
    int m_nEnded = 0;
    std::uint32_t m_uDataStart = 0;
    std::uint32_t m_uReadPosition = 0;  // bytes of the data read so far (this pass through it)
    std::uint32_t m_uPlayed = 0;
    std::uint32_t m_uRefillPosition = 0; // where in the music the block at the write offset starts
    platform::Event m_NotifyEvent;
    platform::Event m_StopEvent;
    std::atomic<bool> m_bFinished{true};
    std::atomic<std::uint32_t> m_uBlocksWritten{0}; // refills done by the thread since the start
    platform::Thread m_Thread;
};

class SoundLibrary {
public:
    SoundLibrary();
    ~SoundLibrary();
    SoundLibrary(const SoundLibrary&) = delete;
    SoundLibrary& operator=(const SoundLibrary&) = delete;

    // ---- Core (sound/sound_library.cpp) ----
    // Starts the output (22050 Hz, 16-bit stereo). The window is the
    // caller's; sound plays whatever window has the focus. 0 or 4.
    std::int32_t Init(void* window, bool hardware3D);
    std::int32_t InitDirectSound(void* window);
    void SetFormat(std::int32_t rate, std::int32_t bits, std::int32_t channels);
    // Master level from 0..1, never above the level found at start.
    void SetVolume(float v);
    void Mute() { SetVolume(0.0f); }
    void Unmute() { SetVolume(1.0f); }
    // The effects volume: scales every sample, voice and engine layer.
    void SetMusicVolume(float v) { m_fEffectsVolume = v; }
    // Stops and releases everything and leaves the library not started.
    // kSoundCannotShutdown when it was not started.
    std::int32_t Shutdown();

    bool Initialised() const { return m_bInitialised != 0; }

    // The text of a result code ("OK", "File not found or wrong file type",
    // ...); "Unknown or undefined error" for a code outside 0..9.
    static const char* GetErrorText(std::int32_t code);

    // ---- Samples (sound/sound_samples.cpp) ----
    std::int32_t AddSample(const char* fileName, std::int32_t id, bool positioned, bool releaseWhenFinished);
    int FindSample(std::int32_t id) const;
    std::int32_t FreeSample(std::int32_t id);
    void FreeAllSamples();
    std::int32_t StopAllSamples();
    std::int32_t CreatePlainBuffer(SoundSlot& slot, const platform::PcmFormat& format, std::uint32_t bytes,
                                   bool isStatic);
    std::int32_t CreateBuffer(SoundSlot& slot, const platform::PcmFormat& format, std::uint32_t bytes);

    // ---- Voices (sound/sound_voices.cpp) ----
    std::int32_t Play(std::int32_t id, std::int32_t instance, std::int32_t frequency, float volume, std::int32_t pan,
                      std::uint8_t flags);
    bool FindVoice(std::int32_t id, std::int32_t instance, SoundSlot*& slot);
    int FindStoppedVoice(std::int32_t id) const;
    int FindFreeVoice() const;
    std::int32_t StopVoice(std::int32_t id, std::int32_t instance);
    std::int32_t StopVoiceNow(std::int32_t id, std::int32_t instance);
    std::int32_t PauseVoice(std::int32_t id, std::int32_t instance);
    std::int32_t ResumeVoice(std::int32_t id, std::int32_t instance);
    std::int32_t SetVoiceFrequency(std::int32_t id, std::int32_t instance, std::int32_t hz);
    std::int32_t SetVoicePan(std::int32_t id, std::int32_t instance, std::int32_t pan);
    std::int32_t SetVoiceVolume(std::int32_t id, std::int32_t instance, float v);
    std::int32_t SetVoiceDistance(std::int32_t id, std::int32_t instance, float minimum, float maximum);
    std::int32_t SetVoicePosition(std::int32_t id, std::int32_t instance, float x, float y, float z);
    void SetListener(const float position[3], const float velocity[3], const float front[3], const float top[3]);
    void SetDistanceScale(float s) { m_fDistanceScale = s; }
    // Settings of an output's own 3D processing, which this output does not
    // have: they only say whether the voice exists (9 when not).
    std::int32_t SetVoicePosition3D(std::int32_t id, std::int32_t instance, float x, float y, float z);
    std::int32_t SetVoiceCone(std::int32_t id, std::int32_t instance, std::int32_t insideAngle,
                              std::int32_t outsideAngle, const float orientation[3], std::int32_t outsideVolume);
    void SetDopplerFactor(float /*factor*/) {}

    // ---- Positioning (sound/sound_positioning.cpp) ----
    void Update3DSounds(float dt, int budget);
    void PositionVoice(SoundSlot& slot, float dt);
    void ReleaseFinishedVoices();

    // ---- Engine sound sets (sound/sound_sets.cpp) ----
    int LoadWav(const char* listFile, const char* listKey, const char* folder, std::int32_t firstId);
    std::int32_t PlaySoundSet(std::int32_t set, float speed, float dt, float volume);
    std::int32_t GetSoundSetSample(std::int32_t set) const;

    // ---- Streams (sound/sound_streams.cpp) ----
    std::int32_t OpenStream(const char* fileName, int channel);
    std::int32_t StartStream(bool loop, int channel);
    void StopStream(int channel);
    void SetStreamVolume(float v, int channel);
    std::int32_t FillStream(int channel);

    // ---- What tests and tools look at ----
    platform::AudioOutput& Output() { return m_Output; }
    const platform::AudioOutput& Output() const { return m_Output; }
    const SoundSlot& Sample(int slot) const { return m_Samples[slot]; }
    const SoundSlot& Voice(int slot) const { return m_Voices[slot]; }
    const SoundStream& Stream(int channel) const { return m_Streams[channel]; }
    std::int32_t SetVoiceSlot(int k) const { return m_SetVoices[k]; }
    int SetCount() const { return m_nSetCount; }
    int LayerCount(int set) const { return set >= 0 && set < kSoundMaxSets ? m_LayerCounts[set] : 0; }
    const SoundSetLayer& Layer(int set, int layer) const { return m_Sets[set][layer]; }
    int SampleCount() const { return m_nSampleCount; }
    float ListenerHeading() const { return m_fListenerHeading; }

    float m_fDistanceScale = 1.0f;
    float m_fEffectsVolume = 1.0f;
    std::int32_t m_nCurrentSet = -1;
    float m_fStreamVolume[kSoundStreams] = {1.0f, 1.0f};

private:
    // The level of a volume in hundredths of a decibel, effects volume
    // included: -10000 for silence.
    std::int32_t SampleLevel(float v) const;
    bool ReadWavInto(mixer& file, SoundSlot& slot, bool positioned);
    void StreamThread(int channel);
    bool RefillBlock(SoundStream& s);
    bool RefillPlayedBlocks(SoundStream& s);
    void ReadStreamData(SoundStream& s, std::uint8_t* dst, std::uint32_t bytes, bool& ended);
    void StopSetSlots(std::int32_t set);
    void EndStreamThread(SoundStream& s);

    std::uint8_t m_bInitialised = 0;
    std::uint8_t m_bPrimaryPlaying = 0;
    std::uint8_t m_bHardware3D = 0;
    platform::AudioOutput m_Output;
    SoundSlot m_Samples[kSoundMaxSamples];
    SoundSlot m_Voices[kSoundMaxVoices];
    std::int32_t m_SetVoices[kSoundSetSlots] = {-1, -1, -1, -1, -1};
    float m_fSetPhase = 0.0f;
    std::int32_t m_nSetCount = 0;
    SoundSetLayer m_Sets[kSoundMaxSets][kSoundMaxLayers] = {};
    std::int32_t m_LayerCounts[kSoundMaxSets] = {};
    platform::PcmFormat m_PrimaryFormat;
    float m_ListenerPosition[3] = {0.0f, 0.0f, 0.0f};
    float m_ListenerVelocity[3] = {0.0f, 0.0f, 0.0f};
    float m_fListenerHeading = 0.0f;
    std::int32_t m_nSavedPrimaryVolume = 0;
    std::uint16_t m_nSampleCount = 0;
    std::uint16_t m_nVoiceCount = 0;
    SoundStream m_Streams[kSoundStreams];
};

// The program's one SoundLibrary, or null before the program-wide objects
// have built it.
SoundLibrary* TheSoundLibrary();
void SetTheSoundLibrary(SoundLibrary* library);
