// The 3D device's scenes: what is queued between begin and end is drawn
// into the target and its Z-buffer inside the current viewport; scenes on
// lost surfaces and refused operations draw nothing.

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/device3d_raster.h"
#include "platform/display.h"
#include "platform/fault_seam.h"
#include "tests/platform/window_fixture.h"

using namespace platform;

namespace {

class Device3DScene : public torvane_test::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        reset_display_description();
        driver = DisplayDriver::open();
        ASSERT_TRUE(driver);
        back = surface(8, 6, PixelLayout::Rgb565, SurfaceKind::Offscreen);
        z = surface(8, 6, PixelLayout::Depth16, SurfaceKind::DepthBuffer);
        ASSERT_EQ(back->attach_depth_buffer(*z), DisplayResult::Ok);
        ASSERT_EQ(driver->open_3d(), DisplayResult::Ok);
        ASSERT_EQ(driver->create_device("Torvane 3D", *back, device), DisplayResult::Ok);
        ASSERT_EQ(device->create_viewport(viewport), DisplayResult::Ok);
        ASSERT_EQ(device->add_viewport(*viewport), DisplayResult::Ok);
        ASSERT_EQ(viewport->set_rect({1, 1, 7, 5}), DisplayResult::Ok);
        ASSERT_EQ(device->set_current_viewport(*viewport), DisplayResult::Ok);
        ASSERT_EQ(device->create_material(material), DisplayResult::Ok);
        std::uint32_t handle = 0;
        ASSERT_EQ(material->get_handle(handle), DisplayResult::Ok);
        ASSERT_EQ(viewport->set_background(handle), DisplayResult::Ok);
    }
    void TearDown() override
    {
        clear_faults();
        device.reset();
        reset_display_description();
        WindowFixture::TearDown();
    }
    std::unique_ptr<Surface> surface(int w, int h, PixelLayout layout, SurfaceKind kind)
    {
        SurfaceSpec spec;
        spec.kind = kind;
        spec.width = w;
        spec.height = h;
        spec.layout = layout;
        spec.place = MemoryPlace::Video;
        std::unique_ptr<Surface> s;
        EXPECT_EQ(driver->create_surface(spec, {}, s), DisplayResult::Ok);
        return s;
    }
    std::uint16_t pixel(Surface& s, int x, int y)
    {
        SurfaceLock lock;
        EXPECT_EQ(s.lock(lock), DisplayResult::Ok);
        const auto value = reinterpret_cast<const std::uint16_t*>(lock.pixels + y * lock.pitch)[x];
        s.unlock();
        return value;
    }
    // A quad over the whole target at depth 0.5.
    DisplayResult draw_quad(std::uint32_t colour)
    {
        TLVertex v[4];
        const float xs[4] = {-2, 20, 20, -2}, ys[4] = {-2, -2, 20, 20};
        for (int i = 0; i < 4; ++i) {
            v[i].sx = xs[i];
            v[i].sy = ys[i];
            v[i].sz = 0.5f;
            v[i].colour = colour;
            v[i].tu = xs[i] / 2;
            v[i].tv = ys[i] / 2;
        }
        const std::uint16_t idx[] = {0, 1, 2, 0, 2, 3};
        return device->draw_indexed(v, 4, idx, 6);
    }

    std::unique_ptr<DisplayDriver> driver;
    std::unique_ptr<Surface> back, z;
    std::unique_ptr<Device3D> device;
    std::unique_ptr<Viewport> viewport;
    std::unique_ptr<Material> material;
};

