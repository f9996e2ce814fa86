#include "screens/race_commands.h"

#include "app/game_app.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/race_preparation.h"

void StartSessionFromMenu(std::int32_t sessionKind)
{
    TheChampionship().SetSessionKind(sessionKind);
    PrepareRace();
    GameApp& app = TheGameApp();
    app.Flags |= kAppFlagDirectStart;
    app.RunRace();
}
