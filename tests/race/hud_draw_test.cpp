#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/render/lib2d_font.h"
#include "engine/render/lib2d_picture.h"
#include "engine/render/render_device.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "race/camera_editor.h"
#include "race/hud_content.h"
#include "tests/race/race_fixture.h"
#include "tests/support/back_buffer_pixels.h"
#include "tests/support/png_image.h"

using namespace race_test;

namespace {

platform::LResult WindowProc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

constexpr std::int32_t kJoystickCentre = platform::kJoystickAxisCentre;

// A race with a 640 x 480 software screen of 8 or 16 bits installed for the
// overlay to draw on.
class HudDraw : public RaceFixture {
protected:
    void SetUp() override
    {
        RaceFixture::SetUp();
        ASSERT_TRUE(platform::register_window_class("HudDrawTest", 0, &WindowProc));
        window_ = platform::create_window(0, "HudDrawTest", "Overlay", 0, 0, 0, 640, 480);
        set_the_render_device(&device_);
    }
    void TearDown() override
    {
        race.reset();
        device_.release();
        set_the_render_device(nullptr);
        platform::shutdown_video_thread();
        RaceFixture::TearDown();
    }

    void Open(int depth)
    {
        ASSERT_EQ(device_.enumerate_drivers(window_), 1);
        device_.software_16bit = depth == 16 ? 1 : 0;
        ASSERT_EQ(device_.init(0, 640, 480, depth, 0), 1);
        ASSERT_EQ(device_.screen_depth, depth);
        ASSERT_EQ(device_.load_palette("Gfx\\palette.pal"), 1);
    }

    // A race under way with the overlay loaded.
    void Racing(int session = 4, int riders = 4)
    {
        Header("Sugo", session, riders);
        Start();
        hud().ResetForRace();
        race->LiveFlags() |= kRaceRacing;
        input.m_fRaceClock = 10.0f;
        ASSERT_TRUE(hud().CockpitLoad("Data\\OP640s.dat")) << hud().LoadError();
    }

    std::uint32_t Pixel(int x, int y) const { return torvane_test::back_pixel(device_, x, y); }
    void Put(int x, int y, std::uint32_t v) { torvane_test::put_back_pixel(device_, x, y, v); }
    std::vector<std::uint32_t> Screen() const
    {
        std::vector<std::uint32_t> out;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                out.push_back(Pixel(x, y));
        return out;
    }
    void Clear(std::uint32_t v)
    {
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                Put(x, y, v);
    }
    // A test pattern: every pixel its own value.
    void Pattern()
    {
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                Put(x, y, device_.screen_depth == 8 ? static_cast<std::uint32_t>((x * 7 + y * 3) & 0xFF)
                                                    : static_cast<std::uint32_t>((x * 131 + y * 977) & 0xFFFF));
    }

    // The screen as a picture (8 bits: indices with the palette; 16: RGB).
    torvane_test::PngImage Image(const std::vector<std::uint32_t>& pixels) const
    {
        torvane_test::PngImage image;
        image.width = 640;
        image.height = 480;
        image.indexed = device_.screen_depth == 8;
        if (image.indexed) {
            image.palette.resize(768);
            for (int i = 0; i < 256; ++i)
                for (int c = 0; c < 3; ++c)
                    image.palette[static_cast<std::size_t>(3 * i + c)] =
                        static_cast<std::uint8_t>(device_.palette_rgb[i][c]);
            for (std::uint32_t v : pixels)
                image.pixels.push_back(static_cast<std::uint8_t>(v));
        } else {
            for (std::uint32_t v : pixels) {
                image.pixels.push_back(static_cast<std::uint8_t>(((v >> 11) & 31) * 255 / 31));
                image.pixels.push_back(static_cast<std::uint8_t>(((v >> 5) & 63) * 255 / 63));
                image.pixels.push_back(static_cast<std::uint8_t>((v & 31) * 255 / 31));
            }
        }
        return image;
    }

    // Compares the reference picture with the checked-in golden one
    // (TORVANE_UPDATE_GOLDEN=1 writes it from the reference).
    void ExpectGolden(const std::string& name, const torvane_test::PngImage& image)
    {
        const std::string path = std::string(TORVANE_OVERLAY_GOLDEN_DIR) + "/" + name + ".png";
        const char* update = std::getenv("TORVANE_UPDATE_GOLDEN");
        std::string error;
        if (update && std::strcmp(update, "1") == 0) {
            ASSERT_TRUE(torvane_test::write_png(path, image, &error)) << error;
            return;
        }
        torvane_test::PngImage golden;
        ASSERT_TRUE(torvane_test::read_png(path, golden, &error)) << path << ": " << error;
        ASSERT_EQ(golden.indexed, image.indexed);
        EXPECT_TRUE(golden.pixels == image.pixels) << name;
    }

