#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "platform/message_box.h"
#include "screens/race_commands.h"
#include "tests/support/temp_dir.h"
#include "tests/support/demo_data.h"

namespace {

// The program-wide records a menu command reads, over the demo data.
class RaceCommands : public ::testing::Test {
protected:
    RaceCommands() : dir_(torvane_test::make_temp_dir("data")), cwd_(MakeData(dir_)) {}

    static const std::filesystem::path& MakeData(const std::filesystem::path& dir)
    {
        std::string error;
        EXPECT_TRUE(torvane_test::install_demo_data(dir, error)) << error;
        return dir;
    }

    void SetUp() override
    {
        platform::clear_recorded_message_boxes();
        SetTheGameSettings(&settings_);
        SetTheGameApp(&app_);
        champ_.Start();
        app_.SetRaceRunner([this](GameApp& app) {
            ++races_;
            flags_ = app.Flags;
            track_ = app.m_szTrack;
        });
    }
    void TearDown() override
    {
        SetTheGameApp(nullptr);
        SetTheGameSettings(nullptr);
    }

    const std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    GameSettings settings_;
    GameApp app_;
    ChampObjects champ_;
    int races_ = 0;
    std::uint32_t flags_ = 0;
    std::string track_;
};

} // namespace

TEST_F(RaceCommands, ASessionStartedFromAMenuCommandIsPreparedAndRun)
{
    // Qualifying of the fourth event of a simulation championship.
    app_.Flags = kAppFlagMenu;
    TheChampionship().GameMode = 4;
    TheChampionship().CurrentEventIndex = 3;
    StartSessionFromMenu(kSessionFirstTimed);
    EXPECT_EQ(races_, 1);
    EXPECT_EQ(flags_ & (kAppFlagMenu | kAppFlagDirectStart), kAppFlagMenu | kAppFlagDirectStart);
    EXPECT_EQ(TheChampionship().GetSessionKind(), kSessionFirstTimed);
    EXPECT_EQ(track_, "Hocken");
    EXPECT_EQ(app_.m_nSession, 2); // a timed session

    // A session kind the championship does not know runs nothing.
    EXPECT_ANY_THROW(StartSessionFromMenu(7));
    EXPECT_EQ(races_, 1);
}
