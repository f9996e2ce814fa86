#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/best_times.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "champ/weather_table.h"
#include "net/lobby_player_record.h"
#include "net/net_session.h"
#include "platform/random.h"
#include "tests/champ/champ_fixture.h"

using champ_fixture::ChampTest;
using champ_fixture::ThrownText;

namespace {

using Reference = std::array<std::int32_t, kTimesRiders>;

class RacePreparationTest : public ChampTest {
protected:
    RacePreparationTest()
    {
        WriteDemoFiles();
        champ_ = std::make_unique<Championship>("Default.chp");
        CopyField(champ_->PlayerName, "Tester");
        weather_.Load();
        platform::srand(5);
    }

    RacePreparation Prep(const NetSession* session = nullptr, bool network = false)
    {
        return RacePreparation{app_, settings_, *champ_, weather_, session, network};
    }

    std::vector<std::int32_t> Grid() const { return {app_.m_RiderIds, app_.m_RiderIds + app_.m_nRiders}; }

    static Reference ReferenceFor(int track)
    {
        Reference order{};
        LoadBestTimes(track, order);
        return order;
    }

    // The first `count` riders of the reference order other than `except`.
    static std::vector<std::int32_t> FirstOf(const Reference& order, int count, std::set<std::int32_t> except)
    {
        std::vector<std::int32_t> ids;
        for (std::int32_t id : order) {
            if (static_cast<int>(ids.size()) < count && !except.count(id))
                ids.push_back(id);
        }
        return ids;
    }

    GameApp app_;
    GameSettings settings_;
    std::unique_ptr<Championship> champ_;
    WeatherTable weather_;
};

} // namespace

TEST_F(RacePreparationTest, AFreshChampionshipRacesThePlayerAndSevenComputerRiders)
{
    champ_->GameMode = 4;
    champ_->SetPlayerRider(3);
    champ_->SetSessionKind(kSessionFirstTimed);
    PrepareRace(Prep());

    // Event 0 of a simulation mode: the reference is the season's total.
    std::vector<std::int32_t> expected = FirstOf(ReferenceFor(-1), 7, {3});
    expected.push_back(3);
    std::sort(expected.begin(), expected.end());  // the entries in entry order: ids ascending
    EXPECT_EQ(app_.m_nRiders, 8);
    EXPECT_EQ(champ_->EnteredRiders, 8);
    EXPECT_EQ(Grid(), expected);
    for (std::int32_t id : expected)
        EXPECT_EQ(champ_->FindRider(id).Kind, id == 3 ? kEntryLocalPlayer : kEntryComputer);
    EXPECT_EQ(app_.m_RiderIds[8], -1);

    ASSERT_EQ(app_.m_nHumans, 1);
    ASSERT_EQ(app_.m_Players.size(), 1u);
    EXPECT_EQ(app_.m_Players[0].RiderIndex, 3);
    EXPECT_EQ(app_.m_Players[0].Kind, 0);
    EXPECT_EQ(app_.m_Players[0].BestLap, kNoTime);
    EXPECT_STREQ(app_.m_Players[0].Name, "PLAYER");
    EXPECT_EQ(app_.m_Players[0].Setup.CrownTeeth, settings_.PlayerSetup.CrownTeeth);
    EXPECT_STREQ(champ_->FindRider(3).Name, "Tester");  // the player's rider takes his name

    EXPECT_EQ(app_.Flags, kAppFlagMenu);
    EXPECT_STREQ(app_.m_szTrack, "Island");
    EXPECT_EQ(app_.m_nLaps, 3);
    EXPECT_EQ(app_.m_nSkill, 0);
    EXPECT_EQ(app_.RaceFlags, kRaceFlagChampionship);
    EXPECT_EQ(app_.m_nSession, 2);  // qualifying: a timed session
    EXPECT_EQ(app_.GfxFlags & (kGfxFlagFilter | kGfxFlagEscluder), kGfxFlagFilter | kGfxFlagEscluder);

    // Preparing the next session keeps the same eight riders.
    champ_->SetSessionKind(kSessionSecondTimed);
    PrepareRace(Prep());
    EXPECT_EQ(Grid(), expected);
    EXPECT_EQ(app_.m_nHumans, 1);
}

