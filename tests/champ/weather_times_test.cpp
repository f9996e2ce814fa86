#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/best_times.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/weather_table.h"
#include "net/lobby_player_record.h"
#include "net/net_session.h"
#include "platform/random.h"
#include "tests/champ/champ_fixture.h"

using champ_fixture::ChampTest;
using champ_fixture::write_text;
using champ_fixture::ThrownText;

namespace {

class WeatherTest : public ChampTest {
protected:
    WeatherTest() : champ_(std::make_unique<Championship>())
    {
        WriteDemoFiles();
        platform::srand(1);
    }

    // Weather file whose every track has these rows.
    void WriteUniformWeather(const datakit::WeatherRow& sunny, const datakit::WeatherRow& fog,
                             const datakit::WeatherRow& rain)
    {
        datakit::WeatherFile file;
        for (auto& track : file)
            track = {sunny, fog, rain};
        write_text(dir_ / "menu" / "Weather.txt", datakit::weather_file_text(file));
    }

    WeatherContext Context(const NetSession* session = nullptr, bool network = false)
    {
        return WeatherContext{app_, settings_, *champ_, session, network};
    }

    GameApp app_;
    GameSettings settings_;
    std::unique_ptr<Championship> champ_;
};

// A session whose host (slot 0) asks for a weather choice with a seed.
std::unique_ptr<NetSession> HostedSession(std::int32_t weather, std::uint32_t seed)
{
    auto session = std::make_unique<NetSession>();
    LobbyPlayerRecord client;
    client.PlayerId = 7;
    client.SlotIndex = 1;
    client.RaceOptions[kLobbyWeather] = 0;
    LobbyPlayerRecord host;
    host.PlayerId = 1;
    host.SlotIndex = 0;
    host.RandomSeed = seed;
    host.RaceOptions[kLobbyWeather] = weather;
    const auto clientBytes = BuildLobbyPlayerRecord(client);
    const auto hostBytes = BuildLobbyPlayerRecord(host);
    session->AddPlayer("client", 7, clientBytes.data(), clientBytes.size());
    session->AddPlayer("HOST", 1, hostBytes.data(), hostBytes.size());
    return session;
}

} // namespace

TEST_F(WeatherTest, TheFileGivesEachTrackItsChancesAndRanges)
{
    WeatherTable table;
    ASSERT_TRUE(table.Load()) << table.LastError();
    const datakit::WeatherFile demo = datakit::demo_weather();
    for (int t = 0; t < kWeatherTracks; ++t) {
        for (int c = 0; c < kWeatherChoices; ++c) {
            const auto& row = demo[static_cast<std::size_t>(t)][static_cast<std::size_t>(c)];
            const WeatherEntry& e = table.Entry(t, c);
            EXPECT_EQ(e.Chance, row.chance);
            EXPECT_EQ(e.FirstLow, row.first_low);
            EXPECT_EQ(e.FirstHigh, row.first_high);
            EXPECT_EQ(e.SecondLow, row.second_low);
            EXPECT_EQ(e.SecondHigh, row.second_high);
        }
    }
    EXPECT_EQ(table.LastWeather, kNoLastWeather);
    EXPECT_EQ(ThrownText([&] { table.Entry(12, 0); }), "out of range");
}

