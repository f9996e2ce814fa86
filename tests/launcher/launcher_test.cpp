#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// What a stand-in program wrote when it ran: its working folder, then its
// argument count and arguments, one to a line.
struct Run {
    std::string folder;
    std::vector<std::string> arguments;
};

// A stand-in for the game or the installer: a shell script that writes
// where it runs and what it was given to `record` (through a temporary
// file, so a reader never sees half of it).
void WriteStandIn(const fs::path& program, const fs::path& record)
{
    std::ofstream out(program);
    out << "#!/bin/sh\n"
        << "{ pwd -P; echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > '" << record.string() << ".tmp'\n"
        << "mv '" << record.string() << ".tmp' '" << record.string() << "'\n";
    out.close();
    fs::permissions(program, fs::perms::owner_all, fs::perm_options::replace);
}

// Waits (bounded) for a stand-in's record.
std::optional<Run> WaitForRun(const fs::path& record, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(record)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream in(record);
    Run run;
    std::getline(in, run.folder);
    int count = 0;
    in >> count;
    in.ignore();
    for (std::string line; count-- > 0 && std::getline(in, line);)
        run.arguments.push_back(line);
    return run;
}

std::string Canonical(const fs::path& p)
{
    return fs::canonical(p).string();
}

// Each test has a game folder with a stand-in "Torvane", a current folder
// with a stand-in "Setup", and an empty settings key.
class Launcher : public ::testing::Test {
protected:
    Launcher()
        : game_(torvane_test::make_temp_dir("game")), here_(torvane_test::make_temp_dir("here")),
          records_(torvane_test::make_temp_dir("records")), cwd_(here_)
    {
    }

    void SetUp() override
    {
        platform::RegistryKey::delete_key(kLauncherKey);
        platform::clear_recorded_message_boxes();
        platform::clear_faults();
        WriteStandIn(game_ / kGameProgram, GameRecord());
        WriteStandIn(here_ / kInstallerProgram, InstallerRecord());
    }
    void TearDown() override
    {
        platform::clear_faults();
        platform::RegistryKey::delete_key(kLauncherKey);
    }

    fs::path GameRecord() const { return records_ / "game.txt"; }
    fs::path InstallerRecord() const { return records_ / "setup.txt"; }
    platform::RegistryKey Key() const { return platform::RegistryKey(kLauncherKey); }

    std::string OnlyMessage()
    {
        const auto boxes = platform::recorded_message_boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? std::string() : boxes.front().text;
    }

    const fs::path game_, here_, records_;
    torvane_test::ScopedCwd cwd_;
};

TEST_F(Launcher, StartsTheGameInTheRecordedFolderWithNoArguments)
{
    ASSERT_TRUE(Key().set_string(kStartpathValue, game_.string()));
    EXPECT_EQ(RunLauncher(), kLauncherStarted);
    const auto run = WaitForRun(GameRecord());
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->folder, Canonical(game_));
    EXPECT_TRUE(run->arguments.empty());
    EXPECT_FALSE(fs::exists(InstallerRecord()));
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(Launcher, AValueIsTakenUpToItsFirstZeroByte)
{
    std::string stored = game_.string();
    stored += '\0';
    stored += "rest of an old value";
    ASSERT_TRUE(Key().set_string(kStartpathValue, stored));
    EXPECT_EQ(RunLauncher(), kLauncherStarted);
    const auto run = WaitForRun(GameRecord());
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->folder, Canonical(game_));
}

// Without a recorded installation (no key, or the key without the value)
// the installer beside the launcher starts, in the current folder.
TEST_F(Launcher, WithoutARecordedFolderTheInstallerStartsInTheCurrentFolder)
{
    for (const bool key_without_value : {false, true}) {
        SCOPED_TRACE(key_without_value ? "key without the value" : "no key");
        fs::remove(InstallerRecord());
        platform::RegistryKey::delete_key(kLauncherKey);
        if (key_without_value) {
            ASSERT_TRUE(Key().set_dword("HRes", 640));
        }
        EXPECT_EQ(RunLauncher(), kLauncherStarted);
        const auto run = WaitForRun(InstallerRecord());
        ASSERT_TRUE(run.has_value());
        EXPECT_EQ(run->folder, Canonical(here_));
        EXPECT_TRUE(run->arguments.empty());
    }
    EXPECT_FALSE(fs::exists(GameRecord()));
}

