// Seeds of mtt_fuzz: a library of 16-bit and 8-bit materials with shared
// pictures, an animated texture, a palette, and an empty library.
#include "engine/base/name_hash.h"
#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/mtt_writer.h"

TORVANE_FUZZ_SEEDS(mtt)
{
    datakit::MttLibrary lib;
    lib.materials.push_back(datakit::mtt_make_material("WALL", {"STONE"}, 4, 16, 8));
    lib.materials.push_back(datakit::mtt_make_material("FLOOR", {"STONE"}, 4, 16, 8));
    lib.materials.push_back(datakit::mtt_make_material("FIRE", {"F1", "F2"}, 9, 8, 8, 10));
    for (const char* name : {"STONE", "F1", "F2"}) {
        datakit::MttPicture p;
        p.name = name;
        p.width = name[0] == 'S' ? 16 : 8;
        p.height = 8;
        p.pixel_bytes = 1;
        p.pixels.assign(std::size_t(p.width) * 8, 0xE5);
        lib.pictures.push_back(p);
    }
    lib.palettes.resize(1);
    datakit::mtt_pack_atlas(lib);
    seeds.push_back({"lib.mtt", datakit::mtt_bytes(lib)});
    seeds.push_back({"empty.mtt", datakit::mtt_bytes({})});
}
