#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "app/mix_directory.h"
#include "app/mixer.h"
#include "app/text_source.h"
#include "platform/atomic_file.h"
#include "platform/fault_seam.h"
#include "tests/app/text_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/lzw_encoder.h"
#include "tools/datakit/mix_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using datakit::MixStorage;

Bytes bytes_of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes pattern(std::size_t n, unsigned seed)
{
    Bytes out(n);
    unsigned x = seed;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

std::string write_archive(const datakit::MixWriter& writer, const char* name = "test.mix")
{
    const auto path = torvane_test::make_temp_dir("mix") / name;
    std::string error;
    EXPECT_TRUE(writer.write(path, error)) << error;
    return path.string();
}

std::string write_bytes(const Bytes& bytes, const char* name = "damaged.mix")
{
    const auto path = torvane_test::make_temp_dir("mix") / name;
    EXPECT_TRUE(platform::write_file_atomic(path.string(), bytes));
    return path.string();
}

Bytes read_all(mixer& m, int piece)
{
    Bytes out;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(piece));
    for (;;) {
        const int got = m.read(buffer.data(), piece);
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        if (got < piece)
            return out;
    }
}

std::vector<std::string> read_texts(mixer& m, int mode)
{
    std::vector<std::string> out;
    char buffer[256];
    while (m.gets(buffer, mode) == 0)
        out.emplace_back(buffer);
    return out;
}

// Offsets inside a built archive.
std::size_t directory_start(const Bytes& archive)
{
    const std::size_t n = archive.size();
    const std::uint32_t d = archive[n - 4] | (archive[n - 3] << 8) | (archive[n - 2] << 16) |
                            (std::uint32_t{archive[n - 1]} << 24);
    return n - 4 - d;
}

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

