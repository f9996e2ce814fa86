#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/lens_flare.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/flare_writer.h"

namespace {

flare_view view_towards(float x, float y, float z)
{
    flare_view v;
    v.sun_x = x;
    v.sun_y = y;
    v.sun_z = z;
    v.scale = 640.0f;
    v.centre_x = 320.0f;
    v.centre_y = 240.0f;
    v.width = 640;
    v.height = 480;
    v.texture_count = 5;
    v.modulate_alpha = true;
    return v;
}

std::uint32_t alpha_of(const flare_quad& q)
{
    return q.corner[0].colour >> 24;
}

} // namespace

TEST(LensFlare, AlphaFallsAsTheSunLeavesTheCentre)
{
    // Straight at the sun: elements 0 to 4 at alpha 105, the disc opaque,
    // the glare at 85; all strung on the centre.
    std::vector<flare_quad> quads = lens_flare_quads(view_towards(0, 0, -1));
    ASSERT_EQ(quads.size(), 7u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(alpha_of(quads[static_cast<std::size_t>(i)]), 105u) << i;
        EXPECT_FALSE(quads[static_cast<std::size_t>(i)].depth_test) << i;
        EXPECT_EQ(quads[static_cast<std::size_t>(i)].texture, kFlareElements[i].texture);
    }
    EXPECT_EQ(quads[5].corner[0].colour, 0xFFFFFFFFu);
    EXPECT_TRUE(quads[5].depth_test);
    EXPECT_FLOAT_EQ(quads[5].corner[0].z, 0.7f);
    EXPECT_EQ(quads[6].corner[0].colour, 85u << 24 | 0xFFFFFF);
    EXPECT_EQ(quads[6].texture, kFlareGlareTexture);
    EXPECT_FLOAT_EQ(quads[6].corner[2].x, 639.0f);
    // Element 1: radius 20 x 640 / 1200 around the centre, its colour.
    const flare_quad& e1 = quads[1];
    EXPECT_NEAR(e1.corner[0].x, 320.0f - 20.0f * 640.0f / 1200.0f, 1e-3);
    EXPECT_NEAR(e1.corner[2].y, 240.0f + 20.0f * 640.0f / 1200.0f, 1e-3);
    EXPECT_EQ(e1.corner[0].colour & 0xFFFFFF, 0x00AAAAu);
    EXPECT_FLOAT_EQ(e1.corner[0].rhw, 0.01f);
    EXPECT_EQ(e1.corner[0].specular, 0xFF000000u);

    // At -z = 0.5 every element and the glare are fully transparent.
    quads = lens_flare_quads(view_towards(0, 0, -0.5f));
    ASSERT_EQ(quads.size(), 7u);
    EXPECT_EQ(alpha_of(quads[0]), 0u);
    EXPECT_EQ(alpha_of(quads[6]), 0u);
}

TEST(LensFlare, NothingOrLessIsDrawn)
{
    EXPECT_TRUE(lens_flare_quads(view_towards(0, 0, 1)).empty());        // behind
    EXPECT_TRUE(lens_flare_quads(view_towards(1, 0, -0.01f)).empty());   // beside
    flare_view v = view_towards(0, 0, -1);
    v.texture_count = 4; // a short series
    EXPECT_TRUE(lens_flare_quads(v).empty());
    v = view_towards(0, 0, -1);
    v.modulate_alpha = false; // no glare without alpha blending of textures
    EXPECT_EQ(lens_flare_quads(v).size(), 6u);
    v.scale = 0.0f; // squares of no size
    EXPECT_TRUE(lens_flare_quads(v).empty());
    // Far off the screen: only what lands on it.
    EXPECT_LT(lens_flare_quads(view_towards(3, 0, -1)).size(), 7u);
}

TEST(LensFlare, AnElementCrossingAnEdgeIsCutWithItsTexture)
{
    // The sun disc (element 5, radius 32) centred at x = 10, y = 470: cut
    // 22 of 64 pixels on the left and 22 on the bottom.
    const flare_view v = view_towards((10.0f - 320.0f) / 640.0f, (240.0f - 470.0f) / 640.0f, -1);
    const std::vector<flare_quad> quads = lens_flare_quads(v);
    const flare_quad* disc = nullptr;
    for (const flare_quad& q : quads)
        if (q.texture == 0)
            disc = &q;
    ASSERT_NE(disc, nullptr);
    EXPECT_FLOAT_EQ(disc->corner[0].x, 0.0f);
    EXPECT_NEAR(disc->corner[0].u, 22.0f / 64.0f, 1e-4);
    EXPECT_NEAR(disc->corner[2].u, 1.0f, 1e-6);
    EXPECT_FLOAT_EQ(disc->corner[2].y, 479.0f);
    EXPECT_NEAR(disc->corner[2].v, (480.0f - 438.0f) / 64.0f, 1e-4);
    EXPECT_NEAR(disc->corner[0].v, 0.0f, 1e-6);
}

TEST(LensFlare, TheKitSeriesLoadsAsTexels)
{
    const auto dir = torvane_test::make_temp_dir("flare");
    torvane_test::ScopedCwd cwd(dir);
    EXPECT_TRUE(load_flare_pictures("Gfx\\Lens\\Flare").empty());
    std::string error;
    ASSERT_TRUE(datakit::write_demo_lens_flare(dir, error)) << error;
    const std::vector<flare_picture> series = load_flare_pictures("Gfx\\Lens\\Flare");
    ASSERT_EQ(series.size(), 5u);
    for (const flare_picture& p : series) {
        EXPECT_EQ(p.width, 64);
        EXPECT_EQ(p.height, 64);
        ASSERT_EQ(p.texels.size(), 64u * 64u);
    }
    EXPECT_EQ(series[0].texels[32 * 64 + 32], 0xFFFF); // the disc's middle: white, opaque
    EXPECT_EQ(series[0].texels[0], 0x0FFF);            // its corner: white, clear
    EXPECT_EQ(flare_texel(0x37), 0x7FFF);              // the index's low four bits
}
