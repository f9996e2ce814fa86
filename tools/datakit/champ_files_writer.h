#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writers of the championship's files: the riders file, the weather table,
// the riders' reference times, championship saves and track-record files.
// The byte layouts are in docs/champ-files.md.
namespace datakit {

// ".\menu\Riders.txt".
struct RidersFile {
    struct Rider {
        std::string name;   // at most 20 characters
        std::string team;   // one of the five team names
    };
    struct LapRecord {
        std::string holder;
        int minutes = 1, seconds = 40, hundredths = 0;
        std::string skipped = "-";
        std::string note;   // one word
    };
    std::array<std::string, 5> teams;
    std::vector<Rider> riders;     // ids 0.. in order
    std::vector<LapRecord> laps;   // by track; none: no "[lap]" section
};
std::string riders_file_text(const RidersFile& file);

// ".\menu\Weather.txt": per track four words (the track name and the three
// column names), then per weather choice 0..2 a line "chance % low high low
// high".
struct WeatherRow {
    int chance = 33;
    int first_low = 25, first_high = 27;
    int second_low = 30, second_high = 40;
};
using WeatherFile = std::array<std::array<WeatherRow, 3>, 12>;
std::string weather_file_text(const WeatherFile& file);

// "Data\Times.dat": the typed list "RIDERS_TIMES", 18 lines (computer riders
// 0..17) of 12 float fields (tracks in event order).
using RiderTimesTable = std::array<std::array<float, 12>, 18>;
std::string times_file_text(const RiderTimesTable& times);

// A championship save (32989 bytes).
struct ChampSaveResult {
    std::uint8_t rider = 0;
    std::uint8_t position = 255;
    std::uint8_t extra = 0;
    std::uint32_t points = 0;
    float time_a = 1499.99f, time_b = 1499.99f, time_c = 1499.99f;
};
struct ChampSaveEvent {
    std::int32_t session_kind = 4;
    std::array<std::array<ChampSaveResult, 32>, 4> results;  // result r: rider r
    ChampSaveEvent();
};
struct ChampSaveRider {
    std::string name;
    std::int32_t team = 0;
    std::int32_t id = 0;
    std::int32_t points = -1;
    std::int32_t scores = 0;
    std::uint32_t kind = 0;
    std::uint8_t entered = 0;
};
struct ChampionshipSave {
    std::string file_name;
    std::string name;
    std::string player_name;
    std::int32_t current_event = 0;
    std::int32_t player_standing = 0;
    std::int32_t player_points = 0;
    std::array<ChampSaveEvent, 12> events;
    std::int32_t entered_riders = 0;
    std::array<ChampSaveRider, 32> riders;   // rider i: id i
    std::uint8_t standings_sorted = 0;
    std::int32_t renamed_rider = -1;
    std::string old_name;
    std::int32_t game_mode = 0;
    std::int32_t class_index = 0;
    std::string session_title;
    std::array<std::int32_t, 8> race_options = {1, 1, 10, 10, 1, 0, 0, 1};
    std::uint8_t gear_choice = 0;
    std::int32_t realism_level = 1;
    std::array<std::uint32_t, 27> setup_words{};   // the 27 fields of the set-up, as stored
    ChampionshipSave();
};
inline constexpr std::size_t championship_save_size = 32989;
std::vector<std::uint8_t> championship_save_bytes(const ChampionshipSave& save);

// The default set-up's 27 stored words (the driving fields 0, 0, 0).
std::array<std::uint32_t, 27> default_setup_words();

// A track-records file ("BSim.bin", "BArc.bin"; 38564 bytes).
struct RecordsTimeRow {
    float time = -1.0f;
    std::string name;
    std::string team;
    std::int32_t position = -1;
};
struct RecordsTrack {
    std::array<std::array<RecordsTimeRow, 10>, 5> race_times;
    std::array<RecordsTimeRow, 10> best_laps;
    float lap_record = 1499.99f;
    std::string holder_name = "TEST";
    std::string holder_team;
    std::int32_t holder_id = -1;
    std::string note;
};
struct TrackRecordsFile {
    std::string file_name;
    std::array<RecordsTrack, 12> tracks;
};
inline constexpr std::size_t track_records_size = 38564;
std::vector<std::uint8_t> track_records_bytes(const TrackRecordsFile& file);

// The demo data's files.
RidersFile demo_riders();
WeatherFile demo_weather();
RiderTimesTable demo_rider_times();
// A simulation championship named "Default" at its first event: the player
// (name "PLAYER") rides rider 3, seven computer riders are entered.
ChampionshipSave demo_championship();

// Writes "menu\Riders.txt", "menu\Weather.txt", "Data\Times.dat" and
// "menu\save\Default.chp" below `root`. False and `error` on failure.
bool write_demo_champ_files(const std::filesystem::path& root, std::string& error);

} // namespace datakit
