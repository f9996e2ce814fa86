#include "engine/model/model_lib.h"

#include <cstdlib>
#include <new>
#include <strings.h>

#include "app/mixer.h"
#include "engine/model/anim_lib.h"
#include "engine/base/error_box.h"
#include "engine/base/name_hash.h"
#include "platform/file.h"

void model_lib_error(int code)
{
    static constexpr const char* texts[] = {
        "Out of memory!",
        "Error in file structure!",
        "File open error!",
        "Array overflow!",
    };
    if (code >= 0 && code <= 3)
        error_box("error", "%s", texts[code]);
    std::exit(1);
}

void model_lib_fail(mdl_status status, const std::string& path, std::uint32_t count)
{
    switch (status) {
    case mdl_status::out_of_memory: model_lib_error(0);
    case mdl_status::bad_structure: model_lib_error(1);
    case mdl_status::array_overflow: model_lib_error(3);
    case mdl_status::open_failed:
        error_box("model_lib::open_lib_file", "%s", mdl_status_text(status, path).c_str());
        break;
    case mdl_status::bad_version:
        error_box("model_lib::open_lib_file", "%s", mdl_status_text(status).c_str());
        break;
    case mdl_status::too_many_objects:
        error_box("model_lib::load_model", "%s", mdl_status_text(status, path, count).c_str());
        break;
    case mdl_status::muscle_joints:
        error_box("ml_modelinfo::muscles_init", "%s", mdl_status_text(status).c_str());
        break;
    case mdl_status::ok:
    case mdl_status::not_found:
    case mdl_status::bad_list: break;
    }
    std::exit(1);
}

model_lib::model_lib(const char* lib_name)
{
    std::string upper(lib_name ? lib_name : "");
    if (upper.size() > 127)
        upper.resize(127);
    str_upper(upper.data());
    name = upper;
}

model_lib::~model_lib()
{
    while (instances)
        destroy_instance(instances);
    while (models) {
        ml_modelinfo* m = models;
        models = m->next;
        delete m;
    }
    model_count = 0;
}

mdl_status model_lib::try_open(const char* file_path)
{
    path = file_path ? file_path : "";
    directory.clear();
    file.clear();
    from_archive = false;
    if (!platform::read_whole_file(path, file)) {
        // The same file, whole, from the archive of its folder.
        const std::size_t cut = path.find_last_of("\\/");
        if (cut == std::string::npos)
            return mdl_status::open_failed;
        const std::string archive = path.substr(0, cut) + ".mix";
        const std::string entry = path.substr(cut + 1);
        file.clear();
        mixer mix;
        if (mix.load(archive.c_str(), entry.c_str(), file) != 0) {
            file.clear();
            return mdl_status::open_failed;
        }
        from_archive = true;
    }
    try {
        const mdl_status status = mdl_read_directory(file, directory);
        if (status != mdl_status::ok) {
            directory.clear();
            return status;
        }
    } catch (const std::bad_alloc&) {
        directory.clear();
        return mdl_status::out_of_memory;
    }
    budget_ = mdl_read_budget(file);
    return mdl_status::ok;
}

int model_lib::open_lib_file(const char* file_path)
{
    const mdl_status status = try_open(file_path);
    if (status != mdl_status::ok)
        model_lib_fail(status, path);
    return 1;
}

mdl_status model_lib::try_load_model(const char* model_name, int flag, ml_modelinfo** loaded)
{
    const mdl_dir_entry* entry = nullptr;
    for (const mdl_dir_entry& e : directory)
        if (model_name && strcasecmp(e.name.c_str(), model_name) == 0) {
            entry = &e;
            break;
        }
    if (!entry)
        return mdl_status::not_found;
    mdl_model model;
    model.name = entry->name;
    // Every load reads against the whole file's budget: a model is read
    // once, and a file's records can never make one load build far more
    // than the file holds.
    std::uint64_t budget = budget_;
    too_many_ = 0;
    const mdl_status status = mdl_read_model(file, entry->offset, model, budget, &too_many_);
    if (status != mdl_status::ok)
        return status;
    ml_modelinfo* m = nullptr;
    mdl_status built = mdl_status::ok;
    try {
        m = mdl_build_model(model, this, flag, &built);
    } catch (const std::bad_alloc&) {
        return mdl_status::out_of_memory;
    }
    if (!m)
        return built;
    m->next = models;
    if (models)
        models->prev = m;
    models = m;
    ++model_count;
    if (loaded)
        *loaded = m;
    return mdl_status::ok;
}

