#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace datakit {

// Line ends of a written text file. The game's files were made on a system
// whose text files end lines in CR LF; the readers take both.
enum class LineEnd { CrLf, Lf };

// Collects the lines of a text data file and writes it atomically. The
// writers of the word, form and typed-list formats build on it.
class TextFileBuilder {
public:
    explicit TextFileBuilder(LineEnd line_end = LineEnd::CrLf) : line_end_(line_end) {}

    // One line, as given (no line end).
    void add_line(std::string line) { lines_.push_back(std::move(line)); }

    // Text added as is, joined to the current end of the file without a line
    // end (for damaged files: a last line without its end, a cut-off word).
    void add_raw(std::string_view text) { tail_ += text; }

    // The whole file: every line followed by the line end, then the raw tail.
    std::string text() const;

    // Writes text() through a temporary file renamed over `path`, creating
    // missing folders. False with `error` set on failure.
    bool write(const std::filesystem::path& path, std::string& error) const;

    void set_line_end(LineEnd line_end) { line_end_ = line_end; }

private:
    LineEnd line_end_;
    std::vector<std::string> lines_;
    std::string tail_;
};

// Number texts that read back to the very same value.
std::string format_float(float value);   // shortest "%.9g"-style text
std::string format_double(double value); // "%.17g"
std::string format_hex(std::uint32_t value); // lower-case digits, no prefix

// Throws std::invalid_argument unless `word` is one word of a text data file:
// not empty, without blanks or line ends. `kind` names the file in the message.
void require_word(std::string_view word, std::string_view kind);

// Creates a folder and the folders above it that are missing. False, with
// `error` ("cannot create ..."), on failure.
bool create_folders(const std::filesystem::path& folder, std::string& error);

// Writes `text` to `path` atomically, creating missing folders.
bool write_text_file(const std::filesystem::path& path, std::string_view text, std::string& error);

} // namespace datakit