TEST_F(WeatherTest, MissingOrDamagedFilesGiveTheBuiltInTable)
{
    const std::string good = datakit::weather_file_text(datakit::demo_weather());
    // A whole file with one row of the first track changed.
    const std::string row = "50 % 20 30 40 60";
    const auto with_first_row = [&](const std::string& changed) {
        datakit::WeatherFile file;
        for (auto& track : file)
            track = {{{50, 20, 30, 40, 60}, {30, 10, 15, 12, 20}, {20, 12, 18, 14, 24}}};
        std::string text = datakit::weather_file_text(file);
        const auto at = text.find(row);
        EXPECT_NE(at, std::string::npos);
        return text.replace(at, row.size(), changed);
    };
    struct Case {
        const char* what;
        std::string text;  // empty: no file
        bool message;
    };
    const Case cases[] = {
        {"no file", "", false},
        {"cut short", good.substr(0, good.size() / 2), true},
        {"a word without digits", with_first_row("50 % 20 x30 40 60"), true},
        {"a sign without digits", with_first_row("50 % 20 - 40 60"), true},
        {"a chance above 100", with_first_row("150 % 20 30 40 60"), true},
        {"a chance above 100 before other characters", with_first_row("101% % 20 30 40 60"), true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir_ / "menu" / "Weather.txt");
        if (!c.text.empty())
            write_text(dir_ / "menu" / "Weather.txt", c.text);
        platform::invalidate_path_cache();
        platform::clear_recorded_message_boxes();
        WeatherTable table;
        table.Entry(5, 1).Chance = 99;
        EXPECT_FALSE(table.Load()) << c.what;
        EXPECT_EQ(Boxes().size(), c.message ? 1u : 0u) << c.what;
        for (int t = 0; t < kWeatherTracks; ++t) {
            for (int k = 0; k < kWeatherChoices; ++k) {
                const WeatherEntry& e = table.Entry(t, k);
                EXPECT_EQ(e.Chance, 33) << c.what;
                EXPECT_EQ(e.FirstLow, 25);
                EXPECT_EQ(e.FirstHigh, 27);
                EXPECT_EQ(e.SecondLow, 30);
                EXPECT_EQ(e.SecondHigh, 40);
            }
        }
    }
}

TEST_F(WeatherTest, AWordCountsByItsLeadingDigits)
{
    // Words as a hand-edited file holds them: what follows the digits is
    // ignored, a sign is taken.
    datakit::WeatherFile file;
    for (auto& track : file)
        track = {{{50, 20, 30, 40, 60}, {30, 10, 15, 12, 20}, {20, -5, 18, 14, 24}}};
    std::string text = datakit::weather_file_text(file);
    for (const auto& [plain, odd] : {std::pair<std::string, std::string>{"50 % 20 30 40 60", "50% % 20, +30 40C 060."},
                                     {"20 % -5 18", "20%% % -5deg 18"}}) {
        for (auto at = text.find(plain); at != std::string::npos; at = text.find(plain, at + odd.size()))
            text.replace(at, plain.size(), odd);
    }
    write_text(dir_ / "menu" / "Weather.txt", text);
    platform::invalidate_path_cache();
    WeatherTable table;
    ASSERT_TRUE(table.Load()) << table.LastError();
    EXPECT_TRUE(Boxes().empty());
    for (int t = 0; t < kWeatherTracks; ++t) {
        SCOPED_TRACE(t);
        const WeatherEntry& sunny = table.Entry(t, 0);
        EXPECT_EQ(sunny.Chance, 50);
        EXPECT_EQ(sunny.FirstLow, 20);
        EXPECT_EQ(sunny.FirstHigh, 30);
        EXPECT_EQ(sunny.SecondLow, 40);
        EXPECT_EQ(sunny.SecondHigh, 60);
        EXPECT_EQ(table.Entry(t, 2).Chance, 20);
        EXPECT_EQ(table.Entry(t, 2).FirstLow, -5);
        EXPECT_EQ(table.Entry(t, 2).FirstHigh, 18);
    }
}

TEST_F(WeatherTest, TheRollIsSharedOutByTheChances)
{
    WriteUniformWeather({50, 20, 30, 30, 40}, {30, 10, 15, 12, 20}, {20, 12, 18, 14, 24});
    WeatherTable table;
    ASSERT_TRUE(table.Load());
    champ_->GameMode = 0;
    for (int roll = 0; roll < 100; ++roll) {
        const std::int32_t expected = roll < 50 ? 0 : roll < 80 ? 1 : 2;
        EXPECT_EQ(table.Random(roll, *champ_), expected) << roll;
        EXPECT_EQ(table.LastWeather, expected);
    }
}

