#include "sim/bike_parameters.h"

#include <cmath>
#include <cstring>
#include <span>

#include "app/game_error.h"
#include "app/text_number.h"
#include "app/text_source.h"
#include "app/typed_list.h"
#include "platform/byte_reader.h"
#include "platform/file.h"

namespace {

// Largest power table a bike file may give (100 000 rpm).
constexpr int kMaxPowerEntries = 1000;
// Teeth counts a sprocket or crown can have.
constexpr int kMaxTeeth = 200;
// Steering-head angles (rake) a bike can have, rad; with the wheelbase range
// below the wheelbase a set-up gives stays well above 0.
constexpr float kMaxRake = 1.0f;
constexpr float kMinWheelbase = 1.0f;
constexpr float kMaxWheelbase = 3.0f;

// Walks the whitespace-separated numbers of a bike file. Every value must be
// a whole number token; anything else fails the load naming the file and the
// value.
class NumberReader {
public:
    NumberReader(const std::string& text, const char* fileName) : text_(text), file_(fileName) {}

    std::int32_t Int(const char* what)
    {
        const std::string token = Next(what);
        std::int32_t value = 0;
        if (ScanDecimalInt(token.c_str(), value) != token.size())
            Fail(what, token);
        return value;
    }

    float Float(const char* what)
    {
        const std::string token = Next(what);
        float value = 0.0f;
        if (ScanFloat(token.c_str(), value) != token.size() || !std::isfinite(value))
            Fail(what, token);
        return value;
    }

    // A float that the simulation divides by or scales with: above 0.
    float Positive(const char* what)
    {
        const float value = Float(what);
        if (value <= 0.0f)
            Fail(what, std::to_string(value));
        return value;
    }

