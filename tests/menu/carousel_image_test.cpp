// What a carousel draws, on the software rasteriser and on the 3D device:
// the bike inside the box and where the camera puts it, sliding with a
// turn; the frames are kept as PNG pictures for review.
#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "engine/base/shade_table.h"
#include "engine/render/rast.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene_view.h"
#include "tests/menu/picture_box_fixture.h"
#include "tools/datakit/shade_table_writer.h"
#include "tools/datakit/world_track_parts.h"

namespace {

constexpr int kLeft = 160, kTop = 120, kWidth = 320, kHeight = 240;
constexpr std::uint16_t kBackground = 0x0841;  // a dark grey no bike colour has

struct Drawn {
    int left = 640, top = 480, right = -1, bottom = -1;
    int count = 0;
    int outside = 0;  // changed pixels outside the box
};

class CarouselImageTest : public menu_test::PictureBoxFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        PictureBoxFixture::SetUp();
        use_podium_renderer(GetParam());
    }

    Drawn drawn() const
    {
        Drawn d;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                if (pixel(x, y) == kBackground)
                    continue;
                if (x < kLeft || x >= kLeft + kWidth || y < kTop || y >= kTop + kHeight) {
                    ++d.outside;
                    continue;
                }
                ++d.count;
                d.left = std::min(d.left, x);
                d.right = std::max(d.right, x);
                d.top = std::min(d.top, y);
                d.bottom = std::max(d.bottom, y);
            }
        return d;
    }

    // The screen box of an item's bounds (a bike: 0.5 m either side, up to
    // 1.3 m, from 0.5 m behind its rear contact to 2 m ahead) as the
    // camera sees it, turned and placed as the item stands.
    Drawn projected(const PictureBox& ole, int item) const
    {
        const ml_modelinfo* m = ole.ItemAt(item).instance;
        const mat4& turn = *m->ext_matrix;
        Drawn d;
        for (const float x : {-0.5f, 0.5f})
            for (const float y : {0.0f, 1.3f})
                for (const float z : {-0.5f, 2.0f}) {
                    const vec4 w{x * turn.m[0][0] + y * turn.m[1][0] + z * turn.m[2][0] + m->position.x,
                                 x * turn.m[0][1] + y * turn.m[1][1] + z * turn.m[2][1] + m->position.y,
                                 x * turn.m[0][2] + y * turn.m[1][2] + z * turn.m[2][2] + m->position.z, 1.0f};
                    float sx = 0.0f, sy = 0.0f;
                    EXPECT_TRUE(project_to_screen(*ole.Camera(), ole.View()->projection(), w, &sx, &sy));
                    d.left = std::min(d.left, static_cast<int>(std::floor(sx)));
                    d.right = std::max(d.right, static_cast<int>(std::ceil(sx)));
                    d.top = std::min(d.top, static_cast<int>(std::floor(sy)));
                    d.bottom = std::max(d.bottom, static_cast<int>(std::ceil(sy)));
                }
        return d;
    }

    void paint_frame(Form& form, std::uint32_t ms)
    {
        clear_screen(kBackground);
        device_.clear_zbuffer();
        paint_after(form, ms);
    }

    std::string type_name() const { return GetParam() ? "device" : "software"; }
};

TEST_P(CarouselImageTest, DrawsTheBikeWhereTheCameraSeesItAndSlidesIt)
{
    write_carousel("c.ole", bike_carousel(5));
    carousel_screen("c.ole", 0, kLeft, kTop, kWidth, kHeight);
    Form& form = load_screen("s");
    show();
    PictureBox& ole = box(form);

    paint_frame(form, 1500);
    const Drawn idle = drawn();
    const Drawn expected = projected(ole, 0);
    EXPECT_EQ(idle.outside, 0);
    EXPECT_GT(idle.count, 2000);
    // Everything drawn lies inside the projected bounds (a pixel's slack).
    EXPECT_GE(idle.left, expected.left - 1);
    EXPECT_LE(idle.right, expected.right + 1);
    EXPECT_GE(idle.top, expected.top - 1);
    EXPECT_LE(idle.bottom, expected.bottom + 1);
    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/carousel_" + type_name() + ".png",
                                    screenshot(), 24, 3000);

    // Half way through a turn to the next bike: the new one comes in from
    // the right, the old one leaves to the left, each within its bounds.
    ole.Notify(2);
    paint_frame(form, 250);
    const Drawn turning = drawn();
    const Drawn incoming = projected(ole, 1), outgoing = projected(ole, 0);
    EXPECT_EQ(turning.outside, 0);
    EXPECT_GT(turning.count, 0);
    EXPECT_GT(incoming.left, expected.left);
    EXPECT_LT(outgoing.right, expected.right);
    EXPECT_GE(turning.left, std::min(incoming.left, outgoing.left) - 1);
    EXPECT_LE(turning.right, std::max(incoming.right, outgoing.right) + 1);
    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/carousel_turning_" + type_name() +
                                        ".png",
                                    screenshot(), 24, 3000);
}

INSTANTIATE_TEST_SUITE_P(BothRenderTypes, CarouselImageTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Device") : std::string("Software");
                         });

} // namespace
