#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/lzw_encoder.h"
#include "tools/datakit/mix_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t u32_at(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

} // namespace

TEST(MixWriter, LaysOutDataThenDirectoryThenItsSize)
{
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("A.bin", {1, 2, 3}, datakit::MixStorage::Plain, false));
    ASSERT_TRUE(writer.add_text("b.txt", "hello hello hello hello", datakit::MixStorage::Compressed));
    const Bytes archive = writer.build();

    const Bytes packed = datakit::lzw_encode(Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'h', 'e', 'l', 'l', 'o', ' ', 'h', 'e',
                                                   'l', 'l', 'o', ' ', 'h', 'e', 'l', 'l', 'o'});
    const std::size_t data_size = 3 + packed.size();
    ASSERT_EQ(archive.size(), data_size + 64 + 4);
    EXPECT_EQ(u32_at(archive, archive.size() - 4), 64u);
    EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(Bytes(archive.begin() + 3, archive.begin() + static_cast<std::ptrdiff_t>(data_size)), packed);

    // Names are stored XORed with 0xD3 and padded with stored 0xD3 (plain 0).
    const std::size_t first = data_size;
    const char name[] = "A.bin";
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint8_t plain = i < 5 ? static_cast<std::uint8_t>(name[i]) : 0;
        EXPECT_EQ(archive[first + i], plain ^ 0xD3) << i;
    }
    EXPECT_EQ(u32_at(archive, first + 16), 0u);
    EXPECT_EQ(u32_at(archive, first + 20), 3u);
    EXPECT_EQ(u32_at(archive, first + 24), 3u);
    EXPECT_EQ(u32_at(archive, first + 28), 0u);

    const std::size_t second = first + 32;
    EXPECT_EQ(archive[second] ^ 0xD3, 'b');
    EXPECT_EQ(u32_at(archive, second + 16), 3u);
    EXPECT_EQ(u32_at(archive, second + 20), packed.size());
    EXPECT_EQ(u32_at(archive, second + 24), 23u);
    EXPECT_EQ(u32_at(archive, second + 28), 3u); // text, compressed
}

TEST(MixWriter, StoresEachEntryAsAsked)
{
    const Bytes repetitive(1000, 'r');
    const Bytes noisy = {9, 200, 17, 3};
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("smaller", repetitive, datakit::MixStorage::Smaller, false));
    ASSERT_TRUE(writer.add("larger", noisy, datakit::MixStorage::Smaller, false));
    ASSERT_TRUE(writer.add("plaintext", {'a', '\n'}, datakit::MixStorage::Plain, true));
    const Bytes archive = writer.build();
    const std::size_t dir = archive.size() - 4 - 96;
    EXPECT_EQ(u32_at(archive, dir + 28), 2u);      // compressed: it was smaller
    EXPECT_EQ(u32_at(archive, dir + 32 + 28), 0u); // kept plain: packing would grow it
    EXPECT_EQ(u32_at(archive, dir + 32 + 20), 4u);
    EXPECT_EQ(u32_at(archive, dir + 64 + 28), 1u); // plain text
}

TEST(MixWriter, RefusesNamesThatCannotBeStored)
{
    datakit::MixWriter writer;
    std::string error;
    EXPECT_TRUE(writer.add(std::string(15, 'n'), {}, datakit::MixStorage::Plain, false, &error));
    EXPECT_FALSE(writer.add(std::string(16, 'n'), {}, datakit::MixStorage::Plain, false, &error));
    EXPECT_NE(error.find("1 to 15"), std::string::npos);
    EXPECT_FALSE(writer.add("", {}, datakit::MixStorage::Plain, false, &error));
    EXPECT_FALSE(writer.add(std::string("a\0b", 3), {}, datakit::MixStorage::Plain, false, &error));
    EXPECT_EQ(writer.entry_count(), 1u);
}

TEST(MixWriter, PacksAFolderInNameOrder)
{
    const auto dir = torvane_test::make_temp_dir("pack");
    const auto folder = dir / "Tracks";
    std::filesystem::create_directories(folder / "sub");
    for (const char* name : {"b.dat", "a.txt", "old.mix", ".hidden", "a_name_too_long.dat"})
        ASSERT_TRUE(platform::write_file_atomic((folder / name).string(), name, 5));

    std::string error;
    EXPECT_FALSE(datakit::pack_folder(folder, dir / "Tracks.mix", datakit::MixStorage::Plain, error));
    std::vector<std::string> skipped;
    ASSERT_TRUE(datakit::pack_folder(folder, dir / "Tracks.mix", datakit::MixStorage::Plain, error, &skipped)) << error;
    EXPECT_EQ(skipped, std::vector<std::string>{"a_name_too_long.dat"});

    Bytes archive;
    ASSERT_TRUE(platform::read_file_whole((dir / "Tracks.mix").string(), archive));
    ASSERT_EQ(u32_at(archive, archive.size() - 4), 64u);
    const std::size_t dir_at = archive.size() - 4 - 64;
    EXPECT_EQ(archive[dir_at] ^ 0xD3, 'a');
    EXPECT_EQ(archive[dir_at + 32] ^ 0xD3, 'b');
}

TEST(MixWriter, ArchiveNamesFollowTheFolders)
{
    struct Case {
        const char* folder;
        const char* archive;
    };
    const Case cases[] = {
        {"Data\\Tracks", "data\\Tracks.mix"}, {"gfx\\Loading", "gfx\\Loading.mix"},
        {"menu", "menu.mix"},                 {".\\menu", "menu.mix"},
        {"Data", "data\\Data.mix"},           {"Data\\Textures12", "data\\Textures.mix"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(datakit::mix_archive_for_folder(c.folder), c.archive) << c.folder;
}

TEST(LzwEncoder, EmptyDataIsTheEndCodeAlone)
{
    EXPECT_EQ(datakit::lzw_encode({}), (Bytes{0x01, 0x01})); // 257 in 9 bits
}

TEST(MixWriter, RefusesFoldersThatWouldShareAnArchive)
{
    // The game looks for both folders' files in "data\X.mix".
    const auto root = torvane_test::make_temp_dir("share");
    for (const char* file : {"Data/A/X/one.dat", "Data/B/X/two.dat"}) {
        std::filesystem::create_directories((root / file).parent_path());
        ASSERT_TRUE(platform::write_file_atomic((root / file).string(), "x", 1));
    }
    std::string error;
    EXPECT_FALSE(datakit::pack_demo_archives(root, error));
    EXPECT_NE(error.find("would share the archive"), std::string::npos) << error;
}
