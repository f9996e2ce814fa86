// What an instance tells the renderer's texture cache: the one cache range
// all its textures must share, and a value for the surfaces that take one.

#include <cstdlib>

#include "engine/base/error_box.h"
#include "engine/base/texture_record.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/mtr_lib.h"

namespace {

// Class bits of one cache class number: 5 fits A and B alike.
std::uint32_t class_bits(std::uint32_t cache_class)
{
    std::uint32_t bits = 0;
    if (cache_class <= 5)
        bits |= model_cache_class_a;
    if (cache_class >= 5 && cache_class <= 11)
        bits |= model_cache_class_b;
    if (cache_class == 12)
        bits |= model_cache_class_c;
    return bits;
}

} // namespace

bool ml_modelinfo::try_check_cache_used()
{
    const auto word = texture_surfaces().cache_word;
    if (!word)
        return true;
    // The classes every texture allows, narrowed texture by texture.
    constexpr std::uint32_t all = model_cache_class_a | model_cache_class_b | model_cache_class_c;
    std::uint32_t allowed = all;
    bool any = false;
    const int count = levels ? level_count : 1;
    for (int k = 0; k < count; ++k) {
        const model_record* level = levels ? levels[k] : this;
        if (!level)
            continue;
        for (const model_node* n = level->first_node; n; n = n->next) {
            if (n->material_refs.empty())
                continue;
            const mesh_material* material = n->material_refs[0].material;
            if (!material || !material->texture || !material->texture->first_frame)
                continue;
            const std::uint32_t bits = class_bits(word(material->texture->first_frame) & 0xF);
            if (!bits)
                continue;
            allowed &= bits;
            any = true;
        }
    }
    if (!any)
        return true;
    if (!allowed)
        return false;
    for (int k = 0; k < count; ++k) {
        model_record* level = levels ? levels[k] : this;
        if (level)
            level->flags = (level->flags & ~all) | allowed;
    }
    return true;
}

void ml_modelinfo::check_cache_used()
{
    if (try_check_cache_used())
        return;
    error_box("ml_modelinfo::check_cache_used", "Texture cache range error!");
    std::exit(1);
}

void ml_modelinfo::set_texture_value(std::uint32_t value)
{
    const auto set = texture_surfaces().set_value;
    if (!set)
        return;
    for (model_node* n = first_node; n; n = n->next) {
        if (!n->is_full())
            continue;
        for (const material_ref& r : n->material_refs) {
            if (!r.material || !r.material->texture)
                continue;
            const mesh_texture* t = r.material->texture;
            mtr_texture* f = t->first_frame;
            for (std::int32_t i = 0; f && i < t->frame_count; ++i, f = f->next)
                if (f->surface)
                    set(f, value);
        }
    }
}
