#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/text_compare.h"
#include "app/typed_list.h"
#include "engine/base/name_hash.h"
#include "input/input_manager.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "race/race.h"
#include "sim/race_context.h"
#include "sim/snapshot.h"
#include "sim/terrain.h"

// Loading a race: the race header, the data lists, the tracks, the bikes,
// in a fixed order. Every failure throws its message text; Load shows it
// and gives false.

namespace {

// The session type of a race over laps, which a circuit without a pit lane
// runs whatever was chosen.
constexpr std::int32_t kSessionRace = 4;

std::string Format(const char* format, const char* value)
{
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The index of the track in the season's table: compared without regard to
// case from the last entry down to the second; anything else is 0.
std::int32_t SeasonTrackIndex(const char* name)
{
    for (int i = 11; i >= 1; --i)
        if (EqualsIgnoringCase(name, kSeasonTracks[i]))
            return i;
    return 0;
}

// A lap time that can serve as a reference: finite and above zero.
bool UsableLapTime(float t)
{
    return std::isfinite(t) && t > 0.0f;
}

// Without any usable reference time (no "Data\Times.dat"), a rider's
// reference lap is the lap at this average speed (m/s), so that laps
// estimated for riders who have not finished are never zero or negative.
constexpr float kFallbackLapSpeed = 45.0f;

// A number of the race header kept within what the race has room for.
std::int32_t Within(std::int32_t value, std::int32_t lo, std::int32_t hi)
{
    return std::clamp(value, lo, hi);
}

} // namespace

bool Race::Load()
{
    try {
        LoadSteps();
        return true;
    } catch (const std::bad_alloc&) {
        platform::message_box("Out of memory", "Error", platform::MB_ICONEXCLAMATION);
    } catch (const std::exception& e) {
        const std::string text = e.what();
        if (!text.empty())
            platform::message_box(text, "Error", platform::MB_ICONEXCLAMATION);
    }
    return false;
}

void Race::LoadSteps()
{
    GameApp& app = TheGameApp();
    ReadRaceHeader();
    app.m_PlayerDetail[0] = app.m_PlayerDetail[1] = app.m_PlayerDetail[2] = app.m_PlayerDetail[3] = 0;
    const char* suffix = m_bHardwareDevice ? kHardwareSuffix : kSoftwareSuffix;

    LoadTerrain(m_szTrackName, m_nSessionType == kSessionArcade);
    SetTerrainWeather(app.m_fTemperature1, app.m_fTemperature2);
    ResetOrders();

    LoadBikes();
    ReadDataLists();
    LoadAnimSets();
    ReadDetailLists(suffix);

    if (!m_Circuit.Load(m_szTrackName))
        throw GameError(Format("Track not found: %s", Track::FileNameFor(m_szTrackName).c_str()));
    ReadSoundMarkers();
    const std::string pitLane = std::string(m_szTrackName) + "_pit";
    m_bHasPitLane = m_PitLane.Load(pitLane.c_str()) && !m_PitLane.IsEmpty();
    if (!m_bHasPitLane) {
        // Without a pit lane there is no practice: the session is a race.
        // A race has no in-race menu to bring it back from suspension, so
        // one that was to start suspended (a practice from the menus)
        // starts with its 3D data as any race does.
        m_nSessionType = kSessionRace;
        app.m_nSession = kSessionRace;
        LiveFlags() &= ~kRaceSuspended;
        app.RaceFlags &= ~kRaceFlagNoLoadingScreen;
    }
    ReadPitMarkers();
    ShareWithSimulation();
    AiLoad(*this);

    if (m_nBikes > 0) {
        BuildBikes();
    } else {
        m_nViewedRider = -1;
        CurrentRaceContext().ViewedRider = -1;
        if (!m_CameraEditor.Init(m_Circuit, m_szTrackName))
            throw GameError("The camera editor's controls cannot be registered");
    }

    if (IsPracticeSession(m_nSessionType) || AttractRun())
        StartRace();
    if (LiveFlags() & kRaceSuspended)
        return;
    Load3d();
}

// The race header of the application record, and the simulation's records
// pointed at this race.
void Race::ReadRaceHeader()
{
    const GameApp& app = TheGameApp();
    std::memset(m_szTrackName, 0, sizeof m_szTrackName);
    std::memcpy(m_szTrackName, app.m_szTrack, std::min(sizeof app.m_szTrack, sizeof m_szTrackName - 1));
    m_szTrackName[sizeof m_szTrackName - 1] = '\0';
    m_nTrackIndex = SeasonTrackIndex(m_szTrackName);
    m_nSessionType = Within(app.m_nSession, 0, kSessionArcade);
    m_nWeather = app.m_nWeather;
    m_nLaps = app.m_nLaps;
    m_nSkill = app.m_nSkill;
    m_uRunFlags = app.Flags;
    m_uGfxFlags = app.GfxFlags;
    m_nCameraSetting = app.Camera;
    m_nDetailLevel = Within(app.Details, 0, 5);
    m_bHardwareDevice = RendersOnHardware();
    m_nBikes = Within(app.m_nRiders, 0, kMaxRaceRiders);
    m_uFlags = app.RaceFlags;
    if (!m_bSeedGiven) {
        // Every peer and every replay of the race has the same header.
        m_uRandomSeed = static_cast<std::uint32_t>(m_nTrackIndex) * 0x01000193u ^
                        static_cast<std::uint32_t>(m_nSessionType) * 0x9E3779B9u ^
                        static_cast<std::uint32_t>(m_nLaps) * 0x85EBCA6Bu ^ static_cast<std::uint32_t>(m_nBikes);
    }

    CurrentRaceContext() = RaceContext{};
    CurrentRaceConditions() = RaceConditions{};
    ShareWithSimulation();
    RaceContext& context = CurrentRaceContext();
    context.Bikes = nullptr;
    context.BikeCount = 0;
    context.Hooks = &m_Hooks;
    context.GraphicsFlags = m_uGfxFlags;
    context.ChosenCamera = m_nCameraSetting;
    context.CameraMode = m_Camera.Mode();
    context.AirTemperature = app.m_fTemperature1;
    context.TrackTemperature = app.m_fTemperature2;
    CurrentRaceConditions().RunFlags = m_uRunFlags;

    if (InputManager* input = TheInputManager())
        input->SetRaceLink(&m_InputLink);
}

// The smoke emitters, the bike table and the riders' reference times.
void Race::ReadDataLists()
{
    ReadTypedList(kSmokesFile, kSmokeList, m_Smokes, sizeof(SmokeEmitter), sizeof(SmokeEmitter), kSmokeKinds);
    ReadTypedList(kInfoFile, kBikeTableList, m_BikeTable, sizeof(GridEntry), sizeof(GridEntry), kPitSlotCount);
    ReadTypedList(kTimesFile, kRiderTimesList, m_RiderTimes, sizeof(float), sizeof(float), kRiderTimeValues);

    // The fastest and slowest of this track's column; values that are no
    // lap time (missing, zero, negative, not a number) take no part.
    const int column = m_nTrackIndex;
    m_fFastestTime = m_fSlowestTime = 0.0f;
    bool first = true;
    for (int id = 0; id < kTimedRiders; ++id) {
        const float t = m_RiderTimes[id * kTimedTracks + column];
        if (!UsableLapTime(t))
            continue;
        m_fFastestTime = first ? t : std::min(m_fFastestTime, t);
        m_fSlowestTime = first ? t : std::max(m_fSlowestTime, t);
        first = false;
    }
}

// The level-of-detail distances and priorities of the track, the bikes'
// distances and the detail of the viewed rider's bike; the last two are
// required.
void Race::ReadDetailLists(const char* suffix)
{
    char name[64];
    std::fill(std::begin(m_TrackDetail), std::end(m_TrackDetail), kFarLodDistance);
    std::snprintf(name, sizeof name, kTrackDetailFormat, suffix);
    ReadTypedList(kDetailsFile, name, m_TrackDetail, sizeof(float), sizeof(float), kLodDistances);
    std::snprintf(name, sizeof name, "%s_PRIORITY", m_szTrackName);
    ReadTypedList(kDetailsFile, name, m_TrackPriority, sizeof(float), sizeof(float), kTrackPriorityValues);

    std::fill(std::begin(m_BikeDetail), std::end(m_BikeDetail), kFarLodDistance);
    std::snprintf(name, sizeof name, kBikeDetailFormats[m_nDetailLevel], suffix);
    if (ReadTypedList(kDetailsFile, name, m_BikeDetail, sizeof(float), sizeof(float), kLodDistances) == 0)
        throw GameError("Dettagli moto non trovati");

    std::int32_t playerDetail = 0;
    std::snprintf(name, sizeof name, kPlayerDetailFormats[m_nDetailLevel], suffix);
    if (ReadTypedList(kDetailsFile, name, &playerDetail, sizeof playerDetail, sizeof playerDetail, 1) == 0)
        throw GameError("Dettagli giocatore non trovati");
    GameApp& app = TheGameApp();
    for (int b = 0; b < 4; ++b)
        app.m_PlayerDetail[b] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(playerDetail) >> (8 * b));
}