    platform::WindowHandle window_{};
    render_device device_;
};

// The fade and a box fill on both screens against a plain per-pixel
// reference: on 16 bits each channel scaled by (8 - k) / 8, or mixed with
// the fill colour by its alpha; on 8 bits the darkest entry (or the
// nearest entry to the fill colour) covers k pixels of every 4 x 2 cell.
TEST_F(HudDraw, FadeAndBoxFillFollowTheirReference)
{
    for (int depth : {8, 16}) {
        Open(depth);
        const int rank[8] = {0, 4, 2, 6, 5, 1, 7, 3};
        // Fade 3/8 over the pattern.
        Pattern();
        std::vector<std::uint32_t> expected = Screen();
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                std::uint32_t& v = expected[static_cast<std::size_t>(y * 640 + x)];
                if (depth == 8) {
                    if (rank[(y & 1) * 4 + (x & 3)] < 3)
                        v = static_cast<std::uint32_t>(device_.darkest_index);
                } else {
                    const std::uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
                    v = (r * 5 / 8) << 11 | (g * 5 / 8) << 5 | (b * 5 / 8);
                }
            }
        FadeScreen(device_, 3);
        EXPECT_TRUE(Screen() == expected) << depth;
        ExpectGolden("fade3_" + std::to_string(depth), Image(expected));

        // A blue box of alpha 160 at (100, 50) 200 x 120, and one reaching
        // off the screen's corner.
        Pattern();
        expected = Screen();
        int nearest = 0;
        long best = 1L << 40;
        for (int i = 0; i < 256; ++i) {
            const long d = static_cast<long>(device_.palette_rgb[i][0]) * device_.palette_rgb[i][0] +
                           static_cast<long>(device_.palette_rgb[i][1]) * device_.palette_rgb[i][1] +
                           (device_.palette_rgb[i][2] - 255L) * (device_.palette_rgb[i][2] - 255L);
            if (d < best) {
                best = d;
                nearest = i;
            }
        }
        const auto box = [&](int x0, int y0, int w, int h) {
            for (int y = std::max(y0, 0); y < std::min(y0 + h, 480); ++y)
                for (int x = std::max(x0, 0); x < std::min(x0 + w, 640); ++x) {
                    std::uint32_t& v = expected[static_cast<std::size_t>(y * 640 + x)];
                    if (depth == 8) {
                        // 160 x 8 / 255 = 5.02: five of eight.
                        if (rank[(y & 1) * 4 + (x & 3)] < 5)
                            v = static_cast<std::uint32_t>(nearest);
                    } else {
                        const std::uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
                        const auto mix = [](std::uint32_t d, std::uint32_t s) { return (d * 95 + s * 160 + 127) / 255; };
                        v = mix(r, 0) << 11 | mix(g, 0) << 5 | mix(b, 31);
                    }
                }
        };
        box(100, 50, 200, 120);
        box(600, 440, 100, 100);
        FillScreenRect(device_, 100, 50, 200, 120, 0, 0, 255, 160);
        FillScreenRect(device_, 600, 440, 100, 100, 0, 0, 255, 160);
        EXPECT_TRUE(Screen() == expected) << depth;
        ExpectGolden("box_" + std::to_string(depth), Image(expected));
        device_.release();
    }
}

// The overlay's fade through Update: level 0.5 draws fade surface 3, four
// eighths.
TEST_F(HudDraw, TheFadeLevelPicksItsEighth)
{
    Open(16);
    Racing();
    Clear(0xFFFF);
    hud().m_fFadeLevel = 0.5f;
    hud().m_fFadeTarget = 0.5f;
    race->m_Camera.m_fFrameTime = 0.02f;
    hud().Update();
    EXPECT_EQ(Pixel(10, 10), (31u * 4 / 8) << 11 | (63u * 4 / 8) << 5 | (31u * 4 / 8));
    EXPECT_EQ(Pixel(639, 479), Pixel(10, 10));
}

// The start lights at their record's place with the running frame, only
// while the onboard display is up; a centred message through its font at
// the place the font itself gives.
TEST_F(HudDraw, LightsAndMessagesAreDrawnWhereTheFileSays)
{
    Open(8);
    Racing();
    const OverlayDefinition& def = hud().Content()->def;
    const int lx = def.lights.x, ly = def.lights.y;

    // The lights sheet drawn by itself is the reference.
    lib2d_picture lights;
    ASSERT_EQ(lights.load("Gfx\\Cockpit\\Light\\Lights.pcx", 64, 16, 3, 3), 1);
    lights.set_rect(0, 640, 0, 480);
    Clear(0);
    lights.draw(lx, ly, 1);
    const std::vector<std::uint32_t> expected = Screen();

    Clear(0);
    hud().Clear(kHudOnboard);
    hud().SetStartLight(1);
    race->m_Camera.m_fFrameTime = 0.0f;
    hud().Update();
    EXPECT_TRUE(Screen() == std::vector<std::uint32_t>(640 * 480, 0)) << "drawn without the onboard display";
    hud().Raise(kHudOnboard);
    hud().DisableMessages(kHudOnboard); // its texts are not part of this picture
    Clear(0);
    hud().Update();
    EXPECT_TRUE(Screen() == expected);
    EXPECT_NE(Pixel(lx + 8, ly + 8), 0u);

    // "WRONG_WAY" (element 13) centred on x 320 in font 2.
    lib2d_font menu;
    const OverlayFont& rec = def.fonts[2];
    ASSERT_EQ(menu.load("Gfx\\Fonts\\Menu.pcx", rec.cellWidth, rec.cellHeight, rec.across, rec.count, rec.first), 1);
    menu.set_clip(0, 640, 0, 480);
    const OverlayText& text = def.elements[13].texts[0];
    ASSERT_STREQ(text.text, "WRONG_WAY");
    hud().SetStartLight(-1);
    Clear(0);
    const int x = -text.x - menu.text_width("WRONG_WAY", rec.space, rec.spacing) / 2;
    if (rec.gapDrawer)
        menu.draw_text_gap("WRONG_WAY", x, text.y, rec.space, rec.spacing);
    else
        menu.draw_text("WRONG_WAY", x, text.y, rec.space, rec.spacing);
    const std::vector<std::uint32_t> message = Screen();
    Clear(0);
    hud().Raise(0x2000);
    hud().Update();
    EXPECT_TRUE(Screen() == message);
}

