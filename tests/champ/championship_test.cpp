#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "champ/championship.h"
#include "champ/championship_file.h"
#include "champ/game_settings.h"
#include "champ/save_slots.h"
#include "tests/champ/champ_fixture.h"

using champ_fixture::ChampTest;
using champ_fixture::read_file;
using champ_fixture::write_file;
using champ_fixture::write_text;
using champ_fixture::GetU32;
using champ_fixture::PutU32;
using champ_fixture::ThrownText;

namespace {

// Offsets of the first result and the first rider entry in a save.
constexpr std::size_t kFirstResult = kSaveOffsetEvents + 4;
constexpr std::size_t kFirstRider = kSaveOffsetRiders;

class ChampionshipTest : public ChampTest {
protected:
    ChampionshipTest() { WriteDemoFiles(); }

    // A fresh championship as the program builds it.
    std::unique_ptr<Championship> Fresh() { return std::make_unique<Championship>("Default.chp"); }
};

} // namespace

TEST(ChampionshipPoints, TwentyFiveDownToOneThenNothing)
{
    const std::int32_t expected[] = {25, 20, 16, 13, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    for (int p = 0; p < 15; ++p)
        EXPECT_EQ(PointsForPosition(p), expected[p]) << p;
    for (int p : {-1, 15, 31, 255})
        EXPECT_EQ(PointsForPosition(p), 0) << p;
}

TEST_F(ChampionshipTest, ConstructionReadsTheRidersAndLeavesNoName)
{
    auto champ = Fresh();
    EXPECT_STREQ(champ->FileName, "");
    EXPECT_STREQ(champ->Name, "");
    EXPECT_STREQ(champ->FindRider(0).Name, "Aldo Verzani");
    EXPECT_STREQ(champ->GetRiderInfo(champ->FindRider(0)), "Draxel");
    EXPECT_STREQ(champ->GetRiderInfo(champ->FindRider(17)), "Solenne");
    EXPECT_STREQ(champ->FindRider(18).Name, "");  // the demo file lists 18 riders
    for (int i = 0; i < kChampRiders; ++i) {
        EXPECT_EQ(champ->Riders[i].Id, i);
        EXPECT_EQ(champ->Riders[i].Points, -1);
        EXPECT_EQ(champ->Riders[i].Entered, 0);
    }
    EXPECT_EQ(champ->PlayerRider(), -1);
    EXPECT_EQ(champ->RenamedRider, -1);
    EXPECT_EQ(champ->Events[5].SessionKind, 4);
    EXPECT_EQ(champ->Events[5].Results[2][7].RiderId, 7);
    EXPECT_EQ(champ->Events[5].Results[2][7].Position, kNoPosition);
    EXPECT_EQ(champ->Events[5].Results[2][7].TimeC, kNoTime);
}

TEST_F(ChampionshipTest, MissingRidersFileIsShownAndThrown)
{
    std::filesystem::remove(dir_ / "menu" / "Riders.txt");
    platform::invalidate_path_cache();
    EXPECT_EQ(ThrownText([] { Championship c("Default.chp"); }), "riders.txt file not found");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "riders.txt file not found");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].style, platform::MB_ICONHAND);
}

TEST_F(ChampionshipTest, RidersFileRulesAndDamage)
{
    struct Case {
        const char* what;
        std::string text;
        const char* thrown;  // null: reads
    };
    const Case cases[] = {
        {"team names compare without case, line ends are not part of a name",
         "Alpha Beta Gamma Delta Omega\r\nFirst Rider ;ALPHA\r\nSecond Rider;omega\r\n", nullptr},
        {"a name of 20 characters fits", "A B C D E\nTwentyCharactersName;A\n", nullptr},
        {"a name of 21 characters", "A B C D E\nTwentyOneCharacterNam;A\n", "aumenta menu_namesize"},
        {"an unknown team", "A B C D E\nRider;F\n", "team not found"},
        {"a rider without a team", "A B C D E\nRider", "team not found"},
        {"fewer than five teams", "A B C\n", "team not found"},
        {"a team name too long", "A B C D TwentyOneCharacterTeam\n", "aumenta menu_namesize"},
    };
    for (const Case& c : cases) {
        write_text(dir_ / "menu" / "Riders.txt", c.text);
        Championship champ;
        const std::string thrown = ThrownText([&] { champ.LoadRiders(); });
        if (!c.thrown) {
            EXPECT_EQ(thrown, "(nothing thrown)") << c.what;
        } else {
            EXPECT_EQ(thrown, c.thrown) << c.what;
        }
    }
    write_text(dir_ / "menu" / "Riders.txt", cases[0].text);
    Championship champ;
    champ.LoadRiders();
    EXPECT_STREQ(champ.FindRider(0).Name, "First Rider");
    EXPECT_EQ(champ.FindRider(0).Team, 0);
    EXPECT_EQ(champ.FindRider(1).Team, 4);
}

