#include <cstdint>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_data.h"
#include "tools/datakit/palette_writer.h"
#include "tools/datakit/shade_table_writer.h"

namespace {

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(platform::read_file_whole(path.string(), bytes, &error)) << error;
    return bytes;
}

bool same_colour(const datakit::PaletteColor& a, const datakit::PaletteColor& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

} // namespace

TEST(PaletteWriter, WritesSixBitRgbInIndexOrder)
{
    datakit::Palette palette{};
    palette[0] = {1, 2, 3};
    palette[255] = {63, 0, 62};
    const auto bytes = datakit::palette_bytes(palette);
    ASSERT_EQ(bytes.size(), 768u);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(bytes[765], 63);
    EXPECT_EQ(bytes[767], 62);

    const auto dir = torvane_test::make_temp_dir("pal");
    std::string error;
    ASSERT_TRUE(datakit::write_palette(dir / "x.pal", palette, error)) << error;
    EXPECT_EQ(read_bytes(dir / "x.pal"), bytes);

    palette[9].green = 64;
    EXPECT_THROW(datakit::palette_bytes(palette), std::invalid_argument);
}

TEST(ShadeTableWriter, MapsEveryColourAndLevelToTheNearestPaletteColour)
{
    const datakit::Palette palette = datakit::demo_palette();
    const auto table = datakit::compute_shade_table(palette);
    ASSERT_EQ(table.size(), 65536u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::uint32_t index = table[i] & 255;
        ASSERT_EQ(table[i], index * 0x01010101u) << i;  // the index in every byte
    }
    for (std::size_t c = 0; c < 256; ++c) {
        SCOPED_TRACE(c);
        // Level 0 is black, level 128 the colour itself, level 255 white.
        EXPECT_TRUE(same_colour(palette[table[c] & 255], {0, 0, 0}));
        EXPECT_TRUE(same_colour(palette[table[128 * 256 + c] & 255], palette[c]));
        EXPECT_TRUE(same_colour(palette[table[255 * 256 + c] & 255], {63, 63, 63}));
    }
    // A half-lit white is a mid grey of the grey ramp.
    const std::uint32_t half_white = table[64 * 256 + 31] & 255;
    EXPECT_LT(half_white, 32u);
    EXPECT_NEAR(palette[half_white].red, 32, 2);
}

TEST(ShadeTableWriter, WritesTheTableBesideItsPalette)
{
    const auto dir = torvane_test::make_temp_dir("shd");
    const datakit::Palette palette = datakit::demo_palette();
    std::string error;
    ASSERT_TRUE(datakit::write_palette_with_shade_table(dir / "track.pal", palette, error)) << error;
    EXPECT_EQ(read_bytes(dir / "track.pal"), datakit::palette_bytes(palette));
    const auto bytes = read_bytes(dir / "track.pal.SHD");
    ASSERT_EQ(bytes.size(), 262144u);
    const auto table = datakit::compute_shade_table(palette);
    for (std::size_t i : {std::size_t{0}, std::size_t{300}, std::size_t{65535}}) {
        const std::uint32_t entry = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                                    static_cast<std::uint32_t>(bytes[4 * i + 3]) << 24;
        EXPECT_EQ(entry, table[i]) << i;
    }
    EXPECT_THROW(datakit::shade_table_bytes(std::vector<std::uint32_t>(100)), std::invalid_argument);
}

TEST(ShadeTableWriter, DemoDataHoldsThePalettesTheGameLoads)
{
    const auto root = torvane_test::make_temp_dir("demo");
    std::string error;
    ASSERT_TRUE(datakit::make_demo_data(root, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(root / "Gfx" / "palette.pal"), 768u);
    EXPECT_EQ(std::filesystem::file_size(root / "menu" / "3d" / "podium.pal"), 768u);
    EXPECT_EQ(std::filesystem::file_size(root / "menu" / "3d" / "podium.pal.SHD"), 262144u);
}
