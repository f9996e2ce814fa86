#include <algorithm>
#include <vector>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/championship.h"

// The starting grid of a race, from the championship's entries.

namespace {

bool IsPlayerKind(std::uint32_t kind)
{
    return kind == kEntryLocalPlayer || kind == kEntryRemotePlayer;
}

} // namespace

void Championship::BuildGrid(int offset, std::span<const std::int32_t, kChampComputerRiders> referenceOrder,
                             bool networkGame, GameApp& app)
{
    int mode = GameMode;
    if (networkGame)
        mode = mode == 4 ? 1 : 0;
    if (mode < 0 || mode > 4)
        throw GameError("??????");

    std::vector<std::int32_t> grid;
    auto enteredWith = [this](int id, auto&& test) {
        const ChampionshipRider* rider = FindRiderOrNull(id);
        return rider && rider->Entered && test(*rider);
    };

    if (mode == 0 || mode == 1) {
        if (mode == 0 || CurrentEventIndex == 0) {
            const int n = kChampComputerRiders;
            const int shift = ((offset % n) + n) % n;
            auto isComputer = [](const ChampionshipRider& r) { return r.Kind == kEntryComputer; };
            for (int i = 0; i < n; ++i) {
                const std::int32_t id = referenceOrder[(i + shift) % n];
                if (enteredWith(id, isComputer))
                    grid.push_back(id);
            }
            for (int id = kChampComputerRiders; id < kChampRiders; ++id) {
                if (enteredWith(id, isComputer))
                    grid.push_back(id);
            }
            for (const ChampionshipRider& rider : Riders) {
                if (rider.Entered && IsPlayerKind(rider.Kind))
                    grid.push_back(rider.Id);
            }
            if (static_cast<int>(grid.size()) != EnteredRiders)
                throw GameError("c'e' qualcosa che non va");
        } else {
            SortStandings();
            for (const ChampionshipRider& rider : Riders) {
                if (rider.Entered)
                    grid.push_back(rider.Id);
            }
        }
    } else if (mode == 2) {
        grid.push_back(PlayerRider());
        app.m_nRiders = 1;
    } else {
        const std::int32_t kind = GetSessionKind();
        if (kind == -1)
            throw GameError("e allora?");
        if (kind < -1 || kind > kSessionLast)
            throw GameError("undef session");
        if (kind == kSessionSecondTimed)
            CopyResultBlock(CurrentEventIndex, kSessionFirstTimed, kSessionSecondTimed);
        for (const ChampionshipRider& rider : Riders) {
            if (rider.Entered)
                grid.push_back(rider.Id);
        }
        if (kind == kSessionFirstRace || kind == kSessionSecondRace) {
            const ChampionshipEvent& event = CurrentEvent();
            auto best = [&event](std::int32_t id) {
                const float t = std::min(event.GetRiderResult(kSessionFirstTimed, id).TimeB,
                                         event.GetRiderResult(kSessionSecondTimed, id).TimeB);
                return t == t ? t : 3.4028235e38f;  // a damaged time starts last
            };
            std::sort(grid.begin(), grid.end(), [&best](std::int32_t a, std::int32_t b) {
                const float ta = best(a);
                const float tb = best(b);
                return ta != tb ? ta < tb : a < b;
            });
        }
        if (static_cast<int>(grid.size()) != app.m_nRiders)
            throw GameError("errore");
    }

    std::fill(std::begin(app.m_RiderIds), std::end(app.m_RiderIds), -1);
    std::copy(grid.begin(), grid.begin() + std::min<std::size_t>(grid.size(), kChampRiders), std::begin(app.m_RiderIds));
}
