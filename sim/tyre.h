#pragma once

#include <cstdint>
#include <string>

// The coefficients of one tyre: list "TYRE_%d" of "Data\Tyres.dat", sixteen
// floats in this order.
struct TyreRecord {
    float CoolCentre = 0.0f;    // cooling rate of the centre zone, 1/s
    float CoolShoulder = 0.0f;  // cooling rate of the shoulders, 1/s
    float HeatCentre = 0.0f;    // degrees per unit of work, centre
    float HeatShoulder = 0.0f;  // degrees per unit of work, shoulders
    float WearDecade = 0.0f;    // degrees over which the wear rate grows tenfold (not 0)
    float WearCentre = 0.0f;    // wear per unit of work at 0 degrees, centre
    float WearShoulder = 0.0f;  // the same, shoulders
    float WearCurve[4] = {};    // logistic grip curve over wear: x0, k, from, to
    float TempCurve[4] = {};    // logistic grip curve over temperature
    float GripScale = 0.0f;     // overall grip factor
};
static_assert(sizeof(TyreRecord) == 64, "a tyre list holds 16 floats");

// Checks a tyre record: every value finite, WearDecade not 0, cooling rates
// not negative. Returns the name of the first bad value, or null.
const char* FindBadTyreValue(const TyreRecord& record);

// A logistic curve of four values (x0, k, from, to) at x: z = (x - x0) k;
// `to` when z >= 500, else to + (from - to) / (e^z + 1).
float LogisticCurve(const float curve[4], float x);

// The tyre of one wheel: temperature and wear of three zones across the
// tread (left shoulder, centre, right shoulder), weighted by the camber the
// tyre runs at, turned into a grip factor. Embedded in its WheelAssembly;
// plain data, zeroed with its bike.
class Tyre {
public:
    enum Zone : int { Left = 0, Centre = 1, Right = 2 };

    Tyre() = default; // everything zero; Init prepares a run

    // Reads list "TYRE_<number>" of "Data\Tyres.dat" into the coefficients.
    // WearExp = ln(10) / WearDecade; tyre number 2 has its GripScale halved
    // unless it rains. False (with `problem` set when given) when the file
    // or the list is missing, holds fewer than 16 values or a bad value; the
    // tyre is then left as it was.
    bool Load(int number, std::string* problem = nullptr);
    // The same from any tyre file (tests, tools), in the given weather.
    bool LoadFrom(const char* path, int number, int weather, std::string* problem = nullptr);
    // Takes the coefficients of a record directly (after FindBadTyreValue).
    void SetCoefficients(const TyreRecord& record);

    // Prepares the tyre for a run: asphalt, zones at the track temperature,
    // no wear, grip from the curves.
    void Init();

    // One sub-step: camber (rad), work done on the tyre (slip input x slip
    // gain), step length, and the wheel's grip (1 within grip; below 1 the
    // surface's heat factor applies in part).
    void Update(float camber, float work, float dt, float blend);

    float WearGrip() const; // WearCurve at WeightedWear
    float TempGrip() const; // TempCurve at WeightedTemp

    // ZoneWeight from Camber: all on the centre at 0, moving linearly onto
    // the shoulder on the side of the camber, all on it from pi/3.
    void SetCamber();

    // Takes the terrain values of a surface class blended from dry to wet by
    // wetPercent (0..100): A and B never below 0.
    void GripBlend(int surface, float wetPercent);

    // State (saved with the bike's snapshot, in this order).
    float Wear[3] = {};
    float Temp[3] = {};
    float Grip = 0.0f;
    std::int32_t Surface = 0;
    float SurfaceC = 0.0f;
    float SurfaceB = 0.0f;
    float SurfaceA = 0.0f;
    float SurfaceD = 0.0f;
    float SurfaceHeat = 0.0f;
    float SurfaceWear = 0.0f;
    float Camber = 0.0f;
    float ZoneWeight[3] = {};
    float WeightedWear = 0.0f;
    float WeightedTemp = 0.0f;
    float Asymmetry = 0.0f;

    // Coefficients of the tyre record, in file order.
    float CoolCentre = 0.0f;
    float CoolShoulder = 0.0f;
    float HeatCentre = 0.0f;
    float HeatShoulder = 0.0f;
    float WearDecade = 0.0f;
    float WearCentre = 0.0f;
    float WearShoulder = 0.0f;
    float WearCurve[4] = {};
    float TempCurve[4] = {};
    float GripScale = 0.0f;
    float WearExp = 0.0f; // ln(10) / WearDecade

    // The cooling factor e^(-cool x dt) of the centre (0) and the shoulders
    // (1), with the exponent it was worked out for. The exponent is the same
    // step after step at a fixed step length, so the exponential is worked
    // out again only for another exponent (the same bits give the same
    // factor). Not part of the state: any exponent finds its own factor.
    bool CoolKnown[2] = {false, false};
    std::uint32_t CoolExponentBits[2] = {0, 0};
    float CoolFactor[2] = {0.0f, 0.0f};

private:
    float CoolingFactor(int which, float exponent);
};

// The tyre file's path and list name for a tyre number ("TYRE_%d").
inline constexpr const char* kTyreFile = "Data\\Tyres.dat";
inline constexpr const char* kTerrainFile = "Data\\Terrain.dat";
