#include "race/bike_stepping.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/random.h"
#include "sim/integrator.h"
#include "sim/snapshot.h"
#include "sim/track.h"

struct BikeStepping::HeldCall {
    enum class Op : std::uint8_t {
        ShowInstance,
        SetAnimation,
        UpdateModel,
        Play,
        StopVoice,
        StopVoiceNow,
        SetVoiceDistance,
        SetVoicePosition,
        SetVoiceVolume,
        PlaySoundSet,
        SmokeEmit,
        SmokeEmitLine,
        HudTest, // the answer given, in i[1]; not made again
        HudRaise,
        HudClear,
        HudSetViewMode,
        HudDisableMessages,
        StopStream,
        StartStream,
        Plot,
        StateEntered,
    };
    Op op = Op::ShowInstance;
    std::int32_t i[3] = {};
    float f[4] = {};
    Vec3 v[2];
    void* p = nullptr;

    bool operator==(const HeldCall& other) const
    {
        if (op != other.op || p != other.p)
            return false;
        for (int k = 0; k < 3; ++k)
            if (i[k] != other.i[k])
                return false;
        for (int k = 0; k < 4; ++k)
            if (std::bit_cast<std::uint32_t>(f[k]) != std::bit_cast<std::uint32_t>(other.f[k]))
                return false;
        for (int k = 0; k < 2; ++k)
            for (float Vec3::*c : {&Vec3::x, &Vec3::y, &Vec3::z})
                if (std::bit_cast<std::uint32_t>(v[k].*c) != std::bit_cast<std::uint32_t>(other.v[k].*c))
                    return false;
        return true;
    }
};

namespace {

using HeldCall = BikeStepping::HeldCall;
using Op = HeldCall::Op;

HeldCall Call(Op op, std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0)
{
    HeldCall call;
    call.op = op;
    call.i[0] = a;
    call.i[1] = b;
    call.i[2] = c;
    return call;
}

// The race records that the bikes' timing writes and that a step of
// another bike may read.
struct SharedRecords {
    std::uint32_t flags = 0;
    std::uint32_t raceRecord = 0;
    std::int32_t overlayBike = 0;
    std::uint32_t random = 0;
    std::uint32_t approach = 0;
    bool operator==(const SharedRecords&) const = default;
};

// Whether the running thread is in a bike's riding step (part B): the
// overlay is not asked there.
thread_local bool t_inRidingStep = false;

SharedRecords SharedNow()
{
    const RaceContext& race = CurrentRaceContext();
    SharedRecords shared;
    shared.flags = race.Flags;
    shared.raceRecord = std::bit_cast<std::uint32_t>(race.RaceRecord);
    shared.overlayBike = race.OverlayBike;
    shared.random = platform::random_stream(platform::RandomStreamId::Simulation).state();
    shared.approach = std::bit_cast<std::uint32_t>(LastApproachAccel);
    return shared;
}

// Runs one bike's step on the running thread under its isolated step; a step
// that throws (StepIsolationBreak, or anything else) sets `broke`.
template <class StepFunction>
void RunApart(IsolatedStep& step, bool& broke, StepFunction run)
{
    SetCurrentIsolatedStep(&step);
    try {
        run();
    } catch (...) {
        broke = true;
    }
    SetCurrentIsolatedStep(nullptr);
}

// Waits until another thread's task sets `done` (spinning briefly, then
// giving the processor away between looks).
void WaitUntilDone(const std::atomic<int>& done)
{
    for (int spins = 0; done.load(std::memory_order_acquire) == 0; ++spins)
        if (spins >= 64)
            std::this_thread::yield();
}

bool SameBits(float a, float b)
{
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

} // namespace

// The presentation as the bikes see it during a side-by-side sub-step: every
// call goes into the running bike's list. An answer it cannot give without
// the calls held before it (the overlay's state while bikes step side by
// side, a sound set's sample, the plot window) breaks the step's isolation.
class BikeStepping::HeldHooks : public RaceHooks {
public:
    RaceHooks* real = nullptr;
    // Stepping in order with the calls held: the running bike's list.
    std::vector<HeldCall>* inOrderList = nullptr;

    void Hold(const HeldCall& call) { List().push_back(call); }

