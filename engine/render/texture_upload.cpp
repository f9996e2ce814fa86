#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "engine/base/texture_record.h"
#include "engine/render/render_device.h"

// Registering material textures and building their system-memory texture
// surfaces: the sizes they are cached at, fitted to the texture memory, and
// their texels converted for the device.

namespace {

using platform::DisplayResult;
using platform::PixelLayout;

constexpr int kGeneralError = -1;
constexpr std::int64_t kBudgetFloor = 400000;
constexpr std::int64_t kAgpReserve = 524288;

std::int64_t record_bytes(const cache_texture& t)
{
    // A 32-bit source is cached as 16-bit texels.
    return t.bytes_per_texel == 4 ? std::int64_t(t.size) / 2 : std::int64_t(t.size);
}

bool power_of_two(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// Every texture is cached in 16-bit texels (the device takes no others).
constexpr std::int64_t kCacheTexelBytes = 2;

} // namespace

int render_device::make_system_texture(int w, int h, PixelLayout layout, const std::uint16_t* texels,
                                       std::unique_ptr<platform::Surface>& out)
{
    platform::SurfaceSpec spec;
    spec.kind = platform::SurfaceKind::Texture;
    spec.width = w;
    spec.height = h;
    spec.layout = layout;
    spec.place = platform::MemoryPlace::System;
    std::unique_ptr<platform::Surface> surface;
    if (!display || display->create_surface(spec, {}, surface) != DisplayResult::Ok) {
        report_error(28);
        return 0;
    }
    platform::SurfaceLock lock;
    if (surface->lock(lock) != DisplayResult::Ok) {
        report_error(21);
        return 0;
    }
    for (int y = 0; y < h; ++y)
        std::memcpy(lock.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(lock.pitch),
                    texels + static_cast<std::size_t>(y) * static_cast<std::size_t>(w), static_cast<std::size_t>(w) * 2);
    surface->unlock();
    out = std::move(surface);
    return 1;
}

int render_device::texture_size_class(int n) const
{
    return ::texture_size_class(n, render_type);
}

texture_layouts render_device::device_texture_layouts() const
{
    texture_layouts layouts;
    for (int i = 0; i < texture_format_count; ++i) {
        const texture_format_info& f = texture_formats[i];
        if (f.palettised || f.masks.bits != 16)
            continue;
        if (f.alpha_bits == 4 && f.red_bits + f.green_bits + f.blue_bits == 12)
            layouts.has_alpha4 = true;
        else if (f.alpha_bits == 0 && !layouts.has_opaque) {
            layouts.has_opaque = true;
            layouts.opaque = f.layout;
        }
    }
    // The chosen format first, when it is a colour layout.
    if (texture_format_index >= 0 && !texture_format.palettised && texture_format.alpha_bits == 0 &&
        texture_format.masks.bits == 16) {
        layouts.has_opaque = true;
        layouts.opaque = texture_format.layout;
    }
    return layouts;
}

bool render_device::texture_layout_of(const cache_texture& t, PixelLayout& layout) const
{
    if (t.system_surface) {
        layout = t.system_surface->layout();
        return true;
    }
    const texture_layouts l = device_texture_layouts();
    if (t.bytes_per_texel == 4 && l.has_alpha4)
        layout = PixelLayout::Argb4444;
    else if (l.has_opaque)
        layout = l.opaque;
    else if (l.has_alpha4)
        layout = PixelLayout::Argb4444;
    else
        return false;
    return true;
}

bool render_device::owns_texture(const cache_texture* texture) const
{
    if (!texture_records || !texture)
        return false;
    const cache_texture* first = texture_records.get();
    return std::less_equal<const cache_texture*>()(first, texture) &&
           std::less<const cache_texture*>()(texture, first + kCacheTextures);
}

cache_texture* render_device::take_texture_record()
{
    if (!texture_records) {
        texture_records.reset(new (std::nothrow) cache_texture[kCacheTextures]);
        if (!texture_records)
            return nullptr;
        preload_records = {texture_records.get(), static_cast<std::size_t>(kCacheTextures)};
    }
    for (int i = 0; i < kCacheTextures; ++i)
        if (texture_records[i].size == 0)
            return &texture_records[i];
    return nullptr;
}

int render_device::create_textures(mtr_texture* m, int default_class)
{
    if (!m) {
        report_error(kGeneralError);
        return 0;
    }
    const pixel_kind_info kind = pixel_kind_of(static_cast<std::int32_t>(m->pixel_type));
    const std::int64_t w = m->width, h = m->height;
    if (render_type == kRenderSoftware) {
        // No record: the frame's texels live in a buffer of their own.
        const std::int64_t bytes = w * h * kind.bytes_per_texel;
        std::unique_ptr<std::uint8_t[]> buffer;
        if (w > 0 && h > 0)
            buffer.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
        if (!buffer) {
            report_error(40);
            return 0;
        }
        m->pixels = buffer.get();
        software_texels.emplace_back(m, std::move(buffer));
        return 1;
    }
    cache_texture* t = take_texture_record();
    if (!t) {
        report_error(39);
        return 0;
    }
    const auto fail = [&](int code) {
        *t = cache_texture{};
        m->surface = nullptr;
        report_error(code);
        return 0;
    };
    t->owner = m;
    m->surface = t;
    t->pixel_kind = static_cast<std::int32_t>(m->pixel_type);
    t->bytes_per_texel = kind.bytes_per_texel;
    t->blend_mode = kind.blend_mode;
    t->colour_key = kind.own_key ? static_cast<std::int32_t>(m->colour & 0xFFFF) : kind.index0_keyed ? 0 : -1;
    t->source_width = m->width;
    t->source_height = m->height;
    if (m->width < 8 || m->height < 8)
        return fail(kGeneralError);
    t->scale = -1.0f;
    t->flags = 0;
    if (!parse_texture_options(m->name, *t, device_info.square_only != 0))
        return fail(kGeneralError);
    if ((t->flags & kTextureClassMask) == 0 && default_class > 0)
        t->flags |= static_cast<std::uint32_t>(default_class) & kTextureClassMask;
    const std::int64_t bytes = w * h * kind.bytes_per_texel;
    if (bytes == 0)
        return fail(48);
    if (bytes > std::numeric_limits<std::uint32_t>::max())
        return fail(40);
    t->pixels.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
    if (!t->pixels)
        return fail(40);
    if (kind.palettised) {
        t->palette.reset(new (std::nothrow) std::uint16_t[256]());
        if (!t->palette)
            return fail(40);
    }
    t->size = static_cast<std::uint32_t>(bytes);
    texture_memory_total += static_cast<std::uint64_t>(bytes);
    m->pixels = t->pixels.get();
    m->palette = t->palette.get();
    return 1;
}

namespace {

// The sums of the fitting, over the records still to be built and the
// records already built.
struct fit_sums {
    std::int64_t fitted = 0, fixed = 0, video = 0, kept = 0;
};

bool pending(const cache_texture& t)
{
    return t.size != 0 && !(t.flags & kTextureSurface2D) && !t.system_surface && t.pixels;
}

} // namespace

int render_device::upload_textures(int percent)
{
    if (render_type == kRenderSoftware)
        return 1;
    if (!display) {
        report_error(28);
        return 0;
    }
    if (!alloc_batch_buffers())
        return 0;
    if (!texture_records && !take_texture_record()) {
        report_error(41);
        return 0;
    }
    cache_texture* records = texture_records.get();

    // Sums: what is fitted, what keeps its size (built records among them),
    // the textures marked V and those marked P.
    fit_sums s;
    for (int i = 0; i < kCacheTextures; ++i) {
        const cache_texture& t = records[i];
        if (t.size == 0)
            continue;
        const std::int64_t bytes = pending(t) ? record_bytes(t)
                                              : std::int64_t(t.cache_width) * t.cache_height * kCacheTexelBytes;
        if (pending(t) && t.scale < 0)
            s.fitted += bytes;
        else
            s.fixed += bytes;
        if (!pending(t))
            continue;
        if ((t.flags & kTextureOptionV) && !(t.flags & kTextureKeepSize))
            s.video += bytes + (pixel_kind_of(t.pixel_kind).palettised ? 512 : 0);
        if (t.flags & kTextureKeepSize)
            s.kept += bytes;
    }
    const std::int64_t F = static_cast<std::int64_t>(std::min<std::uint64_t>(
        free_texture_memory, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 1024)));
    // V textures that do not fit count for nothing, and then every texture
    // is fitted, those that asked to keep their size too.
    bool refit_all = false;
    if (F < s.video) {
        refit_all = true;
        s.fixed = 0;
        s.video = 0;
    }
    const bool nonlocal = free_nonlocal_memory > 0;
    const bool agp = device_info.nonlocal_textures != 0;
    if ((!nonlocal || !agp) && F / 4 < s.kept)
        s.kept = 0;

