#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class File;
}
class LzwDecoder;

// One directory entry of a ".mix" archive, as it lies in the file (32 bytes,
// little-endian) but with the name already unscrambled and terminated.
struct MixDirEntry {
    char name[16] = {};          // plain text, at most 15 characters
    std::uint32_t offset = 0;    // of the entry's data from the start of the archive
    std::uint32_t packed_size = 0; // bytes of LZW stream (equals size when plain)
    std::uint32_t size = 0;      // plain bytes
    std::uint32_t flags = 0;     // MixFlagInMemory | MixFlagCompressed
};

inline constexpr std::size_t kMixDirEntrySize = 32;
inline constexpr std::uint8_t kMixNameScramble = 0xD3;
inline constexpr std::uint32_t kMixFlagInMemory = 1u << 0;   // decode whole entry at open (text entries)
inline constexpr std::uint32_t kMixFlagCompressed = 1u << 1; // LZW-compressed

// Error codes of `mixer` (mixer::error()), with the texts of error_text().
enum MixError : int {
    kMixOk = 0,
    kMixCannotOpen = 1,   // "Cannot open main file: %s" (also: damaged archive directory)
    kMixNotPresent = 2,   // "File %s not present in main file."
    kMixNoMemory = 3,     // "Out of memory."
    kMixOutOfDomain = 4,  // "Out of file domain." (also: damaged or short packed data)
    kMixNoDecodeMemory = 5, // "Out of memory to decode file."
};

// The file object over one entry of a ".mix" archive (or over one plain file,
// see open_file). Positions are clamped to the entry: nothing is read from
// before its start or past its end.
//
// Text entries (mode without 'b') are held in memory whole, so line and word
// reads can never run into the next entry. gets() reads text by the game's
// one text rule (app/text_rule.h), as TextSource does.
//
// Every operation reports failure through its result (-1) and error(); only
// report_error() throws.
class mixer {
public:
    mixer();
    ~mixer();
    mixer(mixer&& other) noexcept;
    mixer& operator=(mixer&& other) noexcept;
    mixer(const mixer&) = delete;
    mixer& operator=(const mixer&) = delete;

    // Opens the archive, finds the entry (name compared without regard to
    // case) and stands at its start. mode is "rb" or "rt". 0 or -1.
    int open(const char* archive_path, const char* entry_name, const char* mode);

    // Opens the archive without choosing an entry; with find_entry_plain it
    // asks whether the archive holds an entry. 0 or -1.
    int open_plain(const char* archive_path, const char* mode);

    // 0 when the open archive holds the entry, -1 (error 2) when not.
    // Changes no position.
    int find_entry_plain(const char* name);

    // Opens a plain file on disk as if it were one uncompressed entry that
    // covers the whole file, so a reader can use one code path for both.
    // 0 or -1 (error 1).
    int open_file(const char* path, const char* mode);

    // Reads up to count bytes from the current position; never past the
    // entry's end. Returns the bytes delivered (0 at the end).
    int read(void* destination, int count);

    // mode 1: one line (the '\n' ends it and is not stored, nor is the CR of
    // a CR LF pair; a lone CR stays in the line);
    // mode 0: one word (the blanks of IsTextBlank, a lone CR among them, skip
    // before it and end it).
    // Either way the text ends at a 0x1A byte, in every entry and mode.
    // Stores at most capacity - 1 characters (255 for the usual 256-byte
    // buffer) and terminates the text. 0, or -1 with error 4 at the end.
    int gets(char* buffer, int mode, std::size_t capacity = 256);

    // origin 0 start, 1 current, 2 end. New position relative to the entry
    // start, or -1 (error 4) for a position before the start or past the end.
    int seekfile(int offset, int origin);

    // Current position relative to the entry start.
    int tell() const;

    // The entry's size in plain bytes.
    int size() const;

    // Opens "rb", reads the whole entry into the caller's buffer, closes.
    // -1 with error 4 when the entry does not fit in capacity bytes, or when
    // its stored data ends early. The vector grows as the bytes arrive.
    int load(const char* archive_path, const char* entry_name, void* destination, std::size_t capacity);
    int load(const char* archive_path, const char* entry_name, std::vector<std::uint8_t>& out);

    // Frees the buffer and the decoder and closes the file. Always 0.
    int close();

    // Writes the text of the last error to the error output and throws the
    // message "loader erorr in opening" (as a GameError).
    [[noreturn]] void report_error();

    bool is_open() const { return file_ != nullptr; }
    int error() const { return error_; }
    const std::string& message_name() const { return message_name_; }
    const std::string& archive_path() const { return archive_path_; }
    const MixDirEntry& entry() const { return entry_; }
    bool compressed() const { return compressed_; }
    bool in_memory() const { return buffer_valid_; }
    // The text report_error() writes for the current error code.
    std::string error_text() const;

private:
    int open_source(const char* path, const char* mode);
    int open_archive(const char* archive_path, const char* mode);
    int find_entry(std::string_view name, MixDirEntry& found);
    int fail(int code);
    int fail(int code, std::string_view name);
    int fail_closed(int code, std::string_view name);
    int start_entry(const MixDirEntry& found);
    int rewind_stream();
    int read_rest(std::vector<std::uint8_t>& out);
    int load_into_memory();
    int read_stream(std::uint8_t* destination, int count);
    int skip_stream(std::int64_t count);
    int gets_memory(char* buffer, int mode, std::size_t capacity);
    void reset_entry_state();

    std::unique_ptr<platform::File> file_;
    std::vector<std::uint8_t> directory_; // the archive's directory records
    std::int64_t data_end_ = 0;       // end of the entry data area (start of the directory)
    std::int64_t start_ = 0;          // archive offset of the entry's first byte
    std::int64_t end_ = 0;            // start + size
    std::int64_t position_ = 0;       // current archive offset inside the entry
    bool compressed_ = false;
    bool in_memory_flag_ = false;     // flags bit 0
    std::int64_t read_index_ = 0;     // position in the memory buffer
    std::vector<std::uint8_t> buffer_; // the whole entry, when in memory
    bool buffer_valid_ = false;
    std::int64_t text_end_ = 0;       // where text reads stop (the first 0x1A byte, or the end)
    std::string mode_;
    std::string archive_path_;
    MixDirEntry entry_;
    std::string message_name_;
    int error_ = kMixOk;
    std::unique_ptr<LzwDecoder> decoder_;
};

// Turns a file path into the archive that holds it and the entry name, the
// way every reader looks for a file that is not on disk:
//   gfx\Loading\loading.pcx -> gfx\Loading.mix, loading.pcx
//   Data\Tracks\A.dat       -> data\Tracks.mix,  A.dat
//   .\menu\Riders.txt       -> menu.mix,         Riders.txt
//   Replay\A.rpl            -> Replay.mix,       A.rpl
// The folder name in the archive name is cut to 8 characters.
struct ArchivePath {
    std::string archive;
    std::string entry;
};
ArchivePath SplitArchivePath(std::string_view path);

// The same, filling two caller buffers of at least kArchivePathCapacity
// characters (longer results are cut and terminated).
inline constexpr std::size_t kArchivePathCapacity = 260;
void SplitArchivePath(const char* path, char* archive, char* entry);
