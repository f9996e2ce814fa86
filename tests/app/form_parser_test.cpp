#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/form_parser.h"
#include "app/game_error.h"
#include "tests/app/text_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/form_file_writer.h"

using text_fixture::Storage;
using text_fixture::TextFiles;

namespace {

datakit::FormProperties MainForm()
{
    datakit::FormProperties form;
    form.name = "Main";
    form.back_color = 0x102030;
    form.background = "back.pcx";
    form.fore_color = 0xC0C0C0;
    form.scale_height = 480;
    form.scale_left = 5;
    form.scale_top = 7;
    form.scale_width = 640;
    return form;
}

// The message of the GameError that LoadForm throws, or "" when it loads.
std::string LoadError(const char* screen)
{
    FormParser parser;
    try {
        parser.LoadForm(screen);
    } catch (const GameError& error) {
        EXPECT_FALSE(parser.IsOpen());
        return error.what();
    }
    return "";
}

class FormParserTest : public text_fixture::StoredTextTest {
protected:
    FormParserTest() : StoredTextTest("form") {}

    // A screen with two controls, the second holding a nested block, and a
    // defaults file.
    void PlaceMainScreen()
    {
        auto screen = datakit::FormFileWriter::screen("2.5");
        screen.form(MainForm())
            .begin("Button", "Start")
            .key("Caption", "Go")
            .key3("Corner", std::int32_t{10}, std::int32_t{-20}, std::int32_t{30})
            .key_bool("Enabled", true)
            .key("Height", 1.5f)
            .key("PixLeft", std::int32_t{100})
            .key3("Tint", 0.25f, 0.5f, 1.0f)
            .end()
            .begin("Label", "Title")
            .key("Caption", "Hello")
            .begin("Font", "Inner")
            .key("Size", std::int32_t{12})
            .end()
            .key("Tag", std::int32_t{9})
            .end()
            .end();
        Place("menu\\Main.dat", screen);
        auto defaults = datakit::FormFileWriter::defaults();
        defaults.begin("Button", "Title").key("ForeColor", "&H00FF0000&").end();
        defaults.begin("Label", "Start").key("FontName", "arial").key("ForeColor", "&H000000FF&").end();
        Place("menu\\Main.pat", defaults);
    }

};

} // namespace

TEST_P(FormParserTest, RoundTripOfAScreenAndItsDefaults)
{
    PlaceMainScreen();
    FormParser parser;
    parser.LoadForm("menu\\Main");
    EXPECT_EQ(parser.IsArchive(), files_.from_archive());
    EXPECT_EQ(parser.FileName(), "menu\\Main.dat");
    EXPECT_EQ(parser.FormName(), "Main");
    EXPECT_EQ(parser.Version(), 2.5f);
    EXPECT_EQ(parser.BackColor, 0x102030u);
    EXPECT_EQ(parser.BackGround, "back.pcx");
    EXPECT_EQ(parser.ForeColor, 0xC0C0C0u);
    EXPECT_EQ(parser.ScaleHeight, 480);
    EXPECT_EQ(parser.ScaleLeft, 5);
    EXPECT_EQ(parser.ScaleTop, 7);
    EXPECT_EQ(parser.ScaleWidth, 640);
    ASSERT_TRUE(parser.HasDefaults());

    char type[kTokenCapacity];
    char name[kTokenCapacity];
    ASSERT_TRUE(parser.ReadBegin(type, name));
    EXPECT_STREQ(type, "Button");
    EXPECT_STREQ(name, "Start");
    char caption[kTokenCapacity];
    ASSERT_TRUE(parser.GetString("caption", caption));
    EXPECT_STREQ(caption, "Go");
    std::int32_t a = 0, b = 0, c = 0;
    ASSERT_TRUE(parser.GetInt3("Corner", a, b, c));
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, -20);
    EXPECT_EQ(c, 30);
    bool enabled = false;
    ASSERT_TRUE(parser.GetBool("Enabled", enabled));
    EXPECT_TRUE(enabled);
    float height = 0;
    ASSERT_TRUE(parser.GetFloat("Height", height));
    EXPECT_EQ(height, 1.5f);
    float left = 0;
    ASSERT_TRUE(parser.GetIntAsFloat("PixLeft", left));
    EXPECT_EQ(left, 100.0f);
    float x = 0, y = 0, z = 0;
    ASSERT_TRUE(parser.GetFloat3("Tint", x, y, z));
    EXPECT_EQ(x, 0.25f);
    EXPECT_EQ(y, 0.5f);
    EXPECT_EQ(z, 1.0f);

    // The defaults file is searched by block name from its start; the screen
    // file's position and mark stay.
    const std::int64_t before = parser.Tell();
    const std::int64_t mark = parser.MarkedPos();
    char value[kTokenCapacity];
    ASSERT_TRUE(parser.GetDefault("Start", "FontName", value));
    EXPECT_STREQ(value, "arial");
    ASSERT_TRUE(parser.GetDefault("Button", "Title", "ForeColor", value));
    EXPECT_STREQ(value, "&H00FF0000&");
    EXPECT_FALSE(parser.GetDefault("Button", "Start", "FontName", value)); // the type differs
    EXPECT_FALSE(parser.GetDefault("Start", "Missing", value));
    EXPECT_EQ(parser.Tell(), before);
    EXPECT_EQ(parser.MarkedPos(), mark);

    strcpy(name, "title");
    ASSERT_TRUE(parser.FindBlock(nullptr, name));
    EXPECT_STREQ(name, "Title"); // the name as the file writes it
    ASSERT_TRUE(parser.GetString("Caption", caption));
    EXPECT_STREQ(caption, "Hello");
    std::int32_t tag = 0;
    EXPECT_FALSE(parser.GetInt("Tag", tag)); // behind the nested block's header
    ASSERT_TRUE(parser.ReadBegin(type, name));
    EXPECT_STREQ(name, "Inner");
    parser.Close();
    EXPECT_FALSE(parser.IsOpen());
    EXPECT_EQ(parser.BackGround, "");
    EXPECT_FALSE(parser.GetInt("Size", tag));
}

