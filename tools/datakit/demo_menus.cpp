#include "tools/datakit/demo_menus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <vector>

#include "platform/text_faces.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/demo_menu_art.h"
#include "tools/datakit/font_writer.h"
#include "tools/datakit/form_file_writer.h"
#include "tools/datakit/pcx_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/word_file_writer.h"

namespace datakit {

namespace {

using menu_art::Canvas;
using menu_art::Colour;
using menu_art::Lettering;
using menu_art::mix;

// Names as the screens give them: relative to the menu folder, which is the
// working folder while screens load. A game font's name is cut at its first
// '.' to find its ".mfg" and its looks, so the menu font cannot be named
// with "..": the menus have their own copy of it in "menu\fonts".
constexpr const char* kMenuFont = "fonts\\Menu.pcx";
constexpr const char* kMenuText = "MenuText.txt";
constexpr const char* kDialogueText = "DlgText.txt";
constexpr const char* kTrackStrip = "art\\trk";
constexpr int kTrackWidth = 320, kTrackHeight = 240;
constexpr int kDialoguePages = 5;

// Key codes of the hot keys.
constexpr int kKeyEnter = 28, kKeyLeft = 203, kKeyRight = 205, kKeyQ = 16, kKeyY = 21, kKeyN = 49;

// ---- Pictures ----

// The lettering the pictures use, in the menu font's face.
struct Letterings {
    Lettering title, heading, label, small;

