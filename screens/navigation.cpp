#include "screens/navigation.h"

#include "app/game_error.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "menu/run_menu.h"

namespace {

DialogueRunner g_pDialogueRunner = nullptr;

} // namespace

void SetDialogueRunner(DialogueRunner runner)
{
    g_pDialogueRunner = runner;
}

MenuManager& NavigationManager()
{
    MenuManager* manager = CurrentMenuManager();
    if (!manager)
        throw GameError("no menu manager");
    return *manager;
}

bool GoToState(std::int32_t state)
{
    MenuManager& manager = NavigationManager();
    manager.m_nNextState = state;
    manager.m_nReturnState = manager.m_nState;
    return false;
}

bool CallScreen(std::int32_t state, std::int32_t argument)
{
    MenuManager& manager = NavigationManager();
    Form* called = manager.Screen(manager.ScreenForState(state));
    // A state without a screen cannot be called: the player is told and
    // stays where he is.
    if (!called) {
        MessageBoxf("Screen %d is not there.", static_cast<int>(state));
        return false;
    }
    GoToState(state);
    called->m_nPendingState = manager.m_nState;
    called->m_nArgument = argument;
    return false;
}

std::int32_t AskDialogue(std::int32_t state)
{
    return g_pDialogueRunner ? g_pDialogueRunner("menudial", state) : RunScreen("menudial", state);
}

bool Confirmed(std::int32_t state)
{
    return AskDialogue(state) == 1;
}
