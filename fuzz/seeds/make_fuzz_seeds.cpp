// Writes the seed inputs of every fuzz target: make_fuzz_seeds <folder>
// gives <folder>/<target>/<seed files>.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fuzz/seeds/seed_registry.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <folder>\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const auto* target = fuzz_seeds::seed_targets(); target; target = target->next) {
        std::vector<fuzz_seeds::Seed> seeds;
        target->writer(seeds);
        const auto folder = root / target->name;
        std::filesystem::create_directories(folder);
        for (const auto& seed : seeds) {
            std::ofstream out(folder / seed.file_name, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
            if (!out) {
                std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", (folder / seed.file_name).c_str());
                return 1;
            }
        }
        std::printf("%s: %zu seeds in %s\n", target->name, seeds.size(), folder.c_str());
    }
    return 0;
}
