// Seeds of menu_file_fuzz: menu set files, sound and damaged. The target's
// folder holds the menu folder "menu" with the screen "s".
#include <string>

#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/demo_menus.h"
#include "tools/datakit/menu_set_writer.h"

namespace {

datakit::MenuSet small_set()
{
    datakit::MenuSet set;
    set.path = ".\\menu";
    set.init_state = 18;
    set.preload = {0};
    set.screens = {"s", "s"};
    set.states = {{0, -1}, {19, 0}, {20, 1}};
    set.transitions = {{19, 0, 0}, {19, 1, 20}, {20, 0, 19}, {20, 1, 0}};
    set.sfx = {"click.wav"};
    set.preload_anims = {{"art\\trk", 32, 24}};
    return set;
}

} // namespace

TORVANE_FUZZ_SEEDS(menu_file)
{
    auto add = [&](const char* file_name, const std::string& text) {
        seeds.push_back({file_name, {text.begin(), text.end()}});
    };
    const std::string small = datakit::menu_set_file(small_set()).text();
    add("small.dat", small);
    add("menu.dat", datakit::menu_set_file(datakit::demo_main_menu_set()).text());
    add("menudial.dat", datakit::menu_set_file(datakit::demo_dialogue_set()).text());
    add("startvid.dat", datakit::menu_set_file(datakit::demo_startup_set()).text());
    // Cut short at every tenth of the file: inside a section, a pair, a word.
    for (int part = 1; part < 10; ++part)
        add(("cut" + std::to_string(part) + ".dat").c_str(), small.substr(0, small.size() * part / 10));
    add("numbers.dat", "begin PATH .\\menu\nbegin INITSTATE 99999999999\nbegin SCREEN s\n"
                       "begin SO 1 0 2 -7 x 0\nbegin SIS 1 0 2 -1 -1 -1 +3 0x1 2\n");
    add("indices.dat", "begin PATH .\\menu\nbegin INITSTATE 1\nbegin PRELOAD 0 1 -1\nbegin SCREEN s\n"
                       "begin SO 1 0 2 1\nbegin SIS\n");
    add("order.dat", "# sections in another order\nbegin SIS 1 0 0\nbegin PATH .\\menu\nbegin SO 1 0\n"
                     "begin SCREEN s\nbegin INITSTATE 1\nbegin PRELOADANIM a 1\n");
    add("folders.dat", "begin PATH ..\\..\\nowhere\nbegin INITSTATE 1\nbegin SCREEN s\nbegin SO 1 0\n"
                       "begin SIS 1 0 0\n");
    add("empty.dat", "begin begin begin PATH begin INITSTATE begin SCREEN begin SO begin SIS begin");
}
