#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "menu/command_button.h"
#include "menu/image.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "tests/menu/menu_fixture.h"

namespace {

using menu_test::kInkBlue;
using menu_test::kInkGreen;
using menu_test::kInkRed;
using menu_test::picture_pixel565;
using menu_test::place;

class ImageTest : public menu_test::MenuFixture {
protected:
    void TearDown() override
    {
        platform::clear_test_clock();
        MenuFixture::TearDown();
    }
    Image& image(Form& form, const char* name)
    {
        Control* control = form.FindElement(name);
        EXPECT_NE(control, nullptr) << name;
        EXPECT_EQ(control->m_nType, kControlImage);
        return *static_cast<Image*>(control);
    }
    // The fill at the middle of a 20 x 10 frame drawn at (x, y).
    std::uint32_t fill_at(int x, int y) { return pixel(x + 10, y + 5); }
};

TEST_F(ImageTest, AnImageLoadsItsStripAndItsAnimationKeys)
{
    data_.strip("six", 20, 10, {1, 2, 3, 4, 5, 6});
    data_.strip("one", 20, 10, {kInkRed});
    datakit::FormFileWriter file = menu_test::screen_file("images");
    // Animated by default; a single frame never is.
    place(file.begin("Image", "plain"), 10, 10, 20, 10).key("Graphic", "six").end();
    place(file.begin("Image", "still").key("Animated", 0).key("Graphic", "six"), 10, 30, 20, 10)
        .key("Selectable", 1)
        .end();
    place(file.begin("Image", "single").key("Graphic", "one"), 10, 50, 20, 10).end();
    place(file.begin("Image", "timed").key("Graphic", "six"), 10, 70, 20, 10).end();
    file.end();
    data_.screen("images", file);
    datakit::FormFileWriter defaults = datakit::FormFileWriter::defaults();
    defaults.begin("Image", "still").key("Animated", 1).end();  // the block's own key wins
    defaults.begin("Image", "timed").key("Animated", 0).key("Time", 250).end();
    data_.defaults("images", defaults);

    Form& form = load_screen("images");
    struct Expect {
        const char* name;
        bool animated;
        bool halves;
        int frame_time;
        int frames;
    };
    for (const Expect& e : {Expect{"plain", true, false, 50, 6}, Expect{"still", false, true, 50, 6},
                            Expect{"single", false, false, 50, 1}, Expect{"timed", false, false, 250, 6}}) {
        SCOPED_TRACE(e.name);
        Image& im = image(form, e.name);
        EXPECT_EQ(im.m_bAnimated, e.animated);
        EXPECT_EQ(im.m_Strip.m_bTwoHalves, e.halves);
        EXPECT_EQ(im.m_nFrameTime, e.frame_time);
        EXPECT_EQ(im.m_Strip.Count(), e.frames);
        std::int32_t w = 0, h = 0;
        im.m_Strip.GetSize(w, h);
        EXPECT_EQ(w, 20);
        EXPECT_EQ(h, 10);
    }

    // An image without a picture does not load.
    datakit::FormFileWriter bad = menu_test::screen_file("bad");
    place(bad.begin("Image", "empty"), 0, 0, 20, 10).end();
    bad.end();
    data_.screen("bad", bad);
    try {
        load_screen("bad");
        ADD_FAILURE();
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "Graphic not found in empty (screen file bad.dat)");
    }
}

TEST_F(ImageTest, ASelectableImageAnimatesOverItsFirstHalfAndShowsTheSecondWhileFocused)
{
    data_.strip("six", 20, 10, {1, 2, 3, 4, 5, 6});
    datakit::FormFileWriter file = menu_test::screen_file("anim");
    place(file.begin("Image", "dial").key("Graphic", "six"), 100, 100, 20, 10).key("Selectable", 1).end();
    file.end();
    data_.screen("anim", file);
    datakit::FormFileWriter defaults = datakit::FormFileWriter::defaults();
    defaults.begin("Image", "dial").key("Time", 100).end();
    data_.defaults("anim", defaults);
    Form& form = load_screen("anim");
    show();
    Image& dial = image(form, "dial");

    platform::set_test_clock(10000);
    // Frames seen after each wait (ms) before a paint pass: a step needs
    // more than the frame time since the last one.
    struct Step {
        std::uint32_t wait;
        int frame;
    };
    const Step steps[] = {{0, 1}, {100, 1}, {1, 2}, {101, 0}, {50, 0}, {60, 1}};
    for (const Step& s : steps) {
        platform::advance_test_clock(s.wait);
        clear_screen();
        dial.Invalidate();
        EXPECT_TRUE(dial.Paint());
        EXPECT_EQ(dial.m_Strip.m_nCurrent, s.frame);
        EXPECT_EQ(fill_at(100, 100), picture_pixel565(static_cast<std::uint8_t>(1 + s.frame)));
    }
    // Focused: the same frame of the second half.
    dial.GotFocus();
    clear_screen();
    dial.Draw();
    EXPECT_EQ(fill_at(100, 100), picture_pixel565(5));
    dial.LostFocus();
    clear_screen();
    dial.Draw();
    EXPECT_EQ(fill_at(100, 100), picture_pixel565(2));

    // Hidden in the current state: nothing is drawn.
    dial.m_nVisibleInState = 77;
    clear_screen();
    dial.Invalidate();
    EXPECT_FALSE(dial.Paint());
    EXPECT_EQ(fill_at(100, 100), 0u);
}