TEST_F(Device3DScene, DrawsQueuedTrianglesInsideTheViewportAtTheEnd)
{
    ASSERT_EQ(back->fill(nullptr, 0x1111), DisplayResult::Ok);
    // Only the viewport's part of the Z-buffer is cleared (to the farthest).
    ASSERT_EQ(device->clear(false, true), DisplayResult::Ok);
    // Outside a scene nothing is queued.
    EXPECT_EQ(draw_quad(0xFFFFFFFF), DisplayResult::Failed);
    ASSERT_EQ(device->begin_scene(), DisplayResult::Ok);
    EXPECT_EQ(device->begin_scene(), DisplayResult::Failed);
    ASSERT_EQ(draw_quad(0xFFFF0000), DisplayResult::Ok);
    EXPECT_EQ(pixel(*back, 3, 3), 0x1111) << "drawn before the scene ended";
    ASSERT_EQ(device->end_scene(), DisplayResult::Ok);
    EXPECT_EQ(device->end_scene(), DisplayResult::Failed);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 1 && x < 7 && y >= 1 && y < 5;
            EXPECT_EQ(pixel(*back, x, y), inside ? 0xF800 : 0x1111) << x << ", " << y;
            EXPECT_EQ(pixel(*z, x, y), inside ? 32768 : 0) << x << ", " << y;
        }
    EXPECT_EQ(device->triangles_queued(), 2u);

    // A texture: power-of-two sides, 16-bit; its colour key is honoured.
    auto odd = surface(6, 8, PixelLayout::Rgb565, SurfaceKind::Texture);
    EXPECT_EQ(device->set_texture(odd.get()), DisplayResult::InvalidArgument);
    auto tex = surface(2, 2, PixelLayout::Rgb565, SurfaceKind::Texture);
    ASSERT_EQ(tex->fill(nullptr, 0x07E0), DisplayResult::Ok);
    const PixelRect corner{0, 0, 1, 1};
    ASSERT_EQ(tex->fill(&corner, 0x001F), DisplayResult::Ok);
    tex->set_colour_key(0x001F);
    ASSERT_EQ(device->set_texture(tex.get()), DisplayResult::Ok);
    RenderStates st;
    st.z_func = CompareFunc::Always;
    device->set_render_states(st);
    ASSERT_EQ(device->begin_scene(), DisplayResult::Ok);
    ASSERT_EQ(draw_quad(0xFFFFFFFF), DisplayResult::Ok);
    ASSERT_EQ(device->end_scene(), DisplayResult::Ok);
    // Texel (0, 0) of every repeat is keyed: pixels with even x and y keep red.
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 7; ++x)
            EXPECT_EQ(pixel(*back, x, y), (x % 2 == 0 && y % 2 == 0) ? 0xF800 : 0x07E0) << x << ", " << y;
}

TEST_F(Device3DScene, LostSurfacesAndRefusalsDrawNothing)
{
    ASSERT_EQ(back->fill(nullptr, 0x2222), DisplayResult::Ok);
    // A bad index is refused, the good triangles still drawn.
    TLVertex v[3];
    v[1].sx = 10;
    v[2].sy = 10;
    const std::uint16_t idx[] = {0, 1, 2, 0, 1, 7};
    ASSERT_EQ(device->begin_scene(), DisplayResult::Ok);
    EXPECT_EQ(device->draw_indexed(v, 3, idx, 6), DisplayResult::InvalidArgument);
    EXPECT_EQ(device->draw_indexed(v, 3, idx, 4), DisplayResult::InvalidArgument);
    EXPECT_EQ(device->draw_indexed(v, -1, idx, 3), DisplayResult::InvalidArgument);
    ASSERT_EQ(device->end_scene(), DisplayResult::Ok);
    EXPECT_EQ(pixel(*back, 2, 2), 0xFFFF);

    // Drawing refused by the fault seams.
    ASSERT_EQ(back->fill(nullptr, 0x2222), DisplayResult::Ok);
    fail_next(Fault::DeviceBeginScene);
    EXPECT_EQ(device->begin_scene(), DisplayResult::Failed);
    ASSERT_EQ(device->begin_scene(), DisplayResult::Ok);
    fail_next(Fault::DeviceDraw);
    EXPECT_EQ(draw_quad(0xFFFFFFFF), DisplayResult::Failed);
    ASSERT_EQ(draw_quad(0xFFFFFFFF), DisplayResult::Ok);
    fail_next(Fault::DeviceEndScene);
    EXPECT_EQ(device->end_scene(), DisplayResult::Failed);
    EXPECT_FALSE(device->in_scene());
    EXPECT_EQ(pixel(*back, 3, 3), 0x2222);

    // A target lost while a scene is queued: the scene is dropped, Lost.
    ASSERT_EQ(device->begin_scene(), DisplayResult::Ok);
    ASSERT_EQ(draw_quad(0xFFFFFFFF), DisplayResult::Ok);
    driver->lose_surfaces();
    EXPECT_EQ(device->end_scene(), DisplayResult::Lost);
    EXPECT_EQ(device->begin_scene(), DisplayResult::Lost);
    ASSERT_EQ(back->restore(), DisplayResult::Ok);
    ASSERT_EQ(z->restore(), DisplayResult::Ok);
    ASSERT_EQ(device->begin_scene(), DisplayResult::Ok);
    ASSERT_EQ(device->end_scene(), DisplayResult::Ok);
    EXPECT_EQ(pixel(*back, 3, 3), 0);
}

} // namespace
