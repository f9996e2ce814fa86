// Screen files as the data kit writes them, loaded into their controls, and
// damaged screen files refused with their messages.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "engine/render/lib2d_font.h"
#include "engine/render/lib2d_picture.h"
#include "menu/label.h"
#include "tests/menu/menu_fixture.h"

namespace {

using datakit::FormFileWriter;
using menu_test::MenuFixture;
using menu_test::place;
using menu_test::screen_file;

class ScreenFile : public MenuFixture {};

TEST_F(ScreenFile, AKitScreenLoadsItsElementsWithTheirCommonProperties)
{
    FormFileWriter file = screen_file("kit", 0x000000, 0x00FFFF);
    file.begin("Label", "title");
    file.key_color("BackColor", 0x102030);
    file.key3("ForeColor", 10, 20, 30);
    file.key("Group", 3);
    place(file, 40, 30, 200, 24);
    file.key("Tag", "hello");
    file.key("UserID", 7);
    file.key("VisibleInState", 1);
    file.end();
    file.begin("Label", "plain");
    place(file, 5, 6, 7, 8);
    file.end();
    file.end();
    data_.screen("kit", file);

    Form& form = load_screen("kit");
    ASSERT_EQ(form.ElementCount(), 2);
    EXPECT_STREQ(form.Name(), "kit");
    const Control* title = form.FindElement("TITLE");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->m_nType, kControlLabel);
    EXPECT_EQ(title->GetLeft(), 40);
    EXPECT_EQ(title->GetTop(), 30);
    EXPECT_EQ(title->m_nWidth, 200);
    EXPECT_EQ(title->m_nHeight, 24);
    EXPECT_EQ(title->m_BackColor, 0x102030u);
    EXPECT_EQ(title->m_ForeColor, 10u | 20u << 8 | 30u << 16);
    EXPECT_EQ(title->m_nGroup, 3);
    EXPECT_STREQ(title->m_szTag, "hello");
    EXPECT_EQ(title->m_nUserID, 7);
    EXPECT_EQ(title->m_nVisibleInState, 1);
    EXPECT_EQ(title->m_nElement, 0);
    // What a block leaves out comes from the form.
    const Control* plain = form.Element(1);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->m_ForeColor, 0x00FFFFu);
    EXPECT_EQ(plain->m_nGroup, -1);
    EXPECT_EQ(plain->m_nUserID, -1);
}

// The kit's game fonts and strips load through the manager's caches with
// the sizes the fixture's own arithmetic gives (the reference the screen
// images use).
TEST_F(ScreenFile, KitFontsAndStripsLoadWithTheSizesTheirWritersGive)
{
    const menu_test::GameFontWords words;
    data_.game_font("fonts/menu", words, menu_test::kInkWhite, menu_test::kInkYellow);
    const std::int32_t params[5] = {words.cell_width, words.cell_height, words.across, words.count, words.first};
    lib2d_font* font = manager_.GetFont("fonts/menu.pcx", params);
    ASSERT_NE(font, nullptr);
    for (const char* text : {"A", "Menu text", "a_b c", "~!"})
        EXPECT_EQ(font->text_width(text, words.space, words.spacing), menu_test::block_text_width(text, words))
            << text;

    data_.strip("sprites/ok", 30, 20, {menu_test::kInkRed, menu_test::kInkGreen});
    lib2d_picture* frame = manager_.GetSprite("sprites/ok1.pcx", 30, 20);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(frame->count, 1);
    EXPECT_EQ(frame->frames[0].width, 30);
    EXPECT_EQ(frame->frames[0].height, 20);
    clear_screen();
    frame->draw(100, 50, 0);
    EXPECT_EQ(pixel(100, 50), menu_test::picture_pixel565(menu_test::kInkWhite));
    EXPECT_EQ(pixel(110, 60), menu_test::picture_pixel565(menu_test::kInkGreen));
    EXPECT_EQ(pixel(130, 60), 0u);
}

