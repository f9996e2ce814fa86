// The screens that list files: the championship saves ("Sim03" for the
// simulation championships at 6 delete, 7 load, 8 create; "Arcade06" for
// the arcade ones at 40 create, 41 load, 42 delete) and the replay list
// ("option03" at 80, the state the menus come back to after a replay;
// "aopt03" at 131), and the page browser ("Explorer" at 900) with its pages
// "browser\Brows<nn>.dat". Each list is a table of linked column lists over the files
// background, with its buttons at the foot.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

constexpr int kBack = 0, kOn = 1, kStay = 2;
constexpr int kRowHeight = 21;
constexpr int kTableTop = 150, kTableRows = 10;
constexpr int kFoot = 400;

// States the screens lead to: the championship start that keeps a new
// championship (43), the arcade championship's race screen (9).
constexpr int kKeepNewChampionship = 43;
constexpr int kGameModeState = 20, kChampionshipStart = 38, kArcadeMenuState = 2;
constexpr int kArcadeOptionsState = 130;  // "Aopt01"
constexpr int kReplayState = 80, kArcadeReplayState = 131;
constexpr int kPageBrowserState = 900;

struct Column {
    const char* name;
    const char* header;
    int left, width;
};

struct Push {
    const char* name;
    const char* caption;
    int user_id;
    int command;
    int hot_key = 0;
};

struct TableScreen {
    const char* name;
    std::vector<Column> columns;
    std::vector<Push> buttons;
    // Captions by use (a label of three pages: create, load, delete).
    bool captions = false;
};

std::string section(const std::string& screen, const std::string& element)
{
    return "fil_" + screen + "_" + element;
}

FormFileWriter table_screen(DemoMenuBuilder& kit, const TableScreen& s)
{
    FormFileWriter file = screen_file(s.name);
    // The handlers keep the listed file names until the screen is left.
    file.key("UserRelease", 1);
    image(file, "background", "art\\files.pcx", 0, 0, 640, 480);
    if (s.captions) {
        // The use's heading, its title and its hint: one page per use.
        const char* pages[3][3] = {{"NEW CHAMPIONSHIP", "Type its name", "Enter to start it"},
                                   {"LOAD A CHAMPIONSHIP", "Choose the save", "Enter to load it"},
                                   {"DELETE A CHAMPIONSHIP", "Choose the save", "Enter to delete it"}};
        const char* names[3] = {"Title", "Label_Title", "Text"};
        for (int l = 0; l < 3; ++l) {
            const std::string id = section(s.name, names[l]);
            for (int page = 0; page < 3; ++page)
                kit.text(kMenuText, id + "0" + std::to_string(page), pages[page][l]);
            label(file, {.name = names[l], .left = 40, .top = 50 + 24 * l, .width = 560, .height = kRowHeight,
                         .text_id = id.c_str(), .pages = 3, .alignment = "Center"});
        }
        file.begin("Image", "File_Var");
        place(file, 40, 56, 16, 16);
        file.key_bool("Animated", false).key("Graphic", "art\\dot").end();
    } else {
        const std::string id = section(s.name, "heading");
        kit.text(kMenuText, id, "REPLAYS");
        label(file, {.name = "heading", .left = 40, .top = 56, .width = 560, .height = kRowHeight,
                     .text_id = id.c_str(), .alignment = "Center"});
    }
    for (std::size_t c = 0; c < s.columns.size(); ++c) {
        const Column& col = s.columns[c];
        const std::string header = section(s.name, std::string(col.name) + "_hdr");
        const std::string header_name = std::string("hdr_") + col.name;
        kit.text(kMenuText, header, col.header);
        label(file, {.name = header_name.c_str(), .left = col.left, .top = kTableTop - 24, .width = col.width,
                     .height = kRowHeight, .text_id = header.c_str()});
        const std::string rows = section(s.name, col.name);
        kit.text(kMenuText, rows, "-");
        // Linked in a ring from the first, so that the columns share the
        // row the player picks; the first reports the pick.
        const char* next = c + 1 < s.columns.size() ? s.columns[c + 1].name : nullptr;
        label(file, {.name = col.name, .left = col.left, .top = kTableTop, .width = col.width,
                     .height = kTableRows * kRowHeight, .text_id = rows.c_str(), .user_id = c == 0 ? 9 : -1,
                     .linked_to = next});
    }
    int left = 40;
    for (const Push& b : s.buttons) {
        const std::string id = section(s.name, b.name);
        kit.text(kMenuText, id, b.caption);
        button(file, {b.name, left, kFoot, 120, 32, b.command, b.user_id, id.c_str(), kMenuText, b.hot_key,
                      "art\\dbtn"});
        left += 126;
    }
    file.end();
    return file;
}

