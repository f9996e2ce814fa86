#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "app/form_parser.h"
#include "app/game_error.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/screen_hooks.h"
#include "menu/state_io.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/form_file_writer.h"
#include "tools/datakit/word_file_writer.h"

namespace {

// A face of fixed metrics: every character `average` pixels wide, rows
// `cell` pixels high, so that the layout rules can be checked by counting.
class FixedFace : public platform::TextFace {
public:
    FixedFace(int average, int cell) : TextFace({"Fixed", cell}), average_(average), cell_(cell) {}
    int cell_height() const override { return cell_; }
    int ascent() const override { return cell_ - cell_ / 4; }
    int average_char_width() const override { return average_; }
    int measure(std::string_view text) const override { return average_ * static_cast<int>(text.size()); }
    // Never drawn: these labels are only laid out.
    platform::TextCoverage coverage(std::string_view) const override { return {}; }
    const std::string& file() const override { return file_; }

private:
    int average_, cell_;
    std::string file_ = "fixed.ttf";
};

// A Windows-font label of the given size on a face of 9-pixel characters
// and 16-pixel rows (so c = width / 10 characters a row).
struct FaceLabel {
    explicit FaceLabel(std::int32_t width, std::int32_t height = 160, std::int32_t type = kControlLabel)
        : label(type)
    {
        label.m_nFontKind = kFontWindows;
        label.m_pFace = &face;
        label.m_nWidth = width;
        label.m_nHeight = height;
    }
    std::vector<std::string> rows() const
    {
        std::vector<std::string> out;
        for (std::int32_t i = 0; i < label.RowCount(); ++i)
            out.push_back(label.RowText(i));
        return out;
    }
    FixedFace face{9, 16};
    Label label;
};

using Rows = std::vector<std::string>;

// The screen handlers' command hook, counting the controls that report.
std::vector<const Control*> g_Reported;
bool RecordCommand(Control& control)
{
    g_Reported.push_back(&control);
    return true;
}

class HooksGuard {
public:
    explicit HooksGuard(const ScreenHooks& hooks)
    {
        g_Reported.clear();
        SetScreenHooks(hooks);
    }
    ~HooksGuard() { SetScreenHooks({}); }
};

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const GameError& e) {
        return e.what();
    }
    return "no error";
}

// ---- Rows for a face ----

TEST(LabelRows, AFaceBreaksRowsAtBlanksWithinTheCharactersAWidthHolds)
{
    const struct {
        std::int32_t width;
        const char* text;
        Rows rows;
    } cases[] = {
        // 100 pixels and characters of 9 (+1): at most 10 characters a row,
        // broken at the last blank that keeps it so, the blank left out.
        {100, "The quick brown fox jumps over the lazy dog", {"The quick", "brown fox", "jumps over", "the lazy", "dog"}},
        // A word longer than a row is broken where it no longer fits.
        {30, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX",
         {"abc", "def", "ghi", "jkl", "mno", "pqr", "stu", "vwx", "yzA", "BCD", "EFG", "HIJ", "KLM", "NOP", "QRS",
          "TUV", "WX"}},
        {40, "to be superconducting", {"to", "be", "supe", "rcon", "duct", "ing"}},
        // Narrower than one character: still one character a row.
        {1, "ab c", {"a", "b", "c"}},
        {0, "xy", {"x", "y"}},
        // A row that would begin with a blank makes no empty row.
        {20, "ab  cd", {"ab", "cd"}},
        // A text that fits is one row; an empty one none.
        {100, "short", {"short"}},
        {100, "", {}},
    };
    for (const auto& c : cases) {
        FaceLabel f(c.width);
        f.label.SetText(c.text);
        EXPECT_EQ(f.rows(), c.rows) << c.width << " px: " << c.text;
    }
}

