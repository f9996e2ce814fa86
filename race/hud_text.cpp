#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "race/hud.h"
#include "race/hud_content.h"
#include "race/race.h"
#include "sim/bike.h"

// The overlay texts' '%' codes.

namespace {

// An expanded text never grows past this many characters (a rider list of
// 16 rows with long names fits); the rest is dropped.
constexpr std::size_t kExpandedCapacity = 2048;

constexpr int kElementFinishStandings = 7;

std::string Printf(const char* format, long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

int Truncate(float value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<int>(std::clamp(value, -2.0e9f, 2.0e9f));
}

// The bikes' timing values: the first is the race time at the bike's last
// crossing of the line (the start of its lap under way), the second its
// last lap's time, the third how much longer that lap took than the one
// before (negative: quicker). The gap between two bikes on the same lap is
// the time between their last crossings.
float LineGap(const Bike& bike, const Bike& other)
{
    return std::fabs(bike.LapStartTime - other.LapStartTime);
}

// Whether the bike has crossed the line to end a lap: before that (on the
// grid, and at the crossing that starts lap 1) there is no lap time and no
// gap to show.
bool TimedAtTheLine(const Bike& bike)
{
    return bike.Laps >= 1;
}

} // namespace

std::string FormatRaceTime(float t)
{
    if (t == kNoLapTime)
        return "--:--:--";
    const long long whole = Truncate(t);
    const long long hundredths = static_cast<long long>(std::isfinite(t) ? std::clamp(100.0f * t, -2.0e9f, 2.0e9f) : 0.0f);
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 60, whole % 60, hundredths % 100);
    return text;
}

