// The telemetry plot: its channels and bands, the distance window under
// zoom and scroll, the laps it reads, and what it paints. The curves are
// checked against the points the plot's formulas put each sample at, worked
// out here from the samples; the pictures are kept as PNG files for review.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "menu/form.h"
#include "menu/label.h"
#include "menu/plot.h"
#include "menu/scroll_bar.h"
#include "menu/window.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "sim/telemetry_file.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/track_writer.h"

namespace {

using namespace menu_test;

constexpr int kLeft = 300, kTop = 94, kWidth = 320, kHeight = 264;
constexpr int kRight = kLeft + kWidth, kBottom = kTop + kHeight;
constexpr float kPi = 3.14159265f;

struct SampleSpec {
    float distance;
    std::uint8_t value;  // of every channel
};

class PlotTest : public MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        for (int slot = 0; slot < 3; ++slot)
            data_.picture("SSprites/color_0" + std::to_string(slot) + ".pcx",
                          solid_picture(106, 20, static_cast<std::uint8_t>(kInkRed + slot)));
        data_.picture("ssprites/slidbar.pcx", solid_picture(2, 3, kInkGrey));
        data_.text_file("text/bikes.txt", {{"bikes", "A\nB\nC\nD"}});
        data_.game_font("fonts/plain", GameFontWords{}, kInkWhite);
        datakit::FormFileWriter file = screen_file("plot");
        file.begin("Plot", "plot_tel").key3("ForeColor", 255, 255, 255);
        place(file, kLeft, kTop, kWidth, kHeight);
        file.end();
        file.begin("HScrollBar", "Scroll").key("LinkedTo", "plot_tel");
        place(file, kLeft, kBottom + 20, kWidth, 12);
        file.key("CursorWidth", 12).key("Max", 1000).key("Min", 0).key("Step", 1).end();
        file.begin("Label", "LBL_Bike");
        place(file, 20, 20, 100, 20);
        file.key("FontName", "fonts/plain.pcx").key("FontType", "gamefont").key("TextCount", 1);
        file.key("TextFile", "text/bikes.txt").key("TextID", "bikes").end();
        file.end();
        data_.screen("plot", file);
        std::filesystem::create_directories(dir_ / "menu" / "save");
        platform::invalidate_path_cache();
    }

    Form& screen() { return load_screen("plot"); }
    static Plot& plot(Form& form) { return dynamic_cast<Plot&>(*form.FindElement("plot_tel")); }

    // A lap file of ".\menu\save\" on `track`, its samples' every channel
    // at the given byte.
    void lap(const std::string& name, const std::vector<SampleSpec>& specs, std::uint32_t model = 1,
             const char* track = "Nowhere")
    {
        TelemetryHeader header;
        header.SetTrackName(track);
        header.Model = model;
        std::vector<TelemetrySample> samples;
        for (const SampleSpec& s : specs) {
            TelemetrySample sample;
            sample.Distance = s.distance;
            sample.Time = s.distance / 50.0f;
            for (std::uint8_t& c : sample.Channel)
                c = s.value;
            samples.push_back(sample);
        }
        ASSERT_TRUE(WriteTelemetryFile((dir_ / "menu" / "save" / name).string(), header, samples));
        platform::invalidate_path_cache();
    }

    // A square circuit "Square" of four 400 m straights from (0, 0).
    void square_circuit()
    {
        datakit::TrackFile f;
        const auto segment = [](float heading, float x, float z) {
            datakit::TrackFileSegment s;
            s.length = 400.0f;
            s.heading = heading;
            s.start_x = x;
            s.start_z = z;
            return s;
        };
        f.segments = {segment(0, 0, 0), segment(kPi / 2, 0, 400), segment(kPi, 400, 400),
                      segment(-kPi / 2, 400, 0)};
        std::string error;
        ASSERT_TRUE(datakit::write_track_file(dir_ / "Data" / "Tracks" / "Square.dat", f, error)) << error;
        platform::invalidate_path_cache();
    }

    std::uint16_t at(int x, int y) const { return static_cast<std::uint16_t>(pixel(x, y)); }
};