TEST(SplitArchivePath, FindsTheArchiveOfEachFolder)
{
    struct Case {
        const char* path;
        const char* archive;
        const char* entry;
    };
    const Case cases[] = {
        {"gfx\\Loading\\loading.pcx", "gfx\\Loading.mix", "loading.pcx"},
        {"Data\\Tracks\\A.dat", "data\\Tracks.mix", "A.dat"},
        {".\\menu\\Riders.txt", "menu.mix", "Riders.txt"},
        {"Replay\\A.rpl", "Replay.mix", "A.rpl"},
        {"Data\\Textures12\\A.pcx", "data\\Textures.mix", "A.pcx"},
        {"Textures12\\A.pcx", "Textures.mix", "A.pcx"},
        {"Data\\Info.dat", "data\\Data.mix", "Info.dat"},
        {"SFX\\engines\\engines.dat", "sfx\\engines.mix", "engines.dat"},
        {"..\\Sfx\\music\\a.wav", "..\\sfx\\music.mix", "a.wav"},
        {".\\.\\Menu\\x\\a.txt", ".\\menu\\x.mix", "a.txt"},
        {".\\.\\GFX\\Loading\\b.pcx", ".\\Gfx\\Loading.mix", "b.pcx"},
        {"Riders.txt", "menu.mix", "Riders.txt"},
        {".\\Riders.txt", "menu.mix", "Riders.txt"},
        {"Data/Tracks/B.dat", "data\\Tracks.mix", "B.dat"},
        {"", "menu.mix", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const ArchivePath split = SplitArchivePath(c.path);
        EXPECT_EQ(split.archive, c.archive);
        EXPECT_EQ(split.entry, c.entry);

        char archive[kArchivePathCapacity];
        char entry[kArchivePathCapacity];
        SplitArchivePath(c.path, archive, entry);
        EXPECT_STREQ(archive, c.archive);
        EXPECT_STREQ(entry, c.entry);
    }
}

TEST(SplitArchivePath, CutsOverlongResultsToTheCallersBuffers)
{
    const std::string path = "Data\\x\\" + std::string(400, 'e');
    char archive[kArchivePathCapacity];
    char entry[kArchivePathCapacity];
    SplitArchivePath(path.c_str(), archive, entry);
    EXPECT_STREQ(archive, "data\\x.mix");
    EXPECT_EQ(std::strlen(entry), kArchivePathCapacity - 1);
}

TEST(SplitArchivePath, DataKitPacksFoldersWhereTheLookupLooks)
{
    for (const char* folder : {"Data", "Data\\Tracks", "gfx\\Loading", "Gfx", "Sfx\\engines", "menu",
                               ".\\menu", "Data\\Textures12", "Replay"}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(SplitArchivePath(std::string(folder) + "\\file.dat").archive,
                  datakit::mix_archive_for_folder(folder));
    }
}

TEST(Mixer, RoundTripsPlainAndCompressedEntries)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + " of the text\r\n";
    struct Entry {
        const char* name;
        Bytes data;
        MixStorage storage;
        bool text;
    };
    const Entry entries[] = {
        {"plain.bin", pattern(5000, 1), MixStorage::Plain, false},
        {"packed.bin", pattern(5000, 2), MixStorage::Compressed, false},
        {"zeros.bin", Bytes(70000, 0), MixStorage::Compressed, false},
        {"plain.txt", bytes_of(text), MixStorage::Plain, true},
        {"packed.txt", bytes_of(text), MixStorage::Compressed, true},
        {"empty.bin", {}, MixStorage::Compressed, false},
        {"fifteen_chars.x", bytes_of("abc"), MixStorage::Plain, false},
    };
    datakit::MixWriter writer;
    for (const Entry& e : entries)
        ASSERT_TRUE(writer.add(e.name, e.data, e.storage, e.text));
    const std::string archive = write_archive(writer);

    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        mixer m;
        ASSERT_EQ(m.open(archive.c_str(), e.name, "rb"), 0) << m.error_text();
        EXPECT_EQ(m.size(), static_cast<int>(e.data.size()));
        EXPECT_EQ(m.compressed(), e.storage == MixStorage::Compressed);
        EXPECT_EQ(read_all(m, 7), e.data);
        EXPECT_EQ(m.tell(), m.size());
        EXPECT_EQ(m.error(), kMixOk);
        m.close();

        Bytes loaded;
        EXPECT_EQ(m.load(archive.c_str(), e.name, loaded), 0);
        EXPECT_EQ(loaded, e.data);

        ASSERT_EQ(m.open(archive.c_str(), e.name, "rt"), 0);
        EXPECT_TRUE(m.in_memory());
        EXPECT_EQ(read_all(m, 1000), e.data);
    }

    // Text entries read line by line drop the '\r'.
    for (const char* name : {"plain.txt", "packed.txt"}) {
        mixer m;
        ASSERT_EQ(m.open(archive.c_str(), name, "rt"), 0);
        const auto lines = read_texts(m, 1);
        ASSERT_EQ(lines.size(), 300u);
        EXPECT_EQ(lines[0], "line 0 of the text");
        EXPECT_EQ(lines[299], "line 299 of the text");
        EXPECT_EQ(m.error(), kMixOutOfDomain);
    }
}

TEST(Mixer, LooksEntriesUpWithoutRegardToCase)
{
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("first.dat", bytes_of("1"), MixStorage::Plain, false));
    ASSERT_TRUE(writer.add("loading.pcx", bytes_of("picture"), MixStorage::Plain, false));
    const std::string archive = write_archive(writer);

    mixer m;
    ASSERT_EQ(m.open(archive.c_str(), "LOADING.PCX", "rb"), 0);
    EXPECT_STREQ(m.entry().name, "loading.pcx");
    EXPECT_EQ(read_all(m, 100), bytes_of("picture"));
    m.close();

    EXPECT_EQ(m.open(archive.c_str(), "loading.pc", "rb"), -1);
    EXPECT_EQ(m.error(), kMixNotPresent);
    EXPECT_EQ(m.error_text(), "File loading.pc not present in main file.");
    EXPECT_FALSE(m.is_open());

    ASSERT_EQ(m.open_plain(archive.c_str(), "rb"), 0);
    EXPECT_EQ(m.find_entry_plain("First.DAT"), 0);
    EXPECT_EQ(m.find_entry_plain("missing"), -1);
    EXPECT_EQ(m.error(), kMixNotPresent);
    EXPECT_EQ(m.size(), 0);
}

