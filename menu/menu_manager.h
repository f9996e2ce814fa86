#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Control;
class Form;
class M_CParse;
class anim_lib;
class lib2d_font;
class model_lib;
class mtr_lib;
class lib2d_picture;
namespace platform {
class TextFace;
}

// The menu manager: runs the state machine of a menu set (its states are
// numbers written in the menu files), holds the set's screens, and caches
// the fonts and pictures its screens' controls share. The program has two,
// the main one and the dialogue one; the current one is the one the running
// menu set, its controls and the screen handlers use.
class MenuManager {
public:
    // The caches' limits: a set uses fewer than this many of each.
    static constexpr int kMaxGameFonts = 30;
    static constexpr int kMaxSprites = 400;
    static constexpr int kMaxWinFonts = 30;
    static constexpr int kMaxLib3D = 5;

    MenuManager();
    ~MenuManager();
    MenuManager(const MenuManager&) = delete;
    MenuManager& operator=(const MenuManager&) = delete;

    // States and shown screen -1, locks and pointer cleared; the caches are
    // emptied, the screens and tables dropped.
    void Reset();

    // ---- Commands and states ----

    // Unless the current screen's command hook refuses, remembers the
    // current state as the return state and moves on by the transitions.
    // The next state.
    std::int32_t ExecuteCommand(std::int32_t command);
    // The state a command leads to from the current state: command 0 on a
    // screen with a pending state goes there (once); otherwise the first
    // transition of the current state with that command, else the current
    // state itself.
    std::int32_t NextState(std::int32_t command);
    // The screen of a state: the first state-to-screen pair of the state;
    // throws "not found" when the state has none.
    std::int32_t ScreenForState(std::int32_t state) const;
    std::int32_t CurrentScreenIndex() const;
    // The current state's screen record, or null when the state has none.
    Form* CurrentScreen() const;
    Form* FindScreen(const char* name) const;
    Form* Screen(std::int32_t index) const;
    std::int32_t ScreenCount() const { return static_cast<std::int32_t>(m_Screens.size()); }
    // Makes `count` empty screen records named in order.
    void SetScreens(const std::vector<std::string>& names);

    // ---- Menu files and screens ----

    // Reads a menu set file: the menu folder ("PATH"), the start state
    // ("INITSTATE"), the screens to load at once ("PRELOAD"), the screen
    // names ("SCREEN"), the state-to-screen pairs ("SO"), the transitions
    // ("SIS"), and, with the Sound setting on, its samples ("SFX"); then the
    // preloads of "menu.dat". Throws "error loading menu" when a folder
    // cannot be read or entered, "<section> not found in <file>" for a
    // missing section, and what loading a screen throws.
    void Load(const char* file);
    // Loads a screen's file into its record (with the busy pointer drawn
    // first when asked); a record holding that screen already is kept.
    void LoadScreen(std::int32_t index, bool busy);
    void LoadAllScreens();
    // Leaves the screen shown (its release hook frees what its prepare
    // hook made), so that freeing the screens loses nothing a handler
    // holds; then no screen is shown.
    void LeaveShownScreen();
    // Clears every screen record (the tables stay), the shown one left first.
    void FreeScreens();
    // Faces, caches, screens and tables, the shown screen left first.
    void Free();
    // The menu's samples ("SFX" of its file, or of `parser`'s open file).
    void LoadSounds(M_CParse& parser);
    // The fonts and sprite strips of "menu.dat" (or of `parser`'s open file)
    // put into the caches.
    void Preload(M_CParse& parser);
    // One menu frame: the frame hook, the state change, a new screen left,
    // loaded and entered (with the menu music), the screen drawn.
    void Update();
    // Draws the shown screen once more as it looked in the return state.
    void RedrawPrevious();
    // Current state, next state, last command and return state (4 bytes
    // each). Saving throws "menu save state file error" when the file cannot
    // be written; loading keeps the state when it cannot be read.
    void SaveState(const char* file) const;
    void LoadState(const char* file);

