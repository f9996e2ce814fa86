// A set-up tuned by the player reaches the bike the simulation rides: one
// carried through its ".stp" file rides in the next session, and one
// stored while a session runs changes the player's bike at once.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "screens/setup_screens.h"
#include "tests/race/race_fixture.h"

namespace {

class SetupRace : public race_test::RaceFixture {
protected:
    // The human bike of the loaded race.
    Bike* player()
    {
        for (int i = 0; i < race->RiderCount(); ++i)
            if (bike(i).IsHuman())
                return &bike(i);
        return nullptr;
    }
};

TEST_F(SetupRace, ASetUpThroughItsFileRidesInTheNextSessionAndOneStoredMidSessionAtOnce)
{
    // The model's own set-up, from a first session.
    Header("Sugo", 1, 4);
    AddPlayer(0);
    ASSERT_TRUE(Load());
    ASSERT_NE(player(), nullptr);
    BikeSetup tuned = *player()->Setup;
    const float primary = player()->PrimaryRatio;
    race.reset();

    // Tuned: other teeth and a longer first gear, saved and read back as a
    // ".stp" file.
    tuned.SprocketTeeth = 14;
    tuned.CrownTeeth = 41;
    tuned.GearRatio[0] = 2.2f;
    SetupFile file{"long first", "PLAYER", "Sugo", tuned};
    SetupFile read;
    std::string why;
    ASSERT_TRUE(ParseSetupFile(SetupFileBytes(file), read, why)) << why;

    Header("Sugo", 1, 4);
    PlayerRecord record = GameApp::MakePlayerTemplate();
    record.RiderIndex = 0;
    record.Setup = read.setup;
    app.AddPlayer(record);
    ASSERT_TRUE(Load());
    Bike& rider = *player();
    EXPECT_EQ(rider.SprocketTeeth, 14);
    EXPECT_EQ(rider.CrownTeeth, 41);
    EXPECT_FLOAT_EQ(rider.OverallRatio[0], 2.2f * primary * 41.0f / 14.0f);

    // Stored while the session runs: the player's bike takes it at once.
    BikeSetup shorter = read.setup;
    shorter.SprocketTeeth = 16;
    ASSERT_NE(rider.GridEntry, nullptr);
    EXPECT_TRUE(race->SetRiderSetup(static_cast<std::uint32_t>(rider.GridEntry->PitSlot), &shorter));
    EXPECT_EQ(rider.SprocketTeeth, 16);
    EXPECT_FLOAT_EQ(rider.OverallRatio[0], 2.2f * primary * 41.0f / 16.0f);
    // One the simulation cannot ride is refused and the bike keeps its own.
    BikeSetup broken = shorter;
    broken.SprocketTeeth = 0;
    EXPECT_FALSE(race->SetRiderSetup(static_cast<std::uint32_t>(rider.GridEntry->PitSlot), &broken));
    EXPECT_EQ(rider.SprocketTeeth, 16);
}

} // namespace
