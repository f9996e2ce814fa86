#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/race_context.h"
#include "sound/sound_library.h"

class Race;

// The headless race's sound: a sound library started on whatever output
// SDL gives (its dummy driver for a machine without sound), the race's
// effect samples, engine sound sets and music loaded from the data folder
// as the race names them, and the simulation's sound calls routed to it.
// The sound never changes the race: a run with it ends with the same state
// as one without.
namespace racesim {

class RaceSound : public RaceHooks {
public:
    RaceSound() = default;
    ~RaceSound() override;
    RaceSound(const RaceSound&) = delete;
    RaceSound& operator=(const RaceSound&) = delete;

    // Starts the library and loads the race's sounds; puts itself between
    // the simulation and the race's own hooks. False (and `error`) when the
    // output does not start.
    // With `recordPath`, nothing plays: the sound is mixed frame by frame in
    // race time and written there as a ".wav" when the run ends.
    bool Start(Race& race, float frameTime, const std::string& recordPath, std::string& error);
    // Writes the recording (when there is one). False and `error` on failure.
    bool FinishRecording(std::string& error);
    // Once per frame, after the race's update: the listener rides with the
    // viewed bike, and the positioned voices are updated.
    void Frame(Race& race);
    // "sound: output=<device|silent> samples=<n> sets=<n> mixed=<s>".
    std::string Summary() const;

    SoundLibrary& Library() { return m_Sound; }

    // ---- The simulation's calls ----
    void ShowInstance(ml_modelinfo* instance, bool shown) override { m_pInner->ShowInstance(instance, shown); }
    void SetAnimation(ml_modelinfo* instance, std::uint32_t hash) override { m_pInner->SetAnimation(instance, hash); }
    void UpdateModel(Bike& bike) override { m_pInner->UpdateModel(bike); }
    void Play(int sample, int instance, float frequency, float volume, float pan, int mode) override;
    void StopVoice(int sample, int instance) override { m_Sound.StopVoice(sample, instance); }
    void StopVoiceNow(int sample, int instance) override { m_Sound.StopVoiceNow(sample, instance); }
    void SetVoiceDistance(int sample, int instance, float minimum, float maximum) override
    {
        m_Sound.SetVoiceDistance(sample, instance, minimum, maximum);
    }
    void SetVoicePosition(int sample, int instance, const Vec3& p) override
    {
        m_Sound.SetVoicePosition(sample, instance, p.x, p.y, p.z);
    }
    void SetVoiceVolume(int sample, int instance, float volume) override
    {
        m_Sound.SetVoiceVolume(sample, instance, volume);
    }
    int GetSoundSetSample(int soundSet, int /*instance*/) override { return m_Sound.GetSoundSetSample(soundSet); }
    void PlaySoundSet(int soundSet, float rpm, int /*mode*/, float volume) override
    {
        m_Sound.PlaySoundSet(soundSet, rpm, m_fFrameTime, volume);
    }
    void SmokeEmit(int kind, Bike& bike, int point, float amount) override { m_pInner->SmokeEmit(kind, bike, point, amount); }
    void SmokeEmitLine(const Vec3& a, const Vec3& b, float ga, float gb) override { m_pInner->SmokeEmitLine(a, b, ga, gb); }
    bool HudTest(std::uint32_t bits) override { return m_pInner->HudTest(bits); }
    void HudRaise(std::uint32_t bits) override { m_pInner->HudRaise(bits); }
    void HudClear(std::uint32_t bits) override { m_pInner->HudClear(bits); }
    void HudSetViewMode(int mode) override { m_pInner->HudSetViewMode(mode); }
    void HudDisableMessages(std::uint32_t mask) override { m_pInner->HudDisableMessages(mask); }
    void SetCameraMode(int mode) override { m_pInner->SetCameraMode(mode); }
    void StopStream(int channel) override { m_Sound.StopStream(channel); }
    void StartStream(int channel, bool loop) override { m_Sound.StartStream(loop, channel); }
    int PlotChannelCount() override { return m_pInner->PlotChannelCount(); }
    int PlotChannel(int slot) override { return m_pInner->PlotChannel(slot); }
    void Plot(int slot, float time, float value) override { m_pInner->Plot(slot, time, value); }
    bool ShowsPlotText() override { return m_pInner->ShowsPlotText(); }
    void SetPlotText(const char* text) override { m_pInner->SetPlotText(text); }
    // The sound calls carry all they need; held to the end of a sub-step they
    // sound the same, in the same order, within the same frame.
    bool TakesHeldCalls() override { return m_pInner->TakesHeldCalls(); }

private:
    void Install();
    void RecordFrame();

    SoundLibrary m_Sound;
    std::string m_RecordPath;
    std::vector<std::int16_t> m_Recording;
    double m_fRecordedFrames = 0.0;
    bool m_bManualMixing = false;
    RaceHooks* m_pInner = nullptr;
    float m_fFrameTime = 1.0f / 60.0f;
    bool m_bInstalled = false;
};

} // namespace racesim
