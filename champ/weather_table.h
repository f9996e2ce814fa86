#pragma once

#include <cstdint>
#include <string>

class Championship;
class GameApp;
class GameSettings;
class NetSession;

// The weather of each race: the player's "Weather" setting, or a draw from
// per-track chances, or in a network game the host's choice; then the two
// temperatures from per-track ranges. The chances and ranges come from
// ".\menu\Weather.txt".
//
// Weather choices (the setting and the table's columns): 0, 1, 2, and 3 for
// a random one. Weather kinds of the race: 0 sunny, 1 rain, 2 fog. Choice 1
// gives the fog kind and choice 2 the rain kind.

inline constexpr const char* kWeatherFilePath = ".\\menu\\Weather.txt";
inline constexpr int kWeatherTracks = 12;
inline constexpr int kWeatherChoices = 3;
inline constexpr std::int32_t kNoLastWeather = 4;

// Sky colours (red, green, blue, 0..1) for the renderer's background.
inline constexpr float kSunnySky[3] = {0.654902f, 0.87451f, 0.921569f};
inline constexpr float kGreySky[3] = {0.4f, 0.47451f, 0.490196f};

struct WeatherEntry {
    std::int32_t Chance = 33;          // percent
    std::int32_t FirstLow = 25;        // first temperature range
    std::int32_t FirstHigh = 27;
    std::int32_t SecondLow = 30;       // second temperature range
    std::int32_t SecondHigh = 40;
};

// What the weather choice reads besides the table.
struct WeatherContext {
    GameApp& App;                      // takes the weather kind and the temperatures
    const GameSettings& Settings;      // "Weather"
    const Championship& Champ;         // current event, game mode, session kind
    const NetSession* Session = nullptr; // the host's choice in a network game
    bool NetworkGame = false;
};

class WeatherTable {
public:
    // The built-in entries ({33, 25, 27, 30, 40} everywhere) and no last
    // weather. Reads nothing.
    WeatherTable();

    // Reads the weather file (disk, else archive). A number is read from the
    // digits a word starts with ("30%" is 30). A missing file keeps the
    // built-in entries (false). A damaged one (too short, a word that starts
    // with no digits, a chance outside 0..100) is refused with a message box
    // and the built-in entries are kept (false). Then no last weather.
    bool Load();

    // Sets the race's weather kind and temperatures (and SkyColour()).
    void ChooseWeather(const WeatherContext& context);

    // A weather choice 0..2 for a roll 0..99 on the current event's track:
    // below the sunny chance 0, below the sum of the first two chances 1,
    // else 2. In the game modes 3 and 4, in the sessions 0..3 of an event,
    // the weather does not jump from one extreme to the other: 0 after a
    // last 2 stays 2, 2 after a last 0 stays 0. The result becomes the last
    // weather.
    std::int32_t Random(int roll, const Championship& champ);

    // The two temperatures of a choice on the current event's track. The
    // first lies in its range at a random point (exactly 26 in a network
    // game), the second at the matching point of its own range; an empty
    // first range gives the second range's low end.
    void SetTemperatures(int choice, const WeatherContext& context);

    const WeatherEntry& Entry(int track, int choice) const;   // "out of range"
    WeatherEntry& Entry(int track, int choice);
    // The sky colour of the last choice, for the renderer's background.
    const float* SkyColour() const { return m_SkyColour; }
    const std::string& LastError() const { return m_LastError; }

    std::int32_t LastWeather = kNoLastWeather;

private:
    WeatherEntry m_Entries[kWeatherTracks][kWeatherChoices];
    float m_SkyColour[3] = {kSunnySky[0], kSunnySky[1], kSunnySky[2]};
    std::string m_LastError;
};
