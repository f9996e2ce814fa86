#include "platform/resources.h"

#include "platform/fault_seam.h"
#include "platform/version.h"

namespace platform {
namespace {

struct StringResource {
    unsigned id;
    const char* text;
};

constexpr StringResource kStrings[] = {
    {IDS_APP_TITLE, "Torvane"},
};

constexpr std::uint32_t kVersionMs = (std::uint32_t(TORVANE_VERSION_MAJOR) << 16) | TORVANE_VERSION_MINOR;
constexpr std::uint32_t kVersionLs = (std::uint32_t(TORVANE_VERSION_PATCH) << 16) | TORVANE_VERSION_BUILD;

} // namespace

std::optional<std::string> load_string(unsigned id)
{
    for (const StringResource& s : kStrings) {
        if (s.id == id)
            return std::string(s.text);
    }
    return std::nullopt;
}

bool program_version(std::uint32_t& ms, std::uint32_t& ls)
{
    if (take_fault(Fault::VersionInfo))
        return false;
    ms = kVersionMs;
    ls = kVersionLs;
    return true;
}

bool program_version_block(VersionBlock& block)
{
    std::uint32_t ms = 0, ls = 0;
    if (!program_version(ms, ls))
        return false;
    block = {0xFEEF04BDu, 0x00010000u, ms, ls, ms, ls, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u};
    return true;
}

} // namespace platform
