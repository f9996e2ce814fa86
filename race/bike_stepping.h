#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/worker_pool.h"
#include "sim/bike.h"
#include "sim/race_context.h"
#include "sim/step_isolation.h"

// Steps the bikes of one simulation sub-step side by side on a small pool of
// threads, with the results of stepping them one after the other (bit for
// bit). docs/race.md ("Stepping the bikes side by side") gives the audit the
// scheme rests on; in short, a sub-step runs as:
//
//   A. side by side: each bike's DynamicsBefore (timing, notices), which
//      reads and writes its own bike only (a lap's end, which reads the
//      other bikes and writes the race's records, breaks its isolation); it
//      sees the bike behind where the bike-by-bike order would show it, and
//      notes where its bike was after it;
//   B. side by side, in the same task right after the bike's part A: each
//      riding bike's DynamicsCore, which reads and writes its own bike
//      only; it sees the bike ahead where the bike-by-bike order would show
//      it, and keeps the track sections its queries use to itself (a bike's
//      task waits for the part A of a bike earlier in the order whose place
//      it is shown);
//   C. side by side, in the same task right after the bike's part B: its
//      DynamicsAfter and StateStep, which read and write its own bike only;
//      then, in bike order, each bike's track sections put in place and its
//      place checked against the one the later bikes were shown.
//
// Throughout, every call to the race's presentation (RaceHooks) and to the
// rider-state listener is held back in the bike's own list and made, in bike
// order, once the sub-step is known to be good. The sub-step is not good
// when a step needed another bike or the race out of order (it breaks its
// isolation, sim/step_isolation.h), when a bike's place on the road changed
// after part A (the others saw it too early), or when a step changed the
// race's shared records: then the race state saved before part A is put back
// and the bikes step one after the other. Sub-steps where a rider is down,
// where a bike records telemetry, of the simulated mode or of a race with 3D
// data always run one after the other.
class BikeStepping {
public:
    // `threads`: threads in all, the caller's included (at least 2).
    explicit BikeStepping(int threads);
    ~BikeStepping();
    BikeStepping(const BikeStepping&) = delete;
    BikeStepping& operator=(const BikeStepping&) = delete;

    int Threads() const { return m_pool->Threads(); }

    // Pass 1 of one sub-step for all `count` bikes: their control steps,
    // side by side when every bike's stands alone
    // (Bike::ControlStepStandsAlone) and side by side is the faster way. A
    // bike's step sees the other bikes' speed targets and turning radii
    // (the values control steps write) before or after their own step, as
    // the bike-by-bike order shows them: a bike earlier in the order waits
    // for the earlier bike's step to end before it reads them. The last
    // approach acceleration (sim/integrator.h) each step leaves is kept
    // apart and the last in bike order set afterwards. False when it
    // stepped nothing: the caller then steps the bikes in order. Call it
    // before Step of the same sub-step (it chooses the way for both).
    bool ControlStep(Bike* bikes, int count, float dt);

    // Pass 2 of one sub-step for all `count` bikes (their dynamics and rider
    // state steps; the control steps have run). False when it stepped
    // nothing: the caller then steps the bikes in order.
    bool Step(Bike* bikes, int count, float dt);

    // Counts, for the speed notes (TORVANE_SIM_STATS prints them when the
    // object goes): sub-steps stepped side by side, taken back and stepped
    // in order, and left to the caller.
    std::uint64_t SideBySide() const { return m_sideBySide; }
    std::uint64_t TakenBack() const { return m_takenBack; }
    std::uint64_t InOrder() const { return m_inOrder; }
    // Sub-steps stepped in order because that was the faster way.
    std::uint64_t ChosenInOrder() const { return m_chosenInOrder; }
    // Control steps (pass 1) run side by side, and left to the caller
    // because a bike's step needed the order (not counting those in order
    // because that was the faster way).
    std::uint64_t ControlsSideBySide() const { return m_controlsSideBySide; }
    std::uint64_t ControlsInOrder() const { return m_controlsInOrder; }

    // One held-back call (public for the deferring hooks).
    struct HeldCall;

    // The threads a race steps its bikes on: TORVANE_SIM_THREADS when set
    // (1: one after the other), else 1 (docs/race.md: side by side does
    // not pay on this kind of machine).
    static int ThreadsFor(int riders);
    // The threads for stepping side by side: the hardware's, at most one
    // for every two riders.
    static int SideBySideThreadsFor(int riders);

private:
    struct Place {
        float Progress = 0.0f;
        float SideOffset = 0.0f;
        float BestLap = 0.0f;
        const Track* Path = nullptr;
        std::int8_t Laps = 0;
        bool Parked = false;
        bool operator==(const Place& other) const;
    };
    static Place PlaceOf(const Bike& bike);

    class HeldHooks;
    class HeldListener;

    // One bike's part of a sub-step, on a cache line of its own (the threads
    // write their bikes' slots side by side).
    struct alignas(64) Slot {
        IsolatedStep Step;
        std::vector<HeldCall> Held;
        Bike::DynamicsLeft Left = Bike::DynamicsLeft::Nothing;
        Place Before;
        Place After;
        bool Broke = false;
        // The bike's image at the start of the sub-step: 0 not taken, 1
        // being taken, 2 taken (by the control steps' tasks, or by the
        // bike's own task before its part A).
        std::atomic<int> Saved{0};
        // Control steps: the bike's values before its control step, and
        // whether its control step has ended (1).
        ControlReading ControlBefore;
        std::atomic<int> ControlDone{0};
        // Whether the bike's part A has ended (1): its place After is known.
        std::atomic<int> TimingDone{0};
    };

