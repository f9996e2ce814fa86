#include "screens/screen_binding.h"

#include <initializer_list>

#include "menu/control.h"
#include "menu/form.h"
#include "menu/screen_hooks.h"
#include "platform/directory_listing.h"
#include "screens/arcade_screens.h"
#include "screens/front_screens.h"
#include "screens/live_labels.h"
#include "screens/results_screens.h"

namespace {

bool NameIs(const Form& form, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (platform::equals_ignoring_case(form.Name(), name))
            return true;
    return false;
}

} // namespace

bool ScreenPrepare(Form& form)
{
    if (NameIs(form, {"copyrigh"}))
        StartTitleCard();
    else if (NameIs(form, {"dlg05", "dlg06", "dlg09", "dlg10"}))
        ShowDialogueMessagePage(form);
    else if (NameIs(form, {"Arcade04"}))
        ShowArcadeTrack(form);
    else if (NameIs(form, {"game0702"}))
        ShowSessionResults(form);
    else if (NameIs(form, {"game07"}))
        ShowWeekendTiming(form);
    else if (NameIs(form, {"Sim11", "Arcade09"}))
        ShowStandings(form);
    else if (NameIs(form, {"Sim13"}))
        ShowEventResults(form);
    else if (NameIs(form, {"Sim12", "Arcade10"}))
        ShowTrackRecords(form);
    return true;
}

bool ScreenDraw(Form& form)
{
    if (NameIs(form, {"copyrigh"}))
        EndTitleCardInTime(form);
    return true;
}

bool ScreenCommand(Control& control)
{
    Form* form = control.m_pOwner;
    if (!form)
        return true;
    if (NameIs(*form, {"start01"}))
        return MainMenuCommand(control.m_nUserID);
    if (NameIs(*form, {"Arcade04"}))
        return ArcadeTrackCommand(*form);
    if (NameIs(*form, {"game07"}))
        return WeekendTimingCommand(*form, control.m_nUserID);
    if (NameIs(*form, {"Sim11", "Arcade09"}))
        return StandingsCommand(*form, control.m_nUserID);
    if (NameIs(*form, {"Sim13"}))
        return EventResultsCommand(*form, control.m_nUserID);
    if (NameIs(*form, {"Sim12", "Arcade10"}))
        return TrackRecordsCommand(*form);
    return true;
}

bool ScreenFormCommand(Form& /*form*/, std::int32_t /*command*/)
{
    return true;
}

void InstallScreenHandlers()
{
    // The hooks the game installed elsewhere stay.
    ScreenHooks hooks = TheScreenHooks();
    hooks.user_prepare = &ScreenPrepare;
    hooks.user_draw = &ScreenDraw;
    hooks.menu_command = &ScreenCommand;
    hooks.form_command = &ScreenFormCommand;
    hooks.live_label = &LiveLabelText;
    SetScreenHooks(hooks);
}