TEST_F(ChampionshipTest, ResetNamesTheChampionshipAndClearsTheLastOne)
{
    auto champ = Fresh();
    champ->AddEntry(2, kEntryComputer);
    champ->SetSessionKind(kSessionFirstRace);
    champ->StoreResult(0, 2, 1, 2, 3, kRiderStatusFinished, 3);
    champ->CurrentEventIndex = 4;

    champ->Reset(".\\menu\\save\\My Season  .chp");
    EXPECT_STREQ(champ->FileName, "My Season  .chp");
    EXPECT_STREQ(champ->Name, "My Season");
    EXPECT_EQ(champ->CurrentEventIndex, 0);
    EXPECT_EQ(champ->EnteredRiders, 0);
    EXPECT_EQ(champ->FindRider(2).Points, -1);
    EXPECT_EQ(champ->Events[0].GetRiderResult(2, 2).Position, kNoPosition);

    champ->Reset("A championship name far too long.chp");
    EXPECT_STREQ(champ->Name, "A championship name");
}

TEST_F(ChampionshipTest, StandingsOrderPointsThenFewerResultsThenId)
{
    auto champ = Fresh();
    for (int id : {4, 9, 1, 7})
        champ->AddEntry(id, kEntryComputer);
    // 25 + 16 from two races against 41 from one: fewer results rank first.
    champ->FindRider(4).Points = 41;
    champ->FindRider(4).Scores = 2;
    champ->FindRider(9).Points = 41;
    champ->FindRider(9).Scores = 1;
    // Equal in points and results: the lower id first.
    champ->FindRider(7).Points = 10;
    champ->FindRider(7).Scores = 1;
    champ->FindRider(1).Points = 10;
    champ->FindRider(1).Scores = 1;
    champ->StandingsSorted = 0;

    const std::int32_t order[] = {9, 4, 1, 7};
    for (int slot = 0; slot < 4; ++slot) {
        std::int32_t id = -1, points = -1;
        champ->GetRiderTotals(slot, id, points);
        EXPECT_EQ(id, order[slot]) << slot;
        EXPECT_EQ(champ->GetStandingPosition(order[slot]), slot);
    }
    // The riders never entered follow, by id.
    std::int32_t id = -1, points = 0;
    champ->GetRiderTotals(4, id, points);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(points, -1);
    EXPECT_EQ(ThrownText([&] { champ->GetRiderTotals(32, id, points); }), "out of range");
    EXPECT_EQ(ThrownText([&] { champ->GetStandingPosition(40); }), "not found");
}

TEST_F(ChampionshipTest, EqualKeysNeverThrowAndSortingTwiceIsStable)
{
    auto champ = Fresh();
    for (int id = 0; id < kChampRiders; ++id)
        champ->AddEntry(id, kEntryComputer);  // every key equal but the id
    for (int round = 0; round < 3; ++round) {
        champ->StandingsSorted = 0;
        EXPECT_NO_THROW(champ->BuildStandings(0, kSessionFirstTimed));
        for (int i = 0; i < kChampRiders; ++i)
            EXPECT_EQ(champ->Riders[i].Id, i);
    }
}

TEST_F(ChampionshipTest, RaceResultsGivePointsAndAnUnfinishedPlayerSortsLast)
{
    auto champ = Fresh();
    for (int id : {0, 1, 2, 3})
        champ->AddEntry(id, kEntryComputer);
    champ->SetPlayerRider(5);
    champ->SetSessionKind(kSessionFirstRace);
    const RaceResultLine lines[] = {
        {2, 0, 95.0f, 600.0f, kRiderStatusFinished, 5},
        {5, 0, 94.0f, 601.0f, 0, 5},  // the player, second on the road but not finished
        {0, 0, 96.0f, 602.0f, kRiderStatusFinished, 5},
        {1, 0, 97.0f, 603.0f, kRiderStatusFinished, 5},
        {3, 0, 98.0f, 650.0f, kRiderStatusFinished, 4},
    };
    champ->StoreRaceResults(lines);
    EXPECT_EQ(champ->FindRider(2).Points, 25);
    EXPECT_EQ(champ->FindRider(5).Points, 20);
    EXPECT_EQ(champ->FindRider(5).Scores, 1);
    const ChampionshipResult& player = champ->Events[0].GetRiderResult(2, 5);
    EXPECT_EQ(player.Position, 1);
    EXPECT_EQ(player.TimeB, 94.0f);
    EXPECT_EQ(player.TimeC, kNoTime);
    EXPECT_EQ(champ->Events[0].GetRiderResult(2, 3).Extra, 4);

    champ->BuildStandings(0, kSessionFirstRace);
    const std::int32_t byTime[] = {2, 0, 1, 3, 5};
    for (int slot = 0; slot < 5; ++slot) {
        ASSERT_NE(champ->Standings[slot], nullptr);
        EXPECT_EQ(champ->Standings[slot]->RiderId, byTime[slot]) << slot;
    }
    for (int slot = 5; slot < kChampRiders; ++slot)
        EXPECT_EQ(champ->Standings[slot], nullptr);
    EXPECT_EQ(champ->FindRiderPosition(5).Position, 1);
    EXPECT_EQ(champ->GetResultAtPosition(0).RiderId, 2);
    EXPECT_EQ(ThrownText([&] { champ->FindRiderPosition(9); }), "not found");  // not entered
}