// The menus: a raised menu selects its first entry; the arrow keys step
// through the entries and wrap; Enter carries out the selected one once.
TEST_F(HudDraw, MenuEntriesReachTheRace)
{
    Open(8);
    Racing(4);
    hud().Raise(kHudPauseMenu);
    EXPECT_EQ(hud().SelectedEntry(), 1);
    race->m_Camera.m_fFrameTime = 0.02f;
    const auto press = [&](int key) {
        PressKey(key);
        hud().Update();
        input.m_PrevKeyState[key] = input.m_KeyState[key];
        input.m_KeyState[key] = 0;
    };
    press(0xCD); // right
    EXPECT_EQ(hud().SelectedEntry(), 2);
    press(0xCB); // left
    press(0xCB); // left: wraps to the last
    EXPECT_EQ(hud().SelectedEntry(), 3);
    // Entry 3: the confirmation instead of the pause menu.
    press(0x1C);
    EXPECT_FALSE(hud().Messages() & kHudPauseMenu);
    EXPECT_TRUE(hud().Messages() & kHudConfirm);
    EXPECT_EQ(hud().SelectedEntry(), 1);
    hud().Update(); // no activation: the latch opens
    input.m_nRaceCommand = kRaceCommandNone;
    press(0x1C);
    EXPECT_EQ(input.m_nRaceCommand, kRaceCommandEnd);

    // Pause menu entry 2 restarts a race, parks the rider in practice.
    for (const auto& [session, command] : {std::pair{4, kRaceCommandRestart}, std::pair{1, kRaceCommandPark}}) {
        race.reset();
        Racing(session);
        input.m_nRaceCommand = kRaceCommandNone;
        hud().Raise(kHudPauseMenu);
        hud().RunEntry(2, 2);
        EXPECT_EQ(input.m_nRaceCommand, command) << session;
    }
    // The pointer: a mouse movement shows it (three times the movement)
    // and drops the selection; over an entry's button it selects the entry,
    // and the left button activates it.
    const OverlayElement& pause = hud().Content()->def.elements[2];
    const OverlaySprite* second = nullptr;
    for (const OverlaySprite& sp : pause.sprites)
        if (sp.code == 21)
            second = &sp;
    ASSERT_NE(second, nullptr);
    race->m_Camera.m_fFrameTime = 0.02f;
    input.m_MouseState.lX = 1;
    input.m_MouseState.lY = 0;
    hud().Update();
    EXPECT_FALSE(hud().Content()->pointerShown) << "a movement below 2 does not show it";
    EXPECT_EQ(hud().SelectedEntry(), 1);
    input.m_MouseState.lX = (second->x + 2) / 3;
    input.m_MouseState.lY = (second->y + 2) / 3;
    input.m_nRaceCommand = kRaceCommandNone;
    hud().Update();
    EXPECT_TRUE(hud().Content()->pointerShown);
    EXPECT_EQ(hud().Content()->pointerX, 3 * input.m_MouseState.lX);
    EXPECT_EQ(hud().SelectedEntry(), 2);
    input.m_MouseState.lX = input.m_MouseState.lY = 0;
    input.m_MouseState.rgbButtons[0] = 0x80;
    hud().Update();
    input.m_MouseState.rgbButtons[0] = 0;
    EXPECT_EQ(input.m_nRaceCommand, kRaceCommandPark); // free practice
    // The race menu's page entries: within 0 and riders - 16.
    for (const auto& [riders, entries, page] :
         {std::tuple{20, std::vector<int>{7}, 4}, std::tuple{20, std::vector<int>{7, 5}, 3},
          std::tuple{20, std::vector<int>{6, 6, 4}, 0}, std::tuple{10, std::vector<int>{7, 6}, 0}}) {
        race.reset();
        Racing(4, riders);
        hud().Raise(kHudRaceMenu);
        for (int entry : entries)
            hud().RunEntry(3, entry);
        EXPECT_EQ(hud().ListPage(), page) << riders << " riders, " << entries.size() << " entries";
        // Drawing the menu keeps the page.
        race->m_Camera.m_fFrameTime = 0.1f;
        for (int i = 0; i < 50; ++i)
            hud().Update();
        EXPECT_EQ(hud().ListPage(), page);
    }
    // Entry 1 resumes.
    input.m_bPaused = 1;
    hud().m_fDimTarget = 1.0f;
    hud().RunEntry(2, 1);
    EXPECT_FALSE(hud().Messages() & kHudPauseMenu);
    EXPECT_EQ(input.m_bPaused, 0);
    EXPECT_EQ(hud().m_fDimTarget, 0.0f);
}

// The time format, and the text codes of the standings and read-outs.
TEST_F(HudDraw, TimesAndStandingsPrintAsTheCodesSay)
{
    struct Time {
        float t;
        const char* text;
    };
    for (const Time& c : {Time{1499.99f, "--:--:--"}, Time{0.0f, "00:00:00"}, Time{83.456f, "01:23:45"},
                          Time{59.999f, "00:59:99"}, Time{600.5f, "10:00:50"}})
        EXPECT_EQ(FormatRaceTime(c.t), c.text) << c.t;

    Open(8);
    Racing(4, 6);
    for (int i = 0; i < 6; ++i) {
        bike(i).Laps = 1;
        bike(i).RacePosition = i + 1;
        race->m_StandingOrder[static_cast<std::size_t>(i)] = i;
    }
    Bike& viewed = *race->ViewedBike();
    viewed.LapTime = 61.25f;
    viewed.BestLap = kNoLapTime;
    viewed.Gear = 3;
    viewed.Speed = 40.1f;
    viewed.Rpm = 12345.6f;
    race->m_Camera.m_fFrameTime = 0.02f;
    race->m_Camera.SetMode(3);
    struct Case {
        const char* text;
        const char* expected;
    };
    const std::string position = "POS_" + std::string(viewed.RacePosition < 10 ? " " : "") +
                                 std::to_string(viewed.RacePosition) + "/ 6";
    for (const Case& c : {Case{"LAP_%l/%L", "LAP_ 2/ 3"}, Case{"%t_%b", "01:01:25_--:--:--"}, Case{"%g", "4"},
                          Case{"%s", "144"}, Case{"%r", "12345"}, Case{"%f", " 50"}, Case{"%v", "GAME 4"},
                          Case{"%I", "1"}, Case{"%q!", "!"}, Case{"100%", "100"}})
        EXPECT_EQ(hud().ExpandText(0, c.text), c.expected) << c.text;
    EXPECT_EQ(hud().ExpandText(0, "POS_%p/%P"), position);
    race->m_uRunFlags |= kAppFlagMiles;
    EXPECT_EQ(hud().ExpandText(0, "%s"), " 89"); // 40.1 x 2.232
    race->m_Camera.m_fFrameTime = 0.0f;
    EXPECT_EQ(hud().ExpandText(0, "%f"), "0");

    // The standings: row indices, and only finished riders in element 7 and
    // in the lists; the viewed bike's row is highlighted.
    bike(0).Status |= kBikeFinished;
    bike(1).Status |= kBikeFinished;
    bike(0).RaceTime = 125.5f;
    EXPECT_EQ(hud().ExpandText(7, "%S60b %S61b %S62b"), "1 2 ");
    EXPECT_EQ(hud().ExpandText(4, "%S42b"), "3");
    EXPECT_EQ(hud().ExpandText(7, "%S60a"), "02:05:50");
    int highlighted = -2;
    EXPECT_EQ(hud().ExpandText(3, "%Aa", &highlighted), "1\n2\n");
    const int viewedPlace = viewed.RacePosition - 1;
    EXPECT_EQ(highlighted, viewedPlace < 2 ? viewedPlace : -1);
    // Laps behind the leader instead of a time.
    bike(1).Laps = 0;
    EXPECT_EQ(hud().ExpandText(3, "%Ad"), "02:05:50\n1 LAP\n");
}

