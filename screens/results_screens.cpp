#include "screens/results_screens.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "menu/control.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "platform/message_box.h"
#include "screens/navigation.h"
#include "screens/screen_text.h"

namespace {

// Dialogues of "menudial" the standings screens ask.
constexpr std::int32_t kLeaveChampionshipDialogue = 17;
constexpr std::int32_t kLeaveArcadeDialogue = 27;
constexpr std::int32_t kSimSavedDialogue = 34;
constexpr std::int32_t kArcadeSavedDialogue = 32;

// The views of "Sim13": the four sessions that keep results, then the
// points of the event; the session table is group 0, the points table
// group 1.
constexpr std::int32_t kPointsView = 4;
constexpr std::int32_t kSessionTableGroup = 0;
constexpr std::int32_t kPointsTableGroup = 1;

// The lists of "Lap_var": the race times of the five race lengths, then the
// best laps.
constexpr std::int32_t kBestLapsList = kRecordColumns;

bool NetworkGame()
{
    return (TheGameApp().Flags & kAppFlagNetwork) != 0;
}

// A player who joined another player's network game.
bool JoinedPlayer()
{
    const std::uint32_t flags = TheGameApp().Flags;
    return (flags & kAppFlagNetwork) && !(flags & kAppFlagNetworkHost);
}

std::string Number(std::int32_t n)
{
    return std::to_string(n);
}

// Columns of a table filled row by row and then given to their labels.
class Table {
public:
    explicit Table(std::vector<Label*> columns) : m_Columns(std::move(columns)), m_Text(m_Columns.size()) {}

    void AddRow(std::initializer_list<std::string> cells)
    {
        std::size_t c = 0;
        for (const std::string& cell : cells)
            m_Text[c++] += cell + "\n";
        ++m_nRows;
    }
    std::int32_t Rows() const { return m_nRows; }
    // Gives every label its column; the first label's `current` row is
    // highlighted (-1: none), and the table shows from its top.
    void Fill(std::int32_t current)
    {
        for (std::size_t c = 0; c < m_Columns.size(); ++c) {
            m_Columns[c]->SetText(m_Text[c].c_str());
            m_Columns[c]->m_nFirstRow = 0;
        }
        m_Columns.front()->SetCurrentRow(current);
    }

private:
    std::vector<Label*> m_Columns;
    std::vector<std::string> m_Text;
    std::int32_t m_nRows = 0;
};

bool IsRace(std::int32_t kind)
{
    return kind == kSessionFirstRace || kind == kSessionSecondRace;
}

// The time a result of a session kind is ranked by: the race time in the
// races, the best lap otherwise.
float RankedTime(const ChampionshipResult& result, std::int32_t kind)
{
    return IsRace(kind) ? result.TimeC : result.TimeB;
}

// One row per entered rider of an event's session, in the order the
// championship ranks them.
void FillSessionTable(Form& form, std::int32_t event, std::int32_t kind, const char* riderColumn)
{
    Championship& champ = TheChampionship();
    Table table({&RequiredLabel(form, "lbl_position"), &RequiredLabel(form, riderColumn),
                 &RequiredLabel(form, "lbl_bike"), &RequiredLabel(form, "lbl_time")});
    // A new weekend has run no session yet (kind -1): its table is empty.
    if (kind < 0) {
        table.Fill(-1);
        return;
    }
    champ.BuildStandings(event, kind);
    std::int32_t player = -1;
    for (const ChampionshipResult* result : champ.Standings) {
        if (!result)
            continue;
        const ChampionshipRider& rider = champ.FindRider(result->RiderId);
        if (rider.Kind == kEntryLocalPlayer)
            player = table.Rows();
        table.AddRow({Number(table.Rows() + 1), UpperCase(rider.Name), UpperCase(champ.GetRiderInfo(rider)),
                      MenuTimeText(RankedTime(*result, kind))});
    }
    table.Fill(player);
}

void SaveChampionshipAndTell(std::int32_t dialogue)
{
    try {
        TheChampionship().Save(TheGameSettings());
    } catch (const GameError& e) {
        // The player's save could not be written: say why and stay.
        const std::string why = TheChampionship().LastFileError();
        platform::message_box(why.empty() ? e.what() : why, "Error", 0);
        return;
    }
    AskDialogue(dialogue);
}

// The next event of the season; after the last one the season ends in
// `seasonEndState` (a network game goes back to its lobby). False when the
// handler moved the menu itself.
bool NextEvent(std::int32_t seasonEndState)
{
    Championship& champ = TheChampionship();
    if (champ.CurrentEventIndex + 1 < kChampEvents) {
        ++champ.CurrentEventIndex;
        // The next weekend has run no session yet (a fresh event's kind
        // would leave its first practice disabled).
        champ.SetSessionKind(-1);
        return true;
    }
    champ.CurrentEventIndex = kChampEvents - 1;
    return GoToState(NetworkGame() ? kNetworkLobbyState : seasonEndState);
}

bool IsSimulationScreen(const Form& form)
{
    return form.Name()[0] == 'S' || form.Name()[0] == 's';
}

} // namespace

