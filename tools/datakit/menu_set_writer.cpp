#include "tools/datakit/menu_set_writer.h"

#include <string_view>

namespace datakit {

std::int32_t MenuSet::screen_index(const std::string& name) const
{
    for (std::size_t i = 0; i < screens.size(); ++i)
        if (screens[i] == name)
            return static_cast<std::int32_t>(i);
    return -1;
}

WordFileWriter menu_set_file(const MenuSet& set)
{
    WordFileWriter file;
    const auto number = [](std::int32_t value) { return std::to_string(value); };
    file.begin("PATH").word(set.path);
    file.begin("INITSTATE").word(set.init_state);
    if (!set.preload.empty()) {
        file.begin("PRELOAD");
        for (std::int32_t index : set.preload)
            file.word(index);
    }
    file.begin("SCREEN");
    for (const std::string& name : set.screens)
        file.word(name);
    file.begin("SO");
    for (const MenuSet::StateScreen& pair : set.states)
        file.line({number(pair.state), number(pair.screen)});
    file.begin("SIS");
    for (const MenuSet::Transition& t : set.transitions)
        file.line({number(t.state), number(t.command), number(t.next)});
    if (!set.sfx.empty()) {
        file.begin("SFX");
        for (const std::string& name : set.sfx)
            file.word(name);
    }
    if (!set.preload_fonts.empty()) {
        file.begin("PRELOADFONT");
        for (const std::string& name : set.preload_fonts)
            file.word(name);
    }
    if (!set.preload_anims.empty()) {
        file.begin("PRELOADANIM");
        for (const MenuSet::PreloadAnim& anim : set.preload_anims)
            file.line({anim.name, number(anim.frame_width), number(anim.frame_height)});
    }
    return file;
}

bool write_menu_set(const std::filesystem::path& path, const MenuSet& set, std::string& error)
{
    return menu_set_file(set).write(path, error);
}

} // namespace datakit
