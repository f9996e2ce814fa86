#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/base/render_facts.h"
#include "engine/model/blend_tables.h"
#include "engine/model/mtr_lib.h"
#include "model_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mtt_writer.h"

namespace model_test {
namespace {

class BlendTableTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        blend_tables_reset();
        for (int i = 0; i < 256; ++i)
            grey_[i][0] = grey_[i][1] = grey_[i][2] = static_cast<std::uint8_t>(i);
    }
    void TearDown() override
    {
        blend_tables_reset();
        ModelTest::TearDown();
    }
    std::uint8_t grey_[256][3];
};

TEST_F(BlendTableTest, LevelsBlendEveryPaletteColourTowardTheFramesColour)
{
    // On a grey ramp the nearest index to a grey g is g itself, rounded
    // down on a tie (the first of equals).
    const int n = blend_table_for(0x808080, grey_);
    EXPECT_EQ(n, 0);
    const std::uint16_t* t = blend_table(n);
    ASSERT_NE(t, nullptr);
    struct entry {
        int level, colour, index;
    };
    const entry expected[] = {
        {0, 0, 0}, {0, 200, 200}, {8, 0, 64}, {8, 255, 191}, {4, 16, 44}, {15, 0, 120}, {15, 255, 136},
    };
    for (const entry& e : expected) {
        SCOPED_TRACE(testing::Message() << "level " << e.level << " colour " << e.colour);
        EXPECT_EQ(t[e.level * 256 + e.colour], e.index | e.index << 8);
    }
    // A colour of the same key (colour & 0xF0F0F0) finds the same table.
    EXPECT_EQ(blend_table_for(0x8F808F, grey_), n);
    EXPECT_EQ(blend_table(1), nullptr);
}

TEST_F(BlendTableTest, TheSixteenthSlotIsRebuiltForEveryNewColourOnceFifteenExist)
{
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(blend_table_for(static_cast<std::uint32_t>(i * 0x10) << 16, grey_), i);
    EXPECT_EQ(blend_table_for(0x0000F0, grey_), 15);
    const std::uint16_t first = blend_table(15)[15 * 256];
    // The 17th colour rebuilds table 15 toward itself.
    EXPECT_EQ(blend_table_for(0xF0F0F0, grey_), 15);
    EXPECT_NE(blend_table(15)[15 * 256], first);
    EXPECT_EQ(blend_table_for(0xF0F0F0, grey_), 15);
    EXPECT_EQ(blend_table_for(0x100000, grey_), 1);
}

// A type-9 frame in the software atlas: with the palette-blend option its
// colour names its blend table and its key range stays; a frame marked 'P'
// between '#'s keeps the key clearing.
TEST_F(BlendTableTest, KeyedFramesInTheAtlasTakeTheirTableWithThePaletteBlendOption)
{
    datakit::MttLibrary spec;
    spec.materials.push_back(datakit::mtt_make_material("GLOW", {"HALO"}, 9, 4, 2));
    spec.materials.push_back(datakit::mtt_make_material("MARK", {"LAMP#P#"}, 9, 4, 2));
    spec.materials[0].texture.frames[0].colour = 0x40C0FF;
    spec.materials[1].texture.frames[0].colour = 0x40C0FF;
    for (const char* name : {"HALO", "LAMP#P#"}) {
        datakit::MttPicture p;
        p.name = name;
        p.width = 4;
        p.height = 2;
        p.pixel_bytes = 1;
        p.pixels = {0xE0, 0x10, 0xFF, 0x20, 0x30, 0xE5, 0x00, 0x01};
        spec.pictures.push_back(p);
    }
    spec.palettes.resize(1);
    datakit::mtt_pack_atlas(spec);
    const auto path = torvane_test::make_temp_dir("blend") / "TRACK.MTP";
    std::string error;
    ASSERT_TRUE(datakit::write_mtt(path, spec, error)) << error;

    for (int i = 0; i < 256; ++i)
        engine_render_facts().palette_rgb[i][0] = engine_render_facts().palette_rgb[i][1] =
            engine_render_facts().palette_rgb[i][2] = static_cast<std::uint8_t>(i);
    current_engine->palette_blend = 1;
    mtr_lib lib("track");
    ASSERT_EQ(lib.try_open(path.string().c_str()), mtt_status::ok);
    ASSERT_EQ(lib.try_add_all_materials(material_kind_atlas, 0, 0), mtt_status::ok);
    const mtr_texture* glow = lib.find(name_hash("GLOW"))->texture->first_frame;
    EXPECT_EQ(glow->pixel_type, 9u);
    EXPECT_EQ(glow->colour, 0u);   // the first table
    EXPECT_EQ(glow->pixels[0], 0xE0);
    ASSERT_NE(blend_table(0), nullptr);
    const mtr_texture* mark = lib.find(name_hash("MARK"))->texture->first_frame;
    EXPECT_EQ(mark->pixel_type, 6u);
    EXPECT_EQ(mark->colour, 0x40C0FFu);
    EXPECT_EQ(mark->pixels[0], 0);
    current_engine->palette_blend = 0;
    engine_render_facts() = render_facts{};
}

} // namespace
} // namespace model_test
