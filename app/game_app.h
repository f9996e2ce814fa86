#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/settings_links.h"
#include "app/player_record.h"
#include "platform/net_transport.h"
#include "platform/resources.h"
#include "platform/window.h"

class Race;

// The program-wide application record: the main window, the run flags, the
// display, driver and detail settings (filled from the registry settings),
// the folders of the CD audio, and the race header of the next race.
class GameApp {
public:
    GameApp() = default;
    GameApp(const GameApp&) = delete;
    GameApp& operator=(const GameApp&) = delete;

    // The main window (main_window.cpp).
    bool CreateMainWindow();
    void SizeMainWindow();
    void DestroyMainWindow();

    // The registry settings (registry_settings.cpp). LoadSettings returns 0
    // or the error of opening the settings key (the records then take every
    // default, and stderr says the settings will not be kept); every save
    // returns false when a value could not be written (and says so in a
    // message box).
    // They need the records that SetSettingsLinks names.
    void SetSettingsLinks(const SettingsLinks& links);
    std::int32_t LoadSettings();
    bool SaveRaceSettings();
    bool SaveDrivers();
    bool SaveCamera();
    bool SaveControls();
    bool SaveDriving();
    bool SaveGraphics();
    bool SaveAudio();
    // The whole application record in the full settings key (setup_sheet.cpp).
    bool SaveRegistry();
    std::int32_t LoadRegistry();

    // Runs the race that the race header and the championship describe,
    // with its restarts, and returns when it ends; the outcome is left in
    // this record, the championship and the records files. The run loop
    // needs the race, the input, the renderer and the championship, which
    // sit above this library: whoever builds the program-wide objects hands
    // it over once (SetRaceRunner; the program's is RunRaceLoop,
    // app/startup/run_race.h). Running a race without one is a program
    // error (std::logic_error).
    void RunRace();
    void SetRaceRunner(std::function<void(GameApp&)> runner);

    // The start-of-race barrier of a network game: returns when every player
    // is ready, or has gone, or the wait timed out (false); nothing outside
    // network games (net/net_sync.cpp).
    bool SyncPlayers();
    // The host sends a block to every player; a client waits for a message
    // of exactly that size and copies it in (false when none came in time).
    // Nothing outside network games (net/net_sync.cpp).
    bool ExchangeBlock(void* data, std::size_t size);

    std::uint32_t m_nSyncCounter = 0;        // start barriers passed in this network game
    std::uint32_t m_nNetPlayerId = 0;        // this machine's player id in the network session

    std::uint32_t m_nRunMarker = 0;          // 0xABCD while a race runs
    platform::VersionBlock m_versionBlock{}; // the program's fixed version information
    platform::WindowHandle m_hWnd;          // the main window
    std::uint32_t Flags = 0;                // run flags (kAppFlag*)
    std::int32_t m_nLanguage = 1;           // language index
    std::uint32_t GfxFlags = 0;             // graphics flags (kGfxFlag*)
    std::int32_t HRes = 0;                  // display resolution
    std::int32_t VRes = 0;
    std::int32_t DDrawDriver = 0;           // index in the renderer's display drivers
    std::int32_t D3DDriver = 0;             // index in that driver's 3D devices
    std::int32_t ZClipping = 0;             // far clipping distance
    std::int32_t Details = 0;               // scene detail 0..5
    std::int32_t EngineDetails = 0;         // engine detail
    std::int32_t Shrink = 0;                // view shrink
    std::uint8_t m_PlayerDetail[4] = {};    // filled by the race from "Data\Details.dat"
    std::int32_t m_nWindowWidth = 0;        // outer size of the main window
    std::int32_t m_nWindowHeight = 0;
    Race* m_pRace = nullptr;                // the race being run; null between races
    std::uint8_t m_bSettingsApplied = 0;    // the set-up sheet applied its pages
    std::uint8_t m_bPlayerResult = 0;       // the first player-controlled rider finished
    char CDTrack[260] = {};                 // track folder from the settings, with a separator when not empty
    char CDMusic[260] = {};                 // music folder, the same way
    std::int32_t Camera = 0;                // chosen race camera
    std::uint16_t NetPort = platform::kDefaultNetPort; // "NetPort": network sessions are hosted and found on it

