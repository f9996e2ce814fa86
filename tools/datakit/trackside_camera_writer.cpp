#include "tools/datakit/trackside_camera_writer.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>

#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/typed_list_writer.h"
#include "tools/datakit/text_file_builder.h"

namespace datakit {

namespace {

// The cross-section at distance d along the lap.
const TrackFileSection& section_at(const BuiltCircuit& built, double d)
{
    const auto& metres = built.circuit.metres;
    const auto& sections = built.circuit.sections;
    std::size_t index = 0;
    if (!metres.empty()) {
        const auto m = static_cast<std::size_t>(std::max(0.0, std::floor(d))) % metres.size();
        index = static_cast<std::size_t>(std::max(0, metres[m].section));
    }
    return sections[std::min(index, sections.size() - 1)];
}

} // namespace

std::vector<TracksideCamera> trackside_cameras(const BuiltCircuit& built, double spacing)
{
    std::vector<TracksideCamera> cameras;
    if (built.circuit.sections.empty() || built.length <= 0.0 || spacing <= 0.0)
        return cameras;
    const int count = std::clamp(static_cast<int>(std::lround(built.length / spacing)), 2, 40);
    const double stretch = built.length / count;
    const double first = stretch * 0.5;
    for (int i = 0; i < count; ++i) {
        const double from = first + i * stretch;
        const double to = i + 1 == count ? first : from + stretch;
        const double middle = std::fmod(from + stretch * 0.5, built.length);
        const TrackFileSection& s = section_at(built, middle);
        const bool left = i % 2 == 0;
        const TrackFilePoint& edge = left ? s.edge0 : s.edge1;
        const TrackFilePoint& inner = left ? s.inner0 : s.inner1;
        double ox = edge.x - inner.x;
        double oz = edge.z - inner.z;
        const double length = std::hypot(ox, oz);
        if (length < 1e-6) {
            // A section without a verge: outwards is away from the other edge.
            const TrackFilePoint& other = left ? s.edge1 : s.edge0;
            ox = edge.x - other.x;
            oz = edge.z - other.z;
        }
        const double norm = std::max(1e-6, std::hypot(ox, oz));
        TracksideCamera c;
        c.name = "CAM" + std::to_string(i);
        c.x = static_cast<float>(edge.x + ox / norm * 12.0);
        c.y = edge.y + 5.0f;
        c.z = static_cast<float>(edge.z + oz / norm * 12.0);
        c.from = static_cast<float>(from);
        c.to = static_cast<float>(to);
        c.fov_min = 3.0f;
        c.fov_max = 50.0f;
        c.fake_zoom = i % 3 == 1 ? 0.25f : 0.0f;
        cameras.push_back(c);
    }
    return cameras;
}

std::string trackside_camera_text(const std::vector<TracksideCamera>& cameras)
{
    TypedListWriter out;
    out.begin_list("CAMERAS");
    out.comment("Nome X Y Z From To Foc.Min Foc.Max Fake Zoom");
    for (const TracksideCamera& c : cameras)
        out.record({TypedField::s(c.name), TypedField::f(c.x), TypedField::f(c.y), TypedField::f(c.z),
                    TypedField::f(c.from), TypedField::f(c.to), TypedField::f(c.fov_min), TypedField::f(c.fov_max),
                    TypedField::f(c.fake_zoom)});
    out.end_list();
    return out.text();
}

bool write_demo_trackside_cameras(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path folder = root / "Data" / "Tracks";
    if (!create_folders(folder, error))
        return false;
    for (const char* name : kDemoCircuitNames) {
        std::vector<TracksideCamera> cameras;
        try {
            cameras = trackside_cameras(build_demo_circuit(name));
        } catch (const std::exception& e) {
            error = std::string(name) + ": " + e.what();
            return false;
        }
        const std::string file = std::string(name).substr(0, 3) + "_cam.dat";
        if (!write_text_file(folder / file, trackside_camera_text(cameras), error))
            return false;
    }
    return true;
}

} // namespace datakit
