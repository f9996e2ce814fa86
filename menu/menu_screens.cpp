// The menu manager's screens: loading them, the per-frame update and the
// forwarders to the current screen.
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "app/form_parser.h"
#include "app/game_error.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "engine/base/engine.h"
#include "engine/render/render_device.h"
#include "menu/form.h"
#include "menu/menu_files.h"
#include "menu/menu_manager.h"
#include "menu/menu_settings.h"
#include "menu/run_loop_seam.h"
#include "menu/screen_hooks.h"
#include "menu/state_io.h"
#include "platform/directory_listing.h"
#include "platform/file.h"
#include "sound/sound_library.h"

bool g_bMenuMusicRestart = false;

namespace {

// Screens 2, 3 and 53 of a main menu load together; textures are made
// resident once the last of them has loaded.
constexpr std::int32_t kGroupFirst = 2;
constexpr std::int32_t kGroupSecond = 3;
constexpr std::int32_t kGroupLast = 53;

// The first letter of the player's rider description ('\0' when there is
// no championship or no player rider).
char PlayerRiderLetter()
{
    try {
        Championship& champ = TheChampionship();
        const std::int32_t id = champ.PlayerRider();
        if (id < 0)
            return 0;
        const char* info = champ.GetRiderInfo(champ.FindRider(id));
        return info ? info[0] : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

// The file a screen record loads: "game04" takes the player's team letter
// as its seventh character, "sim09" is "sim09d".
std::string ScreenFileName(const char* record_name)
{
    std::string name(record_name);
    if (name.size() >= 6 && platform::equals_ignoring_case(name.substr(0, 6), "game04")) {
        name.resize(6);
        if (const char letter = PlayerRiderLetter())
            name += letter;
    } else if (platform::equals_ignoring_case(name, "sim09")) {
        name = "sim09d";
    }
    return name;
}

} // namespace

void MenuManager::LoadScreenFile(std::int32_t index)
{
    Form* form = Screen(index);
    if (!form)
        ThrowGameError("screen %d is not one of the %d screens of %s", index, ScreenCount(), m_Name.c_str());
    const std::string name = ScreenFileName(form->Name());
    if (form->IsLoaded()) {
        if (platform::equals_ignoring_case(form->Name(), name))
            return;
        form->Clear();
    }
    FormParser parser;
    parser.LoadForm(name.c_str());
    form->m_pOwner = this;
    try {
        form->Load(parser);
    } catch (...) {
        form->Clear();
        form->SetName(name.c_str());
        throw;
    }
    form->m_nId = index;
    parser.Close();
}

void MenuManager::LoadScreen(std::int32_t index, bool busy)
{
    Form* form = Screen(index);
    if (!form)
        ThrowGameError("screen %d is not one of the %d screens of %s", index, ScreenCount(), m_Name.c_str());
    if (form->IsLoaded() && platform::equals_ignoring_case(form->Name(), ScreenFileName(form->Name())))
        return;
    struct Back {
        const std::string& folder;
        ~Back() { EnterFolder(folder); }
    } back{m_SavedFolder};
    if (!EnterFolder(m_MenuFolder))
        throw GameError("error loading menu");
    if (busy) {
        m_nPointerFrame = 1;
        RedrawPrevious();
        m_nPointerFrame = 0;
    }
    const bool group = !m_bDialogue && (index == kGroupFirst || index == kGroupSecond || index == kGroupLast) &&
                       kGroupLast < ScreenCount();
    if (group) {
        if (current_engine)
            current_engine->deferred_textures = 0;
        LoadScreenFile(kGroupFirst);
        LoadScreenFile(kGroupSecond);
        LoadScreenFile(kGroupLast);
        if (render_device* renderer = installed_render_device())
            renderer->upload_textures(0);
        if (current_engine)
            current_engine->deferred_textures = 1;
        return;
    }
    LoadScreenFile(index);
}

void MenuManager::LoadAllScreens()
{
    for (std::int32_t i = 0; i < ScreenCount(); ++i)
        LoadScreen(i, false);
}

void MenuManager::LeaveShownScreen()
{
    if (Form* shown = Screen(m_nShownScreen); shown && shown->IsLoaded())
        shown->LeaveScreen();
    m_nShownScreen = -1;
}

void MenuManager::FreeScreens()
{
    LeaveShownScreen();
    for (const std::unique_ptr<Form>& screen : m_Screens)
        screen->Clear();
}

void MenuManager::Free()
{
    LeaveShownScreen();
    FreeWinFonts();
    FreeCaches();
    m_Screens.clear();
    m_Transitions.clear();
    m_StateScreens.clear();
    m_Preload.clear();
}

void MenuManager::RedrawPrevious()
{
    Form* shown = Screen(m_nShownScreen);
    if (!shown || !shown->IsLoaded())
        return;
    const std::int32_t state = m_nState;
    m_nState = m_nReturnState;
    shown->Draw();
    m_nState = state;
}

bool MenuManager::EnterScreenState(std::int32_t& screen, std::int32_t came_from, std::int32_t came_return)
{
    while (screen >= 0 && screen != m_nShownScreen) {
        Form* form = Screen(screen);
        if (!form)
            return true;
        // A state found to lead nowhere is not asked again while the manager
        // stays in it: the check and the message would come every frame.
        if (m_nState == m_nRefusedState && came_from == m_nState)
            return false;
        if (AddMenuScene(*form))
            return true;
        const std::int32_t before = m_nState;
        ExecuteCommand(0);
        m_nState = m_nNextState;
        if (m_nState != before) {
            screen = CurrentScreenIndex();
            continue;
        }
        // "Back" leads nowhere. When the state the manager came from still
        // has its screen shown, it goes back there, so that the keys, Esc
        // and the drawing belong to the screen the player sees; otherwise
        // the screen stays unshown.
        const bool back = m_nShownScreen >= 0 && came_from != before &&
                          ScreenOfStateOrNone(came_from) == m_nShownScreen;
        if (m_nRefusedState != before) {
            if (back)
                std::fprintf(stderr, "menu %s: screen %s cannot be entered and state %d has no way back; "
                                     "state %d stays\n",
                             m_Name.c_str(), form->Name(), before, came_from);
            else
                std::fprintf(stderr, "menu %s: screen %s cannot be entered and state %d has no way back\n",
                             m_Name.c_str(), form->Name(), before);
        }
        m_nRefusedState = before;
        if (!back)
            return false;
        m_nState = m_nNextState = came_from;
        m_nReturnState = came_return;
        screen = m_nShownScreen;
        return true;
    }
    return true;
}

void MenuManager::Update()
{
    if (m_pFrameHook)
        m_pFrameHook();
    // The main menu's start state 18 stands for its idle state 19; a
    // dialogue set's state 18 is a dialogue of its own.
    if (m_nNextState == 18 && !m_bDialogue)
        m_nNextState = 19;
    const std::int32_t came_from = m_nState;
    const std::int32_t came_return = m_nReturnState;
    m_nState = m_nNextState;
    std::int32_t screen = CurrentScreenIndex();
    if (!EnterScreenState(screen, came_from, came_return))
        return;
    if (screen < 0) {
        m_bRunning = 0;
        return;
    }
    if (screen != m_nShownScreen) {
        if (Form* shown = Screen(m_nShownScreen); shown && shown->IsLoaded())
            shown->LeaveScreen();
        LoadScreen(screen, true);
        if (MenuMusicOn() && g_bMenuMusicRestart) {
            g_bMenuMusicRestart = false;
            if (SoundLibrary* sound = TheSoundLibrary()) {
                sound->StopStream(0);
                // The game runs in its own folder: the path is relative to it.
                if (sound->OpenStream("sfx\\music\\menu_g01.wav", 0) == 0)
                    sound->StartStream(true, 0);
            }
        }
        m_nRefusedState = -1;
        Form& shown = *Screen(screen);
        BeginScreenShown(*this, shown);
        shown.ShowScreen();
        shown.Invalidate();
        EndScreenShown(shown);
    }
    Screen(screen)->Draw();
    m_nShownScreen = screen;
}

// A state file holds four words and nothing else: current state, next
// state, last command and return state, little-endian. platform::File's
// "wb" writes a temporary file renamed over the old one on close, so a
// failed save leaves the old file as it was.
namespace {
constexpr std::int64_t kStateFileBytes = 16;
}

void MenuManager::SaveState(const char* file) const
{
    platform::File out;
    if (!out.open(file, "wb"))
        throw GameError("menu save state file error");
    WriteStateWord(out, m_nState);
    WriteStateWord(out, m_nNextState);
    WriteStateWord(out, m_nLastCommand);
    WriteStateWord(out, m_nReturnState);
    if (!out.close())
        throw GameError("menu save state file error");
}

void MenuManager::LoadState(const char* file)
{
    platform::File in;
    if (!in.open(file, "rb"))
        return;
    // A file of another size is no state file this wrote (cut short, or
    // something else): it changes nothing. All four words are read before
    // any is taken.
    const std::int64_t size = in.size();
    if (size != kStateFileBytes) {
        std::fprintf(stderr, "menu %s: state file %s holds %lld bytes, not %lld; the state is kept\n",
                     m_Name.c_str(), file, static_cast<long long>(size), static_cast<long long>(kStateFileBytes));
        return;
    }
    std::int32_t words[4];
    try {
        for (std::int32_t& word : words)
            word = ReadStateWord(in);
    } catch (const GameError&) {
        return;
    }
    m_nState = words[0];
    m_nNextState = words[1];
    m_nLastCommand = words[2];
    m_nReturnState = words[3];
    m_nRefusedState = -1;
}

void MenuManager::RouteMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys)
{
    if (Form* screen = CurrentScreen())
        screen->RouteMouse(x, y, message, keys);
}

void MenuManager::SetFocus(std::int32_t element)
{
    if (Form* screen = CurrentScreen())
        screen->SetFocus(element);
}

bool MenuManager::BroadcastChar(std::int32_t scan_code)
{
    Form* screen = CurrentScreen();
    return screen ? screen->BroadcastChar(scan_code) : false;
}

bool MenuManager::PressFocused()
{
    Form* screen = CurrentScreen();
    return screen ? screen->PressFocused() : false;
}

bool MenuManager::ReleaseFocused()
{
    Form* screen = CurrentScreen();
    return screen ? screen->ReleaseFocused() : false;
}

void MenuManager::ActivateFocused()
{
    if (Form* screen = CurrentScreen())
        screen->ActivateFocused();
}

std::int32_t MenuManager::FindHotKey(std::int32_t key)
{
    Form* screen = CurrentScreen();
    return screen ? screen->FindHotKey(key) : -1;
}

Control* MenuManager::HotKeyControl(std::int32_t key)
{
    Form* screen = CurrentScreen();
    return screen ? screen->HotKeyControl(key) : nullptr;
}

void MenuManager::FocusNext()
{
    if (Form* screen = CurrentScreen()) {
        screen->FocusNext();
        screen->SetFocus(screen->m_nFocus);
    }
}

void MenuManager::FocusPrevious()
{
    if (Form* screen = CurrentScreen()) {
        screen->FocusPrevious();
        screen->SetFocus(screen->m_nFocus);
    }
}

void MenuManager::KeyRight()
{
    if (Form* screen = CurrentScreen()) {
        screen->KeyRight();
        screen->SetFocus(screen->m_nFocus);
    }
}

void MenuManager::KeyLeft()
{
    if (Form* screen = CurrentScreen()) {
        screen->KeyLeft();
        screen->SetFocus(screen->m_nFocus);
    }
}
