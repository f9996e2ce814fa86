#include "menu/run_menu.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "app/game_app.h"
#include "app/main_window.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/race_preparation.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/menu_display.h"
#include "menu/menu_input.h"
#include "menu/menu_manager.h"
#include "menu/run_loop_parts.h"
#include "menu/run_loop_seam.h"
#include "platform/clock.h"
#include "platform/directory_listing.h"
#include "platform/window.h"

namespace {

NetworkMenuStart g_pNetworkStart = nullptr;

// The pointer moves three menu pixels per mouse count.
constexpr std::int32_t kPointerSpeed = 3;

// Moves the manager to a state of its own choosing: the state it was in
// becomes the return state.
void EnterState(MenuManager& manager, std::int32_t state)
{
    manager.m_nReturnState = manager.m_nState;
    manager.m_nState = manager.m_nNextState = state;
}

// The state the in-race menu starts in: where the game mode and the session
// just run lead (-1: where the set stands).
std::int32_t RaceResultState(std::int32_t gameMode, std::int32_t sessionKind)
{
    switch (gameMode) {
    case 2:
        return 63;
    case 3:
        switch (sessionKind) {
        case 0: return 65;
        case 1: return 67;
        case 4: return 64;
        case 5: return 66;
        case 6: return 68;
        default: return -1;
        }
    case 4:
        switch (sessionKind) {
        case 0: return 72;
        case 1: return 74;
        case 4: return 71;
        case 5: return 73;
        case 6: return 75;
        default: return -1;
        }
    default:
        return -1;
    }
}

// The state the menus come back to after the race a state started, and
// the return state that goes with it (-1: the state it was in); -1 when the
// menus stay where they are.
struct ResumeState {
    std::int32_t state = -1;
    std::int32_t returnState = -1;
};
ResumeState ResumeAfterRace(std::int32_t from, std::int32_t sessionKind)
{
    const bool timed = sessionKind == 0 || sessionKind == 1;
    if (from == 4)
        return {101, 2};
    if (from == 9)
        return {99};
    if (from == 53)
        return {53};
    if (from == 63)
        return {37};
    if (from >= 64 && from <= 70)
        return {timed ? 85 : 29};
    if (from >= 71 && from <= 79) {
        if (timed)
            return {86};
        if (sessionKind == 2)
            return {106};
        if (sessionKind == 3)
            return {102};
        return {50};
    }
    // The replay lists: the menus come back to the list the replay was
    // chosen from (131 the arcade one).
    if (from == 80 || from == 131)
        return {from};
    return {};
}

std::int32_t CurrentSessionKind()
{
    try {
        return TheChampionship().GetSessionKind();
    } catch (const std::logic_error&) {
        return -1;
    }
}

std::int32_t CurrentGameMode()
{
    try {
        return TheChampionship().GameMode;
    } catch (const std::logic_error&) {
        return -1;
    }
}

// The pointer follows the mouse, inside the menu space; a button or a move
// goes to the screen.
void ReadPointer(MenuManager& manager, const InputManager& input, std::int32_t& message)
{
    g_nPreviousPointerX = g_nPointerX;
    g_nPreviousPointerY = g_nPointerY;
    g_nPointerX = std::clamp(g_nPointerX + kPointerSpeed * input.m_MouseState.lX, 0, kMenuWidth - 1);
    g_nPointerY = std::clamp(g_nPointerY + kPointerSpeed * input.m_MouseState.lY, 0, kMenuHeight - 1);
    std::int32_t keys = 0;
    ReadMouseEvent(message, keys);
    if (message != 0)
        manager.RouteMouse(g_nPointerX, g_nPointerY, message, keys);
}

// A key goes to the control its hot key names, else it moves the focus,
// presses the focused control or goes back; other keys are typed.
void HandleKey(MenuManager& manager, std::int32_t key, std::int32_t event)
{
    const bool down = event == kMenuKeyDown;
    const bool up = event == kMenuKeyUp;
    const std::int32_t hot = manager.FindHotKey(key);
    if (hot >= 0) {
        if (down) {
            manager.SetFocus(hot);
            manager.PressFocused();
        } else if (up) {
            manager.ReleaseFocused();
        }
        return;
    }
    switch (key) {
    case kMenuKeyEscape:
        if (up && !manager.m_bEditLock)
            manager.ExecuteCommand(0);
        break;
    case kMenuKeyEnter:
        if (down)
            manager.PressFocused();
        else if (up)
            manager.ReleaseFocused();
        break;
    case kMenuKeyUpArrow:
        if (up)
            manager.FocusPrevious();
        break;
    case kMenuKeyDownArrow:
        if (up)
            manager.FocusNext();
        break;
    case kMenuKeyLeftArrow:
        if (up)
            manager.KeyLeft();
        break;
    case kMenuKeyRightArrow:
        if (up)
            manager.KeyRight();
        break;
    default:
        if (down)
            manager.BroadcastChar(key);
        break;
    }
}

// Takes at most one waiting window message and hands it to its window.
void DispatchOneMessage()
{
    platform::Message message;
    if (platform::peek_message(message, true)) {
        platform::translate_message(message);
        platform::dispatch_message(message);
    }
}

// A reload request (state -1): the set is left and loaded again with its
// display, and goes back where it came from. False when the display cannot
// be set up again.
bool ReloadSet(MenuManager& manager, const char* name)
{
    manager.m_bRunning = 1;
    const std::string copy = name;
    const bool restart = g_bMenuMusicRestart;
    manager.LeaveShownScreen();
    LeaveMenu(kReloadFlags);
    ForgetMenuDisplay();
    if (!LoadMenuScreens(copy.c_str(), kReloadFlags))
        return false;
    g_bMenuMusicRestart = restart;
    manager.m_nState = manager.m_nNextState = manager.m_nReturnState;
    manager.m_nReturnState = -1;
    manager.ExecuteCommand(0);
    manager.Update();
    return true;
}

// One pass of the loop after the input has been polled; false when the
// display could not be set up again.
bool RunPass(MenuManager& manager, const char* name, InputManager* input, int joystick,
             std::uint32_t& lastInput)
{
    std::int32_t message = 0;
    if (input && !manager.m_bEditLock)
        ReadPointer(manager, *input, message);
    std::int32_t key = 0, event = 0;
    ReadMenuKey(key, event);
    ReadJoystickKey(ActiveJoystickRecord(joystick), key, event);
    if (input && input->KeyPressed(kMenuKeyF12))
        if (render_device* renderer = installed_render_device())
            renderer->save_screenshot();
    const std::uint32_t now = platform::time_get_time();
    if (key != 0 || message != 0)
        lastInput = now;
    if (key != 0)
        if (const Form* screen = manager.CurrentScreen(); screen && screen->m_nKeyLock == 0)
            HandleKey(manager, key, event);
    DispatchOneMessage();
    manager.Update();

    if (platform::elapsed_ms(lastInput, platform::time_get_time()) > kAttractIdleMs) {
        if (manager.m_nState == kMainMenuIdleState) {
            if (!AttractMode(name))
                return false;
            manager.Update();
        }
        lastInput = platform::time_get_time();
    }
    if (manager.m_nState == -1 && !ReloadSet(manager, name))
        return false;
    return true;
}

// After the race a set's state started, the state it comes back to.
void ChooseResumeState(MenuManager& manager)
{
    const ResumeState resume = ResumeAfterRace(manager.m_nReturnState, CurrentSessionKind());
    if (resume.state < 0)
        return;
    EnterState(manager, resume.state);
    if (resume.returnState >= 0)
        manager.m_nReturnState = resume.returnState;
}

} // namespace

