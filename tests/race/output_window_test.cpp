#include <cmath>
#include <cstdio>
#include <cstdint>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/frame.h"
#include "platform/input_events.h"
#include "platform/native_event.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "race/output_window.h"
#include "tests/race/race_fixture.h"

namespace {

// The picture's colours of the curves by slot (the window's own table is in
// blue-green-red order): blue, green, red, magenta, cyan.
constexpr std::uint32_t kSlotColour[5] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFF00FF, 0x00FFFF};
constexpr std::uint32_t kWhite = 0xFFFFFF;

// A client area of 300 x 200 (the window's frame adds its borders).
constexpr int kClientW = 300, kClientH = 200;

std::vector<platform::Message>& OwnerMessages()
{
    static std::vector<platform::Message> seen;
    return seen;
}

platform::LResult OwnerProc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    OwnerMessages().push_back({w, m, wp, lp});
    return platform::def_window_proc(w, m, wp, lp);
}

// Dispatches every queued message, as the game's loop does over frames.
void DispatchAll()
{
    platform::Message m;
    while (platform::peek_message(m, true))
        platform::dispatch_message(m);
}

// Where the plot rules put a sample, computed here on their own: the sweep
// column trunc(w x fraction) mod w, the row ((slot + 1) - t) x h / n within
// the slot's band, t the value's share of the channel's range clamped to
// [0, 1], the row held within the band.
struct Expected {
    int x, y;
};
Expected Place(int slot, int n, int w, int h, const PlotChannelInfo& info, double fraction, double value)
{
    double t = (value - info.Min) / (info.Max - info.Min);
    t = std::isnan(t) ? 0.0 : std::fmin(std::fmax(t, 0.0), 1.0);
    long long x = static_cast<long long>(std::trunc(w * fraction)) % w;
    if (x < 0)
        x += w;
    const int top = slot * h / n, bottom = (slot + 1) * h / n - 1;
    int y = static_cast<int>(std::trunc((slot + 1 - t) * h / n));
    y = std::min(std::max(y, top), bottom);
    return {static_cast<int>(x), y};
}

// The rules of a step drawn whole, here on their own into a picture of the
// same size: every label drawn again at every step. The window keeps its
// picture and draws only what changed (a label again only where something
// was drawn over it), and must hold the same pixels at every moment.
class WholeRedraw {
public:
    WholeRedraw(int w, int h, std::vector<int> channels, bool bands) : channels_(std::move(channels)), bands_(bands)
    {
        picture.Resize(w, h);
        last_.assign(channels_.size(), {-1, 0});
        for (std::size_t i = 0; i < channels_.size(); ++i)
            last_[i].y = Band(static_cast<int>(i)).second;
    }
    void SetChannel(int slot, int index) { channels_[static_cast<std::size_t>(slot)] = index; }
    void Plot(int slot, float fraction, float value)
    {
        const int w = picture.Width(), h = picture.Height(), n = static_cast<int>(channels_.size());
        const PlotChannelInfo& info = kPlotChannels[channels_[static_cast<std::size_t>(slot)]];
        const auto share = [&](double v) {
            const double t = (v - info.Min) / (info.Max - info.Min);
            return t >= 0.0 ? std::fmin(t, 1.0) : 0.0;
        };
        long long x = static_cast<long long>(std::trunc(static_cast<double>(w) * fraction)) % w;
        if (x < 0)
            x += w;
        const auto [top, bottom] = Band(slot);
        const auto row = [&, top = top, bottom = bottom](double t) {
            const double at = bands_ ? (slot + 1 - t) * h / n : (1.0 - t) * h;
            return static_cast<int>(std::fmin(std::fmax(std::trunc(at), top), bottom));
        };
        const int y = row(share(value)), y0 = row(share(0.0));
        Point& last = last_[static_cast<std::size_t>(slot)];
        const int nx = static_cast<int>(x);
        if (last.x < 0)
            last.x = nx;
        if (nx < last.x)
            last.x = 0;
        if (nx != last.x) {
            if (bands_)
                picture.Fill(last.x + 1, top, nx + 2, bottom + 1, 0);
            else if (slot == 0)
                picture.Fill(last.x + 1, 0, nx + 2, h, 0);
            picture.Line(nx + 1, top, nx + 1, bottom, kWhite);
            picture.Line(nx + 1, bottom, last.x + 1, bottom, kWhite);
            picture.Line(last.x, y0, nx, y0, 0x7C7C7C);
        }
        const std::uint32_t colour = kSlotColour[slot % 5];
        char text[64];
        std::snprintf(text, sizeof text, "%f", static_cast<double>(info.Max));
        picture.Text(text, w - 5, top, PlotCanvas::Align::Right, PlotCanvas::Edge::Top, colour);
        std::snprintf(text, sizeof text, "%f", static_cast<double>(info.Min));
        picture.Text(text, w - 5, bottom + 1, PlotCanvas::Align::Right, PlotCanvas::Edge::Bottom, colour);
        picture.Text(info.Name, 5, top, PlotCanvas::Align::Left, PlotCanvas::Edge::Top, colour);
        picture.Line(last.x, last.y, nx, y, colour);
        last = {nx, y};
    }

