// Pictures of whole menu screens: one kit screen with every control kind of
// the menu code, painted into the 640 x 480 back buffer and compared pixel
// by pixel with a picture worked out from the screen file's own numbers (the
// places, sizes, alignments and the pictures and fonts the kit wrote), then
// kept as a PNG file for review. Menu text in a face is compared with
// SDL_ttf's own rendering of the same string at the place the alignment
// rules give.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "menu/command_button.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "platform/text.h"
#include "menu/form.h"
#include "tests/menu/menu_fixture.h"

namespace {

using datakit::FormFileWriter;
using namespace menu_test;

// A picture of the whole screen in 5-6-5 values, painted by the rules the
// test states, independently of the menu code.
class Reference {
public:
    explicit Reference(std::uint16_t background) : pixels_(640u * 480u, background) {}

    void put(int x, int y, std::uint16_t v)
    {
        if (x >= 0 && x < 640 && y >= 0 && y < 480)
            pixels_[static_cast<std::size_t>(y) * 640u + static_cast<std::size_t>(x)] = v;
    }
    std::uint16_t at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * 640u + static_cast<std::size_t>(x)]; }

    // A framed picture as the fixture writes it, drawn at (x, y) in the
    // colours a picture is shown with.
    void framed(int x, int y, int width, int height, std::uint8_t fill, std::uint8_t border)
    {
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) {
                const bool edge = i == 0 || j == 0 || i == width - 1 || j == height - 1;
                put(x + i, y + j, picture_pixel565(edge ? border : fill));
            }
    }

    // Block-font text with its first cell's top-left corner at (x, y).
    void block_text(int x, int y, std::string_view text, const GameFontWords& words, std::uint8_t ink)
    {
        const std::uint16_t v = rgb565(palette_colour(ink));
        for (const char ch : text) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c == ' ' || c == '_') {
                x += words.space;
                continue;
            }
            const int w = block_glyph_width(c, words);
            for (int j = 0; j < block_glyph_height(words); ++j)
                for (int i = 0; i < w; ++i)
                    put(x + i, y + j, v);
            x += w + words.spacing;
        }
    }

private:
    std::vector<std::uint16_t> pixels_;
};

