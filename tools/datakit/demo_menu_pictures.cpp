#include "tools/datakit/demo_menu_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/text_faces.h"
#include "tools/datakit/circuit_builder.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/demo_menu_art.h"
#include "tools/datakit/font_writer.h"
#include "tools/datakit/pcx_writer.h"
#include "tools/datakit/word_file_writer.h"

namespace datakit {

namespace {

using menu_art::Canvas;
using menu_art::Colour;
using menu_art::Lettering;
using menu_art::mix;

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

// The game's title with its subtitle under it, centred, from y down.
void title(Canvas& canvas, const Letterings& l, int y)
{
    l.title.draw_centred_with_shadow(canvas, 320, y, "TORVANE", gold, 6);
    const char* subtitle = "MOTORCYCLE  ROAD  RACING";
    l.small.draw(canvas, 320 - l.small.width(subtitle, 3) / 2, y + 84, subtitle, Colour{236, 220, 255}, 1.0f, 3);
}

Canvas main_menu_background(const Letterings& l)
{
    Canvas canvas = paint_scene(kMainScene);
    title(canvas, l, 34);
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

// The race weekend's screens: the scene under a dark panel the screens'
// titles, tables and buttons stand on (they write their own texts).
Canvas weekend_background()
{
    Canvas canvas = paint_scene(kArcadeScene);
    canvas.panel(24, 16, 592, 448, 14, {8, 20, 36}, {4, 10, 20}, {120, 210, 230}, 2, 0.8f);
    return canvas;
}

// A screen of the game's menus: the dusk scene darkened, the heading at
// the top, a panel for the screen's controls and the key hints at the foot.
const Scene kScreenScene = {
    {4, 6, 22},     {30, 18, 64},  {150, 70, 90},  {255, 220, 130}, {255, 110, 110},
    {16, 10, 34},   {8, 6, 20},    {26, 12, 44},   {150, 60, 150},  500, 200.0f, -200.0f};

Canvas screen_background(const Letterings& l, const ScreenLook& look)
{
    Canvas canvas = paint_scene(kScreenScene);
    canvas.panel(0, 0, 640, 480, 0, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0, 0.35f);
    l.heading.draw_centred_with_shadow(canvas, 320, 10, look.heading, gold, 3);
    if (look.panel_width > 0)
        canvas.panel(look.panel_left, look.panel_top, look.panel_width, look.panel_height, 10, {14, 16, 40},
                     {6, 6, 18}, {200, 150, 70}, 2, 0.82f);
    hints(canvas, l, look.hint);
    return canvas;
}

Canvas cover_picture(const Letterings& l)
{
    Canvas canvas = paint_scene(kMainScene);
    title(canvas, l, 120);
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
    title(canvas, l, 262);
    l.small.draw(canvas, 320 - l.small.width("Press Enter") / 2, 440, "Press Enter", Colour{140, 140, 170});
    return canvas;
}

// A button's four looks: frame 0 up, 1 selected, 2 pressed (the selected
// gold sunk and darker, its light from below), 3 disabled (grey).
Canvas button_frame(int w, int h, int look)
{
    Canvas canvas(w, h, {}, false);
    switch (look) {
    case 1:
        canvas.panel(0, 0, w, h, 8, {255, 204, 90}, {226, 110, 30}, {255, 244, 200}, 2);
        break;
    case 2:
        canvas.panel(0, 0, w, h, 8, {170, 70, 20}, {246, 170, 70}, {120, 50, 10}, 2);
        break;
    case 3:
        canvas.panel(0, 0, w, h, 8, {60, 60, 70}, {34, 34, 40}, {90, 90, 100}, 2, 0.8f);
        break;
    default:
        canvas.panel(0, 0, w, h, 8, {40, 46, 86}, {14, 16, 40}, {110, 130, 200}, 2, 0.88f);
        break;
    }
    // A highlight along the top edge, as a lit bevel.
    if (look != 3)
        for (int x = 8; x < w - 8; ++x)
            canvas.blend(x, 2, {255, 255, 255}, look == 2 ? 0.1f : 0.35f);
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

// A circuit's map in a box: its centre line, seen from above, as a
// smoothed line of light with the start marked.
void circuit_map(Canvas& canvas, int circuit, int left, int top, int width, int height)
{
    const BuiltCircuit built = build_demo_circuit(kDemoCircuitNames[circuit]);
    std::vector<std::pair<float, float>> line;
    for (const TrackFileSection& section : built.circuit.sections)
        line.emplace_back((section.inner0.x + section.edge0.x) / 2, (section.inner0.z + section.edge0.z) / 2);
    if (line.size() < 2)
        return;
    float x0 = line[0].first, x1 = x0, z0 = line[0].second, z1 = z0;
    for (const auto& [x, z] : line) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        z0 = std::min(z0, z);
        z1 = std::max(z1, z);
    }
    constexpr float kMargin = 8;
    const float scale = std::min((width - 2 * kMargin) / std::max(x1 - x0, 1.0f),
                                 (height - 2 * kMargin) / std::max(z1 - z0, 1.0f));
    const float ox = left + (width - (x1 - x0) * scale) / 2, oy = top + (height - (z1 - z0) * scale) / 2;
    const auto at = [&](std::pair<float, float> p) {
        return std::pair<float, float>{ox + (p.first - x0) * scale, oy + (z1 - p.second) * scale};
    };
    // The line's coverage: the strongest of the round stamps along it.
    std::vector<float> cover(static_cast<std::size_t>(width * height), 0.0f);
    const auto stamp = [&](float cx, float cy, float r) {
        for (int y = static_cast<int>(cy - r - 1); y <= static_cast<int>(cy + r + 1); ++y)
            for (int x = static_cast<int>(cx - r - 1); x <= static_cast<int>(cx + r + 1); ++x) {
                if (x < left || y < top || x >= left + width || y >= top + height)
                    continue;
                const float d = std::hypot(static_cast<float>(x) + 0.5f - cx, static_cast<float>(y) + 0.5f - cy);
                float& c = cover[static_cast<std::size_t>((y - top) * width + (x - left))];
                c = std::max(c, std::clamp(r - d + 0.5f, 0.0f, 1.0f));
            }
    };
    canvas.panel(left, top, width, height, 6, {0, 0, 12}, {0, 0, 12}, {255, 230, 170}, 1, 0.55f);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto [ax, ay] = at(line[i]);
        const auto [bx, by] = at(line[(i + 1) % line.size()]);
        const int steps = std::max(1, static_cast<int>(std::hypot(bx - ax, by - ay) * 2));
        for (int k = 0; k < steps; ++k)
            stamp(ax + (bx - ax) * k / steps, ay + (by - ay) * k / steps, 1.3f);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            canvas.blend(left + x, top + y, {250, 250, 255}, cover[static_cast<std::size_t>(y * width + x)]);
    const auto [sx, sy] = at(line[0]);
    for (int y = -4; y <= 4; ++y)
        for (int x = -4; x <= 4; ++x)
            canvas.blend(static_cast<int>(sx) + x, static_cast<int>(sy) + y, {236, 40, 48},
                         std::clamp(3.2f - std::hypot(static_cast<float>(x), static_cast<float>(y)), 0.0f, 1.0f));
}

// A circuit's place in the strip: its loading picture, framed, with its
// name, round and map.
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
    Canvas frame(kDemoTrackWidth, kDemoTrackHeight, {}, false);
    frame.panel(0, 0, kDemoTrackWidth, kDemoTrackHeight, 6, {250, 220, 140}, {200, 120, 50}, {255, 240, 200}, 1);
    frame.draw(full.scaled(kDemoTrackWidth - 8, kDemoTrackHeight - 8), 4, 4);
    frame.panel(4, kDemoTrackHeight - 46, kDemoTrackWidth - 8, 42, 0, {0, 0, 10}, {0, 0, 10}, {0, 0, 0}, 0, 0.6f);
    l.label.draw(frame, 14, kDemoTrackHeight - 40, kDemoCircuitNames[circuit], Colour{255, 255, 255});
    char round[24];
    std::snprintf(round, sizeof round, "ROUND %d / 12", circuit + 1);
    l.small.draw(frame, kDemoTrackWidth - 14 - l.small.width(round), kDemoTrackHeight - 34, round, Colour{255, 214, 140});
    circuit_map(frame, circuit, kDemoTrackWidth - 124, 12, 112, 84);
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
    // Each look of one face, in its own sheet; `font` keeps the cells' sizes.
    BitmapFont font;
    const auto write_looks = [&](std::initializer_list<Look> looks) {
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
        return true;
    };
    if (!write_looks({{"Menu_", 24, 22, 48}, {"Menu!", 130, 130, 150}}))
        return false;
    WordFileWriter mfg;
    mfg.comment("cell width, cell height, across, count, first, space, spacing");
    for (const int word : {font.cell_width, font.cell_height, font.across, font.count, font.first_char, 6, 1})
        mfg.word(word);
    if (!mfg.write(fonts / "Menu.mfg", error))
        return false;
    // The tables' font: the same face, light, its current row in gold.
    return write_looks({{"Table", 232, 232, 242}, {"Table_", 255, 196, 72}, {"Table!", 130, 130, 150}}) &&
           mfg.write(fonts / "Table.mfg", error);
}

} // namespace

bool write_screen_background(const std::filesystem::path& file, const ScreenLook& look, std::string& error)
{
    Letterings l;
    return l.load(error) && write_canvas(file, screen_background(l, look), error);
}

bool write_plain_sprites(const std::filesystem::path& art, std::string& error)
{
    Letterings l;
    if (!l.load(error))
        return false;
    Canvas dot(16, 16, {}, false);
    dot.panel(2, 2, 12, 12, 6, {255, 214, 110}, {226, 110, 30}, {255, 244, 200}, 1);
    if (!write_canvas(art / "dot0.pcx", dot, error))
        return false;
    // The taken-rider sign (48 x 48): a red ring crossed by a bar, edges
    // smoothed by the distance to each shape.
    Canvas sign(48, 48, {}, false);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - 24.0f, dy = static_cast<float>(y) + 0.5f - 24.0f;
            const float ring = std::abs(std::sqrt(dx * dx + dy * dy) - 19.0f) - 3.5f;
            const float bar = std::max(std::abs(dx - dy) * 0.7071f - 3.5f, std::abs(dx + dy) * 0.7071f - 19.0f);
            const float a = std::clamp(0.5f - std::min(ring, bar), 0.0f, 1.0f);
            if (a > 0.0f)
                sign.blend(x, y, {214, 32, 36}, a);
        }
    if (!write_canvas(art / "no0.pcx", sign, error))
        return false;
    // The scroll bars' track (200 x 14) and thumb (14 x 14: normal, under
    // the pointer or focused, disabled).
    Canvas track(200, 14, {}, false);
    track.panel(0, 3, 200, 8, 4, {20, 22, 44}, {40, 44, 80}, {110, 130, 200}, 1);
    if (!write_canvas(art / "bar_t.pcx", track, error))
        return false;
    const Colour thumbs[3][2] = {{{200, 206, 236}, {110, 120, 170}}, {{255, 214, 110}, {226, 110, 30}},
                                 {{110, 110, 120}, {70, 70, 80}}};
    for (int t = 0; t < 3; ++t) {
        Canvas thumb(14, 14, {}, false);
        thumb.panel(0, 0, 14, 14, 7, thumbs[t][0], thumbs[t][1], {255, 255, 255}, 1);
        if (!write_canvas(art / ("bar_c" + std::to_string(t) + ".pcx"), thumb, error))
            return false;
    }
    // The teams' plates, in the order of the racing-team rows.
    const char* teams[5] = {"DRAXEL", "KIROVA", "YARDLEY", "HALVORN", "SOLENNE"};
    const Colour plates[5] = {{200, 30, 40}, {40, 170, 70}, {40, 80, 200}, {230, 230, 236}, {240, 200, 40}};
    for (int t = 0; t < 5; ++t) {
        Canvas plate(96, 24, {}, false);
        plate.panel(0, 0, 96, 24, 6, plates[t], mix(plates[t], {0, 0, 0}, 0.5f), {255, 255, 255}, 1);
        l.small.draw(plate, 48 - l.small.width(teams[t]) / 2, 4, teams[t], Colour{16, 16, 24});
        if (!write_canvas(art / ("logo" + std::to_string(t) + ".pcx"), plate, error))
            return false;
    }
    return true;
}