TEST_F(WeatherTest, AWeekendDoesNotJumpBetweenTheExtremes)
{
    WriteUniformWeather({50, 20, 30, 30, 40}, {30, 10, 15, 12, 20}, {20, 12, 18, 14, 24});
    WeatherTable table;
    ASSERT_TRUE(table.Load());
    struct Case {
        std::int32_t mode, kind, last, roll, expected;
    };
    const Case cases[] = {
        {4, 2, 2, 10, 2},  // sunny drawn after choice 2 keeps 2
        {3, 0, 0, 90, 0},  // choice 2 drawn after sunny keeps sunny
        {4, 3, 1, 10, 0},  // after choice 1 anything goes
        {4, 1, 2, 60, 1},
        {4, 5, 2, 10, 0},  // practice sessions draw freely
        {2, 2, 2, 10, 0},  // other game modes draw freely
        {4, 2, kNoLastWeather, 90, 2},
    };
    for (const Case& c : cases) {
        champ_->GameMode = c.mode;
        champ_->SetSessionKind(c.kind);
        table.LastWeather = c.last;
        EXPECT_EQ(table.Random(c.roll, *champ_), c.expected) << c.mode << " " << c.kind << " " << c.last;
    }
}

TEST_F(WeatherTest, ChoicesSetTheirOwnKindAndSky)
{
    WriteUniformWeather({40, 20, 30, 30, 40}, {30, 10, 15, 12, 20}, {30, 12, 18, 14, 24});
    WeatherTable table;
    ASSERT_TRUE(table.Load());
    struct Case {
        std::int32_t setting, kind;
        const float* sky;
        int low, high;
    };
    for (const Case& c : {Case{0, 0, kSunnySky, 20, 30}, Case{1, 2, kGreySky, 10, 15}, Case{2, 1, kGreySky, 12, 18}}) {
        settings_.Race.Weather = c.setting;
        app_.m_nWeather = -1;
        table.ChooseWeather(Context());
        EXPECT_EQ(app_.m_nWeather, c.kind) << c.setting;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(table.SkyColour()[i], c.sky[i]);
        EXPECT_GE(app_.m_fTemperature1, c.low);
        EXPECT_LE(app_.m_fTemperature1, c.high);
    }
    // A random choice draws with the runtime generator's default stream.
    settings_.Race.Weather = kWeatherRandom;
    platform::RandomStream& simulation = platform::random_stream(platform::RandomStreamId::Simulation);
    const std::uint32_t untouched = simulation.state();
    platform::srand(99);
    table.ChooseWeather(Context());
    const std::int32_t first = app_.m_nWeather;
    const float temperature = app_.m_fTemperature1;
    platform::srand(99);
    table.LastWeather = kNoLastWeather;
    table.ChooseWeather(Context());
    EXPECT_EQ(app_.m_nWeather, first);
    EXPECT_EQ(app_.m_fTemperature1, temperature);
    EXPECT_EQ(simulation.state(), untouched);
}

TEST_F(WeatherTest, TemperaturesFollowTheRanges)
{
    WriteUniformWeather({100, 20, 30, 40, 60}, {0, 18, 18, 25, 35}, {0, 10, 10, 10, 10});
    WeatherTable table;
    ASSERT_TRUE(table.Load());
    settings_.Race.Weather = 0;
    for (int i = 0; i < 50; ++i) {
        table.ChooseWeather(Context());
        const float t1 = app_.m_fTemperature1;
        ASSERT_GE(t1, 20.0f);
        ASSERT_LE(t1, 30.0f);
        // The second temperature lies at the same point of its own range.
        EXPECT_NEAR((app_.m_fTemperature2 - 40.0f) / 20.0f, (t1 - 20.0f) / 10.0f, 1e-5);
    }
    // An empty first range: the first is its one value, the second its low end.
    table.SetTemperatures(1, Context());
    EXPECT_EQ(app_.m_fTemperature1, 18.0f);
    EXPECT_EQ(app_.m_fTemperature2, 25.0f);
    EXPECT_FALSE(std::isnan(app_.m_fTemperature2));
}