TEST(Mixer, ReadsAreClampedToTheEntry)
{
    // The entries lie side by side: nothing of "NEXT" may reach a reader of
    // the first, in any storage or mode.
    for (MixStorage storage : {MixStorage::Plain, MixStorage::Compressed}) {
        for (const char* mode : {"rb", "rt"}) {
            SCOPED_TRACE(std::string(mode) + (storage == MixStorage::Plain ? " plain" : " compressed"));
            datakit::MixWriter writer;
            ASSERT_TRUE(writer.add("a", pattern(50, 9), storage, false));
            ASSERT_TRUE(writer.add("b", bytes_of("NEXT ENTRY NEXT ENTRY NEXT ENTRY"), MixStorage::Plain, false));
            const std::string archive = write_archive(writer);

            mixer m;
            ASSERT_EQ(m.open(archive.c_str(), "a", mode), 0);
            EXPECT_EQ(m.seekfile(10, 0), 10);
            std::uint8_t buffer[100];
            std::memset(buffer, 0xEE, sizeof buffer);
            EXPECT_EQ(m.read(buffer, 100), 40);
            EXPECT_EQ(m.tell(), 50);
            for (std::size_t i = 40; i < sizeof buffer; ++i)
                ASSERT_EQ(buffer[i], 0xEE) << i;
            EXPECT_EQ(0, std::memcmp(buffer, pattern(50, 9).data() + 10, 40));
            EXPECT_EQ(m.read(buffer, 100), 0);

            char text[256];
            EXPECT_EQ(m.gets(text, 1), -1);
            EXPECT_EQ(m.error(), kMixOutOfDomain);
            EXPECT_STREQ(text, "");
        }
    }
}

TEST(Mixer, LinesAndWordsStopAtTheEntryEnd)
{
    for (MixStorage storage : {MixStorage::Plain, MixStorage::Compressed}) {
        SCOPED_TRACE(storage == MixStorage::Plain ? "plain" : "compressed");
        datakit::MixWriter writer;
        ASSERT_TRUE(writer.add_text("a.txt", "# first\r\n\r\n  two words\tand\r\nlast line", storage));
        ASSERT_TRUE(writer.add_text("b.txt", "NEXT\n", MixStorage::Plain));
        const std::string archive = write_archive(writer);

        mixer m;
        ASSERT_EQ(m.open(archive.c_str(), "a.txt", "rt"), 0);
        EXPECT_EQ(read_texts(m, 1), (std::vector<std::string>{"# first", "", "  two words\tand", "last line"}));
        EXPECT_EQ(m.error(), kMixOutOfDomain);
        EXPECT_EQ(m.tell(), m.size());

        EXPECT_EQ(m.seekfile(0, 0), 0);
        EXPECT_EQ(read_texts(m, 0), (std::vector<std::string>{"#", "first", "two", "words", "and", "last", "line"}));

        // Seeking to the end and reading a word fails.
        EXPECT_EQ(m.seekfile(0, 2), m.size());
        char word[256];
        EXPECT_EQ(m.gets(word, 0), -1);
        EXPECT_EQ(m.error(), kMixOutOfDomain);

        // A word read leaves the blank after it, so the position can be
        // remembered and the rest of the line read from there.
        EXPECT_EQ(m.seekfile(0, 0), 0);
        ASSERT_EQ(m.gets(word, 0), 0);
        EXPECT_STREQ(word, "#");
        ASSERT_EQ(m.gets(word, 1), 0);
        EXPECT_STREQ(word, " first");
    }
}

TEST(Mixer, OverlongLinesAndWordsAreCutToTheBuffer)
{
    const std::string long_word(300, 'w');
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add_text("a.txt", long_word + " x\n" + long_word + "\nnext\n", MixStorage::Compressed));
    const std::string archive = write_archive(writer);
    mixer m;
    ASSERT_EQ(m.open(archive.c_str(), "a.txt", "rt"), 0);
    char buffer[256];
    ASSERT_EQ(m.gets(buffer, 0), 0);
    EXPECT_EQ(std::string(buffer), std::string(255, 'w'));
    ASSERT_EQ(m.gets(buffer, 0), 0);
    EXPECT_STREQ(buffer, "x");
    ASSERT_EQ(m.gets(buffer, 1), 0); // the rest of the "x" line
    ASSERT_EQ(m.gets(buffer, 1), 0);
    EXPECT_EQ(std::string(buffer), std::string(255, 'w'));
    ASSERT_EQ(m.gets(buffer, 1), 0);
    EXPECT_STREQ(buffer, "next");

    char small[4];
    ASSERT_EQ(m.seekfile(0, 0), 0);
    ASSERT_EQ(m.gets(small, 0, sizeof small), 0);
    EXPECT_STREQ(small, "www");
}

