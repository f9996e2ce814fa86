// Speed of the archive layer: LZW decoding (bytes of output per second) and
// opening one entry of a large archive (the directory is scanned on every
// open, from the archive's end).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/lzw_decoder.h"
#include "app/mixer.h"
#include "tools/datakit/lzw_encoder.h"
#include "tools/datakit/mix_writer.h"

namespace {

std::vector<std::uint8_t> sample_text(std::size_t size)
{
    std::vector<std::uint8_t> out;
    unsigned x = 1;
    while (out.size() < size) {
        x = x * 1103515245u + 12345u;
        const std::string line = "BIKE_" + std::to_string((x >> 16) % 97) + " f" + std::to_string((x >> 8) % 1000) +
                                 ".25 i" + std::to_string(x % 50) + " sRider\r\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> sample_noise(std::size_t size)
{
    std::vector<std::uint8_t> out(size);
    unsigned x = 7;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

void decode_all(benchmark::State& state, const std::vector<std::uint8_t>& plain, std::uint32_t piece)
{
    const std::vector<std::uint8_t> packed = datakit::lzw_encode(plain);
    std::vector<std::uint8_t> out(plain.size() + 1);
    for (auto _ : state) {
        LzwMemorySource source(packed.data(), packed.size());
        LzwDecoder decoder;
        std::size_t total = 0;
        while (total < plain.size()) {
            const std::uint32_t got = decoder.Decode(out.data() + total, static_cast<std::int32_t>(packed.size()),
                                                     piece, source);
            total += got;
            if (got < piece)
                break;
        }
        benchmark::DoNotOptimize(out.data());
        if (total != plain.size())
            state.SkipWithError("decoded size differs");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(plain.size()));
}

void BM_LzwDecodeText(benchmark::State& state)
{
    static const auto plain = sample_text(1 << 20);
    decode_all(state, plain, static_cast<std::uint32_t>(state.range(0)));
}
BENCHMARK(BM_LzwDecodeText)->Arg(1 << 21)->Arg(4096)->Arg(7);

void BM_LzwDecodeNoise(benchmark::State& state)
{
    static const auto plain = sample_noise(1 << 20);
    decode_all(state, plain, 1 << 21);
}
BENCHMARK(BM_LzwDecodeNoise);

// An archive of 1000 small entries in a temporary folder.
class BigArchive {
public:
    BigArchive()
    {
        dir_ = std::filesystem::temp_directory_path() / ("torvane_archive_bench_" + std::to_string(std::rand()));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "big.mix").string();
        datakit::MixWriter writer;
        for (int i = 0; i < 1000; ++i)
            writer.add("entry" + std::to_string(i) + ".dat", sample_text(200 + i % 50),
                       i % 2 ? datakit::MixStorage::Compressed : datakit::MixStorage::Plain, false);
        std::string error;
        if (!writer.write(path_, error))
            std::fprintf(stderr, "archive_bench: %s\n", error.c_str());
    }
    ~BigArchive()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::filesystem::path dir_;
    std::string path_;
};

void BM_OpenEntryOf1000(benchmark::State& state)
{
    static BigArchive archive;
    const std::string name = "entry" + std::to_string(state.range(0)) + ".dat";
    const char* mode = state.range(1) ? "rt" : "rb";
    mixer m;
    for (auto _ : state) {
        if (m.open(archive.path().c_str(), name.c_str(), mode) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        char first[16];
        benchmark::DoNotOptimize(m.read(first, sizeof first));
        m.close();
    }
}
// First entry in the directory, the last one, and a compressed text entry
// decoded whole at open.
BENCHMARK(BM_OpenEntryOf1000)->Args({0, 0})->Args({999, 0})->Args({999, 1});

} // namespace
