#include "engine/render/texture_cache.h"

#include <cstring>

using platform::DisplayResult;

int texture_size_class(int n, int render_type)
{
    if (render_type == 112 && n > 512)
        return 512;
    if (n > 200)
        return 256;
    if (n > 90)
        return 128;
    if (n > 38)
        return 64;
    if (n > 20)
        return 32;
    if (n > 10)
        return 16;
    return 8;
}

int texture_check_stub()
{
    return 1;
}

bool parse_texture_options(const char* name, cache_texture& texture, bool square_only)
{
    texture.flags |= kTextureFogged;
    if (std::strstr(name, "skynf"))
        texture.flags &= ~kTextureFogged;
    const char* open = std::strchr(name, '#');
    if (!open)
        return true;
    const char* close = std::strchr(open + 1, '#');
    if (!close)
        return false;
    const auto set_class = [&](std::uint32_t c) { texture.flags = (texture.flags & ~kTextureClassMask) | c; };
    for (const char* p = open + 1; p < close; ++p) {
        switch (*p) {
        case 'S':
            if (!square_only)
                texture.scale = 1.0f;
            break;
        case 'V': texture.flags |= kTextureOptionV; break;
        case 'M': texture.flags |= kTextureAlphaOpaque; break;
        case 'F': texture.flags |= kTextureNoBilinear; break;
        case 'P': texture.flags |= kTextureKeepSize; break;
        case 'Z':
            set_class(12);
            texture.flags |= kTextureOverlay;
            break;
        case '1':
            // 1 alone, or 10, 11, 12.
            if (p + 1 < close && p[1] >= '0' && p[1] <= '2') {
                set_class(static_cast<std::uint32_t>(10 + (p[1] - '0')));
                ++p;
            } else {
                set_class(1);
            }
            break;
        default:
            if (*p >= '2' && *p <= '9')
                set_class(static_cast<std::uint32_t>(*p - '0'));
            break;
        }
    }
    return true;
}

void texture_ring::push(cache_texture* texture)
{
    remove(texture);
    if (count_ == kCacheTextures)
        return;  // cannot happen: there are as many entries as records
    entries_[static_cast<std::size_t>((head_ + count_) % kCacheTextures)] = texture;
    ++count_;
}

cache_texture* texture_ring::pop_oldest()
{
    if (count_ == 0)
        return nullptr;
    cache_texture* t = entries_[static_cast<std::size_t>(head_)];
    entries_[static_cast<std::size_t>(head_)] = nullptr;
    head_ = (head_ + 1) % kCacheTextures;
    --count_;
    return t;
}

void texture_ring::remove(const cache_texture* texture)
{
    int kept = 0;
    for (int i = 0; i < count_; ++i) {
        cache_texture* t = entries_[static_cast<std::size_t>((head_ + i) % kCacheTextures)];
        if (t != texture)
            entries_[static_cast<std::size_t>((head_ + kept++) % kCacheTextures)] = t;
    }
    for (int i = kept; i < count_; ++i)
        entries_[static_cast<std::size_t>((head_ + i) % kCacheTextures)] = nullptr;
    count_ = kept;
}

void evict_texture(cache_texture& texture, texture_ring& ring)
{
    texture.video_surface.reset();
    texture.handle = -1;
    ring.remove(&texture);
}

int make_texture_resident(cache_texture& texture, platform::DisplayDriver& driver, texture_ring& ring,
                          std::uint64_t& uploaded, std::int32_t& next_handle)
{
    return make_texture_resident(texture, driver, ring, uploaded, next_handle, {});
}

