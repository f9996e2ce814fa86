#include <algorithm>
#include <bit>

#include "engine/render/rast.h"
#include "engine/render/render_device.h"

// Clearing, drawing and showing a frame, the device's render states, and
// getting lost surfaces back.

namespace {

using platform::DisplayResult;

// The device's Z compare function from its compare code (1 never, 2 less,
// 3 equal, 4 less-or-equal, 5 greater, 6 not equal, 7 greater-or-equal,
// 8 always); a device without one (0) compares less-or-equal.
platform::CompareFunc compare_func(std::int32_t code)
{
    using platform::CompareFunc;
    switch (code) {
    case 1: return CompareFunc::Never;
    case 2: return CompareFunc::Less;
    case 3: return CompareFunc::Equal;
    case 5: return CompareFunc::Greater;
    case 6: return CompareFunc::NotEqual;
    case 7: return CompareFunc::GreaterEqual;
    case 8: return CompareFunc::Always;
    default: return CompareFunc::LessEqual;
    }
}

platform::TextureBlend texture_blend(std::int32_t code)
{
    switch (code) {
    case 1: return platform::TextureBlend::Decal;
    case 4: return platform::TextureBlend::ModulateAlpha;
    default: return platform::TextureBlend::Modulate;
    }
}

// The software picture's border takes the darkest palette entry on an 8-bit
// screen (its first column, its last two and its last three rows) and black
// on a 16-bit one (first and last column, last row).
void paint_border(std::uint8_t* pixels, int pitch, int w, int h, int bytes, std::uint32_t value, int right,
                  int bottom)
{
    const auto put = [&](int x, int y) {
        std::uint8_t* p = pixels + static_cast<std::size_t>(y) * pitch + static_cast<std::size_t>(x) * bytes;
        p[0] = static_cast<std::uint8_t>(value);
        if (bytes == 2)
            p[1] = static_cast<std::uint8_t>(value >> 8);
    };
    for (int y = 0; y < h; ++y) {
        put(0, y);
        for (int x = std::max(w - right, 0); x < w; ++x)
            put(x, y);
    }
    for (int y = std::max(h - bottom, 0); y < h; ++y)
        for (int x = 0; x < w; ++x)
            put(x, y);
}

} // namespace

int render_device::clear_zbuffer()
{
    if (!surfaces_valid || paused || render_type == kRenderSoftware || !device3d)
        return 1;
    end_batch_scene();
    const DisplayResult result = device3d->clear(false, zbuffer != nullptr);
    if (result == DisplayResult::Lost)
        return restore_surfaces();
    if (result != DisplayResult::Ok) {
        report_error(22);
        return 0;
    }
    if (texture_preload) {
        preload_textures();
        texture_preload = 0;
    }
    return 1;
}

// Every texture with texels is drawn once, as a quad of its size at the top
// left behind almost everything, through the first slot of class 0, so that
// it is made resident before the frames that need it.
void render_device::preload_textures()
{
    if (!batches.allocated())
        return;
    batch_slot& slot = batches.rows[0].slots[0];
    // The slot's polygons, if any, are drawn first: it changes hands.
    if (slot.texture) {
        flush_batch(slot);
        give_back_slot(slot);
    }
    const float near = std::bit_cast<float>(0x3F7FF972u);  // 0.9999
    const float far = std::bit_cast<float>(0x3F7FBE77u);   // 0.999
    for (cache_texture& t : preload_records) {
        if (!t.size)
            continue;
        const float w = static_cast<float>(t.cache_width ? t.cache_width : t.source_width);
        const float h = static_cast<float>(t.cache_height ? t.cache_height : t.source_height);
        const float xs[4] = {0, w, w, 0}, ys[4] = {0, 0, h, h};
        const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
        for (int i = 0; i < 4; ++i) {
            platform::TLVertex& v = slot.vertices[i];
            v.sx = xs[i];
            v.sy = ys[i];
            v.sz = i % 2 == 0 ? near : far;
            v.rhw = 0.01f;
            v.colour = 0xFFFFFFFFu;
            v.specular = 0xFF000000u;
            v.tu = us[i];
            v.tv = vs[i];
        }
        const std::uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
        std::copy(std::begin(quad), std::end(quad), slot.indices);
        slot.texture = &t;
        slot.vertex_count = 4;
        slot.index_count = 6;
        flush_batch(slot);
        slot.texture = nullptr;
        slot.vertex_count = slot.index_count = 0;
    }
    end_batch_scene();
}

int render_device::clear_back_buffer()
{
    if (!surfaces_valid || paused || !back_surface)
        return 1;
    if (render_type == kRenderSoftware) {
        const DisplayResult result = back_surface->fill(&software_clear, background_pixel);
        if (result == DisplayResult::Lost)
            return restore_surfaces();
        if (result != DisplayResult::Ok) {
            report_error(11);
            return 0;
        }
        return 1;
    }
    if (!device3d)
        return 1;
    end_batch_scene();
    const DisplayResult result = device3d->clear(true, zbuffer != nullptr);
    if (result == DisplayResult::Lost)
        return restore_surfaces();
    if (result != DisplayResult::Ok) {
        report_error(22);
        return 0;
    }
    return 1;
}

