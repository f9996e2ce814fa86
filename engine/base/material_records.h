#pragma once

#include <cstddef>
#include <cstdint>

// The records of the material library that the software rasteriser reads.
// The material library (above the renderer) fills them; they are declared
// here, at the lowest library that reads them, so that no library links
// upward.

// Fill modes of a raster material.
inline constexpr std::int32_t raster_fill_keyed = 6;        // texel 0 is transparent
inline constexpr std::int32_t raster_fill_translucent = 9;  // texels 0xE0-0xFF blend over the frame
// Any other fill mode draws every texel opaque.

// Texels at or above this value are translucent in fill mode 9; the low four
// bits of such a texel choose the blend level.
inline constexpr std::uint8_t raster_first_translucent_texel = 0xE0;

// The material passed with every polygon of the software path.
struct raster_material {
    std::int32_t fill_mode = 0;
    // The blend page of a translucent material (0-15); read in fill mode 9
    // only. The rasteriser keeps the low four bits, so a damaged number
    // still names one of the sixteen pages.
    std::int32_t blend_page = 0;
    // Texture texels, one byte each, rows 256 bytes apart. The buffer holds
    // at least (texture_mask & 0xFFFF) + 1 bytes.
    const std::uint8_t* texels = nullptr;
    // Applied to the texel offset (u << 8 | v), u and v being the low eight
    // bits of the integer texel coordinates: it limits reads to the
    // texture's size and makes the texture repeat.
    std::uint32_t texture_mask = 0;
    // Two words the material library keeps with the record; the rasteriser
    // does not read them.
    std::uint32_t kept_word_a = 0;
    std::uint32_t kept_word_b = 0;
};

// Blend pages: one per translucent material colour, at most sixteen, made by
// the material library in order (shade_slot_counter counts them; loading a
// shade table starts again from 0). Entry level x 256 + pixel is the pixel to
// write for a translucent texel of that level (0-15) drawn over that pixel.
inline constexpr std::size_t blend_page_count = 16;
inline constexpr std::size_t blend_page_levels = 16;
inline constexpr std::size_t blend_page_entries = blend_page_levels * 256;
extern std::uint32_t blend_pages[blend_page_count][blend_page_entries];
