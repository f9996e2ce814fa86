// Scrolling windows: the children nested in a window's block, the scroll
// range and the moves of the children, the background tile, showing and
// hiding, the pointer, and a picture of a scrolled window.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "menu/command_button.h"
#include "menu/image.h"
#include "menu/label_ext.h"
#include "menu/menu_manager.h"
#include "menu/window.h"
#include "platform/text.h"
#include "tests/menu/menu_fixture.h"
#include "tests/menu/screen_reference.h"

namespace {

using datakit::FormFileWriter;
using namespace menu_test;

// The window keys in the order a window reads them.
FormFileWriter& window_keys(FormFileWriter& file, int win_height, int left, int top, int width, int height)
{
    return file.key("WinHeight", win_height)
        .key("WinWidth", width)
        .key("ClipHeight", height)
        .key("ClipLeft", left)
        .key("ClipTop", top)
        .key("ClipWidth", width);
}

class WindowTest : public MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        data_.game_font("fonts/menu", words_, kInkWhite, kInkYellow);
        data_.strip("sprites/tile", 40, 30, {kInkBlue}, kInkCyan);
        data_.strip("sprites/badge", 64, 48, {kInkMagenta});
        data_.strip("sprites/square", 40, 40, {kInkOrange});
        data_.text_file("text/w.txt", {{"caption", "SCROLLED"}, {"outside", "OUTSIDE"}, {"three", "AAA\r\nBBB\r\nCCC"}});
    }
    static void game_font(FormFileWriter& file) { file.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont"); }
    static void image(FormFileWriter& file, const char* name, const char* graphic, int x, int y, int w, int h)
    {
        file.begin("Image", name).key_bool("Animated", false).key("Graphic", graphic);
        place(file, x, y, w, h).end();
    }
    static void text_label(FormFileWriter& file, const char* type, const char* name, const char* id, int x, int y,
                           int w, int h)
    {
        file.begin(type, name);
        game_font(file);
        place(file, x, y, w, h).key("TextFile", "text/w.txt").key("TextID", id).end();
    }
    Window& window(Form& form, const char* name = "pane")
    {
        Control* control = form.FindElement(name);
        EXPECT_NE(control, nullptr);
        EXPECT_EQ(control->m_nType, kControlWindow);
        return *static_cast<Window*>(control);
    }

    GameFontWords words_;
};

TEST_F(WindowTest, AWindowHoldsTheElementsNestedInItsBlock)
{
    FormFileWriter file = screen_file("nest");
    text_label(file, "Label", "before", "caption", 10, 10, 200, 16);
    file.begin("Window", "pane");
    window_keys(file, 100, 100, 80, 300, 200);
    image(file, "tile", "sprites/tile", 100, 80, 40, 30);
    // A nested form header inside the block is passed over; its elements
    // are the window's.
    file.begin("Form", "inner");
    text_label(file, "Label", "inside", "caption", 120, 100, 200, 16);
    file.end();
    file.begin("CommandButton", "link").key("Command", 3);
    game_font(file);
    place(file, 120, 150, 100, 16).end();
    file.end();
    text_label(file, "Label", "after", "outside", 10, 400, 200, 16);
    file.end();
    data_.screen("nest", file);

    Form& form = load_screen("nest");
    ASSERT_EQ(form.ElementCount(), 3);
    EXPECT_STREQ(form.Element(0)->Name(), "before");
    EXPECT_STREQ(form.Element(2)->Name(), "after");
    Window& pane = window(form);
    EXPECT_EQ(pane.GetLeft(), 100);
    EXPECT_EQ(pane.GetTop(), 80);
    EXPECT_EQ(pane.m_nWidth, 300);
    EXPECT_EQ(pane.m_nHeight, 200);
    const Form& children = pane.Children();
    ASSERT_EQ(children.ElementCount(), 3);
    EXPECT_STREQ(children.Element(0)->Name(), "tile");
    EXPECT_STREQ(children.Element(1)->Name(), "inside");
    EXPECT_STREQ(children.Element(2)->Name(), "link");
    EXPECT_STREQ(children.Name(), "pane");
    EXPECT_EQ(children.m_pOwner, &manager_);
    EXPECT_EQ(children.m_pHolder, &pane);
    EXPECT_EQ(children.Element(1)->GetMenuManager(), &manager_);
    // The screen's own focus and hot keys know nothing of the window's button.
    EXPECT_EQ(form.m_nFocus, kFocusNone);
}

