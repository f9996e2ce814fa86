#include "engine/base/engine.h"

#include <cstdlib>

#include "engine/base/error_box.h"
#include "engine/base/recip_table.h"
#include "engine/base/render_facts.h"
#include "engine/base/vec4.h"
#include "platform/fault_seam.h"

engine* current_engine = nullptr;
int software_vertex_limit = 16000;

namespace {

// Contexts not yet released, so that a pooled record can find the pool it
// came from even when another context is current.
engine* live_engines = nullptr;

// Zero-filled storage for `count` records of T; fatal when there is none.
template <class T>
T* allocate_records(std::size_t count)
{
    void* storage = nullptr;
    if (!platform::take_fault(platform::Fault::MemoryAlloc))
        storage = std::calloc(count, sizeof(T));
    if (!storage)
        engine_error(1);
    return static_cast<T*>(storage);
}

template <class T>
void free_records(T*& records)
{
    std::free(records);
    records = nullptr;
}

// Pool types in the order their pools are built; they are destroyed in the
// reverse order. The single-slot pools sit between them where marked.
constexpr int pool_build_order[engine_pool_types] = {
    pool_anim_node, pool_fcurve, pool_fcurve_key, pool_anim_position, pool_path_spline,
    pool_path_point, pool_anim_rotation, pool_orient_spline, pool_orient_key,
    pool_lattice_anim, pool_lattice_shape,
    /* lattice points */
    pool_shape_anim,
    /* shape key positions, shape vertex offsets */
    pool_anim_link, pool_node_binding,
};

} // namespace

void engine_error(int code)
{
    if (code == 1)
        error_box("error", "ENGINE:: Out of memory!");
    else if (code == 2)
        error_box("error", "ENGINE:: No engine context!");
    std::exit(1);
}

engine::engine()
{
    auto build = [this](int type) {
        pools_[type].reset(1, engine_pool_record_counts[type], engine_pool_record_bytes[type]);
    };
    for (int i = 0; i < 11; ++i)
        build(pool_build_order[i]);
    lattice_point_pool.reset(1, 1, static_cast<std::uint32_t>(lattice_point_count * sizeof(vec4)));
    build(pool_build_order[11]);
    shape_key_pool.reset(1, 1, static_cast<std::uint32_t>(shape_key_position_count * sizeof(vec4)));
    shape_offset_pool.reset(1, 1, static_cast<std::uint32_t>(shape_vertex_offset_count * sizeof(std::uint16_t)));
    build(pool_build_order[12]);
    build(pool_build_order[13]);

    set_mode_word(2);
    recip_table_build();
    software_vertex_limit = 16000;

    vertex_a1 = allocate_records<work_vertex>(vertex_buffer_capacity);
    vertex_a2 = allocate_records<screen_vertex>(vertex_buffer_capacity);
    work_c1 = allocate_records<work_vertex>(vertex_buffer_capacity);
    work_c2 = allocate_records<work_vertex>(vertex_buffer_capacity);
    set_threshold(0.6f);

    live_next_ = live_engines;
    if (live_engines)
        live_engines->live_prev_ = this;
    live_engines = this;
}

engine::~engine()
{
    release();
}

void engine::free_software_buffers()
{
    free_records(sw_vertices);
    free_records(sw_vertices2);
    free_records(sw_work);
    free_records(span_buffers[0]);
    free_records(span_buffers[1]);
}

void engine::free_device_buffers()
{
    free_records(vertex_b1);
    free_records(vertex_b2);
}

void engine::set_render_type(std::int32_t type)
{
    free_software_buffers();
    if (render_type != software_render_type)
        free_device_buffers();
    free_records(depth_buckets);
    render_type = type;

    if (type != software_render_type) {
        vertex_b1 = allocate_records<work_vertex>(vertex_buffer_capacity);
        vertex_b2 = allocate_records<screen_vertex>(vertex_buffer_capacity);
        return;
    }

    software_vertex_limit = engine_render_facts().low_memory ? 15990 : 31990;
    sw_vertices = allocate_records<work_vertex>(static_cast<std::size_t>(software_vertex_limit));
    sw_vertices2 = allocate_records<screen_vertex>(static_cast<std::size_t>(software_vertex_limit));
    sw_work = allocate_records<zsort_entry>(face_entry_count);
    depth_buckets = allocate_records<zsort_entry*>(depth_bucket_count);
    current_engine = this;
    clear_depth_buckets();
    span_buffers[0] = allocate_records<clip_vertex>(span_buffer_records);
    span_buffers[1] = allocate_records<clip_vertex>(span_buffer_records);
}

void engine::clear_depth_buckets()
{
    if (!depth_buckets)
        return;
    for (std::size_t i = 0; i < depth_bucket_count; ++i)
        depth_buckets[i] = nullptr;
}

void engine::release()
{
    if (released_)
        return;
    released_ = true;

    free_records(vertex_a1);
    free_records(vertex_a2);
    free_device_buffers();
    free_records(work_c1);
    free_records(work_c2);
    free_software_buffers();
    free_records(depth_buckets);

    // Records of the typed pools may still be out (model instances can be
    // destroyed after the context): their chunks are retired, not freed, so
    // those records stay valid until they are deleted.
    pools_[pool_build_order[13]].retire();
    pools_[pool_build_order[12]].retire();
    shape_offset_pool.destroy();
    shape_key_pool.destroy();
    pools_[pool_build_order[11]].retire();
    lattice_point_pool.destroy();
    for (int i = 10; i >= 0; --i)
        pools_[pool_build_order[i]].retire();

    if (live_prev_)
        live_prev_->live_next_ = live_next_;
    else if (live_engines == this)
        live_engines = live_next_;
    if (live_next_)
        live_next_->live_prev_ = live_prev_;
    live_prev_ = live_next_ = nullptr;

    if (current_engine == this)
        current_engine = nullptr;
}

engine* engine::find_pool_owner(int type, const void* address)
{
    if (type < 0 || type >= engine_pool_types || !address)
        return nullptr;
    for (engine* e = live_engines; e; e = e->live_next_) {
        if (e->pools_[type].holds(address))
            return e;
    }
    return nullptr;
}