TEST(LabelRows, RowHeightAndVisibleRowsFollowTheFaceAndTheHeight)
{
    FaceLabel f(100, 40);
    f.label.SetText("one two three four five six seven eight");
    EXPECT_EQ(f.label.m_nRowHeight, 16);
    EXPECT_EQ(f.label.m_nAverageWidth, 10);
    EXPECT_EQ(f.label.RowCount(), 5);
    EXPECT_EQ(f.label.m_nVisibleRows, 2);  // 40 / 16
    // Capped at the rows there are.
    f.label.SetText("one");
    EXPECT_EQ(f.label.m_nVisibleRows, 1);

    // A first row beyond the new rows comes back to the last one; a
    // selection beyond them makes the last row the current one.
    f.label.SetText("one two three four five six seven eight");
    f.label.m_nFirstRow = 3;
    f.label.m_nSelectedRow = 3;
    f.label.SetText("one two three");
    EXPECT_EQ(f.label.RowCount(), 2);
    EXPECT_EQ(f.label.m_nFirstRow, 1);
    EXPECT_EQ(f.label.m_nCurrentRow, 1);
}

// ---- Setting and getting the text ----

TEST(LabelText, AShorterTextReusesTheBufferALongerOneReplacesIt)
{
    FaceLabel f(200);
    Label& label = f.label;
    label.SetText("twelve chars");
    ASSERT_NE(label.CurrentPageRecord(), nullptr);
    EXPECT_EQ(label.CurrentPageRecord()->capacity, 12);

    // Shorter: the capacity stays, the text is the new one.
    label.SetText("short");
    EXPECT_EQ(label.CurrentPageRecord()->capacity, 12);
    EXPECT_EQ(label.RowText(0), "short");
    // Asking for room beyond the buffer replaces it with that room.
    label.SetText("short", 40);
    EXPECT_EQ(label.CurrentPageRecord()->capacity, 40);

    // Longer: replaced, its final line break cut, the capacity its length.
    label.SetText("a text longer than forty characters, replaced\r\n");
    EXPECT_EQ(label.CurrentPageRecord()->text, "a text longer than forty characters, replaced");
    EXPECT_EQ(label.CurrentPageRecord()->capacity, 45);

    // A capacity asked for below the text's length cuts the text to it.
    label.SetText("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefgh", 50);
    EXPECT_EQ(label.CurrentPageRecord()->capacity, 50);
    EXPECT_EQ(label.CurrentPageRecord()->text, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd");

    char small[6];
    EXPECT_FALSE(label.GetText(small, sizeof small));
    EXPECT_STREQ(small, "01234");
    char big[64];
    EXPECT_TRUE(label.GetText(big, sizeof big));
    EXPECT_STREQ(big, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd");
    EXPECT_EQ(label.m_nRedraw, 2);
}

TEST(LabelText, PagesRowsAndTheirErrors)
{
    FaceLabel f(400);
    Label& label = f.label;
    EXPECT_EQ(ErrorOf([&] { label.FirstRowLength(); }), "0 row");
    // A face breaks by width only: a line end inside a row stays in it.
    label.SetText("first row\r\nstill the first row");
    EXPECT_EQ(label.FirstRowLength(), 30);
    EXPECT_EQ(ErrorOf([&] { label.SetFirstRow(-1); }), "non si puo'");
    EXPECT_EQ(ErrorOf([&] { label.SetPage(1); }), "page 1 out of range in ");
    label.SetPage(0);  // the page it shows: nothing

    // Saved rows are cut at their first line end, and saved once.
    label.SaveRows();
    ASSERT_EQ(label.m_SavedRows.size(), 1u);
    EXPECT_EQ(label.m_SavedRows[0], "first row");
    label.SetText("other");
    label.SaveRows();
    EXPECT_EQ(label.m_SavedRows[0], "first row");
}

// ---- Keys, pointer and notifications ----

TEST(LabelKeys, DownAndUpMoveTheSelectionAndLeaveAtTheEnds)
{
    // Each step: the key, its result (true: the label used it), the
    // selected and the current row after it.
    const struct {
        char key;
        bool used;
        std::int32_t selected;
    } steps[] = {
        {'D', true, 0}, {'D', true, 1}, {'D', true, 2},
        {'D', false, -1},  // off the last row: the focus moves on
        {'D', true, 0},    {'U', false, 3},  // up from row 0: one past the last
        {'U', true, 2},    {'U', true, 1},  {'U', true, 0},
    };
    FaceLabel f(50);
    Label& label = f.label;
    label.m_nUserID = 4;
    label.SetText("aaaa bbbb cccc");
    ASSERT_EQ(label.RowCount(), 3);
    const HooksGuard hooks(ScreenHooks{.menu_command = &RecordCommand});
    int downs_used = 0;
    for (const auto& s : steps) {
        const bool used = s.key == 'D' ? label.OnKeyDown() : label.OnKeyUp();
        EXPECT_EQ(used, s.used) << s.key << " to " << s.selected;
        EXPECT_EQ(label.m_nSelectedRow, s.selected);
        EXPECT_EQ(label.m_nCurrentRow, s.selected);
        downs_used += s.key == 'D' && s.used;
    }
    // Every row the Down key chose was reported; Up reports nothing.
    EXPECT_EQ(static_cast<int>(g_Reported.size()), downs_used);

    // Without its report flag (while a screen prepares) nothing is reported.
    g_Reported.clear();
    label.m_nFlags = 0;
    label.OnKeyDown();
    EXPECT_TRUE(g_Reported.empty());

    // While editing, the keys stay with the label.
    label.EditRow(1);
    EXPECT_TRUE(label.OnKeyDown());
    EXPECT_TRUE(label.OnKeyUp());
    EXPECT_EQ(label.m_nSelectedRow, 1);
}

TEST(LabelKeys, AClickPicksTheRowUnderThePointerAndTakesTheFocus)
{
    Form form;
    auto* label = static_cast<Label*>(form.AddElement(kControlLabel, nullptr, "list"));
    form.AddElement(kControlLabel, nullptr, "other");
    FixedFace face(9, 16);
    label->m_nFontKind = kFontWindows;
    label->m_pFace = &face;
    label->m_fLeft = 100;
    label->m_fTop = 50;
    label->m_nWidth = 50;
    label->m_nHeight = 32;
    label->m_nUserID = 7;
    label->SetText("aaaa bbbb cccc dddd");
    ASSERT_EQ(label->RowCount(), 4);
    const HooksGuard hooks(ScreenHooks{.menu_command = &RecordCommand});

    // Not focusable: the click passes by.
    EXPECT_TRUE(label->OnMouse(120, 60, kMouseLeftDown, 0));
    EXPECT_EQ(label->m_nSelectedRow, -1);

    label->m_bCanHaveFocus = 1;
    label->m_nFirstRow = 1;
    // A move, or a click outside, picks nothing.
    EXPECT_TRUE(label->OnMouse(120, 60, kMouseMove, 0));
    EXPECT_TRUE(label->OnMouse(99, 60, kMouseLeftDown, 0));
    EXPECT_EQ(label->m_nSelectedRow, -1);
    // Second row shown (y 66..81 is the second shown row, the label's row 2).
    EXPECT_TRUE(label->OnMouse(120, 70, kMouseLeftDown, 0));
    EXPECT_EQ(form.m_nFocus, 0);
    EXPECT_EQ(label->m_nSelectedRow, 2);
    EXPECT_EQ(label->m_nCurrentRow, 2);
    EXPECT_EQ(g_Reported, std::vector<const Control*>{label});
}

TEST(LabelNotify, ScrollAndPageCodes)
{
    // Each code and the first row and page after it, on a label of 3 pages
    // whose page 0 has 6 rows, 2 of them visible.
    const struct {
        std::int32_t code;
        std::int32_t first_row;
        std::int32_t page;
    } steps[] = {
        {-5, 1, 0}, {-5, 2, 0}, {-7, 4, 0}, {-5, 4, 0},  // down to the end, no further
        {-4, 3, 0}, {-6, 0, 0}, {-4, 0, 0},              // up, top, no higher
        {-3, 0, 2},                                      // previous page from page 0 is the last
        {-2, 0, 0}, {-2, 0, 1}, {-1, 0, 1},              // next page wraps; other codes do nothing
    };
    FaceLabel f(50, 32);
    Label& label = f.label;
    label.m_Pages.resize(3);
    for (std::int32_t page = 2; page >= 0; --page) {
        label.m_nCurrentPage = page;
        label.SetText(page == 0 ? "aaaa bbbb cccc dddd eeee ffff" : "page");
    }
    ASSERT_EQ(label.RowCount(), 6);
    ASSERT_EQ(label.m_nVisibleRows, 2);
    for (const auto& s : steps) {
        label.Notify(s.code);
        EXPECT_EQ(label.m_nFirstRow, s.first_row) << s.code;
        EXPECT_EQ(label.CurrentPage(), s.page) << s.code;
    }
    // After a page change the visible rows are those of the new page.
    EXPECT_EQ(label.m_nVisibleRows, 1);
}

TEST(LabelNotify, LinkedLabelsFollowAndARingOfLinksIsWalkedOnce)
{
    FaceLabel a(100, 32), b(100, 32), c(100, 32);
    for (FaceLabel* f : {&a, &b, &c})
        f->label.SetText("aaaa bbbb cccc dddd eeee ffff");
    // a -> b -> c -> a: every label scrolls one row, once.
    a.label.LinkTo(&b.label);
    b.label.LinkTo(&c.label);
    c.label.LinkTo(&a.label);
    a.label.Notify(-5);
    for (FaceLabel* f : {&a, &b, &c})
        EXPECT_EQ(f->label.m_nFirstRow, 1);
    b.label.SetFirstRow(3);
    for (FaceLabel* f : {&a, &b, &c})
        EXPECT_EQ(f->label.m_nFirstRow, 3);
    c.label.SetCurrentRow(2);
    for (FaceLabel* f : {&a, &b, &c})
        EXPECT_EQ(f->label.m_nCurrentRow, 2);

    // A label linked to itself.
    FaceLabel self(50, 32);
    self.label.SetText("aaaa bbbb cccc dddd");
    self.label.LinkTo(&self.label);
    self.label.Notify(-5);
    EXPECT_EQ(self.label.m_nFirstRow, 1);
    self.label.SetFirstRow(2);
    self.label.SetCurrentRow(1);
    EXPECT_EQ(self.label.m_nCurrentRow, 1);

    // The rows pass to labels only: a button down the chain stops them,
    // though a notification still reaches it.
    FaceLabel head(100, 32), button(100, 32, kControlCommandButton), tail(100, 32);
    head.label.LinkTo(&button.label);
    button.label.LinkTo(&tail.label);
    head.label.SetCurrentRow(5);
    head.label.SetFirstRow(4);
    EXPECT_EQ(button.label.m_nCurrentRow, -1);
    EXPECT_EQ(tail.label.m_nCurrentRow, -1);
    EXPECT_EQ(button.label.m_nFirstRow, 0);
}

// ---- Editing ----

TEST(LabelEdit, TypingAppendsWithinTheBufferAndTheWidth)
{
    // The row buffer of a 13-character text padded with blanks holds 13
    // characters; editing starts after the name, the blanks cut.
    FaceLabel f(200, 16);
    Label& label = f.label;
    label.SetText("Bob          ");
    label.EditRow(0);
    EXPECT_TRUE(label.m_bEditing);
    EXPECT_EQ(label.RowText(0), "Bob");
    for (char c : std::string("by Tables!"))
        label.OnChar(c);
    EXPECT_EQ(label.RowText(0), "Bobby Tables!");
    label.OnChar('x');  // the buffer is full
    EXPECT_EQ(label.RowText(0), "Bobby Tables!");
    char text[32];
    label.GetText(text, sizeof text);
    EXPECT_STREQ(text, "Bobby Tables!");

    label.OnChar(8);
    label.OnChar(8);
    EXPECT_EQ(label.RowText(0), "Bobby Table");
    // Control characters and codes beyond a character are not typed.
    for (std::int32_t code : {0, 13, 27, -3, 300})
        label.OnChar(code);
    EXPECT_EQ(label.RowText(0), "Bobby Table");

    // The row with two more characters must still fit the width: 200 px of
    // 9-pixel characters hold 22, so typing stops at 21.
    label.SetText("", 60);
    label.EditRow(0);
    for (int i = 0; i < 30; ++i)
        label.OnChar('a' + i % 26);
    EXPECT_EQ(label.RowText(0).size(), 21u);

    // Deleting from an empty row does nothing.
    label.SetText("", 10);
    label.EditRow(0);
    label.OnChar(8);
    EXPECT_EQ(label.RowText(0), "");

    // Not editing: characters do nothing.
    label.EditRow(-1);
    EXPECT_FALSE(label.m_bEditing);
    label.OnChar('z');
    EXPECT_EQ(label.RowText(0), "");
}

TEST(LabelEdit, RowPrimitivesStayInsideTheirBuffer)
{
    Label::Page page;
    page.capacity = 4;
    page.text = "ab";
    page.rows.push_back({0, 2, 5});
    EXPECT_TRUE(Label::RowAppendChar(page, 0, 'c'));
    EXPECT_TRUE(Label::RowAppendChar(page, 0, 'd'));
    EXPECT_FALSE(Label::RowAppendChar(page, 0, 'e'));
    EXPECT_EQ(page.text, "abcd");
    EXPECT_FALSE(Label::RowAppendChar(page, 1, 'e'));  // no such row
    EXPECT_TRUE(Label::RowDeleteLast(page, 0));
    EXPECT_EQ(page.text, "abc");
    EXPECT_EQ(page.rows[0].length, 3);
}

// ---- The incremental drawing path ----

TEST(LabelUpdate, ALabelBeingEditedOrLiveIsDrawnEveryFrame)
{
    FaceLabel f(100, 32);
    Label& label = f.label;
    label.m_fLeft = 10;
    label.m_fTop = 20;
    label.SetText("text");
    label.m_nRedraw = 0;
    std::int32_t left = 300, top = 300, right = 0, bottom = 0;
    EXPECT_TRUE(label.Update(&left, &top, &right, &bottom));
    EXPECT_EQ(left, 300);  // nothing new to draw: the rectangle stays
    label.EditRow(0);
    label.m_nRedraw = 0;
    EXPECT_TRUE(label.Update(&left, &top, &right, &bottom));
    EXPECT_EQ(label.m_nRedraw, 2);
    EXPECT_EQ(left, 10);
    EXPECT_EQ(top, 20);
    EXPECT_EQ(right, 110);
    EXPECT_EQ(bottom, 52);
}

// ---- State ----

TEST(LabelState, TheCurrentPageIsSavedAndLoaded)
{
    const std::filesystem::path dir = torvane_test::make_temp_dir("label_state");
    const std::string path = (dir / "state.bin").string();
    FaceLabel f(100);
    f.label.m_Pages.resize(3);
    f.label.m_nCurrentPage = 2;
    {
        platform::File file;
        ASSERT_TRUE(file.open(path, "wb"));
        f.label.SaveState(file);
        // A page the label does not have.
        WriteStateWord(file, 7);
        ASSERT_TRUE(file.close());
    }
    f.label.m_nCurrentPage = 0;
    platform::File file;
    ASSERT_TRUE(file.open(path, "rb"));
    f.label.LoadState(file);
    EXPECT_EQ(f.label.CurrentPage(), 2);
    f.label.LoadState(file);
    EXPECT_EQ(f.label.CurrentPage(), 2);
    EXPECT_EQ(ErrorOf([&] { f.label.LoadState(file); }), "menu state file too short");
}

} // namespace

// ---- Labels from screen files, drawn with a game font ----

namespace {

using datakit::FormFileWriter;
using menu_test::block_text_width;
using menu_test::kInkGreen;
using menu_test::kInkRed;
using menu_test::place;
using menu_test::screen_file;

class LabelScreen : public menu_test::MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        // Base look red, the selected-row look green.
        data_.game_font("fonts/menu", words_, kInkRed, kInkGreen);
    }
    // A game-font label block with its place; the caller adds its own keys
    // (in the order the label reads them) before and after `keys_after`.
    static void label_block(FormFileWriter& file, const std::string& name, int left, int top, int width, int height,
                            const std::function<void(FormFileWriter&)>& label_keys = {})
    {
        file.begin("Label", name);
        file.key("FontName", "fonts/menu.pcx");
        file.key("FontType", "gamefont");
        place(file, left, top, width, height);
        if (label_keys)
            label_keys(file);
        file.end();
    }
    Label& load_label(const std::function<void(FormFileWriter&)>& label_keys, int width = 200, int height = 48)
    {
        FormFileWriter file = screen_file("labels");
        label_block(file, "lbl", 100, 100, width, height, label_keys);
        file.end();
        data_.screen("labels", file);
        Form& form = load_screen("labels");
        return *static_cast<Label*>(form.FindElement("lbl"));
    }
    // Whether the back buffer shows a game-font glyph of `ink` at (x, y)
    // (glyphs keep their sheet's colours as they are).
    bool inked(int x, int y, std::uint8_t ink) const
    {
        return pixel(x, y) == menu_test::rgb565(menu_test::palette_colour(ink));
    }

    const menu_test::GameFontWords words_;
};