    [[noreturn]] void Fail(const char* what, const std::string& token) const
    {
        ThrowGameError("Bad value \"%s\" for %s in %s", token.c_str(), what, file_);
    }

private:
    std::string Next(const char* what)
    {
        while (pos_ < text_.size() && IsBlank(text_[pos_]))
            ++pos_;
        if (pos_ >= text_.size())
            ThrowGameError("Missing value for %s in %s", what, file_);
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !IsBlank(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

    const std::string& text_;
    const char* file_;
    std::size_t pos_ = 0;
};

// The twelve values of one wheel: tyre width (mm), aspect (percent), rim
// diameter (inches), then nine values in WheelParameters order.
WheelParameters ReadWheel(NumberReader& in, const char* fileName, const char* end)
{
    std::string name = std::string(end) + " tyre width";
    const float widthMm = in.Positive(name.c_str());
    name = std::string(end) + " tyre aspect";
    const float aspectPercent = in.Positive(name.c_str());
    name = std::string(end) + " rim diameter";
    const float rimInches = in.Positive(name.c_str());

    WheelParameters w;
    w.Radius = WheelRadiusFromTyreSize(widthMm, aspectPercent, rimInches, &w.TyreWidth, &w.TyreAspect, &w.RimRadius);
    float* const rest[] = {&w.LengthBase, &w.LengthScale, &w.LengthFactor, &w.MaxTravel, &w.LeverRatio,
                           &w.Rake,       &w.Inertia,     &w.BrakeDrag,    &w.SlipGain};
    static const char* const kNames[] = {"length base", "length scale", "length factor",
                                         "maximum travel", "lever ratio", "rake",
                                         "inertia", "brake drag", "slip gain"};
    for (std::size_t i = 0; i < std::size(rest); ++i) {
        name = std::string(end) + " " + kNames[i];
        *rest[i] = in.Float(name.c_str());
    }
    if (const char* bad = FindBadWheelParameter(w))
        ThrowGameError("Bad %s wheel value %s in %s", end, bad, fileName);
    if (w.Rake < 0.0f || w.Rake > kMaxRake) {
        name = std::string(end) + " rake";
        in.Fail(name.c_str(), std::to_string(w.Rake));
    }
    return w;
}

bool SafeFileComponent(const char* name)
{
    if (!name[0])
        return false;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            return false;
    return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

} // namespace

std::string BikeFileName(const char* modelName)
{
    return std::string("Data\\Bikes\\") + modelName + ".dat";
}

std::string SetupFileName(const char* trackName)
{
    return std::string("Data\\Settings\\") + trackName + ".set";
}

BikeModelValues ParseBikeFile(const std::string& text, const char* fileName)
{
    NumberReader in(text, fileName);
    BikeModelValues v;

    v.GearCount = in.Int("gear count");
    if (v.GearCount < 1 || v.GearCount > kMaxGears)
        in.Fail("gear count", std::to_string(v.GearCount));
    for (int g = 0; g < v.GearCount; ++g)
        v.GearRatio[g] = in.Positive("gear ratio");
    v.PrimaryRatio = in.Positive("primary ratio");
    v.SprocketTeeth = in.Int("sprocket teeth");
    if (v.SprocketTeeth < 1 || v.SprocketTeeth > kMaxTeeth)
        in.Fail("sprocket teeth", std::to_string(v.SprocketTeeth));
    v.CrownTeeth = in.Int("crown teeth");
    if (v.CrownTeeth < 1 || v.CrownTeeth > kMaxTeeth)
        in.Fail("crown teeth", std::to_string(v.CrownTeeth));

    v.Mass = in.Positive("mass");
    v.BaseWheelbase = in.Positive("wheelbase");
    if (v.BaseWheelbase < kMinWheelbase || v.BaseWheelbase > kMaxWheelbase)
        in.Fail("wheelbase", std::to_string(v.BaseWheelbase));
    v.MassForward = in.Float("centre of mass forward");
    if (v.MassForward < 0.0f || v.MassForward > v.BaseWheelbase)
        in.Fail("centre of mass forward", std::to_string(v.MassForward));
    v.MassHeight = in.Positive("centre of mass height");
    v.DragC0 = in.Float("drag c0");
    v.DragC1 = in.Float("drag c1");
    v.DragC2 = in.Float("drag c2");
    v.EngineBrakeE0 = in.Float("engine braking e0");
    v.EngineBrakeE1 = in.Float("engine braking e1");
    v.EngineBrakeE2 = in.Float("engine braking e2");
    v.SideSlipDivisor = in.Positive("side-slip divisor");

    const float shared = in.Float("shared wheel value");
    v.Front = ReadWheel(in, fileName, "front");
    v.Rear = ReadWheel(in, fileName, "rear");
    v.Front.Shared = shared;
    v.Rear.Shared = shared;

    v.PowerHeader = static_cast<float>(in.Int("power table header"));
    v.TopRevs = in.Int("power table revs");
    const int entries = v.TopRevs / 100;
    if (entries < 1 || entries > kMaxPowerEntries)
        in.Fail("power table revs", std::to_string(v.TopRevs));
    v.PowerTable.resize(static_cast<std::size_t>(entries));
    for (float& kw : v.PowerTable) {
        kw = in.Float("power table value");
        if (kw < 0.0f)
            in.Fail("power table value", std::to_string(kw));
    }
    return v;
}

BikeModelValues ReadBikeFile(const char* path)
{
    TextSource source;
    if (!source.open(path))
        ThrowGameError("Missing bike file %s", path);
    std::string text;
    text.reserve(static_cast<std::size_t>(source.size()));
    for (int c = source.get(); c >= 0; c = source.get())
        text.push_back(static_cast<char>(c));
    return ParseBikeFile(text, path);
}

const char* FindBadBikeSetupValue(const BikeSetup& s, int gearCount)
{
    // Every float is tested for being finite before it is compared, so a
    // damaged value raises no floating-point exception here.
    if (!std::isfinite(s.FrontLimiter) || !std::isfinite(s.RearLimiter))
        return "limiter";
    if (!std::isfinite(s.SteeringHeadAngle) || s.SteeringHeadAngle <= 0.0f || s.SteeringHeadAngle > kMaxRake)
        return "steering head angle";
    if (!std::isfinite(s.Trail))
        return "trail";
    if (s.SprocketTeeth < 1 || s.SprocketTeeth > kMaxTeeth)
        return "sprocket teeth";
    if (s.CrownTeeth < 1 || s.CrownTeeth > kMaxTeeth)
        return "crown teeth";
    if (gearCount > kMaxGears)
        gearCount = kMaxGears;
    for (int g = 0; g < kMaxGears; ++g) {
        const float ratio = s.GearRatio[g];
        if (!std::isfinite(ratio) || ratio < 0.0f || (g < gearCount && ratio == 0.0f))
            return "gear ratio";
    }
    if (!std::isfinite(s.FrontSpring) || s.FrontSpring <= 0.0f)
        return "front spring";
    if (!std::isfinite(s.RearSpring) || s.RearSpring <= 0.0f)
        return "rear spring";
    const float finite[] = {s.FrontPreload,     s.RearPreload,     s.FrontBumpHigh,    s.RearBumpHigh,
                            s.FrontBumpLow,     s.RearBumpLow,     s.FrontReboundHigh, s.RearReboundHigh,
                            s.FrontReboundLow,  s.RearReboundLow};
    for (float value : finite)
        if (!std::isfinite(value))
            return "damper or preload";
    if (s.FrontBumpLow <= 0.0f)
        return "front bump low";
    if (s.FrontTyre < 0 || s.RearTyre < 0)
        return "tyre";
    return nullptr;
}

BikeSetup ReadSetupFile(const char* path)
{
    std::vector<std::uint8_t> bytes;
    if (!platform::read_whole_file(path, bytes))
        ThrowGameError("Missing track set-up file %s", path);
    if (bytes.size() != kBikeSetupBytes)
        ThrowGameError("Track set-up file %s holds %zu bytes, not %zu", path, bytes.size(), kBikeSetupBytes);
    platform::ByteReader in(bytes);
    BikeSetup setup;
    if (!ReadBikeSetup(in, &setup))
        ThrowGameError("Track set-up file %s cannot be read", path);
    if (const char* bad = FindBadBikeSetupValue(setup, 1))
        ThrowGameError("Bad %s in track set-up file %s", bad, path);
    return setup;
}

void ReadManufacturers(const char* infoPath, BikeModel (&models)[kBikeModelCount])
{
    ManufacturerRecord records[kBikeModelCount];
    const int read = ReadTypedList(infoPath, "MANUFACTURERS", std::span(records));
    if (read < kBikeModelCount)
        ThrowGameError("The list MANUFACTURERS of %s holds %d bike models, not %d", infoPath, read,
                       kBikeModelCount);
    for (int k = 0; k < kBikeModelCount; ++k) {
        ManufacturerRecord& r = records[k];
        r.ModelName[sizeof r.ModelName - 1] = '\0';
        r.Maker[sizeof r.Maker - 1] = '\0';
        if (!SafeFileComponent(r.ModelName))
            ThrowGameError("Bad model name \"%s\" in the list MANUFACTURERS of %s", r.ModelName, infoPath);
        if (!std::isfinite(r.RevLimit) || !std::isfinite(r.HeatSlope) || !std::isfinite(r.HeatCold) ||
            !std::isfinite(r.HeatHot) || r.RevLimit <= 0.0f)
            ThrowGameError("Bad engine values of %s in the list MANUFACTURERS of %s", r.ModelName, infoPath);
    }
    for (int k = 0; k < kBikeModelCount; ++k)
        models[k].Maker = records[k];
}

void LoadBikeModels(const char* trackName, BikeModel (&models)[kBikeModelCount])
{
    ReadManufacturers("Data\\Info.dat", models);
    const std::string setupPath = SetupFileName(trackName);
    const BikeSetup setup = ReadSetupFile(setupPath.c_str());
    for (BikeModel& model : models) {
        const std::string path = BikeFileName(model.Maker.ModelName);
        model.Values = ReadBikeFile(path.c_str());
        if (const char* bad = FindBadBikeSetupValue(setup, model.Values.GearCount))
            ThrowGameError("Bad %s in track set-up file %s for %s", bad, setupPath.c_str(), model.Maker.ModelName);
        model.DefaultSetup = setup;
        model.Loaded = true;
    }
}