    bool load(std::string& error)
    {
        return title.load(66, true, error) && heading.load(34, true, error) && label.load(20, true, error) &&
               small.load(13, false, error);
    }
};

Colour gold(float t)
{
    return mix({255, 236, 150}, {236, 120, 36}, t);
}

// A dusk scene: a sky over a mountain ridge and a low sun, a dark plain with
// a glowing grid, and a road with kerbs that sweeps in from the foreground
// to the sun.
struct Scene {
    Colour sky_top, sky_middle, sky_horizon;
    Colour sun_top, sun_bottom;
    Colour ridge, ground_near, ground_far, grid;
    int vanish_x = 320;
    float bend_square = 0, bend_linear = 0; // the road's centre: vanish_x + a s^2 + b s
};

constexpr int kHorizon = 300;

Canvas paint_scene(const Scene& scene)
{
    Canvas canvas(640, 480);
    const float vx = static_cast<float>(scene.vanish_x);
    canvas.paint([&](int x, int y) {
        const float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
        if (y < kHorizon) {
            const float t = fy / kHorizon;
            Colour c = t < 0.6f ? mix(scene.sky_top, scene.sky_middle, t / 0.6f)
                                : mix(scene.sky_middle, scene.sky_horizon, (t - 0.6f) / 0.4f);
            // The sun, cut by bands towards the horizon, and its glow.
            const float dx = fx - vx, dy = fy - (kHorizon - 10);
            const float d = std::sqrt(dx * dx + dy * dy);
            constexpr float kSun = 84.0f;
            const float glow = 0.45f * std::exp(-std::max(0.0f, d - kSun) / 46.0f);
            c = mix(c, scene.sun_bottom, glow);
            const float band_phase = std::fmod(fy, 12.0f);
            const bool cut = fy > kHorizon - 60 && band_phase < (fy - (kHorizon - 60)) / 10.0f;
            if (d < kSun && !cut) {
                const float edge = std::clamp(kSun - d, 0.0f, 1.0f);
                c = mix(c, mix(scene.sun_top, scene.sun_bottom, (fy - (kHorizon - 10 - kSun)) / (kSun + 10)), edge);
            }
            // The ridge: a sum of slow waves, darker than the sky.
            const float ridge = 20.0f + 13.0f * std::sin(fx / 37.0f) + 8.0f * std::sin(fx / 13.0f + 1.0f) +
                                26.0f * std::max(0.0f, std::sin(fx / 110.0f + 2.0f));
            if (fy > kHorizon - ridge)
                c = mix(scene.ridge, c, 0.25f * (kHorizon - fy) / ridge);
            return c;
        }
        const float s = (fy - kHorizon) / (480 - kHorizon); // 0 at the horizon, 1 at the bottom
        Colour c = mix(scene.ground_far, scene.ground_near, s);
        // The grid: lines across at equal depth steps, lines along to the sun.
        // Each line about a pixel wide, smoothed, and faded where the lines
        // crowd towards the horizon.
        const float depth = 1.0f / (s + 0.04f);
        const float across_pixel = 1.4f / (180.0f * (s + 0.04f) * (s + 0.04f)); // one pixel, in periods
        const float across = (0.5f - std::abs(std::fmod(depth * 1.4f, 1.0f) - 0.5f)) / across_pixel;
        const float along_pixel = 3.0f / (fy - kHorizon + 1.0f);
        const float along =
            (0.5f - std::abs(std::fmod((fx - vx) * along_pixel + 1000.5f, 1.0f) - 0.5f)) / along_pixel;
        const float line = std::max(std::clamp(1.2f - across, 0.0f, 1.0f) * std::clamp(1.0f - 2.0f * across_pixel, 0.0f, 1.0f),
                                    std::clamp(1.2f - along, 0.0f, 1.0f) * std::clamp(1.0f - 3.0f * along_pixel, 0.0f, 1.0f));
        c = mix(c, scene.grid, line * (0.25f + 0.45f * s));
        // The road.
        const float centre = vx + scene.bend_square * s * s + scene.bend_linear * s;
        const float half = 2.0f + 300.0f * s;
        const float d = (fx - centre) / half;
        const float pixel = 1.0f / half; // one pixel in road widths
        const float road = std::clamp((1.0f - std::abs(d)) / pixel + 0.5f, 0.0f, 1.0f);
        const float kerb = std::clamp((1.12f - std::abs(d)) / pixel + 0.5f, 0.0f, 1.0f) - road;
        const bool red = static_cast<int>(std::floor(depth * 2.0f)) % 2 == 0;
        const Colour asphalt = mix({34, 32, 46}, {70, 66, 84}, s);
        c = mix(c, red ? Colour{214, 38, 44} : Colour{236, 236, 240}, kerb);
        c = mix(c, asphalt, road);
        const bool dash = static_cast<int>(std::floor(depth * 1.2f)) % 2 == 0;
        if (dash && std::abs(d) < 0.018f + pixel)
            c = mix(c, {240, 230, 200}, std::clamp((0.018f - std::abs(d)) / pixel + 0.5f, 0.0f, 1.0f) * 0.9f);
        return c;
    });
    return canvas;
}

const Scene kMainScene = {
    {6, 8, 30},     {52, 24, 92},  {240, 104, 86}, {255, 228, 130}, {255, 92, 120},
    {22, 12, 44},   {12, 8, 26},   {40, 16, 64},   {214, 70, 170},  420, 300.0f, -120.0f};
const Scene kArcadeScene = {
    {4, 14, 34},    {16, 58, 96},  {120, 200, 210}, {255, 246, 190}, {255, 170, 80},
    {10, 24, 44},   {6, 14, 26},   {14, 36, 58},    {60, 200, 220},  320, -90.0f, 40.0f};

// The hint line at the foot of a screen.
void hints(Canvas& canvas, const Letterings& l, std::string_view text)
{
    canvas.panel(0, 444, 640, 36, 0, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0, 0.45f);
    l.small.draw(canvas, 320 - l.small.width(text) / 2, 452, text, Colour{210, 214, 230});
}

Canvas main_menu_background(const Letterings& l)
{
    Canvas canvas = paint_scene(kMainScene);
    l.title.draw_centred_with_shadow(canvas, 320, 34, "TORVANE", gold, 6);
    l.small.draw(canvas, 320 - l.small.width("MOTORCYCLE  ROAD  RACING", 3) / 2, 118, "MOTORCYCLE  ROAD  RACING",
                 Colour{236, 220, 255}, 1.0f, 3);
    hints(canvas, l, "Up / Down choose     Enter select     Esc quit");
    return canvas;
}

Canvas arcade_background(const Letterings& l)
{
    Canvas canvas = paint_scene(kArcadeScene);
    l.heading.draw_centred_with_shadow(canvas, 320, 18, "ARCADE RACE", gold, 3);
    l.small.draw(canvas, 320 - l.small.width("CHOOSE A CIRCUIT", 2) / 2, 66, "CHOOSE A CIRCUIT",
                 Colour{200, 236, 244}, 1.0f, 2);
    // The frame the track pictures sit in.
    canvas.panel(148, 92, 344, 264, 12, {8, 20, 36}, {4, 10, 20}, {120, 210, 230}, 2, 0.75f);
    hints(canvas, l, "Left / Right circuit     Enter race     Esc back");
    return canvas;
}

Canvas cover_picture(const Letterings& l)
{
    Canvas canvas = paint_scene(kMainScene);
    l.title.draw_centred_with_shadow(canvas, 320, 120, "TORVANE", gold, 6);
    l.small.draw(canvas, 320 - l.small.width("MOTORCYCLE  ROAD  RACING", 3) / 2, 204, "MOTORCYCLE  ROAD  RACING",
                 Colour{236, 220, 255}, 1.0f, 3);
    l.label.draw(canvas, 320 - l.label.width("Loading ...") / 2, 440, "Loading ...", Colour{255, 236, 190});
    return canvas;
}

// The title card of the start-up: a wheel over a dark glow, the title.
Canvas title_card(const Letterings& l)
{
    Canvas canvas(640, 480);
    const float pi = 3.14159265f;
    canvas.paint([&](int x, int y) {
        const float dx = static_cast<float>(x) + 0.5f - 320, dy = static_cast<float>(y) + 0.5f - 170;
        const float d = std::sqrt(dx * dx + dy * dy);
        Colour c = mix({34, 26, 64}, {3, 3, 10}, std::min(1.0f, d / 420.0f));
        const auto ring = [&](float from, float to, Colour inner, Colour outer) {
            const float a = std::clamp(std::min(d - from, to - d) + 0.5f, 0.0f, 1.0f);
            c = mix(c, mix(inner, outer, std::clamp((d - from) / (to - from), 0.0f, 1.0f)), a);
        };
        ring(58, 76, {40, 40, 48}, {78, 76, 88});        // the tyre
        ring(50, 58, {255, 210, 110}, {200, 120, 40});   // the rim
        ring(0, 12, {255, 226, 140}, {210, 130, 40});    // the hub
        // Five spokes.
        const float angle = std::atan2(dy, dx) + pi / 2;
        const float step = 2 * pi / 5;
        const float offset = std::abs(std::remainder(angle, step)) * d;
        if (d > 10 && d < 52)
            c = mix(c, {236, 170, 70}, std::clamp(3.5f - offset + 0.5f, 0.0f, 1.0f));
        return c;
    });
    l.title.draw_centred_with_shadow(canvas, 320, 262, "TORVANE", gold, 6);
    l.small.draw(canvas, 320 - l.small.width("MOTORCYCLE  ROAD  RACING", 3) / 2, 346, "MOTORCYCLE  ROAD  RACING",
                 Colour{220, 210, 250}, 1.0f, 3);
    l.small.draw(canvas, 320 - l.small.width("Press Enter") / 2, 440, "Press Enter", Colour{140, 140, 170});
    return canvas;
}

// A button's looks: frame 0 up, frame 1 selected (also pressed).
Canvas button_frame(int w, int h, bool selected)
{
    Canvas canvas(w, h, {}, false);
    if (selected)
        canvas.panel(0, 0, w, h, 8, {255, 204, 90}, {226, 110, 30}, {255, 244, 200}, 2);
    else
        canvas.panel(0, 0, w, h, 8, {40, 46, 86}, {14, 16, 40}, {110, 130, 200}, 2, 0.88f);
    return canvas;
}

Canvas dialogue_panel(const Letterings& l)
{
    Canvas canvas(400, 180, {}, false);
    canvas.panel(0, 0, 400, 180, 12, {30, 34, 72}, {10, 10, 28}, {240, 180, 80}, 2, 0.94f);
    l.small.draw(canvas, 200 - l.small.width("PLEASE  CONFIRM", 2) / 2, 12, "PLEASE  CONFIRM", Colour{255, 210, 120},
                 1.0f, 2);
    return canvas;
}

// A circuit's place in the strip: its loading picture, framed, with its
// name and round.
Canvas track_frame(const Letterings& l, int circuit)
{
    const PcxPicture picture = demo_track_picture(circuit);
    Canvas full(picture.width, picture.height);
    full.paint([&](int x, int y) {
        const std::size_t i = picture.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                                             static_cast<std::size_t>(x)];
        return Colour{static_cast<float>(picture.palette[3 * i]), static_cast<float>(picture.palette[3 * i + 1]),
                      static_cast<float>(picture.palette[3 * i + 2])};
    });
    Canvas frame(kTrackWidth, kTrackHeight, {}, false);
    frame.panel(0, 0, kTrackWidth, kTrackHeight, 6, {250, 220, 140}, {200, 120, 50}, {255, 240, 200}, 1);
    frame.draw(full.scaled(kTrackWidth - 8, kTrackHeight - 8), 4, 4);
    frame.panel(4, kTrackHeight - 46, kTrackWidth - 8, 42, 0, {0, 0, 10}, {0, 0, 10}, {0, 0, 0}, 0, 0.6f);
    l.label.draw(frame, 14, kTrackHeight - 40, kDemoCircuitNames[circuit], Colour{255, 255, 255});
    char round[24];
    std::snprintf(round, sizeof round, "ROUND %d / 12", circuit + 1);
    l.small.draw(frame, kTrackWidth - 14 - l.small.width(round), kTrackHeight - 34, round, Colour{255, 214, 140});
    return frame;
}

// The pointer: an arrow, a turning wheel (busy), a gold arrow (over a
// button), 32 x 32 each, side by side.
Canvas pointer_frames()
{
    Canvas canvas(96, 32, {}, false);
    struct Point {
        float x, y;
    };
    static constexpr Point kArrow[] = {{1, 1}, {1, 23}, {6.5f, 18}, {10.5f, 27}, {14, 25.5f}, {10, 17}, {17, 17}};
    constexpr int kCorners = static_cast<int>(std::size(kArrow));
    // Inside the outline, and how far from its edges (in pixels).
    const auto inside = [](float x, float y, float& edge) {
        bool in = false;
        edge = 1e9f;
        for (int i = 0, j = kCorners - 1; i < kCorners; j = i++) {
            const Point a = kArrow[j], b = kArrow[i];
            if ((b.y > y) != (a.y > y) && x < (a.x - b.x) * (y - b.y) / (a.y - b.y) + b.x)
                in = !in;
            const float dx = b.x - a.x, dy = b.y - a.y;
            const float t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
            edge = std::min(edge, std::hypot(x - a.x - t * dx, y - a.y - t * dy));
        }
        return in;
    };
    const auto arrow = [&](int x0, Colour fill) {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                // Four by four samples in the pixel.
                float cover = 0, filled = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx) {
                        float edge = 0;
                        if (inside(static_cast<float>(x) + (sx + 0.5f) / 4, static_cast<float>(y) + (sy + 0.5f) / 4,
                                   edge)) {
                            cover += 1.0f / 16;
                            filled += edge > 1.3f ? 1.0f / 16 : 0.0f;
                        }
                    }
                if (cover > 0)
                    canvas.blend(x0 + x, y, mix({12, 10, 24}, fill, filled / cover), std::min(1.0f, cover * 1.4f));
            }
    };
    arrow(0, {250, 250, 255});
    arrow(64, {255, 200, 70});
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - 16, dy = static_cast<float>(y) + 0.5f - 16;
            const float d = std::sqrt(dx * dx + dy * dy);
            const float a = std::clamp(std::min(d - 8.0f, 14.0f - d) + 0.5f, 0.0f, 1.0f);
            const float turn = std::fmod(std::atan2(dy, dx) + 7.0f * 3.14159265f, 3.14159265f / 3.0f);
            canvas.blend(32 + x, y, turn < 0.5f ? Colour{255, 180, 60} : Colour{40, 40, 60}, a);
        }
    return canvas;
}