// Where the overlay lands on every screen width it is made for: each text an
// element shows at a fixed place (not a scrolling row) lies inside the
// screen, and no two texts of one element that show together overlap. A
// text at x < 0 is centred on -x; the rectangle of a line is its width in
// its font by the font's own measure, and a cell high. A menu's entry
// shows one of its two texts (10 x entry selected, 10 x entry + 1 not).
TEST_F(HudDraw, EveryTextOfTheOverlayLandsOnTheScreenApartFromTheOthers)
{
    Open(8);
    Racing(4, 6);
    for (int i = 0; i < 6; ++i) {
        bike(i).Laps = 1;
        bike(i).RacePosition = i + 1;
        race->m_StandingOrder[static_cast<std::size_t>(i)] = i;
    }
    // The widest read-outs a race shows: a two-digit place, three-digit
    // speed, times of minutes.
    Bike& viewed = *race->ViewedBike();
    viewed.LapTime = 98.76f;
    viewed.BestLap = 97.65f;
    viewed.Gear = 5;
    viewed.Speed = 80.0f;
    input.m_fRaceClock = 754.32f;
    race->m_Camera.m_fFrameTime = 0.02f;

    struct Box {
        int x0, y0, x1, y1; // x1, y1 past the end
        int code;
        std::string what;
    };
    const auto together = [](int a, int b) {
        return !(a >= 10 && b >= 10 && a / 10 == b / 10 && a != b);
    };
    for (const int width : {320, 640, 1024})
        for (const char kind : {'s', 'h'}) {
            const std::string file = "Data\\OP" + std::to_string(width) + kind + ".dat";
            ASSERT_TRUE(hud().CockpitLoad(file.c_str())) << file << ": " << hud().LoadError();
            const int height = width == 320 ? 200 : width * 3 / 4;
            const HudContent& content = *hud().Content();
            for (std::size_t e = 0; e < std::size(content.def.elements); ++e) {
                const OverlayElement& el = content.def.elements[e];
                std::vector<Box> boxes;
                for (const OverlayText& t : el.texts) {
                    if (t.y < 0)
                        continue;
                    int highlighted = -1;
                    const std::string text = hud().ExpandText(static_cast<int>(e), t.text, &highlighted);
                    int y = t.y;
                    std::size_t from = 0;
                    for (int line = 0; from <= text.size(); ++line) {
                        const std::size_t end = std::min(text.find('\n', from), text.size());
                        const std::string piece = text.substr(from, end - from);
                        const int f = line == highlighted ? t.font + 1 : t.font;
                        ASSERT_LT(static_cast<std::size_t>(f), content.fonts.size());
                        const lib2d_font& font = *content.fonts[static_cast<std::size_t>(f)];
                        const OverlayFont& rec = content.def.fonts[static_cast<std::size_t>(f)];
                        const int w = font.text_width(piece.c_str(), rec.space, rec.spacing);
                        const int x = t.x < 0 ? -t.x - w / 2 : t.x;
                        const std::string what = file + " " + el.name + " \"" + piece + "\"";
                        if (!piece.empty()) {
                            EXPECT_TRUE(x >= 0 && y >= 0 && x + w <= width && y + font.cell_height <= height)
                                << what << " at " << x << ", " << y << " is " << w << " wide: off the " << width
                                << " x " << height << " screen";
                            boxes.push_back({x, y, x + w, y + font.cell_height, t.code, what});
                        }
                        if (end >= text.size())
                            break;
                        from = end + 1;
                        y += font.cell_height;
                    }
                }
                for (std::size_t a = 0; a < boxes.size(); ++a)
                    for (std::size_t b = a + 1; b < boxes.size(); ++b) {
                        const Box& p = boxes[a];
                        const Box& q = boxes[b];
                        const bool overlap = p.x0 < q.x1 && q.x0 < p.x1 && p.y0 < q.y1 && q.y0 < p.y1;
                        EXPECT_FALSE(overlap && together(p.code, q.code)) << p.what << " overlaps " << q.what;
                    }
            }
        }
}

// The cockpit: all rev lights drawn unlit after a redraw request, then the
// leading lights whose threshold the engine speed passes drawn lit, and
// unlit again as it falls; the speed and gear digits at their records.
TEST_F(HudDraw, RevLightsAndReadOutsFollowTheEngine)
{
    Open(8);
    Racing();
    Bike& viewed = *race->ViewedBike();
    const int model = viewed.GridEntry->Model;
    const HudContent::Cockpit& cockpit = hud().Content()->cockpits[model];
    ASSERT_TRUE(cockpit.loaded);
    const CockpitDefinition& def = cockpit.def;
    const std::string folder = std::string("Gfx\\Cockpit\\") + race->m_BikeModels[model].Maker.ModelName + "\\";

    // The reference: the sheets drawn by themselves.
    lib2d_picture on, off, speed, gear;
    ASSERT_EQ(on.load((folder + "RevOn.pcx").c_str(), def.pictures[2].width, def.pictures[2].height,
                      def.pictures[2].frames, def.pictures[2].frames), 1);
    ASSERT_EQ(off.load((folder + "RevOff.pcx").c_str(), def.pictures[3].width, def.pictures[3].height,
                       def.pictures[3].frames, def.pictures[3].frames), 1);
    ASSERT_EQ(speed.load((folder + "Speed.pcx").c_str(), def.pictures[0].width, def.pictures[0].height, 10, 10), 1);
    ASSERT_EQ(gear.load((folder + "Gear.pcx").c_str(), def.pictures[1].width, def.pictures[1].height, 10, 10), 1);
    for (lib2d_picture* p : {&on, &off, &speed, &gear})
        p->set_rect(0, 640, 0, 480);
    const auto reference = [&](int lit, const char* kmh, const char* gears) {
        Clear(0);
        for (std::size_t k = 0; k < def.revLights.size(); ++k)
            (static_cast<int>(k) < lit ? on : off).draw(def.revLights[k].x, def.revLights[k].y, static_cast<int>(k));
        int x = def.pictures[0].x;
        for (const char* c = kmh; *c; ++c, x += def.pictures[0].width + def.pictures[0].spacing)
            speed.draw(x, def.pictures[0].y, *c - '0');
        x = def.pictures[1].x;
        for (const char* c = gears; *c; ++c, x += def.pictures[1].width + def.pictures[1].spacing)
            gear.draw(x, def.pictures[1].y, *c - '0');
        return Screen();
    };

    viewed.Rpm = static_cast<float>(def.revLights[2].threshold) + 1.0f; // lights 0, 1, 2
    viewed.Speed = 25.0f;                                               // 90 km/h
    viewed.Gear = 2;
    std::vector<std::uint32_t> expected = reference(3, "090", "03");
    Clear(0);
    hud().SetViewedBike(&viewed); // asks for a redraw of every light
    hud().DrawCockpit();
    EXPECT_TRUE(Screen() == expected);

    // Falling to one light: lights 2 and 1 go out over what was drawn.
    viewed.Rpm = static_cast<float>(def.revLights[0].threshold) + 1.0f;
    expected = reference(1, "090", "03");
    // Only what changed is drawn: start from the previous picture.
    (void)reference(3, "090", "03");
    hud().DrawCockpit();
    EXPECT_TRUE(Screen() == expected);

    // In miles an hour (run flags bit 5): 40 m/s is 89.5 mph, shown as 089
    // (40 x 2.232 = 89.28, truncated).
    race->m_uRunFlags |= kAppFlagMiles;
    viewed.Speed = 40.0f;
    expected = reference(1, "089", "03");
    Clear(0);
    hud().SetViewedBike(&viewed);
    hud().DrawCockpit();
    EXPECT_TRUE(Screen() == expected);
}

