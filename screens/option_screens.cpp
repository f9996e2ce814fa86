#include "screens/option_screens.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/main_window.h"
#include "app/m_cparse.h"
#include "app/registry_settings.h"
#include "champ/game_settings.h"
#include "engine/render/render_device.h"
#include "input/binding_names.h"
#include "input/control_block.h"
#include "input/input_devices.h"
#include "input/input_manager.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_display.h"
#include "menu/menu_input.h"
#include "menu/menu_manager.h"
#include "menu/run_loop_seam.h"
#include "menu/run_loop_sound.h"
#include "menu/scroll_bar.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "screens/navigation.h"
#include "screens/screen_text.h"
#include "sound/sound_library.h"

namespace {

// The menus' sample that tests the effects volume, and the menus' music.
constexpr std::int32_t kVolumeTestSample = 12;
constexpr int kMusicStream = 0;
constexpr const char* kMenuMusic = "sfx\\music\\menu_g01.wav";
// The state that reloads the menu set (a new display driver).
constexpr std::int32_t kReloadState = -1;
// The slider position whose linked display reads "REAL".
constexpr std::int32_t kRealPosition = 33;
// Row texts of the display-driver list are cut to this many characters.
constexpr std::size_t kDriverRowChars = 45;

bool IsArcadeTwin(const Form& form)
{
    return form.Name()[0] == 'A' || form.Name()[0] == 'a';
}

bool NetworkGame()
{
    return (TheGameApp().Flags & kAppFlagNetwork) != 0;
}

template <typename T>
T* Find(const Form& form, const char* name)
{
    return dynamic_cast<T*>(form.FindElement(name));
}

// A control the race-options screen cannot do without.
template <typename T>
T& RequireForPrepare(const Form& form, const char* name)
{
    if (T* control = Find<T>(form, name))
        return *control;
    throw GameError("prepare");
}

// ---- Two-row choices ----

std::int32_t Row(const Form& form, const char* name)
{
    const Label* label = Find<Label>(form, name);
    return label ? label->m_nFirstRow : 0;
}

void SetRow(const Form& form, const char* name, std::int32_t row)
{
    if (Label* label = Find<Label>(form, name)) {
        if (row >= 0 && row < std::max<std::int32_t>(label->RowCount(), 1))
            label->SetFirstRow(row);
        label->Invalidate();
    }
}

// The choice advances to its next row, wrapping; the new row.
std::int32_t Advance(const Form& form, const char* name)
{
    Label* label = Find<Label>(form, name);
    if (!label)
        return 0;
    const std::int32_t rows = std::max<std::int32_t>(label->RowCount(), 1);
    label->SetFirstRow((label->m_nFirstRow + 1) % rows);
    return label->m_nFirstRow;
}

// ---- Sliders ----

ScrollBar* Slider(const Form& form, const char* name)
{
    return Find<ScrollBar>(form, name);
}

std::int32_t Position(const Form& form, const char* name)
{
    const ScrollBar* bar = Slider(form, name);
    return bar ? bar->m_nPosition : 0;
}

// Puts a slider at a position without reporting it to the screen (a prepare
// or a preset must not run the slider's own command again).
void PlaceSlider(const Form& form, const char* name, std::int32_t position)
{
    if (ScrollBar* bar = Slider(form, name)) {
        const std::int32_t flags = bar->m_nFlags;
        bar->m_nFlags &= ~kControlReports;
        bar->SetPos(position);
        bar->m_nFlags = flags;
    }
}

void PlaceSliderInRange(const Form& form, const char* name, float a, float b, float value)
{
    if (ScrollBar* bar = Slider(form, name)) {
        const std::int32_t flags = bar->m_nFlags;
        bar->m_nFlags &= ~kControlReports;
        bar->SetValueInRange(a, b, value);
        bar->m_nFlags = flags;
    }
}

float SliderInRange(const Form& form, const char* name, float a, float b)
{
    const ScrollBar* bar = Slider(form, name);
    return bar ? bar->GetValueInRange(a, b) : a;
}

// Enables or disables a slider, a choice label or a button of the screen.
void SetEnabled(const Form& form, const char* name, bool enabled)
{
    Control* control = form.FindElement(name);
    if (!control)
        return;
    if (auto* bar = dynamic_cast<ScrollBar*>(control)) {
        enabled ? bar->Enable() : bar->Disable();
    } else if (auto* button = dynamic_cast<CommandButton*>(control)) {
        enabled ? button->Enable() : button->Disable();
    } else {
        control->m_bCanHaveFocus = enabled ? 1 : 0;
        control->Invalidate();
    }
}

// The screens' work records, kept in the form's user word while the screen
// is shown: what the screen may restore, and the driver pairs of its rows.
struct AudioWork {
    AudioOptions saved;
};
struct ControlsWork {
    std::array<std::int8_t, kControlCount> type{};
    std::array<std::uint8_t, kControlCount> index{}, rise{}, fall{};
};
struct DriverWork {
    std::vector<std::int32_t> pairs;  // DirectDraw driver x 10 + 3D device, per row
};

// What a screen's user word holds, so that release frees the right record.
enum class WorkKind { None, Audio, Controls, Driver };
struct WorkHolder {
    WorkKind kind = WorkKind::None;
    AudioWork audio;
    ControlsWork controls;
    DriverWork driver;
};

WorkHolder& NewWork(Form& form, WorkKind kind)
{
    delete static_cast<WorkHolder*>(form.m_pUser);
    auto* holder = new WorkHolder;
    holder->kind = kind;
    form.m_pUser = holder;
    return *holder;
}

WorkHolder* Work(Form& form)
{
    return static_cast<WorkHolder*>(form.m_pUser);
}

// ---- Race options ----

constexpr const char* kRaceRequired[] = {"Scroll_com_01", "Scroll_com_02", "Scroll_com_03", "Scroll_com_04"};

// ---- Driving ----

// The driving choices and the flag bit each stands for; `set_on_row0`: the
// bit is set when the label shows row 0, else when it shows row 1.
struct FlagChoice {
    const char* label;
    std::uint32_t bit;
    bool set_on_row0;
};
constexpr FlagChoice kDrivingChoices[] = {
    {"Com_05", 1u << 6, false}, {"Com_06", 1u << 4, true}, {"Com_07", 1u << 9, true},
    {"Com_08", 1u << 10, true}, {"Com_09", 1u << 1, false},
};
constexpr std::uint32_t kRaceLineBit = 1u << 5;  // slider 3
constexpr float kFrontLimiterMin = 0.4f, kRearLimiterMin = 0.3f, kLimiterMax = 1.0f;

std::int32_t RowOfFlag(const FlagChoice& choice, std::uint32_t flags)
{
    const bool set = (flags & choice.bit) != 0;
    return set == choice.set_on_row0 ? 0 : 1;
}

void ShowDriving(const Form& form, const BikeSetup& setup)
{
    PlaceSliderInRange(form, "Scroll_Com_01", kFrontLimiterMin, kLimiterMax, setup.FrontLimiter);
    PlaceSliderInRange(form, "Scroll_Com_02", kRearLimiterMin, kLimiterMax, setup.RearLimiter);
    PlaceSlider(form, "Scroll_Com_03", (setup.PlayerFlags & kRaceLineBit) ? 1 : 0);
    for (const FlagChoice& choice : kDrivingChoices)
        SetRow(form, choice.label, RowOfFlag(choice, setup.PlayerFlags));
}

void EnableCustomDriving(const Form& form, bool custom)
{
    for (const char* name : {"Scroll_Com_01", "Scroll_Com_02", "Scroll_Com_03"})
        SetEnabled(form, name, custom);
    for (const FlagChoice& choice : kDrivingChoices)
        SetEnabled(form, choice.label, custom);
}

// A realism level on the screen: 0 lets the player set the values; 1..4
// show the level's preset (the one the settings apply at the next start)
// and lock them.
void ShowRealismLevel(const Form& form, std::int32_t level)
{
    if (const RealismPreset* preset = FindRealismPreset(level)) {
        BikeSetup setup;
        setup.PlayerFlags = preset->PlayerFlags;
        setup.FrontLimiter = preset->FrontLimiter;
        setup.RearLimiter = preset->RearLimiter;
        ShowDriving(form, setup);
    }
    EnableCustomDriving(form, level == kRealismCustom);
}

// ---- Graphics ----

struct ModeRow {
    int width, height;
    const char* text;
};
constexpr ModeRow kModes[] = {{320, 200, "320 X 200"}, {640, 480, "640 X 480"}, {800, 600, "800 X 600"}};

// The four on/off labels and their GfxFlags bit; bits 5 to 7 are set when
// the label shows row 0, bit 4 ("No sky") when it shows another row.
struct GfxChoice {
    const char* label;
    std::uint32_t bit;
};
constexpr GfxChoice kGfxChoices[] = {
    {"Com_06", kGfxFlagAmbient}, {"Com_07", kGfxFlagPhotoreal}, {"Com_08", kGfxFlagDarkline}, {"Com_09", kGfxFlagNoSky}};
constexpr const char* kGfxSliders[] = {"Scroll_com_01", "Scroll_com_02", "Scroll_com_03", "Scroll_com_04"};
constexpr std::int32_t kSliderHundreds = 100;

std::int32_t RowOfGfx(const GfxChoice& choice, std::uint32_t flags)
{
    const bool set = (flags & choice.bit) != 0;
    return choice.bit == kGfxFlagNoSky ? (set ? 1 : 0) : (set ? 0 : 1);
}

void ShowGraphicsValues(const Form& form, std::int32_t zclipping, std::int32_t details, std::int32_t engine,
                        std::int32_t shrink, std::uint32_t flags)
{
    PlaceSlider(form, kGfxSliders[0], zclipping / kSliderHundreds);
    PlaceSlider(form, kGfxSliders[1], details);
    PlaceSlider(form, kGfxSliders[2], engine);
    PlaceSlider(form, kGfxSliders[3], shrink / kSliderHundreds);
    for (const GfxChoice& choice : kGfxChoices)
        SetRow(form, choice.label, RowOfGfx(choice, flags));
}

void ShowDetailLevel(const Form& form, std::int32_t level)
{
    if (const DetailPreset* preset = FindDetailPreset(level))
        ShowGraphicsValues(form, preset->ZClipping, preset->Details, preset->EngineDetails, preset->Shrink,
                           preset->GfxFlags);
    const bool custom = level == kDetailCustom;
    for (const char* name : kGfxSliders)
        SetEnabled(form, name, custom);
    for (const GfxChoice& choice : kGfxChoices)
        SetEnabled(form, choice.label, custom);
}

DisplayModeOffered g_pModeOffered = nullptr;
DisplayStarter g_pDisplayStarter = nullptr;

bool ModeOffered(int width, int height)
{
    if (g_pModeOffered)
        return g_pModeOffered(width, height);
    const GameApp& app = TheGameApp();
    return the_render_device().find_mode(width, height, app.DDrawDriver, app.D3DDriver) != 0;
}

bool StartDisplay()
{
    return g_pDisplayStarter ? g_pDisplayStarter() : StartMenuDisplay();
}

// The row the player chose in a list label: its current row, else its first.
std::int32_t ChosenRow(const Label& label)
{
    if (label.m_nCurrentRow >= 0 && label.m_nCurrentRow < label.RowCount())
        return label.m_nCurrentRow;
    return label.m_nSelectedRow >= 0 && label.m_nSelectedRow < label.RowCount() ? label.m_nSelectedRow : 0;
}

void ChooseRow(Label& label, std::int32_t row)
{
    label.m_nSelectedRow = row;
    label.SetCurrentRow(row);
}

// ---- Audio ----

// Starts the sound library for "Sound" on (a failure turns it off again) and
// loads the menu's samples; or frees every sample for "Sound" off.
void ApplySound(GameSettings& settings)
{
    SoundLibrary* sound = TheSoundLibrary();
    if (settings.Audio.Sound) {
        if (StartSoundFromSettings(TheGameApp(), settings, sound))
            if (MenuManager* manager = CurrentMenuManager()) {
                M_CParse parser;
                manager->LoadSounds(parser);
            }
    } else if (sound && sound->Initialised()) {
        sound->FreeAllSamples();
    }
}

void ApplyMusic(const GameSettings& settings)
{
    SoundLibrary* sound = TheSoundLibrary();
    if (!sound || !sound->Initialised())
        return;
    if (!settings.Audio.Music) {
        sound->StopStream(kMusicStream);
        return;
    }
    if (sound->OpenStream(kMenuMusic, kMusicStream) == kSoundOk) {
        sound->SetStreamVolume(settings.Audio.MusicVolume, kMusicStream);
        sound->StartStream(true, kMusicStream);
    }
}

void ShowAudio(const Form& form, const AudioOptions& audio)
{
    SetRow(form, "Com_01", audio.Sound ? 1 : 0);
    PlaceSliderInRange(form, "Scroll_com_02", 0.0f, 1.0f, audio.SoundVolume);
    SetRow(form, "Com_03", audio.Music ? 1 : 0);
    PlaceSliderInRange(form, "Scroll_com_04", 0.0f, 1.0f, audio.MusicVolume);
}

// ---- Controls ----

constexpr int kRateControls = 4;  // the first four controls have rate sliders

std::string ControlLabelName(int control)
{
    char name[16];
    std::snprintf(name, sizeof name, "player1_%02d", control + 1);
    return name;
}

std::string RateSliderName(int control, char which)
{
    char name[24];
    std::snprintf(name, sizeof name, "scroll_com_%02d%c", control + 1, which);
    return name;
}

void ShowBindings(Form& form)
{
    const ControlBlock& block = DefaultControlBlock();
    for (int c = 0; c < kControlCount; ++c)
        SetTextIfPresent(form, ControlLabelName(c).c_str(), GetControlName(block.Type[c], block.Index[c]));
    for (int c = 0; c < kRateControls; ++c) {
        PlaceSlider(form, RateSliderName(c, 'p').c_str(), block.Rise[c]);
        PlaceSlider(form, RateSliderName(c, 'r').c_str(), block.Fall[c]);
        const bool rates = BindingTakesRates(c);
        SetEnabled(form, RateSliderName(c, 'p').c_str(), rates);
        SetEnabled(form, RateSliderName(c, 'r').c_str(), rates);
    }
    form.Invalidate();
}

std::vector<AttachedJoystick> AttachedJoysticks()
{
    std::vector<AttachedJoystick> joysticks;
    if (const InputManager* input = TheInputManager())
        for (int i = 0; i < input->JoystickCount(); ++i) {
            const JoystickRecord& record = input->Joystick(i);
            joysticks.push_back({record.Usable != 0, static_cast<int>(record.Caps.dwAxes),
                                 static_cast<int>(record.Caps.dwButtons)});
        }
    return joysticks;
}

bool AnyInputHeld(const InputManager& input)
{
    for (std::uint8_t key : input.m_KeyState)
        if (key & kInputDown)
            return true;
    for (std::uint8_t button : input.m_MouseState.rgbButtons)
        if (button & kInputDown)
            return true;
    return false;
}

// One pass of the wait: the screen drawn, a window message handled, the
// display's frame waited for.
void CapturePass(Form& form)
{
    form.Invalidate();
    form.Draw();
    platform::Message message;
    if (platform::peek_message(message, true)) {
        platform::translate_message(message);
        platform::dispatch_message(message);
    }
    WaitForMenuFrame();
}

// Waits until nothing is held any more, so that the key or button that
// started or ended the capture does not also reach the screen; false when
// the program is asked to quit meanwhile.
bool WaitForRelease(Form& form, InputManager& input)
{
    input.Poll();
    while (AnyInputHeld(input)) {
        if (g_bQuit)
            return false;
        CapturePass(form);
        input.Poll();
    }
    return true;
}

// Captures the binding of one control: the label shows that it waits, the
// screen is drawn each pass until an input is found; Escape or the program's
// quit ends the wait with the binding unchanged.
void CaptureBinding(Form& form, int control)
{
    InputManager* input = TheInputManager();
    Label* label = Find<Label>(form, ControlLabelName(control).c_str());
    ControlBlock& block = DefaultControlBlock();
    if (input) {
        if (label) {
            label->SetText("...");
            label->SetCurrentRow(0);
            label->Invalidate();
        }
        std::vector<platform::JoystickState> baseline;
        if (WaitForRelease(form, *input)) {
            input->SnapshotJoysticks(baseline);
            std::int8_t type = 0;
            std::uint8_t index = 0, found = 0;
            while (!g_bQuit) {
                if (input->CaptureBindingFiltered(&type, &index, &found, baseline)) {
                    block.Type[control] = type;
                    block.Index[control] = index;
                    break;
                }
                if (input->m_KeyState[kMenuKeyEscape] & kInputDown)
                    break;
                CapturePass(form);
            }
            input->FreeJoystickSnapshot(baseline);
            WaitForRelease(form, *input);
        }
    }
    if (label) {
        label->SetText(GetControlName(block.Type[control], block.Index[control]).c_str());
        label->SetCurrentRow(-1);
        label->Invalidate();
    }
    if (MenuManager* manager = CurrentMenuManager())
        manager->m_bEditLock = 0;
    ShowBindings(form);
}

} // namespace

