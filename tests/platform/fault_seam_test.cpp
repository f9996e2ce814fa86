#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

TEST(FaultSeam, ArmedFaultFiresOnceThenClears)
{
    platform::clear_faults();
    EXPECT_FALSE(platform::take_fault(platform::Fault::FileOpen));
    platform::fail_next(platform::Fault::FileOpen, 2);
    EXPECT_FALSE(platform::take_fault(platform::Fault::ThreadCreate));
    EXPECT_TRUE(platform::take_fault(platform::Fault::FileOpen));
    EXPECT_TRUE(platform::take_fault(platform::Fault::FileOpen));
    EXPECT_FALSE(platform::take_fault(platform::Fault::FileOpen));
    platform::fail_next(platform::Fault::WindowCreate);
    platform::clear_faults();
    EXPECT_FALSE(platform::take_fault(platform::Fault::WindowCreate));
}

TEST(AtomicFile, InterruptedWriteKeepsTheOldFile)
{
    const auto dir = torvane_test::make_temp_dir("atomic");
    const std::string path = (dir / "f.bin").string();
    std::string error;
    ASSERT_TRUE(platform::write_file_atomic(path, std::vector<std::uint8_t>{1, 2, 3}, &error)) << error;

    const platform::Fault fault = platform::Fault::RegistryWrite;
    platform::fail_next(fault);
    EXPECT_FALSE(platform::write_file_atomic(path, std::vector<std::uint8_t>{9, 9}, &error, &fault));
    EXPECT_FALSE(error.empty());

    std::vector<std::uint8_t> back;
    ASSERT_TRUE(platform::read_file_whole(path, back, &error));
    EXPECT_EQ(back, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(AtomicFile, ReportsAFolderThatDoesNotExist)
{
    std::string error;
    const auto dir = torvane_test::make_temp_dir("atomic");
    EXPECT_FALSE(platform::write_file_atomic((dir / "no" / "f.bin").string(), "x", 1, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    std::vector<std::uint8_t> back;
    EXPECT_FALSE(platform::read_file_whole((dir / "none").string(), back, &error));
}

TEST(MessageBox, RecorderKeepsEveryBoxAndAnswersAtOnce)
{
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(platform::message_box("Can't access version information", "Error", platform::MB_ICONHAND),
              platform::IDOK);
    EXPECT_EQ(platform::message_box("Quit?", "Torvane", platform::MB_YESNO), platform::IDYES);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Can't access version information");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].style, 16u);
    EXPECT_EQ(boxes[1].style, platform::MB_YESNO);
}