TEST_F(WeatherTest, ANetworkGameTakesTheHostsChoiceAndTwentySixDegrees)
{
    WriteUniformWeather({50, 20, 30, 40, 60}, {30, 10, 15, 12, 20}, {20, 22, 32, 30, 50});
    WeatherTable table;
    ASSERT_TRUE(table.Load());
    settings_.Race.Weather = 0;  // the local setting does not count
    const auto session = HostedSession(2, 0);
    table.ChooseWeather(Context(session.get(), true));
    EXPECT_EQ(app_.m_nWeather, 1);  // choice 2: rain
    EXPECT_EQ(app_.m_fTemperature1, 26.0f);
    EXPECT_FLOAT_EQ(app_.m_fTemperature2, 30.0f + 20.0f * (26.0f - 22.0f) / 10.0f);

    // A random choice rolls the host's seed mod 100: 1234 -> 34 -> sunny, 1290 -> 90 -> choice 2.
    const auto sunny = HostedSession(kWeatherRandom, 1234);
    table.ChooseWeather(Context(sunny.get(), true));
    EXPECT_EQ(app_.m_nWeather, 0);
    EXPECT_EQ(app_.m_fTemperature1, 26.0f);
    EXPECT_FLOAT_EQ(app_.m_fTemperature2, 40.0f + 20.0f * 0.6f);
    const auto rain = HostedSession(kWeatherRandom, 1290);
    table.LastWeather = kNoLastWeather;
    table.ChooseWeather(Context(rain.get(), true));
    EXPECT_EQ(app_.m_nWeather, 1);
}

// ---------------------------------------------------------------------------
// Best times

TEST_F(WeatherTest, RidersAreOrderedByTheirTimeOnATrackOrOverTheSeason)
{
    datakit::RiderTimesTable times{};
    for (std::size_t r = 0; r < 18; ++r)
        for (std::size_t t = 0; t < 12; ++t)
            times[r][t] = 100.0f + static_cast<float>(r);
    // On track 5 rider 17 is fastest and rider 0 slowest; riders 4 and 2 tie.
    times[17][5] = 50.0f;
    times[0][5] = 500.0f;
    times[4][5] = 60.0f;
    times[2][5] = 60.0f;
    write_text(dir_ / "Data" / "Times.dat", datakit::times_file_text(times));

    std::array<std::int32_t, kTimesRiders> order{};
    LoadBestTimes(5, order);
    EXPECT_EQ(order[0], 17);
    EXPECT_EQ(order[1], 2);  // equal times keep the lower id first
    EXPECT_EQ(order[2], 4);
    EXPECT_EQ(order[17], 0);

    // Over the season the sums decide: riders 2 and 4 gained on track 5,
    // rider 0 lost more there than his other tracks gave him.
    LoadBestTimes(-1, order);
    EXPECT_EQ(order[0], 2);
    EXPECT_EQ(order[1], 4);
    EXPECT_EQ(order[2], 1);
    EXPECT_EQ(order[17], 0);
    EXPECT_EQ(ThrownText([&] { LoadBestTimes(12, order); }), "out of range");
}

TEST_F(WeatherTest, WithoutATimesFileEveryTimeIsZero)
{
    std::filesystem::remove(dir_ / "Data" / "Times.dat");
    platform::invalidate_path_cache();
    RiderTimes times;
    EXPECT_FALSE(ReadRiderTimes(times));
    std::array<std::int32_t, kTimesRiders> order{};
    LoadBestTimes(3, order);
    for (int i = 0; i < kTimesRiders; ++i)
        EXPECT_EQ(order[i], i);
}

TEST_F(WeatherTest, TheDemoTimesReadBackExactly)
{
    RiderTimes times;
    ASSERT_TRUE(ReadRiderTimes(times));
    const datakit::RiderTimesTable demo = datakit::demo_rider_times();
    for (std::size_t r = 0; r < 18; ++r)
        for (std::size_t t = 0; t < 12; ++t)
            EXPECT_EQ(times.Times[r][t], demo[r][t]);
}
