#include "champ/save_slots.h"

#include <cstdio>

#include "champ/champ_file_io.h"
#include "champ/championship.h"
#include "platform/file.h"
#include "platform/path_resolver.h"

namespace {

// The new-name search gives up after this many taken names.
constexpr int kMaxSaveNumber = 100000;

} // namespace

std::string MakeSavePath(const char* name)
{
    return std::string(kSaveFolder) + (name ? name : "");
}

std::string MakeSaveSearchPattern(const char* extension)
{
    return std::string(kSaveFolder) + "*." + (extension ? extension : "");
}

int CountSaveFiles(const char* extension)
{
    return static_cast<int>(platform::list_files(MakeSaveSearchPattern(extension)).size());
}

std::string MakeNewSaveName(int index, const char* extension)
{
    if (!extension)
        extension = "";
    if (index >= 0) {
        const auto names = platform::list_files(MakeSaveSearchPattern(extension));
        return static_cast<std::size_t>(index) < names.size() ? names[static_cast<std::size_t>(index)] : std::string();
    }
    for (int n = 0; n < kMaxSaveNumber; ++n) {
        const std::string name = "f" + std::to_string(n) + "." + extension;
        platform::File file;
        if (!file.open(MakeSavePath(name.c_str()), "rb"))
            return name;
    }
    return {};
}

void CopySaveName(char (&field)[260], const char* name)
{
    CopyField(field, name, kSaveNameChars);
}

bool LoadSavedRecord(const char* name, SaveHeader& header, std::string* error)
{
    std::string why;
    std::vector<std::uint8_t> bytes;
    const bool ok = LoadWholeFile(MakeSavePath(name), bytes, why) == LoadOutcome::Loaded &&
                    ParseSaveHeader(bytes, header, why);
    if (!ok && error)
        *error = why;
    return ok;
}
