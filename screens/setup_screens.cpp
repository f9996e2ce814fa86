#include "screens/setup_screens.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/save_slots.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/scroll_bar.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/directory_listing.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "race/race.h"
#include "screens/file_screens.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "screens/screen_text.h"
#include "sim/bike_parameters.h"
#include "sim/telemetry_file.h"

namespace {

constexpr float kDegreesPerRadian = 57.2958f;
constexpr float kRadiansPerDegree = 0.0174533f;
constexpr std::size_t kSetupTextBytes = 21;  // 20 characters and a zero byte
constexpr int kGearSliders = 6, kFirstGearSlider = 4;
// The gear count every set-up check assumes: the six gears the screen edits.
constexpr int kSetupGears = 6;

void Tell(const std::string& text)
{
    platform::message_box(text, "Message", platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

// ---- The sliders ----

// One slider: where its value lives in the set-up, how the value reads on
// the slider, and the range it shows (none: the slider's own positions).
enum class Field { Float, Int, Tyre };
struct SliderSpec {
    std::size_t offset;     // byte offset in the set-up record
    Field kind;
    float scale;            // the shown value is the field x scale
    float shown_min, shown_max;  // equal: the positions themselves are shown
    int decimals;
};
constexpr SliderSpec kSliders[kSetupSliders] = {
    {12, Field::Float, kDegreesPerRadian, 23.0f, 25.0f, 1},  // rake, shown in degrees
    {16, Field::Float, 1000.0f, 89.7f, 109.2f, 1},           // trail, shown in mm
    {20, Field::Int, 1.0f, 0, 0, 0},                          // sprocket
    {24, Field::Int, 1.0f, 0, 0, 0},                          // crown
    {28, Field::Float, 1.0f, 2.273f, 0.92f, 3},               // gears 1..6
    {32, Field::Float, 1.0f, 2.273f, 0.92f, 3},
    {36, Field::Float, 1.0f, 2.273f, 0.92f, 3},
    {40, Field::Float, 1.0f, 2.273f, 0.92f, 3},
    {44, Field::Float, 1.0f, 2.273f, 0.92f, 3},
    {48, Field::Float, 1.0f, 2.273f, 0.92f, 3},
    {52, Field::Float, 1.0f, 0.7f, 0.95f, 2},                 // front spring
    {56, Field::Float, 1.0f, 0, 0, 0},                        // rear spring
    {60, Field::Float, 1.0f, 0, 0, 0},                        // preloads
    {64, Field::Float, 1.0f, 0, 0, 0},
    {68, Field::Float, 1.0f, 2700.0f, 3300.0f, 0},            // dampers
    {72, Field::Float, 1.0f, 10000.0f, 12000.0f, 0},
    {76, Field::Float, 1.0f, 600.0f, 3000.0f, 0},
    {80, Field::Float, 1.0f, 6000.0f, 7200.0f, 0},
    {84, Field::Float, 1.0f, 225.0f, 275.0f, 0},
    {88, Field::Float, 1.0f, 2250.0f, 2750.0f, 0},
    {92, Field::Float, 1.0f, 500.0f, 2000.0f, 0},
    {96, Field::Float, 1.0f, 9000.0f, 11000.0f, 0},
    {100, Field::Tyre, 1.0f, 0, 0, 0},                        // front tyre code
    {104, Field::Int, 1.0f, 0, 0, 0},                         // rear tyre
};

std::string SliderName(int s)
{
    char name[24];
    std::snprintf(name, sizeof name, "scroll%02d", s);
    return name;
}

// The set-up record's fields by offset (its layout is fixed: 27 four-byte
// fields, checked in sim/bike_setup.h).
float& FloatAt(BikeSetup& setup, std::size_t offset)
{
    return *reinterpret_cast<float*>(reinterpret_cast<unsigned char*>(&setup) + offset);
}
std::int32_t& IntAt(BikeSetup& setup, std::size_t offset)
{
    return *reinterpret_cast<std::int32_t*>(reinterpret_cast<unsigned char*>(&setup) + offset);
}

// Puts a slider on a value without reporting it to the screen.
void Place(ScrollBar& bar, float shown)
{
    const std::int32_t flags = bar.m_nFlags;
    bar.m_nFlags &= ~kControlReports;
    if (bar.m_bRealMode)
        bar.SetValueInRange(bar.m_fRealMinimum, bar.m_fRealMaximum, shown);
    else
        bar.SetPos(static_cast<std::int32_t>(std::lround(shown)));
    bar.m_nFlags = flags;
}

// The value a slider shows for a set-up's field.
float ShownValue(const SliderSpec& spec, BikeSetup& setup)
{
    switch (spec.kind) {
    case Field::Float: return FloatAt(setup, spec.offset) * spec.scale;
    case Field::Int: return static_cast<float>(IntAt(setup, spec.offset));
    case Field::Tyre: {
        const std::int32_t code = IntAt(setup, spec.offset);
        const auto* found = std::find(std::begin(kTyreCodes), std::end(kTyreCodes), code);
        return static_cast<float>(found == std::end(kTyreCodes) ? 0 : found - std::begin(kTyreCodes));
    }
    }
    return 0.0f;
}

// The position `Place` puts a slider at for a shown value.
std::int32_t PlacedPosition(const ScrollBar& bar, float shown)
{
    return bar.m_bRealMode ? bar.PositionOfValueInRange(bar.m_fRealMinimum, bar.m_fRealMaximum, shown)
                           : bar.ClampedPosition(static_cast<std::int32_t>(std::lround(shown)));
}

void ShowSetup(Form& form, BikeSetup setup)
{
    for (int s = 0; s < kSetupSliders; ++s) {
        auto* bar = dynamic_cast<ScrollBar*>(form.FindElement(SliderName(s).c_str()));
        if (!bar)
            continue;
        const SliderSpec& spec = kSliders[s];
        if (spec.shown_min != spec.shown_max) {
            bar->m_bRealMode = true;
            bar->m_fRealMinimum = spec.shown_min;
            bar->m_fRealMaximum = spec.shown_max;
            bar->m_nDecimals = spec.decimals;
        }
        Place(*bar, ShownValue(spec, setup));
    }
}

// The sliders back into a set-up (the three driving fields kept). A slider
// still where the set-up's own value puts it keeps that value: the sliders
// have few positions (the gears 50, the dampers 5) and some of the set-up's
// values lie between them or outside their range (the default first gear,
// 2.86, is above the gear sliders' 2.273), so storing every slider would
// change values the player never touched.
BikeSetup StoredSetup(const Form& form, const BikeSetup& from)
{
    BikeSetup setup = from;
    BikeSetup shown_from = from;
    for (int s = 0; s < kSetupSliders; ++s) {
        const auto* bar = dynamic_cast<const ScrollBar*>(form.FindElement(SliderName(s).c_str()));
        if (!bar)
            continue;
        const SliderSpec& spec = kSliders[s];
        if (bar->m_nPosition == PlacedPosition(*bar, ShownValue(spec, shown_from)))
            continue;
        switch (spec.kind) {
        case Field::Float:
            FloatAt(setup, spec.offset) = s == 0   ? bar->GetValue() * kRadiansPerDegree
                                          : s == 1 ? bar->GetValue() * 0.001f
                                                   : bar->GetValue();
            break;
        case Field::Int: IntAt(setup, spec.offset) = bar->m_nPosition; break;
        case Field::Tyre:
            IntAt(setup, spec.offset) = kTyreCodes[std::clamp(bar->m_nPosition, 0, 4)];
            break;
        }
    }
    return setup;
}

void StoreSetup(Form& form)
{
    GameSettings& settings = TheGameSettings();
    settings.PlayerSetup = StoredSetup(form, settings.PlayerSetup);
    // A session running takes the new set-up at once.
    if (Race* race = TheGameApp().m_pRace)
        race->SetRiderSetup(static_cast<std::uint32_t>(TheChampionship().PlayerRider()), &settings.PlayerSetup);
}

// The page elements of the four pages (frame, transmission, suspension,
// tyres).
void ShowPage(Form& form, std::int32_t page)
{
    form.HideGroups();
    form.ShowGroup(page);
    form.Invalidate();
}

// A gear slider stays between its neighbours, so the ratios stay in order.
void KeepGearsInOrder(Form& form, int gear)
{
    auto* bar = dynamic_cast<ScrollBar*>(form.FindElement(SliderName(kFirstGearSlider + gear).c_str()));
    if (!bar)
        return;
    std::int32_t low = bar->m_nMinimum, high = bar->m_nMaximum;
    if (gear > 0)
        if (auto* before = dynamic_cast<ScrollBar*>(form.FindElement(SliderName(kFirstGearSlider + gear - 1).c_str())))
            low = before->m_nPosition;
    if (gear + 1 < kGearSliders)
        if (auto* after = dynamic_cast<ScrollBar*>(form.FindElement(SliderName(kFirstGearSlider + gear + 1).c_str())))
            high = after->m_nPosition;
    const std::int32_t kept = std::clamp(bar->m_nPosition, low, std::max(low, high));
    if (kept != bar->m_nPosition) {
        const std::int32_t flags = bar->m_nFlags;
        bar->m_nFlags &= ~kControlReports;
        bar->SetPos(kept);
        bar->m_nFlags = flags;
    }
    form.Invalidate();
}

// ---- Set-up files ----

std::string TextField(platform::ByteReader& in, bool& terminated)
{
    bool ok = false;
    std::string text = in.fixed_string(kSetupTextBytes, &ok);
    terminated = terminated && ok;
    return text;
}

// "bike<n>.stp" for the first n from 0 whose file is not there.
std::string NextFreeSetupName()
{
    for (int n = 0;; ++n) {
        const std::string name = "bike" + std::to_string(n) + ".stp";
        if (!platform::file_exists(MakeSavePath(name.c_str())))
            return name;
    }
}

struct SetupRows {
    std::vector<std::string> files;  // "" for the new file's row
};

// The current event's track.
std::string CurrentTrack()
{
    const std::int32_t event = TheChampionship().CurrentEventIndex;
    return event >= 0 && event < kChampEvents ? kTrackNames[static_cast<std::size_t>(event)] : "";
}

std::string PlayerName()
{
    const Championship& champ = TheChampionship();
    return std::string(champ.PlayerName, strnlen(champ.PlayerName, kPlayerNameChars));
}

// ---- Telemetry laps ----

std::string WithoutTlm(const std::string& name)
{
    return name.size() > 4 && platform::equals_ignoring_case(name.substr(name.size() - 4), ".tlm")
               ? name.substr(0, name.size() - 4)
               : name;
}

// The highest n of the "Lap<n>.tlm" files there are, or -1.
int HighestLapNumber()
{
    int highest = -1;
    for (const std::string& name : platform::list_files(std::string(kSaveFolder) + "Lap*.tlm")) {
        const std::string digits = name.substr(3, name.size() - 7);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        highest = std::max(highest, std::atoi(digits.c_str()));
    }
    return highest;
}

std::string LapPath(int n)
{
    return std::string(kSaveFolder) + "Lap" + std::to_string(n) + ".tlm";
}

} // namespace

// ---- Set-up screens ----

void SetupPrepare(Form& form)
{
    const GameSettings& settings = TheGameSettings();
    SetTextIfPresent(form, "lbl_setting", std::string(settings.SetupName, strnlen(settings.SetupName, kSetupNameChars)));
    const Championship& champ = TheChampionship();
    if (champ.PlayerRider() >= 0)
        SetFrameIfPresent(form, "sprite_bike_logo", champ.FindRider(champ.PlayerRider()).Team);
    ShowSetup(form, settings.PlayerSetup);
    ShowPage(form, 1);
}

bool SetupCommand(Form& form, Control& control)
{
    const std::int32_t id = control.m_nUserID;
    if (id >= 0 && id <= 3) {
        ShowPage(form, id + 1);
        return true;
    }
    switch (id) {
    case 4:
        StoreSetup(form);
        form.Invalidate();
        return true;
    case 5:
    case 6:
        for (const char* title : {"lbl_title_cicl", "lbl_title_transmissions", "lbl_title_suspensions", "lbl_title_tires"})
            if (Label* label = dynamic_cast<Label*>(form.FindElement(title)); label && label->IsVisibleInState())
                label->Notify(id == 5 ? -4 : -5);
        form.Invalidate();
        return true;
    case 7:
        return CallScreen(kLoadSetupState, 0);
    case 8:
        StoreSetup(form);
        return CallScreen(kSaveSetupState, 0);
    default:
        if (id >= 9 && id < 9 + kGearSliders)
            KeepGearsInOrder(form, id - 9);
        return true;
    }
}

// ---- Set-up files ----

std::vector<std::uint8_t> SetupFileBytes(const SetupFile& file)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    for (const std::string* text : {&file.description, &file.rider, &file.track})
        out.fixed_string(text->substr(0, kSetupTextBytes - 1), kSetupTextBytes);
    WriteBikeSetup(out, file.setup);
    return bytes;
}

bool ParseSetupFile(const std::vector<std::uint8_t>& bytes, SetupFile& out, std::string& why)
{
    if (bytes.size() != kSetupFileBytes) {
        why = "it is " + std::to_string(bytes.size()) + " bytes, not " + std::to_string(kSetupFileBytes);
        return false;
    }
    platform::ByteReader in(bytes);
    bool terminated = true;
    SetupFile file;
    file.description = TextField(in, terminated);
    file.rider = TextField(in, terminated);
    file.track = TextField(in, terminated);
    if (!terminated) {
        why = "a name is not terminated";
        return false;
    }
    if (!ReadBikeSetup(in, &file.setup)) {
        why = "the set-up is short";
        return false;
    }
    if (const char* bad = FindBadBikeSetupValue(file.setup, kSetupGears)) {
        why = std::string("its ") + bad + " cannot be ridden";
        return false;
    }
    out = file;
    return true;
}

void SetupFilesPrepare(Form& form)
{
    auto* rows = static_cast<SetupRows*>(form.m_pUser);
    if (!rows)
        form.m_pUser = rows = new SetupRows;
    rows->files.clear();
    const Championship& champ = TheChampionship();
    if (champ.PlayerRider() >= 0) {
        SetFrameIfPresent(form, "sprite_bike_logo", champ.FindRider(champ.PlayerRider()).Team);
        SetFrameIfPresent(form, "file_var", champ.FindRider(champ.PlayerRider()).Team);
    }
    std::string descriptions, riders, tracks;
    const auto add = [&](const std::string& file, const std::string& d, const std::string& r, const std::string& t) {
        if (!rows->files.empty()) {
            descriptions += '\n';
            riders += '\n';
            tracks += '\n';
        }
        rows->files.push_back(file);
        descriptions += d;
        riders += r;
        tracks += t;
    };
    const bool saving = NavigationManager().m_nState == kSaveSetupState;
    if (saving)
        add("", "               ", PlayerName(), CurrentTrack());
    for (const std::string& file : platform::list_files(std::string(kSaveFolder) + "*.stp")) {
        std::vector<std::uint8_t> bytes;
        SetupFile parsed;
        std::string why;
        if (!platform::read_whole_file(MakeSavePath(file.c_str()), bytes) || !ParseSetupFile(bytes, parsed, why))
            continue;
        add(file, parsed.description, parsed.rider, parsed.track);
    }
    Label& list = RequiredLabel(form, "lbl_file");
    list.EditRow(-1);
    list.SetText(descriptions.c_str(), static_cast<std::int32_t>(kSetupNameChars + 1));
    SetTextIfPresent(form, "lbl_Rider", riders);
    SetTextIfPresent(form, "lbl_Track", tracks);
    if (saving)
        list.EditRow(0);
    else if (!rows->files.empty())
        list.SetCurrentRow(0);
}

bool SetupFilesCommand(Form& form, Control& control)
{
    if (!dynamic_cast<CommandButton*>(&control))
        return true;
    auto* rows = static_cast<SetupRows*>(form.m_pUser);
    const Label& list = RequiredLabel(form, "lbl_file");
    const std::int32_t row = list.m_nCurrentRow;
    if (!rows || row < 0 || static_cast<std::size_t>(row) >= rows->files.size())
        return false;
    const std::string& file = rows->files[static_cast<std::size_t>(row)];
    GameSettings& settings = TheGameSettings();
    switch (control.m_nUserID) {
    case 1:
        if (NavigationManager().m_nState == kSaveSetupState) {
            std::string description = list.RowText(row);
            while (!description.empty() && (description.back() == ' ' || description.back() == '\n'))
                description.pop_back();
            description = description.substr(std::min(description.find_first_not_of(' '), description.size()));
            SetupFile out{description.substr(0, kSetupNameChars), PlayerName(), CurrentTrack(), settings.PlayerSetup};
            const std::string name = NextFreeSetupName();
            std::string error;
            platform::make_directory(".\\menu\\save");
            if (!platform::write_whole_file(MakeSavePath(name.c_str()), SetupFileBytes(out), &error)) {
                Tell("The set-up could not be saved: " + error);
                return false;
            }
            CopyField(settings.SetupName, out.description.c_str(), kSetupNameChars);
            return true;
        }
        if (NavigationManager().m_nState == kLoadSetupState && !file.empty()) {
            std::vector<std::uint8_t> bytes;
            SetupFile in;
            std::string why;
            if (!platform::read_whole_file(MakeSavePath(file.c_str()), bytes, &why) || !ParseSetupFile(bytes, in, why)) {
                Tell("The set-up \"" + file + "\" cannot be loaded: " + why);
                return false;
            }
            // The driving options stay the player's.
            const BikeSetup kept = settings.PlayerSetup;
            settings.PlayerSetup = in.setup;
            settings.PlayerSetup.PlayerFlags = kept.PlayerFlags;
            settings.PlayerSetup.FrontLimiter = kept.FrontLimiter;
            settings.PlayerSetup.RearLimiter = kept.RearLimiter;
            CopyField(settings.SetupName, in.description.c_str(), kSetupNameChars);
            if (Race* race = TheGameApp().m_pRace)
                race->SetRiderSetup(static_cast<std::uint32_t>(TheChampionship().PlayerRider()), &settings.PlayerSetup);
        }
        return true;
    case 2:
        if (!file.empty()) {
            platform::remove_file(MakeSavePath(file.c_str()));
            platform::invalidate_path_cache();
            ScreenPrepare(form);
            form.Invalidate();
        }
        return false;
    default:
        return true;
    }
}

bool SetupFilesRelease(Form& form)
{
    delete static_cast<SetupRows*>(form.m_pUser);
    form.m_pUser = nullptr;
    return true;
}

// ---- Telemetry laps ----

int SplitTelemetry(const char* trackName, std::int32_t playerModel)
{
    if (!platform::file_exists(kTelemetryFileName))
        return 0;
    TelemetryHeader header;
    std::vector<TelemetrySample> samples;
    std::string error;
    if (!ReadTelemetryFile(kTelemetryFileName, &header, &samples, &error)) {
        Tell(std::string("The session's telemetry cannot be read: ") + error);
        return -1;
    }
    TelemetryHeader wanted;
    wanted.SetTrackName(trackName ? trackName : "");
    const bool ours = header.TrackNameText() == wanted.TrackNameText() &&
                      (playerModel < 0 || header.Model == static_cast<std::uint32_t>(playerModel));
    if (!ours) {
        platform::remove_file(kTelemetryFileName);
        return 0;
    }
    // A lap starts at the first sample and wherever the distance falls back
    // over the line: by more than half the farthest distance the session
    // reached. A smaller fall is a rider standing or going back a little
    // (a distance jitters by a few millimetres while a bike stands), not a
    // new lap.
    float farthest = 0.0f;
    for (const TelemetrySample& sample : samples)
        if (std::isfinite(sample.Distance))
            farthest = std::max(farthest, sample.Distance);
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (i == 0 || samples[i - 1].Distance - samples[i].Distance > farthest / 2.0f)
            starts.push_back(i);
    platform::make_directory(".\\menu\\save");
    const int first = HighestLapNumber() + 1;
    std::vector<std::string> written;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::size_t begin = starts[k], end = k + 1 < starts.size() ? starts[k + 1] : samples.size();
        // Each lap's times count from its first sample, so its last sample's
        // time is the lap's time.
        std::vector<TelemetrySample> lap(samples.begin() + static_cast<std::ptrdiff_t>(begin),
                                         samples.begin() + static_cast<std::ptrdiff_t>(end));
        const float start = lap.front().Time;
        for (TelemetrySample& sample : lap)
            sample.Time -= start;
        const std::string path = LapPath(first + static_cast<int>(k));
        if (!WriteTelemetryFile(path, header, lap, &error)) {
            for (const std::string& done : written)
                platform::remove_file(done);
            Tell("The session's laps could not be written (" + error + "); its telemetry is kept.");
            return -1;
        }
        written.push_back(path);
    }
    platform::remove_file(kTelemetryFileName);
    platform::invalidate_path_cache();
    return static_cast<int>(written.size());
}

