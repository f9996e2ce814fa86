#pragma once

// What the menu tests share: a temporary data folder written with the data
// kit's writers (screen files and their defaults, bitmap game fonts with
// their ".mfg" words, sprite strips, text files), a headless display of
// 640 x 480 at 16 bits with the renderer installed, and a menu manager made
// current whose screens are loaded from that folder.
//
// Paths given to the writers are relative to the data folder, which is also
// the working directory while a test runs, so the names a screen file holds
// ("fonts/menu.pcx", "sprites/ok") are the names the writers were given.

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/form_parser.h"
#include "app/game_app.h"
#include "engine/base/engine.h"
#include "engine/base/shade_table.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "tests/support/back_buffer_pixels.h"
#include "tests/support/png_image.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/form_file_writer.h"
#include "tools/datakit/mix_writer.h"
#include "tools/datakit/pcx_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/word_file_writer.h"

namespace menu_test {

// ---- Colours ----

// The fixture palette: index 0 is black (the pictures' transparent index),
// the others the colours below, so that a test can tell each control's
// pixels apart. Components are 8-bit.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};
inline constexpr std::uint8_t kInkWhite = 1;
inline constexpr std::uint8_t kInkRed = 2;
inline constexpr std::uint8_t kInkGreen = 3;
inline constexpr std::uint8_t kInkBlue = 4;
inline constexpr std::uint8_t kInkYellow = 5;
inline constexpr std::uint8_t kInkCyan = 6;
inline constexpr std::uint8_t kInkMagenta = 7;
inline constexpr std::uint8_t kInkOrange = 8;
inline constexpr std::uint8_t kInkGrey = 9;
inline constexpr std::uint8_t kInkDarkBlue = 10;

inline constexpr Rgb kPaletteColours[] = {
    {0, 0, 0},       {255, 255, 255}, {224, 32, 32},  {32, 192, 64},  {48, 64, 224}, {240, 224, 40},
    {40, 216, 232},  {216, 48, 200},  {248, 144, 24}, {128, 128, 128}, {16, 24, 96},
};

inline std::array<std::uint8_t, 768> fixture_palette()
{
    std::array<std::uint8_t, 768> palette{};
    int i = 0;
    for (const Rgb& c : kPaletteColours) {
        palette[static_cast<std::size_t>(3 * i)] = c.r;
        palette[static_cast<std::size_t>(3 * i + 1)] = c.g;
        palette[static_cast<std::size_t>(3 * i + 2)] = c.b;
        ++i;
    }
    // The rest: a grey ramp, so that every index has a colour of its own.
    for (; i < 256; ++i)
        for (int k = 0; k < 3; ++k)
            palette[static_cast<std::size_t>(3 * i + k)] = static_cast<std::uint8_t>(i);
    return palette;
}

inline Rgb palette_colour(std::uint8_t index)
{
    const std::array<std::uint8_t, 768> p = fixture_palette();
    return {p[3u * index], p[3u * index + 1], p[3u * index + 2]};
}

// A colour as the screen files store it: 0x00BBGGRR.
inline std::uint32_t bgr(Rgb c)
{
    return static_cast<std::uint32_t>(c.r) | static_cast<std::uint32_t>(c.g) << 8 |
           static_cast<std::uint32_t>(c.b) << 16;
}

// The 5-6-5 value of a colour, each channel cut to its bits.
inline std::uint16_t rgb565(Rgb c)
{
    return static_cast<std::uint16_t>((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
}
inline std::uint16_t rgb565_of_bgr(std::uint32_t colour)
{
    return rgb565({static_cast<std::uint8_t>(colour & 0xFF), static_cast<std::uint8_t>(colour >> 8 & 0xFF),
                   static_cast<std::uint8_t>(colour >> 16 & 0xFF)});
}

// The 5-6-5 value a picture's palette colour is shown with on a 16-bit
// screen: each channel is raised one step of eight (at most 0xF8) before it
// is packed, so that no picture colour becomes black or the transparent key.
inline std::uint16_t picture_pixel565(Rgb c)
{
    const auto raise = [](std::uint8_t v) {
        const int raised = (v & 0xF8) + 8;
        return static_cast<std::uint8_t>(raised > 0xF8 ? 0xF8 : raised);
    };
    return rgb565({raise(c.r), raise(c.g), raise(c.b)});
}
inline std::uint16_t picture_pixel565(std::uint8_t index)
{
    return picture_pixel565(palette_colour(index));
}

// A 5-6-5 value widened back to 8-bit channels (low bits repeated).
inline Rgb expand565(std::uint16_t v)
{
    const int r = v >> 11 & 0x1F, g = v >> 5 & 0x3F, b = v & 0x1F;
    return {static_cast<std::uint8_t>(r << 3 | r >> 2), static_cast<std::uint8_t>(g << 2 | g >> 4),
            static_cast<std::uint8_t>(b << 3 | b >> 2)};
}

// ---- Pictures ----

// A picture of w x h in the fixture palette, every pixel `fill`.
inline datakit::PcxPicture solid_picture(int width, int height, std::uint8_t fill)
{
    datakit::PcxPicture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
    picture.palette = fixture_palette();
    return picture;
}

// A picture of w x h filled with `fill` inside a one-pixel frame of
// `border` (a border of 0 leaves the edge transparent).
inline datakit::PcxPicture framed_picture(int width, int height, std::uint8_t fill, std::uint8_t border)
{
    datakit::PcxPicture picture = solid_picture(width, height, fill);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (x == 0 || y == 0 || x == width - 1 || y == height - 1)
                picture.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)] = border;
    return picture;
}

// The words of a bitmap game font: the five the font cache keys on and the
// two spacing words of its text width, in the order of the ".mfg" file.
struct GameFontWords {
    std::int32_t cell_width = 12;
    std::int32_t cell_height = 16;
    std::int32_t across = 16;
    std::int32_t count = 94;
    std::int32_t first = 33;
    std::int32_t space = 6;    // the advance of a space or underscore
    std::int32_t spacing = 2;  // the pixels after every glyph
};

// The inked width of a block-font glyph: 2, 4, 6 or 8 pixels by the
// character code, so that a text's width can be worked out from its
// characters alone. Every glyph is a solid block of its width, from the
// cell's left edge, over all but the cell's last row.
inline int block_glyph_width(unsigned char c, const GameFontWords& words)
{
    const int width = 2 + 2 * (c % 4);
    return width < words.cell_width ? width : words.cell_width & ~1;
}
inline int block_glyph_height(const GameFontWords& words)
{
    return words.cell_height > 1 ? words.cell_height - 1 : 1;
}

// The sheet of a block font drawn in `ink`.
inline datakit::PcxPicture block_font_sheet(const GameFontWords& words, std::uint8_t ink)
{
    const int rows = (words.count + words.across - 1) / words.across;
    datakit::PcxPicture sheet = solid_picture(words.cell_width * words.across, words.cell_height * rows, 0);
    for (int k = 0; k < words.count; ++k) {
        const unsigned char c = static_cast<unsigned char>(words.first + k);
        const int x0 = (k % words.across) * words.cell_width, y0 = (k / words.across) * words.cell_height;
        for (int y = 0; y < block_glyph_height(words); ++y)
            for (int x = 0; x < block_glyph_width(c, words); ++x)
                sheet.pixels[static_cast<std::size_t>(y0 + y) * static_cast<std::size_t>(sheet.width) +
                             static_cast<std::size_t>(x0 + x)] = ink;
    }
    return sheet;
}

// The width the block font gives a text drawn with its spacing words: a
// space or underscore advances by `space`, a glyph by its width plus
// `spacing` (none after a last glyph); characters the font lacks add
// nothing. The block font has no kerning pairs.
inline int block_text_width(std::string_view text, const GameFontWords& words)
{
    int width = 0, trailing = 0;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == ' ' || c == '_') {
            width += words.space;
            trailing = 0;
        } else if (c >= words.first && c < words.first + words.count) {
            width += block_glyph_width(c, words) + words.spacing;
            trailing = words.spacing;
        }
    }
    return width - trailing;
}

