#include "sim/tyre.h"

#include <bit>
#include <cmath>
#include <cstdio>

#include "app/typed_list.h"
#include "sim/race_conditions.h"
#include "sim/terrain.h"

namespace {

constexpr float kThirdPi = 1.0471976f;
constexpr float kCamberToWeight = 0.95492965f; // 3 / pi
constexpr float kLn10 = 2.30258509f;
// The wear rate grows tenfold every WearDecade degrees; its exponent is
// clamped so that e^x stays far inside the float range, and the wear itself
// so that it never becomes infinite (a zero weight times infinity would make
// a NaN in the weighted sums).
constexpr double kMaxWearExponent = 80.0;
constexpr float kMaxWear = 1.0e30f;
constexpr float kMaxTemp = 1.0e6f;

float ClampMagnitude(float value, float limit)
{
    return value > limit ? limit : (value < -limit ? -limit : value);
}

} // namespace

float LogisticCurve(const float curve[4], float x)
{
    const float z = (x - curve[0]) * curve[1];
    if (z >= 500.0f)
        return curve[3];
    return curve[3] + (curve[2] - curve[3]) / static_cast<float>(std::exp(static_cast<double>(z)) + 1.0);
}

const char* FindBadTyreValue(const TyreRecord& record)
{
    struct Named {
        const char* name;
        float value;
    };
    const Named values[] = {
        {"CoolCentre", record.CoolCentre},     {"CoolShoulder", record.CoolShoulder},
        {"HeatCentre", record.HeatCentre},     {"HeatShoulder", record.HeatShoulder},
        {"WearDecade", record.WearDecade},     {"WearCentre", record.WearCentre},
        {"WearShoulder", record.WearShoulder}, {"WearCurve", record.WearCurve[0]},
        {"WearCurve", record.WearCurve[1]},    {"WearCurve", record.WearCurve[2]},
        {"WearCurve", record.WearCurve[3]},    {"TempCurve", record.TempCurve[0]},
        {"TempCurve", record.TempCurve[1]},    {"TempCurve", record.TempCurve[2]},
        {"TempCurve", record.TempCurve[3]},    {"GripScale", record.GripScale},
    };
    for (const Named& v : values) {
        if (!std::isfinite(v.value))
            return v.name;
    }
    if (record.WearDecade == 0.0f)
        return "WearDecade";
    if (record.CoolCentre < 0.0f)
        return "CoolCentre";
    if (record.CoolShoulder < 0.0f)
        return "CoolShoulder";
    return nullptr;
}

bool Tyre::Load(int number, std::string* problem)
{
    return LoadFrom(kTyreFile, number, CurrentRaceConditions().Weather, problem);
}

bool Tyre::LoadFrom(const char* path, int number, int weather, std::string* problem)
{
    char list[32];
    std::snprintf(list, sizeof list, "TYRE_%d", number);
    TyreRecord record;
    const int count = ReadTypedList(path, list, &record, static_cast<int>(sizeof record),
                                    static_cast<int>(sizeof record), 1);
    if (count != 1) {
        if (problem != nullptr)
            *problem = std::string("The tyre list \"") + list + "\" is missing from \"" + path +
                       "\" or holds fewer than 16 values";
        return false;
    }
    if (const char* bad = FindBadTyreValue(record)) {
        if (problem != nullptr)
            *problem = std::string("The tyre list \"") + list + "\" of \"" + path + "\" has a bad " + bad;
        return false;
    }
    SetCoefficients(record);
    if (number == 2 && weather != kWeatherRain)
        GripScale *= 0.5f;
    return true;
}

void Tyre::SetCoefficients(const TyreRecord& record)
{
    CoolCentre = record.CoolCentre;
    CoolShoulder = record.CoolShoulder;
    HeatCentre = record.HeatCentre;
    HeatShoulder = record.HeatShoulder;
    WearDecade = record.WearDecade;
    WearCentre = record.WearCentre;
    WearShoulder = record.WearShoulder;
    for (int i = 0; i < 4; ++i) {
        WearCurve[i] = record.WearCurve[i];
        TempCurve[i] = record.TempCurve[i];
    }
    GripScale = record.GripScale;
    WearExp = WearDecade != 0.0f ? kLn10 / WearDecade : 0.0f;
}

void Tyre::Init()
{
    Surface = 0;
    SurfaceA = 0.0f;
    SurfaceB = 0.0f;
    SurfaceC = 1.0f;
    SetCamber();
    Camber = 0.0f;
    for (int z = 0; z < 3; ++z) {
        Wear[z] = 0.0f;
        Temp[z] = TrackTemperature;
    }
    WeightedWear = 0.0f;
    WeightedTemp = 0.0f;
    Asymmetry = 0.0f;
    ZoneWeight[Left] = 0.0f;
    ZoneWeight[Centre] = 1.0f;
    ZoneWeight[Right] = 0.0f;
    Grip = WearGrip() * TempGrip() * GripScale;
    GripBlend(0, 0.0f);
}

