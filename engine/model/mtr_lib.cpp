#include "engine/model/mtr_lib.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

#include "engine/base/engine.h"
#include "engine/base/error_box.h"
#include "engine/base/name_hash.h"
#include "engine/base/render_facts.h"
#include "engine/model/blend_tables.h"
#include "platform/file.h"

mesh_texture::~mesh_texture()
{
    if (owner_state == 1) {
        mtr_texture* f = first_frame;
        while (f) {
            mtr_texture* after = f->next;
            delete f;
            f = after;
        }
    }
    first_frame = nullptr;
    --live;
}

mesh_texture* mesh_texture::copy() const
{
    auto* c = new mesh_texture;
    c->frame_count = frame_count;
    c->first_frame = first_frame;
    std::memcpy(c->words, words, sizeof words);
    c->set_word = set_word;
    c->owner_state = 2;
    return c;
}

mesh_material::~mesh_material()
{
    if (owner_state == 1 || owner_state == 2)
        delete texture;
    --live;
}

mesh_material* mesh_material::copy() const
{
    auto* c = new mesh_material;
    c->key = key;
    c->name_hash = name_hash;
    c->word124 = word124;
    c->texture = texture ? texture->copy() : nullptr;
    c->owner_state = 2;
    return c;
}

void mesh_material::set_state(std::uint32_t state)
{
    owner_state = state;
    if (texture)
        texture->owner_state = state;
}

void mtr_lib_error(int code)
{
    static constexpr const char* texts[] = {
        "mtr_lib:: Out of memory!",
        "mtr_lib:: Error in file structure!",
        "mtr_lib:: File open error!",
    };
    if (code >= 0 && code < 3)
        error_box("error", "%s", texts[code]);
    std::exit(1);
}

void mtr_lib_fail(mtt_status status, const std::string& path)
{
    switch (status) {
    case mtt_status::out_of_memory: mtr_lib_error(0);
    case mtt_status::bad_structure: mtr_lib_error(1);
    case mtt_status::open_failed: error_box("mtr_lib::open_lib_file", "%s", mtt_status_text(status, path).c_str()); break;
    case mtt_status::bad_version: error_box("mtr_lib::open_lib_file", "%s", mtt_status_text(status).c_str()); break;
    case mtt_status::not_found: error_box("mtrlib::addmodel", "%s", mtt_status_text(status).c_str()); break;
    case mtt_status::bad_atlas_place:
    case mtt_status::bad_kind: error_box("mtrlib::add_material", "%s", mtt_status_text(status).c_str()); break;
    case mtt_status::ok: break;
    }
    std::exit(1);
}

mtr_lib::mtr_lib(const char* lib_name)
{
    std::string upper(lib_name ? lib_name : "");
    if (upper.size() > 127)
        upper.resize(127);
    str_upper(upper.data());
    name = upper;
}

mtr_lib::~mtr_lib()
{
    release();
}

void mtr_lib::release()
{
    while (materials) {
        mesh_material* m = materials;
        if (atlas.empty())
            free_surfaces(m);
        materials = m->next;
        delete m;
    }
    material_count = 0;
    atlas.clear();
    atlas.shrink_to_fit();
    owned_pixels_.clear();
    file.clear();
}

mtt_status mtr_lib::try_open(const char* file_path)
{
    path = file_path ? file_path : "";
    contents = {};
    file.clear();
    if (!platform::read_whole_file(path, file))
        return mtt_status::open_failed;
    return mtt_read_library(file, contents);
}

int mtr_lib::open_lib_file(const char* file_path)
{
    const mtt_status status = try_open(file_path);
    if (status != mtt_status::ok)
        mtr_lib_fail(status, path);
    return 1;
}

mesh_material* mtr_lib::find(std::uint32_t hash) const
{
    for (mesh_material* m = materials; m; m = m->next)
        if (m->name_hash == hash)
            return m;
    return nullptr;
}

// A frame of the same picture already loaded in this library, or earlier in
// the texture being loaded (its first `upto` frames).
mtr_texture* mtr_lib::loaded_namesake(const mtr_texture* frame, const mesh_texture* current, int upto) const
{
    for (const mesh_material* m = materials; m; m = m->next)
        if (m->texture)
            for (mtr_texture* f = m->texture->first_frame; f; f = f->next)
                if (f->name_hash == frame->name_hash)
                    return f;
    int i = 0;
    for (mtr_texture* f = current->first_frame; f && i < upto; f = f->next, ++i)
        if (f->name_hash == frame->name_hash)
            return f;
    return nullptr;
}