void SetDisplayModeOffered(DisplayModeOffered offered)
{
    g_pModeOffered = offered;
}

void SetDisplayStarter(DisplayStarter starter)
{
    g_pDisplayStarter = starter;
}

bool BindingTakesRates(int control)
{
    if (control < 0 || control >= kControlCount)
        return false;
    const ControlBlock& block = DefaultControlBlock();
    const int type = static_cast<std::uint8_t>(block.Type[control]);
    if (type == kBindKey || (type >= kBindMouseButton0 && type < kBindMouseButton0 + kBindMouseButtonCount) ||
        (type >= kBindJoyButton0 && type < kBindJoyButton0 + kBindJoyButtonCount))
        return true;
    const int axis_type = type & ~kBindNegative;
    if (axis_type < kBindJoyAxisX || axis_type >= kBindJoyAxisX + kBindJoyAxisCount)
        return false;
    // A joystick axis: only of a joystick that is there and has that axis.
    const std::vector<AttachedJoystick> joysticks = AttachedJoysticks();
    const std::size_t joystick = block.Index[control];
    return joystick < joysticks.size() && joysticks[joystick].Usable &&
           axis_type - kBindJoyAxisX < joysticks[joystick].Axes;
}

// ---- Race options ----

void RaceOptionsPrepare(Form& form)
{
    for (const char* name : kRaceRequired)
        RequireForPrepare<ScrollBar>(form, name);
    RequireForPrepare<Label>(form, "com_05");
    RequireForPrepare<Label>(form, "com_06");
    const GameSettings& settings = TheGameSettings();
    const bool simulation = !IsArcadeTwin(form);
    PlaceSlider(form, "Scroll_com_01", settings.LapChoiceIndex(simulation));
    PlaceSlider(form, "Scroll_com_02", GetRiderCount(simulation));
    PlaceSlider(form, "Scroll_com_03", settings.Race.CpuDifficulty);
    PlaceSlider(form, "Scroll_com_04", settings.Race.Weather);
    SetRow(form, "com_05", settings.Race.CpuMulti ? 1 : 0);
    SetRow(form, "com_06", settings.Race.Km ? 1 : 0);
}

