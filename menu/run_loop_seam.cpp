#include "menu/run_loop_seam.h"

#include "app/play_seam.h"
#include "menu/control.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "platform/clock.h"

namespace {

// The display shows a menu frame every 16 ms (60 a second).
constexpr std::uint32_t kMenuFrameMs = 16;

const Form* g_pReportedForm = nullptr;
std::int32_t g_nReportedElement = -1;
bool g_bHoldFocusReports = false;
std::uint32_t g_dwLastFrame = 0;
bool g_bFrameStarted = false;

} // namespace

void BeginScreenShown(const MenuManager& manager, const Form& screen)
{
    PlaySeam* seam = ThePlaySeam();
    if (!seam)
        return;
    seam->ScreenShown(manager.m_Name.c_str(), manager.m_nState, screen.Name());
    g_pReportedForm = nullptr;
    g_nReportedElement = -1;
    g_bHoldFocusReports = true;
}

void EndScreenShown(const Form& screen)
{
    if (!g_bHoldFocusReports)
        return;
    g_bHoldFocusReports = false;
    ReportFocus(screen, screen.m_nFocus);
}

void ReportFocus(const Form& form, std::int32_t element)
{
    PlaySeam* seam = ThePlaySeam();
    if (!seam || g_bHoldFocusReports)
        return;
    const Control* control = form.Element(element);
    if (!control || (&form == g_pReportedForm && element == g_nReportedElement))
        return;
    g_pReportedForm = &form;
    g_nReportedElement = element;
    seam->FocusMoved(control->Name());
}

void WaitForMenuFrame()
{
    if (PlaySeam* seam = ThePlaySeam()) {
        seam->MenuFrame();
        return;
    }
    // The real clock paces the frames, also while a test clock is set.
    const std::uint32_t now = platform::real_time_get_time();
    const std::uint32_t spent = g_bFrameStarted ? platform::elapsed_ms(g_dwLastFrame, now) : kMenuFrameMs;
    if (spent < kMenuFrameMs)
        platform::sleep_ms(kMenuFrameMs - spent);
    g_dwLastFrame = platform::real_time_get_time();
    g_bFrameStarted = true;
}
