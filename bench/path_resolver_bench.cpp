// Cost of resolving program paths and listing folders: a race start opens a
// few hundred files, most of them first tried on disk before their archive.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/directory_listing.h"
#include "platform/path_resolver.h"

namespace fs = std::filesystem;

namespace {

// A data folder of 300 track files in a fresh temporary folder, which is the
// working folder while the benchmarks run and is removed at exit.
struct DataFolder {
    fs::path root;
    fs::path old_cwd;

    DataFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "torvane-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
        fs::create_directories(root / "data/tracks");
        for (int i = 0; i < 300; ++i)
            std::ofstream(root / "data/tracks" / ("TRACK" + std::to_string(i) + ".DAT")) << "x";
        old_cwd = fs::current_path();
        fs::current_path(root);
    }
    ~DataFolder()
    {
        std::error_code ec;
        fs::current_path(old_cwd, ec);
        fs::remove_all(root, ec);
    }
};

DataFolder& data_folder()
{
    static DataFolder folder;
    return folder;
}

// Makes the cached listing of data/tracks count as taken long after the
// folder last changed, as it is for installed game data.
void settle_tracks()
{
    const std::int64_t later = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::system_clock::now().time_since_epoch() + std::chrono::minutes(1))
                                   .count();
    platform::DirectoryCache::instance().pretend_current((fs::current_path() / "data/tracks").string(), later);
}

void BM_ResolveExactSpelling(benchmark::State& state)
{
    data_folder();
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::resolve_existing("data\\tracks\\TRACK150.DAT"));
}
BENCHMARK(BM_ResolveExactSpelling);

void BM_ResolveOtherCase(benchmark::State& state)
{
    data_folder();
    platform::resolve_existing("Data\\Tracks\\track150.dat");
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::resolve_existing("Data\\Tracks\\track150.dat"));
}
BENCHMARK(BM_ResolveOtherCase);

// A folder changed within the last seconds is listed again on every miss.
void BM_ResolveMissingInRecentlyChangedFolder(benchmark::State& state)
{
    data_folder();
    fs::last_write_time("data/tracks", fs::file_time_type::clock::now());
    platform::invalidate_path_cache();
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::resolve_existing("data\\tracks\\missing.dat"));
}
BENCHMARK(BM_ResolveMissingInRecentlyChangedFolder);

void BM_ResolveMissingInSettledFolder(benchmark::State& state)
{
    data_folder();
    platform::invalidate_path_cache();
    platform::resolve_existing("data\\tracks\\missing.dat");
    settle_tracks();
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::resolve_existing("data\\tracks\\missing.dat"));
}
BENCHMARK(BM_ResolveMissingInSettledFolder);

void BM_ListFilesByName(benchmark::State& state)
{
    data_folder();
    platform::list_files("data\\tracks\\*.dat", platform::ListOrder::ByName);
    settle_tracks();
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::list_files("data\\tracks\\track1*.dat", platform::ListOrder::ByName));
}
BENCHMARK(BM_ListFilesByName);

} // namespace
