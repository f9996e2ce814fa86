#include "engine/render/poly_batch.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "engine/base/clip_vertex.h"
#include "engine/base/texture_record.h"
#include "engine/render/fog.h"
#include "engine/render/render_device.h"
#include "engine/render/texture_cache.h"

// Polygons sorted by texture into batch slots, and the drawing of one slot.

using platform::DisplayResult;
using platform::TLVertex;

namespace {

std::size_t slot_bytes(const batch_class_size& c)
{
    return static_cast<std::size_t>(c.index_capacity) * sizeof(std::uint16_t) +
           static_cast<std::size_t>(c.vertex_capacity + kBatchSpareVertices) * sizeof(TLVertex);
}

// A light value (1.0 = 256) as an index of the colour tables, 0..2047.
int light_index(float light)
{
    const float x = light * 256.0f;
    if (!(x > 0.0f))
        return 0;  // also a value that is not a number
    if (x >= 2047.0f)
        return 2047;
    return static_cast<int>(std::lround(x));
}

// A 0..1 depth as an index of the fog table, 0..255.
int fog_index(float depth)
{
    const float x = depth * 256.0f;
    if (!(x > 0.0f))
        return 0;
    if (x >= 255.0f)
        return 255;
    return static_cast<int>(std::lround(x));
}

constexpr std::uint32_t grey(int level)
{
    return static_cast<std::uint32_t>(level) * 0x010101u;
}

} // namespace

static_assert(sizeof(TLVertex) == 32, "a device vertex is 8 words");

std::size_t batch_group_bytes(int group)
{
    std::size_t bytes = 0;
    for (const batch_class_size& c : kBatchClassSizes)
        if (c.group == group)
            bytes += static_cast<std::size_t>(c.slots) * slot_bytes(c);
    return bytes;
}

batch_table::batch_table()
{
    for (int i = 0; i < kBatchClasses; ++i) {
        rows[i].vertex_capacity = kBatchClassSizes[i].vertex_capacity;
        rows[i].index_capacity = kBatchClassSizes[i].index_capacity;
        rows[i].slot_count = kBatchClassSizes[i].slots;
    }
}

bool batch_table::allocate()
{
    if (allocated_)
        return true;
    try {
        for (int g = 0; g < kBatchGroups; ++g) {
            std::size_t indices = 0, vertices = 0;
            for (const batch_class_size& c : kBatchClassSizes)
                if (c.group == g) {
                    indices += static_cast<std::size_t>(c.slots) * static_cast<std::size_t>(c.index_capacity);
                    vertices += static_cast<std::size_t>(c.slots) *
                                static_cast<std::size_t>(c.vertex_capacity + kBatchSpareVertices);
                }
            arenas_[g].indices.assign(indices, 0);
            arenas_[g].vertices.assign(vertices, TLVertex{});
        }
        // Each group's slots are carved from the start of its own arena, row
        // by row and slot by slot.
        std::size_t index_cursor[kBatchGroups] = {}, vertex_cursor[kBatchGroups] = {};
        for (int i = 0; i < kBatchClasses; ++i) {
            const batch_class_size& c = kBatchClassSizes[i];
            arena& a = arenas_[c.group];
            batch_class& row = rows[i];
            row.cursor = 0;
            row.slots.assign(static_cast<std::size_t>(c.slots), batch_slot{});
            for (batch_slot& slot : row.slots) {
                const std::size_t ic = index_cursor[c.group], vc = vertex_cursor[c.group];
                const std::size_t iend = ic + static_cast<std::size_t>(c.index_capacity);
                const std::size_t vend = vc + static_cast<std::size_t>(c.vertex_capacity + kBatchSpareVertices);
                if (iend > a.indices.size() || vend > a.vertices.size()) {
                    release();
                    return false;
                }
                slot.vertex_capacity = c.vertex_capacity;
                slot.index_capacity = c.index_capacity;
                slot.indices = a.indices.data() + ic;
                slot.vertices = a.vertices.data() + vc;
                index_cursor[c.group] = iend;
                vertex_cursor[c.group] = vend;
            }
        }
    } catch (const std::bad_alloc&) {
        release();
        return false;
    }
    allocated_ = true;
    return true;
}

void batch_table::release()
{
    for (batch_class& row : rows) {
        row.cursor = 0;
        row.slots = {};
    }
    for (arena& a : arenas_) {
        a.indices = {};
        a.vertices = {};
    }
    allocated_ = false;
}

std::size_t batch_table::arena_bytes(int group) const
{
    if (group < 0 || group >= kBatchGroups)
        return 0;
    const arena& a = arenas_[group];
    return a.indices.size() * sizeof(std::uint16_t) + a.vertices.size() * sizeof(TLVertex);
}

// ---- render_device ----

