#include "app/main_window.h"

#include <string>

#include "app/game_app.h"
#include "platform/key_codes.h"
#include "platform/resources.h"

std::uint8_t g_bQuit = 0;

namespace {

// The main window's styles: a captioned window with a system menu and a
// minimise box, at the top left, sized later for the display.
constexpr std::uint32_t kMainWindowExStyle = platform::WS_EX_WINDOWEDGE;
constexpr std::uint32_t kMainWindowStyle = platform::WS_SYSMENU | platform::WS_MINIMIZEBOX;
constexpr int kInitialSize = 100;
constexpr std::size_t kMaxTitleLength = 100;

} // namespace

bool RegisterMainWindowClass()
{
    return platform::register_window_class(kMainWindowClass, platform::CS_HREDRAW | platform::CS_VREDRAW,
                                           MainWndProc);
}

platform::LResult MainWndProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                              platform::LParam lParam)
{
    switch (message) {
    case platform::WM_DESTROY:
    case platform::WM_CLOSE:
    case platform::WM_QUIT:
        // The renderer's closing byte is set here too once the renderer
        // exists, so that it stops presenting to a window that is going.
        g_bQuit = 1;
        break;
    case platform::WM_MOVE:
        // Renderer hook: the renderer takes the window's new origin here.
        break;
    case platform::WM_SIZE:
        // Renderer hook: the renderer pauses while the window is minimised
        // and resumes when it is restored (wParam, lParam as received).
        break;
    case platform::WM_NCHITTEST:
        // The window has no area to drag or size by.
        return platform::HTNOWHERE;
    case platform::WM_SYSKEYDOWN:
    case platform::WM_SYSKEYUP:
        // Alt is swallowed so that it never opens the system menu.
        if (wParam == platform::VK_MENU)
            return 0;
        break;
    default:
        break;
    }
    return platform::def_window_proc(window, message, wParam, lParam);
}

bool GameApp::CreateMainWindow()
{
    std::string title = platform::load_string(platform::IDS_APP_TITLE).value_or(std::string());
    if (title.size() > kMaxTitleLength)
        title.resize(kMaxTitleLength);
    m_hWnd = platform::create_window(kMainWindowExStyle, kMainWindowClass, title, kMainWindowStyle, 0, 0,
                                     kInitialSize, kInitialSize);
    return static_cast<bool>(m_hWnd);
}

void GameApp::SizeMainWindow()
{
    if (GfxFlags & kGfxFlagFullScreen) {
        m_nWindowWidth = HRes;
        m_nWindowHeight = VRes;
        return;
    }
    using platform::get_system_metric;
    m_nWindowWidth = HRes + 2 * (get_system_metric(platform::SM_CXDLGFRAME) + get_system_metric(platform::SM_CXBORDER));
    m_nWindowHeight = VRes + get_system_metric(platform::SM_CYDLGFRAME) + get_system_metric(platform::SM_CYCAPTION)
                      + 2 * get_system_metric(platform::SM_CYBORDER);
    platform::move_window(m_hWnd, 0, 0, m_nWindowWidth, m_nWindowHeight, false);
    platform::show_window(m_hWnd, platform::SW_SHOWNORMAL);
    platform::update_window(m_hWnd);
}

void GameApp::DestroyMainWindow()
{
    platform::destroy_window(m_hWnd);
    m_hWnd = {};
}