// Every overlay file of the kit loads with its sheets and fonts; a
// damaged one leaves the race without an overlay, saying why, and the race
// runs on; the translations are read only for a language other than 0.
TEST_F(HudDraw, OverlaysLoadOrLeaveTheRaceWithoutOne)
{
    Open(16);
    Racing();
    for (const char* file : {"Data\\OP320s.dat", "Data\\OP640h.dat", "Data\\OP800s.dat", "Data\\OP1024h.dat"}) {
        EXPECT_TRUE(hud().CockpitLoad(file)) << file << ": " << hud().LoadError();
        EXPECT_TRUE(hud().Loaded());
    }
    const auto texts = [&](int element) {
        std::string all;
        for (const OverlayText& t : hud().Content()->def.elements[element].texts)
            all += std::string(t.text) + ";";
        return all;
    };
    app.m_nLanguage = 1;
    ASSERT_TRUE(hud().CockpitLoad("Data\\OP640s.dat"));
    EXPECT_NE(texts(2).find("CONTINUE;"), std::string::npos) << texts(2);
    app.m_nLanguage = 0;
    ASSERT_TRUE(hud().CockpitLoad("Data\\OP640s.dat"));
    EXPECT_NE(texts(2).find("RESUME;"), std::string::npos) << texts(2);

    // The race list of the file with a 20th name.
    std::string text = ReadText(dir() / "Data" / "OP640s.dat");
    const std::size_t at = text.find("SINGLE_RACE\r\n");
    ASSERT_NE(at, std::string::npos);
    text.insert(text.find("END_LIST", at), "    sEXTRA\r\n");
    WriteText(dir() / "Data" / "OP640s.dat", text);
    EXPECT_FALSE(hud().CockpitLoad("Data\\OP640s.dat"));
    EXPECT_FALSE(hud().Loaded());
    EXPECT_NE(hud().LoadError().find("exactly 19"), std::string::npos) << hud().LoadError();
    // The race runs on: messages and timers without drawing.
    Clear(0);
    hud().Raise(0x2000);
    race->m_Camera.m_fFrameTime = 0.02f;
    hud().Update();
    EXPECT_TRUE(hud().Test(0x2000));
    EXPECT_TRUE(Screen() == std::vector<std::uint32_t>(640 * 480, 0));
    // Nothing to draw on: the sheets do not load.
    device_.release();
    EXPECT_FALSE(hud().CockpitLoad("Data\\OP640h.dat"));
}

// A race without riders edits its trackside cameras: the overlay prints the
// editor's eye and the current camera's number, lens, range and limits in
// font 4 at x 10 (the same font drawn by itself is the reference).
TEST_F(HudDraw, TheCameraEditorsReadOuts)
{
    Open(8);
    Header("Sugo", 4, 0);
    Start();
    ASSERT_TRUE(hud().CockpitLoad("Data\\OP640s.dat")) << hud().LoadError();
    CameraEditor& editor = race->m_CameraEditor;
    editor.m_Eye = Vec3(12.5f, 3.25f, -40.75f);

    const OverlayFont& rec = hud().Content()->def.fonts[4];
    lib2d_font font;
    ASSERT_EQ(font.load((std::string("Gfx\\Fonts\\") + rec.file).c_str(), rec.cellWidth, rec.cellHeight, rec.across,
                        rec.count, rec.first),
              1);
    font.set_clip(0, 640, 0, 480);
    const auto reference = [&](const std::vector<std::pair<int, std::string>>& lines) {
        Clear(0);
        for (const auto& [y, text] : lines) {
            if (rec.gapDrawer)
                font.draw_text_gap(text.c_str(), 10, y, rec.space, rec.spacing);
            else
                font.draw_text(text.c_str(), 10, y, rec.space, rec.spacing);
        }
        return Screen();
    };
    const auto drawn = [&] {
        Clear(0);
        race->m_Camera.m_fFrameTime = 0.0f;
        hud().Update();
        return Screen();
    };
    const std::vector<std::pair<int, std::string>> eye = {{10, "X:12.500000"}, {40, "Z:-40.750000"}, {70, "Y:3.250000"}};
    std::vector<std::uint32_t> expected = reference(eye);
    EXPECT_TRUE(drawn() == expected) << "no camera yet: the eye only";

    ASSERT_TRUE(editor.AddCamera());
    ASSERT_TRUE(editor.AddCamera());
    editor.m_fFov = 0.5235988f; // 30 degrees
    const TvCamera& camera = editor.Cameras()[editor.Current()];
    ASSERT_EQ(editor.Current(), 1);
    std::vector<std::pair<int, std::string>> all = eye;
    all.emplace_back(100, "2/2 30");
    ASSERT_EQ(camera.From, 10.0f);
    ASSERT_EQ(camera.To, 20.0f);
    all.emplace_back(130, "T[10:20]");
    // 2 and 80 degrees, which the radians give back a hair short of whole.
    all.emplace_back(160, "F[2:80]");
    expected = reference(all);
    EXPECT_TRUE(drawn() == expected);
    EXPECT_NE(expected, reference(eye));
}