TEST_F(LabelScreen, PagesComeFromTheSectionsOfTheTextFile)
{
    data_.text_file("help.txt", {{"help", "single"}, {"help00", "First\r\nSecond\r\n\r\nThird"},
                                 {"help01", "Page two"}, {"help02", "Page three"}});
    Label& label = load_label([](FormFileWriter& f) {
        f.key("Alignment", "center");
        f.key("TextCount", 3).key("TextFile", "help.txt").key("TextID", "help");
    });
    ASSERT_EQ(label.PageCount(), 3);
    EXPECT_EQ(label.CurrentPage(), 0);
    EXPECT_EQ(label.m_nAlignment, kAlignCenter);
    // One row a line, the empty line none; rows as high as the font's cells.
    EXPECT_EQ(label.RowCount(), 3);
    EXPECT_EQ(label.RowText(0), "First");
    EXPECT_EQ(label.RowText(2), "Third");
    EXPECT_EQ(label.m_nRowHeight, words_.cell_height);
    EXPECT_EQ(label.m_nVisibleRows, 3);
    label.SetPage(2);
    EXPECT_EQ(label.RowText(0), "Page three");

    // One page is read from the id itself.
    Label& single = load_label([](FormFileWriter& f) { f.key("TextFile", "help.txt").key("TextID", "help"); });
    ASSERT_EQ(single.PageCount(), 1);
    EXPECT_EQ(single.RowText(0), "single");
}

