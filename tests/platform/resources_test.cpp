#include <gtest/gtest.h>

#include "platform/fault_seam.h"
#include "platform/resources.h"
#include "platform/version.h"

using namespace platform;

TEST(Resources, StringOneIsTheWindowTitleAndUnknownIdsHaveNone)
{
    EXPECT_EQ(load_string(IDS_APP_TITLE), "Torvane");
    for (unsigned id : {0u, 2u, 101u, 65535u})
        EXPECT_FALSE(load_string(id)) << id;
}

TEST(Resources, TheVersionWordsComeFromTheBuild)
{
    clear_faults();
    std::uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(program_version(ms, ls));
    EXPECT_EQ(ms >> 16, std::uint32_t(TORVANE_VERSION_MAJOR));
    EXPECT_EQ(ms & 0xFFFF, std::uint32_t(TORVANE_VERSION_MINOR));
    EXPECT_EQ(ls >> 16, std::uint32_t(TORVANE_VERSION_PATCH));
    EXPECT_EQ(ls & 0xFFFF, std::uint32_t(TORVANE_VERSION_BUILD));

    VersionBlock block{};
    ASSERT_TRUE(program_version_block(block));
    EXPECT_EQ(block[0], 0xFEEF04BDu);
    EXPECT_EQ(block[2], ms); // file version
    EXPECT_EQ(block[3], ls);
    EXPECT_EQ(block[4], ms); // product version
    EXPECT_EQ(block[5], ls);

    fail_next(Fault::VersionInfo);
    VersionBlock untouched{};
    EXPECT_FALSE(program_version_block(untouched));
    EXPECT_EQ(untouched[0], 0u);
    EXPECT_TRUE(program_version(ms, ls));
}
