#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/cursor.h"
#include "platform/native_event.h"
#include "tests/platform/window_fixture.h"

using namespace platform;

namespace {

class Cursor : public torvane_test::WindowFixture {
protected:
    void TearDown() override
    {
        // Back to the count the process started with.
        while (cursor_display_count() < 0)
            show_cursor(true);
        while (cursor_display_count() > 0)
            show_cursor(false);
        WindowFixture::TearDown();
    }
};

// Whether SDL shows the cursor, asked on the video thread.
bool sdl_cursor_shown()
{
    int shown = -1;
    EXPECT_TRUE(run_on_video_thread([&] { shown = SDL_ShowCursor(SDL_QUERY); }));
    return shown == SDL_ENABLE;
}

} // namespace

TEST_F(Cursor, TheDisplayCounterDecidesVisibility)
{
    ASSERT_EQ(cursor_display_count(), 0);
    // Hidden before the video thread runs: the thread applies it when it starts.
    EXPECT_EQ(show_cursor(false), -1);
    ASSERT_TRUE(start_video_thread());
    EXPECT_FALSE(sdl_cursor_shown());

    const struct {
        bool show;
        int count;
        bool visible;
    } steps[] = {
        {false, -2, false}, {true, -1, false}, {true, 0, true}, {true, 1, true}, {false, 0, true}, {false, -1, false},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(show_cursor(step.show), step.count);
        EXPECT_EQ(cursor_display_count(), step.count);
        EXPECT_EQ(sdl_cursor_shown(), step.visible) << "count " << step.count;
    }
}

TEST_F(Cursor, ThePositionIsTheLastMouseMoveOverAWindowAndFollowsIt)
{
    WindowHandle w = make_popup(64, 48);
    ASSERT_TRUE(w);
    Point p;
    EXPECT_FALSE(get_cursor_pos(p)); // the mouse has not been over the window

    NativeEvent move;
    move.kind = NativeEventKind::MouseMotion;
    move.window = w;
    move.x = 10;
    move.y = 20;
    deliver_native_event(move);
    ASSERT_TRUE(get_cursor_pos(p));
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);

    ASSERT_TRUE(move_window(w, 100, 50, 64, 48, false));
    ASSERT_TRUE(get_cursor_pos(p));
    EXPECT_EQ(p.x, 110);
    EXPECT_EQ(p.y, 70);

    destroy_window(w);
    EXPECT_FALSE(get_cursor_pos(p));
}