    // The current screen's forwarders (each finds the current screen afresh;
    // nothing without one).
    void RouteMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys);
    void SetFocus(std::int32_t element);
    bool BroadcastChar(std::int32_t scan_code);
    bool PressFocused();
    bool ReleaseFocused();
    void ActivateFocused();
    std::int32_t FindHotKey(std::int32_t key);
    Control* HotKeyControl(std::int32_t key);
    void FocusNext();
    void FocusPrevious();
    void KeyRight();
    void KeyLeft();
    void SetFrameHook(void (*hook)()) { m_pFrameHook = hook; }

    const std::string& MenuFolder() const { return m_MenuFolder; }

    // ---- Caches ----

    // A bitmap font by name and its five cache words (cell width, cell
    // height, glyphs across, glyph count, first character). Throws "troppi
    // font" for the 30th different font, "failed font %s" when it does not load.
    lib2d_font* GetFont(const char* name, const std::int32_t params[5]);
    // A picture of one frame of w x h; throws "troppi sprite" for the 400th,
    // "failed font %s" when it does not load.
    lib2d_picture* GetSprite(const char* name, std::int32_t frame_width, std::int32_t frame_height);
    // A face by name, size (tenths of a point), style and logical word;
    // throws "troppi winfont" for the 30th, and the face's own error when no
    // font file opens.
    const platform::TextFace* GetWinFont(const char* name, std::int32_t height, std::int32_t width,
                                         std::int32_t style, std::int32_t logical);
    // A 3D library set by name ("<name>.MTT", or ".MTP" on the 8-bit
    // renderer, with the detail levels' ".MLT"/".MLP" where the set has
    // them; "<name>.ANM", "<name>.MDL"), every material, animation and model
    // loaded. Throws "troppe lib 3d" for the fifth set, "open_lib_file
    // <file>" when a file cannot be read. The manager keeps the libraries
    // (and the instances made in them) until its caches are freed.
    void GetLib3D(const char* name, mtr_lib** materials, anim_lib** anims, model_lib** models);
    std::int32_t Lib3DCount() const { return static_cast<std::int32_t>(m_Lib3D.size()); }
    // Frees the game fonts, sprites and 3D library sets.
    void FreeCaches();
    // Deletes the cached faces.
    void FreeWinFonts();
    std::int32_t GameFontCount() const { return static_cast<std::int32_t>(m_GameFonts.size()); }
    std::int32_t SpriteCount() const { return static_cast<std::int32_t>(m_Sprites.size()); }
    std::int32_t WinFontCount() const { return static_cast<std::int32_t>(m_WinFonts.size()); }

    // ---- Fields ----
    std::uint8_t m_bRunning = 1;
    std::string m_Name;
    std::uint8_t m_bPointerVisible = 0;
    std::uint8_t m_bEditLock = 0;
    struct Transition {
        std::int32_t state, command, next;
    };
    std::vector<Transition> m_Transitions;
    std::int32_t m_nState = -1;       // the current state
    std::int32_t m_nNextState = -1;   // -1: none
    std::int32_t m_nShownScreen = -1;
    struct StateScreen {
        std::int32_t state, screen;
    };
    std::vector<StateScreen> m_StateScreens;
    std::int32_t m_nLastCommand = 0;
    std::int32_t m_nReturnState = -1; // where a called screen comes back to
    std::int32_t m_nLastUserID = -1;
    std::int32_t m_nPointerFrame = 0;  // 0 normal, 1 busy, 2 over a button
    std::uint8_t m_bDialogue = 0;
    void (*m_pFrameHook)() = nullptr;
    Form* m_pOverlay = nullptr;       // drawn under this manager's screens
    std::string m_SavedFolder;        // the working folder to go back to
    std::string m_MenuFolder;         // "PATH": where screens, sounds and preloads are read
    std::int32_t m_nInitState = -1;
    std::vector<std::int32_t> m_Preload;
    // The last state whose screen refused to be entered with no way back
    // (-1: none): it is reported once and not asked again while the manager
    // stays there. Cleared when a screen is shown and by Reset.
    std::int32_t m_nRefusedState = -1;

