#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"

// The local player's result of the race just run, into the records of the
// current event's track.

void TrackRecords::AddPlayerResult(const Championship& champ, const GameSettings& settings)
{
    const std::int32_t id = champ.PlayerRider();
    if (id < 0)
        return;  // no player in this championship
    const ChampionshipRider& rider = champ.FindRider(id);
    const RiderPlacing placing = champ.FindRiderPosition(id);
    const bool simulation = champ.GameMode >= 2 && champ.GameMode <= 4;
    RecordRules rules;
    rules.Column = settings.LapChoiceIndex(simulation);
    rules.MayTakeLapRecord = settings.RealismLevel == 4 && simulation;
    AddResult(champ.CurrentEventIndex, placing.TimeC, placing.TimeB, rider.Name, champ.GetRiderInfo(rider),
              placing.Position, rules);
}
