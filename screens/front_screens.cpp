#include "screens/front_screens.h"

#include "app/game_app.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "platform/clock.h"
#include "screens/navigation.h"

namespace {

constexpr std::int32_t kQuitDialogue = 10;
constexpr std::int32_t kPageBrowserState = 900;

std::uint32_t g_nTitleCardStart = 0;
bool g_bTitleCardEnded = false;

} // namespace

void StartTitleCard()
{
    g_nTitleCardStart = platform::time_get_time();
    g_bTitleCardEnded = false;
}

void EndTitleCardInTime(Form& form)
{
    if (g_bTitleCardEnded || platform::elapsed_ms(g_nTitleCardStart, platform::time_get_time()) < kTitleCardMs)
        return;
    g_bTitleCardEnded = true;
    if (MenuManager* manager = form.m_pOwner)
        manager->ExecuteCommand(0);
}

bool MainMenuCommand(std::int32_t userId)
{
    switch (userId) {
    case 0:
        return Confirmed(kQuitDialogue);
    case 1:
        return CallScreen(kPageBrowserState, 0);
    default:
        return true;
    }
}

std::int32_t DialogueMessagePage(std::int32_t state, bool networkGame, bool host)
{
    if (state >= 0 && state < 30)
        return state % 10;
    switch (state) {
    case 30:
    case 31:
        return 0;
    case 32:
    case 34:
        return !networkGame ? 0 : host ? 2 : 3;
    case 33:
    case 35:
        return 1;
    case 50:
        return 4;
    default:
        return -1;
    }
}

void ShowDialogueMessagePage(Form& form)
{
    Label* message = dynamic_cast<Label*>(form.FindElement("dlg_message"));
    MenuManager* manager = form.m_pOwner;
    if (!message || !manager)
        return;
    const std::uint32_t flags = TheGameApp().Flags;
    const std::int32_t page =
        DialogueMessagePage(manager->m_nState, (flags & kAppFlagNetwork) != 0, (flags & kAppFlagNetworkHost) != 0);
    // A page the label lacks keeps the one it shows.
    if (page >= 0 && page < message->PageCount())
        message->SetPage(page);
}