TEST_F(Launcher, AMissingGameIsReportedWithItsPathAndAFailingStatus)
{
    const fs::path empty = torvane_test::make_temp_dir("empty");
    const struct {
        const char* what;
        std::string folder;
        std::string expected;
    } cases[] = {
        {"no game in the folder", empty.string(), (empty / kGameProgram).string() + "\" is not there"},
        {"no such folder", (empty / "gone").string(), "is not there"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::clear_recorded_message_boxes();
        ASSERT_TRUE(Key().set_string(kStartpathValue, c.folder));
        EXPECT_EQ(RunLauncher(), kLauncherCannotStart);
        const std::string text = OnlyMessage();
        EXPECT_NE(text.find("Cannot start the game"), std::string::npos) << text;
        EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    }
    // The installer is not run in its place.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(InstallerRecord()));
}

TEST_F(Launcher, AGameThatMayNotBeRunIsReported)
{
    fs::permissions(game_ / kGameProgram, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    ASSERT_TRUE(Key().set_string(kStartpathValue, game_.string()));
    EXPECT_EQ(RunLauncher(), kLauncherCannotStart);
    EXPECT_NE(OnlyMessage().find("may not be run"), std::string::npos);
}

TEST_F(Launcher, ADamagedStartpathIsReportedAndNothingStarts)
{
    const struct {
        const char* what;
        platform::RegistryType type;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"a number", platform::RegistryType::Dword, {1, 0, 0, 0}, "not a text"},
        {"bytes", platform::RegistryType::Binary, {'/', 't', 'm', 'p'}, "not a text"},
        {"empty", platform::RegistryType::String, {}, "empty"},
        {"only a zero", platform::RegistryType::String, {0, '/', 't'}, "empty"},
        {"too long", platform::RegistryType::String, std::vector<std::uint8_t>(kStartpathCapacity, 'a'),
         "longer than 259"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::clear_recorded_message_boxes();
        platform::RegistryKey key = Key();
        if (c.type == platform::RegistryType::Dword)
            ASSERT_TRUE(key.set_dword(kStartpathValue, 1));
        else if (c.type == platform::RegistryType::Binary)
            ASSERT_TRUE(key.set_binary(kStartpathValue, c.bytes));
        else
            ASSERT_TRUE(key.set_string(kStartpathValue,
                                       std::string(c.bytes.begin(), c.bytes.end())));
        EXPECT_EQ(RunLauncher(), kLauncherBadStartpath);
        const std::string text = OnlyMessage();
        EXPECT_NE(text.find("\"Startpath\""), std::string::npos) << text;
        EXPECT_NE(text.find("damaged"), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
    // The longest value that fits is sound.
    ASSERT_TRUE(Key().set_string(kStartpathValue, std::string(kStartpathCapacity - 1, 'a')));
    const RecordedInstallation fits = ReadRecordedInstallation();
    EXPECT_TRUE(fits.damage.empty());
    EXPECT_EQ(fits.folder.size(), kStartpathCapacity - 1);

    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(GameRecord()));
    EXPECT_FALSE(fs::exists(InstallerRecord()));
}

TEST_F(Launcher, NeitherGameNorInstallerIsReported)
{
    fs::remove(here_ / kInstallerProgram);
    EXPECT_EQ(RunLauncher(), kLauncherCannotStart);
    const std::string text = OnlyMessage();
    EXPECT_NE(text.find("not installed"), std::string::npos) << text;
    EXPECT_NE(text.find(kInstallerProgram), std::string::npos) << text;
}

TEST_F(Launcher, AStartTheSystemRefusesIsReported)
{
    ASSERT_TRUE(Key().set_string(kStartpathValue, game_.string()));
    platform::fail_next(platform::Fault::ProgramStart);
    EXPECT_EQ(RunLauncher(), kLauncherCannotStart);
    EXPECT_NE(OnlyMessage().find("refused"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(GameRecord()));
}

// The program as built, started as a player starts it, with the settings
// folder of this test process.
TEST_F(Launcher, TheBuiltProgramStartsTheGameAndEnds)
{
    ASSERT_TRUE(Key().set_string(kStartpathValue, game_.string()));
    std::string error;
    int process = 0;
    ASSERT_TRUE(platform::start_program(TORVANE_LAUNCHER_PROGRAM, here_.string(), error, &process)) << error;
    EXPECT_EQ(platform::wait_for_program(process, std::chrono::seconds(30)), kLauncherStarted);
    const auto run = WaitForRun(GameRecord());
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->folder, Canonical(game_));
    EXPECT_TRUE(run->arguments.empty());

    // Without the game it ends with the failing status.
    fs::remove(game_ / kGameProgram);
    ASSERT_TRUE(platform::start_program(TORVANE_LAUNCHER_PROGRAM, here_.string(), error, &process)) << error;
    EXPECT_EQ(platform::wait_for_program(process, std::chrono::seconds(30)), kLauncherCannotStart);
}

TEST(ProgramStart, WaitingForAProgramThatIsNotOursGivesNoStatus)
{
    EXPECT_EQ(platform::wait_for_program(0, std::chrono::milliseconds(10)), -1);
    EXPECT_EQ(platform::wait_for_program(1, std::chrono::milliseconds(10)), -1);
}

} // namespace
