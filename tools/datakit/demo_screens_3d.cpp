// The 3D screens: picture boxes, carousels, videos and podium scenes.
#include "tools/datakit/demo_menu_builder.h"

namespace datakit {

void add_3d_screens(DemoMenuBuilder& /*kit*/)
{
}

} // namespace datakit
