#include "champ/weather_table.h"

#include <cmath>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/text_number.h"
#include "app/text_source.h"
#include "champ/champ_file_io.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/text_words.h"
#include "net/lobby_player_record.h"
#include "platform/random.h"

namespace {

constexpr int kSkippedWordsPerTrack = 4;
constexpr float kNetworkTemperature = 26.0f;

// The decimal integer a word starts with, read as "%d" reads it: a sign,
// then digits, anything after them ignored ("30%" is 30, "25," is 25; too
// large saturates). False for a word that starts with no digits.
bool ParseInteger(const std::string& word, std::int32_t& value)
{
    return ScanDecimalInt(word.c_str(), value) != 0;
}

// The runtime generator's next value as a fraction 0..1.
float RandomFraction()
{
    return static_cast<float>(platform::rand()) / static_cast<float>(platform::RAND_MAX_VALUE);
}

bool ReadTable(TextSource& text, WeatherEntry (&entries)[kWeatherTracks][kWeatherChoices], std::string& error)
{
    std::string word;
    for (int track = 0; track < kWeatherTracks; ++track) {
        for (int i = 0; i < kSkippedWordsPerTrack; ++i) {
            if (!text_words::ReadWord(text, word)) {
                error = "the file ends at track " + std::to_string(track);
                return false;
            }
        }
        for (int choice = 0; choice < kWeatherChoices; ++choice) {
            std::int32_t values[6] = {};
            for (int i = 0; i < 6; ++i) {
                if (!text_words::ReadWord(text, word)) {
                    error = "the file ends at track " + std::to_string(track);
                    return false;
                }
                if (i != 1 && !ParseInteger(word, values[i])) {
                    error = "\"" + word + "\" at track " + std::to_string(track) + " does not start with a number";
                    return false;
                }
            }
            WeatherEntry& e = entries[track][choice];
            e = WeatherEntry{values[0], values[2], values[3], values[4], values[5]};
            if (e.Chance < 0 || e.Chance > 100) {
                error = "the chance " + std::to_string(e.Chance) + " at track " + std::to_string(track) +
                        " is not 0..100";
                return false;
            }
        }
    }
    return true;
}

} // namespace

WeatherTable::WeatherTable() = default;

bool WeatherTable::Load()
{
    m_LastError.clear();
    LastWeather = kNoLastWeather;
    for (auto& track : m_Entries)
        for (WeatherEntry& entry : track)
            entry = WeatherEntry{};
    TextSource text;
    if (!text.open(kWeatherFilePath)) {
        m_LastError = "no weather file";
        return false;
    }
    WeatherEntry entries[kWeatherTracks][kWeatherChoices];
    std::string error;
    if (!ReadTable(text, entries, error)) {
        m_LastError = error;
        ReportRefusedFile(kWeatherFilePath, "damaged weather file", error);
        return false;
    }
    for (int t = 0; t < kWeatherTracks; ++t)
        for (int c = 0; c < kWeatherChoices; ++c)
            m_Entries[t][c] = entries[t][c];
    return true;
}

const WeatherEntry& WeatherTable::Entry(int track, int choice) const
{
    if (track < 0 || track >= kWeatherTracks || choice < 0 || choice >= kWeatherChoices)
        throw GameError("out of range");
    return m_Entries[track][choice];
}

WeatherEntry& WeatherTable::Entry(int track, int choice)
{
    return const_cast<WeatherEntry&>(static_cast<const WeatherTable&>(*this).Entry(track, choice));
}

std::int32_t WeatherTable::Random(int roll, const Championship& champ)
{
    const int track = champ.CurrentEventIndex;
    const std::int32_t c0 = Entry(track, 0).Chance;
    const std::int32_t c1 = Entry(track, 1).Chance;
    std::int32_t result = roll < c0 ? 0 : roll < c0 + c1 ? 1 : 2;
    const std::int32_t kind = champ.GetSessionKind();
    const bool weekend = champ.GameMode == 3 || champ.GameMode == 4;
    if (weekend && LastWeather != kNoLastWeather && kind >= 0 && kind <= kSessionSecondRace) {
        if (result == 0 && LastWeather == 2)
            result = 2;
        else if (result == 2 && LastWeather == 0)
            result = 0;
    }
    LastWeather = result;
    return result;
}

void WeatherTable::SetTemperatures(int choice, const WeatherContext& context)
{
    const WeatherEntry& e = Entry(context.Champ.CurrentEventIndex, choice);
    // In floats: the file's integers may be anything a 32-bit value holds.
    const float range = static_cast<float>(e.FirstHigh) - static_cast<float>(e.FirstLow);
    const float first = context.NetworkGame ? kNetworkTemperature
                                            : static_cast<float>(e.FirstLow) + range * RandomFraction();
    float second = static_cast<float>(e.SecondLow);
    if (range != 0.0f) {
        second += (static_cast<float>(e.SecondHigh) - static_cast<float>(e.SecondLow)) *
                  (first - static_cast<float>(e.FirstLow)) / range;
    }
    context.App.m_fTemperature1 = first;
    context.App.m_fTemperature2 = second;
}

void WeatherTable::ChooseWeather(const WeatherContext& context)
{
    std::int32_t choice = context.Settings.Race.Weather;
    bool fromHost = false;
    LobbyPlayerRecord host;
    if (context.NetworkGame && context.Session && FindSessionHost(*context.Session, host)) {
        choice = host.RaceOptions[kLobbyWeather];
        fromHost = true;
    }
    if (choice == kWeatherRandom) {
        const int roll = fromHost ? static_cast<int>(host.RandomSeed % 100u)
                                  : static_cast<int>(std::floor(RandomFraction() * 100.0f));
        choice = Random(roll, context.Champ);
    }
    if (choice < 0 || choice > 2)
        choice = 0;  // a choice from elsewhere that names no weather: sunny

    const float* sky = kSunnySky;
    switch (choice) {
    case 0:
        context.App.m_nWeather = 0;
        break;
    case 1:
        context.App.m_nWeather = 2;  // fog
        sky = kGreySky;
        break;
    default:
        context.App.m_nWeather = 1;  // rain
        sky = kGreySky;
        break;
    }
    for (int i = 0; i < 3; ++i)
        m_SkyColour[i] = sky[i];
    SetTemperatures(choice, context);
}
