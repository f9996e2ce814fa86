#include "launcher/launcher.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/cursor.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace {

constexpr const char* kCaption = "Torvane";

int Report(const std::string& text, int status)
{
    platform::message_box(text, kCaption, platform::MB_OK | platform::MB_ICONHAND);
    return status;
}

std::string InFolder(const std::string& folder, const char* program)
{
    return (std::filesystem::path(folder) / program).string();
}

int Launch()
{
    const RecordedInstallation installation = ReadRecordedInstallation();
    if (!installation.damage.empty())
        return Report("The game's installation folder recorded in the settings (\"" + std::string(kStartpathValue) +
                          "\") is damaged: " + installation.damage + ". Install the game again.",
                      kLauncherBadStartpath);

    std::string error;
    if (installation.recorded) {
        if (!platform::start_program(InFolder(installation.folder, kGameProgram), installation.folder, error))
            return Report("Cannot start the game: " + error + ".", kLauncherCannotStart);
        return kLauncherStarted;
    }

    // No installation recorded: the installer beside the launcher.
    std::error_code ec;
    const std::string here = std::filesystem::current_path(ec).string();
    if (ec)
        return Report("Cannot start the installer: the current folder cannot be read (" + ec.message() + ").",
                      kLauncherCannotStart);
    if (!platform::start_program(InFolder(here, kInstallerProgram), here, error))
        return Report("The game is not installed, and the installer cannot start: " + error + ".",
                      kLauncherCannotStart);
    return kLauncherStarted;
}

} // namespace

RecordedInstallation ReadRecordedInstallation()
{
    RecordedInstallation out;
    const platform::RegistryKey key(kLauncherKey);
    const std::optional<platform::RegistryValue> value = key.get_value(kStartpathValue);
    if (!value)
        return out;
    out.recorded = true;
    if (value->type != platform::RegistryType::String) {
        out.damage = "it is not a text";
        return out;
    }
    const std::vector<std::uint8_t>& bytes = value->data;
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    const auto length = static_cast<std::size_t>(end - bytes.begin());
    if (length == 0)
        out.damage = "it is empty";
    else if (length >= kStartpathCapacity)
        out.damage = "it is longer than " + std::to_string(kStartpathCapacity - 1) + " characters";
    else
        out.folder.assign(bytes.begin(), end);
    return out;
}

int RunLauncher()
{
    platform::show_cursor(false);
    const int status = Launch();
    platform::show_cursor(true);
    return status;
}
