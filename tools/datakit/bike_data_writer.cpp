#include "tools/datakit/bike_data_writer.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "platform/byte_writer.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/text_file_builder.h"

namespace datakit {

void add_manufacturers_list(TypedListWriter& out, const std::vector<ManufacturerSpec>& records)
{
    out.begin_list("MANUFACTURERS");
    for (const ManufacturerSpec& r : records)
        out.record({TypedField::i(r.id), TypedField::s(r.model_name), TypedField::s(r.maker),
                    TypedField::f(r.rev_limit), TypedField::f(r.heat_slope), TypedField::f(r.heat_cold),
                    TypedField::f(r.heat_hot)});
    out.end_list();
}

namespace {

void add_number(TextFileBuilder& out, float value)
{
    out.add_line(format_float(value));
}

void add_number(TextFileBuilder& out, std::int32_t value)
{
    out.add_line(std::to_string(value));
}

void add_wheel(TextFileBuilder& out, const WheelSpec& w)
{
    for (float value : {w.width_mm, w.aspect_percent, w.rim_inches, w.length_base, w.length_scale,
                        w.length_factor, w.max_travel, w.lever_ratio, w.rake, w.inertia, w.brake_drag,
                        w.slip_gain})
        add_number(out, value);
}

} // namespace

std::string bike_file_text(const BikeFileSpec& spec)
{
    TextFileBuilder out;
    add_number(out, static_cast<std::int32_t>(spec.gear_ratios.size()));
    for (float ratio : spec.gear_ratios)
        add_number(out, ratio);
    add_number(out, spec.primary_ratio);
    add_number(out, spec.sprocket_teeth);
    add_number(out, spec.crown_teeth);
    for (float value : {spec.mass, spec.wheelbase, spec.mass_forward, spec.mass_height, spec.drag[0],
                        spec.drag[1], spec.drag[2]})
        add_number(out, value);
    for (float value : spec.engine_brake)
        add_number(out, value);
    add_number(out, spec.side_slip_divisor);
    add_number(out, spec.shared);
    add_wheel(out, spec.front);
    add_wheel(out, spec.rear);
    add_number(out, spec.power_header);
    add_number(out, spec.top_revs);
    for (float kw : spec.power_kw)
        add_number(out, kw);
    return out.text();
}

bool write_bike_file(const std::filesystem::path& path, const BikeFileSpec& spec, std::string& error)
{
    return write_text_file(path, bike_file_text(spec), error);
}

std::vector<std::uint8_t> setup_file_bytes(const BikeSetup& setup)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    WriteBikeSetup(out, setup);
    return bytes;
}

bool write_setup_file(const std::filesystem::path& path, const BikeSetup& setup, std::string& error)
{
    const std::vector<std::uint8_t> bytes = setup_file_bytes(setup);
    return write_text_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                           error);
}

std::vector<ManufacturerSpec> demo_manufacturers()
{
    // Invented makers. The engine record: revs limit, heat slope, the
    // engine temperature well below the limit and far above it (it fails
    // at 0.9).
    return {
        {0, "Vortan", "Vortan", 13500.0f, 0.0025f, 0.60f, 1.00f},
        {1, "Kestrel", "Kestrel", 13200.0f, 0.0025f, 0.60f, 1.00f},
        {2, "Ardena", "Ardena", 12800.0f, 0.0020f, 0.58f, 1.00f},
        {3, "Mistral", "Mistral", 12500.0f, 0.0020f, 0.58f, 1.00f},
        {4, "Corsaro", "Corsaro", 12200.0f, 0.0018f, 0.55f, 1.00f},
    };
}

std::vector<float> power_curve(float peak_kw, float peak_rpm, int entries)
{
    std::vector<float> table(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        const double rpm = 100.0 * i;
        double kw;
        if (rpm <= peak_rpm) {
            // Rises like a torque curve that is flat over the middle revs.
            const double x = rpm / peak_rpm;
            kw = peak_kw * x * (1.6 - 0.6 * x * x);
        } else {
            // Falls off past the peak.
            const double over = (rpm - peak_rpm) / 1000.0;
            kw = peak_kw * (1.0 - 0.06 * over * over);
        }
        table[static_cast<std::size_t>(i)] = static_cast<float>(kw > 0.0 ? kw : 0.0);
    }
    return table;
}