    PlotCanvas picture;

private:
    struct Point {
        int x, y;
    };
    std::pair<int, int> Band(int slot) const
    {
        const int h = picture.Height(), n = static_cast<int>(channels_.size());
        if (!bands_)
            return {0, h - 1};
        return {slot * h / n, std::max((slot + 1) * h / n - 1, slot * h / n)};
    }
    std::vector<int> channels_;
    bool bands_;
    std::vector<Point> last_;
};

class OutputWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::shutdown_video_thread();
        platform::clear_input_events();
        OwnerMessages().clear();
        ASSERT_TRUE(platform::register_window_class("OwnerClass", 0, OwnerProc));
        owner_ = platform::create_window(0, "OwnerClass", "Game", 0, 0, 0, 640, 480);
        ASSERT_TRUE(owner_);
    }
    void TearDown() override
    {
        window_.reset();
        platform::shutdown_video_thread();
        platform::clear_input_events();
    }

    // Opens a window whose client area is kClientW x kClientH on the
    // default channels.
    OutputWindow& Open()
    {
        window_ = std::make_unique<OutputWindow>();
        const int count = static_cast<int>(std::size(OutputWindow::kDefaultChannels));
        window_->SetChannels(count);
        for (int slot = 0; slot < count; ++slot)
            EXPECT_TRUE(window_->SetChannel(slot, OutputWindow::kDefaultChannels[slot]));
        // The frame's borders and caption, as a framed window of the same
        // style has them.
        const platform::WindowHandle probe =
            platform::create_window(0, "OwnerClass", "", platform::WS_BORDER, 0, 0, 100, 100);
        platform::Rect client;
        EXPECT_TRUE(platform::get_client_rect(probe, client));
        platform::destroy_window(probe);
        const int frame_w = kClientW + 100 - client.right, frame_h = kClientH + 100 - client.bottom;
        EXPECT_TRUE(window_->Create(650, 0, frame_w, frame_h, owner_));
        EXPECT_EQ(window_->Picture().Width(), kClientW);
        EXPECT_EQ(window_->Picture().Height(), kClientH);
        DispatchAll();
        return *window_;
    }

    platform::WindowHandle owner_{};
    std::unique_ptr<OutputWindow> window_;
};

