#include "tools/datakit/demo_menu_3d.h"

#include "tools/datakit/carousel_writer.h"
#include "tools/datakit/demo_podium.h"
#include "tools/datakit/demo_videos.h"

namespace datakit {

bool write_demo_menu_3d(const std::filesystem::path& root, std::string& error)
{
    // The videos are drawn from a podium scene: after the scenes.
    return write_demo_carousels(root / "menu", error) && write_demo_podium_scenes(root, error) &&
           write_demo_videos(root, error);
}

} // namespace datakit
