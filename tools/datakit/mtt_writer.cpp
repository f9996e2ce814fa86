#include "tools/datakit/mtt_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <strings.h>

#include "engine/base/name_hash.h"
#include "platform/atomic_file.h"
#include "platform/byte_writer.h"

namespace datakit {

using platform::ByteWriter;

void mtt_pack_atlas(MttLibrary& library)
{
    std::int32_t x = 0, y = 0, shelf = 0;
    for (const MttPicture& p : library.pictures) {
        if (x + p.width > 256) {
            x = 0;
            y += shelf;
            shelf = 0;
        }
        for (mtt_material& m : library.materials)
            for (mtt_frame& f : m.texture.frames)
                if (strcasecmp(f.name.c_str(), p.name.c_str()) == 0) {
                    f.atlas_x = x;
                    f.atlas_y = y;
                }
        x += p.width;
        shelf = std::max(shelf, p.height);
    }
    library.atlas_rows = static_cast<std::uint32_t>(y + shelf);
}

void mtt_software_layout(MttLibrary& library)
{
    for (MttPicture& p : library.pictures) {
        if (p.pixel_bytes != 1 || p.width <= 0 || p.height <= 0)
            continue;
        const std::int32_t side = std::max(p.width, p.height);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
        // Stored row r is the picture's column r x width / side, stored
        // column c its row c x height / side.
        for (std::int32_t r = 0; r < side; ++r)
            for (std::int32_t c = 0; c < side; ++c) {
                const std::int32_t x = r * p.width / side, y = c * p.height / side;
                out[static_cast<std::size_t>(r) * static_cast<std::size_t>(side) + static_cast<std::size_t>(c)] =
                    p.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)];
            }
        p.pixels = std::move(out);
        p.width = p.height = side;
        for (mtt_material& m : library.materials) {
            bool shows = false;
            for (mtt_frame& f : m.texture.frames)
                if (strcasecmp(f.name.c_str(), p.name.c_str()) == 0) {
                    f.width = f.height = side;
                    shows = true;
                }
            if (shows && m.texture.words[5] != 0) {
                m.texture.words[5] = static_cast<std::uint32_t>(side);
                m.texture.words[6] = static_cast<std::uint32_t>(side);
            }
        }
    }
    mtt_pack_atlas(library);
}

