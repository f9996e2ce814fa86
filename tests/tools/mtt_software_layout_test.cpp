#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/base/texture_record.h"
#include "engine/model/mtr_lib.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mtt_writer.h"

namespace {

// An 8 x 4 picture (wider than tall) whose every texel is its own index.
datakit::MttPicture numbered_picture()
{
    datakit::MttPicture p;
    p.name = "wide";
    p.width = 8;
    p.height = 4;
    p.pixel_bytes = 1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            p.pixels.push_back(static_cast<std::uint8_t>(1 + y * p.width + x));
    return p;
}

// The software layout of an 8-bit library, read back through the game's
// material reader into its atlas: the texel the game's rasteriser reads at
// (u, v) (address ((trunc(u x frame width) << 8) | trunc(v x frame height))
// & span word, u picking the row) is the one the 3D device shows at (u, v)
// (column trunc(u x width), row trunc(v x height) of the picture as drawn).
TEST(MttSoftwareLayout, BothDevicesShowTheSameTexel)
{
    engine context;
    current_engine = &context;
    context.set_render_type(engine::software_render_type);
    datakit::MttLibrary lib;
    lib.materials.push_back(datakit::mtt_make_material("WIDE", {"wide"}, 4, 8, 4));
    datakit::mtt_set_drawing_words(lib.materials.back(), 8, 4, 0.5f, 0.3f);
    const datakit::MttPicture drawn = numbered_picture();
    lib.pictures.push_back(drawn);
    lib.palettes.push_back({});
    lib.palettes.back().name = "grey";
    datakit::mtt_software_layout(lib);
    EXPECT_EQ(lib.materials.back().texture.words[5], 8u);
    EXPECT_EQ(lib.materials.back().texture.words[6], 8u);

    const auto dir = torvane_test::make_temp_dir("mtt_layout");
    const std::string path = (dir / "WIDE.MTP").string();
    std::string error;
    ASSERT_TRUE(datakit::write_mtt(path, lib, error)) << error;
    mtr_lib reader("WIDE");
    ASSERT_EQ(reader.try_open(path.c_str()), mtt_status::ok);
    ASSERT_EQ(reader.try_add_all_materials(1, 0, 0), mtt_status::ok);
    const mesh_material* m = reader.find(name_hash("WIDE"));
    ASSERT_TRUE(m && m->texture && m->texture->first_frame);
    const mtr_texture& f = *m->texture->first_frame;
    ASSERT_EQ(f.width, 8);
    ASSERT_EQ(f.height, 8);

    const float samples[][2] = {{0.0f, 0.0f}, {0.99f, 0.0f}, {0.0f, 0.99f}, {0.99f, 0.99f},
                                {0.3f, 0.6f}, {0.6f, 0.3f}, {0.5f, 0.2f}, {0.13f, 0.8f}};
    for (const auto& s : samples) {
        const auto u = static_cast<std::uint32_t>(s[0] * static_cast<float>(f.width));
        const auto v = static_cast<std::uint32_t>(s[1] * static_cast<float>(f.height));
        const std::uint32_t address = (((u & 255u) << 8) | (v & 255u)) & f.span;
        const int column = static_cast<int>(s[0] * 8.0f), row = static_cast<int>(s[1] * 4.0f);
        EXPECT_EQ(f.pixels[address], drawn.pixels[static_cast<std::size_t>(row * 8 + column)])
            << "u " << s[0] << " v " << s[1];
    }
    current_engine = nullptr;
}

} // namespace