int SplitSessionTelemetry()
{
    const GameApp& app = TheGameApp();
    std::int32_t model = -1;
    const std::int32_t player = TheChampionship().PlayerRider();
    if (app.m_pRace && player >= 0 && player < kPitSlotCount)
        model = app.m_pRace->m_BikeTable[player].Model;
    return SplitTelemetry(app.m_szTrack, model);
}

// ---- The telemetry browser ----

namespace {

constexpr std::size_t kPlotNameChars = 29;  // a name of the plot's two 30-byte fields
constexpr std::int32_t kAskDeleteLap = 16;

struct LapBrowser {
    std::vector<std::string> files;  // the rows' lap files
    std::string selected[2];         // telemetry 1 and 2 (file names)
    bool view = false;
};
LapBrowser g_Laps;
ChosenLaps g_Plot;

std::string SessionTrack()
{
    const GameApp& app = TheGameApp();
    if (app.m_szTrack[0])
        return std::string(app.m_szTrack, strnlen(app.m_szTrack, sizeof app.m_szTrack));
    return CurrentTrack();
}

std::int32_t PlayerModel()
{
    const GameApp& app = TheGameApp();
    const std::int32_t player = TheChampionship().PlayerRider();
    if (app.m_pRace && player >= 0 && player < kPitSlotCount)
        return app.m_pRace->m_BikeTable[player].Model;
    return -1;
}

bool ReadLap(const std::string& file, TelemetryHeader& header, std::vector<TelemetrySample>& samples)
{
    return ReadTelemetryFile(MakeSavePath(file.c_str()), &header, &samples);
}

// The set-up of a lap file in "LBL_Var00".."23", with its bike, weather and
// temperatures.
void ShowLapSetup(Form& form, const std::string& file)
{
    TelemetryHeader header;
    std::vector<TelemetrySample> samples;
    if (!ReadLap(file, header, samples))
        return;
    for (int s = 0; s < kSetupSliders; ++s) {
        const SliderSpec& spec = kSliders[s];
        char text[32];
        switch (spec.kind) {
        case Field::Float:
            std::snprintf(text, sizeof text, "%.*f", spec.decimals, FloatAt(header.Setup, spec.offset) * spec.scale);
            break;
        case Field::Int: std::snprintf(text, sizeof text, "%d", IntAt(header.Setup, spec.offset)); break;
        case Field::Tyre: {
            // A code outside the table reads "?" (the file is the player's).
            const std::int32_t code = IntAt(header.Setup, spec.offset);
            const auto* found = std::find(std::begin(kTyreCodes), std::end(kTyreCodes), code);
            if (found == std::end(kTyreCodes))
                std::snprintf(text, sizeof text, "?");
            else
                std::snprintf(text, sizeof text, "%d", static_cast<int>(found - std::begin(kTyreCodes)));
            break;
        }
        }
        char name[16];
        std::snprintf(name, sizeof name, "LBL_Var%02d", s);
        SetTextIfPresent(form, name, text);
    }
    SetFrameIfPresent(form, "Sprite_Bike_Logo", static_cast<std::int32_t>(header.Model));
    SetFrameIfPresent(form, "Sprite_Weather_Icon", static_cast<std::int32_t>(header.Weather));
    SetTextIfPresent(form, "LBL_Temp_Data_1", std::to_string(static_cast<int>(header.AirTemperature)));
    SetTextIfPresent(form, "LBL_Temp_Data_2", std::to_string(static_cast<int>(header.TrackTemperature)));
}

void SetButtonEnabled(Form& form, const char* name, bool enabled)
{
    if (auto* button = dynamic_cast<CommandButton*>(form.FindElement(name)))
        enabled ? button->Enable() : button->Disable();
}

void ShowSelection(Form& form)
{
    for (int slot = 0; slot < 2; ++slot) {
        std::string name = WithoutTlm(g_Laps.selected[slot]);
        if (name.size() > 30)
            name.resize(30);
        SetTextIfPresent(form, slot == 0 ? "LBL_Telemetry_1" : "LBL_Telemetry_2", name);
    }
    SetButtonEnabled(form, "View", !g_Laps.selected[0].empty() || !g_Laps.selected[1].empty());
    form.Invalidate();
}

} // namespace