void ShowSessionResults(Form& form)
{
    const Championship& champ = TheChampionship();
    FillSessionTable(form, champ.CurrentEventIndex, champ.GetSessionKind(), "lbl_Rider");
}

void ShowWeekendTiming(Form& form)
{
    const Championship& champ = TheChampionship();
    const std::int32_t kind = champ.GetSessionKind();
    const bool race = IsRace(kind);
    const bool timed = kind == kSessionFirstTimed || kind == kSessionSecondTimed;
    SetFrameIfPresent(form, "sprite_track_name", champ.CurrentEventIndex);
    for (const char* name : {"sprite_dot_1", "lbl_round", "lbl_round_data", "sprite_dot_2", "lbl_race", "lbl_race_data"})
        ShowIfPresent(form, name, race);
    ShowIfPresent(form, "lbl_qualify", timed);
    ShowIfPresent(form, "lbl_practice", !race && !timed);
    SetTextIfPresent(form, "lbl_round_data", Number(champ.CurrentEventIndex + 1));
    SetTextIfPresent(form, "lbl_race_data", kind == kSessionSecondRace ? "2" : "1");
    ShowSessionResults(form);
}

bool WeekendTimingCommand(Form& form, Control& control)
{
    const std::int32_t userId = control.m_nUserID;
    if (userId != 1 && userId != 2)
        return true;
    Label& accelerate = RequiredLabel(form, "accelerate_time");
    accelerate.SetFirstRow(userId == 1 && accelerate.m_nFirstRow == 0 ? 1 : 0);
    return true;
}

bool AcceleratedTime(const Form& form)
{
    const Label* accelerate = dynamic_cast<const Label*>(form.FindElement("accelerate_time"));
    return accelerate && accelerate->m_nFirstRow != 0;
}

void ShowStandings(Form& form)
{
    Championship& champ = TheChampionship();
    SetTextIfPresent(form, "round_data", Number(champ.CurrentEventIndex + 1));
    Table table({&RequiredLabel(form, "lbl_position"), &RequiredLabel(form, "lbl_rider"),
                 &RequiredLabel(form, "lbl_bike"), &RequiredLabel(form, "LBL_points")});
    std::int32_t player = -1;
    for (int slot = 0; slot < kChampRiders; ++slot) {
        std::int32_t id = 0, points = 0;
        champ.GetRiderTotals(slot, id, points);
        const ChampionshipRider& rider = champ.FindRider(id);
        if (!rider.Entered)
            continue;
        if (rider.Kind == kEntryLocalPlayer)
            player = table.Rows();
        table.AddRow({Number(table.Rows() + 1), UpperCase(rider.Name), UpperCase(champ.GetRiderInfo(rider)),
                      Number(std::max(points, 0))});
    }
    table.Fill(player);
    if (IsSimulationScreen(form)) {
        ShowIfPresent(form, "save", !NetworkGame());
        ShowIfPresent(form, "ok", !JoinedPlayer());
    }
}

bool StandingsCommand(Form& form, Control& control)
{
    const std::int32_t userId = control.m_nUserID;
    const bool simulation = IsSimulationScreen(form);
    // In a network game the arcade standings only go on to the next event.
    if (!simulation && NetworkGame() && userId != 1)
        return true;
    switch (userId) {
    case 0:
        return Confirmed(simulation ? kLeaveChampionshipDialogue : kLeaveArcadeDialogue);
    case 1:
        return NextEvent(simulation ? kSimSeasonEndState : kArcadeSeasonEndState);
    case 2:
        SaveChampionshipAndTell(simulation ? kSimSavedDialogue : kArcadeSavedDialogue);
        return true;
    default:
        return true;
    }
}