TEST_F(WindowTest, AMissingKeyOrWindowsTooDeepAreRefused)
{
    const char* keys[] = {"WinHeight", "WinWidth", "ClipHeight", "ClipLeft", "ClipTop", "ClipWidth"};
    for (const char* left_out : keys) {
        SCOPED_TRACE(left_out);
        FormFileWriter file = screen_file("bad");
        file.begin("Window", "pane");
        const int values[] = {100, 300, 200, 100, 80, 300};
        for (int i = 0; i < 6; ++i)
            if (std::string(keys[i]) != left_out)
                file.key(keys[i], values[i]);
        file.end().end();
        data_.screen("bad", file);
        try {
            load_screen("bad");
            ADD_FAILURE() << "loaded";
        } catch (const GameError& e) {
            EXPECT_STREQ(e.what(), "pane (screen file bad.dat)");
        }
    }
    // Windows in windows: eight deep load, nine are refused.
    for (const int depth : {8, 9}) {
        SCOPED_TRACE(depth);
        FormFileWriter file = screen_file("deep");
        for (int i = 0; i < depth; ++i)
            window_keys(file.begin("Window", "w" + std::to_string(i)), 100, 100, 80, 300, 200);
        for (int i = 0; i < depth; ++i)
            file.end();
        file.end();
        data_.screen("deep", file);
        if (depth == 8) {
            EXPECT_EQ(load_screen("deep").ElementCount(), 1);
            continue;
        }
        try {
            load_screen("deep");
            ADD_FAILURE() << "loaded";
        } catch (const GameError& e) {
            EXPECT_NE(std::string(e.what()).find("windows nested too deep"), std::string::npos) << e.what();
        }
    }
}

TEST_F(WindowTest, ScrollMessagesMoveTheChildrenWithinTheRange)
{
    struct Case {
        int win_height, clip_height, x, offset;
    };
    const Case cases[] = {
        // 500 thousandths of content 1000 pixels taller than the clip.
        {1100, 100, 500, 500},
        {1100, 100, 1000, 1000},
        {1100, 100, 4000, 1000},
        {1100, 100, -20, 0},
        // Content no taller than the clip does not scroll, nor does
        // content shorter than it (no negative range).
        {100, 100, 500, 0},
        {50, 100, 1000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.win_height << " / " << c.clip_height << " x " << c.x);
        FormFileWriter file = screen_file("scroll");
        file.begin("Window", "pane");
        window_keys(file, c.win_height, 100, 80, 300, c.clip_height);
        image(file, "tile", "sprites/tile", 100, 80, 40, 30);
        text_label(file, "Label", "inside", "caption", 120, 100, 200, 16);
        file.end().end();
        data_.screen("scroll", file);
        Form& form = load_screen("scroll");
        Window& pane = window(form);
        EXPECT_EQ(pane.ScrollRange(), std::max(c.win_height - c.clip_height, 0));
        EXPECT_TRUE(pane.OnMouse(c.x, 0, kScrollToPosition, 0));
        EXPECT_EQ(pane.ScrollOffset(), c.offset);
        EXPECT_EQ(pane.Children().Element(1)->GetTop(), 100 - c.offset);
        EXPECT_EQ(pane.Children().Element(0)->GetTop(), 80 - c.offset);
        pane.ScrollTo(0);
        EXPECT_EQ(pane.Children().Element(1)->GetTop(), 100);
    }
}

