#include "race/race_results.h"

#include <algorithm>

#include "app/game_app.h"
#include "race/race.h"

std::vector<RaceResultLine> RaceResultLines(const Race& race, const GameApp& app)
{
    std::vector<RaceResultLine> lines;
    const int riders = std::min(race.m_nBikes, kMaxRaceRiders);
    for (int p = 0; p < riders; ++p) {
        const int index = race.m_StandingOrder[static_cast<std::size_t>(p)];
        if (index < 0 || index >= riders)
            continue;
        const Bike& bike = race.m_pBikes[static_cast<std::size_t>(index)];
        RaceResultLine line;
        line.RiderId = app.m_RiderIds[index];
        line.TimeA = bike.LapTime;
        line.TimeB = bike.BestLap;
        line.TimeC = bike.RaceTime;
        line.Status = bike.Status;
        line.Laps = static_cast<std::uint8_t>(bike.Laps);
        lines.push_back(line);
    }
    return lines;
}