TEST_F(ImageTest, NotificationsStepFramesAndGoRoundALinkRingOnce)
{
    data_.strip("four", 20, 10, {kInkRed, kInkGreen, kInkBlue, 5});
    datakit::FormFileWriter file = menu_test::screen_file("links");
    const auto still = [&](const char* name, const char* link, int top) {
        file.begin("Image", name).key("Animated", 0).key("Graphic", "four");
        if (link)
            file.key("LinkedTo", link);
        place(file, 10, top, 20, 10).end();
    };
    still("self", "self", 10);
    still("ring_a", "ring_b", 30);
    still("ring_b", "ring_a", 50);
    still("target", nullptr, 70);
    place(file.begin("CommandButton", "next").key("Command", -2).key("FontType", "nofont").key("LinkedTo", "target"),
          10, 90, 40, 20)
        .end();
    file.end();
    data_.screen("links", file);
    Form& form = load_screen("links");
    show();

    Image& self = image(form, "self");
    self.Notify(-2);
    EXPECT_EQ(self.m_Strip.m_nCurrent, 1);
    self.Notify(-3);
    self.Notify(-3);
    EXPECT_EQ(self.m_Strip.m_nCurrent, 3);

    Image& a = image(form, "ring_a");
    Image& b = image(form, "ring_b");
    a.Notify(-2);
    EXPECT_EQ(a.m_Strip.m_nCurrent, 1);
    EXPECT_EQ(b.m_Strip.m_nCurrent, 1);
    a.Notify(-7);  // another code only goes along the links
    EXPECT_EQ(a.m_Strip.m_nCurrent, 1);
    EXPECT_EQ(b.m_Strip.m_nCurrent, 1);

    // A button's command reaches the control it is linked to.
    auto& button = *static_cast<CommandButton*>(form.FindElement("next"));
    button.Activate();
    EXPECT_EQ(image(form, "target").m_Strip.m_nCurrent, 1);
}

TEST_F(ImageTest, AFractionChoosesAFrameWithinTheStrip)
{
    data_.strip("four", 20, 10, {kInkRed, kInkGreen, kInkBlue, 5});
    datakit::FormFileWriter file = menu_test::screen_file("gauge");
    place(file.begin("Image", "gauge").key("Animated", 0).key("Graphic", "four"), 10, 10, 20, 10).end();
    file.end();
    data_.screen("gauge", file);
    Form& form = load_screen("gauge");
    show();
    Image& gauge = image(form, "gauge");

    struct Case {
        float f;
        int frame;
        bool unchanged;
    };
    const Case cases[] = {
        {0.0f, 0, true},  {0.5f, 2, false}, {0.74f, 2, true}, {0.99f, 3, false}, {1.0f, 3, true},
        {7.0f, 3, true},  {-0.5f, 0, false}, {std::numeric_limits<float>::quiet_NaN(), 0, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gauge.SetFrameFraction(c.f), c.unchanged) << c.f;
        EXPECT_EQ(gauge.m_Strip.m_nCurrent, c.frame) << c.f;
    }

    // Moved, it is drawn at its new place; its frame goes to a state file.
    gauge.SetFrameFraction(0.5f);
    clear_screen();
    gauge.MoveTo(200.0f, 150.0f);
    EXPECT_EQ(fill_at(200, 150), picture_pixel565(kInkBlue));
    EXPECT_EQ(fill_at(10, 10), 0u);

    platform::File out;
    ASSERT_TRUE(out.open("image.sav", "wb"));
    gauge.SaveState(out);
    ASSERT_TRUE(out.close());
    gauge.SetFrameFraction(0.0f);
    platform::File in;
    ASSERT_TRUE(in.open("image.sav", "rb"));
    gauge.LoadState(in);
    EXPECT_EQ(gauge.m_Strip.m_nCurrent, 2);
}

} // namespace
