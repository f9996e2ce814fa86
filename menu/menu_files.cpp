#include "menu/menu_files.h"

#include <string>

#include "app/mixer.h"
#include "platform/path_resolver.h"

bool MenuFileOnDisk(std::string_view path)
{
    return platform::resolve_existing(path).has_value();
}

bool MenuFileInArchive(std::string_view path)
{
    const ArchivePath where = SplitArchivePath(path);
    mixer archive;
    if (archive.open_plain(where.archive.c_str(), "rb") != 0)
        return false;
    const bool found = archive.find_entry_plain(where.entry.c_str()) == 0;
    archive.close();
    return found;
}

bool MenuFileExists(std::string_view path)
{
    return MenuFileOnDisk(path) || MenuFileInArchive(path);
}
