#include "platform/cursor.h"

#include <mutex>

#include "platform/native_window.h"
#include "platform/video_thread.h"

namespace platform {
namespace {

std::mutex g_mutex;
int g_display_count = 0;
bool g_position_known = false;
WindowHandle g_position_window;
Point g_position_client;

} // namespace

int show_cursor(bool show)
{
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_display_count += show ? 1 : -1;
        count = g_display_count;
    }
    // The video thread applies the counter's current state when it starts,
    // so a hand-over that finds it stopped loses nothing.
    post_to_video_thread([] { native::apply_cursor_visibility(cursor_display_count() >= 0); });
    return count;
}

int cursor_display_count()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_display_count;
}

bool get_cursor_pos(Point& point)
{
    WindowHandle window;
    Point client;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_position_known)
            return false;
        window = g_position_window;
        client = g_position_client;
    }
    // The window may have moved since: the position follows it. A window that
    // is gone leaves the last known screen position unknown.
    if (!client_to_screen(window, client))
        return false;
    point = client;
    return true;
}

void note_cursor_position(WindowHandle window, int client_x, int client_y)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_position_known = true;
    g_position_window = window;
    g_position_client = {client_x, client_y};
}

void forget_cursor_position()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_position_known = false;
}

} // namespace platform
