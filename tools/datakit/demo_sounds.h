#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/sound_set_writer.h"

// The demo data's sounds, all synthesised (tools/datakit/sound_synth.h):
// the race's twenty effect samples "Sfx\<name>.wav", the engine sound sets
// "Sfx\engines\engines.dat" with a layer ".wav" per rev band of each bike
// model, the music streams "Sfx\Music\..." (menu, attract, two race loops
// and the finishing jingle), menu clicks "Sfx\Menu\...", a wind loop and a
// gear change's clunk. docs/sound.md lists them.
namespace datakit {

// The race's effect samples in id order (0..19): "Sema", "Cheer2", ...
const std::vector<std::string>& demo_effect_names();

// The layers of a bike model's engine sound set ("<model>_<band>" samples)
// for its rev limit: four bands, alternating layer slots so that
// neighbouring bands cross-fade, then the layer the other bikes' engines
// play ("<model>_far", the set's enabled layer), which the set itself never
// sounds.
std::vector<SoundLayerSpec> demo_engine_layers(const std::string& model);

// Writes every sound below `root`. False and `error` on failure.
bool write_demo_sounds(const std::filesystem::path& root, std::string& error);

} // namespace datakit