const ChosenLaps& LapsToPlot()
{
    return g_Plot;
}

void ShowTelemetrySession(Form& form)
{
    const Championship& champ = TheChampionship();
    const std::int32_t state = NavigationManager().m_nState;
    SetFrameIfPresent(form, "Sprite_Track_Name", champ.CurrentEventIndex);
    SetTextIfPresent(form, "LBL_round_data", std::to_string(champ.CurrentEventIndex + 1));
    const bool weekend = state >= 63 && state <= 70;
    for (const char* name : {"sprite_dot_1", "LBL_Round_data", "LBL_Round"})
        ShowIfPresent(form, name, weekend);
    const std::int32_t kind = champ.GetSessionKind();
    ShowIfPresent(form, "LBL_Qualify", kind == 0 || kind == 1);
    ShowIfPresent(form, "LBL_Practice", kind != 0 && kind != 1);
}

void LapBrowserPrepare(Form& form)
{
    ShowTelemetrySession(form);

    const std::string track = SessionTrack();
    const std::int32_t model = PlayerModel();
    TelemetryHeader wanted;
    wanted.SetTrackName(track);
    g_Laps.files.clear();
    std::string names, times;
    for (const std::string& file : platform::list_files(std::string(kSaveFolder) + "*.tlm")) {
        TelemetryHeader header;
        std::vector<TelemetrySample> samples;
        if (!ReadLap(file, header, samples) || header.TrackNameText() != wanted.TrackNameText() ||
            (model >= 0 && header.Model != static_cast<std::uint32_t>(model)))
            continue;
        if (!g_Laps.files.empty()) {
            names += '\n';
            times += '\n';
        }
        g_Laps.files.push_back(file);
        names += WithoutTlm(file);
        times += MenuTimeText(samples.empty() ? kNoTime : samples.back().Time);
    }
    Label& list = RequiredLabel(form, "LBL_Telemetry");
    list.SetText(names.c_str());
    SetTextIfPresent(form, "LBL_Time", times);
    SetButtonEnabled(form, "Delete", !g_Laps.files.empty());
    SetButtonEnabled(form, "Save", !g_Laps.files.empty());
    if (!g_Laps.files.empty()) {
        list.SetCurrentRow(0);
        ShowLapSetup(form, g_Laps.files.front());
    }
    // A selection of a file that is gone goes too.
    for (std::string& selected : g_Laps.selected)
        if (std::find(g_Laps.files.begin(), g_Laps.files.end(), selected) == g_Laps.files.end())
            selected.clear();
    if (g_Laps.view) {
        g_Laps.selected[0].clear();
        g_Laps.selected[1].clear();
        g_Laps.view = false;
    }
    ShowSelection(form);
}

