#include "tools/racesim/race_sim.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/game_app.h"
#include "app/replay_description.h"
#include "input/input_manager.h"
#include "platform/clock.h"
#include "platform/joystick.h"
#include "platform/message_box.h"
#include "platform/random.h"
#include "race/race.h"
#include "sim/race_context.h"
#include "sim/rider_states.h"
#include "sim/snapshot.h"
#include "sim/snapshot_fields.h"
#include "net/net_session.h"
#include "tools/racesim/input_script.h"
#include "tools/racesim/race_net.h"
#include "tools/racesim/race_sound.h"

namespace racesim {

namespace {

// The runner's clock starts here and moves only by the frame times.
constexpr std::uint32_t kClockStart = 1000;
// A network race's lockstep sends a frame again after this long.
constexpr std::uint32_t kNetResendMs = 10;
// Frames at most, whatever happens (a race that cannot end).
constexpr long long kMaxFrames = 50'000'000;

// FNV-1a, 64 bits.
class Hash {
public:
    void Add(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            m_value ^= p[i];
            m_value *= 0x100000001B3ull;
        }
    }
    template <class T>
    void Add(const T& value)
    {
        Add(&value, sizeof value);
    }
    std::uint64_t Value() const { return m_value; }

private:
    std::uint64_t m_value = 0xCBF29CE484222325ull;
};

// The working folder for the time of a run.
class ScopedFolder {
public:
    explicit ScopedFolder(const std::string& folder)
    {
        if (folder.empty())
            return;
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        m_changed = true;
    }
    ~ScopedFolder()
    {
        if (m_changed) {
            std::error_code ec;
            std::filesystem::current_path(m_previous, ec);
        }
    }
    ScopedFolder(const ScopedFolder&) = delete;
    ScopedFolder& operator=(const ScopedFolder&) = delete;

private:
    std::filesystem::path m_previous;
    bool m_changed = false;
};

// The program-wide records the race reads, made for the run and taken away
// after it.
class RunRecords {
public:
    RunRecords()
    {
        platform::set_message_box_recording(true);
        platform::clear_recorded_message_boxes();
        platform::use_test_joysticks(true);
        platform::set_test_clock(kClockStart);
        SetTheGameApp(&app);
        SetTheInputManager(&input);
        input.Create();
        input.Acquire();
    }
    ~RunRecords()
    {
        input.RemoveTarget(nullptr);
        SetTheInputManager(nullptr);
        SetTheGameApp(nullptr);
        platform::clear_test_clock();
        platform::use_test_joysticks(false);
    }

    GameApp app;
    InputManager input;
};

// Listens to the race's rider states for as long as it lives.
class ScopedStateListener {
public:
    explicit ScopedStateListener(RiderStateListener* listener) { CurrentRaceContext().StateListener = listener; }
    ~ScopedStateListener() { CurrentRaceContext().StateListener = nullptr; }
    ScopedStateListener(const ScopedStateListener&) = delete;
    ScopedStateListener& operator=(const ScopedStateListener&) = delete;
};

// Finiteness of every kind of value a bike saves; the first field found
// that is not finite is named, wheels and tyres by their path.
bool Finite(float v) { return std::isfinite(v); }
bool Finite(const Vec3& v) { return Finite(v.x) && Finite(v.y) && Finite(v.z); }
bool Finite(const Integrator& i) { return Finite(i.Value) && Finite(i.Rate) && Finite(i.Limit); }
bool Finite(const WheelAttitude& a) { return Finite(a.Pitch) && Finite(a.Heading) && Finite(a.Roll); }
bool Finite(const RidingStepStart& s)
{
    return Finite(s.CgPosition) && Finite(s.FrontHub) && Finite(s.RearHub) && Finite(s.Pitch) && Finite(s.Heading) &&
           Finite(s.Roll) && Finite(s.FrontGround) && Finite(s.RearGround);
}
template <class T>
    requires std::is_integral_v<T> || std::is_pointer_v<T> || std::is_enum_v<T> || std::is_same_v<T, ControlRecord>
bool Finite(const T&)
{
    return true;
}
template <class T, std::size_t N>
bool Finite(const T (&values)[N])
{
    for (const T& v : values)
        if (!Finite(v))
            return false;
    return true;
}

// Names the first saved field that is not finite; wheels and tyres are
// searched field by field and named by their path ("RearWheel.Tyre.Temp").
template <class T>
struct FiniteVisitor {
    const T& object;
    std::string found;