int render_device::draw_scene()
{
    if (render_type == kRenderSoftware) {
        // The rasteriser's recorded polygons are drawn before any 2D
        // overlay goes over them.
        rast_flush();
        return 1;
    }
    if (paused) {
        end_batch_scene();
        give_back_batch_slots();
        return 1;
    }
    // A frame that cannot be drawn is dropped: its polygons are not drawn
    // with a later one.
    if (!restore_surfaces()) {
        end_batch_scene();
        give_back_batch_slots();
        return 0;
    }
    if (!surfaces_valid || !device3d) {
        end_batch_scene();
        give_back_batch_slots();
        return 1;
    }
    if (!scene_queued) {
        end_batch_scene();
        return 0;
    }
    scene_queued = 0;
    // Every way out gives every slot back, so nothing queued for this frame
    // is drawn with the next.
    struct give_back {
        render_device& device;
        ~give_back() { device.give_back_batch_slots(); }
    } on_return{*this};

    // The scene the slots flushed since the last call were drawn into goes
    // on: they come before what is drawn now.
    bool drawn_in_scene = batch_scene_open && device3d->in_scene();
    batch_scene_open = 0;
    if (!drawn_in_scene)
        if (const int begun = scene_step(device3d->begin_scene(), 24); begun != 1)
            return begun;
    int outcome = 1;
    // Classes 0 to 11 first, the slots whose textures are resident, then
    // the others, each made resident first; then class 12 the same way, so
    // that it lies over every other class (it writes no depths, so whatever
    // came after it would cover it).
    struct phase {
        int first_class, last_class;
        bool resident;
    };
    const phase phases[] = {{0, kOverlayBatchClass - 1, true},
                            {0, kOverlayBatchClass - 1, false},
                            {kOverlayBatchClass, kBatchClasses - 1, true},
                            {kOverlayBatchClass, kBatchClasses - 1, false}};
    for (const phase& ph : phases) {
        for (int c = ph.first_class; c <= ph.last_class && outcome == 1; ++c) {
            batch_class& row = batches.rows[c];
            for (int i = 0; i < row.cursor && outcome == 1; ++i) {
                batch_slot& slot = row.slots[static_cast<std::size_t>(i)];
                if (!slot.texture)
                    continue;
                // A texture given back to the cache since (its record
                // emptied) has nothing left to draw with.
                if (slot.index_count == 0 || slot.texture->size == 0) {
                    give_back_slot(slot);
                    continue;
                }
                const bool resident = slot.texture->video_surface && !slot.texture->video_surface->lost();
                if (ph.resident && !resident)
                    continue;
                if (!resident && drawn_in_scene) {
                    // Making a texture resident may evict another whose
                    // texels this scene still reads: what is queued is
                    // drawn first.
                    if (const int ended = scene_step(device3d->end_scene(), 26); ended != 1)
                        return ended;
                    if (const int begun = scene_step(device3d->begin_scene(), 24); begun != 1)
                        return begun;
                    drawn_in_scene = false;
                }
                if (const int code = ready_batch_texture(*slot.texture)) {
                    report_error(code);
                    outcome = 0;
                    break;
                }
                if (!draw_slot(slot)) {
                    outcome = 0;
                    break;
                }
                drawn_in_scene = true;
                give_back_slot(slot);
            }
        }
    }
    const int ended = scene_step(device3d->end_scene(), 26);
    return ended != 1 ? ended : outcome;
}

int render_device::test_scene()
{
    if (!device3d)
        return 1;
    if (const int begun = scene_step(device3d->begin_scene(), 24); begun != 1)
        return begun;
    return scene_step(device3d->end_scene(), 26);
}

void render_device::put_pixel(int x, int y, std::uint16_t colour)
{
    if (back_buffer.empty() || draw_width <= 0 || draw_height <= 0)
        return;
    x = std::clamp(x, 0, draw_width - 1);
    y = std::clamp(y, 0, draw_height - 1);
    // Rows are a pitch apart, which may be wider than the picture; an 8-bit
    // screen takes the colour's low byte as its palette index.
    const int bytes = screen_depth == 8 ? 1 : 2;
    std::uint8_t* p = back_buffer.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(back_pitch) +
                      static_cast<std::size_t>(x) * static_cast<std::size_t>(bytes);
    p[0] = static_cast<std::uint8_t>(colour);
    if (bytes == 2)
        p[1] = static_cast<std::uint8_t>(colour >> 8);
}