TEST(Mixer, SeeksInsideTheEntryOnly)
{
    for (MixStorage storage : {MixStorage::Plain, MixStorage::Compressed}) {
        for (const char* mode : {"rb", "rt"}) {
            SCOPED_TRACE(std::string(mode) + (storage == MixStorage::Plain ? " plain" : " compressed"));
            const Bytes data = pattern(3000, 4);
            datakit::MixWriter writer;
            ASSERT_TRUE(writer.add("lead", pattern(77, 5), MixStorage::Plain, false));
            ASSERT_TRUE(writer.add("data", data, storage, false));
            const std::string archive = write_archive(writer);
            mixer m;
            ASSERT_EQ(m.open(archive.c_str(), "data", mode), 0);

            struct Step {
                int offset, origin, result;
            };
            const Step steps[] = {
                {100, 0, 100}, {50, 1, 150}, {-20, 1, 130}, {-10, 2, 2990}, {0, 2, 3000},
                {-1, 0, -1},   {1, 2, -1},   {-3001, 1, -1}, {5, 7, -1},    {2999, 0, 2999},
                {0, 0, 0},
            };
            for (const Step& s : steps) {
                SCOPED_TRACE(testing::Message() << s.offset << "/" << s.origin);
                const int before = m.tell();
                EXPECT_EQ(m.seekfile(s.offset, s.origin), s.result);
                if (s.result < 0) {
                    EXPECT_EQ(m.error(), kMixOutOfDomain);
                    EXPECT_EQ(m.tell(), before);
                    continue;
                }
                std::uint8_t byte = 0;
                if (s.result < 3000) {
                    ASSERT_EQ(m.read(&byte, 1), 1);
                    EXPECT_EQ(byte, data[static_cast<std::size_t>(s.result)]);
                    EXPECT_EQ(m.seekfile(-1, 1), s.result);
                }
            }
        }
    }
}

TEST(Mixer, LoadChecksTheCallersBuffer)
{
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("a", pattern(64, 6), MixStorage::Compressed, false));
    const std::string archive = write_archive(writer);
    mixer m;
    std::uint8_t exact[64];
    EXPECT_EQ(m.load(archive.c_str(), "a", exact, sizeof exact), 0);
    EXPECT_EQ(0, std::memcmp(exact, pattern(64, 6).data(), 64));
    EXPECT_FALSE(m.is_open());

    std::uint8_t small[63];
    EXPECT_EQ(m.load(archive.c_str(), "a", small, sizeof small), -1);
    EXPECT_EQ(m.error(), kMixOutOfDomain);
    EXPECT_FALSE(m.is_open());
}

TEST(Mixer, ReportsErrorsWithTheirTexts)
{
    mixer m;
    const std::string archive = (torvane_test::make_temp_dir("mix") / "none.mix").string();
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("a", bytes_of("a"), MixStorage::Plain, false));
    std::string error;
    ASSERT_TRUE(writer.write(archive, error)) << error;
    platform::fail_next(platform::Fault::FileOpen);
    EXPECT_EQ(m.open(archive.c_str(), "a", "rb"), -1);
    EXPECT_EQ(m.error(), kMixCannotOpen);
    EXPECT_EQ(m.error_text(), "Cannot open main file: " + archive);
    EXPECT_EQ(m.open(archive.c_str(), "a", "rb"), 0); // the fault was used up
    m.close();

    EXPECT_EQ(m.open("no\\such\\archive.mix", "a", "rb"), -1);
    EXPECT_EQ(m.error(), kMixCannotOpen);
    EXPECT_EQ(m.message_name(), "no\\such\\archive.mix");
    try {
        m.report_error();
        FAIL() << "report_error returned";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "loader erorr in opening");
    }
}

