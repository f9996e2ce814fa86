#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bike_setup.h"
#include "sim/grid_entry.h"
#include "sim/wheel_assembly.h"

// The record of one bike model in the list "MANUFACTURERS" of
// "Data\Info.dat" (84 bytes, typed fields i s s f f f f).
struct ManufacturerRecord {
    std::int32_t Id = 0;        // the model's number, kept as read
    char ModelName[32] = {};    // names "Data\Bikes\<name>.dat", the cockpit models and engine sounds
    char Maker[32] = {};        // the maker's name as shown
    // The engine record: revs limit of the down-shifts and the heat curve,
    // and the heat curve's slope and two end values (engine temperature
    // target = HeatHot + (HeatCold - HeatHot) / (e^((rpm - RevLimit) x HeatSlope) + 1)).
    float RevLimit = 0.0f;
    float HeatSlope = 0.0f;
    float HeatCold = 0.0f;
    float HeatHot = 0.0f;
};
static_assert(sizeof(ManufacturerRecord) == 84, "a manufacturer record is 84 bytes");

inline constexpr int kMaxGears = 6;

// The numbers of a bike file "Data\Bikes\<model>.dat", in the file's order
// (see docs/sim-bikes.md for the text layout):
//   gear count n, then n gear ratios        GearCount, GearRatio
//   primary ratio                           PrimaryRatio
//   sprocket and crown teeth (integers)     SprocketTeeth, CrownTeeth
//   7 values                                Mass .. DragC2
//   3 values                                EngineBrakeE0 .. E2
//   1 value                                 SideSlipDivisor
//   1 value shared by both wheels           Front/Rear.Shared
//   12 values per wheel, front then rear    Front, Rear (tyre size scaled to metres)
//   a dropped value, then the top revs m    PowerTable holds m / 100 values
//   m / 100 values                          PowerTable, kW per 100 rpm
struct BikeModelValues {
    std::int32_t GearCount = 0;             // 1..6
    float GearRatio[kMaxGears] = {};        // the model's own ratios (a set-up replaces them)
    float PrimaryRatio = 0.0f;
    std::int32_t SprocketTeeth = 0;         // the model's own teeth (a set-up replaces them)
    std::int32_t CrownTeeth = 0;
    float Mass = 0.0f;                      // kg with rider
    float BaseWheelbase = 0.0f;             // m
    float MassForward = 0.0f;               // centre of mass ahead of the rear axle, m
    float MassHeight = 0.0f;                // centre of mass above the ground, m
    float DragC0 = 0.0f;                    // drag = (C2 v + C1) v + C0, N
    float DragC1 = 0.0f;
    float DragC2 = 0.0f;
    float EngineBrakeE0 = 0.0f;             // engine braking = (E2 rpm + E1) rpm + E0, N
    float EngineBrakeE1 = 0.0f;
    float EngineBrakeE2 = 0.0f;
    float SideSlipDivisor = 0.0f;           // divides the lean rate a rear slide gives
    WheelParameters Front;
    WheelParameters Rear;
    float PowerHeader = 0.0f;               // the value read and dropped before the top revs
    std::int32_t TopRevs = 0;               // m: the power table holds m / 100 entries
    std::vector<float> PowerTable;          // kW at 0, 100, 200 ... rpm
};

// One bike model's parameter block of the race: its manufacturer record, the
// track's default set-up, and its bike file's numbers.
struct BikeModel {
    ManufacturerRecord Maker;
    BikeSetup DefaultSetup;
    BikeModelValues Values;
    bool Loaded = false; // the bike file was read
};

// "Data\Bikes\<model>.dat".
std::string BikeFileName(const char* modelName);
// "Data\Settings\<track>.set".
std::string SetupFileName(const char* trackName);

// Reads and checks a bike file (from disk, else its archive). Any value that
// is missing, malformed, not finite or out of its range (gear count 1..6,
// teeth, ratios, mass, wheelbase, lever ratio, radius, inertia above 0, the
// power table 1..1000 entries) throws a GameError naming the file and the
// value.
BikeModelValues ReadBikeFile(const char* path);

// Parses the text of a bike file; `fileName` names it in messages.
BikeModelValues ParseBikeFile(const std::string& text, const char* fileName);

// Checks a set-up for the values the simulation divides by or indexes with:
// teeth 1..200, the first `gearCount` gear ratios above 0 (all finite and
// not negative), spring rates and the front low-speed bump rate above 0,
// every value finite, tyre numbers not negative. Returns the name of the
// first bad value, or null.
const char* FindBadBikeSetupValue(const BikeSetup& setup, int gearCount);

// Reads a track set-up file: exactly 108 bytes. A missing or short file, or
// a set-up with a bad value, throws a GameError naming the file.
BikeSetup ReadSetupFile(const char* path);

// Reads the list "MANUFACTURERS" of "Data\Info.dat" into the five models'
// records. Fewer than five records throws a GameError; every model name must
// be terminated and not empty.
void ReadManufacturers(const char* infoPath, BikeModel (&models)[kBikeModelCount]);

// Fills the five bike-model blocks for a track: the manufacturer records, the
// track's default set-up ("Data\Settings\<track>.set") and each model's bike
// file. Any missing or damaged file throws a GameError naming it, so the race
// load fails with a message instead of running bikes on zeroed values.
void LoadBikeModels(const char* trackName, BikeModel (&models)[kBikeModelCount]);
