#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine/base/name_hash.h"
#include "engine/model/anm_format.h"
#include "engine/model/anm_reader.h"

namespace model_test {

inline anm_curve linear_curve(const char* name, std::uint32_t param, std::vector<anm_key> keys)
{
    anm_curve c;
    c.name = name;
    c.param = param;
    c.pre = 0;
    c.post = 1;
    c.interp = 1;
    c.keys = std::move(keys);
    return c;
}

inline anm_path straight_path(const char* name, std::vector<std::string> curve_names, bool closed, int points)
{
    anm_path p;
    p.name = name;
    p.second_name = std::string(name) + "_2";
    p.closed = closed;
    p.curve_names = std::move(curve_names);
    for (int i = 0; i < points; ++i) {
        const float x = 10.0f * i;
        const float y = (i % 2) * 5.0f;
        p.points.push_back({{x - 3, y, 0, 1}, {x, y, 0, 1}, {x + 3, y, 0, 1}});
    }
    return p;
}

inline anm_lattice_shape lattice_shape_data(const char* name, std::uint32_t n, float lift)
{
    anm_lattice_shape s;
    std::strncpy(s.header.name, name, sizeof s.header.name - 1);
    std::strncpy(s.header.second_name, "BOX", sizeof s.header.second_name - 1);
    s.header.kept_word = 77;
    s.header.counts[0] = n;
    s.header.counts[1] = 3;
    s.header.counts[2] = 2;
    s.header.kept[0] = 4;
    s.header.box_min = {0, 0, 0, 1};
    s.header.box_max = {2, 2, 2, 1};
    for (std::uint32_t i = 0; i < n * 3 * 2; ++i)
        s.points.push_back({float(i), lift, float(i % 3), 1});
    return s;
}

inline anm_shape shape_data(const char* name, std::uint32_t vertices, std::uint32_t keys)
{
    anm_shape s;
    s.name = name;
    s.vertex_count = vertices;
    s.key_count = keys;
    for (std::uint32_t i = 0; i < vertices; ++i)
        s.offsets.push_back(static_cast<std::uint16_t>(48 * (vertices - 1 - i)));
    for (std::uint32_t k = 0; k < keys; ++k)
        for (std::uint32_t i = 0; i < vertices; ++i)
            s.positions.push_back({float(k), float(i), 0.5f, 1});
    return s;
}

inline anm_light light_data(const char* name, int bindings)
{
    anm_light l;
    l.type = 2;
    l.flags = 5;
    l.world_position = {1, 2, 3, 1};
    l.position = {4, 5, 6, 1};
    l.colour[0] = 0.5f;
    l.colour[1] = 0.25f;
    l.colour[2] = 0.125f;
    l.target = {7, 8, 9, 1};
    l.cone = 0.3f;
    l.softness = 0.6f;
    l.name = name;
    l.name_hash = name_hash(name);
    l.range = 20.0f;
    l.kept[3] = 33;
    l.spot_matrix[5] = 1.5f;
    l.link_word = 9;
    for (int i = 0; i < bindings; ++i) {
        anm_binding b;
        b.target_hash = name_hash(i == 0 ? "BODY" : "WHEEL");
        b.code = i == 0 ? 2111 : 2116;
        b.value = 1 + i;
        b.kept[17] = 100 + i;
        l.bindings.push_back(b);
    }
    return l;
}

// A library with paths, objects with every kind of channel, a lattice,
// shapes and lights ("Walk"), a second animation of one of its objects
// ("Run") and an animation without objects ("Empty").
inline std::vector<anm_animation> sample_library()
{
    anm_animation walk;
    walk.name = "Walk";
    walk.paths.push_back(straight_path("TRACK", {"OTHER", "ALONG"}, false, 3));
    walk.paths.push_back(straight_path("WHEEL", {"ALONG"}, true, 3));
    walk.paths.push_back(straight_path("LONER", {}, false, 2));

    anm_object body;
    body.name = "BODY";
    const std::uint32_t body_params[] = {1, 2, 3, 4, 5, 6, 139, 140, 141};
    for (std::uint32_t p : body_params)
        body.curves.push_back(linear_curve("B", p, {{0, 0, 1, 1}, {1, float(p), 1, 1}, {2, 0, -1, -1}}));
    walk.objects.push_back(body);

    anm_object wheel;
    wheel.name = "WHEEL";
    wheel.curves.push_back(linear_curve("ALONG", 7, {{0, 0}, {1, 1}}));
    wheel.curves.push_back(linear_curve("SPIN", 251, {{0, 0}, {1, 1}}));
    walk.objects.push_back(wheel);

    anm_object flag;
    flag.name = "FLAG";
    flag.curves.push_back(linear_curve("WAVE", 66, {{0, 0}, {1, 1.5f}}));
    flag.curves.push_back(linear_curve("SMILE", 8, {{0, 0}, {1, 2}}));
    flag.curves.push_back(linear_curve("BLINK", 183, {{0, 1}}));
    flag.has_lattice_curve = true;
    flag.lattice.push_back(lattice_shape_data("L0", 2, 0.0f));
    flag.lattice.push_back(lattice_shape_data("L1", 2, 1.0f));
    flag.shapes.push_back(shape_data("SMILE", 3, 3));
    flag.shapes.push_back(shape_data("BLINK", 2, 2));
    walk.objects.push_back(flag);

    anm_object still;
    still.name = "STILL";
    walk.objects.push_back(still);

    walk.lights.push_back(light_data("LAMP", 2));
    walk.lights.push_back(light_data("GLOW", 0));

    anm_animation run;
    run.name = "Run";
    anm_object run_body;
    run_body.name = "body";
    run_body.curves.push_back(linear_curve("B", 139, {{0, 5}, {1, 6}}));
    run.objects.push_back(run_body);

    anm_animation empty;
    empty.name = "Empty";
    return {walk, run, empty};
}

} // namespace model_test