    template <class M>
    void Saved(M T::*member, const char* name)
    {
        if (!found.empty())
            return;
        const M& value = object.*member;
        std::string inner;
        if constexpr (std::is_same_v<M, WheelAssembly>) {
            FiniteVisitor<WheelAssembly> wheel{value, {}};
            ForEachWheelField(wheel);
            inner = wheel.found;
        } else if constexpr (std::is_same_v<M, Tyre>) {
            FiniteVisitor<Tyre> tyre{value, {}};
            ForEachTyreField(tyre);
            inner = tyre.found;
        } else if (!Finite(value)) {
            found = name;
            return;
        }
        if (!inner.empty())
            found = std::string(name) + "." + inner;
    }
    template <class M>
    void NotSaved(M T::*, const char*)
    {
    }
};

// The frame's check of every saved value. The saved floats of a bike lie in
// a few runs of consecutive fields; their byte offsets are found once from
// the field lists, and every frame the runs are scanned four values at a
// time for exponent bits that are all ones (an infinity or a value that is
// not a number). Only when one is found are the fields searched by name.
struct FloatRun {
    std::size_t Offset = 0; // bytes from the start of the bike
    std::size_t Count = 0;  // floats
};

class FloatOffsets {
public:
    explicit FloatOffsets(const Bike& bike) : m_base(reinterpret_cast<const unsigned char*>(&bike)) {}

    std::vector<std::size_t> Take() { return std::move(m_offsets); }

    void Add(const float& v)
    {
        m_offsets.push_back(static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(&v) - m_base));
    }
    // A field of another floating type would need its own scan.
    void Add(const double&) = delete;
    void Add(const Vec3& v)
    {
        Add(v.x);
        Add(v.y);
        Add(v.z);
    }
    void Add(const Integrator& i)
    {
        Add(i.Value);
        Add(i.Rate);
        Add(i.Limit);
    }
    void Add(const WheelAttitude& a)
    {
        Add(a.Pitch);
        Add(a.Heading);
        Add(a.Roll);
    }
    void Add(const RidingStepStart& s)
    {
        Add(s.CgPosition);
        Add(s.FrontHub);
        Add(s.RearHub);
        Add(s.Pitch);
        Add(s.Heading);
        Add(s.Roll);
        Add(s.FrontGround);
        Add(s.RearGround);
    }
    template <class T, std::size_t N>
    void Add(const T (&values)[N])
    {
        for (const T& v : values)
            Add(v);
    }
    template <class T>
        requires std::is_integral_v<T> || std::is_pointer_v<T> || std::is_enum_v<T> ||
                 std::is_same_v<T, ControlRecord>
    void Add(const T&)
    {
    }

    template <class T>
    struct Visitor {
        FloatOffsets& offsets;
        const T& object;

        template <class M>
        void Saved(M T::*member, const char*)
        {
            const M& value = object.*member;
            if constexpr (std::is_same_v<M, WheelAssembly>) {
                Visitor<WheelAssembly> wheel{offsets, value};
                ForEachWheelField(wheel);
            } else if constexpr (std::is_same_v<M, Tyre>) {
                Visitor<Tyre> tyre{offsets, value};
                ForEachTyreField(tyre);
            } else {
                offsets.Add(value);
            }
        }
        template <class M>
        void NotSaved(M T::*, const char*)
        {
        }
    };

private:
    const unsigned char* m_base;
    std::vector<std::size_t> m_offsets;
};