bool RaceOptionsCommand(Form& form, Control& control)
{
    GameSettings& settings = TheGameSettings();
    switch (control.m_nUserID) {
    case 1: {
        const bool simulation = !IsArcadeTwin(form);
        const std::int32_t laps = GameSettings::LapChoiceValue(Position(form, "Scroll_com_01"));
        const std::int32_t riders = Position(form, "Scroll_com_02");
        (simulation ? settings.Race.NumSimulationLaps : settings.Race.NumArcadeLaps) = laps;
        (simulation ? settings.Race.NumSimulationRiders : settings.Race.NumArcadeRiders) = riders;
        settings.Race.CpuDifficulty = Position(form, "Scroll_com_03");
        settings.Race.Weather = Position(form, "Scroll_com_04");
        settings.Race.CpuMulti = Row(form, "com_05") == 1 ? 1 : 0;
        settings.Race.Km = Row(form, "com_06") == 1 ? 1 : 0;
        TheGameApp().SaveRaceSettings();
        return true;
    }
    case 2:
        PlaceSlider(form, "Scroll_com_01", 1);
        PlaceSlider(form, "Scroll_com_02", 10);
        PlaceSlider(form, "Scroll_com_03", 1);
        PlaceSlider(form, "Scroll_com_04", 0);
        SetRow(form, "com_06", 1);
        form.Invalidate();
        return true;
    case 4:
        Advance(form, "com_05");
        return true;
    case 5:
        if (auto* bar = dynamic_cast<ScrollBar*>(&control); bar && bar->m_nPosition == kRealPosition)
            if (auto* display = dynamic_cast<Label*>(bar->Linked())) {
                display->SetText("REAL");
                display->Invalidate();
            }
        return true;
    case 6:
        Advance(form, "com_06");
        return true;
    default:
        return true;
    }
}

