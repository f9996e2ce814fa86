#include "app/game_app.h"

// The start-of-race barrier. Outside a network game every player is this
// machine's own and ready at once, so there is nothing to wait for. The
// players of a network game report ready through the session's transport,
// which comes with the multiplayer code; until then nothing sets up a
// network game.
void GameApp::SyncPlayers()
{
}
