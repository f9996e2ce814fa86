#pragma once

#include <memory>
#include <string>

class Championship;
class TrackRecords;
class WeatherTable;

// The program-wide objects of the championship: the weather table, the
// championship and the two track-record stores. They are built and loaded
// when the program starts them (Start, after the game settings) and the
// record stores are saved when it shuts them down (Shutdown); nothing is
// read or written by a constructor or a destructor. Only one set may exist
// at a time; the accessors below find it.
class ChampObjects {
public:
    ChampObjects();
    ~ChampObjects();
    ChampObjects(const ChampObjects&) = delete;
    ChampObjects& operator=(const ChampObjects&) = delete;

    // Builds and loads, in order: the weather table (".\menu\Weather.txt"),
    // the championship ("Default.chp": a fresh one with the riders of
    // ".\menu\Riders.txt"), the simulation records ("BSim.bin") and the
    // arcade records ("BArc.bin"). A missing riders file throws.
    void Start();

    // Saves both record stores. A store that cannot be saved is reported in
    // a message box (captioned "Error") and the others are still saved.
    // False when any save failed. Nothing is saved twice.
    bool Shutdown();

private:
    std::unique_ptr<WeatherTable> m_pWeather;
    std::unique_ptr<Championship> m_pChampionship;
    std::unique_ptr<TrackRecords> m_pSimRecords;
    std::unique_ptr<TrackRecords> m_pArcadeRecords;
    bool m_bStarted = false;
};

// The program's objects; each throws std::logic_error when it does not exist.
WeatherTable& TheWeatherTable();
Championship& TheChampionship();
TrackRecords& TheSimRecords();
TrackRecords& TheArcadeRecords();
