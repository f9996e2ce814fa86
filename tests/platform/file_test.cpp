#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/fault_seam.h"
#include "platform/file.h"
#include "platform/path_resolver.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using platform::File;
using platform::SeekOrigin;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(const fs::path& path, std::string_view raw)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << raw;
}

std::string raw_contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = torvane_test::make_temp_dir("file");
        cwd_.emplace(dir_);
        platform::clear_faults();
    }
    void TearDown() override { platform::clear_faults(); }

    fs::path dir_;
    std::optional<torvane_test::ScopedCwd> cwd_;
};

} // namespace

TEST_F(FileTest, TextModeReadsTheWayTheWindowsRuntimeDoes)
{
    put(dir_ / "Menu/a.txt", "ab\r\ncd\re\r\r\n\x1Atail\r\n");
    for (const char* mode : {"rt", "r"}) {
        File f;
        ASSERT_TRUE(f.open("menu\\A.TXT", mode)) << f.error_text();
        char buf[64] = {};
        const std::size_t n = f.read(buf, sizeof buf);
        // CR LF -> LF, a lone CR stays, 0x1A ends the text.
        EXPECT_EQ(std::string(buf, n), "ab\ncd\re\r\n") << mode;
        EXPECT_TRUE(f.eof());
        EXPECT_EQ(f.tell(), 11);   // positions are byte offsets: at the 0x1A
        EXPECT_EQ(f.read(buf, 1), 0u);
        // A seek clears the end and may go past the 0x1A.
        ASSERT_TRUE(f.seek(1, SeekOrigin::Current));
        EXPECT_FALSE(f.eof());
        std::string line;
        EXPECT_TRUE(f.read_line(line));
        EXPECT_EQ(line, "tail");
        EXPECT_FALSE(f.read_line(line));
        EXPECT_EQ(f.size(), 18);
    }
    File b;
    ASSERT_TRUE(b.open("menu\\a.txt", "rb"));
    std::string raw(64, '\0');
    raw.resize(b.read(raw.data(), raw.size()));
    EXPECT_EQ(raw, "ab\r\ncd\re\r\r\n\x1Atail\r\n");
}

