#pragma once

#include <cstdint>

// The layout constants of ".MDL" model library files, shared by the reader
// and the data kit's writer. docs/engine-model.md describes every record.
namespace mdl {

inline constexpr std::uint32_t magic = 0x42494C4D;        // "MLIB"
inline constexpr std::uint32_t version = 113;
inline constexpr std::uint32_t list_magic = 0x4C4A424F;   // "OBJL"

inline constexpr std::uint32_t header_bytes = 12;
inline constexpr std::uint32_t entry_bytes = 40;          // name[32], u32 offset, u32 0
inline constexpr std::uint32_t model_header_bytes = 12;
inline constexpr std::uint32_t list_header_bytes = 12;
inline constexpr std::uint32_t object_lead_bytes = 12;    // skipped before each object record
inline constexpr std::uint32_t object_bytes = 256;
inline constexpr std::uint32_t binding_bytes = 100;
inline constexpr std::uint32_t patch_bytes = 96;
inline constexpr std::uint32_t point_bytes = 16;
inline constexpr std::uint32_t mesh_header_bytes = 92;
inline constexpr std::uint32_t face_bytes = 52;
inline constexpr std::uint32_t vertex_bytes = 48;
inline constexpr std::uint32_t bone_bytes = 188;
inline constexpr std::uint32_t group_bytes = 64;
inline constexpr std::uint32_t muscle_bytes = 116;
inline constexpr std::uint32_t curve_bytes = 124;
inline constexpr std::uint32_t key_bytes = 32;
inline constexpr std::uint32_t material_ref_bytes = 40;
inline constexpr std::uint32_t hit_mesh_bytes = 72;
inline constexpr std::uint32_t cloth_bytes = 72;
inline constexpr std::uint32_t particle_bytes = 208;
inline constexpr std::uint32_t spring_bytes = 120;
inline constexpr std::uint32_t spring_end_bytes = 48;
inline constexpr std::uint32_t particle_link_header_bytes = 12;
inline constexpr std::uint32_t particle_links_max = 8;

// Word numbers (4 bytes each) inside the records.
inline constexpr int mesh_word_vertices = 0;
inline constexpr int mesh_word_faces = 2;
inline constexpr int mesh_word_indexes = 4;
inline constexpr int mesh_word_cloth = 6;
inline constexpr int mesh_word_kind = 15;
inline constexpr int patch_word_basis_u = 0;     // spline kind across rows: 2 B-spline, 3 cardinal
inline constexpr int patch_word_basis_v = 1;     // spline kind along a row
inline constexpr int patch_word_u = 2;           // byte offset 8: rows of control points
inline constexpr int patch_word_v = 3;           // byte offset 12: points per row
inline constexpr int patch_word_closed_u = 4;    // nonzero: the rows wrap around
inline constexpr int patch_word_closed_v = 5;    // nonzero: each row wraps around
inline constexpr int patch_word_tension_u = 6;   // float, cardinal splines across rows
inline constexpr int patch_word_tension_v = 7;   // float, cardinal splines along a row
inline constexpr int patch_word_material = 22;   // byte offset 88: index into the material references
// Spline kinds of a patch direction; the tessellator knows no other.
inline constexpr std::uint32_t patch_basis_bspline = 2;
inline constexpr std::uint32_t patch_basis_cardinal = 3;

// The bicubic segments a patch direction of `count` control points gives:
// one per point when it wraps around, count - 3 when it is open (four
// consecutive points per segment), never fewer than 0.
inline constexpr std::uint32_t patch_segments(std::uint32_t count, bool closed)
{
    return closed ? count : (count >= 4 ? count - 3 : 0);
}

inline constexpr int hit_word_vertices = 0;
inline constexpr int hit_word_faces = 2;
inline constexpr int cloth_word_particles = 14;
inline constexpr int cloth_word_springs = 16;
inline constexpr int particle_word_force = 34;   // byte offset 136: external force x, y, z (doubles)
inline constexpr int particle_word_state = 42;   // byte offset 168: 1 free, 2 driven, other driven and sprung
inline constexpr int spring_word_rest_length = 28;  // byte offset 112: rest length (double)
inline constexpr int muscle_word_joint = 0;      // byte offset 0: lookup hash of the joint node
inline constexpr int muscle_word_vertices = 25;  // byte offset 100: P
inline constexpr int muscle_word_keys = 26;      // byte offset 104: Q

// Face words.
inline constexpr int face_word_corners = 0;
inline constexpr int face_word_material = 1;
inline constexpr int face_word_corner0 = 6;

// A face list of the index list ends with this value.
inline constexpr std::uint16_t face_list_end = 0xFFFF;

// Objects per level: a list of 200 or more does not load.
inline constexpr std::uint32_t max_objects = 199;

} // namespace mdl
