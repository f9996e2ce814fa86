#include <algorithm>
#include <mutex>

#include "platform/device3d_raster.h"
#include "platform/display.h"
#include "platform/display_state.h"
#include "platform/fault_seam.h"

// The 3D device's scenes: triangle lists queued with their states and
// texture, drawn into the target when the scene ends.

namespace platform {

Device3D::Device3D() : raster_(std::make_unique<TriangleRasteriser>(0)), states_(std::make_unique<RenderStates>()) {}

void Device3D::set_threads(int threads)
{
    raster_->set_threads(threads);
}

void Device3D::set_render_states(const RenderStates& states)
{
    *states_ = states;
}

DisplayResult Device3D::set_texture(Surface* texture)
{
    if (texture) {
        const bool power_of_two = texture->width() > 0 && texture->height() > 0 &&
                                  (texture->width() & (texture->width() - 1)) == 0 &&
                                  (texture->height() & (texture->height() - 1)) == 0;
        const PixelLayout l = texture->layout();
        const bool sixteen = l == PixelLayout::Rgb565 || l == PixelLayout::Rgb555 || l == PixelLayout::Bgr565 ||
                             l == PixelLayout::Argb4444;
        if (!power_of_two || !sixteen)
            return DisplayResult::InvalidArgument;
    }
    texture_ = texture;
    return DisplayResult::Ok;
}

DisplayResult Device3D::set_light_material(std::uint32_t handle)
{
    if (handle != 0) {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->material_colours.count(handle))
            return DisplayResult::InvalidArgument;
    }
    light_material_ = handle;
    return DisplayResult::Ok;
}

DisplayResult Device3D::begin_scene()
{
    if (take_fault(Fault::DeviceBeginScene))
        return DisplayResult::Failed;
    if (in_scene_)
        return DisplayResult::Failed;
    if (target_->lost() || (target_->depth_buffer() && target_->depth_buffer()->lost()))
        return DisplayResult::Lost;
    in_scene_ = true;
    return DisplayResult::Ok;
}

DisplayResult Device3D::draw_indexed(const TLVertex* vertices, int vertex_count, const std::uint16_t* indices,
                                     int index_count)
{
    if (take_fault(Fault::DeviceDraw))
        return DisplayResult::Failed;
    if (!in_scene_)
        return DisplayResult::Failed;
    if (index_count < 0 || vertex_count < 0 || (index_count > 0 && (!vertices || !indices)))
        return DisplayResult::InvalidArgument;
    if (index_count == 0)
        return DisplayResult::Ok;
    RasterTexture texture;
    const RasterTexture* used = nullptr;
    if (texture_) {
        if (texture_->lost())
            return DisplayResult::Lost;
        SurfaceLock lock;
        if (texture_->lock(lock) != DisplayResult::Ok)
            return DisplayResult::Failed;
        texture_->unlock();  // the address stays as long as the surface lives
        texture.texels = reinterpret_cast<const std::uint16_t*>(lock.pixels);
        texture.width = texture_->width();
        texture.height = texture_->height();
        texture.pitch = lock.pitch / 2;
        texture.layout = texture_->layout();
        texture.keyed = texture_->keyed();
        texture.key = static_cast<std::uint16_t>(texture_->colour_key());
        used = &texture;
    }
    // Lit by the current material: white (or none) leaves the vertices as
    // they are.
    std::uint32_t light = 0xFFFFFFu;
    if (light_material_ != 0) {
        std::lock_guard lock(shared_->mutex);
        const auto it = shared_->material_colours.find(light_material_);
        light = it == shared_->material_colours.end() ? 0xFFFFFFu : it->second;
    }
    if (light != 0xFFFFFFu) {
        lit_.assign(vertices, vertices + vertex_count);
        for (TLVertex& v : lit_) {
            std::uint32_t c = v.colour & 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                const std::uint32_t m = (light >> shift) & 255, k = (v.colour >> shift) & 255;
                c |= ((k * m + 127) / 255) << shift;
            }
            v.colour = c;
        }
        vertices = lit_.data();
    }
    triangles_queued_ += static_cast<std::uint64_t>(index_count / 3);
    const bool all = raster_->queue(*states_, used, vertices, vertex_count, indices, index_count);
    return all ? DisplayResult::Ok : DisplayResult::InvalidArgument;
}

DisplayResult Device3D::draw_queued()
{
    if (target_->lost()) {
        raster_->discard();
        return DisplayResult::Lost;
    }
    Surface* z = target_->depth_buffer();
    if (z && z->lost()) {
        raster_->discard();
        return DisplayResult::Lost;
    }
    PixelRect scissor{0, 0, target_->width(), target_->height()};
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->current)
            scissor = shared_->current->rect_;
    }
    RasterTarget raster_target;
    SurfaceLock colour;
    if (target_->lock(colour) != DisplayResult::Ok) {
        raster_->discard();
        return DisplayResult::Failed;
    }
    raster_target.colour = reinterpret_cast<std::uint16_t*>(colour.pixels);
    raster_target.colour_pitch = colour.pitch / 2;
    raster_target.layout = target_->layout();
    SurfaceLock depth;
    bool depth_locked = false;
    if (z && z->layout() == PixelLayout::Depth16) {
        if (z->lock(depth) != DisplayResult::Ok) {
            target_->unlock();
            raster_->discard();
            return DisplayResult::Failed;
        }
        depth_locked = true;
        raster_target.depth = reinterpret_cast<std::uint16_t*>(depth.pixels);
        raster_target.depth_pitch = depth.pitch / 2;
        // A Z-buffer smaller than its target limits the drawing to itself.
        scissor.right = std::min(scissor.right, z->width());
        scissor.bottom = std::min(scissor.bottom, z->height());
    }
    scissor.left = std::max(scissor.left, 0);
    scissor.top = std::max(scissor.top, 0);
    scissor.right = std::min(scissor.right, target_->width());
    scissor.bottom = std::min(scissor.bottom, target_->height());
    raster_target.scissor = scissor;
    raster_->flush(raster_target);
    if (depth_locked)
        z->unlock();
    target_->unlock();
    return DisplayResult::Ok;
}

DisplayResult Device3D::end_scene()
{
    if (take_fault(Fault::DeviceEndScene)) {
        raster_->discard();
        in_scene_ = false;
        return DisplayResult::Failed;
    }
    if (!in_scene_)
        return DisplayResult::Failed;
    in_scene_ = false;
    return draw_queued();
}

} // namespace platform
