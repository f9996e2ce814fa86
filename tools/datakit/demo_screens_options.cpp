// The option screens and their arcade twins: race options, controls,
// driving, graphics, audio and the display driver. Each is a column of
// captioned rows (a slider with its value, an on/off choice, a list) over
// the options background, with its buttons at the foot; "OK" keeps the
// values and goes back, Esc goes back without keeping them.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

// Commands of the buttons: back (with or without keeping), and staying.
constexpr int kBack = 0, kStay = 2;
// The arcade menu (2) and its options' screen; the options' screen called
// from the in-session menus.
constexpr int kArcadeMenuState = 2, kArcadeOptionsState = 130, kInSessionOptionsState = 92;

constexpr int kRowHeight = 22;
constexpr int kFirstRow = 96;
constexpr int kCaptionLeft = 60, kCaptionWidth = 240;
constexpr int kControlLeft = 310;
constexpr int kBarWidth = 200, kBarHeight = 14;
constexpr int kValueLeft = kControlLeft + kBarWidth + 10;
constexpr int kFoot = 400;
// The foot's buttons stand a button picture's width ("art\\dbtn", 120
// pixels) and a gap apart. (A screen keeps a strip's frames at the size of
// the first button that loads it: on the controls screen the "SET" buttons'
// 110, so its foot's buttons are that wide too.)
constexpr int kFootButtonWidth = 120, kFootButtonStep = kFootButtonWidth + 6;
constexpr int kSetButtonWidth = 110;

// One row of an option screen.
struct Row {
    enum Kind { Bar, Choice, List, Text } kind;
    const char* name;
    const char* caption;          // text shown at the left ("" for none)
    int user_id = -1;
    int minimum = 0, maximum = 0; // bars
    const char* rows = nullptr;   // choices and lists: their rows
    int height = 1;               // lists: rows shown
    bool caption_only = false;    // a caption label of its own name; the next row stands beside it
};

Row bar(const char* name, const char* caption, int minimum, int maximum, int user_id = -1)
{
    return {Row::Bar, name, caption, user_id, minimum, maximum};
}
Row choice(const char* name, const char* caption, const char* rows, int user_id)
{
    return {Row::Choice, name, caption, user_id, 0, 0, rows};
}
Row list(const char* name, const char* caption, int height, int user_id)
{
    return {Row::List, name, caption, user_id, 0, 0, "-", height};
}
// A caption the screen may hide (its own element), the next row beside it.
Row caption(const char* name, const char* caption)
{
    Row r{Row::Text, name, caption};
    r.caption_only = true;
    return r;
}

struct Push {
    const char* name;
    const char* caption;
    int user_id;
    int command;
    int hot_key = 0;
};

struct OptionScreen {
    const char* name;
    const char* heading;
    std::vector<Row> rows;
    std::vector<Push> buttons;
};

// Text sections are named after the screen and the element, so that the
// twins, which share their rows, have sections of their own.
std::string section(const std::string& screen, const std::string& element)
{
    return "opt_" + screen + "_" + element;
}

const Push kOk = {"Ok", "OK", 1, kBack, kKeyEnter};