TEST(Mixer, RefusesDamagedArchives)
{
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("first", pattern(40, 1), MixStorage::Plain, false));
    ASSERT_TRUE(writer.add("text.txt", bytes_of("alpha beta gamma delta epsilon alpha beta gamma\n"),
                           MixStorage::Compressed, true));
    ASSERT_TRUE(writer.add("packed", pattern(300, 3), MixStorage::Compressed, false));
    const Bytes good = writer.build();
    const std::size_t dir = directory_start(good);
    const std::size_t data_end = dir;
    auto record = [&](int i) { return dir + 32 * static_cast<std::size_t>(i); };
    auto patched = [&](auto change) {
        Bytes b = good;
        change(b);
        return b;
    };

    struct Case {
        const char* what;
        Bytes archive;
        const char* entry;
        const char* mode;
        int error;
    };
    const Case cases[] = {
        {"empty file", {}, "first", "rb", kMixCannotOpen},
        {"shorter than the size word", {1, 2, 3}, "first", "rb", kMixCannotOpen},
        {"only a size word of 0", {0, 0, 0, 0}, "first", "rb", kMixNotPresent},
        {"size word 32 with no room", {32, 0, 0, 0}, "first", "rb", kMixCannotOpen},
        {"directory size not a multiple of 32", patched([&](Bytes& b) { put_u32(b, b.size() - 4, 33); }),
         "first", "rb", kMixCannotOpen},
        {"directory larger than the file", patched([&](Bytes& b) { put_u32(b, b.size() - 4, 0xFFFFFFE0u); }),
         "first", "rb", kMixCannotOpen},
        {"name without terminator", patched([&](Bytes& b) { std::memset(&b[record(0)], 'A', 16); }), "first", "rb",
         kMixCannotOpen},
        {"offset outside the file", patched([&](Bytes& b) { put_u32(b, record(0) + 16, 0x7FFFFF00u); }), "first",
         "rb", kMixCannotOpen},
        {"plain entry running into the directory",
         patched([&](Bytes& b) { put_u32(b, record(0) + 24, static_cast<std::uint32_t>(data_end + 1)); }), "first",
         "rb", kMixCannotOpen},
        {"offset and size wrapping around",
         patched([&](Bytes& b) {
             put_u32(b, record(0) + 16, 0xFFFFFFF0u);
             put_u32(b, record(0) + 24, 0x20);
         }),
         "first", "rb", kMixCannotOpen},
        {"packed size outside the file", patched([&](Bytes& b) { put_u32(b, record(2) + 20, 0x10000000u); }),
         "packed", "rb", kMixCannotOpen},
        {"size its packed bytes cannot hold", patched([&](Bytes& b) { put_u32(b, record(2) + 24, 1000000); }),
         "packed", "rb", kMixCannotOpen},
        {"damage in another entry", patched([&](Bytes& b) { put_u32(b, record(2) + 16, 0xFFFFFF00u); }), "first",
         "rb", kMixCannotOpen},
        {"text entry with a damaged stream",
         patched([&](Bytes& b) {
             for (std::size_t i = 46; i < 60; ++i)
                 b[i] = 0xFF;
         }),
         "text.txt", "rt", kMixOutOfDomain},
        {"text entry longer than its stream", patched([&](Bytes& b) { put_u32(b, record(1) + 24, 60); }), "text.txt",
         "rt", kMixOutOfDomain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = write_bytes(c.archive);
        mixer m;
        EXPECT_EQ(m.open(path.c_str(), c.entry, c.mode), -1);
        EXPECT_EQ(m.error(), c.error);
        EXPECT_FALSE(m.is_open());
        Bytes loaded;
        EXPECT_EQ(m.load(path.c_str(), c.entry, loaded), -1);
        EXPECT_TRUE(loaded.empty());
        if (c.error == kMixCannotOpen) {
            EXPECT_EQ(m.open_plain(path.c_str(), "rb"), -1);
            EXPECT_EQ(m.error_text(), "Cannot open main file: " + path);
        }
    }
}

TEST(Mixer, ShortPackedDataEndsAStreamedReadEarly)
{
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("packed", pattern(3000, 3), MixStorage::Compressed, false));
    Bytes archive = writer.build();
    // Claim more plain bytes than the stream holds (still a possible size).
    put_u32(archive, directory_start(archive) + 24, 3500);
    const std::string path = write_bytes(archive);
    mixer m;
    ASSERT_EQ(m.open(path.c_str(), "packed", "rb"), 0);
    Bytes out = read_all(m, 1000);
    EXPECT_EQ(out, pattern(3000, 3));
    EXPECT_EQ(m.error(), kMixOutOfDomain);
    EXPECT_EQ(m.tell(), 3000);
}

