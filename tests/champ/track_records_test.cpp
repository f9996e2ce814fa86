#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "champ/weather_table.h"
#include "tests/champ/champ_fixture.h"

using champ_fixture::ChampTest;
using champ_fixture::read_file;
using champ_fixture::write_file;
using champ_fixture::PutU32;
using champ_fixture::ThrownText;

namespace {

// Offsets in a records file: track 0's first race-time row, its best laps,
// its lap record.
constexpr std::size_t kTrack0 = 260;
constexpr std::size_t kTrack0BestLaps = kTrack0 + 2600;
constexpr std::size_t kTrack0LapRecord = kTrack0 + 3120;

class TrackRecordsTest : public ChampTest {
protected:
    TrackRecordsTest() { WriteDemoFiles(); }

    // A records file with a few rows, stored under another name.
    static datakit::TrackRecordsFile Golden()
    {
        datakit::TrackRecordsFile file;
        file.file_name = "Other.bin";
        for (auto& track : file.tracks) {
            track.lap_record = 101.25f;
            track.holder_name = "Aldo Verzani";
            track.holder_team = "Corsa";
            track.note = "1995";
        }
        file.tracks[3].race_times[1][0] = {300.5f, "Kai Brenner", "Vortex", 2};
        file.tracks[3].race_times[1][1] = {301.75f, "PLAYER", "Corsa", 4};
        file.tracks[3].best_laps[0] = {99.5f, "PLAYER", "Corsa", 0};
        file.tracks[11].holder_id = 17;
        return file;
    }