// ---- Driving ----

void DrivingPrepare(Form& form)
{
    const GameSettings& settings = TheGameSettings();
    ShowDriving(form, settings.PlayerSetup);
    PlaceSlider(form, "Scroll_Com_04", settings.RealismLevel);
    EnableCustomDriving(form, settings.RealismLevel == kRealismCustom);
    const bool network = NetworkGame();
    for (const char* name : {"LBL_Com_06", "Com_06", "LBL_Com_07", "Com_07"})
        ShowIfPresent(form, name, !network);
}

bool DrivingCommand(Form& form, Control& control)
{
    GameSettings& settings = TheGameSettings();
    switch (control.m_nUserID) {
    case 1: {
        BikeSetup& setup = settings.PlayerSetup;
        setup.FrontLimiter = SliderInRange(form, "Scroll_Com_01", kFrontLimiterMin, kLimiterMax);
        setup.RearLimiter = SliderInRange(form, "Scroll_Com_02", kRearLimiterMin, kLimiterMax);
        settings.RealismLevel = Position(form, "Scroll_Com_04");
        std::uint32_t flags = setup.PlayerFlags;
        flags = Position(form, "Scroll_Com_03") ? flags | kRaceLineBit : flags & ~kRaceLineBit;
        for (const FlagChoice& choice : kDrivingChoices) {
            const bool set = (Row(form, choice.label) == 0) == choice.set_on_row0;
            flags = set ? flags | choice.bit : flags & ~choice.bit;
        }
        setup.PlayerFlags = flags;
        TheGameApp().SaveDriving();
        return true;
    }
    case 2:
        PlaceSlider(form, "Scroll_Com_04", 1);
        ShowRealismLevel(form, 1);
        form.Invalidate();
        return true;
    case 4:
    case 5:
    case 6:
        if (Label* label = dynamic_cast<Label*>(&control))
            Advance(form, label->Name());
        return true;
    case 7:
        ShowRealismLevel(form, Position(form, "Scroll_Com_04"));
        form.Invalidate();
        return true;
    default:
        return true;
    }
}