TEST(Mixer, AnOverstatedSizeNeverDecidesAnAllocation)
{
    // A packed entry whose directory claims as many bytes as its stream could
    // at most expand to (tens of megabytes), while the stream holds 20000.
    const Bytes data = pattern(20000, 8);
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("packed", data, MixStorage::Compressed, false));
    Bytes archive = writer.build();
    const std::size_t record = directory_start(archive);
    const std::uint32_t packed = archive[record + 20] | (archive[record + 21] << 8) | (archive[record + 22] << 16) |
                                 (std::uint32_t{archive[record + 23]} << 24);
    const std::uint64_t claimed = MaxLzwOutput(packed);
    ASSERT_GT(claimed, 32u << 20);
    put_u32(archive, record + 24, static_cast<std::uint32_t>(claimed));
    const std::string path = write_bytes(archive);

    mixer m;
    Bytes loaded;
    EXPECT_EQ(m.load(path.c_str(), "packed", loaded), -1);
    EXPECT_EQ(m.error(), kMixOutOfDomain);
    EXPECT_TRUE(loaded.empty());
    // The vector grew with the bytes that arrived, not to the claimed size.
    EXPECT_LT(loaded.capacity(), std::size_t{1} << 20);


    // The text readers load archive entries the same way.
    const auto dir = torvane_test::make_temp_dir("overstated");
    std::filesystem::copy_file(path, dir / "menu.mix");
    torvane_test::ScopedCwd cwd(dir);
    TextSource text;
    EXPECT_FALSE(text.open_archive_entry("packed"));
    EXPECT_EQ(text.archive().error(), kMixOutOfDomain);
}

TEST(Mixer, AFailedWholeDecodeLeavesNothingMoreToRead)
{
    // Lines of a binary-mode packed entry decode it whole; when its stream is
    // damaged that fails, and later reads give nothing rather than bytes
    // decoded from wherever the archive then stood.
    const Bytes data = pattern(4000, 12);
    datakit::MixWriter writer;
    ASSERT_TRUE(writer.add("packed", data, MixStorage::Compressed, false));
    ASSERT_TRUE(writer.add("next", pattern(3000, 13), MixStorage::Compressed, false));
    Bytes archive = writer.build();
    const Bytes packed_first = datakit::lzw_encode(data);
    for (std::size_t i = packed_first.size() / 2; i < packed_first.size(); ++i)
        archive[i] = 0xFF;
    const std::string path = write_bytes(archive);

    mixer m;
    ASSERT_EQ(m.open(path.c_str(), "packed", "rb"), 0);
    std::uint8_t bytes[16];
    ASSERT_EQ(m.read(bytes, 16), 16);
    EXPECT_EQ(0, std::memcmp(bytes, data.data(), 16));
    char line[256];
    EXPECT_EQ(m.gets(line, 1), -1);
    EXPECT_EQ(m.error(), kMixOutOfDomain);
    EXPECT_EQ(m.read(bytes, 16), 0);
    EXPECT_EQ(m.tell(), m.size());
}

TEST(Mixer, OpensPlainFilesAsOneEntry)
{
    const auto dir = torvane_test::make_temp_dir("plain");
    const std::string path = (dir / "Riders.txt").string();
    const std::string text = "first line\r\nsecond\r\n\x1A" "after the end\n";
    ASSERT_TRUE(platform::write_file_atomic(path, text.data(), text.size()));

    mixer m;
    ASSERT_EQ(m.open_file(path.c_str(), "rt"), 0);
    EXPECT_EQ(m.size(), static_cast<int>(text.size()));
    EXPECT_EQ(read_texts(m, 1), (std::vector<std::string>{"first line", "second"}));
    EXPECT_EQ(m.error(), kMixOutOfDomain);

    ASSERT_EQ(m.open_file(path.c_str(), "rb"), 0);
    EXPECT_EQ(read_all(m, 5), bytes_of(text));

    EXPECT_EQ(m.open_file((dir / "missing.txt").string().c_str(), "rt"), -1);
    EXPECT_EQ(m.error(), kMixCannotOpen);
}

