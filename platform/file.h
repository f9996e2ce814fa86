#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Files opened by program path with the C runtime's modes, and whole-file
// reads and writes.
//
// Modes: "r", "w" or "a", then in any order an optional '+' and an optional
// 'b' (binary) or 't' (text); without 'b' or 't' a file is text. "r" needs
// the file, "w" creates or empties it, "a" creates it and writes every byte
// at its end; '+' adds the other direction.
//
// Text mode is the Windows runtime's: reading turns CR LF into LF (a CR not
// followed by LF stays) and stops at a 0x1A byte as if the file ended there;
// writing turns every LF into CR LF. Positions (tell, seek, size) are byte
// offsets in the file in both modes, as that runtime's are, so a position
// taken with tell() can be given back to seek(), and a file can be entered at
// any byte offset. Reading on past a 0x1A byte needs a seek.
//
// "w" modes never leave a half-written file behind: the bytes go to
// "<file>.tmp", which replaces the file on close() only when every write
// succeeded. A File destroyed while an exception unwinds, or discard()ed,
// drops what it wrote and leaves the old file as it was. "a" and "r+" modes
// change the file in place.
namespace platform {

enum class SeekOrigin : int { Begin = 0, Current = 1, End = 2 };

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens the file the program path names (closing one already open).
    // False when the mode is not valid, the file cannot be opened, it is a
    // folder, or a Fault::FileOpen is armed (which this uses up).
    bool open(std::string_view program_path, std::string_view mode);

    // Writes out what is pending and closes; for "w" modes, replaces the file.
    // False when a write failed (then a "w" file keeps its old contents) or
    // when nothing was open.
    bool close();

    // Closes without keeping what was written in a "w" mode: the old file
    // stays as it was. Other modes change the file in place, so there this
    // is close().
    void discard();

    bool is_open() const { return fd_ >= 0; }
    bool is_text() const { return text_; }

    // Up to `count` bytes (text mode: decoded characters) into `dst`; fewer
    // at the end of the file, which also sets eof().
    std::size_t read(void* dst, std::size_t count);

    // The next character, or -1 at the end of the file (text mode: also at a
    // 0x1A byte).
    int get_char();

    // fgets: up to size - 1 characters, ending after a '\n' that is kept,
    // then a terminating 0. Null when the file ended before any character.
    char* gets(char* buffer, int size);

    // One line of any length, without its '\n'. False at the end of the file
    // when no character was left.
    bool read_line(std::string& line);

    // One word: blanks (space, tab, CR, LF, VT, FF) are skipped, then
    // characters are taken up to the next blank, which is left unread.
    // False when only blanks were left.
    bool read_word(std::string& word);

    // Writes (text mode: LF becomes CR LF); returns `count`, or 0 when the
    // file is not open for writing. Bytes are buffered: a failed write shows
    // in close().
    std::size_t write(const void* src, std::size_t count);
    bool write_text(std::string_view text);
    bool print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Moves to a byte offset and clears eof(). False (position unchanged)
    // when the result would be before the start. Beyond the end is allowed.
    bool seek(std::int64_t offset, SeekOrigin origin = SeekOrigin::Begin);
    std::int64_t tell() const { return position_; }
    // The file's size in bytes (pending writes included), or -1.
    std::int64_t size();
    bool eof() const { return at_end_; }

    const std::string& native_path() const { return native_path_; }
    // Why the last operation failed, for messages.
    const std::string& error_text() const { return error_; }

private:
    bool open_native(const std::string& native_path, char kind, bool plus);
    bool start_reading();
    bool start_writing();
    bool flush_output();
    // The byte `ahead` places past the position, or -1 past the end.
    int byte_ahead(std::size_t ahead);
    // The next character without taking it; `raw` is its length in the file.
    int peek(std::size_t& raw);
    void fail(const std::string& what, int err);
    void reset();

    int fd_ = -1;
    bool readable_ = false;
    bool writable_ = false;
    bool append_ = false;
    bool text_ = false;
    bool at_end_ = false;
    bool write_failed_ = false;
    int exceptions_at_open_ = 0;
    std::int64_t position_ = 0;

    std::string native_path_;
    std::string temp_path_;   // "w" modes: where the bytes go until close()
    std::string error_;

    std::vector<std::uint8_t> in_;   // bytes of the file from in_start_
    std::int64_t in_start_ = 0;
    std::size_t in_length_ = 0;

    std::vector<std::uint8_t> out_;  // bytes to write at out_start_
    std::int64_t out_start_ = 0;
};

// The whole file, in binary. False (and `error`) when it cannot be opened or
// read, or when a Fault::FileOpen is armed.
bool read_whole_file(std::string_view program_path, std::vector<std::uint8_t>& out,
                     std::string* error = nullptr);

// Creates or replaces the whole file atomically (temporary file, flush,
// rename): on failure the old file is untouched. A Fault::FileOpen armed
// makes it fail before anything is written.
bool write_whole_file(std::string_view program_path, const void* data, std::size_t size,
                      std::string* error = nullptr);
inline bool write_whole_file(std::string_view program_path, const std::vector<std::uint8_t>& bytes,
                             std::string* error = nullptr)
{
    return write_whole_file(program_path, bytes.data(), bytes.size(), error);
}

// True when the program path names an existing file (not a folder).
bool file_exists(std::string_view program_path);

// Deletes a file; false when there is none or it cannot be deleted.
bool remove_file(std::string_view program_path);

// Creates a folder whose parent exists; true also when it exists already.
bool make_directory(std::string_view program_path);

} // namespace platform
