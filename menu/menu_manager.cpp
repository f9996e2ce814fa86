#include "menu/menu_manager.h"

#include <stdexcept>

#include "engine/render/lib2d_picture.h"

std::uint8_t g_MenuStateFlags[4] = {};

namespace {

MenuObjects* g_pMenuObjects = nullptr;
MenuManager* g_pCurrentMenu = nullptr;

} // namespace

MenuObjects::MenuObjects()
{
    if (g_pMenuObjects)
        throw std::logic_error("the menu objects exist already");
    m_pPicture = std::make_unique<lib2d_picture>();
    for (std::uint8_t& flag : g_MenuStateFlags)
        flag = 0;
    g_pMenuObjects = this;
}

MenuObjects::~MenuObjects()
{
    if (g_pCurrentMenu == &m_Main || g_pCurrentMenu == &m_Dialogue)
        g_pCurrentMenu = nullptr;
    g_pMenuObjects = nullptr;
}

MenuManager* CurrentMenuManager()
{
    return g_pCurrentMenu;
}

void SetCurrentMenuManager(MenuManager* manager)
{
    g_pCurrentMenu = manager;
}

MenuManager* MainMenuManager()
{
    return g_pMenuObjects ? &g_pMenuObjects->Main() : nullptr;
}

MenuManager* DialogueMenuManager()
{
    return g_pMenuObjects ? &g_pMenuObjects->Dialogue() : nullptr;
}