    // The budget, in 64 bits so no percentage of a large memory wraps.
    const std::int64_t p = percent;
    std::int64_t budget = p * F / 100 + F - s.fixed;
    if (budget < kBudgetFloor)
        budget = p * F / 100 + F;
    if (nonlocal && agp && p >= 200)
        budget = std::max(budget, s.fitted + kAgpReserve);
    if (agp && budget < s.fitted)
        budget = ((p / 4) + 1) * s.fitted / 200 + s.fitted / 4;

    // Fit: shrink by half a percent at a time until the total is below the
    // budget (the hardware type; the others take the first fit).
    const bool square = device_info.square_only != 0;
    for (float factor = 1.01f;; factor -= 0.005f) {
        if (factor <= 0.01f) {
            report_error(42);
            return 0;
        }
        std::int64_t total = 0;
        bool too_large = false;
        for (int i = 0; i < kCacheTextures; ++i) {
            cache_texture& t = records[i];
            if (!pending(t))
                continue;
            if (refit_all || square)
                t.scale = -1.0f;
            // Option S keeps the source size (counted among the fixed
            // sizes), option P too while the P textures fit; a side that is
            // not a power of two cannot be kept, the device takes none.
            const bool pow2 = power_of_two(t.source_width) && power_of_two(t.source_height);
            const bool keep_s = t.scale >= 0;
            const bool keep_p = (t.flags & kTextureKeepSize) && s.kept != 0;
            if ((keep_s || keep_p) && pow2) {
                t.cache_width = t.source_width;
                t.cache_height = t.source_height;
            } else {
                const float f = keep_s || keep_p ? 1.0f : factor;
                t.cache_width = texture_size_class(static_cast<int>(static_cast<float>(t.source_width) * f));
                t.cache_height = texture_size_class(static_cast<int>(static_cast<float>(t.source_height) * f));
                if (square)
                    t.cache_width = t.cache_height = std::min(t.cache_width, t.cache_height);
            }
            if (keep_s)
                continue;
            const std::int64_t bytes = kCacheTexelBytes * t.cache_width * t.cache_height;
            if (render_type == kRenderHardware && bytes >= F)
                too_large = true;
            total += bytes;
        }
        if (render_type != kRenderHardware || (!too_large && total < budget))
            break;
    }