int make_texture_resident(cache_texture& texture, platform::DisplayDriver& driver, texture_ring& ring,
                          std::uint64_t& uploaded, std::int32_t& next_handle,
                          const std::function<void()>& before_evict)
{
    if (!texture.system_surface)
        return 28;
    platform::Surface& source = *texture.system_surface;
    platform::SurfaceSpec spec;
    spec.kind = platform::SurfaceKind::Texture;
    spec.width = source.width();
    spec.height = source.height();
    spec.layout = source.layout();
    spec.place = platform::MemoryPlace::Video;
    uploaded += texture.size;
    std::unique_ptr<platform::Surface> video;
    bool evicting = false;
    for (;;) {
        const DisplayResult r = driver.create_surface(spec, {}, video);
        if (r == DisplayResult::Ok)
            break;
        if (r != DisplayResult::NoVideoMemory)
            return 28;
        if (!evicting && before_evict)
            before_evict();
        evicting = true;
        // Out of video memory: the oldest resident texture gives its copy
        // back. With none left there is nothing more to try.
        cache_texture* oldest = ring.pop_oldest();
        if (!oldest)
            return 42;
        if (oldest == &texture) {
            // Its own old copy (made resident again, e.g. after a loss).
            texture.video_surface.reset();
            texture.handle = -1;
            continue;
        }
        oldest->video_surface.reset();
        oldest->handle = -1;
    }
    if (video->blit(nullptr, source, nullptr, false) != DisplayResult::Ok)
        return 28;
    if (texture.colour_key >= 0)
        video->set_colour_key(static_cast<std::uint32_t>(texture.colour_key));
    texture.video_surface = std::move(video);
    texture.handle = next_handle++;
    if (next_handle < 0)
        next_handle = 1;
    ring.push(&texture);
    return 0;
}

// ---- Converting texels ----

pixel_kind_info pixel_kind_of(std::int32_t kind)
{
    pixel_kind_info k;
    switch (kind) {
    case 1: break;
    case 2: k.blend_mode = 1; break;
    case 3: k.bytes_per_texel = 4; k.blend_mode = 4; break;
    case 4: case 7: case 9: case 10: case 11:
        k.bytes_per_texel = 1;
        k.palettised = true;
        break;
    case 5: k.own_key = true; break;
    case 6: case 8:
        k.bytes_per_texel = 1;
        k.palettised = true;
        k.index0_keyed = true;
        break;
    default: break;
    }
    return k;
}

std::uint16_t convert_565(std::uint16_t t, platform::PixelLayout layout)
{
    const unsigned r = t >> 11, g = (t >> 5) & 63, b = t & 31;
    switch (layout) {
    case platform::PixelLayout::Rgb555: return static_cast<std::uint16_t>(r << 10 | (g >> 1) << 5 | b);
    case platform::PixelLayout::Bgr565: return static_cast<std::uint16_t>(b << 11 | g << 5 | r);
    case platform::PixelLayout::Argb4444:
        return static_cast<std::uint16_t>(0xF000u | (r >> 1) << 8 | (g >> 2) << 4 | (b >> 1));
    default: return t;
    }
}

namespace {

// Source texel (x, y) of the record, as stored: 8, 16 or 32 bits.
std::uint32_t source_texel(const cache_texture& t, int bytes, std::int64_t x, std::int64_t y)
{
    const std::size_t i = static_cast<std::size_t>(y * t.source_width + x) * static_cast<std::size_t>(bytes);
    const std::uint8_t* p = t.pixels.get() + i;
    switch (bytes) {
    case 1: return p[0];
    case 4: return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<std::uint32_t>(p[3]) << 24;
    default: return static_cast<std::uint32_t>(p[0] | p[1] << 8);
    }
}

std::uint16_t argb_to_565(std::uint32_t c)
{
    return static_cast<std::uint16_t>(((c >> 19) & 31) << 11 | ((c >> 10) & 63) << 5 | ((c >> 3) & 31));
}

std::uint16_t argb_to_4444(std::uint32_t c)
{
    return static_cast<std::uint16_t>((c >> 28) << 12 | ((c >> 20) & 15) << 8 | ((c >> 12) & 15) << 4 |
                                      ((c >> 4) & 15));
}

// A visible texel that would read as the key is moved off it by one step
// of its lowest channel bit.
std::uint16_t off_key(std::uint16_t texel, std::int32_t key)
{
    return key >= 0 && texel == static_cast<std::uint16_t>(key) ? static_cast<std::uint16_t>(texel ^ 1u) : texel;
}

} // namespace

