#include "tools/datakit/demo_data.h"

#include <system_error>

#include "tools/datakit/anm_writer.h"
#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/champ_files_writer.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/demo_menus.h"
#include "tools/datakit/demo_sounds.h"
#include "tools/datakit/flare_writer.h"
#include "tools/datakit/font_writer.h"
#include "tools/datakit/mix_writer.h"
#include "tools/datakit/overlay_writer.h"
#include "tools/datakit/pcx_writer.h"
#include "tools/datakit/race_data_writer.h"
#include "tools/datakit/rider_state_writer.h"
#include "tools/datakit/shade_table_writer.h"
#include "tools/datakit/trackside_camera_writer.h"
#include "tools/datakit/tyre_data_writer.h"
#include "tools/datakit/world_bikes.h"
#include "tools/datakit/world_track.h"
#include "tools/datakit/text_file_builder.h"

namespace datakit {

bool make_demo_data(const std::filesystem::path& root, std::string& error)
{
    for (const char* folder : {"Data", "Gfx", "Sfx", "menu"})
        if (!create_folders(root / folder, error))
            return false;
    if (!write_demo_palettes(root, error))
        return false;
    if (!write_demo_tyre_data(root, error))
        return false;
    if (!write_demo_bike_data(root, error))
        return false;
    if (!write_demo_animation_sets(root, error)) // after the bike data: it adds to "Data/Info.dat"
        return false;
    if (!write_demo_champ_files(root, error))
        return false;
    if (!write_demo_tracks(root, error))
        return false;
    if (!write_demo_trackside_cameras(root, error))
        return false;
    if (!write_demo_race_data(root, error)) // after the animation sets: it adds to "Data/Info.dat"
        return false;
    if (!write_demo_fonts(root, error))
        return false;
    if (!write_demo_overlay(root, error)) // the race overlay, over the demo fonts
        return false;
    if (!write_demo_lens_flare(root, error))
        return false;
    if (!write_demo_loading_pictures(root, error))
        return false;
    if (!write_demo_sounds(root, error))
        return false;
    // The menus: over the fonts, the circuits' loading pictures and the sounds.
    if (!write_demo_menus(root, error))
        return false;
    // The bike and rider world: models, materials, animations, cockpits.
    if (!write_demo_world_bikes(root, error))
        return false;
    if (!write_demo_world_tracks(root, error)) // after the race data: it adds to "Data/Details.dat"
        return false;
    // Last: every data folder also goes into the ".mix" archive the game
    // looks in when a file is not on disk.
    if (!pack_demo_archives(root, error))
        return false;
    return true;
}

} // namespace datakit