// ---- Damaged screen files ----

// One element block of a damaged screen "bad": its type, name and keys.
using Keys = std::function<void(FormFileWriter&)>;

FormFileWriter one_element(const char* type, const char* name, const Keys& keys)
{
    FormFileWriter file = screen_file("bad");
    file.begin(type, name);
    keys(file);
    file.end();
    file.end();
    return file;
}

// A label's place and nothing else.
void at_place(FormFileWriter& file)
{
    place(file, 10, 20, 100, 16);
}

struct DamagedScreen {
    const char* what;
    // Writes "bad.dat" and whatever else the case needs.
    std::function<void(menu_test::MenuData&)> write;
    // Texts the message must hold, in order.
    std::vector<std::string> message;
};

const std::vector<DamagedScreen>& damaged_screens()
{
    using menu_test::MenuData;
    static const std::vector<DamagedScreen> cases = {
        {"no screen file", [](MenuData&) {}, {"File not found : bad.dat"}},
        {"an empty file", [](MenuData& d) { d.raw("bad.dat", ""); }, {"version error"}},
        {"another header word", [](MenuData& d) { d.raw("bad.dat", "menufile 1.0\r\nBegin form bad\r\nend\r\n"); },
         {"version error"}},
        {"a header and nothing else", [](MenuData& d) { d.raw("bad.dat", "tvnmenu 1.0\r\n"); }, {"form not found"}},
        {"an element before the form",
         [](MenuData& d) { d.raw("bad.dat", "tvnmenu 1.0\r\nBegin Label first\r\nend\r\n"); },
         {"form not found"}},
        {"a form block without its name", [](MenuData& d) { d.raw("bad.dat", "tvnmenu 1.0\r\nBegin form"); },
         {"form not found"}},
        {"no ScaleHeight",
         [](MenuData& d) {
             FormFileWriter file = FormFileWriter::screen();
             datakit::FormProperties form;
             form.name = "bad";
             form.has_scale_height = false;
             file.form(form).end();
             d.screen("bad", file);
         },
         {"ScaleHeight not found in", "bad"}},
        {"no ScaleWidth",
         [](MenuData& d) {
             FormFileWriter file = FormFileWriter::screen();
             datakit::FormProperties form;
             form.name = "bad";
             form.has_scale_width = false;
             file.form(form).end();
             d.screen("bad", file);
         },
         {"ScaleWidth not found in", "bad"}},
        {"a type word that names no control",
         [](MenuData& d) { d.screen("bad", one_element("Slider", "s", at_place)); },
         {"undef element", "Slider", "bad.dat"}},
        {"a plot without its legend pictures",
         [](MenuData& d) { d.screen("bad", one_element("Plot", "bar", at_place)); },
         {"not found", "(screen file bad.dat)"}},
        {"no PixHeight",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("PixLeft", 1).key("PixTop", 2).key("PixWidth", 3);
                      }));
         },
         {"Height not found in title", "(screen file bad.dat)"}},
        {"no PixLeft",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("PixHeight", 1).key("PixTop", 2).key("PixWidth", 3);
                      }));
         },
         {"Left not found in title", "(screen file bad.dat)"}},
        {"no PixTop",
         [](MenuData& d) {
             d.screen("bad", one_element("Image", "pic", [](FormFileWriter& f) {
                          f.key("PixHeight", 1).key("PixLeft", 2).key("PixWidth", 3);
                      }));
         },
         {"Top not found in pic", "(screen file bad.dat)"}},
        {"no PixWidth",
         [](MenuData& d) {
             d.screen("bad", one_element("CommandButton", "ok", [](FormFileWriter& f) {
                          f.key("PixHeight", 1).key("PixLeft", 2).key("PixTop", 3);
                      }));
         },
         {"Width not found in ok", "(screen file bad.dat)"}},
        {"a file cut off after the last key's name",
         [](MenuData& d) {
             d.raw("bad.dat", one_element("Label", "title", at_place).text() + "Begin Label cut\r\nPixHeight = 1\r\nPixLeft = 2\r\nPixTop = 3\r\nPixWidth =");
         },
         {"Width not found in cut", "(screen file bad.dat)"}},
        {"a keyed value in a nested block is not the element's own",
         [](MenuData& d) {
             FormFileWriter file = screen_file("bad");
             file.begin("Label", "outer").key("PixHeight", 1).key("PixLeft", 2).key("PixTop", 3);
             file.begin("Label", "inner");
             at_place(file);
             file.end().end().end();
             d.screen("bad", file);
         },
         {"Width not found in outer", "(screen file bad.dat)"}},
        {"an element name of 32 characters",
         [](MenuData& d) { d.screen("bad", one_element("Label", "abcdefghijklmnopqrstuvwxyz012345", at_place)); },
         {"string too long", "(screen file bad.dat)"}},
        {"a link to no element",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("LinkedTo", "ghost");
                          at_place(f);
                      }));
         },
         {"not found", "ghost"}},
        {"a game font without its parameter file",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("FontName", "fonts/none.pcx").key("FontType", "gamefont");
                          at_place(f);
                      }));
         },
         {"fonts/none.mfg", "(screen file bad.dat)"}},
        {"a parameter file with six words",
         [](MenuData& d) {
             d.raw("fonts/short.mfg", "12 16 16 94 33 6\r\n");
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("FontName", "fonts/short.pcx").key("FontType", "gamefont");
                          at_place(f);
                      }));
         },
         {"font parameters missing in fonts/short.mfg", "(screen file bad.dat)"}},
        {"a text file that is not there",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("TextFile", "text/none.txt").key("TextID", "hello");
                          at_place(f);
                      }));
         },
         {"file not found text/none.txt", "(screen file bad.dat)"}},
        {"a text file without its TextID",
         [](MenuData& d) {
             d.text_file("text/menu.txt", {{"hello", "Hello"}});
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("TextFile", "text/menu.txt");
                          at_place(f);
                      }));
         },
         {"textid not found", "(screen file bad.dat)"}},
        {"a TextID the text file does not hold",
         [](MenuData& d) {
             d.text_file("text/menu.txt", {{"hello", "Hello"}});
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("TextFile", "text/menu.txt").key("TextID", "goodbye");
                          at_place(f);
                      }));
         },
         {"textID non trovato", "(screen file bad.dat)"}},
        {"a page the text file does not hold",
         [](MenuData& d) {
             d.text_file("text/menu.txt", {{"help00", "one"}, {"help01", "two"}});
             d.screen("bad", one_element("Label", "title", [](FormFileWriter& f) {
                          f.key("TextCount", 3).key("TextFile", "text/menu.txt").key("TextID", "help");
                          at_place(f);
                      }));
         },
         {"textID non trovato", "(screen file bad.dat)"}},
        {"a TextCount of 0",
         [](MenuData& d) {
             d.text_file("text/menu.txt", {{"hello", "Hello"}});
             d.screen("bad", one_element("Label", "pages", [](FormFileWriter& f) {
                          f.key("TextCount", 0).key("TextFile", "text/menu.txt").key("TextID", "hello");
                          at_place(f);
                      }));
         },
         {"TextCount", "pages", "(screen file bad.dat)"}},
        {"a negative TextCount",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "pages", [](FormFileWriter& f) {
                          f.key("TextCount", -5);
                          at_place(f);
                      }));
         },
         {"TextCount", "pages", "(screen file bad.dat)"}},
        {"an Editable capacity below -1",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "entry", [](FormFileWriter& f) {
                          f.key("Editable", -2);
                          at_place(f);
                      }));
         },
         {"Editable", "entry", "(screen file bad.dat)"}},
        {"a TextVar without TextVarLen",
         [](MenuData& d) {
             d.screen("bad", one_element("Label", "live", [](FormFileWriter& f) {
                          f.key("TextVar", "lap_time");
                          at_place(f);
                      }));
         },
         {"textvarlen not found", "(screen file bad.dat)"}},
        {"an image without Graphic",
         [](MenuData& d) { d.screen("bad", one_element("Image", "pic", at_place)); }, {"Graphic", "pic"}},
        // Frames not on disk are looked for in the folder's archive.
        {"an image whose frames are nowhere, without the folder's archive",
         [](MenuData& d) {
             d.screen("bad", one_element("Image", "pic", [](FormFileWriter& f) {
                          f.key("Graphic", "sprites/none");
                          at_place(f);
                      }));
         },
         {"Main mixer file not found", "(screen file bad.dat)"}},
        {"an image whose frames are neither on disk nor in the folder's archive",
         [](MenuData& d) {
             d.archive("sprites.mix", {{"other0.pcx", "not this one"}});
             d.screen("bad", one_element("Image", "pic", [](FormFileWriter& f) {
                          f.key("Graphic", "sprites/none");
                          at_place(f);
                      }));
         },
         {"frame not found", "sprites/none", "(screen file bad.dat)"}},
        {"a check box without Graphic",
         [](MenuData& d) { d.screen("bad", one_element("CheckBox", "music", at_place)); },
         {"Check_button graphic undef", "(screen file bad.dat)"}},
        {"a sprite button whose sprite is not there",
         [](MenuData& d) {
             d.archive("sprites.mix", {{"other0.pcx", "not this one"}});
             d.screen("bad", one_element("CommandButton", "ok", [](FormFileWriter& f) {
                          at_place(f);
                          f.key("SpriteFile", "sprites/absent.pcx").key("SpriteX", 10).key("SpriteY", 10);
                      }));
         },
         {"frame not found", "sprites/absent.pcx"}},
        {"a sprite frame smaller than its frame size",
         [](MenuData& d) {
             d.picture("sprites/tiny.pcx", menu_test::solid_picture(4, 4, menu_test::kInkRed));
             d.screen("bad", one_element("Image", "pic", [](FormFileWriter& f) {
                          f.key("Graphic", "sprites/tiny.pcx");
                          at_place(f);
                      }));
         },
         {"failed font", "sprites/tiny.pcx"}},
        {"a damaged sprite file",
         [](MenuData& d) {
             d.raw("sprites/junk.pcx", "not a picture");
             d.screen("bad", one_element("Image", "pic", [](FormFileWriter& f) {
                          f.key("Graphic", "sprites/junk.pcx");
                          at_place(f);
                      }));
         },
         {"failed font", "sprites/junk.pcx"}},
    };
    return cases;
}

