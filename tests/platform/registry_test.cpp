#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "platform/atomic_file.h"
#include "platform/fault_seam.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using platform::RegistryKey;
using platform::RegistryType;
using Bytes = std::vector<std::uint8_t>;

namespace {

const char* const kGameKey = "Software\\Corvantis\\TVNDemo";
const char* const kGameFile = "software.corvantis.tvndemo.key";

// Sets (or, with nullptr, removes) an environment variable for the lifetime
// of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

Bytes read_bytes(const fs::path& path)
{
    Bytes out;
    EXPECT_TRUE(platform::read_file_whole(path.string(), out)) << path;
    return out;
}

void write_bytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// CRC-32 written out bit by bit, independent of the store's table, so that
// a test can seal a hand-made file the way the store checks it.
std::uint32_t bitwise_crc32(const Bytes& b, std::size_t n)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= b[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

void put_u32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A key file body (tag, version, count, then `entries` as given) sealed with
// its checksum.
Bytes sealed_file(std::uint32_t version, std::uint32_t count, const Bytes& entries)
{
    Bytes b{'T', 'V', 'R', 'K'};
    put_u32(b, version);
    put_u32(b, count);
    b.insert(b.end(), entries.begin(), entries.end());
    put_u32(b, bitwise_crc32(b, b.size()));
    return b;
}

Bytes entry(std::uint32_t type, const std::string& name, const Bytes& data)
{
    Bytes b;
    put_u32(b, type);
    put_u32(b, static_cast<std::uint32_t>(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    put_u32(b, static_cast<std::uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override { platform::clear_faults(); }
    void TearDown() override { platform::clear_faults(); }

    fs::path home_ = torvane_test::make_temp_dir("registry");
    ScopedEnv env_{"TORVANE_HOME", home_.c_str()};
    fs::path game_file_ = home_ / kGameFile;
};

} // namespace

TEST_F(Registry, EveryTypeRoundTripsExactlyThroughTheFile)
{
    const std::string odd_text("line 1\nline 2\r\n\x1A\xFF tail\0end", 24);
    const Bytes odd_binary{0, 1, 0, '\n', '\r', 0xFF, 0};
    {
        RegistryKey key(kGameKey);
        ASSERT_TRUE(key.set_dword("Camera", 3)) << key.last_error();
        ASSERT_TRUE(key.set_dword("Max", 0xFFFFFFFFu));
        ASSERT_TRUE(key.set_dword("Zero", 0));
        ASSERT_TRUE(key.set_float("SoundVolume", 0.61f));
        ASSERT_TRUE(key.set_string("PlayerName", "PLAYER"));
        ASSERT_TRUE(key.set_string("Odd", odd_text));
        ASSERT_TRUE(key.set_string("Empty", ""));
        ASSERT_TRUE(key.set_binary("Monitor", odd_binary));
        ASSERT_TRUE(key.set_binary("NoBytes", {}));
        ASSERT_TRUE(key.set_string("", "the unnamed value"));
    }
    EXPECT_TRUE(fs::is_regular_file(game_file_));

    const RegistryKey key(kGameKey);
    EXPECT_TRUE(key.exists());
    EXPECT_EQ(key.get_dword("Camera"), 3u);
    EXPECT_EQ(key.get_dword("Max"), 0xFFFFFFFFu);
    EXPECT_EQ(key.get_dword("Zero"), 0u);
    // A float is the bits of a word: the word reads back as those bits.
    EXPECT_EQ(key.get_float("SoundVolume"), 0.61f);
    EXPECT_EQ(key.get_dword("SoundVolume"), std::bit_cast<std::uint32_t>(0.61f));
    EXPECT_EQ(key.get_string("PlayerName"), "PLAYER");
    EXPECT_EQ(key.get_string("Odd"), odd_text);
    EXPECT_EQ(key.get_string("Empty"), "");
    EXPECT_EQ(key.get_binary("Monitor"), odd_binary);
    EXPECT_EQ(key.get_binary("NoBytes"), Bytes{});
    EXPECT_EQ(key.get_string(""), "the unnamed value");

    const auto all = key.values();
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all[0].name, "Camera");
    EXPECT_EQ(all[9].name, "");
    const auto word = key.get_value("Camera");
    ASSERT_TRUE(word);
    EXPECT_EQ(word->type, RegistryType::Dword);
    EXPECT_EQ(word->data, (Bytes{3, 0, 0, 0}));
}

TEST_F(Registry, StoredLayoutIsTheDocumentedOne)
{
    // Stored settings must stay readable across builds: the layout is fixed.
    RegistryKey key(kGameKey);
    ASSERT_TRUE(key.set_dword("Km", 1));
    ASSERT_TRUE(key.set_string("PlayerName", "Al"));
    const Bytes expected = sealed_file(1, 2, entry(4, "Km", {1, 0, 0, 0}) + entry(1, "PlayerName", {'A', 'l'}));
    EXPECT_EQ(read_bytes(game_file_), expected);
}

TEST_F(Registry, NamesAndKeyPathsIgnoreCaseAndKeepTheirFirstCase)
{
    RegistryKey key(kGameKey);
    ASSERT_TRUE(key.set_dword("NumArcadeLaps", 3));
    EXPECT_EQ(key.get_dword("numarcadelaps"), 3u);
    EXPECT_EQ(key.get_dword("NUMARCADELAPS"), 3u);

    RegistryKey shouting("SOFTWARE\\corvantis\\TvnDemo");
    EXPECT_EQ(shouting.get_dword("NumArcadeLaps"), 3u);
    ASSERT_TRUE(shouting.set_dword("NUMARCADELAPS", 5));

    const auto all = key.values();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "NumArcadeLaps");
    EXPECT_EQ(key.get_dword("NumArcadeLaps"), 5u);
    EXPECT_TRUE(key.delete_value("numARCADElaps"));
    EXPECT_TRUE(key.values().empty());
    // Only ASCII letters fold: other bytes must match exactly.
    ASSERT_TRUE(key.set_dword("\xC9t\xE9", 1));
    EXPECT_FALSE(key.get_dword("\xE9t\xE9"));
    EXPECT_EQ(key.get_dword("\xC9T\xE9"), 1u);
}

TEST_F(Registry, AValueOfAnotherTypeReadsAsAbsent)
{
    RegistryKey key(kGameKey);
    ASSERT_TRUE(key.set_dword("Word", 7));
    ASSERT_TRUE(key.set_string("Text", "abcd"));
    ASSERT_TRUE(key.set_binary("Blob", {1, 2, 3, 4}));

    EXPECT_FALSE(key.get_string("Word"));
    EXPECT_FALSE(key.get_binary("Word"));
    EXPECT_FALSE(key.get_dword("Text"));
    EXPECT_FALSE(key.get_float("Text"));
    EXPECT_FALSE(key.get_binary("Text"));
    EXPECT_FALSE(key.get_dword("Blob"));
    EXPECT_FALSE(key.get_string("Blob"));
    EXPECT_FALSE(key.get_dword("Missing"));

    // A reader that takes any type sees the value and its type.
    const auto text = key.get_value("Text");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->type, RegistryType::String);

    // Storing another type replaces the value in place.
    ASSERT_TRUE(key.set_string("Word", "now text"));
    EXPECT_FALSE(key.get_dword("Word"));
    EXPECT_EQ(key.get_string("Word"), "now text");
    EXPECT_EQ(key.values().size(), 3u);
}

TEST_F(Registry, AMissingKeyReadsAbsentAndReadingDoesNotMakeIt)
{
    RegistryKey key(kGameKey);
    EXPECT_FALSE(key.exists());
    EXPECT_FALSE(key.get_dword("Camera"));
    EXPECT_FALSE(key.get_string("PlayerName"));
    EXPECT_FALSE(key.get_value("Startpath"));
    EXPECT_TRUE(key.values().empty());
    EXPECT_FALSE(key.delete_value("Camera"));
    EXPECT_FALSE(key.last_error().empty());
    std::string error;
    EXPECT_FALSE(RegistryKey::delete_key(kGameKey, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_empty(home_));

    // A settings folder that is not there yet reads the same, and the first
    // write makes it.
    const fs::path deep = home_ / "not" / "yet";
    ScopedEnv env("TORVANE_HOME", deep.c_str());
    EXPECT_FALSE(key.exists());
    EXPECT_FALSE(key.get_dword("Camera"));
    EXPECT_FALSE(fs::exists(deep));
    ASSERT_TRUE(key.set_dword("Camera", 1)) << key.last_error();
    EXPECT_TRUE(fs::is_regular_file(deep / kGameFile));
}

TEST_F(Registry, CreateMakesAnEmptyKeyAndKeepsAnExistingOne)
{
    RegistryKey key(kGameKey);
    ASSERT_TRUE(key.create()) << key.last_error();
    EXPECT_TRUE(key.exists());
    EXPECT_TRUE(key.values().empty());
    ASSERT_TRUE(key.set_dword("Camera", 2));
    ASSERT_TRUE(key.create());
    EXPECT_EQ(key.get_dword("Camera"), 2u);
}

TEST_F(Registry, DeletingValuesAndKeys)
{
    RegistryKey demo(kGameKey);
    ASSERT_TRUE(demo.set_dword("Camera", 1));
    ASSERT_TRUE(demo.set_dword("Sound", 1));
    RegistryKey full("Software\\Corvantis\\TVN");
    ASSERT_TRUE(full.set_string("Track", "Circuit"));
    RegistryKey below("Software\\Corvantis\\TVN\\Pages");
    ASSERT_TRUE(below.set_dword("Last", 4));

    EXPECT_TRUE(demo.delete_value("Camera"));
    EXPECT_FALSE(demo.get_dword("Camera"));
    EXPECT_EQ(demo.get_dword("Sound"), 1u);
    EXPECT_FALSE(demo.delete_value("Camera"));

    // A key is there while any key below it is.
    EXPECT_TRUE(RegistryKey("Software\\Corvantis").exists());
    EXPECT_FALSE(RegistryKey("Software\\Corvant").exists());

    // Deleting "TVN" takes the keys below it, not its sibling "TVNDemo".
    std::string error;
    ASSERT_TRUE(RegistryKey::delete_key("software\\corvantis\\tvn", &error)) << error;
    EXPECT_FALSE(full.exists());
    EXPECT_FALSE(below.exists());
    EXPECT_FALSE(full.get_string("Track"));
    EXPECT_TRUE(demo.exists());
    EXPECT_EQ(demo.get_dword("Sound"), 1u);

    // A key whose last value went stays, empty, until it is deleted.
    EXPECT_TRUE(demo.delete_value("Sound"));
    EXPECT_TRUE(demo.exists());
    ASSERT_TRUE(RegistryKey::delete_key(kGameKey, &error)) << error;
    EXPECT_FALSE(demo.exists());
    EXPECT_FALSE(RegistryKey("Software\\Corvantis").exists());
    EXPECT_FALSE(RegistryKey::delete_key(kGameKey, &error));
}

TEST_F(Registry, AnInterruptedWriteKeepsTheOldFileAndValues)
{
    RegistryKey key(kGameKey);
    ASSERT_TRUE(key.set_dword("Camera", 1));
    ASSERT_TRUE(key.set_string("PlayerName", "OLD"));
    const Bytes before = read_bytes(game_file_);

    struct Step {
        const char* what;
        bool (*change)(RegistryKey&);
    };
    const Step steps[] = {
        {"set_dword", [](RegistryKey& k) { return k.set_dword("Camera", 2); }},
        {"set_dword new", [](RegistryKey& k) { return k.set_dword("Music", 1); }},
        {"set_string", [](RegistryKey& k) { return k.set_string("PlayerName", "NEW"); }},
        {"set_binary", [](RegistryKey& k) { return k.set_binary("Camera", {9}); }},
        {"set_float", [](RegistryKey& k) { return k.set_float("Camera", 1.5f); }},
        {"delete_value", [](RegistryKey& k) { return k.delete_value("Camera"); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        platform::fail_next(platform::Fault::RegistryWrite);
        EXPECT_FALSE(step.change(key));
        EXPECT_FALSE(key.last_error().empty());
        EXPECT_EQ(read_bytes(game_file_), before);
        EXPECT_FALSE(fs::exists(game_file_.string() + ".tmp"));
        // Neither this object nor a fresh one claims the new value.
        for (const RegistryKey& view : {key, RegistryKey(kGameKey)}) {
            EXPECT_EQ(view.get_dword("Camera"), 1u);
            EXPECT_EQ(view.get_string("PlayerName"), "OLD");
            EXPECT_FALSE(view.get_dword("Music"));
        }
    }
    // The next write goes through and clears the error.
    ASSERT_TRUE(key.set_dword("Camera", 2));
    EXPECT_TRUE(key.last_error().empty());
    EXPECT_EQ(RegistryKey(kGameKey).get_dword("Camera"), 2u);
}

TEST_F(Registry, DamagedFilesReadAsEmptyAndAreKeptOnTheNextWrite)
{
    RegistryKey healthy(kGameKey);
    ASSERT_TRUE(healthy.set_dword("Camera", 1));
    ASSERT_TRUE(healthy.set_string("PlayerName", "RIDER"));
    const Bytes good = read_bytes(game_file_);

    Bytes truncated(good.begin(), good.end() - 5);
    Bytes flipped = good;
    flipped[20] ^= 0x01;
    Bytes bad_checksum = good;
    bad_checksum.back() ^= 0x80;
    const Bytes garbage{'n', 'o', 't', ' ', 'a', ' ', 'k', 'e', 'y', '\n', 0, 0xFF, 1, 2, 3, 4, 5, 6, 7};
    const Bytes word = entry(4, "Camera", {1, 0, 0, 0});

    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"truncated", truncated},
        {"flipped bit", flipped},
        {"bad checksum", bad_checksum},
        {"garbage", garbage},
        {"later version", sealed_file(2, 1, word)},
        {"count beyond the file", sealed_file(1, 0x10000000u, word)},
        {"count one too many", sealed_file(1, 2, word)},
        {"name runs past the end", sealed_file(1, 1, Bytes{4, 0, 0, 0, 0xFF, 0xFF, 0, 0, 1, 2, 3, 4})},
        {"data runs past the end", sealed_file(1, 1, Bytes{3, 0, 0, 0, 1, 0, 0, 0, 'B', 0xFF, 0, 0, 0, 1, 2})},
        {"word of 3 bytes", sealed_file(1, 1, entry(4, "Camera", {1, 0, 0}))},
        {"unknown type", sealed_file(1, 1, entry(7, "Camera", {1, 0, 0, 0}))},
        {"name stored twice", sealed_file(1, 2, word + entry(4, "CAMERA", {2, 0, 0, 0}))},
        {"bytes left over", sealed_file(1, 1, word + Bytes{0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& e : fs::directory_iterator(home_))
            fs::remove(e.path());
        write_bytes(game_file_, c.bytes);

        ::testing::internal::CaptureStderr();
        RegistryKey key(kGameKey);
        EXPECT_TRUE(key.exists());
        EXPECT_FALSE(key.get_dword("Camera"));
        EXPECT_FALSE(key.get_string("PlayerName"));
        EXPECT_TRUE(key.values().empty());
        ASSERT_TRUE(key.set_dword("Sound", 1)) << key.last_error();
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(count_of(said, "is damaged"), 1u) << said;
        EXPECT_NE(said.find(kGameFile), std::string::npos) << said;

        EXPECT_EQ(read_bytes(game_file_.string() + ".damaged"), c.bytes);
        EXPECT_EQ(key.get_dword("Sound"), 1u);
        EXPECT_EQ(key.values().size(), 1u);
    }
}

TEST_F(Registry, EveryDamagedFileGetsItsOwnBackup)
{
    const Bytes first{'o', 'n', 'e'};
    const Bytes second{'t', 'w', 'o'};
    const Bytes third{'3'};
    RegistryKey key(kGameKey);
    ::testing::internal::CaptureStderr();
    write_bytes(game_file_, first);
    ASSERT_TRUE(key.set_dword("A", 1));
    write_bytes(game_file_, second);
    ASSERT_TRUE(key.set_dword("B", 2));
    write_bytes(game_file_, third);
    // Deleting a key never drops a damaged file either.
    std::string error;
    EXPECT_TRUE(RegistryKey::delete_key(kGameKey, &error)) << error;
    ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(read_bytes(game_file_.string() + ".damaged"), first);
    EXPECT_EQ(read_bytes(game_file_.string() + ".damaged.1"), second);
    EXPECT_EQ(read_bytes(game_file_.string() + ".damaged.2"), third);
    EXPECT_FALSE(key.exists());
}

TEST_F(Registry, SomethingOtherThanAFileInTheKeysPlaceIsNeitherReadNorReplaced)
{
    // A folder stands for a file that cannot be read; a pipe would never end
    // a read.
    for (const bool pipe : {false, true}) {
        SCOPED_TRACE(pipe ? "pipe" : "folder");
        fs::remove_all(game_file_);
        if (pipe)
            ASSERT_EQ(mkfifo(game_file_.c_str(), 0600), 0);
        else
            fs::create_directory(game_file_);
        const auto type = fs::symlink_status(game_file_).type();

        RegistryKey key(kGameKey);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(key.get_dword("Camera"));
        EXPECT_FALSE(key.set_dword("Camera", 1));
        EXPECT_NE(key.last_error().find("not a plain file"), std::string::npos) << key.last_error();
        EXPECT_FALSE(key.delete_value("Camera"));
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(count_of(said, "not a plain file"), 1u) << said;
        EXPECT_EQ(fs::symlink_status(game_file_).type(), type);
    }
}

TEST_F(Registry, WritesFailCleanlyWhenTheSettingsFolderCannotBeMade)
{
    write_bytes(home_ / "plain-file", {1});
    const fs::path inside = home_ / "plain-file" / "torvane";
    ScopedEnv env("TORVANE_HOME", inside.c_str());
    RegistryKey key(kGameKey);
    EXPECT_FALSE(key.set_dword("Camera", 1));
    EXPECT_NE(key.last_error().find("settings folder"), std::string::npos) << key.last_error();
    EXPECT_FALSE(key.create());
    EXPECT_FALSE(key.get_dword("Camera"));
}

TEST(RegistryFileName, KeyPathsMapToSafeFileNames)
{
    struct Case {
        std::string path;
        std::optional<std::string> file;
    };
    const Case cases[] = {
        {"Software\\Corvantis\\TVNDemo", "software.corvantis.tvndemo.key"},
        {"SOFTWARE\\CORVANTIS\\TVN", "software.corvantis.tvn.key"},
        {"a b\\c.d\\e/f%", "a%20b.c%2ed.e%2ff%25.key"},
        {"under_score-dash\\\xE9", "under_score-dash.%e9.key"},
        {"x", "x.key"},
        {"", std::nullopt},
        {"\\Software", std::nullopt},
        {"Software\\", std::nullopt},
        {"Software\\\\Corvantis", std::nullopt},
        {std::string(196, 'k'), std::string(196, 'k') + ".key"},
        {std::string(197, 'k'), std::nullopt},
        {std::string(66, '.'), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(platform::registry_file_name(c.path), c.file);
    }

    // A key without a file name can be neither written nor read.
    RegistryKey bad("Software\\\\Corvantis");
    EXPECT_FALSE(bad.set_dword("Camera", 1));
    EXPECT_NE(bad.last_error().find("invalid key path"), std::string::npos);
    EXPECT_FALSE(bad.exists());
    EXPECT_FALSE(bad.get_dword("Camera"));
    EXPECT_FALSE(RegistryKey::delete_key("", nullptr));
}

TEST(RegistryFolder, FollowsTheEnvironment)
{
    const fs::path base = torvane_test::make_temp_dir("registry-env");
    const std::string torvane = (base / "th").string();
    const std::string xdg = (base / "xdg").string();
    const std::string home = (base / "home").string();
    {
        ScopedEnv a("TORVANE_HOME", torvane.c_str());
        ScopedEnv b("XDG_CONFIG_HOME", xdg.c_str());
        ScopedEnv c("HOME", home.c_str());
        EXPECT_EQ(platform::registry_folder(), torvane);

        ScopedEnv no_torvane("TORVANE_HOME", nullptr);
        EXPECT_EQ(platform::registry_folder(), xdg + "/torvane");
        ASSERT_TRUE(RegistryKey(kGameKey).set_dword("Camera", 4));
        EXPECT_TRUE(fs::is_regular_file(base / "xdg" / "torvane" / kGameFile));

        ScopedEnv relative_xdg("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(platform::registry_folder(), home + "/.config/torvane");
        ScopedEnv no_xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(platform::registry_folder(), home + "/.config/torvane");
        EXPECT_FALSE(RegistryKey(kGameKey).exists());
        ASSERT_TRUE(RegistryKey(kGameKey).set_dword("Camera", 5));
        EXPECT_TRUE(fs::is_regular_file(base / "home" / ".config" / "torvane" / kGameFile));

        ScopedEnv no_home("HOME", nullptr);
        EXPECT_EQ(platform::registry_folder(), "");
        RegistryKey nowhere(kGameKey);
        EXPECT_FALSE(nowhere.set_dword("Camera", 1));
        EXPECT_FALSE(nowhere.last_error().empty());
    }
    // Each folder kept its own value; TORVANE_HOME wins again once restored.
    ScopedEnv a("TORVANE_HOME", torvane.c_str());
    EXPECT_FALSE(RegistryKey(kGameKey).exists());
    ScopedEnv b("TORVANE_HOME", nullptr);
    ScopedEnv c("XDG_CONFIG_HOME", xdg.c_str());
    EXPECT_EQ(RegistryKey(kGameKey).get_dword("Camera"), 4u);
}

TEST_F(Registry, TwoObjectsOnOneKeySeeEachOthersWrites)
{
    RegistryKey first(kGameKey);
    RegistryKey second("software\\corvantis\\tvndemo");
    ASSERT_TRUE(first.set_dword("Camera", 1));
    EXPECT_EQ(second.get_dword("Camera"), 1u);
    ASSERT_TRUE(second.set_dword("Sound", 0));
    ASSERT_TRUE(first.set_dword("Camera", 2));
    // Neither write lost the other's value.
    EXPECT_EQ(second.get_dword("Camera"), 2u);
    EXPECT_EQ(first.get_dword("Sound"), 0u);
    ASSERT_TRUE(second.delete_value("Camera"));
    EXPECT_FALSE(first.get_dword("Camera"));
}
