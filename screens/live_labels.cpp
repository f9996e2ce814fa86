#include "screens/live_labels.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/label.h"
#include "platform/clock.h"
#include "platform/directory_listing.h"
#include "race/race.h"
#include "race/race_results.h"
#include "screens/screen_text.h"
#include "sim/bike.h"

namespace {

bool g_bPlaceShown = false;
std::uint32_t g_nPlaceRefresh = 0;
// The place shown last: a label drawn between two refreshes shows it too
// (a screen entered since shows it at once, not the label's sample text).
std::string g_Place = "-";

bool Put(const std::string& text, char* buffer, std::size_t capacity)
{
    if (capacity == 0)
        return false;
    std::snprintf(buffer, capacity, "%s", text.c_str());
    return true;
}

} // namespace

std::string PlayerSessionPlace()
{
    Championship& champ = TheChampionship();
    const std::int32_t kind = champ.GetSessionKind();
    GameApp& app = TheGameApp();
    // A race's results give points each time they are filed: only the
    // timed sessions, whose results are simply written over, are filed
    // while they run.
    if (app.m_pRace && (kind == kSessionFirstTimed || kind == kSessionSecondTimed)) {
        // A race slot without a championship rider has nothing to file.
        std::vector<RaceResultLine> lines = RaceResultLines(*app.m_pRace, app);
        std::erase_if(lines, [](const RaceResultLine& line) { return line.RiderId < 0 || line.RiderId >= kChampRiders; });
        champ.StoreRaceResults(lines);
    }
    if (kind < 0 || kind > kSessionLast)
        return "-";
    champ.BuildStandings(champ.CurrentEventIndex, kind);
    const bool race = kind == kSessionFirstRace || kind == kSessionSecondRace;
    for (std::size_t slot = 0; slot < champ.Standings.size(); ++slot) {
        const ChampionshipResult* result = champ.Standings[slot];
        if (!result || champ.FindRider(result->RiderId).Kind != kEntryLocalPlayer)
            continue;
        const float time = race ? result->TimeC : result->TimeB;
        return time == kNoTime ? std::string("-") : std::to_string(slot + 1);
    }
    return "-";
}

namespace {

// The time left of the session's hour.
std::string TimeLeft()
{
    const InputManager* input = TheInputManager();
    if (!TheGameApp().m_pRace || !input)
        return MenuTimeText(kNoTime);
    float left = kTimedSessionLength - input->m_fRaceClock;
    if (left < 0.0f)
        left = 0.0f;
    return MenuTimeText(left);
}

} // namespace

void ResetLiveLabels()
{
    g_bPlaceShown = false;
    g_nPlaceRefresh = 0;
    g_Place.assign(1, '-');
}

bool TestLiveLabel(Form& /*form*/, Label& label, char* buffer, std::size_t capacity)
{
    return std::atoi(label.m_szTextVar) == 2 && Put("PROVA", buffer, capacity);
}

bool PlayerNameLiveLabel(Form& /*form*/, Label& /*label*/, char* buffer, std::size_t capacity)
{
    return Put(TheChampionship().PlayerName, buffer, capacity);
}

bool SessionLiveLabel(Form& /*form*/, Label& label, char* buffer, std::size_t capacity)
{
    if (platform::equals_ignoring_case(label.Name(), "lbl_position_data")) {
        const std::uint32_t now = platform::time_get_time();
        if (!g_bPlaceShown || platform::elapsed_ms(g_nPlaceRefresh, now) >= kPlaceRefreshMs) {
            g_bPlaceShown = true;
            g_nPlaceRefresh = now;
            g_Place = PlayerSessionPlace();
        }
        return Put(g_Place, buffer, capacity);
    }
    return Put(TimeLeft(), buffer, capacity);
}