TEST_P(FormParserTest, KeysAreFoundInFileOrderAndMissingOnesLeaveThePosition)
{
    auto screen = datakit::FormFileWriter::screen();
    datakit::FormProperties form = MainForm();
    form.has_scale_left = false; // missing: 0, and ScaleTop is still found
    screen.form(form).begin("Box", "A").key("Alpha", std::int32_t{1}).key("Beta", std::int32_t{2}).end().end();
    Place("menu\\Order.dat", screen);

    FormParser parser;
    parser.LoadForm("menu\\Order.dat");
    EXPECT_EQ(parser.ScaleLeft, 0);
    EXPECT_EQ(parser.ScaleTop, 7);
    EXPECT_FALSE(parser.HasDefaults());
    char value[kTokenCapacity];
    EXPECT_FALSE(parser.GetDefault("A", "Alpha", value));

    char type[kTokenCapacity], name[kTokenCapacity];
    ASSERT_TRUE(parser.ReadBegin(type, name));
    parser.MarkPos();
    const std::int64_t block_start = parser.Tell();
    std::int32_t v = 0;
    EXPECT_FALSE(parser.GetInt("Gamma", v));
    EXPECT_EQ(parser.Tell(), block_start);
    ASSERT_TRUE(parser.GetInt("Beta", v));
    EXPECT_EQ(v, 2);
    EXPECT_FALSE(parser.GetInt("Alpha", v)); // it lies above the reader now
    parser.Seek(block_start);
    ASSERT_TRUE(parser.GetInt("Alpha", v));
    EXPECT_EQ(v, 1);

    parser.Seek(0); // the start of the file is a position like any other
    ASSERT_TRUE(parser.NextToken(value));
    EXPECT_STREQ(value, "tvnmenu");
}

TEST_P(FormParserTest, ColoursAndTripleValues)
{
    auto screen = datakit::FormFileWriter::screen();
    screen.form(MainForm()).begin("Box", "A");
    screen.key("Grey", "&H00C0C0C0&").key("Red", "&H000000FF&").key("Short", "&H0&");
    screen.key3("Two", std::int32_t{1}, std::int32_t{2}, std::int32_t{3});
    screen.add_line("    Bases = 0x10 010 -5");
    screen.add_line("    Pair = 1 2");
    screen.add_line("    Next = 4 5 6");
    screen.end().end();
    Place("menu\\Colour.dat", screen);

    FormParser parser;
    parser.LoadForm("menu\\Colour");
    char type[kTokenCapacity], name[kTokenCapacity];
    ASSERT_TRUE(parser.ReadBegin(type, name));
    std::uint32_t colour = 0;
    ASSERT_TRUE(parser.GetColor("Grey", colour));
    EXPECT_EQ(colour, 0xC0C0C0u);
    ASSERT_TRUE(parser.GetColor("Red", colour));
    EXPECT_EQ(colour, 0xFFu);
    const std::int64_t before = parser.Tell();
    EXPECT_FALSE(parser.GetColor("Short", colour)); // too short to hold a colour
    EXPECT_EQ(parser.Tell(), before);
    EXPECT_EQ(colour, 0xFFu);

    std::int32_t a = 0, b = 0, c = 0;
    ASSERT_TRUE(parser.GetInt3("Two", a, b, c));
    ASSERT_TRUE(parser.GetInt3("Bases", a, b, c));
    EXPECT_EQ(a, 16);
    EXPECT_EQ(b, 8);
    EXPECT_EQ(c, -5);
    // Two values are not three, from a file and from an archive alike.
    EXPECT_FALSE(parser.GetInt3("Pair", a, b, c));
    EXPECT_EQ(a, 16);
    ASSERT_TRUE(parser.GetInt3("Next", a, b, c));
    EXPECT_EQ(c, 6);
}