TEST_F(ChampionshipTest, StandingPointsAddUpTheRacesOfTheEventsSoFar)
{
    auto champ = Fresh();
    champ->AddEntry(6, kEntryComputer);
    champ->SetSessionKind(kSessionFirstRace);
    champ->StoreResult(0, 6, 0, 0, 100, kRiderStatusFinished, 0);   // 25
    champ->SetSessionKind(kSessionSecondRace);
    champ->StoreResult(2, 6, 0, 0, 100, kRiderStatusFinished, 0);   // 16
    champ->CurrentEventIndex = 1;
    champ->SetSessionKind(kSessionFirstRace);
    champ->StoreResult(14, 6, 0, 0, 100, kRiderStatusFinished, 0);  // 1

    champ->BuildStandings(0, kSessionSecondRace);
    ASSERT_NE(champ->Standings[0], nullptr);
    EXPECT_EQ(champ->Standings[0]->Points, 41u);
    champ->BuildStandings(1, kSessionFirstRace);
    EXPECT_EQ(champ->Standings[0]->Points, 42u);
    EXPECT_EQ(champ->FindRider(6).Points, 42);
    EXPECT_EQ(champ->FindRider(6).Scores, 3);
}

TEST_F(ChampionshipTest, TimedSessionsSortByBestLapWithTiesById)
{
    auto champ = Fresh();
    for (int id : {3, 8, 1, 12})
        champ->AddEntry(id, kEntryComputer);
    champ->SetSessionKind(kSessionSecondTimed);
    champ->StoreResult(7, 3, 0, 92.5f, 0, 0, 9);
    champ->StoreResult(7, 8, 0, 91.0f, 0, 0, 9);
    champ->StoreResult(7, 1, 0, 92.5f, 0, 0, 9);
    // Rider 12 set no time.
    EXPECT_EQ(champ->Events[0].GetRiderResult(1, 3).Position, 0);  // timed results are at position 0
    // Rider 20 is not entered but holds points from a race result, so he
    // stands before every entered rider in the points order; he must not
    // push one of them out of the first four rows.
    champ->SetSessionKind(kSessionFirstRace);
    champ->StoreResult(0, 20, 0, 0, 600.0f, kRiderStatusFinished, 9);
    champ->SetSessionKind(kSessionSecondTimed);
    ASSERT_EQ(champ->EnteredRiders, 4);
    champ->BuildStandings(0, kSessionSecondTimed);
    const std::int32_t order[] = {8, 1, 3, 12};
    for (int slot = 0; slot < 4; ++slot) {
        ASSERT_NE(champ->Standings[slot], nullptr) << slot;
        EXPECT_EQ(champ->Standings[slot]->RiderId, order[slot]) << slot;
    }
    for (int slot = 4; slot < kChampRiders; ++slot)
        EXPECT_EQ(champ->Standings[slot], nullptr) << slot;
    // The first session sorts the same way.
    champ->BuildStandings(0, kSessionFirstTimed);
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_NE(champ->Standings[slot], nullptr) << slot;
}

