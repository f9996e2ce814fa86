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
    for (;;) {
        const DisplayResult r = driver.create_surface(spec, {}, video);
        if (r == DisplayResult::Ok)
            break;
        if (r != DisplayResult::NoVideoMemory)
            return 28;
        // Out of video memory: the oldest resident texture gives its copy
        // back. With none left there is nothing more to try.
        cache_texture* oldest = ring.pop_oldest();
        if (!oldest)
            return 42;
        if (oldest == &texture)
            continue;
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
