#pragma once

#include <cstddef>
#include <cstdint>

// The records of the mesh pipeline whose storage the engine context owns:
// the vertex records of its work and screen buffers, and the face entries
// and bucket heads of the software path's depth sort. The context sizes
// every buffer as a record count times the size of these records.

class model_node;
struct mesh_face;
struct model_part;

// A vertex of the current work buffer: one per mesh vertex, in mesh order.
// Faces address these records by byte offsets, multiples of 48.
struct work_vertex {
    float x, y, z, w;          // clip-space position; w is the projection's divisor
    float nx, ny, nz;          // transformed normal (when the transform computes it)
    float carried;             // not written by the transform
    float u, v;                // texture coordinates
    float intensity;           // light value; negative = not lit yet (lazy lighting)
    std::uint32_t outcode;     // frustum outcode bits, 0 = inside
};

// A vertex of the current screen buffer, at the same index as its work
// vertex. The transform writes the screen position and 1/w; the drawing
// stores the outcode before testing it.
struct screen_vertex {
    std::uint32_t word1, word2, word3, word4;
    float sx;                  // word 5: screen x in pixels
    float sy;                  // word 6: screen y in pixels
    std::uint32_t word7;
    float rhw;                 // word 8: 1 / w
    std::uint32_t word9;
    std::uint32_t outcode;     // word 10
    std::uint32_t word11, word12;
};

inline constexpr std::size_t pipeline_vertex_bytes = 48;
static_assert(sizeof(work_vertex) == pipeline_vertex_bytes, "work vertices are addressed by multiples of 48");
static_assert(sizeof(screen_vertex) == pipeline_vertex_bytes, "screen vertices share the work vertices' offsets");

// One face queued in a depth bucket of the software path. The entry keeps
// where its mesh's vertices were written this frame, so that a node drawn
// twice in one frame still finds each face's own vertices.
struct zsort_entry {
    const mesh_face* face;
    std::int32_t key;          // sort key; the bucket is chosen by the clamped key
    const model_node* node;
    const model_part* geometry;
    zsort_entry* next;         // next entry of the bucket, null at the end
    const work_vertex* work;   // the mesh's work vertices in the arena
    const screen_vertex* screen;
};

// Record counts of the buffers.
inline constexpr std::size_t vertex_buffer_capacity = 1000;   // each hardware-path vertex and work buffer
inline constexpr std::size_t face_entry_count = 16000;        // face-entry array of the software path
inline constexpr std::size_t depth_bucket_count = 2000;       // bucket heads of the software path

// Whether a mesh of `count` vertices (or a patch of `count` control points)
// fits one hardware-path vertex buffer. The model loader refuses meshes and
// patches that do not, and the mesh transform refuses them again when drawing
// (a model can also be built in code).
inline constexpr bool fits_vertex_buffer(std::uint64_t count)
{
    return count <= vertex_buffer_capacity;
}