    using Clock = std::chrono::steady_clock;
    // How one sub-step's passes go: in order or side by side, timed for a
    // trial or not.
    enum class Way : std::uint8_t { InOrderTrial, InOrder, SideBySideTrial, SideBySide };
    Way ChooseWay();

    // Every kTrialPeriod sub-steps that can go side by side, the first
    // kTrialSubSteps go in order and the next as many side by side, timed.
    static constexpr std::uint64_t kTrialPeriod = 2048;
    static constexpr std::uint64_t kTrialSubSteps = 32;

    bool Eligible(const Bike* bikes, int count) const;
    void PrepareSlots(Bike* bikes, int count, float dt);
    // IsolatedStep::ReadControl of a control step run side by side.
    static ControlReading ReadControlInOrder(const IsolatedStep& step, const Bike& other);
    // TORVANE_SIM_CHECK: the control steps run again in order from the
    // state before them, and the program stops at the first difference.
    void CheckControlAgainstOrder(Bike* bikes, int count, float dt);
    void SaveRace(Bike* bikes, int count, std::uint32_t* out);
    static void CompareOrFail(const std::vector<std::uint32_t>& sideBySide, const std::vector<std::uint32_t>& inOrder,
                              std::size_t bikeWords, const char* what);
    bool StepSideBySideOrTakeBack(Bike* bikes, int count, float dt);
    // Parts A to C; false when the sub-step is not good.
    bool StepSideBySide(Bike* bikes, int count, float dt);
    // Takes bike i's image unless another thread has (then waits for it).
    void SaveBike(std::size_t i);
    // Bike i's parts A, B and C (one task of the side-by-side sub-step), and
    // its parts B and C alone.
    void StepApart(std::size_t i);
    void Riding(std::size_t i);
    void Finishing(std::size_t i);
    // The index of one of the race's bikes; false for any other bike.
    bool IndexOf(const Bike* bike, std::size_t* index) const;
    // Where bike j stands, as the step of bike i sees it in the bike-by-bike
    // order: after its part A for an earlier bike (waited for), before it
    // for a later one.
    const Place& PlaceInOrder(std::size_t j, std::size_t i) const;
    void RestoreStart(Bike* bikes, int count);
    // Steps the bikes in order, the presentation's calls held as in a
    // side-by-side sub-step.
    void StepInOrderHeld(Bike* bikes, int count, float dt);
    // Whether a held answer of the overlay might not be the one the
    // bike-by-bike order would have given.
    bool AnswersMayDiffer(int count) const;
    void MakeHeldCalls(int count);
    // TORVANE_SIM_CHECK (every sub-step that can goes side by side, none
    // in order for speed): steps the sub-step again in order and stops the
    // program when anything differs from the side-by-side result.
    void CheckAgainstOrder(Bike* bikes, int count, float dt);

    // The shared pool when the hardware's threads are asked for, else m_ownPool.
    std::unique_ptr<platform::WorkerPool> m_ownPool;
    platform::WorkerPool* m_pool = nullptr;
    std::unique_ptr<HeldHooks> m_hooks;
    std::unique_ptr<HeldListener> m_listener;
    RaceHooks* m_realHooks = nullptr;
    RiderStateListener* m_realListener = nullptr;

    std::unique_ptr<Slot[]> m_slots;
    int m_slotCount = 0;
    // Each bike as it was at the start of the sub-step, byte for byte, to go
    // back to when the sub-step is taken back. A bike's bytes are plain
    // values and pointers that no sub-step changes (its telemetry buffer's
    // owner among them: a bike recording telemetry never steps side by
    // side), so copying them back puts the bike exactly where it was,
    // caches included. A field by field snapshot costs several times as
    // much, and every sub-step side by side takes one of every bike.
    struct alignas(64) BikeImage {
        unsigned char Bytes[sizeof(Bike)];
    };
    static void TakeImage(const Bike& bike, BikeImage& image);
    static void PutImage(Bike& bike, const BikeImage& image);
    std::unique_ptr<BikeImage[]> m_images;
    std::vector<std::uint32_t> m_savedSimulation;

    Bike* m_bikes = nullptr;
    float m_dt = 0.0f;
    bool m_check = false;
    bool m_stats = false;
    // TORVANE_SIM_NO_TRIALS: no timed trials; every sub-step that can goes
    // side by side (to measure that way alone).
    bool m_trials = true;
    std::uint64_t m_sideBySide = 0;
    std::uint64_t m_takenBack = 0;
    std::uint64_t m_inOrder = 0;
    std::uint64_t m_chosenInOrder = 0;
    std::uint64_t m_controlsSideBySide = 0;
    std::uint64_t m_controlsInOrder = 0;
    std::uint64_t m_ticks = 0;
    bool m_preferSideBySide = true;
    Clock::duration m_trialTime[2] = {}; // in order, side by side
    int m_trialCount[2] = {};
    // The control steps take the bikes' images for the dynamics steps
    // (while they run), and have taken them (until Step uses them).
    bool m_imagesInControls = false;
    bool m_imagesTaken = false;
    // The way ControlStep chose for the sub-step (Step follows it), and when.
    bool m_wayChosen = false;
    Way m_way = Way::SideBySide;
    Clock::time_point m_wayStart;
};
