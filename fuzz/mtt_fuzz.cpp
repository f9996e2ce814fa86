// Fuzz target: the input is an ".MTT"/".MTP" material library. Its header,
// directory and data area are read, then every material it names (at most
// 16) is loaded into a library's software atlas and, separately, into
// memory surfaces, once for each of several frame numbers (a texture that
// keeps one frame keeps that one), and everything is released. Nothing may crash, overrun
// or hang.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/engine.h"
#include "engine/model/mtr_lib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every frame an animation of type 10 may keep alone: frames 0 to 3,
    // and one past the usual counts.
    for (int kind : {material_kind_atlas, material_kind_surface})
        for (int frame : {0, 1, 2, 3, 16}) {
            mtr_lib lib("fuzz");
            lib.file.assign(data, data + size);
            if (mtt_read_library(lib.file, lib.contents) != mtt_status::ok)
                return 0;
            for (std::size_t i = 0; i < lib.contents.directory.size() && i < 16; ++i)
                lib.try_add_material(lib.contents.directory[i].name.c_str(), kind, frame, 0);
        }
    return 0;
}
