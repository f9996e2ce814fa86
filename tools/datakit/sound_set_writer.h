#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/datakit/typed_list_writer.h"

// Writes the engine sound set definitions ("sfx\engines\engines.dat"): one
// typed list per bike model, named by the model, one layer per line
// (typed fields s i i i i i i i i i f f f b).
namespace datakit {

struct SoundLayerSpec {
    std::string name;          // the layer's ".wav" in the engines folder, without extension
    std::int32_t slot = 0;     // 0..4: layers of one slot never sound together
    std::int32_t low = 0;      // revs where the layer starts
    std::int32_t full_from = 0;
    std::int32_t full_to = 0;
    std::int32_t high = 0;     // revs where it ends (exclusive)
    std::int32_t fine_tune = 0;  // 1/128 semitone
    std::int32_t pitch_low = 0;  // semitones at low
    std::int32_t pitch_high = 0; // semitones at high
    std::int32_t wobble = 0;
    float wobble_period = 1.0f;
    float volume_low = 0.0f;
    float volume_high = 1.0f;
    bool enabled = false;      // names the sample other bikes' engines play
};

void add_sound_set_list(TypedListWriter& out, std::string_view model, const std::vector<SoundLayerSpec>& layers);

} // namespace datakit