TEST_F(PlotTest, ChannelsTakeFreeColoursAFourthDropsTheOldestAndOneLeftIsLaidOver)
{
    Plot& p = plot(screen());
    EXPECT_TRUE(p.Overlay());
    p.ToggleChannel(3);
    p.ToggleChannel(7);
    p.ToggleChannel(0);
    p.SetOverlay(false);
    ASSERT_EQ(p.ShownCount(), 3);
    // Apart: three bands of a third of the height each.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p.Shown(i).Top, kTop + i * kHeight / 3) << i;
        EXPECT_EQ(p.Shown(i).Bottom, kTop + (i + 1) * kHeight / 3) << i;
        EXPECT_EQ(p.Shown(i).Left, kLeft);
        EXPECT_EQ(p.Shown(i).Right, kRight);
        EXPECT_EQ(p.Shown(i).Slot, i);
    }
    // A fourth drops the first added and takes its colour.
    p.ToggleChannel(11);
    ASSERT_EQ(p.ShownCount(), 3);
    EXPECT_EQ(p.Shown(0).Channel, 7);
    EXPECT_EQ(p.Shown(2).Channel, 11);
    EXPECT_EQ(p.Shown(2).Slot, 0);
    // Toggling a shown one removes it; with one left the overlay is set and
    // cannot be taken off.
    p.ToggleChannel(7);
    EXPECT_FALSE(p.Overlay());
    p.ToggleChannel(0);
    EXPECT_TRUE(p.Overlay());
    p.SetOverlay(false);
    EXPECT_TRUE(p.Overlay());
    EXPECT_EQ(p.Shown(0).Top, kTop);
    EXPECT_EQ(p.Shown(0).Bottom, kBottom);
    EXPECT_TRUE(p.Slot(0).Used);  // channel 11's
    EXPECT_FALSE(p.Slot(1).Used);
    EXPECT_FALSE(p.Slot(2).Used);
    p.ToggleChannel(12);  // no such channel
    p.ToggleChannel(-1);
    EXPECT_EQ(p.ShownCount(), 1);
}

TEST_F(PlotTest, TheWindowZoomsAboutItsCentreScrollsWithinTheLapAndKeepsOneUnit)
{
    Form& form = screen();
    Plot& p = plot(form);
    auto& bar = dynamic_cast<ScrollBar&>(*form.FindElement("Scroll"));
    struct Case {
        std::int32_t lap, start, end;
        float factor;
        std::int32_t want_start, want_end, want_bar;
    };
    for (const Case& c : {
             Case{1200, 0, 1000, 2.0f, 0, 1200, 500},  // the whole lap: the bar in its middle
             Case{5000, 0, 1000, 2.0f, 0, 1500, 500},  // at the start: the bar in its middle too
             Case{5000, 0, 1000, 0.5f, 250, 750, 56},  // floor(250000 / 4500 + 0.5)
             Case{5000, 3000, 5000, 1.4f, 2600, 5000, 1000},
             Case{5000, 10, 11, 0.8f, 10, 11, 2},      // one unit stays one unit
             Case{0, 0, 0, 0.8f, 0, 1, 500},           // a lap of no length: one unit
         }) {
        p.SetWindow(c.lap, c.start, c.end);
        p.Zoom(c.factor);
        EXPECT_EQ(p.WindowStart(), c.want_start) << c.lap << " " << c.start << " x" << c.factor;
        EXPECT_EQ(p.WindowEnd(), c.want_end) << c.lap << " " << c.start << " x" << c.factor;
        EXPECT_EQ(bar.m_nPosition, c.want_bar) << c.lap << " " << c.start << " x" << c.factor;
    }
    // Zooming in again and again keeps a window of some units (the rounding
    // stops it at four), and the distance ticks still end.
    p.SetWindow(3000, 0, 3000);
    for (int i = 0; i < 100; ++i)
        p.Zoom(0.8f);
    EXPECT_GE(p.WindowEnd() - p.WindowStart(), 1);
    EXPECT_LE(p.WindowEnd() - p.WindowStart(), 4);
    p.ToggleChannel(0);
    form.Invalidate();
    form.PaintAll();

    // The bar scrolls the window over the lap's free room, its width kept.
    p.SetWindow(3000, 0, 500);
    bar.SetPos(1000);
    EXPECT_EQ(p.WindowEnd(), 3000);
    EXPECT_EQ(p.WindowStart(), 2500);
    bar.SetPos(500);
    EXPECT_EQ(p.WindowStart(), 1250);
    EXPECT_EQ(p.WindowEnd(), 1750);
    EXPECT_TRUE(p.OnMouse(5000, 0, kScrollToPosition, 0));  // beyond the bar: its end
    EXPECT_EQ(p.WindowEnd(), 3000);
    EXPECT_TRUE(p.OnMouse(0, 0, kMouseLeftDown, 0));  // other messages change nothing
    EXPECT_EQ(p.WindowEnd(), 3000);
}

