#include "engine/model/anim_lib.h"

#include <cstdlib>
#include <new>
#include <strings.h>

#include "engine/base/engine.h"
#include "engine/base/error_box.h"
#include "engine/base/light_record.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_channels.h"
#include "platform/file.h"

anim_link::anim_link(const char* name) : name_hash(::name_hash(name))
{
    ++live;
}

anim_link::~anim_link()
{
    const bool frees_nodes = (owner_state == 2 && !shared) || owner_state == 3;
    if (frees_nodes) {
        anim_node* node = first_node;
        while (node) {
            anim_node* after = node->next;
            delete node;
            node = after;
        }
        first_node = nullptr;
        node_count = 0;
    }
    if (owner_state == 2 && !shared) {
        delete[] lights;
        lights = nullptr;
        light_count = 0;
    }
    --live;
}

void anim_link::init()
{
    owner_state = 2;
    first_node = nullptr;
    node_count = 0;
    lights = nullptr;
    light_count = 0;
    prev = next = nullptr;
}

void anim_link::copy(const anim_link& other)
{
    first_node = other.first_node;
    node_count = other.node_count;
    reserved0 = other.reserved0;
    shared = other.shared;
    lights = other.lights;
    name_hash = other.name_hash;
    light_count = other.light_count;
    prev = other.prev;
    next = other.next;
    owner_state = other.owner_state;
    claimed = other.claimed;
}

void anim_link::set_state(std::uint32_t state)
{
    for (std::uint32_t i = 0; lights && i < light_count; ++i)
        lights[i].set_state(state);
    for (anim_node* node = first_node; node; node = node->next)
        node->set_state(state);
    owner_state = state;
}

void anim_lib_error(int code)
{
    static constexpr const char* texts[] = {
        "ANIM_LIB:: Out of memory!",
        "ANIM_LIB:: Error in file structure!",
        "ANIM_LIB:: File open error!",
    };
    if (code >= 0 && code < 3)
        error_box("error", "%s", texts[code]);
    std::exit(1);
}

void anim_lib_fail(anm_status status, const std::string& path)
{
    switch (status) {
    case anm_status::out_of_memory:
        anim_lib_error(0);
    case anm_status::bad_structure:
        anim_lib_error(1);
    case anm_status::open_failed:
        error_box("anim_lib::open_lib_file", "%s", anm_status_text(status, path).c_str());
        break;
    case anm_status::bad_version:
        error_box("anim_lib::open_lib_file", "%s", anm_status_text(status).c_str());
        break;
    case anm_status::not_found:
        error_box("animlib::add_anim", "%s", anm_status_text(status).c_str());
        break;
    case anm_status::ok:
        break;
    }
    std::exit(1);
}

anim_lib::anim_lib(const char* lib_name)
{
    std::string upper(lib_name ? lib_name : "");
    if (upper.size() > 127)
        upper.resize(127);
    str_upper(upper.data());
    name = upper;
}

anim_lib::~anim_lib()
{
    release();
}

anm_status anim_lib::try_open(const char* file_path)
{
    path = file_path ? file_path : "";
    directory.clear();
    file.clear();
    if (!platform::read_whole_file(path, file))
        return anm_status::open_failed;
    try {
        const anm_status status = anm_read_directory(file, directory);
        if (status != anm_status::ok) {
            directory.clear();
            return status;
        }
    } catch (const std::bad_alloc&) {
        directory.clear();
        return anm_status::out_of_memory;
    }
    budget_ = anm_read_budget(file);
    return anm_status::ok;
}

int anim_lib::open_lib_file(const char* file_path)
{
    const anm_status status = try_open(file_path);
    if (status != anm_status::ok)
        anim_lib_fail(status, path);
    return 1;
}

anm_status anim_lib::try_add_anim(const char* anim_name, anim_link** added)
{
    const anm_dir_entry* entry = nullptr;
    for (const anm_dir_entry& e : directory) {
        if (anim_name && strcasecmp(e.name.c_str(), anim_name) == 0) {
            entry = &e;
            break;
        }
    }
    if (!entry)
        return anm_status::not_found;
    anm_animation animation;
    animation.name = entry->name;
    std::uint64_t budget = budget_;
    try {
        const anm_status status = anm_read_animation(file, entry->offset, animation, budget);
        if (status != anm_status::ok)
            return status;
    } catch (const std::bad_alloc&) {
        return anm_status::out_of_memory;
    }
    anim_link* link = anm_build_animation(animation);
    link->claimed = static_cast<std::uint32_t>(budget_ - budget);
    budget_ = budget;
    link->prev = nullptr;
    link->next = first_link;
    if (first_link)
        first_link->prev = link;
    first_link = link;
    ++link_count;
    if (added)
        *added = link;
    return anm_status::ok;
}

int anim_lib::add_anim(const char* anim_name)
{
    const anm_status status = try_add_anim(anim_name);
    if (status != anm_status::ok)
        anim_lib_fail(status, path);
    return 1;
}

anm_status anim_lib::try_load_all(int* loaded)
{
    if (loaded)
        *loaded = directory.empty() ? 0 : 1;
    if (directory.empty())
        return anm_status::ok;
    for (const anm_dir_entry& e : directory) {
        const anm_status status = try_add_anim(e.name.c_str());
        if (status != anm_status::ok)
            return status;
    }
    chain_objects();
    return anm_status::ok;
}

int anim_lib::load_all()
{
    int loaded = 0;
    const anm_status status = try_load_all(&loaded);
    if (status != anm_status::ok)
        anim_lib_fail(status, path);
    return loaded;
}

void anim_lib::chain_objects()
{
    for (anim_link* link = first_link; link && link->next; link = link->next) {
        for (anim_node* node = link->first_node; node; node = node->next) {
            if (node->next_anim)
                continue;
            anim_node* end = node;
            for (anim_link* later = link->next; later; later = later->next) {
                for (anim_node* other = later->first_node; other; other = other->next) {
                    if (other->object_hash == node->object_hash) {
                        end->next_anim = other;
                        other->prev_anim = end;
                        end = other;
                        break;
                    }
                }
            }
        }
    }
}

void anim_lib::remove_anim(anim_link* link)
{
    anim_link* at = first_link;
    while (at && at != link)
        at = at->next;
    if (!at)
        return;
    if (at->prev)
        at->prev->next = at->next;
    else
        first_link = at->next;
    if (at->next)
        at->next->prev = at->prev;
    --link_count;
    budget_ += at->claimed;
    // A loaded link is in state 1, which frees nothing: it takes state 2 so
    // that its nodes and lights go with it.
    at->set_state(2);
    delete at;
}

void anim_lib::release()
{
    file.clear();
    file.shrink_to_fit();
    directory.clear();
    anim_link* link = first_link;
    while (link) {
        anim_link* after = link->next;
        link->set_state(2);
        delete link;
        link = after;
    }
    first_link = nullptr;
    link_count = 0;
}

void anim_lib::append_to_chain(engine* context)
{
    if (context->anim_libs)
        context->anim_libs->next = this;
    context->anim_libs = this;
}

anim_link* anim_lib::find(std::uint32_t hash) const
{
    for (anim_link* link = first_link; link; link = link->next) {
        if (link->name_hash == hash)
            return link;
    }
    return nullptr;
}
