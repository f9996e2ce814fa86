#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "menu/anim_strip.h"
#include "platform/file.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/mix_writer.h"
#include "tools/datakit/pcx_writer.h"

namespace {

using menu_test::kInkBlue;
using menu_test::kInkGreen;
using menu_test::kInkRed;
using menu_test::kInkYellow;
using menu_test::picture_pixel565;

class AnimStripTest : public menu_test::MenuFixture {
protected:
    // The fill colour at the middle of a 20 x 10 frame drawn at (100, 100).
    std::uint32_t shown_fill(const AnimStrip& strip)
    {
        clear_screen();
        strip.Draw(100, 100);
        return pixel(110, 105);
    }
    // An archive "sprites.mix" holding 20 x 10 frames under the names.
    void archive(const std::vector<std::string>& names)
    {
        datakit::MixWriter mix;
        for (const std::string& name : names)
            ASSERT_TRUE(mix.add(name, datakit::pcx_bytes(menu_test::framed_picture(20, 10, kInkGreen, kInkRed)),
                                datakit::MixStorage::Plain, false));
        std::string error;
        ASSERT_TRUE(mix.write(dir_ / "sprites.mix", error)) << error;
    }
};

TEST_F(AnimStripTest, APrefixTakesEveryFrameOnDiskInNameOrderFromTheSpriteCache)
{
    std::filesystem::create_directories(dir_ / "sprites");
    // Names in mixed case: the order ignores case.
    data_.picture("sprites/Btn1.pcx", menu_test::framed_picture(20, 10, kInkGreen, kInkRed));
    data_.picture("sprites/btn0.pcx", menu_test::framed_picture(20, 10, kInkBlue, kInkRed));
    data_.picture("sprites/BTN2.pcx", menu_test::framed_picture(20, 10, kInkYellow, kInkRed));
    AnimStrip strip;
    strip.Load("sprites\\btn", 20, 10);
    ASSERT_EQ(strip.Count(), 3);
    std::int32_t w = 0, h = 0;
    strip.GetSize(w, h);
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 10);
    for (const std::uint8_t fill : {kInkBlue, kInkGreen, kInkYellow}) {
        EXPECT_EQ(shown_fill(strip), picture_pixel565(fill));
        strip.NextFrame();
    }
    EXPECT_EQ(strip.m_nCurrent, 0);  // wrapped
    EXPECT_EQ(manager_.SpriteCount(), 3);

    // A second strip of the same frames shares the cached pictures; freeing
    // a strip leaves them in the cache.
    AnimStrip again;
    again.Load("sprites\\btn", 20, 10);
    EXPECT_EQ(again.m_Frames, strip.m_Frames);
    strip.Free();
    EXPECT_EQ(strip.Count(), 0);
    EXPECT_EQ(manager_.SpriteCount(), 3);

    // A name with an extension is one picture, also behind a folder prefix
    // that starts with ".".
    AnimStrip one;
    one.Load(".\\sprites\\btn0.pcx", 20, 10);
    ASSERT_EQ(one.Count(), 1);
    EXPECT_EQ(shown_fill(one), picture_pixel565(kInkBlue));
}

