#include "tools/datakit/text_file_builder.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "platform/atomic_file.h"

namespace datakit {

std::string TextFileBuilder::text() const
{
    const char* end = line_end_ == LineEnd::CrLf ? "\r\n" : "\n";
    std::string out;
    for (const std::string& line : lines_) {
        out += line;
        out += end;
    }
    out += tail_;
    return out;
}

bool TextFileBuilder::write(const std::filesystem::path& path, std::string& error) const
{
    return write_text_file(path, text(), error);
}

std::string format_float(float value)
{
    // The shortest of %.6g .. %.9g that reads back to the same float.
    char text[64];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) {
            break;
        }
    }
    return text;
}

std::string format_double(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string format_hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

void require_word(std::string_view word, std::string_view kind)
{
    if (word.empty() || word.find_first_of(" \t\r\n") != std::string_view::npos) {
        throw std::invalid_argument("a word of " + std::string(kind) + " is not empty and holds no blanks: \"" +
                                    std::string(word) + "\"");
    }
}

bool create_folders(const std::filesystem::path& folder, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create \"" + folder.string() + "\": " + ec.message();
        return false;
    }
    return true;
}

bool write_text_file(const std::filesystem::path& path, std::string_view text, std::string& error)
{
    if (path.has_parent_path() && !create_folders(path.parent_path(), error))
        return false;
    return platform::write_file_atomic(path.string(), text.data(), text.size(), &error);
}

} // namespace datakit