// Every damaged screen fails its load with its message, leaves no element
// half made behind, and the same record then loads a sound screen.
TEST_F(ScreenFile, DamagedScreenFilesAreRefusedWithTheirMessages)
{
    FormFileWriter sound = screen_file("good");
    sound.begin("Label", "title");
    at_place(sound);
    sound.end().end();
    data_.screen("good", sound);

    for (const DamagedScreen& damaged : damaged_screens()) {
        SCOPED_TRACE(damaged.what);
        std::filesystem::remove(dir_ / "bad.dat");
        std::filesystem::remove(dir_ / "sprites.mix");
        damaged.write(data_);
        manager_.SetScreens({"bad"});
        Form& form = *manager_.Screen(0);
        std::string message;
        try {
            load_into(form, "bad", 0);
        } catch (const GameError& error) {
            message = error.what();
        }
        ASSERT_FALSE(message.empty()) << "the screen loaded";
        std::size_t at = 0;
        for (const std::string& part : damaged.message) {
            const std::size_t found = message.find(part, at);
            EXPECT_NE(found, std::string::npos) << "\"" << part << "\" not in \"" << message << "\"";
            if (found != std::string::npos)
                at = found + part.size();
        }
        load_into(form, "good", 0);
        EXPECT_EQ(form.ElementCount(), 1);
        manager_.FreeCaches();
    }
}

} // namespace
