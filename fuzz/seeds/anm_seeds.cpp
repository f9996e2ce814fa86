// Seeds of anm_fuzz: small animation libraries with paths, every kind of
// curve, a lattice, shapes and lights, and a library without animations.
#include <cstring>

#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/anm_writer.h"

namespace {

anm_curve curve(const char* name, std::uint32_t param, std::uint32_t interp)
{
    anm_curve c;
    c.name = name;
    c.param = param;
    c.pre = 2;
    c.post = 1;
    c.interp = interp;
    c.keys = {{0, 0, 1, 1}, {1, 1, 0, 0}, {2, 0.5f, -1, -1}};
    return c;
}

anm_animation full_animation()
{
    anm_animation a;
    a.name = "Full";
    anm_path path;
    path.name = "PATH";
    path.closed = true;
    path.curve_names = {"ALONG"};
    for (int i = 0; i < 3; ++i) {
        const float x = 4.0f * i;
        path.points.push_back({{x - 1, 0, 0, 1}, {x, float(i % 2), 0, 1}, {x + 1, 0, 0, 1}});
    }
    a.paths.push_back(path);

    anm_object mover;
    mover.name = "MOVER";
    for (std::uint32_t p : {1u, 2u, 3u, 4u, 5u, 6u, 139u, 140u, 141u, 251u})
        mover.curves.push_back(curve("C", p, p % 3));
    mover.curves.push_back(curve("ALONG", 7, 2));
    a.objects.push_back(mover);

    anm_object blob;
    blob.name = "BLOB";
    blob.curves.push_back(curve("WARP", 66, 2));
    blob.curves.push_back(curve("FACE", 8, 1));
    blob.has_lattice_curve = true;
    for (float lift : {0.0f, 1.0f}) {
        anm_lattice_shape s;
        std::strcpy(s.header.name, "L");
        s.header.counts[0] = 2;
        s.header.counts[1] = 2;
        s.header.counts[2] = 3;
        s.header.box_min = {0, 0, 0, 1};
        s.header.box_max = {1, 1, 2, 1};
        for (std::uint32_t i = 0; i < 12; ++i)
            s.points.push_back({float(i / 6), float((i / 3) % 2) + lift, float(i % 3), 1});
        blob.lattice.push_back(s);
    }
    anm_shape face;
    face.name = "FACE";
    face.vertex_count = 2;
    face.key_count = 3;
    face.offsets = {0, 48};
    for (int k = 0; k < 6; ++k)
        face.positions.push_back({float(k), 1, 2, 1});
    blob.shapes.push_back(face);
    a.objects.push_back(blob);

    anm_light light;
    light.type = 2;
    light.name = "LAMP";
    light.range = 10;
    anm_binding binding;
    binding.code = 2111;
    light.bindings.push_back(binding);
    a.lights.push_back(light);
    return a;
}

} // namespace

TORVANE_FUZZ_SEEDS(anm)
{
    anm_animation still;
    still.name = "Still";
    anm_object one;
    one.name = "ONE";
    one.curves.push_back(curve("X", 139, 1));
    still.objects.push_back(one);
    anm_animation empty;
    empty.name = "Empty";

    seeds.push_back({"full.anm", datakit::anm_bytes({full_animation(), still, empty})});
    seeds.push_back({"still.anm", datakit::anm_bytes({still})});
    seeds.push_back({"none.anm", datakit::anm_bytes({})});
}
