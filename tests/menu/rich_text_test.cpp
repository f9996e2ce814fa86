// Rich text: the mark-up tags, the layout into runs (words, wraps, long
// words, tab stops, fonts, colours, alignment, pictures and link buttons),
// the tag errors, and a picture of a page of rich text in a window.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "menu/command_button.h"
#include "menu/label_ext.h"
#include "menu/menu_manager.h"
#include "menu/window.h"
#include "platform/text.h"
#include "tests/menu/menu_fixture.h"
#include "tests/menu/screen_reference.h"

namespace {

using datakit::FormFileWriter;
using namespace menu_test;

TEST(RichTextTags, EachTagIsKnownByItsPrefix)
{
    struct Case {
        const char* text;
        std::int32_t code;
    };
    const Case cases[] = {
        {"<TABSET 1 2 3 4 5>", kTagTabSet}, {"<TAB>", kTagTab}, {"\t", kTagTabChar},
        {"<IMAGINET p -1 0>", kTagSideImage}, {"<IMAGINE p 0 0>", kTagImage}, {"<LINK b>", kTagLink},
        {"<FONT:Arial>", kTagFont}, {"<FONTDD:f.pcx>", kTagGameFont}, {"<FONTSIZE 12>", kTagFontSize},
        {"<ALIGNMENT LEFT>", kTagAlignment}, {"<COLOR 1 2 3>", kTagColour}, {"<BOLD>", kTagBold},
        // Six characters of "<ITALIC" are compared.
        {"<ITALIC>", kTagItalic}, {"<ITALICS>", kTagItalic}, {"<ITALY>", kTagUnknown},
        {"<NORMAL>", kTagNormal}, {"<UNDERLINE>", kTagUnderline},
        // Tags are compared case-sensitively; "<TAB" needs its '>'.
        {"<bold>", kTagUnknown}, {"<TAB", kTagUnknown}, {"<TABLE>", kTagUnknown}, {"<XYZ>", kTagUnknown},
        {"<", kTagUnknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LabelExt::TagCode(c.text), c.code) << c.text;
}

// A window at (50, 60), 500 x 380, holding the rich text "text" at (60, 70)
// in the block font, two pictures and a link button.
class RichTextTest : public MenuFixture {
protected:
    static constexpr int kLeft = 60, kTop = 70;

    void SetUp() override
    {
        MenuFixture::SetUp();
        big_.cell_width = 16;
        big_.cell_height = 24;
        big_.space = 8;
        data_.game_font("fonts/menu", words_, kInkWhite, kInkYellow);
        data_.game_font("fonts/big", big_, kInkRed);
        data_.strip("sprites/pic", 40, 32, {kInkGreen});
        data_.strip("sprites/side", 30, 32, {kInkOrange});
        data_.text_file("text/r.txt", {{"go", "GO"}, {"page", page_text()}});
    }

    // The page of the picture below.
    static std::string page_text()
    {
        return "<TABSET 60 120 180 240 300>RANK<TAB>NAME<TAB>TIME\r\n"
               "<ALIGNMENT CENTER>CENTRED LINE\r\n"
               "<ALIGNMENT RIGHT>RIGHT SIDE\r\n"
               "<FONTDD:fonts/big.pcx>BIG TEXT\r\n"
               "<FONTDD:fonts/menu.pcx><IMAGINE pic 0 0>"
               "SEE <LINK go> NOW";
    }

    static void game_font(FormFileWriter& file) { file.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont"); }

    // Loads the screen; `text_id` names the rich text's section (empty: none).
    Form& load(const std::string& text_id = "", int width = 400)
    {
        FormFileWriter file = screen_file("rich");
        file.begin("Window", "pane");
        file.key("WinHeight", 380).key("WinWidth", 500).key("ClipHeight", 380).key("ClipLeft", 50);
        file.key("ClipTop", 60).key("ClipWidth", 500);
        file.begin("LabelExt", "text");
        game_font(file);
        place(file, kLeft, kTop, width, 16);
        if (!text_id.empty())
            file.key("TextFile", "text/r.txt").key("TextID", text_id);
        file.end();
        for (const char* name : {"pic", "side"}) {
            file.begin("Image", name).key_bool("Animated", false).key("Graphic", std::string("sprites/") + name);
            place(file, 0, 0, name[0] == 'p' ? 40 : 30, 32).end();
        }
        file.begin("CommandButton", "go").key("Command", 5);
        game_font(file);
        place(file, 0, 0, 100, 16).key("TextFile", "text/r.txt").key("TextID", "go").end();
        file.end().end();
        data_.screen("rich", file);
        Form& form = load_screen("rich");
        pane_ = static_cast<Window*>(form.FindElement("pane"));
        text_ = static_cast<LabelExt*>(pane_->Children().FindElement("text"));
        return form;
    }

    // Lays a text out in the rich text's place, `width` wide.
    const std::vector<LabelExt::Run>& lay_out(const std::string& text, int width)
    {
        text_->SetText(text.c_str());
        text_->Layout(width);
        return text_->Runs();
    }
    std::string layout_error(const std::string& text, int width = 400)
    {
        try {
            lay_out(text, width);
        } catch (const GameError& e) {
            return e.what();
        }
        return "";
    }
    Control& child(const char* name) { return *pane_->Children().FindElement(name); }

    int w(std::string_view text) const { return block_text_width(text, words_); }

    GameFontWords words_, big_;
    Window* pane_ = nullptr;
    LabelExt* text_ = nullptr;
};

struct RunAt {
    std::string text;
    int x, y;
    std::int32_t alignment;
};

void expect_runs(const std::vector<LabelExt::Run>& runs, const std::vector<RunAt>& expected)
{
    ASSERT_EQ(runs.size(), expected.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(runs[i].text, expected[i].text);
        EXPECT_EQ(runs[i].x, expected[i].x);
        EXPECT_EQ(runs[i].y, expected[i].y);
        EXPECT_EQ(runs[i].alignment, expected[i].alignment);
    }
}

// Words join a run while it fits; the line then ends before the word (one
// blank skipped). A wrapped line is justified; the last one is not.
TEST_F(RichTextTest, WordsWrapIntoJustifiedLines)
{
    load();
    // Two words fill the 60 pixels exactly (a glyph's spacing counts before
    // a blank); a third does not fit.
    ASSERT_EQ(w("AAAA BBBB"), 60);
    ASSERT_EQ(w("CCCC DDDD"), 60);
    expect_runs(lay_out("AAAA BBBB CCCC DDDD EEEE", 60), {{"AAAA BBBB", kLeft, kTop, kAlignJustified},
                                                           {"CCCC DDDD", kLeft, kTop + 16, kAlignJustified},
                                                           {"EEEE", kLeft, kTop + 32, kAlignLeft}});
    EXPECT_EQ(text_->Runs()[0].available, 60);
    EXPECT_EQ(text_->m_nHeight, 48);
    EXPECT_EQ(text_->m_nVisibleRows, 3);
    // A line end ends the paragraph; the next starts at the left again.
    expect_runs(lay_out("AAAA\r\nBBBB\nCCCC", 200), {{"AAAA", kLeft, kTop, kAlignLeft},
                                                     {"BBBB", kLeft, kTop + 16, kAlignLeft},
                                                     {"CCCC", kLeft, kTop + 32, kAlignLeft}});
}

// A word wider than the whole line joins its empty line, cut where the line
// is full, and goes on in the next; even a line of no width ends.
TEST_F(RichTextTest, AWordWiderThanTheLineIsCutAtTheEdge)
{
    load();
    ASSERT_EQ(w("ABCD"), 26);
    ASSERT_GT(w("ABCDE"), 30);
    expect_runs(lay_out("ABCDEFGHIJ", 30), {{"ABCD", kLeft, kTop, kAlignJustified},
                                            {"EFGH", kLeft, kTop + 16, kAlignJustified},
                                            {"IJ", kLeft, kTop + 32, kAlignLeft}});
    expect_runs(lay_out("AB ABCDEFGHIJ", 30), {{"AB", kLeft, kTop, kAlignJustified},
                                               {"ABCD", kLeft, kTop + 16, kAlignJustified},
                                               {"EFGH", kLeft, kTop + 32, kAlignJustified},
                                               {"IJ", kLeft, kTop + 48, kAlignLeft}});
    const auto& narrow = lay_out("ABC", 0);
    ASSERT_EQ(narrow.size(), 3u);
    EXPECT_EQ(narrow[2].text, "C");
    EXPECT_EQ(narrow[2].y, kTop + 32);
}

// "<TAB>" and a tab character go to the next of up to five tab stops; a
// sixth stays where it is instead of reading past them.
TEST_F(RichTextTest, TabsGoToTheTabStops)
{
    load();
    const int after_f = kLeft + 200 + w("F");
    expect_runs(lay_out("<TABSET 40 80 120 160 200>A<TAB>B\tC<TAB>D<TAB>E<TAB>F<TAB>G", 400),
                {{"A", kLeft, kTop, kAlignLeft},
                 {"B", kLeft + 40, kTop, kAlignLeft},
                 {"C", kLeft + 80, kTop, kAlignLeft},
                 {"D", kLeft + 120, kTop, kAlignLeft},
                 {"E", kLeft + 160, kTop, kAlignLeft},
                 {"F", kLeft + 200, kTop, kAlignLeft},
                 {"G", after_f, kTop, kAlignLeft}});
    // The stops count from the line's start again on every line; without
    // stops a tab moves nothing.
    expect_runs(lay_out("<TABSET 40>A<TAB>B\r\nC<TAB>D", 400), {{"A", kLeft, kTop, kAlignLeft},
                                                                 {"B", kLeft + 40, kTop, kAlignLeft},
                                                                 {"C", kLeft, kTop + 16, kAlignLeft},
                                                                 {"D", kLeft + 40, kTop + 16, kAlignLeft}});
    expect_runs(lay_out("A<TAB>B", 400), {{"A", kLeft, kTop, kAlignLeft}, {"B", kLeft + w("A"), kTop, kAlignLeft}});
}

TEST_F(RichTextTest, ColoursAlignmentsAndFontsEndRunsWhereTheyChange)
{
    load();
    const auto& coloured = lay_out("AB<COLOR 255 0 0>CD<COLOR 0 0 255>EF", 400);
    expect_runs(coloured, {{"AB", kLeft, kTop, kAlignLeft},
                           {"CD", kLeft + w("AB"), kTop, kAlignLeft},
                           {"EF", kLeft + w("AB") + w("CD"), kTop, kAlignLeft}});
    EXPECT_EQ(coloured[0].colour, text_->m_ForeColor);
    EXPECT_EQ(coloured[1].colour, 0x0000FFu);
    EXPECT_EQ(coloured[2].colour, 0xFF0000u);

    // Four characters of the alignment word count; an unknown one justifies.
    expect_runs(lay_out("<ALIGNMENT CENTRE>MID\r\n<ALIGNMENT RIGHT>END\r\n<ALIGNMENT LEFTISH>L\r\nLAST", 400),
                {{"MID", kLeft, kTop, kAlignCenter},
                 {"END", kLeft, kTop + 16, kAlignRight},
                 {"L", kLeft, kTop + 32, kAlignLeft},
                 {"LAST", kLeft, kTop + 48, kAlignLeft}});
    expect_runs(lay_out("<ALIGNMENT JUSTIFY>AAAA BBBB CCCC", 60),
                {{"AAAA BBBB", kLeft, kTop, kAlignJustified}, {"CCCC", kLeft, kTop + 16, kAlignLeft}});
    // An alignment or a style inside a run keeps the run whole.
    expect_runs(lay_out("AB<BOLD>CD<NORMAL>EF", 400), {{"ABCDEF", kLeft, kTop, kAlignLeft}});

    // A game font by its ".mfg" words; the line is as high as the font in
    // use at its end.
    const auto& fonts = lay_out("AA<FONTDD:fonts/big.pcx>BB\r\nCC<FONTSIZE 14>DD", 400);
    expect_runs(fonts, {{"AA", kLeft, kTop, kAlignLeft},
                        {"BB", kLeft + w("AA"), kTop, kAlignLeft},
                        {"CC", kLeft, kTop + 24, kAlignLeft},
                        {"DD", kLeft + block_text_width("CC", big_), kTop + 24, kAlignLeft}});
    EXPECT_EQ(fonts[0].font, "fonts/menu.pcx");
    EXPECT_EQ(fonts[1].font, "fonts/big.pcx");
    EXPECT_EQ(fonts[1].font_kind, kFontGame);
    EXPECT_EQ(fonts[1].game_font[1], 24);
    EXPECT_EQ(fonts[2].size, 100);
    EXPECT_EQ(fonts[3].size, 140);
}

TEST_F(RichTextTest, PicturesBesideAndBetweenTheLines)
{
    load();
    // A picture on the left: the lines beside it (32 pixels, two rows)
    // start after it, the offset and three average widths ("O", 8 pixels).
    const int indent = 5 + 3 * 8 + 30;
    expect_runs(lay_out("<IMAGINET side -1 5>AAAA BBBB CCCC DDDD", 100),
                {{"AAAA", kLeft + indent, kTop, kAlignJustified},
                 {"BBBB", kLeft + indent, kTop + 16, kAlignJustified},
                 {"CCCC DDDD", kLeft, kTop + 32, kAlignLeft}});
    EXPECT_EQ(child("side").GetLeft(), kLeft + 5);
    EXPECT_EQ(child("side").GetTop(), kTop);
    // On the right the lines end before it.
    const auto& right = lay_out("<IMAGINET side 1 5>AAAA BBBB", 100);
    EXPECT_EQ(child("side").GetLeft(), kLeft + 100 - 30 - 5 - 8);
    ASSERT_FALSE(right.empty());
    EXPECT_EQ(right[0].available, 100 - indent);

    // A picture on lines of its own, one row below the current line; the
    // text goes on below it.
    expect_runs(lay_out("TOP<IMAGINE pic 0 0>BELOW", 200),
                {{"TOP", kLeft, kTop, kAlignLeft}, {"BELOW", kLeft, kTop + 16 + 32, kAlignLeft}});
    EXPECT_EQ(child("pic").GetLeft(), kLeft + (200 - 40) / 2);
    EXPECT_EQ(child("pic").GetTop(), kTop + 16);
    EXPECT_EQ(text_->m_nHeight, 16 + 32 + 16);
    lay_out("<IMAGINE pic -1 7>", 200);
    EXPECT_EQ(child("pic").GetLeft(), kLeft + 7);
    lay_out("<IMAGINE pic 1 7>", 200);
    EXPECT_EQ(child("pic").GetLeft(), kLeft + 200 - 40 - 7);
}

TEST_F(RichTextTest, ALinkButtonStandsInTheLine)
{
    load();
    const auto& runs = lay_out("SEE <LINK go> NOW", 200);
    auto& go = static_cast<CommandButton&>(child("go"));
    const int link_x = kLeft + w("SEE ");
    expect_runs(runs, {{"SEE ", kLeft, kTop, kAlignLeft}, {" NOW", link_x + w("GO"), kTop, kAlignLeft}});
    EXPECT_EQ(go.GetLeft(), link_x);
    EXPECT_EQ(go.GetTop(), kTop);
    EXPECT_EQ(go.m_nWidth, w("GO"));
    EXPECT_EQ(go.m_nHeight, 16);
    EXPECT_EQ(go.m_nAlignment, kAlignLeft);
    // A button that does not fit starts the next line.
    lay_out("AAAA BBBB<LINK go>", 60);
    EXPECT_EQ(go.GetLeft(), kLeft);
    EXPECT_EQ(go.GetTop(), kTop + 16);
}

TEST_F(RichTextTest, BadTagsAndMissingElementsAreRefused)
{
    load();
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"abc<XYZ>", "Keyword: bad sintax or < in text"},
        {"abc <TAB", "Keyword: bad sintax or < in text"},
        {"a < b", "Keyword: bad sintax or < in text"},
        {"<COLOR 1 2>", "Keyword: bad sintax or < in text"},
        {"<TABSET>", "Keyword: bad sintax or < in text"},
        {"<FONTSIZE big>", "Keyword: bad sintax or < in text"},
        {"<IMAGINE pic>", "Keyword: bad sintax or < in text"},
        {"<IMAGINE nothing 0 0>", "Manca l'immagine"},
        {"<IMAGINET nothing -1 0>", "Manca l'immagine"},
        {"<IMAGINE pic 2 0>", "Allineamento x immagine errato"},
        {"<LINK nothing>", "nothing"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(layout_error(c.text), c.message) << c.text;
}

// A font name is read up to the 39 characters a run keeps, '_' standing
// for a blank.
TEST_F(RichTextTest, AFontNameIsReadToTheWidthOfItsField)
{
    std::string error;
    if (!CreateMenuFont("Arial", 100, 0, 0, 1, &error))
        GTEST_SKIP() << "the menu text service opens no face: " << error;
    load();
    const std::string long_name(60, 'N');
    const auto& runs = lay_out("<FONT:Times_New_Roman>AB<FONT:" + long_name + ">CD", 400);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].font, "Times New Roman");
    EXPECT_EQ(runs[0].font_kind, kFontWindows);
    EXPECT_EQ(runs[1].font, long_name.substr(0, LabelExt::kFontNameMax));
}

// Text in a face is drawn in its run's colour and cut at the window's edge.
TEST_F(RichTextTest, FaceRunsAreDrawnInTheirColourInsideTheWindow)
{
    std::string error;
    if (!CreateMenuFont("Arial", 100, 0, 0, 1, &error))
        GTEST_SKIP() << "the menu text service opens no face: " << error;
    Form& form = load();
    show(0);
    // A run reaching past the window's right edge (550).
    text_->m_fLeft = 480;
    lay_out("<FONT:Arial><COLOR 240 224 40>HHHHHHHHHHHHHHHH", 400);
    ASSERT_EQ(text_->Runs().size(), 1u);
    EXPECT_EQ(text_->Runs()[0].colour, bgr(palette_colour(kInkYellow)));
    clear_screen(0);
    form.Invalidate();
    form.PaintAll();
    // Where the glyphs cover whole pixels the text is its run's colour.
    const std::uint16_t ink = rgb565(palette_colour(kInkYellow));
    int inside = 0, solid = 0, outside = 0;
    for (int y = 60; y < 120; ++y)
        for (int x = 400; x < 640; ++x) {
            const std::uint32_t p = pixel(x, y);
            if (x < 550) {
                inside += p != 0;
                solid += p == ink;
            } else {
                outside += p != 0;
            }
        }
    EXPECT_GT(inside, 100);
    EXPECT_GT(solid, 20);
    EXPECT_EQ(outside, 0);
}

// A page of rich text in its window: tab columns, a centred and a right
// line, a line in a bigger font, a picture centred between lines and a
// link button inside a line, each where the page's numbers put it.
TEST_F(RichTextTest, APageIsDrawnWhereItsTagsPutIt)
{
    Form& form = load("page");
    show(0);
    const std::uint16_t background = rgb565(palette_colour(kInkDarkBlue));
    clear_screen(background);
    form.Invalidate();
    EXPECT_EQ(form.PaintAll(), 1);

    Reference reference(background);
    reference.clip({50, 60, 550, 440});
    // Line 1: columns at the tab stops 60 and 120 from the left edge.
    reference.block_text(kLeft, kTop, "RANK", words_, kInkWhite);
    reference.block_text(kLeft + 60, kTop, "NAME", words_, kInkWhite);
    reference.block_text(kLeft + 120, kTop, "TIME", words_, kInkWhite);
    // Line 2 centred in the 400 pixels, line 3 ending at their right end.
    reference.block_text(kLeft + (400 - w("CENTRED LINE")) / 2, kTop + 16, "CENTRED LINE", words_, kInkWhite);
    reference.block_text(kLeft + 400 - w("RIGHT SIDE"), kTop + 32, "RIGHT SIDE", words_, kInkWhite);
    // Line 4 in the big font, 24 pixels high.
    reference.block_text(kLeft, kTop + 48, "BIG TEXT", big_, kInkRed);
    // The picture centred one row below line 5, the text after it.
    const int line5 = kTop + 48 + 24;
    reference.framed(kLeft + (400 - 40) / 2, line5 + 16, 40, 32, kInkGreen, kInkWhite);
    const int line6 = line5 + 16 + 32;
    reference.block_text(kLeft, line6, "SEE ", words_, kInkWhite);
    reference.block_text(kLeft + w("SEE "), line6, "GO", words_, kInkWhite);
    reference.block_text(kLeft + w("SEE ") + w("GO"), line6, " NOW", words_, kInkWhite);
    expect_screen(device_, reference);

    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/rich_text.png", screenshot(), 0, 0);
}

} // namespace