TEST_F(FileTest, LineAndWordReadsKeepTheRuntimesRules)
{
    put(dir_ / "t.txt", "  alpha\tbeta\r\n#c x\r\n\r\nlonger line\nend");
    File f;
    ASSERT_TRUE(f.open("T.TXT", "rt"));
    std::string word;
    ASSERT_TRUE(f.read_word(word));
    EXPECT_EQ(word, "alpha");
    ASSERT_TRUE(f.read_word(word));
    EXPECT_EQ(word, "beta");
    ASSERT_TRUE(f.read_word(word));
    EXPECT_EQ(word, "#c");
    // The blank after a word stays unread (a comment skipper reads to '\n').
    EXPECT_EQ(f.get_char(), ' ');
    std::string line;
    ASSERT_TRUE(f.read_line(line));
    EXPECT_EQ(line, "x");
    ASSERT_TRUE(f.read_line(line));
    EXPECT_EQ(line, "");
    // fgets: size - 1 characters at most, the '\n' kept.
    char buf[8];
    ASSERT_NE(f.gets(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "longer ");
    ASSERT_NE(f.gets(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "line\n");
    ASSERT_NE(f.gets(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "end");
    EXPECT_EQ(f.gets(buf, sizeof buf), nullptr);
    EXPECT_FALSE(f.read_word(word));
    EXPECT_EQ(f.get_char(), -1);
}

TEST_F(FileTest, PositionsFromTellCanBeSoughtBackInTextMode)
{
    put(dir_ / "t.txt", "one\r\ntwo\r\nthree\r\n");
    File f;
    ASSERT_TRUE(f.open("t.txt", "rt"));
    std::string line;
    ASSERT_TRUE(f.read_line(line));
    const auto mark = f.tell();
    EXPECT_EQ(mark, 5);
    ASSERT_TRUE(f.read_line(line));
    ASSERT_TRUE(f.read_line(line));
    EXPECT_EQ(line, "three");
    ASSERT_TRUE(f.seek(mark));
    ASSERT_TRUE(f.read_line(line));
    EXPECT_EQ(line, "two");
    EXPECT_FALSE(f.seek(-100, SeekOrigin::Current));
    EXPECT_EQ(f.tell(), 10);
    ASSERT_TRUE(f.seek(-7, SeekOrigin::End));
    ASSERT_TRUE(f.read_line(line));
    EXPECT_EQ(line, "three");
}

TEST_F(FileTest, CrLfAcrossTheReadBufferIsStillOneNewline)
{
    std::string raw(64 * 1024 - 1, 'x');
    raw += "\r\nz\r";
    put(dir_ / "big.txt", raw);
    File f;
    ASSERT_TRUE(f.open("big.txt", "r"));
    std::string line;
    ASSERT_TRUE(f.read_line(line));
    EXPECT_EQ(line.size(), 64u * 1024 - 1);
    EXPECT_EQ(f.tell(), 64 * 1024 + 1);
    ASSERT_TRUE(f.read_line(line));
    EXPECT_EQ(line, "z\r");   // a CR at the very end stays
}

TEST_F(FileTest, TextModeWritesCrLf)
{
    struct Case {
        const char* mode;
        std::string_view raw;
    };
    const Case cases[] = {{"wt", "a\r\n\r\nb\r\nc"}, {"w", "a\r\n\r\nb\r\nc"}, {"wb", "a\n\nb\nc"}};
    for (const auto& c : cases) {
        File f;
        ASSERT_TRUE(f.open("out.txt", c.mode));
        EXPECT_TRUE(f.write_text("a\n\nb\n"));
        EXPECT_TRUE(f.print("%c", 'c'));
        EXPECT_EQ(f.tell(), static_cast<std::int64_t>(c.raw.size()));
        ASSERT_TRUE(f.close());
        EXPECT_EQ(raw_contents(dir_ / "out.txt"), c.raw) << c.mode;
    }
    // What text mode writes, text mode reads back unchanged.
    File r;
    ASSERT_TRUE(r.open("out.txt", "wt"));
    r.print("%s %d\n%s\n", "camera", 3, "end");
    ASSERT_TRUE(r.close());
    ASSERT_TRUE(r.open("OUT.TXT", "rt"));
    char buf[32] = {};
    EXPECT_EQ(std::string(buf, r.read(buf, sizeof buf)), "camera 3\nend\n");
}

TEST_F(FileTest, ModesAreCheckedAndDoWhatTheRuntimesDo)
{
    put(dir_ / "Data/x.bin", "0123456789");
    for (const char* bad : {"", "x", "rr", "rbt", "r++", "wbb", "rw", "R"}) {
        File f;
        EXPECT_FALSE(f.open("data\\x.bin", bad)) << bad;
        EXPECT_FALSE(f.is_open());
    }
    File f;
    EXPECT_FALSE(f.open("data\\missing.bin", "rb"));
    EXPECT_FALSE(f.open("data\\missing.bin", "r+b"));
    EXPECT_FALSE(f.open("data", "rb"));            // a folder is not a file
    EXPECT_FALSE(f.open("nofolder\\x.bin", "wb"));

    // "r+b" changes bytes in place.
    ASSERT_TRUE(f.open("DATA\\X.BIN", "r+b"));
    char c = 0;
    ASSERT_EQ(f.read(&c, 1), 1u);
    EXPECT_EQ(c, '0');
    EXPECT_EQ(f.write("AB", 2), 2u);
    ASSERT_EQ(f.read(&c, 1), 1u);
    EXPECT_EQ(c, '3');
    ASSERT_TRUE(f.seek(0, SeekOrigin::End));
    EXPECT_EQ(f.write("Z", 1), 1u);
    EXPECT_EQ(f.size(), 11);
    ASSERT_TRUE(f.close());
    EXPECT_EQ(raw_contents(dir_ / "Data/x.bin"), "0AB3456789Z");

    // "a" writes at the end whatever the position; text "a" writes CR LF.
    ASSERT_TRUE(f.open("data\\x.bin", "ab"));
    EXPECT_EQ(f.tell(), 11);
    f.write("!", 1);
    ASSERT_TRUE(f.close());
    ASSERT_TRUE(f.open("data\\x.bin", "a"));
    f.write_text("\n");
    ASSERT_TRUE(f.close());
    EXPECT_EQ(raw_contents(dir_ / "Data/x.bin"), "0AB3456789Z!\r\n");

    // Reading a file opened only for writing gives nothing.
    ASSERT_TRUE(f.open("data\\x.bin", "ab"));
    EXPECT_EQ(f.read(&c, 1), 0u);
    EXPECT_EQ(f.get_char(), -1);
    ASSERT_TRUE(f.close());
    EXPECT_FALSE(f.close());   // nothing open any more
}

TEST_F(FileTest, BinaryReadsClampAtTheEnd)
{
    put(dir_ / "b.bin", std::string("\x01\x1A\r\n\x02", 5));
    File f;
    ASSERT_TRUE(f.open("b.bin", "rb"));
    std::uint8_t buf[8] = {};
    EXPECT_EQ(f.read(buf, 8), 5u);   // 0x1A and CR LF mean nothing in binary
    EXPECT_EQ(buf[4], 2);
    EXPECT_TRUE(f.eof());
    EXPECT_EQ(f.tell(), 5);
    ASSERT_TRUE(f.seek(100));        // past the end is allowed; reads give nothing
    EXPECT_EQ(f.read(buf, 1), 0u);
}

TEST_F(FileTest, ReplacingWritesKeepTheOldFileUntilClosed)
{
    put(dir_ / "Menu/Save/slot.chp", "old");
    {
        File f;
        ASSERT_TRUE(f.open("menu\\save\\SLOT.CHP", "wb"));
        EXPECT_EQ(f.native_path(), "Menu/Save/slot.chp");
        f.write("new contents", 12);
        EXPECT_EQ(f.size(), 12);
        EXPECT_EQ(raw_contents(dir_ / "Menu/Save/slot.chp"), "old");
        ASSERT_TRUE(f.close());
    }
    EXPECT_EQ(raw_contents(dir_ / "Menu/Save/slot.chp"), "new contents");

    {
        File f;
        ASSERT_TRUE(f.open("menu\\save\\slot.chp", "wb"));
        f.write("half", 4);
        f.discard();
    }
    EXPECT_EQ(raw_contents(dir_ / "Menu/Save/slot.chp"), "new contents");

    // A save that throws half-way leaves the old file.
    try {
        File f;
        ASSERT_TRUE(f.open("menu\\save\\slot.chp", "wb"));
        f.write("half", 4);
        throw std::runtime_error("error open file");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(raw_contents(dir_ / "Menu/Save/slot.chp"), "new contents");

    // A File that goes out of scope normally keeps what it wrote.
    {
        File f;
        ASSERT_TRUE(f.open("menu\\save\\slot.chp", "wb"));
        f.write("kept", 4);
    }
    EXPECT_EQ(raw_contents(dir_ / "Menu/Save/slot.chp"), "kept");
    EXPECT_EQ(platform::list_files("menu\\save\\*", platform::ListOrder::ByName),
              (std::vector<std::string>{"slot.chp"}));
}

TEST_F(FileTest, MovedFilesKeepTheirStream)
{
    put(dir_ / "m.txt", "abc");
    File a;
    ASSERT_TRUE(a.open("m.txt", "rb"));
    EXPECT_EQ(a.get_char(), 'a');
    File b = std::move(a);
    EXPECT_FALSE(a.is_open());
    EXPECT_EQ(b.get_char(), 'b');
    File c;
    c = std::move(b);
    EXPECT_EQ(c.get_char(), 'c');
}

TEST_F(FileTest, FileOpenFaultFailsTheNextOpenOnly)
{
    put(dir_ / "x.bin", "x");
    platform::fail_next(platform::Fault::FileOpen);
    File f;
    EXPECT_FALSE(f.open("x.bin", "rb"));
    EXPECT_FALSE(f.error_text().empty());
    EXPECT_TRUE(f.open("x.bin", "rb"));
    f.close();

    platform::fail_next(platform::Fault::FileOpen);
    EXPECT_FALSE(f.open("new.bin", "wb"));
    EXPECT_FALSE(fs::exists(dir_ / "new.bin.tmp"));

    Bytes bytes;
    std::string error;
    platform::fail_next(platform::Fault::FileOpen);
    EXPECT_FALSE(platform::read_whole_file("x.bin", bytes, &error));
    EXPECT_FALSE(error.empty());
    platform::fail_next(platform::Fault::FileOpen);
    EXPECT_FALSE(platform::write_whole_file("x.bin", Bytes{9}, &error));
    EXPECT_EQ(raw_contents(dir_ / "x.bin"), "x");
}

TEST_F(FileTest, WholeFileHelpersResolveTheirPaths)
{
    put(dir_ / "Menu/Save/keep.txt", "k");
    std::string error;
    ASSERT_TRUE(platform::write_whole_file("menu\\save\\state.bin", Bytes{1, 2, 3}, &error)) << error;
    EXPECT_TRUE(fs::exists(dir_ / "Menu/Save/state.bin"));
    Bytes back;
    ASSERT_TRUE(platform::read_whole_file("MENU\\SAVE\\STATE.BIN", back, &error)) << error;
    EXPECT_EQ(back, (Bytes{1, 2, 3}));

    EXPECT_FALSE(platform::read_whole_file("menu\\save\\none.bin", back, &error));
    EXPECT_NE(error.find("none.bin"), std::string::npos);
    EXPECT_FALSE(platform::read_whole_file("menu\\save", back, &error));
    EXPECT_FALSE(platform::write_whole_file("nofolder\\a.bin", Bytes{1}, &error));

    EXPECT_TRUE(platform::file_exists("Menu\\SAVE\\state.bin"));
    EXPECT_FALSE(platform::file_exists("menu\\save"));
    EXPECT_TRUE(platform::remove_file("menu\\save\\STATE.bin"));
    EXPECT_FALSE(platform::file_exists("menu\\save\\state.bin"));
    EXPECT_FALSE(platform::remove_file("menu\\save\\state.bin"));

    EXPECT_TRUE(platform::make_directory("MENU\\replay"));
    EXPECT_TRUE(fs::is_directory(dir_ / "Menu/replay"));
    EXPECT_TRUE(platform::make_directory("menu\\REPLAY\\"));
    EXPECT_FALSE(platform::make_directory("menu\\save\\keep.txt"));
}
