#include "tools/datakit/demo_menus.h"

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/menu_widget_art.h"

namespace datakit {

namespace {

// The frame of every set: its start state, its end state 0, the main
// set's size (screens 2, 3 and 53 load as a group), samples and preloads.
// The groups add the screens, states and transitions.
void add_sets(DemoMenuBuilder& kit)
{
    DemoMenuBuilder::Set& menu = kit.set("menu");
    menu.init_state = 18;
    menu.min_screens = kDemoMainMenuScreens;
    menu.end_state(kDemoEndState);
    // Samples 5 (a button's click), 11 (a dialogue) and 12 (the volume test)
    // are the ones the game names.
    const std::string folder = "..\\Sfx\\Menu\\";
    for (const char* sample : {"Select", "Back", "Select", "Click", "Click", "Click", "Select", "Back", "Select",
                               "Click", "Back", "Dialog", "Select"})
        menu.sfx.push_back(folder + sample + ".wav");
    menu.preload_fonts = {kDemoMenuFont};
    menu.preload_anims = {{kDemoTrackStrip, kDemoTrackWidth, kDemoTrackHeight}};

    DemoMenuBuilder::Set& dialogues = kit.set("menudial");
    dialogues.init_state = kDemoQuitDialogue;
    dialogues.end_state(kDemoEndState);

    DemoMenuBuilder::Set& startup = kit.set("startvid");
    startup.init_state = kDemoStartupState;
    startup.end_state(kDemoEndState);
}

DemoMenuBuilder full_kit()
{
    DemoMenuBuilder kit;
    add_sets(kit);
    add_front_screens(kit);
    add_weekend_screens(kit);
    add_results_screens(kit);
    add_plain_screens(kit);
    add_option_screens(kit);
    add_file_screens(kit);
    add_3d_screens(kit);
    add_multi_screens(kit);
    add_telemetry_screens(kit);
    return kit;
}

} // namespace

DemoMenuBuilder demo_menu_kit()
{
    return full_kit();
}

MenuSet demo_main_menu_set()
{
    return full_kit().menu_set("menu");
}

MenuSet demo_dialogue_set()
{
    return full_kit().menu_set("menudial");
}

MenuSet demo_startup_set()
{
    return full_kit().menu_set("startvid");
}

bool write_demo_menus(const std::filesystem::path& root, std::string& error)
{
    if (!write_demo_menu_pictures(root, error))
        return false;
    // The tick every horizontal scroll bar of the screens draws.
    if (!write_scroll_tick_picture(root / "menu", error))
        return false;
    return full_kit().write(root, error);
}

} // namespace datakit