// The track's positioned sounds ("Data\Tracks\<first three letters>_snd.dat"),
// not used in the first practice session. The count the file gives is kept
// within kMaxSoundMarkers and within the records the file holds.
void Race::ReadSoundMarkers()
{
    m_SoundMarkers.clear();
    if (m_nSessionType == kSessionPractice)
        return;
    char prefix[4] = {};
    std::memcpy(prefix, m_szTrackName, 3);
    const std::string path = std::string("Data\\Tracks\\") + prefix + "_snd.dat";
    std::int32_t count = 0;
    ReadTypedList(path.c_str(), kMarkerCountList, &count, sizeof count, sizeof count, 1);
    if (count <= 0)
        return;
    if (count > kMaxSoundMarkers) {
        std::fprintf(stderr, "%s: %d sound markers, only the first %d are used\n", path.c_str(), count,
                     kMaxSoundMarkers);
        count = kMaxSoundMarkers;
    }
    m_SoundMarkers.resize(static_cast<std::size_t>(count));
    const int read = ReadTypedList(path.c_str(), kMarkersList, m_SoundMarkers.data(), sizeof(SoundMarker),
                                   sizeof(SoundMarker), count);
    if (read < count)
        std::fprintf(stderr, "%s: %d sound markers announced, %d found\n", path.c_str(), count, read);
    m_SoundMarkers.resize(static_cast<std::size_t>(read));
}

