// Fuzz target: the input is an archive file. Every entry named in its
// directory is opened in binary and text mode and read in every way the
// game reads entries (pieces, lines, words, seeks, whole loads); the input
// is also decoded as a bare LZW stream. Nothing may crash, overrun or hang.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/lzw_decoder.h"
#include "app/mix_directory.h"
#include "app/mixer.h"

namespace {

const std::string& archive_path()
{
    static const std::string path = [] {
        // One folder per process, so parallel fuzzing jobs do not share it.
        const auto dir = std::filesystem::temp_directory_path() /
                         ("torvane_archive_fuzz_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir);
        static const std::filesystem::path folder = dir;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
        return (dir / "fuzz.mix").string();
    }();
    return path;
}

void decode_bare(const std::uint8_t* data, std::size_t size)
{
    LzwMemorySource source(data, size);
    LzwDecoder decoder;
    std::vector<std::uint8_t> out(4096);
    const std::uint32_t piece = 1 + static_cast<std::uint32_t>(size % 61);
    std::size_t total = 0;
    while (total < (1u << 20)) {
        const std::uint32_t got = decoder.Decode(out.data(), static_cast<std::int32_t>(size), piece, source);
        if (got > piece)
            __builtin_trap();
        total += got;
        if (got < piece)
            break;
    }
}

std::vector<std::string> entry_names(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> names;
    if (size < 4)
        return names;
    const std::uint32_t d = data[size - 4] | (data[size - 3] << 8) | (data[size - 2] << 16) |
                            (std::uint32_t{data[size - 1]} << 24);
    if (!MixDirectorySizeValid(d, static_cast<std::int64_t>(size)))
        return names;
    const std::size_t start = size - 4 - d;
    for (std::size_t at = start; at + 32 <= size - 4 && names.size() < 8; at += 32) {
        MixDirEntry entry;
        if (!DecodeMixDirEntry(data + at, entry) || entry.name[0] == '\0')
            break;
        names.emplace_back(entry.name);
    }
    return names;
}

void read_entry(const std::string& path, const std::string& name, const char* mode, std::size_t seed)
{
    mixer m;
    if (m.open(path.c_str(), name.c_str(), mode) != 0)
        return;
    const int size = m.size();
    std::vector<std::uint8_t> buffer(512);
    const int piece = 1 + static_cast<int>(seed % 509);
    int total = 0;
    for (int guard = 0; guard < 100000; ++guard) {
        const int got = m.read(buffer.data(), piece);
        if (got < 0 || got > piece)
            __builtin_trap();
        total += got;
        if (got < piece)
            break;
    }
    if (total > size)
        __builtin_trap();
    char text[256];
    for (int mode_of_read : {0, 1}) {
        m.seekfile(static_cast<int>(seed % 7), 0);
        for (int guard = 0; guard < 100000 && m.gets(text, mode_of_read) == 0; ++guard) {
        }
    }
    m.seekfile(size / 2, 0);
    m.read(buffer.data(), 100);
    m.seekfile(-3, 1);
    m.gets(text, 1);
    m.seekfile(-1, 2);
    m.read(buffer.data(), 10);
    m.close();

    std::vector<std::uint8_t> whole;
    if (m.load(path.c_str(), name.c_str(), whole) == 0 && whole.size() != static_cast<std::size_t>(size))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    decode_bare(data, size);

    const std::string& path = archive_path();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    mixer plain;
    if (plain.open_plain(path.c_str(), "rb") == 0)
        plain.find_entry_plain("a.txt");
    plain.close();

    for (const std::string& name : entry_names(data, size)) {
        read_entry(path, name, "rb", size);
        read_entry(path, name, "rt", size + 1);
    }
    mixer missing;
    missing.open(path.c_str(), "not there", "rb");
    return 0;
}
