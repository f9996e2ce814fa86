#include "tools/datakit/demo_menu_builder.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "tools/datakit/demo_menu_pictures.h"

namespace datakit {

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

void button(FormFileWriter& file, const Button& b)
{
    file.begin("CommandButton", b.name);
    if (b.group >= 0)
        file.key("Group", b.group);
    if (b.linked_to)
        file.key("LinkedTo", b.linked_to);
    place(file, b.left, b.top, b.width, b.height);
    if (b.user_id >= 0)
        file.key("UserID", b.user_id);
    file.key("FontName", kDemoMenuFont).key("FontType", "gamefont");
    if (b.pages > 1)
        file.key("TextCount", b.pages);
    if (b.text_id)
        file.key("TextFile", b.text_file).key("TextID", b.text_id);
    file.key("Command", b.command);
    if (b.graphic)
        file.key("Graphic", b.graphic);
    if (b.hot_key)
        file.key("HotKey", b.hot_key);
    file.end();
}

void label(FormFileWriter& file, const LabelSpec& l)
{
    file.begin("Label", l.name);
    if (l.group >= 0)
        file.key("Group", l.group);
    if (l.linked_to)
        file.key("LinkedTo", l.linked_to);
    place(file, l.left, l.top, l.width, l.height);
    if (l.user_id >= 0)
        file.key("UserID", l.user_id);
    if (l.visible_in_state != 0)
        file.key("VisibleInState", l.visible_in_state);
    file.key("FontName", l.font ? l.font : kDemoMenuFont).key("FontType", "gamefont");
    // The reader takes "Editable" after "Alignment" and before "TextCount".
    file.key("Alignment", l.alignment);
    if (l.editable > 0)
        file.key("Editable", l.editable);
    file.key("TextCount", l.pages);
    if (l.text_id)
        file.key("TextFile", l.text_file).key("TextID", l.text_id);
    if (l.text_var)
        file.key("TextVar", l.text_var).key("TextVarLen", 32);
    file.end();
}

void DemoMenuBuilder::Set::use(const std::string& screen)
{
    if (!screen.empty() && std::find(used_.begin(), used_.end(), screen) == used_.end())
        used_.push_back(screen);
}

DemoMenuBuilder::Set& DemoMenuBuilder::Set::state(std::int32_t state, const std::string& screen)
{
    for (const auto& [known, name] : states_)
        if (known == state)
            fail("state " + std::to_string(state) + " given twice (" + name + ", " + screen + ")");
    states_.emplace_back(state, screen);
    use(screen);
    return *this;
}

DemoMenuBuilder::Set& DemoMenuBuilder::Set::go(std::int32_t state, std::int32_t command, std::int32_t next)
{
    for (const MenuSet::Transition& t : transitions_)
        if (t.state == state && t.command == command)
            fail("transition " + std::to_string(state) + "/" + std::to_string(command) + " given twice");
    transitions_.push_back({state, command, next});
    return *this;
}

DemoMenuBuilder::Set& DemoMenuBuilder::Set::pin(std::int32_t index, const std::string& screen)
{
    if (index < 0)
        fail("screen " + screen + " pinned at " + std::to_string(index));
    else if (!pinned_.emplace(index, screen).second)
        fail("screen index " + std::to_string(index) + " given twice (" + pinned_[index] + ", " + screen + ")");
    use(screen);
    return *this;
}

DemoMenuBuilder::Set& DemoMenuBuilder::Set::preload(const std::string& screen)
{
    preload_.push_back(screen);
    use(screen);
    return *this;
}

DemoMenuBuilder::Set& DemoMenuBuilder::Set::stand_in(std::int32_t state, const std::string& screen,
                                                     std::vector<std::pair<std::int32_t, std::int32_t>> transitions)
{
    stand_ins_.push_back({state, screen, std::move(transitions)});
    use(screen);
    return *this;
}

DemoMenuBuilder::Set& DemoMenuBuilder::set(const std::string& name)
{
    auto it = sets_.find(name);
    if (it == sets_.end()) {
        it = sets_.emplace(name, Set()).first;
        set_order_.push_back(name);
    }
    return it->second;
}

void DemoMenuBuilder::screen(const std::string& name, FormFileWriter file)
{
    if (!screens_.emplace(name, std::move(file)).second)
        fail("screen " + name + " written twice");
}

void DemoMenuBuilder::text(const std::string& file, const std::string& id, const std::string& text)
{
    auto& sections = texts_[file];
    for (const auto& section : sections)
        if (section.first == id)
            fail("text [" + id + "] of " + file + " given twice");
    sections.emplace_back(id, text);
}

void DemoMenuBuilder::files(std::function<bool(const std::filesystem::path&, std::string&)> writer)
{
    files_.push_back(std::move(writer));
}

std::vector<std::string> DemoMenuBuilder::errors() const
{
    std::vector<std::string> all = errors_;
    for (const std::string& name : set_order_) {
        const Set& set = sets_.at(name);
        all.insert(all.end(), set.errors_.begin(), set.errors_.end());
        for (const std::string& screen : set.used_)
            if (!has_screen(screen))
                all.push_back("set " + name + " names screen " + screen + ", which nobody writes");
    }
    return all;
}

bool DemoMenuBuilder::has_screen(const std::string& name) const
{
    // The manager loads "sim09" from "sim09d" and "game04..." from "game04"
    // and the player's team letter.
    if (name == "sim09")
        return screens_.count("sim09d") != 0;
    if (name.rfind("game04", 0) == 0)
        return std::any_of(screens_.begin(), screens_.end(),
                           [](const auto& s) { return s.first.rfind("game04", 0) == 0; });
    return screens_.count(name) != 0;
}

MenuSet DemoMenuBuilder::menu_set(const std::string& name) const
{
    MenuSet out;
    const auto it = sets_.find(name);
    if (it == sets_.end())
        return out;
    const Set& set = it->second;
    out.init_state = set.init_state;
    out.sfx = set.sfx;
    out.preload_fonts = set.preload_fonts;
    out.preload_anims = set.preload_anims;

    std::int32_t count = set.min_screens;
    if (!set.pinned_.empty())
        count = std::max(count, set.pinned_.rbegin()->first + 1);
    std::set<std::string> placed;
    for (const auto& [index, screen] : set.pinned_)
        placed.insert(screen);
    const auto unpinned = static_cast<std::int32_t>(
        std::count_if(set.used_.begin(), set.used_.end(), [&](const std::string& s) { return !placed.count(s); }));
    count = std::max(count, static_cast<std::int32_t>(set.pinned_.size()) + unpinned);
    out.screens.assign(static_cast<std::size_t>(count), std::string());
    for (const auto& [index, screen] : set.pinned_)
        out.screens[static_cast<std::size_t>(index)] = screen;
    std::size_t free = 0;
    for (const std::string& screen : set.used_) {
        if (placed.count(screen))
            continue;
        while (!out.screens[free].empty())
            ++free;
        out.screens[free] = screen;
    }
    for (std::string& screen : out.screens)
        if (screen.empty())
            screen = "reserved";

    for (const auto& [state, screen] : set.states_)
        out.states.push_back({state, screen.empty() ? -1 : out.screen_index(screen)});
    out.transitions = set.transitions_;
    for (const Set::StandIn& stand_in : set.stand_ins_) {
        const bool claimed = std::any_of(set.states_.begin(), set.states_.end(),
                                         [&](const auto& s) { return s.first == stand_in.state; }) ||
                             std::any_of(out.states.begin(), out.states.end(),
                                         [&](const MenuSet::StateScreen& s) { return s.state == stand_in.state; });
        if (claimed)
            continue;
        out.states.push_back({stand_in.state, out.screen_index(stand_in.screen)});
        for (const auto& [command, next] : stand_in.transitions)
            out.transitions.push_back({stand_in.state, command, next});
    }
    for (const std::string& screen : set.preload_)
        out.preload.push_back(out.screen_index(screen));
    return out;
}

bool DemoMenuBuilder::write(const std::filesystem::path& root, std::string& error) const
{
    const std::vector<std::string> problems = errors();
    if (!problems.empty()) {
        error = problems.front();
        return false;
    }

    const std::filesystem::path menu = root / "menu";
    for (const auto& [name, file] : screens_)
        if (!file.write(menu / (name + ".dat"), error))
            return false;
    if (!screens_.count("reserved")) {
        FormFileWriter reserved = screen_file("reserved");
        reserved.end();
        if (!reserved.write(menu / "reserved.dat", error))
            return false;
    }
    for (const auto& [file, sections] : texts_) {
        TextFileBuilder text;
        for (const auto& [id, body] : sections) {
            text.add_line("[" + id + "]");
            std::string_view rest = body;
            for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
                text.add_line(std::string(rest.substr(0, end)));
            text.add_line(std::string(rest));
        }
        if (!text.write(menu / file, error))
            return false;
    }
    for (const std::string& name : set_order_)
        if (!write_menu_set(menu / (name + ".dat"), menu_set(name), error))
            return false;
    for (const auto& writer : files_)
        if (!writer(root, error))
            return false;
    return true;
}

} // namespace datakit