const std::vector<FloatRun>& SavedFloatRuns(const Bike& bike)
{
    static const std::vector<FloatRun> runs = [&bike] {
        FloatOffsets offsets(bike);
        FloatOffsets::Visitor<Bike> visitor{offsets, bike};
        ForEachBikeField(visitor);
        std::vector<std::size_t> all = offsets.Take();
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        std::vector<FloatRun> merged;
        for (const std::size_t offset : all) {
            if (!merged.empty() && merged.back().Offset + merged.back().Count * sizeof(float) == offset)
                ++merged.back().Count;
            else
                merged.push_back(FloatRun{offset, 1});
        }
        return merged;
    }();
    return runs;
}

// The top bit of the exponent field plus one: set only from all ones.
using Words4 = std::uint32_t __attribute__((vector_size(16)));

// The first bike of the race whose state is not finite: "rider 3 (Speed)".
std::string NonFiniteRider(Race& race, const GameApp& app)
{
    bool allFinite = true;
    for (int i = 0; i < race.RiderCount() && allFinite; ++i)
        allFinite = BikeStateFinite(race.m_pBikes[i]);
    if (allFinite)
        return {};
    for (int i = 0; i < race.RiderCount(); ++i) {
        const std::string field = FirstNonFiniteField(race.m_pBikes[i]);
        if (!field.empty())
            return "rider " + std::to_string(app.m_RiderIds[i]) + " (" + field + ")";
    }
    return {};
}

void FillRaceHeader(GameApp& app, const Options& o)
{
    std::memset(app.m_szTrack, 0, sizeof app.m_szTrack);
    std::strncpy(app.m_szTrack, o.track.c_str(), sizeof app.m_szTrack - 1);
    app.m_nSession = o.session;
    app.m_nRiders = std::clamp(o.riders, 0, kMaxRaceRiders);
    for (int i = 0; i < kMaxRaceRiders; ++i)
        app.m_RiderIds[i] = i;
    app.ReleasePlayers();
    app.m_nLaps = o.laps;
    app.m_nSkill = o.skill;
    app.m_nWeather = o.weather;
    app.Flags = 0;
    app.GfxFlags = 0;
    // Practice-type sessions start suspended, as from the menus.
    app.RaceFlags = o.session <= 2 ? kRaceFlagNoLoadingScreen : 0u;
}

bool AllRidersDone(Race& race)
{
    for (int i = 0; i < race.RiderCount(); ++i)
        if (!(race.m_pBikes[i].Status & kBikeFinished))
            return false;
    return true;
}

// The in-race menu of a practice-type session with its time acceleration
// on: the hour runs twenty times as fast; when it is over the menu ends
// the run.
void RunSuspendedFrame(Race& race)
{
    race.UpdateSessionClock(true);
    std::uint32_t& flags = race.LiveFlags();
    if (flags & kRaceSessionOver) {
        flags |= kRaceFlagEnding;
        race.Resume();
    }
}

