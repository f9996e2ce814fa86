// The front end's screens: the start-up title card, the main menu, the
// arcade screens (the arcade menu, the track, the bike choice and an
// arcade championship's race screen) and the quit dialogue.
#include <cstdio>
#include <string>

#include "tools/datakit/carousel_writer.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

constexpr int kDialoguePages = 5;

// The arcade's states of "menu": its menu (2), the bike choice of a single
// race (4, a state the menus resume in after the race) and of a new arcade
// championship (5), the championship's race screen (9, resumed in too),
// the new arcade championship (40, the championship files' screen) and the
// arcade records (141, the results group's screen).
constexpr int kArcadeMenu = 2;
constexpr int kArcadeBikeRace = 4;
constexpr int kArcadeBikeChampionship = 5;
constexpr int kArcadeRaceScreen = 9;
constexpr int kArcadeCircuits = 10;
constexpr int kNewArcadeChampionship = 40;
constexpr int kLoadArcadeChampionship = 41, kDeleteArcadeChampionship = 42;
constexpr int kArcadeOptions = 130;  // "Aopt01", the options group's
constexpr int kArcadeRecords = 141;
// Commands of the arcade screens (the transitions). The carousel's "<" and
// ">" give 1 and 2 to the carousel (its "DEC" and "INC"), so neither leads
// anywhere on the bike choice.
constexpr int kCmdSingleRace = 1, kCmdRecords = 3, kCmdChampionship = 4, kCmdRace = 3, kCmdCircuits = 5, kCmdStay = 9;
constexpr int kCmdLoadChampionship = 6, kCmdDeleteChampionship = 7, kCmdOptions = 8;
// The carousel's commands.
constexpr int kCarouselPrevious = 1, kCarouselNext = 2;
constexpr int kKeyM = 50, kKeyB = 48, kKeyL = 38, kKeyDigit2 = 3, kKeyDigit3 = 4, kKeyDigit4 = 5, kKeyDigit5 = 6,
              kKeyDigit6 = 7;
// The bike choice's two steps (the screen handler shows one at a time).
constexpr int kBikeGroup = 1, kGearGroup = 2;

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
    // The options (their states are the options group's).
    button(file, {"options", 344, 392, 240, 40, kDemoOptionsCommand, -1, "options"});
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

// The arcade menu: the player's name typed on "label_name" (so no letter
// is a hot key here), a single race, a new championship, loading and
// deleting a saved one, the records and the arcade options.
FormFileWriter arcade_menu_screen()
{
    FormFileWriter file = screen_file("Arcade01");
    image(file, "background", "art\\arcade01.pcx", 0, 0, 640, 480);
    label(file, {"name_caption", 56, 120, 200, 32, "your_name"});
    // The edit row in the tables' font: its current row (the one typed on)
    // is gold on the dark panel.
    label(file, {.name = "label_name", .left = 256, .top = 120, .width = 328, .height = 32, .text_id = "empty_name",
                 .editable = 64, .font = kDemoTableFont});
    button(file, {"race", 72, 184, 240, 40, kCmdSingleRace, 1, "single_race", kMenuText, kKeyEnter});
    button(file, {"championship", 72, 234, 240, 40, kCmdChampionship, 2, "arcade_champ", kMenuText, kKeyDigit2});
    button(file, {"records", 72, 284, 240, 40, kCmdRecords, 3, "arcade_records", kMenuText, kKeyDigit3});
    button(file, {"load", 328, 184, 240, 40, kCmdLoadChampionship, 5, "arcade_load", kMenuText, kKeyDigit4});
    button(file, {"delete", 328, 234, 240, 40, kCmdDeleteChampionship, 6, "arcade_delete", kMenuText, kKeyDigit5});
    button(file, {"options", 328, 284, 240, 40, kCmdOptions, 7, "arcade_options", kMenuText, kKeyDigit6});
    button(file, {"back", 200, 380, 240, 40, 0, 4, "back"});
    file.end();
    return file;
}

