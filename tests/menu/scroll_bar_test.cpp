// Scroll bars: the position arithmetic (range, step, clamping, real values,
// thumb and tick geometry), the display chain of linked labels, a linked
// window, the keys and the pointer, loading from a screen file, and a
// picture of two bars.
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "menu/label.h"
#include "menu/scroll_bar.h"
#include "menu/screen_hooks.h"
#include "menu/window.h"
#include "tests/menu/menu_fixture.h"
#include "tests/menu/screen_reference.h"
#include "tools/datakit/menu_widget_art.h"

namespace {

using datakit::FormFileWriter;
using namespace menu_test;

// A bar of 200 x 10 (or 10 x 200) at (100, 50) with a thumb of 20, not on
// any screen.
std::unique_ptr<ScrollBar> make_bar(std::int32_t orientation = kScrollHorizontal)
{
    auto bar = std::make_unique<ScrollBar>(orientation);
    bar->m_fLeft = 100;
    bar->m_fTop = 50;
    bar->m_nWidth = orientation == kScrollHorizontal ? 200 : 10;
    bar->m_nHeight = orientation == kScrollHorizontal ? 10 : 200;
    bar->m_nThumbSize = 20;
    return bar;
}

TEST(ScrollBarArithmetic, SetPosClampsAndRoundsDownToTheStepInsideTheRange)
{
    struct Case {
        std::int32_t minimum, maximum, step, asked, expected;
    };
    const Case cases[] = {
        // The steps of 3 from 0: 8 gives 6, 11 (past the maximum) 9.
        {0, 10, 3, 8, 6},
        {0, 10, 3, 11, 9},
        {0, 10, 3, -4, 0},
        {0, 10, 3, 3, 3},
        // A minimum that is no multiple of the step: rounding 5 down gives
        // 0, which is clamped back to the minimum.
        {5, 100, 10, 5, 5},
        {5, 100, 10, 17, 10},
        {5, 100, 10, 99, 90},
        {5, 100, 10, 100, 100},
        // Negative ranges round towards 0 and are clamped as well.
        {-25, -5, 10, -5, -5},
        {-25, -5, 10, -17, -10},
        {-25, -5, 10, -100, -20},
        // An empty range holds its one position.
        {7, 7, 1, 0, 7},
        {7, 7, 1, 50, 7},
        // Min above Max is taken the other way round; a step of 0 is 1.
        {10, 0, 1, 5, 5},
        {10, 0, 1, 15, 10},
        {0, 10, 0, 7, 7},
        {0, 10, -3, 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.minimum << ".." << c.maximum << " step " << c.step << " pos "
                                          << c.asked);
        auto owned = make_bar();
    ScrollBar& bar = *owned;
        bar.SetRange(c.minimum, c.maximum, c.step);
        bar.SetPos(c.asked);
        EXPECT_EQ(bar.m_nPosition, c.expected);
        EXPECT_LE(bar.m_nMinimum, bar.m_nMaximum);
        EXPECT_GE(bar.m_nStep, 1);
    }
}

TEST(ScrollBarArithmetic, StepsStopAtTheLimits)
{
    auto owned = make_bar();
    ScrollBar& bar = *owned;
    bar.SetRange(0, 10, 3);
    bar.SetPos(6);
    EXPECT_TRUE(bar.StepUp());
    EXPECT_EQ(bar.m_nPosition, 9);
    // 12 is clamped to 10, which rounds back to 9: nothing moved.
    EXPECT_FALSE(bar.StepUp());
    EXPECT_EQ(bar.m_nPosition, 9);
    bar.SetRange(0, 9, 3);
    bar.SetPos(9);
    EXPECT_FALSE(bar.StepUp());  // at the maximum
    EXPECT_EQ(bar.m_nPosition, 9);
    EXPECT_TRUE(bar.StepDown());
    EXPECT_EQ(bar.m_nPosition, 6);
    bar.SetPos(0);
    EXPECT_FALSE(bar.StepDown());
    EXPECT_EQ(bar.m_nPosition, 0);
    // A step that rounds back to where it was reports that nothing moved.
    bar.SetRange(5, 9, 10);
    bar.SetPos(5);
    EXPECT_FALSE(bar.StepUp());
    EXPECT_EQ(bar.m_nPosition, 5);
}

TEST(ScrollBarArithmetic, RealValuesAndValuesInARange)
{
    auto owned = make_bar();
    ScrollBar& bar = *owned;
    bar.SetRange(0, 100, 1);
    bar.m_bRealMode = true;
    bar.m_fRealMinimum = 0.0f;
    bar.m_fRealMaximum = 1.0f;
    bar.m_nDecimals = 2;
    std::snprintf(bar.m_szDisplayString, sizeof bar.m_szDisplayString, "%s", " km");
    bar.SetPos(25);
    EXPECT_FLOAT_EQ(bar.GetValue(), 0.25f);
    EXPECT_EQ(bar.DisplayText(), "0.25 km");
    bar.SetValue(0.5f);
    EXPECT_EQ(bar.m_nPosition, 50);
    // Values are rounded to the nearest position and kept in the range.
    bar.SetValueInRange(10.0f, 20.0f, 12.345f);
    EXPECT_EQ(bar.m_nPosition, 23);
    EXPECT_FLOAT_EQ(bar.GetValueInRange(10.0f, 20.0f), 12.3f);
    bar.SetValueInRange(10.0f, 20.0f, 1e30f);
    EXPECT_EQ(bar.m_nPosition, 100);
    bar.SetValueInRange(10.0f, 20.0f, std::nanf(""));
    EXPECT_EQ(bar.m_nPosition, 0);
    // Empty ranges give their start instead of dividing by 0.
    bar.SetValueInRange(3.0f, 3.0f, 4.0f);
    EXPECT_EQ(bar.m_nPosition, 0);
    // A new range takes the position into it.
    bar.SetRange(40, 40, 1);
    EXPECT_EQ(bar.m_nPosition, 40);
    EXPECT_FLOAT_EQ(bar.GetValue(), 0.0f);
    EXPECT_FLOAT_EQ(bar.GetValueInRange(2.0f, 5.0f), 2.0f);
    // Not in real mode the value is the position, with the suffix.
    bar.m_bRealMode = false;
    EXPECT_EQ(bar.DisplayText(), "40 km");
}

// Not in real mode a value is the position cut to a whole number, and one
// outside the range or not a number stands at the nearer end (the range's
// start for not a number), never converted to an integer it does not fit.
TEST(ScrollBarArithmetic, IntegerValuesAreCutAndKeptInTheRange)
{
    struct Case {
        float value;
        std::int32_t expected;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {3.7f, 3},         {-3.7f, -3},       {0.0f, 0},          {-0.9f, 0},        {50.0f, 50},
        {50.9f, 50},       {51.0f, 50},       {-20.0f, -20},      {-20.9f, -20},     {-21.0f, -20},
        {1e10f, 50},       {-1e10f, -20},     {2147483648.0f, 50}, {-2147483904.0f, -20},
        {inf, 50},         {-inf, -20},       {std::nanf(""), -20}, {-std::nanf(""), -20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        auto owned = make_bar();
        ScrollBar& bar = *owned;
        bar.SetRange(-20, 50, 1);
        bar.SetPos(7);
        bar.SetValue(c.value);
        EXPECT_EQ(bar.m_nPosition, c.expected);
        EXPECT_FLOAT_EQ(bar.GetValue(), static_cast<float>(c.expected));
    }
    // The step still applies after the clamp: 0..10 in steps of 3.
    auto owned = make_bar();
    owned->SetRange(0, 10, 3);
    owned->SetValue(1e30f);
    EXPECT_EQ(owned->m_nPosition, 9);
}

TEST(ScrollBarArithmetic, ThumbAndPointerGeometry)
{
    auto owned_vertical = make_bar(kScrollVertical);
    ScrollBar& vertical = *owned_vertical;
    vertical.SetRange(0, 10, 1);
    vertical.SetPos(5);
    // The thumb travels the bar's length less its own: 180 pixels for 10.
    EXPECT_EQ(vertical.ThumbOrigin(), 50 + 5 * 180 / 10);
    EXPECT_EQ(vertical.PositionAt(50 + 90), 5);
    EXPECT_EQ(vertical.PositionAt(0), 0);
    EXPECT_EQ(vertical.PositionAt(400), 10);
    vertical.SetRange(3, 3, 1);
    EXPECT_EQ(vertical.ThumbOrigin(), 50);
    // A thumb as long as the bar leaves no travel: every place is the minimum.
    vertical.m_nThumbSize = 200;
    vertical.SetRange(0, 10, 1);
    EXPECT_EQ(vertical.PositionAt(120), 0);

    // The whole 32-bit range does not overflow the arithmetic.
    vertical.m_nThumbSize = 20;
    vertical.SetRange(INT32_MIN, INT32_MAX, 1);
    vertical.SetPos(0);
    EXPECT_NEAR(vertical.ThumbOrigin(), 50 + 90, 1);
    EXPECT_NEAR(static_cast<double>(vertical.PositionAt(50 + 180)), static_cast<double>(INT32_MAX), 2.0);
    EXPECT_EQ(vertical.PositionAt(0), INT32_MIN);
    vertical.SetValueInRange(0.0f, 1.0f, 0.5f);
    EXPECT_NEAR(static_cast<double>(vertical.m_nPosition), 0.0, 1000.0);
    EXPECT_NEAR(vertical.GetValueInRange(0.0f, 1.0f), 0.5f, 1e-3f);

    auto owned_horizontal = make_bar();
    ScrollBar& horizontal = *owned_horizontal;
    horizontal.SetRange(0, 10, 1);
    horizontal.SetPos(10);
    EXPECT_EQ(horizontal.ThumbOrigin(), 100 + 180);
}

TEST(ScrollBarArithmetic, TickSpacing)
{
    struct Case {
        std::int32_t orientation, width, thumb, minimum, maximum, step, spacing;
    };
    const Case cases[] = {
        // t = trunc(180 / 10 x 1) = 18; the first multiple of 18 past the
        // thumb's 20 pixels.
        {kScrollHorizontal, 200, 20, 0, 10, 1, 36},
        {kScrollHorizontal, 200, 20, 0, 10, 5, 90},
        {kScrollHorizontal, 200, 0, 0, 10, 1, 20},
        // Steps closer than a pixel: no ticks (spacing 0), not a division by 0.
        {kScrollHorizontal, 200, 20, 0, 1000, 1, 0},
        // A bar narrower than its thumb has none either.
        {kScrollHorizontal, 10, 20, 0, 10, 1, 0},
        // An empty range: one tick, the bar's width apart.
        {kScrollHorizontal, 200, 20, 4, 4, 1, 200},
        {kScrollVertical, 10, 20, 0, 10, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "width " << c.width << " thumb " << c.thumb << " range " << c.minimum
                                          << ".." << c.maximum << " step " << c.step);
        auto owned = make_bar(c.orientation);
        ScrollBar& bar = *owned;
        bar.m_nWidth = c.width;
        bar.m_nThumbSize = c.thumb;
        bar.SetRange(c.minimum, c.maximum, c.step);
        EXPECT_EQ(bar.TickSpacing(), c.spacing);
    }
}

// Screens with scroll bars: what a bar reports, and the tick picture every
// bar loads.
struct Reports {
    std::vector<std::string> names;
    std::vector<std::int32_t> user_ids;
};
Reports* g_reports = nullptr;

class ScrollBarTest : public MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        g_reports = &reports_;
        ScreenHooks hooks;
        hooks.menu_command = [](Control& control) {
            g_reports->names.emplace_back(control.Name());
            if (MenuManager* manager = control.GetMenuManager())
                g_reports->user_ids.push_back(manager->m_nLastUserID);
            return true;
        };
        SetScreenHooks(hooks);
        std::string error;
        ASSERT_TRUE(datakit::write_scroll_tick_picture(data_.root(), error)) << error;
        data_.game_font("fonts/menu", words_, kInkWhite, kInkYellow);
    }
    void TearDown() override
    {
        SetScreenHooks(ScreenHooks{});
        g_reports = nullptr;
        MenuFixture::TearDown();
    }

