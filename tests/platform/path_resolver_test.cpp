#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/directory_listing.h"
#include "platform/path_resolver.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using platform::ListOrder;

namespace {

void touch(const fs::path& path, std::string_view contents = "x")
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

// A small game folder whose names are not spelled the way the game spells
// them, entered as the working folder.
class PathResolver : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = torvane_test::make_temp_dir("resolver");
        touch(root_ / "gfx/Loading/loading.pcx");
        touch(root_ / "gfx/Loading/load01.pcx");
        touch(root_ / "data/tracks/MISANO.DAT");
        touch(root_ / "Menu/Save/slot.chp");
        touch(root_ / "Readme.TXT");
        cwd_.emplace(root_);
        platform::invalidate_path_cache();
    }

    fs::path root_;
    std::optional<torvane_test::ScopedCwd> cwd_;
};

} // namespace

TEST_F(PathResolver, FindsExistingPathsWhateverTheirCaseAndSeparators)
{
    const std::string here = root_.filename().string();
    const std::string absolute = root_.string();
    struct Case {
        std::string program;
        std::optional<std::string> native;
    };
    const Case cases[] = {
        {"gfx\\Loading\\LOADING.PCX", "gfx/Loading/loading.pcx"},
        {"Data\\Tracks\\Misano.dat", "data/tracks/MISANO.DAT"},
        {"data/tracks/MISANO.DAT", "data/tracks/MISANO.DAT"},
        {".\\menu\\save\\", "Menu/Save"},
        {".\\MENU\\SAVE\\SLOT.CHP", "Menu/Save/slot.chp"},
        {"GFX\\\\loading//Load01.PCX", "gfx/Loading/load01.pcx"},
        {"data\\.\\Tracks\\..\\TRACKS\\misano.dat", "data/tracks/MISANO.DAT"},
        {"nothing\\..\\readme.txt", "Readme.TXT"},       // ".." goes by the text of the path
        {"..\\" + here + "\\README.txt", "../" + here + "/Readme.TXT"},
        {".", "."},
        {".\\", "."},
        {"gfx\\loading\\..", "gfx"},
        {absolute + "\\DATA\\Tracks\\misano.dat", absolute + "/data/tracks/MISANO.DAT"},
        {"/..\\" + absolute.substr(1) + "/readme.txt", absolute + "/Readme.TXT"},
        {"missing.txt", std::nullopt},
        {"data\\tracks\\missing.dat", std::nullopt},
        {"nofolder\\misano.dat", std::nullopt},
        {"data\\tracks\\misano.dat\\", std::nullopt},   // a file is not a folder
        {"readme.txt\\inside", std::nullopt},
        {std::string("readme.txt\0\\junk", 16), "Readme.TXT"},   // a C string ends at its 0 byte
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::resolve_existing(c.program), c.native) << c.program;
}

TEST_F(PathResolver, PrefersTheExactSpellingThenTheFirstInByteOrder)
{
    touch(root_ / "Case/readme.txt", "lower");
    touch(root_ / "Case/ReadMe.txt", "mixed");
    touch(root_ / "Case/README.txt", "upper");
    EXPECT_EQ(platform::resolve_existing("case\\ReadMe.txt"), "Case/ReadMe.txt");
    EXPECT_EQ(platform::resolve_existing("case\\readme.txt"), "Case/readme.txt");
    EXPECT_EQ(platform::resolve_existing("case\\Readme.Txt"), "Case/README.txt");
    EXPECT_EQ(platform::resolve_for_create("CASE\\readMe.txt"), "Case/README.txt");
}

