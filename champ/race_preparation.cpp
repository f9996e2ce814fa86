#include "champ/race_preparation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/best_times.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/weather_table.h"
#include "net/lobby_player_record.h"
#include "net/net_session.h"
#include "platform/random.h"

namespace {

bool IsSimulationMode(std::int32_t mode)
{
    return mode >= 2 && mode <= 4;
}

// Enters computer riders from the reference order until `count` riders are
// entered, then, in the order that puts the computer riders first, takes
// computer (or unmarked) entries out from the bottom while more than
// `count` are entered.
void FillField(Championship& champ, std::span<const std::int32_t, kChampComputerRiders> reference, int count)
{
    for (std::int32_t id : reference) {
        if (champ.EnteredRiders >= count)
            break;
        if (!champ.FindRider(id).Entered)
            champ.AddEntry(id, kEntryComputer);
    }
    champ.SortComputerRidersFirst();
    for (int i = kChampRiders - 1; i >= 0 && champ.EnteredRiders > count; --i) {
        const ChampionshipRider& rider = champ.Riders[i];
        if (rider.Entered && (rider.Kind == kEntryComputer || rider.Kind == kEntryNone))
            champ.RemoveEntry(rider.Id);
    }
}

void CopyName(char (&field)[64], const char* name)
{
    CopyField(field, name);
}

// The players of a network game: each one's rider entered and one player
// record appended. Returns the rider count of the race.
int EnterNetworkPlayers(const RacePreparation& p, std::int32_t playerRider, bool simulation,
                        std::span<const std::int32_t, kChampComputerRiders> reference)
{
    GameApp& app = p.App;
    Championship& champ = p.Champ;
    PlayerRecord base = app.m_PlayerTemplate;
    CopyName(base.Name, champ.PlayerName);
    base.Kind = 0;
    base.RiderIndex = playerRider;
    base.BestLap = kNoTime;
    app.m_PlayerTemplate = base;

    int players = 0;
    const std::uint32_t localId = p.Session ? p.Session->LocalPlayerId : 0;
    for (int i = 0; p.Session && p.Session->PlayerAt(i); ++i) {
        const NetPlayer& player = *p.Session->PlayerAt(i);
        LobbyPlayerRecord record;
        if (!ReadLobbyPlayerRecord(player.Data, record))
            continue;  // a player whose record never arrived
        const bool local = player.Id == localId;
        PlayerRecord entry = base;
        entry.Kind = local ? 0 : -1;
        entry.RiderIndex = record.Rider;
        entry.NetworkId = player.Id;
        if (!local)
            CopyName(entry.Name, player.Name);
        if (record.Rider >= 0 && record.Rider < kChampRiders)
            champ.AddEntry(record.Rider, local ? kEntryLocalPlayer : kEntryRemotePlayer);
        app.AddPlayer(entry);
        ++players;
        if (local && record.Rider >= 0 && record.Rider < kChampRiders)
            champ.RenameRider(record.Rider, champ.PlayerName);
    }

    LobbyPlayerRecord host;
    std::int32_t count = simulation ? p.Settings.Race.NumSimulationRiders : p.Settings.Race.NumArcadeRiders;
    if (p.Session && FindSessionHost(*p.Session, host))
        count = host.RaceOptions[simulation ? kLobbySimulationRiders : kLobbyArcadeRiders];
    if (count == kTrackDefaultRiderCount)
        count = kTrackDefaultRiders[champ.CurrentEventIndex];
    count = std::clamp(std::max(count, players), 1, kChampRiders);
    FillField(champ, reference, count);
    // There may be fewer riders than asked for (18 computer riders at most).
    return std::min(count, static_cast<int>(champ.EnteredRiders));
}

void EnterSinglePlayer(const RacePreparation& p, std::int32_t playerRider,
                       std::span<const std::int32_t, kChampComputerRiders> reference)
{
    GameApp& app = p.App;
    Championship& champ = p.Champ;
    p.Settings.ResetArcadeDriving(champ.GameMode);
    PlayerRecord& player = app.m_PlayerTemplate;
    player.RiderIndex = playerRider;
    player.Kind = 0;
    player.BestLap = kNoTime;
    player.Setup = p.Settings.PlayerSetup;
    app.AddPlayer(player);
    if (playerRider >= 0)
        champ.RenameRider(playerRider, champ.PlayerName);
    FillField(champ, reference, kSinglePlayerRiders);
}

} // namespace

