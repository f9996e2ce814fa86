#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "input/race_link.h"
#include "sim/race_context.h"
#include "sim/replay_frame.h"

class Race;

// What the input sees of the race while it runs: the race's flags and go
// signal, its overlay's start light, fade and dim, and the park command.
class RaceInputLink : public InputRaceLink {
public:
    explicit RaceInputLink(Race& race) : m_race(race) {}

    bool NetworkRace() const override;
    std::uint32_t RaceFlags() const override;
    void ChangeRaceFlags(std::uint32_t set, std::uint32_t clear) override;
    void Finish() override;
    void SetStartLight(int frame) override;
    void SetStartLightMaterial(float set) override;
    void PlayStartSample(int sample) override;
    void SetFadeTarget(float value) override;
    void SetFadeLevel(float value) override;
    void SetShade(float value) override;
    bool IsFading() const override;
    void ParkPlayerBike() override;
    void ShowHostPaused(bool shown) override;
    void MuteSound() override;
    void UnmuteSound() override;

    // The replays' view of the race (race/race_replay_link.cpp).
    std::uint32_t ViewedBikeStatus() const override;
    std::size_t RaceStateWords() const override;
    void SaveRaceState(std::uint32_t* words) override;
    void RestoreRaceState(const std::uint32_t* words) override;
    int ReplayRiders() const override;
    bool EncodeReplayFrame(int rider, std::uint8_t* frame, std::uint8_t* riderRecord, std::uint16_t index) override;
    void PlayReplayFrame(int rider, const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* const* blocks,
                         int blockCount, float t) override;

private:
    Race& m_race;
    // The state replay's rider records, decoded from the input's blocks
    // (the key: the blocks they came from).
    std::vector<std::unique_ptr<ReplayRiderRecord[]>> m_riderRecords;
    std::vector<const std::uint8_t*> m_riderRecordsFrom;
};

// What the bike simulation does to the race's presentation: overlay
// messages and the camera go to the race's overlay and camera, smoke and
// skid marks to its particles, sounds to its sound library; model instances
// and animations need the race's 3D data, and sounds its loaded samples, and
// do nothing until the race has them.
class RaceSimulationHooks : public RaceHooks {
public:
    explicit RaceSimulationHooks(Race& race) : m_race(race) {}

    void ShowInstance(ml_modelinfo* instance, bool shown) override;
    void SetAnimation(ml_modelinfo* instance, std::uint32_t animationHash) override;
    void UpdateModel(Bike& bike) override;
    bool HudTest(std::uint32_t bits) override;
    void HudRaise(std::uint32_t bits) override;
    void HudClear(std::uint32_t bits) override;
    void HudSetViewMode(int mode) override;
    void HudDisableMessages(std::uint32_t mask) override;
    void SetCameraMode(int mode) override;
    void SmokeEmit(int kind, Bike& bike, int point, float amount) override;
    void SmokeEmitLine(const Vec3& from, const Vec3& to, float fromGround, float toGround) override;
    // Sounds go to the library holding the race's samples (nothing while
    // it has none); the music channels to the program's library.
    void Play(int sample, int instance, float frequency, float volume, float pan, int mode) override;
    void StopVoice(int sample, int instance) override;
    void StopVoiceNow(int sample, int instance) override;
    void SetVoiceDistance(int sample, int instance, float minimum, float maximum) override;
    void SetVoicePosition(int sample, int instance, const Vec3& position) override;
    void SetVoiceVolume(int sample, int instance, float volume) override;
    int GetSoundSetSample(int soundSet, int instance) override;
    void PlaySoundSet(int soundSet, float rpm, int mode, float volume) override;
    void StopStream(int channel) override;
    void StartStream(int channel, bool loop) override;
    // The telemetry plot window's channels and curves, while it is open;
    // the title, then the frame's picture to the window.
    int PlotChannelCount() override;
    int PlotChannel(int slot) override;
    void Plot(int slot, float time, float value) override;
    bool ShowsPlotText() override;
    void SetPlotText(const char* text) override;
    // Its calls may be held to the sub-step's end: the particles then start
    // from the bike as it is there (they are presentation only and never
    // reach the simulation).
    bool TakesHeldCalls() override { return true; }

private:
    Race& m_race;
};
