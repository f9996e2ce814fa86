// render_world: pictures of the demo world drawn by the engine.
//
//   render_world <data folder> <output folder> [circuit]
//
// Loads a circuit's track scene, its sunny sky and a bike with its rider
// from the data kit's output (build/data) the way a race does (the scene,
// the sky instance "Back" scaled to the far plane, the light of the
// circuit's sunny scene record as a directional light instance, the bike
// libraries), and draws a few views through the engine's scene view on the
// platform's 3D device and on the game's software rasteriser (8-bit, the
// ".mtp" materials, the track palette and its shade table). Each view is
// written as "world-<view>-<device|software>.png". Run by hand (it is not
// part of the build's data step); docs/demo-world.md shows the pictures.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/engine.h"
#include "engine/base/mat4.h"
#include "engine/base/light_record.h"
#include "engine/base/name_hash.h"
#include "engine/base/shade_table.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/lights.h"
#include "engine/scene/map_grid.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "platform/atomic_file.h"
#include "platform/crc32.h"
#include "platform/display.h"
#include "platform/window.h"
#include "tools/datakit/circuit_builder.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/race_data_writer.h"
#include "tools/datakit/track_writer.h"
#include "tools/datakit/world_bike_models.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr float kFar = 1500.0f;

struct Rgb8 {
    std::vector<std::uint8_t> pixels;  // kWidth x kHeight x 3
};

