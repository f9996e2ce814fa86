#pragma once

#include <cstdint>
#include <memory>

// The menu manager: runs the state machine of a menu set (its states are
// numbers written in the menu files) and caches the fonts and pictures its
// screens use. The program has two, the main one and the dialogue one; the
// current one is the one the running menu set uses.
//
// So far it holds its states; the menu files, screens and caches join it
// with the menu framework.
class MenuManager {
public:
    MenuManager() = default;
    ~MenuManager() { FreeWinFonts(); }
    MenuManager(const MenuManager&) = delete;
    MenuManager& operator=(const MenuManager&) = delete;

    // Forgets the cached window fonts (none are cached yet).
    void FreeWinFonts() {}

    std::int32_t m_nState = -1;       // the current state
    std::int32_t m_nNextState = -1;   // -1: none
    std::int32_t m_nReturnState = -1; // where a called screen comes back to
};

class lib2d_picture;

// The program-wide menu objects: the picture the menus share, the main and
// the dialogue menu manager, and the four menu state bytes. Built with the
// other program-wide objects (app/startup/program_objects.h); only one set
// exists at a time.
class MenuObjects {
public:
    MenuObjects();
    ~MenuObjects();
    MenuObjects(const MenuObjects&) = delete;
    MenuObjects& operator=(const MenuObjects&) = delete;

    MenuManager& Main() { return m_Main; }
    MenuManager& Dialogue() { return m_Dialogue; }

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

// The four menu state bytes.
extern std::uint8_t g_MenuStateFlags[4];
