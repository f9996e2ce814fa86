#include <cstring>

#include "engine/base/texture_record.h"
#include "engine/render/lens_flare.h"
#include "engine/render/render_device.h"
#include "platform/device3d_raster.h"

// The lens flare's texture set: its pictures in the texture cache, and the
// squares drawn on the 3D device.

namespace {

using platform::DisplayResult;

constexpr std::int32_t kBlendOne = 2, kBlendSrcAlpha = 5, kBlendInvSrcAlpha = 6;
constexpr std::int32_t kTBlendModulate = 2, kTBlendModulateAlpha = 4;

bool power_of_two(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// The first non-palettised texture format with alpha and 12 colour bits.
bool alpha4_layout(const render_device& d, platform::PixelLayout& layout)
{
    for (int i = 0; i < d.texture_format_count; ++i) {
        const texture_format_info& f = d.texture_formats[i];
        if (!f.palettised && f.alpha_bits > 0 && f.red_bits + f.green_bits + f.blue_bits == 12) {
            layout = f.layout;
            return true;
        }
    }
    return false;
}

// A texture of the cache holding a picture's texels, resident; null after
// the renderer's error box.
cache_texture* make_picture_texture(render_device& d, const flare_picture& p)
{
    cache_texture* t = d.take_texture_record();
    if (!t) {
        d.report_error(39);
        return nullptr;
    }
    platform::PixelLayout layout;
    if (!alpha4_layout(d, layout)) {
        d.report_error(43);
        return nullptr;
    }
    // The device takes power-of-two sides only.
    if (!d.display || !power_of_two(p.width) || !power_of_two(p.height)) {
        d.report_error(28);
        return nullptr;
    }
    std::unique_ptr<platform::Surface> surface;
    if (!d.make_system_texture(p.width, p.height, layout, p.texels.data(), surface))
        return nullptr;
    t->bytes_per_texel = 2;
    t->blend_mode = 4;
    t->source_width = t->cache_width = p.width;
    t->source_height = t->cache_height = p.height;
    t->scale = 1.0f;
    t->flags = kTextureSurface2D | kTextureOptionV;
    t->size = static_cast<std::uint32_t>(p.width) * static_cast<std::uint32_t>(p.height) * 2;
    t->system_surface = std::move(surface);
    if (!d.make_resident(t)) {
        d.free_cache_texture(t);
        return nullptr;
    }
    return t;
}

} // namespace

texture_set::texture_set(int disabled_) : disabled(disabled_)
{
    if (!disabled)
        data = std::make_unique<record>();
}

texture_set::~texture_set()
{
    if (disabled || !data)
        return;
    render_device* d = installed_render_device();
    if (!d)
        return;
    // Each record goes back as a material texture would give it back, so
    // that no entry of the eviction ring or the reload list is left.
    for (cache_texture* t : data->textures) {
        mtr_texture frame;
        frame.surface = t;
        d->free_texture(&frame);
    }
}

int texture_set::load_pcx_series(const char* base)
{
    render_device* d = installed_render_device();
    if (disabled || !data || !d || !d->alpha4 || !d->device3d || !base)
        return 0;
    record& r = *data;
    const platform::DeviceInfo& caps = d->device3d->info();
    if (caps.destination_blends & platform::kBlendOne)
        r.destination_blend = kBlendOne;
    else if (caps.destination_blends & platform::kBlendInverseSourceAlpha)
        r.destination_blend = kBlendInvSrcAlpha;
    else
        return 0;
    if (!(caps.source_blends & platform::kBlendSourceAlpha))
        return 0;
    r.source_blend = kBlendSrcAlpha;
    r.texture_blend = caps.texture_blends & platform::kTextureBlendModulateAlpha ? kTBlendModulateAlpha
                                                                                 : kTBlendModulate;
    for (const flare_picture& p : load_flare_pictures(base)) {
        cache_texture* t = make_picture_texture(*d, p);
        if (!t)
            return 0;
        r.textures.push_back(t);
        r.texture_count = static_cast<std::int32_t>(r.textures.size());
    }
    for (int i = 0; i < 6; ++i) {
        r.depth_factor[i] = kFlareElements[i].depth_factor;
        r.size[i] = kFlareElements[i].size;
        r.colour[i] = kFlareElements[i].colour;
        r.texture_index[i] = kFlareElements[i].texture;
    }
    return 1;
}

void texture_set::draw_screen_overlay(const flare_view& view)
{
    render_device* d = installed_render_device();
    if (disabled || !data || !d || d->render_type == kRenderSoftware || !d->device3d || !d->ready || d->paused ||
        !d->alpha4 || data->source_blend == 0 || !d->surfaces_valid)
        return;
    record& r = *data;
    flare_view v = view;
    v.texture_count = r.texture_count;
    v.modulate_alpha = r.texture_blend == kTBlendModulateAlpha;
    const std::vector<flare_quad> quads = lens_flare_quads(v);
    if (quads.empty())
        return;

    platform::Device3D& device = *d->device3d;
    d->end_batch_scene();
    if (device.begin_scene() != DisplayResult::Ok)
        return;  // a lost surface is restored by the next frame's operations
    const platform::RenderStates saved = device.render_states();
    platform::RenderStates st = saved;
    st.z_enable = false;
    st.z_write = false;
    st.fog = false;
    if (d->bilinear)
        st.filter = platform::TextureFilter::Linear;
    st.alpha_blend = true;
    st.source_blend = platform::BlendFactor::SourceAlpha;
    st.dest_blend = platform::BlendFactor::InverseSourceAlpha;
    st.colour_key = false;
    st.texture_blend = v.modulate_alpha ? platform::TextureBlend::ModulateAlpha : platform::TextureBlend::Modulate;

    for (const flare_quad& q : quads) {
        if (q.texture < 0 || q.texture >= r.texture_count)
            continue;
        cache_texture* t = r.textures[static_cast<std::size_t>(q.texture)];
        // Evicted or lost since it was last drawn: made resident again.
        if (!d->refresh_texture(*t) || (!t->video_surface && !d->make_resident(t)))
            continue;
        st.z_enable = st.z_write = q.depth_test;
        device.set_render_states(st);
        device.set_texture(t->video_surface.get());
        platform::TLVertex corners[4];
        for (int i = 0; i < 4; ++i) {
            const flare_vertex& c = q.corner[i];
            corners[i] = {c.x, c.y, c.z, c.rhw, c.colour, c.specular, c.u, c.v};
        }
        device.draw_indexed(corners, 4, kFlareQuadIndices, 6);
    }
    // The states as they were, so that what the renderer last sent still
    // holds for the next polygons.
    device.set_render_states(saved);
    device.end_scene();
    device.set_texture(nullptr);
}