// ---- Graphics ----

void GraphicsPrepare(Form& form)
{
    const GameApp& app = TheGameApp();
    std::string rows;
    std::int32_t count = 0, current = -1;
    for (const ModeRow& mode : kModes) {
        if (!ModeOffered(mode.width, mode.height))
            continue;
        if (!rows.empty())
            rows += '\n';
        rows += mode.text;
        if (mode.width == app.HRes)
            current = count;
        ++count;
    }
    if (count == 0)
        throw GameError("nessun modo video disponibile");
    Label& modes = RequiredLabel(form, "view_com_01");
    modes.SetText(rows.c_str());
    // A resolution not offered: 320 x 200 when it is, else the first mode.
    ChooseRow(modes, current >= 0 ? current : 0);

    const GameSettings& settings = TheGameSettings();
    ShowGraphicsValues(form, app.ZClipping, app.Details, app.EngineDetails, app.Shrink, app.GfxFlags);
    PlaceSlider(form, "Scroll_com_10", settings.DetailLevel);
    ShowDetailLevel(form, settings.DetailLevel);
}

bool GraphicsCommand(Form& form, Control& control)
{
    GameApp& app = TheGameApp();
    switch (control.m_nUserID) {
    case 1: {
        const Label& modes = RequiredLabel(form, "view_com_01");
        const int width = std::atoi(modes.RowText(ChosenRow(modes)).c_str());
        switch (width) {
        case 320: app.HRes = 320, app.VRes = 200; break;
        case 800: app.HRes = 800, app.VRes = 600; break;
        case 1024: app.HRes = 1024, app.VRes = 768; break;
        default: app.HRes = 640, app.VRes = 480; break;
        }
        app.ZClipping = Position(form, kGfxSliders[0]) * kSliderHundreds;
        app.Details = Position(form, kGfxSliders[1]);
        app.EngineDetails = Position(form, kGfxSliders[2]);
        app.Shrink = Position(form, kGfxSliders[3]) * kSliderHundreds;
        for (const GfxChoice& choice : kGfxChoices) {
            const std::int32_t row = Row(form, choice.label);
            const bool set = choice.bit == kGfxFlagNoSky ? row != 0 : row == 0;
            app.GfxFlags = set ? app.GfxFlags | choice.bit : app.GfxFlags & ~choice.bit;
        }
        TheGameSettings().DetailLevel = Position(form, "Scroll_com_10");
        app.SaveGraphics();
        return true;
    }
    case 4: Advance(form, "com_09"); return true;
    case 5: Advance(form, "com_08"); return true;
    case 6: Advance(form, "com_06"); return true;
    case 7: Advance(form, "com_07"); return true;
    case 8:
        ShowDetailLevel(form, Position(form, "Scroll_com_10"));
        form.Invalidate();
        return true;
    default:
        return true;
    }
}