    static const char* Names(int i)
    {
        static const char* names[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K"};
        return names[i];
    }
};

} // namespace

TEST_F(TrackRecordsTest, RaceTimesKeepTheTenBestAndOlderEqualTimesFirst)
{
    TrackRecord record;
    const float times[] = {100, 110, 120, 130, 140, 150, 160, 170, 180, 190};
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(record.InsertRaceTime(2, times[9 - i], Names(i), "T", i));
    EXPECT_EQ(record.RaceTimes[2][0].Time, 100.0f);
    EXPECT_EQ(record.RaceTimes[2][9].Time, 190.0f);

    // A time equal to the third row's goes in as the fourth row.
    ASSERT_TRUE(record.InsertRaceTime(2, 120.0f, "New", "Team", 7));
    EXPECT_STREQ(record.RaceTimes[2][2].Name, Names(7));
    EXPECT_STREQ(record.RaceTimes[2][3].Name, "New");
    EXPECT_EQ(record.RaceTimes[2][3].Position, 7);
    EXPECT_EQ(record.RaceTimes[2][9].Time, 180.0f);  // the old tenth dropped out

    EXPECT_FALSE(record.InsertRaceTime(2, 180.0f, "Slow", "T", 1));  // no better than the tenth
    EXPECT_FALSE(record.InsertRaceTime(2, kNoTime, "None", "T", 1)); // no race time
    EXPECT_FALSE(record.InsertRaceTime(5, 50.0f, "Bad", "T", 1));    // no such column
    EXPECT_TRUE(record.RaceTimes[0][0].Empty());

    record.InsertRaceTime(0, 200.0f, "A name longer than twenty", "A team longer than twenty", 0);
    EXPECT_STREQ(record.RaceTimes[0][0].Name, "A name longer than t");
    EXPECT_STREQ(record.RaceTimes[0][0].Team, "A team longer than t");
}

TEST_F(TrackRecordsTest, OnlyAllowedLapsTakeTheLapRecord)
{
    TrackRecord record;
    EXPECT_EQ(record.LapRecord, 1499.99f);
    EXPECT_STREQ(record.HolderName, "TEST");
    record.LapRecord = 95.0f;

    // The fastest lap at a lower realism level goes into the table only.
    ASSERT_TRUE(record.InsertBestLap(90.0f, "Fast", "T1", false));
    EXPECT_EQ(record.LapRecord, 95.0f);
    EXPECT_STREQ(record.HolderName, "TEST");
    EXPECT_EQ(record.BestLaps[0].Position, 0);

    ASSERT_TRUE(record.InsertBestLap(89.0f, "Faster", "T2", true));
    EXPECT_EQ(record.LapRecord, 89.0f);
    EXPECT_STREQ(record.HolderName, "Faster");
    EXPECT_STREQ(record.HolderTeam, "T2");
    EXPECT_STREQ(record.BestLaps[1].Name, "Fast");

    ASSERT_TRUE(record.InsertBestLap(91.0f, "Slower", "T3", true));  // in the table, not a record
    EXPECT_EQ(record.LapRecord, 89.0f);
    EXPECT_FALSE(record.InsertBestLap(kNoTime, "None", "T", true));
    EXPECT_TRUE(record.BestLaps[3].Empty());
}

TEST_F(TrackRecordsTest, AMissingFileGivesTheRidersFileLapRecords)
{
    TrackRecords records(kSimRecordsFile);
    EXPECT_FALSE(records.Load());
    EXPECT_FALSE(records.Refused());
    EXPECT_TRUE(Boxes().empty());
    const datakit::RidersFile riders = datakit::demo_riders();
    for (int t = 0; t < kRecordTracks; ++t) {
        const TrackRecord& record = records.Track(t);
        const auto& lap = riders.laps[static_cast<std::size_t>(t)];
        EXPECT_EQ(record.HolderName, lap.holder) << t;
        EXPECT_FLOAT_EQ(record.LapRecord, lap.minutes * 60 + lap.seconds + lap.hundredths * 0.01f) << t;
        EXPECT_EQ(record.Note, lap.note) << t;
        for (const auto& column : record.RaceTimes)
            for (const TimeRow& row : column)
                EXPECT_TRUE(row.Empty());
        for (const TimeRow& row : record.BestLaps)
            EXPECT_TRUE(row.Empty());
    }
    // Written at shutdown under its own name.
    records.Save();
    EXPECT_EQ(read_file(dir_ / "BSim.bin").size(), kTrackRecordsBytes);
}

TEST_F(TrackRecordsTest, SeedingNeedsTheRidersFile)
{
    std::filesystem::remove(dir_ / "menu" / "Riders.txt");
    platform::invalidate_path_cache();
    TrackRecords records(kArcadeRecordsFile);
    EXPECT_EQ(ThrownText([&] { records.Load(); }), "riders.txt not found");
}

TEST_F(TrackRecordsTest, GoldenFileLoadsUnderItsOwnNameAndSavesByteForByte)
{
    write_file(dir_ / "BSim.bin", datakit::track_records_bytes(Golden()));
    TrackRecords records(kSimRecordsFile);
    ASSERT_TRUE(records.Load()) << records.LastError();
    EXPECT_STREQ(records.FileName(), "BSim.bin");  // not "Other.bin" from inside the file
    const TrackRecord& t3 = records.Track(3);
    EXPECT_EQ(t3.RaceTimes[1][1].Time, 301.75f);
    EXPECT_STREQ(t3.RaceTimes[1][1].Name, "PLAYER");
    EXPECT_EQ(t3.RaceTimes[1][1].Position, 4);
    EXPECT_EQ(t3.BestLaps[0].Time, 99.5f);
    EXPECT_EQ(records.Track(11).HolderId, 17);
    EXPECT_STREQ(records.Track(0).Note, "1995");

    records.Save();
    auto expected = Golden();
    expected.file_name = "BSim.bin";
    EXPECT_EQ(read_file(dir_ / "BSim.bin"), datakit::track_records_bytes(expected));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Other.bin"));
}

TEST_F(TrackRecordsTest, DamagedFilesAreRefusedAndNeverOverwritten)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    };
    const std::uint32_t nan = std::bit_cast<std::uint32_t>(std::numeric_limits<float>::quiet_NaN());
    const Case cases[] = {
        {"empty", [](auto& b) { b.clear(); }},
        {"short by one byte", [](auto& b) { b.pop_back(); }},
        {"one track missing", [](auto& b) { b.resize(b.size() - kTrackRecordBytes); }},
        {"one byte too long", [](auto& b) { b.push_back(0); }},
        {"a row name not terminated", [](auto& b) { std::memset(&b[kTrack0 + 4], 'A', 21); }},
        {"a row team not terminated", [](auto& b) { std::memset(&b[kTrack0 + 25], 'A', 23); }},
        {"a time that is not a number", [nan](auto& b) { PutU32(b, kTrack0BestLaps, nan); }},
        {"a negative time", [](auto& b) { PutU32(b, kTrack0, std::bit_cast<std::uint32_t>(-2.0f)); }},
        {"a position below -1", [](auto& b) { PutU32(b, kTrack0 + 48, 0xFFFFFFF0u); }},
        {"a lap record that is not a number", [nan](auto& b) { PutU32(b, kTrack0LapRecord, nan); }},
        {"holder name not terminated", [](auto& b) { std::memset(&b[kTrack0LapRecord + 4], 'A', 21); }},
        {"holder id 32", [](auto& b) { PutU32(b, kTrack0LapRecord + 48, 32); }},
        {"note not terminated", [](auto& b) { std::memset(&b[kTrack0LapRecord + 52], 'A', 20); }},
    };
    for (const Case& c : cases) {
        auto bytes = datakit::track_records_bytes(Golden());
        c.damage(bytes);
        write_file(dir_ / "BArc.bin", bytes);
        platform::clear_recorded_message_boxes();

        TrackRecords records(kArcadeRecordsFile);
        EXPECT_FALSE(records.Load()) << c.what;
        EXPECT_TRUE(records.Refused()) << c.what;
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_NE(boxes[0].text.find("damaged records file"), std::string::npos) << boxes[0].text;
        // Fresh records, seeded from the riders file.
        EXPECT_TRUE(records.Track(3).RaceTimes[1][0].Empty()) << c.what;
        EXPECT_STREQ(records.Track(0).HolderName, datakit::demo_riders().laps[0].holder.c_str()) << c.what;
        // Saving at shutdown does not write over the refused file.
        EXPECT_EQ(ThrownText([&] { records.Save(); }), "open file") << c.what;
        EXPECT_FALSE(records.LastError().empty());
        EXPECT_EQ(read_file(dir_ / "BArc.bin"), bytes) << c.what;
    }
}