void Tyre::SetCamber()
{
    const float c = Camber;
    float left = 0.0f;
    float centre = 0.0f;
    float right = 0.0f;
    if (c == 0.0f) {
        centre = 1.0f;
    } else if (c > 0.0f && c < kThirdPi) {
        right = c * kCamberToWeight;
        centre = 1.0f - right;
    } else if (c >= kThirdPi) {
        right = 1.0f;
    } else if (c >= -kThirdPi && c < 0.0f) {
        left = -c * kCamberToWeight;
        centre = 1.0f - left;
    } else {
        left = 1.0f; // below -pi/3 (and a camber that is not a number)
    }
    ZoneWeight[Left] = left;
    ZoneWeight[Centre] = centre;
    ZoneWeight[Right] = right;
}

void Tyre::Update(float camber, float work, float dt, float blend)
{
    Camber = camber;
    SetCamber();
    const float q = ((1.0f - blend) * (SurfaceHeat - 1.0f) + 1.0f) * work;

    for (int z = 0; z < 3; ++z) {
        if (ZoneWeight[z] == 0.0f)
            continue;
        const bool centre = z == Centre;
        const double exponent = static_cast<double>(WearExp) * static_cast<double>(Temp[z]);
        const float rate = static_cast<float>(
            std::exp(exponent > kMaxWearExponent ? kMaxWearExponent
                                                 : (exponent < -kMaxWearExponent ? -kMaxWearExponent : exponent)));
        Wear[z] = ClampMagnitude(Wear[z] + rate * q * SurfaceWear * ZoneWeight[z] * (centre ? WearCentre : WearShoulder),
                                 kMaxWear);
        Temp[z] = ClampMagnitude(Temp[z] + q * (centre ? HeatCentre : HeatShoulder) * ZoneWeight[z], kMaxTemp);
    }

    for (int z = 0; z < 3; ++z) {
        if (Temp[z] <= TrackTemperature) {
            Temp[z] = TrackTemperature;
        } else {
            const float cool = z == Centre ? CoolCentre : CoolShoulder;
            Temp[z] = (Temp[z] - AirTemperature) * CoolingFactor(z == Centre ? 0 : 1, -cool * dt) + AirTemperature;
        }
    }

    WeightedWear = 0.0f;
    WeightedTemp = 0.0f;
    for (int z = 0; z < 3; ++z) {
        if (ZoneWeight[z] == 0.0f)
            continue;
        WeightedWear += ZoneWeight[z] * Wear[z];
        WeightedTemp += ZoneWeight[z] * Temp[z];
    }
    Asymmetry = ZoneWeight[Right] - ZoneWeight[Left];

    Temp[Left] += 0.001f * (Temp[Centre] - Temp[Left]);
    Temp[Right] += 0.001f * (Temp[Centre] - Temp[Right]);

    Grip = WearGrip() * TempGrip() * GripScale;
}

float Tyre::CoolingFactor(int which, float exponent)
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(exponent);
    if (!CoolKnown[which] || CoolExponentBits[which] != bits) {
        CoolFactor[which] = static_cast<float>(std::exp(static_cast<double>(exponent)));
        CoolExponentBits[which] = bits;
        CoolKnown[which] = true;
    }
    return CoolFactor[which];
}

float Tyre::WearGrip() const
{
    return LogisticCurve(WearCurve, WeightedWear);
}

float Tyre::TempGrip() const
{
    return LogisticCurve(TempCurve, WeightedTemp);
}

void Tyre::GripBlend(int surface, float wetPercent)
{
    const int t = ClampSurfaceClass(surface);
    const TerrainRecord& table = TerrainTable;
    const float f = wetPercent / 100.0f;
    Surface = t;
    const float a = table.DryA[t] + (table.WetA[t] - table.DryA[t]) * f;
    const float b = table.DryB[t] + (table.WetB[t] - table.DryB[t]) * f;
    SurfaceA = a > 0.0f ? a : 0.0f;
    SurfaceB = b > 0.0f ? b : 0.0f;
    SurfaceC = table.DryC[t] + (table.WetC[t] - table.DryC[t]) * f;
    SurfaceD = table.DryD[t] + (table.WetD[t] - table.DryD[t]) * f;
    SurfaceHeat = table.HeatFactor[t];
    SurfaceWear = table.WearFactor[t];
}