TEST_F(OutputWindowTest, OpensAsAToolWindowBesideItsOwnerAndShowsBlack)
{
    OutputWindow& w = Open();
    ASSERT_TRUE(w.IsOpen());
    EXPECT_EQ(platform::find_window("OutputClass"), w.Handle());
    EXPECT_TRUE(platform::is_window_visible(w.Handle()));
    platform::Rect frame;
    ASSERT_TRUE(platform::get_window_rect(w.Handle(), frame));
    EXPECT_EQ(frame.left, 650);
    const auto shown = platform::last_presented_frame(w.Handle());
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->width, kClientW);
    EXPECT_EQ(shown->height, kClientH);
    for (std::uint32_t p : shown->pixels)
        ASSERT_EQ(p, 0u);
    // The title is the text it is given.
    w.SetText("#0 Pos:1/ 120");
    EXPECT_EQ(platform::window_title(w.Handle()), "#0 Pos:1/ 120");
}

TEST_F(OutputWindowTest, WithoutChannelsTheWindowIsNeverMade)
{
    OutputWindow w;
    EXPECT_FALSE(w.Create(0, 0, 200, 200, owner_));
    w.SetChannels(0);
    EXPECT_FALSE(w.Create(0, 0, 200, 200, owner_));
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(platform::find_window("OutputClass"));
    // Out-of-range slots and table indices are refused.
    w.SetChannels(2);
    EXPECT_FALSE(w.SetChannel(2, 0));
    EXPECT_FALSE(w.SetChannel(0, kPlotChannelCount));
    EXPECT_FALSE(w.SetChannel(-1, 0));
    EXPECT_EQ(w.Channel(5), -1);
    // Nothing is plotted without a window.
    w.Plot(0, 0.5f, 50.0f);
    EXPECT_EQ(w.Picture().Width(), 0);
}

// A lap of the demo circuit as the race records it for the viewed bike
// (its race clock and the four default channels, every frame), plotted
// through the window: in the last sweep, the last sample of every column
// stands in its slot's colour where the rules place it.
TEST_F(OutputWindowTest, ARecordedLapIsPlottedWhereTheRulesPlaceItsSamples)
{
    struct Sample {
        float fraction;
        float value[4];
    };
    std::vector<Sample> lap;
    {
        class Recorder : public race_test::RaceFixture {
        public:
            void TestBody() override {}
            void Record(std::vector<Sample>& out)
            {
                SetUp();
                Start();
                // Racing for 14 s: more than one sweep of 10 s.
                for (int frame = 0; frame < 5000 && input.m_fRaceClock < 14.0f; ++frame) {
                    Frame(20);
                    if (!(flags() & kRaceRacing))
                        continue;
                    Sample s{0.1f * input.m_fRaceClock, {}};
                    for (int slot = 0; slot < 4; ++slot)
                        s.value[slot] = bike(0).AiChannelValue(OutputWindow::kDefaultChannels[slot]);
                    out.push_back(s);
                }
                TearDown();
            }
        } recorder;
        recorder.Record(lap);
    }
    ASSERT_GT(lap.size(), 100u);
    ASSERT_GE(lap.back().fraction, 1.2f);
    // The bike rode: the speed changed over the lap.
    EXPECT_GT(lap.back().value[2], lap.front().value[2] + 10.0f);

    OutputWindow& w = Open();
    for (const Sample& s : lap)
        for (int slot = 0; slot < 4; ++slot)
            w.Plot(slot, s.fraction, s.value[slot]);
    w.Present();

    const PlotCanvas& picture = w.Picture();
    std::size_t checked = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const PlotChannelInfo& info = kPlotChannels[OutputWindow::kDefaultChannels[slot]];
        // The last sample of each column of the last sweep.
        std::map<int, Expected> last_in_column;
        const double sweep = std::floor(lap.back().fraction);
        for (const Sample& s : lap)
            if (s.fraction >= sweep) {
                const Expected e = Place(slot, 4, kClientW, kClientH, info, s.fraction, s.value[slot]);
                last_in_column[e.x] = e;
            }
        for (const auto& [x, e] : last_in_column) {
            SCOPED_TRACE(testing::Message() << info.Name << " at column " << x);
            ASSERT_EQ(picture.At(e.x, e.y), kSlotColour[slot]) << "row " << e.y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 4u * 50u);
    // The sweep line stands just ahead of the newest column, over each band.
    const Expected newest = Place(0, 4, kClientW, kClientH, kPlotChannels[0], lap.back().fraction, 0.0);
    for (int y = 0; y < kClientH; y += 7)
        EXPECT_EQ(picture.At(newest.x + 1, y), kWhite) << y;
    // The window shows the picture as drawn.
    const auto shown = platform::last_presented_frame(w.Handle());
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->pixels, picture.Pixels());
}

