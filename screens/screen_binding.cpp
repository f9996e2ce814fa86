#include "screens/screen_binding.h"

#include <string_view>

#include "menu/control.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/run_menu.h"
#include "menu/screen_hooks.h"
#include "platform/directory_listing.h"
#include "screens/arcade_screens.h"
#include "screens/file_screens.h"
#include "screens/front_screens.h"
#include "screens/live_labels.h"
#include "screens/menu_scenes.h"
#include "screens/multi_screens.h"
#include "screens/option_screens.h"
#include "screens/page_browser.h"
#include "screens/plot_screen.h"
#include "screens/results_screens.h"
#include "screens/setup_screens.h"
#include "screens/weekend_screens.h"

namespace {

// The screens and their handlers, one row a line, by group.
const ScreenRow kScreens[] = {
    // Front end
    {.name = "copyrigh", .prepare = [](Form&) { StartTitleCard(); }, .draw = [](Form& f) { EndTitleCardInTime(f); return true; }},
    {.name = "start01", .command = [](Form&, Control& c) { return MainMenuCommand(c.m_nUserID); }},
    {.name = "dlg06", .prepare = ShowDialogueMessagePage},
    {.name = "dlg09", .prepare = ShowDialogueMessagePage},
    {.name = "dlg10", .prepare = ShowDialogueMessagePage},
    // Arcade
    {.name = "Arcade04", .prepare = ShowArcadeTrack, .command = [](Form& f, Control&) { return ArcadeTrackCommand(f); }},
    {.name = "Arcade03", .prepare = ArcadeBikePrepare, .draw = ArcadeBikeDraw, .command = ArcadeBikeCommand},
    {.name = "MArcade3", .prepare = ArcadeBikePrepare, .draw = ArcadeBikeDraw, .command = ArcadeBikeCommand},
    {.name = "Arcade08", .prepare = ArcadeRacePrepare, .command = ArcadeRaceCommand},
    {.name = "Arcade07", .prepare = ArcadeTrackListPrepare, .draw = ArcadeTrackListDraw},
    // Weekend
    {.name = "sim01", .prepare = GameModePrepare, .command = GameModeCommand},
    {.name = "option01", .prepare = GameTypePrepare, .command = GameTypeCommand},
    {.name = "Aopt01", .prepare = ArcadeGameTypePrepare},
    {.name = "Sim04", .prepare = ChampionshipStartPrepare, .command = ChampionshipStartCommand},
    {.name = "Sim5k", .prepare = TeamPrepare, .command = TeamCommand},
    {.name = "Sim5d", .prepare = TeamPrepare, .command = TeamCommand},
    {.name = "Sim5h", .prepare = TeamPrepare, .command = TeamCommand},
    {.name = "Sim5y", .prepare = TeamPrepare, .command = TeamCommand},
    {.name = "Sim5s", .prepare = TeamPrepare, .command = TeamCommand},
    {.name = "dlg05", .prepare = RenameDialoguePrepare, .command = RenameDialogueCommand},
    {.name = "Sim08", .command = TrackCommand},
    {.name = "sim09d", .prepare = TrackInfoPrepare, .command = TrackInfoCommand},
    {.name = "sim09", .prepare = TrackInfoPrepare, .command = TrackInfoCommand},
    {.name = "Sim10", .prepare = SessionsPrepare, .command = SessionsCommand},
    {.name = "Game03a", .prepare = InSessionPrepare, .command = InSessionCommand},
    {.name = "Game03b", .prepare = InSessionPrepare, .draw = InSessionDraw, .command = InSessionCommand},
    {.name = "Game03c", .prepare = InSessionPrepare, .command = InSessionCommand},
    {.name = "game07", .draw = TimingDraw},
    {.name = "Arcade01", .prepare = PlayerNamePrepare, .command = PlayerNameCommand},
    // Results
    {.name = "game0702", .prepare = ShowSessionResults},
    {.name = "game07", .prepare = ShowWeekendTiming, .command = WeekendTimingCommand, .live_label = SessionLiveLabel},
    {.name = "Sim11", .prepare = ShowStandings, .command = StandingsCommand},
    {.name = "Arcade09", .prepare = ShowStandings, .command = StandingsCommand},
    {.name = "Sim13", .prepare = ShowEventResults, .command = EventResultsCommand},
    {.name = "Sim12", .prepare = ShowTrackRecords, .command = TrackRecordsCommand},
    {.name = "Arcade10", .prepare = ShowTrackRecords, .command = TrackRecordsCommand},
    {.name = "zun01", .live_label = TestLiveLabel},
    {.name = "Arcade01", .live_label = PlayerNameLiveLabel},
    {.name = "Game03a", .live_label = SessionLiveLabel},
    {.name = "Game03b", .live_label = SessionLiveLabel},
    {.name = "Game03c", .live_label = SessionLiveLabel},
    // Options and their arcade twins
    {.name = "Opt0201", .prepare = RaceOptionsPrepare, .command = RaceOptionsCommand},
    {.name = "AOpt0201", .prepare = RaceOptionsPrepare, .command = RaceOptionsCommand},
    {.name = "Opt0202", .prepare = ControlsPrepare, .release = OptionScreenRelease, .command = ControlsCommand},
    {.name = "AOpt0202", .prepare = ControlsPrepare, .release = OptionScreenRelease, .command = ControlsCommand},
    {.name = "Opt0203", .prepare = DrivingPrepare, .command = DrivingCommand},
    {.name = "Opt0204", .prepare = GraphicsPrepare, .command = GraphicsCommand},
    {.name = "AOpt0204", .prepare = GraphicsPrepare, .command = GraphicsCommand},
    {.name = "Opt0205", .prepare = AudioPrepare, .release = OptionScreenRelease, .command = AudioCommand},
    {.name = "AOpt0205", .prepare = AudioPrepare, .release = OptionScreenRelease, .command = AudioCommand},
    {.name = "Opt02d", .prepare = DriverPrepare, .release = OptionScreenRelease, .command = DriverCommand},
    {.name = "AOpt02d", .prepare = DriverPrepare, .release = OptionScreenRelease, .command = DriverCommand},
    // Championship files, replays, the file-name dialogue
    {.name = "Sim03", .prepare = ChampionshipFilesPrepare, .release = FileScreenRelease, .command = ChampionshipFilesCommand},
    {.name = "Arcade06", .prepare = ChampionshipFilesPrepare, .release = FileScreenRelease, .command = ChampionshipFilesCommand},
    {.name = "option03", .prepare = ReplayListPrepare, .release = FileScreenRelease, .command = ReplayListCommand},
    {.name = "aopt03", .prepare = ReplayListPrepare, .release = FileScreenRelease, .command = ReplayListCommand},
    {.name = "dlg08", .prepare = FileNamePrepare, .command = FileNameCommand},
    {.name = "Explorer", .prepare = PageBrowserPrepare, .command = PageBrowserCommand},
    {.name = "Brows*", .command = PageBrowserCommand},
    // Bike set-up and its files
    {.name = "game04*", .prepare = SetupPrepare, .command = SetupCommand},
    {.name = "game08", .prepare = LapBrowserPrepare, .command = LapBrowserCommand},
    {.name = "dlg07", .prepare = RenameLapPrepare, .command = RenameLapCommand},
    {.name = "game09", .prepare = PlotScreenPrepare, .release = PlotScreenRelease, .command = PlotScreenCommand},
    {.name = "game05", .prepare = SetupFilesPrepare, .release = SetupFilesRelease, .command = SetupFilesCommand},
    // Network game
    {.name = "Multi01", .prepare = PrepareMulti01, .command = [](Form& f, Control& c) { CommandMulti01(f, c); return true; }},
    {.name = "Multi02", .prepare = PrepareMulti02, .draw = DrawMulti02, .command = CommandMulti02},
    {.name = "Multi03", .prepare = PrepareMulti03, .draw = DrawMulti03, .command = CommandMulti03},
    {.name = "Dlg00", .prepare = PrepareDlg00, .draw = DrawDlg00},
    {.name = "Dlg01", .prepare = PrepareDlg01, .draw = DrawDlg01},
    {.name = "Dlg02", .prepare = PrepareDlg02, .draw = DrawDlg02},
    {.name = "Dlg03", .prepare = PrepareDlg03, .draw = DrawDlg03},
    {.name = "Dlg04", .draw = DrawDlg04},
    {.name = "start09", .prepare = [](Form& f) { PrepareStart09(f); NetworkEntryPrepare(f); }, .command = [](Form& f, Control& c) { CommandStart09(f, c); return NetworkEntryCommand(f, c); }},
    {.name = "Arcade02", .prepare = PrepareArcade02, .command = [](Form& f, Control& c) { CommandArcade02(f, c); return ArcadeEntryCommand(f, c); }},
    // Plain screens
    // 3D scenes
    {.name = "olescene", .prepare = FillPodium, .release = ReleaseMenuScene, .entry = AddPodiumScene},
    {.name = "Credits", .draw = DrawCredits},
};

template <typename Handler>
const ScreenRow* FindRow(const Form& form, Handler ScreenRow::*handler)
{
    for (const ScreenRow& row : kScreens)
        if (row.*handler && RowMatches(row, form.Name()))
            return &row;
    return nullptr;
}

} // namespace

