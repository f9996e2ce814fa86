// Text files: named sections of plain text that labels show as pages.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/game_error.h"
#include "app/mixer.h"
#include "menu/label.h"
#include "platform/directory_listing.h"
#include "platform/file.h"

namespace {

// The file's bytes as the text reader sees them: from disk as they are;
// from the main archive line by line (a CR LF or LF ends a line, a 0x1A
// byte ends the text), each line followed by CR LF.
bool ReadTextFile(const char* file, std::string& text)
{
    std::vector<std::uint8_t> bytes;
    if (platform::read_whole_file(file, bytes)) {
        text.assign(bytes.begin(), bytes.end());
        return true;
    }
    const ArchivePath where = SplitArchivePath(file);
    mixer archive;
    if (archive.load(where.archive.c_str(), where.entry.c_str(), bytes) != 0)
        return false;
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0x1A});
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()),
                               static_cast<std::size_t>(end - bytes.begin()));
    text.clear();
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t stop = raw.find('\n', start);
        const std::size_t next = stop == std::string_view::npos ? raw.size() : stop + 1;
        if (stop == std::string_view::npos)
            stop = raw.size();
        if (stop > start && raw[stop - 1] == '\r')
            --stop;
        text.append(raw.substr(start, stop - start));
        text += "\r\n";
        start = next;
    }
    return true;
}

bool IsWordBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Where the text after the header word "[id]" begins: the header line's
// end skipped. npos when no word of the file is the header.
std::size_t FindSectionBody(std::string_view text, std::string_view header)
{
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsWordBlank(text[at]))
            ++at;
        std::size_t end = at;
        while (end < text.size() && !IsWordBlank(text[end]))
            ++end;
        if (end > at && platform::equals_ignoring_case(text.substr(at, end - at), header)) {
            const std::size_t line_end = text.find('\n', end);
            return line_end == std::string_view::npos ? text.size() : line_end + 1;
        }
        at = end;
    }
    return std::string_view::npos;
}

} // namespace

std::string ReadTextSection(const char* file, const char* id)
{
    std::string text;
    if (!file || !ReadTextFile(file, text))
        ThrowGameError("file not found %s", file ? file : "");
    const std::string header = "[" + std::string(id ? id : "") + "]";
    const std::size_t body = FindSectionBody(text, header);
    if (body == std::string_view::npos)
        throw GameError("textID non trovato");
    std::size_t end = text.find('[', body);
    if (end == std::string::npos)
        end = text.size();
    if (end > body && text[end - 1] == '\n') {
        --end;
        if (end > body && text[end - 1] == '\r')
            --end;
    }
    return text.substr(body, end - body);
}

void Label::loadtext(const char* file, const char* id, std::string& text, std::int32_t& capacity)
{
    text = ReadTextSection(file, id);
    if (capacity == -1)
        capacity = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
    if (capacity < 0)
        capacity = 0;
    if (text.size() > static_cast<std::size_t>(capacity))
        text.resize(static_cast<std::size_t>(capacity));
}