bool mtr_lib::frame_fits_atlas(const mtr_texture& frame) const
{
    return frame.atlas_x >= 0 && frame.atlas_y >= 0 && std::int64_t{frame.atlas_x} + frame.width <= std::int64_t{mtt::atlas_width} &&
           std::uint64_t(frame.atlas_y) + std::uint64_t(frame.height) <= contents.atlas_rows;
}

mtt_status mtr_lib::load_frame(mtr_texture* frame, int kind, int surface_argument)
{
    const int bpp = texture_pixel_bytes[frame->pixel_type];
    const mtt_picture* picture = nullptr;
    for (const mtt_picture& p : contents.pictures)
        if (strcasecmp(p.name.c_str(), frame->name) == 0) {
            picture = &p;
            break;
        }
    if (!picture)
        return mtt_status::ok;   // the frame gets no pixels
    // A picture of pixels without bytes (type 0) would make an atlas of no
    // bytes and copy into it through a null pointer.
    if (bpp == 0)
        return mtt_status::bad_structure;
    const std::uint64_t row = std::uint64_t(frame->width) * bpp;
    const std::uint64_t start = std::uint64_t{picture->offset} + mtt::picture_lead_bytes;
    if (start + row * std::uint64_t(frame->height) > file.size())
        return mtt_status::bad_structure;
    const std::uint8_t* src = file.data() + start;
    if (kind == material_kind_atlas) {
        if (frame->atlas_x < 0)
            return mtt_status::bad_atlas_place;
        if (!frame_fits_atlas(*frame))
            return mtt_status::bad_structure;
        if (atlas.empty()) {
            atlas_pixel_bytes = bpp;
            atlas.assign(std::size_t(bpp) * contents.atlas_rows * mtt::atlas_width, 0);
        }
        // A frame with wider pixels than the atlas's would run past its rows.
        if (bpp > atlas_pixel_bytes)
            return mtt_status::bad_structure;
        std::uint8_t* dst = atlas.data() + (std::size_t(frame->atlas_y) * mtt::atlas_width + frame->atlas_x) * bpp;
        frame->pixels = dst;
        bool keeps_palette = false;
        if (const char* open = std::strchr(frame->name, '#'))
            for (const char* c = open + 1; *c && *c != '#'; ++c)
                if (*c == 'P')
                    keeps_palette = true;
        for (std::int32_t y = 0; y < frame->height; ++y)
            std::memcpy(dst + std::size_t(y) * mtt::atlas_width * bpp, src + y * row, row);
        if (frame->pixel_type == 9 && current_engine && current_engine->palette_blend && !keeps_palette) {
            // Blended toward its colour: the colour word names its table.
            frame->colour = static_cast<std::uint32_t>(blend_table_for(frame->colour, engine_render_facts().palette_rgb));
        } else if (frame->pixel_type == 9) {
            // Colour-keyed 8-bit frames: the key range (0xE0 and above)
            // becomes 0 and the frame an ordinary 8-bit one.
            for (std::int32_t y = 0; y < frame->height; ++y)
                for (std::uint64_t x = 0; x < row; ++x) {
                    std::uint8_t& p = dst[std::size_t(y) * mtt::atlas_width * bpp + x];
                    if (p >= 0xE0)
                        p = 0;
                }
            frame->pixel_type = 6;
        }
        return mtt_status::ok;
    }
    if (kind != material_kind_surface)
        return mtt_status::bad_kind;
    const texture_surface_ops& ops = texture_surfaces();
    if (ops.create) {
        if (!ops.create(frame, surface_argument) || !frame->pixels)
            return mtt_status::out_of_memory;
    } else {
        owned_pixels_.emplace_back(new std::uint8_t[row * frame->height + (bpp == 1 ? 512 : 0)]);
        frame->pixels = owned_pixels_.back().get();
        if (bpp == 1)
            frame->palette = reinterpret_cast<std::uint16_t*>(frame->pixels + row * frame->height);
    }
    std::memcpy(frame->pixels, src, row * frame->height);
    if (bpp == 1 && frame->palette)
        std::memcpy(frame->palette, contents.palettes[frame->palette_index].colours.data(), 512);
    if (ops.finish)
        ops.finish(frame);
    return mtt_status::ok;
}

