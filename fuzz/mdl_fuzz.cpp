// Fuzz target: the input is an ".MDL" model library. Its directory is read,
// then every model it names (at most 16); each model that reads is built
// into engine records (with each load flag 0, 1 and 2), an instance is
// made, placed, its detail level chosen (with a table as long as the race's
// and with one shorter than a model's levels may be) and its transforms
// updated, a segment is tested against its hit meshes, and everything is
// destroyed. Nothing may crash, overrun, hang or build far more than the
// file holds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/base/engine.h"
#include "engine/model/hit_test.h"
#include "engine/model/mdl_reader.h"
#include "engine/model/model_lib.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    context();
    const std::vector<std::uint8_t> file(data, data + size);
    std::vector<mdl_dir_entry> directory;
    if (mdl_read_directory(file, directory) != mdl_status::ok)
        return 0;
    std::uint64_t budget = mdl_read_budget(file);
    // The race's ten thresholds, and two: a model with more levels than a
    // table holds must not read past its end.
    static const float race_table[10] = {0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 32.0f, 64.0f, 128.0f, 256.0f};
    static const float short_table[2] = {0.5f, 1.0f};
    for (std::size_t i = 0; i < directory.size() && i < 16; ++i) {
        mdl_model model;
        model.name = directory[i].name;
        if (mdl_read_model(file, directory[i].offset, model, budget) != mdl_status::ok)
            continue;
        for (int flag : {0, 1, 2}) {
            ml_modelinfo* m = mdl_build_model(model, nullptr, flag);
            if (!m)
                continue;
            ml_modelinfo* inst = m->make_instance(nullptr);
            if (inst) {
                using table_span = std::span<const float>;
                for (table_span table : {table_span(race_table), table_span(short_table)}) {
                    inst->set_lod_table(table);
                    for (float distance : {0.0f, 3.0f, 100.0f, 1000.0f}) {
                        lod_view view;
                        view.position = {distance, 0.0f, 0.0f, 1.0f};
                        inst->flags &= ~model_transforms_valid;
                        inst->update_for_view(&view, 0.5f);
                    }
                }
                inst->set_position(1.0f, 2.0f, 3.0f, 1.0f);
                hit_result hit;
                const vec4 segment[2] = {{-10.0f, 2.5f, 3.2f, 1.0f}, {10.0f, 1.5f, 2.8f, 1.0f}};
                inst->hit_test(&hit, segment, 1);
                delete inst;
            }
            delete m;
        }
    }
    return 0;
}