// ---- Audio ----

void AudioPrepare(Form& form)
{
    const GameSettings& settings = TheGameSettings();
    NewWork(form, WorkKind::Audio).audio.saved = settings.Audio;
    ShowAudio(form, settings.Audio);
}

bool AudioCommand(Form& form, Control& control)
{
    GameApp& app = TheGameApp();
    GameSettings& settings = TheGameSettings();
    SoundLibrary* sound = TheSoundLibrary();
    switch (control.m_nUserID) {
    case 1:
        app.SaveAudio();
        return true;
    case 2:
        settings.Audio.Sound = 1;
        ApplySound(settings);
        settings.Audio.SoundVolume = 0.61f;
        settings.Audio.Music = 1;
        settings.Audio.MusicVolume = 1.0f;
        if (sound && sound->Initialised()) {
            sound->SetMusicVolume(settings.Audio.SoundVolume);
            sound->SetStreamVolume(settings.Audio.MusicVolume, kMusicStream);
        }
        settings.SetAppFlags(app);
        ShowAudio(form, settings.Audio);
        form.Invalidate();
        return true;
    case 3:
        if (WorkHolder* work = Work(form); work && work->kind == WorkKind::Audio) {
            settings.Audio = work->audio.saved;
            ApplySound(settings);
            settings.SetAppFlags(app);
            ShowAudio(form, settings.Audio);
            form.Invalidate();
        }
        return true;
    case 4:
        settings.Audio.Sound = Advance(form, "com_01") == 1 ? 1 : 0;
        ApplySound(settings);
        // A library that could not start leaves Sound off on the screen too.
        SetRow(form, "com_01", settings.Audio.Sound ? 1 : 0);
        settings.SetAppFlags(app);
        return true;
    case 6:
        settings.Audio.Music = Advance(form, "com_03") == 1 ? 1 : 0;
        ApplyMusic(settings);
        settings.SetAppFlags(app);
        return true;
    case 7:
        settings.Audio.SoundVolume = SliderInRange(form, "Scroll_com_02", 0.0f, 1.0f);
        if (sound && sound->Initialised()) {
            sound->SetMusicVolume(settings.Audio.SoundVolume);
            sound->Play(kVolumeTestSample, 0, 0, 1.0f, 0, 0);
        }
        return true;
    case 8:
        settings.Audio.MusicVolume = SliderInRange(form, "Scroll_com_04", 0.0f, 1.0f);
        if (sound && sound->Initialised())
            sound->SetStreamVolume(settings.Audio.MusicVolume, kMusicStream);
        return true;
    default:
        return true;
    }
}