TEST_F(PlotTest, LapsAreReadWhenSoundAndALoneSecondLapIsDrawnAsTheFirst)
{
    Form& form = screen();
    Plot& p = plot(form);
    auto& bike = dynamic_cast<Label&>(*form.FindElement("LBL_Bike"));
    lap("a.tlm", {{0, 10}, {600, 20}}, 2);
    lap("b.tlm", {{0, 30}, {300, 40}, {500, 50}}, 3);
    // A file whose sample count does not match its size.
    std::vector<std::uint8_t> bad;
    ASSERT_TRUE(platform::read_whole_file((dir_ / "menu" / "save" / "a.tlm").string(), bad));
    bad.resize(bad.size() - 1);
    ASSERT_TRUE(platform::write_whole_file((dir_ / "menu" / "save" / "bad.tlm").string(), bad));
    platform::invalidate_path_cache();

    EXPECT_TRUE(p.LoadLaps("a.tlm", "b.tlm", &form));
    EXPECT_TRUE(p.BothLaps());
    EXPECT_EQ(p.LapA().size(), 2u);
    EXPECT_EQ(p.LapB().size(), 3u);
    EXPECT_EQ(bike.m_nFirstRow, 2);
    EXPECT_EQ(bike.m_nCurrentRow, 2);
    // No circuit of that name: the lap is as long as the laps reach; the
    // window its first sixth.
    EXPECT_EQ(p.LapLength(), 600);
    EXPECT_EQ(p.WindowStart(), 0);
    EXPECT_EQ(p.WindowEnd(), 100);

    struct Case {
        const char* a;
        const char* b;
        bool read;
        std::size_t size_a, size_b;
        bool both;
    };
    for (const Case& c : {Case{"gone.tlm", "b.tlm", true, 3, 0, false}, Case{"bad.tlm", "a.tlm", true, 2, 0, false},
                          Case{"a.tlm", "", true, 2, 0, false}, Case{"../save/a.tlm", "bad.tlm", false, 0, 0, false},
                          Case{"", "", false, 0, 0, false}}) {
        EXPECT_EQ(p.LoadLaps(c.a, c.b, &form), c.read) << c.a << " " << c.b;
        EXPECT_EQ(p.LapA().size(), c.size_a) << c.a << " " << c.b;
        EXPECT_EQ(p.LapB().size(), c.size_b) << c.a << " " << c.b;
        EXPECT_EQ(p.BothLaps(), c.both) << c.a << " " << c.b;
        EXPECT_GE(p.WindowEnd() - p.WindowStart(), 1);
    }

    // A bike index beyond the label's rows, or one that reads negative as a
    // signed number, shows the last row.
    for (const std::uint32_t model : {9u, 0xFFFFFFFFu}) {
        lap("far.tlm", {{0, 1}}, model);
        EXPECT_NO_THROW(p.LoadLaps("far.tlm", "", &form));
        EXPECT_EQ(bike.m_nFirstRow, 3) << model;
    }
    // Loading resets the channels.
    p.ToggleChannel(4);
    p.LoadLaps("a.tlm", "b.tlm", &form);
    EXPECT_EQ(p.ShownCount(), 0);
    p.FreeLaps();
    EXPECT_TRUE(p.LapA().empty());
    EXPECT_FALSE(p.BothLaps());
}

// Where the plot puts a sample of channel 0 (range 0..127) in the whole
// control's rectangle, for a window `start`..`end`.
struct Point {
    int x, y;
};
Point Placed(const SampleSpec& s, int start, int end)
{
    const double value = 0.0 + s.value * (127.0 - 0.0) / 255.0;
    return {kLeft + static_cast<int>(std::trunc((s.distance - start) * kWidth / (end - start))),
            kBottom - static_cast<int>(std::trunc((value - 0.0) * kHeight / (127.0 - 0.0)))};
}