BikeFileSpec demo_bike(int model)
{
    struct Character {
        float peak_kw;
        float peak_rpm;
        float mass;
        float wheelbase;
        float mass_forward;
        float mass_height;
        float drag_c2;
    };
    static const std::array<Character, kDemoBikeModels> models = {{
        {150.0f, 12600.0f, 203.0f, 1.415f, 0.70f, 0.74f, 0.215f},
        {146.0f, 12400.0f, 200.0f, 1.405f, 0.71f, 0.75f, 0.210f},
        {141.0f, 12000.0f, 198.0f, 1.420f, 0.69f, 0.73f, 0.205f},
        {136.0f, 11800.0f, 205.0f, 1.430f, 0.70f, 0.76f, 0.212f},
        {131.0f, 11500.0f, 201.0f, 1.410f, 0.72f, 0.74f, 0.208f},
    }};
    const Character& c = models[static_cast<std::size_t>(model >= 0 && model < kDemoBikeModels ? model : 0)];

    BikeFileSpec b;
    b.gear_ratios = {2.615f, 1.950f, 1.585f, 1.350f, 1.190f, 1.075f};
    b.primary_ratio = 1.75f;
    b.sprocket_teeth = 16;
    b.crown_teeth = 42;
    b.mass = c.mass;
    b.wheelbase = c.wheelbase;
    b.mass_forward = c.mass_forward;
    b.mass_height = c.mass_height;
    b.drag[0] = 30.0f;   // rolling resistance, N
    b.drag[1] = 0.5f;    // N per m/s
    b.drag[2] = c.drag_c2; // N per (m/s)^2: half the air density x Cd x A, tucked in
    b.engine_brake[0] = 20.0f;
    b.engine_brake[1] = 0.005f;
    b.engine_brake[2] = 1.5e-6f;
    b.side_slip_divisor = 2.0f;
    b.shared = 1.0f;
    // 120/70 ZR17 front, 180/55 ZR17 rear: 0.300 m and 0.3149 m.
    b.front = {120.0f, 70.0f, 17.0f, 0.0f, 1.0f, 0.2999f, 0.12f, 1.0f, 0.40f, 12.0f, 20.0f, 1.0f};
    b.rear = {180.0f, 55.0f, 17.0f, 0.0f, 1.0f, 0.3149f, 0.065f, 0.5f, 0.0f, 18.0f, 0.0f, 1.0f};
    b.power_header = 100;
    b.top_revs = 14000;
    b.power_kw = power_curve(c.peak_kw, c.peak_rpm, b.top_revs / 100);
    return b;
}

BikeSetup demo_setup(int circuit)
{
    BikeSetup s;
    s.PlayerFlags = 0;
    s.FrontLimiter = 1.0f;
    s.RearLimiter = 1.0f;
    s.SteeringHeadAngle = 0.4189f; // 24 degrees
    s.Trail = 0.100f;
    s.SprocketTeeth = 16;
    // Fast circuits get a longer final drive.
    static const std::array<std::int32_t, 12> crown = {40, 42, 42, 41, 39, 43, 43, 42, 42, 43, 42, 41};
    s.CrownTeeth = circuit >= 0 && circuit < 12 ? crown[static_cast<std::size_t>(circuit)] : 42;
    const float ratios[6] = {2.615f, 1.950f, 1.585f, 1.350f, 1.190f, 1.075f};
    for (int g = 0; g < 6; ++g)
        s.GearRatio[g] = ratios[g];
    s.FrontSpring = 0.95f;  // kg/mm per fork leg
    s.RearSpring = 10.0f;   // kg/mm
    s.FrontPreload = 12.0f; // mm
    s.RearPreload = 10.0f;
    s.FrontBumpHigh = 2500.0f;
    s.RearBumpHigh = 11000.0f;
    s.FrontBumpLow = 600.0f;
    s.RearBumpLow = 6600.0f;
    s.FrontReboundHigh = 250.0f;
    s.RearReboundHigh = 2500.0f;
    s.FrontReboundLow = 1250.0f;
    s.RearReboundLow = 10000.0f;
    s.FrontTyre = 0; // medium slicks
    s.RearTyre = 0;
    return s;
}

bool write_demo_bike_data(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path data = root / "Data";
    const std::vector<ManufacturerSpec> makers = demo_manufacturers();
    TypedListWriter info;
    add_manufacturers_list(info, makers);
    if (!info.write(data / "Info.dat", error))
        return false;
    for (int k = 0; k < kDemoBikeModels; ++k)
        if (!write_bike_file(data / "Bikes" / (makers[static_cast<std::size_t>(k)].model_name + ".dat"),
                             demo_bike(k), error))
            return false;
    for (int circuit = 0; circuit < 12; ++circuit)
        if (!write_setup_file(data / "Settings" / (std::string(kDemoCircuitNames[circuit]) + ".set"),
                              demo_setup(circuit), error))
            return false;
    return true;
}

} // namespace datakit
