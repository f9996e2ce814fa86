// Pictures painted into textures: the texels a frame leaves in the
// texture's system copy (565, and 4-4-4-4 with the picture's opacity),
// the position scaled to the cached size and clipped to the texture, the
// reload at the next present, and the software type's 8-bit texels.

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "engine/render/lib2d_picture.h"
#include "tests/engine/render/texture_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/pcx_writer.h"

namespace {

using platform::PixelLayout;
using texture_test::HardwareScreen;

// A 6 x 4 sheet, one frame: index 0 transparent around a 4 x 2 block of
// indices 1..8.
datakit::PcxPicture sheet()
{
    datakit::PcxPicture p;
    p.width = 6;
    p.height = 4;
    p.pixels.assign(24, 0);
    for (int y = 1; y < 3; ++y)
        for (int x = 1; x < 5; ++x)
            p.pixels[static_cast<std::size_t>(y) * 6 + x] = static_cast<std::uint8_t>((y - 1) * 4 + x);
    for (int i = 0; i < 256; ++i) {
        p.palette[3 * i] = static_cast<std::uint8_t>(i * 30);
        p.palette[3 * i + 1] = static_cast<std::uint8_t>(255 - i * 20);
        p.palette[3 * i + 2] = static_cast<std::uint8_t>(i * 9);
    }
    return p;
}

int raised(int c)
{
    return std::min((c & 0xF8) + 8, 0xF8);
}

class PictureTexture : public HardwareScreen {
protected:
    void SetUp() override
    {
        HardwareScreen::SetUp();
        dir = torvane_test::make_temp_dir("painted");
        std::string error;
        ASSERT_TRUE(datakit::write_pcx(dir / "digits.pcx", pic, error)) << error;
        file = (dir / "digits.pcx").string();
    }
    // A texture of a pixel kind, uploaded (its texels 0) and resident.
    cache_texture& texture(mtr_texture& f)
    {
        EXPECT_EQ(device.create_textures(&f, 0), 1);
        std::fill(f.pixels, f.pixels + f.width * f.height * (f.pixel_type == 3 ? 4 : 2), 0);
        EXPECT_EQ(device.upload_textures(0), 1);
        auto* t = static_cast<cache_texture*>(f.surface);
        EXPECT_EQ(device.make_resident(t), 1);
        return *t;
    }
    const datakit::PcxPicture pic = sheet();
    std::filesystem::path dir;
    std::string file;
};

TEST_F(PictureTexture, FramesPaintTheTexturesSystemCopyInItsLayout)
{
    const struct {
        const char* what;
        std::uint32_t kind;
        float opacity;
        PixelLayout layout;
    } cases[] = {
        {"565 texture", 1, 1.0f, PixelLayout::Rgb565},
        {"4-4-4-4 texture, opaque", 3, 1.0f, PixelLayout::Argb4444},
        {"4-4-4-4 texture, half opacity", 3, 0.5f, PixelLayout::Argb4444},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        mtr_texture& f = frame("dash#S#", 16, 16, c.kind);
        cache_texture& t = texture(f);
        ASSERT_EQ(t.system_surface->layout(), c.layout);
        lib2d_picture p;
        p.set_value(&f);
        ASSERT_EQ(p.load(file.c_str(), 6, 4, 1, 1, c.opacity), 1);
        ASSERT_EQ(p.draw(3, 5, 0), 1);
        const int alpha = static_cast<int>(c.opacity * 15.0f);  // 15, 7
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                // The frame's cell starts at (3, 5); its block at (4, 6).
                const int cx = x - 3, cy = y - 5;
                const int index = cx >= 0 && cx < 6 && cy >= 0 && cy < 4 ? pic.pixels[cy * 6 + cx] : 0;
                std::uint16_t want = 0;
                if (index) {
                    const int r = raised(pic.palette[3 * index]), g = raised(pic.palette[3 * index + 1]),
                              b = raised(pic.palette[3 * index + 2]);
                    want = c.layout == PixelLayout::Argb4444
                               ? static_cast<std::uint16_t>(alpha << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4)
                               : static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
                }
                ASSERT_EQ(texel(*t.system_surface, x, y), want) << x << ", " << y;
            }
        // The video copy follows at the next present.
        ASSERT_EQ(device.pending_reload_count, 1);
        EXPECT_EQ(texel(*t.video_surface, 4, 6), 0);
        ASSERT_EQ(device.present(), 1);
        EXPECT_EQ(texel(*t.video_surface, 4, 6), texel(*t.system_surface, 4, 6));
        frames.clear();
        device.release();
    }
}

TEST_F(PictureTexture, PositionScaledToTheCachedSizeAndClippedToTheTexture)
{
    open();
    device.free_texture_memory = 3000;  // a 64 x 64 texture caches at 32 x 32
    mtr_texture& f = frame("dash", 64, 64, 1);
    cache_texture& t = texture(f);
    ASSERT_EQ(t.cache_width, 32);
    lib2d_picture p;
    p.set_value(&f);
    ASSERT_EQ(p.load(file.c_str(), 6, 4, 1, 1, 1.0f), 1);
    // (20, 10) in source texels is (10, 5) in the cache: the block at (11, 6).
    ASSERT_EQ(p.draw(20, 10, 0), 1);
    EXPECT_EQ(p.frames[0].x, 10);
    EXPECT_EQ(p.frames[0].y, 5);
    EXPECT_NE(texel(*t.system_surface, 11, 6), 0);
    EXPECT_EQ(texel(*t.system_surface, 10, 6), 0);
    EXPECT_EQ(p.clip_right, 32);
    // Past the right and bottom edges: cut there, nothing written outside.
    ASSERT_EQ(p.draw(60, 60, 0), 1);  // cache (30, 30): the block's first column and row
    EXPECT_NE(texel(*t.system_surface, 31, 31), 0);
    // Not resident: nothing is painted, and that is no failure.
    evict_texture(t, device.resident_ring);
    t.system_surface->fill(nullptr, 0);
    EXPECT_EQ(p.draw(20, 10, 0), 1);
    EXPECT_EQ(texel(*t.system_surface, 11, 6), 0);
    EXPECT_EQ(p.draw(20, 10, 1), 0);  // no such frame
}

TEST_F(PictureTexture, TheSoftwareTypePaintsIndicesIntoRowsOf256)
{
    platform::set_display_description(description);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    device.software_16bit = 1;  // a 16-bit screen; the texels stay 8-bit
    ASSERT_EQ(device.init(0, 640, 480, 16, 0), 1);
    std::vector<std::uint8_t> atlas(256 * 16, 0);
    mtr_texture& f = frame("dash", 16, 8, 6);
    f.pixels = atlas.data() + 4;  // placed at x 4 of the atlas
    lib2d_picture p;
    p.set_value(&f);
    ASSERT_EQ(p.load(file.c_str(), 6, 4, 1, 1, 1.0f), 1);
    ASSERT_EQ(p.draw(12, 6, 0), 1);
    // The block (cell columns 1..4, rows 1..2) at (13, 7): only its first
    // three columns and first row lie inside the 16 x 8 texture.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 256; ++x) {
            const int tx = x - 4;
            std::uint8_t want = 0;
            if (tx >= 13 && tx < 16 && y == 7)
                want = static_cast<std::uint8_t>(tx - 12);
            ASSERT_EQ(atlas[static_cast<std::size_t>(y) * 256 + x], want) << x << ", " << y;
        }
    f.pixels = nullptr;
}

} // namespace
