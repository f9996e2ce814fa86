#include "menu/menu_files.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

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

bool CurrentFolder(std::string& folder)
{
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (error)
        return false;
    folder = here.string();
    return true;
}

bool EnterFolder(std::string_view folder)
{
    std::string native(folder);
    if (const std::optional<std::string> resolved = platform::resolve_existing(folder))
        native = *resolved;
    std::error_code error;
    std::filesystem::current_path(native, error);
    if (error)
        return false;
    platform::invalidate_path_cache();
    return true;
}
