#pragma once

#include <filesystem>
#include <string>

#include "tools/datakit/scene_writer.h"

namespace datakit {

// The podium scenes of the menus ("menu\3d\<name>"): eighteen scenes, by
// the kind of game (arcade "a", championship "s"), the player's place (1,
// 2, 3) and the variant (plain, "a" a second one, "c" the end of a season):
// a1, aa1, ac1, a2, aa2, ac2, a3, aa3, ac3, s1, sa1, sc1, ... sc3.
//
// Each holds the steps "PODIUM" (the player's step lit), the backdrop
// "newset" (blue for arcade, red for the championship) and the three
// winners "AXX_WINNER", "AXX_2ND" and "AXX_3RD": a bike and its rider in a
// livery of five frames, chosen by the material set the screen gives each
// (the winner's bike variant). Every model has an animation of its own
// name over the scene's time 0..1: the winners rise onto their steps
// (plain), jump (variant "a"), or rise and turn about (end of season).
// Seen by the picture box's scene camera, at (-1, 1, 6) looking down -z.
SceneLibraries demo_podium_scene(int kind, int place, int variant);
std::string demo_podium_scene_name(int kind, int place, int variant);

// Writes the eighteen scenes into "<root>/menu/3d". False and `error`.
bool write_demo_podium_scenes(const std::filesystem::path& root, std::string& error);

} // namespace datakit