std::vector<std::uint8_t> mtt_bytes(const MttLibrary& library, std::vector<std::size_t>* marks)
{
    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    auto mark = [&] {
        if (marks)
            marks->push_back(out.position());
    };
    const auto here = [&] { return static_cast<std::uint32_t>(out.position()); };
    out.u32(mtt::magic);
    out.u32(mtt::version);
    out.u32(0);
    out.u32(mtt::second_magic);
    const std::size_t data_slot = out.position();
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(library.materials.size()));
    std::vector<std::size_t> slots;
    for (const mtt_material& m : library.materials) {
        out.fixed_string(m.name, 32);
        slots.push_back(out.position());
        out.u32(0);
        out.u32(0);
    }
    for (std::size_t i = 0; i < library.materials.size(); ++i) {
        const mtt_material& m = library.materials[i];
        out.patch_u32(slots[i], here());
        mark();
        const std::size_t chunk = out.position();
        out.u32(mtt::material_tag);
        out.u32(0);
        out.u32(1);
        const std::size_t record = out.position();
        out.zeros(mtt::material_bytes);
        bytes.resize(record);
        out.fixed_string(m.name, 32);
        out.u32(m.key);
        out.zeros(68 - 36);
        out.u32(m.name_hash ? m.name_hash : name_hash(m.name.c_str()));
        out.zeros(124 - 72);
        out.u32(m.word124);
        out.zeros(148 - 128);
        out.u32(m.has_texture ? 1u : 0u);
        out.zeros(mtt::material_bytes - 152);
        if (m.has_texture) {
            mark();
            std::array<std::uint32_t, 24> words = m.texture.words;
            words[0] = static_cast<std::uint32_t>(m.texture.frames.size());
            for (std::uint32_t w : words)
                out.u32(w);
            for (const mtt_frame& f : m.texture.frames) {
                mark();
                out.fixed_string(f.name, 32);
                out.u32(name_hash(f.name.c_str()));
                out.i32(f.width);
                out.i32(f.height);
                out.u32(f.pixel_type);
                out.u32(f.colour);
                out.zeros(8);
                out.i32(f.atlas_x);
                out.i32(f.atlas_y);
                out.zeros(12);
                out.u32(f.palette);
                out.zeros(12);
                for (std::uint32_t k : f.kept)
                    out.u32(k);
            }
        }
        out.patch_u32(chunk + 4, static_cast<std::uint32_t>(out.position() - chunk - mtt::chunk_bytes));
    }
    // The data area.
    out.patch_u32(data_slot, here() - mtt::header_bytes);
    mark();
    const auto pictures = static_cast<std::uint32_t>(library.pictures.size());
    const std::uint32_t rows = std::max(library.atlas_rows, pictures * mtt::entry_bytes);
    out.u32(mtt::picture_tag);
    out.u32(rows);
    out.u32(pictures);
    const std::size_t list = out.position();
    std::vector<std::size_t> picture_slots;
    for (const MttPicture& p : library.pictures) {
        out.fixed_string(p.name, 32);
        picture_slots.push_back(out.position());
        out.u32(0);
        out.u32(0);
    }
    out.zeros(list + rows - out.position());
    mark();
    out.u32(mtt::palette_tag);
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(library.palettes.size()));
    std::vector<std::size_t> palette_slots;
    for (const mtt_palette& p : library.palettes) {
        out.fixed_string(p.name, 32);
        palette_slots.push_back(out.position());
        out.u32(0);
        out.u32(0);
    }
    for (std::size_t i = 0; i < library.pictures.size(); ++i) {
        const MttPicture& p = library.pictures[i];
        out.patch_u32(picture_slots[i], here());
        mark();
        out.u32(0);
        out.i32(p.width);
        out.i32(p.height);
        out.bytes(p.pixels.data(), p.pixels.size());
    }
    for (std::size_t i = 0; i < library.palettes.size(); ++i) {
        out.patch_u32(palette_slots[i], here());
        mark();
        out.fixed_string(library.palettes[i].name, 32);
        out.zeros(8);
        for (std::uint16_t c : library.palettes[i].colours)
            out.u16(c);
    }
    return bytes;
}

bool write_mtt(const std::filesystem::path& path, const MttLibrary& library, std::string& error)
{
    return platform::write_file_atomic(path.string(), mtt_bytes(library), &error);
}

mtt_material mtt_make_material(const char* name, std::vector<std::string> frames, std::uint32_t pixel_type,
                               std::int32_t width, std::int32_t height, std::uint32_t animation)
{
    mtt_material m;
    m.name = name;
    m.name_hash = name_hash(name);
    m.has_texture = !frames.empty();
    m.texture.words[4] = animation;
    for (const std::string& f : frames) {
        mtt_frame frame;
        frame.name = f;
        frame.name_hash = name_hash(f.c_str());
        frame.width = width;
        frame.height = height;
        frame.pixel_type = pixel_type;
        m.texture.frames.push_back(frame);
    }
    return m;
}

void mtt_set_drawing_words(mtt_material& material, std::int32_t width, std::int32_t height, float ambient,
                           float diffuse)
{
    auto& w = material.texture.words;
    w[2] = std::bit_cast<std::uint32_t>(0.0f);
    w[5] = static_cast<std::uint32_t>(width);
    w[6] = static_cast<std::uint32_t>(height);
    w[7] = w[8] = std::bit_cast<std::uint32_t>(1.0f);
    w[12] = std::bit_cast<std::uint32_t>(ambient);
    w[13] = std::bit_cast<std::uint32_t>(diffuse);
}

} // namespace datakit