// The page browser: a heading and its three buttons; the pages stand over
// the middle of the screen.
FormFileWriter explorer_screen(DemoMenuBuilder& kit)
{
    FormFileWriter file = screen_file("Explorer");
    image(file, "background", "art\\files.pcx", 0, 0, 640, 480);
    kit.text(kMenuText, "brw_heading", "INFORMATION");
    label(file, {.name = "heading", .left = 40, .top = 56, .width = 560, .height = kRowHeight,
                 .text_id = "brw_heading", .alignment = "Center"});
    const Push buttons[] = {{"Contents", "CONTENTS", 0, kStay}, {"Previous", "< BACK", 903, kStay, kKeyLeft},
                            {"Forward", "FORWARD >", 902, kStay, kKeyRight}};
    int left = 40;
    for (const Push& b : buttons) {
        const std::string id = std::string("brw_") + b.name;
        kit.text(kMenuText, id, b.caption);
        button(file, {b.name, left, kFoot, 120, 32, b.command, b.user_id, id.c_str(), kMenuText, b.hot_key,
                      "art\\dbtn"});
        left += 126;
    }
    file.end();
    return file;
}

// One page: a window over the middle of the screen (its first child the
// tiled backdrop), its text, and buttons to the pages it leads to.
struct Page {
    int number;
    std::string text;
    std::vector<std::pair<std::string, int>> links;  // caption, page
};

std::vector<Page> pages()
{
    std::vector<Page> all;
    all.push_back({0,
                   "TORVANE\n\nTwelve circuits, five racing teams.\nChoose a subject.",
                   {{"CIRCUITS", 51}, {"RIDERS", 63}}});
    const char* tracks[12] = {"ISLAND", "MISANO", "DONIGTON", "HOCKEN", "MONZA", "LAGUNA",
                              "BRANDS", "A1RING", "ASSEN", "ALBACETE", "SUGO", "SENTUL"};
    for (int event = 0; event < 12; ++event)
        all.push_back({51 + event,
                       std::string("ROUND ") + std::to_string(event + 1) + "\n\n" + tracks[event],
                       {{"NEXT CIRCUIT", 51 + (event + 1) % 12}, {"CONTENTS", 0}}});
    all.push_back({63, "THE RIDERS\n\nFive teams race the season.", {{"CONTENTS", 0}}});
    all.push_back({70, "THE TEAMS", {{"CONTENTS", 0}}});
    return all;
}

void write_pages(DemoMenuBuilder& kit)
{
    for (const Page& p : pages()) {
        char id[16];
        std::snprintf(id, sizeof id, "brw_%02d", p.number);
        kit.text(kMenuText, id, p.text);
        for (std::size_t l = 0; l < p.links.size(); ++l)
            kit.text(kMenuText, std::string(id) + "_" + std::to_string(l), p.links[l].first);
    }
    kit.files([](const std::filesystem::path& root, std::string& error) {
        for (const Page& p : pages()) {
            char name[16], id[16];
            std::snprintf(name, sizeof name, "Brows%02d", p.number);
            std::snprintf(id, sizeof id, "brw_%02d", p.number);
            FormFileWriter page = screen_file(name);
            page.key("WinHeight", 300).key("WinWidth", 560).key("ClipHeight", 300).key("ClipLeft", 40);
            page.key("ClipTop", 90).key("ClipWidth", 560);
            image(page, "backdrop", "art\\panel.pcx", 40, 90, 560, 300);
            label(page, {.name = "page_text", .left = 60, .top = 110, .width = 520, .height = 200, .text_id = id,
                         .alignment = "Center"});
            int left = 60;
            for (std::size_t l = 0; l < p.links.size(); ++l) {
                const std::string caption = std::string(id) + "_" + std::to_string(l);
                const std::string button_name = "page_" + std::to_string(l);
                button(page, {button_name.c_str(), left, 340, 150, 32, kStay, p.links[l].second, caption.c_str(),
                              kMenuText, 0, "art\\dbtn"});
                left += 160;
            }
            page.end();
            if (!page.write(root / "menu" / "browser" / (std::string(name) + ".dat"), error))
                return false;
        }
        return true;
    });
    kit.files([](const std::filesystem::path& root, std::string& error) {
        ScreenLook look{"", "", 0, 0, 560, 300};
        return write_screen_background(root / "menu" / "art" / "panel.pcx", look, error);
    });
}

} // namespace

