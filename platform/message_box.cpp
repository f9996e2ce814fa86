#include "platform/message_box.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include <SDL.h>

#include "platform/display_presence.h"
#include "platform/video_thread.h"

namespace platform {
namespace {

std::mutex g_mutex;
bool g_recording = false;
std::vector<ShownMessageBox> g_recorded;

int default_answer(unsigned style)
{
    return (style & 0x0F) == MB_YESNO ? IDYES : IDOK;
}

Uint32 sdl_flags(unsigned style)
{
    switch (style & 0xF0) {
    case MB_ICONHAND: return SDL_MESSAGEBOX_ERROR;
    case MB_ICONEXCLAMATION: return SDL_MESSAGEBOX_WARNING;
    default: return SDL_MESSAGEBOX_INFORMATION;
    }
}

int show_with_sdl(const std::string& text, const std::string& caption, unsigned style)
{
    SDL_MessageBoxButtonData buttons[2] = {};
    int count = 0;
    if ((style & 0x0F) == MB_YESNO) {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"};
        buttons[1] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"};
        count = 2;
    } else if ((style & 0x0F) == MB_OKCANCEL) {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDOK, "OK"};
        buttons[1] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"};
        count = 2;
    } else {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"};
        count = 1;
    }
    SDL_MessageBoxData data = {};
    data.flags = sdl_flags(style);
    data.title = caption.c_str();
    data.message = text.c_str();
    data.numbuttons = count;
    data.buttons = buttons;
    int chosen = -1;
    if (SDL_ShowMessageBox(&data, &chosen) != 0 || chosen < 0)
        return default_answer(style);
    return chosen;
}

} // namespace

int message_box(std::string_view text, std::string_view caption, unsigned style)
{
    std::string t(text), c(caption);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        std::fprintf(stderr, "[%s] %s\n", c.c_str(), t.c_str());
        if (g_recording) {
            g_recorded.push_back({t, c, style});
            return default_answer(style);
        }
    }
    if (!has_display())
        return default_answer(style);
    // SDL's windows belong to the video thread, and so does the box while it
    // runs; the caller waits for the answer however long the user takes, but
    // not beyond the thread's end.
    if (video_thread_running()) {
        auto answer = std::make_shared<int>(default_answer(style));
        if (run_on_video_thread([answer, t, c, style] { *answer = show_with_sdl(t, c, style); }, kVideoNoTimeLimit))
            return *answer;
        return default_answer(style);
    }
    return show_with_sdl(t, c, style);
}

void set_message_box_recording(bool on)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_recording = on;
}

std::vector<ShownMessageBox> recorded_message_boxes()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_recorded;
}

void clear_recorded_message_boxes()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_recorded.clear();
}

} // namespace platform
