#pragma once

#include <cstddef>
#include <cstdint>

// The layout of ".ANM" animation library files, shared by the game's reader
// and the data kit's writer (docs/engine-model.md describes the file).
// Little-endian throughout; counts are unsigned 32-bit, floats IEEE single.
namespace anm {

inline constexpr std::uint32_t magic = 0x42494C41;   // "ALIB"
inline constexpr std::int32_t version = 100;

inline constexpr std::uint32_t tag_paths = 0x4C485450;     // "PTHL"
inline constexpr std::uint32_t tag_objects = 0x4C4A424F;   // "OBJL"
inline constexpr std::uint32_t tag_lattice = 0x4C54414C;   // "LATL"
inline constexpr std::uint32_t tag_shapes = 0x4C534C43;    // "CLSL"
inline constexpr std::uint32_t tag_lights = 0x4C47494C;    // "LIGL"

inline constexpr std::size_t header_bytes = 12;        // magic, version, entry count
inline constexpr std::size_t dir_entry_bytes = 40;     // name[32], offset, unused word
inline constexpr std::size_t name_bytes = 32;
inline constexpr std::size_t chunk_header_bytes = 12;  // tag, body size, count
// A sub-record reached through an entry's offset starts this far after it
// (the reader skips a 12-byte header there).
inline constexpr std::size_t record_lead_bytes = 12;

// Path record.
inline constexpr std::size_t path_record_bytes = 144;
inline constexpr std::size_t path_name_offset = 36;
inline constexpr std::size_t path_second_name_offset = 68;
inline constexpr std::size_t path_curve_names_offset = 104;   // m
inline constexpr std::size_t path_closed_offset = 108;
inline constexpr std::size_t path_point_count_offset = 116;   // k
inline constexpr std::size_t path_point_bytes = 48;           // in-handle, position, out-handle

// Curve record and its keys.
inline constexpr std::size_t curve_record_bytes = 124;
inline constexpr std::size_t curve_name_offset = 32;
inline constexpr std::size_t curve_param_offset = 96;
inline constexpr std::size_t curve_key_count_offset = 100;
inline constexpr std::size_t curve_pre_offset = 108;
inline constexpr std::size_t curve_post_offset = 112;
inline constexpr std::size_t curve_interp_offset = 120;
inline constexpr std::size_t curve_key_bytes = 32;   // time, value, out-slope, in-slope, 16 unused

// Lattice shape header.
inline constexpr std::size_t lattice_header_bytes = 144;
inline constexpr std::size_t lattice_second_name_offset = 32;
inline constexpr std::size_t lattice_kept_word_offset = 64;
inline constexpr std::size_t lattice_counts_offset = 68;     // u, v, w
inline constexpr std::size_t lattice_kept_offset = 80;       // three words
inline constexpr std::size_t lattice_box_min_offset = 96;
inline constexpr std::size_t lattice_box_max_offset = 112;
inline constexpr std::size_t lattice_point_bytes = 16;

// Shape record.
inline constexpr std::size_t shape_record_bytes = 112;
inline constexpr std::size_t shape_name_offset = 64;
inline constexpr std::size_t shape_vertex_count_offset = 96;
inline constexpr std::size_t shape_key_count_offset = 100;
inline constexpr std::size_t shape_position_bytes = 16;

// Curve parameter ids.
enum param : std::uint32_t {
    param_scale_x = 1,
    param_scale_y = 2,
    param_scale_z = 3,
    param_rotate_x = 4,
    param_rotate_y = 5,
    param_rotate_z = 6,
    param_path_fraction = 7,
    param_shape = 8,
    param_lattice_a = 66,
    param_lattice_b = 67,
    param_translate_x = 139,
    param_translate_y = 140,
    param_translate_z = 141,
    param_shape_alt = 183,
    param_orient = 251,
};

inline constexpr bool param_known(std::uint32_t id)
{
    return (id >= 1 && id <= 8) || id == 66 || id == 67 || (id >= 139 && id <= 141) || id == 183 || id == 251;
}

// Limits the reader holds a file to.
inline constexpr std::uint32_t max_path_points = 1100;   // a closed path adds one
inline constexpr std::uint32_t max_curve_keys = 65535;
inline constexpr std::uint32_t min_lattice_points = 2;   // per axis
inline constexpr std::uint32_t max_lattice_points = 5;
inline constexpr std::uint32_t max_extrapolation_mode = 2;

} // namespace anm