// Every command entry of the in-race menus, chosen and activated with Enter
// on the drawn menu, reaches the race on the next update: its flags and
// fade (or the parked rider) as the command sets them.
TEST_F(HudDraw, InRaceMenuCommandsReachTheRace)
{
    constexpr std::uint32_t kEnd = kRaceFlagEnding;
    constexpr std::uint32_t kRerun = kRaceFlagEnding | kRaceFlagRunAgain;
    constexpr std::uint32_t kReplayAgain = kRaceFlagEnding | kRaceFlagRunAgain | kRaceRestart;
    constexpr std::uint32_t kWatched = kRaceFlagEnding | kRaceFlagRunAgain | kRaceRestart;
    struct Case {
        const char* what;
        int session;
        std::uint32_t menu;
        int entry;
        std::uint32_t inputMode;
        std::uint32_t flags; // of kWatched after the command (kBikeParked: the viewed rider parked instead)
        bool parked;
    };
    const Case cases[] = {
        {"pause: restart", 4, kHudPauseMenu, 2, 0, kRerun, false},
        {"pause: park in practice", 1, kHudPauseMenu, 2, 0, 0, true},
        {"race menu: restart", 4, kHudRaceMenu, 1, 0, kRerun, false},
        {"race menu: replay", 4, kHudRaceMenu, 2, 0, kReplayAgain, false},
        {"race menu: end", 4, kHudRaceMenu, 3, 0, kEnd, false},
        {"results: restart", 6, kHudResultsMenu, 1, 0, kRerun, false},
        {"results: replay", 6, kHudResultsMenu, 2, 0, kReplayAgain, false},
        {"results: end", 6, kHudResultsMenu, 3, 0, kEnd, false},
        {"confirmation: end", 4, kHudConfirm, 1, 0, kEnd, false},
        {"replay panel: leave a loaded replay", 4, kHudReplayPanel, 17, kInputModeLoaded, kEnd, false},
    };
    Open(8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Racing(c.session);
        race->LiveFlags() |= kRaceRestart; // a restart asked for before: the ending commands drop it
        input.m_dwMode |= c.inputMode;
        hud().Raise(c.menu);
        Frame(); // the menu drawn without a key: it may now be activated
        hud().SelectEntry(c.entry);
        PressKey(0x1C);
        Frame();
        if (c.parked) {
            EXPECT_TRUE(race->ViewedBike()->IsOut());
        } else {
            EXPECT_EQ(flags() & kWatched, c.flags);
            EXPECT_EQ(hud().m_fFadeTarget, 1.0f);
        }
        input.m_dwMode &= ~c.inputMode;
        race.reset();
    }

    // Leaving the race's own replay: playing stops, the race menu returns.
    Racing(4);
    input.m_dwMode |= kInputModePlaying;
    hud().Raise(kHudReplayPanel);
    hud().RunEntry(6, 17);
    EXPECT_FALSE(input.m_dwMode & kInputModePlaying);
    EXPECT_FALSE(hud().Messages() & kHudReplayPanel);
    EXPECT_TRUE(hud().Messages() & kHudRaceMenu);
    EXPECT_EQ(input.m_nRaceCommand, kRaceCommandNone);

    // The transport entries: 5 plays and pauses, 6 plays from the start,
    // 7-12 step back (3, 0.3, 1 frames) and on (1, 0.3, 3 frames).
    hud().RunEntry(6, 5);
    EXPECT_TRUE(input.m_dwMode & kInputModePlaying);
    input.m_fLastFrameTime = 0.1f;
    input.m_fSeekAmount = 0.0f;
    hud().RunEntry(6, 7);
    EXPECT_NEAR(input.m_fSeekAmount, 0.3f, 1e-6f);
    EXPECT_FALSE(input.m_dwMode & kInputModePlaying);
    const float before = input.m_fReplayTime;
    hud().RunEntry(6, 12);
    EXPECT_NEAR(input.m_fReplayTime, before + 0.3f, 1e-6f);
    hud().RunEntry(6, 6);
    EXPECT_EQ(input.m_nRaceCommand, kRaceCommandEndReplay);
    // 14 saves; without a race description to save there is no message.
    hud().RunEntry(6, 14);
    EXPECT_FALSE(hud().Messages() & kHudReplaySaved);
}

