#pragma once

class Bike;
class Track;

// The values a bike's control step writes that other bikes' control steps
// read: its speed target and its turning circle's radius.
struct ControlReading {
    float TargetSpeed = 0.0f;
    float TurnRadius = 0.0f;
};

// A bike stepped apart from the others. The race may step the bikes of one
// simulation sub-step side by side on several threads (race/bike_stepping.h)
// instead of one after the other. While a thread steps a bike that way it
// holds an IsolatedStep: what the bike's step would otherwise share with the
// other bikes goes there instead, so that the steps neither race each other
// nor see each other out of the bike-by-bike order, and the race puts it
// all in place in bike order afterwards.
//
// Where a step would need something no IsolatedStep can hold (another path,
// the other bikes, an answer of the race's presentation), it calls
// BreakIsolation(): the race then takes the whole sub-step back and steps
// the bikes one after the other.
struct IsolatedStep {
    // The cross-section the step's last query of a track used (what
    // Track::LastSection holds for a step that runs in order), for at most
    // two tracks. Used when NotesSections is set; otherwise the queries set
    // the tracks' own LastSection.
    bool NotesSections = false;
    const Track* SectionTrack[2] = {};
    int Section[2] = {};
    int SectionTracks = 0;

    // Where the bike ahead (Bike::Ahead) was along its path at the point of
    // the bike-by-bike order at which this bike's riding step runs.
    bool KnowsAhead = false;
    float AheadProgress = 0.0f;
    float AheadSideOffset = 0.0f;

    // The bike's timing (Bike::DynamicsBefore) runs beside the other bikes'
    // steps instead of in bike order: a lap's end, which reads other bikes
    // and writes the race's records, needs the order (NeedsTimingOrder).
    bool TimingApart = false;
    // Where the bike behind (Bike::Behind) was along the lap at the point of
    // the bike-by-bike order at which this bike's timing runs.
    bool KnowsBehind = false;
    float BehindProgress = 0.0f;
    int BehindLaps = 0;

    // The race's own record of the step (deferred presentation calls).
    void* Owner = nullptr;

    // Control steps side by side (Bike::ControlStep): what the last
    // Integrator::ApproachTarget of this bike's step left in
    // LastApproachAccel, kept here instead when NotesApproach is set.
    bool NotesApproach = false;
    bool ApproachNoted = false;
    float ApproachAccel = 0.0f;

    // Control steps side by side: how another bike's own control step
    // values (ControlReading) are read, as the bike-by-bike order shows
    // them to this bike (null: read from the bike itself).
    ControlReading (*ReadControl)(const IsolatedStep& step, const Bike& other) = nullptr;
    // The race's index of this step's bike, and the race's own context
    // (for ReadControl).
    int BikeIndex = -1;
    const void* ReadContext = nullptr;
};

// The running thread's isolated step; null while steps run in order.
IsolatedStep* CurrentIsolatedStep();
void SetCurrentIsolatedStep(IsolatedStep* step);

// Thrown by BreakIsolation; the race catches it around an isolated step.
struct StepIsolationBreak {};

// The isolated step cannot go on apart from the other bikes.
[[noreturn]] void BreakIsolation();

// Where a step reads or changes more than its own bike: breaks the
// isolation of a bike stepped apart from the others.
inline void NeedsBikeByBikeOrder()
{
    if (CurrentIsolatedStep())
        BreakIsolation();
}

// Where a bike's timing reads or changes more than its own bike (a lap's
// end): breaks the isolation of a timing step run beside the others.
inline void NeedsTimingOrder()
{
    if (const IsolatedStep* step = CurrentIsolatedStep(); step && step->TimingApart)
        BreakIsolation();
}
