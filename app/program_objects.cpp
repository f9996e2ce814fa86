#include "app/program_objects.h"

#include <stdexcept>

#include "app/game_app.h"
#include "app/main_window.h"

namespace {

GameApp* g_pGameApp = nullptr;

} // namespace

ProgramObjects::ProgramObjects()
{
    if (g_pGameApp)
        throw std::logic_error("the program-wide objects exist already");
    // The program-wide bytes start cleared, as at program start.
    g_bQuit = 0;
    m_pGameApp = std::make_unique<GameApp>();
    g_pGameApp = m_pGameApp.get();
}

ProgramObjects::~ProgramObjects()
{
    g_pGameApp = nullptr;
    m_pGameApp.reset();
}

GameApp& TheGameApp()
{
    if (!g_pGameApp)
        throw std::logic_error("the application record is used before the program-wide objects are built");
    return *g_pGameApp;
}
