#pragma once

#include <cstdint>

#include "platform/resources.h"
#include "platform/window.h"

// The program-wide application record: the main window, the run flags and
// the display settings that start-up and the main window use.
class GameApp {
public:
    GameApp() = default;
    GameApp(const GameApp&) = delete;
    GameApp& operator=(const GameApp&) = delete;

    // The main window (main_window.cpp).
    bool CreateMainWindow();
    void SizeMainWindow();
    void DestroyMainWindow();

    platform::VersionBlock m_versionBlock{}; // the program's fixed version information
    platform::WindowHandle m_hWnd;          // the main window
    std::uint32_t Flags = 0;                // run flags (kAppFlag*)
    std::uint32_t GfxFlags = 0;             // graphics flags (kGfxFlag*)
    std::int32_t HRes = 0;                  // display resolution
    std::int32_t VRes = 0;
    std::int32_t m_nWindowWidth = 0;        // outer size of the main window
    std::int32_t m_nWindowHeight = 0;
    std::uint8_t m_bSettingsApplied = 0;    // the set-up sheet applied its pages
};

// Run flags.
inline constexpr std::uint32_t kAppFlagMenu = 0x01; // the front end is active
inline constexpr std::uint32_t kAppFlagDemo = 0x02; // no results are recorded

// Graphics flags.
inline constexpr std::uint32_t kGfxFlagSound = 0x01;
inline constexpr std::uint32_t kGfxFlagFullScreen = 0x02;

// The program's one GameApp. Throws std::logic_error when the program-wide
// objects (app/program_objects.h) do not exist.
GameApp& TheGameApp();
