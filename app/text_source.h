#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/mixer.h"
#include "app/text_rule.h"

namespace platform {
class File;
}

// One open text data file for the word readers: a plain file on disk, or an
// entry of a ".mix" archive when the file is not on disk. The whole text is
// held in memory, decoded by the game's one text rule (app/text_rule.h: CR LF
// becomes LF, a lone CR stays, a 0x1A byte ends the text) whatever holds it,
// so every read is bounded by the text and nothing ever runs into a
// neighbouring archive entry.
//
// Positions are offsets in the decoded text; a position taken with tell()
// is given back to seek().
class TextSource {
public:
    TextSource() = default;
    TextSource(TextSource&&) noexcept = default;
    TextSource& operator=(TextSource&&) noexcept = default;
    TextSource(const TextSource&) = delete;
    TextSource& operator=(const TextSource&) = delete;

    // Opens the program path from disk; when that fails, as an archive entry
    // (SplitArchivePath). False when neither holds it. Closes what was open.
    bool open(std::string_view path);
    bool open_file(std::string_view path);
    bool open_archive_entry(std::string_view path);

    // Takes the rest of an already open file, from where it stands; the file
    // is closed. False when it cannot be read.
    bool attach(platform::File& file);

    // Uses a text already in memory (decoded like a file's bytes).
    void attach_bytes(std::string_view bytes, bool from_archive = false);

    void close();

    bool is_open() const { return open_; }
    // True when the text came from an archive entry.
    bool from_archive() const { return from_archive_; }

    bool at_end() const { return position_ >= text_.size(); }
    // The next character (0..255) without taking it, -1 at the end.
    int peek() const { return at_end() ? -1 : static_cast<unsigned char>(text_[position_]); }
    // The next character, -1 at the end.
    int get() { return at_end() ? -1 : static_cast<unsigned char>(text_[position_++]); }

    std::int64_t tell() const { return static_cast<std::int64_t>(position_); }
    // False (position unchanged) for a position before the start or past the end.
    bool seek(std::int64_t position);
    void rewind() { position_ = 0; }
    void seek_end() { position_ = text_.size(); }
    std::int64_t size() const { return static_cast<std::int64_t>(text_.size()); }

    // The archive reader of the last archive open (its error code and the
    // name it concerns, when that open failed).
    const mixer& archive() const { return mixer_; }

private:
    void take_bytes(std::string_view bytes, bool from_archive);

    std::string text_;
    std::size_t position_ = 0;
    bool open_ = false;
    bool from_archive_ = false;
    mixer mixer_;
};
