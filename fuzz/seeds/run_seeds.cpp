// Runs a fuzz target's inputs once each through its LLVMFuzzerTestOneInput,
// as an ordinary program built with the game's compiler:
//
//   <name>_fuzz_seeds            the seeds of fuzz/seeds/<name>_seeds.cpp
//   <name>_fuzz_seeds FILE...    the given files (a crash input found by
//                                fuzzing, replayed without clang)
//
// The test suite runs every target's seeds this way (tests/fuzz/), so a
// reader change that breaks on a seed fails at once. A target signals a
// fault by crashing (or through the sanitizers of the sanitizer build); a
// non-zero result, a target without seeds or an unreadable file fail too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/seeds/seed_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool run_one(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    std::printf("%s (%zu bytes)\n", name.c_str(), bytes.size());
    std::fflush(stdout);
    // libFuzzer hands a target a pointer it may read exactly `size` bytes
    // from; an empty input gets a valid pointer too.
    const std::vector<std::uint8_t> input = bytes;
    static const std::uint8_t none = 0;
    if (LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size()) != 0) {
        std::fprintf(stderr, "%s: the target returned non-zero\n", name.c_str());
        return false;
    }
    return true;
}

bool read_file(const char* path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    int ran = 0;
    bool ok = true;
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::vector<std::uint8_t> bytes;
            if (!read_file(argv[i], bytes)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 1;
            }
            ok = run_one(argv[i], bytes) && ok;
            ++ran;
        }
    } else {
        for (const auto* target = fuzz_seeds::seed_targets(); target; target = target->next) {
            std::vector<fuzz_seeds::Seed> seeds;
            target->writer(seeds);
            for (const auto& seed : seeds) {
                ok = run_one(std::string(target->name) + "/" + seed.file_name, seed.bytes) && ok;
                ++ran;
            }
        }
        if (ran == 0) {
            std::fprintf(stderr, "no seed inputs registered\n");
            return 1;
        }
    }
    std::printf("%d inputs ran\n", ran);
    return ok ? 0 : 1;
}