std::string Hud::ExpandText(int element, const char* text, int* highlighted) const
{
    if (highlighted)
        *highlighted = -1;
    std::string out;
    const Bike* bike = m_pViewedBike;
    const int riders = m_race.RiderCount();
    const float frameTime = m_race.m_Camera.m_fFrameTime;
    const float timer = (element >= 0 && element < kMessageCount) ? m_fTimer[element] : 0.0f;
    const HudContent* content = m_pContent.get();
    const int boxHeight = content && element >= 0 && element < kMessageCount ? content->def.elements[element].box[3] : 0;
    const Bike* leader = StandingBike(0);
    const float speedFactor = (m_race.m_uRunFlags & kAppFlagMiles) ? 2.232f : 3.6f;
    const float lapLength = m_race.m_Circuit.Length;

    for (const char* p = text; *p && out.size() < kExpandedCapacity; ++p) {
        // "\n" written in a data file breaks the line like a real line end.
        if (p[0] == '\\' && p[1] == 'n') {
            out += '\n';
            ++p;
            continue;
        }
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char code = p[1];
        if (!code)
            break;
        ++p;
        switch (code) {
        case 't':
            if (bike) out += FormatRaceTime(bike->LapTime);
            break;
        case 'b':
            if (bike) out += FormatRaceTime(bike->BestLap);
            break;
        case 'T':
            if (bike) out += FormatRaceTime(bike->RaceTime);
            break;
        case 'l':
            if (bike) out += Printf("%2lld", std::max(1, bike->Laps + 1));
            break;
        case 'L':
            out += Printf("%2lld", m_race.m_nLaps);
            break;
        case 'p':
            if (bike) out += Printf("%2lld", bike->RacePosition);
            break;
        case 'P':
            out += Printf("%2lld", riders);
            break;
        case 'd':
            if (bike) out += Printf("%lld", Truncate(static_cast<float>(std::max<int>(bike->Laps, 0)) * lapLength + bike->Progress));
            break;
        case 'g':
            if (bike) out += Printf("%lld", bike->Gear + 1);
            break;
        case 's':
            if (bike) out += Printf("%3lld", Truncate(bike->Speed * speedFactor));
            break;
        case 'r':
            if (bike) out += Printf("%5lld", Truncate(bike->Rpm));
            break;
        case 'f':
            out += frameTime > 0.0f ? Printf("%3lld", Truncate(1.0f / frameTime)) : std::string("0");
            break;
        case 'a':
            if (bike) out += Printf("%2lld", bike->RearWheel.Terrain);
            break;
        case 'z':
            out += RiderName(bike);
            break;
        case 'O':
            out += Printf("%lld", m_race.m_nTrackIndex + 1);
            break;
        case 'I':
            out += m_race.m_nSessionType == 5 ? "2" : "1";
            break;
        case 'R':
            if (boxHeight > 0)
                out += Printf("%lld", static_cast<long long>((timer + 5.0f) * static_cast<float>(boxHeight)) /
                                          (5LL * boxHeight) + 1);
            break;
        case 'v': {
            const int mode = m_race.m_Camera.Mode();
            if (mode >= 0 && mode <= 3)
                out += Printf("GAME %lld", mode + 1);
            else if (mode == 4)
                out += "TV CAMERA";
            else if (mode == 5)
                out += "FRONT";
            else if (mode == 6)
                out += "BEHIND";
            break;
        }
        case 'S': {
            // %S<n><m><x>: the rider at standing index page x n + m.
            if (!p[1] || !p[2] || !p[3])
                return out;
            const int n = p[1] - '0', m = p[2] - '0';
            const char what = p[3];
            p += 3;
            if (n < 0 || n > 9 || m < 0 || m > 9)
                break;
            const int index = m_nPage * n + m;
            const Bike* b = StandingBike(index);
            if (!b || (element == kElementFinishStandings && !(b->Status & kBikeFinished)))
                break;
            if (what == 'a')
                out += FormatRaceTime(b->RaceTime);
            else if (what == 'b')
                out += Printf("%lld", index + 1);
            else if (what == 'c')
                out += RiderName(b);
            else if (what == 'd')
                out += FormatRaceTime(b->BestLap);
            break;
        }
        case 'A': {
            if (!p[1])
                return out;
            const char what = *++p;
            const int last = std::min(m_nPage + 16, riders);
            int line = 0;
            for (int i = m_nPage; i < last && out.size() < kExpandedCapacity; ++i, ++line) {
                const Bike* b = StandingBike(i);
                if (!b || !(b->Status & kBikeFinished))
                    break;
                if (b == bike && highlighted)
                    *highlighted = line;
                if (what == 'a')
                    out += Printf("%lld", i + 1);
                else if (what == 'b')
                    out += RiderName(b);
                else if (what == 'd') {
                    const int behind = leader ? leader->Laps - b->Laps : 0;
                    out += behind > 0 ? Printf("%lld LAP", behind) : FormatRaceTime(b->RaceTime);
                }
                // 'c', the rider's description, belongs to the
                // championship's rider table, which the race does not hold.
                out += '\n';
            }
            break;
        }
        case 'D': {
            if (!p[1])
                return out;
            const char what = *++p;
            const Bike* c = m_pCompared;
            const Bike* lead = m_pLeader ? m_pLeader : leader;
            switch (what) {
            case 'a':
                out += RiderName(c);
                break;
            case 'b':
                if (c) out += FormatRaceTime(c->RaceTime);
                break;
            case 'c':
                if (c) out += FormatRaceTime(c->BestLap);
                break;
            case 'd':
                if (c && bike && c->Laps > bike->Laps)
                    out += Printf("%lld", c->Laps - bike->Laps);
                break;
            case 'f':
                if (lead && bike && lead != bike && lead->Laps > bike->Laps)
                    out += Printf("%lld", lead->Laps - bike->Laps);
                break;
            case 'j':
                out += Printf("%lld", m_nCapturedPosition);
                break;
            case 'k':
                out += RiderName(bike);
                break;
            case 'm':
                if (bike) out += Printf("%lld", m_race.m_nLaps - std::max<int>(bike->Laps, 0));
                break;
            case 'n':
                out += FormatRaceTime(m_fRemaining);
                break;
            case 'o':
                out += RiderName(lead);
                break;
            case 'e':
                if (c && bike && c->Laps == bike->Laps && TimedAtTheLine(*bike))
                    out += FormatRaceTime(LineGap(*bike, *c));
                break;
            case 'g':
                if (lead && bike && lead != bike && lead->Laps == bike->Laps && TimedAtTheLine(*bike))
                    out += FormatRaceTime(LineGap(*bike, *lead));
                break;
            case 'h':
                if (bike && TimedAtTheLine(*bike))
                    out += FormatRaceTime(bike->LastLap);
                break;
            case 'i':
                if (bike && TimedAtTheLine(*bike)) {
                    const float delta = bike->LapDelta;
                    out += delta > 0.0f ? "+ " : (delta < 0.0f ? "- " : "  ");
                    out += FormatRaceTime(std::fabs(delta));
                }
                break;
            case 'l':
                if (bike) out += FormatRaceTime(bike->LapStartTime);
                break;
            default:
                break;
            }
            break;
        }
        case 'c':
        case 'C':
        case 'j':
        case 'k':
            // The renderer's and the scene view's frame counters are not
            // kept yet; these print 0.
            out += code == 'j' || code == 'k' ? " 0" : "0";
            break;
        default:
            break;
        }
    }
    if (out.size() > kExpandedCapacity)
        out.resize(kExpandedCapacity);
    return out;
}
