#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Reads ".MTT"/".MTP" material library files field by field into
// descriptions, checking every count, offset, size and index against the
// bytes present. The readers never end the program; mtr_lib builds the
// materials and reports failures.

enum class mtt_status {
    ok,
    out_of_memory,      // "mtr_lib:: Out of memory!"
    bad_structure,      // "mtr_lib:: Error in file structure!"
    open_failed,        // "File open error!: <path>"
    bad_version,        // "Incorrect MATERIAL library version!"
    not_found,          // "ERROR Material not found!"
    bad_atlas_place,    // "ERROR Incompatible loading format!"
    bad_kind,           // "ERROR Incorrect loading format!"
};

namespace mtt {
inline constexpr std::uint32_t magic = 0x424C544D;        // "MTLB"
inline constexpr std::uint32_t second_magic = 0x534C544D; // "MTLS"
inline constexpr std::uint32_t version = 112;
inline constexpr std::uint32_t material_tag = 0x5444544D; // "MTDT"
inline constexpr std::uint32_t picture_tag = 0x4C434950;  // "PICL"
inline constexpr std::uint32_t palette_tag = 0x4C544C50;  // "PLTL"
inline constexpr std::uint32_t header_bytes = 24;
inline constexpr std::uint32_t entry_bytes = 40;
inline constexpr std::uint32_t chunk_bytes = 12;
inline constexpr std::uint32_t material_bytes = 176;
inline constexpr std::uint32_t texture_bytes = 96;
inline constexpr std::uint32_t frame_bytes = 108;
inline constexpr std::uint32_t picture_lead_bytes = 12;
inline constexpr std::uint32_t palette_lead_bytes = 40;
inline constexpr std::uint32_t max_palettes = 2000;
inline constexpr std::uint32_t atlas_width = 256;
// The most rows a software atlas may have (4 MB of 4-byte pixels).
inline constexpr std::uint32_t max_atlas_rows = 4096;
inline constexpr std::uint32_t single_frame_animation = 10;
} // namespace mtt

struct mtt_dir_entry {
    std::string name;
    std::uint32_t offset = 0;
};

struct mtt_frame {
    std::string name;
    std::uint32_t name_hash = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t pixel_type = 0;
    std::uint32_t colour = 0;
    std::int32_t atlas_x = 0;
    std::int32_t atlas_y = 0;
    std::uint32_t palette = 0;
    std::uint32_t kept[3] = {};
};

struct mtt_texture {
    std::array<std::uint32_t, 24> words{};   // frame count at word 0, animation type at word 4
    std::vector<mtt_frame> frames;
};

struct mtt_material {
    std::string name;
    std::uint32_t key = 0;          // record offset 32
    std::uint32_t name_hash = 0;    // record offset 68
    std::uint32_t word124 = 0;      // record offset 124
    bool has_texture = false;       // record offset 148
    mtt_texture texture;
};

struct mtt_picture {
    std::string name;
    std::uint32_t offset = 0;       // where its 12-byte lead starts; pixels follow
};

struct mtt_palette {
    std::string name;
    std::array<std::uint16_t, 256> colours{};
};

// The header, directory and data area: the picture list, the palettes and
// the atlas's row count S.
struct mtt_library {
    std::vector<mtt_dir_entry> directory;
    std::vector<mtt_picture> pictures;
    std::vector<mtt_palette> palettes;
    std::uint32_t atlas_rows = 0;
};

mtt_status mtt_read_library(const std::vector<std::uint8_t>& file, mtt_library& out);

// The material whose chunk lies at `offset`; for a texture of animation
// type 10 only frame `frame_number` (which must exist) is kept. Pixel
// types, widths (powers of two, not 0), heights and palette indexes are
// checked against `lib`.
mtt_status mtt_read_material(const std::vector<std::uint8_t>& file, std::uint32_t offset, int frame_number,
                             const mtt_library& lib, mtt_material& out);

std::string mtt_status_text(mtt_status status, const std::string& path = {});