TEST_F(TrackRecordsTest, ASaveInterruptedBeforeItsRenameKeepsTheOldFile)
{
    TrackRecords records(kSimRecordsFile);
    records.Load();
    records.Save();
    const auto before = read_file(dir_ / "BSim.bin");
    records.Track(0).InsertBestLap(80.0f, "X", "Y", false);
    platform::fail_next(platform::Fault::FileOpen);
    EXPECT_EQ(ThrownText([&] { records.Save(); }), "open file");
    EXPECT_EQ(read_file(dir_ / "BSim.bin"), before);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "BSim.bin.tmp"));
}

TEST_F(TrackRecordsTest, ThePlayersResultGoesToTheCurrentTrack)
{
    Championship champ("Default.chp");
    champ.SetPlayerRider(3);
    champ.AddEntry(0, kEntryComputer);
    champ.CurrentEventIndex = 2;
    champ.SetSessionKind(kSessionSecondRace);
    champ.StoreResult(0, 0, 0, 91.0f, 500.0f, kRiderStatusFinished, 3);
    champ.StoreResult(1, 3, 0, 90.5f, 501.0f, kRiderStatusFinished, 3);
    GameSettings settings;
    settings.Race.NumSimulationLaps = 5;  // race-length choice 2
    settings.Race.NumArcadeLaps = 1;      // choice 0

    struct Case {
        std::int32_t mode;
        std::int32_t realism;
        int column;
        bool takesRecord;
    };
    for (const Case& c : {Case{4, 4, 2, true}, Case{3, 3, 2, false}, Case{0, 4, 0, false}}) {
        champ.GameMode = c.mode;
        settings.RealismLevel = c.realism;
        TrackRecords records(kSimRecordsFile);
        records.Track(2).LapRecord = 95.0f;
        records.AddPlayerResult(champ, settings);
        const TrackRecord& track = records.Track(2);
        EXPECT_EQ(track.RaceTimes[c.column][0].Time, 501.0f) << c.mode;
        EXPECT_STREQ(track.RaceTimes[c.column][0].Name, "Mats Lindqvist");
        EXPECT_STREQ(track.RaceTimes[c.column][0].Team, "Draxel");
        EXPECT_EQ(track.RaceTimes[c.column][0].Position, 1);
        EXPECT_EQ(track.BestLaps[0].Time, 90.5f);
        EXPECT_EQ(track.LapRecord, c.takesRecord ? 90.5f : 95.0f) << c.mode;
        EXPECT_TRUE(records.Track(1).BestLaps[0].Empty());
    }

    // A player who did not finish has no race time to enter, but his best lap counts.
    champ.StoreResult(1, 3, 0, 90.0f, 640.0f, 0, 2);
    TrackRecords records(kSimRecordsFile);
    records.AddPlayerResult(champ, settings);
    for (const auto& column : records.Track(2).RaceTimes)
        EXPECT_TRUE(column[0].Empty());
    EXPECT_EQ(records.Track(2).BestLaps[0].Time, 90.0f);
}

TEST_F(TrackRecordsTest, ProgramObjectsLoadAtStartAndSaveAtShutdown)
{
    EXPECT_THROW(TheChampionship(), std::logic_error);
    {
        ChampObjects objects;
        objects.Start();
        EXPECT_STREQ(TheChampionship().FindRider(0).Name, "Aldo Verzani");
        EXPECT_EQ(TheWeatherTable().LastWeather, 4);
        EXPECT_STREQ(TheSimRecords().FileName(), "BSim.bin");
        EXPECT_STREQ(TheArcadeRecords().FileName(), "BArc.bin");
        // Nothing is written before the shutdown.
        EXPECT_FALSE(std::filesystem::exists(dir_ / "BSim.bin"));
        TheArcadeRecords().Track(4).InsertBestLap(70.0f, "A", "B", false);

        // The first store cannot be written: reported, the second is still saved.
        platform::fail_next(platform::Fault::FileOpen);
        EXPECT_FALSE(objects.Shutdown());
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text.rfind("open file", 0), 0u) << boxes[0].text;
        EXPECT_FALSE(std::filesystem::exists(dir_ / "BSim.bin"));
        ASSERT_TRUE(std::filesystem::exists(dir_ / "BArc.bin"));
        EXPECT_TRUE(objects.Shutdown());  // nothing is saved twice
    }
    // The objects are gone; their destruction wrote nothing more.
    EXPECT_THROW(TheSimRecords(), std::logic_error);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "BSim.bin"));

    ChampObjects again;
    again.Start();
    EXPECT_EQ(TheArcadeRecords().Track(4).BestLaps[0].Time, 70.0f);
}