// What a player watching the race does: goes on when the overlay stops the
// race for its menu, and ends the run when everyone is in (or the time
// limit has passed). A race saved as a replay ends once the recording has:
// when the viewed bike has finished. A replay ends when every recorded frame
// has been played.
void WatchRace(Race& race, InputManager& input, double timeLimit, bool saving, bool& ending, bool& limited)
{
    if (input.m_dwMode & kInputModePlayback) {
        if (input.m_bPaused && !(race.LiveFlags() & kRaceFlagEnding))
            input.m_bPaused = 0;
        if (!ending && input.m_nInputFrameIndex >= input.m_nInputFrameCount) {
            input.QueueRaceCommand(kRaceCommandEnd);
            ending = true;
        }
        return;
    }
    if (!ending && saving && race.ViewedBike() &&
        (race.ViewedBike()->Status & kBikeFinished)) {
        // The recording has stopped: the race is held still while the run
        // ends, so that its state stays the recorded race's last.
        input.QueueRaceCommand(kRaceCommandEnd);
        input.m_bPaused = 1;
        ending = true;
        return;
    }
    Hud& hud = race.GetHud();
    if (input.m_bPaused && !(race.LiveFlags() & kRaceFlagEnding)) {
        input.m_bPaused = 0;
        hud.Clear(kHudRaceMenu | kHudPauseMenu);
        hud.m_fDimTarget = 0.0f;
    }
    if (ending)
        return;
    const bool done = AllRidersDone(race);
    if (done || input.m_fRaceClock > timeLimit) {
        input.QueueRaceCommand(kRaceCommandEnd);
        ending = true;
        limited = !done;
    }
}

void AddLines(Hash& hash, const std::vector<RiderLine>& lines)
{
    for (const RiderLine& line : lines) {
        hash.Add(line.position);
        hash.Add(line.rider);
        hash.Add(line.laps);
        hash.Add(line.race_time);
        hash.Add(line.best_lap);
        hash.Add(line.status);
        hash.Add(line.incidents);
    }
}

std::uint64_t StateHash(Race& race, const std::vector<RiderLine>& lines)
{
    std::vector<std::uint32_t> state(race.StateWordCount());
    race.SaveState(state.data());
    Hash hash;
    hash.Add(state.data(), state.size() * sizeof(std::uint32_t));
    AddLines(hash, lines);
    return hash.Value();
}

// The bikes' saved states and the simulation's random stream: what every
// machine of a network race holds alike (the race's own state also holds
// what this machine's viewer looks at: the overlay's bike, the tracks'
// search hints).
std::uint64_t BikesHash(Race& race, const std::vector<RiderLine>& lines)
{
    Hash hash;
    std::vector<std::uint32_t> words(kBikeSnapshotWords);
    for (int i = 0; i < race.RiderCount(); ++i) {
        race.m_pBikes[i].SaveSnapshot(words.data(), true);
        hash.Add(words.data(), words.size() * sizeof(std::uint32_t));
    }
    hash.Add(platform::random_stream(platform::RandomStreamId::Simulation).state());
    AddLines(hash, lines);
    return hash.Value();
}

// The camera mode the run is watched in, set again whenever the race chose
// another (only once the race follows a bike: before that a mode has
// nothing to film).
void KeepCameraMode(Race& race, int mode)
{
    if (mode >= 0 && race.m_Camera.Target() && race.m_Camera.Mode() != mode)
        race.m_Camera.SetMode(mode);
}

// A network race: the two players' records (riders 0 and 1), the run
// flags, and the program's session for the barrier.
void SetUpNetRace(GameApp& app, NetPlay& net)
{
    app.Flags = kAppFlagNetwork | (net.host ? kAppFlagNetworkHost : 0u);
    app.m_nNetPlayerId = net.own;
    app.m_nSyncCounter = 0;
    const std::uint32_t hostId = net.host ? net.own : net.other;
    const std::uint32_t clientId = net.host ? net.other : net.own;
    for (const auto& [rider, id] : {std::pair{kHostRider, hostId}, std::pair{kClientRider, clientId}}) {
        PlayerRecord p;
        p.Kind = id == net.own ? 0 : -1;
        p.RiderIndex = rider;
        p.NetworkId = id;
        std::snprintf(p.Name, sizeof p.Name, "%s", rider == kHostRider ? "HOST" : "RIDER");
        app.AddPlayer(p);
    }
    g_pNetSession = net.session.get();
    g_bNetworkGame = 1;
}

