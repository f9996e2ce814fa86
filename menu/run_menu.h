#pragma once

#include <cstdint>
#include <string>
#include <vector>

class MenuManager;

// The menu run loop: runs a menu set (the front end "menu", the in-race menu
// "Menu", the dialogues "menudial", the start-up screens "startvid") from
// its files until it reaches a state without screen, and says whether a
// race is to be run. Each pass reads the keyboard, a joystick and the
// mouse, moves the pointer and the focus, gives the commands, hands one
// window message on, updates and draws the menu, and after a minute
// without input on the main menu runs a demonstration race.

// Run flags of RunMenu, LoadMenuScreens and LeaveMenu.
inline constexpr std::uint32_t kRunDialogues = 0x01;    // load the dialogues too / free them
inline constexpr std::uint32_t kRunSounds = 0x02;       // load the set's samples / free them
inline constexpr std::uint32_t kRunEngine = 0x04;       // make the 3D context / delete it
inline constexpr std::uint32_t kRunPointer = 0x08;      // load the pointer picture / free it
inline constexpr std::uint32_t kRunResume = 0x10;       // choose the state to come back to after the race
inline constexpr std::uint32_t kRunNoLoading = 0x20;    // no loading picture
inline constexpr std::uint32_t kRunRaceResult = 0x40;   // start where the race just run leads
inline constexpr std::uint32_t kRunRedrawBusy = 0x80;   // draw the last screen once more with the busy pointer

// The flag sets the program uses.
inline constexpr std::uint32_t kMainMenuFlags = 0x9F;   // the front end (159)
inline constexpr std::uint32_t kReloadFlags = 0x9D;     // a reload inside the loop (157)
inline constexpr std::uint32_t kInRaceMenuFlags = 0x5B; // the in-race menu (91)
inline constexpr std::uint32_t kScreenSetFlags = 0x20;  // RunScreen (32)

// The main menu's idle state, where a minute without input starts the
// demonstration race.
inline constexpr std::int32_t kMainMenuIdleState = 19;
inline constexpr std::uint32_t kAttractIdleMs = 60000;

// Runs the menu set `name` (its file ".\menu\<name>.dat", read the first
// time) from `startState` (-1: where the set stands). 1 when it ended with
// a non-zero command (a race is to be run, prepared from the menu choices
// unless this is a dialogue, a network game or the in-race menu), else 0:
// also when the quit byte is set and when the display cannot be set up
// (MenuDisplayFailed then says so).
std::int32_t RunMenu(const char* name, std::uint32_t flags, std::int32_t startState);

// Runs the screen set `name` ("menudial" on the program's dialogue manager
// over the screen shown now; any other on a manager of its own) from
// `startState`; its last command (0: cancelled).
std::int32_t RunScreen(const char* name, std::int32_t startState);

// Prepares a menu set: the window at 640 x 480, the sound started with the
// volume settings, the display and loading picture, and by the flags the 3D
// context, the pointer picture, the dialogues, the set's file (the first
// time) and its samples. False when the display cannot be set up.
bool LoadMenuScreens(const char* name, std::uint32_t flags);
// The display set up for the menus (unless it is since the last race) and,
// unless kRunNoLoading, the cover picture the first time and the loading
// picture after that. False when the display cannot be set up.
bool ShowLoadingScreen(std::uint32_t flags);
// Frees the current set's screens and caches, and by the flags the
// samples, the dialogues, the 3D context and the pointer picture.
void LeaveMenu(std::uint32_t flags);
// A race has changed the display: the next menu set sets it up again.
void ForgetMenuDisplay();
// True after a menu set could not set up its display (the renderer has said
// why); the program then ends with status 1.
bool MenuDisplayFailed();
// The run loop's program-wide words as the program starts them: no latched
// key, display not set up (nor failed), the cover not shown, no 3D context
// or pointer picture, the attract order at its first track (a test's fresh
// start).
void ResetMenuRunLoop();

// The demonstration race: the menus left, an arcade race of the next track
// of the attract order with the arcade rider and lap settings and nobody
// riding, its results not kept, then the menu set loaded again (the result
// of LoadMenuScreens).
bool AttractMode(const char* name);
// The track the next demonstration race runs (0..11) and its order.
std::int32_t AttractTrackCounter();
void SetAttractTrackCounter(std::int32_t counter);
extern const char* const kAttractTracks[12];

// The point where a network game picks the menu state to start in (the
// multiplayer screens install it); nothing outside a network game.
using NetworkMenuStart = void (*)(MenuManager& manager);
void SetNetworkMenuStart(NetworkMenuStart start);
// Set by the multiplayer screens when their lobby leaves the menus for a
// network race: the main set's run then ends as a race start (1), whatever
// its last command was; the run clears it.
extern bool g_bMenuRaceStart;

// Plays a video file into the destination rectangle (0, 0)-(right, bottom).
// Videos are not played yet: it ends at once, with a non-zero result, as a
// video that cannot be opened does.
std::int32_t PlayVideo(const char* file, std::int32_t right, std::int32_t bottom);

// A message box captioned "Message" with the formatted text and a line end.
void MessageBoxf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// n owned strings, all empty (null) at first.
class StringArray {
public:
    explicit StringArray(std::int32_t count);
    // Replaces entry i by a copy of the text; an index outside the array is
    // ignored.
    void Set(std::int32_t index, const char* text);
    // Entry i, or null when it was never set (or is outside the array).
    const char* Get(std::int32_t index) const;
    std::int32_t Count() const { return static_cast<std::int32_t>(m_Entries.size()); }
    // Frees every entry and the array.
    void Free();

private:
    struct Entry {
        bool set = false;
        std::string text;
    };
    std::vector<Entry> m_Entries;
};

// The first name "<base><n>.<extension>" (n = 1, 2, ...) that does not
// open for reading in `folder` (a program path ending in a separator), as
// the name without the folder. False when every number up to
// kNextFreeFileLimit is taken.
inline constexpr std::int32_t kNextFreeFileLimit = 99999;
bool NextFreeFileName(std::string& out, const char* folder, const char* base, const char* extension);