bool LapBrowserCommand(Form& form, Control& control)
{
    const std::int32_t id = control.m_nUserID;
    if (!dynamic_cast<CommandButton*>(&control))
        return true;
    const Label& list = RequiredLabel(form, "LBL_Telemetry");
    const std::int32_t row = list.m_nCurrentRow;
    const std::string current = row >= 0 && static_cast<std::size_t>(row) < g_Laps.files.size()
                                    ? g_Laps.files[static_cast<std::size_t>(row)]
                                    : std::string();
    bool result = true;
    switch (id) {
    case 1:
    case 2: {
        std::string& slot = g_Laps.selected[id - 1];
        const std::string& other = g_Laps.selected[2 - id];
        if (current.empty() || current == other)
            break;
        slot = slot == current ? std::string() : current;
        ShowLapSetup(form, current);
        break;
    }
    case 3: {
        // A lone second choice is plotted as the first.
        if (g_Laps.selected[0].empty())
            std::swap(g_Laps.selected[0], g_Laps.selected[1]);
        g_Plot.first = g_Laps.selected[0].substr(0, kPlotNameChars);
        g_Plot.second = g_Laps.selected[1].substr(0, kPlotNameChars);
        SetTextIfPresent(form, "LBL_Telemetry_1", "");
        SetTextIfPresent(form, "LBL_Telemetry_2", "");
        if (g_Plot.first.empty())
            break;
        return CallScreen(kPlotState, 0);
    }
    case 4:
        g_Laps.view = true;
        g_Laps.selected[0].clear();
        g_Laps.selected[1].clear();
        break;
    case 5:
        if (current.empty())
            break;
        SharedFileName() = current;
        AskDialogue(kRenameLapState);
        platform::invalidate_path_cache();
        ScreenPrepare(form);
        result = false;
        break;
    case 6:
        if (current.empty())
            break;
        if (Confirmed(kAskDeleteLap)) {
            platform::remove_file(MakeSavePath(current.c_str()));
            platform::invalidate_path_cache();
            for (std::string& selected : g_Laps.selected)
                if (selected == current)
                    selected.clear();
            ScreenPrepare(form);
        }
        result = false;
        break;
    default:
        break;
    }
    ShowSelection(form);
    return result;
}