// ---- The data folder ----

// The file writers of a fixture, all relative to one folder.
class MenuData {
public:
    explicit MenuData(std::filesystem::path root) : root_(std::move(root)) {}
    const std::filesystem::path& root() const { return root_; }

    // "<name>.dat" from a screen writer (FormFileWriter::screen).
    void screen(const std::string& name, const datakit::FormFileWriter& file) const
    {
        write(name + ".dat", file);
    }
    // "<name>.pat" from a defaults writer (FormFileWriter::defaults).
    void defaults(const std::string& name, const datakit::FormFileWriter& file) const
    {
        write(name + ".pat", file);
    }

    // A picture file.
    void picture(const std::string& path, const datakit::PcxPicture& picture) const
    {
        std::string error;
        ASSERT_TRUE(datakit::write_pcx(root_ / path, picture, error)) << error;
    }

    // A sprite strip: one picture file per frame, "<prefix><n>.pcx" (one
    // digit up to ten frames, two beyond), as a "Graphic" or "SpriteFile"
    // without extension names them. The frames are w x h, framed in
    // `border` around each frame's own fill.
    void strip(const std::string& prefix, int width, int height, std::initializer_list<std::uint8_t> fills,
               std::uint8_t border = kInkWhite) const
    {
        int n = 0;
        const bool two_digits = fills.size() > 10;
        for (const std::uint8_t fill : fills) {
            char number[8];
            std::snprintf(number, sizeof number, two_digits ? "%02d" : "%d", n++);
            picture(prefix + number + ".pcx", framed_picture(width, height, fill, border));
        }
    }

