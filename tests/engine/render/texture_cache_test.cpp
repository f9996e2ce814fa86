// The texture cache: size classes, the options of a texture's name, the
// ring of resident textures, and residency under a small video budget.

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/texture_cache.h"
#include "platform/display.h"
#include "platform/video_thread.h"

namespace {

TEST(TextureCache, SizeClasses)
{
    const struct {
        int n, type, side;
    } cases[] = {{201, 96, 256}, {200, 96, 128}, {91, 96, 128}, {90, 96, 64}, {39, 96, 64}, {38, 96, 32},
                 {21, 96, 32},   {20, 96, 16},   {11, 96, 16},  {10, 96, 8},  {1, 96, 8},   {0, 96, 8},
                 {512, 112, 256}, {513, 112, 512}, {513, 96, 256}, {100000, 128, 256}};
    for (const auto& c : cases)
        EXPECT_EQ(texture_size_class(c.n, c.type), c.side) << c.n << " in type " << c.type;
}

TEST(TextureCache, NameOptions)
{
    const struct {
        const char* name;
        bool square_only;
        bool ok;
        std::uint32_t flags;
        float scale;
    } cases[] = {
        {"road", false, true, 0x100, -1.0f},
        {"road#3F#", false, true, 0x100 | 0x400 | 3, -1.0f},
        {"rail#Z#", false, true, 0x100 | 0x1000 | 12, -1.0f},
        {"skynf#Z#", false, true, 0x1000 | 12, -1.0f},
        {"x#1#", false, true, 0x100 | 1, -1.0f},
        {"x#10#", false, true, 0x100 | 10, -1.0f},
        {"x#12#", false, true, 0x100 | 12, -1.0f},
        {"x#13#", false, true, 0x100 | 3, -1.0f},  // 1 then 3: the last class holds
        {"x#9VMPq#", false, true, 0x100 | 0x200 | 0x2000 | 0x4000 | 9, -1.0f},
        {"x#S#", false, true, 0x100, 1.0f},
        {"x#S#", true, true, 0x100, -1.0f},  // a square-only device fits every texture
        {"x#3", false, false, 0x100, -1.0f},
    };
    for (const auto& c : cases) {
        cache_texture t;
        EXPECT_EQ(parse_texture_options(c.name, t, c.square_only), c.ok) << c.name;
        if (!c.ok)
            continue;
        EXPECT_EQ(t.flags, c.flags) << c.name;
        EXPECT_EQ(t.scale, c.scale) << c.name;
    }
}

TEST(TextureCache, TheRingIsAFirstInFirstOutQueueOfLiveEntries)
{
    std::vector<cache_texture> records(kCacheTextures + 1);
    texture_ring ring;
    EXPECT_EQ(ring.pop_oldest(), nullptr);
    for (int i = 0; i < 4; ++i)
        ring.push(&records[i]);
    ring.remove(&records[1]);
    ring.push(&records[0]);  // made resident again: now the newest
    EXPECT_EQ(ring.pop_oldest(), &records[2]);
    EXPECT_EQ(ring.pop_oldest(), &records[3]);
    EXPECT_EQ(ring.pop_oldest(), &records[0]);
    EXPECT_EQ(ring.pop_oldest(), nullptr);
    // Every record at once, wrapping around: none is overwritten.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kCacheTextures; ++i)
            ring.push(&records[i]);
        EXPECT_EQ(ring.count(), kCacheTextures);
        for (int i = 0; i < kCacheTextures; ++i)
            ASSERT_EQ(ring.pop_oldest(), &records[i]);
    }
}

