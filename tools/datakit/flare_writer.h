#pragma once

#include <filesystem>
#include <string>

namespace datakit {

// The lens-flare series "<root>/Gfx/Lens/Flare00.pcx" to "Flare04.pcx":
// 64 x 64 pictures whose palette index is the texel's alpha (0..15): a
// sun disc with a soft edge, a ring, a hexagon, a soft spot and the
// full-screen glare.
bool write_demo_lens_flare(const std::filesystem::path& root, std::string& error);

} // namespace datakit