FormFileWriter option_screen(DemoMenuBuilder& kit, const OptionScreen& s)
{
    FormFileWriter file = screen_file(s.name);
    // The handlers keep a copy of what the screen edits until it is left.
    file.key("UserRelease", 1);
    image(file, "background", "art\\options.pcx", 0, 0, 640, 480);
    const std::string heading = section(s.name, "heading");
    kit.text(kMenuText, heading, s.heading);
    label(file, {.name = "heading", .left = 40, .top = 56, .width = 560, .height = kRowHeight,
                 .text_id = heading.c_str(), .alignment = "Center"});
    int top = kFirstRow;
    for (const Row& r : s.rows) {
        if (r.caption_only) {
            const std::string id = section(s.name, r.name);
            kit.text(kMenuText, id, r.caption);
            label(file, {.name = r.name, .left = kCaptionLeft, .top = top, .width = kCaptionWidth,
                         .height = kRowHeight, .text_id = id.c_str()});
            continue;
        }
        if (r.caption && r.caption[0]) {
            const std::string caption_id = section(s.name, std::string(r.name) + "_cap");
            const std::string caption_name = std::string("cap_") + r.name;
            kit.text(kMenuText, caption_id, r.caption);
            label(file, {.name = caption_name.c_str(), .left = kCaptionLeft, .top = top, .width = kCaptionWidth,
                         .height = kRowHeight, .text_id = caption_id.c_str()});
        }
        const std::string id = section(s.name, r.name);
        switch (r.kind) {
        case Row::Bar: {
            // The value at the bar's right, linked so that it follows the bar.
            const std::string value = std::string(r.name) + "_v";
            kit.text(kMenuText, id, "    ");
            file.begin("HScrollBar", r.name);
            file.key("LinkedTo", value);
            place(file, kControlLeft, top + 5, kBarWidth, kBarHeight);
            if (r.user_id >= 0)
                file.key("UserID", r.user_id);
            file.key("CursorWidth", kBarHeight).key("Graphic", "art\\bar_t.pcx");
            file.key("Max", r.maximum).key("Min", r.minimum).key("Step", 1).end();
            label(file, {.name = value.c_str(), .left = kValueLeft, .top = top, .width = 80, .height = kRowHeight,
                         .text_id = id.c_str()});
            break;
        }
        case Row::Choice:
        case Row::List:
            kit.text(kMenuText, id, r.rows);
            label(file, {.name = r.name, .left = kControlLeft, .top = top, .width = r.kind == Row::List ? 290 : 120,
                         .height = r.height * kRowHeight, .text_id = id.c_str(), .user_id = r.user_id});
            break;
        case Row::Text:
            kit.text(kMenuText, id, "-");
            label(file, {.name = r.name, .left = kControlLeft, .top = top, .width = 290, .height = kRowHeight,
                         .text_id = id.c_str()});
            break;
        }
        top += r.height * kRowHeight + 2;
    }
    int left = 40;
    int foot = kFoot;
    for (const Push& b : s.buttons) {
        const std::string id = section(s.name, b.name);
        kit.text(kMenuText, id, b.caption);
        button(file, {b.name, left, foot, kFootButtonWidth, 32, b.command, b.user_id, id.c_str(), kMenuText,
                      b.hot_key, "art\\dbtn"});
        left += kFootButtonStep;
        if (left + kFootButtonWidth > 600) {
            left = 40;
            foot -= 36;
        }
    }
    file.end();
    return file;
}

OptionScreen race_options(const char* name)
{
    return {name,
            "RACE OPTIONS",
            {bar("Scroll_com_01", "Race length", 0, 4), bar("Scroll_com_02", "Riders", 1, 17),
             bar("Scroll_com_03", "Rivals' skill", 0, 3), bar("Scroll_com_04", "Weather", 0, 3, 5),
             choice("com_05", "Rivals' pace", "EVEN\nVARIED", 4), choice("com_06", "Distances", "MILES\nKM", 6)},
            {kOk, {"Default", "DEFAULT", 2, kStay}}};
}

// The controls: one row per control with its binding, its "Set" button
// (which waits for the input to bind) and, for the first four, the rise and
// fall rates of their smoothing.
FormFileWriter controls_screen(DemoMenuBuilder& kit, const char* name)
{
    static const char* const captions[8] = {"Accelerator", "Brake",      "Steer left", "Steer right",
                                             "Shift up",    "Shift down", "Hang on",    "Look behind"};
    constexpr int kControlRow = 34, kTop = 112;
    FormFileWriter file = screen_file(name);
    file.key("UserRelease", 1);
    image(file, "background", "art\\options.pcx", 0, 0, 640, 480);
    const std::string heading = section(name, "heading");
    kit.text(kMenuText, heading, "CONTROLS");
    label(file, {.name = "heading", .left = 40, .top = 56, .width = 560, .height = kRowHeight,
                 .text_id = heading.c_str(), .alignment = "Center"});
    const std::string rates = section(name, "rates");
    kit.text(kMenuText, rates, "RISE     FALL");
    label(file, {.name = "cap_rates", .left = 450, .top = 84, .width = 160, .height = kRowHeight,
                 .text_id = rates.c_str()});
    const std::string set_text = section(name, "set");
    kit.text(kMenuText, set_text, "SET");
    for (int i = 0; i < 8; ++i) {
        const int top = kTop + i * kControlRow;
        char element[24];
        const std::string caption = section(name, "cap" + std::to_string(i + 1));
        kit.text(kMenuText, caption, captions[i]);
        std::snprintf(element, sizeof element, "cap_player1_%02d", i + 1);
        label(file, {.name = element, .left = kCaptionLeft, .top = top + 4, .width = 170, .height = kRowHeight,
                     .text_id = caption.c_str()});
        std::snprintf(element, sizeof element, "player1_%02d", i + 1);
        const std::string binding = section(name, element);
        kit.text(kMenuText, binding, "-");
        label(file, {.name = element, .left = 235, .top = top + 4, .width = 90, .height = kRowHeight,
                     .text_id = binding.c_str()});
        std::snprintf(element, sizeof element, "Set%d", i + 1);
        button(file, {element, 330, top, kSetButtonWidth, 32, kStay, 4 + i, set_text.c_str(), kMenuText, 0, "art\\dbtn"});
        if (i >= 4)
            continue;
        for (const auto& [end, left] : {std::pair<const char*, int>{"p", 450}, {"r", 530}}) {
            std::snprintf(element, sizeof element, "scroll_com_%02d%s", i + 1, end);
            file.begin("HScrollBar", element);
            place(file, left, top + 9, 70, kBarHeight);
            file.key("CursorWidth", kBarHeight).key("Graphic", "art\\bar_t.pcx");
            file.key("Max", 9).key("Min", 0).key("Step", 1).end();
        }
    }
    int left = 40;
    for (const Push& b : {kOk, Push{"Default", "DEFAULT", 2, kStay}, Push{"Undo", "UNDO", 3, kStay}}) {
        const std::string id = section(name, b.name);
        kit.text(kMenuText, id, b.caption);
        button(file, {b.name, left, kFoot, kSetButtonWidth, 32, b.command, b.user_id, id.c_str(), kMenuText,
                      b.hot_key, "art\\dbtn"});
        left += kFootButtonStep;
    }
    file.end();
    return file;
}