TEST_F(RacePreparationTest, AnArcadeRaceIsSessionSixOverThreeLaps)
{
    champ_->GameMode = 0;
    champ_->SetPlayerRider(20);
    champ_->CurrentEventIndex = 6;
    for (std::int32_t kind : {0, 2, 4, 6}) {
        champ_->SetSessionKind(kind);
        champ_->Events[6].GetRiderResult(3, 0).Position = 2;  // an old result
        PrepareRace(Prep());
        EXPECT_EQ(app_.m_nSession, kSessionTypeArcade) << kind;
        EXPECT_EQ(app_.m_nLaps, 3);
        EXPECT_STREQ(app_.m_szTrack, "Brands");
        EXPECT_EQ(champ_->GetSessionKind(), kSessionSecondRace);
        EXPECT_EQ(champ_->Events[6].GetRiderResult(3, 0).Position, kNoPosition);  // cleared
        EXPECT_EQ(app_.RaceFlags, 0u);
        // The arcade reset of the driving values.
        EXPECT_EQ(settings_.PlayerSetup.FrontLimiter, 0.0f);
        EXPECT_EQ(settings_.PlayerSetup.PlayerFlags, 66u);
    }
}

TEST_F(RacePreparationTest, TheFirstArcadeGridIsTheReferenceRotatedByTheOffset)
{
    champ_->GameMode = 1;
    champ_->SetPlayerRider(20);
    champ_->CurrentEventIndex = 0;
    const Reference order = ReferenceFor(0);
    for (int id = 0; id < kChampComputerRiders; ++id)
        champ_->AddEntry(id, kEntryComputer);
    app_.m_nRiders = champ_->EnteredRiders;

    for (int offset : {0, 5, 17}) {
        champ_->BuildGrid(offset, order, false, app_);
        for (int i = 0; i < kChampComputerRiders; ++i)
            EXPECT_EQ(app_.m_RiderIds[i], order[(i + offset) % 18]) << offset << " " << i;
        EXPECT_EQ(app_.m_RiderIds[18], 20);  // the player after the computer riders
    }

    // The same random offset gives the same grid.
    platform::srand(77);
    PrepareRace(Prep());
    const std::vector<std::int32_t> first = Grid();
    platform::srand(77);
    PrepareRace(Prep());
    EXPECT_EQ(Grid(), first);

    // Later events of an arcade championship start in standing order.
    const std::int32_t leader = app_.m_RiderIds[5];  // a computer rider of this field
    champ_->CurrentEventIndex = 1;
    champ_->FindRider(leader).Points = 50;
    champ_->StandingsSorted = 0;
    PrepareRace(Prep());
    EXPECT_EQ(app_.m_RiderIds[0], leader);
}

TEST_F(RacePreparationTest, DistancesInMilesSetRunFlagBitFive)
{
    champ_->GameMode = 0;
    champ_->SetPlayerRider(1);
    settings_.Race.Km = 0;
    PrepareRace(Prep());
    EXPECT_EQ(app_.Flags, 33u);
    settings_.Race.Km = 1;
    PrepareRace(Prep());
    EXPECT_EQ(app_.Flags, 1u);
}

