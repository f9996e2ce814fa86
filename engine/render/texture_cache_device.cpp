#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/base/texture_record.h"
#include "engine/render/render_device.h"
#include "platform/device3d_raster.h"

// Residency, reloads, the 2D surfaces' single-colour textures, drawing one
// as a screen quad, and giving records back.

namespace {

using platform::DisplayResult;
using platform::PixelLayout;

constexpr int kGeneralError = -1;
constexpr int kSurfaceSide = 8;

// Copies a record's system texels into its video copy.
bool load_video_copy(cache_texture& t)
{
    return t.video_surface && t.system_surface &&
           t.video_surface->blit(nullptr, *t.system_surface, nullptr, false) == DisplayResult::Ok;
}

std::uint32_t channel(float c)
{
    // Held to 0..1, so no component spills into its neighbour's bits.
    const float v = c > 0.0f ? (c < 1.0f ? c : 1.0f) : 0.0f;
    return static_cast<std::uint32_t>(v * 255.0f);
}

// The texture layout of a 2D surface: 4-4-4-4 with a 4-bit-alpha device,
// else a 16-bit colour layout, else a 15-bit one. False when there is none.
bool surface_layout(const render_device& d, PixelLayout& layout)
{
    const auto find = [&](auto accept) {
        for (int i = 0; i < d.texture_format_count; ++i) {
            const texture_format_info& f = d.texture_formats[i];
            if (!f.palettised && accept(f)) {
                layout = f.layout;
                return true;
            }
        }
        return false;
    };
    if (d.alpha4)
        return find([](const texture_format_info& f) {
            return f.alpha_bits == 4 && f.red_bits + f.green_bits + f.blue_bits == 12;
        });
    return find([](const texture_format_info& f) {
               return f.alpha_bits == 0 && f.red_bits + f.green_bits + f.blue_bits == 16;
           }) ||
           find([](const texture_format_info& f) {
               return f.alpha_bits == 0 && f.red_bits + f.green_bits + f.blue_bits == 15;
           });
}

} // namespace

std::uint16_t surface_texel(PixelLayout layout, float r, float g, float b, float a)
{
    const std::uint32_t R = channel(r), G = channel(g), B = channel(b), A = channel(a);
    switch (layout) {
    case PixelLayout::Argb4444: return static_cast<std::uint16_t>((A >> 4) << 12 | (R >> 4) << 8 | (G >> 4) << 4 | B >> 4);
    case PixelLayout::Rgb555: return static_cast<std::uint16_t>((R & 0xF8) << 7 | (G & 0xF8) << 2 | B >> 3);
    case PixelLayout::Bgr565: return static_cast<std::uint16_t>((B & 0xF8) << 8 | (G & 0xFC) << 3 | R >> 3);
    default: return static_cast<std::uint16_t>((R & 0xF8) << 8 | (G & 0xFC) << 3 | B >> 3);
    }
}

int render_device::make_resident(cache_texture* texture)
{
    if (!texture || !display) {
        report_error(28);
        return 0;
    }
    if (texture->video_surface) {
        if (!refresh_texture(*texture))
            return 0;
        if (texture->video_surface)
            return 1;
    }
    const int code = make_texture_resident(*texture, *display, resident_ring, upload_bytes, next_texture_handle,
                                           [this] { draw_queued_before_eviction(); });
    if (code != 0) {
        report_error(code);
        return 0;
    }
    return 1;
}

void render_device::draw_queued_before_eviction()
{
    if (device3d && device3d->in_scene() && device3d->end_scene() == DisplayResult::Ok)
        device3d->begin_scene();
}

int render_device::refresh_texture(cache_texture& texture)
{
    if (!texture.video_surface || !texture.video_surface->lost())
        return 1;
    end_batch_scene();
    if (texture.video_surface->restore() != DisplayResult::Ok) {
        // Given back; made resident again when next drawn.
        evict_texture(texture, resident_ring);
        return 1;
    }
    if (!load_video_copy(texture)) {
        report_error(28);
        return 0;
    }
    return 1;
}

int render_device::reload_lost_textures()
{
    if (!texture_records)
        return 1;
    int result = 1;
    for (int i = 0; i < kCacheTextures; ++i) {
        cache_texture& t = texture_records[i];
        if (t.size != 0 && t.video_surface && !refresh_texture(t))
            result = 0;
    }
    return result;
}

cache_texture* render_device::create_surface(float r, float g, float b, float a)
{
    if (render_type == kRenderSoftware)
        return nullptr;
    if (!display) {
        report_error(28);
        return nullptr;
    }
    cache_texture* t = take_texture_record();
    if (!t) {
        report_error(39);
        return nullptr;
    }
    PixelLayout layout;
    if (!surface_layout(*this, layout)) {
        report_error(43);
        return nullptr;
    }
    const std::vector<std::uint16_t> texels(kSurfaceSide * kSurfaceSide, surface_texel(layout, r, g, b, a));
    std::unique_ptr<platform::Surface> surface;
    if (!make_system_texture(kSurfaceSide, kSurfaceSide, layout, texels.data(), surface))
        return nullptr;
    t->bytes_per_texel = 2;
    t->blend_mode = alpha4 ? 4 : 0;
    t->source_width = t->source_height = t->cache_width = t->cache_height = kSurfaceSide;
    t->scale = 1.0f;
    t->flags = kTextureSurface2D | kTextureOptionV;
    t->size = kSurfaceSide * kSurfaceSide * 2;
    t->system_surface = std::move(surface);
    if (!make_resident(t)) {
        // The record goes back rather than staying taken by a surface no
        // one holds.
        free_cache_texture(t);
        return nullptr;
    }
    return t;
}

