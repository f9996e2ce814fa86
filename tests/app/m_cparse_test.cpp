#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/game_error.h"
#include "app/m_cparse.h"
#include "platform/file.h"
#include "tests/app/text_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/word_file_writer.h"

using text_fixture::Storage;
using text_fixture::TextFiles;

namespace {

// Every word of the reader, in order.
std::vector<std::string> AllTokens(M_CParse& parser)
{
    std::vector<std::string> words;
    char word[kTokenCapacity];
    while (parser.GetToken(word)) words.emplace_back(word);
    return words;
}

class MCParseTest : public text_fixture::StoredTextTest {
protected:
    MCParseTest() : StoredTextTest("mcparse") {}
};

} // namespace

TEST_P(MCParseTest, RoundTripOfAMenuSetFile)
{
    datakit::WordFileWriter writer;
    writer.comment("menu set of the test")
        .begin("fonts")
        .line({"2", "small.mfg", "large.mfg"})
        .begin("screens")
        .word("main")
        .word(std::int32_t{-17})
        .word(2.75f)
        .time(1, 2, 50);
    Place("menu\\set.txt", writer);

    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\set.txt"));
    EXPECT_EQ(parser.IsArchive(), files_.from_archive());
    ASSERT_TRUE(parser.FindBegin("FONTS")); // names compare without regard to case
    std::int32_t count = 0;
    ASSERT_TRUE(parser.GetIntToken(count));
    EXPECT_EQ(count, 2);
    char word[kTokenCapacity];
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "small.mfg");
    ASSERT_TRUE(parser.FindBegin("screens"));
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "main");
    std::int32_t number = 0;
    ASSERT_TRUE(parser.GetIntToken(number));
    EXPECT_EQ(number, -17);
    float value = 0;
    ASSERT_TRUE(parser.GetFloatToken(value));
    EXPECT_EQ(value, 2.75f);
    float seconds = 0;
    ASSERT_TRUE(parser.GetTimeToken(seconds));
    EXPECT_FLOAT_EQ(seconds, 62.5f);
    EXPECT_FALSE(parser.GetToken(word));
    EXPECT_STREQ(word, "");
}

TEST_P(MCParseTest, ACommentFirstLineYieldsThePlainWordFirst)
{
    Place("menu\\c.txt", "#comment line with words\r\nplain next\r\n# another\r\nlast");
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\c.txt"));
    EXPECT_EQ(AllTokens(parser), (std::vector<std::string>{"plain", "next", "last"}));
}

TEST_P(MCParseTest, SkipToStopsAtEndMarker)
{
    Place("menu\\s.txt", "[a] one two [end] x three\n");
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\s.txt"));
    EXPECT_TRUE(parser.SkipTo("two"));
    EXPECT_FALSE(parser.SkipTo("x"));
    char word[kTokenCapacity];
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "x"); // stopped right behind "[end]"
}

TEST_P(MCParseTest, FailedSearchesLeaveThePositionWhereItWas)
{
    Place("menu\\b.txt", "first\nbegin a 1\nbegin c 2\n[sec] 3\n");
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\b.txt"));
    char word[kTokenCapacity];
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_FALSE(parser.FindBegin("b"));
    EXPECT_FALSE(parser.FindSection("none"));
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "begin");

    parser.Rewind();
    ASSERT_TRUE(parser.FindBegin("c"));
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "2");
    parser.Rewind();
    ASSERT_TRUE(parser.FindSection("SEC"));
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "3");
}

TEST_P(MCParseTest, SavedPositionsAreRestoredTheStartIncluded)
{
    Place("menu\\p.txt", "alpha beta gamma\n");
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\p.txt"));
    char word[kTokenCapacity];
    parser.SavePos(); // position 0
    ASSERT_TRUE(parser.GetToken(word));
    ASSERT_TRUE(parser.GetToken(word));
    parser.LoadPos();
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "alpha");
    parser.SavePos();
    ASSERT_TRUE(parser.GetToken(word));
    ASSERT_TRUE(parser.GetToken(word));
    parser.LoadPos();
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "beta");
}

TEST_P(MCParseTest, LinesFromFilesEndAtCommentsLinesFromArchivesDoNot)
{
    Place("menu\\l.txt", "\n\nRossi 46 # champion\r\n\r\nlast line");
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\l.txt"));
    char line[kTokenCapacity];
    std::vector<std::string> lines;
    while (ReadLine(parser.Source(), line)) lines.emplace_back(line);
    if (files_.from_archive()) {
        EXPECT_EQ(lines, (std::vector<std::string>{"Rossi 46 # champion", "last line"}));
    } else {
        EXPECT_EQ(lines, (std::vector<std::string>{"Rossi 46 ", " champion", "last line"}));
    }
}

TEST_P(MCParseTest, TextModeLineEndsAndEndMarker)
{
    Place("menu\\t.txt", std::string("one\r\ntwo\r\n\x1A" "three\r\n"));
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\t.txt"));
    EXPECT_EQ(AllTokens(parser), (std::vector<std::string>{"one", "two"}));
}