    // Convert and build.
    const texture_layouts layouts = device_texture_layouts();
    for (int i = 0; i < kCacheTextures; ++i) {
        cache_texture& t = records[i];
        if (!pending(t))
            continue;
        converted_texels c;
        if (!convert_texels(t, layouts, c)) {
            report_error(43);
            return 0;
        }
        std::unique_ptr<platform::Surface> surface;
        if (!make_system_texture(t.cache_width, t.cache_height, c.layout, c.texels.data(), surface))
            return 0;
        if (c.colour_key >= 0)
            surface->set_colour_key(static_cast<std::uint32_t>(c.colour_key));
        t.system_surface = std::move(surface);
        t.colour_key = c.colour_key;
        t.blend_mode = c.blend_mode;
        t.bytes_per_texel = 2;
        // The converted texels live in the surface; the source goes, and
        // the frame no longer points at it.
        t.pixels.reset();
        t.palette.reset();
        if (t.owner) {
            t.owner->pixels = nullptr;
            t.owner->palette = nullptr;
        }
    }

    return make_texture_material();
}

int render_device::make_texture_material()
{
    if (!device3d || texture_material_made)
        return 1;
    if (device3d->create_material(texture_material) != DisplayResult::Ok ||
        texture_material->set_colour(0xFFFFFF) != DisplayResult::Ok ||
        texture_material->get_handle(texture_material_handle) != DisplayResult::Ok) {
        texture_material.reset();
        texture_material_handle = 0;
        report_error(kGeneralError);
        return 0;
    }
    texture_material_made = 1;
    return 1;
}