private:
    // Loads one screen record from its file unless it holds that screen.
    void LoadScreenFile(std::int32_t index);
    // The screen-entry check of a new screen, giving command 0 while it
    // refuses. When command 0 leads nowhere the manager goes back to
    // `came_from` (the state of the last update, with `came_return` its
    // return state) if that state's screen is the one shown, and `screen`
    // is that screen again; otherwise it stays unshown and this is false.
    bool EnterScreenState(std::int32_t& screen, std::int32_t came_from, std::int32_t came_return);
    // The screen of a state's first state-to-screen pair; -1 without one.
    std::int32_t ScreenOfStateOrNone(std::int32_t state) const;

    template <class T>
    struct Cached {
        std::string name;
        std::unique_ptr<T> item;
    };
    struct WinFontKey {
        std::string name;
        std::int32_t height, width, style, logical;
    };
    struct WinFont {
        WinFontKey key;
        std::unique_ptr<platform::TextFace> face;
    };

    struct Lib3D {
        Lib3D();
        ~Lib3D();
        Lib3D(Lib3D&&) noexcept;
        std::string name;
        mtr_lib* materials = nullptr;  // a chain through `next`, owned
        std::unique_ptr<anim_lib> anims;
        std::unique_ptr<model_lib> models;
    };

    std::vector<std::unique_ptr<Form>> m_Screens;
    std::vector<Lib3D> m_Lib3D;
    std::vector<Cached<lib2d_font>> m_GameFonts;
    std::vector<Cached<lib2d_picture>> m_Sprites;
    std::vector<WinFont> m_WinFonts;
};

// Makes a face the way the menus size their text: heights and widths in
// tenths of a point at 96 pixels per inch; style bit 0 bold, 1 italic, 2
// underline, 3 strike-out. A width asks for an average character width
// in that proportion to the height. Null, with `error`, when no font opens.
std::unique_ptr<platform::TextFace> CreateMenuFont(const char* name, std::int32_t height, std::int32_t width,
                                                   std::int32_t style, std::int32_t logical,
                                                   std::string* error = nullptr);
// The em height in pixels of a size in tenths of a point.
std::int32_t MenuFontPixels(std::int32_t tenths);

class lib2d_picture;

// The program-wide menu objects: the pointer picture the menus share, the
// main and the dialogue menu manager, and the four menu state bytes. Built
// with the other program-wide objects (app/startup/program_objects.h); only
// one set exists at a time.
class MenuObjects {
public:
    MenuObjects();
    ~MenuObjects();
    MenuObjects(const MenuObjects&) = delete;
    MenuObjects& operator=(const MenuObjects&) = delete;

    MenuManager& Main() { return m_Main; }
    MenuManager& Dialogue() { return m_Dialogue; }
    lib2d_picture& Pointer() { return *m_pPicture; }

private:
    std::unique_ptr<lib2d_picture> m_pPicture;
    MenuManager m_Main;
    MenuManager m_Dialogue;
};

// The menu manager in use; null while no menu objects exist.
MenuManager* CurrentMenuManager();
void SetCurrentMenuManager(MenuManager* manager);
// The main and dialogue managers of the program's menu objects; null while
// none exist.
MenuManager* MainMenuManager();
MenuManager* DialogueMenuManager();
// The pointer picture of the menu objects; null while none exist.
lib2d_picture* MenuPointerPicture();

// The pointer's position in menu pixels (the run loop moves it).
extern std::int32_t g_nPointerX, g_nPointerY;

// Set when a menu set loads: the next screen shown restarts the menu music.
extern bool g_bMenuMusicRestart;

// The four menu state bytes.
extern std::uint8_t g_MenuStateFlags[4];
