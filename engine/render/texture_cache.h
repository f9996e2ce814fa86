#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/display.h"

struct mtr_texture;

// The renderer's texture cache: every texture drawn through the 3D device
// lives in one of 800 records. A record's converted texels sit in a
// system-memory texture surface; drawing makes the record resident (a copy
// in video memory), evicting the textures made resident longest ago when
// video memory runs out.

// Flags of a record.
enum cache_texture_flags : std::uint32_t {
    kTextureClassMask = 0x0F,   // the batch class 0..12
    kTextureTakesValue = 0x10,  // the surface keeps a value an instance hands it (set_texture_value)
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
    std::uint32_t value = 0;            // kept while flag kTextureTakesValue is set
    void* batch_slot = nullptr;         // the polygon batch slot it holds

    // The material frame the record serves (null for 2D surfaces and the
    // lens flare's pictures), its pixel kind, and its source texels with
    // their palette until the upload has converted them into the system
    // surface (then freed).
    mtr_texture* owner = nullptr;
    std::int32_t pixel_kind = 0;
    std::unique_ptr<std::uint8_t[]> pixels;
    std::unique_ptr<std::uint16_t[]> palette;  // 256 colours, 565
};

inline constexpr int kCacheTextures = 800;

// The side a texture of `n` texels caches at (power of two, 8..256; 512 for
// render type 112 above 512).
int texture_size_class(int n, int render_type);

// Whether a texture may be loaded: the material loader asks, and the cache
// always agrees (1).
int texture_check_stub();

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

// The same; `before_evict` runs once before the first texture is evicted
// (the renderer draws what a scene has queued, since queued triangles read
// their textures when the scene ends).
int make_texture_resident(cache_texture& texture, platform::DisplayDriver& driver, texture_ring& ring,
                          std::uint64_t& uploaded, std::int32_t& next_handle,
                          const std::function<void()>& before_evict);

// Gives a resident texture's video copy back (its handle becomes -1).
void evict_texture(cache_texture& texture, texture_ring& ring);

// ---- Converting a texture's texels for the device ----

// Bytes per source texel, blend mode and colour key of a pixel kind:
// 1 16-bit opaque, 2 16-bit keyed (blend 1), 3 32-bit ARGB (blend 4),
// 4 and 7 8-bit palettised, 5 16-bit with its own key, 6 and 8 8-bit with
// index 0 transparent; 9 to 11 are 8-bit too; any other 16-bit.
struct pixel_kind_info {
    std::int32_t bytes_per_texel = 2;
    std::int32_t blend_mode = 0;
    bool palettised = false;
    bool index0_keyed = false;   // index 0 is transparent
    bool own_key = false;        // the frame's colour word is the key
};
pixel_kind_info pixel_kind_of(std::int32_t kind);

// The 16-bit layouts the device takes textures in: one for opaque and keyed
// textures (565, 555 or blue-high 565), and whether 4-4-4-4 exists for
// textures with alpha.
struct texture_layouts {
    bool has_opaque = false;
    platform::PixelLayout opaque = platform::PixelLayout::Rgb565;
    bool has_alpha4 = false;
};

// A 565 colour in another 16-bit layout (4-4-4-4: opaque).
std::uint16_t convert_565(std::uint16_t texel, platform::PixelLayout layout);

// What a conversion made of a record: the layout of its texels, its colour
// key (-1 none) and blend mode.
struct converted_texels {
    platform::PixelLayout layout = platform::PixelLayout::Rgb565;
    std::int32_t colour_key = -1;
    std::int32_t blend_mode = 0;
    std::vector<std::uint16_t> texels;  // cache_width x cache_height
};

// Point-samples the record's source texels (source size / cache size steps)
// into its cache size and converts them: 16-bit texels into the opaque
// layout; 8-bit ones through their palette; 32-bit ones into 4-4-4-4 when
// the device has it (option P: alpha 0 becomes the key 0x0FFF), else into
// the opaque layout with the texels below the alpha threshold (0x1F; 0xFF
// with option M) set to the key 0xF81F (blend -1, or 0 with option M).
// A keyed texture's visible texels never equal its key (their lowest bit
// is flipped when they would). False when the device has no layout for it.
// The record's colour key is the source key: a 565 value for 16-bit kinds,
// an index for 8-bit ones.
bool convert_texels(const cache_texture& texture, const texture_layouts& layouts, converted_texels& out);

// A 2D surface's texel of one colour (components 0..1, held to that range):
// 565 (r x 255 & 0xF8) << 8 | (g x 255 & 0xFC) << 3 | (b x 255) >> 3, the
// same packing for 555 and blue-high 565, and for 4-4-4-4 the top four bits
// of alpha, red, green and blue.
std::uint16_t surface_texel(platform::PixelLayout layout, float r, float g, float b, float a);

// Hands the material library's frames to the installed renderer: creating
// a frame's surface registers it (create_textures, the argument being the
// default batch class), releasing it gives it back (free_texture).
// set_the_render_device installs these with a renderer and clears them
// without one. The model library also reads a frame's cache word (the
// record's flags, whose low 4 bits are its batch class; a frame without a
// record answers 15, a class no cache range holds, so the class check passes
// it by) and hands values to the records that take one (flag
// kTextureTakesValue).
void install_texture_surface_ops(bool installed);
