#include "race/race_sound.h"

#include <cstdio>
#include <iterator>

#include "app/game_app.h"
#include "platform/random.h"
#include "race/race.h"
#include "sim/race_context.h"
#include "sound/sound_library.h"

// The race's sounds and music. Nothing here reaches the simulation: the
// sounds follow the race, and a race with sound ends as one without.

namespace {

constexpr const char* kEffectFiles[kRaceEffectSamples] = {
    "Sfx\\Sema.wav",     "Sfx\\Cheer2.wav",   "Sfx\\Cheer3.wav",   "Sfx\\Cheer4.wav",   "Sfx\\WallHit.wav",
    "Sfx\\Crash1.wav",   "Sfx\\Crash2.wav",   "Sfx\\Crash3.wav",   "Sfx\\Crash3l.wav",  "Sfx\\MetalSkd.wav",
    "Sfx\\GrassSkd.wav", "Sfx\\SandGras.wav", "Sfx\\Skid0.wav",    "Sfx\\SandGrip.wav", "Sfx\\FCrash1.wav",
    "Sfx\\FCrash2.wav",  "Sfx\\FCrash3.wav",  "Sfx\\FCrash3l.wav", "Sfx\\Sand.wav",     "Sfx\\PickUp.wav",
};
// The start beep plays where the player is; every other effect is placed.
constexpr int kPlainEffect = 0;

constexpr std::uint32_t kFlagsClearedAtStart = kRaceRacing | kRaceSessionOver | kRaceFlagRunAgain | kRaceFlagEnding;

// Program-wide: the tunes alternate over every run the program makes.
int g_nMusicCounter = 0;

SoundLibrary* StartedLibrary()
{
    SoundLibrary* library = TheSoundLibrary();
    return library && library->Initialised() ? library : nullptr;
}

void Report(const char* file, std::int32_t result)
{
    if (result != kSoundOk)
        std::fprintf(stderr, "race sound: %s: %s\n", file, SoundLibrary::GetErrorText(result));
}

// Opens a tune on a channel; a tune that does not open leaves the channel
// silent (said on the error output).
bool OpenTune(SoundLibrary& library, const char* file, int channel)
{
    const std::int32_t result = library.OpenStream(file, channel);
    Report(file, result);
    return result == kSoundOk;
}

} // namespace

const char* RaceEffectFile(int id)
{
    return id >= 0 && id < kRaceEffectSamples ? kEffectFiles[id] : nullptr;
}

int RaceMusicCounter()
{
    return g_nMusicCounter;
}

SoundLibrary* RaceEffectsLibrary(const Race& race)
{
    return race.m_Sound.Library;
}

SoundLibrary* RaceMusicLibrary()
{
    return StartedLibrary();
}

// Effect samples 0..19, then every bike model's engine set, each set's
// layers taking the ids after the last. Only with sound on and a started
// library; loading twice keeps the first load.
void Race::LoadSounds()
{
    if (m_Sound.Library)
        return;
    SoundLibrary* library = StartedLibrary();
    if (!(m_uGfxFlags & kGfxFlagSound) || !library)
        return;
    m_Sound = RaceSoundState{};
    m_Sound.Library = library;
    for (int id = 0; id < kRaceEffectSamples; ++id)
        Report(kEffectFiles[id], library->AddSample(kEffectFiles[id], id, id != kPlainEffect, false));
    std::int32_t next = kRaceEffectSamples;
    for (int model = 0; model < kBikeModelCount; ++model) {
        const int set = library->SetCount();
        const int layers = library->LoadWav(kEngineSoundList, m_BikeModels[model].Maker.ModelName,
                                            kEngineSoundFolder, next);
        if (library->SetCount() > set)
            m_Sound.EngineSet[model] = set;
        if (layers > 0) {
            m_Sound.EngineFirstId[model] = next;
            next += layers;
        } else {
            std::fprintf(stderr, "race sound: no engine sound set \"%s\" in %s\n",
                         m_BikeModels[model].Maker.ModelName, kEngineSoundList);
        }
    }
    m_Sound.IdsUsed = next;

    // The camera carries the listener: at its eye, facing its aim point,
    // moving as the eye moved since the last frame.
    m_Camera.ListenerHook = [this](const Vec3& eye, const Vec3& aim, float dt) {
        SoundLibrary* sound = m_Sound.Library;
        if (!sound)
            return;
        Vec3 velocity;
        if (m_Sound.HasLastEye && dt > 0.0f)
            velocity = eye.Minus(m_Sound.LastEye).Times(1.0f / dt);
        m_Sound.LastEye = eye;
        m_Sound.HasLastEye = true;
        const Vec3 front = aim.Minus(eye).Normalised();
        const float p[3] = {eye.x, eye.y, eye.z};
        const float v[3] = {velocity.x, velocity.y, velocity.z};
        const float f[3] = {front.x, front.y, front.z};
        const float top[3] = {0.0f, 1.0f, 0.0f};
        sound->SetListener(p, v, f, top);
        sound->Update3DSounds(dt, kRaceVoiceBudget);
    };
}

// Every sample of the library goes (the race's are all it holds while a
// race runs), the engine sets with them.
void Race::FreeSounds()
{
    if (!m_Sound.Library)
        return;
    m_Sound.Library->FreeAllSamples();
    m_Sound = RaceSoundState{};
    m_Camera.ListenerHook = nullptr;
}

void Race::StartMusic()
{
    // With music on, an arcade session has its music: the attract tune in
    // an attract run; otherwise the jingle waits on its channel for the
    // green light (or the win) and the race tunes take turns.
    SoundLibrary* music = RaceMusicLibrary();
    if (music && (m_uGfxFlags & kGfxFlagMusic) && m_nSessionType == kSessionArcade) {
        if (AttractRun()) {
            if (OpenTune(*music, kAttractMusic, kRaceMusicChannel))
                music->StartStream(true, kRaceMusicChannel);
        } else {
            OpenTune(*music, kJingleMusic, kJingleChannel);
            char tune[64];
            std::snprintf(tune, sizeof tune, kRaceMusicPattern, g_nMusicCounter + 1);
            g_nMusicCounter ^= 1;
            if (OpenTune(*music, tune, kRaceMusicChannel))
                music->StartStream(true, kRaceMusicChannel);
        }
    }

    platform::random_stream(platform::RandomStreamId::Simulation).seed(m_uRandomSeed);
    LiveFlags() &= ~kFlagsClearedAtStart;
    for (int i = 0; i < RiderCount(); ++i)
        m_pBikes[i].PlaceAtStart(true);
    UpdateStandings();
}

void StartArcadeJingle(const Race& race)
{
    if (!(race.m_uGfxFlags & kGfxFlagMusic) || race.m_nSessionType != kSessionArcade)
        return;
    if (SoundLibrary* music = RaceMusicLibrary())
        music->StartStream(false, kJingleChannel);
}