bool write_canvas(const std::filesystem::path& path, const Canvas& canvas, std::string& error)
{
    return write_pcx(path, canvas.picture(), error);
}

// ---- The menu font ----

// The menu font ("Gfx/Fonts/Menu.pcx") copied into the menu folder's
// "fonts", with its looks of a selected and of a disabled text (drawn as
// the font itself is) and the words of its ".mfg" file.
bool write_menu_font(const std::filesystem::path& root, const std::filesystem::path& fonts, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(fonts, ec);
    for (const char* file : {"Menu.pcx", "Menu.cfg"}) {
        std::filesystem::copy_file(root / "Gfx" / "Fonts" / file, fonts / file,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy the menu font's \"" + std::string(file) + "\": " + ec.message();
            return false;
        }
    }
    struct Look {
        const char* file;
        std::uint8_t r, g, b;
    };
    const Look looks[] = {{"Menu_", 24, 22, 48}, {"Menu!", 130, 130, 150}};
    BitmapFont font;
    for (const Look& look : looks) {
        FontStyle style;
        style.ttf_file = platform::liberation_font_path("LiberationSans-Bold.ttf").string();
        style.point_size = 18;
        style.red = look.r;
        style.green = look.g;
        style.blue = look.b;
        if (!render_bitmap_font(style, font, error) || !write_bitmap_font(fonts / look.file, font, error))
            return false;
    }
    WordFileWriter mfg;
    mfg.comment("cell width, cell height, across, count, first, space, spacing");
    for (const int word : {font.cell_width, font.cell_height, font.across, font.count, font.first_char, 6, 1})
        mfg.word(word);
    return mfg.write(fonts / "Menu.mfg", error);
}