TEST_F(ChampionshipTest, RefusedResultsLeaveNoTrace)
{
    auto champ = Fresh();
    champ->AddEntry(4, kEntryComputer);
    champ->SetSessionKind(kSessionSecondRace);
    EXPECT_EQ(ThrownText([&] { champ->StoreResult(32, 4, 0, 0, 0, 0, 0); }), "troppi piloti");
    EXPECT_EQ(champ->FindRider(4).Points, 0);
    EXPECT_EQ(champ->FindRider(4).Scores, 0);
    EXPECT_EQ(ThrownText([&] { champ->StoreResult(0, 40, 0, 0, 0, 0, 0); }), "not found");

    for (std::int32_t kind : {4, 5, 6}) {
        champ->SetSessionKind(kind);
        EXPECT_NO_THROW(champ->StoreResult(0, 4, 1, 2, 3, 0, 0));
    }
    EXPECT_EQ(champ->FindRider(4).Points, 0);
    EXPECT_EQ(ThrownText([&] { champ->SetSessionKind(7); }), "undef session");
    EXPECT_EQ(ThrownText([&] { champ->BuildStandings(0, 7); }), "undef session");
    EXPECT_EQ(ThrownText([&] { champ->BuildStandings(12, 2); }), "out of range");
    EXPECT_EQ(ThrownText([&] { champ->GetEvent(12); }), "out of range");
    EXPECT_EQ(ThrownText([&] { champ->Events[0].GetRiderResult(4, 1); }), "non trovato");
    // Sessions whose results are not kept have no standings.
    EXPECT_NO_THROW(champ->BuildStandings(0, 5));
    for (ChampionshipResult* slot : champ->Standings)
        EXPECT_EQ(slot, nullptr);
}

TEST_F(ChampionshipTest, EventTimesGoBackToTheRace)
{
    auto champ = Fresh();
    champ->Events[0].GetRiderResult(0, 2).TimeB = 90.5f;
    champ->Events[0].GetRiderResult(1, 2).TimeB = 89.5f;
    RaceResultLine lines[2] = {{2}, {-1}};
    champ->SetSessionKind(kSessionFirstTimed);
    champ->ApplyEventTimes(lines);
    EXPECT_EQ(lines[0].TimeB, kNoTime);
    champ->SetSessionKind(kSessionSecondTimed);
    champ->ApplyEventTimes(lines);
    EXPECT_EQ(lines[0].TimeB, 90.5f);
    champ->SetSessionKind(kSessionSecondRace);
    champ->ApplyEventTimes(lines);
    EXPECT_EQ(lines[0].TimeB, 89.5f);
    EXPECT_EQ(lines[1].TimeB, kNoTime);  // a slot without a rider is left alone
}

TEST_F(ChampionshipTest, EntriesAndRenames)
{
    auto champ = Fresh();
    EXPECT_EQ(ThrownText([&] { champ->AddEntry(32, kEntryComputer); }), "bike not found");
    champ->AddEntry(3, kEntryComputer);
    champ->AddEntry(3, kEntryComputer);
    EXPECT_EQ(champ->EnteredRiders, 1);
    champ->SetPlayerRider(5);
    champ->SetPlayerRider(6);
    EXPECT_EQ(champ->PlayerRider(), 6);
    EXPECT_EQ(champ->FindRider(5).Entered, 0);
    EXPECT_EQ(champ->FindRider(5).Points, -1);
    EXPECT_EQ(champ->EnteredRiders, 2);

    champ->RenameRider(3, "PLAYER");
    EXPECT_STREQ(champ->FindRider(3).Name, "PLAYER");
    champ->RenameRider(4, "Someone With A Very Long Name");
    EXPECT_STREQ(champ->FindRider(3).Name, "Mats Lindqvist");  // given back before the next rename
    EXPECT_STREQ(champ->FindRider(4).Name, "Someone With A Very ");
    champ->RestoreRiderName();
    EXPECT_STREQ(champ->FindRider(4).Name, "Dario Montebelli");
    EXPECT_EQ(champ->RenamedRider, -1);

    champ->ClearEntries();
    EXPECT_EQ(champ->EnteredRiders, 0);
    EXPECT_EQ(champ->PlayerRider(), -1);
}

TEST_F(ChampionshipTest, SaveSlotNames)
{
    EXPECT_EQ(MakeSavePath("f0.chp"), ".\\menu\\save\\f0.chp");
    EXPECT_EQ(MakeSaveSearchPattern("chp"), ".\\menu\\save\\*.chp");
    EXPECT_EQ(MakeNewSaveName(-1, "chp"), "f0.chp");  // no save folder yet
    write_file(SavePath("f0.chp"), {1});
    EXPECT_EQ(MakeNewSaveName(-1, "chp"), "f1.chp");
    write_file(SavePath("F1.CHP"), {1});
    write_file(SavePath("other.txt"), {1});
    EXPECT_EQ(MakeNewSaveName(-1, "chp"), "f2.chp");
    EXPECT_EQ(CountSaveFiles("chp"), 2);
    EXPECT_EQ(MakeNewSaveName(0, "chp"), "f0.chp");
    EXPECT_EQ(MakeNewSaveName(1, "chp"), "F1.CHP");
    EXPECT_EQ(MakeNewSaveName(2, "chp"), "");

    char field[260];
    std::memset(field, 'x', sizeof field);
    CopySaveName(field, std::string(300, 'n').c_str());
    EXPECT_EQ(std::strlen(field), 259u);
}