class ScreenImages : public MenuFixture {
protected:
    // Compares the back buffer with the reference: every pixel, naming the
    // first few that differ.
    void expect_screen(const Reference& reference)
    {
        int differing = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (pixel(x, y) != reference.at(x, y) && ++differing <= 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is 0x" << std::hex << pixel(x, y)
                                  << ", expected 0x" << reference.at(x, y);
        EXPECT_EQ(differing, 0);
    }
};

// The screen of every control kind, drawn with game fonts and sprites.
TEST_F(ScreenImages, EveryControlKindIsDrawnWhereItsScreenFilePutsIt)
{
    const GameFontWords words;
    data_.game_font("fonts/menu", words, kInkWhite, kInkYellow, kInkGrey);
    data_.text_file("text/menu.txt",
                    {{"title", "TORVANE MENU"}, {"right", "Right"}, {"start", "START"}, {"music", "Music"}});
    data_.strip("sprites/btn", 120, 30, {kInkBlue, kInkCyan, kInkOrange});
    data_.strip("sprites/icon", 20, 20, {kInkRed, kInkGreen});
    data_.strip("sprites/box", 16, 16, {kInkGreen, kInkRed});
    data_.strip("sprites/logo", 64, 48, {kInkMagenta, kInkOrange, kInkGrey});

    const auto game_font_keys = [](FormFileWriter& f) {
        f.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont");
    };
    FormFileWriter file = screen_file("every");
    // A label centred in its rectangle, one aligned right.
    file.begin("Label", "title").key("Alignment", "Center");
    game_font_keys(file);
    place(file, 40, 20, 560, 20);
    file.key("TextFile", "text/menu.txt").key("TextID", "title").end();
    file.begin("Label", "right").key("Alignment", "Right");
    game_font_keys(file);
    place(file, 40, 60, 300, 20);
    file.key("TextFile", "text/menu.txt").key("TextID", "right").end();
    // Two text buttons, the second focused, and a sprite button.
    for (const char* name : {"start", "focused"}) {
        file.begin("CommandButton", name).key("Command", 1);
        game_font_keys(file);
        file.key("Graphic", "sprites/btn");
        place(file, name[0] == 's' ? 40 : 360, 100, 120, 30);
        file.key("TextFile", "text/menu.txt").key("TextID", "start").end();
    }
    file.begin("CommandButton", "sprite").key("Command", 2).key("FontType", "nofont").key("Graphic", "sprites/btn");
    place(file, 200, 100, 120, 30);
    file.key("SpriteFile", "sprites/icon").key("SpriteX", 20).key("SpriteY", 20).end();
    // A check box, unchecked, its text after the box; an image.
    file.begin("CheckBox", "music").key("Alignment", "Left");
    game_font_keys(file);
    file.key("Graphic", "sprites/box");
    place(file, 40, 160, 16, 16);
    file.key("TextFile", "text/menu.txt").key("TextID", "music").end();
    file.begin("Image", "logo").key_bool("Animated", false).key("Graphic", "sprites/logo");
    place(file, 400, 160, 64, 48);
    file.end();
    file.end();
    data_.screen("every", file);

    Form& form = load_screen("every");
    ASSERT_EQ(form.ElementCount(), 7);
    show(0);
    form.SetFocus(form.FindElement("focused")->m_nElement);
    const std::uint16_t background = rgb565(palette_colour(kInkDarkBlue));
    clear_screen(background);
    form.Invalidate();
    EXPECT_EQ(form.PaintAll(), 7);

    // What the screen file's numbers give.
    Reference reference(background);
    const int row = words.cell_height;
    const int title = block_text_width("TORVANE MENU", words);
    reference.block_text(40 + (560 - title) / 2, 20, "TORVANE MENU", words, kInkWhite);
    reference.block_text(40 + 300 - block_text_width("Right", words), 60, "Right", words, kInkWhite);
    const int start = block_text_width("START", words);
    // Up: frame 0 and the base font; selected: frame 1 and the "_" font;
    // the text centred both ways.
    reference.framed(40, 100, 120, 30, kInkBlue, kInkWhite);
    reference.block_text(40 + (120 - start) / 2, 100 + (30 - row) / 2, "START", words, kInkWhite);
    reference.framed(360, 100, 120, 30, kInkCyan, kInkWhite);
    reference.block_text(360 + (120 - start) / 2, 100 + (30 - row) / 2, "START", words, kInkYellow);
    // The sprite button: its frame, then sprite frame 0 centred.
    reference.framed(200, 100, 120, 30, kInkBlue, kInkWhite);
    reference.framed(200 + (120 - 20) / 2, 100 + (30 - 20) / 2, 20, 20, kInkRed, kInkWhite);
    // The unchecked box (frame 1) at the left, the text one box further;
    // a game-font row is cut from its end until it fits the control's
    // width (here the box's).
    reference.framed(40, 160, 16, 16, kInkRed, kInkWhite);
    std::string music = "Music";
    while (block_text_width(music, words) > 16)
        music.pop_back();
    EXPECT_EQ(music, "Mu");
    reference.block_text(40 + 16, 160, music, words, kInkWhite);
    reference.framed(400, 160, 64, 48, kInkMagenta, kInkWhite);
    expect_screen(reference);

    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/every_control.png", screenshot(), 0, 0);
}

// Menu text in a face: the label's ink is where SDL_ttf puts the string's
// glyphs, at the place the alignment gives, in the label's colour.
TEST_F(ScreenImages, FaceTextIsWhereSdlTtfPutsTheSameString)
{
    std::string error;
    if (!CreateMenuFont("Arial", 160, 0, 0, 1, &error))
        GTEST_SKIP() << "the menu text service opens no face: " << error;
    ASSERT_TRUE(TTF_WasInit() || TTF_Init() == 0) << TTF_GetError();

    const std::string text = "Start the race";
    const std::uint32_t fore = bgr(palette_colour(kInkYellow));
    FormFileWriter file = screen_file("faces");
    file.begin("Label", "left").key("FontName", "Arial").key("FontSize", 16.0f).key("FontType", "winfont");
    file.key3("ForeColor", 240, 224, 40);
    place(file, 40, 40, 400, 40);
    file.key("TextVar", "unused").key("TextVarLen", 40).end();
    file.begin("Label", "centre").key("Alignment", "Center").key("FontName", "Arial").key("FontSize", 16.0f);
    file.key("FontType", "winfont").key3("ForeColor", 240, 224, 40);
    place(file, 40, 120, 400, 40);
    file.key("TextVar", "unused").key("TextVarLen", 40).end();
    file.end();
    data_.screen("faces", file);
    Form& form = load_screen("faces");
    ASSERT_EQ(form.ElementCount(), 2);
    show(0);
    for (const char* name : {"left", "centre"})
        static_cast<Label*>(form.FindElement(name))->SetText(text.c_str(), 0);
    clear_screen(0);
    form.Invalidate();
    form.PaintAll();

    // SDL_ttf's own glyphs: Liberation Sans for "Arial", an em of the
    // height in pixels.
    const std::int32_t pixels = MenuFontPixels(160);
    TTF_Font* font = TTF_OpenFont("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf", pixels);
    ASSERT_NE(font, nullptr) << TTF_GetError();
    // Menu text lays its glyphs out one after another, without the font's
    // kerning, as the screens were made for.
    TTF_SetFontKerning(font, 0);
    SDL_Surface* glyphs = TTF_RenderUTF8_Blended(font, text.c_str(), SDL_Color{255, 255, 255, 255});
    ASSERT_NE(glyphs, nullptr) << TTF_GetError();
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(glyphs, SDL_PIXELFORMAT_ARGB8888, 0);
    ASSERT_NE(argb, nullptr);
    const auto coverage = [&](int x, int y) {
        const auto* row = static_cast<const std::uint8_t*>(argb->pixels) + y * argb->pitch;
        std::uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return static_cast<int>(v >> 24);
    };

    const std::uint16_t ink = rgb565_of_bgr(fore);
    // Centred text has its middle at the label's middle: its left edge is
    // half its width before that.
    for (const auto& [left, top] : {std::pair{40, 40}, std::pair{40 + 400 / 2 - argb->w / 2, 120}}) {
        SCOPED_TRACE(left);
        // Where SDL_ttf's glyphs are solid, the label's pixels are its
        // colour (a partly covered pixel is blended, so only full coverage
        // counts); where SDL_ttf puts nothing, nothing is drawn. A pixel of
        // the glyphs' antialiased edges may differ; a few strays are
        // allowed for rounding of the advance.
        int solid = 0, wrong = 0;
        for (int y = 0; y < argb->h; ++y)
            for (int x = 0; x < argb->w; ++x) {
                const int a = coverage(x, y);
                const std::uint32_t p = pixel(left + x, top + y);
                if (a == 255) {
                    ++solid;
                    wrong += p != ink;
                } else if (a == 0) {
                    wrong += p != 0;
                }
            }
        EXPECT_GT(solid, 50);
        EXPECT_LE(wrong, solid / 20) << "of " << solid << " solid pixels";
    }
    SDL_FreeSurface(argb);
    SDL_FreeSurface(glyphs);
    TTF_CloseFont(font);
}

} // namespace