// The two pit markers of "Data\Tracks\<track>.mrk": both are used only when
// the file holds exactly two sound ones; otherwise both are off.
void Race::ReadPitMarkers()
{
    const std::string path = std::string("Data\\Tracks\\") + m_szTrackName + ".mrk";
    PitMarker markers[3];
    const int read = ReadTypedList(path.c_str(), kMarkersList, markers, sizeof(PitMarker), sizeof(PitMarker), 3);
    bool usable = read == 2;
    for (int i = 0; i < 2 && usable; ++i)
        usable = std::isfinite(markers[i].X) && std::isfinite(markers[i].Z) && std::isfinite(markers[i].Radius) &&
                 markers[i].Radius >= 0.0f;
    m_PitMarkers[0] = markers[0];
    m_PitMarkers[1] = markers[1];
    if (!usable)
        m_PitMarkers[0].Radius = m_PitMarkers[1].Radius = 0.0f;
    RaceConditions& conditions = CurrentRaceConditions();
    conditions.PitEntry = m_PitMarkers[0];
    conditions.PitExit = m_PitMarkers[1];
}

// The rider and bike animation sets of "Data\Info.dat", handed to the
// simulation's rider states.
void Race::LoadAnimSets()
{
    m_pRiderStates = std::make_unique<RiderStateTable>(ReadRiderStateTable(kInfoFile, &name_hash));
    InstallRiderStateTable(CurrentRaceContext(), m_pRiderStates.get());
}

// The bikes in grid order, each bound to its rider's entry of the bike
// table and to its player, with its reference lap time.
void Race::BuildBikes()
{
    GameApp& app = TheGameApp();
    const int count = m_nBikes;
    m_nBikes = 0;
    Bike* bikes = platform::take_fault(platform::Fault::MemoryAlloc) ? nullptr
                                                                      : new (std::nothrow) Bike[static_cast<std::size_t>(count)];
    if (!bikes)
        throw GameError("Impossibile allocare classi moto");
    m_pBikes.reset(bikes);
    m_nBikes = count;
    try {
        if (platform::take_fault(platform::Fault::MemoryAlloc))
            throw std::bad_alloc();
        m_SaveBuffer.assign(StateWordCount(), 0u);
    } catch (const std::bad_alloc&) {
        throw GameError("Impossibile allocare buffer di salvataggio moto");
    }
    ShareWithSimulation();

    const int humans = std::min<int>(app.m_nHumans, static_cast<int>(app.m_Players.size()));
    for (int i = 0; i < count; ++i) {
        const std::int32_t id = app.m_RiderIds[i];
        if (id < 0) {
            char text[96];
            std::snprintf(text, sizeof text, "Rider %d of the grid has no rider id (%d)", i, id);
            throw GameError(text);
        }
        // Each rider keeps its own copy of its bike table entry; rider ids
        // from 32 on (riders of the later classes) take the entry of id mod 32.
        GridEntry& entry = m_GridEntries[i];
        entry = m_BikeTable[id % kPitSlotCount];
        PlayerRecord* player = nullptr;
        for (int k = 0; k < humans && !player; ++k)
            if (app.m_Players[static_cast<std::size_t>(k)].RiderIndex == id)
                player = &app.m_Players[static_cast<std::size_t>(k)];
        if (!m_pBikes[i].Init(player, i, &entry))
            throw GameError(Bike::InitMessage());

        // A rider without a usable time of its own is as slow as the
        // slowest; without any usable time, the lap at a modest speed.
        const float slowest =
            UsableLapTime(m_fSlowestTime) ? m_fSlowestTime : m_Circuit.Length / kFallbackLapSpeed;
        const float own = id < kTimedRiders ? m_RiderTimes[id * kTimedTracks + m_nTrackIndex] : 0.0f;
        entry.RefLapTime = UsableLapTime(own) ? own
                           : id < kTimedRiders ? slowest
                                               : static_cast<float>(id / 32 + 1) * slowest;
        // The ratio to the fastest time divides the rider's engine power;
        // without usable times every rider keeps the bike's own power.
        const bool timed = std::isfinite(m_fFastestTime) && m_fFastestTime > 0.0f && std::isfinite(entry.RefLapTime) &&
                           entry.RefLapTime > 0.0f;
        entry.PowerDivisor = timed ? entry.RefLapTime / m_fFastestTime : 1.0f;
    }
}

std::size_t Race::StateWordCount() const
{
    return 1 + kSimulationStateWords + static_cast<std::size_t>(RiderCount()) * kBikeSnapshotWords;
}
