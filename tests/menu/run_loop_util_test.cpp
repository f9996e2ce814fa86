// The run loop's small services: the formatted message box, owned string
// arrays, the next free save-file name and video playback.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "menu/run_menu.h"
#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(MessageBoxf, ShowsTheFormattedTextWithALineEndCaptionedMessage)
{
    platform::clear_recorded_message_boxes();
    MessageBoxf("Lap %d of %s", 3, "five");
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Lap 3 of five\r\n");
    EXPECT_EQ(boxes[0].caption, "Message");
    platform::clear_recorded_message_boxes();
}

TEST(StringArray, EntriesAreOwnedCopiesAndIndicesOutsideAreIgnored)
{
    StringArray array(3);
    EXPECT_EQ(array.Count(), 3);
    EXPECT_EQ(array.Get(0), nullptr) << "nothing set yet";
    std::string text = "Monza";
    array.Set(1, text.c_str());
    text = "Sugo";
    EXPECT_STREQ(array.Get(1), "Monza") << "a copy";
    array.Set(1, "Assen");
    EXPECT_STREQ(array.Get(1), "Assen") << "replaced";
    array.Set(3, "past the end");
    array.Set(-1, "before the start");
    EXPECT_EQ(array.Get(3), nullptr);
    EXPECT_EQ(array.Get(-1), nullptr);
    array.Set(1, nullptr);
    EXPECT_EQ(array.Get(1), nullptr);
    array.Free();
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(StringArray(-4).Count(), 0);
}

TEST(NextFreeFileName, TakesTheFirstNumberThatDoesNotOpen)
{
    const auto dir = torvane_test::make_temp_dir("names");
    torvane_test::ScopedCwd cwd(dir);
    std::filesystem::create_directories(dir / "menu" / "save");
    for (const char* name : {"Champ1.shp", "champ2.SHP", "Champ4.shp", "Champ3.ahp"})
        std::ofstream(dir / "menu" / "save" / name) << "x";
    std::string out;
    // Names are found without regard to case; another extension is another
    // name; the folder is not part of the result.
    ASSERT_TRUE(NextFreeFileName(out, ".\\menu\\save\\", "Champ", "shp"));
    EXPECT_EQ(out, "Champ3.shp");
    ASSERT_TRUE(NextFreeFileName(out, ".\\menu\\save\\", "Champ", "ahp"));
    EXPECT_EQ(out, "Champ1.ahp");
    // A folder that is not there has every name free.
    ASSERT_TRUE(NextFreeFileName(out, ".\\nowhere\\", "Champ", "shp"));
    EXPECT_EQ(out, "Champ1.shp");
}

TEST(PlayVideo, AVideoEndsAtOnceAsOneThatCannotBeOpened)
{
    EXPECT_NE(PlayVideo(".\\menu\\video\\intro.avi", 640, 480), 0);
}

} // namespace
