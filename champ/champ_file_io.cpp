#include "champ/champ_file_io.h"

#include "platform/atomic_file.h"
#include "platform/fault_seam.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"

namespace {

// The folder part of a program path ("" when there is none).
std::string_view FolderOf(std::string_view path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
}

} // namespace

bool SaveWholeFile(std::string_view programPath, const std::vector<std::uint8_t>& bytes, std::string& error)
{
    const std::string_view folder = FolderOf(programPath);
    if (!folder.empty() && folder != "." && !platform::resolve_existing(folder))
        platform::make_directory(folder);  // a failure shows in the write below
    const platform::Fault interrupt = platform::Fault::FileOpen;
    const std::string native = platform::resolve_for_create(programPath);
    if (!platform::write_file_atomic(native, bytes, &error, &interrupt))
        return false;
    platform::invalidate_path_cache();
    return true;
}

LoadOutcome LoadWholeFile(std::string_view programPath, std::vector<std::uint8_t>& bytes, std::string& error)
{
    bytes.clear();
    if (!platform::file_exists(programPath)) {
        error = "no such file";
        return LoadOutcome::Missing;
    }
    if (!platform::read_whole_file(programPath, bytes, &error))
        return LoadOutcome::Failed;
    return LoadOutcome::Loaded;
}

void ReportRefusedFile(std::string_view programPath, std::string_view what, std::string_view reason)
{
    std::string text(programPath);
    text += ": ";
    text += what;
    text += " (";
    text += reason;
    text += "). The file was not used and is kept as it is.";
    platform::message_box(text, "Error", platform::MB_ICONEXCLAMATION);
}
