#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/race_context.h"
#include "tools/racesim/race_render.h"

class Bike;
class GameApp;
class Race;

namespace racesim {
struct NetPlay;
}

// The headless race runner: loads a race from a data folder and runs it to
// its end as fast as it can, on a fixed frame time, with no display, sound
// or player: every rider is a computer rider. A practice-type session
// (0..2) runs suspended, as from the menus, with the in-race menu's time
// acceleration on, until its hour is over. A race over laps runs until
// every rider has finished (or the time limit has passed) and ends as the
// player would end it.
namespace racesim {

struct Options {
    std::string data;        // the data folder ("Data", "Gfx", ...); empty: the working folder
    std::string track = "Island";
    int session = 4;
    int riders = 16;
    int laps = 3;
    int skill = 2;
    int weather = 0;
    std::uint32_t seed = 1;
    double frame_time = 1.0 / 60.0; // s
    // Simulated seconds after which a race over laps is ended whoever has
    // not finished (0: laps x 600 + 300).
    double time_limit = 0.0;
    // Called after every frame of the run, when set, with the race as the
    // frame left it: a test's watch on the riders. It must leave the race as
    // it is (a query that moves a track's search hint changes the race).
    std::function<void(Race&)> after_frame;
    // Runs the race with its sounds (tools/racesim/race_sound.h): the
    // samples, engine sets and music of the data folder, played on SDL's
    // audio output. The race's results are the same with or without.
    bool sound = false;
    // With sound: mix it in race time instead of playing it, and write it
    // to this ".wav" file when the run ends (empty: play it).
    std::string sound_record;
    // The camera mode (0..8) the race is watched in: once the race has a
    // bike to follow, every frame sets it again when the race chose another
    // (-1: the race's own choice). The mode is the viewer's and leaves the
    // race's results as they are.
    int camera = -1;
    // Drawing the race into screenshots (tools/racesim/race_render.h);
    // render.dir empty: not drawn.
    RenderOptions render;
    // Replays (docs/replays.md). replay_save: the race is recorded, and
    // saved to this ".rpl" file when the run ends; the run ends once the
    // viewed bike has finished (nothing after it is recorded).
    // replay_play: this ".rpl" file is played back instead (its header
    // gives the track, session, riders, laps, skill and weather), at the
    // run's frame time, to its last recorded frame. With either, the
    // simulation's random stream is seeded from the race header, as the
    // game's is, and `seed` is not used. input_script: the first rider is a
    // human driven by this script (tools/racesim/input_script.h).
    std::string replay_save;
    std::string replay_play;
    std::string input_script;
    // A network race against another runner (tools/racesim/race_net.h):
    // the two players ride riders 0 (the host's) and 1, each driven by its
    // own runner; null: every rider is a computer rider. Needs a race over
    // laps (session 3 and up).
    NetPlay* net = nullptr;
};

// How a rider's race ended: crossing the line for the last time (in a
// practice-type session, riding when the hour ran out), classified with the
// laps it had left estimated, or not classified at all (a race of session 3
// leaves its unfinished riders where they are).
enum class RiderStatus { Finished, Classified, Dnf };

struct RiderLine {
    int position = 0;   // 1-based standing position
    int rider = 0;      // championship rider id
    int laps = 0;
    float race_time = 0.0f;
    float best_lap = 0.0f; // kNoLapTime (1499.99): no lap timed
    RiderStatus status = RiderStatus::Finished;
    int incidents = 0;  // falls and barrier contacts (CountsAsIncident)
};

// A rider state change that the runner counts as an incident: a fall
// (states 5, 6, 10, 11, which put the rider down) entered while the rider
// was not already off the bike, or a bump against the barrier (56, 57).
bool CountsAsIncident(std::int32_t previous, std::int32_t state);

// Counts each bike's incidents (CountsAsIncident) as its rider states
// change, while it is the race's state listener.
class IncidentCounter : public RiderStateListener {
public:
    explicit IncidentCounter(int bikes);
    void RiderStateEntered(const Bike& bike, std::int32_t previous, std::int32_t state) override;
    int Count(int bike) const;

private:
    std::vector<int> m_counts;
};

// The classification lines of a race that has classified its unfinished
// riders, in standing order. `finishedOnTrack`: by bike index, the riders
// that had finished before the race classified the others (a bike past its
// end counts as not finished).
std::vector<RiderLine> Classification(Race& race, const GameApp& app, const std::vector<bool>& finishedOnTrack,
                                      const IncidentCounter& incidents);

// Moves the test clock on by whole milliseconds, one frame at a time, so
// that over the frames it keeps to the frame time exactly (a 1/60 s frame
// is 17, 17 or 16 ms; every frame moves it at least 1 ms).
class FrameClock {
public:
    explicit FrameClock(double frameTime) : m_frameMs(frameTime * 1000.0) {}
    void Next();

private:
    double m_frameMs;
    long long m_frames = 0;
    long long m_elapsed = 0;
};

// The first saved value of a bike's simulation state that is not a finite
// number, by field name ("Speed", "FrontWheel.ContactPoint"); empty when
// every value is finite.
std::string FirstNonFiniteField(const Bike& bike);
// Whether every saved value of a bike's simulation state is finite: the
// check the runner makes after every frame, without naming a field.
bool BikeStateFinite(const Bike& bike);

struct Result {
    bool loaded = false;
    std::string error;          // the load's message
    std::vector<RiderLine> riders; // in standing order
    std::uint64_t hash = 0;     // of the final race state and the classification
    double simulated = 0.0;     // seconds of session time
    double wall = 0.0;          // seconds
    long long frames = 0;
    // Riders that had not finished their laps when the run ended (the
    // classification estimates their race); with the time limit reached.
    int unfinished = 0;
    bool time_limit_reached = false;
    // A rider's state stopped being finite: the run ended at that frame.
    // The rider and the first such field ("rider 3 (Speed)"), and the
    // session time; empty while every value stayed finite.
    std::string non_finite;
    double non_finite_time = 0.0;
    // With sound: RaceSound::Summary() of the run, or why it had none.
    std::string sound;
    // Drawn: the screenshots written, in order, and the time the frames
    // took; why the drawing failed (the run ended there, or, when the
    // display could not be opened, never started).
    std::vector<std::string> screenshots;
    FramePhases phases;
    std::string render_error;
    // With a replay: the input frames recorded or played, and why the
    // replay could not be saved (empty: saved, or none asked for).
    int replay_frames = 0;
    std::string replay_error;
    // A network race: the hash of the race's state after every simulated
    // second of racing (by second), which both runners must agree on.
    std::vector<std::pair<long long, std::uint64_t>> second_hashes;
};

// The longest track name the race header holds.
std::size_t MaxTrackNameLength();

// "finished", "classified" or "dnf".
const char* StatusName(RiderStatus status);

// Runs one race. The working folder is changed to the data folder for the
// run and set back afterwards. Needs no program-wide objects (it makes its
// own application record and input manager) and must not run beside another
// race.
Result Run(const Options& options);

// One run frame by frame, for a caller that steps the frames itself (the
// race frame benchmark): Run is a Runner, its frames until Frame says the
// run is over, and Finish. The same rules hold: one at a time, the working
// folder is the data folder while it lives.
class Runner {
public:
    explicit Runner(const Options& options);
    ~Runner();
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // The race loaded (and, when drawn, the display opened); false: Finish
    // says why.
    bool Started() const;
    // One frame; false once the run is over (the overlay has faded out, a
    // rider's state stopped being finite, the drawing failed, or the frame
    // limit).
    bool Frame();
    // Classifies the race and ends the run; the runner is done with.
    Result Finish();

    Race& GetRace();
    // The drawing, or null when the race is not drawn.
    RaceRender* Render();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// "pos=1 rider=3 laps=3 time=305.120 best=100.010 status=finished incidents=0";
// a time or best lap that does not exist reads "-" ("time=- best=- status=dnf").
std::string FormatRider(const RiderLine& line);
// A network race's hash: the bikes' saved states, the simulation's random
// stream and the classification (what every machine holds alike).
std::uint64_t NetworkRaceHash(Race& race, const std::vector<RiderLine>& lines);
// "hash=<16 hex digits> simulated=<s> wall=<s> speed=<simulated/wall>".
std::string FormatSummary(const Result& result);

} // namespace racesim