void add_file_screens(DemoMenuBuilder& kit)
{
    const TableScreen screens[] = {
        {"Sim03",
         {{"lbl_champ", "CHAMPIONSHIP", 40, 260}, {"lbl_Race", "ROUNDS", 310, 90}, {"lbl_position", "PLACE", 410, 90},
          {"lbl_points", "POINTS", 510, 90}},
         {{"Ok", "OK", 1, kOn, kKeyEnter}},
         true},
        {"Arcade06",
         {{"lbl_file", "CHAMPIONSHIP", 40, 260}, {"lbl_race", "ROUNDS", 310, 90}, {"lbl_pos", "PLACE", 410, 90},
          {"lbl_points", "POINTS", 510, 90}},
         {{"Ok", "OK", 1, kOn, kKeyEnter}},
         true},
        {"option03",
         {{"lbl_Rider", "RIDER", 40, 200}, {"lbl_Circuit", "CIRCUIT", 250, 140}, {"lbl_time", "LENGTH", 400, 100},
          {"lbl_best_lap", "BEST LAP", 510, 100}},
         {{"Play", "PLAY", 1, kOn, kKeyEnter}, {"Delete", "DELETE", 2, kStay}}},
        {"aopt03",
         {{"lbl_Rider", "RIDER", 40, 200}, {"lbl_Circuit", "CIRCUIT", 250, 140}, {"lbl_time", "LENGTH", 400, 100},
          {"lbl_best_lap", "BEST LAP", 510, 100}},
         {{"Play", "PLAY", 1, kOn, kKeyEnter}, {"Delete", "DELETE", 2, kStay}}},
    };
    for (const TableScreen& s : screens)
        kit.screen(s.name, table_screen(kit, s));

    // Esc goes back where each use is reached from: the game mode (20) for
    // loading and deleting, the championship start (38) for naming a new
    // one, the arcade menu (2) for the arcade saves.
    DemoMenuBuilder::Set& menu = kit.set("menu");
    for (const auto& [state, back] : {std::pair{6, kGameModeState}, {7, kGameModeState}, {8, kChampionshipStart}})
        menu.state(state, "Sim03").go(state, kBack, back);
    for (int state : {40, 41, 42})
        menu.state(state, "Arcade06").go(state, kBack, kArcadeMenuState);
    // A new championship goes on to its start; a loaded one to its sessions
    // or standings (the screen's own step); a deleted save leaves the list.
    // (A new arcade championship's "Ok" leads to its bike choice: the
    // arcade group's.)
    menu.go(8, kOn, kKeepNewChampionship);
    // A chosen replay ends the menus (the replay runs), and they come back
    // to the list.
    menu.state(kReplayState, "option03").go(kReplayState, kOn, kDemoEndState).go(kReplayState, kBack,
                                                                                  kDemoMainMenuState);
    // The arcade twin likewise (the menus resume in it after the replay);
    // Esc goes back to the arcade options.
    menu.state(kArcadeReplayState, "aopt03")
        .go(kArcadeReplayState, kOn, kDemoEndState)
        .go(kArcadeReplayState, kBack, kArcadeOptionsState);

    // The page browser is called with its first page; Esc goes back.
    kit.screen("Explorer", explorer_screen(kit));
    menu.state(kPageBrowserState, "Explorer");
    write_pages(kit);

    kit.files([](const std::filesystem::path& root, std::string& error) {
        ScreenLook look{"", "Up / Down choose     Enter OK     Esc back", 24, 48, 592, 392};
        return write_screen_background(root / "menu" / "art" / "files.pcx", look, error);
    });
}

} // namespace datakit