// ---------------------------------------------------------------------------
// Files

namespace {

class ChampionshipFileTest : public ChampionshipTest {
protected:
    // The data kit's demo championship as a save named "Default.chp".
    std::vector<std::uint8_t> WriteGolden(const std::string& name = "Default.chp")
    {
        auto bytes = datakit::championship_save_bytes(datakit::demo_championship());
        write_file(SavePath(name), bytes);
        return bytes;
    }

    std::unique_ptr<Championship> Named(const char* name)
    {
        auto champ = Fresh();
        CopySaveName(champ->FileName, name);
        return champ;
    }
};

} // namespace

TEST_F(ChampionshipFileTest, GoldenSaveLoadsAndSavesByteForByte)
{
    const auto golden = WriteGolden();
    ASSERT_EQ(golden.size(), kChampionshipSaveBytes);
    auto champ = Named("Default.chp");
    GameSettings settings;
    ASSERT_TRUE(champ->Load(settings)) << champ->LastFileError();
    EXPECT_STREQ(champ->Name, "Default");
    EXPECT_STREQ(champ->PlayerName, "PLAYER");
    EXPECT_EQ(champ->GameMode, 4);
    EXPECT_EQ(champ->EnteredRiders, 8);
    EXPECT_EQ(champ->PlayerRider(), 3);
    EXPECT_EQ(champ->Events[0].SessionKind, -1);
    EXPECT_EQ(settings.Race.NumSimulationLaps, 3);
    EXPECT_EQ(settings.Race.Weather, 3);
    EXPECT_EQ(settings.RealismLevel, 1);
    EXPECT_EQ(settings.PlayerSetup.CrownTeeth, 36);
    EXPECT_EQ(settings.PlayerSetup.RearReboundLow, 10000.0f);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());

    champ->Save(settings);
    EXPECT_EQ(read_file(SavePath("Default.chp")), golden);
    EXPECT_FALSE(std::filesystem::exists(SavePath("Default.chp.tmp")));

    // The slot list reads the header alone.
    SaveHeader header;
    std::string error;
    ASSERT_TRUE(LoadSavedRecord("Default.chp", header, &error)) << error;
    EXPECT_EQ(header.FileName, "Default.chp");
    EXPECT_EQ(header.Name, "Default");
    EXPECT_EQ(header.PlayerName, "PLAYER");
    EXPECT_EQ(header.CurrentEvent, 0);
    EXPECT_EQ(header.PlayerStanding, 4);
    EXPECT_EQ(header.PlayerPoints, 0);
}

TEST_F(ChampionshipFileTest, FieldsLieAtTheirDocumentedOffsets)
{
    auto champ = Named("f3.chp");
    champ->CurrentEventIndex = 7;
    champ->GameMode = 3;
    champ->ClassIndex = 6;
    CopyField(champ->SessionTitle, "Qualify 2");
    champ->SetPlayerRider(9);
    champ->RenameRider(9, "Me");
    champ->BuildStandings(0, 0);  // the standings point somewhere: still stored as zeros
    GameSettings settings;
    settings.Race.NumArcadeRiders = 12;
    settings.GearChoice = 1;
    settings.RealismLevel = 3;
    settings.PlayerSetup.FrontTyre = 7;
    champ->Save(settings);

    const auto bytes = read_file(SavePath("f3.chp"));
    ASSERT_EQ(bytes.size(), 32989u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "f3.chp");
    EXPECT_EQ(GetU32(bytes, 304), 7u);                                   // current event
    EXPECT_EQ(GetU32(bytes, 308), 1u);                                   // the player leads: standing 1
    EXPECT_EQ(GetU32(bytes, kSaveOffsetEnteredRiders), 1u);
    EXPECT_EQ(GetU32(bytes, kSaveOffsetRenamedRider), 9u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[kSaveOffsetOldName])), "Kai Brenner");
    for (std::size_t i = kSaveOffsetStandings; i < kSaveOffsetGameMode; ++i)
        ASSERT_EQ(bytes[i], 0) << "pointer slot byte " << i;
    EXPECT_EQ(GetU32(bytes, kSaveOffsetGameMode), 3u);
    EXPECT_EQ(GetU32(bytes, kSaveOffsetClassIndex), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[kSaveOffsetSessionTitle])), "Qualify 2");
    EXPECT_EQ(GetU32(bytes, kSaveOffsetRaceOptions + 12), 12u);
    EXPECT_EQ(bytes[kSaveOffsetGearChoice], 1);
    EXPECT_EQ(GetU32(bytes, kSaveOffsetRealism), 3u);
    EXPECT_EQ(GetU32(bytes, kSaveOffsetBikeSetup + 100), 7u);
    // The first entry in standing order is the player's.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[kFirstRider])), "Me");
    EXPECT_EQ(GetU32(bytes, kFirstRider + 28), 9u);
    EXPECT_EQ(GetU32(bytes, kFirstRider + 40), kEntryLocalPlayer);
}