// ---- Screens ----

void place(FormFileWriter& file, int left, int top, int width, int height)
{
    file.key("PixHeight", height).key("PixLeft", left).key("PixTop", top).key("PixWidth", width);
}

FormFileWriter screen_file(const std::string& name)
{
    FormFileWriter file = FormFileWriter::screen();
    FormProperties form;
    form.name = name;
    file.form(form);
    return file;
}

void image(FormFileWriter& file, const char* name, const std::string& graphic, int left, int top, int width,
           int height)
{
    file.begin("Image", name);
    place(file, left, top, width, height);
    file.key_bool("Animated", false).key("Graphic", graphic).end();
}

struct Button {
    const char* name;
    int left, top, width, height;
    int command;
    int user_id = -1;      // -1: none
    const char* text_id = nullptr;
    const char* text_file = kMenuText;
    int hot_key = 0;       // 0: none
    const char* graphic = "art\\btn";
    const char* linked_to = nullptr;
};

// A text button in the menu font, its keys in the order the reader asks
// for them (the control's, the font's, the label's, the button's own).
void button(FormFileWriter& file, const Button& b)
{
    file.begin("CommandButton", b.name);
    if (b.linked_to)
        file.key("LinkedTo", b.linked_to);
    place(file, b.left, b.top, b.width, b.height);
    if (b.user_id >= 0)
        file.key("UserID", b.user_id);
    file.key("FontName", kMenuFont).key("FontType", "gamefont");
    if (b.text_id)
        file.key("TextFile", b.text_file).key("TextID", b.text_id);
    file.key("Command", b.command);
    if (b.graphic)
        file.key("Graphic", b.graphic);
    if (b.hot_key)
        file.key("HotKey", b.hot_key);
    file.end();
}