int render_device::draw_quad(cache_texture* surface, float x, float y, float w, float h)
{
    if (!surfaces_valid || paused || !device3d)
        return 1;
    if (!owns_texture(surface) || surface->size == 0 || !surface->system_surface)
        return 0;
    // A surface evicted (or lost) since it was last drawn comes back first.
    if (!refresh_texture(*surface) || (!surface->video_surface && !make_resident(surface)))
        return 0;
    end_batch_scene();

    const std::uint32_t colour = alpha4 ? 0xFFFFFFFFu : 0x80FFFFFFu;
    platform::TLVertex v[4];
    const float xs[4] = {x, x + w, x + w, x}, ys[4] = {y, y, y + h, y + h};
    const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
    float z;
    const std::uint32_t z_bits = 0x3F7FFFEFu;  // 0.999999
    std::memcpy(&z, &z_bits, sizeof z);
    for (int i = 0; i < 4; ++i)
        v[i] = {xs[i], ys[i], z, 0.01f, colour, 0xFF000000u, us[i], vs[i]};
    static constexpr std::uint16_t kIndices[6] = {2, 1, 0, 3, 2, 0};

    const platform::RenderStates saved = device3d->render_states();
    platform::RenderStates st = saved;
    st.texture_blend = platform::TextureBlend::Modulate;
    st.colour_key = true;
    st.alpha_blend = surface->blend_mode == 4;
    st.source_blend = st.alpha_blend ? platform::BlendFactor::SourceAlpha : platform::BlendFactor::One;
    st.dest_blend = st.alpha_blend ? platform::BlendFactor::InverseSourceAlpha : platform::BlendFactor::Zero;
    st.fog = fog_enabled && (surface->flags & kTextureFogged);
    st.fog_colour = fog_colour;
    st.filter = bilinear && !(surface->flags & kTextureNoBilinear) ? platform::TextureFilter::Linear
                                                                   : platform::TextureFilter::Nearest;
    st.z_enable = false;
    // Without 4-bit alpha the surface's half alpha is stippled where the
    // device can, else it takes the states textures take.
    st.stippled_alpha = (!alpha4 && device_info.stippled_alpha != 0) || stipple_state != 0;

    DisplayResult r = device3d->begin_scene();
    if (r == DisplayResult::Lost)
        return 1;  // dropped; the surfaces are restored by the next frame
    if (r != DisplayResult::Ok) {
        report_error(24);
        return 0;
    }
    device3d->set_render_states(st);
    device3d->set_light_material(texture_material_handle);
    device3d->set_texture(surface->video_surface.get());
    r = device3d->draw_indexed(v, 4, kIndices, 6);
    device3d->set_render_states(saved);
    const DisplayResult end = device3d->end_scene();
    device3d->set_texture(nullptr);
    if (r != DisplayResult::Ok && r != DisplayResult::Lost) {
        report_error(24);
        return 0;
    }
    if (end != DisplayResult::Ok && end != DisplayResult::Lost) {
        report_error(26);
        return 0;
    }
    return 1;
}

void render_device::free_texture(mtr_texture* m)
{
    if (!m)
        return;
    if (render_type == kRenderSoftware) {
        const auto it = std::find_if(software_texels.begin(), software_texels.end(),
                                     [m](const auto& e) { return e.first == m; });
        if (it != software_texels.end()) {
            software_texels.erase(it);
            m->pixels = nullptr;
        }
        return;
    }
    auto* t = static_cast<cache_texture*>(m->surface);
    if (!owns_texture(t) || t->size == 0)
        return;
    // The frame that registered the record stops pointing at its buffers
    // too (a namesake frame may be the one giving the record back).
    if (t->owner && t->owner != m) {
        t->owner->pixels = nullptr;
        t->owner->palette = nullptr;
        t->owner->surface = nullptr;
    }
    free_cache_texture(t);
    m->surface = nullptr;
    m->pixels = nullptr;
    m->palette = nullptr;
}