TEST_F(PathResolver, CreatePathsReuseExistingFoldersAndKeepNewNames)
{
    struct Case {
        std::string program;
        std::string native;
    };
    const Case cases[] = {
        {"menu\\save\\x.chp", "Menu/Save/x.chp"},
        {"MENU\\SAVE\\SLOT.CHP", "Menu/Save/slot.chp"},
        {"menu\\NewFolder\\Sub\\a.rpl", "Menu/NewFolder/Sub/a.rpl"},
        {"replay\\..\\DATA\\new.dat", "data/new.dat"},
        {"telem.dat", "telem.dat"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::resolve_for_create(c.program), c.native) << c.program;
}

TEST_F(PathResolver, FilesCreatedOrRemovedAfterTheFolderWasListedAreSeen)
{
    // The folder's time moves: the listing is taken again.
    ASSERT_TRUE(platform::resolve_existing("DATA\\TRACKS\\misano.dat"));
    touch(root_ / "data/tracks/Assen.DAT");
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\ASSEN.dat"), "data/tracks/Assen.DAT");

    // Changes within the same tick of the file system's clock leave the
    // folder's time alone; the seam makes every change here look like that.
    auto& cache = platform::DirectoryCache::instance();
    const std::string tracks = (fs::current_path() / "data/tracks").string();
    touch(root_ / "data/tracks/Donington.DAT");
    cache.pretend_current(tracks);
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\DONINGTON.dat"), "data/tracks/Donington.DAT");

    fs::remove(root_ / "data/tracks/MISANO.DAT");
    cache.pretend_current(tracks);
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\misano.dat"), std::nullopt);
    EXPECT_EQ(platform::resolve_for_create("data\\tracks\\misano.dat"), "data/tracks/misano.dat");
    touch(root_ / "data/tracks/misano.dat");
    cache.pretend_current(tracks);
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\MISANO.DAT"), "data/tracks/misano.dat");

    // A folder that was missing when first asked for.
    EXPECT_EQ(platform::resolve_existing("replay\\a.rpl"), std::nullopt);
    touch(root_ / "Replay/A.RPL");
    EXPECT_EQ(platform::resolve_existing("replay\\a.rpl"), "Replay/A.RPL");
}

TEST_F(PathResolver, ListingsTakenLongAfterTheLastChangeAreTrustedOnAMiss)
{
    auto& cache = platform::DirectoryCache::instance();
    const std::string tracks = (fs::current_path() / "data/tracks").string();
    ASSERT_TRUE(platform::resolve_existing("data\\tracks\\misano.dat"));
    const std::int64_t a_minute_later =
        std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::system_clock::now().time_since_epoch() + std::chrono::minutes(1))
            .count();
    cache.pretend_current(tracks, a_minute_later);
    const auto before = cache.listings_read();
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\NONE.DAT"), std::nullopt);
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\misano.dat"), "data/tracks/MISANO.DAT");
    EXPECT_EQ(cache.listings_read(), before);
    // A change that moves the folder's time is seen.
    touch(root_ / "data/tracks/none.dat");
    fs::last_write_time(root_ / "data/tracks", fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\NONE.DAT"), "data/tracks/none.dat");
}

TEST_F(PathResolver, RelativePathsFollowTheWorkingFolder)
{
    touch(root_ / "other/Data/Tracks/misano.dat");
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\misano.dat"), "data/tracks/MISANO.DAT");
    torvane_test::ScopedCwd inner(root_ / "other");
    EXPECT_EQ(platform::resolve_existing("data\\tracks\\MISANO.DAT"), "Data/Tracks/misano.dat");
    EXPECT_EQ(platform::resolve_existing("..\\GFX\\loading\\loading.pcx"), "../gfx/Loading/loading.pcx");
}

TEST(ProgramPath, NormalisesSeparatorsAndDots)
{
    struct Case {
        std::string_view program;
        std::string_view normal;
    };
    const Case cases[] = {
        {"Data\\Tracks\\%s.dat", "Data/Tracks/%s.dat"},
        {".\\menu\\save\\", "menu/save/"},
        {"a\\b\\..\\..\\..\\c", "../c"},
        {"\\a\\..\\..\\b", "/b"},
        {"a//b/./c/", "a/b/c/"},
        {"gfx\\Loading\\..", "gfx/"},
        {".", "."},
        {"\\", "/"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::normalize_program_path(c.program), c.normal) << c.program;
}

TEST(Wildcard, MatchesStarsAndQuestionMarksWithoutRegardToCase)
{
    struct Case {
        std::string_view pattern, name;
        bool match;
    };
    const Case cases[] = {
        {"*.rpl", "Misano1.RPL", true},
        {"*.rpl", "misano.rpl.tmp", false},
        {"*.rpl", ".rpl", true},
        {"load*.pcx", "LOAD12.pcx", true},
        {"load*.pcx", "loading.pcx", true},
        {"load*.pcx", "xload1.pcx", false},
        {"?.chp", "a.chp", true},
        {"?.chp", "ab.chp", false},
        {"*a*b*c", "xxaxxbxxbxxc", true},
        {"*a*b*c", "xxaxxcxxb", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"a?", "a", false},
        {"**.DAT", "x.dat", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::wildcard_match(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST_F(PathResolver, ListsMatchingFilesInTheOrderAsked)
{
    const fs::path replay = root_ / "Replay";
    touch(replay / "B.rpl");
    touch(replay / "a.rpl");
    touch(replay / "c.RPL");
    touch(replay / "notes.txt");
    fs::create_directories(replay / "folder.rpl");   // folders are not listed
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(replay / "a.rpl", now - std::chrono::hours(3));
    fs::last_write_time(replay / "c.RPL", now - std::chrono::hours(2));
    fs::last_write_time(replay / "B.rpl", now - std::chrono::hours(1));

    using V = std::vector<std::string>;
    EXPECT_EQ(platform::list_files("replay\\*.rpl", ListOrder::ByName), (V{"a.rpl", "B.rpl", "c.RPL"}));
    EXPECT_EQ(platform::list_files(".\\REPLAY\\*.RPL", ListOrder::ByNameDescending), (V{"c.RPL", "B.rpl", "a.rpl"}));
    EXPECT_EQ(platform::list_files("replay\\*.rpl", ListOrder::ByModificationTime), (V{"B.rpl", "c.RPL", "a.rpl"}));
    EXPECT_EQ(platform::list_files("replay\\*.rpl", ListOrder::Unsorted), (V{"B.rpl", "a.rpl", "c.RPL"}));
    EXPECT_EQ(platform::list_files("replay\\?.rpl", ListOrder::ByName), (V{"a.rpl", "B.rpl", "c.RPL"}));
    EXPECT_EQ(platform::list_files("gfx\\loading\\LOAD*.pcx", ListOrder::ByName), (V{"load01.pcx", "loading.pcx"}));
    EXPECT_EQ(platform::list_files("*.txt", ListOrder::ByName), (V{"Readme.TXT"}));
    EXPECT_EQ(platform::list_files((root_ / "replay" / "*.txt").string(), ListOrder::ByName), (V{"notes.txt"}));

    EXPECT_TRUE(platform::list_files("missing\\*.rpl", ListOrder::ByName).empty());
    EXPECT_TRUE(platform::list_files("replay\\", ListOrder::ByName).empty());
    EXPECT_TRUE(platform::list_files("readme.txt\\*", ListOrder::ByName).empty());

    // A replay saved a moment after the folder was listed is in the next
    // list, even when the folder's time did not move.
    touch(replay / "D.rpl");
    platform::DirectoryCache::instance().pretend_current((fs::current_path() / "Replay").string());
    EXPECT_EQ(platform::list_files("replay\\*.rpl", ListOrder::ByName), (V{"a.rpl", "B.rpl", "c.RPL", "D.rpl"}));
}

TEST_F(PathResolver, ExactPathsNeedNoListing)
{
    auto& cache = platform::DirectoryCache::instance();
    const auto before = cache.listings_read();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(platform::resolve_existing("data\\tracks\\MISANO.DAT"));
    EXPECT_EQ(cache.listings_read(), before);
    // A lookup by another spelling lists the folders it has to.
    ASSERT_TRUE(platform::resolve_existing("DATA\\tracks\\MISANO.DAT"));
    EXPECT_GT(cache.listings_read(), before);
}
