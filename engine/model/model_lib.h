#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/model/mdl_reader.h"
#include "engine/model/ml_modelinfo.h"

class anim_lib;

// One ".MDL" file of models: its directory, the models loaded from it (shared
// and never drawn) and the instances made of them for the scene.
//
// The loading operations exist twice: the try_ forms validate and return a
// status; the plain forms report a failure with the file's message box and
// end the program with exit status 1 ("Number of objects too big" and the
// loader errors as the file's reports say). A model that is not in the
// directory, or whose list magic is wrong, is not loaded and the library
// stays usable.
class model_lib {
public:
    // Stores the name upper-cased (at most 127 characters).
    explicit model_lib(const char* name);
    // Destroys every instance, then every model.
    ~model_lib();
    model_lib(const model_lib&) = delete;
    model_lib& operator=(const model_lib&) = delete;

    // Reads the file; when it cannot be read, the entry of the same name in
    // the archive of its folder (the folder's path followed by ".mix").
    mdl_status try_open(const char* path);
    mdl_status try_load_model(const char* name, int flag, ml_modelinfo** loaded = nullptr);
    mdl_status try_load_all(int flag);

    int open_lib_file(const char* path);
    // 1 loaded; 0 not in the directory or a wrong list magic.
    int load_model(const char* name, int flag);
    int load_all(int flag);

    // A deep copy of the loaded model of that name (compared without regard
    // to case) at the head of the instance list, or null.
    // Its mesh and patch nodes are bound to the materials of the chain with
    // the flag; a reference found in no library ends the program
    // ("Material not in library!"). Without a chain (null) the references
    // stay unbound until link_materials.
    ml_modelinfo* create_instance(const char* name, mtr_lib* materials, int flag);
    ml_modelinfo* create_instance_flag0(const char* name, mtr_lib* materials)
    {
        return create_instance(name, materials, 0);
    }
    // As create_instance, with the status of a failed copy; `unbound` (when
    // given) tells whether a material reference was not found.
    mdl_status try_create_instance(const char* name, int flag, ml_modelinfo** made, mtr_lib* materials = nullptr,
                                   bool* unbound = nullptr);
    // Binds the materials of every model (flag 0) and of every instance
    // whose id is below 1; false when a reference was not found.
    bool try_link_materials(mtr_lib* chain);
    void link_materials(mtr_lib* chain);
    // Unlinks and destroys an instance of this library.
    void destroy_instance(ml_modelinfo* instance);

    // For each animation library of the chain (linked through `next`) that
    // holds animations: every model and then every instance is linked to
    // the animation that bears its own name.
    void link_anims(anim_lib* chain);
    // Every model and instance lets go of the animations it borrows from
    // `library` (and of a transition built from them), before the library
    // is destroyed.
    void unlink_anims(const anim_lib& library);

    // A model that carries an animated light (not put on the model list):
    // one node, or two for a spot light (type 2; the second, a child of the
    // first, is where the spot aims). Its animation link (current, borrowing
    // the light) names the light, whose channel links are replaced by
    // bindings of the nodes: position (2111) to the first node, target
    // (2116) to the second, mode 1. The nodes take the light's range as
    // their radius. The caller keeps the light; destroying the model leaves
    // it (and its links, which then name no node).
    static ml_modelinfo* make_simple_model(scn_light* light);

    ml_modelinfo* find_model(std::uint32_t hash) const;
    void set_lod_table(std::span<const float> table);
    void set_flags(std::uint32_t bits);
    void clear_flags(std::uint32_t bits);

    std::string name;
    std::int32_t model_count = 0;
    ml_modelinfo* models = nullptr;
    ml_modelinfo* instances = nullptr;
    std::string path;
    std::vector<std::uint8_t> file;
    std::vector<mdl_dir_entry> directory;
    bool from_archive = false;

private:
    std::uint64_t budget_ = 0;
    std::uint32_t too_many_ = 0;
};

// Builds the records of a model read from a file (owner state 1): level 0
// as an ml_modelinfo with its detail levels, skin, muscles, bindings and
// rest pose. Null (status muscle_joints) when a muscle's joint does not give
// three nodes.
ml_modelinfo* mdl_build_model(const mdl_model& model, model_lib* library, int flag, mdl_status* status = nullptr);

// Loader errors, captioned "error", and the program ends with exit status
// 1: 0 "Out of memory!", 1 "Error in file structure!", 2 "File open
// error!", 3 "Array overflow!"; any other code ends it without a box.
[[noreturn]] void model_lib_error(int code);
// Reports any failure status as the loaders do and ends the program.
// "Material not in library!" captioned "model::lnk_materials", exit status 1.
[[noreturn]] void material_not_in_library();
[[noreturn]] void model_lib_fail(mdl_status status, const std::string& path, std::uint32_t count = 0);