TEST_P(FormParserTest, ScreenNamesAreCutAtTheirExtension)
{
    auto screen = datakit::FormFileWriter::screen();
    screen.form(MainForm()).end();
    Place("menu\\x.dat", screen);
    for (const char* name : {"menu\\x", "menu\\x.dat", "menu\\X.frm", ".\\menu\\x.dat", "./menu/x"}) {
        EXPECT_EQ(LoadError(name), "") << name;
    }
}

// Damaged screen files and what loading them reports.
TEST_P(FormParserTest, DamagedScreensFailAsTheirFirstMissingPart)
{
    const std::string long_word(600, 'q');
    const std::string good_keys = "ScaleHeight = 480\nScaleWidth = 640\n";
    struct Case {
        const char* name;
        std::string text;
        std::string message; // "" when it loads
    };
    const Case cases[] = {
        {"empty", "", "version error"},
        {"header cut", "tvnme", "version error"},
        {"other header", "menu 1.0\nBegin form x\n" + good_keys, "version error"},
        {"overlong header", "tvnmenu" + long_word + " 1\nBegin form x\n" + good_keys, "version error"},
        {"no block", "tvnmenu 1.0\n", "form not found"},
        {"first block not a form", "tvnmenu 1.0\nBegin Button x\n" + good_keys, "form not found"},
        {"form name cut", "tvnmenu 1.0\nBegin form", "form not found"},
        {"no version", "tvnmenu\nBegin form x\n" + good_keys, ""},
        {"no height", "tvnmenu 1.0\nBegin form x\nScaleWidth = 640\n", "ScaleHeight not found in menu\\bad"},
        {"height without value", "tvnmenu 1.0\nBegin form x\nScaleHeight =", "ScaleHeight not found in menu\\bad"},
        {"no width", "tvnmenu 1.0\nBegin form x\nScaleHeight = 480\n", "ScaleWidth not found in menu\\bad"},
        {"width behind a block", "tvnmenu 1.0\nBegin form x\nScaleHeight = 480\nBegin Box b\nScaleWidth = 640\n",
         "ScaleWidth not found in menu\\bad"},
        {"overlong values", "tvnmenu 1.0\nBegin form " + long_word + "\nBackGround = " + long_word + "\n" + good_keys,
         ""},
        {"short colour", "tvnmenu 1.0\nBegin form x\nBackColor = &H&\n" + good_keys, ""},
    };
    int index = 0;
    for (const Case& c : cases) {
        // A fresh name each time: archives keep every entry written to them.
        const std::string base = "menu\\bad" + std::to_string(index++);
        Place(base + ".dat", c.text);
        std::string message = LoadError(base.c_str());
        // The messages name the screen as given; compare without the number.
        const std::string given = "menu\\bad" + std::to_string(index - 1);
        if (const auto at = message.find(given); at != std::string::npos) {
            message.replace(at, given.size(), "menu\\bad");
        }
        EXPECT_EQ(message, c.message) << c.name;
    }

    FormParser parser;
    Place("menu\\long.dat", "tvnmenu 1.0\nBegin form " + long_word + "\nBackGround = " + long_word + "\n" + good_keys);
    parser.LoadForm("menu\\long");
    EXPECT_EQ(parser.FormName(), long_word.substr(0, kTokenCapacity - 1));
    EXPECT_EQ(parser.BackGround, long_word.substr(0, kTokenCapacity - 1));
}

TEST(FormParser, MissingScreenFileIsReported)
{
    const auto dir = torvane_test::make_temp_dir("form_missing");
    torvane_test::ScopedCwd cwd(dir);
    EXPECT_EQ(LoadError("menu\\nothing.xyz"), "File not found : menu\\nothing.dat");
    EXPECT_EQ(LoadError(nullptr), "File not found : .dat");
    FormParser parser;
    std::int32_t value = 0;
    EXPECT_FALSE(parser.GetInt("ScaleWidth", value)); // nothing open
    char word[kTokenCapacity];
    EXPECT_FALSE(parser.NextToken(word));
    parser.RestorePos(); // nothing open: nothing happens
}

TEST(FormParser, ScaleHelper)
{
    FormParser parser;
    parser.ScaleWidth = 640;
    EXPECT_EQ(parser.Scale(100), 100); // no divisor yet
    parser.SetScaleDivisor(320);
    EXPECT_EQ(parser.Scale(100), 200);
    EXPECT_EQ(parser.Scale(2147483647), 4294967294LL);
}

INSTANTIATE_TEST_SUITE_P(Sources, FormParserTest, text_fixture::kAllStorages, text_fixture::storage_name);
