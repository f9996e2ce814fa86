#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/pool_new.h"
#include "engine/model/anm_reader.h"

class anim_node;
class engine;
struct scn_light;

// An animation: the animated objects' nodes and the animated lights.
//
// Owner state: 1 freshly loaded (its library destroys it after giving it
// state 2); 2 owns its nodes and lights (unless `shared` is set); 3 a
// transition link that owns only its nodes.
class anim_link : public pool_record<anim_link, pool_anim_link> {
public:
    anim_link() { ++live; }
    explicit anim_link(const char* name);
    ~anim_link();
    anim_link(const anim_link&) = delete;
    anim_link& operator=(const anim_link&) = delete;

    // Owner state 2, every list word cleared.
    void init();
    void copy(const anim_link& other);
    // Every light and every node take the state, then the link.
    void set_state(std::uint32_t state);

    anim_node* first_node = nullptr;
    std::uint32_t node_count = 0;
    std::uint32_t reserved0 = 0;
    std::uint32_t shared = 0;         // nonzero: destroying frees neither nodes nor lights
    scn_light* lights = nullptr;      // an array of light_count lights, chained
    std::uint32_t name_hash = 0;
    std::uint32_t light_count = 0;
    anim_link* prev = nullptr;
    anim_link* next = nullptr;
    std::uint32_t owner_state = 1;
    std::uint32_t claimed = 0;        // file bytes its records took from the library's read budget

    static inline int live = 0;
};

// One ".ANM" file: a directory of named animations, loaded on request.
//
// The loading operations exist twice: the try_ forms validate and return a
// status (for callers that report failures their own way, and for tests);
// the plain forms report a failure with the file's fixed message box and end
// the program with exit status 1.
class anim_lib {
public:
    // Stores the name upper-cased (at most 127 characters).
    explicit anim_lib(const char* name);
    ~anim_lib();
    anim_lib(const anim_lib&) = delete;
    anim_lib& operator=(const anim_lib&) = delete;

    anm_status try_open(const char* path);
    anm_status try_add_anim(const char* name, anim_link** added = nullptr);
    anm_status try_load_all(int* loaded = nullptr);

    // 1; a failure is fatal.
    int open_lib_file(const char* path);
    // 1; loads the animation and puts its link at the head of the list.
    int add_anim(const char* name);
    // 0 when the directory is empty, else 1 after loading every animation
    // and chaining the nodes of each object across the animations.
    int load_all();
    // Unlinks and destroys the link; a link not in the list is ignored.
    void remove_anim(anim_link* link);
    // Closes the file, frees the directory and destroys every link.
    void release();
    void append_to_chain(engine* context);

    // The link whose name hash is `hash`, or null.
    anim_link* find(std::uint32_t hash) const;

    anim_lib* next = nullptr;
    std::uint32_t reserved = 0;
    std::string name;
    std::uint32_t link_count = 0;
    anim_link* first_link = nullptr;
    std::string path;
    std::vector<std::uint8_t> file;
    std::vector<anm_dir_entry> directory;

private:
    void chain_objects();
    std::uint64_t budget_ = 0;
};

// Reports a loader failure with its message box and ends the program with
// exit status 1: codes 0 "ANIM_LIB:: Out of memory!", 1 "ANIM_LIB:: Error
// in file structure!", 2 "ANIM_LIB:: File open error!" captioned "error";
// any other code shows nothing.
[[noreturn]] void anim_lib_error(int code);

// Reports any status as the loaders do and ends the program.
[[noreturn]] void anim_lib_fail(anm_status status, const std::string& path);

// Builds the engine records of an animation read from a file: its link with
// nodes, channels, paths, lattices, shapes and lights (owner state 1).
anim_link* anm_build_animation(const anm_animation& animation);
// A function curve (pool 12) with its keys (pool 13) from a curve record.
class fcurve;
fcurve* anm_build_curve(const anm_curve& curve);