TEST_F(WindowTest, OneStepScrollsAPixelAndSaysWhenTheEndIsReached)
{
    FormFileWriter file = screen_file("steps");
    file.begin("Window", "pane");
    window_keys(file, 40, 100, 50, 200, 30);
    text_label(file, "LabelExt", "text", "three", 110, 60, 200, 16);
    file.end().end();
    data_.screen("steps", file);
    Form& form = load_screen("steps");
    Window& pane = window(form);
    auto& text = *static_cast<LabelExt*>(pane.Children().Element(0));
    // Three lines of 16 from 60: the rich text reaches 108, 58 below the
    // window's top, taller than the 40 the file gives.
    ASSERT_EQ(text.Runs().size(), 3u);
    EXPECT_EQ(text.m_nHeight, 48);
    EXPECT_EQ(pane.m_nWinHeight, 58);
    EXPECT_EQ(pane.ScrollRange(), 28);
    for (int i = 1; i < 28; ++i)
        ASSERT_TRUE(pane.OnMouse(0, 0, kScrollOneStep, 0)) << i;
    EXPECT_FALSE(pane.OnMouse(0, 0, kScrollOneStep, 0));
    EXPECT_FALSE(pane.OnMouse(0, 0, kScrollOneStep, 0));
    EXPECT_EQ(pane.ScrollOffset(), 28);
    // The runs moved with the text.
    EXPECT_EQ(text.Runs()[0].y, 60 - 28);
    EXPECT_EQ(text.Runs()[2].y, 60 + 32 - 28);
    EXPECT_EQ(text.GetTop(), 60 - 28);
}

TEST_F(WindowTest, WithoutAPictureFirstTheBackgroundIsNotTiled)
{
    FormFileWriter file = screen_file("plain");
    file.begin("Window", "pane");
    window_keys(file, 200, 100, 80, 300, 200);
    text_label(file, "Label", "inside", "caption", 120, 100, 200, 16);
    file.end();
    file.begin("Window", "empty");
    window_keys(file, 200, 420, 80, 100, 100);
    file.end();
    file.end();
    data_.screen("plain", file);
    Form& form = load_screen("plain");
    show(0);
    const std::uint16_t background = rgb565(palette_colour(kInkDarkBlue));
    clear_screen(background);
    form.Invalidate();
    EXPECT_EQ(form.PaintAll(), 2);
    Reference reference(background);
    reference.block_text(120, 100, "SCROLLED", words_, kInkWhite);
    expect_screen(device_, reference);
}

TEST_F(WindowTest, HidingDisablesTheButtonsAndShowingEnablesThem)
{
    FormFileWriter file = screen_file("buttons");
    file.begin("Window", "pane");
    window_keys(file, 200, 100, 80, 300, 200);
    file.begin("CommandButton", "link").key("Command", 3);
    game_font(file);
    place(file, 120, 150, 100, 16).end();
    file.end().end();
    data_.screen("buttons", file);
    Form& form = load_screen("buttons");
    Window& pane = window(form);
    auto& link = *static_cast<CommandButton*>(pane.Children().Element(0));
    EXPECT_EQ(pane.m_nVisibleInState, 0);
    pane.Hide();
    EXPECT_EQ(pane.m_nVisibleInState, -1);
    EXPECT_EQ(link.m_nState, kButtonDisabled);
    pane.Show();
    EXPECT_EQ(pane.m_nVisibleInState, 0);
    EXPECT_EQ(link.m_nState, kButtonUp);

    // The pointer reaches the children only inside the window.
    show(0);
    form.RouteMouse(130, 160, kMouseMove, 0);
    EXPECT_EQ(link.m_nState, kButtonSelected);
    form.RouteMouse(10, 10, kMouseMove, 0);
    EXPECT_EQ(link.m_nState, kButtonSelected);
    form.RouteMouse(110, 90, kMouseMove, 0);
    EXPECT_EQ(link.m_nState, kButtonUp);
}

