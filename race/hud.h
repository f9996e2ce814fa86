#pragma once

#include <cstdint>

class Bike;
class Race;

// The race overlay's state: nineteen timed messages (one bit each in the
// message word, shown while raised and enabled in the mask), the start
// light and race flag frames, the full-screen fade and the dim behind the
// pause menus. Race code and the bike simulation raise and clear messages;
// Update, once per frame, runs the timers and the ends of the messages that
// act on the race (start sequence, finish standings, end of session, the
// chequered flag) and moves the fade and the dim toward their targets.
//
// The overlay's pictures, fonts and menus come from its definition files
// with the race's 3D data; until they are loaded nothing is drawn, and the
// messages, timers and fades work all the same (a headless race runs on them).
class Hud {
public:
    static constexpr int kMessageCount = 19;
    static constexpr std::uint32_t kAllMessages = 0x7FFFF;

    explicit Hud(Race& race);

    // Message word 0, every message enabled, no entry selected, fade and dim
    // 0, sound at full volume, no race flag.
    void ResetForRace();

    // Raises messages with their timers (see hud.cpp for the rules that
    // drop bits: attract runs, the results menus, arcade-only messages,
    // input playback).
    void Raise(std::uint32_t bits);
    void Clear(std::uint32_t bits);
    // True when any of the bits is raised and enabled.
    bool Test(std::uint32_t bits) const { return (m_uMessages & m_uEnabled & bits) != 0; }
    void EnableMessages(std::uint32_t bits);
    void DisableMessages(std::uint32_t bits) { m_uEnabled &= ~bits; }

    // Frame -1 hides the flag; frame 1 shows for 1.0 s, 5 for 0.1 s, others
    // for 3.0 s (frame 2, the chequered flag, acts on the race when its time
    // runs out).
    void ShowFlag(int frame);
    void SetStartLight(int frame) { m_nStartLight = frame; }
    void SetViewedBike(Bike* bike) { m_pViewedBike = bike; }

    // Once per frame, after the scene is drawn.
    void Update();

    std::uint32_t Messages() const { return m_uMessages; }
    std::uint32_t Enabled() const { return m_uEnabled; }
    float Timer(int message) const { return m_fTimer[message]; }
    float Duration(int message) const { return m_fDuration[message]; }
    int StartLight() const { return m_nStartLight; }
    int FlagFrame() const { return m_nFlagFrame; }
    Bike* ViewedBike() const { return m_pViewedBike; }

    // Full-screen fade (the race's run loop ends when the level reaches 1.0)
    // and the dim behind the menus (the sound volume is 1 - dim level).
    float m_fFadeLevel = 0.0f;
    float m_fFadeTarget = 0.0f;
    float m_fDimLevel = 0.0f;
    float m_fDimTarget = 0.0f;
    // The volume the overlay last gave the sound (1 - dim level).
    float m_fSoundVolume = 1.0f;

private:
    void RunMessageEnds();
    void EndStartSequence();
    void EndOfSession();
    void RunFlagClock(float frameTime);
    void RunTimers(float frameTime);
    // The race menu with the dim behind it and the race paused, as at the
    // end of a race that is not part of a championship.
    void OfferRaceMenu();
    float FinishStandingsDuration() const;
    int RiderCount() const;

    Race& m_race;
    float m_fTimer[kMessageCount] = {};
    float m_fDuration[kMessageCount] = {};
    std::uint32_t m_uMessages = 0;
    std::uint32_t m_uEnabled = kAllMessages;
    int m_nSelected = 0;
    int m_nStartLight = -1;
    int m_nFlagFrame = -1;
    float m_fFlagClock = 0.0f;
    Bike* m_pViewedBike = nullptr;
};

// Message bits the race itself raises, tests and clears.
inline constexpr std::uint32_t kHudOnboard = 0x1;
inline constexpr std::uint32_t kHudTrackside = 0x2;
inline constexpr std::uint32_t kHudPauseMenu = 0x4;
inline constexpr std::uint32_t kHudRaceMenu = 0x8;
inline constexpr std::uint32_t kHudStartSequence = 0x10;
inline constexpr std::uint32_t kHudResultsMenu = 0x20;
inline constexpr std::uint32_t kHudReplayPanel = 0x40;
inline constexpr std::uint32_t kHudFinishStandings = 0x80;
inline constexpr std::uint32_t kHudConfirm = 0x8000;
inline constexpr std::uint32_t kHudEngineFailure = 0x20000;
inline constexpr std::uint32_t kHudSessionOver = 0x40000;