bool g_bMenuEndedWithCommand = false;
bool g_bMenuRaceStart = false;
std::int32_t g_nPreviousPointerX = 0, g_nPreviousPointerY = 0;

void SetNetworkMenuStart(NetworkMenuStart start)
{
    g_pNetworkStart = start;
}

std::int32_t RunMenu(const char* name, std::uint32_t flags, std::int32_t startState)
{
    if (g_bQuit)
        return 0;
    if (!LoadMenuScreens(name, flags))
        return 0;
    MenuManager& manager = *CurrentMenuManager();
    if (startState >= 0)
        EnterState(manager, startState);
    const GameApp& app = TheGameApp();
    if ((app.Flags & kAppFlagNetwork) && !manager.m_bDialogue && g_pNetworkStart)
        g_pNetworkStart(manager);
    if (flags & kRunRaceResult)
        if (const std::int32_t state = RaceResultState(CurrentGameMode(), CurrentSessionKind()); state >= 0)
            EnterState(manager, state);

    InputManager* input = TheInputManager();
    const int joystick = FindActiveJoystick();
    std::uint32_t lastInput = platform::time_get_time();
    manager.Update();
    bool displayed = true;
    while (manager.m_bRunning && !g_bQuit) {
        if (input)
            input->Poll();
        displayed = RunPass(manager, name, input, joystick, lastInput);
        if (!displayed || !manager.m_bRunning)
            break;
        WaitForMenuFrame();
    }

    if (displayed && (flags & kRunRedrawBusy)) {
        manager.m_nPointerFrame = 1;
        manager.RedrawPrevious();
        manager.m_nPointerFrame = 0;
    }
    if (flags & kRunResume)
        ChooseResumeState(manager);
    LeaveMenu(flags);
    // The lobby's race start ends the main set whatever its last command.
    const bool raceStart = !manager.m_bDialogue && std::exchange(g_bMenuRaceStart, false);
    if (!displayed || (manager.m_nLastCommand == 0 && !raceStart) || g_bQuit)
        return 0;
    g_bMenuEndedWithCommand = true;
    if (manager.m_bDialogue || (app.Flags & kAppFlagNetwork) || flags == kInRaceMenuFlags)
        return 1;
    PrepareRace();
    return 1;
}

std::int32_t RunScreen(const char* name, std::int32_t startState)
{
    MenuManager* previous = CurrentMenuManager();
    std::unique_ptr<MenuManager> own;
    MenuManager* manager = nullptr;
    if (platform::equals_ignoring_case(name, "menudial")) {
        manager = DialogueMenuManager();
    } else {
        own = std::make_unique<MenuManager>();
        manager = own.get();
    }
    if (!manager)
        return 0;
    // The screen set runs on its manager; the one before is current again
    // afterwards, also when the set fails.
    struct Back {
        MenuManager* manager;
        ~Back() { SetCurrentMenuManager(manager); }
    } back{previous};
    Form* overlay = nullptr;
    if (previous && previous != manager && !platform::equals_ignoring_case(name, "startvid"))
        overlay = previous->Screen(previous->m_nShownScreen);
    SetCurrentMenuManager(manager);
    manager->m_bDialogue = 1;
    manager->m_pOverlay = overlay;
    RunMenu(name, kScreenSetFlags, startState);
    const std::int32_t result = manager->m_nLastCommand;
    manager->m_pOverlay = nullptr;
    if (own)
        own->Free();
    return result;
}

void ResetMenuRunLoop()
{
    ResetMenuInputLatches();
    ResetMenuLoadState();
    SetAttractTrackCounter(0);
    g_bMenuEndedWithCommand = false;
    g_bMenuRaceStart = false;
}
