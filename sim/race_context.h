#pragma once

#include <cstdint>

#include "sim/grid_entry.h"

class Bike;
struct BikeModel;
class ml_modelinfo;

// What the bike simulation does to the race's presentation: showing and
// hiding 3D instances, their animations, posing the bike's models. The race
// installs an implementation over its engine objects when it has 3D data;
// without one (a race without 3D, the tests) the simulation runs alone and
// these calls do nothing.
class RaceHooks {
public:
    virtual ~RaceHooks() = default;
    // Shows (instance flag 1 set) or hides (cleared) a model instance.
    virtual void ShowInstance(ml_modelinfo* instance, bool shown) = 0;
    // Makes an animation current on an instance (0: none).
    virtual void SetAnimation(ml_modelinfo* instance, std::uint32_t animationHash) = 0;
    // Poses the bike's instances for its current state.
    virtual void UpdateModel(Bike& bike) = 0;
};

// Race flags the simulation reads or sets.
inline constexpr std::uint32_t kRaceRacing = 0x01;    // the start has been given: laps and times count
inline constexpr std::uint32_t kRaceFinished = 0x02;  // the winner has crossed the line
inline constexpr std::uint32_t kRaceSimulated = 0x40; // nothing is drawn; bikes advance along tabled speeds

inline constexpr int kCockpitVariants = 2;

// The race fields that the bikes read and write, besides the session, the
// weather and the paths (RaceConditions). The race fills this record while it
// loads and clears it when it ends; the simulation sits below the race in
// the build and reaches it through this record only.
struct RaceContext {
    std::uint32_t Flags = 0;         // kRace* bits
    std::int32_t ViewedRider = 0;    // index of the bike the camera follows
    BikeModel* Models = nullptr;     // the five bike-model blocks (kBikeModelCount), by grid entry model index
    Bike* Bikes = nullptr;           // the race's bikes, in grid order
    std::int32_t BikeCount = 0;
    char TrackName[20] = {};         // the session's track name (telemetry header)
    float AirTemperature = 0.0f;     // the session's two temperatures (telemetry header)
    float TrackTemperature = 0.0f;
    // Cockpit instances: two per bike model and one shared (null without 3D).
    ml_modelinfo* Cockpit[kBikeModelCount][kCockpitVariants] = {};
    ml_modelinfo* SharedCockpit = nullptr;
    std::uint32_t BikeAnimations[2] = {}; // name hashes of the two bike animations (falls)
    RaceHooks* Hooks = nullptr;      // null: no presentation

    bool Simulated() const { return (Flags & kRaceSimulated) != 0; }
    bool Racing() const { return (Flags & kRaceRacing) != 0; }
};

// The program's one record (cleared until a race fills it).
RaceContext& CurrentRaceContext();