OptionScreen driving()
{
    return {"Opt0203",
            "DRIVING",
            {bar("Scroll_Com_01", "Front limiter", 0, 4), bar("Scroll_Com_02", "Rear limiter", 0, 4),
             bar("Scroll_Com_03", "Racing line", 0, 1), bar("Scroll_Com_04", "Realism  (0 custom)", 0, 4, 7),
             choice("Com_05", "Braking help", "OFF\nON", 4), caption("LBL_Com_06", "Steering help"),
             choice("Com_06", "", "ON\nOFF", 5), caption("LBL_Com_07", "Wrong way"),
             choice("Com_07", "", "ON\nOFF", 6), choice("Com_08", "Crashes", "ON\nOFF", 6),
             choice("Com_09", "Slide help", "OFF\nON", 6)},
            {kOk, {"Default", "DEFAULT", 2, kStay}}};
}

OptionScreen graphics(const char* name)
{
    return {name,
            "GRAPHICS",
            {list("view_com_01", "Resolution", 3, 3), bar("Scroll_com_01", "View distance (x100)", 1, 10),
             bar("Scroll_com_02", "Scenery detail", 0, 4), bar("Scroll_com_03", "Bike detail", 0, 2),
             bar("Scroll_com_04", "Shrink (x100)", 0, 2), bar("Scroll_com_10", "Detail  (0 custom)", 0, 4, 8),
             choice("Com_06", "Smoke", "ON\nOFF", 6), choice("Com_07", "Photoreal", "ON\nOFF", 7),
             choice("Com_08", "Dark lines", "ON\nOFF", 5), choice("Com_09", "Sky", "ON\nOFF", 4)},
            {kOk}};
}

OptionScreen audio(const char* name)
{
    return {name,
            "AUDIO",
            {choice("Com_01", "Sound", "OFF\nON", 4), bar("Scroll_com_02", "Sound volume", 0, 100, 7),
             choice("Com_03", "Music", "OFF\nON", 6), bar("Scroll_com_04", "Music volume", 0, 100, 8)},
            {kOk, {"Default", "DEFAULT", 2, kStay}, {"Undo", "UNDO", 3, kStay}}};
}

OptionScreen driver(const char* name)
{
    return {name,
            "DISPLAY DRIVER",
            {list("lbl_render_type", "Driver", 4, 4), list("lbl_render_info", "Device", 4, 5)},
            {{"Ok", "USE", 1, kStay, kKeyEnter}, {"Up", "UP", 3, kStay}, {"Down", "DOWN", 2, kStay}}};
}