TEST_F(LabelScreen, TextCountsAreBoundedToTwoDigitPageIds)
{
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "[big" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "]\r\npage " + std::to_string(i) + "\r\n";
    data_.raw("big.txt", text);
    Label& label = load_label([](FormFileWriter& f) { f.key("TextCount", 250).key("TextFile", "big.txt").key("TextID", "big"); });
    ASSERT_EQ(label.PageCount(), 100);
    label.SetPage(99);
    EXPECT_EQ(label.RowText(0), "page 99");
}

TEST_F(LabelScreen, EditableAndLiveLabels)
{
    data_.text_file("names.txt", {{"rider", "A rider's name that is long"}});
    // An edit capacity bounds the text read into the page.
    Label& edit = load_label([](FormFileWriter& f) {
        f.key("Editable", 10).key("TextFile", "names.txt").key("TextID", "rider");
    });
    EXPECT_TRUE(edit.m_bEditable);
    EXPECT_EQ(edit.m_nSelectedRow, 0);
    EXPECT_EQ(edit.CurrentPageRecord()->capacity, 10);
    EXPECT_EQ(edit.RowText(0), "A rider's ");

    // A live label starts with the sample text, which fits even when the
    // file asks for less room; both keys may come from the defaults file.
    FormFileWriter defaults = FormFileWriter::defaults();
    defaults.begin("Label", "lbl").key("TextVar", "laps").key("TextVarLen", 2).end();
    data_.defaults("labels", defaults);
    Label& live = load_label({});
    EXPECT_STREQ(live.m_szTextVar, "laps");
    EXPECT_EQ(live.RowText(0), "test");
    EXPECT_EQ(live.CurrentPageRecord()->capacity, 4);

    // Painting asks the screens for the variable's text.
    const HooksGuard hooks(ScreenHooks{.live_label = [](Label&, char* buffer, std::size_t capacity) {
        std::snprintf(buffer, capacity, "Lap 3/12");
        return true;
    }});
    show();
    EXPECT_TRUE(live.Paint());
    EXPECT_EQ(live.RowText(0), "Lap 3/12");
    EXPECT_TRUE(inked(100, 100, kInkRed));
}