mtt_status mtr_lib::try_add_material(const char* material_name, int kind, int frame_number, int surface_argument,
                                     mesh_material** added)
{
    if (kind != material_kind_surface && kind != material_kind_atlas)
        return mtt_status::bad_kind;
    const mtt_dir_entry* entry = nullptr;
    for (const mtt_dir_entry& e : contents.directory)
        if (material_name && strcasecmp(e.name.c_str(), material_name) == 0) {
            entry = &e;
            break;
        }
    if (!entry)
        return mtt_status::not_found;
    mtt_material read;
    mtt_status status = mtt_read_material(file, entry->offset, frame_number, contents, read);
    if (status != mtt_status::ok)
        return status;
    auto* m = new mesh_material;
    m->key = read.key;
    m->name_hash = read.name_hash;
    m->word124 = read.word124;
    if (read.has_texture) {
        auto* t = new mesh_texture;
        std::memcpy(t->words, read.texture.words.data(), sizeof t->words);
        t->words[3] = t->words[11] = 0;   // the two load words
        t->frame_count = static_cast<std::int32_t>(read.texture.frames.size());
        t->owner_state = 1;
        m->texture = t;
        mtr_texture* last = nullptr;
        int index = 0;
        for (const mtt_frame& f : read.texture.frames) {
            auto* frame = new mtr_texture;
            std::strncpy(frame->name, f.name.c_str(), sizeof frame->name - 1);
            frame->name_hash = f.name_hash;
            frame->width = f.width;
            frame->height = f.height;
            frame->pixel_type = f.pixel_type;
            frame->colour = f.colour;
            frame->atlas_x = f.atlas_x;
            frame->atlas_y = f.atlas_y;
            frame->palette_index = f.palette;
            std::memcpy(frame->kept, f.kept, sizeof f.kept);
            frame->log2_width = static_cast<std::uint32_t>(std::log(double(f.width)) / std::log(2.0) + 1e-9);
            frame->width_mask = static_cast<std::uint32_t>(f.width - 1);
            frame->span = kind == material_kind_surface
                              ? static_cast<std::uint32_t>(f.height - 1) << frame->log2_width
                              : ((static_cast<std::uint32_t>(f.height) << 8) - 256) | frame->width_mask;
            frame->prev = last;
            if (last)
                last->next = frame;
            else
                t->first_frame = frame;
            last = frame;
            if (mtr_texture* shared = loaded_namesake(frame, t, index)) {
                // The shared pixels hold the namesake's picture: a frame that
                // claims more of them, or a place outside the atlas, is damaged.
                const bool fits = frame->width <= shared->width && frame->height <= shared->height &&
                                  (kind != material_kind_atlas || frame_fits_atlas(*frame));
                if (!fits) {
                    m->owner_state = 1;
                    delete m;
                    return mtt_status::bad_structure;
                }
                frame->pixels = shared->pixels;
                frame->surface = shared->surface;
                frame->palette = shared->palette;
                frame->colour = shared->colour;
                frame->pixel_type = shared->pixel_type;
            } else {
                status = load_frame(frame, kind, surface_argument);
                if (status != mtt_status::ok) {
                    m->owner_state = 1;
                    delete m;
                    return status;
                }
            }
            ++index;
        }
    }
    m->set_state(1);
    m->next = materials;
    if (materials)
        materials->prev = m;
    materials = m;
    ++material_count;
    if (added)
        *added = m;
    return mtt_status::ok;
}

mtt_status mtr_lib::try_add_all_materials(int kind, int frame_number, int surface_argument)
{
    for (const mtt_dir_entry& e : contents.directory) {
        const mtt_status status = try_add_material(e.name.c_str(), kind, frame_number, surface_argument);
        if (status != mtt_status::ok)
            return status;
    }
    return mtt_status::ok;
}

int mtr_lib::add_material(const char* material_name, int kind, int frame_number, int surface_argument)
{
    const mtt_status status = try_add_material(material_name, kind, frame_number, surface_argument);
    if (status != mtt_status::ok)
        mtr_lib_fail(status, path);
    return 1;
}

void mtr_lib::add_all_materials(int kind, int frame_number, int surface_argument)
{
    for (const mtt_dir_entry& e : contents.directory)
        add_material(e.name.c_str(), kind, frame_number, surface_argument);
}

void mtr_lib::load_all_for_render_type(std::int32_t render_type)
{
    add_all_materials(render_type == 1 ? material_kind_atlas : material_kind_surface, 0, 0);
}

void mtr_lib::free_surfaces(mesh_material* material)
{
    if (!material || !material->texture)
        return;
    const texture_surface_ops& ops = texture_surfaces();
    for (mtr_texture* f = material->texture->first_frame; f; f = f->next) {
        const std::uint32_t hash = f->name_hash;
        bool returned = false;
        for (mesh_material* m = materials; m; m = m->next) {
            if (!m->texture)
                continue;
            for (mtr_texture* g = m->texture->first_frame; g; g = g->next)
                if (g->name_hash == hash && g->surface) {
                    if (!returned && ops.release)
                        ops.release(g);
                    returned = true;
                    g->surface = nullptr;
                }
        }
    }
}
