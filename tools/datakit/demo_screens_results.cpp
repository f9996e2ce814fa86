// The results, standings and records screens.
#include "tools/datakit/demo_menu_builder.h"

namespace datakit {

void add_results_screens(DemoMenuBuilder& /*kit*/)
{
}

} // namespace datakit
