// Plain screens for the states whose own screens are still to come: the
// set-up screens ("game04" and the team's letter), the set-up files, the
// telemetry browser and plot, and the dialogues of "menudial".
// Each holds the elements its handlers name, laid out in a simple grid
// under a heading, so that every path through the screens finds what it
// looks for; their own looks come with their handlers.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

constexpr int kRowHeight = 21;
constexpr int kBack = 0, kOk = 1;
constexpr int kToTelemetry = 5;  // the set-up screen's way to the telemetry browser (demo_screens_telemetry.cpp)

// What a plain screen holds, element by element.
enum class Kind {
    Text,    // a label with one line of text
    List,    // a label of several rows (a list the player picks from)
    Edit,    // an editable one-row label
    Bar,     // a horizontal scroll bar
    Sprite,  // an image strip
    Button,  // a command button
};

struct Element {
    Kind kind;
    std::string name;
    int user_id = -1;
    int command = kBack;   // buttons: their command; bars: their maximum
    int group = -1;
    int minimum = 0;       // bars
    int step = 1;          // bars
    std::string strip = "art\\dot";  // sprites
};

Element text(std::string name, int group = -1)
{
    return {Kind::Text, std::move(name), -1, 0, group};
}
Element list(std::string name, int user_id = -1)
{
    return {Kind::List, std::move(name), user_id};
}
Element edit(std::string name)
{
    return {Kind::Edit, std::move(name)};
}
Element bar(std::string name, int minimum, int maximum, int step = 1, int user_id = -1, int group = -1)
{
    Element e{Kind::Bar, std::move(name), user_id, maximum, group};
    e.minimum = minimum;
    e.step = step;
    return e;
}
Element sprite(std::string name, std::string strip = "art\\dot", int group = -1)
{
    Element e{Kind::Sprite, std::move(name), -1, 0, group};
    e.strip = std::move(strip);
    return e;
}
Element push(std::string name, int user_id, int command = -1)
{
    // A button without a transition of its own: command 2 leaves the state
    // as it is.
    return {Kind::Button, std::move(name), user_id, command < 0 ? 2 : command};
}

constexpr int kDialoguePages = 10;
constexpr int kBarWidth = 200, kBarHeight = 14;

// A button's caption from its element name: "multi_button_join" reads
// "JOIN".
std::string caption(const std::string& name)
{
    std::string text = name.rfind("multi_button_", 0) == 0 ? name.substr(13) : name;
    for (char& c : text)
        c = c == '_' ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

struct Plain {
    std::string name;
    std::string heading;
    std::vector<Element> elements;
    bool dialogue = false;  // a dialogue panel with Yes and No
    bool release = false;   // its handler frees what it keeps when it is left ("UserRelease")
};

// The text sections the plain screens share.
void texts(DemoMenuBuilder& kit)
{
    for (const auto& [id, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"pln_back", "Back"}, {"pln_list", "-\n-\n-"},
             {"pln_item", "-"}})
        kit.text(kMenuText, id, text);
    for (const auto& [id, text] :
         std::initializer_list<std::pair<const char*, const char*>>{{"pln_yes", "Yes"}, {"pln_no", "No"}})
        kit.text(kDialogueText, id, text);
}