int render_device::alloc_batch_buffers()
{
    give_back_batch_slots();
    render_states_dirty = 1;
    if (batches.allocated())
        return 1;
    if (!batches.allocate()) {
        report_error(-1);
        return 0;
    }
    return 1;
}

int render_device::free_batch_buffers()
{
    give_back_batch_slots();
    batches.release();
    return 1;
}

void render_device::give_back_slot(batch_slot& slot)
{
    if (slot.texture && slot.texture->batch_slot == &slot)
        slot.texture->batch_slot = nullptr;
    slot.texture = nullptr;
    slot.vertex_count = 0;
    slot.index_count = 0;
}

void render_device::give_back_batch_slots()
{
    for (batch_class& row : batches.rows) {
        for (batch_slot& slot : row.slots)
            give_back_slot(slot);
        row.cursor = 0;
    }
}

int render_device::draw_polygons(int count, const clip_vertex* vertices, const clip_vertex* const* vertex_list,
                                 const mtr_texture* texture, int depth_bias)
{
    if (paused) {
        // Nothing reaches the device while paused, and no slot stays held.
        give_back_batch_slots();
        return 1;
    }
    if ((count != 3 && count != 4) || !texture || !texture->surface || !batches.allocated())
        return 1;
    if (!vertices) {
        if (!vertex_list)
            return 1;
        for (int i = 0; i < count; ++i)
            if (!vertex_list[i])
                return 1;
    }
    cache_texture& t = *static_cast<cache_texture*>(texture->surface);
    if (t.size == 0)
        return 1;  // a record given back to the cache
    scene_queued = 1;

    auto* slot = static_cast<batch_slot*>(t.batch_slot);
    if (!slot) {
        const int cls = std::min(static_cast<int>(t.flags & kTextureClassMask), kOverlayBatchClass);
        batch_class& row = batches.rows[cls];
        if (row.cursor < row.slot_count) {
            slot = &row.slots[static_cast<std::size_t>(row.cursor++)];
        } else {
            // No free slot: the class's last slot is drawn now and changes
            // hands.
            slot = &row.slots[static_cast<std::size_t>(row.slot_count - 1)];
            flush_batch(*slot);
            give_back_slot(*slot);
        }
        slot->texture = &t;
        slot->vertex_count = slot->index_count = 0;
        t.batch_slot = slot;
    } else if (slot->vertex_count >= slot->vertex_capacity || slot->index_count + 6 > slot->index_capacity) {
        // Full: drawn now, and filled again from the start by this polygon.
        flush_batch(*slot);
        slot->vertex_count = slot->index_count = 0;
    }

    const int base = slot->vertex_count;
    std::uint16_t* index = slot->indices + slot->index_count;
    const auto at = [base](int i) { return static_cast<std::uint16_t>(base + i); };
    index[0] = at(0);
    index[1] = at(1);
    index[2] = at(2);
    if (count == 4) {
        index[3] = at(0);
        index[4] = at(2);
        index[5] = at(3);
    }
    slot->index_count += count == 4 ? 6 : 3;
    slot->vertex_count += count;

    // The vertex colours: without a texture format with 4 alpha bits the
    // colours carry alpha 0x80 (half, for stippled alpha), else 0xFF.
    const std::uint32_t alpha = alpha4 ? 0xFF000000u : 0x80000000u;
    const std::uint32_t white = alpha | 0xFFFFFFu;
    const float bias = static_cast<float>(depth_bias) - 200.0f;
    TLVertex* out = slot->vertices + base;
    for (int i = 0; i < count; ++i) {
        const clip_vertex& v = vertices ? vertices[i] : *vertex_list[i];
        TLVertex& o = out[i];
        o.sx = std::fabs(v.sx);
        o.sy = std::fabs(v.sy);
        o.tu = v.u;
        o.tv = v.v;
        const int light = light_index(v.light[0]);
        if (vertices) {
            o.sz = std::fabs((v.z + bias) * fog_depth_scale);
            o.rhw = std::fabs(v.rhw);
            const std::uint32_t fog = fog_table[fog_index(o.sz)];
            if (light <= 255) {
                o.colour = alpha | grey(light);
                o.specular = fog;
            } else {
                o.colour = white;
                o.specular = fog | grey(light >> 3);
            }
        } else {
            // The list form (patch grids): no bias and no fog.
            o.sz = std::fabs(v.z * fog_depth_scale);
            o.rhw = std::fabs(v.rhw * bias);
            o.colour = light <= 255 ? alpha | grey(light) : white;
            o.specular = 0xFF000000u;
        }
    }
    return 1;
}