// ---- Display driver ----

void DriverPrepare(Form& form)
{
    const render_device& renderer = the_render_device();
    const GameApp& app = TheGameApp();
    DriverWork& work = NewWork(form, WorkKind::Driver).driver;
    std::string types, infos;
    std::int32_t current = 0;
    for (int d = 0; d < renderer.driver_count && d < kMaxDrivers; ++d) {
        const dd_driver_info& driver = renderer.drivers[d];
        for (int v = 0; v < driver.device_count && v < kMaxDevices; ++v) {
            const d3d_device_info& device = driver.devices[v];
            std::string type = std::string(driver.name) + " - " + device.name;
            if (type.size() > kDriverRowChars)
                type.resize(kDriverRowChars);
            char info[32];
            std::snprintf(info, sizeof info, "%s %d", device.hardware ? "HARDWARE" : "SOFTWARE", v);
            if (!work.pairs.empty()) {
                types += '\n';
                infos += '\n';
            }
            types += type;
            infos += info;
            if (d == app.DDrawDriver && v == app.D3DDriver)
                current = static_cast<std::int32_t>(work.pairs.size());
            work.pairs.push_back(d * 10 + v);
        }
    }
    Label& type_label = RequiredLabel(form, "lbl_render_type");
    Label& info_label = RequiredLabel(form, "lbl_render_info");
    type_label.SetText(types.c_str());
    info_label.SetText(infos.c_str());
    if (!work.pairs.empty()) {
        ChooseRow(type_label, current);
        ChooseRow(info_label, current);
    }
}