    void ShowInstance(ml_modelinfo* instance, bool shown) override
    {
        HeldCall call = Call(Op::ShowInstance, shown ? 1 : 0);
        call.p = instance;
        Hold(call);
    }
    void SetAnimation(ml_modelinfo* instance, std::uint32_t animationHash) override
    {
        HeldCall call = Call(Op::SetAnimation, static_cast<std::int32_t>(animationHash));
        call.p = instance;
        Hold(call);
    }
    void UpdateModel(Bike& bike) override
    {
        HeldCall call = Call(Op::UpdateModel);
        call.p = &bike;
        Hold(call);
    }
    void Play(int sample, int instance, float frequency, float volume, float pan, int mode) override
    {
        HeldCall call = Call(Op::Play, sample, instance, mode);
        call.f[0] = frequency;
        call.f[1] = volume;
        call.f[2] = pan;
        Hold(call);
    }
    void StopVoice(int sample, int instance) override { Hold(Call(Op::StopVoice, sample, instance)); }
    void StopVoiceNow(int sample, int instance) override { Hold(Call(Op::StopVoiceNow, sample, instance)); }
    void SetVoiceDistance(int sample, int instance, float minimum, float maximum) override
    {
        HeldCall call = Call(Op::SetVoiceDistance, sample, instance);
        call.f[0] = minimum;
        call.f[1] = maximum;
        Hold(call);
    }
    void SetVoicePosition(int sample, int instance, const Vec3& position) override
    {
        HeldCall call = Call(Op::SetVoicePosition, sample, instance);
        call.v[0] = position;
        Hold(call);
    }
    void SetVoiceVolume(int sample, int instance, float volume) override
    {
        HeldCall call = Call(Op::SetVoiceVolume, sample, instance);
        call.f[0] = volume;
        Hold(call);
    }
    int GetSoundSetSample(int, int) override { BreakIsolation(); }
    void PlaySoundSet(int soundSet, float rpm, int mode, float volume) override
    {
        HeldCall call = Call(Op::PlaySoundSet, soundSet, mode);
        call.f[0] = rpm;
        call.f[1] = volume;
        Hold(call);
    }
    void SmokeEmit(int kind, Bike& bike, int point, float amount) override
    {
        HeldCall call = Call(Op::SmokeEmit, kind, point);
        call.f[0] = amount;
        call.p = &bike;
        Hold(call);
    }
    void SmokeEmitLine(const Vec3& from, const Vec3& to, float fromGround, float toGround) override
    {
        HeldCall call = Call(Op::SmokeEmitLine);
        call.v[0] = from;
        call.v[1] = to;
        call.f[0] = fromGround;
        call.f[1] = toGround;
        Hold(call);
    }
    // The overlay's answer without the calls held before it in this
    // sub-step; AnswersMayDiffer takes the sub-step back where one of those
    // could have changed it.
    bool HudTest(std::uint32_t bits) override
    {
        // A riding step does not ask; a timing step side by side may (the
        // overlay's state does not change while the bikes step: every call
        // that changes it is held).
        if (t_inRidingStep)
            BreakIsolation();
        const bool answer = real->HudTest(bits);
        Hold(Call(Op::HudTest, static_cast<std::int32_t>(bits), answer ? 1 : 0));
        return answer;
    }
    void HudRaise(std::uint32_t bits) override { Hold(Call(Op::HudRaise, static_cast<std::int32_t>(bits))); }
    void HudClear(std::uint32_t bits) override { Hold(Call(Op::HudClear, static_cast<std::int32_t>(bits))); }
    void HudSetViewMode(int mode) override { Hold(Call(Op::HudSetViewMode, mode)); }
    void HudDisableMessages(std::uint32_t mask) override
    {
        Hold(Call(Op::HudDisableMessages, static_cast<std::int32_t>(mask)));
    }
    // The camera keeps RaceContext::CameraMode, which the bikes read.
    void SetCameraMode(int) override { BreakIsolation(); }
    void StopStream(int channel) override { Hold(Call(Op::StopStream, channel)); }
    void StartStream(int channel, bool loop) override { Hold(Call(Op::StartStream, channel, loop ? 1 : 0)); }
    int PlotChannelCount() override { BreakIsolation(); }
    int PlotChannel(int) override { BreakIsolation(); }
    void Plot(int slot, float time, float value) override
    {
        HeldCall call = Call(Op::Plot, slot);
        call.f[0] = time;
        call.f[1] = value;
        Hold(call);
    }
    bool ShowsPlotText() override { BreakIsolation(); }
    void SetPlotText(const char*) override { BreakIsolation(); }

private:
    std::vector<HeldCall>& List()
    {
        if (IsolatedStep* step = CurrentIsolatedStep(); step && step->Owner)
            return *static_cast<std::vector<HeldCall>*>(step->Owner);
        if (inOrderList)
            return *inOrderList;
        BreakIsolation();
    }
};

class BikeStepping::HeldListener : public RiderStateListener {
public:
    explicit HeldListener(HeldHooks& hooks) : m_hooks(hooks) {}
    void RiderStateEntered(const Bike& bike, std::int32_t previous, std::int32_t state) override
    {
        HeldCall call = Call(Op::StateEntered, previous, state);
        call.p = const_cast<Bike*>(&bike);
        m_hooks.Hold(call);
    }

private:
    HeldHooks& m_hooks;
};

namespace {

// Puts the race's own presentation and listener back when a sub-step ends,
// however it ends.
class HeldCallsInstalled {
public:
    HeldCallsInstalled(RaceHooks* hooks, RiderStateListener* listener)
    {
        RaceContext& race = CurrentRaceContext();
        m_hooks = race.Hooks;
        m_listener = race.StateListener;
        if (race.Hooks)
            race.Hooks = hooks;
        if (race.StateListener)
            race.StateListener = listener;
    }
    ~HeldCallsInstalled()
    {
        RaceContext& race = CurrentRaceContext();
        race.Hooks = m_hooks;
        race.StateListener = m_listener;
        SetCurrentIsolatedStep(nullptr);
    }
    HeldCallsInstalled(const HeldCallsInstalled&) = delete;
    HeldCallsInstalled& operator=(const HeldCallsInstalled&) = delete;

private:
    RaceHooks* m_hooks = nullptr;
    RiderStateListener* m_listener = nullptr;
};

bool Flag(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value && std::string_view(value) != "0";
}

} // namespace

bool BikeStepping::Place::operator==(const Place& other) const
{
    return SameBits(Progress, other.Progress) && SameBits(SideOffset, other.SideOffset) &&
           SameBits(BestLap, other.BestLap) && Path == other.Path && Laps == other.Laps && Parked == other.Parked;
}

BikeStepping::Place BikeStepping::PlaceOf(const Bike& bike)
{
    Place place;
    place.Progress = bike.Progress;
    place.SideOffset = bike.SideOffset;
    place.BestLap = bike.BestLap;
    place.Path = bike.Path;
    place.Laps = bike.Laps;
    place.Parked = (bike.Status & kBikeParked) != 0;
    return place;
}

BikeStepping::BikeStepping(int threads)
    : m_ownPool(std::max(threads, 2) == platform::WorkerPool::HardwareThreads()
                    ? nullptr
                    : std::make_unique<platform::WorkerPool>(std::max(threads, 2))),
      m_pool(m_ownPool ? m_ownPool.get() : &platform::WorkerPool::Shared()), m_hooks(std::make_unique<HeldHooks>()),
      m_listener(std::make_unique<HeldListener>(*m_hooks)), m_check(Flag("TORVANE_SIM_CHECK")),
      m_stats(Flag("TORVANE_SIM_STATS")), m_trials(!Flag("TORVANE_SIM_NO_TRIALS"))
{
}

BikeStepping::~BikeStepping()
{
    if (m_stats)
        std::fprintf(stderr,
                     "bike stepping on %d threads: %llu sub-steps side by side, %llu taken back, %llu in order "
                     "(faster), %llu in order (riders down, ...); control steps: %llu side by side, %llu in order "
                     "(a step that needs the order)\n",
                     Threads(), static_cast<unsigned long long>(m_sideBySide),
                     static_cast<unsigned long long>(m_takenBack), static_cast<unsigned long long>(m_chosenInOrder),
                     static_cast<unsigned long long>(m_inOrder), static_cast<unsigned long long>(m_controlsSideBySide),
                     static_cast<unsigned long long>(m_controlsInOrder));
}

int BikeStepping::ThreadsFor(int riders)
{
    if (const char* value = std::getenv("TORVANE_SIM_THREADS"); value && *value) {
        char* end = nullptr;
        const long threads = std::strtol(value, &end, 10);
        if (end != value && *end == '\0' && threads >= 1)
            return static_cast<int>(std::min(threads, 64L));
    }
    // Side by side gains nothing on the machines measured (a 16-rider
    // sub-step is some 20 microseconds, about what handing it to the
    // threads and back costs): one after the other unless asked.
    (void)riders;
    return 1;
}

int BikeStepping::SideBySideThreadsFor(int riders)
{
    return std::clamp(riders / 2, 1, platform::WorkerPool::HardwareThreads());
}

bool BikeStepping::Eligible(const Bike* bikes, int count) const
{
    const RaceContext& race = CurrentRaceContext();
    if (count < 2 || race.Simulated() || (race.Hooks && !race.Hooks->TakesHeldCalls()))
        return false;
    for (int i = 0; i < count; ++i) {
        // A fallen bike reads the viewed rider and the track section another
        // bike's query left; a bike recording telemetry writes a file.
        if ((bikes[i].Status & kBikeDown) || (bikes[i].Flags & kBikeTelemetry))
            return false;
    }
    return true;
}

BikeStepping::Way BikeStepping::ChooseWay()
{
    // Both ways give the same results; which is faster depends on how busy
    // the machine is (on a loaded one, a sub-step side by side waits for
    // threads that are not running). Now and then a few sub-steps are timed
    // each way (from the control steps to the end of the dynamics), and the
    // faster way steps until the next trial.
    m_wayStart = Clock::now();
    if (m_check || !m_trials)
        return Way::SideBySide;
    const std::uint64_t tick = m_ticks++ % kTrialPeriod;
    if (tick == 2 * kTrialSubSteps) {
        // The mean time of a sub-step each way (a trial's sub-steps that
        // could not go side by side are not counted).
        if (m_trialCount[0] > 0 && m_trialCount[1] > 0)
            m_preferSideBySide = m_trialTime[1] * m_trialCount[0] < m_trialTime[0] * m_trialCount[1];
        m_trialTime[0] = m_trialTime[1] = Clock::duration::zero();
        m_trialCount[0] = m_trialCount[1] = 0;
    }
    if (tick < kTrialSubSteps)
        return Way::InOrderTrial;
    if (tick < 2 * kTrialSubSteps)
        return Way::SideBySideTrial;
    return m_preferSideBySide ? Way::SideBySide : Way::InOrder;
}

bool BikeStepping::Step(Bike* bikes, int count, float dt)
{
    const Way way = m_wayChosen ? m_way : ChooseWay();
    m_wayChosen = false;
    // The bikes' images the control steps took serve these bikes' side
    // by side dynamics steps only.
    const bool imagesTaken = m_imagesTaken && bikes == m_bikes && count == m_slotCount;
    m_imagesTaken = false;
    if (!Eligible(bikes, count)) {
        ++m_inOrder;
        return false;
    }
    if (way == Way::InOrderTrial || way == Way::InOrder) {
        for (int i = 0; i < count; ++i) {
            bikes[i].DynamicsStep(dt);
            bikes[i].StateStep(dt);
        }
        if (way == Way::InOrderTrial) {
            m_trialTime[0] += Clock::now() - m_wayStart;
            ++m_trialCount[0];
        }
        ++m_chosenInOrder;
        return true;
    }
    m_imagesTaken = imagesTaken;
    const bool stepped = StepSideBySideOrTakeBack(bikes, count, dt);
    if (way == Way::SideBySideTrial) {
        m_trialTime[1] += Clock::now() - m_wayStart;
        ++m_trialCount[1];
    }
    return stepped;
}

void BikeStepping::PrepareSlots(Bike* bikes, int count, float dt)
{
    const std::size_t n = static_cast<std::size_t>(count);
    if (m_slotCount != count) {
        m_slots = std::make_unique<Slot[]>(n);
        m_images = std::make_unique<BikeImage[]>(n);
        m_slotCount = count;
    }
    m_savedSimulation.resize(kSimulationStateWords);
    m_bikes = bikes;
    m_dt = dt;
}

bool BikeStepping::ControlStep(Bike* bikes, int count, float dt)
{
    m_way = ChooseWay();
    m_wayChosen = true;
    if (m_way == Way::InOrderTrial || m_way == Way::InOrder || count < 2)
        return false;
    for (int i = 0; i < count; ++i) {
        if (!bikes[i].ControlStepStandsAlone(dt)) {
            ++m_controlsInOrder;
            return false;
        }
    }
    PrepareSlots(bikes, count, dt);
    const std::size_t n = static_cast<std::size_t>(count);
    for (std::size_t i = 0; i < n; ++i) {
        Slot& slot = m_slots[i];
        slot.Step = IsolatedStep{};
        slot.Step.NotesSections = true;
        slot.Step.NotesApproach = true;
        slot.Step.ReadControl = &BikeStepping::ReadControlInOrder;
        slot.Step.ReadContext = this;
        slot.Step.BikeIndex = static_cast<int>(i);
        slot.ControlBefore = ControlReading{bikes[i].TargetSpeed, bikes[i].TurnRadius};
        slot.Broke = false;
        slot.ControlDone.store(0, std::memory_order_relaxed);
        slot.Saved.store(0, std::memory_order_relaxed);
    }
    // Each task takes its bike's image for the dynamics steps, while the
    // bike is in its thread's cache (not under the check, which keeps the
    // images of the start of the control steps there).
    m_imagesInControls = !m_check;
    if (m_check) {
        for (std::size_t i = 0; i < n; ++i)
            TakeImage(bikes[i], m_images[i]);
        SaveSimulationState(m_savedSimulation.data());
    }

    m_pool->Run(
        count,
        [](void* context, int index) {
            BikeStepping& self = *static_cast<BikeStepping*>(context);
            Slot& slot = self.m_slots[static_cast<std::size_t>(index)];
            RunApart(slot.Step, slot.Broke, [&] { self.m_bikes[index].ControlStep(self.m_dt); });
            // The later bikes' steps may read this one's values now.
            slot.ControlDone.store(1, std::memory_order_release);
            // The bike as the dynamics steps will start from (no other
            // bike's control step changes it): the image to go back to.
            if (self.m_imagesInControls)
                self.SaveBike(static_cast<std::size_t>(index));
        },
        this);

    for (std::size_t i = 0; i < n; ++i) {
        if (m_slots[i].Broke) {
            // A step that stands alone (Bike::ControlStepStandsAlone) never
            // needs the bike-by-bike order; one that did is a fault here,
            // and its bike is already half stepped.
            std::fprintf(stderr, "bike stepping: the control step of bike %zu could not run apart\n", i);
            std::abort();
        }
    }
    // What the order leaves in the shared records: the tracks' sections in
    // bike order, and the last approach acceleration of the last bike whose
    // step set one.
    for (std::size_t i = 0; i < n; ++i) {
        const IsolatedStep& step = m_slots[i].Step;
        for (int k = 0; k < step.SectionTracks; ++k)
            const_cast<Track*>(step.SectionTrack[k])->LastSection = step.Section[k];
    }
    for (std::size_t i = n; i-- > 0;) {
        if (m_slots[i].Step.ApproachNoted) {
            LastApproachAccel = m_slots[i].Step.ApproachAccel;
            break;
        }
    }
    if (m_check)
        CheckControlAgainstOrder(bikes, count, dt);
    m_imagesTaken = m_imagesInControls;
    m_imagesInControls = false;
    ++m_controlsSideBySide;
    return true;
}

ControlReading BikeStepping::ReadControlInOrder(const IsolatedStep& step, const Bike& other)
{
    const BikeStepping& self = *static_cast<const BikeStepping*>(step.ReadContext);
    // A bike that is not one of the race's has no control step here, and a
    // bike's own values are its own.
    std::size_t j = 0;
    if (!self.IndexOf(&other, &j))
        return ControlReading{other.TargetSpeed, other.TurnRadius};
    const std::size_t i = static_cast<std::size_t>(step.BikeIndex);
    const Slot& slot = self.m_slots[j];
    // A later bike has not had its step in the bike-by-bike order (and may
    // be having it now: the bike itself is not read).
    if (j > i)
        return slot.ControlBefore;
    if (j == i)
        return ControlReading{other.TargetSpeed, other.TurnRadius};
    // An earlier one has: wait for it. A running thread has taken its index
    // or will take it (the pool's threads take their indices in rising
    // order), and it waits only for bikes earlier still, so the wait ends.
    WaitUntilDone(slot.ControlDone);
    return ControlReading{other.TargetSpeed, other.TurnRadius};
}

void BikeStepping::CheckControlAgainstOrder(Bike* bikes, int count, float dt)
{
    const std::size_t bikeWords = static_cast<std::size_t>(count) * kBikeSnapshotWords;
    std::vector<std::uint32_t> sideBySide(bikeWords + kSimulationStateWords);
    std::vector<std::uint32_t> inOrder(sideBySide.size());
    SaveRace(bikes, count, sideBySide.data());
    RestoreStart(bikes, count);
    for (int i = 0; i < count; ++i)
        bikes[i].ControlStep(dt);
    SaveRace(bikes, count, inOrder.data());
    CompareOrFail(sideBySide, inOrder, bikeWords, "control steps");
}

void BikeStepping::SaveRace(Bike* bikes, int count, std::uint32_t* out)
{
    for (int i = 0; i < count; ++i)
        bikes[i].SaveSnapshot(out + static_cast<std::size_t>(i) * kBikeSnapshotWords, true);
    SaveSimulationState(out + static_cast<std::size_t>(count) * kBikeSnapshotWords);
}

void BikeStepping::CompareOrFail(const std::vector<std::uint32_t>& sideBySide, const std::vector<std::uint32_t>& inOrder,
                                 std::size_t bikeWords, const char* what)
{
    for (std::size_t w = 0; w < sideBySide.size(); ++w) {
        if (sideBySide[w] != inOrder[w]) {
            const bool simulation = w >= bikeWords;
            std::fprintf(stderr,
                         "bike stepping: %s side by side and in order differ (%s %zu, word %zu: %08x against %08x)\n",
                         what, simulation ? "simulation state" : "bike", simulation ? 0 : w / kBikeSnapshotWords,
                         simulation ? w - bikeWords : w % kBikeSnapshotWords, sideBySide[w], inOrder[w]);
            std::abort();
        }
    }
}

bool BikeStepping::StepSideBySideOrTakeBack(Bike* bikes, int count, float dt)
{
    if (StepSideBySide(bikes, count, dt) && !AnswersMayDiffer(count)) {
        if (m_check)
            CheckAgainstOrder(bikes, count, dt);
        MakeHeldCalls(count);
        ++m_sideBySide;
        return true;
    }
    RestoreStart(bikes, count);
    for (int i = 0; i < count; ++i) {
        bikes[i].DynamicsStep(dt);
        bikes[i].StateStep(dt);
    }
    ++m_takenBack;
    return true;
}

void BikeStepping::SaveBike(std::size_t i)
{
    Slot& slot = m_slots[i];
    int expected = 0;
    if (slot.Saved.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
        TakeImage(m_bikes[i], m_images[i]);
        slot.Saved.store(2, std::memory_order_release);
        return;
    }
    while (slot.Saved.load(std::memory_order_acquire) != 2)
        std::this_thread::yield();
}

void BikeStepping::TakeImage(const Bike& bike, BikeImage& image)
{
    std::memcpy(image.Bytes, static_cast<const void*>(&bike), sizeof(Bike));
}

void BikeStepping::PutImage(Bike& bike, const BikeImage& image)
{
    std::memcpy(static_cast<void*>(&bike), image.Bytes, sizeof(Bike));
}

void BikeStepping::RestoreStart(Bike* bikes, int count)
{
    // Without the presentation: putting the state back is no change the
    // bike-by-bike order would have shown (the image holds no presentation
    // state to show again).
    RaceContext& race = CurrentRaceContext();
    RaceHooks* hooks = race.Hooks;
    race.Hooks = nullptr;
    for (int i = 0; i < count; ++i)
        PutImage(bikes[i], m_images[static_cast<std::size_t>(i)]);
    RestoreSimulationState(m_savedSimulation.data());
    race.Hooks = hooks;
}

bool BikeStepping::StepSideBySide(Bike* bikes, int count, float dt)
{
    RaceContext& race = CurrentRaceContext();
    const std::size_t n = static_cast<std::size_t>(count);
    PrepareSlots(bikes, count, dt);
    for (std::size_t i = 0; i < n; ++i) {
        Slot& slot = m_slots[i];
        slot.Held.clear();
        slot.Step = IsolatedStep{};
        slot.Step.NotesSections = true;
        // The integrators' last approach acceleration is one value for all:
        // a step that sets it is noted (and the sub-step taken back).
        slot.Step.NotesApproach = true;
        slot.Step.Owner = &slot.Held;
        slot.Left = Bike::DynamicsLeft::Nothing;
        slot.Broke = false;
        // No bike's part A changes another bike: each stands where the
        // sub-step starts until its own part A.
        slot.Before = PlaceOf(bikes[i]);
        slot.TimingDone.store(0, std::memory_order_relaxed);
        if (!m_imagesTaken)
            slot.Saved.store(0, std::memory_order_relaxed);
    }
    m_imagesTaken = false;

    // The start of the sub-step, to go back to: the simulation state here,
    // the bikes' images taken by the control steps' tasks or by each bike's
    // own task before its part A.
    SaveSimulationState(m_savedSimulation.data());

    m_realHooks = race.Hooks;
    m_realListener = race.StateListener;
    m_hooks->real = m_realHooks;
    m_hooks->inOrderList = nullptr;
    HeldCallsInstalled installed(m_hooks.get(), m_listener.get());

    // A, B and C side by side, each bike's in one task. None changes the
    // race's records, its flags among them (a step that would breaks its
    // isolation, or the check at the end takes the sub-step back).
    const SharedRecords shared = SharedNow();
    m_pool->Run(
        count,
        [](void* context, int index) {
            static_cast<BikeStepping*>(context)->StepApart(static_cast<std::size_t>(index));
        },
        this);
    for (std::size_t i = 0; i < n; ++i)
        if (m_slots[i].Broke)
            return false;

    // In bike order: the sections the bike's queries used, as if they had
    // run in order; and the places the later bikes' steps were shown.
    for (std::size_t i = 0; i < n; ++i) {
        const Slot& slot = m_slots[i];
        const IsolatedStep& step = slot.Step;
        // A step that set the integrators' last approach acceleration
        // changed a record of the race.
        if (step.ApproachNoted)
            return false;
        for (int k = 0; k < step.SectionTracks; ++k)
            const_cast<Track*>(step.SectionTrack[k])->LastSection = step.Section[k];
        // The later bikes saw this one's place after part A.
        if (!(PlaceOf(bikes[i]) == slot.After))
            return false;
    }
    // Every step read the race's records as the sub-step started.
    return SharedNow() == shared;
}

bool BikeStepping::IndexOf(const Bike* bike, std::size_t* index) const
{
    if (!bike || !std::less_equal<const Bike*>()(m_bikes, bike) || !std::less<const Bike*>()(bike, m_bikes + m_slotCount))
        return false;
    *index = static_cast<std::size_t>(bike - m_bikes);
    return true;
}

const BikeStepping::Place& BikeStepping::PlaceInOrder(std::size_t j, std::size_t i) const
{
    const Slot& slot = m_slots[j];
    if (j > i)
        return slot.Before;
    // An earlier bike's task has been taken by a running thread, or will be
    // (the pool's threads take their indices in rising order), and it waits
    // only for bikes earlier still, so the wait ends.
    WaitUntilDone(slot.TimingDone);
    return slot.After;
}

void BikeStepping::StepApart(std::size_t i)
{
    Slot& slot = m_slots[i];
    Bike& bike = m_bikes[i];
    IsolatedStep& step = slot.Step;
    SaveBike(i);

    // A. The bike behind as the order shows it to the viewed bike's notice
    // (another bike's own place is not known here: the step breaks off).
    std::size_t j = 0;
    step.TimingApart = true;
    if (IndexOf(bike.Behind, &j) && j != i) {
        const Place& behind = PlaceInOrder(j, i);
        step.KnowsBehind = true;
        step.BehindProgress = behind.Progress;
        step.BehindLaps = behind.Laps;
    }
    RunApart(step, slot.Broke, [&] { slot.Left = bike.DynamicsBefore(m_dt); });
    step.TimingApart = false;
    step.KnowsBehind = false;
    slot.After = PlaceOf(bike);
    // The later bikes' tasks may read this one's place now.
    slot.TimingDone.store(1, std::memory_order_release);
    if (slot.Broke)
        return;
    if (slot.Left == Bike::DynamicsLeft::CoreAndAfter)
        Riding(i);
    if (!slot.Broke)
        Finishing(i);
}

void BikeStepping::Riding(std::size_t i)
{
    Slot& slot = m_slots[i];
    Bike& bike = m_bikes[i];
    IsolatedStep& step = slot.Step;
    std::size_t j = 0;

    // B. The bike ahead as the order shows it: an earlier bike has had its
    // step (its place after part A; part C checks that nothing later moved
    // it), a later one has not. A bike that is not one of the race's is not
    // known here: the riding step breaks off.
    const Bike* ahead = bike.Ahead;
    if (ahead && ahead != &bike && IndexOf(ahead, &j)) {
        const Place& place = PlaceInOrder(j, i);
        step.KnowsAhead = true;
        step.AheadProgress = place.Progress;
        step.AheadSideOffset = place.SideOffset;
    }
    // A break (StepIsolationBreak, or anything else): the bike-by-bike order
    // steps the bike again and meets it there.
    t_inRidingStep = true;
    RunApart(step, slot.Broke, [&] { bike.DynamicsCore(m_dt); });
    t_inRidingStep = false;
}

void BikeStepping::Finishing(std::size_t i)
{
    Slot& slot = m_slots[i];
    Bike& bike = m_bikes[i];
    IsolatedStep& step = slot.Step;
    // C. The rest of the bike's step and its rider state read and write its
    // own bike. Its track queries go on noting their sections (a read of a
    // track the bike has not queried in this sub-step breaks off: the
    // section would be another bike's).
    step.KnowsAhead = false;
    RunApart(step, slot.Broke, [&] {
        if (slot.Left != Bike::DynamicsLeft::Nothing)
            bike.DynamicsAfter();
        bike.StateStep(m_dt);
    });
}

bool BikeStepping::AnswersMayDiffer(int count) const
{
    // The overlay answered from its state before the sub-step; a change to
    // it held earlier in the order could have made another answer.
    bool changed = false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        for (const HeldCall& call : m_slots[i].Held) {
            if (call.op == Op::HudRaise || call.op == Op::HudClear || call.op == Op::HudDisableMessages)
                changed = true;
            else if (call.op == Op::HudTest && changed)
                return true;
        }
    }
    return false;
}