TEST_F(ChampionshipFileTest, SaveAndLoadRestoreTheMomentOfSaving)
{
    auto champ = Named("f0.chp");
    champ->SetPlayerRider(2);
    champ->AddEntry(11, kEntryComputer);
    champ->SetSessionKind(kSessionFirstRace);
    champ->StoreResult(0, 11, 1.5f, 92.25f, 640.5f, kRiderStatusFinished, 5);
    champ->StoreResult(1, 2, 1.5f, 92.5f, 641.0f, kRiderStatusFinished, 5);
    GameSettings settings;
    settings.Race.NumSimulationLaps = 10;
    settings.Race.Km = 0;
    settings.RealismLevel = 4;
    settings.PlayerSetup.FrontSpring = 0.95f;
    champ->Save(settings);
    const auto saved = read_file(SavePath("f0.chp"));

    GameSettings later;  // the player changed his mind after saving
    auto loaded = Named("f0.chp");
    ASSERT_TRUE(loaded->Load(later));
    EXPECT_EQ(later.Race.NumSimulationLaps, 10);
    EXPECT_EQ(later.Race.Km, 0);
    EXPECT_EQ(later.RealismLevel, 4);
    EXPECT_EQ(later.PlayerSetup.FrontSpring, 0.95f);
    EXPECT_EQ(loaded->PlayerRider(), 2);
    EXPECT_EQ(loaded->FindRider(11).Points, 25);
    EXPECT_EQ(loaded->CurrentEvent().GetRiderResult(2, 2).TimeC, 641.0f);
    EXPECT_EQ(loaded->PlayerStanding, 2);
    EXPECT_EQ(loaded->PlayerPoints, 20);
    EXPECT_STREQ(loaded->TeamNames[1], "Kirova");  // the team names stay those of the riders file
    // Saving what was loaded gives the same bytes.
    EXPECT_EQ(BuildChampionshipSave(*loaded, SavedSettings{}).size(), saved.size());
    loaded->Save(later);
    EXPECT_EQ(read_file(SavePath("f0.chp")), saved);

    SaveHeader header;
    ASSERT_TRUE(LoadSavedRecord("f0.chp", header));
    EXPECT_EQ(header.FileName, "f0.chp");
    EXPECT_EQ(header.PlayerStanding, 2);
    EXPECT_EQ(header.PlayerPoints, 20);
}