// The screen file: the shared background, the heading, the elements in two
// columns of rows (elements of a group share the rows of their group), the
// buttons in a row at the foot, and "Back" (or, for a dialogue, "Yes" and
// "No").
FormFileWriter plain_screen(DemoMenuBuilder& kit, const Plain& p)
{
    FormFileWriter file = screen_file(p.name);
    if (p.release)
        file.key("UserRelease", 1);
    const std::string heading_id = "pln_h_" + p.name;
    kit.text(p.dialogue ? kDialogueText : kMenuText, heading_id, p.heading);
    if (p.dialogue) {
        image(file, "panel", "art\\dialog.pcx", 120, 150, 400, 180);
    } else {
        image(file, "background", "art\\plain.pcx", 0, 0, 640, 480);
    }
    // A dialogue fits its panel (120, 150, 400 x 180, its caption at the
    // top): two columns of three rows, lists one row high.
    const int top = p.dialogue ? 178 : 60;
    const int left = p.dialogue ? 140 : 40;
    const int column_width = p.dialogue ? 175 : 280;
    label(file, {.name = "title", .left = left, .top = top, .width = p.dialogue ? 360 : 560,
                 .height = kRowHeight, .text_id = heading_id.c_str(), .text_file = p.dialogue ? kDialogueText : kMenuText,
                 .alignment = "Center"});

    std::vector<const Element*> buttons;
    int row_of_group[64] = {};
    const int per_column = p.dialogue ? 3 : 16;
    // The groups' rows start at the top of the first column; on a screen
    // with groups the elements of none stand in the second column, so that
    // they do not lie over the groups' rows (the set-up's sliders).
    const bool grouped = std::any_of(p.elements.begin(), p.elements.end(), [](const Element& e) { return e.group >= 0; });
    int plain_row = grouped ? per_column : 0;
    for (const Element& e : p.elements) {
        if (e.kind == Kind::Button) {
            buttons.push_back(&e);
            continue;
        }
        int& row = e.group >= 0 && e.group < 64 ? row_of_group[e.group] : plain_row;
        // A list takes three rows, a logo (24 pixels high) two.
        const bool logo = e.kind == Kind::Sprite && e.strip == "art\\logo";
        const int rows = !p.dialogue && e.kind == Kind::List ? 3 : logo ? 2 : 1;
        const int column = (row / per_column) % 2;
        const int x = left + column * (column_width + 10);
        const int y = top + 30 + (row % per_column) * (kRowHeight + 2);
        // A dialogue's single element spans the panel.
        const bool wide = p.dialogue && p.elements.size() <= 2;
        const int w = wide ? 360 : column_width - 10;
        row += rows;
        const char* name = e.name.c_str();
        switch (e.kind) {
        case Kind::Text:
            if (e.name == "dlg_message") {
                // The question of the dialogue's state: one page per state's
                // last digit.
                const std::string pages = "dq_" + p.name;
                label(file, {.name = name, .left = x, .top = y, .width = w, .height = 2 * kRowHeight,
                             .text_id = pages.c_str(), .pages = kDialoguePages, .text_file = kDialogueText,
                             .alignment = "Center"});
                row += 1;
                break;
            }
            label(file, {.name = name, .left = x, .top = y, .width = w, .height = kRowHeight, .text_id = "pln_item",
                         .group = e.group, .visible_in_state = e.group > 1 ? -1 : 0});
            break;
        case Kind::List:
            label(file, {.name = name, .left = x, .top = y, .width = w, .height = rows * kRowHeight,
                         .text_id = "pln_list", .user_id = e.user_id});
            break;
        case Kind::Edit:
            file.begin("Label", name);
            place(file, x, y, w, kRowHeight);
            file.key("FontName", kDemoMenuFont).key("FontType", "gamefont");
            file.key("Alignment", "Left").key("Editable", 64).key("TextCount", 1);
            file.key("TextFile", kMenuText).key("TextID", "pln_item").end();
            break;
        case Kind::Bar:
            file.begin("HScrollBar", name);
            if (e.group >= 0)
                file.key("Group", e.group);
            place(file, x, y + 4, kBarWidth, kBarHeight);
            if (e.user_id >= 0)
                file.key("UserID", e.user_id);
            // Pages after the first start hidden.
            if (e.group > 1)
                file.key("VisibleInState", -1);
            file.key("CursorWidth", kBarHeight).key("Graphic", "art\\bar_t.pcx");
            file.key("Max", e.command).key("Min", e.minimum).key("Step", e.step).end();
            break;
        case Kind::Sprite:
            file.begin("Image", name);
            if (e.group >= 0)
                file.key("Group", e.group);
            if (e.group > 1)
                file.key("VisibleInState", -1);
            // The strip's frames are the image's size.
            if (logo)
                place(file, x, y, 96, 24);
            else
                place(file, x, y, 16, 16);
            file.key_bool("Animated", false).key("Graphic", e.strip).end();
            break;
        case Kind::Button:
            break;
        }
    }
    // The buttons at the foot, then the way back.
    int foot = p.dialogue ? 290 : 400;
    int x = left;
    const int button_width = 120;  // the button picture's width
    for (const Element* b : buttons) {
        const std::string text_id = "pln_b_" + p.name + "_" + b->name;
        const char* file_of_text = p.dialogue ? kDialogueText : kMenuText;
        kit.text(file_of_text, text_id, caption(b->name));
        button(file, {b->name.c_str(), x, foot, button_width, 32, b->command, b->user_id, text_id.c_str(),
                      file_of_text, 0, "art\\dbtn"});
        x += button_width + 6;
        // A second row above the first when the foot is full.
        if (x + button_width > (p.dialogue ? 500 : 490)) {
            x = left;
            foot -= 36;
        }
    }
    if (p.dialogue) {
        button(file, {"yes", 170, 290, 120, 32, kOk, 1, "pln_yes", kDialogueText, kKeyY, "art\\dbtn"});
        button(file, {"no", 350, 290, 120, 32, kBack, -1, "pln_no", kDialogueText, kKeyN, "art\\dbtn"});
    } else {
        button(file, {"back", 500, 440 - 36, 120, 32, kBack, -1, "pln_back", kMenuText, kKeyEnter, "art\\dbtn"});
    }
    file.end();
    return file;
}