int model_lib::load_model(const char* model_name, int flag)
{
    const mdl_status status = try_load_model(model_name, flag);
    if (status == mdl_status::ok)
        return 1;
    if (status == mdl_status::not_found || status == mdl_status::bad_list)
        return 0;
    model_lib_fail(status, path, too_many_);
}

mdl_status model_lib::try_load_all(int flag)
{
    for (const mdl_dir_entry& e : directory) {
        const mdl_status status = try_load_model(e.name.c_str(), flag);
        if (status != mdl_status::ok && status != mdl_status::bad_list)
            return status;
    }
    return mdl_status::ok;
}

int model_lib::load_all(int flag)
{
    for (const mdl_dir_entry& e : directory)
        load_model(e.name.c_str(), flag);
    return 0;
}

void material_not_in_library()
{
    error_box("model::lnk_materials", "%s", "Material not in library!");
    std::exit(1);
}

bool model_lib::try_link_materials(mtr_lib* chain)
{
    bool ok = true;
    for (ml_modelinfo* m = models; m; m = m->next)
        ok = m->link_materials(chain, 0) && ok;
    for (ml_modelinfo* i = instances; i; i = i->next)
        if (i->id < 1)
            ok = i->link_materials(chain, 0) && ok;
    return ok;
}

void model_lib::link_materials(mtr_lib* chain)
{
    if (!try_link_materials(chain))
        material_not_in_library();
}

mdl_status model_lib::try_create_instance(const char* model_name, int flag, ml_modelinfo** made,
                                          mtr_lib* materials, bool* unbound)
{
    *made = nullptr;
    if (unbound)
        *unbound = false;
    ml_modelinfo* source = nullptr;
    for (ml_modelinfo* m = models; m; m = m->next)
        if (model_name && strcasecmp(m->name, model_name) == 0) {
            source = m;
            break;
        }
    if (!source)
        return mdl_status::not_found;
    ml_modelinfo* copy = nullptr;
    try {
        copy = source->make_instance(this);
    } catch (const std::bad_alloc&) {
        return mdl_status::out_of_memory;
    }
    if (!copy)
        return mdl_status::array_overflow;
    // Without a chain the references stay unbound until link_materials.
    if (materials && !copy->link_materials(materials, static_cast<std::uint32_t>(flag)) && unbound)
        *unbound = true;
    copy->next = instances;
    if (instances)
        instances->prev = copy;
    instances = copy;
    *made = copy;
    return mdl_status::ok;
}

ml_modelinfo* model_lib::create_instance(const char* model_name, mtr_lib* materials, int flag)
{
    ml_modelinfo* made = nullptr;
    bool unbound = false;
    const mdl_status status = try_create_instance(model_name, flag, &made, materials, &unbound);
    if (status == mdl_status::array_overflow || status == mdl_status::out_of_memory)
        model_lib_fail(status, path);
    if (unbound)
        material_not_in_library();
    return made;
}

void model_lib::destroy_instance(ml_modelinfo* instance)
{
    if (!instance)
        return;
    bool listed = false;
    for (ml_modelinfo* i = instances; i; i = i->next)
        if (i == instance)
            listed = true;
    if (!listed)
        return;
    if (instance->prev)
        instance->prev->next = instance->next;
    else
        instances = instance->next;
    if (instance->next)
        instance->next->prev = instance->prev;
    delete instance;
}

ml_modelinfo* model_lib::find_model(std::uint32_t hash) const
{
    for (ml_modelinfo* m = models; m; m = m->next)
        if (m->name_hash == hash)
            return m;
    return nullptr;
}

void model_lib::set_lod_table(std::span<const float> table)
{
    for (ml_modelinfo* m = models; m; m = m->next)
        m->set_lod_table(table);
}

void model_lib::set_flags(std::uint32_t bits)
{
    for (ml_modelinfo* m = models; m; m = m->next)
        m->set_flags(bits);
}

void model_lib::clear_flags(std::uint32_t bits)
{
    for (ml_modelinfo* m = models; m; m = m->next)
        m->clear_flags(bits);
}

void model_lib::unlink_anims(const anim_lib& library)
{
    for (ml_modelinfo* list : {models, instances})
        for (ml_modelinfo* m = list; m; m = m->next)
            m->unlink_anims(library);
}

void model_lib::link_anims(anim_lib* chain)
{
    for (anim_lib* lib = chain; lib; lib = lib->next) {
        if (!lib->first_link)
            continue;
        for (ml_modelinfo* m = models; m; m = m->next)
            m->lnk_anim_by_name(lib, m->name, 2, 0);
        for (ml_modelinfo* i = instances; i; i = i->next)
            i->lnk_anim_by_name(lib, i->name, 2, 0);
    }
}
