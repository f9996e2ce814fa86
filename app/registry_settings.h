#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/settings_links.h"

class GameApp;
struct ControlBlock;

// The player's settings in the settings store, key
// "Software\Corvantis\TVNDemo": read once at start-up into the application
// record, the game settings and the input's default bindings
// (GameApp::LoadSettings), and written back group by group when the options
// screens change them (GameApp::Save*). Every value is a 32-bit word (a
// float is kept as its bits) except "PlayerName", "CDTrack" and "CDMusic",
// which are strings. A missing value takes its default. docs/settings.md
// lists every value.

inline constexpr const char* kSettingsKeyPath = "Software\\Corvantis\\TVNDemo";

// Results of the loaders, with the numbers the settings code has always used.
inline constexpr std::int32_t kSettingsOk = 0;
inline constexpr std::int32_t kSettingsKeyMissing = 2;     // the key is not there (ERROR_FILE_NOT_FOUND)
inline constexpr std::int32_t kSettingsKeyUnusable = 1011; // the key cannot be opened (ERROR_CANTOPEN)

// Longest string read from the key, terminator included.
inline constexpr std::size_t kPlayerNameReadBytes = 100;
inline constexpr std::size_t kFolderPathBytes = 260;

// The product version words written beside every group.
inline constexpr const char* kValueVersionMS = "VersionMS";
inline constexpr const char* kValueVersionLS = "VersionLS";
inline constexpr const char* kValuePlayerName = "PlayerName";

// The driving values that a realism level 1..4 stands for (level 0: the
// player's own values, read from the key).
struct RealismPreset {
    std::uint32_t PlayerFlags;
    float FrontLimiter;
    float RearLimiter;
};
// The preset of a level 1..4; null for any other level.
const RealismPreset* FindRealismPreset(std::int32_t level);

// The graphics values that a detail level 1..4 stands for (level 0: the
// player's own values, read from the key). The GfxFlags bits are added to
// the running flags, never taken away.
struct DetailPreset {
    std::int32_t ZClipping;
    std::int32_t Details;
    std::int32_t EngineDetails;
    std::int32_t Shrink;
    std::uint32_t GfxFlags;
};
// The preset of a level 1..4; null for any other level.
const DetailPreset* FindDetailPreset(std::int32_t level);

// The program's own version into the application record's version block.
// False when the version cannot be had (the block is left as it was).
bool GetFileVersion(GameApp& app);

// Display modes a driver pair offers: bit 0 320 x 200, bit 1 640 x 480,
// bit 2 800 x 600. 0 for a pair that is not in the renderer's lists.
std::uint32_t GetVideoModeMask(const DisplayModeQuery& displays, int ddrawDriver, int d3dDriver);
inline constexpr std::uint32_t kMode320x200 = 0x1;
inline constexpr std::uint32_t kMode640x480 = 0x2;
inline constexpr std::uint32_t kMode800x600 = 0x4;

// The default bindings: keys first ("Accelerator" A, "Brake" Z, "Steer
// Left" comma, "Steer Right" full stop, "Shift Up" space, "Shift Down" left
// Alt, "Hang On" X, "Look Behind" C); then, when a usable joystick is
// attached, the first one takes what its axes and buttons can serve:
// throttle and brake on its Y axis (two axes or more), steering on its X
// axis (any axis), gears on buttons 0 and 1, hang-on and look-behind on
// buttons 2 and 3 (four buttons or more). Every rate is 0.
void ResetControlBindings(ControlBlock& block, const std::vector<AttachedJoystick>& joysticks);

// The short name of a binding as the controls pages show it: "K30" for a
// key, "J0 B3" for a joystick button, "M B1" for a mouse button, "MX+",
// "J0 Y-" for an axis and its direction. False, with `name` left as it was,
// for a type that has no name.
bool GetBindingName(std::string& name, int type, int index);

// The stored value names of a control's binding: its type code ('K'), its
// index ('I') and its two rates ('P', 'R'), as "Accelerator_K".
std::string BindingValueName(int control, char part);

// The player's name from "PlayerName" into `field`: at most 99 characters
// are read, of which the first 20 (the longest name the championship keeps)
// are kept, fewer when the field is smaller (it keeps its terminator);
// "PLAYER" when the value is missing or the key cannot be read. The rest of
// the field is zeroed.
void LoadPlayerName(std::span<char> field);
