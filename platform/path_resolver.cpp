#include "platform/path_resolver.h"

#include <algorithm>
#include <cstdint>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/directory_listing.h"

namespace platform {
namespace {

// A program path is a C string: it ends at its first 0 byte.
std::string_view up_to_nul(std::string_view path)
{
    return path.substr(0, path.find('\0'));
}

bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

// A program path taken apart: its components after "." and ".." were dealt
// with, whether it starts at the root, and whether it names a folder.
struct ParsedPath {
    bool absolute = false;
    bool names_folder = false;
    std::vector<std::string> parts;
};

ParsedPath parse(std::string_view path)
{
    ParsedPath parsed;
    parsed.absolute = !path.empty() && is_separator(path.front());
    std::string_view last;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = i;
        while (j < path.size() && !is_separator(path[j]))
            ++j;
        const std::string_view part = path.substr(i, j - i);
        last = part;
        i = j + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parsed.parts.empty() && parsed.parts.back() != "..")
                parsed.parts.pop_back();
            else if (!parsed.absolute)
                parsed.parts.emplace_back("..");
            continue;
        }
        parsed.parts.emplace_back(part);
    }
    parsed.names_folder = !path.empty() && (last.empty() || last == "." || last == "..");
    return parsed;
}

void append_component(std::string& path, std::string_view name)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
}

std::string joined(const ParsedPath& parsed)
{
    std::string path = parsed.absolute ? "/" : "";
    for (const auto& part : parsed.parts)
        append_component(path, part);
    return path;
}

// "" stands for the working folder while a relative path is being built.
const char* for_system(const std::string& native)
{
    return native.empty() ? "." : native.c_str();
}

bool exists(const std::string& native, bool* is_folder = nullptr)
{
    struct stat st {};
    if (::stat(for_system(native), &st) != 0)
        return false;
    if (is_folder)
        *is_folder = S_ISDIR(st.st_mode);
    return true;
}

// The absolute form of a native folder path made by the resolver (relative
// ones hold only leading ".." and real names), the key of the listing cache.
std::optional<std::string> absolute_folder(const std::string& native)
{
    if (!native.empty() && native.front() == '/')
        return native;
    char buf[4096];
    if (!::getcwd(buf, sizeof buf))
        return std::nullopt;
    std::string base = buf;
    std::size_t i = 0;
    while (i < native.size()) {
        std::size_t j = native.find('/', i);
        if (j == std::string::npos)
            j = native.size();
        const std::string_view part = std::string_view(native).substr(i, j - i);
        i = j + 1;
        if (part == "..") {
            const std::size_t cut = base.rfind('/');
            base.erase(cut == 0 ? 1 : cut);
        } else if (!part.empty() && part != ".") {
            append_component(base, part);
        }
    }
    return base;
}

// Walks the components, matching each one against its folder. With
// `for_create`, the first missing component and everything after it are kept
// as written; otherwise a missing component means there is nothing.
std::optional<std::string> resolve(std::string_view program_path, bool for_create)
{
    program_path = up_to_nul(program_path);
    if (program_path.empty())
        return for_create ? std::optional<std::string>("") : std::nullopt;
    const ParsedPath parsed = parse(program_path);

    // Most paths are spelled the way they are on disk: one look settles them.
    std::string exact = joined(parsed);
    bool is_folder = false;
    if (exists(exact, &is_folder) && (is_folder || !parsed.names_folder))
        return exact.empty() ? "." : exact;

    std::string current = parsed.absolute ? "/" : "";
    for (std::size_t i = 0; i < parsed.parts.size(); ++i) {
        const std::string& part = parsed.parts[i];
        std::string candidate = current;
        append_component(candidate, part);
        if (part == ".." || exists(candidate)) {
            current = std::move(candidate);
            continue;
        }
        std::optional<DirectoryEntry> match;
        if (const auto folder = absolute_folder(current))
            match = DirectoryCache::instance().find(*folder, part);
        if (match) {
            append_component(current, match->name);
            continue;
        }
        if (!for_create)
            return std::nullopt;
        for (; i < parsed.parts.size(); ++i)
            append_component(current, parsed.parts[i]);
        return current;
    }
    if (!for_create && parsed.names_folder && !(exists(current, &is_folder) && is_folder))
        return std::nullopt;
    return current.empty() ? "." : current;
}

struct ListedFile {
    std::string name;
    std::int64_t modified_ns = 0;
};

bool by_name(const ListedFile& a, const ListedFile& b)
{
    const int c = compare_ignoring_case(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
}

} // namespace

std::optional<std::string> resolve_existing(std::string_view program_path)
{
    return resolve(program_path, false);
}

std::string resolve_for_create(std::string_view program_path)
{
    return *resolve(program_path, true);
}

void invalidate_path_cache()
{
    DirectoryCache::instance().clear();
}

std::string normalize_program_path(std::string_view program_path)
{
    program_path = up_to_nul(program_path);
    if (program_path.empty())
        return {};
    const ParsedPath parsed = parse(program_path);
    std::string path = joined(parsed);
    if (path.empty())
        return ".";
    if (parsed.names_folder && path.back() != '/')
        path += '/';
    return path;
}

std::vector<std::string> list_files(std::string_view program_pattern, ListOrder order)
{
    program_pattern = up_to_nul(program_pattern);
    std::size_t cut = program_pattern.size();
    while (cut > 0 && !is_separator(program_pattern[cut - 1]))
        --cut;
    const std::string_view name_pattern = program_pattern.substr(cut);
    if (name_pattern.empty())
        return {};
    // The folder part keeps its separator, so it must name a folder.
    const std::string_view folder_part = cut == 0 ? std::string_view("./") : program_pattern.substr(0, cut);
    const auto folder = resolve_existing(folder_part);
    if (!folder)
        return {};
    const auto absolute = absolute_folder(*folder);
    std::vector<DirectoryEntry> entries;
    if (!absolute || !DirectoryCache::instance().entries(*absolute, entries))
        return {};

    std::vector<ListedFile> files;
    for (auto& e : entries) {
        if (e.kind != EntryKind::File || !wildcard_match(name_pattern, e.name))
            continue;
        ListedFile f;
        f.name = std::move(e.name);
        if (order == ListOrder::ByModificationTime) {
            std::string path = *absolute;
            append_component(path, f.name);
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0)
                continue;   // removed since the folder was listed
            f.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        }
        files.push_back(std::move(f));
    }

    switch (order) {
    case ListOrder::Unsorted: break;
    case ListOrder::ByName: std::sort(files.begin(), files.end(), by_name); break;
    case ListOrder::ByNameDescending:
        std::sort(files.begin(), files.end(), [](const ListedFile& a, const ListedFile& b) { return by_name(b, a); });
        break;
    case ListOrder::ByModificationTime:
        std::sort(files.begin(), files.end(), [](const ListedFile& a, const ListedFile& b) {
            return a.modified_ns != b.modified_ns ? a.modified_ns > b.modified_ns : by_name(a, b);
        });
        break;
    }
    std::vector<std::string> names;
    names.reserve(files.size());
    for (auto& f : files)
        names.push_back(std::move(f.name));
    return names;
}

} // namespace platform
