#include "tools/datakit/demo_menus.h"

#include <string_view>
#include <utility>

#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/form_file_writer.h"
#include "tools/datakit/text_file_builder.h"

namespace datakit {

namespace {

constexpr const char* kMenuFont = kDemoMenuFont;
constexpr const char* kMenuText = "MenuText.txt";
constexpr const char* kDialogueText = "DlgText.txt";
constexpr int kDialoguePages = 5;

// Key codes of the hot keys.
constexpr int kKeyEnter = 28, kKeyLeft = 203, kKeyRight = 205, kKeyQ = 16, kKeyY = 21, kKeyN = 49;


void place(FormFileWriter& file, int left, int top, int width, int height)
{
    file.key("PixHeight", height).key("PixLeft", left).key("PixTop", top).key("PixWidth", width);
}

FormFileWriter screen_file(const std::string& name)
{
    FormFileWriter file = FormFileWriter::screen();
    FormProperties form;
    form.name = name;
    file.form(form);
    return file;
}

void image(FormFileWriter& file, const char* name, const std::string& graphic, int left, int top, int width,
           int height)
{
    file.begin("Image", name);
    place(file, left, top, width, height);
    file.key_bool("Animated", false).key("Graphic", graphic).end();
}

struct Button {
    const char* name;
    int left, top, width, height;
    int command;
    int user_id = -1;      // -1: none
    const char* text_id = nullptr;
    const char* text_file = kMenuText;
    int hot_key = 0;       // 0: none
    const char* graphic = "art\\btn";
    const char* linked_to = nullptr;
};

// A text button in the menu font, its keys in the order the reader asks
// for them (the control's, the font's, the label's, the button's own).
void button(FormFileWriter& file, const Button& b)
{
    file.begin("CommandButton", b.name);
    if (b.linked_to)
        file.key("LinkedTo", b.linked_to);
    place(file, b.left, b.top, b.width, b.height);
    if (b.user_id >= 0)
        file.key("UserID", b.user_id);
    file.key("FontName", kMenuFont).key("FontType", "gamefont");
    if (b.text_id)
        file.key("TextFile", b.text_file).key("TextID", b.text_id);
    file.key("Command", b.command);
    if (b.graphic)
        file.key("Graphic", b.graphic);
    if (b.hot_key)
        file.key("HotKey", b.hot_key);
    file.end();
}

FormFileWriter main_menu_screen()
{
    FormFileWriter file = screen_file("start01");
    image(file, "background", "art\\start01.pcx", 0, 0, 640, 480);
    // "Arcade race" comes first, so it has the focus when the screen opens.
    button(file, {"arcade", 56, 264, 240, 40, kDemoArcadeCommand, -1, "arcade"});
    button(file, {"quit", 56, 316, 240, 40, 0, 0, "quit", kMenuText, kKeyQ});
    file.end();
    return file;
}

FormFileWriter arcade_track_screen()
{
    FormFileWriter file = screen_file("Arcade04");
    image(file, "background", "art\\arcade04.pcx", 0, 0, 640, 480);
    image(file, "track", kDemoTrackStrip, 160, 104, kDemoTrackWidth, kDemoTrackHeight);
    // Every button tells the screen which circuit the strip shows.
    button(file, {"prev", 88, 200, 48, 48, -3, 1, "prev", kMenuText, kKeyLeft, "art\\sbtn", "track"});
    button(file, {"next", 504, 200, 48, 48, -2, 2, "next", kMenuText, kKeyRight, "art\\sbtn", "track"});
    button(file, {"go", 200, 380, 240, 40, kDemoRaceCommand, 3, "go", kMenuText, kKeyEnter});
    file.end();
    return file;
}

FormFileWriter reserved_screen()
{
    FormFileWriter file = screen_file("reserved");
    file.end();
    return file;
}

FormFileWriter quit_dialogue_screen()
{
    FormFileWriter file = screen_file("dlg10");
    image(file, "panel", "art\\dialog.pcx", 120, 150, 400, 180);
    file.begin("Label", "dlg_message");
    place(file, 140, 196, 360, 66);
    file.key("FontName", kMenuFont).key("FontType", "gamefont");
    file.key("Alignment", "Center").key("TextCount", kDialoguePages).key("TextFile", kDialogueText);
    file.key("TextID", "dlgmsg").end();
    button(file, {"yes", 170, 274, 120, 36, 1, -1, "yes", kDialogueText, kKeyY, "art\\dbtn"});
    button(file, {"no", 350, 274, 120, 36, 0, -1, "no", kDialogueText, kKeyN, "art\\dbtn"});
    file.end();
    return file;
}

FormFileWriter title_card_screen()
{
    FormFileWriter file = FormFileWriter::screen();
    FormProperties form;
    form.name = "copyrigh";
    file.form(form);
    file.key("NoMouse", 1).key("UserDraw", 1);
    image(file, "logo", "art\\copyrigh.pcx", 0, 0, 640, 480);
    // Enter and a click anywhere skip the card (Esc is "back" already).
    button(file, {"skip", 0, 0, 640, 480, 0, -1, nullptr, kMenuText, kKeyEnter, nullptr});
    file.end();
    return file;
}

TextFileBuilder text_file(std::initializer_list<std::pair<const char*, const char*>> sections)
{
    TextFileBuilder file;
    for (const auto& [id, text] : sections) {
        file.add_line(std::string("[") + id + "]");
        // One line of the file for each row of the text.
        std::string_view rest = text;
        for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
            file.add_line(std::string(rest.substr(0, end)));
        file.add_line(std::string(rest));
    }
    return file;
}

} // namespace

MenuSet demo_main_menu_set()
{
    MenuSet set;
    set.init_state = 18;
    set.screens.assign(kDemoMainMenuScreens, "reserved");
    set.screens[0] = "start01";
    set.screens[kDemoArcadeTrackState] = "Arcade04";
    set.states = {{kDemoEndState, -1}, {kDemoMainMenuState, 0}, {kDemoArcadeTrackState, kDemoArcadeTrackState}};
    set.transitions = {
        {kDemoMainMenuState, 0, kDemoEndState},                       // Esc, and "Quit" once answered
        {kDemoMainMenuState, kDemoArcadeCommand, kDemoArcadeTrackState}, // "Arcade race"
        {kDemoArcadeTrackState, 0, kDemoMainMenuState},               // Esc
        {kDemoArcadeTrackState, kDemoRaceCommand, kDemoEndState},     // "Go"
    };
    // Samples 5 (a button's click), 11 (a dialogue) and 12 (the volume test)
    // are the ones the game names.
    const std::string folder = "..\\Sfx\\Menu\\";
    for (const char* sample : {"Select", "Back", "Select", "Click", "Click", "Click", "Select", "Back", "Select",
                               "Click", "Back", "Dialog", "Select"})
        set.sfx.push_back(folder + sample + ".wav");
    set.preload_fonts = {kMenuFont};
    set.preload_anims = {{kDemoTrackStrip, kDemoTrackWidth, kDemoTrackHeight}};
    return set;
}

MenuSet demo_dialogue_set()
{
    MenuSet set;
    set.init_state = kDemoQuitDialogue;
    set.screens = {"dlg10"};
    set.states = {{kDemoEndState, -1}, {kDemoQuitDialogue, 0}};
    set.transitions = {{kDemoQuitDialogue, 1, kDemoEndState}, {kDemoQuitDialogue, 0, kDemoEndState}};
    return set;
}

MenuSet demo_startup_set()
{
    MenuSet set;
    set.init_state = kDemoStartupState;
    set.screens = {"copyrigh"};
    set.states = {{kDemoEndState, -1}, {kDemoStartupState, 0}};
    set.transitions = {{kDemoStartupState, 0, kDemoEndState}};
    return set;
}

bool write_demo_menus(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path menu = root / "menu";
    if (!write_demo_menu_pictures(root, error))
        return false;

    const std::pair<const char*, FormFileWriter> screens[] = {
        {"start01", main_menu_screen()},  {"Arcade04", arcade_track_screen()}, {"reserved", reserved_screen()},
        {"dlg10", quit_dialogue_screen()}, {"copyrigh", title_card_screen()},
    };
    for (const auto& [name, file] : screens)
        if (!file.write(menu / (std::string(name) + ".dat"), error))
            return false;
    if (!text_file({{"arcade", "Arcade race"}, {"quit", "Quit"}, {"go", "Race"}, {"prev", "<"}, {"next", ">"}})
             .write(menu / kMenuText, error))
        return false;
    // The pages of "dlg_message": a dialogue's state picks one.
    if (!text_file({{"yes", "Yes"},
                    {"no", "No"},
                    {"dlgmsg00", "Do you really want\nto quit the game?"},
                    {"dlgmsg01", "End this session\nand go back?"},
                    {"dlgmsg02", "End the race\nfor every player?"},
                    {"dlgmsg03", "Leave the race?"},
                    {"dlgmsg04", "Time is up."}})
             .write(menu / kDialogueText, error))
        return false;

    return write_menu_set(menu / "menu.dat", demo_main_menu_set(), error) &&
           write_menu_set(menu / "menudial.dat", demo_dialogue_set(), error) &&
           write_menu_set(menu / "startvid.dat", demo_startup_set(), error);
}

} // namespace datakit
