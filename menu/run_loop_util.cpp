// Small services of the menu run loop: the formatted message box, owned
// string arrays and free save-file names (video playback is with the
// picture box's videos, menu/picture_box_video.cpp).
#include <cstdarg>
#include <cstdio>
#include <string>

#include "menu/run_menu.h"
#include "platform/file.h"
#include "platform/message_box.h"

namespace {

// The longest text a formatted message box shows.
constexpr std::size_t kMessageCapacity = 1024;

} // namespace

void MessageBoxf(const char* format, ...)
{
    char text[kMessageCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format ? format : "", args);
    va_end(args);
    platform::message_box(std::string(text) + "\r\n", "Message", platform::MB_OK);
}

StringArray::StringArray(std::int32_t count) : m_Entries(count > 0 ? static_cast<std::size_t>(count) : 0)
{
}

void StringArray::Set(std::int32_t index, const char* text)
{
    if (index < 0 || index >= Count())
        return;
    Entry& entry = m_Entries[static_cast<std::size_t>(index)];
    entry.set = text != nullptr;
    entry.text = text ? text : "";
}

const char* StringArray::Get(std::int32_t index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    const Entry& entry = m_Entries[static_cast<std::size_t>(index)];
    return entry.set ? entry.text.c_str() : nullptr;
}

void StringArray::Free()
{
    m_Entries.clear();
    m_Entries.shrink_to_fit();
}

bool NextFreeFileName(std::string& out, const char* folder, const char* base, const char* extension)
{
    const std::string in = folder ? folder : "";
    const std::string name = base ? base : "";
    const std::string ext = extension ? extension : "";
    for (std::int32_t n = 1; n <= kNextFreeFileLimit; ++n) {
        const std::string candidate = name + std::to_string(n) + "." + ext;
        platform::File file;
        if (!file.open(in + candidate, "rb")) {
            out = candidate;
            return true;
        }
    }
    return false;
}