void render_device::free_cache_texture(cache_texture* t)
{
    if (!owns_texture(t))
        return;
    // Queued triangles read its texels: they are drawn first.
    end_batch_scene();
    // A slot it holds is given back, so that its polygons are not drawn
    // with the next texture the record serves.
    if (t->batch_slot)
        give_back_slot(*static_cast<batch_slot*>(t->batch_slot));
    evict_texture(*t, resident_ring);
    t->system_surface.reset();
    // Only this record leaves the pending-reload list; the others are still
    // to be loaded.
    int kept = 0;
    for (int i = 0; i < pending_reload_count; ++i)
        if (pending_reloads[i] != t)
            pending_reloads[kept++] = pending_reloads[i];
    for (int i = kept; i < pending_reload_count; ++i)
        pending_reloads[i] = nullptr;
    pending_reload_count = kept;
    // A buffer never uploaded goes with the record.
    *t = cache_texture{};
}

int render_device::add_pending_reload(cache_texture* t)
{
    if (!t)
        return 1;
    for (int i = 0; i < pending_reload_count; ++i)
        if (pending_reloads[i] == t)
            return 1;
    if (pending_reload_count < kPendingReloads) {
        pending_reloads[pending_reload_count++] = t;
        return 1;
    }
    // The list is full: this one is loaded now.
    if (t->video_surface && !t->video_surface->lost() && !load_video_copy(*t)) {
        report_error(28);
        return 0;
    }
    return 1;
}

int render_device::reload_pending_textures()
{
    int result = 1;
    for (int i = 0; i < pending_reload_count && result; ++i) {
        cache_texture* t = pending_reloads[i];
        if (t->video_surface && !t->video_surface->lost() && !load_video_copy(*t)) {
            report_error(28);
            result = 0;
        }
    }
    for (int i = 0; i < pending_reload_count; ++i)
        pending_reloads[i] = nullptr;
    pending_reload_count = 0;
    return result;
}

void render_device::release_textures()
{
    resident_ring = texture_ring{};
    for (cache_texture*& p : pending_reloads)
        p = nullptr;
    pending_reload_count = 0;
    preload_records = {};
    texture_records.reset();
    texture_material.reset();
    texture_material_handle = 0;
    texture_material_made = 0;
    upload_bytes = previous_upload_bytes = 0;
}

namespace {

bool create_frame_surface(mtr_texture* frame, int argument)
{
    render_device* d = installed_render_device();
    return d && d->create_textures(frame, argument) == 1;
}

void release_frame_surface(mtr_texture* frame)
{
    if (render_device* d = installed_render_device())
        d->free_texture(frame);
}

// The frame's cache record while it holds a texture (the software type keeps
// none: its frames' surfaces stay null).
cache_texture* frame_record(const mtr_texture* frame)
{
    auto* t = frame ? static_cast<cache_texture*>(frame->surface) : nullptr;
    return t && t->size != 0 ? t : nullptr;
}

std::uint32_t frame_cache_word(const mtr_texture* frame)
{
    const cache_texture* t = frame_record(frame);
    return t ? t->flags : static_cast<std::uint32_t>(kTextureClassMask);
}

// Column or row of a texture coordinate wrapped into `size` texels (NaN
// reads as 0).
int wrapped_texel(float t, int size)
{
    double f = static_cast<double>(t) - std::floor(static_cast<double>(t));
    if (!(f >= 0.0 && f < 1.0))
        f = 0.0;
    return std::min(static_cast<int>(f * size), size - 1);
}

// Whether the frame's cached texel at (u, v) is clear: alpha 0 in a 4-4-4-4
// texture, or the record's own colour key (the converted key of alpha
// texels, the material's key, palette entry 0, in the texture's layout). A
// frame without a built 16-bit texture is taken as not clear.
bool frame_texel_clear(const mtr_texture* frame, float u, float v)
{
    const cache_texture* t = frame_record(frame);
    if (!t || !t->system_surface || t->cache_width <= 0 || t->cache_height <= 0)
        return false;
    platform::Surface& s = *t->system_surface;
    if (s.layout() == PixelLayout::Indexed8)
        return false;
    platform::SurfaceLock lock;
    if (s.lock(lock) != DisplayResult::Ok)
        return false;
    const int x = wrapped_texel(u, t->cache_width), y = wrapped_texel(v, t->cache_height);
    std::uint16_t texel = 0;
    std::memcpy(&texel, lock.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(lock.pitch) + 2 * x, 2);
    const PixelLayout layout = s.layout();
    s.unlock();
    if (layout == PixelLayout::Argb4444 && (texel & 0xF000) == 0)
        return true;
    return t->colour_key >= 0 && texel == static_cast<std::uint16_t>(t->colour_key);
}

void set_frame_value(mtr_texture* frame, std::uint32_t value)
{
    cache_texture* t = frame_record(frame);
    if (t && (t->flags & kTextureTakesValue))
        t->value = value;
}

} // namespace

void install_texture_surface_ops(bool installed)
{
    texture_surface_ops& ops = texture_surfaces();
    if (installed) {
        ops.create = &create_frame_surface;
        ops.finish = nullptr;  // the texels are converted by upload_textures
        ops.release = &release_frame_surface;
        ops.cache_word = &frame_cache_word;
        ops.set_value = &set_frame_value;
        ops.texel_clear = &frame_texel_clear;
    } else if (ops.create == &create_frame_surface) {
        ops = {};
    }
}
