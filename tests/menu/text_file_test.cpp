#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/game_error.h"
#include "menu/label.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mix_writer.h"

namespace {

// The texts of a help file as the menus' text files hold them: a header
// line per section, the body up to the next section, CR LF line ends.
const char kHelpFile[] =
    "[intro] the rest of this line is not text\r\n"
    "Welcome, rider.\r\n"
    "\r\n"
    "[Help00]\r\n"
    "First page\r\n"
    "of help.\r\n"
    "\r\n"
    "[help01]\r\n"
    "Second page\r\n"
    "[help02]\r\n"
    "Third page, the last one\r\n";

class TextFileTest : public ::testing::Test {
protected:
    TextFileTest() : dir_(torvane_test::make_temp_dir("text_file")), cwd_(dir_), data_(dir_) {}

    void write(const std::string& path, const std::string& bytes) { data_.raw(path, bytes); }
    // The file as an entry of the menu folder's archive only.
    void write_archive(const std::string& entry, const std::string& text)
    {
        datakit::MixWriter mix;
        ASSERT_TRUE(mix.add_text(entry, text, datakit::MixStorage::Smaller));
        std::string error;
        ASSERT_TRUE(mix.write(dir_ / "menu.mix", error)) << error;
    }

    const std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    menu_test::MenuData data_;
};

std::string MessageOf(const char* file, const char* id)
{
    try {
        ReadTextSection(file, id);
    } catch (const GameError& e) {
        return e.what();
    }
    return "no error";
}

TEST_F(TextFileTest, SectionsAreReadByIdFromDiskAsTheyAre)
{
    write("menu/help.txt", kHelpFile);
    const struct {
        const char* id;
        const char* text;
    } cases[] = {
        // The header line's rest is skipped; one final line break goes, the
        // empty line before it stays a line.
        {"intro", "Welcome, rider.\r\n"},
        // Ids compare without regard to case.
        {"help00", "First page\r\nof help.\r\n"},
        {"HELP01", "Second page"},
        // The last section runs to the end of the file.
        {"help02", "Third page, the last one"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadTextSection(".\\menu\\help.txt", c.id), c.text) << c.id;
}

TEST_F(TextFileTest, ASectionEndsAtTheNextBracketAndKeepsLineFeedsOnDisk)
{
    // A file with plain line feeds keeps them; a '[' inside a line ends the
    // text there; a header with nothing after it gives an empty text.
    write("menu/notes.txt", "[a]\nline one\nline two [see b]\n[b]\n[c]");
    EXPECT_EQ(ReadTextSection("menu\\notes.txt", "a"), "line one\nline two ");
    EXPECT_EQ(ReadTextSection("menu\\notes.txt", "b"), "");
    EXPECT_EQ(ReadTextSection("menu\\notes.txt", "c"), "");
}

TEST_F(TextFileTest, FromTheArchiveTheLinesAreJoinedWithCrLf)
{
    // Only the archive holds the file; its lines end in LF, one in CR LF,
    // and a 0x1A byte ends the text.
    write_archive("help.txt", "[help00]\nFirst page\r\nof help.\n\n[help01]\nSecond page\n\x1A[help02]\nlost\n");
    ASSERT_FALSE(std::filesystem::exists(dir_ / "menu" / "help.txt"));
    EXPECT_EQ(ReadTextSection(".\\menu\\help.txt", "help00"), "First page\r\nof help.\r\n");
    EXPECT_EQ(ReadTextSection(".\\menu\\help.txt", "help01"), "Second page");
    EXPECT_EQ(MessageOf(".\\menu\\help.txt", "help02"), "textID non trovato");
}

TEST_F(TextFileTest, AMissingFileOrSectionIsReported)
{
    write("menu/help.txt", kHelpFile);
    EXPECT_EQ(MessageOf("menu\\nothing.txt", "help00"), "file not found menu\\nothing.txt");
    EXPECT_EQ(MessageOf("menu\\help.txt", "help03"), "textID non trovato");
    // A word that only begins like the header is not the header.
    EXPECT_EQ(MessageOf("menu\\help.txt", "help0"), "textID non trovato");
}

TEST_F(TextFileTest, LoadTextCutsToTheCapacityOrTakesTheTextsLength)
{
    write("menu/help.txt", kHelpFile);
    std::string text;
    std::int32_t capacity = -1;
    Label::loadtext("menu\\help.txt", "help02", text, capacity);
    EXPECT_EQ(text, "Third page, the last one");
    EXPECT_EQ(capacity, 24);

    capacity = 5;
    Label::loadtext("menu\\help.txt", "help02", text, capacity);
    EXPECT_EQ(text, "Third");
    EXPECT_EQ(capacity, 5);

    capacity = 0;
    Label::loadtext("menu\\help.txt", "help02", text, capacity);
    EXPECT_EQ(text, "");
}

} // namespace
