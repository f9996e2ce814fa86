#include <algorithm>

#include "app/bounded_text.h"
#include "app/mixer.h"
#include "app/text_compare.h"

ArchivePath SplitArchivePath(std::string_view path_in)
{
    // Paths are written with '\'; a '/' is taken as the same separator.
    std::string path(path_in);
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string_view rest = path;
    if (rest.size() >= 2 && rest[0] == '.' && rest[1] == '\\')
        rest.remove_prefix(2);

    ArchivePath result;
    const std::size_t last = rest.rfind('\\');
    if (last == std::string_view::npos) {
        result.archive = "menu.mix";
        result.entry = std::string(rest);
        return result;
    }
    result.entry = std::string(rest.substr(last + 1));
    rest = rest.substr(0, last);

    // The archive of a folder lies under the folder's root, named after the
    // folder itself.
    struct Root {
        std::string_view match;
        std::string_view prefix;
    };
    static constexpr Root roots[] = {
        {"gfx", "gfx\\"},         {"data", "data\\"},       {"Sfx", "sfx\\"},
        {".\\Menu", ".\\menu\\"}, {"..\\Sfx", "..\\sfx\\"}, {".\\Gfx", ".\\Gfx\\"},
    };
    for (const Root& root : roots) {
        if (StartsWithIgnoringCase(rest, root.match)) {
            result.archive = root.prefix;
            break;
        }
    }
    const std::size_t folder_start = rest.rfind('\\');
    const std::string_view folder = folder_start == std::string_view::npos ? rest : rest.substr(folder_start + 1);
    result.archive += folder.substr(0, 8);
    result.archive += ".mix";
    return result;
}

void SplitArchivePath(const char* path, char* archive, char* entry)
{
    const ArchivePath split = SplitArchivePath(std::string_view(path ? path : ""));
    CopyBounded(archive, kArchivePathCapacity, split.archive);
    CopyBounded(entry, kArchivePathCapacity, split.entry);
}