FormFileWriter main_menu_screen()
{
    FormFileWriter file = screen_file("start01");
    image(file, "background", "art\\start01.pcx", 0, 0, 640, 480);
    // "Arcade race" comes first, so it has the focus when the screen opens.
    button(file, {"arcade", 56, 264, 240, 40, kDemoArcadeCommand, -1, "arcade"});
    button(file, {"quit", 56, 316, 240, 40, 0, 0, "quit", kMenuText, kKeyQ});
    file.end();
    return file;
}

FormFileWriter arcade_track_screen()
{
    FormFileWriter file = screen_file("Arcade04");
    image(file, "background", "art\\arcade04.pcx", 0, 0, 640, 480);
    image(file, "track", kTrackStrip, 160, 104, kTrackWidth, kTrackHeight);
    // Every button tells the screen which circuit the strip shows.
    button(file, {"prev", 88, 200, 48, 48, -3, 1, "prev", kMenuText, kKeyLeft, "art\\sbtn", "track"});
    button(file, {"next", 504, 200, 48, 48, -2, 2, "next", kMenuText, kKeyRight, "art\\sbtn", "track"});
    button(file, {"go", 200, 380, 240, 40, kDemoRaceCommand, 3, "go", kMenuText, kKeyEnter});
    file.end();
    return file;
}

