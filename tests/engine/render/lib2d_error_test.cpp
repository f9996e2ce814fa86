#include <string>

#include <gtest/gtest.h>

#include "engine/render/lib2d_error.h"
#include "platform/message_box.h"

TEST(Lib2dErrors, EachCodeShowsItsTextInTheLib2dBox)
{
    platform::clear_recorded_message_boxes();
    const struct {
        int code;
        const char* name;
        const char* text;
    } cases[] = {
        {8, "gfx\\a.pcx", "Cannot open sprite file! gfx\\a.pcx\r\n"},
        {7, "gfx\\a.pcx", "Cannot open sprite file, you must create D3D before!\r\n"},
        {2, "font.pcx", "parameteres error! in font.pcx\r\n"},
        {2, nullptr, "parameteres error! in \r\n"},
        {6, nullptr, "Cannot open font file!\r\n"},
        {9, nullptr, "General Lib2d Error!\r\n"},
        {-1, nullptr, "General Lib2d Error!\r\n"},
    };
    for (const auto& c : cases)
        lib2d_report_error(c.code, c.name);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), std::size(cases));
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].text, cases[i].text) << i;
        EXPECT_EQ(boxes[i].caption, "Lib2d Error Message");
    }
    platform::clear_recorded_message_boxes();
}

TEST(Lib2dErrors, AFormattedMessageIsCutToItsBuffer)
{
    platform::clear_recorded_message_boxes();
    lib2d_show_message("Cannot open %s (%d)", "menu.pcx", 3);
    const std::string long_name(2000, 'x');
    lib2d_show_message("Cannot open %s", long_name.c_str());
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Cannot open menu.pcx (3)\r\n");
    EXPECT_EQ(boxes[1].text, "Cannot open " + std::string(543 - 12, 'x') + "\r\n");
    platform::clear_recorded_message_boxes();
}