TEST_F(ChampionshipFileTest, AWholeClassificationKeepsItsPointsThroughTheStandingsASaveAndALoad)
{
    // Sixteen riders, the player among them (id 3): the first race finishes
    // in id order, the second with every rider five places further on.
    auto champ = Named("f4.chp");
    for (int id = 0; id < 16; ++id) {
        if (id != 3)
            champ->AddEntry(id, kEntryComputer);
    }
    champ->SetPlayerRider(3);
    std::vector<RaceResultLine> first, second;
    for (int p = 0; p < 16; ++p) {
        first.push_back({p, 1.0f, 90.0f, 600.0f + static_cast<float>(p), kRiderStatusFinished, 5});
        second.push_back({(p + 5) % 16, 1.0f, 90.0f, 610.0f + static_cast<float>(p), kRiderStatusFinished, 5});
    }
    champ->SetSessionKind(kSessionFirstRace);
    champ->StoreRaceResults(first);
    champ->SetSessionKind(kSessionSecondRace);
    champ->StoreRaceResults(second);

    // Points of position 1..16: 25 20 16 13 11 10 9 8 7 6 5 4 3 2 1 0.
    const std::uint32_t total[16] = {29, 23, 18, 14, 11, 35, 29, 24, 20, 17, 15, 13, 11, 9, 7, 5};
    const std::int32_t byPoints[16] = {5, 0, 6, 7, 1, 8, 2, 9, 10, 3, 11, 4, 12, 13, 14, 15};
    const auto expect_standings = [&](Championship& c) {
        c.BuildStandings(0, kSessionSecondRace);
        for (int slot = 0; slot < 16; ++slot) {
            SCOPED_TRACE(slot);
            // The second race's order, each row with its rider's season points.
            const ChampionshipResult* row = c.Standings[slot];
            ASSERT_NE(row, nullptr);
            const int id = (slot + 5) % 16;
            EXPECT_EQ(row->RiderId, id);
            EXPECT_EQ(row->Position, slot);
            EXPECT_EQ(row->Points, total[id]);
            EXPECT_EQ(c.FindRider(id).Points, static_cast<std::int32_t>(total[id]));
            EXPECT_EQ(c.FindRider(id).Scores, 2);
            // The championship table: points, then the lower id.
            std::int32_t tableId = -1, tablePoints = -1;
            c.GetRiderTotals(slot, tableId, tablePoints);
            EXPECT_EQ(tableId, byPoints[slot]);
            EXPECT_EQ(tablePoints, static_cast<std::int32_t>(total[byPoints[slot]]));
        }
        EXPECT_EQ(c.Standings[16], nullptr);
        // The first race's row of a rider: its position, not the season.
        EXPECT_EQ(c.Events[0].GetRiderResult(kSessionFirstRace, 5).Position, 5);
    };
    expect_standings(*champ);

    GameSettings settings;
    champ->Save(settings);
    EXPECT_EQ(champ->PlayerStanding, 10);
    EXPECT_EQ(champ->PlayerPoints, 14);

    auto loaded = Named("f4.chp");
    GameSettings later;
    ASSERT_TRUE(loaded->Load(later)) << loaded->LastFileError();
    // The points the standings filled in were saved with the results.
    for (int id = 0; id < 16; ++id)
        EXPECT_EQ(loaded->Events[0].GetRiderResult(kSessionSecondRace, id).Points, total[id]) << id;
    EXPECT_EQ(loaded->PlayerRider(), 3);
    EXPECT_EQ(loaded->EnteredRiders, 16);
    expect_standings(*loaded);
    SaveHeader header;
    ASSERT_TRUE(LoadSavedRecord("f4.chp", header));
    EXPECT_EQ(header.PlayerStanding, 10);
    EXPECT_EQ(header.PlayerPoints, 14);
}

TEST_F(ChampionshipFileTest, ALoadKeepsTheNameOfTheFileItCameFrom)
{
    auto golden = WriteGolden("f7.chp");  // its name field says "Default.chp"
    auto champ = Named("f7.chp");
    GameSettings settings;
    ASSERT_TRUE(champ->Load(settings));
    EXPECT_STREQ(champ->FileName, "f7.chp");
}

TEST_F(ChampionshipFileTest, AMissingSaveIsAFalseResultWithoutAMessage)
{
    auto champ = Named("nothing.chp");
    GameSettings settings;
    EXPECT_FALSE(champ->Load(settings));
    EXPECT_TRUE(Boxes().empty());
    SaveHeader header;
    EXPECT_FALSE(LoadSavedRecord("nothing.chp", header));
}

