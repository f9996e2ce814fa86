#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/display.h"

// The renderer's texture cache: every texture drawn through the 3D device
// lives in one of 800 records. A record's converted texels sit in a
// system-memory texture surface; drawing makes the record resident (a copy
// in video memory), evicting the textures made resident longest ago when
// video memory runs out.

// Flags of a record.
enum cache_texture_flags : std::uint32_t {
    kTextureClassMask = 0x0F,   // the batch class 0..12
    kTextureFogged = 0x100,     // drawn with fog (all but "skynf" textures)
    kTextureOptionV = 0x200,
    kTextureNoBilinear = 0x400, // option F
    kTextureSurface2D = 0x800,  // a 2D surface's texture
    kTextureOverlay = 0x1000,   // option Z
    kTextureAlphaOpaque = 0x2000,  // option M: transparent only below alpha 0xFF
    kTextureKeepSize = 0x4000,  // option P
};

struct cache_texture {
    std::int32_t source_width = 0, source_height = 0;
    std::int32_t cache_width = 0, cache_height = 0;
    std::int32_t bytes_per_texel = 0;   // 1 palettised, 2 16-bit, 4 32-bit ARGB source
    std::unique_ptr<platform::Surface> system_surface;  // source of every load
    std::unique_ptr<platform::Surface> video_surface;   // the resident copy
    std::int32_t handle = -1;           // -1 when not resident
    std::uint32_t size = 0;             // bytes; 0 = record free
    std::int32_t colour_key = -1;       // -1 none, else the 16-bit key
    std::int32_t blend_mode = 0;        // 0 opaque, 1 keyed, 4 alpha, negative stippled
    float scale = -1.0f;                // -1 fitted, 1 source size kept
    std::uint32_t flags = 0;
    void* batch_slot = nullptr;         // the polygon batch slot it holds
};

inline constexpr int kCacheTextures = 800;

// The side a texture of `n` texels caches at (power of two, 8..256; 512 for
// render type 112 above 512).
int texture_size_class(int n, int render_type);

// Reads the options between two '#' characters of a texture's name into
// the record's flags, class and scale: S keeps the source size (unless
// `square_only`), V, M, F and P set their flags, 1 and 10..12 and 2..9 the
// class, Z class 12 and the overlay flag; other characters are ignored. A
// name containing "skynf" is not fogged. False for a '#' without its
// closing one.
bool parse_texture_options(const char* name, cache_texture& texture, bool square_only);

// The records made resident, oldest first: a first-in first-out queue that
// holds every resident record once and never overwrites a live entry.
class texture_ring {
public:
    void push(cache_texture* texture);
    // The oldest record, taken out; null when there is none.
    cache_texture* pop_oldest();
    void remove(const cache_texture* texture);
    int count() const { return count_; }

private:
    std::array<cache_texture*, kCacheTextures> entries_{};
    int head_ = 0, count_ = 0;
};

// Makes `texture` resident: a video-memory texture surface of its layout
// and size with its system copy's texels (and colour key). While video
// memory is short the oldest resident texture gives its copy back; when
// nothing is left to evict, 42 (the caller reports it), and nothing
// spins. Other failures: 28. 0 on success; `uploaded` grows by the size.
int make_texture_resident(cache_texture& texture, platform::DisplayDriver& driver, texture_ring& ring,
                          std::uint64_t& uploaded, std::int32_t& next_handle);

// Gives a resident texture's video copy back (its handle becomes -1).
void evict_texture(cache_texture& texture, texture_ring& ring);
