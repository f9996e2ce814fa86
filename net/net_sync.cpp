#include "app/game_app.h"
#include "net/net_session.h"

// The start-of-race barrier. Outside a network game every player is this
// machine's and ready at once. In a network game the players' ready
// messages go through the session's transport, which joins with the
// multiplayer code; until then no network game can be set up (nothing sets
// the network flags), so there is nobody to wait for.
void GameApp::SyncPlayers()
{
    if (!(Flags & kAppFlagNetwork) || !g_pNetSession)
        return;
}
