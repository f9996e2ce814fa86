#include "tools/datakit/champ_files_writer.h"

#include <bit>
#include <cstdio>

#include "platform/atomic_file.h"
#include "platform/byte_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/typed_list_writer.h"

namespace datakit {

namespace {

using platform::ByteWriter;

constexpr const char* kTrackNames[12] = {"Island", "Misano", "Donigton", "Hocken", "Monza",    "Laguna",
                                         "Brands", "a1ring", "Assen",    "Albacete", "Sugo", "Sentul"};

void text_field(ByteWriter& out, const std::string& text, std::size_t size)
{
    out.fixed_string(text, size);
}

void write_save_result(ByteWriter& out, const ChampSaveResult& r)
{
    out.u8(r.rider);
    out.u8(r.position);
    out.u8(r.extra);
    out.u8(0);
    out.u32(r.points);
    out.f32(r.time_a);
    out.f32(r.time_b);
    out.f32(r.time_c);
}

void write_time_row(ByteWriter& out, const RecordsTimeRow& row)
{
    out.f32(row.time);
    text_field(out, row.name, 21);
    text_field(out, row.team, 23);
    out.i32(row.position);
}

bool write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes, std::string& error)
{
    if (!create_folders(path.parent_path(), error))
        return false;
    return platform::write_file_atomic(path.string(), bytes, &error);
}

std::string two_digits(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

} // namespace

std::string riders_file_text(const RidersFile& file)
{
    TextFileBuilder text;
    std::string teams;
    for (const std::string& team : file.teams)
        teams += (teams.empty() ? "" : " ") + team;
    text.add_line(teams);
    for (const RidersFile::Rider& rider : file.riders)
        text.add_line(rider.name + ";" + rider.team);
    if (!file.laps.empty()) {
        text.add_line("[lap] lap records: holder, then time, a word, a note");
        for (const RidersFile::LapRecord& lap : file.laps) {
            text.add_line(lap.holder);
            text.add_line(two_digits(lap.minutes) + ":" + two_digits(lap.seconds) + ":" + two_digits(lap.hundredths) +
                          " " + lap.skipped + " " + lap.note);
        }
    }
    return text.text();
}

std::string weather_file_text(const WeatherFile& file)
{
    TextFileBuilder text;
    for (std::size_t t = 0; t < file.size(); ++t) {
        text.add_line(std::string(kTrackNames[t]) + " sunny fog rain");
        for (const WeatherRow& row : file[t]) {
            text.add_line(std::to_string(row.chance) + " % " + std::to_string(row.first_low) + " " +
                          std::to_string(row.first_high) + " " + std::to_string(row.second_low) + " " +
                          std::to_string(row.second_high));
        }
    }
    return text.text();
}

std::string times_file_text(const RiderTimesTable& times)
{
    TypedListWriter list;
    list.begin_list("RIDERS_TIMES");
    for (const auto& rider : times) {
        list.record({TypedField::f(rider[0]), TypedField::f(rider[1]), TypedField::f(rider[2]),
                     TypedField::f(rider[3]), TypedField::f(rider[4]), TypedField::f(rider[5]),
                     TypedField::f(rider[6]), TypedField::f(rider[7]), TypedField::f(rider[8]),
                     TypedField::f(rider[9]), TypedField::f(rider[10]), TypedField::f(rider[11])});
    }
    list.end_list();
    return list.text();
}

ChampSaveEvent::ChampSaveEvent()
{
    for (auto& block : results)
        for (std::size_t r = 0; r < block.size(); ++r)
            block[r].rider = static_cast<std::uint8_t>(r);
}

ChampionshipSave::ChampionshipSave()
{
    for (std::size_t i = 0; i < riders.size(); ++i)
        riders[i].id = static_cast<std::int32_t>(i);
    setup_words = default_setup_words();
}

std::array<std::uint32_t, 27> default_setup_words()
{
    const float floats[] = {0.42f, 0.1f};
    const float more[] = {2.86f, 2.058f, 1.65f, 1.428f, 1.26f, 1.12f, 0.8f, 10.0f, 8.0f, 7.0f, 3000.0f, 11000.0f,
                          1200.0f, 6600.0f, 250.0f, 2500.0f, 1000.0f, 10000.0f};
    std::array<std::uint32_t, 27> words{};
    std::size_t i = 3;
    for (float f : floats)
        words[i++] = std::bit_cast<std::uint32_t>(f);
    words[i++] = 15;
    words[i++] = 36;
    for (float f : more)
        words[i++] = std::bit_cast<std::uint32_t>(f);
    words[i++] = 4;
    words[i++] = 4;
    return words;
}

std::vector<std::uint8_t> championship_save_bytes(const ChampionshipSave& save)
{
    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    text_field(out, save.file_name, 260);
    text_field(out, save.name, 20);
    text_field(out, save.player_name, 24);
    out.i32(save.current_event);
    out.i32(save.player_standing);
    out.i32(save.player_points);
    for (const ChampSaveEvent& event : save.events) {
        out.i32(event.session_kind);
        for (const auto& block : event.results)
            for (const ChampSaveResult& r : block)
                write_save_result(out, r);
    }
    out.i32(save.entered_riders);
    for (const ChampSaveRider& rider : save.riders) {
        text_field(out, rider.name, 24);
        out.i32(rider.team);
        out.i32(rider.id);
        out.i32(rider.points);
        out.i32(rider.scores);
        out.u32(rider.kind);
        out.u8(rider.entered);
        out.zeros(3);
    }
    out.u8(save.standings_sorted);
    out.zeros(3);
    out.i32(save.renamed_rider);
    text_field(out, save.old_name, 21);
    out.zeros(3);
    out.zeros(128);        // 32 pointer slots
    out.i32(save.game_mode);
    out.i32(save.class_index);
    text_field(out, save.session_title, 50);
    out.zeros(2);          // reserved: the record is 32844 bytes
    for (std::int32_t option : save.race_options)
        out.i32(option);
    out.u8(save.gear_choice);
    out.i32(save.realism_level);
    for (std::uint32_t word : save.setup_words)
        out.u32(word);
    return bytes;
}

std::vector<std::uint8_t> track_records_bytes(const TrackRecordsFile& file)
{
    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    text_field(out, file.file_name, 260);
    for (const RecordsTrack& track : file.tracks) {
        for (const auto& column : track.race_times)
            for (const RecordsTimeRow& row : column)
                write_time_row(out, row);
        for (const RecordsTimeRow& row : track.best_laps)
            write_time_row(out, row);
        out.f32(track.lap_record);
        text_field(out, track.holder_name, 21);
        text_field(out, track.holder_team, 23);
        out.i32(track.holder_id);
        text_field(out, track.note, 20);
    }
    return bytes;
}

RidersFile demo_riders()
{
    RidersFile file;
    file.teams = {"Draxel", "Kirova", "Yardley", "Halvorn", "Solenne"};
    // Teams follow the racing-team rows of the menus: ids 0-4, 5-9, 10-12,
    // 13-15 and 16-17. The set-up screens are named after the first letter
    // of the player's team ("game04d", "game04k", "game04y", "game04h",
    // "game04s"), so the names begin with those letters in row order.
    const char* names[18] = {"Aldo Verzani",    "Piet van Dorsten", "Hiro Kanazawa",  "Mats Lindqvist",
                             "Dario Montebelli", "Sean Galloway",   "Rafael Ortuno",  "Tomas Hrabal",
                             "Jules Marchand",  "Kai Brenner",      "Nico Saltarelli", "Owen Pritchard",
                             "Yuto Morishima",  "Lars Eklund",      "Bruno Castellan", "Ivo Petrakis",
                             "Carl Whitmore",   "Andre Duvalier"};
    const int teams[18] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
    for (int i = 0; i < 18; ++i)
        file.riders.push_back({names[i], file.teams[static_cast<std::size_t>(teams[i])]});
    const RiderTimesTable times = demo_rider_times();
    for (int t = 0; t < 12; ++t) {
        // The lap record is a little under the fastest reference time.
        const int hundredths = static_cast<int>(times[0][static_cast<std::size_t>(t)] * 100.0f) - 85;
        RidersFile::LapRecord lap;
        lap.holder = names[(t * 5) % 18];
        lap.minutes = hundredths / 6000;
        lap.seconds = hundredths / 100 % 60;
        lap.hundredths = hundredths % 100;
        lap.note = std::to_string(1991 + t % 8);
        file.laps.push_back(lap);
    }
    return file;
}

WeatherFile demo_weather()
{
    WeatherFile file;
    for (std::size_t t = 0; t < file.size(); ++t) {
        const int warm = 14 + static_cast<int>(t * 7 % 12);   // 14..25 degrees of air
        const int sunny = 45 + static_cast<int>(t * 11 % 40); // 45..84 percent
        const int fog = (100 - sunny) / 3;
        file[t][0] = {sunny, warm, warm + 8, warm + 10, warm + 25};
        file[t][1] = {fog, warm - 6, warm - 1, warm - 4, warm + 4};
        file[t][2] = {100 - sunny - fog, warm - 4, warm + 2, warm - 2, warm + 8};
    }
    return file;
}

RiderTimesTable demo_rider_times()
{
    // A base lap per track, the best lap the fastest computer rider rides
    // there on the demo data (the four demo layouts: the 3.35 km circuit,
    // the speedway, the rectangle with and without pits); each rider about
    // 0.28 % slower than the one before, with some variety from track to
    // track. Unfinished riders are classified on laps drawn around these.
    const float base[12] = {85.0f, 84.3f, 84.5f, 84.2f, 66.4f, 84.5f,
                            84.4f, 66.2f, 84.3f, 84.3f, 60.8f, 61.1f};
    RiderTimesTable times{};
    for (std::size_t r = 0; r < times.size(); ++r)
        for (std::size_t t = 0; t < 12; ++t) {
            const int step = static_cast<int>(base[t] * 0.28f + 0.5f); // hundredths per rider
            const int hundredths = static_cast<int>(base[t] * 100.0f + 0.5f) + step * static_cast<int>(r) +
                                   5 * static_cast<int>((r * 7 + t * 3) % 9);
            times[r][t] = static_cast<float>(hundredths) / 100.0f;
        }
    return times;
}

ChampionshipSave demo_championship()
{
    const RidersFile riders = demo_riders();
    ChampionshipSave save;
    save.file_name = "Default.chp";
    save.name = "Default";
    save.player_name = "PLAYER";
    save.game_mode = 4;
    for (ChampSaveEvent& event : save.events)
        event.session_kind = -1;
    for (std::size_t i = 0; i < riders.riders.size(); ++i) {
        ChampSaveRider& rider = save.riders[i];
        rider.name = riders.riders[i].name;
        for (std::size_t t = 0; t < riders.teams.size(); ++t)
            if (riders.teams[t] == riders.riders[i].team)
                rider.team = static_cast<std::int32_t>(t);
    }
    // The player rides rider 3; the seven fastest computer riders race him.
    for (int id : {0, 1, 2, 3, 4, 5, 6, 7}) {
        ChampSaveRider& rider = save.riders[static_cast<std::size_t>(id)];
        rider.entered = 1;
        rider.points = 0;
        rider.kind = id == 3 ? 1 : 3;
    }
    save.entered_riders = 8;
    save.standings_sorted = 1;  // the entries are in standing order, as a saved championship's are
    save.player_standing = 4;  // rider 3 is fourth of eight riders without points
    save.race_options = {3, 3, 8, 8, 1, 3, 0, 1};
    return save;
}

bool write_demo_champ_files(const std::filesystem::path& root, std::string& error)
{
    return write_text_file(root / "menu" / "Riders.txt", riders_file_text(demo_riders()), error) &&
           write_text_file(root / "menu" / "Weather.txt", weather_file_text(demo_weather()), error) &&
           write_text_file(root / "Data" / "Times.dat", times_file_text(demo_rider_times()), error) &&
           write_bytes(root / "menu" / "save" / "Default.chp", championship_save_bytes(demo_championship()), error);
}

} // namespace datakit