void BikeStepping::MakeHeldCalls(int count)
{
    RaceHooks* hooks = m_realHooks;
    RiderStateListener* listener = m_realListener;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        for (const HeldCall& c : m_slots[i].Held) {
            switch (c.op) {
            case Op::ShowInstance:
                hooks->ShowInstance(static_cast<ml_modelinfo*>(c.p), c.i[0] != 0);
                break;
            case Op::SetAnimation:
                hooks->SetAnimation(static_cast<ml_modelinfo*>(c.p), static_cast<std::uint32_t>(c.i[0]));
                break;
            case Op::UpdateModel:
                hooks->UpdateModel(*static_cast<Bike*>(c.p));
                break;
            case Op::Play:
                hooks->Play(c.i[0], c.i[1], c.f[0], c.f[1], c.f[2], c.i[2]);
                break;
            case Op::StopVoice:
                hooks->StopVoice(c.i[0], c.i[1]);
                break;
            case Op::StopVoiceNow:
                hooks->StopVoiceNow(c.i[0], c.i[1]);
                break;
            case Op::SetVoiceDistance:
                hooks->SetVoiceDistance(c.i[0], c.i[1], c.f[0], c.f[1]);
                break;
            case Op::SetVoicePosition:
                hooks->SetVoicePosition(c.i[0], c.i[1], c.v[0]);
                break;
            case Op::SetVoiceVolume:
                hooks->SetVoiceVolume(c.i[0], c.i[1], c.f[0]);
                break;
            case Op::PlaySoundSet:
                hooks->PlaySoundSet(c.i[0], c.f[0], c.i[1], c.f[1]);
                break;
            case Op::SmokeEmit:
                hooks->SmokeEmit(c.i[0], *static_cast<Bike*>(c.p), c.i[1], c.f[0]);
                break;
            case Op::SmokeEmitLine:
                hooks->SmokeEmitLine(c.v[0], c.v[1], c.f[0], c.f[1]);
                break;
            case Op::HudTest:
                break;
            case Op::HudRaise:
                hooks->HudRaise(static_cast<std::uint32_t>(c.i[0]));
                break;
            case Op::HudClear:
                hooks->HudClear(static_cast<std::uint32_t>(c.i[0]));
                break;
            case Op::HudSetViewMode:
                hooks->HudSetViewMode(c.i[0]);
                break;
            case Op::HudDisableMessages:
                hooks->HudDisableMessages(static_cast<std::uint32_t>(c.i[0]));
                break;
            case Op::StopStream:
                hooks->StopStream(c.i[0]);
                break;
            case Op::StartStream:
                hooks->StartStream(c.i[0], c.i[1] != 0);
                break;
            case Op::Plot:
                hooks->Plot(c.i[0], c.f[0], c.f[1]);
                break;
            case Op::StateEntered:
                listener->RiderStateEntered(*static_cast<const Bike*>(c.p), c.i[0], c.i[1]);
                break;
            }
        }
    }
}