FormFileWriter reserved_screen()
{
    FormFileWriter file = screen_file("reserved");
    file.end();
    return file;
}

FormFileWriter quit_dialogue_screen()
{
    FormFileWriter file = screen_file("dlg10");
    image(file, "panel", "art\\dialog.pcx", 120, 150, 400, 180);
    file.begin("Label", "dlg_message");
    place(file, 140, 196, 360, 66);
    file.key("FontName", kMenuFont).key("FontType", "gamefont");
    file.key("Alignment", "Center").key("TextCount", kDialoguePages).key("TextFile", kDialogueText);
    file.key("TextID", "dlgmsg").end();
    button(file, {"yes", 170, 274, 120, 36, 1, -1, "yes", kDialogueText, kKeyY, "art\\dbtn"});
    button(file, {"no", 350, 274, 120, 36, 0, -1, "no", kDialogueText, kKeyN, "art\\dbtn"});
    file.end();
    return file;
}

FormFileWriter title_card_screen()
{
    FormFileWriter file = FormFileWriter::screen();
    FormProperties form;
    form.name = "copyrigh";
    file.form(form);
    file.key("NoMouse", 1).key("UserDraw", 1);
    image(file, "logo", "art\\copyrigh.pcx", 0, 0, 640, 480);
    // Enter and a click anywhere skip the card (Esc is "back" already).
    button(file, {"skip", 0, 0, 640, 480, 0, -1, nullptr, kMenuText, kKeyEnter, nullptr});
    file.end();
    return file;
}

TextFileBuilder text_file(std::initializer_list<std::pair<const char*, const char*>> sections)
{
    TextFileBuilder file;
    for (const auto& [id, text] : sections) {
        file.add_line(std::string("[") + id + "]");
        // One line of the file for each row of the text.
        std::string_view rest = text;
        for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
            file.add_line(std::string(rest.substr(0, end)));
        file.add_line(std::string(rest));
    }
    return file;
}

} // namespace

MenuSet demo_main_menu_set()
{
    MenuSet set;
    set.init_state = 18;
    set.screens.assign(kDemoMainMenuScreens, "reserved");
    set.screens[0] = "start01";
    set.screens[kDemoArcadeTrackState] = "Arcade04";
    set.states = {{kDemoEndState, -1}, {kDemoMainMenuState, 0}, {kDemoArcadeTrackState, kDemoArcadeTrackState}};
    set.transitions = {
        {kDemoMainMenuState, 0, kDemoEndState},                       // Esc, and "Quit" once answered
        {kDemoMainMenuState, kDemoArcadeCommand, kDemoArcadeTrackState}, // "Arcade race"
        {kDemoArcadeTrackState, 0, kDemoMainMenuState},               // Esc
        {kDemoArcadeTrackState, kDemoRaceCommand, kDemoEndState},     // "Go"
    };
    // Samples 5 (a button's click), 11 (a dialogue) and 12 (the volume test)
    // are the ones the game names.
    const std::string folder = "..\\Sfx\\Menu\\";
    for (const char* sample : {"Select", "Back", "Select", "Click", "Click", "Click", "Select", "Back", "Select",
                               "Click", "Back", "Dialog", "Select"})
        set.sfx.push_back(folder + sample + ".wav");
    set.preload_fonts = {kMenuFont};
    set.preload_anims = {{kTrackStrip, kTrackWidth, kTrackHeight}};
    return set;
}