std::span<const ScreenRow> ScreenTable()
{
    return kScreens;
}

bool RowMatches(const ScreenRow& row, const char* screenName)
{
    std::string_view name = row.name;
    std::string_view screen = screenName;
    if (name.ends_with('*')) {
        name.remove_suffix(1);
        screen = screen.substr(0, name.size());
    }
    return platform::equals_ignoring_case(screen, name);
}

bool ScreenPrepare(Form& form)
{
    if (const ScreenRow* row = FindRow(form, &ScreenRow::prepare))
        row->prepare(form);
    return true;
}

bool ScreenDraw(Form& form)
{
    const ScreenRow* row = FindRow(form, &ScreenRow::draw);
    return row ? row->draw(form) : true;
}

bool ScreenRelease(Form& form)
{
    const ScreenRow* row = FindRow(form, &ScreenRow::release);
    return row ? row->release(form) : true;
}

bool ScreenCommand(Control& control)
{
    Form* form = control.m_pOwner;
    if (!form)
        return true;
    const ScreenRow* row = FindRow(*form, &ScreenRow::command);
    return row ? row->command(*form, control) : true;
}

bool ScreenLiveLabel(Label& label, char* buffer, std::size_t capacity)
{
    Form* form = label.m_pOwner;
    if (!form)
        return false;
    const ScreenRow* row = FindRow(*form, &ScreenRow::live_label);
    return row ? row->live_label(*form, label, buffer, capacity) : false;
}

bool ScreenEntry(Form& form)
{
    const ScreenRow* row = FindRow(form, &ScreenRow::entry);
    return row ? row->entry(form) : true;
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
    hooks.user_release = &ScreenRelease;
    hooks.menu_command = &ScreenCommand;
    hooks.live_label = &ScreenLiveLabel;
    hooks.form_command = &ScreenFormCommand;
    hooks.screen_entry = &ScreenEntry;
    SetScreenHooks(hooks);
    // After a network race the menus start where the lobby's game leads.
    SetNetworkMenuStart(&MultiMenuStart);
}
