#include "screens/plot_screen.h"

#include <cstdio>
#include <string>
#include <vector>

#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/plot.h"
#include "screens/navigation.h"
#include "screens/screen_text.h"
#include "screens/setup_screens.h"
#include "menu/menu_manager.h"
#include "platform/message_box.h"
#include "sim/telemetry_file.h"

namespace {

constexpr float kZoomIn = 0.8f, kZoomOut = 1.4f;

Plot* ThePlot(Form& form)
{
    return dynamic_cast<Plot*>(form.FindElement("plot_tel"));
}

std::string WithoutExtension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace

void PlotScreenPrepare(Form& form)
{
    const ChosenLaps& laps = LapsToPlot();
    if (Plot* plot = ThePlot(form)) {
        plot->LoadLaps(laps.first, laps.second, &form);
        // A lap damaged or gone since the browser listed it is left out,
        // and the player is told.
        std::string refused;
        for (const std::string* name : {&laps.first, &laps.second}) {
            TelemetryHeader header;
            std::vector<TelemetrySample> samples;
            std::string why;
            if (!name->empty() && !Plot::ReadLap(*name, header, samples, &why))
                refused += "\n" + *name + ": " + why;
        }
        if (!refused.empty())
            platform::message_box("These laps cannot be plotted:" + refused, "Message",
                                  platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }
    const std::string a = WithoutExtension(laps.first), b = WithoutExtension(laps.second);
    SetTextIfPresent(form, "LBL_Telemetry", b.empty() ? a : a + "   " + b);
    ShowTelemetrySession(form);
}

bool PlotScreenCommand(Form& form, Control& control)
{
    Plot* plot = ThePlot(form);
    const std::int32_t id = control.m_nUserID;
    if (!plot || id < 0 || !dynamic_cast<CommandButton*>(&control))
        return true;
    if (id < 100)
        plot->ToggleChannel(id);
    else if (id == 100)
        plot->Zoom(kZoomIn);
    else if (id == 101)
        plot->Zoom(kZoomOut);
    else if (id == 102)
        plot->SetOverlay(true);
    else if (id == 103)
        plot->SetOverlay(false);
    else if (id == 104)
        plot->ToggleWindowBar();
    form.Invalidate();
    return true;
}

bool PlotScreenRelease(Form& form)
{
    if (Plot* plot = ThePlot(form))
        plot->FreeLaps();
    return true;
}