void render_device::set_render_states()
{
    platform::RenderStates s;
    const bool z = zbuffer != nullptr;
    s.z_enable = z;
    s.z_func = compare_func(zcompare);
    s.z_write = z;
    s.specular = specular_enabled != 0;
    s.texture_blend = texture_blend(texture_map_blend);
    s.gouraud = true;
    s.filter = bilinear ? platform::TextureFilter::Linear : platform::TextureFilter::Nearest;
    bilinear_state = bilinear ? 1 : 0;
    s.colour_key = true;
    s.alpha_blend = false;
    s.source_blend = platform::BlendFactor::One;
    s.dest_blend = platform::BlendFactor::Zero;
    blend_state = 0;
    stipple_state = 0;
    // Fog off is sent too, so that turning fog off takes effect.
    s.fog = fog_enabled != 0;
    s.fog_colour = fog_colour;
    device_fog_state = fog_enabled ? 1 : 0;
    device_states = s;
    if (device3d)
        device3d->set_render_states(s);
    render_states_dirty = 0;
}

int render_device::present()
{
    end_batch_scene();
    triangles = 0;
    previous_upload_bytes = upload_bytes;
    upload_bytes = 0;
    if (paused)
        return 1;
    if (!primary_surface || !back_surface || closing)
        return 1;
    return render_type == kRenderSoftware ? present_software() : present_3d();
}

// A lost surface is restored and the frame dropped; true when the result
// was that.
bool render_device::restore_after(DisplayResult result)
{
    if (result != DisplayResult::Lost)
        return false;
    restore_surfaces();
    palette_dirty = 1;
    return true;
}

int render_device::present_software()
{
    rast_flush();
    if (palette_dirty && screen_depth == 8 && screen_palette &&
        screen_palette->set_entries(0, 256, palette) == DisplayResult::Ok)
        palette_dirty = 0;
    paint_software_border();
    // The picture starts on the back's second row.
    const int w = std::min(client_width, back_width);
    const int h = std::min(client_height, back_height - 1);
    if (w <= 0 || h <= 0)
        return 1;
    const platform::PixelRect source{0, 1, w, h + 1};
    const platform::PixelRect dest{0, 0, w, h};
    return frame_shown(primary_surface->blit(&dest, *back_surface, &source, false));
}

int render_device::frame_shown(DisplayResult result)
{
    if (result == DisplayResult::Ok) {
        ++frames_presented;
        return 1;
    }
    if (restore_after(result))
        return 1;
    report_error(27);
    return 0;
}

void render_device::paint_software_border()
{
    if (!screen_pixels || draw_width <= 0 || draw_height <= 0)
        return;
    if (screen_depth == 8)
        paint_border(screen_pixels, back_pitch, draw_width, draw_height, 1, static_cast<std::uint32_t>(darkest_index),
                     2, 3);
    else
        paint_border(screen_pixels, back_pitch, draw_width, draw_height, 2, 0, 1, 1);
}

int render_device::present_3d()
{
    // Textures painted since the last frame are loaded again.
    if (!reload_pending_textures())
        return 0;
    DisplayResult result = back_surface->fill(&right_strip, 0);
    if (result == DisplayResult::Ok)
        result = back_surface->fill(&bottom_strip, 0);
    if (restore_after(result))
        return 1;
    if (!exclusive) {
        const int w = std::min(client_width, back_width);
        const int h = std::min(client_height, back_height);
        if (w <= 0 || h <= 0)
            return 1;
        const platform::PixelRect rect{0, 0, w, h};
        result = primary_surface->blit(&rect, *back_surface, &rect, false);
        if (result == DisplayResult::Ok)
            ++frames_presented;
        // A copy into a window that fails drops the frame; a lost surface
        // is restored.
        restore_after(result);
        return 1;
    }
    return frame_shown(primary_surface->flip());
}

int render_device::restore_surfaces()
{
    // Nothing queued is drawn into a surface that was lost (and is cleared
    // when restored).
    if (batch_scene_open && ((primary_surface && primary_surface->lost()) || (back_surface && back_surface->lost()) ||
                             (zbuffer && zbuffer->lost())))
        end_batch_scene();
    int result = 1;
    if (primary_surface && !restore_surface(*primary_surface))
        result = 0;
    if (back_surface && !restore_surface(*back_surface))
        result = 0;
    if (zbuffer && !restore_surface(*zbuffer))
        result = 0;
    // The surfaces are usable only when none of them is still lost.
    const bool lost = (primary_surface && primary_surface->lost()) || (back_surface && back_surface->lost()) ||
                      (zbuffer && zbuffer->lost());
    if (lost)
        surfaces_valid = 0;
    // Video copies of textures lost with the display come back from their
    // system copies.
    if (surfaces_lost && render_type != kRenderSoftware) {
        surfaces_lost = 0;
        if (!reload_lost_textures())
            result = 0;
    }
    return result;
}

// A lost surface gets its memory back, cleared; one that cannot be restored
// leaves the surfaces invalid until a later restore succeeds.
int render_device::restore_surface(platform::Surface& surface)
{
    if (!surface.lost())
        return 1;
    surfaces_lost = 1;
    if (surface.restore() != DisplayResult::Ok) {
        surfaces_valid = 0;
        return 1;
    }
    if (surface.kind() != platform::SurfaceKind::DepthBuffer && !clear_surface(surface))
        return 0;
    surfaces_valid = 1;
    return 1;
}