INSTANTIATE_TEST_SUITE_P(Sources, MCParseTest, text_fixture::kAllStorages, text_fixture::storage_name);

// Damaged word files: each row is a file and the words the reader yields;
// nothing reads outside the text, under the sanitizers too.
TEST_P(MCParseTest, DamagedFilesYieldWhatIsThere)
{
    const std::string long_word(1000, 'w');
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"only comments", "# one\n#two\n   # three", {}},
        {"cut in a word", "begin fonts\nsma", {"begin", "fonts", "sma"}},
        {"cut in a comment", "word # no line end", {"word"}},
        {"overlong word", long_word + " next", {long_word.substr(0, kTokenCapacity - 1), "next"}},
        {"overlong comment", "#" + long_word + "\nafter", {"after"}},
        {"zero bytes", std::string("a\0b c", 5), {"a", "c"}},
        {"blanks only", " \t\r\n \n", {}},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string path = "menu\\d" + std::to_string(index++) + ".txt";
        Place(path, c.text);
        M_CParse parser;
        ASSERT_TRUE(parser.Open(path.c_str())) << c.name;
        EXPECT_EQ(AllTokens(parser), c.words) << c.name;
    }
}

TEST_P(MCParseTest, DamagedBlocksAndCountsFailAsFalse)
{
    // "begin" cut off before its name, and a count larger than the words.
    Place("menu\\cut.txt", "5 a b\nbegin");
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\cut.txt"));
    std::int32_t count = 0;
    ASSERT_TRUE(parser.GetIntToken(count));
    EXPECT_EQ(count, 5);
    int read = 0;
    char word[kTokenCapacity];
    for (int i = 0; i < count && parser.GetToken(word); ++i) ++read;
    EXPECT_EQ(read, 3); // "a", "b" and "begin", then the end
    parser.Rewind();
    EXPECT_FALSE(parser.FindBegin("anything"));
    std::int32_t number = 1;
    ASSERT_TRUE(parser.GetIntToken(number));
    EXPECT_EQ(number, 5); // the failed search went back to the start
    float time = 0;
    EXPECT_TRUE(parser.GetTimeToken(time)); // "a" is no time: 0
    EXPECT_EQ(time, 0.0f);
}

TEST(MCParse, OpenAndReleaseRules)
{
    const auto dir = torvane_test::make_temp_dir("mcparse_open");
    torvane_test::ScopedCwd cwd(dir);
    TextFiles files(Storage::PlainFile);
    files.add("menu\\a.txt", "x\n");
    files.add("menu\\b.txt", "y\n");

    M_CParse parser;
    try {
        parser.Open("menu\\missing.txt");
        FAIL() << "no exception";
    } catch (const GameError& error) {
        EXPECT_STREQ(error.what(), "file not found M_CParse::Open menu\\missing.txt");
    }
    try {
        parser.Rewind();
        FAIL() << "no exception";
    } catch (const GameError& error) {
        EXPECT_STREQ(error.what(), "manca il FILE");
    }
    ASSERT_TRUE(parser.Open("menu\\a.txt"));
    EXPECT_FALSE(parser.Open("menu\\b.txt")); // already open: nothing changes
    char word[kTokenCapacity];
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "x");

    platform::File file;
    ASSERT_TRUE(file.open("menu\\b.txt", "rt"));
    EXPECT_THROW(parser.AttachFile(file), GameError);
    parser.Release();
    parser.Release(); // nothing open: nothing happens
    parser.AttachFile(file);
    ASSERT_TRUE(parser.GetToken(word));
    EXPECT_STREQ(word, "y");
}

TEST(MCParse, TimeTokensReadEachPartInBaseTen)
{
    const auto dir = torvane_test::make_temp_dir("mcparse_time");
    torvane_test::ScopedCwd cwd(dir);
    TextFiles files(Storage::PlainFile);
    files.add("menu\\times.txt", "1:02:50 1:08:09 0:59 12 -1:00:00\n");
    M_CParse parser;
    ASSERT_TRUE(parser.Open("menu\\times.txt"));
    const float expected[] = {62.5f, 68.09f, 59.0f, 720.0f, -60.0f};
    for (float want : expected) {
        float seconds = 0;
        ASSERT_TRUE(parser.GetTimeToken(seconds));
        EXPECT_FLOAT_EQ(seconds, want);
    }
    float seconds = 0;
    EXPECT_FALSE(parser.GetTimeToken(seconds));
}

TEST(MCParse, ATokenFitsTheCallersBuffer)
{
    TextSource source;
    source.attach_bytes("abcdefgh ij");
    char small[4];
    std::memset(small, 'Z', sizeof small);
    ASSERT_TRUE(ReadToken(source, small, 3));
    EXPECT_STREQ(small, "ab");
    EXPECT_EQ(small[3], 'Z');
    ASSERT_TRUE(ReadToken(source, small, sizeof small));
    EXPECT_STREQ(small, "ij");
    EXPECT_FALSE(ReadToken(source, small, 0));
}
