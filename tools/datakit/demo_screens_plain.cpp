// Plain screens for the states whose own screens are still to come.
#include "tools/datakit/demo_menu_builder.h"

namespace datakit {

void add_plain_screens(DemoMenuBuilder& /*kit*/)
{
}

} // namespace datakit