// The set-up screens, one per team letter: the 24 sliders on four pages
// (groups 1 frame, 2 transmission, 3 suspension, 4 tyres).
Plain setup_screen(const std::string& letter)
{
    struct Slider {
        int minimum, maximum, page;
    };
    const Slider sliders[24] = {{0, 10, 1}, {0, 10, 1}, {14, 16, 1}, {36, 41, 1}, {1, 50, 2}, {1, 50, 2},
                                {1, 50, 2}, {1, 50, 2}, {1, 50, 2}, {1, 50, 2}, {0, 10, 4}, {8, 11, 4},
                                {4, 12, 3}, {5, 10, 3}, {1, 5, 3},  {1, 5, 3},  {1, 5, 3},  {1, 5, 3},
                                {1, 5, 3},  {1, 5, 3},  {1, 5, 3},  {1, 5, 3},  {0, 4, 4},  {2, 11, 2}};
    std::vector<Element> e = {sprite("sprite_bike_logo", "art\\logo"), text("lbl_setting")};
    const char* titles[4][3] = {{"lbl_title_cicl", "sprite_cicl", nullptr},
                                {"lbl_title_transmissions", "sprite_transm", nullptr},
                                {"lbl_title_suspensions", "sprite_fsusp", "sprite_rsusp"},
                                {"lbl_title_tires", "sprite_ftire", "sprite_rtire"}};
    for (int page = 0; page < 4; ++page) {
        e.push_back(text(titles[page][0], page + 1));
        e.push_back(sprite(titles[page][1], "art\\dot", page + 1));
        if (titles[page][2])
            e.push_back(sprite(titles[page][2], "art\\dot", page + 1));
    }
    for (const char* name : {"sprite_redbar_1", "sprite_redbar_2", "left_arrow", "right_arrow",
                             "sprite_bike_transparent"})
        e.push_back(sprite(name));
    for (int s = 0; s < 24; ++s) {
        char name[16];
        std::snprintf(name, sizeof name, "scroll%02d", s);
        // The six gear sliders report their moves (UserIDs 9 to 14).
        const int user_id = s >= 4 && s <= 9 ? 5 + s : -1;
        e.push_back(bar(name, sliders[s].minimum, sliders[s].maximum, 1, user_id, sliders[s].page));
    }
    for (int page = 0; page < 4; ++page)
        e.push_back(push("Page" + std::to_string(page + 1), page));
    e.push_back(push("Store", 4));
    e.push_back(push("Load", 7));
    e.push_back(push("Save", 8));
    e.push_back(push("Telemetry", -1, kToTelemetry));
    return {"game04" + letter, "BIKE SET-UP", e};
}

std::vector<Plain> plain_screens()
{
    std::vector<Plain> screens;
    // One per team letter, and "game04" itself for a championship without
    // a player's rider (the name the menus load then).
    for (const char* letter : {"d", "k", "y", "h", "s", ""})
        screens.push_back(setup_screen(letter));
    // "Ok" saves or loads and, done, goes back to the set-up (command 0
    // returns from the called state; a refused file keeps the screen).
    screens.push_back({"game05", "SET-UP FILES",
                       {sprite("sprite_bike_logo", "art\\logo"), sprite("file_var", "art\\logo"), list("lbl_file"),
                        list("lbl_Rider"), list("lbl_Track"), push("Ok", 1, kBack), push("Delete", 2)},
                       false, true});
    screens.push_back({"standin", "NOT IN THIS VERSION YET", {text("info")}});
    return screens;
}

// The dialogues of "menudial": the questions and notices (each state picks
// the page of "dlg_message", by the dialogues' rule: below 30 the state's
// last digit), the lap and file-name editors.
std::vector<Plain> dialogue_screens()
{
    return {
        {"dlg06", "NOTICE", {text("dlg_message")}, true},
        {"dlg07", "RENAME LAP", {text("dlg_message"), edit("DLG_Data")}, true},
        {"dlg08", "FILE NAME", {text("dlg_message"), edit("DLG_data")}, true},
        {"dlg09", "QUESTION", {text("dlg_message")}, true},
    };
}

} // namespace

