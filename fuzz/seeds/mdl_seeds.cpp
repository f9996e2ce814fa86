// Seeds of mdl_fuzz: the demo models (meshes, a skinned bone chain, a
// detail level) and a library without models.
#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/mdl_writer.h"

TORVANE_FUZZ_SEEDS(mdl)
{
    seeds.push_back({"demo.mdl", datakit::mdl_bytes(datakit::demo_bike_mdl())});
    seeds.push_back({"empty.mdl", datakit::mdl_bytes({})});
}
