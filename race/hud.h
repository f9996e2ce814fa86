#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class Bike;
class Race;
struct HudContent;

// The race overlay's state: nineteen timed messages (one bit each in the
// message word, shown while raised and enabled in the mask), the start
// light and race flag frames, the full-screen fade and the dim behind the
// pause menus. Race code and the bike simulation raise and clear messages;
// Update, once per frame, runs the timers and the ends of the messages that
// act on the race (start sequence, finish standings, end of session, the
// chequered flag) and moves the fade and the dim toward their targets.
//
// The overlay's pictures, fonts and menus come from its definition files
// (CockpitLoad, race/hud_load.cpp; the race camera loads them with the
// race's 3D data); until they are loaded nothing is drawn, and the messages,
// timers and fades work all the same (a headless race runs on them). The
// drawing is in race/hud_draw.cpp, the texts' codes in race/hud_text.cpp.
class Hud {
public:
    static constexpr int kMessageCount = 19;
    static constexpr std::uint32_t kAllMessages = 0x7FFFF;

    explicit Hud(Race& race);
    ~Hud();
    Hud(const Hud&) = delete;
    Hud& operator=(const Hud&) = delete;

    // Loads the overlay file `file` ("Data\OP<width><h|s>.dat", see
    // OverlayFileName), the cockpit files of the race's bike models, the
    // sheets and fonts they name and, for a language other than 0, the
    // translations. True when everything loaded; otherwise the overlay is
    // emptied (the race goes on without one) and LoadError() says why.
    bool CockpitLoad(const char* file);
    // Releases everything CockpitLoad loaded.
    void Free();
    bool Loaded() const { return m_pContent != nullptr; }
    const std::string& LoadError() const { return m_LoadError; }
    const HudContent* Content() const { return m_pContent.get(); }

    // Draws element `e` (a raised and enabled message) and runs its timer;
    // true when one of its entries was activated this frame.
    bool Draw(int element);
    // The viewed model's rev lights and digital read-outs.
    void DrawCockpit();
    // An element text with its '%' codes expanded ("\n" breaks lines);
    // `highlighted` gets the line of the viewed bike's row in a rider list
    // (-1: none).
    std::string ExpandText(int element, const char* text, int* highlighted = nullptr) const;
    // Names of riders that are not the player's, by rider id (the
    // championship's table; without one, computer riders print no name).
    using RiderNameSource = std::function<std::string(int riderId)>;
    void SetRiderNames(RiderNameSource source) { m_RiderNames = std::move(source); }
    // Told of every line of text Draw puts on the screen, with its element
    // (a test's view of what the overlay shows); empty: nobody is told.
    using TextWatch = std::function<void(int element, const std::string& line)>;
    void WatchTexts(TextWatch watch) { m_TextWatch = std::move(watch); }

    int SelectedEntry() const { return m_nSelected; }
    void SelectEntry(int entry) { m_nSelected = entry; }
    int ListPage() const { return m_nPage; }
    int CapturedPosition() const { return m_nCapturedPosition; }
    // Carries out entry `entry` of element `element`'s menu (what an
    // activation does).
    void RunEntry(int element, int entry);

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
    void SetViewedBike(Bike* bike)
    {
        m_pViewedBike = bike;
        m_nLitLights = -1;
    }

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
    friend struct HudContent;
    void RunMessageEnds();
    void EndStartSequence();
    void EndOfSession();
    void RunFlagClock(float frameTime);
    bool AnyEntriesUpTo(int element) const;
    int EntryCount(int element) const;
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

    // What Raise captures for the texts: the compared bike (one place
    // ahead), the leader, the viewed bike's position, the session time left.
    Bike* m_pCompared = nullptr;
    Bike* m_pLeader = nullptr;
    int m_nCapturedPosition = 0;
    float m_fRemaining = 0.0f;
    int m_nPage = 0;
    int m_nLitLights = -1; // -1: every rev light drawn anew
    bool m_bLatch = false;
    unsigned m_uLastStick = 0;
    std::unique_ptr<HudContent> m_pContent;
    std::string m_LoadError;
    RiderNameSource m_RiderNames;
    TextWatch m_TextWatch;

    // Parts of Draw and Update (race/hud_draw.cpp).
    void DrawEditorReadOuts();
    void DrawStartLights();
    void DrawFlag();
    void DrawFade();
    void MovePointer();
    void DrawPointer();
    int StepSelection(int element);
    void Capture(int element);
    Bike* StandingBike(int index) const;
    std::string RiderName(const Bike* bike) const;
    int RiderId(const Bike* bike) const;
};

// A time as the overlay prints it: "mm:ss:hh" (minutes, seconds,
// hundredths), or "--:--:--" for kNoLapTime (no time yet).
std::string FormatRaceTime(float t);

// Message bits the race itself raises, tests and clears.
inline constexpr std::uint32_t kHudOnboard = 0x1;
inline constexpr std::uint32_t kHudTrackside = 0x2;
inline constexpr std::uint32_t kHudPauseMenu = 0x4;
inline constexpr std::uint32_t kHudRaceMenu = 0x8;
inline constexpr std::uint32_t kHudStartSequence = 0x10;
inline constexpr std::uint32_t kHudResultsMenu = 0x20;
inline constexpr std::uint32_t kHudReplayPanel = 0x40;
inline constexpr std::uint32_t kHudFinishStandings = 0x80;
inline constexpr std::uint32_t kHudReplaySaved = 0x800;
inline constexpr std::uint32_t kHudConfirm = 0x8000;
inline constexpr std::uint32_t kHudHostPaused = 0x10000;   // the host of a network race paused it
inline constexpr std::uint32_t kHudEngineFailure = 0x20000;
inline constexpr std::uint32_t kHudSessionOver = 0x40000;