bool write_demo_menu_pictures(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path menu = root / "menu";
    const std::filesystem::path art = menu / "art";
    Letterings l;
    if (!l.load(error))
        return false;

    if (!write_canvas(art / "start01.pcx", main_menu_background(l), error) ||
        !write_canvas(art / "arcade04.pcx", arcade_background(l), error) ||
        !write_canvas(art / "weekend.pcx", weekend_background(), error) ||
        !write_canvas(art / "copyrigh.pcx", title_card(l), error) ||
        !write_canvas(art / "dialog.pcx", dialogue_panel(l), error) ||
        !write_canvas(root / "Gfx" / "Loading" / "cover.pcx", cover_picture(l), error) ||
        !write_canvas(menu / "mouse.pcx", pointer_frames(), error))
        return false;
    struct Strip {
        const char* prefix;
        int width, height;
    };
    for (const Strip& s : {Strip{"btn", 240, 40}, Strip{"sbtn", 48, 48}, Strip{"dbtn", 120, 36}, Strip{"tbtn", 32, 32}})
        for (int frame = 0; frame < 4; ++frame)
            if (!write_canvas(art / (s.prefix + std::to_string(frame) + ".pcx"), button_frame(s.width, s.height, frame),
                              error))
                return false;
    for (int circuit = 0; circuit < 12; ++circuit) {
        char name[16];
        std::snprintf(name, sizeof name, "trk%02d.pcx", circuit);
        if (!write_canvas(art / name, track_frame(l, circuit), error))
            return false;
    }
    return write_menu_font(root, menu / "fonts", error);
}

} // namespace datakit
