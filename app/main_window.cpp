#include "app/main_window.h"

#include <string>

#include "app/game_app.h"
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
