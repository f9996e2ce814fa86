// Registering material textures and uploading them: the texels of every
// pixel kind against hand-computed values, the sizes the fitting chooses
// under a budget, and the failures.

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/engine/render/texture_fixture.h"

namespace {

using platform::PixelLayout;
using texture_test::HardwareScreen;

std::string last_message()
{
    const auto boxes = platform::recorded_message_boxes();
    return boxes.empty() ? std::string() : boxes.back().text;
}

// Writes texel i of a frame's buffer (1, 2 or 4 bytes).
void put_texel(mtr_texture& f, int bytes, int i, std::uint32_t v)
{
    std::memcpy(f.pixels + static_cast<std::size_t>(i) * bytes, &v, static_cast<std::size_t>(bytes));
}

class TextureUpload : public HardwareScreen {};

TEST_F(TextureUpload, EveryPixelKindConvertsToTheDevicesTexels)
{
    // Four source texels per case (texels 0..3 of an 8 x 8 frame, the rest
    // 0), the device's texture layouts, and what the surface must hold.
    const std::vector<PixelLayout> k565_4444 = {PixelLayout::Rgb565, PixelLayout::Argb4444};
    const std::vector<PixelLayout> k555_4444 = {PixelLayout::Rgb555, PixelLayout::Argb4444};
    const std::vector<PixelLayout> kBgr = {PixelLayout::Bgr565};
    const std::vector<PixelLayout> k565 = {PixelLayout::Rgb565};
    const struct {
        const char* what;
        const char* name;
        std::uint32_t kind;
        std::uint32_t colour;  // the frame's colour word (kind 5: its key)
        std::vector<PixelLayout> formats;
        std::uint32_t source[4];
        PixelLayout layout;
        std::int32_t key;
        std::int32_t blend;
        std::uint16_t expected[4];
    } cases[] = {
        {"16-bit opaque", "a", 1, 0, k565_4444, {0xF800, 0x07E0, 0x001F, 0x1234}, PixelLayout::Rgb565, -1, 0,
         {0xF800, 0x07E0, 0x001F, 0x1234}},
        {"16-bit into 555", "a", 1, 0, k555_4444, {0xF800, 0x07E0, 0x001F, 0xFFFF}, PixelLayout::Rgb555, -1, 0,
         {0x7C00, 0x03E0, 0x001F, 0x7FFF}},
        {"16-bit into blue-high 565", "a", 1, 0, kBgr, {0xF800, 0x07E0, 0x001F, 0x1234}, PixelLayout::Bgr565, -1, 0,
         {0x001F, 0x07E0, 0xF800, 0xA222}},
        {"16-bit keyed", "a", 2, 0, k565_4444, {0x0001, 0, 0, 0}, PixelLayout::Rgb565, -1, 1, {0x0001, 0, 0, 0}},
        // Own key 0xF81F: texel 1 is the key; in 555, texel 2 (green's low
        // bit set) would read as the key and is moved off it.
        {"16-bit own key", "a", 5, 0xF81F, k565_4444, {0x1111, 0xF81F, 0xF83F, 0}, PixelLayout::Rgb565, 0xF81F, 0,
         {0x1111, 0xF81F, 0xF83F, 0}},
        {"16-bit own key into 555", "a", 5, 0xF81F, k555_4444, {0x1111, 0xF81F, 0xF83F, 0}, PixelLayout::Rgb555,
         0x7C1F, 0, {0x0891, 0x7C1F, 0x7C1E, 0}},
        // ARGB 8888 into 4-4-4-4: the top four bits of each channel.
        {"32-bit into 4444", "a", 3, 0, k565_4444, {0x80FF8040, 0x00000000, 0xFF123456, 0x1FFFFFFF},
         PixelLayout::Argb4444, -1, 4, {0x8F84, 0x0000, 0xF135, 0x1FFF}},
        // Option P: alpha 0 becomes the key 0x0FFF.
        {"32-bit into 4444, option P", "a#P#", 3, 0, k565_4444, {0x00123456, 0x80FF8040, 0, 0},
         PixelLayout::Argb4444, 0x0FFF, 4, {0x0FFF, 0x8F84, 0x0FFF, 0x0FFF}},
        // Without 4 alpha bits: 565, alpha below 0x1F keyed by 0xF81F.
        {"32-bit into 565", "a", 3, 0, k565, {0x1EFFFFFF, 0x1FFF8040, 0xFFFF00FF, 0x20000000},
         PixelLayout::Rgb565, 0xF81F, -1, {0xF81F, 0xFC08, 0xF81E, 0x0000}},
        // Option M: transparent only below alpha 0xFF; blend mode 0.
        {"32-bit into 565, option M", "a#M#", 3, 0, k565, {0xFEFFFFFF, 0xFFFF8040, 0, 0}, PixelLayout::Rgb565,
         0xF81F, 0, {0xF81F, 0xFC08, 0xF81F, 0xF81F}},
        // 8-bit through the palette (palette[i] = 0x0101 x i, palette[1] = 0).
        {"8-bit", "a", 4, 0, k565_4444, {5, 200, 0, 1}, PixelLayout::Rgb565, -1, 0, {0x0505, 0xC8C8, 0x0000, 0x0000}},
        {"8-bit, kind 7", "a", 7, 0, k555_4444, {5, 0, 0, 0}, PixelLayout::Rgb555, -1, 0, {0x0285, 0, 0, 0}},
        // Index 0 transparent: the key is index 0's colour; index 1 has the
        // same colour and is moved off it.
        {"8-bit keyed", "a", 6, 0, k565_4444, {0, 1, 5, 0}, PixelLayout::Rgb565, 0x0000, 0, {0x0000, 0x0001, 0x0505, 0}},
        {"8-bit keyed, kind 8", "a", 8, 0, k565_4444, {0, 7, 0, 0}, PixelLayout::Rgb565, 0x0000, 0, {0, 0x0707, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        description.texture_formats = c.formats;
        open();
        mtr_texture& f = frame(c.name, 8, 8, c.kind, c.colour);
        ASSERT_EQ(device.create_textures(&f, 0), 1);
        auto* t = static_cast<cache_texture*>(f.surface);
        ASSERT_NE(t, nullptr);
        const int bytes = c.kind == 3 ? 4 : (c.kind == 4 || c.kind >= 6) ? 1 : 2;
        EXPECT_EQ(t->size, static_cast<std::uint32_t>(64 * bytes));
        std::memset(f.pixels, 0, static_cast<std::size_t>(64 * bytes));
        for (int i = 0; i < 4; ++i)
            put_texel(f, bytes, i, c.source[i]);
        if (bytes == 1) {
            ASSERT_NE(f.palette, nullptr);
            for (int i = 0; i < 256; ++i)
                f.palette[i] = static_cast<std::uint16_t>(0x0101 * i);
            f.palette[1] = 0;
        }
        ASSERT_EQ(device.upload_textures(0), 1);
        ASSERT_TRUE(t->system_surface);
        EXPECT_EQ(t->system_surface->layout(), c.layout);
        EXPECT_EQ(t->colour_key, c.key);
        EXPECT_EQ(t->blend_mode, c.blend);
        EXPECT_EQ(t->bytes_per_texel, 2);
        EXPECT_EQ(t->cache_width, 8);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(texel(*t->system_surface, i, 0), c.expected[i]) << "texel " << i;
        EXPECT_EQ(t->system_surface->keyed(), c.key >= 0);
        // The source is gone and the frame no longer points at it.
        EXPECT_FALSE(t->pixels);
        EXPECT_EQ(f.pixels, nullptr);
        EXPECT_EQ(f.palette, nullptr);
        frames.clear();
        device.release();
    }
}

TEST_F(TextureUpload, RegistrationTakesOptionsClassAndRefusesBadFrames)
{
    open();
    mtr_texture& a = frame("road#3F#", 64, 32, 1);
    mtr_texture& b = frame("grass", 16, 16, 1);
    mtr_texture& sky = frame("skynf#Z#", 16, 16, 1);
    ASSERT_EQ(device.create_textures(&a, 5), 1);
    ASSERT_EQ(device.create_textures(&b, 5), 1);
    ASSERT_EQ(device.create_textures(&sky, 0), 1);
    const auto* ta = static_cast<cache_texture*>(a.surface);
    EXPECT_EQ(ta->flags, 0x100u | 0x400u | 3u);  // the options' class wins over the default
    EXPECT_EQ(static_cast<cache_texture*>(b.surface)->flags, 0x100u | 5u);
    EXPECT_EQ(static_cast<cache_texture*>(sky.surface)->flags, 0x1000u | 12u);
    EXPECT_EQ(ta->source_width, 64);
    EXPECT_EQ(ta->size, 64u * 32u * 2u);
    EXPECT_EQ(a.pixels, ta->pixels.get());
    EXPECT_EQ(device.texture_memory_total, 64u * 32u * 2u + 2u * 512u);

    // A side below 8 texels, and a '#' without its closing one: the general
    // error, and the record stays free.
    for (const auto& [name, w, h] : {std::tuple{"thin", 4, 64}, std::tuple{"open#3", 16, 16}}) {
        platform::clear_recorded_message_boxes();
        mtr_texture& bad = frame(name, w, h, 1);
        EXPECT_EQ(device.create_textures(&bad, 0), 0) << name;
        EXPECT_EQ(bad.surface, nullptr);
        EXPECT_EQ(last_message(), "General D3D Interface Error\r\n");
    }
    int used = 0;
    for (int i = 0; i < kCacheTextures; ++i)
        used += device.texture_records[i].size != 0;
    EXPECT_EQ(used, 3);

    // 800 records: the 801st registration overflows.
    for (int i = 3; i < kCacheTextures; ++i)
        ASSERT_EQ(device.create_textures(&frame("t", 8, 8, 1), 0), 1) << i;
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(device.create_textures(&frame("t", 8, 8, 1), 0), 0);
    EXPECT_EQ(last_message(), "Surfaces overflow!\n\r\n");
}

TEST_F(TextureUpload, FittingShrinksToTheBudgetAndKeepsWhatAsksToBeKept)
{
    // Budgets by the free texture memory F and the percentage p: p x F / 100
    // + F less the fixed sizes, or without them below 400,000 bytes.
    const struct {
        const char* what;
        std::uint64_t free;
        int percent;
        int expected_side;   // of the four fitted 256 x 256 textures
    } cases[] = {
        // 4 x 128 KiB does not fit in 300,000: shrunk to 128.
        {"small budget", 300000, 0, 128},
        // 100% widens the budget to 600,000: they stay at 256.
        {"widened by the percentage", 300000, 100, 256},
        // Percentages of a memory past 4 GiB are taken in 64 bits.
        {"large memory", 3000000000ull, 150, 256},
        // 4 x 8 KiB > 40,000: at 64 they fit.
        {"tiny budget", 40000, 0, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        device.free_texture_memory = c.free;
        mtr_texture* fitted[4];
        for (mtr_texture*& f : fitted) {
            f = &frame("wall", 256, 256, 1);
            ASSERT_EQ(device.create_textures(f, 0), 1);
        }
        // S keeps the source size on any budget.
        mtr_texture& kept = frame("sign#S#", 64, 32, 1);
        ASSERT_EQ(device.create_textures(&kept, 0), 1);
        // S on a side that is no power of two cannot be kept: 100 caches at 128.
        mtr_texture& odd = frame("odd#S#", 100, 100, 1);
        ASSERT_EQ(device.create_textures(&odd, 0), 1);
        ASSERT_EQ(device.upload_textures(c.percent), 1);
        for (mtr_texture* f : fitted) {
            const auto* t = static_cast<cache_texture*>(f->surface);
            EXPECT_EQ(t->cache_width, c.expected_side);
            EXPECT_EQ(t->cache_height, c.expected_side);
            EXPECT_EQ(t->system_surface->width(), c.expected_side);
        }
        EXPECT_EQ(static_cast<cache_texture*>(kept.surface)->cache_width, 64);
        EXPECT_EQ(static_cast<cache_texture*>(kept.surface)->cache_height, 32);
        EXPECT_EQ(static_cast<cache_texture*>(odd.surface)->cache_width, 128);
        frames.clear();
        device.release();
    }
}

TEST_F(TextureUpload, SquareOnlyDevicesAndKeptSizesUnderOptionP)
{
    struct Texture {
        const char* name;
        int w, h;
        int cache_w, cache_h;  // 0: smaller than the source
    };
    const struct {
        const char* what;
        bool square;
        std::uint64_t free;
        std::vector<Texture> textures;
    } cases[] = {
        // S is ignored on a square-only device; the smaller side wins.
        {"square-only", true, 1 << 20, {{"wide#S#", 64, 32, 32, 32}}},
        // P keeps the source size while the P textures take at most a
        // quarter of the texture memory (16 KiB <= 25,000); the other is
        // fitted (128 KiB > 100,000).
        {"P kept", false, 100000, {{"panel#P#", 128, 64, 128, 64}, {"wall", 256, 256, 128, 128}}},
        // A quarter is 4,000 < 16 KiB: P is fitted too.
        {"P fitted", false, 16000, {{"panel#P#", 128, 64, 0, 0}}},
        // V textures that do not fit the texture memory (2 KiB > 1000):
        // every texture is fitted, S ones too.
        {"V too large", false, 1000, {{"screen#V#", 32, 32, 0, 0}, {"sign#S#", 64, 32, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        description.devices[0].square_textures_only = c.square;
        open();
        device.free_texture_memory = c.free;
        for (const Texture& t : c.textures)
            ASSERT_EQ(device.create_textures(&frame(t.name, t.w, t.h, 1), 0), 1);
        ASSERT_EQ(device.upload_textures(0), 1);
        for (std::size_t i = 0; i < c.textures.size(); ++i) {
            const Texture& t = c.textures[i];
            const auto* r = static_cast<cache_texture*>(frames[i]->surface);
            if (t.cache_w) {
                EXPECT_EQ(r->cache_width, t.cache_w) << t.name;
                EXPECT_EQ(r->cache_height, t.cache_h) << t.name;
            } else {
                EXPECT_LT(r->cache_width, t.w) << t.name;
            }
        }
        frames.clear();
        device.release();
    }
}

TEST_F(TextureUpload, NothingFitsIsError42AndAnUploadBuildsOnlyNewTextures)
{
    open();
    device.free_texture_memory = 100;  // less than the smallest texture
    mtr_texture& a = frame("a", 16, 16, 1);
    ASSERT_EQ(device.create_textures(&a, 0), 1);
    EXPECT_EQ(device.upload_textures(0), 0);
    EXPECT_EQ(last_message(), "Insufficient video memory!\n\r\n");
    EXPECT_FALSE(static_cast<cache_texture*>(a.surface)->system_surface);

    // Uploaded once, a record is not converted again (its source is gone);
    // a texture registered later is built by the next upload.
    device.free_texture_memory = 1 << 20;
    ASSERT_EQ(device.upload_textures(0), 1);
    auto* ta = static_cast<cache_texture*>(a.surface);
    platform::Surface* built = ta->system_surface.get();
    ASSERT_TRUE(built);
    EXPECT_EQ(device.texture_material_made, 1);
    mtr_texture& b = frame("b", 8, 8, 1);
    ASSERT_EQ(device.create_textures(&b, 0), 1);
    ASSERT_EQ(device.upload_textures(0), 1);
    EXPECT_EQ(ta->system_surface.get(), built);
    EXPECT_TRUE(static_cast<cache_texture*>(b.surface)->system_surface);

    // No texture layout the texels can take: 43.
    frames.clear();
    device.release();
    description.texture_formats = {PixelLayout::Indexed8};
    open();
    mtr_texture& c = frame("c", 8, 8, 1);
    ASSERT_EQ(device.create_textures(&c, 0), 1);
    EXPECT_EQ(device.upload_textures(0), 0);
    EXPECT_EQ(last_message(), "Texture format not supported!\n\r\n");
}

TEST_F(TextureUpload, TheSoftwareTypeKeepsNoRecord)
{
    platform::set_display_description(description);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 640, 480, 16, 0), 1);
    ASSERT_EQ(device.render_type, kRenderSoftware);
    mtr_texture& f = frame("a", 16, 8, 4);
    ASSERT_EQ(device.create_textures(&f, 0), 1);
    EXPECT_EQ(f.surface, nullptr);
    ASSERT_NE(f.pixels, nullptr);
    f.pixels[16 * 8 - 1] = 7;  // the whole buffer is the frame's
    EXPECT_EQ(device.upload_textures(0), 1);
    EXPECT_EQ(device.create_surface(1, 1, 1, 1), nullptr);
    device.free_texture(&f);
    EXPECT_EQ(f.pixels, nullptr);
    EXPECT_TRUE(device.software_texels.empty());
}

} // namespace