    static void game_font(FormFileWriter& file) { file.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont"); }

    ScrollBar& bar(Form& form, const char* name)
    {
        Control* control = form.FindElement(name);
        EXPECT_NE(control, nullptr) << name;
        return *static_cast<ScrollBar*>(control);
    }
    Label& label(Form& form, const char* name) { return *static_cast<Label*>(form.FindElement(name)); }

    GameFontWords words_;
    Reports reports_;
};

TEST_F(ScrollBarTest, LoadsFromItsKeysAndTerminatesItsSuffix)
{
    data_.picture("sprites/bar_t.pcx", framed_picture(200, 12, kInkGrey, kInkWhite));
    data_.strip("sprites/bar_c", 20, 12, {kInkBlue, kInkYellow, kInkRed});
    FormFileWriter file = screen_file("bars");
    file.begin("HScrollBar", "volume");
    place(file, 100, 100, 200, 12);
    file.key("UserID", 7).key("CursorWidth", 20).key("DisplayString", "abcdefgh").key("Graphic", "sprites/bar_t.pcx");
    file.key("Max", 10).key("Min", 2).key("Step", 4).end();
    // Min above Max, no step: taken the other way round, no ticks.
    file.begin("VScrollBar", "list");
    place(file, 20, 20, 10, 100);
    file.key("CursorHeight", 15).key("Max", 0).key("Min", 6).end();
    file.end();
    data_.screen("bars", file);

    Form& form = load_screen("bars");
    ScrollBar& volume = bar(form, "volume");
    EXPECT_EQ(volume.m_nType, kControlHScrollBar);
    EXPECT_EQ(volume.m_nOrientation, kScrollHorizontal);
    EXPECT_EQ(volume.m_BackColor, 0x646464u);
    EXPECT_EQ(volume.m_bCanHaveFocus, 1);
    EXPECT_EQ(volume.m_nThumbSize, 20);
    EXPECT_STREQ(volume.m_szDisplayString, "abcde");
    EXPECT_EQ(volume.m_nMinimum, 2);
    EXPECT_EQ(volume.m_nMaximum, 10);
    EXPECT_EQ(volume.m_nStep, 4);
    EXPECT_EQ(volume.m_nPosition, 2);
    ASSERT_TRUE(volume.m_pTrack && volume.m_pThumb && volume.m_pTicks);
    EXPECT_EQ(volume.m_pThumb->Count(), 3);
    EXPECT_EQ(volume.m_pTicks->Count(), 1);
    EXPECT_EQ(volume.DisplayText(), "2abcde");

    ScrollBar& list = bar(form, "list");
    EXPECT_EQ(list.m_nType, kControlHScrollBar);  // every bar is of type 7
    EXPECT_EQ(list.m_nOrientation, kScrollVertical);
    EXPECT_EQ(list.m_nThumbSize, 15);
    EXPECT_EQ(list.m_nMinimum, 0);
    EXPECT_EQ(list.m_nMaximum, 6);
    EXPECT_EQ(list.TickSpacing(), -1);
    EXPECT_FALSE(list.m_pTrack);  // no "Graphic"
}

TEST_F(ScrollBarTest, AScreenWithoutTheTickPictureIsRefused)
{
    std::filesystem::remove(data_.root() / "ssprites" / "slidbar.pcx");
    FormFileWriter file = screen_file("bars");
    file.begin("HScrollBar", "volume");
    place(file, 100, 100, 200, 12);
    file.end().end();
    data_.screen("bars", file);
    try {
        load_screen("bars");
        FAIL() << "loaded";
    } catch (const GameError& e) {
        // Neither on disk nor in the folder's archive "ssprites.mix".
        EXPECT_STREQ(e.what(), "Main mixer file not found (screen file bars.dat)");
    }
}

// A bar linked to a one-row label shows the value there; linked to a list
// it shows the row of the position (the last row for a position past the
// rows) and hands that row's text on down the chain.
TEST_F(ScrollBarTest, TheDisplayChainShowsTheValueOrTheRowOfThePosition)
{
    data_.text_file("text/t.txt", {{"rows", "ONE\r\nTWO\r\nTHREE"}});
    FormFileWriter file = screen_file("chain");
    file.begin("Label", "value");
    game_font(file);
    place(file, 10, 10, 200, 16);
    file.end();
    file.begin("Label", "rows");
    game_font(file);
    file.key("LinkedTo", "picked");
    place(file, 10, 40, 200, 32);
    file.key("TextFile", "text/t.txt").key("TextID", "rows").end();
    file.begin("Label", "picked");
    game_font(file);
    place(file, 10, 80, 200, 16);
    file.end();
    file.begin("HScrollBar", "volume").key("LinkedTo", "value");
    place(file, 10, 100, 200, 12);
    file.key("DisplayString", "dB").key("Max", 10).key("Min", 0).key("Step", 1).end();
    file.begin("VScrollBar", "lister").key("LinkedTo", "rows");
    place(file, 220, 40, 10, 32);
    file.key("Max", 8).key("Min", 3).key("Step", 1).end();
    file.end();
    data_.screen("chain", file);
    Form& form = load_screen("chain");
    show(0);

    bar(form, "volume").SetPos(7);
    EXPECT_EQ(label(form, "value").RowText(0), "7dB");

    ScrollBar& lister = bar(form, "lister");
    ASSERT_EQ(label(form, "rows").RowCount(), 3);
    lister.SetPos(4);
    EXPECT_EQ(label(form, "rows").m_nFirstRow, 1);
    EXPECT_EQ(label(form, "picked").RowText(0), "TWO");
    // Position 8 is row 5 of a list of 3: the list stops at its last row.
    lister.SetPos(8);
    EXPECT_EQ(label(form, "rows").m_nFirstRow, 2);
    EXPECT_EQ(label(form, "picked").RowText(0), "THREE");
}

TEST_F(ScrollBarTest, AValueLabelShowsThePositionOverTheBar)
{
    auto owned = make_bar();
    ScrollBar& bar = *owned;
    bar.SetRange(0, 250, 1);
    bar.CreateValueLabel();
    ASSERT_TRUE(bar.m_pValueLabel);
    EXPECT_EQ(bar.m_pValueLabel->m_nAlignment, kAlignCentredBoth);
    EXPECT_EQ(bar.m_pValueLabel->m_nWidth, 200);
    // A game font's rows are its lines (its cell height from the words).
    bar.m_pValueLabel->m_nFontKind = kFontGame;
    bar.m_pValueLabel->m_GameFontParams[1] = 16;
    bar.SetRange(0, 250, 1);
    EXPECT_EQ(bar.m_pValueLabel->RowText(0), "250");
    // The number overwrites the row, padded with blanks to its length.
    bar.SetPos(7);
    EXPECT_EQ(bar.m_pValueLabel->RowText(0), "7  ");
}

TEST_F(ScrollBarTest, SettingThePositionReportsAndScrollsALinkedWindow)
{
    FormFileWriter file = screen_file("scroll");
    file.begin("Window", "pane").key("WinHeight", 1100).key("WinWidth", 200);
    file.key("ClipHeight", 100).key("ClipLeft", 50).key("ClipTop", 50).key("ClipWidth", 200);
    file.begin("Label", "inside");
    game_font(file);
    place(file, 60, 60, 100, 16);
    file.end();
    file.end();
    file.begin("VScrollBar", "scroller").key("LinkedTo", "pane");
    place(file, 260, 50, 10, 100);
    file.key("UserID", 12).key("Max", 1000).key("Min", 0).key("Step", 1).end();
    file.end();
    data_.screen("scroll", file);
    Form& form = load_screen("scroll");
    show(0);
    EXPECT_TRUE(reports_.names.empty());  // entering the screen reports nothing

    auto& pane = *static_cast<Window*>(form.FindElement("pane"));
    ScrollBar& scroller = bar(form, "scroller");
    scroller.SetPos(500);
    // Half of the 1000 pixels the content is taller than the window.
    EXPECT_EQ(pane.ScrollOffset(), 500);
    EXPECT_EQ(pane.Children().FindElement("inside")->GetTop(), 60 - 500);
    ASSERT_EQ(reports_.names.size(), 1u);
    EXPECT_EQ(reports_.names[0], "scroller");
    EXPECT_EQ(reports_.user_ids[0], 12);
    scroller.SetPos(0);
    EXPECT_EQ(pane.Children().FindElement("inside")->GetTop(), 60);
}

TEST_F(ScrollBarTest, KeysAndPointerMoveThePosition)
{
    data_.picture("sprites/bar_t.pcx", framed_picture(200, 12, kInkGrey, kInkWhite));
    data_.strip("sprites/bar_c", 20, 12, {kInkBlue, kInkYellow});
    FormFileWriter file = screen_file("keys");
    file.begin("HScrollBar", "h");
    place(file, 100, 100, 200, 12);
    file.key("CursorWidth", 20).key("Graphic", "sprites/bar_t.pcx").key("Max", 10).key("Min", 0).key("Step", 2).end();
    file.begin("VScrollBar", "v");
    place(file, 20, 20, 10, 100);
    file.key("Max", 10).key("Min", 0).key("Step", 1).end();
    file.end();
    data_.screen("keys", file);
    Form& form = load_screen("keys");
    show(0);
    ScrollBar& h = bar(form, "h");

    EXPECT_TRUE(h.OnKeyRight());
    EXPECT_EQ(h.m_nPosition, 2);
    EXPECT_TRUE(h.OnKeyLeft());
    EXPECT_TRUE(h.OnKeyLeft());  // at the minimum: used, nothing moves
    EXPECT_EQ(h.m_nPosition, 0);
    EXPECT_FALSE(bar(form, "v").OnKeyRight());

    // The thumb stands at 100 + 0: a click beyond it steps up, one before
    // it steps down.
    h.OnMouse(250, 105, kMouseLeftDown, 0);
    EXPECT_EQ(h.m_nPosition, 2);
    h.OnMouse(101, 105, kMouseLeftDown, 0);
    EXPECT_EQ(h.m_nPosition, 0);
    // Over the thumb the bar takes the focus; pressed there it drags.
    h.OnMouse(110, 105, kMouseMove, 0);
    EXPECT_EQ(h.m_nHover, kScrollHoverThumb);
    EXPECT_EQ(form.m_nFocus, h.m_nElement);
    h.OnMouse(110, 105, kMouseLeftDown, 0);
    EXPECT_EQ(h.m_nHover, kScrollDragging);
    // Dragged to 100 + 90 of the 180 pixels the thumb travels: position 5,
    // rounded down to the step.
    h.OnMouse(190, 105, kMouseMove, 0);
    EXPECT_EQ(h.m_nPosition, 4);
    h.OnMouse(190, 105, kMouseLeftUp, 0);
    EXPECT_EQ(h.m_nHover, kScrollHoverThumb);
    // Off the thumb the focus goes.
    h.OnMouse(10, 300, kMouseMove, 0);
    EXPECT_EQ(h.m_nHover, kScrollHoverNone);
    EXPECT_EQ(form.m_nFocus, kFocusNothing);
    // A disabled bar takes no pointer.
    h.Disable();
    h.OnMouse(250, 105, kMouseLeftDown, 0);
    EXPECT_EQ(h.m_nPosition, 4);
}

// Two bars on a screen: the tracks, the thumbs where the positions put
// them (the focused bar's thumb in its second frame), the horizontal bar's
// ticks below it, and the labels the bars drive.
TEST_F(ScrollBarTest, BarsAreDrawnWhereTheirNumbersPutThem)
{
    data_.picture("sprites/hbar_t.pcx", framed_picture(200, 12, kInkGrey, kInkWhite));
    data_.strip("sprites/hbar_c", 20, 12, {kInkBlue, kInkYellow});
    data_.picture("sprites/vbar_t.pcx", framed_picture(14, 120, kInkGrey, kInkWhite));
    data_.picture("sprites/vbar_c.pcx", framed_picture(14, 30, kInkOrange, kInkWhite));
    data_.text_file("text/t.txt", {{"rows", "ONE\r\nTWO\r\nTHREE"}});

    FormFileWriter file = screen_file("bars");
    file.begin("Label", "value");
    game_font(file);
    place(file, 100, 80, 200, 16);
    file.end();
    file.begin("Label", "rows");
    game_font(file);
    place(file, 250, 60, 140, 32);
    file.key("TextFile", "text/t.txt").key("TextID", "rows").end();
    file.begin("HScrollBar", "volume").key("LinkedTo", "value");
    place(file, 100, 100, 200, 12);
    file.key("CursorWidth", 20).key("DisplayString", "dB").key("Graphic", "sprites/hbar_t.pcx");
    file.key("Max", 10).key("Min", 0).key("Step", 1).end();
    file.begin("VScrollBar", "lister").key("LinkedTo", "rows");
    place(file, 400, 60, 14, 120);
    file.key("CursorHeight", 30).key("Graphic", "sprites/vbar_t.pcx").key("Max", 4).key("Min", 0).key("Step", 1);
    file.end();
    file.end();
    data_.screen("bars", file);
    Form& form = load_screen("bars");
    show(0);
    bar(form, "volume").SetPos(7);
    bar(form, "lister").SetPos(4);
    form.SetFocus(bar(form, "volume").m_nElement);
    const std::uint16_t background = rgb565(palette_colour(kInkDarkBlue));
    clear_screen(background);
    form.Invalidate();
    EXPECT_EQ(form.PaintAll(), 4);

    Reference reference(background);
    reference.block_text(100, 80, "7dB", words_, kInkWhite);
    // Position 4 of a list of three rows shows its last row first.
    reference.block_text(250, 60, "THREE", words_, kInkWhite);
    reference.framed(100, 100, 200, 12, kInkGrey, kInkWhite);
    // The thumb travels 200 - 20 pixels over the range 0..10.
    reference.framed(100 + 7 * 180 / 10, 100, 20, 12, kInkYellow, kInkWhite);
    // Ticks a whole number of steps apart, the first multiple of the step's
    // 18 pixels past the thumb's width, from half a thumb in, below the bar.
    const int step_pixels = 180 / 10;
    const int spacing = (20 / step_pixels + 1) * step_pixels;
    const std::array<std::uint8_t, 768> demo = datakit::demo_palette_rgb();
    const std::uint8_t shades[3] = {31, 26, 20};
    int ticks = 0;
    for (int x = 100 + 10; x - 110 < 200 - 10; x += spacing, ++ticks)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 2; ++i)
                reference.put(x + i, 112 + j,
                              picture_pixel565(Rgb{demo[3u * shades[j]], demo[3u * shades[j] + 1],
                                                   demo[3u * shades[j] + 2]}));
    EXPECT_EQ(ticks, 6);
    reference.framed(400, 60, 14, 120, kInkGrey, kInkWhite);
    reference.framed(400, 60 + 4 * (120 - 30) / 4, 14, 30, kInkOrange, kInkWhite);
    expect_screen(device_, reference);

    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/scroll_bars.png", screenshot(), 0, 0);
}

} // namespace
