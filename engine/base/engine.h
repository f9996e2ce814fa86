#pragma once

#include <cstddef>
#include <cstdint>

#include "app/memmng.h"
#include "engine/base/clip_vertex.h"
#include "engine/base/pipeline_records.h"
#include "engine/base/pool_new.h"
#include "engine/base/vec4.h"

class anim_lib;
class camera;
class scene_view;

// The 3D engine's per-scene context: the record pools from which the
// animation records come, the mesh pipeline's work buffers for the chosen
// render type, the settings the scene and mesh code read, and the current
// camera. One context is current at a time (current_engine); the race and the
// 3D menu scenes each create one when they load, make it current, and
// destroy it when they end.
//
// Every allocation failure is fatal (engine_error(1): "ENGINE:: Out of
// memory!" captioned "error", then exit status 1).
class engine {
public:
    // Render type of the software path (the 8-bit rasteriser); every other
    // value draws through the 3D device.
    static constexpr std::int32_t software_render_type = 1;

    // Builds the pools, the reciprocal table and the buffers every render
    // type uses (A1, A2, C1, C2). Does not make itself current.
    engine();
    // Releases what release() has not released yet.
    ~engine();

    engine(const engine&) = delete;
    engine& operator=(const engine&) = delete;

    // Frees the buffers of the previous render type and allocates those of
    // the new one: B1 and B2 for a 3D-device type; for type 1 the two vertex
    // arenas (software_vertex_limit records each), the face entries, the
    // depth buckets (cleared) and the rasteriser's span buffers, and the
    // context becomes current.
    void set_render_type(std::int32_t type);

    void set_factors(float a, float b) { factor_a = a; factor_b = b; }
    void set_mode_word(std::uint32_t word) { mode_word = word; }
    void set_camera(::camera* cam) { camera = cam; }
    void set_threshold(float height) { height_threshold = height; }

    // Frees every buffer and destroys the pools (in the reverse order of
    // their construction); current_engine is cleared when it pointed here.
    // A chunk of a typed pool (0 to 13) that still has records out is kept
    // until those records are deleted (memmng::retire), so a record may be
    // deleted after its context; the single-slot pools go at once. Safe to
    // call twice; the destructor calls it.
    void release();

    // Empties the software path's depth buckets; nothing when there are none.
    void clear_depth_buckets();

    // Pool of a pool type 0 to 13.
    memmng& pool(int type) { return pools_[type]; }
    const memmng& pool(int type) const { return pools_[type]; }

    // The live context (not yet released) whose pool `type` holds `address`,
    // or null.
    static engine* find_pool_owner(int type, const void* address);

    // Fields the scene and mesh pipeline read and write.
    std::uint32_t first_word = 0;
    std::int32_t render_type = 0;
    std::uint32_t pipeline_word = 0;
    std::uint32_t grid_culling = 0;       // the race stores its graphics option word & 8
    std::uint8_t option_byte = 0;
    // Nonzero: colour-keyed 8-bit frames of the software path blend toward
    // their colour through blend tables instead of clearing their key range.
    std::uint8_t palette_blend = 0;
    std::uint32_t mode_word = 2;          // 1 the 8-bit palettised menu renderer, 2 otherwise
    float factor_a = 0.5f;                // light factor
    float factor_b = 0.5f;                // intensity factor
    float pipeline_float = 0.0f;
    // The phase of animated textures whose binding has no phase of its own
    // (a negative one): 0 the first frame, 1 the last.
    float texture_phase = 0.0f;
    float height_threshold = 0.6f;
    // Nonzero: cut-out ground meshes (node flag 0x8000) count as ground when
    // the scene marks its ground (model_node::mark_below_level).
    std::uint8_t cutout_ground = 0;

    // Vertex buffers: A1 and A2 for every render type, B1 and B2 for the
    // 3D-device types only (null otherwise); vertex_buffer_capacity records.
    work_vertex* vertex_a1 = nullptr;
    work_vertex* vertex_b1 = nullptr;
    screen_vertex* vertex_a2 = nullptr;
    screen_vertex* vertex_b2 = nullptr;

    // Software path: the work and screen vertex arenas
    // (software_vertex_limit records each), the face entries
    // (face_entry_count) and the depth bucket heads (depth_bucket_count).
    work_vertex* sw_vertices = nullptr;
    screen_vertex* sw_vertices2 = nullptr;
    zsort_entry* sw_work = nullptr;
    zsort_entry** depth_buckets = nullptr;

    std::uint32_t vertex_capacity_word = static_cast<std::uint32_t>(vertex_buffer_capacity);

    // Work buffers C1 and C2 for every render type (vertex_buffer_capacity
    // records each).
    work_vertex* work_c1 = nullptr;
    work_vertex* work_c2 = nullptr;

    ::camera* camera = nullptr;

    // The sun's direction in view space (x, y, z; w unused), which the
    // scene's owner keeps up to date for the current camera every frame;
    // null when the scene has no sun. The lens flare is drawn toward it.
    const vec4* sun = nullptr;

    // The last animation library of the context's chain (each library links
    // to the next one; anim_lib::append_to_chain appends).
    ::anim_lib* anim_libs = nullptr;

    // The scene view of the race that owns this context, and the deferred
    // texture word (1 once a menu screen group has loaded).
    ::scene_view* view = nullptr;
    std::uint32_t deferred_textures = 1;
    // The view a menu picture drew into this frame (cleared by every menu
    // paint pass, so that one view is drawn once a frame).
    ::scene_view* frame_scene = nullptr;

    // Map objects take detail level 0 while force_level0 is set; those
    // without an animation time of their own are posed at default_anim_time.
    std::uint8_t force_level0 = 0;
    float default_anim_time = 0.0f;

    // The software rasteriser's two span buffers (edge records of the left
    // and of the right edge), allocated with the software path.
    static constexpr std::size_t span_buffer_records = 1030;
    clip_vertex* span_buffers[2] = {nullptr, nullptr};

    // Single-slot pools that the animation code takes from directly: the
    // points of a lattice (at most 7 x 7 x 7), the key positions and the
    // vertex offsets of a shape animation.
    static constexpr std::uint32_t lattice_point_count = 343;
    static constexpr std::uint32_t shape_key_position_count = 8192;
    static constexpr std::uint32_t shape_vertex_offset_count = 8192;
    memmng lattice_point_pool;
    memmng shape_key_pool;
    memmng shape_offset_pool;

private:
    void free_software_buffers();
    void free_device_buffers();

    memmng pools_[engine_pool_types];
    bool released_ = false;
    engine* live_prev_ = nullptr;
    engine* live_next_ = nullptr;
};

// The current context, null when there is none.
extern engine* current_engine;

// Vertices the software path may hold in a frame: 16000 until a context
// chooses the software path, then 15990 on a machine with little memory and
// 31990 otherwise.
extern int software_vertex_limit;

// Ends the program with exit status 1 after a fatal engine error; code 1 is
// out of memory ("ENGINE:: Out of memory!"), code 2 a pool request without a
// current context ("ENGINE:: No engine context!"), both captioned "error".
[[noreturn]] void engine_error(int code);