    // ---- Race header: the description of the next race (filled by the
    // race preparation, champ/race_preparation.h) ----
    std::int32_t m_nRiders = 0;              // riders in the race, 0..32
    std::int32_t m_nHumans = 0;              // entries of m_Players
    std::int32_t m_RiderIds[32] = {};        // championship rider id of each race slot
    std::vector<PlayerRecord> m_Players;     // one per human player
    char m_szTrack[12] = {};                 // track name ("Data\Tracks\%s.dat")
    std::uint32_t RaceFlags = 0;             // kRaceFlag*
    std::int32_t m_nLaps = 0;
    std::int32_t m_nSkill = 0;               // computer rider difficulty
    std::int32_t m_nWeather = 0;             // 0 sunny, 1 rain, 2 fog
    std::int32_t m_nSession = 0;             // session type 0..6
    float m_fTemperature1 = 30.0f;           // first temperature
    float m_fTemperature2 = 45.0f;           // second temperature
    PlayerRecord m_PlayerTemplate = MakePlayerTemplate(); // the local player, named "PLAYER"

    // Appends one player (the human count goes up by one).
    void AddPlayer(const PlayerRecord& record)
    {
        m_Players.push_back(record);
        m_nHumans = static_cast<std::int32_t>(m_Players.size());
    }
    // Empties the player array.
    void ReleasePlayers()
    {
        m_Players.clear();
        m_nHumans = 0;
    }
    static PlayerRecord MakePlayerTemplate()
    {
        PlayerRecord p;
        const char* name = "PLAYER";
        for (int i = 0; name[i] != '\0'; ++i)
            p.Name[i] = name[i];
        return p;
    }
    // ---- end of the race header ----

private:
    // The records beside this one that the registry settings fill.
    SettingsLinks m_settingsLinks;
    // The race run loop.
    std::function<void(GameApp&)> m_raceRunner;
};

// Run flags.
inline constexpr std::uint32_t kAppFlagMenu = 0x01; // the front end is active
inline constexpr std::uint32_t kAppFlagDemo = 0x02; // no results are recorded
inline constexpr std::uint32_t kAppFlagNetwork = 0x04;     // network game
inline constexpr std::uint32_t kAppFlagNetworkHost = 0x08; // network game, this machine hosts it
inline constexpr std::uint32_t kAppFlagDirectStart = 0x10; // the race was started straight from a menu command
inline constexpr std::uint32_t kAppFlagMiles = 0x20;       // distances in miles

// Race flags of the race header.
inline constexpr std::uint32_t kRaceFlagChampionship = 0x20; // a championship race
inline constexpr std::uint32_t kRaceFlagNoLoadingScreen = 0x40;

// Graphics flags.
inline constexpr std::uint32_t kGfxFlagSound = 0x01;
inline constexpr std::uint32_t kGfxFlagFullScreen = 0x02;
inline constexpr std::uint32_t kGfxFlagFilter = 0x04;
inline constexpr std::uint32_t kGfxFlagEscluder = 0x08;
inline constexpr std::uint32_t kGfxFlagNoSky = 0x10;
inline constexpr std::uint32_t kGfxFlagAmbient = 0x20;   // smoke particles
inline constexpr std::uint32_t kGfxFlagPhotoreal = 0x40;
inline constexpr std::uint32_t kGfxFlagDarkline = 0x80;
inline constexpr std::uint32_t kGfxFlagMusic = 0x200;

// The program's one GameApp. Throws std::logic_error when the program-wide
// objects (app/startup/program_objects.h) have not installed one.
GameApp& TheGameApp();
// Installs (or, with null, removes) the program's GameApp.
void SetTheGameApp(GameApp* app);
