// Seeds of screen_fuzz: a screen file, then (after a zero byte) its
// defaults file.
#include <string>

#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/form_file_writer.h"

namespace {

using datakit::FormFileWriter;

FormFileWriter screen(const char* name)
{
    FormFileWriter file = FormFileWriter::screen();
    datakit::FormProperties form;
    form.name = name;
    file.form(form);
    return file;
}

void place(FormFileWriter& file, int left, int top, int width, int height)
{
    file.key("PixHeight", height).key("PixLeft", left).key("PixTop", top).key("PixWidth", width);
}

} // namespace

TORVANE_FUZZ_SEEDS(screen)
{
    auto add = [&](const char* file_name, const std::string& screen_text, const std::string* defaults_text) {
        std::string bytes = screen_text;
        if (defaults_text) {
            bytes.push_back('\0');
            bytes += *defaults_text;
        }
        seeds.push_back({file_name, {bytes.begin(), bytes.end()}});
    };

    // Every kind of control this menu code builds, with their keys, and
    // defaults for the second lookup.
    {
        FormFileWriter file = screen("every");
        file.key("NoMouse", 1);
        file.begin("Label", "title");
        file.key("Alignment", "Center").key("BackStyle", 1).key_color("BackColor", 0x203040);
        file.key("FontBold", true).key("FontName", "Arial").key("FontSize", 12.0f).key("FontType", "winfont");
        file.key3("ForeColor", 255, 255, 0);
        place(file, 20, 10, 600, 30);
        file.key("TextVar", "lap_time").key("TextVarLen", 12);
        file.end();
        file.begin("CommandButton", "ok");
        file.key("FontType", "nofont").key("Command", 3).key("HotKey", "\"A\"");
        place(file, 20, 60, 120, 30);
        file.end();
        file.begin("CommandButton", "back");
        file.key("FontType", "nofont").key("Command", "\"B\"").key("PixFromX", -200);
        place(file, 160, 60, 120, 30);
        file.end();
        file.begin("Label", "list");
        file.key("Editable", -1).key("FontName", "Courier_New").key("FontType", "winfont").key("TextCount", 3);
        place(file, 20, 100, 1, 100);
        file.key("TextVar", "names").key("TextVarLen", 2);
        file.end();
        file.end();
        FormFileWriter defaults = FormFileWriter::defaults();
        defaults.begin("Label", "list").key("CanHaveFocus", 1).key("LinkedTo", "title").key("UserID", 4).end();
        defaults.begin("CommandButton", "ok").key("DownTrigger", 1).key("Sfx", 2).key("Switch", 1).end();
        defaults.begin("form", "every").key("Music", 1).end();
        const std::string defaults_text = defaults.text();
        add("every_kind.dat", file.text(), &defaults_text);
    }
    // Pictures: with no display they are refused when their frames load.
    {
        FormFileWriter file = screen("pictures");
        file.begin("Image", "logo");
        file.key_bool("Animated", true).key("Graphic", "sprites/logo").key("Selectable", 1);
        place(file, 300, 100, 64, 64);
        file.end();
        file.begin("CheckBox", "music");
        file.key("Graphic", "sprites/box");
        place(file, 300, 200, 24, 24);
        file.end();
        file.end();
        add("pictures.dat", file.text(), nullptr);
    }
    // Links in a cycle, and a label linked to itself.
    {
        FormFileWriter file = screen("links");
        const char* names[] = {"a", "b", "c"};
        for (int i = 0; i < 3; ++i) {
            file.begin("Label", names[i]).key("LinkedTo", names[(i + 1) % 3]);
            place(file, 10, 10 + 20 * i, 100, 16);
            file.end();
        }
        file.begin("Label", "self").key("LinkedTo", "self");
        place(file, 10, 100, 100, 16);
        file.end();
        file.end();
        add("link_cycle.dat", file.text(), nullptr);
    }
    // Damaged files.
    add("empty.dat", "", nullptr);
    add("header_only.dat", "tvnmenu 1.0\r\n", nullptr);
    add("no_form.dat", "tvnmenu 1.0\r\nBegin Label x\r\nPixHeight = 1\r\nend\r\n", nullptr);
    add("unknown_type.dat",
        screen("odd").begin("Slider", "s").key("PixHeight", 1).end().end().text(), nullptr);
    add("not_built.dat", screen("odd").begin("Plot", "p").end().end().text(), nullptr);
    add("cut_value.dat",
        screen("cut").text() + "Begin Label cut\r\nPixHeight = 1\r\nPixLeft = 2\r\nPixTop = 3\r\nPixWidth =", nullptr);
    add("cut_color.dat", "tvnmenu 1.0\r\nBegin form c\r\nBackColor = &H00", nullptr);
    add("nested.dat",
        "tvnmenu 1.0\r\nBegin form n\r\nScaleHeight = 480\r\nScaleWidth = 640\r\n"
        "Begin Label outer\r\nBegin Label inner\r\nPixHeight = 1\r\nPixLeft = 1\r\nPixTop = 1\r\nPixWidth = 1\r\n"
        "end\r\nend\r\nend\r\n",
        nullptr);
    add("long_word.dat",
        "tvnmenu 1.0\r\nBegin form w\r\nScaleHeight = 480\r\nScaleWidth = 640\r\nBegin Label " + std::string(300, 'x') +
            "\r\nend\r\n",
        nullptr);
    add("negative_counts.dat",
        screen("neg")
            .begin("Label", "l")
            .key("Editable", -2)
            .key("PixHeight", -5)
            .key("PixLeft", -5)
            .key("PixTop", -5)
            .key("PixWidth", -5)
            .key("TextCount", -1)
            .end()
            .end()
            .text(),
        nullptr);
    {
        const std::string defaults = "Begin Label l\r\nLinkedTo = l\r\nTextVar = v\r\nTextVarLen = -3\r\nend\r\n";
        add("defaults_only_keys.dat",
            screen("d").begin("Label", "l").key("PixHeight", 10).key("PixLeft", 0).key("PixTop", 0).key("PixWidth", 0)
                .end().end().text(),
            &defaults);
    }
}
