#include "tools/datakit/demo_circuits.h"

#include <cctype>
#include <system_error>

#include "tools/datakit/track_writer.h"
#include "tools/datakit/text_file_builder.h"

namespace datakit {

namespace {

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

CircuitPiece with_kerbs(CircuitPiece p)
{
    p.kerbs = true;
    return p;
}

CircuitPiece with_gravel(CircuitPiece p, double verge)
{
    p.kerbs = true;
    p.gravel = true;
    p.outside_verge = verge;
    return p;
}

CircuitPiece banked(CircuitPiece p, double degrees)
{
    p.bank_deg = degrees;
    return p;
}

PitLaneStyle pit_lane(int side, double entry_before, double exit_after)
{
    PitLaneStyle pit;
    pit.present = true;
    pit.side = side;
    pit.entry_before = entry_before;
    pit.exit_after = exit_after;
    return pit;
}

// About 3.3 km, clockwise: a 650 m main straight, a slow first corner, a fast
// kink and sweeper onto the back straight, a hairpin, an S, a long sweeper
// and a tight final sequence; gentle hills; pits on the left of the straight.
CircuitDescription island(std::string_view name)
{
    CircuitDescription d;
    d.name = std::string(name);
    d.pieces = {
        straight(300.0),
        with_gravel(right(50.0, 90.0), 12.0),
        straight(250.0),
        with_kerbs(left(180.0, 35.0)),
        with_kerbs(right(150.0, 75.0)),
        solved_straight(),
        with_gravel(right(35.0, 150.0), 12.0),
        straight(200.0),
        with_kerbs(left(80.0, 50.0)),
        with_kerbs(right(90.0, 60.0)),
        straight(150.0),
        right(250.0, 20.0),
        with_gravel(left(55.0, 90.0), 10.0),
        solved_straight(),
        banked(with_gravel(right(60.0, 140.0), 10.0), 4.0),
        straight(350.0),
    };
    d.hills = {{1200.0, 400.0, 6.0}, {1900.0, 120.0, 1.5}, {2600.0, 300.0, -3.0}};
    d.pit = pit_lane(-1, 320.0, 260.0);
    return d;
}

// About 3.1 km: a 1.1 km straight between two banked ends, an undulating
// back straight and a chicane.
CircuitDescription speedway(std::string_view name)
{
    CircuitDescription d;
    d.name = std::string(name);
    d.pieces = {
        straight(450.0),
        banked(right(150.0, 185.0), 12.0),
        solved_straight(),
        with_gravel(left(60.0, 30.0), 10.0),
        with_gravel(right(60.0, 60.0), 10.0),
        with_kerbs(left(60.0, 30.0)),
        straight(250.0),
        banked(right(100.0, 175.0), 10.0),
        solved_straight(),
    };
    // The back straight runs from about 934 m to 1709 m.
    d.hills = {{1050.0, 150.0, 2.5}, {1200.0, 150.0, -2.0}, {1350.0, 150.0, 3.0}, {1500.0, 150.0, -1.5},
               {1640.0, 100.0, 1.0}};
    d.pit = pit_lane(-1, 320.0, 260.0);
    return d;
}

// A 2.7 km rounded rectangle, flat.
CircuitDescription rectangle(std::string_view name, bool with_pit_lane)
{
    CircuitDescription d;
    d.name = std::string(name);
    d.pieces = {
        straight(200.0),
        with_kerbs(right(80.0, 90.0)),
        solved_straight(),
        with_kerbs(right(80.0, 90.0)),
        straight(500.0),
        with_kerbs(right(80.0, 90.0)),
        straight(600.0),
        with_kerbs(right(80.0, 90.0)),
        solved_straight(),
    };
    if (with_pit_lane)
        d.pit = pit_lane(-1, 280.0, 180.0);
    return d;
}

} // namespace

CircuitDescription demo_circuit_description(std::string_view name)
{
    if (same_name(name, "Monza") || same_name(name, "a1ring"))
        return speedway(name);
    if (same_name(name, "Sugo"))
        return rectangle(name, true);
    if (same_name(name, "Sentul"))
        return rectangle(name, false);
    return island(name);
}

BuiltCircuit build_demo_circuit(std::string_view name) { return build_circuit(demo_circuit_description(name)); }

bool write_demo_circuit(const std::filesystem::path& root, std::string_view name, std::string& error)
{
    const std::filesystem::path folder = root / "Data" / "Tracks";
    if (!create_folders(folder, error))
        return false;
    BuiltCircuit built;
    try {
        built = build_demo_circuit(name);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    const std::string base(name);
    if (!write_track_file(folder / (base + ".dat"), built.circuit, error))
        return false;
    if (built.has_pit_lane && !write_track_file(folder / (base + "_pit.dat"), built.pit_lane, error))
        return false;
    return true;
}

bool write_demo_tracks(const std::filesystem::path& root, std::string& error)
{
    for (const char* name : kDemoCircuitNames) {
        if (!write_demo_circuit(root, name, error))
            return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(root / "Data", ec);
    return write_heights_file(root / "Data" / "Heights.dat", demo_bump_profile(), error);
}

} // namespace datakit
