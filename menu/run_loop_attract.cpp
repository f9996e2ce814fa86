// The demonstration race the main menu runs after a minute without input.
#include <algorithm>
#include <array>
#include <cstring>

#include "app/bounded_text.h"
#include "app/game_app.h"
#include "champ/best_times.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "menu/run_menu.h"

const char* const kAttractTracks[12] = {"Island", "Misano", "Donigton", "Hocken", "Monza", "Laguna",
                                        "Brands", "a1ring", "Assen",    "Albacete", "Sugo", "Sentul"};

namespace {

constexpr std::int32_t kAttractTrackCount = 12;
// A rider count of the arcade options that asks for the championship's
// class, and the riders of each class.
constexpr std::int32_t kRidersByClass[8] = {32, 27, 28, 31, 30, 23, 29, 32};
constexpr std::int32_t kMaxRiders = 32;
// The race header of a demonstration race.
constexpr std::int32_t kAttractSkill = 3;
constexpr float kAttractTemperature1 = 30.0f;
constexpr float kAttractTemperature2 = 50.0f;
constexpr std::int32_t kNoRider = 32;

std::int32_t g_nAttractTrack = 0;

std::int32_t AttractRiders(const GameSettings& settings, const Championship& champ)
{
    std::int32_t riders = settings.Race.NumArcadeRiders;
    if (riders == kTrackDefaultRiderCount)
        riders = kRidersByClass[std::clamp(champ.ClassIndex, 0, 7)];
    // The race header holds 32 riders at most, and a race has one at least.
    return std::clamp(riders, 1, kMaxRiders);
}

// The race header of the demonstration: an arcade race of the track, the
// fastest riders of the track first, nobody riding.
void DescribeAttractRace(GameApp& app, const GameSettings& settings, const Championship& champ,
                         std::int32_t track)
{
    app.m_nSession = kSessionTypeArcade;
    app.m_nRiders = AttractRiders(settings, champ);
    app.m_nLaps = settings.Race.NumArcadeLaps;
    app.m_nWeather = 0;
    app.RaceFlags = 0;
    app.m_nSkill = kAttractSkill;
    app.m_fTemperature1 = kAttractTemperature1;
    app.m_fTemperature2 = kAttractTemperature2;
    app.ReleasePlayers();
    app.m_PlayerTemplate.RiderIndex = kNoRider;
    CopyBounded(app.m_szTrack, sizeof app.m_szTrack, kAttractTracks[track]);
    settings.SetAppFlags(app);

    // The track's own index: the riders in their order on that track.
    std::array<std::int32_t, kTimesRiders> order{};
    LoadBestTimes(track, order);
    for (std::int32_t i = 0; i < app.m_nRiders; ++i)
        app.m_RiderIds[i] = i < kTimesRiders ? order[static_cast<std::size_t>(i)] : i;
}

} // namespace

std::int32_t AttractTrackCounter()
{
    return g_nAttractTrack;
}

void SetAttractTrackCounter(std::int32_t counter)
{
    g_nAttractTrack = ((counter % kAttractTrackCount) + kAttractTrackCount) % kAttractTrackCount;
}

bool AttractMode(const char* name)
{
    LeaveMenu(kMainMenuFlags);
    GameApp& app = TheGameApp();
    const std::uint32_t flags = app.Flags;
    const std::uint32_t gfx = app.GfxFlags;
    app.Flags = kAppFlagDemo;
    app.GfxFlags |= kGfxFlagFilter | kGfxFlagEscluder;
    const std::int32_t track = g_nAttractTrack;
    SetAttractTrackCounter(track + 1);
    DescribeAttractRace(app, TheGameSettings(), TheChampionship(), track);
    app.RunRace();
    app.Flags = flags;
    app.GfxFlags = gfx;
    ForgetMenuDisplay();
    return LoadMenuScreens(name, kMainMenuFlags);
}