std::int32_t SessionTypeFor(std::int32_t gameMode, std::int32_t sessionKind)
{
    if (!IsSimulationMode(gameMode))
        return kSessionTypeArcade;
    switch (sessionKind) {
    case 0:
    case 1:
    case 6:
        return 2;
    case 2:
        return 4;
    case 3:
        return 5;
    case 4:
    case 5:
        return gameMode == 2 ? 0 : 1;
    case -1:
        throw GameError("e allora?");
    default:
        throw GameError("undef session");
    }
}

void PrepareRace(const RacePreparation& p)
{
    GameApp& app = p.App;
    Championship& champ = p.Champ;
    const std::int32_t mode = champ.GameMode;
    const bool simulation = IsSimulationMode(mode);
    const std::int32_t playerRider = champ.PlayerRider();
    const int offset = p.NetworkGame ? 0
                                     : static_cast<int>(std::floor(static_cast<float>(platform::rand()) /
                                                                   static_cast<float>(platform::RAND_MAX_VALUE) *
                                                                   static_cast<float>(kChampComputerRiders)));

    // The network bits belong to the multiplayer code; a network game keeps them.
    const std::uint32_t network = p.NetworkGame ? app.Flags & (kAppFlagNetwork | kAppFlagNetworkHost) : 0;
    app.Flags = kAppFlagMenu | network;
    if (p.Settings.Race.Km == 0)
        app.Flags |= kAppFlagMiles;

    app.ReleasePlayers();

    std::array<std::int32_t, kChampComputerRiders> reference{};
    LoadBestTimes(simulation && champ.CurrentEventIndex == 0 ? -1 : champ.CurrentEventIndex, reference);

    int riders = 0;
    if (p.NetworkGame)
        riders = EnterNetworkPlayers(p, playerRider, simulation, reference);
    else
        EnterSinglePlayer(p, playerRider, reference);

    app.RaceFlags = 0;
    switch (mode) {
    case 0:
        champ.SetSessionKind(kSessionSecondRace);
        champ.CurrentEvent().ClearResults();
        break;
    case 1:
        champ.SetSessionKind(kSessionSecondRace);
        app.RaceFlags |= kRaceFlagChampionship;
        break;
    case 2:
        champ.SetSessionKind(5);
        break;
    case 4:
        app.RaceFlags = kRaceFlagChampionship;
        break;
    default:
        break;
    }

    app.m_nRiders = p.NetworkGame ? riders : champ.EnteredRiders;
    app.m_nSkill = 0;
    champ.BuildGrid(offset, reference, p.NetworkGame, app);

    CopyField(app.m_szTrack, kTrackNames[champ.CurrentEventIndex]);
    app.m_nLaps = 3;

    const std::int32_t kind = champ.GetSessionKind();
    const bool simulationRace = simulation && (kind == kSessionFirstRace || kind == kSessionSecondRace);
    if (!simulationRace)
        p.Weather.ChooseWeather(WeatherContext{app, p.Settings, champ, p.Session, p.NetworkGame});

    app.m_nSession = SessionTypeFor(mode, kind);

    p.Settings.SetAppFlags(app);
    app.GfxFlags |= kGfxFlagFilter | kGfxFlagEscluder;
}

void PrepareRace()
{
    PrepareRace(RacePreparation{TheGameApp(), TheGameSettings(), TheChampionship(), TheWeatherTable(), g_pNetSession,
                                g_bNetworkGame != 0});
}
