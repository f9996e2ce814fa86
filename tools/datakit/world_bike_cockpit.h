#pragma once

#include <filesystem>
#include <string>

#include "tools/datakit/typed_list_writer.h"

namespace datakit {

// The cockpit definition of one bike model, "Gfx/Cockpit/<model>/Cockpit.dat":
// "NEEDLE" (scale 1.0 and the model's rev limit), "COCKPIT" (the speed
// digits "Speed.pcx", the gear digits "Gear.pcx", the lit and unlit rev
// lights "RevOn.pcx" and "RevOff.pcx", each a row of frames), "RPM" (eight
// rev lights from 60 % of the limit up) and "TEXTURE" (the 3D cockpit's
// textures they draw into: "<MODEL>_SPD", "<MODEL>_GEAR", "<MODEL>_REVS"
// twice).
std::string world_cockpit_text(int model);

// Writes the cockpit file and its four pictures for every demo bike model.
bool write_world_cockpits(const std::filesystem::path& root, std::string& error);

} // namespace datakit
