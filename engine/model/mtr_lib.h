#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/texture_record.h"
#include "engine/model/mtt_reader.h"

// A material's texture: its frames (chained, owned by the library) and the
// words the mesh pipeline reads. Owner state 1: a library texture, which
// frees its frames; 2: a private copy, whose frames stay with the library.
class mesh_texture {
public:
    mesh_texture() { ++live; }
    ~mesh_texture();
    mesh_texture(const mesh_texture&) = delete;
    mesh_texture& operator=(const mesh_texture&) = delete;

    // A private copy (owner state 2) sharing the frames.
    mesh_texture* copy() const;

    std::int32_t frame_count = 0;
    mtr_texture* first_frame = nullptr;
    std::uint32_t words[24] = {};      // the stored record's words; 0 the frame count, 4 the animation type
    std::uint32_t set_word = 0;        // the material set (set_material_set)
    std::uint32_t owner_state = 2;

    std::uint32_t animation_type() const { return words[4]; }

    static inline int live = 0;
};

// A material: its key word, the name hash mesh references match, and its
// texture. Owner state 1 for library materials, 2 for private copies.
class mesh_material {
public:
    mesh_material() { ++live; }
    ~mesh_material();
    mesh_material(const mesh_material&) = delete;
    mesh_material& operator=(const mesh_material&) = delete;

    // A private copy (owner state 2) with its own copy of the texture.
    mesh_material* copy() const;
    void set_state(std::uint32_t state);

    std::uint32_t key = 0;
    std::uint32_t name_hash = 0;
    std::uint32_t word124 = 0;
    mesh_texture* texture = nullptr;
    mesh_material* prev = nullptr;
    mesh_material* next = nullptr;
    std::uint32_t owner_state = 2;

    static inline int live = 0;
};

// Loading kinds: frames handed to the renderer, or copied into the
// library's software atlas (256 pixels wide).
inline constexpr int material_kind_surface = 0;
inline constexpr int material_kind_atlas = 1;

// One ".MTT"/".MTP" file: a directory of materials and the pictures and
// palettes their frames take pixels from. The try_ forms return a status;
// the plain forms report a failure with the file's box and end the program
// with exit status 1.
class mtr_lib {
public:
    explicit mtr_lib(const char* name);
    ~mtr_lib();
    mtr_lib(const mtr_lib&) = delete;
    mtr_lib& operator=(const mtr_lib&) = delete;

    mtt_status try_open(const char* path);
    mtt_status try_add_material(const char* name, int kind, int frame_number, int surface_argument,
                                mesh_material** added = nullptr);
    mtt_status try_add_all_materials(int kind, int frame_number, int surface_argument);

    int open_lib_file(const char* path);
    int add_material(const char* name, int kind, int frame_number, int surface_argument);
    void add_all_materials(int kind, int frame_number, int surface_argument);
    // Kind 1 in the software render type, else kind 0.
    void load_all_for_render_type(std::int32_t render_type);

    // Frees the renderer surfaces of a material's frames: every frame of the
    // library with the same picture loses its surface, the first that had
    // one gives it back.
    void free_surfaces(mesh_material* material);
    void release();

    mesh_material* find(std::uint32_t hash) const;

    mtr_lib* next = nullptr;
    std::string name;
    std::int32_t material_count = 0;
    mesh_material* materials = nullptr;
    std::string path;
    std::vector<std::uint8_t> file;
    mtt_library contents;
    std::vector<std::uint8_t> atlas;   // software atlas: 256 x rows x bytes per pixel
    int atlas_pixel_bytes = 0;

private:
    mtt_status load_frame(mtr_texture* frame, int kind, int surface_argument);
    // The frame's picture lies inside the atlas.
    bool frame_fits_atlas(const mtr_texture& frame) const;
    mtr_texture* loaded_namesake(const mtr_texture* frame, const mesh_texture* current, int upto) const;
    std::vector<std::unique_ptr<std::uint8_t[]>> owned_pixels_;
};

[[noreturn]] void mtr_lib_error(int code);
[[noreturn]] void mtr_lib_fail(mtt_status status, const std::string& path);
