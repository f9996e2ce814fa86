#pragma once

#include <cstddef>
#include <cstdint>

// The vertex that the mesh pipeline fills, the polygon clipper clips and the
// polygon batches and the software rasteriser draw: 23 32-bit words, 92 bytes,
// so that arrays of them can be walked by a byte stride of 92 and the
// rasteriser's span buffers can hold edge records in the same layout.
//
// The clipper interpolates the position, u, v and the three light values of a
// vertex it creates on a boundary; every other word of such a vertex is copied
// from the nearer end of the clipped edge.
struct clip_vertex {
    // Words 1-4: view-space position; w is the depth the projection divides by.
    float x;
    float y;
    float z;
    float w;
    // Words 5-8: the vertex normal where the caller keeps one (patch grids).
    float nx;
    float ny;
    float nz;
    float nw;
    // Words 9-10: texture coordinates.
    float u;
    float v;
    // Words 11-12: free for the caller.
    std::uint32_t spare11;
    std::uint32_t spare12;
    // Words 13-15: written by the caller's projection: screen x and y in
    // pixels and the reciprocal of w.
    float sx;
    float sy;
    float rhw;
    // Word 16: the software rasteriser stores the light x 65536 here.
    std::int32_t light_fixed;
    // Words 17-19: free for the caller.
    std::uint32_t spare17;
    std::uint32_t spare18;
    std::uint32_t spare19;
    // Words 20-22: light or colour values; the first is the light intensity
    // (1.0 = full) that the renderers read.
    float light[3];
    // Word 23: free for the caller.
    std::uint32_t spare23;
};

inline constexpr std::size_t clip_vertex_words = 23;
inline constexpr std::size_t clip_vertex_bytes = 92;

static_assert(sizeof(clip_vertex) == clip_vertex_bytes, "clip_vertex must stay 23 words");
static_assert(offsetof(clip_vertex, u) == 8 * 4);
static_assert(offsetof(clip_vertex, sx) == 12 * 4);
static_assert(offsetof(clip_vertex, rhw) == 14 * 4);
static_assert(offsetof(clip_vertex, light_fixed) == 15 * 4);
static_assert(offsetof(clip_vertex, light) == 19 * 4);
static_assert(offsetof(clip_vertex, spare23) == 22 * 4);
