// The front end's screens: the start-up title card, the main menu, the
// arcade track screen and the quit dialogue.
#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

constexpr int kDialoguePages = 5;

FormFileWriter main_menu_screen()
{
    FormFileWriter file = screen_file("start01");
    image(file, "background", "art\\start01.pcx", 0, 0, 640, 480);
    // "Arcade race" comes first, so it has the focus when the screen opens.
    button(file, {"arcade", 56, 248, 240, 40, kDemoArcadeCommand, -1, "arcade"});
    button(file, {"weekend", 56, 296, 240, 40, kDemoWeekendCommand, -1, "weekend"});
    button(file, {"quit", 56, 344, 240, 40, 0, 0, "quit", kMenuText, kKeyQ});
    // The network game's entry (its transition is the network group's).
    button(file, {"network", 56, 392, 240, 40, 4, -1, "network", "Multi.txt"});
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

FormFileWriter quit_dialogue_screen()
{
    FormFileWriter file = screen_file("dlg10");
    image(file, "panel", "art\\dialog.pcx", 120, 150, 400, 180);
    label(file, {"dlg_message", 140, 196, 360, 66, "dlgmsg", kDialoguePages, kDialogueText, "Center"});
    button(file, {"yes", 170, 274, 120, 36, 1, -1, "yes", kDialogueText, kKeyY, "art\\dbtn"});
    button(file, {"no", 350, 274, 120, 36, 0, -1, "no", kDialogueText, kKeyN, "art\\dbtn"});
    file.end();
    return file;
}

FormFileWriter title_card_screen()
{
    FormFileWriter file = screen_file("copyrigh");
    file.key("NoMouse", 1).key("UserDraw", 1);
    image(file, "logo", "art\\copyrigh.pcx", 0, 0, 640, 480);
    // Enter and a click anywhere skip the card (Esc is "back" already).
    button(file, {"skip", 0, 0, 640, 480, 0, -1, nullptr, kMenuText, kKeyEnter, nullptr});
    file.end();
    return file;
}

} // namespace

void add_front_screens(DemoMenuBuilder& kit)
{
    kit.screen("start01", main_menu_screen());
    kit.screen("Arcade04", arcade_track_screen());
    kit.screen("dlg10", quit_dialogue_screen());
    kit.screen("copyrigh", title_card_screen());

    kit.set("menu")
        .state(kDemoMainMenuState, "start01")
        .pin(kDemoArcadeTrackState, "Arcade04")
        .state(kDemoArcadeTrackState, "Arcade04")
        .go(kDemoMainMenuState, 0, kDemoEndState)                          // Esc, and "Quit" once answered
        .go(kDemoMainMenuState, kDemoArcadeCommand, kDemoArcadeTrackState) // "Arcade race"
        .go(kDemoArcadeTrackState, 0, kDemoMainMenuState)                  // Esc
        .go(kDemoArcadeTrackState, kDemoRaceCommand, kDemoEndState);       // "Go"
    kit.set("menudial").state(kDemoQuitDialogue, "dlg10").go(kDemoQuitDialogue, 1, kDemoEndState).go(
        kDemoQuitDialogue, 0, kDemoEndState);
    // After the title card the start-up videos play (the 3D group's state
    // kDemoIntroState), then the set ends.
    kit.set("startvid").state(kDemoStartupState, "copyrigh").go(kDemoStartupState, 0, kDemoIntroState);

    for (const auto& [id, text] : {std::pair{"arcade", "Arcade race"}, {"weekend", "Race weekend"}, {"quit", "Quit"}, {"go", "Race"},
                                   {"prev", "<"}, {"next", ">"}})
        kit.text(kMenuText, id, text);
    // The pages of "dlg_message": a dialogue's state picks one.
    for (const auto& [id, text] :
         {std::pair{"yes", "Yes"}, {"no", "No"}, {"dlgmsg00", "Do you really want\nto quit the game?"},
          {"dlgmsg01", "End this session\nand go back?"}, {"dlgmsg02", "End the race\nfor every player?"},
          {"dlgmsg03", "Leave the race?"}, {"dlgmsg04", "Time is up."}})
        kit.text(kDialogueText, id, text);
}

} // namespace datakit
