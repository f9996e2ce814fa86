#include "engine/model/shape_anim.h"

#include <cmath>
#include <cstring>

#include "engine/base/engine.h"
#include "engine/base/float_conv.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"

namespace {

void give_back(memmng engine::*pool, void* storage)
{
    if (!storage)
        return;
    if (current_engine && (current_engine->*pool).holds(storage))
        (current_engine->*pool).delete_entry(storage);
    else
        memmng::give_back_retired(storage, 1);
}

} // namespace

shape_anim::~shape_anim()
{
    if (owner_state == 2 || owner_state == 3) {
        delete curve;
        curve = nullptr;
        free_arrays();
    }
    --live;
}

void shape_anim::free_arrays()
{
    if (owner_state == 3) {
        give_back(&engine::shape_key_pool, positions);
        give_back(&engine::shape_offset_pool, offsets);
    } else {
        delete[] positions;
        delete[] offsets;
    }
    positions = nullptr;
    offsets = nullptr;
}

void shape_anim::set_state(std::uint32_t state)
{
    if (curve)
        curve->set_state(state);
    owner_state = state;
}

void shape_anim::init_from_record(const char* shape_name, std::uint32_t vertices, std::uint32_t keys,
                                  std::uint16_t* vertex_offsets, vec4* key_positions)
{
    set_name(&name, shape_name);
    vertex_count = vertices;
    key_count = keys;
    offsets = vertex_offsets;
    positions = key_positions;
}

bool shape_anim::allocate(std::uint32_t vertices, std::uint32_t keys, bool with_offsets)
{
    const std::uint64_t n = static_cast<std::uint64_t>(vertices) * keys;
    vertex_count = vertices;
    key_count = keys;
    if (owner_state == 3) {
        if (!current_engine)
            engine_error(2);
        if (n > engine::shape_key_position_count || vertices > engine::shape_vertex_offset_count)
            return false;
        positions = static_cast<vec4*>(current_engine->shape_key_pool.new_entry());
        std::memset(static_cast<void*>(positions), 0, n * sizeof(vec4));
        if (with_offsets)
            offsets = static_cast<std::uint16_t*>(current_engine->shape_offset_pool.new_entry());
        return true;
    }
    positions = new vec4[n > 0 ? n : 1]();
    if (with_offsets)
        offsets = new std::uint16_t[vertices > 0 ? vertices : 1]();
    return true;
}

float shape_anim::key_index(float t) const
{
    float s = curve ? curve->calc(t) : 0.0f;
    const float top = key_count > 0 ? static_cast<float>(key_count - 1) : 0.0f;
    if (!(s > 0.0f))
        s = 0.0f;
    if (s > top)
        s = top;
    return s;
}

vec4 shape_anim::blend(std::uint32_t i, float s) const
{
    const int last_key = static_cast<int>(key_count) - 1;
    int k = trunc_to_int(s - 0.001f);
    if (k < 0)
        k = 0;
    if (k > last_key)
        k = last_key;
    const float f = s - static_cast<float>(k);
    const int k2 = k + 1 > last_key ? k : k + 1;
    const int k0 = k - 1 < 0 ? k : k - 1;
    const int k3 = k + 2 > last_key ? k2 : k + 2;
    return anim_key_blend(key_position(static_cast<std::uint32_t>(k0), i),
                          key_position(static_cast<std::uint32_t>(k), i),
                          key_position(static_cast<std::uint32_t>(k2), i),
                          key_position(static_cast<std::uint32_t>(k3), i), f);
}

void shape_anim::apply(void* dest, std::size_t dest_bytes, float t) const
{
    if (key_count == 0 || vertex_count == 0 || !positions)
        return;
    const float s = key_index(t);
    auto* out = static_cast<std::uint8_t*>(dest);
    for (std::uint32_t i = vertex_count; i-- > 0;) {
        const std::size_t at = offsets ? offsets[i] : static_cast<std::size_t>(i) * 48;
        if (at > dest_bytes || dest_bytes - at < 3 * sizeof(float))
            continue;
        const vec4 p = blend(i, s);
        const float xyz[3] = {p.x, p.y, p.z};
        std::memcpy(out + at, xyz, sizeof xyz);
    }
}

void shape_link(shape_anim* const* shapes, int n)
{
    for (int i = 0; i < n; ++i) {
        shapes[i]->prev = i > 0 ? shapes[i - 1] : nullptr;
        shapes[i]->next = i + 1 < n ? shapes[i + 1] : nullptr;
    }
}

float corner_angle_weight(const vec4& a, const vec4& b, const vec4& c)
{
    vec4 e1{c.x - a.x, c.y - a.y, c.z - a.z, 0.0f};
    vec4 e2{a.x - b.x, a.y - b.y, a.z - b.z, 0.0f};
    const float l1 = std::sqrt(e1.x * e1.x + e1.y * e1.y + e1.z * e1.z) + 0.001f;
    const float l2 = std::sqrt(e2.x * e2.x + e2.y * e2.y + e2.z * e2.z) + 0.001f;
    float d = std::fabs((e1.x * e2.x + e1.y * e2.y + e1.z * e2.z) / (l1 * l2));
    if (d > 1.0f)
        d = 1.0f;
    return std::acos(d) * 0.63661975f;
}
