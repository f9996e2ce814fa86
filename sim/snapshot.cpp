#include "sim/snapshot.h"

#include <bit>
#include <concepts>

#include "platform/random.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"
#include "sim/track.h"

namespace {

// Path codes in a snapshot.
constexpr std::uint32_t kPathNone = 0;
constexpr std::uint32_t kPathCircuit = 1;
constexpr std::uint32_t kPathPitLane = 2;
constexpr std::uint32_t kPathOther = 3;   // a path the race does not name: a restore keeps the bike's own
constexpr std::uint32_t kNoBike = 0xFFFFFFFFu;

class WordOut {
public:
    explicit WordOut(std::uint32_t* words) : words_(words) {}
    void Put(std::uint32_t w) { words_[n_++] = w; }
    std::size_t Count() const { return n_; }

private:
    std::uint32_t* words_;
    std::size_t n_ = 0;
};

class WordIn {
public:
    explicit WordIn(const std::uint32_t* words) : words_(words) {}
    std::uint32_t Get() { return words_[n_++]; }
    std::size_t Count() const { return n_; }

private:
    const std::uint32_t* words_;
    std::size_t n_ = 0;
};

// --- writing ---

void Put(WordOut& out, float v) { out.Put(std::bit_cast<std::uint32_t>(v)); }

template <std::integral I>
void Put(WordOut& out, I v)
{
    out.Put(static_cast<std::uint32_t>(static_cast<std::int64_t>(v)));
}

void Put(WordOut& out, const Vec3& v)
{
    Put(out, v.x);
    Put(out, v.y);
    Put(out, v.z);
}

void Put(WordOut& out, const Integrator& i)
{
    Put(out, i.Value);
    Put(out, i.Rate);
    Put(out, i.Limit);
}

void Put(WordOut& out, const WheelAttitude& a)
{
    Put(out, a.Pitch);
    Put(out, a.Heading);
    Put(out, a.Roll);
}

void Put(WordOut& out, const ControlRecord& c)
{
    Put(out, c.Status);
    Put(out, c.Throttle);
    Put(out, c.Brake);
    Put(out, c.SteerInput);
    Put(out, c.Posture);
}

void Put(WordOut& out, const RidingStepStart& s)
{
    Put(out, s.CgPosition);
    Put(out, s.FrontHub);
    Put(out, s.RearHub);
    Put(out, s.Pitch);
    Put(out, s.Heading);
    Put(out, s.Roll);
    Put(out, s.FrontGround);
    Put(out, s.RearGround);
}

void Put(WordOut& out, Bike* bike)
{
    const RaceContext& race = CurrentRaceContext();
    if (bike && race.Bikes && bike >= race.Bikes && bike < race.Bikes + race.BikeCount)
        out.Put(static_cast<std::uint32_t>(bike - race.Bikes));
    else
        out.Put(kNoBike);
}

void Put(WordOut& out, Track* path)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    if (!path)
        out.Put(kPathNone);
    else if (path == conditions.Circuit)
        out.Put(kPathCircuit);
    else if (path == conditions.PitLane)
        out.Put(kPathPitLane);
    else
        out.Put(kPathOther);
}

void Put(WordOut& out, const Tyre& tyre);
void Put(WordOut& out, const WheelAssembly& wheel);

template <class T, std::size_t N>
void Put(WordOut& out, const T (&array)[N])
{
    for (const T& element : array)
        Put(out, element);
}

template <class T>
struct SaveVisitor {
    const T& object;
    WordOut& out;
    template <class M>
    void Saved(M T::*member, const char*)
    {
        Put(out, object.*member);
    }
    template <class M>
    void NotSaved(M T::*, const char*)
    {
    }
};

void Put(WordOut& out, const Tyre& tyre)
{
    SaveVisitor<Tyre> visitor{tyre, out};
    ForEachTyreField(visitor);
}

void Put(WordOut& out, const WheelAssembly& wheel)
{
    SaveVisitor<WheelAssembly> visitor{wheel, out};
    ForEachWheelField(visitor);
}

// --- reading ---

void Get(WordIn& in, float& v) { v = std::bit_cast<float>(in.Get()); }

template <std::integral I>
void Get(WordIn& in, I& v)
{
    // Each word holds a value of the field's own type, written above.
    if constexpr (std::is_signed_v<I>)
        v = static_cast<I>(static_cast<std::int32_t>(in.Get()));
    else
        v = static_cast<I>(in.Get());
}

void Get(WordIn& in, Vec3& v)
{
    Get(in, v.x);
    Get(in, v.y);
    Get(in, v.z);
}

void Get(WordIn& in, Integrator& i)
{
    Get(in, i.Value);
    Get(in, i.Rate);
    Get(in, i.Limit);
}

void Get(WordIn& in, WheelAttitude& a)
{
    Get(in, a.Pitch);
    Get(in, a.Heading);
    Get(in, a.Roll);
}

void Get(WordIn& in, ControlRecord& c)
{
    Get(in, c.Status);
    Get(in, c.Throttle);
    Get(in, c.Brake);
    Get(in, c.SteerInput);
    Get(in, c.Posture);
}

void Get(WordIn& in, RidingStepStart& s)
{
    Get(in, s.CgPosition);
    Get(in, s.FrontHub);
    Get(in, s.RearHub);
    Get(in, s.Pitch);
    Get(in, s.Heading);
    Get(in, s.Roll);
    Get(in, s.FrontGround);
    Get(in, s.RearGround);
}

