#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every path the program names goes through here. Program paths are written
// the way the game writes them ("Data\Tracks\%s.dat", ".\menu\save\",
// "gfx\Loading\"): either separator, "." and ".." components, and letters in
// any case. The resolver turns them into native paths:
//
// - '\' and '/' both separate components; repeated separators count as one.
// - "." is dropped and ".." removes the component before it, by the text of
//   the path alone (a ".." at the start of a relative path stays, one at the
//   root of an absolute path is dropped).
// - A path beginning with a separator is absolute; any other is relative to
//   the current working folder, and its native path stays relative.
// - Each component is matched against the folder's real entries without
//   regard to ASCII case. When several entries differ only by case, the one
//   spelled exactly as asked wins, else the first in byte order.
// - A path ending with a separator (or in "." or "..") names a folder.
// - A path ends at its first 0 byte, as a C string does.
//
// Folder listings are cached; a cached listing is checked against the
// folder's change time on every use, and a lookup that finds nothing lists
// the folder again before answering unless the listing is known to be
// current, so files created a moment ago are found.
namespace platform {

// The native path of the existing file or folder the program path names, or
// nothing when there is none (an empty path names nothing).
std::optional<std::string> resolve_existing(std::string_view program_path);

// The native path at which to create the file or folder the program path
// names: leading components that exist are matched as resolve_existing
// matches them, the rest are kept as written. So "menu\save\x.chp" lands in
// an existing "Menu/Save" folder, and an existing "X.CHP" there is the one
// replaced.
std::string resolve_for_create(std::string_view program_path);

// Forgets every cached folder listing.
void invalidate_path_cache();

// The program path with '\' turned into '/' and "." and ".." taken out, as
// described above, without looking at the disk. A trailing separator is kept.
std::string normalize_program_path(std::string_view program_path);

enum class ListOrder {
    Unsorted,             // the order of the folder's listing (byte order of names)
    ByName,               // by name without regard to case, A to Z
    ByNameDescending,     // by name without regard to case, Z to A
    ByModificationTime,   // newest first; equal times by name
};

// The names (not paths) of the files, not folders, in a folder that match a
// pattern such as "replay\*.rpl", ".\menu\save\*.chp" or "gfx\Loading\load*.pcx":
// the folder part is resolved like any path (no wildcards there), the last
// component is the pattern, where '*' and '?' are wildcards and letters
// match without regard to case. A missing folder gives an empty list.
std::vector<std::string> list_files(std::string_view program_pattern, ListOrder order = ListOrder::ByName);

} // namespace platform
