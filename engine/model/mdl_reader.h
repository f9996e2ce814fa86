#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/vec4.h"
#include "engine/model/anm_reader.h"

// Reads ".MDL" model library files field by field from their bytes into a
// description of each model, checking every count, offset, size and
// reference against the bytes present and the records they name. The
// readers never end the program; model_lib builds the engine records from
// the descriptions and reports failures.

enum class mdl_status {
    ok,
    out_of_memory,      // loader error 0 "Out of memory!" (also a list of 200 objects)
    bad_structure,      // loader error 1 "Error in file structure!"
    open_failed,        // "File open error!: <path>"
    bad_version,        // "Incorrect MODEL library version!"
    not_found,          // the model is not in the directory (not loaded, no report)
    bad_list,           // a detail level's list magic is wrong (not loaded, no report)
    too_many_objects,   // "MODEL_LIB:: Number of objects too big!: <n>"
    array_overflow,     // loader error 3 "Array overflow!"
    muscle_joints,      // "Angolo non trovato!": a muscle's joint is not three nodes of a chain
};

struct mdl_dir_entry {
    std::string name;
    std::uint32_t offset = 0;
};

// Raw records whose words the engine keeps as stored.
using mdl_face = std::array<std::uint32_t, 13>;
using mdl_vertex = std::array<std::uint32_t, 12>;

struct mdl_cloth_link {
    std::uint32_t spring = 0;
    std::uint32_t end = 0;    // 0 or 1
};

struct mdl_cloth {
    std::array<std::uint32_t, 18> record{};                 // particle count at word 14, springs at 16
    std::vector<std::array<std::uint32_t, 52>> particles;   // 208 bytes each
    std::vector<std::array<std::uint32_t, 30>> springs;     // 120 bytes each
    std::vector<std::vector<mdl_cloth_link>> links;         // per particle, at most 8
};

struct mdl_mesh {
    std::array<std::uint32_t, 23> header{};   // V at word 0, F at 2, I at 4, cloth flag at 6, kind at 15
    std::vector<mdl_face> faces;
    std::vector<mdl_vertex> vertices;
    std::vector<std::uint16_t> face_lists;    // per vertex, each run ended by 0xFFFF
    bool has_cloth = false;
    mdl_cloth cloth;
};

struct mdl_patch {
    std::array<std::uint32_t, 24> record{};   // words as in mdl_format.h (U at 2, V at 3)
    std::vector<vec4> points;                 // U x V
};

struct mdl_skin_group {
    std::uint32_t mesh_hash = 0;
    std::vector<std::uint16_t> vertices;
};

struct mdl_bone {
    std::uint32_t words[2] = {};              // offsets 4 and 8
    float first_matrix[16] = {};              // offset 60
    float skinning[16] = {};                  // offset 124
    std::vector<mdl_skin_group> groups;
};

struct mdl_muscle {
    std::array<std::uint32_t, 29> record{};   // joint hash at word 0, P at 25, Q at 26
    anm_curve curve;
    std::vector<std::uint16_t> vertices;      // P
    std::vector<vec4> points;                 // P x Q
};

struct mdl_hit_mesh {
    std::array<std::uint32_t, 18> record{};   // V at word 0, F at word 2
    std::vector<mdl_face> faces;
    std::vector<mdl_vertex> vertices;
};

struct mdl_object {
    std::uint32_t id = 0;
    std::string first_name;
    std::string name;
    std::vector<anm_binding> bindings;        // read for level 0 only
    std::uint32_t type = 0;
    std::uint32_t payload = 0;                // for a bone: nonzero when a bone record follows
    float radius = 0.0f;
    vec4 scale{1.0f, 1.0f, 1.0f, 0.0f};
    vec4 angles{};
    vec4 position{};
    std::int32_t parent = -1;
    std::int32_t sibling = -1;
    std::int32_t child = -1;
    std::uint32_t special = 0;                // 5 or 6
    std::uint32_t word172 = 0;
    std::int32_t chain_kind = 0;
    float chain_length = 0.0f;
    float twist = 0.0f;
    std::uint32_t word188 = 0;
    float bend_reference = 0.0f;
    std::uint32_t word196 = 0;
    float pivot[12] = {};                     // rows: scale, angles, translation (4 floats each)
    std::uint32_t node_flags = 1;
    mdl_mesh mesh;                            // type 4
    mdl_patch patch;                          // type 1
    bool has_bone = false;
    mdl_bone bone;                            // type 5 with a payload
    std::vector<mdl_muscle> muscles;
    std::vector<std::string> materials;       // the referenced material names
    bool has_hit_mesh = false;
    mdl_hit_mesh hit_mesh;

    bool has_pivot() const;
};

struct mdl_level {
    std::string name;
    std::vector<mdl_object> objects;
};

struct mdl_model {
    std::string name;
    std::vector<mdl_level> levels;
};

// The header and the directory: bad_structure for a wrong magic or a
// directory larger than the file, bad_version for a version other than 113.
mdl_status mdl_read_directory(const std::vector<std::uint8_t>& file, std::vector<mdl_dir_entry>& directory);

// The model whose header lies at `offset`, its detail levels and every
// object of each level. The bytes its records need (as stored) are taken
// from `budget`; a model that needs more than is left is bad_structure.
// `too_many` receives the object count of a list of more than 200 objects.
mdl_status mdl_read_model(const std::vector<std::uint8_t>& file, std::uint32_t offset, mdl_model& out,
                          std::uint64_t& budget, std::uint32_t* too_many = nullptr);

// Twice the file's size and 1 KB.
std::uint64_t mdl_read_budget(const std::vector<std::uint8_t>& file);

// The message of a status (for boxes and thrown texts); empty for ok.
std::string mdl_status_text(mdl_status status, const std::string& path = {}, std::uint32_t count = 0);
