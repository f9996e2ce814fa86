#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace datakit {

// How an entry's bytes are stored in a ".mix" archive.
enum class MixStorage {
    Plain,       // as they are
    Compressed,  // LZW code stream (flag bit 1)
    Smaller,     // compressed when that is smaller, else plain
};

// Writes ".mix" archives: the entries' data one after another from offset 0,
// then the directory of 32-byte entries (name scrambled with 0xD3, offset,
// packed size, size, flags), then the directory's size as the last 4 bytes.
// Text entries carry flag bit 0 (decoded whole into memory when opened).
class MixWriter {
public:
    // false (and `error`) for a name that is empty, longer than 15
    // characters or holds a zero byte.
    bool add(std::string_view name, std::vector<std::uint8_t> bytes, MixStorage storage, bool text,
             std::string* error = nullptr);
    bool add_text(std::string_view name, std::string_view text, MixStorage storage,
                  std::string* error = nullptr);

    // The archive's bytes.
    std::vector<std::uint8_t> build() const;

    // Writes the archive to a native path (atomically).
    bool write(const std::filesystem::path& native_path, std::string& error) const;

    std::size_t entry_count() const { return entries_.size(); }

private:
    struct Entry {
        std::string name;
        std::vector<std::uint8_t> stored;
        std::uint32_t size = 0;
        std::uint32_t flags = 0;
    };
    std::vector<Entry> entries_;
};

// True when the bytes look like text: no zero bytes and no control
// characters other than tab, line feed, carriage return and 0x1A.
bool looks_like_text(const std::vector<std::uint8_t>& bytes);

// The program path of the archive in which the game looks for the files of
// a folder, for a folder given as the game names it ("Data\Tracks",
// "gfx\Loading", "menu"): the folder's root ("gfx\", "data\", "sfx\") when it
// has one, then its last component cut to 8 characters, then ".mix".
std::string mix_archive_for_folder(std::string_view folder_program_path);

// Packs the regular files of one folder (not its sub-folders, not ".mix"
// files, not files whose name begins with '.') into an archive, entries in
// order of name; text files get flag bit 0. A name longer than 15 characters
// cannot be stored: it fails the packing, or, when `skipped` is given, the
// file is left out and its name added there.
bool pack_folder(const std::filesystem::path& folder, const std::filesystem::path& archive,
                 MixStorage storage, std::string& error, std::vector<std::string>* skipped = nullptr);

// Packs every folder below `root` that holds files into the archive the game
// looks in for them (mix_archive_for_folder: "Data\Tracks" into
// "Data\Tracks.mix", "Data" into "Data\Data.mix", "menu" and "menu\3d" into
// "menu.mix" and "3d.mix" at the root). The plain files stay where they are.
// Two folders whose files the game would look for in the same archive fail
// the packing.
bool pack_demo_archives(const std::filesystem::path& root, std::string& error);

} // namespace datakit
