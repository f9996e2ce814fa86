#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/model/mtt_reader.h"

namespace datakit {

// A picture of a material library: its pixels, row after row, width x
// bytes per pixel each.
struct MttPicture {
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    int pixel_bytes = 2;
    std::vector<std::uint8_t> pixels;
};

struct MttLibrary {
    std::vector<mtt_material> materials;   // the directory, in order
    std::vector<MttPicture> pictures;
    std::vector<mtt_palette> palettes;
    std::uint32_t atlas_rows = 0;          // S; raised to hold the picture list when smaller
};

// Places every picture in a 256-wide atlas (rows of pictures, left to
// right), writes the places into the frames that show it and sets the
// atlas's row count.
void mtt_pack_atlas(MttLibrary& library);

// Lays out the 8-bit pictures of a library (".MTP") for the game's own
// rasteriser, which takes a texture coordinate's u as the row and v as the
// column of the stored picture (u scaled by the frame's width, v by its
// height) where the 3D device takes u across and v down: each picture is
// stretched to a square of its longer side (nearest texel) and stored
// transposed, so that both devices show a face the same picture. The
// frames showing it and their texture words 5 and 6 take the new size;
// the atlas is packed again. Pictures of more than one byte a texel are
// left alone.
void mtt_software_layout(MttLibrary& library);

// The bytes of an ".MTT"/".MTP" file as the game's reader expects
// (docs/engine-model.md): header, directory, the materials (chunk,
// 176-byte record, texture record, frames of 108 bytes whose hashes are
// name_hash of their names), then the data area: the "PICL" list, padded so
// that the "PLTL" list starts S bytes after the "PICL" header, then the
// pictures and palettes. `marks` receives the start of every record.
std::vector<std::uint8_t> mtt_bytes(const MttLibrary& library, std::vector<std::size_t>* marks = nullptr);
bool write_mtt(const std::filesystem::path& path, const MttLibrary& library, std::string& error);

// A material with a texture of the given frames (pictures named).
mtt_material mtt_make_material(const char* name, std::vector<std::string> frames, std::uint32_t pixel_type,
                               std::int32_t width, std::int32_t height, std::uint32_t animation = 0);

// Fills the texture record's words the mesh drawing reads: the phase (word
// 2, the material set: 0 until an instance sets one), the texture's size
// (5, 6), unit repeats (7, 8; zero origins 9, 10, for patches) and the
// material's ambient and diffuse coefficients (12, 13).
void mtt_set_drawing_words(mtt_material& material, std::int32_t width, std::int32_t height, float ambient,
                           float diffuse);

} // namespace datakit