    // A bitmap game font: the sheet "<base>.pcx" (a block font in `ink`),
    // its words "<base>.mfg", and, when the inks are not 0, the variants
    // "<base>_.pcx" and "<base>!.pcx" that buttons and labels show for the
    // selected and disabled looks. The name a screen file gives is
    // "<base>.pcx".
    void game_font(const std::string& base, const GameFontWords& words, std::uint8_t ink,
                   std::uint8_t selected_ink = 0, std::uint8_t disabled_ink = 0) const
    {
        picture(base + ".pcx", block_font_sheet(words, ink));
        if (selected_ink)
            picture(base + "_.pcx", block_font_sheet(words, selected_ink));
        if (disabled_ink)
            picture(base + "!.pcx", block_font_sheet(words, disabled_ink));
        font_words(base, words);
    }
    // Only the ".mfg" file of a font.
    void font_words(const std::string& base, const GameFontWords& words) const
    {
        datakit::WordFileWriter mfg;
        mfg.comment("cell width, cell height, across, count, first, space, spacing");
        for (const std::int32_t word : {words.cell_width, words.cell_height, words.across, words.count, words.first,
                                        words.space, words.spacing})
            mfg.word(word);
        write(base + ".mfg", mfg);
    }

    // A text file of sections: each text under its "[id]" line, ended by a
    // line end.
    void text_file(const std::string& path, std::initializer_list<std::pair<std::string, std::string>> sections,
                   datakit::LineEnd line_end = datakit::LineEnd::CrLf) const
    {
        datakit::TextFileBuilder file(line_end);
        for (const auto& [id, text] : sections) {
            file.add_line("[" + id + "]");
            file.add_line(text);
        }
        write(path, file);
    }

    // An archive of entries (name, bytes), where the game looks for the
    // files of a folder that are not on disk ("sprites.mix" for
    // "sprites/...").
    void archive(const std::string& path, std::initializer_list<std::pair<std::string, std::string>> entries) const
    {
        datakit::MixWriter mix;
        std::string error;
        for (const auto& [name, bytes] : entries)
            ASSERT_TRUE(mix.add(name, std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                                datakit::MixStorage::Plain, false, &error))
                << error;
        ASSERT_TRUE(mix.write(root_ / path, error)) << error;
    }

    // Any text file as given.
    void raw(const std::string& path, std::string_view text) const
    {
        std::string error;
        ASSERT_TRUE(datakit::write_text_file(root_ / path, text, error)) << error;
    }

    void write(const std::string& path, const datakit::TextFileBuilder& file) const
    {
        std::string error;
        ASSERT_TRUE(file.write(root_ / path, error)) << error;
    }

private:
    std::filesystem::path root_;
};

// The keys of a control's place: "PixLeft", "PixTop", "PixWidth" and
// "PixHeight", in the order the reader asks for them (height first).
inline datakit::FormFileWriter& place(datakit::FormFileWriter& file, int left, int top, int width, int height)
{
    return file.key("PixHeight", height).key("PixLeft", left).key("PixTop", top).key("PixWidth", width);
}

// A screen file with the form block open (end() it after the elements).
inline datakit::FormFileWriter screen_file(const std::string& form_name, std::uint32_t back_color = 0,
                                           std::uint32_t fore_color = 0xFFFFFF)
{
    datakit::FormFileWriter file = datakit::FormFileWriter::screen();
    datakit::FormProperties form;
    form.name = form_name;
    form.back_color = back_color;
    form.fore_color = fore_color;
    file.form(form);
    return file;
}

// ---- The display and the manager ----