bool DriverCommand(Form& form, Control& control)
{
    switch (control.m_nUserID) {
    case 1: {
        WorkHolder* work = Work(form);
        if (!work || work->kind != WorkKind::Driver || work->driver.pairs.empty())
            return false;
        const Label& list = RequiredLabel(form, "lbl_render_type");
        const std::int32_t row = std::min<std::int32_t>(ChosenRow(list), static_cast<std::int32_t>(work->driver.pairs.size()) - 1);
        const std::int32_t pair = work->driver.pairs[static_cast<std::size_t>(row)];
        GameApp& app = TheGameApp();
        const std::int32_t old_driver = app.DDrawDriver, old_device = app.D3DDriver;
        if (pair / 10 == old_driver && pair % 10 == old_device)
            return false;
        // The new pair is tried first: one that cannot start the display is
        // not kept (a saved pair that cannot start would fail every start).
        app.DDrawDriver = pair / 10;
        app.D3DDriver = pair % 10;
        if (!StartDisplay()) {
            app.DDrawDriver = old_driver;
            app.D3DDriver = old_device;
            StartDisplay();
            platform::message_box("The display cannot start with this driver; the old one is kept.", "Display",
                                  platform::MB_OK | platform::MB_ICONEXCLAMATION);
            form.Invalidate();
            return false;
        }
        if (MenuManager* manager = CurrentMenuManager())
            manager->m_nNextState = kReloadState;
        app.SaveDrivers();
        return false;
    }
    case 2:
    case 3: {
        const std::int32_t code = control.m_nUserID == 2 ? -5 : -4;
        for (const char* name : {"lbl_render_type", "lbl_render_info"})
            if (Label* label = Find<Label>(form, name))
                label->Notify(code);
        return true;
    }
    default:
        return true;
    }
}

// ---- Controls ----

void ControlsPrepare(Form& form)
{
    const ControlBlock& block = DefaultControlBlock();
    ControlsWork& work = NewWork(form, WorkKind::Controls).controls;
    std::copy(std::begin(block.Type), std::end(block.Type), work.type.begin());
    std::copy(std::begin(block.Index), std::end(block.Index), work.index.begin());
    std::copy(std::begin(block.Rise), std::end(block.Rise), work.rise.begin());
    std::copy(std::begin(block.Fall), std::end(block.Fall), work.fall.begin());
    ShowBindings(form);
}

bool ControlsCommand(Form& form, Control& control)
{
    ControlBlock& block = DefaultControlBlock();
    const std::int32_t id = control.m_nUserID;
    switch (id) {
    case 1:
        for (int c = 0; c < kRateControls; ++c) {
            block.Rise[c] = BindingRate(static_cast<std::uint32_t>(Position(form, RateSliderName(c, 'p').c_str())));
            block.Fall[c] = BindingRate(static_cast<std::uint32_t>(Position(form, RateSliderName(c, 'r').c_str())));
        }
        TheGameApp().SaveControls();
        return true;
    case 2:
        ResetControlBindings(block, AttachedJoysticks());
        ShowBindings(form);
        return true;
    case 3:
        if (WorkHolder* work = Work(form); work && work->kind == WorkKind::Controls) {
            std::copy(work->controls.type.begin(), work->controls.type.end(), block.Type);
            std::copy(work->controls.index.begin(), work->controls.index.end(), block.Index);
            std::copy(work->controls.rise.begin(), work->controls.rise.end(), block.Rise);
            std::copy(work->controls.fall.begin(), work->controls.fall.end(), block.Fall);
            ShowBindings(form);
        }
        return true;
    default:
        if (id >= 4 && id < 4 + kControlCount) {
            CaptureBinding(form, id - 4);
            return false;
        }
        return true;
    }
}

bool OptionScreenRelease(Form& form)
{
    delete Work(form);
    form.m_pUser = nullptr;
    return true;
}