TEST_F(PlotTest, CurvesPassThroughThePointsTheSamplesArePlacedAt)
{
    Form& form = screen();
    Plot& p = plot(form);
    // Lap A high, lap B low, so that neither crosses the other; lap A goes
    // back once (that sample is skipped) and runs on past the window.
    const std::vector<SampleSpec> a = {{5, 200},   {40, 230},  {72, 180}, {110, 250}, {150, 190},
                                       {130, 255}, {170, 215}, {207, 240}, {215, 160}};
    const std::vector<SampleSpec> b = {{0, 20}, {50, 40}, {100, 10}, {160, 60}, {212, 30}};
    lap("a.tlm", a);
    lap("b.tlm", b);
    ASSERT_TRUE(p.LoadLaps("a.tlm", "b.tlm", &form));
    show(0);  // entering the screen resets the plot's view
    p.SetWindow(400, 20, 200);
    p.ToggleChannel(0);
    clear_screen(0);
    form.Invalidate();
    form.PaintAll();

    const std::uint16_t pen_a = rgb565_of_bgr(p.Slot(0).LapA), pen_b = rgb565_of_bgr(p.Slot(0).LapB);
    // Drawn: A from its first sample at or past the window's start on, the
    // one going back left out (the one at 207, before end + 10, lies right
    // of the rectangle: the line to it is cut at the edge).
    for (const SampleSpec& s : {a[1], a[2], a[3], a[4], a[6]}) {
        const Point pt = Placed(s, 20, 200);
        EXPECT_EQ(at(pt.x, pt.y), pen_a) << "lap A at " << s.distance << " (" << pt.x << ", " << pt.y << ")";
    }
    for (const SampleSpec& s : {b[1], b[2], b[3]}) {
        const Point pt = Placed(s, 20, 200);
        EXPECT_EQ(at(pt.x, pt.y), pen_b) << "lap B at " << s.distance;
    }
    // Not drawn: the sample going back, those before the window, and those
    // from end + 10 on (they lie outside the rectangle anyway, except the
    // one going back).
    const Point back = Placed(a[5], 20, 200);
    EXPECT_NE(at(back.x, back.y), pen_a);
    // Nothing of either lap outside the rectangle.
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (x < kLeft || x > kRight || y < kTop || y > kBottom) {
                const std::uint16_t v = at(x, y);
                if (v == pen_a || v == pen_b)
                    ADD_FAILURE() << "a curve at (" << x << ", " << y << ")";
            }
    // Lap B is drawn only when both laps were read.
    ASSERT_TRUE(p.LoadLaps("gone.tlm", "b.tlm", &form));
    p.SetWindow(400, 20, 200);
    p.ToggleChannel(0);
    clear_screen(0);
    form.Invalidate();
    form.PaintAll();
    const Point lone = Placed(b[2], 20, 200);
    EXPECT_EQ(at(lone.x, lone.y), pen_a);
    torvane_test::PngImage image = screenshot();
    std::string error;
    EXPECT_TRUE(torvane_test::write_png((dir_ / "curves.png").string(), image, &error)) << error;
}

// A whole plot: two laps, two channels apart, the circuit map with the
// window over it; the golden picture is the screen as painted.
TEST_F(PlotTest, APlotOfTwoLapsWithItsMapMatchesItsPicture)
{
    square_circuit();
    std::vector<SampleSpec> a, b;
    for (int i = 0; i <= 160; ++i) {
        const float d = static_cast<float>(i) * 10.0f;
        a.push_back({d, static_cast<std::uint8_t>(128 + 100 * std::sin(d / 90.0f))});
        b.push_back({d, static_cast<std::uint8_t>(128 + 90 * std::cos(d / 120.0f))});
    }
    lap("a.tlm", a, 1, "Square");
    lap("b.tlm", b, 1, "Square");
    Form& form = screen();
    Plot& p = plot(form);
    ASSERT_TRUE(p.LoadLaps("a.tlm", "b.tlm", &form));
    ASSERT_NE(p.Circuit(), nullptr);
    EXPECT_EQ(p.LapLength(), 1600);
    EXPECT_EQ(p.WindowEnd(), 266);
    show(0);
    p.Zoom(2.0f);
    p.ToggleChannel(3);
    p.ToggleChannel(5);
    p.SetOverlay(false);
    p.ToggleWindowBar();
    clear_screen(0);
    form.Invalidate();
    form.PaintAll();

    // The map: the default placement ((x + 3000) x 0.13, (z + 2300) x 0.13).
    // The window (0..399 after the zoom) covers the first straight, drawn
    // white; the others are grey.
    EXPECT_EQ(p.WindowEnd(), 399);
    const auto map = [](double x, double z) {
        const double scale = 0.13f;
        return Point{static_cast<int>((x + 3000.0) * scale), static_cast<int>((z + 2300.0) * scale)};
    };
    const Point first = map(0, 200);
    EXPECT_EQ(at(first.x, first.y), rgb565_of_bgr(0xFFFFFF));
    EXPECT_EQ(at(first.x + 1, first.y), rgb565_of_bgr(0xFFFFFF));  // a pen two pixels wide
    for (const Point grey : {map(200, 400), map(400, 200), map(200, 0)})
        EXPECT_EQ(at(grey.x, grey.y), rgb565_of_bgr(0xB6B6B6)) << grey.x << ", " << grey.y;
    torvane_test::expect_rgb_golden(std::string(TORVANE_MENU_GOLDEN_DIR) + "/telemetry_plot.png", screenshot(), 8,
                                    40);
}

} // namespace