// ---- PNG (deflate through zlib) ----

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(std::vector<std::uint8_t>& out, const char* tag, const std::vector<std::uint8_t>& data)
{
    put_u32(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(tag, tag + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    put_u32(out, platform::crc32(body.data(), body.size()));
}

bool write_png(const std::filesystem::path& path, const Rgb8& image)
{
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < kHeight; ++y) {
        raw.push_back(0);
        const auto* row = &image.pixels[static_cast<std::size_t>(y) * kWidth * 3];
        raw.insert(raw.end(), row, row + kWidth * 3);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    packed.resize(packed_size);
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put_u32(header, kWidth);
    put_u32(header, kHeight);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", {});
    std::string error;
    if (!platform::write_file_atomic(path.string(), png, &error)) {
        std::fprintf(stderr, "render_world: %s\n", error.c_str());
        return false;
    }
    return true;
}

platform::LResult Proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

// ---- Where to look ----

struct V {
    float x, y, z;
};
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V operator*(V a, float s) { return {a.x * s, a.y * s, a.z * s}; }
V unit(V a)
{
    const float l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return l > 0.0f ? a * (1.0f / l) : V{0.0f, 0.0f, 1.0f};
}

V mid(const datakit::TrackFileSection& s)
{
    return {(s.inner0.x + s.inner1.x) * 0.5f, (s.inner0.y + s.inner1.y) * 0.5f, (s.inner0.z + s.inner1.z) * 0.5f};
}

struct View {
    std::string name;
    V eye, target;
    float fov;           // radians
    bool bike = false;   // the bike and its rider stand at `bike_at`
    V bike_at{};
    float bike_heading = 0.0f;
};

// The views of a circuit: the grid and the gantry from behind the last
// slot; a kerbed corner with gravel from outside; a bike and its rider on
// the grid; the sky towards the sun.
std::vector<View> circuit_views(const datakit::BuiltCircuit& built, const float light[3])
{
    const auto& sections = built.circuit.sections;
    const int n = static_cast<int>(sections.size());
    auto at = [&](int i) { return mid(sections[static_cast<std::size_t>(((i % n) + n) % n)]); };
    std::vector<View> views;

    // Start: 50 m behind the line, 5 m up, looking down the straight.
    {
        const V eye = at(-50) + V{0.0f, 5.0f, 0.0f};
        views.push_back({"start", eye, at(40) + V{0.0f, 2.0f, 0.0f}, 1.2f});
    }
    // Corner: the middle of the first piece with gravel, seen from its
    // outside, behind the apex.
    {
        int best = 0;
        float sharpest = 0.0f;
        for (int i = 0; i < n; i += 4) {
            const V a = unit(at(i) - at(i - 10)), b = unit(at(i + 10) - at(i));
            const float turn = 1.0f - (a.x * b.x + a.z * b.z);
            const auto& s = sections[static_cast<std::size_t>(i)];
            const bool kerbed = s.left_strips != datakit::kTrackFileNoStrips || s.right_strips != datakit::kTrackFileNoStrips;
            if (kerbed && turn > sharpest) {
                sharpest = turn;
                best = i;
            }
        }
        const V centre = at(best);
        const V ahead = unit(at(best + 10) - at(best - 10));
        // The outside of the turn: away from where the road bends.
        const V bend = (at(best + 25) + at(best - 25)) * 0.5f - centre;
        V out{-ahead.z, 0.0f, ahead.x};
        if (out.x * bend.x + out.z * bend.z > 0.0f)
            out = out * -1.0f;
        const V eye = centre - ahead * 35.0f + out * 22.0f + V{0.0f, 7.0f, 0.0f};
        views.push_back({"corner", eye, centre + ahead * 10.0f, 1.1f});
    }
    // A bike and its rider on the grid's first slot.
    {
        const datakit::TrackFileXZ slot = built.circuit.slots[0];
        const V ahead = unit(at(10) - at(-10));
        const V place{slot.x, at(-5).y, slot.z};
        V side{-ahead.z, 0.0f, ahead.x};
        const V eye = place + ahead * 3.2f + side * 2.8f + V{0.0f, 1.5f, 0.0f};
        View v{"bike", eye, place + V{0.0f, 0.55f, 0.0f}, 0.9f, true, place, std::atan2(ahead.x, ahead.z)};
        views.push_back(v);
    }
    // The sky: from the start line towards the sun, 30 degrees up, so that
    // the sun and the horizon are both in the picture.
    {
        const V sun = unit({light[0], 0.0f, light[2]});
        const V eye = at(0) + V{0.0f, 2.0f, 0.0f};
        views.push_back({"sky", eye, eye + sun * 100.0f + V{0.0f, 57.7f, 0.0f}, 1.6f});
    }
    return views;
}

// ---- Drawing ----

class Renderer {
public:
    Renderer(std::filesystem::path data, std::string circuit) : data_(std::move(data)), circuit_(std::move(circuit))
    {
        current_engine = &engine_;
        platform::register_window_class("RenderWorld", 0, &Proc);
        window_ = platform::create_window(0, "RenderWorld", "Render world", 0, 0, 0, kWidth, kHeight);
        set_the_render_device(&device_);
        install_mesh_draw_hooks();
    }
    ~Renderer()
    {
        device_.release();
        set_the_render_device(nullptr);
        current_engine = nullptr;
    }

    bool draw(bool hardware, const View& view, int circuit_index, Rgb8& image);

private:
    std::string path(const std::string& relative) const { return (data_ / relative).string(); }
    bool open(bool hardware);

    std::filesystem::path data_;
    std::string circuit_;
    engine engine_;
    render_device device_;
    platform::WindowHandle window_{};
};

bool Renderer::open(bool hardware)
{
    if (!platform::set_client_size(window_, kWidth, kHeight, false))
        return false;
    if (device_.enumerate_drivers(window_) < 1)
        return false;
    return device_.init(0, kWidth, kHeight, 16, hardware ? 1 : 0) == 1;
}

bool Renderer::draw(bool hardware, const View& v, int circuit_index, Rgb8& image)
{
    if (!open(hardware)) {
        std::fprintf(stderr, "render_world: the display does not open\n");
        return false;
    }
    const std::string track = path("Gfx/Tracks/" + circuit_);
    const std::string pal = track + ".pal";
    if (!hardware) {
        engine_.set_render_type(engine::software_render_type);
        device_.load_palette(pal.c_str());
        load_shade_table(pal.c_str());
        rast_set_globals(32, 16, 0);
    } else {
        engine_.set_render_type(2);
    }
    const datakit::TrackSceneSpec record = datakit::demo_track_scene(circuit_index, 0, hardware);
    engine_.set_factors(record.engine_factor, 0.5f);
    if (hardware)
        device_.make_fog_table(record.fog_start, record.fog_end, -kFar);

    bool ok = true;
    {
        scene world;
        world.load(track.c_str(), hardware ? scene::material_kind_mtt : scene::material_kind_mtp, 0, 0);
        // As the race treats the track libraries: stored light, and the
        // perspective polygon rasteriser on the software device.
        for (const auto& lib : world.model_libs) {
            lib->clear_flags(0x2);
            lib->set_flags(0x10);
        }
        // The sky and the bikes are library groups of their own, as in a
        // race (their material names may share hashes with the track's).
        const char* kind = hardware ? ".mtt" : ".mtp";
        scene sky_group, bike_group, rider_group;
        const std::string sky = path("Gfx/Tracks/" + circuit_.substr(0, 3) + "_skys");
        sky_group.add_model_lib((sky + ".mdl").c_str(), 0);
        sky_group.add_material_lib((sky + kind).c_str(), 0, 0);
        for (scene* group : {&bike_group, &rider_group}) {
            const std::string base = path(group == &bike_group ? "Gfx/Bikes/Bikes" : "Gfx/Bikes/Riders");
            group->add_model_lib((base + ".mdl").c_str(), 0);
            group->add_material_lib((base + kind).c_str(), 0, 0);
            group->add_material_lib((base + (hardware ? ".mlt" : ".mlp")).c_str(), 0, 0);
            group->add_anim_lib((base + ".anm").c_str());
        }
        device_.upload_textures(100);

        auto make = [](scene& group, const std::string& model) -> ml_modelinfo* {
            for (const auto& lib : group.model_libs)
                if (lib->find_model(name_hash(model.c_str())))
                    return lib->create_instance(model.c_str(), group.material_libs, 0);
            return nullptr;
        };
        ml_modelinfo* back = make(sky_group, "Back");
        ml_modelinfo* bike = v.bike ? make(bike_group, "AXX_" + datakit::world_bike_names()[0]) : nullptr;
        ml_modelinfo* rider = v.bike ? make(rider_group, "AXX_RIDER") : nullptr;

        // The sun: a directional light from the scene record's light, on a
        // light instance at the light's direction (as the race places it).
        scn_light sun;
        light_set(sun, 3, record.light_colour[0], record.light_colour[1], record.light_colour[2], 100000000.0f, 0.0f,
                  0.0f);
        const V dir = unit({record.light_position[0], record.light_position[1], record.light_position[2]});
        ml_modelinfo* light = model_lib::make_simple_model(&sun);
        light->set_position(dir.x, dir.y, dir.z, 1.0f);

        camera cam;
        cam.position = {v.eye.x, v.eye.y, v.eye.z, 1.0f};
        cam.target = {v.target.x, v.target.y, v.target.z, 1.0f};
        cam.far_base = kFar;
        cam.set_fov(v.fov);
        scene_view view(&world, nullptr, 0, &cam, 0, 0, kWidth, kHeight);
        // The race's near plane.
        view.frustum.near_z = view.frustum.near_z_copy = -0.001f;
        if (back) {
            // As the race camera keeps it: round the eye, 0.9 of the far
            // distance, its radius in proportion, drawn behind everything.
            const float s = 0.9f * kFar;
            back->clear_flags(0x2 | 0x10);
            back->set_position(v.eye.x, v.eye.y, v.eye.z, 1.0f);
            back->scale = {s, s, s, 1.0f};
            back->first_node->radius *= s;
            back->clear_flags(model_transforms_valid);
            back->set_mesh_param(-115.0f);
            view.add_instance(back);
        }
        view.add_instance(light);
        for (ml_modelinfo* m : {bike, rider})
            if (m) {
                m->set_position(v.bike_at.x, v.bike_at.y, v.bike_at.z, 1.0f);
                m->angles = {0.0f, v.bike_heading, 0.0f, 0.0f};
                m->clear_flags(model_transforms_valid);
                // The rider rides: the upright riding animation.
                if (m == rider && m->lnk_anim_by_name(rider_group.anim_libs, "RIDE", 0, 0)) {
                    m->set_curanim(name_hash("RIDE"));
                    m->anim_time = 0.0f;
                }
                view.add_instance(m);
            }
        device_.set_background(0.0f, 0.0f, 0.0f);
        device_.clear_back_buffer();
        device_.clear_zbuffer();
        view.prepare();
        view.draw();
        device_.draw_scene();
        rast_flush();

        for (ml_modelinfo* m : {back, light, bike, rider})
            if (m)
                view.remove_instance(m);
        // The libraries own their instances; the light model is ours.
        delete light;
    }

    // The back buffer as RGB: an 8-bit screen through the device's palette
    // (the track palette it loaded), a 16-bit one from its 565 pixels.
    platform::SurfaceLock lock;
    if (device_.back_surface->lock(lock) != platform::DisplayResult::Ok)
        return false;
    const bool indexed = device_.screen_depth == 8;
    auto rgb = [&](const std::uint8_t* row, int x) -> std::array<std::uint8_t, 3> {
        if (indexed) {
            const auto& c = device_.palette_rgb[row[x]];
            return {static_cast<std::uint8_t>(c[0]), static_cast<std::uint8_t>(c[1]), static_cast<std::uint8_t>(c[2])};
        }
        const unsigned p = static_cast<unsigned>(row[2 * x]) | static_cast<unsigned>(row[2 * x + 1]) << 8;
        return {static_cast<std::uint8_t>((p >> 11) * 255 / 31), static_cast<std::uint8_t>(((p >> 5) & 63) * 255 / 63),
                static_cast<std::uint8_t>((p & 31) * 255 / 31)};
    };
    image.pixels.clear();
    // The software device's picture starts one row into its back surface.
    for (int y = indexed ? 1 : 0, rows = 0; rows < kHeight; ++y, ++rows)
        for (int x = 0; x < kWidth; ++x) {
            const auto c = rgb(lock.pixels + static_cast<std::size_t>(y) * lock.pitch, x);
            image.pixels.insert(image.pixels.end(), c.begin(), c.end());
        }
    device_.back_surface->unlock();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: render_world <data folder> <output folder> [circuit]\n");
        return 2;
    }
    const std::filesystem::path data = argv[1];
    const std::filesystem::path out = argv[2];
    const std::string circuit = argc > 3 ? argv[3] : "Misano";
    int index = -1;
    for (int i = 0; i < 12; ++i)
        if (circuit == datakit::kDemoCircuitNames[i])
            index = i;
    if (index < 0) {
        std::fprintf(stderr, "render_world: no demo circuit \"%s\"\n", circuit.c_str());
        return 2;
    }
    std::filesystem::create_directories(out);
    const datakit::BuiltCircuit built = datakit::build_circuit(datakit::demo_circuit_description(circuit));
    const datakit::TrackSceneSpec sunny = datakit::demo_track_scene(index, 0, true);
    Renderer renderer(data, circuit);
    for (const View& v : circuit_views(built, sunny.light_position))
        for (const bool hardware : {true, false}) {
            Rgb8 image;
            if (!renderer.draw(hardware, v, index, image))
                return 1;
            const auto file = out / ("world-" + v.name + (hardware ? "-device" : "-software") + ".png");
            if (!write_png(file, image))
                return 1;
            std::printf("%s\n", file.string().c_str());
        }
    return 0;
}