TEST_F(RacePreparationTest, ARaceStartsByTheBestTimeOfTheTwoQualifyingSessions)
{
    champ_->GameMode = 3;
    champ_->SetPlayerRider(3);
    champ_->CurrentEventIndex = 2;
    for (int id : {0, 1, 2, 4, 5, 6, 7})
        champ_->AddEntry(id, kEntryComputer);
    ChampionshipEvent& event = champ_->Events[2];
    const float q1[] = {91.0f, 90.0f, 93.0f, 88.0f, 95.0f, 89.5f, 92.0f, 94.0f};
    const float q2[] = {89.0f, kNoTime, 92.5f, 90.0f, 87.5f, 96.0f, 91.0f, 89.0f};
    for (int id = 0; id < 8; ++id) {
        event.GetRiderResult(0, id).TimeB = q1[id];
        event.GetRiderResult(1, id).TimeB = q2[id];
    }
    champ_->SetSessionKind(kSessionFirstRace);
    app_.m_nWeather = 2;
    app_.m_fTemperature1 = 17.0f;
    app_.m_fTemperature2 = 21.0f;
    PrepareRace(Prep());
    // Best times: 0 89, 1 90, 2 92.5, 3 88, 4 87.5, 5 89.5, 6 91, 7 89.
    EXPECT_EQ(Grid(), (std::vector<std::int32_t>{4, 3, 0, 7, 5, 1, 6, 2}));
    EXPECT_EQ(app_.m_nSession, 4);
    // A simulation race keeps the weather of the sessions before it.
    EXPECT_EQ(app_.m_nWeather, 2);
    EXPECT_EQ(app_.m_fTemperature1, 17.0f);
    EXPECT_EQ(app_.m_fTemperature2, 21.0f);
    EXPECT_EQ(app_.RaceFlags, 0u);

    // The second qualifying starts from the first one's results.
    champ_->SetSessionKind(kSessionSecondTimed);
    PrepareRace(Prep());
    EXPECT_EQ(event.GetRiderResult(1, 1).TimeB, 90.0f);
    EXPECT_EQ(app_.m_nSession, 2);
}

TEST_F(RacePreparationTest, APracticeOfModeTwoIsThePlayerAlone)
{
    champ_->GameMode = 2;
    champ_->SetPlayerRider(8);
    champ_->CurrentEventIndex = 9;
    PrepareRace(Prep());
    EXPECT_EQ(champ_->GetSessionKind(), 5);
    EXPECT_EQ(app_.m_nSession, 0);
    EXPECT_EQ(app_.m_nRiders, 1);
    EXPECT_EQ(Grid(), (std::vector<std::int32_t>{8}));
    EXPECT_STREQ(app_.m_szTrack, "Albacete");
}

TEST_F(RacePreparationTest, SessionTypesByKindAndMode)
{
    struct Case {
        std::int32_t mode, kind, type;
    };
    const Case cases[] = {{2, 0, 2}, {3, 1, 2}, {4, 6, 2}, {4, 2, 4}, {3, 3, 5}, {2, 4, 0}, {2, 5, 0},
                          {3, 4, 1}, {4, 5, 1}, {0, 2, 6}, {1, 4, 6}, {0, -1, 6}};
    for (const Case& c : cases)
        EXPECT_EQ(SessionTypeFor(c.mode, c.kind), c.type) << c.mode << " " << c.kind;
    EXPECT_EQ(ThrownText([] { SessionTypeFor(3, -1); }), "e allora?");
    EXPECT_EQ(ThrownText([] { SessionTypeFor(4, 7); }), "undef session");
}

TEST_F(RacePreparationTest, InconsistentChampionshipsAreRefused)
{
    const Reference order = ReferenceFor(0);
    champ_->GameMode = 5;
    EXPECT_EQ(ThrownText([&] { champ_->BuildGrid(0, order, false, app_); }), "??????");

    champ_->GameMode = 4;
    champ_->SetPlayerRider(3);
    champ_->SetSessionKind(kSessionFirstTimed);
    app_.m_nRiders = 5;  // the entries say 1
    EXPECT_EQ(ThrownText([&] { champ_->BuildGrid(0, order, false, app_); }), "errore");

    champ_->SetSessionKind(-1);
    EXPECT_EQ(ThrownText([&] { PrepareRace(Prep()); }), "e allora?");

    // A computer rider that is entered but not marked as one.
    champ_->GameMode = 0;
    champ_->AddEntry(30, kEntryNone);
    app_.m_nRiders = champ_->EnteredRiders;
    EXPECT_EQ(ThrownText([&] { champ_->BuildGrid(0, order, false, app_); }), "c'e' qualcosa che non va");
}