// This runner's own bike: its controls come from the script, not from the
// devices, so its target takes no control block.
Bike* OwnNetBike(Race& race, InputManager& input, const NetPlay& net)
{
    for (int i = 0; i < race.RiderCount(); ++i) {
        Bike& bike = race.m_pBikes[i];
        if (!bike.IsHuman() || bike.PlayerId != net.own)
            continue;
        input.RemoveTarget(&bike.Controls);
        input.AddTarget(&bike.Controls, InputManager::kTargetLocal | InputManager::kTargetNoBlock, net.own);
        return &bike;
    }
    return nullptr;
}

} // namespace

struct Runner::State {
    explicit State(const Options& o) : options(o), clock(o.frame_time > 0.0 ? o.frame_time : 1.0 / 60.0) {}

    Options options;
    Result result;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    // Declared in the order they are made; they go in reverse, the race
    // before the display it draws on, the display before the records.
    std::unique_ptr<ScopedFolder> folder;
    std::unique_ptr<RunRecords> records;
    std::unique_ptr<GameAppReplayDescription> description;
    std::unique_ptr<RaceRender> render;
    FrameClock clock;
    double limit = 0.0;
    std::unique_ptr<RaceSound> sound;
    std::unique_ptr<Race> race;
    std::unique_ptr<IncidentCounter> incidents;
    std::unique_ptr<ScopedStateListener> listening;
    bool started = false;
    bool ending = false;
    bool over = false;
    Bike* netBike = nullptr; // a network race: this runner's own player's bike
    long long nextHashFrame = 0;
};

Runner::Runner(const Options& options) : m_state(std::make_unique<State>(options))
{
    State& s = *m_state;
    Result& result = s.result;
    if (options.track.size() > MaxTrackNameLength()) {
        result.error = "the track name \"" + options.track + "\" is longer than " +
                       std::to_string(MaxTrackNameLength()) + " characters";
        return;
    }
    // The screenshot folder and the replay files are named from where the
    // caller stands.
    for (std::string* path : {&s.options.render.dir, &s.options.replay_save, &s.options.replay_play})
        if (!path->empty())
            *path = std::filesystem::absolute(*path).string();
    std::vector<ScriptLine> script;
    if (!options.input_script.empty() && !ReadInputScript(options.input_script, script, result.error))
        return;
    s.folder = std::make_unique<ScopedFolder>(options.data);
    s.records = std::make_unique<RunRecords>();
    GameApp& app = s.records->app;
    InputManager& input = s.records->input;
    FillRaceHeader(app, options);
    s.description = std::make_unique<GameAppReplayDescription>(app);
    input.SetReplayDescription(s.description.get());
    const bool playing = !s.options.replay_play.empty();
    if (playing && !input.LoadReplayFrom(s.options.replay_play)) {
        result.error = "the replay " + s.options.replay_play + " cannot be played (missing or damaged)";
        return;
    }
    if (!options.input_script.empty()) {
        // The first rider is the human.
        PlayerRecord player = app.m_PlayerTemplate;
        player.RiderIndex = app.m_RiderIds[0];
        app.AddPlayer(player);
        input.SetControlSource(InputScriptSource(std::move(script), input));
    }
    if (options.net)
        SetUpNetRace(app, *options.net);
    s.limit = options.time_limit > 0.0 ? options.time_limit : options.laps * 600.0 + 300.0;
    if (!s.options.render.dir.empty()) {
        s.render = std::make_unique<RaceRender>();
        if (!s.render->Open(app, s.options.render, options.frame_time, result.render_error)) {
            s.render.reset();
            return;
        }
    }

    // The sound starts before the race loads, which then takes its sounds
    // as the game's race does.
    if (options.sound) {
        s.sound = std::make_unique<RaceSound>();
        std::string error;
        if (!s.sound->Start(app, static_cast<float>(options.frame_time), options.sound_record, error)) {
            result.sound = "sound: none (" + error + ")";
            s.sound.reset();
        }
    }
    s.race = std::make_unique<Race>();
    Race& race = *s.race;
    if (s.options.replay_save.empty() && !playing)
        race.SetRandomSeed(options.seed);
    app.m_pRace = &race;
    if (!race.Load()) {
        const std::vector<platform::ShownMessageBox> boxes = platform::recorded_message_boxes();
        result.error = boxes.empty() ? "the race could not be loaded" : boxes.back().text;
        s.race.reset();
        app.m_pRace = nullptr;
        return;
    }
    result.loaded = true;
    if (!(app.RaceFlags & kRaceFlagNoLoadingScreen))
        race.Start3d();
    if (s.sound)
        s.sound->Attach(race);

    s.incidents = std::make_unique<IncidentCounter>(race.RiderCount());
    s.listening = std::make_unique<ScopedStateListener>(s.incidents.get());
    input.m_bPaused = 0;
    if (playing) {
        race.LiveFlags() |= kRaceFlagReplay;
        s.limit = 1.0e30; // a replay ends with its last recorded frame
    }
    race.StartMusic();
    std::uint32_t mode = playing ? kInputModePlayback : kInputModeRecord;
    if (options.net) {
        s.netBike = OwnNetBike(race, input, *options.net);
        input.SetNetLink(options.net->session.get());
        // On loopback a lost frame is sent again after 10 ms.
        input.Lockstep().ResendMs = kNetResendMs;
        app.SyncPlayers();
        if (options.net->host)
            mode |= kInputModeHost;
    }
    if (!input.BeginRace(mode)) {
        const std::vector<platform::ShownMessageBox> boxes = platform::recorded_message_boxes();
        result.error = boxes.empty() ? "the replay cannot be played" : boxes.back().text;
        result.loaded = false;
        return;
    }
    race.Begin();
    if (playing)
        input.ReplayCommand(0); // the viewer presses play
    s.started = true;
}

