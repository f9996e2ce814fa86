// The fog table and the fog switches.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "engine/render/fog.h"
#include "engine/render/render_device.h"

namespace {

int factor(int i)
{
    return static_cast<int>(fog_table[i] >> 24);
}

// The renderer's construction builds the table: a scene drawn before any
// fog is set up has depths and fog factors (without it, the depth scale is
// 0 and every vertex lies at depth 0). A table of other figures is there
// first, so only the construction can give these values.
TEST(Fog, TheConstructionBuildsTheTableWithItsKnownValues)
{
    build_fog_table(0.2f, 500.0f, 3000.0f);
    ASSERT_NE(fog_depth_scale, -1.0f / 1320.0f);
    render_device device;
    EXPECT_FLOAT_EQ(fog_depth_scale, -1.0f / 1320.0f);
    // 57 fog-free entries, then the fall: 253 at 58, 167 at 100, 80 at 150,
    // nothing left from 205.
    for (int i = 0; i <= 57; ++i)
        EXPECT_EQ(fog_table[i], 0xFF000000u) << i;
    EXPECT_EQ(fog_table[58], 253u << 24);
    EXPECT_EQ(fog_table[100], 167u << 24);
    EXPECT_EQ(fog_table[150], 80u << 24);
    EXPECT_GT(factor(204), 0);  // the last entry with any light left
    for (int i = 205; i < 256; ++i)
        EXPECT_EQ(fog_table[i], 0u) << i;
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(fog_table[i] & 0xFFFFFFu, 0u) << "only the top byte is used";
}

TEST(Fog, DegenerateFiguresGiveAFogFreeTableInsteadOfADivisionByZero)
{
    struct Case {
        float density, start, end;
        bool fog_free;
    } cases[] = {
        {0.9f, -100.0f, 320.0f, true},  // end - 320 = 0: the depth scale's divisor
        {0.9f, std::numeric_limits<float>::quiet_NaN(), -1000.0f, true},
        {0.9f, 0.0f, std::numeric_limits<float>::infinity(), true},
        {std::numeric_limits<float>::infinity(), -100.0f, -1000.0f, true},
        // A start far beyond the end: the whole table is before the fog.
        {0.9f, -1e9f, -1000.0f, true},
        // A huge density: the scale overflows; full fog right after the start.
        {1000.0f, 200.0f, -1000.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        build_fog_table(c.density, c.start, c.end);
        EXPECT_TRUE(std::isfinite(fog_depth_scale));
        if (c.fog_free) {
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(fog_table[i], 0xFF000000u) << i;
        } else {
            EXPECT_EQ(factor(0), 255);
            EXPECT_EQ(factor(1), 0);
            EXPECT_EQ(factor(255), 0);
        }
    }
}

TEST(Fog, SwitchesSetTheColourAndState)
{
    render_device device;
    device.set_fog(256, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(device.fog_enabled, 1);
    EXPECT_EQ(device.fog_colour, 0xFF0000u);
    device.device_fog_state = 1;
    // Ignored while the device's fog is on, and for a mode below 1.
    device.set_fog_color(256, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(device.fog_colour, 0xFF0000u);
    device.device_fog_state = 0;
    device.set_fog_color(0, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(device.fog_colour, 0xFF0000u);
    device.set_fog_color(5, 0.0f, 0.5f, 2.0f);  // components held to 0..1
    EXPECT_EQ(device.fog_enabled, 0);
    EXPECT_EQ(device.fog_colour, 0x007FFFu);
    device.device_fog_state = 1;
    device.set_fog(1, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(device.fog_enabled, 0);
    EXPECT_EQ(device.device_fog_state, 0);
    EXPECT_EQ(device.fog_colour, 0x0000FFu);
}

} // namespace
