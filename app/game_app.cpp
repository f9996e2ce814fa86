#include "app/game_app.h"

#include <stdexcept>
#include <utility>

namespace {

GameApp* g_pGameApp = nullptr;

} // namespace

void GameApp::SetRaceRunner(std::function<void(GameApp&)> runner)
{
    m_raceRunner = std::move(runner);
}

void GameApp::RunRace()
{
    if (!m_raceRunner)
        throw std::logic_error("a race is run before the program has handed over its race run loop");
    m_raceRunner(*this);
}

GameApp& TheGameApp()
{
    if (!g_pGameApp)
        throw std::logic_error("the application record is used before the program-wide objects are built");
    return *g_pGameApp;
}

void SetTheGameApp(GameApp* app)
{
    g_pGameApp = app;
}
