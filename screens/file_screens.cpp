#include "screens/file_screens.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/championship_file.h"
#include "champ/game_settings.h"
#include "champ/save_slots.h"
#include "input/input_manager.h"
#include "input/replay_file.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "platform/byte_reader.h"
#include "platform/directory_listing.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "screens/screen_text.h"

namespace {

// Dialogues of "menudial".
constexpr std::int32_t kAskSimName = 35, kAskArcadeName = 33;
constexpr std::int32_t kAskDeleteSim = 16, kAskDeleteArcade = 26;
// The session kind of an event whose second race has been run.
constexpr std::int32_t kKindRace2 = 3;
// GfxFlags bits a chosen replay sets.
constexpr std::uint32_t kReplayGfxFlags = 0x0C;
// Fifteen blanks: the row a new championship's name is typed into.
constexpr const char* kNewNameRow = "               ";

// The names of a screen's rows, kept in the form's user word while shown.
std::vector<std::string>& RowNames(Form& form)
{
    if (!form.m_pUser)
        form.m_pUser = new std::vector<std::string>;
    return *static_cast<std::vector<std::string>*>(form.m_pUser);
}

void FreeRowNames(Form& form)
{
    delete static_cast<std::vector<std::string>*>(form.m_pUser);
    form.m_pUser = nullptr;
}

std::string Joined(const std::vector<std::string>& rows)
{
    std::string text;
    for (const std::string& row : rows) {
        if (!text.empty())
            text += '\n';
        text += row;
    }
    return text;
}

std::string WithoutExtension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string Number(std::int32_t n)
{
    return std::to_string(n);
}

bool IsButton(const Control& control)
{
    return dynamic_cast<const CommandButton*>(&control) != nullptr;
}

void Tell(const std::string& text)
{
    platform::message_box(text, "Message", platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

void Refill(Form& form)
{
    ScreenPrepare(form);
    form.Invalidate();
}

// The row of the list the player chose, or -1.
std::int32_t ChosenRow(const Label& list)
{
    return list.m_nCurrentRow >= 0 && list.m_nCurrentRow < list.RowCount() ? list.m_nCurrentRow : -1;
}

// ---- Championship files ----

struct ChampionshipScreen {
    bool simulation;
    const char* extension;
    const char* name_label;
    const char* race_label;
    const char* position_label;
    const char* points_label;
};
constexpr ChampionshipScreen kSimFiles = {true, "shp", "lbl_champ", "lbl_Race", "lbl_position", "lbl_points"};
constexpr ChampionshipScreen kArcadeFiles = {false, "ahp", "lbl_file", "lbl_race", "lbl_pos", "lbl_points"};

const ChampionshipScreen& ScreenOf(const Form& form)
{
    return form.Name()[0] == 'S' || form.Name()[0] == 's' ? kSimFiles : kArcadeFiles;
}

enum class FileUse { Create, Load, Delete, None };

FileUse UseOf(std::int32_t state)
{
    switch (state) {
    case kSimCreateState:
    case kArcadeCreateState: return FileUse::Create;
    case kSimLoadState:
    case kArcadeLoadState: return FileUse::Load;
    case kSimDeleteState:
    case kArcadeDeleteState: return FileUse::Delete;
    default: return FileUse::None;
    }
}

// The typed name of a new championship: the edited row without its blanks
// at either end, at most 50 characters.
std::string TypedName(const Label& list)
{
    std::string name = list.RowText(0);
    const std::size_t first = name.find_first_not_of(" \r\n");
    if (first == std::string::npos)
        return "";
    name = name.substr(first, name.find_last_not_of(" \r\n") - first + 1);
    if (name.size() > kTypedChampionshipChars)
        name.resize(kTypedChampionshipChars);
    return name;
}

bool CreateChampionship(const ChampionshipScreen& screen, const Label& list)
{
    const std::string name = TypedName(list);
    if (name.empty()) {
        AskDialogue(screen.simulation ? kAskSimName : kAskArcadeName);
        return false;
    }
    Championship& champ = TheChampionship();
    champ.Reset(name.c_str());
    champ.LoadRiders();
    CopySaveName(champ.FileName, MakeNewSaveName(-1, screen.extension).c_str());
    champ.GameMode = screen.simulation ? 4 : 1;
    // Its first event has run no session yet (the last championship's kind
    // would leave sessions disabled).
    champ.SetSessionKind(-1);
    return true;
}

// Loads the chosen save. The save is read into a scratch record first, so a
// save that is refused leaves the championship in play as it was.
bool LoadChampionship(const ChampionshipScreen& screen, const std::string& file)
{
    Championship& champ = TheChampionship();
    char kept[sizeof champ.FileName];
    std::memcpy(kept, champ.FileName, sizeof kept);
    CopySaveName(champ.FileName, file.c_str());
    if (!champ.Load(TheGameSettings())) {
        std::memcpy(champ.FileName, kept, sizeof kept);
        // A damaged save has been reported by the loader; a missing one is
        // said here.
        if (champ.LastFileError().empty() || !platform::file_exists(MakeSavePath(file.c_str())))
            Tell("The championship \"" + file + "\" could not be loaded.");
        return false;
    }
    const bool over = champ.GetSessionKind() == kKindRace2;
    if (!screen.simulation)
        return GoToState(over ? kLoadedArcadeStandingsState : kLoadedArcadeRaceState);
    return GoToState(over ? kLoadedStandingsState : kLoadedSessionsState);
}

} // namespace

std::string& SharedFileName()
{
    static std::string name;
    return name;
}

bool FileScreenRelease(Form& form)
{
    FreeRowNames(form);
    return true;
}

void ChampionshipFilesPrepare(Form& form)
{
    const ChampionshipScreen& screen = ScreenOf(form);
    const FileUse use = UseOf(NavigationManager().m_nState);
    // The captions of the use: create, load or delete.
    const std::int32_t page = use == FileUse::None ? 0 : static_cast<std::int32_t>(use);
    for (const char* name : {"Title", "Label_Title", "Text"})
        if (Label* label = dynamic_cast<Label*>(form.FindElement(name)); label && page < label->PageCount())
            label->SetPage(page);
    SetFrameIfPresent(form, "File_Var", page);

    Label& names = RequiredLabel(form, screen.name_label);
    Label& races = RequiredLabel(form, screen.race_label);
    Label& positions = RequiredLabel(form, screen.position_label);
    Label& points = RequiredLabel(form, screen.points_label);

    std::vector<std::string>& files = RowNames(form);
    files.clear();
    std::vector<std::string> name_rows, race_rows, position_rows, point_rows;
    if (use == FileUse::Create) {
        files.emplace_back();
        name_rows.emplace_back(kNewNameRow);
        race_rows.emplace_back();
        position_rows.emplace_back();
        point_rows.emplace_back();
    }
    for (const std::string& file :
         platform::list_files(MakeSaveSearchPattern(screen.extension), platform::ListOrder::ByModificationTime)) {
        SaveHeader header;
        if (!LoadSavedRecord(file.c_str(), header))
            continue;
        char row[32];
        std::snprintf(row, sizeof row, "%-18s", UpperCase(header.Name.c_str()).c_str());
        files.push_back(file);
        name_rows.emplace_back(row);
        race_rows.push_back(Number(header.CurrentEvent));
        position_rows.push_back(Number(header.PlayerStanding));
        point_rows.push_back(Number(header.PlayerPoints));
    }
    // The screen is one record for its three uses: a row left editable by
    // the create use would take the whole list as one row.
    names.EditRow(-1);
    names.SetText(Joined(name_rows).c_str(), static_cast<std::int32_t>(kTypedChampionshipChars + 1));
    races.SetText(Joined(race_rows).c_str());
    positions.SetText(Joined(position_rows).c_str());
    points.SetText(Joined(point_rows).c_str());
    if (use == FileUse::Create)
        names.EditRow(0);
    else if (!files.empty())
        names.SetCurrentRow(0);
}

bool ChampionshipFilesCommand(Form& form, Control& control)
{
    // The lists report the rows the player picks; the buttons act.
    if (!IsButton(control) || control.m_nUserID < 0)
        return true;
    const ChampionshipScreen& screen = ScreenOf(form);
    const Label& names = RequiredLabel(form, screen.name_label);
    const std::vector<std::string>& files = RowNames(form);
    const std::int32_t row = ChosenRow(names);
    switch (UseOf(NavigationManager().m_nState)) {
    case FileUse::Create:
        return CreateChampionship(screen, names);
    case FileUse::Load:
        if (row < 0 || static_cast<std::size_t>(row) >= files.size())
            return false;
        return LoadChampionship(screen, files[static_cast<std::size_t>(row)]);
    case FileUse::Delete:
        if (row < 0 || static_cast<std::size_t>(row) >= files.size())
            return false;
        if (Confirmed(screen.simulation ? kAskDeleteSim : kAskDeleteArcade)) {
            char name[260];
            CopySaveName(name, files[static_cast<std::size_t>(row)].c_str());
            platform::remove_file(MakeSavePath(name));
            Refill(form);
        }
        return false;
    case FileUse::None:
        return true;
    }
    return true;
}

// ---- Replays ----

namespace {

struct ReplayRow {
    std::string file;
    std::string rider;
    std::string track;
    float length = kNoTime;
};

// What the list shows of a replay file: its header's track, the first
// player's name and the float after the player records. False for a file
// that cannot be read or whose header is not sound.
bool ReadReplayRow(const std::string& file, ReplayRow& row)
{
    std::vector<std::uint8_t> bytes;
    if (!platform::read_whole_file(std::string(".\\Replay\\") + file, bytes) || bytes.size() < kReplayHeaderBytes)
        return false;
    std::string why;
    if (!CheckReplayHeader(std::span<const std::uint8_t>(bytes.data(), kReplayHeaderBytes), why))
        return false;
    // The human count is within 0..32 once the header is sound.
    platform::ByteReader header(bytes.data() + kReplayHeaderHumans, 4);
    const std::int32_t humans = header.i32();
    const std::size_t after_players = kReplayHeaderBytes + kReplayPlayerBytes * static_cast<std::size_t>(humans);
    if (humans < 0 || bytes.size() < after_players + 4)
        return false;
    row.file = file;
    row.track = ReplayTrackName(std::span<const std::uint8_t>(bytes.data(), kReplayHeaderBytes));
    if (humans > 0) {
        const char* name = reinterpret_cast<const char*>(bytes.data() + kReplayHeaderBytes + 8);
        row.rider.assign(name, strnlen(name, kReplayPlayerBytes - 8));
    } else {
        row.rider = "-";
    }
    platform::ByteReader tail(bytes.data() + after_players, 4);
    row.length = tail.f32();
    return true;
}

// The season's track whose name begins with the same three letters as the
// replay's file name, or null.
const char* TrackOfReplay(const std::string& name)
{
    if (name.size() < 3)
        return nullptr;
    for (const char* track : kTrackNames)
        if (std::strlen(track) >= 3 && platform::equals_ignoring_case(std::string_view(track, 3), name.substr(0, 3)))
            return track;
    return nullptr;
}

} // namespace

void ReplayListPrepare(Form& form)
{
    std::vector<std::string>& files = RowNames(form);
    files.clear();
    std::vector<std::string> riders, tracks, times;
    for (const std::string& file : platform::list_files(kReplayPattern)) {
        ReplayRow row;
        if (!ReadReplayRow(file, row))
            continue;
        files.push_back(row.file);
        riders.push_back(UpperCase(row.rider.c_str()));
        tracks.push_back(UpperCase(row.track.c_str()));
        times.push_back(MenuTimeText(row.length));
    }
    Label& rider = RequiredLabel(form, "lbl_Rider");
    rider.SetText(Joined(riders).c_str());
    RequiredLabel(form, "lbl_Circuit").SetText(Joined(tracks).c_str());
    RequiredLabel(form, "lbl_time").SetText(Joined(times).c_str());
    RequiredLabel(form, "lbl_best_lap").SetText(Joined(times).c_str());
    if (!files.empty())
        rider.SetCurrentRow(0);
}

bool ReplayListCommand(Form& form, Control& control)
{
    if (!IsButton(control))
        return true;
    const std::vector<std::string>& files = RowNames(form);
    const std::int32_t row = ChosenRow(RequiredLabel(form, "lbl_Rider"));
    if (row < 0 || static_cast<std::size_t>(row) >= files.size())
        return control.m_nUserID != 1 && control.m_nUserID != 2;
    const std::string& file = files[static_cast<std::size_t>(row)];
    switch (control.m_nUserID) {
    case 1: {
        InputManager* input = TheInputManager();
        const std::string name = WithoutExtension(file);
        // A name the replay field cannot hold whole would name another file.
        if (!input || name.size() >= sizeof input->m_szReplayName) {
            Tell("The replay \"" + file + "\" has a name too long to be played; rename it (at most " +
                 std::to_string(sizeof input->m_szReplayName - 1) + " characters).");
            return false;
        }
        // A replay damaged or gone since it was listed is not played.
        if (ReplayRow still; !ReadReplayRow(file, still)) {
            Tell("The replay \"" + file + "\" cannot be played: it is damaged or gone.");
            Refill(form);
            return false;
        }
        std::snprintf(input->m_szReplayName, sizeof input->m_szReplayName, "%s", name.c_str());
        input->m_bReplayChosen = 1;
        GameApp& app = TheGameApp();
        if (const char* track = TrackOfReplay(name))
            std::snprintf(app.m_szTrack, sizeof app.m_szTrack, "%s", track);
        TheGameSettings().SetAppFlags(app);
        app.GfxFlags |= kReplayGfxFlags;
        return true;
    }
    case 2:
        platform::remove_file(std::string(".\\replay\\") + file);
        Refill(form);
        return false;
    default:
        return true;
    }
}

// ---- File-name dialogue ----

void FileNamePrepare(Form& form)
{
    Label& data = RequiredLabel(form, "DLG_data");
    data.SetText(SharedFileName().c_str(), static_cast<std::int32_t>(kSharedFileNameChars + 1));
    data.EditRow(0);
}

bool FileNameCommand(Form& form, Control& control)
{
    if (control.m_nUserID == 1) {
        std::string text = RequiredLabel(form, "DLG_data").RowText(0);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
        if (text.size() > kSharedFileNameChars)
            text.resize(kSharedFileNameChars);
        SharedFileName() = text;
    }
    return true;
}