// The bike choice: the carousel of the five bikes turned by "<" and ">",
// the plate of the bike it shows; "Take it" goes on to the transmission,
// whose two buttons start the race (or go on to the championship).
FormFileWriter arcade_bike_screen()
{
    FormFileWriter file = screen_file("Arcade03");
    file.key("UserDraw", 1);
    image(file, "background", "art\\arcade03.pcx", 0, 0, 640, 480);
    carousel_element(file, "OLE1", kDemoBikeCarouselFile, 160, 80, 320, 228);
    image(file, "logo", "art\\logo", 272, 316, 96, 24);
    const int bike = kBikeGroup, gears = kGearGroup;
    button(file, {"prev", 88, 170, 48, 48, kCarouselPrevious, -1, "prev", kMenuText, kKeyLeft, "art\\sbtn", "OLE1", bike});
    button(file, {"next", 504, 170, 48, 48, kCarouselNext, -1, "next", kMenuText, kKeyRight, "art\\sbtn", "OLE1", bike});
    button(file, {"choose", 200, 372, 240, 40, kCmdStay, 1, "take_bike", kMenuText, kKeyEnter, "art\\btn", nullptr, bike});
    button(file, {"automatic", 60, 352, 240, 40, kCmdRace, 2, "automatic", kMenuText, kKeyEnter, "art\\btn", nullptr, gears});
    button(file, {"manual", 340, 352, 240, 40, kCmdRace, 3, "manual", kMenuText, kKeyM, "art\\btn", nullptr, gears});
    button(file, {"other_bike", 200, 398, 240, 40, kCmdStay, 4, "other_bike", kMenuText, kKeyB, "art\\btn", nullptr, gears});
    // A network game: over the bike while another player rides its rider.
    image(file, "multi_forbidden_sprite", "art\\no", 296, 120, 48, 48);
    label(file, {.name = "multi_forbidden_text", .left = 160, .top = 280, .width = 320, .height = 28,
                 .text_id = "multi_forbidden", .text_file = "Multi.txt", .alignment = "Center", .visible_in_state = -1});
    file.end();
    return file;
}

// An arcade championship's race screen: the event's circuit, the arcade
// lap records of the season, "Race" and "Quit".
FormFileWriter arcade_race_screen()
{
    FormFileWriter file = screen_file("Arcade08");
    image(file, "background", "art\\arcade08.pcx", 0, 0, 640, 480);
    image(file, "track", kDemoTrackStrip, 24, 96, kDemoTrackWidth, kDemoTrackHeight);
    label(file, {"LBL_Nation", 24, 344, 320, 28, "arcade_round", 12});
    label(file, {"LBL_Circuit_info", 24, 372, 320, 28, "arcade_circuit", 12});
    label(file, {.name = "lbl_records", .left = 356, .top = 96, .width = 268, .height = 12 * 21,
                 .font = kDemoTableFont});
    // Row 1 in a network game: the race starts from the lobby.
    button(file, {.name = "go", .left = 356, .top = 380, .width = 120, .height = 36, .command = kCmdRace,
                  .text_id = "arcade_go", .hot_key = kKeyEnter, .graphic = "art\\dbtn", .pages = 2});
    button(file, {"quit", 492, 380, 120, 36, 0, 2, "quit", kMenuText, kKeyQ, "art\\dbtn"});
    button(file, {"circuits", 220, 380, 120, 36, kCmdCircuits, -1, "circuits", kMenuText, kKeyL, "art\\dbtn"});
    file.end();
    return file;
}