TEST_F(LabelScreen, RowsAreDrawnInTheirLooksAndPlaces)
{
    data_.text_file("rows.txt", {{"rows", "AB\r\nCD\r\nEF\r\nGH"}});
    Label& label = load_label([](FormFileWriter& f) { f.key("TextFile", "rows.txt").key("TextID", "rows"); });
    ASSERT_EQ(label.RowCount(), 4);
    ASSERT_EQ(label.m_nVisibleRows, 3);
    show();
    label.SetFirstRow(1);
    label.SetCurrentRow(2);
    clear_screen();
    EXPECT_TRUE(label.Paint());
    // Rows 1..3 from the label's top, one cell high each; the current row
    // in the selected look. Each glyph is a block from its cell's left edge.
    EXPECT_TRUE(inked(100, 100, kInkRed));       // "CD"
    EXPECT_TRUE(inked(100, 116, kInkGreen));     // "EF", current
    EXPECT_TRUE(inked(100, 132, kInkRed));       // "GH"
    EXPECT_EQ(pixel(100, 148), 0u);              // nothing below the visible rows
    EXPECT_EQ(pixel(99, 100), 0u);
    // Painted once per change: the redraw counter falls to 0, and then
    // nothing more is painted until the next change.
    EXPECT_EQ(label.m_nRedraw, 1);
    EXPECT_TRUE(label.Paint());
    EXPECT_FALSE(label.Paint());
    label.m_nVisibleInState = 5;
    label.Invalidate();
    EXPECT_FALSE(label.Paint());
}

