#include "tools/datakit/overlay_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/text_faces.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/font_writer.h"
#include "tools/datakit/pcx_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/world_bike_materials.h"

namespace datakit {

namespace {

// Element names by message bit; practice-type sessions have their own
// onboard display (best lap and the time left, no position).
const std::array<const char*, 19> kRaceElements = {
    "ONBOARD", "TRACKSIDE", "PAUSE",   "RACEMENU", "START",    "RESULTS", "REPLAY",  "STANDINGS", "ARC_POS", "ARC_WIN",
    "ARC_LEAD", "SAVED",    "GAP",     "WRONGWAY", "FINISHED", "CONFIRM", "NETWAIT", "ENGINE",    "SESSIONEND"};

constexpr int kButtonFrames = 2;
constexpr int kRiderFaces = 33;    // rider ids 0..32
constexpr int kTrackFrames = 12;
constexpr int kFlagFrames = 6;
constexpr int kLightFrames = 3;

struct Layout {
    int w, h, row, cell, button_w, button_h;
};

Layout layout_for(int width, const std::vector<OverlayFontSpec>& fonts)
{
    Layout l{};
    l.w = width;
    l.h = width == 320 ? 200 : width * 3 / 4;
    l.row = fonts.size() > 1 ? fonts[1].cell_height : 16;
    l.cell = fonts.size() > 1 ? fonts[1].cell_width : 16;
    l.button_w = width / 5;
    l.button_h = l.row + 4;
    return l;
}

TypedField s(std::string_view v)
{
    return TypedField::s(v);
}
TypedField i(int v)
{
    return TypedField::i(v);
}

struct Element {
    std::vector<int> box;  // empty, or 8 values
    struct Sprite {
        std::string name;
        int frame, w, h, x, y, code;
    };
    struct Text {
        std::string text;
        int x, y, font, code;
    };
    std::vector<Sprite> sprites;
    std::vector<Text> texts;
};

// A menu of `labels` in a box centred on the screen: a button per entry
// (lit while selected: code 10 x entry, else 10 x entry + 1) and its label.
std::string button_sheet(const Layout& l)
{
    return "Button" + std::to_string(l.w) + ".pcx";
}

Element menu(const Layout& l, const char* title, const std::vector<const char*>& labels)
{
    const std::string button = button_sheet(l);
    Element e;
    const int bw = l.w / 2, bh = (static_cast<int>(labels.size()) + 2) * (l.button_h + 4);
    const int bx = (l.w - bw) / 2, by = (l.h - bh) / 2;
    e.box = {bx, by, bw, bh, 0, 0, 64, 160};
    e.texts.push_back({title, -(l.w / 2), by + 4, 2, 0});
    for (std::size_t k = 0; k < labels.size(); ++k) {
        const int entry = static_cast<int>(k) + 1;
        const int y = by + (entry + 0) * (l.button_h + 4) + 4;
        const int x = (l.w - l.button_w) / 2;
        e.sprites.push_back({button, 1, l.button_w, l.button_h, x, y, 10 * entry});
        e.sprites.push_back({button, 0, l.button_w, l.button_h, x, y, 10 * entry + 1});
        e.texts.push_back({labels[k], -(l.w / 2), y + 2, 2, 10 * entry});
        e.texts.push_back({labels[k], -(l.w / 2), y + 2, 0, 10 * entry + 1});
    }
    return e;
}

Element text_only(std::vector<Element::Text> texts)
{
    Element e;
    e.texts = std::move(texts);
    return e;
}

std::vector<Element> elements_for(const Layout& l, bool practice)
{
    std::vector<Element> out(19);
    // The right-hand read-outs start far enough in for a time ("00:00:00",
    // eight characters of about half a cell of font 1) to end inside the
    // screen, also at 320 pixels.
    const int r = l.row, right = l.w - 8 - std::max(6 * l.w / 40, 4 * l.cell);
    if (practice)
        out[0] = text_only({{"LAP_%l", 8, 8, 1, 0},
                            {"BEST_%b", 8, 8 + r, 0, 0},
                            {"%t", right, 8, 1, 0},
                            {"%s_KMH", right, 8 + r, 0, 0},
                            {"GEAR_%g", right, 8 + 2 * r, 0, 0}});
    else
        out[0] = text_only({{"LAP_%l/%L", 8, 8, 1, 0},
                            {"POS_%p/%P", 8, 8 + r, 1, 0},
                            {"%t", right, 8, 1, 0},
                            {"%T", right, 8 + r, 0, 0},
                            {"%s_KMH", right, 8 + 2 * r, 0, 0},
                            {"GEAR_%g", right, 8 + 3 * r, 0, 0}});
    out[1] = text_only({{"%v", 8, l.h - 2 * r - 8, 1, 0}, {"%z", 8, l.h - r - 8, 0, 0}});
    out[2] = menu(l, "PAUSE", {"RESUME", "RESTART", "QUIT"});
    out[3] = menu(l, "RACE_OVER", {"RESTART", "REPLAY", "QUIT"});
    out[5] = menu(l, "RESULTS", {"RESTART", "REPLAY", "QUIT"});
    out[15] = menu(l, "QUIT_RACE?", {"YES", "NO"});

    // The start sequence: four riders a page, their faces and names.
    Element& start = out[4];
    const int sw = l.w * 3 / 4, sh = 4 * (r + 4) + 8;
    const int sx = (l.w - sw) / 2, sy = l.h / 3;
    start.box = {sx, sy, sw, sh, 0, 0, 0, 128};
    for (int k = 0; k < 4; ++k) {
        const int y = sy + 4 + k * (r + 4);
        start.sprites.push_back({"Riders.pcx", -17, r, r, sx + 4, y, k + 1});
        start.texts.push_back({"%S4" + std::to_string(k) + "b", sx + r + 12, y, 1, k + 1});
        start.texts.push_back({"%S4" + std::to_string(k) + "c", sx + r + 48, y, 0, k + 1});
    }
    start.sprites.push_back({"Tracks.pcx", -11, r, r, sx + sw - r - 4, sy + 4, 0});

    // The finish standings: six riders a page, as they finish.
    Element& standings = out[7];
    const int tw = l.w * 3 / 4, th = 6 * (r + 2) + 8;
    const int tx = (l.w - tw) / 2, ty = l.h / 4;
    standings.box = {tx, ty, tw, th, 0, 0, 0, 128};
    for (int k = 0; k < 6; ++k) {
        const int y = ty + 4 + k * (r + 2);
        standings.sprites.push_back({"Riders.pcx", -32, r, r, tx + 4, y, 0});
        standings.texts.push_back({"%S6" + std::to_string(k) + "b", tx + r + 12, y, 1, 0});
        standings.texts.push_back({"%S6" + std::to_string(k) + "c", tx + r + 48, y, 0, 0});
        standings.texts.push_back({"%S6" + std::to_string(k) + "a", tx + tw - 8 * r / 2 - 8, y, 0, 0});
    }

    // The replay panel: camera names and the two camera buttons.
    const std::string button = button_sheet(l);
    Element& replay = out[6];
    const int py = l.h - l.button_h - 8;
    replay.box = {0, py - 4, l.w, l.button_h + 12, 0, 0, 0, 96};
    for (int k = 0; k < 2; ++k) {
        const int entry = k + 1, x = 8 + k * (l.button_w + 8);
        replay.sprites.push_back({button, 1, l.button_w, l.button_h, x, py, 10 * entry});
        replay.sprites.push_back({button, 0, l.button_w, l.button_h, x, py, 10 * entry + 1});
        replay.texts.push_back({k == 0 ? "<" : ">", x + l.button_w / 2 - 4, py + 2, 2, 0});
    }
    replay.texts.push_back({"%v", -(l.w / 2), py + 2, 1, 0});

    const int mid = -(l.w / 2), y3 = l.h / 3;
    out[8] = text_only({{"POSITION_%Dj", mid, y3, 2, 0}});
    out[9] = text_only({{"%Da_WINS", mid, y3, 2, 0}, {"%Db", mid, y3 + r, 1, 0}});
    out[10] = text_only({{"LEADER_%Do", mid, y3, 2, 0}});
    out[11] = text_only({{"REPLAY_SAVED", mid, y3, 2, 0}});
    // A lap done: the rider's place, the rider ahead, the lap's time and
    // how it compares with the one before; in a race the time to the rider
    // ahead at the line, in practice the time left in the session.
    out[12] = text_only({{"%Dk_P%Dj", mid, y3, 1, 0},
                         {"AHEAD:_%Da", mid, y3 + r, 0, 0},
                         {practice ? "LEFT_%Dn" : "GAP_%De", mid, y3 + 2 * r, 0, 0},
                         {"LAP_%Dh_%Di", mid, y3 + 3 * r, 0, 0}});
    out[13] = text_only({{"WRONG_WAY", mid, y3, 2, 0}});
    Element& finished = out[14];
    finished.texts.push_back({"FINISHED_P%Dj", mid, y3, 2, 0});
    finished.sprites.push_back({"Riders.pcx", -32, r, r, l.w / 2 - r / 2, y3 + r + 4, 0});
    out[16] = text_only({{"WAITING...", mid, y3, 2, 0}});
    out[17] = text_only({{"ENGINE_FAILURE", mid, y3, 2, 0}});
    out[18] = text_only({{"SESSION_OVER", mid, y3, 2, 0}});
    return out;
}

void write_element(TypedListWriter& out, const std::string& name, const Element& e)
{
    out.begin_list(name + "_DBOX");
    for (int v : e.box)
        out.record({i(v)});
    out.end_list();
    out.begin_list(name + "_NUM")
        .record({i(static_cast<int>(e.texts.size())), i(static_cast<int>(e.sprites.size()))})
        .end_list();
    out.begin_list(name + "_SPRITE");
    for (const Element::Sprite& sp : e.sprites)
        out.record({s(sp.name), i(sp.frame), i(sp.w), i(sp.h), i(sp.x), i(sp.y), i(sp.code)});
    out.end_list();
    out.begin_list(name + "_TEXT");
    for (const Element::Text& t : e.texts)
        out.record({s(t.text), i(t.x), i(t.y), i(t.font), i(t.code)});
    out.end_list();
}

void fill(PcxPicture& p, int x0, int y0, int w, int h, std::uint32_t rgb)
{
    const std::uint8_t ink = world_palette_index(rgb);
    for (int y = y0; y < y0 + h && y < p.height; ++y)
        for (int x = x0; x < x0 + w && x < p.width; ++x)
            p.pixels[static_cast<std::size_t>(y * p.width + x)] = ink;
}

// Six flags (frame 0 green, 1 white: last lap, 2 chequered, 3 yellow, 4
// blue, 5 red) of 32 x 24.
PcxPicture flags_sheet()
{
    PcxPicture p = world_pcx_sheet(kFlagFrames, 32, 24);
    const std::uint32_t colours[kFlagFrames] = {0x20C020, 0xF0F0F0, 0, 0xF0E020, 0x2040F0, 0xF02020};
    for (int f = 0; f < kFlagFrames; ++f) {
        if (f == 2) {
            for (int cy = 0; cy < 4; ++cy)
                for (int cx = 0; cx < 5; ++cx)
                    fill(p, f * 32 + 2 + cx * 6, 2 + cy * 5, 6, 5, (cx + cy) % 2 ? 0x101010 : 0xF0F0F0);
        } else {
            fill(p, f * 32 + 2, 2, 28, 20, colours[f]);
        }
    }
    return p;
}

// The start lights: a row of five lamps, frame 0 dark, 1 red, 2 green.
PcxPicture lights_sheet()
{
    PcxPicture p = world_pcx_sheet(kLightFrames, 64, 16);
    const std::uint32_t lamp[kLightFrames] = {0x402020, 0xF02020, 0x20E020};
    for (int f = 0; f < kLightFrames; ++f) {
        fill(p, f * 64, 0, 64, 16, 0x181818);
        for (int k = 0; k < 5; ++k)
            fill(p, f * 64 + 3 + k * 12, 3, 10, 10, lamp[f]);
    }
    return p;
}

// An arrow pointer: frame 0 plain, 1 pressed, 2 over an entry.
PcxPicture pointer_sheet(int size)
{
    PcxPicture p = world_pcx_sheet(3, size, size);
    const std::uint32_t colours[3] = {0xF0F0F0, 0xC0C0C0, 0xF0E020};
    for (int f = 0; f < 3; ++f)
        for (int y = 0; y < size * 3 / 4; ++y)
            fill(p, f * size, y, y / 2 + 1, 1, colours[f]);
    return p;
}

PcxPicture buttons_sheet(const Layout& l)
{
    PcxPicture p = world_pcx_sheet(kButtonFrames, l.button_w, l.button_h);
    fill(p, 0, 0, l.button_w, l.button_h, 0x304060);
    fill(p, l.button_w, 0, l.button_w, l.button_h, 0xC08020);
    return p;
}

// A square for each rider id (its own colour) and each track.
PcxPicture swatches(int frames, int size, std::uint32_t seed)
{
    PcxPicture p = world_pcx_sheet(frames, size, size);
    for (int f = 0; f < frames; ++f) {
        const std::uint32_t v = (static_cast<std::uint32_t>(f) + 1u) * seed;
        fill(p, f * size + 1, 1, size - 2, size - 2, 0x404040 | (v & 0xBFBFBF));
    }
    return p;
}

} // namespace

std::string overlay_file_text(int width, const std::vector<OverlayFontSpec>& fonts)
{
    const Layout l = layout_for(width, fonts);
    TypedListWriter out;
    out.begin_list("FLAGS")
        .record({s("Flags.pcx"), i(kFlagFrames), i(32), i(24), i(l.w - 40), i(40), i(-1), i(0)})
        .end_list();
    for (const char* track : kDemoCircuitNames)
        out.begin_list(track)
            .record({s("Lights.pcx"), i(kLightFrames), i(64), i(16), i((l.w - 64) / 2), i(l.h / 8), i(-1), i(0)})
            .end_list();
    out.begin_list("NUM_FONTS").record({i(static_cast<int>(fonts.size()))}).end_list();
    out.begin_list("FONTS");
    for (const OverlayFontSpec& f : fonts)
        out.record({s(f.file), i(f.cell_width), i(f.cell_height), i(f.across), i(f.count), i(f.first), i(f.space),
                    i(f.spacing), i(f.gap_drawer)});
    out.end_list();

    for (const char* base : {"PRACTICE", "FREE_PRACTICE", "QUALIFY", "CHAMPIONSHIP", "SINGLE_RACE"})
        for (const char* arcade : {"", "_ARCADE"})
            for (const char* multi : {"", "_MULTIPLAYER"}) {
                const bool practice = std::string_view(base).find("PRACTICE") != std::string_view::npos ||
                                      std::string_view(base) == "QUALIFY";
                out.begin_list(std::string(base) + arcade + multi);
                for (std::size_t e = 0; e < kRaceElements.size(); ++e)
                    out.record({s(e == 0 && practice ? std::string("P_ONBOARD") : std::string(kRaceElements[e]))});
                out.end_list();
            }
    const std::vector<Element> race = elements_for(l, false);
    for (std::size_t e = 0; e < kRaceElements.size(); ++e)
        write_element(out, kRaceElements[e], race[e]);
    write_element(out, "P_ONBOARD", elements_for(l, true)[0]);
    return out.text();
}

std::string translation_file_text()
{
    TypedListWriter out;
    out.begin_list("TRAD");
    out.comment("language 0 text, language 1 text");
    for (const auto& [from, to] : {std::pair{"RESUME", "CONTINUE"}, std::pair{"QUIT", "LEAVE"},
                                   std::pair{"RACE_OVER", "RACE_FINISHED"}})
        out.record({s(from), s(to)});
    out.end_list();
    return out.text();
}

bool demo_overlay_fonts(std::vector<OverlayFontSpec>& fonts, std::string& error)
{
    struct Demo {
        const char* file;
        const char* ttf;
        int size;
    };
    // The same styles as the demo fonts (font_writer.cpp): the grid only
    // depends on the face and the size.
    const Demo demo[] = {{"Small.pcx", "LiberationSans-Regular.ttf", 12},
                         {"Race.pcx", "LiberationSans-Bold.ttf", 16},
                         {"Menu.pcx", "LiberationSans-Bold.ttf", 18}};
    std::vector<OverlayFontSpec> cut;
    for (const Demo& d : demo) {
        FontStyle style;
        style.ttf_file = platform::liberation_font_path(d.ttf).string();
        style.point_size = d.size;
        BitmapFont font;
        if (!render_bitmap_font(style, font, error))
            return false;
        OverlayFontSpec f;
        f.file = d.file;
        f.cell_width = font.cell_width;
        f.cell_height = font.cell_height;
        f.across = font.across;
        f.count = font.count;
        f.first = font.first_char;
        f.space = d.size / 3;
        f.spacing = 0;
        cut.push_back(f);
    }
    fonts = {cut[0], cut[1], cut[2], cut[1], cut[0]};
    return true;
}

bool write_demo_overlay(const std::filesystem::path& root, std::string& error)
{
    std::vector<OverlayFontSpec> fonts;
    if (!demo_overlay_fonts(fonts, error))
        return false;
    const std::filesystem::path cockpit = root / "Gfx" / "Cockpit";
    // The game names the translations "data\trad.dat"; names are found
    // without regard to case, so it lives in "Data".
    if (!create_folders(cockpit / "Light", error) || !create_folders(root / "Data", error))
        return false;
    for (int width : {320, 640, 800, 1024})
        for (char kind : {'s', 'h'}) {
            const std::string name = "OP" + std::to_string(width) + kind + ".dat";
            if (!write_text_file(root / "Data" / name, overlay_file_text(width, fonts), error))
                return false;
        }
    // Buttons are a fifth of the screen wide: a sheet for each width.
    for (int width : {320, 640, 800, 1024})
        if (!write_pcx(cockpit / ("Button" + std::to_string(width) + ".pcx"), buttons_sheet(layout_for(width, fonts)),
                       error))
            return false;
    const int row = layout_for(640, fonts).row;
    return write_pcx(cockpit / "Flags.pcx", flags_sheet(), error) &&
           write_pcx(cockpit / "Light" / "Lights.pcx", lights_sheet(), error) &&
           write_pcx(cockpit / "mouse.pcx", pointer_sheet(32), error) &&
           write_pcx(cockpit / "lmouse.pcx", pointer_sheet(16), error) &&
           write_pcx(cockpit / "Riders.pcx", swatches(kRiderFaces, row, 0x3A5F27u), error) &&
           write_pcx(cockpit / "Tracks.pcx", swatches(kTrackFrames, row, 0x1F6B91u), error) &&
           write_text_file(root / "Data" / "trad.dat", translation_file_text(), error);
}

} // namespace datakit
