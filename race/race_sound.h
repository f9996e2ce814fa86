#pragma once

#include <cstdint>

#include "sim/grid_entry.h"
#include "sim/vec3.h"

class Race;
class SoundLibrary;

// The race's sounds: twenty effect samples (ids 0..19; the start beep 0
// plain, the others positioned), then each bike model's engine sound set
// with the ids following on, loaded into the program's sound library when
// the race loads its 3D data with sound on (graphics flag "Sound") and freed
// with it; and the music of an arcade session, opened and started at every
// run. docs/race.md, "Sound and music", describes them.

inline constexpr int kRaceEffectSamples = 20;
inline constexpr const char* kEngineSoundList = "sfx\\engines\\engines.dat";
inline constexpr const char* kEngineSoundFolder = "sfx\\engines\\";
inline constexpr const char* kAttractMusic = "Sfx\\Music\\Attract.wav";
inline constexpr const char* kJingleMusic = "Sfx\\Music\\Jingle_01.wav";
// The two race tunes, taken in turn ("%d": 1 or 2).
inline constexpr const char* kRaceMusicPattern = "Sfx\\Music\\Race_0%d.wav";
// The music channels: the race tune (or the attract tune) and the jingle.
inline constexpr int kRaceMusicChannel = 0;
inline constexpr int kJingleChannel = 1;
// Positioned voices the listener update keeps audible each frame.
inline constexpr int kRaceVoiceBudget = 12;

// The file of effect sample `id` (0..19); null for any other id.
const char* RaceEffectFile(int id);

// Which of the two race tunes the next arcade run takes (0: the first); it
// alternates over the runs of the program, restarts and new races alike.
int RaceMusicCounter();

// What the race keeps of its loaded sounds.
struct RaceSoundState {
    // The library that holds the race's samples; null while none are loaded
    // (sound off, no library, or not started).
    SoundLibrary* Library = nullptr;
    // Ids taken: the effects, then the engine layers (0 .. IdsUsed - 1).
    std::int32_t IdsUsed = 0;
    // Each bike model's engine sound set in the library, and the first id
    // of its layers (-1: the model has none).
    std::int32_t EngineSet[kBikeModelCount] = {-1, -1, -1, -1, -1};
    std::int32_t EngineFirstId[kBikeModelCount] = {-1, -1, -1, -1, -1};
    // The listener's last place, for its velocity (none yet after loading).
    Vec3 LastEye;
    bool HasLastEye = false;
};

// The library the race's effect and engine sounds play on: the one its
// samples were loaded in, or null. The simulation's sound calls, the start
// beeps and the listener go there.
SoundLibrary* RaceEffectsLibrary(const Race& race);
// The library the race's music plays on: the program's, when it is started
// (the music does not need the race's samples); null otherwise.
SoundLibrary* RaceMusicLibrary();

// The arcade session's jingle at the green light (with music on), on the
// channel StartMusic opened it on.
void StartArcadeJingle(const Race& race);