TEST_F(RacePreparationTest, ANetworkGameEntersEveryPlayerAndTheHostsField)
{
    auto session = std::make_unique<NetSession>();
    session->LocalPlayerId = 1;
    struct Player {
        std::uint32_t id;
        const char* name;
        std::int32_t slot, rider;
    };
    for (const Player& p : {Player{1, "HOST", 0, 5}, Player{2, "Guest", 1, 12}, Player{3, "Other", 2, 9}}) {
        LobbyPlayerRecord record;
        record.PlayerId = p.id;
        record.SlotIndex = p.slot;
        record.Rider = p.rider;
        record.RaceOptions[kLobbyArcadeRiders] = 6;
        record.RaceOptions[kLobbySimulationRiders] = kTrackDefaultRiderCount;
        record.RaceOptions[kLobbyWeather] = 1;
        const auto bytes = BuildLobbyPlayerRecord(record);
        session->AddPlayer(p.name, p.id, bytes.data(), bytes.size());
    }
    champ_->GameMode = 1;  // an arcade championship: the grid of mode 0
    champ_->CurrentEventIndex = 3;
    app_.Flags = kAppFlagNetwork | kAppFlagNetworkHost;
    PrepareRace(Prep(session.get(), true));

    EXPECT_EQ(app_.Flags, kAppFlagMenu | kAppFlagNetwork | kAppFlagNetworkHost);
    ASSERT_EQ(app_.m_nHumans, 3);
    EXPECT_EQ(app_.m_Players[0].Kind, 0);
    EXPECT_STREQ(app_.m_Players[0].Name, "Tester");
    EXPECT_EQ(app_.m_Players[0].RiderIndex, 5);
    EXPECT_EQ(app_.m_Players[1].Kind, -1);
    EXPECT_STREQ(app_.m_Players[1].Name, "Guest");
    EXPECT_EQ(app_.m_Players[1].NetworkId, 2u);
    EXPECT_EQ(app_.m_Players[2].RiderIndex, 9);
    EXPECT_EQ(champ_->FindRider(5).Kind, kEntryLocalPlayer);
    EXPECT_EQ(champ_->FindRider(12).Kind, kEntryRemotePlayer);
    EXPECT_STREQ(champ_->FindRider(5).Name, "Tester");

    // Six riders: three computer riders in the reference order (offset 0),
    // then the players' riders in entry order.
    std::vector<std::int32_t> expected = FirstOf(ReferenceFor(3), 3, {5, 9, 12});
    for (std::int32_t id : {5, 9, 12})
        expected.push_back(id);
    EXPECT_EQ(app_.m_nRiders, 6);
    EXPECT_EQ(Grid(), expected);
    // The host's weather choice 1 (fog) at 26 degrees.
    EXPECT_EQ(app_.m_nWeather, 2);
    EXPECT_EQ(app_.m_fTemperature1, 26.0f);

    // A simulation championship asks for the track's default field (19 at
    // Sentul); 18 computer riders at most can join the three players' riders,
    // which are computer riders' ids here, so the race has 18 riders.
    champ_->ClearEntries();
    champ_->GameMode = 4;
    champ_->CurrentEventIndex = 11;
    champ_->SetSessionKind(kSessionFirstRace);
    PrepareRace(Prep(session.get(), true));
    EXPECT_EQ(app_.m_nRiders, 18);
    EXPECT_EQ(champ_->EnteredRiders, 18);
}

TEST_F(RacePreparationTest, ANetworkFieldIsCutToTheRiderCount)
{
    auto session = std::make_unique<NetSession>();
    session->LocalPlayerId = 4;
    LobbyPlayerRecord host;
    host.PlayerId = 4;
    host.SlotIndex = 0;
    host.Rider = 20;
    host.RaceOptions[kLobbyArcadeRiders] = 4;
    const auto bytes = BuildLobbyPlayerRecord(host);
    session->AddPlayer("HOST", 4, bytes.data(), bytes.size());

    champ_->GameMode = 0;
    for (int id = 0; id < 10; ++id)
        champ_->AddEntry(id, kEntryComputer);  // left over from a bigger race
    PrepareRace(Prep(session.get(), true));
    EXPECT_EQ(champ_->EnteredRiders, 4);
    EXPECT_EQ(app_.m_nRiders, 4);
    EXPECT_EQ(champ_->FindRider(20).Entered, 1);
    EXPECT_EQ(app_.m_RiderIds[3], 20);
    EXPECT_EQ(app_.Flags, kAppFlagMenu);
}
