// Fuzz target: the input is an ".ANM" animation library. Its directory is
// read, then every animation it names (at most 16); each animation that reads
// is built into engine records, animated at a few times (curves, paths,
// rotations, lattices, shapes written into a vertex buffer) and destroyed.
// Then the file is loaded as a library, its animations are linked to a
// model whose nodes bear the objects' names, made current and posed, and a
// transition between the first two is built and refreshed. Nothing may
// crash, overrun, hang or build far more than the file holds.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
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
#include "platform/file.h"
#include "tests/engine/model/model_builder.h"

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

// The library linked to a model: one node per object name (at most 32, a
// chain under a root), every animation linked and posed, and a transition
// from the first to the second built and then refreshed at other times.
void link_to_model(const std::vector<std::uint8_t>& file, const std::vector<anm_animation>& animations)
{
    static const std::string path = [] {
        std::random_device random;
        return (std::filesystem::temp_directory_path() / ("anm_fuzz_" + std::to_string(random()) + ".anm")).string();
    }();
    if (animations.empty() || !platform::write_whole_file(path, file))
        return;
    {
        anim_lib lib("fuzz");
        int loaded = 0;
        if (lib.try_open(path.c_str()) == anm_status::ok && lib.try_load_all(&loaded) == anm_status::ok &&
            loaded > 0) {
            model_test::model_builder b("FUZZ");
            b.add("FUZZROOT", node_empty, -1);
            int nodes = 1;
            for (const anm_animation& a : animations)
                for (const anm_object& o : a.objects)
                    if (nodes < 32)
                        b.add(o.name.c_str(), node_empty, nodes++ - 1);
            ml_modelinfo* model = b.finish();
            ml_modelinfo* inst = model->make_instance(nullptr);
            if (inst) {
                std::vector<std::uint32_t> linked;
                for (anim_link* l = lib.first_link; l; l = l->next)
                    if (inst->lnk_anim(&lib, l->name_hash, 0, 0) == 1)
                        linked.push_back(l->name_hash);
                for (std::uint32_t hash : linked) {
                    inst->set_curanim(hash);
                    for (float t : {0.0f, 0.75f, 5.0f}) {
                        inst->flags &= ~model_transforms_valid;
                        inst->update_transforms(t);
                    }
                }
                if (linked.size() >= 2) {
                    constexpr std::uint32_t kTransition = 0x7A5E0001u;
                    inst->make_anim_trans(linked[0], 0.25f, linked[1], 0.5f, kTransition, 0);
                    inst->make_anim_trans(linked[0], 1.5f, linked[1], 0.0f, kTransition, 0);
                    inst->set_curanim(kTransition);
                    for (float t : {0.0f, 0.5f, 1.0f}) {
                        inst->flags &= ~model_transforms_valid;
                        inst->update_transforms(t);
                    }
                }
                delete inst;
            }
            delete model;
        }
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
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
    std::vector<anm_animation> animations;
    for (std::size_t i = 0; i < directory.size() && i < 16; ++i) {
        anm_animation animation;
        if (anm_read_animation(file, directory[i].offset, animation, budget) != anm_status::ok)
            continue;
        anim_link* link = anm_build_animation(animation);
        animate(link);
        link->set_state(2);
        delete link;
        animations.push_back(std::move(animation));
    }
    // A library that reads whole: every animation read on its own.
    if (animations.size() == directory.size())
        link_to_model(file, animations);
    return 0;
}