TEST_F(LabelScreen, AlignmentAndRowsCutToTheWidth)
{
    const struct {
        const char* alignment;
        const char* text;
        int width;
    } cases[] = {
        {"Left", "AB", 200}, {"Right", "AB", 200}, {"Center", "ABC", 201}, {"Justified", "AB", 200},
        // Too long for 20 pixels: characters go from the end until it fits.
        {"Left", "ABCDEFGH", 20}, {"Right", "ABCDEFGH", 20},
    };
    for (const auto& c : cases) {
        data_.text_file("one.txt", {{"one", c.text}});
        Label& label = load_label(
            [&](FormFileWriter& f) {
                f.key("Alignment", c.alignment);
                f.key("TextFile", "one.txt").key("TextID", "one");
            },
            c.width, 16);
        show();
        clear_screen();
        ASSERT_TRUE(label.Paint());
        // The reference: the widest front part of the text that fits, placed
        // by the alignment.
        std::string shown = c.text;
        while (block_text_width(shown, words_) > c.width)
            shown.pop_back();
        const int width = block_text_width(shown, words_);
        const std::string alignment = c.alignment;
        const int x = alignment == "Right" ? 100 + c.width - width : alignment == "Center" ? 100 + (c.width - width) / 2 : 100;
        int inked_columns = 0, first = -1, last = -1;
        for (int px = 90; px < 100 + c.width + 10; ++px)
            if (inked(px, 101, kInkRed)) {
                ++inked_columns;
                if (first < 0)
                    first = px;
                last = px;
            }
        EXPECT_EQ(first, x) << c.alignment << " " << c.text;
        EXPECT_EQ(last, x + width - 1) << c.alignment << " " << c.text;
        EXPECT_LE(last, 100 + c.width - 1);
        EXPECT_GT(inked_columns, 0);
    }
}

