#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tools/datakit/form_file_writer.h"

namespace datakit {

// A picture box's carousel file: the kind word "OLE3D" and the 3D library
// set it shows (by base name, as the menus' 3D cache loads it), the camera's
// position and target, then the "begin" sections "models" (model name and
// material set of each item), and, when given, "IC" (command code and
// "INC"/"DEC"), "animation" (one name per item), "animtime" and
// "shrinktextures".
struct CarouselFile {
    std::string library;
    std::array<float, 3> camera{0.0f, 0.7f, 2.4f};
    std::array<float, 3> target{0.0f, 0.45f, 0.0f};
    std::vector<std::pair<std::string, float>> items;
    std::vector<std::pair<int, std::string>> commands;
    std::vector<std::string> animations;
    bool has_animtime = false;
    int animtime = 0;
    bool shrink_textures = false;
};

bool write_carousel_file(const std::filesystem::path& path, const CarouselFile& carousel, std::string& error);

// The demo sets' carousels: the five bikes of "Gfx\Bikes\Bikes" in their
// makers' colours, and the rider of "Gfx\Bikes\Riders" in the three team
// leathers; command 1 turns back ("DEC"), 2 on ("INC"). The library is
// named from the menu folder (".\menu"), where the screens load.
CarouselFile demo_bike_carousel();
CarouselFile demo_rider_carousel();

// The carousel files the demo menus name, relative to the menu folder.
inline constexpr const char* kDemoBikeCarouselFile = "3d\\bikes.ole";
inline constexpr const char* kDemoRiderCarouselFile = "3d\\riders.ole";

// A screen's picture box element showing a carousel file (its place keys,
// then "FileName"); buttons whose "LinkedTo" names it turn it.
void carousel_element(FormFileWriter& file, const char* name, const char* carousel_file, int left, int top,
                      int width, int height);

// Writes both into the menu folder (its "3d" folder). False and `error`.
bool write_demo_carousels(const std::filesystem::path& menu_folder, std::string& error);

} // namespace datakit