MenuSet demo_dialogue_set()
{
    MenuSet set;
    set.init_state = kDemoQuitDialogue;
    set.screens = {"dlg10"};
    set.states = {{kDemoEndState, -1}, {kDemoQuitDialogue, 0}};
    set.transitions = {{kDemoQuitDialogue, 1, kDemoEndState}, {kDemoQuitDialogue, 0, kDemoEndState}};
    return set;
}

MenuSet demo_startup_set()
{
    MenuSet set;
    set.init_state = kDemoStartupState;
    set.screens = {"copyrigh"};
    set.states = {{kDemoEndState, -1}, {kDemoStartupState, 0}};
    set.transitions = {{kDemoStartupState, 0, kDemoEndState}};
    return set;
}

bool write_demo_menus(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path menu = root / "menu";
    const std::filesystem::path art = menu / "art";
    Letterings l;
    if (!l.load(error))
        return false;

    if (!write_canvas(art / "start01.pcx", main_menu_background(l), error) ||
        !write_canvas(art / "arcade04.pcx", arcade_background(l), error) ||
        !write_canvas(art / "copyrigh.pcx", title_card(l), error) ||
        !write_canvas(art / "dialog.pcx", dialogue_panel(l), error) ||
        !write_canvas(root / "Gfx" / "Loading" / "cover.pcx", cover_picture(l), error) ||
        !write_canvas(menu / "mouse.pcx", pointer_frames(), error))
        return false;
    struct Strip {
        const char* prefix;
        int width, height;
    };
    for (const Strip& s : {Strip{"btn", 240, 40}, Strip{"sbtn", 48, 48}, Strip{"dbtn", 120, 36}})
        for (int frame = 0; frame < 2; ++frame)
            if (!write_canvas(art / (s.prefix + std::to_string(frame) + ".pcx"),
                              button_frame(s.width, s.height, frame == 1), error))
                return false;
    for (int circuit = 0; circuit < 12; ++circuit) {
        char name[16];
        std::snprintf(name, sizeof name, "trk%02d.pcx", circuit);
        if (!write_canvas(art / name, track_frame(l, circuit), error))
            return false;
    }
    if (!write_menu_font(root, menu / "fonts", error))
        return false;

    const std::pair<const char*, FormFileWriter> screens[] = {
        {"start01", main_menu_screen()},  {"Arcade04", arcade_track_screen()}, {"reserved", reserved_screen()},
        {"dlg10", quit_dialogue_screen()}, {"copyrigh", title_card_screen()},
    };
    for (const auto& [name, file] : screens)
        if (!file.write(menu / (std::string(name) + ".dat"), error))
            return false;
    if (!text_file({{"arcade", "Arcade race"}, {"quit", "Quit"}, {"go", "Race"}, {"prev", "<"}, {"next", ">"}})
             .write(menu / kMenuText, error))
        return false;
    // The pages of "dlg_message": a dialogue's state picks one.
    if (!text_file({{"yes", "Yes"},
                    {"no", "No"},
                    {"dlgmsg00", "Do you really want\nto quit the game?"},
                    {"dlgmsg01", "End this session\nand go back?"},
                    {"dlgmsg02", "End the race\nfor every player?"},
                    {"dlgmsg03", "Leave the race?"},
                    {"dlgmsg04", "Time is up."}})
             .write(menu / kDialogueText, error))
        return false;

    return write_menu_set(menu / "menu.dat", demo_main_menu_set(), error) &&
           write_menu_set(menu / "menudial.dat", demo_dialogue_set(), error) &&
           write_menu_set(menu / "startvid.dat", demo_startup_set(), error);
}

} // namespace datakit
