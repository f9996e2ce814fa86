#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/display.h"
#include "platform/display_state.h"
#include "platform/fault_seam.h"
#include "platform/frame.h"

// Surfaces of the display service: their memory, its budget, and the copies
// between them.

namespace platform {
namespace {

// Rows start on 8-byte boundaries, so that a pitch is not a row's width.
constexpr int kRowAlignment = 8;

// Shown for an 8-bit primary that has no palette yet.
const std::uint32_t kBlackPalette[256] = {};

PixelFormat frame_format_of(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::Rgb565: return PixelFormat::Rgb565;
    case PixelLayout::Rgb555: return PixelFormat::Xrgb1555;
    case PixelLayout::Bgr565: return PixelFormat::Bgr565;
    case PixelLayout::Argb4444: return PixelFormat::Argb4444;
    default: return PixelFormat::Indexed8;
    }
}

std::uint32_t read_pixel(const std::uint8_t* p, int bytes)
{
    return bytes == 1 ? p[0] : static_cast<std::uint32_t>(p[0] | p[1] << 8);
}

void write_pixel(std::uint8_t* p, int bytes, std::uint32_t value)
{
    p[0] = static_cast<std::uint8_t>(value);
    if (bytes == 2)
        p[1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

DisplayResult DisplayDriver::create_surface(const SurfaceSpec& spec, WindowHandle window,
                                            std::unique_ptr<Surface>& out)
{
    out.reset();
    if (take_fault(Fault::SurfaceCreate))
        return DisplayResult::Failed;

    int width = spec.width;
    int height = spec.height;
    PixelLayout layout = spec.layout;
    if (spec.kind == SurfaceKind::Primary) {
        // The primary has the display's format; in full screen its size too.
        layout = state_->mode.depth == 8 ? PixelLayout::Indexed8 : PixelLayout::Rgb565;
        if (state_->exclusive) {
            width = state_->mode.width;
            height = state_->mode.height;
        }
        if (!is_window(window))
            return DisplayResult::InvalidArgument;
    }
    if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide)
        return DisplayResult::InvalidArgument;
    if ((spec.kind == SurfaceKind::DepthBuffer) != (layout == PixelLayout::Depth16))
        return DisplayResult::InvalidArgument;
    if (spec.flipping && spec.kind != SurfaceKind::Primary)
        return DisplayResult::InvalidArgument;
    const auto& formats = state_->description.texture_formats;
    if (spec.kind == SurfaceKind::Texture && std::find(formats.begin(), formats.end(), layout) == formats.end())
        return DisplayResult::InvalidArgument;

    const int bytes = bytes_per_pixel(layout);
    const int pitch = (width * bytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    const std::uint64_t size = static_cast<std::uint64_t>(pitch) * static_cast<std::uint64_t>(height);
    const int buffers = spec.flipping ? 2 : 1;
    const bool texture = spec.kind == SurfaceKind::Texture;

    MemoryPlace place = spec.place;
    {
        std::lock_guard lock(state_->mutex);
        if (place == MemoryPlace::Video) {
            const std::uint64_t free = texture ? state_->free_texture() : state_->free_video();
            if (size * buffers > free) {
                if (!spec.any_place)
                    return DisplayResult::NoVideoMemory;
                place = MemoryPlace::System;
            }
        }
    }

    auto make = [&](SurfaceKind kind) {
        std::unique_ptr<Surface> s(new Surface);
        s->driver_ = state_;
        s->kind_ = kind;
        s->place_ = place;
        s->layout_ = layout;
        s->width_ = width;
        s->height_ = height;
        s->pitch_ = pitch;
        s->pixels_.assign(static_cast<std::size_t>(size), 0);
        s->window_ = window;
        std::lock_guard lock(state_->mutex);
        if (place == MemoryPlace::Video) {
            s->charged_video_ = size;
            state_->used_video += size;
            if (texture) {
                s->charged_texture_ = size;
                state_->used_texture += size;
            }
        }
        state_->surfaces.push_back(s.get());
        return s;
    };
    out = make(spec.kind);
    if (spec.flipping)
        out->back_ = make(SurfaceKind::Offscreen);
    return DisplayResult::Ok;
}

Surface::~Surface()
{
    back_.reset();
    if (!driver_)
        return;
    std::lock_guard lock(driver_->mutex);
    driver_->used_video -= std::min(driver_->used_video, charged_video_);
    driver_->used_texture -= std::min(driver_->used_texture, charged_texture_);
    auto& list = driver_->surfaces;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    // A surface that goes takes its place as some other's Z-buffer with it.
    for (Surface* s : list)
        if (s->depth_ == this)
            s->depth_ = nullptr;
}

PixelRect Surface::clipped(const PixelRect& r) const
{
    return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width_), std::min(r.bottom, height_)};
}

bool Surface::contains(const PixelRect& r) const
{
    return r.left >= 0 && r.top >= 0 && r.right <= width_ && r.bottom <= height_ && r.left < r.right &&
           r.top < r.bottom;
}

DisplayResult Surface::lock(SurfaceLock& lock)
{
    lock = {};
    if (take_fault(Fault::SurfaceLock))
        return DisplayResult::Failed;
    if (lost_)
        return DisplayResult::Lost;
    lock.pixels = pixels_.data();
    lock.pitch = pitch_;
    return DisplayResult::Ok;
}

void Surface::unlock()
{
}

DisplayResult Surface::fill(const PixelRect* rect, std::uint32_t value)
{
    if (take_fault(Fault::SurfaceBlit))
        return DisplayResult::Failed;
    if (lost_)
        return DisplayResult::Lost;
    PixelRect r = rect ? *rect : PixelRect{0, 0, width_, height_};
    if (clipper_) {
        r = clipped(r);
        if (r.left >= r.right || r.top >= r.bottom)
            return DisplayResult::Ok;
    }
    if (!contains(r))
        return DisplayResult::InvalidArgument;
    const int bytes = bytes_per_pixel(layout_);
    // The first row pixel by pixel, the others copied from it.
    std::uint8_t* first = pixels_.data() + static_cast<std::size_t>(r.top) * pitch_ + r.left * bytes;
    for (int x = 0; x < r.right - r.left; ++x)
        write_pixel(first + x * bytes, bytes, value);
    const std::size_t row_bytes = static_cast<std::size_t>((r.right - r.left) * bytes);
    for (int y = r.top + 1; y < r.bottom; ++y)
        std::memcpy(first + static_cast<std::size_t>(y - r.top) * pitch_, first, row_bytes);
    if (kind_ == SurfaceKind::Primary)
        present();
    return DisplayResult::Ok;
}

DisplayResult Surface::blit(const PixelRect* dest, Surface& source, const PixelRect* source_rect, bool keyed)
{
    if (take_fault(Fault::SurfaceBlit))
        return DisplayResult::Failed;
    if (lost_ || source.lost_)
        return DisplayResult::Lost;
    const PixelRect d = dest ? *dest : PixelRect{0, 0, width_, height_};
    const PixelRect s = source_rect ? *source_rect : PixelRect{0, 0, source.width_, source.height_};
    // With a clipper the destination may reach past the surface: only the
    // part inside is drawn, from the source pixels that map to it.
    const PixelRect inside = clipper_ ? clipped(d) : d;
    const bool valid_dest = clipper_ ? d.left < d.right && d.top < d.bottom : contains(d);
    if (!valid_dest || !source.contains(s) || source.layout_ != layout_)
        return DisplayResult::InvalidArgument;
    if (inside.left >= inside.right || inside.top >= inside.bottom)
        return DisplayResult::Ok;

    // A copy within one surface reads from a copy of the source rows.
    std::vector<std::uint8_t> copy;
    const std::uint8_t* from = source.pixels_.data();
    if (&source == this) {
        copy = pixels_;
        from = copy.data();
    }
    const int bytes = bytes_per_pixel(layout_);
    const std::uint32_t mask = bytes == 1 ? 0xFFu : 0xFFFFu;
    const std::uint32_t key = source.colour_key_ & mask;
    const std::int64_t dw = d.width(), dh = d.height(), sw = s.width(), sh = s.height();
    // The source column of each destination column, worked out once per
    // blit rather than divided out again for every pixel of every row.
    const std::int64_t first = inside.left - d.left, last = inside.right - d.left;
    const bool same_width = sw == dw;
    std::vector<std::int64_t> columns;
    if (!same_width) {
        columns.resize(static_cast<std::size_t>(last - first));
        for (std::int64_t x = first; x < last; ++x)
            columns[static_cast<std::size_t>(x - first)] = (s.left + x * sw / dw) * bytes;
    }
    const std::size_t row_bytes = static_cast<std::size_t>((last - first) * bytes);
    for (std::int64_t y = inside.top - d.top; y < inside.bottom - d.top; ++y) {
        const std::int64_t sy = s.top + y * sh / dh;
        const std::uint8_t* in = from + sy * source.pitch_;
        std::uint8_t* out = pixels_.data() + (d.top + y) * pitch_ + (d.left + first) * bytes;
        if (same_width && !keyed) {
            std::memcpy(out, in + (s.left + first) * bytes, row_bytes);
            continue;
        }
        for (std::int64_t x = first; x < last; ++x, out += bytes) {
            const std::int64_t at = same_width ? (s.left + x) * bytes : columns[static_cast<std::size_t>(x - first)];
            const std::uint32_t v = read_pixel(in + at, bytes);
            if (keyed && v == key)
                continue;
            write_pixel(out, bytes, v);
        }
    }
    if (kind_ == SurfaceKind::Primary)
        present();
    return DisplayResult::Ok;
}

DisplayResult Surface::flip()
{
    if (take_fault(Fault::SurfaceFlip))
        return DisplayResult::Failed;
    if (!back_)
        return DisplayResult::InvalidArgument;
    if (lost_ || back_->lost_)
        return DisplayResult::Lost;
    // Both keep their addresses: the back's picture is copied to the front.
    std::memcpy(pixels_.data(), back_->pixels_.data(), pixels_.size());
    present();
    return DisplayResult::Ok;
}

DisplayResult Surface::get_back(Surface*& back)
{
    back = nullptr;
    if (take_fault(Fault::SurfaceBackBuffer))
        return DisplayResult::Failed;
    if (!back_)
        return DisplayResult::InvalidArgument;
    back = back_.get();
    return DisplayResult::Ok;
}

DisplayResult Surface::describe(SurfaceInfo& info) const
{
    info = {};
    if (take_fault(Fault::SurfaceDescribe))
        return DisplayResult::Failed;
    info.kind = kind_;
    info.width = width_;
    info.height = height_;
    info.pitch = pitch_;
    info.layout = layout_;
    info.place = place_;
    return DisplayResult::Ok;
}

DisplayResult Surface::set_clipper(std::shared_ptr<Clipper> clipper)
{
    if (take_fault(Fault::ClipperSet))
        return DisplayResult::Failed;
    if (kind_ != SurfaceKind::Primary || (clipper && !clipper->window()))
        return DisplayResult::InvalidArgument;
    clipper_ = std::move(clipper);
    return DisplayResult::Ok;
}

DisplayResult Surface::attach_depth_buffer(Surface& depth_buffer)
{
    if (take_fault(Fault::SurfaceAttach))
        return DisplayResult::Failed;
    if (depth_buffer.kind_ != SurfaceKind::DepthBuffer || depth_buffer.width_ < width_ ||
        depth_buffer.height_ < height_)
        return DisplayResult::InvalidArgument;
    depth_ = &depth_buffer;
    return DisplayResult::Ok;
}

DisplayResult Surface::set_palette(std::shared_ptr<Palette> palette)
{
    if (take_fault(Fault::PaletteSet))
        return DisplayResult::Failed;
    if (layout_ != PixelLayout::Indexed8)
        return DisplayResult::InvalidArgument;
    palette_ = std::move(palette);
    return DisplayResult::Ok;
}

DisplayResult Surface::restore()
{
    if (take_fault(Fault::SurfaceRestore))
        return DisplayResult::Failed;
    if (lost_)
        std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0});
    lost_ = false;
    if (back_)
        return back_->restore();
    return DisplayResult::Ok;
}

// Hands the primary's picture to its window; a window that cannot take it
// (closing, or no video thread) simply shows nothing.
void Surface::present()
{
    FrameView frame;
    frame.width = width_;
    frame.height = height_;
    frame.format = frame_format_of(layout_);
    frame.pixels = pixels_.data();
    frame.pitch = pitch_;
    frame.palette = palette_ ? palette_->entries() : kBlackPalette;
    present_frame(window_, frame);
}

} // namespace platform