// A bike index that is not one of the race's bikes reads as none.
void Get(WordIn& in, Bike*& bike)
{
    const std::uint32_t index = in.Get();
    const RaceContext& race = CurrentRaceContext();
    if (race.Bikes && race.BikeCount > 0 && index < static_cast<std::uint32_t>(race.BikeCount))
        bike = race.Bikes + index;
    else
        bike = nullptr;
}

void Get(WordIn& in, Track*& path)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    switch (in.Get()) {
    case kPathNone:
        path = nullptr;
        break;
    case kPathCircuit:
        path = conditions.Circuit;
        break;
    case kPathPitLane:
        path = conditions.PitLane;
        break;
    default:
        break; // a path the race does not name: the bike keeps its own
    }
}

void Get(WordIn& in, Tyre& tyre);
void Get(WordIn& in, WheelAssembly& wheel);

template <class T, std::size_t N>
void Get(WordIn& in, T (&array)[N])
{
    for (T& element : array)
        Get(in, element);
}

template <class T>
struct RestoreVisitor {
    T& object;
    WordIn& in;
    template <class M>
    void Saved(M T::*member, const char*)
    {
        Get(in, object.*member);
    }
    template <class M>
    void NotSaved(M T::*, const char*)
    {
    }
};

void Get(WordIn& in, Tyre& tyre)
{
    RestoreVisitor<Tyre> visitor{tyre, in};
    ForEachTyreField(visitor);
}

void Get(WordIn& in, WheelAssembly& wheel)
{
    RestoreVisitor<WheelAssembly> visitor{wheel, in};
    ForEachWheelField(visitor);
}

// The rider animation entry that shows a state: a state's own record, and
// for the waiting states beside the fallen bike the getting-on records
// (-4 -> 22, -3 -> 26), for riding the riding record (-1 -> 2); any other
// negative state shows entry 0.
std::int32_t RiderAnimationEntry(std::int32_t state)
{
    switch (state) {
    case -4:
        return 22;
    case -3:
        return 26;
    case -1:
        return 2;
    default:
        return state >= 0 && state < kRiderStateRecords ? state : 0;
    }
}

// Brings the 3D instances in line with a restored rider state: the bike's
// own animation while it is lifted after a fall (states 21 and 25), the
// rider's animation of the state.
void ShowRestoredState(Bike& bike)
{
    const RaceContext& race = CurrentRaceContext();
    if (!race.Hooks)
        return;
    if (bike.BikeInstance) {
        std::uint32_t hash = 0;
        if (bike.RiderState == 21)
            hash = race.BikeAnimations[0];
        else if (bike.RiderState == 25)
            hash = race.BikeAnimations[1];
        race.Hooks->SetAnimation(bike.BikeInstance, hash);
    }
    // Only animations the race's table names are asked for.
    if (bike.RiderInstance && race.RiderStates)
        race.Hooks->SetAnimation(bike.RiderInstance, race.RiderStates->RiderHash[RiderAnimationEntry(bike.RiderState)]);
}

} // namespace

void Bike::SaveSnapshot(std::uint32_t* buffer, bool force)
{
    if (!buffer || (!force && (Status & kBikeSnapshotSaved)))
        return;
    WordOut out(buffer);
    out.Put(kBikeSnapshotMark);
    out.Put(static_cast<std::uint32_t>(kBikeSnapshotWords));
    SaveVisitor<Bike> visitor{*this, out};
    ForEachBikeField(visitor);
    if (!force)
        Status |= kBikeSnapshotSaved;
}

bool Bike::RestoreSnapshot(const std::uint32_t* buffer, bool force)
{
    if (!buffer || (!force && !(Status & kBikeSnapshotSaved)))
        return false;
    if (buffer[0] != kBikeSnapshotMark || buffer[1] != kBikeSnapshotWords)
        return false;
    WordIn in(buffer + kSnapshotHeaderWords);
    RestoreVisitor<Bike> visitor{*this, in};
    ForEachBikeField(visitor);
    ShowRestoredState(*this);
    return true;
}

void SaveSimulationState(std::uint32_t* buffer)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const RaceContext& race = CurrentRaceContext();
    WordOut out(buffer);
    out.Put(kSimulationStateMark);
    out.Put(static_cast<std::uint32_t>(kSimulationStateWords));
    out.Put(platform::random_stream(platform::RandomStreamId::Simulation).state());
    Put(out, LastApproachAccel);
    Put(out, conditions.Circuit ? conditions.Circuit->LastSection : 0);
    Put(out, conditions.PitLane ? conditions.PitLane->LastSection : 0);
    Put(out, race.Flags);
    Put(out, race.RaceRecord);
    Put(out, race.OverlayBike);
}

bool RestoreSimulationState(const std::uint32_t* buffer)
{
    if (!buffer || buffer[0] != kSimulationStateMark || buffer[1] != kSimulationStateWords)
        return false;
    RaceConditions& conditions = CurrentRaceConditions();
    RaceContext& race = CurrentRaceContext();
    WordIn in(buffer + kSnapshotHeaderWords);
    platform::random_stream(platform::RandomStreamId::Simulation).set_state(in.Get());
    Get(in, LastApproachAccel);
    std::int32_t circuitSection = 0;
    std::int32_t pitSection = 0;
    Get(in, circuitSection);
    Get(in, pitSection);
    // A section hint outside the path is not taken.
    if (conditions.Circuit && circuitSection >= 0 && circuitSection < conditions.Circuit->SectionCount())
        conditions.Circuit->LastSection = circuitSection;
    if (conditions.PitLane && pitSection >= 0 && pitSection < conditions.PitLane->SectionCount())
        conditions.PitLane->LastSection = pitSection;
    Get(in, race.Flags);
    Get(in, race.RaceRecord);
    Get(in, race.OverlayBike);
    return true;
}