// Damaged pictures and fonts the overlay files name. A picture missing from
// its folder is taken from the folder's archive; missing from both, or not a
// picture at all, it refuses the whole overlay (the race runs on without
// one, saying why); a cut-short picture loads with its missing pixels 0. A
// cockpit's damaged sheet leaves only that model without its cockpit.
TEST_F(HudDraw, DamagedSheetsAndFontsLeaveTheRaceWithoutThem)
{
    enum Damage { Missing, MissingEverywhere, Truncated, Garbage };
    struct Case {
        const char* file;
        const char* archive; // the folder's archive (MissingEverywhere)
        Damage damage;
        bool overlayLoads;
        const char* cockpitLost; // the model left without its cockpit
    };
    const Case cases[] = {
        {"Gfx/Cockpit/Flags.pcx", nullptr, Missing, true, nullptr},
        {"Gfx/Cockpit/Flags.pcx", "Gfx/Cockpit.mix", MissingEverywhere, false, nullptr},
        {"Gfx/Cockpit/Light/Lights.pcx", nullptr, Truncated, true, nullptr},
        {"Gfx/Cockpit/mouse.pcx", nullptr, Garbage, false, nullptr},
        {"Gfx/Fonts/Menu.pcx", "Gfx/Fonts.mix", MissingEverywhere, false, nullptr},
        {"Gfx/Fonts/Small.pcx", nullptr, Garbage, false, nullptr},
        {"Gfx/Cockpit/Riders.pcx", nullptr, Truncated, true, nullptr},
        {"Gfx/Cockpit/Button640.pcx", nullptr, Garbage, false, nullptr},
        {"Gfx/Cockpit/Kestrel/RevOn.pcx", "Gfx/Kestrel.mix", MissingEverywhere, true, "Kestrel"},
        {"Gfx/Cockpit/Kestrel/Speed.pcx", nullptr, Garbage, true, "Kestrel"},
    };
    Open(8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Racing();
        race->m_uGfxFlags |= 0x100; // every model's cockpit
        const std::filesystem::path path = dir() / c.file;
        const std::string good = ReadText(path);
        ASSERT_FALSE(good.empty());
        std::string archive;
        if (c.damage == Missing || c.damage == MissingEverywhere)
            std::filesystem::remove(path);
        if (c.damage == MissingEverywhere) {
            ASSERT_NE(c.archive, nullptr);
            archive = ReadText(dir() / c.archive);
            ASSERT_FALSE(archive.empty()) << c.archive;
            std::filesystem::remove(dir() / c.archive);
        }
        if (c.damage == Truncated)
            WriteText(path, good.substr(0, good.size() / 3));
        if (c.damage == Garbage)
            WriteText(path, std::string(good.size(), '\x5A'));

        EXPECT_EQ(hud().CockpitLoad("Data\\OP640s.dat"), c.overlayLoads);
        EXPECT_EQ(hud().Loaded(), c.overlayLoads);
        if (!c.overlayLoads) {
            EXPECT_FALSE(hud().LoadError().empty());
        } else {
            for (int model = 0; model < kBikeModelCount; ++model) {
                const bool lost = c.cockpitLost && std::string(race->m_BikeModels[model].Maker.ModelName) == c.cockpitLost;
                EXPECT_EQ(hud().Content()->cockpits[model].loaded, !lost) << model;
            }
        }
        // The race runs on, its menus and messages with or without pictures.
        hud().Raise(kHudPauseMenu);
        Frame();
        Frame();
        EXPECT_TRUE(hud().Test(kHudPauseMenu));

        WriteText(path, good);
        if (!archive.empty())
            WriteText(dir() / c.archive, archive);
        race.reset();
    }
}

// The first joystick steps a menu when its stick is pushed beyond 0.3, at
// most once every half second while held (the arrow keys step at once), and
// its first button activates the selected entry; with mouse controls the
// stick is left alone.
TEST_F(HudDraw, TheJoystickStepsAndActivatesMenus)
{
    Open(8);
    Racing();
    platform::JoystickInfo pad;
    pad.name = "Pad";
    pad.axes = 2;
    pad.buttons = 4;
    pad.state.centre();
    const int id = platform::attach_test_joystick(pad);
    ASSERT_GE(id, 0);
    ASSERT_TRUE(FramesUntil([&] { return input.JoystickCount() == 1; }, 10));
    hud().Raise(kHudPauseMenu);
    ASSERT_EQ(hud().SelectedEntry(), 1);

    // The joystick's changes reach the input on the video thread's time:
    // the input is polled until it has them. Then the overlay alone runs
    // its frames of 20 ms.
    const auto polledUntil = [&](auto done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            input.Poll();
        }
        return done();
    };
    const auto stickAt = [&](std::int32_t x) {
        platform::test_joystick_axis(id, 0, x);
        return polledUntil([&] { return input.Joystick(0).State.axis[0] == x; });
    };
    const auto overlayFrames = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            platform::advance_test_clock(20);
            race->m_Camera.m_fFrameTime = 0.02f;
            hud().Update();
        }
    };
    struct Step {
        const char* what;
        std::int32_t x;
        int frames; // of 20 ms
        int selected;
    };
    const Step steps[] = {
        {"a small push does not step", kJoystickCentre + 6000, 40, 1},
        {"full right steps once at once", 65535, 1, 2},
        {"held: no further step within half a second", 65535, 24, 2},
        {"held for half a second: the next", 65535, 1, 3},
        {"and round to the first", 65535, 25, 1},
        {"full left: round to the last", 0, 25, 3},
        {"centred: it stays", kJoystickCentre, 50, 3},
    };
    for (const Step& st : steps) {
        ASSERT_TRUE(stickAt(st.x)) << st.what;
        overlayFrames(st.frames);
        EXPECT_EQ(hud().SelectedEntry(), st.selected) << st.what;
    }

    // With mouse controls the stick does not step.
    input.m_dwMode |= kInputModeMouse;
    ASSERT_TRUE(stickAt(65535));
    overlayFrames(60);
    EXPECT_EQ(hud().SelectedEntry(), 3);
    input.m_dwMode &= ~kInputModeMouse;
    ASSERT_TRUE(stickAt(kJoystickCentre));

    // The first button: entry 3 brings up the confirmation.
    platform::test_joystick_button(id, 0, true);
    ASSERT_TRUE(polledUntil([&] { return (input.Joystick(0).State.button[0] & 0x80) != 0; }));
    overlayFrames(1);
    EXPECT_FALSE(hud().Messages() & kHudPauseMenu);
    EXPECT_TRUE(hud().Messages() & kHudConfirm);
    platform::test_joystick_button(id, 0, false);
    platform::detach_test_joystick(id);
}

} // namespace

namespace {

// "MM:SS:HH" (after an optional "+ " or "- ") back to seconds, the sign
// kept; NaN for anything else.
double ParseShownTime(const std::string& text)
{
    std::string t = text;
    double sign = 1.0;
    if (t.size() > 2 && (t.compare(0, 2, "+ ") == 0 || t.compare(0, 2, "- ") == 0 || t.compare(0, 2, "  ") == 0)) {
        sign = t[0] == '-' ? -1.0 : 1.0;
        t = t.substr(2);
    }
    int m = 0, s = 0, h = 0;
    char tail = 0;
    if (std::sscanf(t.c_str(), "%d:%d:%d%c", &m, &s, &h, &tail) != 3)
        return std::nan("");
    return sign * (m * 60.0 + s + h / 100.0);
}

} // namespace