// The season's circuits with their arcade lap records, ten rows at a time
// from the position of the bar "list" (the first element, so it has the
// focus and Left and Right move it).
FormFileWriter arcade_circuits_screen()
{
    FormFileWriter file = screen_file("Arcade07");
    file.key("UserDraw", 1);
    image(file, "background", "art\\arcade07.pcx", 0, 0, 640, 480);
    file.begin("HScrollBar", "list");
    // Right under the ten rows shown.
    place(file, 220, 340, 200, 14);
    file.key("CursorWidth", 14).key("Graphic", "art\\bar_t.pcx");
    file.key("Max", 12 - 10).key("Min", 0).key("Step", 1).end();
    for (int circuit = 0; circuit < 12; ++circuit) {
        char name[8];
        std::snprintf(name, sizeof name, "row%02d", circuit);
        label(file, {.name = name, .left = 48, .top = 100 + 24 * circuit, .width = 544, .height = 24,
                     .text_id = "empty_name", .font = kDemoTableFont});
    }
    // No Enter hot key: the screen's focus goes to the bar.
    button(file, {"back", 260, 384, 120, 36, 0, -1, "back", kMenuText, 0, "art\\dbtn"});
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

    kit.screen("Arcade01", arcade_menu_screen());
    kit.screen("Arcade03", arcade_bike_screen());
    kit.screen("Arcade08", arcade_race_screen());
    kit.screen("Arcade07", arcade_circuits_screen());
    // Their backgrounds: a heading, a panel behind the controls and the
    // keys at the foot.
    struct Background {
        const char* file;
        ScreenLook look;
    };
    const Background backgrounds[] = {
        {"arcade01", {"ARCADE", "Type a name  Enter race  2 new  3 records  4 load  5 delete  6 options", 32, 96, 576, 336}},
        {"arcade03", {"ARCADE BIKES", "Left / Right bike     Enter take it     M manual gears     Esc back", 148, 72, 344,
                      276}},
        {"arcade08", {"ARCADE CHAMPIONSHIP", "Enter race     L circuits     Q quit", 16, 84, 608, 344}},
        {"arcade07", {"ARCADE CIRCUITS", "Left / Right scroll     Esc back", 16, 84, 608, 344}},
    };
    for (const Background& b : backgrounds)
        kit.files([b](const std::filesystem::path& root, std::string& error) {
            return write_screen_background(root / "menu" / "art" / (std::string(b.file) + ".pcx"), b.look, error);
        });

    // The arcade screens with the carousel load as the main menu's group
    // (screens 2, 3 and 53).
    kit.set("menu")
        .state(kDemoMainMenuState, "start01")
        .pin(kDemoArcadeTrackState, "Arcade04")
        .pin(2, "Arcade03")
        .pin(3, "Arcade01")
        .state(kDemoArcadeTrackState, "Arcade04")
        .go(kDemoMainMenuState, 0, kDemoEndState)               // Esc, and "Quit" once answered
        .go(kDemoMainMenuState, kDemoArcadeCommand, kArcadeMenu) // "Arcade race"
        .state(kArcadeMenu, "Arcade01")
        .go(kArcadeMenu, 0, kDemoMainMenuState)
        .go(kArcadeMenu, kCmdSingleRace, kDemoArcadeTrackState)
        .go(kArcadeMenu, kCmdChampionship, kNewArcadeChampionship)
        .go(kArcadeMenu, kCmdRecords, kArcadeRecords)
        .go(kArcadeMenu, kCmdLoadChampionship, kLoadArcadeChampionship)
        .go(kArcadeMenu, kCmdDeleteChampionship, kDeleteArcadeChampionship)
        .go(kArcadeMenu, kCmdOptions, kArcadeOptions)
        .go(kDemoArcadeTrackState, 0, kArcadeMenu)                      // Esc
        .go(kDemoArcadeTrackState, kDemoRaceCommand, kArcadeBikeRace)   // "Go": the bike
        // A single race from the bike choice; the results lead back to the
        // arcade menu.
        .state(kArcadeBikeRace, "Arcade03")
        .go(kArcadeBikeRace, 0, kDemoArcadeTrackState)
        .go(kArcadeBikeRace, kCmdRace, kDemoEndState)
        // A new arcade championship: its bike, then the race screen of
        // each event (its results and standings lead back there).
        .go(kNewArcadeChampionship, 1, kArcadeBikeChampionship)
        .state(kArcadeBikeChampionship, "Arcade03")
        .go(kArcadeBikeChampionship, 0, kArcadeMenu)
        .go(kArcadeBikeChampionship, kCmdRace, kArcadeRaceScreen)
        .state(kArcadeRaceScreen, "Arcade08")
        .go(kArcadeRaceScreen, 0, kArcadeMenu)
        .go(kArcadeRaceScreen, kCmdRace, kDemoEndState)
        .go(kArcadeRaceScreen, kCmdCircuits, kArcadeCircuits)
        .state(kArcadeCircuits, "Arcade07")
        .go(kArcadeCircuits, 0, kArcadeRaceScreen);
    kit.set("menudial").state(kDemoQuitDialogue, "dlg10").go(kDemoQuitDialogue, 1, kDemoEndState).go(
        kDemoQuitDialogue, 0, kDemoEndState);
    // After the title card the start-up videos play (the 3D group's state
    // kDemoIntroState), then the set ends.
    kit.set("startvid").state(kDemoStartupState, "copyrigh").go(kDemoStartupState, 0, kDemoIntroState);

    for (const auto& [id, text] :
         {std::pair{"arcade", "Arcade race"}, {"weekend", "Race weekend"}, {"quit", "Quit"}, {"go", "Race"},
          {"prev", "<"}, {"next", ">"}, {"your_name", "Your name"}, {"empty_name", ""}, {"single_race", "Single race"},
          {"arcade_champ", "2  Championship"}, {"arcade_records", "3  Records"}, {"arcade_load", "4  Load championship"},
          {"arcade_delete", "5  Delete championship"}, {"arcade_options", "6  Options"}, {"back", "Back"}, {"take_bike", "Take it"},
          {"automatic", "Automatic"}, {"manual", "Manual gears"}, {"other_bike", "Another bike"},
          {"circuits", "Circuits"}, {"options", "Options"}, {"arcade_go00", "Race"}, {"arcade_go01", "To lobby"}})
        kit.text(kMenuText, id, text);
    for (int event = 0; event < 12; ++event) {
        char round[24], circuit[24];
        std::snprintf(round, sizeof round, "arcade_round%02d", event);
        std::snprintf(circuit, sizeof circuit, "arcade_circuit%02d", event);
        kit.text(kMenuText, round, "Arcade round " + std::to_string(event + 1));
        kit.text(kMenuText, circuit, kDemoCircuitNames[event]);
    }
    // The pages of "dlg_message": a dialogue's state picks one.
    for (const auto& [id, text] :
         {std::pair{"yes", "Yes"}, {"no", "No"}, {"dlgmsg00", "Do you really want\nto quit the game?"},
          {"dlgmsg01", "End this session\nand go back?"}, {"dlgmsg02", "End the race\nfor every player?"},
          {"dlgmsg03", "Leave the race?"}, {"dlgmsg04", "Time is up."}})
        kit.text(kDialogueText, id, text);
}

} // namespace datakit