void ShowEventResults(Form& form)
{
    Championship& champ = TheChampionship();
    Label& trackVar = RequiredLabel(form, "Track_var");
    Label& raceVar = RequiredLabel(form, "Race_var");
    if (form.m_pOwner && form.m_pOwner->m_nState == kEventResultsState)
        trackVar.SetFirstRow(std::clamp(champ.CurrentEventIndex, 0, kChampEvents - 1));
    const std::int32_t event = SelectorValue(trackVar);
    const std::int32_t view = SelectorValue(raceVar);
    if (view < 0 || view > kPointsView)
        throw GameError("out of range");
    champ.GetEvent(event);  // "out of range"

    if (view < kPointsView) {
        FillSessionTable(form, event, view, "lbl_rider");
    } else {
        // The points of the event's two races and the totals up to it, in
        // the championship's order: points, then fewer scores, then id.
        Table table({&RequiredLabel(form, "lbl_position"), &RequiredLabel(form, "lbl_rider_2"),
                     &RequiredLabel(form, "lbl_race_1"), &RequiredLabel(form, "lbl_race_2"),
                     &RequiredLabel(form, "lbl_points")});
        champ.BuildStandings(event, kSessionFirstRace);
        std::vector<const ChampionshipResult*> order;
        for (const ChampionshipResult* result : champ.Standings)
            if (result)
                order.push_back(result);
        std::stable_sort(order.begin(), order.end(), [&](const ChampionshipResult* a, const ChampionshipResult* b) {
            if (a->Points != b->Points)
                return a->Points > b->Points;
            return a->RiderId < b->RiderId;
        });
        const ChampionshipEvent& results = champ.GetEvent(event);
        const auto racePoints = [&](int race, int id) {
            const std::uint8_t position = results.GetRiderResult(race, id).Position;
            return position == kNoPosition ? std::string("-") : Number(PointsForPosition(position));
        };
        std::int32_t player = -1;
        for (const ChampionshipResult* result : order) {
            const ChampionshipRider& rider = champ.FindRider(result->RiderId);
            if (rider.Kind == kEntryLocalPlayer)
                player = table.Rows();
            table.AddRow({Number(table.Rows() + 1), UpperCase(rider.Name),
                          racePoints(kSessionFirstRace, rider.Id), racePoints(kSessionSecondRace, rider.Id),
                          Number(static_cast<std::int32_t>(result->Points))});
        }
        table.Fill(player);
    }
    form.HideGroups();
    form.ShowGroup(view < kPointsView ? kSessionTableGroup : kPointsTableGroup);
}

bool EventResultsCommand(Form& form, Control& control)
{
    const std::int32_t userId = control.m_nUserID;
    if (userId < 0)
        return true;
    if (userId == 2 && form.m_pOwner && form.m_pOwner->m_nState == kEventResultsState) {
        Label& raceVar = RequiredLabel(form, "Race_var");
        if (raceVar.RowCount() > 3)
            raceVar.SetFirstRow(3);
    }
    // Every choice shows its table at once.
    form.ShowScreen();
    form.Invalidate();
    return true;
}

void ShowTrackRecords(Form& form)
{
    const TrackRecords& records = IsSimulationScreen(form) ? TheSimRecords() : TheArcadeRecords();
    const TrackRecord& track = records.Track(SelectorValue(RequiredLabel(form, "Track_var")));
    const std::int32_t list = SelectorValue(RequiredLabel(form, "Lap_var"));
    if (list < 0 || list > kBestLapsList)
        throw GameError("out of range");
    const TimeRow* rows = list == kBestLapsList ? track.BestLaps : track.RaceTimes[list];
    Table table({&RequiredLabel(form, "lbl_position", "lbl_pos"), &RequiredLabel(form, "lbl_rider"),
                 &RequiredLabel(form, "lbl_bike"), &RequiredLabel(form, "lbl_time")});
    for (int r = 0; r < kRecordRows; ++r) {
        const TimeRow& row = rows[r];
        if (row.Empty())
            table.AddRow({"-", "-", "-", "-"});
        else
            table.AddRow({Number(r + 1), UpperCase(row.Name), UpperCase(row.Team), MenuTimeText(row.Time)});
    }
    table.Fill(-1);
}

bool TrackRecordsCommand(Form& form, Control& /*control*/)
{
    ShowTrackRecords(form);
    form.Invalidate();
    return true;
}
