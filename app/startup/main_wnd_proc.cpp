#include "app/startup/main_wnd_proc.h"

#include "app/main_window.h"
#include "engine/render/render_device.h"
#include "platform/key_codes.h"

bool RegisterMainWindowClass()
{
    return platform::register_window_class(kMainWindowClass, platform::CS_HREDRAW | platform::CS_VREDRAW,
                                           MainWndProc);
}

platform::LResult MainWndProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                              platform::LParam lParam)
{
    render_device* renderer = installed_render_device();
    switch (message) {
    case platform::WM_DESTROY:
    case platform::WM_CLOSE:
    case platform::WM_QUIT:
        if (renderer)
            renderer->closing = 1;
        g_bQuit = 1;
        break;
    case platform::WM_MOVE:
        if (renderer)
            renderer->update_window_origin();
        break;
    case platform::WM_SIZE:
        // Minimised (1) pauses the renderer, restored (0) resumes it.
        if (renderer)
            renderer->set_active(static_cast<int>(wParam));
        break;
    case platform::WM_NCHITTEST:
        // The window has no area to drag or size by.
        return platform::HTNOWHERE;
    case platform::WM_SYSKEYDOWN:
    case platform::WM_SYSKEYUP:
        if (wParam == platform::VK_MENU)
            return 0;
        break;
    default:
        break;
    }
    return platform::def_window_proc(window, message, wParam, lParam);
}
