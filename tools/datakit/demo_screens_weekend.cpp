// The race weekend's screens: game mode, team and rider, track, the sessions
// of a weekend and the in-session menus.
#include "tools/datakit/demo_menu_builder.h"

namespace datakit {

void add_weekend_screens(DemoMenuBuilder& /*kit*/)
{
}

} // namespace datakit