class TextureResidency : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::DisplayDescription d = platform::default_display_description();
        d.video_memory = 1 << 20;
        d.texture_memory = 5000;  // room for two 32 x 32 16-bit textures
        platform::set_display_description(d);
        driver = platform::DisplayDriver::open();
        ASSERT_TRUE(driver);
    }
    void TearDown() override
    {
        records.clear();
        driver.reset();
        platform::reset_display_description();
        platform::shutdown_video_thread();
    }
    cache_texture& add(int side, std::uint16_t colour)
    {
        auto t = std::make_unique<cache_texture>();
        platform::SurfaceSpec spec;
        spec.kind = platform::SurfaceKind::Texture;
        spec.width = spec.height = side;
        spec.layout = platform::PixelLayout::Rgb565;
        EXPECT_EQ(driver->create_surface(spec, {}, t->system_surface), platform::DisplayResult::Ok);
        t->system_surface->fill(nullptr, colour);
        t->size = static_cast<std::uint32_t>(side * side * 2);
        records.push_back(std::move(t));
        return *records.back();
    }
    std::unique_ptr<platform::DisplayDriver> driver;
    std::vector<std::unique_ptr<cache_texture>> records;
    texture_ring ring;
    std::uint64_t uploaded = 0;
    std::int32_t next_handle = 1;
};

TEST_F(TextureResidency, TheOldestTextureIsEvictedAndComesBackWhenDrawn)
{
    cache_texture& a = add(32, 0x1111);
    cache_texture& b = add(32, 0x2222);
    cache_texture& c = add(32, 0x3333);
    ASSERT_EQ(make_texture_resident(a, *driver, ring, uploaded, next_handle), 0);
    ASSERT_EQ(make_texture_resident(b, *driver, ring, uploaded, next_handle), 0);
    EXPECT_GE(a.handle, 1);
    EXPECT_NE(a.handle, b.handle);
    // The third does not fit: the oldest (a) gives its copy back.
    ASSERT_EQ(make_texture_resident(c, *driver, ring, uploaded, next_handle), 0);
    EXPECT_EQ(a.handle, -1);
    EXPECT_FALSE(a.video_surface);
    EXPECT_TRUE(b.video_surface);
    platform::SurfaceLock lock;
    ASSERT_EQ(c.video_surface->lock(lock), platform::DisplayResult::Ok);
    EXPECT_EQ(reinterpret_cast<std::uint16_t*>(lock.pixels)[0], 0x3333);
    c.video_surface->unlock();
    // Drawn again, a comes back and b (now the oldest) goes.
    ASSERT_EQ(make_texture_resident(a, *driver, ring, uploaded, next_handle), 0);
    EXPECT_FALSE(b.video_surface);
    EXPECT_TRUE(c.video_surface);
    EXPECT_EQ(uploaded, 4u * 2048u);
    EXPECT_EQ(ring.count(), 2);

    // Lost surfaces: every video copy is lost; evicting and loading again
    // brings the texels back.
    driver->lose_surfaces();
    EXPECT_TRUE(a.video_surface->lost());
    evict_texture(a, ring);
    ASSERT_EQ(make_texture_resident(a, *driver, ring, uploaded, next_handle), 0);
    ASSERT_EQ(a.video_surface->lock(lock), platform::DisplayResult::Ok);
    EXPECT_EQ(reinterpret_cast<std::uint16_t*>(lock.pixels)[0], 0x1111);
    a.video_surface->unlock();
}

TEST_F(TextureResidency, NothingLeftToEvictIsError42InsteadOfSpinning)
{
    cache_texture& small = add(32, 0x1111);
    cache_texture& big = add(64, 0x2222);  // 8 KiB: more than the whole budget
    ASSERT_EQ(make_texture_resident(small, *driver, ring, uploaded, next_handle), 0);
    EXPECT_EQ(make_texture_resident(big, *driver, ring, uploaded, next_handle), 42);
    EXPECT_EQ(big.handle, -1);
    EXPECT_FALSE(small.video_surface) << "it was evicted trying";
    EXPECT_EQ(ring.count(), 0);
    // Without a system copy there is nothing to load: 28.
    cache_texture empty;
    EXPECT_EQ(make_texture_resident(empty, *driver, ring, uploaded, next_handle), 28);
}

} // namespace
