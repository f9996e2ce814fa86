#include <gtest/gtest.h>

#include "tests/race/race_fixture.h"
#include "tests/support/fp_traps.h"
#include "tools/datakit/champ_files_writer.h"
#include "tools/datakit/race_data_writer.h"
#include "tools/datakit/typed_list_writer.h"

using namespace race_test;

namespace {

using RaceLoadTest = RaceFixture;

// The demo race: the header's values are taken, the bikes are built on the
// bike table and the riders' reference times, the detail lists, markers and
// pit boxes are read, and the race waits for its start.
TEST_F(RaceLoadTest, LoadsTheDemoRaceFromItsHeaderAndData)
{
    torvane_test::FpTraps traps;
    Header("Sugo", 4, 20);
    app.RaceFlags = kRaceFlagChampionship;
    ASSERT_TRUE(Load()) << (Boxes().empty() ? "" : Boxes().back().text);
    Race& r = *race;

    EXPECT_EQ(r.m_nTrackIndex, 10);
    EXPECT_EQ(r.RiderCount(), 20);
    EXPECT_EQ(r.m_nSessionType, 4);
    EXPECT_EQ(flags() & ~kRace3dLoaded, kRaceFlagChampionship) << "the header's race flags, not yet racing";
    EXPECT_TRUE(flags() & kRace3dLoaded);
    EXPECT_TRUE(r.m_bHasPitLane);

    // Reference times: ids below 18 from this track's column of the times,
    // the others from the slowest; the power ratio to the fastest.
    const datakit::RiderTimesTable times = datakit::demo_rider_times();
    float fastest = times[0][10], slowest = times[0][10];
    for (const auto& row : times) {
        fastest = std::min(fastest, row[10]);
        slowest = std::max(slowest, row[10]);
    }
    for (int i = 0; i < 20; ++i) {
        const GridEntry& entry = *bike(i).GridEntry;
        const float ref = i < 18 ? times[static_cast<std::size_t>(i)][10] : slowest;
        EXPECT_EQ(entry.RefLapTime, ref) << i;
        EXPECT_FLOAT_EQ(entry.PowerDivisor, ref / fastest) << i;
        EXPECT_EQ(entry.PitSlot, i);
        EXPECT_EQ(entry.Model, i % 5);
        EXPECT_EQ(&entry, &r.m_GridEntries[i]) << "each rider its own entry";
    }

    // Detail lists: level 2 of the software device.
    EXPECT_GT(r.m_BikeDetail[0], 0.0f);
    EXPECT_LT(r.m_BikeDetail[9], 100000.0f);
    EXPECT_EQ(app.m_PlayerDetail[0], 2);
    EXPECT_EQ(r.m_TrackPriority[0], 10.0f);

    // Markers, pit entry and boxes.
    EXPECT_EQ(r.m_SoundMarkers.size(), datakit::demo_sound_markers("Sugo").size());
    const auto pit = datakit::demo_pit_markers("Sugo");
    EXPECT_EQ(r.m_PitMarkers[0].X, pit[0][0]);
    EXPECT_EQ(r.m_PitMarkers[0].Radius, 40.0f);
    EXPECT_EQ(CurrentRaceConditions().PitExit.Z, pit[1][2]);
    const RaceContext& context = CurrentRaceContext();
    EXPECT_GT(context.PitEntryDistance, 0.0f);
    EXPECT_LT(context.PitEntryDistance, r.m_Circuit.Length);
    for (int box = 0; box < 32; ++box) {
        EXPECT_GT(context.PitBoxDistance[box], 0.0f) << box;
        EXPECT_LT(context.PitBoxDistance[box], r.m_PitLane.Length) << box;
        EXPECT_GT(context.PitBoxDepth[box], 0.0f) << box;
    }
    EXPECT_EQ(context.Bikes, r.m_pBikes.get());
    EXPECT_EQ(context.BikeCount, 20);
    EXPECT_NE(context.RiderStates, nullptr);
    EXPECT_EQ(input.RaceLink()->RaceFlags(), flags());
}

// The track index: the table from its last entry down, without regard to
// case; unknown names and the first entry are 0.
TEST_F(RaceLoadTest, TrackIndexByTheSeasonTable)
{
    struct Case {
        const char* track;
        int index;
    };
    for (const Case& c : {Case{"Island", 0}, Case{"sugo", 10}, Case{"SENTUL", 11}, Case{"Monza", 4}}) {
        Header(c.track, 4, 2);
        ASSERT_TRUE(Load()) << c.track;
        EXPECT_EQ(race->m_nTrackIndex, c.index) << c.track;
        race.reset();
    }
}

// Sentul has no pit lane: whatever session was chosen is a race, in the
// race and in the application's header.
TEST_F(RaceLoadTest, NoPitLaneMakesTheSessionARace)
{
    for (int session : {0, 2, 5}) {
        Header("Sentul", session, 3);
        ASSERT_TRUE(Load());
        EXPECT_FALSE(race->m_bHasPitLane);
        EXPECT_EQ(race->m_nSessionType, 4) << session;
        EXPECT_EQ(app.m_nSession, 4) << session;
        EXPECT_EQ(CurrentRaceConditions().PitLane, nullptr);
        race.reset();
    }
    // A practice started from the menus starts suspended; as a race it has
    // no in-race menu to resume it, so it loads its 3D data and runs.
    Header("Sentul", 0, 3);
    app.RaceFlags = kRaceFlagNoLoadingScreen;
    ASSERT_TRUE(Load());
    EXPECT_EQ(race->m_nSessionType, 4);
    EXPECT_FALSE(flags() & kRaceSuspended);
    EXPECT_TRUE(flags() & kRace3dLoaded);
    EXPECT_FALSE(app.RaceFlags & kRaceFlagNoLoadingScreen);
}

// Session type 0 reads no sound markers; a practice session is under way at
// once (no start sequence); one started from the menus stays suspended
// without 3D data.
TEST_F(RaceLoadTest, PracticeReadsNoSoundMarkersAndStartsAtOnce)
{
    Header("Island", 0, 4);
    app.RaceFlags = kRaceFlagNoLoadingScreen;
    ASSERT_TRUE(Load());
    EXPECT_TRUE(race->m_SoundMarkers.empty());
    EXPECT_TRUE(flags() & kRaceRacing);
    EXPECT_TRUE(flags() & kRaceSuspended);
    EXPECT_FALSE(flags() & kRace3dLoaded);
    EXPECT_FALSE(race->m_Arches.empty()) << "one practice arch per curve section without an arch file";
    EXPECT_EQ(race->m_Arches.size(), static_cast<std::size_t>(race->m_Circuit.SegmentCount()));
}

// The pit markers are used only when the file holds exactly two.
TEST_F(RaceLoadTest, PitMarkersNeedExactlyTwoRecords)
{
    for (int count : {0, 1, 2, 3}) {
        std::vector<std::array<float, 3>> markers;
        for (int i = 0; i < count; ++i)
            markers.push_back({10.0f * static_cast<float>(i + 1), 25.0f, -5.0f});
        WriteText(dir() / "Data" / "Tracks" / "Sugo.mrk", datakit::pit_markers_file_text(markers));
        ASSERT_TRUE(Load()) << count;
        const float radius = count == 2 ? 25.0f : 0.0f;
        EXPECT_EQ(race->m_PitMarkers[0].Radius, radius) << count;
        EXPECT_EQ(race->m_PitMarkers[1].Radius, radius) << count;
        EXPECT_EQ(CurrentRaceConditions().PitEntry.Radius, radius) << count;
        race.reset();
    }
}

// The sound-marker count of the file is capped at the race's room and at
// the records the file holds; 0 allocates nothing.
TEST_F(RaceLoadTest, SoundMarkerCountsAreCapped)
{
    struct Case {
        int announced;
        int records;
        std::size_t kept;
    };
    for (const Case& c : {Case{0, 3, 0}, Case{3, 3, 3}, Case{100000, 3, 3}, Case{2, 5, 2},
                          Case{-4, 2, 0}, Case{1000, 300, 256}}) {
        datakit::TypedListWriter out;
        datakit::add_int_list(out, "NUM_MARKERS", c.announced);
        std::vector<std::array<float, 3>> markers(static_cast<std::size_t>(c.records), {1.0f, 2.0f, 3.0f});
        datakit::add_triple_list(out, "MARKERS", markers);
        WriteText(dir() / "Data" / "Tracks" / "Sug_snd.dat", out.text());
        ASSERT_TRUE(Load());
        EXPECT_EQ(race->m_SoundMarkers.size(), c.kept) << c.announced << " announced, " << c.records << " there";
        race.reset();
    }
}

// Lists longer than the race's room fill it and stop: 40 bike-table records
// and 300 times are read as 32 and 216.
TEST_F(RaceLoadTest, ListsLongerThanTheirRoomAreCut)
{
    std::vector<datakit::BikeTableRecord> table = datakit::demo_bike_table();
    for (int id = 32; id < 40; ++id) {
        datakit::BikeTableRecord extra;
        extra.pit_slot = 99;
        extra.model = 99;
        table.push_back(extra);
    }
    datakit::TypedListWriter info;
    datakit::add_bike_table_list(info, table);
    std::string text = ReadText(dir() / "Data" / "Info.dat");
    const std::size_t at = text.find("BIKES\r\n");
    ASSERT_NE(at, std::string::npos);
    text.erase(at, text.find("END_LIST", at) + 8 - at);
    WriteText(dir() / "Data" / "Info.dat", text + info.text());

    datakit::TypedListWriter times;
    times.begin_list("RIDERS_TIMES");
    for (int row = 0; row < 25; ++row)
        for (int t = 0; t < 12; ++t)
            times.record({datakit::TypedField::f(90.0f + static_cast<float>(row))});
    times.end_list();
    WriteText(dir() / "Data" / "Times.dat", times.text());

    Header("Sugo", 4, 32);
    ASSERT_TRUE(Load()) << (Boxes().empty() ? "" : Boxes().back().text);
    EXPECT_EQ(race->m_BikeTable[31].PitSlot, 31);
    EXPECT_EQ(race->m_RiderTimes[215], 90.0f + 17.0f);
}

// A rider id from 32 on takes the bike-table entry of id mod 32 and twice
// (id / 32 + 1) the slowest time of the track; a negative id fails.
TEST_F(RaceLoadTest, RiderIdsOfLaterClasses)
{
    Header("Sugo", 4, 2);
    app.m_RiderIds[0] = 40;
    app.m_RiderIds[1] = 3;
    ASSERT_TRUE(Load());
    EXPECT_EQ(bike(0).GridEntry->PitSlot, 8);
    EXPECT_EQ(bike(0).GridEntry->RefLapTime, 2.0f * race->m_fSlowestTime);
    EXPECT_EQ(bike(1).GridEntry->PitSlot, 3);
    race.reset();

    app.m_RiderIds[1] = -1;
    EXPECT_FALSE(Load());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_NE(Boxes().back().text.find("rider id"), std::string::npos);
}

// Missing reference times leave every rider its own power, and still give
// every rider a reference lap above zero, so that the laps estimated for a
// rider who has not finished are never zero or negative.
TEST_F(RaceLoadTest, WithoutTimesNoRiderIsSlowedDown)
{
    std::filesystem::remove(dir() / "Data" / "Times.dat");
    std::filesystem::remove(dir() / "Data" / "Data.mix"); // the archive holds a copy
    ASSERT_TRUE(Load());
    ASSERT_GT(race->m_Circuit.Length, 0.0f);
    for (int i = 0; i < race->RiderCount(); ++i) {
        EXPECT_EQ(bike(i).GridEntry->PowerDivisor, 1.0f);
        EXPECT_FLOAT_EQ(bike(i).GridEntry->RefLapTime, race->m_Circuit.Length / 45.0f);
        EXPECT_GT(bike(i).EstimateLapTime(), 0.0f);
    }
}

// Values of the times list that are no lap time (zero, negative) take no
// part in the fastest and slowest; their riders take the slowest time.
TEST_F(RaceLoadTest, TimesThatAreNoLapTimeAreLeftOut)
{
    datakit::TypedListWriter times;
    times.begin_list("RIDERS_TIMES");
    for (int row = 0; row < 18; ++row) {
        const float t = row == 0 ? -5.0f : row == 1 ? 0.0f : 100.0f + static_cast<float>(row);
        for (int c = 0; c < 12; ++c)
            times.record({datakit::TypedField::f(t)});
    }
    times.end_list();
    WriteText(dir() / "Data" / "Times.dat", times.text());
    std::filesystem::remove(dir() / "Data" / "Data.mix"); // the archive holds a copy

    Header("Sugo", 4, 3);
    app.m_RiderIds[2] = 5;
    ASSERT_TRUE(Load());
    EXPECT_EQ(race->m_fFastestTime, 102.0f);
    EXPECT_EQ(race->m_fSlowestTime, 117.0f);
    EXPECT_EQ(bike(0).GridEntry->RefLapTime, 117.0f);
    EXPECT_EQ(bike(1).GridEntry->RefLapTime, 117.0f);
    EXPECT_EQ(bike(2).GridEntry->RefLapTime, 105.0f);
    EXPECT_FLOAT_EQ(bike(0).GridEntry->PowerDivisor, 117.0f / 102.0f);
}

// A human player rides the bike of his rider id and is a target of the
// input; a failed load takes everything back: no race record shared, no
// input link, no input target.
struct FailedLoadCase {
    const char* name;
    void (*damage)(const std::filesystem::path& data);
    const char* message; // part of the box's text
};

void NoBikeDetails(const std::filesystem::path& data)
{
    RemoveList(data / "Details.dat", "BIKES_MEDIUM2_SW");
}
void NoPlayerDetails(const std::filesystem::path& data)
{
    RemoveList(data / "Details.dat", "PLAYER_MEDIUM2_SW");
}
void NoDetailsFile(const std::filesystem::path& data)
{
    std::filesystem::remove(data / "Details.dat");
}
void NoTrack(const std::filesystem::path& data)
{
    std::filesystem::remove(data / "Tracks" / "Sugo.dat");
}
void NoSkillList(const std::filesystem::path& data)
{
    RemoveList(data / "AI.dat", "SIM_SUNNY_PRO");
}
void BadSkillList(const std::filesystem::path& data)
{
    datakit::AiSkillSpec bad;
    bad.braking = 0.5f; // would slow the riders down away from a corner
    WriteText(data / "AI.dat", datakit::ai_file_text({{"SIM_SUNNY_PRO", bad}}));
}
void NoManufacturers(const std::filesystem::path& data)
{
    RemoveList(data / "Info.dat", "MANUFACTURERS");
}
void NoTerrain(const std::filesystem::path& data)
{
    std::filesystem::remove(data / "Terrain.dat");
}
void NoScene(const std::filesystem::path& data)
{
    RemoveList(data / "Details.dat", "Sugo_SUNNY_SW");
}

class FailedLoadTest : public RaceFixture, public ::testing::WithParamInterface<FailedLoadCase> {};

TEST_P(FailedLoadTest, ShowsItsMessageAndLeavesNoRaceBehind)
{
    const FailedLoadCase& c = GetParam();
    // The archives hold copies of the data files; a damaged or missing file
    // must not be found there instead.
    for (const char* mix : {"Data.mix", "Tracks.mix"})
        std::filesystem::remove(dir() / "Data" / mix);
    c.damage(dir() / "Data");
    Header("Sugo", 4, 3);
    AddPlayer(1);

    EXPECT_FALSE(Load());
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].style, platform::MB_ICONEXCLAMATION);
    EXPECT_NE(boxes[0].text.find(c.message), std::string::npos) << boxes[0].text;

    race.reset();
    app.m_pRace = nullptr;
    EXPECT_EQ(CurrentRaceContext().Bikes, nullptr);
    EXPECT_EQ(CurrentRaceContext().Models, nullptr);
    EXPECT_EQ(CurrentRaceConditions().Circuit, nullptr);
    EXPECT_EQ(input.RaceLink(), nullptr);
    EXPECT_EQ(input.TargetCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FailedLoadTest,
    ::testing::Values(FailedLoadCase{"NoBikeDetails", NoBikeDetails, "Dettagli moto non trovati"},
                      FailedLoadCase{"NoPlayerDetails", NoPlayerDetails, "Dettagli giocatore non trovati"},
                      FailedLoadCase{"NoDetailsFile", NoDetailsFile, "Dettagli moto non trovati"},
                      FailedLoadCase{"NoTrack", NoTrack, "Track not found"},
                      FailedLoadCase{"NoSkillList", NoSkillList, "SIM_SUNNY_PRO"},
                      FailedLoadCase{"BadSkillList", BadSkillList, "SIM_SUNNY_PRO"},
                      FailedLoadCase{"NoManufacturers", NoManufacturers, "MANUFACTURERS"},
                      FailedLoadCase{"NoTerrain", NoTerrain, "Terrain"},
                      FailedLoadCase{"NoScene", NoScene, "Sugo_SUNNY_SW"}),
    [](const ::testing::TestParamInfo<FailedLoadCase>& info) { return std::string(info.param.name); });

// The bikes cannot be allocated.
TEST_F(RaceLoadTest, AllocationFailureFailsTheLoad)
{
    AddPlayer(0);
    platform::fail_next(platform::Fault::MemoryAlloc);
    EXPECT_FALSE(Load());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes().back().text, "Impossibile allocare classi moto");
    race.reset();
    EXPECT_EQ(input.TargetCount(), 0);
}

} // namespace
