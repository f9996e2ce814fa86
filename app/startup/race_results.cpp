#include <algorithm>

#include "app/game_app.h"
#include "app/startup/run_race.h"
#include "champ/champ_objects.h"
#include "race/race.h"
#include "race/race_results.h"

void ApplyEventTimes(Race& race, const GameApp& app)
{
    std::vector<RaceResultLine> lines = RaceResultLines(race, app);
    TheChampionship().ApplyEventTimes(lines);
    const int riders = std::min(race.m_nBikes, kMaxRaceRiders);
    for (const RaceResultLine& line : lines)
        for (int i = 0; i < riders; ++i)
            if (app.m_RiderIds[i] == line.RiderId)
                race.m_pBikes[static_cast<std::size_t>(i)].BestLap = line.TimeB;
}
