// The telemetry plot screen ("game09" at 83, called from the telemetry
// browser "game08" at 84, which the set-up screen leads to): the plot
// "plot_tel" with its scroll bar "Scroll", a button per channel beside the
// channel's legend, the zoom, overlay and map buttons, and the legend
// pictures "SSprites\color_00.pcx" .. "color_02.pcx" the plot loads.
#include <array>
#include <cstdio>
#include <string>

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"
#include "tools/datakit/pcx_writer.h"

namespace datakit {

namespace {

constexpr int kBack = 0, kStay = 2;
constexpr int kPlotState = 83, kBrowserState = 84, kSetupState = 82;
constexpr int kToTelemetry = 5;  // the set-up screen's "Telemetry" button (demo_screens_plain.cpp)
constexpr int kRowHeight = 21;
// The plot draws channel n's legend at (7, 94 + 24 n), 105 x 20: each
// channel's button stands right of it.
constexpr int kLegendLeft = 7, kLegendTop = 94, kLegendStep = 24, kLegendWidth = 105, kLegendHeight = 20;
constexpr int kChannelButtonLeft = kLegendLeft + kLegendWidth + 4;
constexpr int kBarWidth = 200;  // the kit's scroll bar track picture
constexpr int kPlotLeft = 300, kPlotTop = 94, kPlotWidth = 320, kPlotHeight = 264;

constexpr const char* kChannels[12] = {"THROTTLE", "BRAKE", "GEAR",     "SPEED",    "REVS",     "ROLL",
                                       "PITCH",    "ACCEL", "F TRAVEL", "F SPEED", "R TRAVEL", "R SPEED"};

// The lap-A and lap-B pens of the plot's three colour slots (0x00BBGGRR).
constexpr std::uint32_t kSlotPens[3][2] = {{0x1D1DFF, 0x1C1C6E}, {0x31F0FF, 0x1C5D65}, {0x23E76A, 0x1C421C}};

std::uint8_t nearest(const std::array<std::uint8_t, 768>& palette, std::uint32_t bgr)
{
    int best = 1;
    long best_distance = -1;
    for (int i = 1; i < 256; ++i) {
        const long dr = palette[3u * i] - static_cast<long>(bgr & 0xFF);
        const long dg = palette[3u * i + 1] - static_cast<long>(bgr >> 8 & 0xFF);
        const long db = palette[3u * i + 2] - static_cast<long>(bgr >> 16 & 0xFF);
        const long d = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || d < best_distance) {
            best_distance = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

// A legend: the lap-A colour with a swatch of the lap-B colour at its right
// end.
bool write_legends(const std::filesystem::path& root, std::string& error)
{
    const std::array<std::uint8_t, 768> palette = demo_palette_rgb();
    for (int slot = 0; slot < 3; ++slot) {
        PcxPicture picture;
        // One transparent column more: a sheet's rows hold an even number
        // of pixels.
        picture.width = kLegendWidth + 1;
        picture.height = kLegendHeight;
        picture.palette = palette;
        const std::uint8_t a = nearest(palette, kSlotPens[slot][0]), b = nearest(palette, kSlotPens[slot][1]);
        for (int y = 0; y < kLegendHeight; ++y)
            for (int x = 0; x < kLegendWidth + 1; ++x) {
                const bool edge = y < 4 || y >= kLegendHeight - 4;
                picture.pixels.push_back(edge || x >= kLegendWidth ? 0 : x < kLegendWidth - 30 ? a : b);
            }
        char name[32];
        std::snprintf(name, sizeof name, "color_%02d.pcx", slot);
        if (!write_pcx(root / "menu" / "ssprites" / name, picture, error))
            return false;
    }
    return true;
}

// The telemetry browser: the laps of this track and bike with their times,
// the two chosen, the set-up of the lap last chosen, and the buttons.
FormFileWriter browser_screen(DemoMenuBuilder& kit)
{
    FormFileWriter file = screen_file("game08");
    image(file, "background", "art\\plain.pcx", 0, 0, 640, 480);
    kit.text(kMenuText, "tlb_heading", "TELEMETRY");
    label(file, {.name = "title", .left = 40, .top = 20, .width = 560, .height = kRowHeight,
                 .text_id = "tlb_heading", .alignment = "Center"});
    kit.text(kMenuText, "tlb_item", "-");
    kit.text(kMenuText, "tlb_none", "");
    file.begin("Image", "Sprite_Bike_Logo");
    place(file, 40, 46, 96, 24);
    file.key_bool("Animated", false).key("Graphic", "art\\logo").end();
    image(file, "sprite_dot_1", "art\\dot", 150, 50, 16, 16);
    kit.text(kMenuText, "tlb_round", "ROUND");
    label(file, {.name = "LBL_Round", .left = 170, .top = 46, .width = 80, .height = kRowHeight,
                 .text_id = "tlb_round"});
    label(file, {.name = "LBL_round_data", .left = 250, .top = 46, .width = 40, .height = kRowHeight,
                 .text_id = "tlb_item"});
    kit.text(kMenuText, "tlb_qualify", "QUALIFYING");
    kit.text(kMenuText, "tlb_practice", "PRACTICE");
    label(file, {.name = "LBL_Qualify", .left = 420, .top = 46, .width = 180, .height = kRowHeight,
                 .text_id = "tlb_qualify"});
    label(file, {.name = "LBL_Practice", .left = 420, .top = 46, .width = 180, .height = kRowHeight,
                 .text_id = "tlb_practice"});

    // The laps: names and times, linked both ways so they share the row.
    label(file, {.name = "LBL_Telemetry", .left = 40, .top = 90, .width = 170, .height = 8 * kRowHeight,
                 .text_id = "tlb_item", .user_id = 9, .linked_to = "LBL_Time", .font = kDemoTableFont});
    label(file, {.name = "LBL_Time", .left = 210, .top = 90, .width = 110, .height = 8 * kRowHeight,
                 .text_id = "tlb_item", .linked_to = "LBL_Telemetry", .font = kDemoTableFont});
    kit.text(kMenuText, "tlb_first", "1");
    kit.text(kMenuText, "tlb_second", "2");
    label(file, {.name = "cap_first", .left = 40, .top = 270, .width = 20, .height = kRowHeight,
                 .text_id = "tlb_first"});
    label(file, {.name = "cap_second", .left = 40, .top = 294, .width = 20, .height = kRowHeight,
                 .text_id = "tlb_second"});
    label(file, {.name = "LBL_Telemetry_1", .left = 64, .top = 270, .width = 256, .height = kRowHeight,
                 .text_id = "tlb_none"});
    label(file, {.name = "LBL_Telemetry_2", .left = 64, .top = 294, .width = 256, .height = kRowHeight,
                 .text_id = "tlb_none"});

    // The set-up of the lap chosen last, two columns of captions and values.
    static const char* const kCaptions[24] = {"RAKE",  "TRAIL", "SPRKT", "CRWN",  "GR 1",  "GR 2",
                                              "GR 3",  "GR 4",  "GR 5",  "GR 6",  "F SPR", "R SPR",
                                              "F PRE", "R PRE", "DMP 1", "DMP 2", "DMP 3", "DMP 4",
                                              "DMP 5", "DMP 6", "DMP 7", "DMP 8", "F TYR", "R TYR"};
    for (int v = 0; v < 24; ++v) {
        const int column = v / 12, row = v % 12;
        const int x = 326 + 144 * column, y = 90 + kRowHeight * row;
        char name[16], caption[16];
        std::snprintf(name, sizeof name, "LBL_Var%02d", v);
        std::snprintf(caption, sizeof caption, "cap_var%02d", v);
        const std::string id = std::string("tlb_") + caption;
        kit.text(kMenuText, id, kCaptions[v]);
        label(file, {.name = caption, .left = x, .top = y, .width = 72, .height = kRowHeight, .text_id = id.c_str(),
                     .font = kDemoTableFont});
        label(file, {.name = name, .left = x + 72, .top = y, .width = 64, .height = kRowHeight,
                     .text_id = "tlb_none", .alignment = "Right"});
    }
    image(file, "Sprite_Weather_Icon", "art\\dot", 330, 352, 16, 16);
    label(file, {.name = "LBL_Temp_Data_1", .left = 360, .top = 348, .width = 90, .height = kRowHeight,
                 .text_id = "tlb_none"});
    label(file, {.name = "LBL_Temp_Data_2", .left = 460, .top = 348, .width = 90, .height = kRowHeight,
                 .text_id = "tlb_none"});

    const struct {
        const char* name;
        const char* caption;
        int user_id;
        int left, top;
    } buttons[] = {{"Tel1", "AS 1", 1, 40, 384},        {"Tel2", "AS 2", 2, 166, 384},
                   {"View", "PLOT", 3, 292, 384},       {"Clear", "CLEAR", 4, 40, 420},
                   {"Save", "RENAME", 5, 166, 420},     {"Delete", "DELETE", 6, 292, 420}};
    for (const auto& b : buttons) {
        const std::string id = std::string("tlb_") + b.name;
        kit.text(kMenuText, id, b.caption);
        button(file, {b.name, b.left, b.top, 120, 32, kStay, b.user_id, id.c_str(), kMenuText, 0, "art\\dbtn"});
    }
    kit.text(kMenuText, "tlb_back", "BACK");
    button(file, {"back", 500, 420, 120, 32, kBack, -1, "tlb_back", kMenuText, kKeyEsc, "art\\dbtn"});
    file.end();
    return file;
}

FormFileWriter plot_screen(DemoMenuBuilder& kit)
{
    FormFileWriter file = screen_file("game09");
    file.key("UserRelease", 1);  // the laps are freed when the screen is left
    image(file, "background", "art\\plain.pcx", 0, 0, 640, 480);
    kit.text(kMenuText, "tel_heading", "TELEMETRY PLOT");
    label(file, {.name = "title", .left = 40, .top = 20, .width = 560, .height = kRowHeight,
                 .text_id = "tel_heading", .alignment = "Center"});
    kit.text(kMenuText, "tel_item", "-");
    label(file, {.name = "LBL_Telemetry", .left = 40, .top = 48, .width = 360, .height = kRowHeight,
                 .text_id = "tel_item"});
    kit.text(kMenuText, "tel_bikes", "BIKE 1\nBIKE 2\nBIKE 3\nBIKE 4\nBIKE 5\nBIKE 6\nBIKE 7\nBIKE 8");
    label(file, {.name = "LBL_Bike", .left = 40, .top = 70, .width = 180, .height = kRowHeight,
                 .text_id = "tel_bikes"});
    kit.text(kMenuText, "tel_round", "ROUND");
    label(file, {.name = "LBL_Round", .left = 40, .top = 68, .width = 90, .height = kRowHeight,
                 .text_id = "tel_round"});
    label(file, {.name = "LBL_round_data", .left = 130, .top = 68, .width = 40, .height = kRowHeight,
                 .text_id = "tel_item"});
    kit.text(kMenuText, "tel_qualify", "QUALIFYING");
    kit.text(kMenuText, "tel_practice", "PRACTICE");
    label(file, {.name = "LBL_Qualify", .left = 420, .top = 68, .width = 180, .height = kRowHeight,
                 .text_id = "tel_qualify"});
    label(file, {.name = "LBL_Practice", .left = 420, .top = 68, .width = 180, .height = kRowHeight,
                 .text_id = "tel_practice"});

    file.begin("Plot", "plot_tel");
    file.key3("ForeColor", 255, 255, 255);
    place(file, kPlotLeft, kPlotTop, kPlotWidth, kPlotHeight);
    file.end();
    file.begin("HScrollBar", "Scroll");
    file.key("LinkedTo", "plot_tel");
    // As wide as the kit's track picture (the sprite cache keeps one size
    // per picture).
    place(file, kPlotLeft + (kPlotWidth - kBarWidth) / 2, kPlotTop + kPlotHeight + 22, kBarWidth, 14);
    file.key("CursorWidth", 14).key("Graphic", "art\\bar_t.pcx");
    file.key("Max", 1000).key("Min", 0).key("Step", 10).end();

    for (int c = 0; c < 12; ++c) {
        const std::string id = "tel_ch" + std::to_string(c), name = "channel_" + std::to_string(c);
        kit.text(kMenuText, id, kChannels[c]);
        button(file, {name.c_str(), kChannelButtonLeft, kLegendTop + kLegendStep * c - 2, 120, 24, kStay, c,
                      id.c_str(), kMenuText, 0, "art\\dbtn"});
    }
    const struct {
        const char* name;
        const char* caption;
        int user_id;
    } foot[] = {{"zoom_in", "ZOOM IN", 100}, {"zoom_out", "ZOOM OUT", 101}, {"over", "OVERLAY", 102},
                {"apart", "APART", 103},     {"map", "MAP", 104}};
    int left = 4;
    for (const auto& b : foot) {
        const std::string id = std::string("tel_") + b.name;
        kit.text(kMenuText, id, b.caption);
        button(file, {b.name, left, 420, 120, 32, kStay, b.user_id, id.c_str(), kMenuText, 0, "art\\dbtn"});
        left += 106;
    }
    kit.text(kMenuText, "tel_back", "BACK");
    button(file, {"back", 540, 420, 96, 32, kBack, -1, "tel_back", kMenuText, kKeyEsc, "art\\dbtn"});
    file.end();
    return file;
}

} // namespace

void add_telemetry_screens(DemoMenuBuilder& kit)
{
    kit.screen("game08", browser_screen(kit));
    kit.screen("game09", plot_screen(kit));
    kit.files(write_legends);
    DemoMenuBuilder::Set& menu = kit.set("menu");
    // The set-up screen's "Telemetry" leads to the browser, whose "Back"
    // goes back to the set-up screen; the plot is called by the browser and
    // goes back to it by itself.
    menu.state(kBrowserState, "game08").go(kSetupState, kToTelemetry, kBrowserState).go(kBrowserState, kBack, kSetupState);
    menu.state(kPlotState, "game09");
}

} // namespace datakit