class TextRule : public text_fixture::StoredTextTest {
protected:
    TextRule() : StoredTextTest("text_rule") {}
};

TEST_P(TextRule, GetsAndTextSourceReadATextAlike)
{
    // The CR of a CR LF pair is dropped, a lone CR stays (a blank between
    // words), and a 0x1A byte ends the text: for both readers, in every
    // storage and open mode.
    Place("menu\\rule.txt", std::string("one\rtwo three\r\n\r\nfour\r\x1A" "five\r\n"));
    TextSource source;
    ASSERT_TRUE(source.open("menu\\rule.txt"));
    EXPECT_EQ(source.from_archive(), files_.from_archive());
    std::string text;
    for (int c = source.get(); c >= 0; c = source.get())
        text += static_cast<char>(c);
    EXPECT_EQ(text, "one\rtwo three\n\nfour\r");

    const ArchivePath where = SplitArchivePath("menu\\rule.txt");
    for (const char* mode : {"rt", "rb"}) {
        SCOPED_TRACE(mode);
        mixer m;
        if (files_.from_archive())
            ASSERT_EQ(m.open(where.archive.c_str(), where.entry.c_str(), mode), 0) << m.error_text();
        else
            ASSERT_EQ(m.open_file("menu\\rule.txt", mode), 0) << m.error_text();
        EXPECT_EQ(read_texts(m, 1), (std::vector<std::string>{"one\rtwo three", "", "four\r"}));
        EXPECT_EQ(m.error(), kMixOutOfDomain);
        ASSERT_EQ(m.seekfile(0, 0), 0);
        EXPECT_EQ(read_texts(m, 0), (std::vector<std::string>{"one", "two", "three", "four"}));
    }
}

INSTANTIATE_TEST_SUITE_P(AllStorages, TextRule, text_fixture::kAllStorages, text_fixture::storage_name);

TEST(Mixer, FindsDemoArchivesByTheirFilesPaths)
{
    const auto root = torvane_test::make_temp_dir("demo");
    struct File {
        const char* native;
        const char* program;
        std::string contents;
    };
    const File files[] = {
        {"Data/Info.dat", "Data\\Info.dat", "INFO\nf1.5 END_LIST\n"},
        {"Data/Tracks/Misano.dat", "Data\\Tracks\\Misano.dat", std::string(2000, 'm')},
        {"Gfx/Loading/loading.pcx", "gfx\\Loading\\LOADING.PCX", std::string("\x0A\x05\x01\x08", 4) + std::string(500, '\0')},
        {"menu/Riders.txt", ".\\menu\\Riders.txt", "Rider One\nRider Two\n"},
        {"Sfx/engines/engines.dat", "sfx\\engines\\engines.dat", "ENGINES\nEND_LIST\n"},
        {"menu/3d/podium.pal", "menu\\3d\\podium.pal", std::string(768, '\x40')},
        {"Data/Tracks/Sub/deep.dat", "Data\\Tracks\\Sub\\deep.dat", "deep"},
    };
    for (const File& f : files) {
        std::filesystem::create_directories((root / f.native).parent_path());
        ASSERT_TRUE(platform::write_file_atomic((root / f.native).string(), f.contents.data(), f.contents.size()));
    }
    std::string error;
    ASSERT_TRUE(datakit::pack_demo_archives(root, error)) << error;
    EXPECT_TRUE(std::filesystem::exists(root / "Data/Data.mix"));
    EXPECT_TRUE(std::filesystem::exists(root / "Data/Tracks.mix"));
    EXPECT_TRUE(std::filesystem::exists(root / "Gfx/Loading.mix"));
    EXPECT_TRUE(std::filesystem::exists(root / "menu.mix"));

    torvane_test::ScopedCwd cwd(root);
    for (const File& f : files) {
        SCOPED_TRACE(f.program);
        const ArchivePath split = SplitArchivePath(f.program);
        mixer m;
        ASSERT_EQ(m.open(split.archive.c_str(), split.entry.c_str(), "rb"), 0) << m.error_text();
        EXPECT_EQ(read_all(m, 333), bytes_of(f.contents));
    }
}
