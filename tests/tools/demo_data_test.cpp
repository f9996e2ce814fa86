#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_data.h"

TEST(DemoData, MakesTheFourDataFolders)
{
    const auto root = torvane_test::make_temp_dir("demo");
    std::string error;
    ASSERT_TRUE(datakit::make_demo_data(root, error)) << error;
    for (const char* folder : {"Data", "Gfx", "Sfx", "menu"})
        EXPECT_TRUE(std::filesystem::is_directory(root / folder)) << folder;
}

TEST(DemoData, ReportsAFolderThatCannotBeCreated)
{
    const auto root = torvane_test::make_temp_dir("demo");
    // A plain file where the data folder should go.
    { std::FILE* f = std::fopen((root / "blocked").c_str(), "w"); ASSERT_TRUE(f); std::fclose(f); }
    std::string error;
    EXPECT_FALSE(datakit::make_demo_data(root / "blocked", error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}