void BikeStepping::StepInOrderHeld(Bike* bikes, int count, float dt)
{
    HeldCallsInstalled installed(m_hooks.get(), m_listener.get());
    for (int i = 0; i < count; ++i) {
        std::vector<HeldCall>& list = m_slots[static_cast<std::size_t>(i)].Held;
        list.clear();
        m_hooks->inOrderList = &list;
        bikes[i].DynamicsStep(dt);
        bikes[i].StateStep(dt);
    }
    m_hooks->inOrderList = nullptr;
}

void BikeStepping::CheckAgainstOrder(Bike* bikes, int count, float dt)
{
    const std::size_t bikeWords = static_cast<std::size_t>(count) * kBikeSnapshotWords;
    std::vector<std::uint32_t> sideBySide(bikeWords + kSimulationStateWords);
    std::vector<std::uint32_t> inOrder(sideBySide.size());
    SaveRace(bikes, count, sideBySide.data());
    std::vector<std::vector<HeldCall>> heldSideBySide;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
        heldSideBySide.push_back(m_slots[i].Held);

    RestoreStart(bikes, count);
    StepInOrderHeld(bikes, count, dt);
    SaveRace(bikes, count, inOrder.data());
    CompareOrFail(sideBySide, inOrder, bikeWords, "dynamics steps");

    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        if (heldSideBySide[i] != m_slots[i].Held) {
            std::fprintf(stderr, "bike stepping: the presentation calls of bike %zu differ (%zu against %zu calls)\n", i,
                         heldSideBySide[i].size(), m_slots[i].Held.size());
            std::abort();
        }
    }
}
