// Fuzz target: the input is an ".ANM" animation library. Its directory is
// read, then every animation it names (at most 16); each animation that reads
// is built into engine records, animated at a few times (curves, paths,
// rotations, lattices, shapes written into a vertex buffer) and destroyed.
// Nothing may crash, overrun, hang or build far more than the file holds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/engine.h"
#include "engine/base/mat4.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/anm_reader.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/path_spline.h"
#include "engine/model/shape_anim.h"

namespace {

engine& context()
{
    static engine* e = [] {
        auto* made = new engine;
        current_engine = made;
        return made;
    }();
    return *e;
}

void animate(anim_link* link)
{
    static std::vector<std::uint8_t> vertices(48 * 64);
    static auto cache = std::make_unique<lattice_cell_cache>();
    mat4 identity{};
    mat_identity(&identity);
    const vec4 unit{1, 1, 1, 1};
    const vec4 rest{0, 0, 0, 0};
    for (anim_node* node = link->first_node; node; node = node->next) {
        for (float t : {-1.5f, 0.0f, 0.5f, 3.25f}) {
            vec4 out{};
            mat4 m{};
            if (node->scaling)
                node->scaling->eval(t);
            if (node->position) {
                node->position->eval(t, &out);
                vec4 tangent{};
                node->position->eval_with_tangent(t, &out, &tangent);
            }
            if (node->rotation)
                node->rotation->eval(t, 0, &rest, &m);
            if (node->path)
                node->path->point_at(t * node->path->total_length());
            if (node->lattice) {
                node->lattice->eval(&identity, &unit, t);
                lattice_cells_prepare(cache.get(), node->lattice->working);
                const vec4 p{0.5f, 0.5f, 0.5f, 1};
                lattice_deform_point(cache.get(), node->lattice->working, &out, &p);
            }
            for (const shape_anim* s = node->shapes; s; s = s->next)
                s->apply(vertices.data(), vertices.size(), t);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    context();
    const std::vector<std::uint8_t> file(data, data + size);
    std::vector<anm_dir_entry> directory;
    if (anm_read_directory(file, directory) != anm_status::ok)
        return 0;
    std::uint64_t budget = anm_read_budget(file);
    for (std::size_t i = 0; i < directory.size() && i < 16; ++i) {
        anm_animation animation;
        if (anm_read_animation(file, directory[i].offset, animation, budget) != anm_status::ok)
            continue;
        anim_link* link = anm_build_animation(animation);
        animate(link);
        link->set_state(2);
        delete link;
    }
    return 0;
}