bool RenameLapFile(const std::string& from, const std::string& typed, std::string& why)
{
    std::string name = typed;
    while (!name.empty() && (name.back() == ' ' || name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    const std::size_t first = name.find_first_not_of(' ');
    name = first == std::string::npos ? std::string() : name.substr(first);
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos || name.find("..") != std::string::npos) {
        why = "the name must be a plain file name";
        return false;
    }
    const std::string target = MakeSavePath((name + ".tlm").c_str());
    if (platform::equals_ignoring_case(name + ".tlm", from))
        return true;
    if (platform::file_exists(target)) {
        why = "a lap named \"" + name + "\" is there already";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!platform::read_whole_file(MakeSavePath(from.c_str()), bytes, &error) ||
        !platform::write_whole_file(target, bytes, &error)) {
        why = error;
        return false;
    }
    platform::remove_file(MakeSavePath(from.c_str()));
    platform::invalidate_path_cache();
    return true;
}

void RenameLapPrepare(Form& form)
{
    char text[32];
    std::snprintf(text, sizeof text, "%-*s", 13, WithoutTlm(SharedFileName()).substr(0, 13).c_str());
    Label& data = RequiredLabel(form, "DLG_Data");
    data.SetText(text, 14);
    data.EditRow(0);
}

bool RenameLapCommand(Form& form, Control& control)
{
    if (control.m_nUserID == 0)
        return true;
    std::string why;
    if (!RenameLapFile(SharedFileName(), RequiredLabel(form, "DLG_Data").RowText(0), why)) {
        Tell("The lap cannot be renamed: " + why);
        return false;
    }
    return true;
}
