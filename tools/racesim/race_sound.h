#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sound/sound_library.h"

class GameApp;
class Race;

// The headless race's sound: a sound library started on whatever output
// SDL gives (its dummy driver for a machine without sound) and made the
// program's one for the run; the race loads its effect samples, engine
// sound sets and music into it and plays them itself, as in the game. The
// sound never changes the race: a run with it ends with the same results
// as one without.
namespace racesim {

class RaceSound {
public:
    RaceSound() = default;
    ~RaceSound();
    RaceSound(const RaceSound&) = delete;
    RaceSound& operator=(const RaceSound&) = delete;

    // Before the race loads: starts the library, makes it the program's
    // one for the run and turns the application's sound and music on, so
    // that the race loads and plays its own sounds as the game's does.
    // False (and `error`) when the output does not start.
    // With `recordPath`, nothing plays: the sound is mixed frame by frame in
    // race time and written there as a ".wav" when the run ends.
    bool Start(GameApp& app, float frameTime, const std::string& recordPath, std::string& error);
    // After the race has loaded: its sounds, if its loading has not taken
    // them yet.
    void Attach(Race& race);
    // Takes the race's sounds away again before the library goes.
    void Detach(Race& race);
    // Once per frame, after the race's update: the recording (the race's
    // camera moves the listener and updates the positioned voices).
    void Frame();
    // Writes the recording (when there is one). False and `error` on failure.
    bool FinishRecording(std::string& error);
    // "sound: output=<device|silent> samples=<n> sets=<n> mixed=<s>".
    std::string Summary() const;

    SoundLibrary& Library() { return m_Sound; }

private:
    void RecordFrame();

    SoundLibrary m_Sound;
    SoundLibrary* m_pPrevious = nullptr;
    bool m_bInstalled = false;
    std::string m_RecordPath;
    std::vector<std::int16_t> m_Recording;
    double m_fRecordedFrames = 0.0;
    bool m_bManualMixing = false;
    float m_fFrameTime = 1.0f / 60.0f;
};

} // namespace racesim
