// Fuzz target: the input is an ".MTT"/".MTP" material library. Its header,
// directory and data area are read, then every material it names (at most
// 16) is loaded into a library's software atlas and, separately, into
// memory surfaces, once for every frame number its materials hold (a
// texture that keeps one frame keeps that one), and everything is
// released. Nothing may crash, overrun or hang.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/engine.h"
#include "engine/model/mtr_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every frame number a material of the file holds (a texture of
    // animation type 10 keeps that frame alone), and one past the last;
    // frame 0's load tells how many there are (at most 64 are tried).
    for (int kind : {material_kind_atlas, material_kind_surface}) {
        int frames = 1;
        for (int frame = 0; frame <= frames; ++frame) {
            mtr_lib lib("fuzz");
            lib.file.assign(data, data + size);
            if (mtt_read_library(lib.file, lib.contents) != mtt_status::ok)
                return 0;
            for (std::size_t i = 0; i < lib.contents.directory.size() && i < 16; ++i) {
                mesh_material* added = nullptr;
                if (lib.try_add_material(lib.contents.directory[i].name.c_str(), kind, frame, 0, &added) !=
                        mtt_status::ok ||
                    frame != 0 || !added || !added->texture)
                    continue;
                // The stored count (a texture keeping one frame holds one).
                const mesh_texture& t = *added->texture;
                const std::uint32_t held = std::max(t.words[0], static_cast<std::uint32_t>(std::max(t.frame_count, 0)));
                frames = std::max(frames, static_cast<int>(std::min<std::uint32_t>(held, 64)));
            }
        }
    }
    return 0;
}
