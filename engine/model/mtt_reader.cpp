#include "engine/model/mtt_reader.h"

#include <new>

#include "engine/base/texture_record.h"
#include "platform/byte_reader.h"

using platform::ByteReader;

mtt_status mtt_read_library(const std::vector<std::uint8_t>& file, mtt_library& out)
{
    try {
        ByteReader r(file);
        const std::uint32_t magic = r.u32();
        const std::uint32_t version = r.u32();
        r.skip(4);
        const std::uint32_t second = r.u32();
        const std::uint32_t data = r.u32();
        const std::uint32_t count = r.u32();
        if (!r.ok())
            return mtt_status::bad_structure;
        if (version != mtt::version)
            return mtt_status::bad_version;
        if (magic != mtt::magic || second != mtt::second_magic)
            return mtt_status::bad_structure;
        if (count > r.remaining() / mtt::entry_bytes)
            return mtt_status::bad_structure;
        out.directory.resize(count);
        for (mtt_dir_entry& e : out.directory) {
            e.name = r.fixed_string(32);
            e.offset = r.u32();
            r.skip(4);
        }
        // The data area: the picture list, S bytes on the palette list.
        if (std::uint64_t{data} + mtt::header_bytes > file.size() || !r.seek(data + mtt::header_bytes))
            return mtt_status::bad_structure;
        if (r.u32() != mtt::picture_tag)
            return mtt_status::bad_structure;
        const std::uint32_t rows = r.u32();
        const std::uint32_t pictures = r.u32();
        const std::size_t list = r.position();
        if (!r.ok() || rows > mtt::max_atlas_rows || pictures > rows / mtt::entry_bytes ||
            pictures > r.remaining() / mtt::entry_bytes)
            return mtt_status::bad_structure;
        out.atlas_rows = rows;
        out.pictures.resize(pictures);
        for (mtt_picture& p : out.pictures) {
            p.name = r.fixed_string(32);
            p.offset = r.u32();
            r.skip(4);
        }
        if (!r.seek(list + rows) || r.u32() != mtt::palette_tag)
            return mtt_status::bad_structure;
        r.skip(4);
        const std::uint32_t palettes = r.u32();
        if (!r.ok() || palettes > mtt::max_palettes || palettes > r.remaining() / mtt::entry_bytes)
            return mtt_status::bad_structure;
        std::vector<std::uint32_t> offsets(palettes);
        out.palettes.resize(palettes);
        for (std::uint32_t i = 0; i < palettes; ++i) {
            out.palettes[i].name = r.fixed_string(32);
            offsets[i] = r.u32();
            r.skip(4);
        }
        for (std::uint32_t i = 0; i < palettes; ++i) {
            if (!r.seek(offsets[i]) || !r.skip(mtt::palette_lead_bytes) || !r.has(512))
                return mtt_status::bad_structure;
            for (auto& c : out.palettes[i].colours)
                c = r.u16();
        }
        return r.ok() ? mtt_status::ok : mtt_status::bad_structure;
    } catch (const std::bad_alloc&) {
        return mtt_status::out_of_memory;
    }
}

namespace {

bool read_frame(ByteReader& r, const mtt_library& lib, mtt_frame& f)
{
    f.name = r.fixed_string(32);
    f.name_hash = r.u32();
    f.width = r.i32();
    f.height = r.i32();
    f.pixel_type = r.u32();
    f.colour = r.u32();
    r.skip(8);
    f.atlas_x = r.i32();
    f.atlas_y = r.i32();
    r.skip(12);
    f.palette = r.u32();
    r.skip(12);
    for (auto& k : f.kept)
        k = r.u32();
    if (!r.ok())
        return false;
    const bool power_of_two = f.width > 0 && (f.width & (f.width - 1)) == 0;
    if (f.pixel_type > 11 || !power_of_two || f.width > 4096 || f.height <= 0 || f.height > 4096)
        return false;
    if (texture_pixel_bytes[f.pixel_type] == 1 && f.palette >= lib.palettes.size())
        return false;
    return true;
}

} // namespace

mtt_status mtt_read_material(const std::vector<std::uint8_t>& file, std::uint32_t offset, int frame_number,
                             const mtt_library& lib, mtt_material& out)
{
    try {
        ByteReader r(file);
        if (!r.seek(offset) || r.u32() != mtt::material_tag)
            return mtt_status::bad_structure;
        r.skip(8);
        if (!r.has(mtt::material_bytes))
            return mtt_status::bad_structure;
        const std::size_t record = r.position();
        r.seek(record + 32);
        out.key = r.u32();
        r.seek(record + 68);
        out.name_hash = r.u32();
        r.seek(record + 124);
        out.word124 = r.u32();
        r.seek(record + 148);
        out.has_texture = r.u32() != 0;
        r.seek(record + mtt::material_bytes);
        if (!out.has_texture)
            return r.ok() ? mtt_status::ok : mtt_status::bad_structure;
        for (auto& w : out.texture.words)
            w = r.u32();
        std::uint32_t frames = out.texture.words[0];
        if (!r.ok() || frames == 0 || frames > r.remaining() / mtt::frame_bytes)
            return mtt_status::bad_structure;
        if (out.texture.words[4] == mtt::single_frame_animation) {
            // Only the frame the caller asks for is kept.
            if (frame_number < 0 || static_cast<std::uint32_t>(frame_number) >= frames)
                return mtt_status::bad_structure;
            r.skip(static_cast<std::size_t>(frame_number) * mtt::frame_bytes);
            frames = 1;
        }
        out.texture.frames.resize(frames);
        for (mtt_frame& f : out.texture.frames)
            if (!read_frame(r, lib, f))
                return mtt_status::bad_structure;
        return mtt_status::ok;
    } catch (const std::bad_alloc&) {
        return mtt_status::out_of_memory;
    }
}

std::string mtt_status_text(mtt_status status, const std::string& path)
{
    switch (status) {
    case mtt_status::ok: return {};
    case mtt_status::out_of_memory: return "mtr_lib:: Out of memory!";
    case mtt_status::bad_structure: return "mtr_lib:: Error in file structure!";
    case mtt_status::open_failed: return "File open error!: " + path;
    case mtt_status::bad_version: return "Incorrect MATERIAL library version!";
    case mtt_status::not_found: return "ERROR Material not found!";
    case mtt_status::bad_atlas_place: return "ERROR Incompatible loading format!";
    case mtt_status::bad_kind: return "ERROR Incorrect loading format!";
    }
    return {};
}