TEST_F(LabelScreen, TheRowBeingEditedBlinksItsCursor)
{
    data_.text_file("name.txt", {{"name", "AB"}});
    Label& label = load_label([](FormFileWriter& f) {
        f.key("Editable", 12).key("TextFile", "name.txt").key("TextID", "name");
    });
    label.EditRow(0);
    show();
    const int cursor_x = 100 + block_text_width("AB", words_) + words_.spacing;
    for (const std::uint32_t clock : {0x200u, 0x000u}) {
        platform::set_test_clock(clock);
        clear_screen();
        label.Invalidate();
        ASSERT_TRUE(label.Paint());
        // The selected row in the selected look, the cursor with bit 9.
        EXPECT_TRUE(inked(100, 101, kInkGreen));
        EXPECT_EQ(inked(cursor_x, 101, kInkGreen), clock != 0) << clock;
    }
    platform::clear_test_clock();
    label.OnChar('C');
    EXPECT_EQ(label.RowText(0), "ABC");
}

} // namespace

// ---- Labels in a Windows face ----

namespace {

class LabelFaceScreen : public menu_test::MenuFixture {
protected:
    static constexpr std::uint32_t kBack = 0x800000;  // dark blue
    // A face label at (100, top), 200 x 40, white on a filled dark blue.
    static void face_label(FormFileWriter& file, const char* name, const char* alignment, int top)
    {
        file.begin("Label", name);
        file.key("Alignment", alignment);
        file.key_color("BackColor", kBack);
        file.key("BackStyle", 1);
        file.key("FontName", "Arial").key("FontSize", 12.0f).key("FontType", "winfont");
        file.key3("ForeColor", 255, 255, 255);
        place(file, 100, top, 200, 40);
        file.key("TextFile", "face.txt").key("TextID", name);
        file.end();
    }
    // The columns of the band y0..y1-1 holding a pixel other than the fill.
    std::pair<int, int> ink_columns(int y0, int y1) const
    {
        const std::uint32_t fill = menu_test::rgb565_of_bgr(kBack);
        int first = -1, last = -1;
        for (int x = 101; x < 300; ++x)
            for (int y = y0; y < y1; ++y)
                if (pixel(x, y) != fill) {
                    if (first < 0)
                        first = x;
                    last = x;
                    break;
                }
        return {first, last};
    }
};

TEST_F(LabelFaceScreen, RowsFollowTheFacesMetricsAndAreDrawnByAlignment)
{
    data_.text_file("face.txt", {{"left", "Hi"}, {"right", "Hi"},
                                 {"long", "one two three four five six seven eight nine ten eleven twelve"}});
    FormFileWriter file = screen_file("faces");
    face_label(file, "left", "Left", 100);
    face_label(file, "right", "Right", 200);
    face_label(file, "long", "Left", 300);
    file.end();
    data_.screen("faces", file);
    Form& form = load_screen("faces");
    auto& left = *static_cast<Label*>(form.FindElement("left"));
    auto& right = *static_cast<Label*>(form.FindElement("right"));
    auto& rows = *static_cast<Label*>(form.FindElement("long"));

    // The rows hold at most width / (average + 1) characters, broken at blanks.
    ASSERT_NE(rows.Face(), nullptr);
    const int per_row = 200 / (rows.Face()->average_char_width() + 1);
    EXPECT_EQ(rows.m_nRowHeight, rows.Face()->cell_height());
    std::string joined;
    for (std::int32_t r = 0; r < rows.RowCount(); ++r) {
        EXPECT_LE(static_cast<int>(rows.RowText(r).size()), per_row) << rows.RowText(r);
        joined += (r ? " " : "") + rows.RowText(r);
    }
    EXPECT_GT(rows.RowCount(), 1);
    EXPECT_EQ(joined, "one two three four five six seven eight nine ten eleven twelve");

    show();
    clear_screen();
    EXPECT_EQ(form.PaintAll(), 3);
    // The fill covers (left + 1, top + 1) .. (right - 1, bottom - 1).
    const std::uint32_t fill = menu_test::rgb565_of_bgr(kBack);
    EXPECT_EQ(pixel(299, 139), fill);
    EXPECT_EQ(pixel(101, 139), fill);
    EXPECT_EQ(pixel(100, 139), 0u);
    EXPECT_EQ(pixel(299, 140), 0u);
    EXPECT_EQ(pixel(300, 139), 0u);
    // Left text starts at the left edge, right text ends at the right edge,
    // each as wide as the face measures it.
    const int width = left.Face()->measure("Hi");
    const auto [l0, l1] = ink_columns(101, 100 + left.m_nRowHeight);
    EXPECT_GE(l0, 100);
    EXPECT_LE(l0, 103);
    EXPECT_LE(l1, 100 + width);
    const auto [r0, r1] = ink_columns(201, 200 + right.m_nRowHeight);
    EXPECT_LE(r1, 299);
    EXPECT_GE(r1, 296);
    EXPECT_GE(r0, 300 - width - 1);
}

} // namespace