void add_plain_screens(DemoMenuBuilder& kit)
{
    texts(kit);
    for (const Plain& p : plain_screens())
        kit.screen(p.name, plain_screen(kit, p));
    for (const Plain& p : dialogue_screens())
        kit.screen(p.name, plain_screen(kit, p));

    DemoMenuBuilder::Set& menu = kit.set("menu");
    const std::pair<int, const char*> states[] = {
        // the set-up (called from the in-session menus), its files, the
        // telemetry and its plot
        {82, "game04"}, {97, "game05"}, {98, "game05"},
    };
    for (const auto& [state, screen] : states)
        menu.state(state, screen);

    // Every other state the game's screens reach or set shows a stand-in
    // until the group that owns it gives it its screen; Esc goes back to
    // the main menu.
    std::vector<int> stand_ins = {2, 4, 9, 29, 43, 50, 92, 104, 105, 304, 309, 321, 328, 369, 370, 376, 377};
    // The team decades, each with its circuit after it (a network weekend's
    // teams, 332-336, lead to the circuit at 327: there is no 337).
    for (int decade : {20, 30, 40, 320, 330, 340})
        for (int unit = decade % 100 == 40 ? 4 : 2; unit <= (decade % 100 == 40 ? 8 : 7); ++unit)
            if (decade + unit != 337)
                stand_ins.push_back(decade + unit);
    for (int state = 63; state <= 80; ++state)
        stand_ins.push_back(state);
    for (int state : stand_ins)
        menu.stand_in(state, "standin", {{kBack, kDemoMainMenuState}});

    // "menudial": each question ends the set with its answer.
    DemoMenuBuilder::Set& dialogues = kit.set("menudial");
    const std::pair<int, const char*> questions[] = {
        {11, "dlg09"}, {12, "dlg09"}, {14, "dlg09"}, {15, "dlg09"}, {16, "dlg09"}, {17, "dlg09"},
        {18, "dlg09"}, {19, "dlg09"}, {26, "dlg06"}, {27, "dlg06"}, {29, "dlg06"}, {32, "dlg06"}, {33, "dlg06"},
        {34, "dlg06"}, {35, "dlg06"}, {40, "dlg07"}, {41, "dlg08"}, {50, "dlg06"}};
    for (const auto& [state, screen] : questions)
        dialogues.state(state, screen).go(state, kOk, kDemoEndState).go(state, kBack, kDemoEndState);

    // The pages of the dialogues' messages, by the state's last digit
    // (dlg06: 32 and 34 page 0, 2 for a host, 3 for a joined player; 33 and
    // 35 page 1; 50 page 4).
    const std::pair<const char*, std::vector<const char*>> pages[] = {
        {"dlg06", {"The championship is saved.", "Please type a name\nfor the championship.",
                   "Saved. The players\nwait for the next race.", "The session has ended.", "Time is up.", "",
                   "Delete this arcade\nchampionship?", "Leave the arcade\nchampionship?", "",
                   "End the session\nfor every player?"}},
        {"dlg07", {"Type the lap's new name"}},
        {"dlg08", {"Type the file's name"}},
        {"dlg09", {"", "End this practice\nand go back?", "End this qualifying\nand go back?", "",
                   "Leave the first race?", "Leave the second race?", "Delete this file?",
                   "Leave the championship?", "End the warm-up\nand go back?", "Leave the weekend?"}},
    };
    for (const auto& [screen, texts] : pages)
        for (int page = 0; page < kDialoguePages; ++page) {
            char id[32];
            std::snprintf(id, sizeof id, "dq_%s%02d", screen, page);
            const char* text = page < static_cast<int>(texts.size()) && texts[static_cast<std::size_t>(page)][0]
                                   ? texts[static_cast<std::size_t>(page)]
                                   : "Are you sure?";
            kit.text(kDialogueText, id, text);
        }

    // The pictures the plain screens show until their own come.
    kit.files([](const std::filesystem::path& root, std::string& error) {
        return write_plain_sprites(root / "menu" / "art", error);
    });

    kit.files([](const std::filesystem::path& root, std::string& error) {
        ScreenLook look{"", "Enter back     Esc back", 24, 52, 592, 384};
        return write_screen_background(root / "menu" / "art" / "plain.pcx", look, error);
    });
}

} // namespace datakit
