#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/vec4.h"
#include "engine/model/lattice_anim.h"

// Reads ".ANM" animation library files field by field from their bytes,
// checking every count, offset and size against the bytes present. The
// readers only validate and describe what the file holds; they never end the
// program. anim_lib (anim_lib.h) builds the engine records from these
// descriptions and reports failures.

enum class anm_status {
    ok,
    out_of_memory,      // "ANIM_LIB:: Out of memory!"
    bad_structure,      // "ANIM_LIB:: Error in file structure!"
    open_failed,        // "File open error!: <path>"
    bad_version,        // "Incorrect ANIM library version!"
    not_found,          // "ERROR Animation not found!"
};

struct anm_dir_entry {
    std::string name;
    std::uint32_t offset = 0;
};

struct anm_key {
    float time = 0.0f;
    float value = 0.0f;
    float out_slope = 0.0f;
    float in_slope = 0.0f;
};

struct anm_curve {
    std::string name;
    std::uint32_t param = 0;
    std::uint32_t pre = 0;
    std::uint32_t post = 0;
    std::uint32_t interp = 0;
    std::vector<anm_key> keys;
};

struct anm_path_point {
    vec4 in_handle{};
    vec4 position{};
    vec4 out_handle{};
};

struct anm_path {
    std::string name;
    std::string second_name;
    bool closed = false;
    std::vector<std::string> curve_names;
    std::vector<anm_path_point> points;
};

struct anm_lattice_shape {
    lattice_header header;
    std::vector<vec4> points;
};

struct anm_shape {
    std::string name;
    std::uint32_t vertex_count = 0;
    std::uint32_t key_count = 0;
    std::vector<std::uint16_t> offsets;
    std::vector<vec4> positions;   // key-major
};

struct anm_object {
    std::string name;
    std::vector<anm_curve> curves;
    bool has_lattice_curve = false;
    std::vector<anm_lattice_shape> lattice;   // read only with a lattice curve
    std::vector<anm_shape> shapes;
};

struct anm_binding {
    std::uint32_t target_hash = 0;
    std::uint32_t code = 111;
    std::uint32_t value = 1;
    std::uint32_t kept[18] = {};
};

// A light as stored: every field of the 268-byte record that is not a
// pointer or state slot.
struct anm_light {
    std::int32_t type = 1;
    std::uint32_t flags = 0;
    vec4 world_position{};
    vec4 position{};
    float colour[3] = {0, 0, 0};
    float range_sq = 0.0f, inv_range_sq = 0.0f, falloff = 0.0f;
    vec4 target{};
    float cone = 0.0f, softness = 0.0f, cone_tan = 0.0f, cone_tan_sq = 0.0f;
    std::string name;
    std::uint32_t name_hash = 0;
    std::uint32_t kept0 = 0;
    float range = 0.0f;
    std::uint32_t kept[8] = {};
    float spot_matrix[16] = {};
    std::uint32_t link_word = 0;
    std::uint32_t kept1[2] = {};
    std::vector<anm_binding> bindings;
};

struct anm_animation {
    std::string name;
    std::vector<anm_path> paths;
    std::vector<anm_object> objects;
    std::vector<anm_light> lights;
};

// The header and directory. bad_structure for a wrong magic or a directory
// larger than the file, bad_version for a version other than 100.
anm_status anm_read_directory(const std::vector<std::uint8_t>& file, std::vector<anm_dir_entry>& directory);

// The animation whose first chunk lies at `offset`, with a budget of twice
// the file's size (see below).
anm_status anm_read_animation(const std::vector<std::uint8_t>& file, std::uint32_t offset, anm_animation& out);

// The same with the caller's budget: the bytes of the records the animation
// needs (counted as the file stores them) are taken from `budget`, and an
// animation that needs more than is left fails with bad_structure. A
// library's animations share one budget, so that records reached through
// many directory entries or offsets at once cannot make the reader build far
// more than the file holds.
anm_status anm_read_animation(const std::vector<std::uint8_t>& file, std::uint32_t offset, anm_animation& out,
                              std::uint64_t& budget);

// The budget of a whole file: twice its size and 1 KB.
std::uint64_t anm_read_budget(const std::vector<std::uint8_t>& file);

// The message of a status (for boxes and thrown texts); empty for ok.
std::string anm_status_text(anm_status status, const std::string& path = {});