TEST_F(AnimStripTest, FramesNotOnDiskComeFromTheNumberedEntriesOfTheArchive)
{
    struct Case {
        std::vector<std::string> entries;
        const char* name;
        int frames;
    };
    const Case cases[] = {
        {{"btn0.pcx", "btn1.pcx", "btn2.pcx", "btn4.pcx"}, "sprites\\btn", 3},  // ends at the first gap
        {{"btn00.pcx", "btn01.pcx"}, "sprites\\btn", 2},                         // two digits
        {{"one.pcx"}, "sprites\\one.pcx", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        archive(c.entries);
        AnimStrip strip;
        strip.Load(c.name, 20, 10);
        EXPECT_EQ(strip.Count(), c.frames);
        EXPECT_EQ(shown_fill(strip), picture_pixel565(kInkGreen));
    }

    // An archive without the frames, and no archive at all.
    const auto message = [](const char* name) {
        try {
            AnimStrip strip;
            strip.Load(name, 20, 10);
        } catch (const GameError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(message("sprites\\none"), "frame not found sprites\\none");
    EXPECT_EQ(message("sprites\\none.pcx"), "frame not found sprites\\none.pcx");
    EXPECT_EQ(message("elsewhere\\btn"), "Main mixer file not found");
}

TEST_F(AnimStripTest, FramesStepWithinTheirHalfAndTheSelectedLookShowsTheSecondHalf)
{
    data_.strip("six", 20, 10, {1, 2, 3, 4, 5, 6});
    AnimStrip strip;
    strip.Load("six", 20, 10);
    ASSERT_EQ(strip.Count(), 6);

    struct Case {
        bool halves;
        int steps;    // positive: NextFrame, negative: PrevFrame
        int current;
    };
    const Case cases[] = {
        {false, 5, 5}, {false, 6, 0}, {false, -1, 5}, {true, 3, 0}, {true, 2, 2}, {true, -1, 2},
    };
    for (const Case& c : cases) {
        strip.m_bTwoHalves = c.halves;
        strip.SetState(0);
        for (int i = 0; i < std::abs(c.steps); ++i)
            c.steps > 0 ? strip.NextFrame() : strip.PrevFrame();
        EXPECT_EQ(strip.m_nCurrent, c.current) << c.halves << " " << c.steps;
    }
    strip.m_bTwoHalves = true;
    strip.SetState(1);
    strip.m_bSelected = true;
    EXPECT_EQ(strip.ShownFrame(), 4);
    EXPECT_EQ(shown_fill(strip), picture_pixel565(5));

    // A strip of one frame split in halves has an empty half: stepping
    // keeps frame 0 rather than dividing by nothing.
    AnimStrip single;
    single.Load("six0.pcx", 20, 10);
    single.m_bTwoHalves = true;
    single.NextFrame();
    single.PrevFrame();
    EXPECT_EQ(single.m_nCurrent, 0);
}

TEST_F(AnimStripTest, AFrameOutsideTheStripIsRefusedAndAStateFileKeepsTheFrame)
{
    data_.strip("three", 20, 10, {kInkRed, kInkGreen, kInkBlue});
    AnimStrip strip;
    // Before loading any frame is taken, and nothing is drawn for it.
    strip.SetState(7);
    EXPECT_EQ(shown_fill(strip), 0u);
    strip.Load("three", 20, 10);
    for (const int bad : {3, 4, -1}) {
        try {
            strip.SetState(bad);
            ADD_FAILURE() << bad;
        } catch (const GameError& e) {
            EXPECT_STREQ(e.what(), "out of range in SetState");
        }
    }
    strip.SetFrameClamped(9);
    EXPECT_EQ(strip.m_nCurrent, 2);
    strip.SetFrameClamped(-4);
    EXPECT_EQ(strip.m_nCurrent, 0);

    strip.SetState(2);
    platform::File out;
    ASSERT_TRUE(out.open("strip.sav", "wb"));
    strip.SaveState(out);
    const std::int32_t bad_frame = 3;
    const std::uint8_t bad[4] = {bad_frame, 0, 0, 0};
    ASSERT_EQ(out.write(bad, 4), 4u);
    ASSERT_TRUE(out.close());

    AnimStrip back;
    back.Load("three", 20, 10);
    platform::File in;
    ASSERT_TRUE(in.open("strip.sav", "rb"));
    back.LoadState(in);
    EXPECT_EQ(back.m_nCurrent, 2);
    EXPECT_EQ(shown_fill(back), picture_pixel565(kInkBlue));
    // A frame the strip does not have, then the end of the file.
    EXPECT_THROW(back.LoadState(in), GameError);
    try {
        back.LoadState(in);
        ADD_FAILURE();
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "menu state file too short");
    }
    EXPECT_EQ(back.m_nCurrent, 2);
}

TEST_F(AnimStripTest, TheBackgroundRectangleClipsEveryFrame)
{
    data_.strip("two", 20, 10, {kInkRed, kInkGreen});
    AnimStrip strip;
    strip.Load("two", 20, 10);
    strip.DrawBackground(100, 100, 105, 110);
    for (const int frame : {0, 1}) {
        strip.SetState(frame);
        clear_screen();
        strip.Draw(100, 100);
        EXPECT_NE(pixel(104, 105), 0u) << frame;
        EXPECT_EQ(pixel(105, 105), 0u) << frame;  // right edge excluded
    }
}

} // namespace