// Frame after frame of a race's plot, from the countdown over three sweeps:
// steps of no column, one column and several, values over the whole range,
// beyond it and not numbers, a channel changed halfway. The picture the
// window keeps, drawing only what changed, equals the picture drawn whole at
// every step, and the window shows it. Cases: the default bands at the
// window's size; a small window whose labels cover one another and the
// curves; five channels over the whole height, all labels in the same
// places.
TEST_F(OutputWindowTest, ThePictureDrawnStepByStepIsThePictureDrawnWhole)
{
    const struct {
        const char* what;
        int width, height;
        std::vector<int> channels;
        bool bands;
    } cases[] = {
        {"default bands", kClientW, kClientH, {0, 1, 3, 4}, true},
        {"small window", 60, 30, {0, 1, 3, 4}, true},
        {"whole height", 120, 80, {0, 12, 3, 4, 7}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OutputWindow& w = Open();
        if (c.width != kClientW || c.height != kClientH) {
            ASSERT_TRUE(platform::set_client_size(w.Handle(), c.width, c.height, true));
            DispatchAll();
            ASSERT_EQ(w.Picture().Width(), c.width);
            ASSERT_EQ(w.Picture().Height(), c.height);
        }
        const int n = static_cast<int>(c.channels.size());
        w.m_bBandMode = c.bands;
        w.SetChannels(n);
        for (int slot = 0; slot < n; ++slot)
            w.SetChannel(slot, c.channels[static_cast<std::size_t>(slot)]);
        WholeRedraw whole(c.width, c.height, c.channels, c.bands);

        std::uint32_t seed = 12345;
        const auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        float fraction = -0.3f;
        std::size_t differing_steps = 0;
        for (int frame = 0; fraction < 3.0f; ++frame) {
            // Mostly a column or less per frame, now and then a jump.
            fraction += (next() % 16 == 0 ? 0.05f : 0.002f) * static_cast<float>(next() % 4);
            if (frame == 700) {
                w.SetChannel(n - 1, 27);
                whole.SetChannel(n - 1, 27);
            }
            for (int slot = 0; slot < n; ++slot) {
                const PlotChannelInfo& info = kPlotChannels[w.Channel(slot)];
                const unsigned pick = next() % 64;
                float value = info.Min + (info.Max - info.Min) * static_cast<float>(next() % 1000) / 999.0f;
                if (pick == 0)
                    value = std::numeric_limits<float>::quiet_NaN();
                else if (pick == 1)
                    value = info.Max * 3.0f + 1.0f;
                else if (pick == 2)
                    value = info.Min - 50.0f;
                w.Plot(slot, fraction, value);
                whole.Plot(slot, fraction, value);
            }
            if (w.Picture().Pixels() != whole.picture.Pixels())
                ++differing_steps;
            if (frame % 97 == 0) {
                w.Present();
                const auto shown = platform::last_presented_frame(w.Handle());
                ASSERT_TRUE(shown.has_value());
                ASSERT_EQ(shown->pixels, whole.picture.Pixels()) << "frame " << frame;
            }
        }
        EXPECT_EQ(differing_steps, 0u);
        w.Present();
        const auto shown = platform::last_presented_frame(w.Handle());
        ASSERT_TRUE(shown.has_value());
        EXPECT_EQ(shown->pixels, whole.picture.Pixels());
    }
}

// The title goes to the window only when it changes; a window made again
// starts without one and takes the same text again.
TEST_F(OutputWindowTest, TheTitleFollowsItsTextAcrossRepeatsAndANewWindow)
{
    OutputWindow& w = Open();
    w.SetText("#0 Pos:1/ 120");
    w.SetText("#0 Pos:1/ 120");
    EXPECT_EQ(platform::window_title(w.Handle()), "#0 Pos:1/ 120");
    w.SetText("#0 Pos:1/ 121");
    EXPECT_EQ(platform::window_title(w.Handle()), "#0 Pos:1/ 121");
    platform::destroy_window(w.Handle());
    DispatchAll();
    ASSERT_FALSE(w.IsOpen());
    ASSERT_TRUE(w.Create(650, 0, 200, 100, owner_));
    EXPECT_EQ(platform::window_title(w.Handle()), "");
    w.SetText("#0 Pos:1/ 121");
    EXPECT_EQ(platform::window_title(w.Handle()), "#0 Pos:1/ 121");
}

TEST_F(OutputWindowTest, ValuesAndPositionsAtTheEdges)
{
    OutputWindow& w = Open();
    const int band = kClientH / 4;
    const struct {
        const char* what;
        int slot;
        float fraction, value;
        int x, y;
    } cases[] = {
        {"above the maximum: the band's top", 0, 0.5f, 500.0f, 150, 0},
        {"below the minimum: the band's last row", 1, 0.5f, -3.0f, 150, 2 * band - 1},
        {"not a number: the band's last row", 2, 0.5f, std::numeric_limits<float>::quiet_NaN(), 150, 3 * band - 1},
        {"a quarter past one sweep", 3, 1.25f, 15000.0f, 75, 3 * band},
        {"before the start: counted from the right", 0, -0.25f, 127.0f, 225, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The first point of a curve joins it to its band's last row.
        w.SetChannels(4);
        for (int slot = 0; slot < 4; ++slot)
            w.SetChannel(slot, OutputWindow::kDefaultChannels[slot]);
        w.Plot(c.slot, c.fraction, c.value);
        EXPECT_EQ(w.Picture().At(c.x, c.y), kSlotColour[c.slot]);
    }
}

TEST_F(OutputWindowTest, AWrappedSweepWipesTheStripAheadOfTheCurve)
{
    OutputWindow& w = Open();
    // A flat curve at the top over most of the width, then the sweep wraps.
    for (float f = 0.0f; f < 0.9f; f += 0.01f)
        w.Plot(0, f, 127.0f);
    EXPECT_EQ(w.Picture().At(200, 0), kSlotColour[0]);
    for (float f = 1.0f; f < 1.75f; f += 0.01f)
        w.Plot(0, f, 0.0f);
    // Wiped ahead of the new curve up to its sweep line: the old curve is
    // gone there, and it stays beyond the line.
    EXPECT_EQ(w.Picture().At(200, 0), 0u);
    EXPECT_EQ(w.Picture().At(250, 0), kSlotColour[0]);
    // The band's last row is white along the wiped strip, under the curve
    // where it runs at the minimum.
    EXPECT_EQ(w.Picture().At(150, kClientH / 4 - 1), kSlotColour[0]);
    // Other bands are not touched.
    EXPECT_EQ(w.Picture().At(200, kClientH / 4 + 20), 0u);
}

TEST_F(OutputWindowTest, AllChannelsOverTheWholeHeight)
{
    OutputWindow& w = Open();
    w.m_bBandMode = false;
    w.SetChannels(2);
    w.SetChannel(0, 0);  // throttle 0..127
    w.SetChannel(1, 12); // steer -1..1: its zero line is in the middle
    for (float f = 0.0f; f < 0.5f; f += 0.01f) {
        w.Plot(0, f, 127.0f);
        w.Plot(1, f, -1.0f);
    }
    EXPECT_EQ(w.Picture().At(100, 0), kSlotColour[0]);
    EXPECT_EQ(w.Picture().At(100, kClientH - 1), kSlotColour[1]);
    EXPECT_EQ(w.Picture().At(100, kClientH / 2), 0x7C7C7Cu);
}

TEST_F(OutputWindowTest, LabelsShowTheNameAndTheRangeOfEachBand)
{
    OutputWindow& w = Open();
    w.Plot(2, 0.5f, 100.0f);
    const PlotCanvas& p = w.Picture();
    // "Speed (km/h)" from x 5 at the band's top: the S's first row is its
    // columns 1 to 4.
    const int top = 2 * kClientH / 4;
    const std::uint8_t* s = PlotCanvas::Glyph('S');
    for (int column = 0; column < PlotCanvas::kGlyphWidth; ++column)
        EXPECT_EQ(p.At(5 + column, top) != 0, (s[0] & (0x10 >> column)) != 0) << column;
    // "280.000000" ends 5 pixels from the right at the top; "0.000000"
    // likewise at the band's bottom.
    const int right = kClientW - 5;
    const std::uint8_t* zero = PlotCanvas::Glyph('0');
    for (int column = 0; column < PlotCanvas::kGlyphWidth; ++column) {
        const bool ink = (zero[0] & (0x10 >> column)) != 0;
        EXPECT_EQ(p.At(right - PlotCanvas::kGlyphWidth + column, top) == kSlotColour[2], ink);
        EXPECT_EQ(p.At(right - PlotCanvas::kGlyphWidth + column, 3 * kClientH / 4 - PlotCanvas::kTextHeight) ==
                      kSlotColour[2],
                  ink);
    }
}

TEST_F(OutputWindowTest, NothingIsPlottedWhileTheWindowIsMinimised)
{
    OutputWindow& w = Open();
    platform::show_window(w.Handle(), platform::SW_MINIMIZE);
    DispatchAll();
    EXPECT_EQ(w.Picture().Width(), 0);
    w.Plot(0, 0.5f, 60.0f); // no division by the empty width
    w.Present();
    platform::show_window(w.Handle(), platform::SW_RESTORE);
    DispatchAll();
    EXPECT_EQ(w.Picture().Width(), kClientW);
    w.Plot(0, 0.5f, 127.0f);
    EXPECT_EQ(w.Picture().At(150, 0), kSlotColour[0]);
}

TEST_F(OutputWindowTest, KeysGoOnToTheGameAndClosingClosesOnlyThePlot)
{
    OutputWindow& w = Open();
    OwnerMessages().clear();
    platform::NativeEvent key;
    key.kind = platform::NativeEventKind::KeyDown;
    key.window = w.Handle();
    key.sdl_keycode = 27;  // Escape
    key.sdl_scancode = 41;
    ASSERT_TRUE(platform::deliver_native_event(key));
    DispatchAll();
    bool owner_had_key = false;
    for (const platform::Message& m : OwnerMessages())
        owner_had_key = owner_had_key || (m.message == platform::WM_KEYDOWN && m.window == owner_);
    EXPECT_TRUE(owner_had_key);

    platform::NativeEvent close;
    close.kind = platform::NativeEventKind::CloseRequest;
    close.window = w.Handle();
    ASSERT_TRUE(platform::deliver_native_event(close));
    DispatchAll();
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(platform::find_window("OutputClass"));
    EXPECT_TRUE(platform::is_window(owner_));
    for (const platform::Message& m : OwnerMessages())
        EXPECT_NE(m.message, platform::WM_DESTROY);
    platform::Message m;
    while (platform::peek_message(m, true))
        EXPECT_NE(m.message, platform::WM_QUIT);
    // Plotting goes on doing nothing.
    w.Plot(0, 0.5f, 60.0f);
    w.Present();
}

} // namespace
