// The picture box's 3D scene: its element, its time (command 0 once it has
// played), and the kit's podium scene as drawn on both render types.
#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "engine/base/name_hash.h"
#include "engine/base/shade_table.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/render/rast.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "tests/menu/picture_box_fixture.h"
#include "tools/datakit/demo_podium.h"
#include "tools/datakit/shade_table_writer.h"
#include "tools/datakit/world_track_parts.h"

namespace {

using menu_test::place;

constexpr std::int32_t kSceneState = 1;  // screen 0's state
constexpr std::int32_t kBack = 9;        // where its command 0 leads
constexpr std::uint16_t kBackground = 0x0841;

class SceneBoxTest : public menu_test::PictureBoxFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        PictureBoxFixture::SetUp();
        std::string error;
        ASSERT_TRUE(datakit::write_scene(data_.root() / "menu" / "3d", "s1", datakit::demo_podium_scene(1, 0, 2),
                                         error))
            << error;
        use_podium_renderer(GetParam());
        manager_.m_Transitions = {{kSceneState, 0, kBack}};
    }

    // A screen whose scene element has the time given (none: no key).
    Form& scene_screen(const char* time)
    {
        datakit::FormFileWriter file = menu_test::screen_file("s");
        file.begin("PictureBox", "OLE1");
        place(file, 0, 0, 640, 480).key("OLEType", "OLE3DSCENE").key("Scene", "menu\\3d\\s1");
        if (time)
            file.key("SceneTime", time);
        file.end().end();
        data_.screen("s", file);
        Form& form = load_screen("s");
        show();
        manager_.m_nNextState = kSceneState;
        return form;
    }

    bool backed() const { return manager_.m_nNextState == kBack; }
};

TEST_P(SceneBoxTest, PlaysOverItsTimeThenGoesBack)
{
    struct Case {
        const char* time;
        std::int32_t stored;   // the scene time kept, ms
    };
    for (const Case& c : {Case{nullptr, 10}, Case{"7000", 7000}, Case{"0", 1}, Case{"-5", 1}}) {
        SCOPED_TRACE(c.stored);
        Form& form = scene_screen(c.time);
        PictureBox& ole = box(form);
        EXPECT_EQ(ole.Kind(), kOleScene);
        EXPECT_EQ(ole.SceneTime(), c.stored);
        // Exactly the time: t is 1.0, not past it.
        paint_after(form, static_cast<std::uint32_t>(c.stored));
        EXPECT_NEAR(ole.TurnParameter(), 1.0f, 1e-5f);
        EXPECT_FALSE(backed());
        paint_after(form, 1);
        EXPECT_TRUE(backed());
        // Every paint after gives command 0 again; the scene is not rewound.
        manager_.m_nNextState = kSceneState;
        ole.Reset();
        paint_after(form, 0);
        EXPECT_TRUE(backed());
    }
}

TEST_P(SceneBoxTest, ASceneElementNeedsItsScene)
{
    datakit::FormFileWriter file = menu_test::screen_file("s");
    file.begin("PictureBox", "OLE1");
    place(file, 0, 0, 640, 480).key("OLEType", "OLE3DSCENE").end().end();
    data_.screen("s", file);
    EXPECT_THROW(load_screen("s"), GameError);
    PictureBox added;
    EXPECT_THROW(added.Create(0, 0, 640, 480, kOleCarousel, "menu\\3d\\s1", 100.0f), GameError);
}

// The end-of-season podium of a championship, part way through: the three
// winners stand on their steps where the scene's camera sees them, each in
// the livery its material set chooses.
TEST_P(SceneBoxTest, DrawsThePodiumWhereItsCameraSeesIt)
{
    datakit::FormFileWriter file = menu_test::screen_file("olescene");
    file.end();
    data_.screen("olescene", file);
    Form& form = load_screen("olescene");
    auto* ole = static_cast<PictureBox*>(form.AddElement(kControlPictureBox, nullptr, "OLE1"));
    ole->Create(0, 0, 640, 480, kOleScene, "menu\\3d\\s1", 11000.0f);
    show();
    const char* models[3] = {"AXX_WINNER", "AXX_2ND", "AXX_3RD"};
    for (int p = 0; p < 3; ++p)
        ole->Scene()->find_model(name_hash(models[p]))->set_material_set(std::bit_cast<std::uint32_t>(0.25f * p));
    clear_screen(kBackground);
    device_.clear_zbuffer();
    paint_after(form, 8800);
    // Each winner's helmet: 1.25 above its root, in front of the camera.
    for (int p = 0; p < 3; ++p) {
        const ml_modelinfo* m = ole->Scene()->find_model(name_hash(models[p]));
        const vec4 helmet{m->first_node->world.m[3][0], m->first_node->world.m[3][1] + 1.25f,
                          m->first_node->world.m[3][2], 1.0f};
        float x = 0.0f, y = 0.0f;
        ASSERT_TRUE(project_to_screen(*ole->Camera(), ole->View()->projection(), helmet, &x, &y)) << models[p];
        ASSERT_GT(x, 2.0f);
        ASSERT_LT(x, 637.0f);
        ASSERT_GT(y, 2.0f);
        ASSERT_LT(y, 477.0f);
        int drawn = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                drawn += pixel(static_cast<int>(x) + dx, static_cast<int>(y) + dy) != kBackground;
        EXPECT_GT(drawn, 20) << models[p];
    }
    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/podium_" +
                                        (GetParam() ? "device" : "software") + ".png",
                                    screenshot(), 24, 3000);
}

INSTANTIATE_TEST_SUITE_P(BothRenderTypes, SceneBoxTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Device") : std::string("Software");
                         });

} // namespace
