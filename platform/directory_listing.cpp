#include "platform/directory_listing.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace platform {
namespace {

// A listing taken this long after the folder's last change cannot miss a
// later change: that change would stamp the folder with a later time, even
// on file systems that keep times in whole seconds or two-second steps.
constexpr std::int64_t kSettleNs = 3'000'000'000;

// Above this many cached folders the cache starts again from empty.
constexpr std::size_t kMaxCachedFolders = 1024;

std::int64_t to_ns(const timespec& t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t now_ns()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return to_ns(t);
}

bool stamp_of(const std::string& dir, DirectoryStamp& stamp)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.modified_ns = to_ns(st.st_mtim);
    stamp.changed_ns = to_ns(st.st_ctim);
    return true;
}

EntryKind kind_of_mode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    return EntryKind::Other;
}

std::string join(const std::string& dir, std::string_view name)
{
    std::string path = dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace

std::string fold_case(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = fold_ascii(c);
    return out;
}

bool equals_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold_ascii(a[i]) != fold_ascii(b[i]))
            return false;
    return true;
}

int compare_ignoring_case(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(fold_ascii(a[i]));
        const auto cb = static_cast<unsigned char>(fold_ascii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool wildcard_match(std::string_view pattern, std::string_view name)
{
    // Greedy match that backs up to the last '*' on a mismatch; linear in
    // practice and never recursive.
    std::size_t p = 0, n = 0;
    std::size_t star = std::string_view::npos, star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            star_name = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || fold_ascii(pattern[p]) == fold_ascii(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++star_name;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool read_directory(const std::string& native_dir, std::vector<DirectoryEntry>& out)
{
    out.clear();
    DIR* dir = ::opendir(native_dir.c_str());
    if (!dir)
        return false;
    const int dir_fd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        DirectoryEntry entry;
        entry.name = std::string(name);
        switch (e->d_type) {
        case DT_REG: entry.kind = EntryKind::File; break;
        case DT_DIR: entry.kind = EntryKind::Directory; break;
        case DT_LNK:
        case DT_UNKNOWN: {
            // Links count as what they point to; a dangling link as neither.
            struct stat st {};
            entry.kind = ::fstatat(dir_fd, e->d_name, &st, 0) == 0 ? kind_of_mode(st.st_mode) : EntryKind::Other;
            break;
        }
        default: entry.kind = EntryKind::Other; break;
        }
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
}

DirectoryCache& DirectoryCache::instance()
{
    static DirectoryCache cache;
    return cache;
}

bool DirectoryCache::refresh(const std::string& absolute_dir, Listing& listing)
{
    // The time and stamp are taken before reading, so that a change made
    // while the folder is being read moves the stamp past the one kept.
    listing.listed_at_ns = now_ns();
    if (!stamp_of(absolute_dir, listing.stamp))
        return false;
    ++listings_read_;
    if (!read_directory(absolute_dir, listing.entries))
        return false;
    listing.folded.clear();
    listing.folded.reserve(listing.entries.size());
    for (const auto& e : listing.entries)
        listing.folded.push_back(fold_case(e.name));
    listing.by_folded.resize(listing.entries.size());
    for (std::uint32_t i = 0; i < listing.by_folded.size(); ++i)
        listing.by_folded[i] = i;
    // Entries are in byte order already, so a stable sort by folded name
    // keeps names that fold alike in byte order.
    std::stable_sort(listing.by_folded.begin(), listing.by_folded.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return listing.folded[a] < listing.folded[b]; });
    return true;
}

bool DirectoryCache::settled(const Listing& listing)
{
    const std::int64_t last_change = std::max(listing.stamp.modified_ns, listing.stamp.changed_ns);
    return listing.listed_at_ns - last_change > kSettleNs;
}

DirectoryCache::Listing* DirectoryCache::current(const std::string& absolute_dir, bool& fresh)
{
    fresh = false;
    DirectoryStamp now{};
    if (!stamp_of(absolute_dir, now)) {
        listings_.erase(absolute_dir);
        return nullptr;
    }
    auto it = listings_.find(absolute_dir);
    if (it != listings_.end() && it->second.stamp.same_folder_state(now))
        return &it->second;
    if (it == listings_.end()) {
        if (listings_.size() >= kMaxCachedFolders)
            listings_.clear();
        it = listings_.emplace(absolute_dir, Listing{}).first;
    }
    if (!refresh(absolute_dir, it->second)) {
        listings_.erase(it);
        return nullptr;
    }
    fresh = true;
    return &it->second;
}

std::optional<DirectoryEntry> DirectoryCache::lookup(const Listing& listing, std::string_view name)
{
    const std::string folded = fold_case(name);
    auto it = std::lower_bound(listing.by_folded.begin(), listing.by_folded.end(), folded,
                               [&](std::uint32_t i, const std::string& key) { return listing.folded[i] < key; });
    std::optional<DirectoryEntry> first;
    for (; it != listing.by_folded.end() && listing.folded[*it] == folded; ++it) {
        if (listing.entries[*it].name == name)
            return listing.entries[*it];
        if (!first)
            first = listing.entries[*it];
    }
    return first;
}

std::optional<DirectoryEntry> DirectoryCache::find(const std::string& absolute_dir, std::string_view name)
{
    std::lock_guard lock(mutex_);
    bool fresh = false;
    Listing* listing = current(absolute_dir, fresh);
    if (!listing)
        return std::nullopt;
    auto found = lookup(*listing, name);
    if (found) {
        // A file removed within the same clock tick as the listing is still
        // in it: make sure the entry is really there.
        struct stat st {};
        if (fresh || ::stat(join(absolute_dir, found->name).c_str(), &st) == 0)
            return found;
    } else if (fresh || settled(*listing)) {
        return std::nullopt;
    }
    if (!refresh(absolute_dir, *listing)) {
        listings_.erase(absolute_dir);
        return std::nullopt;
    }
    return lookup(*listing, name);
}

bool DirectoryCache::entries(const std::string& absolute_dir, std::vector<DirectoryEntry>& out)
{
    std::lock_guard lock(mutex_);
    bool fresh = false;
    Listing* listing = current(absolute_dir, fresh);
    if (!listing)
        return false;
    if (!fresh && !settled(*listing) && !refresh(absolute_dir, *listing)) {
        listings_.erase(absolute_dir);
        return false;
    }
    out = listing->entries;
    return true;
}

void DirectoryCache::clear()
{
    std::lock_guard lock(mutex_);
    listings_.clear();
}

void DirectoryCache::pretend_current(const std::string& absolute_dir, std::int64_t listed_at_ns)
{
    std::lock_guard lock(mutex_);
    auto it = listings_.find(absolute_dir);
    if (it == listings_.end() || !stamp_of(absolute_dir, it->second.stamp))
        return;
    if (listed_at_ns != 0)
        it->second.listed_at_ns = listed_at_ns;
}

std::uint64_t DirectoryCache::listings_read() const
{
    std::lock_guard lock(mutex_);
    return listings_read_;
}

} // namespace platform