// The gap codes in a race, against the riders' crossings of the line as the
// test sees them (a rider's race time on the frame its lap count goes up;
// frames of 5 ms). Each time the viewed rider (at the back of the grid)
// ends a lap, a table of the five codes: %Dl its last crossing, %Dh the lap
// just ended (the first timed from the green light), %Di how much longer
// than the one before, signed, %De the gap to the rider one place ahead
// (the lap message's compared rider), %Dg the gap to the leader, both blank
// when the viewed rider leads or the other is on another lap. Before its
// first crossing only %Dl prints. On the next frame the lap message
// (element 12) drawn on the screen shows "GAP" with the gap ahead and "LAP"
// with the lap's time and difference, not the session's time left.
TEST_F(HudDraw, TheLapMessageShowsTheGapsTheCrossingsGive)
{
    Open(16);
    Header("Sugo", 4, 4, 3);
    Start();
    ASSERT_TRUE(hud().CockpitLoad("Data\\OP640s.dat")) << hud().LoadError();
    const int viewed = 3;
    race->SetViewRider(viewed);
    hud().SetViewedBike(&bike(viewed));
    std::vector<std::string> shown;
    hud().WatchTexts([&](int element, const std::string& line) {
        if (element == 12)
            shown.push_back(line);
    });
    std::vector<std::vector<double>> crossings(4);
    std::vector<int> laps(4);
    for (int i = 0; i < 4; ++i)
        laps[static_cast<std::size_t>(i)] = bike(i).Laps;

    struct Row {
        const char* code;
        bool blank;     // nothing printed
        double value;   // else this time, within the tolerance
        double tolerance;
    };
    const auto check = [&](const std::vector<Row>& rows, const std::string& when) {
        for (const Row& r : rows) {
            const std::string text = hud().ExpandText(12, r.code);
            if (r.blank) {
                EXPECT_EQ(text, "") << r.code << " " << when;
            } else {
                EXPECT_NEAR(ParseShownTime(text), r.value, r.tolerance) << r.code << " \"" << text << "\" " << when;
            }
        }
    };

    bool checkedBeforeCrossing = false;
    int checked = 0;
    bool drawnPending = false;
    double shownGap = -1.0, shownLap = 0.0, shownDelta = 0.0; // what element 12 must show next frame
    bool gapBlank = false;
    int shownChecks = 0;
    const auto watch = [&] {
        if (drawnPending) {
            // The frame drawn since the lap message went up.
            drawnPending = false;
            std::string gapLine, lapLine;
            for (const std::string& line : shown) {
                if (line.rfind("GAP", 0) == 0)
                    gapLine = line;
                if (line.rfind("LAP", 0) == 0)
                    lapLine = line;
            }
            EXPECT_FALSE(gapLine.empty()) << "the lap message shows no gap line";
            EXPECT_FALSE(lapLine.empty()) << "the lap message shows no lap line";
            if (!gapLine.empty() && !gapBlank) {
                EXPECT_NEAR(ParseShownTime(gapLine.substr(4)), shownGap, 0.011) << gapLine;
            }
            if (!gapLine.empty() && gapBlank) {
                EXPECT_EQ(gapLine.find(':'), std::string::npos) << gapLine;
            }
            if (lapLine.size() >= 12) {
                EXPECT_NEAR(ParseShownTime(lapLine.substr(4, 8)), shownLap, 0.05) << lapLine;
                if (checked >= 2) {
                    EXPECT_NEAR(ParseShownTime(lapLine.substr(13)), shownDelta, 0.08) << lapLine;
                }
            } else {
                ADD_FAILURE() << "lap line \"" << lapLine << "\"";
            }
            ++shownChecks;
        }
        shown.clear();
        for (int i = 0; i < 4; ++i) {
            auto& seen = laps[static_cast<std::size_t>(i)];
            if (bike(i).Laps > seen && bike(i).Laps >= 1)
                crossings[static_cast<std::size_t>(i)].push_back(bike(i).RaceTime);
            seen = bike(i).Laps;
        }
        const auto& mine = crossings[viewed];
        if (!checkedBeforeCrossing && mine.empty() && (flags() & kRaceRacing) && input.m_fRaceClock > 20.0f) {
            checkedBeforeCrossing = true;
            check({{"%De", true, 0, 0}, {"%Dg", true, 0, 0}, {"%Dh", true, 0, 0}, {"%Di", true, 0, 0}},
                  "before the first crossing");
        }
        // The frame the viewed rider's lap message goes up.
        if (mine.size() == static_cast<std::size_t>(checked + 1) && hud().Test(0x1000)) {
            const std::size_t n = mine.size() - 1;
            ++checked;
            const Bike* ahead = nullptr;
            const Bike* leader = nullptr;
            for (int i = 0; i < 4; ++i) {
                if (bike(i).RacePosition == bike(viewed).RacePosition - 1)
                    ahead = &bike(i);
                if (bike(i).RacePosition == 1)
                    leader = &bike(i);
            }
            const auto gapTo = [&](const Bike* other) {
                const auto& theirs = other ? crossings[static_cast<std::size_t>(other->Index)] : mine;
                if (!other || other == &bike(viewed) || theirs.size() != mine.size())
                    return Row{"", true, 0, 0};
                return Row{"", false, mine[n] - theirs[n], 0.011};
            };
            Row e = gapTo(ahead), g = gapTo(leader);
            e.code = "%De";
            g.code = "%Dg";
            const double lap = n == 0 ? mine[0] : mine[n] - mine[n - 1];
            std::vector<Row> rows = {{"%Dl", false, mine[n], 0.02}, {"%Dh", false, lap, 0.05}, e, g};
            if (n >= 1)
                rows.push_back({"%Di", false, lap - (n == 1 ? mine[0] : mine[n - 1] - mine[n - 2]), 0.08});
            check(rows, "at crossing " + std::to_string(n + 1));
            EXPECT_TRUE(!e.blank || !g.blank || ahead == nullptr) << "someone to compare with";
            gapBlank = e.blank;
            shownGap = e.value;
            shownLap = lap;
            shownDelta = n >= 1 ? rows.back().value : 0.0;
            drawnPending = true;
        }
        return checked == 2 && !drawnPending;
    };
    ASSERT_TRUE(FramesUntil(watch, 400 * 200, 5));
    EXPECT_TRUE(checkedBeforeCrossing);
    EXPECT_EQ(shownChecks, 2);
}