Runner::~Runner() = default;

bool Runner::Started() const
{
    return m_state->started;
}

Race& Runner::GetRace()
{
    return *m_state->race;
}

RaceRender* Runner::Render()
{
    return m_state->render.get();
}

// The game's frame order: the race draws its scene and overlay, updates,
// and the frame is shown; then the runner plays its watcher's part.
bool Runner::Frame()
{
    State& s = *m_state;
    if (!s.started || s.over)
        return false;
    Race& race = *s.race;
    Result& result = s.result;
    InputManager& input = s.records->input;
    if (race.GetHud().m_fFadeLevel >= 1.0f || result.frames >= kMaxFrames) {
        s.over = true;
        return false;
    }
    s.clock.Next();
    ++result.frames;
    KeepCameraMode(race, s.options.camera);
    if (s.render && !s.render->BeginFrame(race, result.render_error)) {
        s.over = true;
        return false;
    }
    race.Draw();
    race.DrawOverlay();
    if (s.render)
        s.render->Drawn();
    if (s.netBike) {
        const std::uint16_t status = s.netBike->Controls.Status;
        s.netBike->Controls = ScriptedControls(*s.netBike);
        s.netBike->Controls.Status = status;
    }
    race.Update();
    if (s.render && !s.render->EndFrame(race, result.frames, result.render_error)) {
        s.over = true;
        return false;
    }
    if (s.sound)
        s.sound->Frame();
    if (race.LiveFlags() & kRaceSuspended)
        RunSuspendedFrame(race);
    else if (!s.options.net || s.options.net->host) // a client ends with the host
        WatchRace(race, input, s.limit, !s.options.replay_save.empty(), s.ending, result.time_limit_reached);
    if (s.options.net) {
        // Every simulated second of racing: the state both runners hold.
        const long long perSecond = std::max(1LL, std::llround(1.0 / s.options.frame_time));
        if (input.m_nFrameNumber >= s.nextHashFrame + perSecond) {
            s.nextHashFrame += perSecond * ((input.m_nFrameNumber - s.nextHashFrame) / perSecond);
            result.second_hashes.emplace_back(s.nextHashFrame / perSecond, BikesHash(race, {}));
        }
    }
    if (s.options.after_frame)
        s.options.after_frame(race);
    result.non_finite = NonFiniteRider(race, s.records->app);
    if (!result.non_finite.empty()) {
        result.non_finite_time = input.m_fRaceClock;
        s.over = true;
        return false;
    }
    return true;
}