bool convert_texels(const cache_texture& t, const texture_layouts& layouts, converted_texels& out)
{
    const pixel_kind_info kind = pixel_kind_of(t.pixel_kind);
    const bool alpha_source = kind.bytes_per_texel == 4;
    // The layout: 4-4-4-4 for alpha textures when the device has it; the
    // opaque layout otherwise (4-4-4-4, opaque, when it is all there is).
    if (alpha_source && layouts.has_alpha4)
        out.layout = platform::PixelLayout::Argb4444;
    else if (layouts.has_opaque)
        out.layout = layouts.opaque;
    else if (layouts.has_alpha4)
        out.layout = platform::PixelLayout::Argb4444;
    else
        return false;
    out.colour_key = -1;
    out.blend_mode = t.blend_mode;
    const int cw = t.cache_width, ch = t.cache_height, sw = t.source_width, sh = t.source_height;
    out.texels.assign(static_cast<std::size_t>(cw) * static_cast<std::size_t>(ch), 0);
    if (!t.pixels || cw <= 0 || ch <= 0 || sw <= 0 || sh <= 0)
        return true;

    std::uint16_t table[256] = {};
    if (kind.palettised)
        for (int i = 0; i < 256; ++i)
            table[i] = convert_565(t.palette ? t.palette[i] : 0, out.layout);

    // The key of the converted texels.
    const bool option_m = (t.flags & kTextureAlphaOpaque) != 0;
    const bool option_p = (t.flags & kTextureKeepSize) != 0;
    if (alpha_source) {
        if (out.layout == platform::PixelLayout::Argb4444) {
            out.colour_key = option_p ? 0x0FFF : -1;
        } else {
            out.colour_key = convert_565(0xF81F, out.layout);
            out.blend_mode = option_m ? 0 : -1;
        }
    } else if (kind.index0_keyed) {
        out.colour_key = table[0];
    } else if (kind.own_key && t.colour_key >= 0) {
        out.colour_key = convert_565(static_cast<std::uint16_t>(t.colour_key), out.layout);
    }
    const std::uint32_t threshold = option_m ? 0xFF000000u : 0x1F000000u;

    for (int y = 0; y < ch; ++y) {
        const std::int64_t sy = static_cast<std::int64_t>(y) * sh / ch;
        for (int x = 0; x < cw; ++x) {
            const std::int64_t sx = static_cast<std::int64_t>(x) * sw / cw;
            const std::uint32_t s = source_texel(t, kind.bytes_per_texel, sx, sy);
            std::uint16_t v;
            if (alpha_source) {
                if (out.layout == platform::PixelLayout::Argb4444) {
                    v = option_p && (s >> 24) == 0 ? static_cast<std::uint16_t>(0x0FFF)
                                                    : off_key(argb_to_4444(s), out.colour_key);
                } else if (s < threshold) {
                    v = static_cast<std::uint16_t>(out.colour_key);
                } else {
                    v = off_key(convert_565(argb_to_565(s), out.layout), out.colour_key);
                }
            } else if (kind.palettised) {
                v = kind.index0_keyed && s == 0 ? table[0] : off_key(table[s & 255], out.colour_key);
            } else {
                const bool keyed = kind.own_key && t.colour_key >= 0 && s == static_cast<std::uint32_t>(t.colour_key);
                v = convert_565(static_cast<std::uint16_t>(s), out.layout);
                if (!keyed)
                    v = off_key(v, out.colour_key);
            }
            out.texels[static_cast<std::size_t>(y) * cw + x] = v;
        }
    }
    return true;
}