int render_device::ready_batch_texture(cache_texture& texture)
{
    if (texture.video_surface && !texture.video_surface->lost())
        return 0;
    if (texture.video_surface) {
        // A lost video copy gets its memory back and its texels again from
        // the system copy; when that fails it is made resident afresh.
        if (texture.system_surface && texture.video_surface->restore() == DisplayResult::Ok &&
            texture.video_surface->blit(nullptr, *texture.system_surface, nullptr, false) == DisplayResult::Ok)
            return 0;
        evict_texture(texture, resident_ring);
    }
    if (!display)
        return 28;
    return make_texture_resident(texture, *display, resident_ring, upload_bytes, next_texture_handle);
}

int render_device::draw_slot(batch_slot& slot)
{
    apply_texture_states(*slot.texture);
    if (device3d->draw_indexed(slot.vertices, slot.vertex_count, slot.indices, slot.index_count) !=
        DisplayResult::Ok) {
        report_error(24);
        return 0;
    }
    triangles += static_cast<std::uint32_t>(slot.index_count / 3);
    return 1;
}

int render_device::flush_batch(batch_slot& slot)
{
    if (paused) {
        give_back_batch_slots();
        return 1;
    }
    if (!restore_surfaces())
        return 0;
    if (!surfaces_valid || !device3d || render_type == kRenderSoftware)
        return 1;
    if (!slot.texture || slot.index_count == 0 || slot.texture->size == 0)
        return 1;
    // Making a texture resident may evict another whose texels the open
    // scene still reads: what is queued is drawn first.
    const bool resident = slot.texture->video_surface && !slot.texture->video_surface->lost();
    if (!resident)
        if (const int ended = end_batch_scene(); ended != 1)
            return ended;
    if (const int code = ready_batch_texture(*slot.texture)) {
        report_error(code);
        return 0;
    }
    // The slot goes into the scene the frame's batches share; draw_scene (or
    // whatever next needs the picture) ends it.
    if (!batch_scene_open) {
        const int begun = scene_step(device3d->begin_scene(), 24);
        if (begun != 1)
            return begun;
        batch_scene_open = 1;
    }
    const int drawn = draw_slot(slot);
    if (drawn == 1)
        return 1;
    // The scene is ended even when the draw was refused.
    const int ended = end_batch_scene();
    return ended != 1 ? ended : drawn;
}

int render_device::end_batch_scene()
{
    if (!batch_scene_open)
        return 1;
    batch_scene_open = 0;
    if (!device3d || !device3d->in_scene())
        return 1;
    return scene_step(device3d->end_scene(), 26);
}

int render_device::scene_step(DisplayResult result, int error)
{
    if (result == DisplayResult::Ok)
        return 1;
    if (result == DisplayResult::Lost)
        return kSurfaceLostResult;
    report_error(error);
    return 0;
}

void render_device::apply_texture_states(const cache_texture& texture)
{
    if (render_states_dirty)
        set_render_states();
    platform::RenderStates s = device_states;
    // The overlay class is drawn over the scene without writing depths.
    const bool overlay = static_cast<int>(texture.flags & kTextureClassMask) >= kOverlayBatchClass;
    s.z_write = zbuffer != nullptr && !overlay;
    // Textured triangles are lit with the white texture material; until
    // upload_textures has made it they are drawn untextured.
    if (device3d) {
        if (texture_material_made) {
            device3d->set_light_material(texture_material_handle);
            if (device3d->set_texture(texture.video_surface.get()) != DisplayResult::Ok)
                device3d->set_texture(nullptr);
        } else {
            device3d->set_texture(nullptr);
        }
    }
    // Fog only while it is on and the texture is fogged, always in the
    // current fog colour.
    const bool fog = fog_enabled && (texture.flags & kTextureFogged);
    s.fog = fog;
    s.fog_colour = fog_colour;
    device_fog_state = fog ? 1 : 0;
    if (texture.blend_mode == 4) {
        s.alpha_blend = true;
        s.source_blend = platform::BlendFactor::SourceAlpha;
        s.dest_blend = platform::BlendFactor::InverseSourceAlpha;
        blend_state = 1;
    } else {
        s.alpha_blend = false;
        s.source_blend = platform::BlendFactor::One;
        s.dest_blend = platform::BlendFactor::Zero;
        blend_state = 0;
    }
    // A negative blend mode (alpha turned into keyed texels on a device
    // without 4-bit alpha) is drawn stippled where the device can.
    stipple_state = texture.blend_mode < 0 && device_info.stippled_alpha ? 1 : 0;
    s.stippled_alpha = stipple_state != 0;
    if (bilinear) {
        const bool linear = !(texture.flags & kTextureNoBilinear);
        s.filter = linear ? platform::TextureFilter::Linear : platform::TextureFilter::Nearest;
        bilinear_state = linear ? 1 : 0;
    }
    device_states = s;
    if (device3d)
        device3d->set_render_states(s);
}