Result Runner::Finish()
{
    State& s = *m_state;
    Result& result = s.result;
    if (s.started) {
        Race& race = *s.race;
        GameApp& app = s.records->app;
        InputManager& input = s.records->input;
        std::vector<bool> finishedOnTrack(static_cast<std::size_t>(race.RiderCount()), false);
        for (int i = 0; i < race.RiderCount(); ++i) {
            finishedOnTrack[static_cast<std::size_t>(i)] = (race.m_pBikes[i].Status & kBikeFinished) != 0;
            if (!finishedOnTrack[static_cast<std::size_t>(i)])
                ++result.unfinished;
        }
        race.ClassifyUnfinished();
        input.EndRace();
        // A practice-type session is classified by best lap, as its results
        // screens order it (the standings do not move while it is suspended).
        if (IsPracticeSession(race.m_nSessionType))
            race.UpdateStandings();

        result.simulated = std::max(0.0, static_cast<double>(input.m_fRaceClock));
        result.riders = Classification(race, app, finishedOnTrack, *s.incidents);
        result.hash = s.options.net ? BikesHash(race, result.riders) : StateHash(race, result.riders);
        result.replay_frames = input.m_nInputFrameCount;
        if (!s.options.replay_save.empty() && !input.SaveReplayAs(s.options.replay_save))
            result.replay_error = "the replay " + s.options.replay_save + " could not be written";
        if (s.sound) {
            result.sound = s.sound->Summary();
            std::string error;
            if (!s.sound->FinishRecording(error))
                result.sound += " (not recorded: " + error + ")";
            s.sound->Detach(race);
            s.sound.reset();
        }
        s.listening.reset();
        s.started = false;
    }
    if (s.render) {
        result.screenshots = s.render->Screenshots();
        result.phases = s.render->Phases();
    }
    s.race.reset();
    if (s.records) {
        s.records->app.m_pRace = nullptr;
        s.records->input.SetNetLink(nullptr);
    }
    if (s.options.net) {
        g_pNetSession = nullptr;
        g_bNetworkGame = 0;
    }
    s.render.reset();
    s.records.reset();
    s.folder.reset();
    result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - s.start).count();
    s.over = true;
    return std::move(result);
}

Result Run(const Options& options)
{
    Runner runner(options);
    while (runner.Frame()) {
    }
    return runner.Finish();
}

void FrameClock::Next()
{
    ++m_frames;
    const long long due =
        std::max(static_cast<long long>(std::llround(static_cast<double>(m_frames) * m_frameMs)), m_elapsed + 1);
    platform::advance_test_clock(static_cast<std::uint32_t>(due - m_elapsed));
    m_elapsed = due;
}

IncidentCounter::IncidentCounter(int bikes) : m_counts(static_cast<std::size_t>(std::max(bikes, 0)), 0) {}

void IncidentCounter::RiderStateEntered(const Bike& bike, std::int32_t previous, std::int32_t state)
{
    if (CountsAsIncident(previous, state) && bike.Index >= 0 && static_cast<std::size_t>(bike.Index) < m_counts.size())
        ++m_counts[static_cast<std::size_t>(bike.Index)];
}

int IncidentCounter::Count(int bike) const
{
    return bike >= 0 && static_cast<std::size_t>(bike) < m_counts.size() ? m_counts[static_cast<std::size_t>(bike)]
                                                                          : 0;
}