// Face text on a browser page (a window's screen named "Brows...") is cut
// at the window's edges; elsewhere a row may run past its label.
TEST_F(WindowTest, ABrowserPageCutsItsFaceTextAtTheWindow)
{
    std::string error;
    if (!CreateMenuFont("Arial", 100, 0, 0, 1, &error))
        GTEST_SKIP() << "the menu text service opens no face: " << error;
    FormFileWriter file = screen_file("pages");
    for (const auto& [name, top] : {std::pair{"Brows01", 50}, std::pair{"pane", 200}}) {
        file.begin("Window", name);
        window_keys(file, 40, 50, top, 100, 40);
        file.begin("Label", "text").key("FontName", "Arial").key("FontSize", 10.0f).key("FontType", "winfont");
        place(file, 60, top + 10, 400, 20).key("TextVar", "unused").key("TextVarLen", 40).end();
        file.end();
    }
    file.end();
    data_.screen("pages", file);
    Form& form = load_screen("pages");
    show(0);
    for (const char* name : {"Brows01", "pane"})
        static_cast<Label*>(window(form, name).Children().Element(0))->SetText("HHHHHHHHHHHHHHHHHHHHHHHH");
    clear_screen(0);
    form.Invalidate();
    EXPECT_EQ(form.PaintAll(), 2);
    const auto ink_in = [&](int left, int right, int top, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                count += pixel(x, y) != 0;
        return count;
    };
    EXPECT_GT(ink_in(60, 150, 60, 80), 50);
    EXPECT_EQ(ink_in(150, 640, 40, 100), 0);
    EXPECT_GT(ink_in(150, 640, 200, 240), 50);
}

// A window scrolled by 45 pixels: the tile covers the clip rectangle from
// 45 mod 30 above it, the children stand 45 pixels higher, cut at the
// window's edges; a label and an image outside the window with the same
// font and picture are not cut.
TEST_F(WindowTest, AScrolledWindowIsDrawnTiledAndClipped)
{
    FormFileWriter file = screen_file("tiled");
    file.begin("Window", "pane");
    window_keys(file, 400, 100, 80, 300, 200);
    image(file, "tile", "sprites/tile", 100, 80, 40, 30);
    image(file, "badge", "sprites/badge", 150, 150, 64, 48);
    text_label(file, "Label", "caption", "caption", 120, 260, 200, 16);
    image(file, "low", "sprites/badge", 300, 290, 64, 48);
    image(file, "high", "sprites/square", 350, 100, 40, 40);
    file.end();
    text_label(file, "Label", "outside", "outside", 20, 400, 200, 16);
    image(file, "loose", "sprites/tile", 500, 400, 40, 30);
    file.end();
    data_.screen("tiled", file);
    Form& form = load_screen("tiled");
    show(0);
    Window& pane = window(form);
    EXPECT_EQ(pane.ScrollRange(), 200);
    pane.OnMouse(225, 0, kScrollToPosition, 0);
    ASSERT_EQ(pane.ScrollOffset(), 45);
    const std::uint16_t background = rgb565(palette_colour(kInkDarkBlue));
    clear_screen(background);
    form.Invalidate();
    EXPECT_EQ(form.PaintAll(), 3);

    Reference reference(background);
    reference.clip({100, 80, 400, 280});
    for (int y = 80 - 45 % 30; y < 280; y += 30)
        for (int x = 100; x < 400; x += 40)
            reference.framed(x, y, 40, 30, kInkBlue, kInkCyan);
    reference.framed(100, 80 - 45, 40, 30, kInkBlue, kInkCyan);
    reference.framed(150, 150 - 45, 64, 48, kInkMagenta, kInkWhite);
    reference.block_text(120, 260 - 45, "SCROLLED", words_, kInkWhite);
    reference.framed(300, 290 - 45, 64, 48, kInkMagenta, kInkWhite);
    reference.framed(350, 100 - 45, 40, 40, kInkOrange, kInkWhite);
    reference.unclip();
    reference.block_text(20, 400, "OUTSIDE", words_, kInkWhite);
    reference.framed(500, 400, 40, 30, kInkBlue, kInkCyan);
    expect_screen(device_, reference);

    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/scrolled_window.png", screenshot(), 0,
                                    0);
}

} // namespace