TEST_F(ChampionshipFileTest, DamagedSavesAreRefusedAndKept)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"empty", [](auto& b) { b.clear(); }},
        {"short by one byte", [](auto& b) { b.pop_back(); }},
        {"only the header", [](auto& b) { b.resize(kSaveHeaderBytes); }},
        {"one byte too long", [](auto& b) { b.push_back(0); }},
        {"current event 12", [](auto& b) { PutU32(b, 304, 12); }},
        {"current event -1", [](auto& b) { PutU32(b, 304, 0xFFFFFFFFu); }},
        {"session kind 7", [](auto& b) { PutU32(b, kSaveOffsetEvents, 7); }},
        {"result rider id 32", [](auto& b) { b[kFirstResult] = 32; }},
        {"a rider twice in a block", [](auto& b) { b[kFirstResult + 20] = 0; }},
        {"result position 40", [](auto& b) { b[kFirstResult + 1] = 40; }},
        {"a time that is not a number", [nan](auto& b) { PutU32(b, kFirstResult + 16, std::bit_cast<std::uint32_t>(nan)); }},
        {"team 5", [](auto& b) { PutU32(b, kFirstRider + 24, 5); }},
        {"team -1", [](auto& b) { PutU32(b, kFirstRider + 24, 0xFFFFFFFFu); }},
        {"rider id 32", [](auto& b) { PutU32(b, kFirstRider + 28, 32); }},
        {"a rider id twice", [](auto& b) { PutU32(b, kFirstRider + 48 + 28, 0); }},
        {"entry kind 9", [](auto& b) { PutU32(b, kFirstRider + 40, 9); }},
        {"entered count off by one", [](auto& b) { PutU32(b, kSaveOffsetEnteredRiders, 9); }},
        {"rider name not terminated", [](auto& b) { std::memset(&b[kFirstRider], 'A', 24); }},
        {"player name not terminated", [](auto& b) { std::memset(&b[280], 'A', 24); }},
        {"championship name not terminated", [](auto& b) { std::memset(&b[260], 'A', 20); }},
        {"renamed rider 32", [](auto& b) { PutU32(b, kSaveOffsetRenamedRider, 32); }},
        {"old name not terminated", [](auto& b) { std::memset(&b[kSaveOffsetOldName], 'A', 21); }},
        {"game mode 5", [](auto& b) { PutU32(b, kSaveOffsetGameMode, 5); }},
        {"rider class 8", [](auto& b) { PutU32(b, kSaveOffsetClassIndex, 8); }},
        {"session title not terminated", [](auto& b) { std::memset(&b[kSaveOffsetSessionTitle], 'A', 50); }},
        {"weather choice 4", [](auto& b) { PutU32(b, kSaveOffsetRaceOptions + 20, 4); }},
        {"rider count 0", [](auto& b) { PutU32(b, kSaveOffsetRaceOptions + 8, 0); }},
        {"realism level 9", [](auto& b) { PutU32(b, kSaveOffsetRealism, 9); }},
    };

    // A good championship is loaded first; a refused file must leave it and
    // the settings as they were.
    WriteGolden("good.chp");
    auto champ = Named("good.chp");
    GameSettings settings;
    ASSERT_TRUE(champ->Load(settings));
    const auto good = BuildChampionshipSave(*champ, SavedSettings{});

    for (const Case& c : cases) {
        auto bytes = datakit::championship_save_bytes(datakit::demo_championship());
        c.damage(bytes);
        write_file(SavePath("bad.chp"), bytes);
        platform::clear_recorded_message_boxes();

        CopySaveName(champ->FileName, "bad.chp");
        EXPECT_FALSE(champ->Load(settings)) << c.what;
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_NE(boxes[0].text.find("damaged championship file"), std::string::npos) << boxes[0].text;
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_FALSE(champ->LastFileError().empty()) << c.what;
        EXPECT_EQ(read_file(SavePath("bad.chp")), bytes) << c.what << ": the file is kept";
        CopySaveName(champ->FileName, "good.chp");
        EXPECT_EQ(BuildChampionshipSave(*champ, SavedSettings{}), good) << c.what << ": the record is unchanged";
        EXPECT_EQ(settings.Race.NumSimulationLaps, 3) << c.what;

        SaveHeader header;
        if (bytes.size() != kChampionshipSaveBytes) {
            EXPECT_FALSE(LoadSavedRecord("bad.chp", header)) << c.what;
        }
    }
}

TEST_F(ChampionshipFileTest, ASaveInterruptedBeforeItsRenameKeepsThePreviousSave)
{
    auto champ = Named("f0.chp");
    GameSettings settings;
    champ->Save(settings);
    const auto before = read_file(SavePath("f0.chp"));

    champ->SetPlayerRider(1);
    CopyField(champ->SessionTitle, "changed");
    platform::fail_next(platform::Fault::FileOpen);
    EXPECT_EQ(ThrownText([&] { champ->Save(settings); }), "error open file");
    EXPECT_FALSE(champ->LastFileError().empty());
    EXPECT_EQ(read_file(SavePath("f0.chp")), before);
    EXPECT_FALSE(std::filesystem::exists(SavePath("f0.chp.tmp")));

    // The next save goes through.
    champ->Save(settings);
    EXPECT_NE(read_file(SavePath("f0.chp")), before);
}

TEST_F(ChampionshipFileTest, ASaveThatCannotBeWrittenIsReported)
{
    auto unnamed = Fresh();
    GameSettings settings;
    EXPECT_EQ(ThrownText([&] { unnamed->Save(settings); }), "error open file");

    // The save folder is a file: nothing can go into it.
    write_file(dir_ / "menu" / "save", {1, 2, 3});
    auto champ = Named("f0.chp");
    EXPECT_EQ(ThrownText([&] { champ->Save(settings); }), "error open file");
    EXPECT_EQ(read_file(dir_ / "menu" / "save"), (std::vector<std::uint8_t>{1, 2, 3}));
}