std::vector<RiderLine> Classification(Race& race, const GameApp& app, const std::vector<bool>& finishedOnTrack,
                                      const IncidentCounter& incidents)
{
    std::vector<RiderLine> lines;
    for (int k = 0; k < race.RiderCount(); ++k) {
        const int i = race.m_StandingOrder[static_cast<std::size_t>(k)];
        const Bike& bike = race.m_pBikes[i];
        RiderLine line;
        line.position = bike.RacePosition;
        line.rider = app.m_RiderIds[i];
        line.laps = bike.Laps;
        line.race_time = bike.RaceTime;
        line.best_lap = bike.BestLap;
        const auto index = static_cast<std::size_t>(i);
        if (index < finishedOnTrack.size() && finishedOnTrack[index])
            line.status = RiderStatus::Finished;
        else if (bike.Status & kBikeFinished)
            line.status = RiderStatus::Classified;
        else
            line.status = RiderStatus::Dnf;
        line.incidents = incidents.Count(i);
        lines.push_back(line);
    }
    return lines;
}

bool CountsAsIncident(std::int32_t previous, std::int32_t state)
{
    switch (state) {
    case kRiderLowSideA:
    case kRiderLowSideB:
    case kRiderThrownA:
    case kRiderThrownB:
        return !IsOffBikeSettling(previous);
    case kRiderBumped56:
    case kRiderBumped57:
        return previous != state;
    default:
        return false;
    }
}

bool BikeStateFinite(const Bike& bike)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(&bike);
    Words4 wide = {0, 0, 0, 0};
    std::uint32_t narrow = 0;
    for (const FloatRun& run : SavedFloatRuns(bike)) {
        const unsigned char* p = base + run.Offset;
        std::size_t k = 0;
        for (; k + 4 <= run.Count; k += 4) {
            Words4 v;
            std::memcpy(&v, p + k * sizeof(float), sizeof v);
            wide |= (v & 0x7F800000u) + 0x00800000u;
        }
        for (; k < run.Count; ++k) {
            std::uint32_t v;
            std::memcpy(&v, p + k * sizeof(float), sizeof v);
            narrow |= (v & 0x7F800000u) + 0x00800000u;
        }
    }
    return ((wide[0] | wide[1] | wide[2] | wide[3] | narrow) & 0x80000000u) == 0;
}

std::string FirstNonFiniteField(const Bike& bike)
{
    FiniteVisitor<Bike> visitor{bike, {}};
    ForEachBikeField(visitor);
    return visitor.found;
}

std::size_t MaxTrackNameLength()
{
    return sizeof(GameApp::m_szTrack) - 1;
}

const char* StatusName(RiderStatus status)
{
    switch (status) {
    case RiderStatus::Finished:
        return "finished";
    case RiderStatus::Classified:
        return "classified";
    case RiderStatus::Dnf:
        break;
    }
    return "dnf";
}

std::string FormatRider(const RiderLine& line)
{
    const auto seconds = [](float value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", static_cast<double>(value));
        return std::string(text);
    };
    const std::string time = line.status == RiderStatus::Dnf ? "-" : seconds(line.race_time);
    const std::string best = line.best_lap >= kNoLapTime ? "-" : seconds(line.best_lap);
    char text[192];
    std::snprintf(text, sizeof text, "pos=%d rider=%d laps=%d time=%s best=%s status=%s incidents=%d", line.position,
                  line.rider, line.laps, time.c_str(), best.c_str(), StatusName(line.status), line.incidents);
    return text;
}

std::string FormatSummary(const Result& result)
{
    char text[160];
    const double speed = result.wall > 0.0 ? result.simulated / result.wall : 0.0;
    std::snprintf(text, sizeof text, "hash=%016llx simulated=%.3f wall=%.3f speed=%.1f",
                  static_cast<unsigned long long>(result.hash), result.simulated, result.wall, speed);
    return text;
}

std::uint64_t NetworkRaceHash(Race& race, const std::vector<RiderLine>& lines)
{
    return BikesHash(race, lines);
}

} // namespace racesim
