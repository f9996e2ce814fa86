#include "tools/datakit/carousel_writer.h"

#include "tools/datakit/word_file_writer.h"
#include "tools/datakit/world_bike_models.h"

namespace datakit {

bool write_carousel_file(const std::filesystem::path& path, const CarouselFile& c, std::string& error)
{
    WordFileWriter file;
    file.comment("carousel: kind and 3D library, camera position and target");
    file.line({"OLE3D", c.library});
    for (const float v : c.camera)
        file.word(v);
    for (const float v : c.target)
        file.word(v);
    file.begin("models").word(static_cast<std::int32_t>(c.items.size()));
    for (const auto& [model, set] : c.items)
        file.line({model, std::to_string(set)});
    if (!c.commands.empty()) {
        file.begin("IC").word(static_cast<std::int32_t>(c.commands.size()));
        for (const auto& [code, word] : c.commands)
            file.line({std::to_string(code), word});
    }
    if (!c.animations.empty()) {
        file.begin("animation").word(static_cast<std::int32_t>(c.animations.size()));
        for (const std::string& name : c.animations)
            file.word(name);
    }
    if (c.has_animtime)
        file.begin("animtime").word(c.animtime);
    if (c.shrink_textures)
        file.begin("shrinktextures");
    return file.write(path, error);
}

CarouselFile demo_bike_carousel()
{
    CarouselFile c;
    c.library = "..\\Gfx\\Bikes\\Bikes";
    // A bike is about 2 m long from its rear contact, its origin, and turns
    // 0.6 m off the axis: it reaches 2 m from the axis, which the camera's
    // 30 degrees take in from 7 m ahead.
    c.camera = {0.0f, 1.6f, 7.0f};
    c.target = {0.0f, 0.5f, 0.0f};
    for (const std::string& name : world_bike_names())
        c.items.emplace_back("AXX_" + name, 0.0f);
    c.commands = {{1, "DEC"}, {2, "INC"}};
    return c;
}

CarouselFile demo_rider_carousel()
{
    CarouselFile c;
    c.library = "..\\Gfx\\Bikes\\Riders";
    c.camera = {0.0f, 1.4f, 4.8f};
    c.target = {0.0f, 0.8f, 0.0f};
    // The team leathers of the grid's rider variants.
    for (const float set : {0.0f, 0.5f, 1.0f})
        c.items.emplace_back("AXX_RIDER", set);
    c.commands = {{1, "DEC"}, {2, "INC"}};
    c.animations = {"RIDE", "RIDE", "RIDE"};
    return c;
}

void carousel_element(FormFileWriter& file, const char* name, const char* carousel_file, int left, int top,
                      int width, int height)
{
    file.begin("PictureBox", name);
    file.key("PixHeight", height).key("PixLeft", left).key("PixTop", top).key("PixWidth", width);
    file.key("FileName", carousel_file);
    file.end();
}

bool write_demo_carousels(const std::filesystem::path& menu_folder, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(menu_folder / "3d", ec);
    return write_carousel_file(menu_folder / "3d" / "bikes.ole", demo_bike_carousel(), error) &&
           write_carousel_file(menu_folder / "3d" / "riders.ole", demo_rider_carousel(), error);
}

} // namespace datakit
