#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Directory listings for the path resolver: reading a folder, matching names
// without regard to ASCII case, '*' and '?' wildcards, and a cache of
// listings that notices when a folder changes.
namespace platform {

enum class EntryKind : std::uint8_t { File, Directory, Other };

struct DirectoryEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};

// ASCII case folding: 'A'..'Z' become 'a'..'z', every other byte is kept.
constexpr char fold_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string fold_case(std::string_view text);
bool equals_ignoring_case(std::string_view a, std::string_view b);
// <0, 0, >0 comparing folded bytes (unsigned).
int compare_ignoring_case(std::string_view a, std::string_view b);

// True when `name` matches `pattern` whole: '*' stands for any run of bytes
// (also none), '?' for exactly one byte; letters match without regard to case.
bool wildcard_match(std::string_view pattern, std::string_view name);

// Reads a folder's entries (without "." and ".."), sorted by byte order of
// the names. Symbolic links are described by what they point to. False when
// the folder cannot be read.
bool read_directory(const std::string& native_dir, std::vector<DirectoryEntry>& out);

// The state of a folder that tells whether a listing taken of it is still
// current: identity and change times, and when the listing was taken.
struct DirectoryStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;
    bool same_folder_state(const DirectoryStamp& other) const
    {
        return device == other.device && inode == other.inode && modified_ns == other.modified_ns &&
               changed_ns == other.changed_ns;
    }
};

// Listings of folders by absolute native path. Each lookup first compares the
// folder's change time with the one seen when it was listed and lists it
// again when it moved. A file created within the same tick of the file
// system's clock leaves the time unchanged, so a lookup that finds nothing
// lists the folder once more before answering, unless the listing was taken
// well after the folder's last change (then any later change would have
// moved the time). Safe to use from several threads.
class DirectoryCache {
public:
    // The name of the entry of `absolute_dir` that equals `name` without
    // regard to case: the exact match when there is one, else the first such
    // name in byte order. Nothing when the folder has no such entry or cannot
    // be read.
    std::optional<DirectoryEntry> find(const std::string& absolute_dir, std::string_view name);

    // A current listing of the folder (listed afresh unless the cached one is
    // known to be current); false when it cannot be read.
    bool entries(const std::string& absolute_dir, std::vector<DirectoryEntry>& out);

    void clear();

    // Test seam: makes the cached listing of the folder (when there is one)
    // look current for the folder's present state, as if every change since
    // it was taken had left the folder's times alone (a change within the
    // same clock tick). `listed_at_ns`, when not 0, replaces the time the
    // listing was taken (CLOCK_REALTIME nanoseconds).
    void pretend_current(const std::string& absolute_dir, std::int64_t listed_at_ns = 0);

    // Number of times a folder was read from disk (for tests and benchmarks).
    std::uint64_t listings_read() const;

    static DirectoryCache& instance();

private:
    struct Listing {
        DirectoryStamp stamp;
        std::int64_t listed_at_ns = 0;
        std::vector<DirectoryEntry> entries;     // byte order of names
        std::vector<std::uint32_t> by_folded;    // indices, ordered by folded name then byte order
        std::vector<std::string> folded;         // folded names, same indexing as entries
    };

    // Lists the folder into `listing`; false when it cannot be read.
    bool refresh(const std::string& absolute_dir, Listing& listing);
    // The cached listing when its folder is unchanged; else a fresh one
    // (`fresh` set), or null when the folder cannot be read. Caller holds
    // mutex_.
    Listing* current(const std::string& absolute_dir, bool& fresh);
    static bool settled(const Listing& listing);
    static std::optional<DirectoryEntry> lookup(const Listing& listing, std::string_view name);

    mutable std::mutex mutex_;
    std::unordered_map<std::string, Listing> listings_;
    std::uint64_t listings_read_ = 0;
};

} // namespace platform
