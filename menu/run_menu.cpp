#include "menu/run_menu.h"

#include "app/main_window.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_display.h"
#include "platform/clock.h"
#include "platform/window.h"

namespace {

// A result asked for with EndMenu, waiting for the running (or next) set.
std::int32_t g_nEndResult = 0;
bool g_bEndAsked = false;

// The pace of a menu frame.
constexpr std::uint32_t kMenuFrameMs = 15;

// Hands every waiting message to its window.
void DispatchMessages()
{
    platform::Message message;
    while (!g_bQuit && platform::peek_message(message, true)) {
        platform::translate_message(message);
        platform::dispatch_message(message);
    }
}

// One menu frame: the background, shown.
void DrawFrame()
{
    if (render_device* renderer = installed_render_device()) {
        renderer->clear_back_buffer();
        renderer->present();
    }
}

} // namespace

void EndMenu(std::int32_t result)
{
    g_nEndResult = result;
    g_bEndAsked = true;
}

std::int32_t RunMenu(const char* /*name*/, std::uint32_t /*flags*/, std::int32_t /*startState*/)
{
    InputManager* input = TheInputManager();
    if (input)
        input->SetWindow();
    if (!g_bQuit && !StartMenuDisplay())
        return 0;
    while (!g_bQuit) {
        DispatchMessages();
        if (g_bQuit)
            break;
        if (input)
            input->Poll();
        if (g_bEndAsked) {
            g_bEndAsked = false;
            return g_nEndResult;
        }
        DrawFrame();
        platform::sleep_ms(kMenuFrameMs);
    }
    g_bEndAsked = false;
    return 0;
}

std::int32_t RunScreen(const char* /*name*/, std::int32_t /*flag*/)
{
    // No screen set has files yet: it ends at once.
    return 0;
}
