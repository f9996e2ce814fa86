// Seeds of rpl_fuzz: replay files of a race without players, with one and
// with several, and one with a record of each time step it may hold.
#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/replay_writer.h"

TORVANE_FUZZ_SEEDS(rpl)
{
    datakit::ReplayFileWriter attract;
    attract.humans = 0;
    attract.riders = 8;
    attract.steps = {0.016f, 0.017f};
    seeds.push_back({"attract.rpl", attract.build()});

    datakit::ReplayFileWriter one;
    for (int i = 0; i < 50; ++i)
        one.steps.push_back(1.0f / 60.0f);
    one.length = 50.0f / 60.0f;
    seeds.push_back({"one.rpl", one.build()});

    datakit::ReplayFileWriter four;
    four.riders = 32;
    four.humans = 4;
    four.track = "Island";
    four.session = 6;
    four.steps = {1.0f, 0.5f, 1e-6f};
    seeds.push_back({"four.rpl", four.build()});
}