// The arcade options' screen: a button per arcade option screen and the
// arcade replay list, each button's command the way to it.
FormFileWriter arcade_hub_screen(DemoMenuBuilder& kit)
{
    FormFileWriter file = screen_file("Aopt01");
    image(file, "background", "art\\options.pcx", 0, 0, 640, 480);
    kit.text(kMenuText, "opt_Aopt01_heading", "ARCADE OPTIONS");
    label(file, {.name = "heading", .left = 40, .top = 56, .width = 560, .height = kRowHeight,
                 .text_id = "opt_Aopt01_heading", .alignment = "Center"});
    // "Game" is the name the handler enables (the race options).
    const std::pair<const char*, const char*> buttons[] = {{"Game", "RACE OPTIONS"}, {"controls", "CONTROLS"},
                                                           {"graphics", "GRAPHICS"},   {"audio", "SOUND"},
                                                           {"display", "DISPLAY DRIVER"}, {"replays", "REPLAYS"}};
    int top = 100;
    int command = 1;
    for (const auto& [name, caption] : buttons) {
        const std::string id = section("Aopt01", name);
        kit.text(kMenuText, id, caption);
        button(file, {name, 200, top, 240, 36, command++, -1, id.c_str()});
        top += 44;
    }
    kit.text(kMenuText, "opt_Aopt01_back", "BACK");
    button(file, {"back", 200, 380, 240, 36, kBack, -1, "opt_Aopt01_back"});
    file.end();
    return file;
}

} // namespace

void add_option_screens(DemoMenuBuilder& kit)
{
    const OptionScreen screens[] = {
        race_options("Opt0201"), race_options("AOpt0201"), driving(),       graphics("Opt0204"),
        graphics("aOpt0204"),    audio("Opt0205"),        audio("aOpt0205"), driver("Opt02d"),
        driver("aOpt02d"),
    };
    for (const OptionScreen& s : screens)
        kit.screen(s.name, option_screen(kit, s));
    for (const char* name : {"Opt0202", "AOpt0202"})
        kit.screen(name, controls_screen(kit, name));

    // The simulation options at 110 to 115, each back to the main menu; the
    // arcade twins at 120 to 125 (no driving twin), each back to the arcade
    // options' screen.
    DemoMenuBuilder::Set& menu = kit.set("menu");
    const std::pair<int, const char*> states[] = {
        {110, "Opt0201"}, {111, "Opt0202"}, {112, "Opt0203"}, {113, "Opt0204"}, {114, "Opt0205"}, {115, "Opt02d"},
    };
    for (const auto& [state, screen] : states)
        menu.state(state, screen).go(state, kBack, kDemoMainMenuState);
    const std::pair<int, const char*> twins[] = {
        {120, "AOpt0201"}, {121, "AOpt0202"}, {123, "aOpt0204"}, {124, "aOpt0205"}, {125, "aOpt02d"},
    };
    for (const auto& [state, screen] : twins)
        menu.state(state, screen).go(state, kBack, kArcadeOptionsState);
    // The arcade options' screen, from the arcade menu (2): its buttons lead
    // to the twins and the arcade replay list (131, the files group's).
    kit.screen("Aopt01", arcade_hub_screen(kit));
    menu.state(kArcadeOptionsState, "Aopt01").go(kArcadeOptionsState, kBack, kArcadeMenuState);
    const std::pair<int, int> arcade_leads[] = {{1, 120}, {2, 121}, {3, 123}, {4, 124}, {5, 125}, {6, 131}};
    for (const auto& [command, state] : arcade_leads)
        menu.go(kArcadeOptionsState, command, state);

    // The options' screen called from the in-session menus (92, the weekend
    // group's): its controls, graphics and sound lead to their screens at
    // 93 to 95, each back to 92, whose Esc then goes back to the session.
    // (The race options and driving are disabled there; the display driver
    // and the replays too: the race holds the display, and a replay would
    // start a race from the session.)
    const std::pair<int, const char*> in_session[] = {{93, "Opt0202"}, {94, "Opt0204"}, {95, "Opt0205"}};
    int command = 3;
    for (const auto& [state, screen] : in_session)
        menu.state(state, screen).go(state, kBack, kInSessionOptionsState).go(kInSessionOptionsState, command++, state);
    // The main menu's "Options" leads to the options' screen, whose buttons
    // lead to the race options, driving, controls, graphics, sound, display
    // driver and the replay list, each back to the main menu.
    menu.state(kDemoOptionsState, "option01")
        .go(kDemoMainMenuState, kDemoOptionsCommand, kDemoOptionsState)
        .go(kDemoOptionsState, kBack, kDemoMainMenuState);
    const std::pair<int, int> leads[] = {{1, 110}, {2, 112}, {3, 111}, {4, 113}, {5, 114}, {6, 115}, {7, 80}};
    for (const auto& [command, state] : leads)
        menu.go(kDemoOptionsState, command, state);

    kit.files([](const std::filesystem::path& root, std::string& error) {
        ScreenLook look{"", "Enter OK     Esc back", 24, 48, 592, 392};
        return write_screen_background(root / "menu" / "art" / "options.pcx", look, error);
    });
}

} // namespace datakit
