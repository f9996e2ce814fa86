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

} // namespace
