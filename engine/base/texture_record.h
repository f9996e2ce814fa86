#pragma once

#include <cstdint>

// A texture frame of a material (`mtr_texture`): one picture of a material's
// texture, read from a material library and filled by the material library
// (engine_model); the renderer's texture cache reads it to create and upload
// its texture. An animated texture chains its frames through `next`.
//
// Stored record, 108 bytes, little-endian (the layout of material files):
//   0   char[32] picture name, 32 u32 its hash
//   36  i32 width (a power of two), 40 i32 height
//   44  u32 pixel type 0..11, 48 u32 colour word
//   52  u32 pointer slot: the surface (written 0, never read)
//   56  u32 pointer slot: the pixels (written 0, never read)
//   60  i32 atlas x, 64 i32 atlas y (software atlas placement)
//   68  u32 width mask, 72 u32 span word, 76 u32 log2 of the width (set at load)
//   80  u32 palette index (into the file's palette list)
//   84, 88, 92 u32 previous, next and owner-state slots (written 0, never read)
//   96  3 x u32 kept
struct mtr_texture {
    static constexpr std::uint32_t file_bytes = 108;

    char name[32] = {};
    std::uint32_t name_hash = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t pixel_type = 0;
    std::uint32_t colour = 0;
    void* surface = nullptr;            // the renderer's texture (kind 0)
    std::uint8_t* pixels = nullptr;     // the frame's first pixel (atlas or surface)
    std::int32_t atlas_x = 0;
    std::int32_t atlas_y = 0;
    std::uint32_t width_mask = 0;
    std::uint32_t span = 0;
    std::uint32_t log2_width = 0;
    std::uint32_t palette_index = 0;
    std::uint16_t* palette = nullptr;   // 256 16-bit colours for 1-byte pixel types
    mtr_texture* prev = nullptr;
    mtr_texture* next = nullptr;
    std::uint32_t owner_state = 1;
    std::uint32_t kept[3] = {};

    mtr_texture() { ++live; }
    ~mtr_texture() { --live; }
    mtr_texture(const mtr_texture&) = delete;
    mtr_texture& operator=(const mtr_texture&) = delete;

    static inline int live = 0;
};

// Bytes per pixel of each pixel type 0..11.
inline constexpr int texture_pixel_bytes[12] = {0, 2, 2, 4, 1, 2, 1, 1, 1, 1, 1, 1};

// How a material library hands a frame to the renderer (loading kind 0):
// `create` gives the frame a surface with a writable pixel area (and, for
// 1-byte pixel types, a 256-entry palette area) and returns false on
// failure; `finish` makes the pixels written into it current; `release`
// gives the surface back. The renderer installs its operations; without
// them the library keeps the pixels in memory it owns.
struct texture_surface_ops {
    bool (*create)(mtr_texture* frame, int argument) = nullptr;
    void (*finish)(mtr_texture* frame) = nullptr;
    void (*release)(mtr_texture* frame) = nullptr;
    // The flags word of the frame's texture cache record (its low 4 bits the
    // batch class 0..12), which the model library reads to check that an
    // instance's textures share one cache range.
    std::uint32_t (*cache_word)(const mtr_texture* frame) = nullptr;
    // Stores `value` in the value field of the frame's surface when that
    // surface takes one (flag bit 4 of its flag byte: a texture that a 2D
    // picture draws into).
    void (*set_value)(mtr_texture* frame, std::uint32_t value) = nullptr;
    // Whether the frame's texel at texture coordinates (u, v), wrapped into
    // the texture, is clear: the colour key of a keyed texture, or alpha 0
    // in a texture with alpha. The ground search asks it over cut-out
    // ground; without it such ground is taken as solid.
    bool (*texel_clear)(const mtr_texture* frame, float u, float v) = nullptr;
};

// The operations in use (null members: none installed).
texture_surface_ops& texture_surfaces();