inline platform::LResult menu_window_proc(platform::WindowHandle w, unsigned m, platform::WParam wp,
                                          platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

// A test with its data folder as working directory, the application record,
// a 640 x 480 16-bit software screen (5-6-5) with the renderer installed, and
// a menu manager made current.
class MenuFixture : public ::testing::Test {
protected:
    MenuFixture() : dir_(torvane_test::make_temp_dir("menu")), cwd_(dir_), data_(dir_) {}

    void SetUp() override
    {
        platform::clear_recorded_message_boxes();
        SetTheGameApp(&app_);
        ASSERT_TRUE(platform::register_window_class("MenuTest", 0, &menu_window_proc));
        window_ = platform::create_window(0, "MenuTest", "Menu", 0, 0, 0, 640, 480);
        ASSERT_TRUE(platform::set_client_size(window_, 640, 480, false));
        set_the_render_device(&device_);
        ASSERT_EQ(device_.enumerate_drivers(window_), 1);
        device_.software_16bit = 1;
        ASSERT_EQ(device_.init(0, 640, 480, 16, 0), 1);
        ASSERT_EQ(device_.screen_depth, 16);
        SetCurrentMenuManager(&manager_);
    }
    void TearDown() override
    {
        manager_.Reset();
        if (menu_engine_ && current_engine == menu_engine_.get())
            current_engine = nullptr;
        menu_engine_.reset();
        SetCurrentMenuManager(nullptr);
        device_.release();
        set_the_render_device(nullptr);
        platform::shutdown_video_thread();
        platform::clear_recorded_message_boxes();
        SetTheGameApp(nullptr);
    }

    // The menus' 3D context as the run loop makes it on the software screen,
    // with the scenes' palette and shade table from `palette`: a shipped set
    // whose screens hold carousels or scenes needs one to load.
    void open_menu_engine(const char* palette)
    {
        menu_engine_ = std::make_unique<engine>();
        menu_engine_->set_render_type(engine::software_render_type);
        menu_engine_->set_mode_word(1);
        rast_set_globals(32, 16, 1);
        ASSERT_EQ(device_.load_palette(palette), 1) << palette;
        load_shade_table(palette);
        current_engine = menu_engine_.get();
    }

    // Makes the manager's screen records for the names and loads each from
    // "<name>.dat" (and its ".pat") in the data folder. Screen i is shown in
    // state i + 1.
    void load_screens(const std::vector<std::string>& names)
    {
        manager_.SetScreens(names);
        manager_.m_StateScreens.clear();
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto index = static_cast<std::int32_t>(i);
            manager_.m_StateScreens.push_back({index + 1, index});
            load_into(*manager_.Screen(index), names[i], index);
        }
    }
    // One screen, screen 0; the loaded record.
    Form& load_screen(const std::string& name)
    {
        load_screens({name});
        return *manager_.Screen(0);
    }
    // Loads a screen file into a record of the manager (as the manager's
    // own loading does: owner and id first, then the file's elements).
    void load_into(Form& form, const std::string& name, std::int32_t id)
    {
        form.Clear();
        form.m_pOwner = &manager_;
        FormParser parser;
        parser.LoadForm(name.c_str());
        form.Load(parser);
        form.m_nId = id;
    }

    // Makes screen `index` the current one (its state current) and enters it.
    Form& show(std::int32_t index = 0)
    {
        manager_.m_nState = index + 1;
        manager_.m_nShownScreen = index;
        Form& form = *manager_.Screen(index);
        form.ShowScreen();
        form.Invalidate();
        return form;
    }

    // Clears the back buffer to a 16-bit value.
    void clear_screen(std::uint16_t value = 0)
    {
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                put(x, y, value);
    }

    std::uint32_t pixel(int x, int y) const { return torvane_test::back_pixel(device_, x, y); }
    void put(int x, int y, std::uint32_t v) { torvane_test::put_back_pixel(device_, x, y, v); }

    // The back buffer as an RGB picture (for golden files and reviews).
    torvane_test::PngImage screenshot() const
    {
        torvane_test::PngImage image;
        image.width = 640;
        image.height = 480;
        image.indexed = false;
        image.pixels.reserve(640u * 480u * 3u);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const Rgb c = expand565(static_cast<std::uint16_t>(pixel(x, y)));
                image.pixels.insert(image.pixels.end(), {c.r, c.g, c.b});
            }
        return image;
    }

    const std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    MenuData data_;
    GameApp app_;
    platform::WindowHandle window_{};
    render_device device_;
    MenuManager manager_;
    std::unique_ptr<engine> menu_engine_;
};

} // namespace menu_test
