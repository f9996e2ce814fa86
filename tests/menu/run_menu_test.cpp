#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/main_window.h"
#include "engine/render/render_device.h"
#include "menu/menu_display.h"
#include "menu/menu_manager.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"

namespace {

platform::LResult Proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    if (m == platform::WM_CLOSE || m == platform::WM_QUIT)
        g_bQuit = 1;
    return platform::def_window_proc(w, m, wp, lp);
}

// The records the menus' display needs: the application record with its
// main window and the renderer with its drivers listed.
class RunMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_bQuit = 0;
        platform::clear_recorded_message_boxes();
        SetTheGameApp(&app_);
        set_the_render_device(&renderer_);
        ASSERT_TRUE(platform::register_window_class(kMainWindowClass, 0, &Proc));
        ASSERT_TRUE(app_.CreateMainWindow());
        ASSERT_EQ(renderer_.enumerate_drivers(app_.m_hWnd), 1);
        app_.DDrawDriver = 0;
        app_.D3DDriver = 1;
        app_.HRes = 800;
        app_.VRes = 600;
    }
    void TearDown() override
    {
        set_the_render_device(nullptr);
        SetTheGameApp(nullptr);
        platform::shutdown_video_thread();
        g_bQuit = 0;
    }
    GameApp app_;
    render_device renderer_;
};

} // namespace

TEST_F(RunMenuTest, TheSoftwareEntryDrawsSixteenBitInTheMenus)
{
    app_.D3DDriver = 0;
    ASSERT_TRUE(StartMenuDisplay());
    EXPECT_EQ(renderer_.software_16bit, 1);
    EXPECT_EQ(renderer_.render_type, kRenderSoftware);
    EXPECT_EQ(renderer_.screen_depth, 16);

    // A device index past the driver's devices takes its first device.
    app_.D3DDriver = 3;
    ASSERT_TRUE(StartMenuDisplay());
    EXPECT_EQ(renderer_.device, 0);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());

    // A display that cannot start (no driver listed): the renderer says why.
    renderer_.release();
    EXPECT_FALSE(StartMenuDisplay());
    EXPECT_EQ(platform::recorded_message_boxes().size(), 1u);
    platform::clear_recorded_message_boxes();
}

TEST(MenuObjects, TheMainAndTheDialogueManagers)
{
    EXPECT_EQ(MainMenuManager(), nullptr);
    {
        g_MenuStateFlags[2] = 9;
        MenuObjects menus;
        EXPECT_EQ(g_MenuStateFlags[2], 0);
        EXPECT_EQ(MainMenuManager(), &menus.Main());
        EXPECT_EQ(DialogueMenuManager(), &menus.Dialogue());
        EXPECT_NE(MainMenuManager(), DialogueMenuManager());
        EXPECT_THROW(MenuObjects(), std::logic_error);
        SetCurrentMenuManager(MainMenuManager());
        EXPECT_EQ(CurrentMenuManager(), &menus.Main());
        EXPECT_EQ(menus.Main().m_nNextState, -1);
    }
    EXPECT_EQ(MainMenuManager(), nullptr);
    EXPECT_EQ(CurrentMenuManager(), nullptr);
}
