#include "app/mixer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "app/bounded_text.h"
#include "app/game_error.h"
#include "app/lzw_decoder.h"
#include "app/mix_directory.h"
#include "app/text_compare.h"
#include "app/text_rule.h"
#include "platform/byte_reader.h"
#include "platform/file.h"

namespace {

// Feeds the decoder from the open archive, which stands at the next packed
// byte of the entry.
class FileLzwSource : public LzwSource {
public:
    explicit FileLzwSource(platform::File& file) : file_(file) {}
    std::size_t ReadBytes(std::uint8_t* destination, std::size_t count) override
    {
        return file_.read(destination, count);
    }

private:
    platform::File& file_;
};

bool is_text_mode(const std::string& mode)
{
    return mode.find('b') == std::string::npos;
}

// Whole entries are read in pieces of this many bytes.
constexpr std::int64_t kReadPiece = 64 * 1024;

} // namespace

mixer::mixer() = default;
mixer::~mixer() = default;
mixer::mixer(mixer&& other) noexcept = default;
mixer& mixer::operator=(mixer&& other) noexcept = default;

int mixer::fail(int code)
{
    error_ = code;
    return -1;
}

int mixer::fail(int code, std::string_view name)
{
    message_name_ = std::string(name);
    return fail(code);
}

void mixer::reset_entry_state()
{
    start_ = end_ = position_ = 0;
    compressed_ = false;
    in_memory_flag_ = false;
    read_index_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
    buffer_valid_ = false;
    text_end_ = 0;
    entry_ = MixDirEntry{};
    decoder_.reset();
}

int mixer::close()
{
    reset_entry_state();
    directory_.clear();
    directory_.shrink_to_fit();
    if (file_)
        file_->close();
    file_.reset();
    data_end_ = 0;
    return 0;
}

int mixer::fail_closed(int code, std::string_view name)
{
    close();
    return fail(code, name);
}

// Closes what was open and opens `path` for reading; the caller's mode is kept
// for the entry (text or binary), the file itself is always read as bytes.
int mixer::open_source(const char* path, const char* mode)
{
    close();
    error_ = kMixOk;
    mode_ = mode ? mode : "rb";
    archive_path_ = path ? path : "";
    auto file = std::make_unique<platform::File>();
    if (!file->open(archive_path_, "rb"))
        return fail(kMixCannotOpen, archive_path_);
    file_ = std::move(file);
    return 0;
}

// Opens the archive and takes in its directory. The directory's size comes
// from the file, so it is checked against the file's real size before
// anything is read or allocated by it.
int mixer::open_archive(const char* archive_path, const char* mode)
{
    if (open_source(archive_path, mode) != 0)
        return -1;
    const std::int64_t size = file_->size();
    std::uint8_t tail[4];
    if (size < 4 || !file_->seek(size - 4) || file_->read(tail, 4) != 4)
        return fail_closed(kMixCannotOpen, archive_path_);
    const std::uint32_t directory_size = platform::ByteReader(tail, sizeof tail).u32();
    if (!MixDirectorySizeValid(directory_size, size))
        return fail_closed(kMixCannotOpen, archive_path_);
    data_end_ = size - 4 - directory_size;
    directory_.resize(directory_size);
    if (!file_->seek(data_end_) || file_->read(directory_.data(), directory_.size()) != directory_.size())
        return fail_closed(kMixCannotOpen, archive_path_);
    return 0;
}

int mixer::find_entry(std::string_view name, MixDirEntry& found)
{
    switch (FindMixEntry(directory_, data_end_, name, found)) {
    case MixLookup::Found:
        return 0;
    case MixLookup::NotFound:
        return fail(kMixNotPresent, name);
    case MixLookup::Damaged:
        break;
    }
    return fail(kMixCannotOpen, archive_path_);
}

int mixer::open(const char* archive_path, const char* entry_name, const char* mode)
{
    if (open_archive(archive_path, mode) != 0)
        return -1;
    MixDirEntry found;
    if (find_entry(entry_name ? entry_name : "", found) != 0 || start_entry(found) != 0) {
        close();
        return -1;
    }
    return 0;
}

int mixer::open_plain(const char* archive_path, const char* mode)
{
    if (open_archive(archive_path, mode) != 0)
        return -1;
    // Refuse a damaged directory here already, as open() would.
    MixDirEntry unused;
    if (FindMixEntry(directory_, data_end_, std::string_view(), unused) == MixLookup::Damaged)
        return fail_closed(kMixCannotOpen, archive_path_);
    return 0;
}

int mixer::find_entry_plain(const char* name)
{
    if (!file_)
        return fail(kMixNotPresent, name ? name : "");
    MixDirEntry found;
    return find_entry(name ? name : "", found);
}

int mixer::open_file(const char* path, const char* mode)
{
    if (open_source(path, mode) != 0)
        return -1;
    const std::int64_t size = file_->size();
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
        return fail_closed(kMixCannotOpen, archive_path_);
    data_end_ = size;

    MixDirEntry whole;
    const std::size_t cut = archive_path_.find_last_of("\\/");
    CopyBounded(whole.name, sizeof whole.name,
                std::string_view(archive_path_).substr(cut == std::string::npos ? 0 : cut + 1));
    whole.offset = 0;
    whole.packed_size = whole.size = static_cast<std::uint32_t>(size);
    if (start_entry(whole) != 0) {
        close();
        return -1;
    }
    return 0;
}

int mixer::start_entry(const MixDirEntry& found)
{
    entry_ = found;
    compressed_ = (found.flags & kMixFlagCompressed) != 0;
    in_memory_flag_ = (found.flags & kMixFlagInMemory) != 0;
    start_ = position_ = found.offset;
    end_ = std::int64_t{found.offset} + found.size;
    read_index_ = 0;
    // Text is read in memory so that line and word reads stop at the entry's
    // end; a compressed entry flagged for it is decoded whole as well.
    if (is_text_mode(mode_) || (compressed_ && in_memory_flag_))
        return load_into_memory();
    return rewind_stream();
}

// Stands at the entry's first byte again: the file at its offset and, for a
// packed entry, a fresh decoder (a packed stream can only be read forwards).
int mixer::rewind_stream()
{
    if (compressed_) {
        decoder_.reset(new (std::nothrow) LzwDecoder());
        if (!decoder_)
            return fail(kMixNoMemory);
    }
    if (!file_->seek(start_))
        return fail(kMixOutOfDomain, entry_.name);
    position_ = start_;
    read_index_ = 0;
    return 0;
}

// Reads from the current position to the entry's end into `out`. The vector
// grows with the bytes that actually arrive, so a size that a damaged
// directory overstates never decides an allocation by itself. -1 (error 4)
// when the stored data ends before the entry does; std::bad_alloc passes.
int mixer::read_rest(std::vector<std::uint8_t>& out)
{
    out.clear();
    while (position_ < end_) {
        const std::size_t have = out.size();
        const int piece = static_cast<int>(std::min<std::int64_t>(kReadPiece, end_ - position_));
        out.resize(have + static_cast<std::size_t>(piece));
        const int got = read(out.data() + have, piece);
        out.resize(have + static_cast<std::size_t>(got));
        if (got < piece)
            return fail(kMixOutOfDomain, entry_.name);
    }
    return 0;
}

// Reads or decodes the whole entry into the buffer (size + 1 bytes, the last
// one 0) and goes on reading from there at the current position.
int mixer::load_into_memory()
{
    const std::int64_t keep = position_;
    std::vector<std::uint8_t> whole;
    try {
        if (rewind_stream() != 0 || read_rest(whole) != 0) {
            // The entry is unusable; leave nothing more to read from it.
            position_ = end_;
            read_index_ = end_ - start_;
            return -1;
        }
        whole.push_back(0);
    } catch (const std::bad_alloc&) {
        position_ = end_;
        read_index_ = end_ - start_;
        return fail(kMixNoDecodeMemory, entry_.name);
    }
    buffer_ = std::move(whole);
    buffer_valid_ = true;
    position_ = keep;
    read_index_ = keep - start_;
    // Lines and words end with the text (app/text_rule.h), whatever the
    // entry's storage and open mode.
    const std::int64_t size = end_ - start_;
    text_end_ = static_cast<std::int64_t>(
        TextLength(std::string_view(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::size_t>(size))));
    return 0;
}

int mixer::read(void* destination, int count)
{
    if (!file_ || !destination || count <= 0)
        return 0;
    const std::int64_t wanted = std::min<std::int64_t>(count, end_ - position_);
    if (wanted <= 0)
        return 0;
    auto* out = static_cast<std::uint8_t*>(destination);
    if (buffer_valid_) {
        std::memcpy(out, buffer_.data() + read_index_, static_cast<std::size_t>(wanted));
        read_index_ += wanted;
        position_ += wanted;
        return static_cast<int>(wanted);
    }
    return read_stream(out, static_cast<int>(wanted));
}

int mixer::read_stream(std::uint8_t* destination, int count)
{
    std::int64_t got = 0;
    if (!compressed_) {
        got = static_cast<std::int64_t>(file_->read(destination, static_cast<std::size_t>(count)));
    } else {
        FileLzwSource source(*file_);
        got = decoder_->Decode(destination, static_cast<std::int32_t>(entry_.packed_size),
                               static_cast<std::uint32_t>(count), source);
    }
    position_ += got;
    read_index_ = position_ - start_;
    if (got < count)
        error_ = kMixOutOfDomain; // the stored data holds fewer bytes than its entry says
    return static_cast<int>(got);
}

// Decodes and drops `count` bytes.
int mixer::skip_stream(std::int64_t count)
{
    std::uint8_t scratch[4096];
    while (count > 0) {
        const int piece = static_cast<int>(std::min<std::int64_t>(count, sizeof scratch));
        const int got = read_stream(scratch, piece);
        count -= got;
        if (got < piece)
            return fail(kMixOutOfDomain, entry_.name);
    }
    return 0;
}

int mixer::seekfile(int offset, int origin)
{
    if (!file_)
        return fail(kMixOutOfDomain);
    std::int64_t target = 0;
    switch (origin) {
    case 0:
        target = start_ + offset;
        break;
    case 1:
        target = position_ + offset;
        break;
    case 2:
        target = end_ + offset;
        break;
    default:
        return fail(kMixOutOfDomain);
    }
    if (target < start_ || target > end_)
        return fail(kMixOutOfDomain);

    if (buffer_valid_) {
        position_ = target;
        read_index_ = target - start_;
    } else if (!compressed_) {
        if (!file_->seek(target))
            return fail(kMixOutOfDomain);
        position_ = target;
        read_index_ = target - start_;
    } else {
        // A packed stream can only be read forwards: going back starts the
        // decoder again, going forward decodes and drops the bytes between.
        if (target < position_ && rewind_stream() != 0)
            return -1;
        if (skip_stream(target - position_) != 0)
            return -1;
    }
    return static_cast<int>(position_ - start_);
}

int mixer::tell() const
{
    return static_cast<int>(position_ - start_);
}

int mixer::size() const
{
    return static_cast<int>(end_ - start_);
}

int mixer::gets(char* buffer, int mode, std::size_t capacity)
{
    if (buffer && capacity > 0)
        buffer[0] = '\0';
    if (!file_ || !buffer || capacity == 0)
        return fail(kMixOutOfDomain);
    if (position_ >= end_) {
        position_ = end_;
        read_index_ = end_ - start_;
        return fail(kMixOutOfDomain);
    }
    // Lines and words are always taken from memory, so they end with the
    // entry whatever its storage.
    if (!buffer_valid_ && load_into_memory() != 0)
        return -1;
    return gets_memory(buffer, mode, capacity);
}

int mixer::gets_memory(char* buffer, int mode, std::size_t capacity)
{
    // The text of the entry, read by the one text rule: the CR of a CR LF
    // pair is dropped, any other CR is kept (a blank between words), and the
    // text ends at its end marker.
    const std::string_view entry_text(reinterpret_cast<const char*>(buffer_.data()),
                                      static_cast<std::size_t>(text_end_));
    BoundedText text(buffer, capacity);
    bool took = false; // a line (even an empty one) or a word was taken
    if (mode == 1) {
        while (read_index_ < text_end_) {
            const std::size_t i = static_cast<std::size_t>(read_index_++);
            took = true;
            if (entry_text[i] == '\n')
                break;
            if (!IsCrOfLineEnd(entry_text, i))
                text.put(entry_text[i]);
        }
    } else {
        while (read_index_ < text_end_) {
            const char c = entry_text[static_cast<std::size_t>(read_index_)];
            const bool blank = IsTextBlank(static_cast<unsigned char>(c));
            if (blank && took)
                break; // the blank after a word stays for the next read
            ++read_index_;
            if (blank)
                continue;
            took = true;
            text.put(c);
        }
    }
    if (read_index_ >= text_end_)
        read_index_ = end_ - start_; // the rest past a text end marker is not text
    position_ = start_ + read_index_;
    // Running into the end fails only when it left nothing to return: the
    // last line or word of an entry is delivered even without a line end.
    if (!took) {
        position_ = end_;
        read_index_ = end_ - start_;
        return fail(kMixOutOfDomain);
    }
    return 0;
}

int mixer::load(const char* archive_path, const char* entry_name, void* destination, std::size_t capacity)
{
    if (open(archive_path, entry_name, "rb") != 0)
        return -1;
    const int total = size();
    if (static_cast<std::size_t>(total) > capacity || (total > 0 && !destination)) {
        close();
        return fail(kMixOutOfDomain, entry_name ? entry_name : "");
    }
    const int got = total > 0 ? read(destination, total) : 0;
    close();
    if (got != total)
        return fail(kMixOutOfDomain, entry_name ? entry_name : "");
    return 0;
}

int mixer::load(const char* archive_path, const char* entry_name, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (open(archive_path, entry_name, "rb") != 0)
        return -1;
    int result = 0;
    try {
        result = read_rest(out);
    } catch (const std::bad_alloc&) {
        result = fail(kMixNoMemory);
    }
    close();
    if (result != 0)
        out.clear();
    return result;
}

std::string mixer::error_text() const
{
    char text[128 + 260];
    switch (error_) {
    case kMixCannotOpen:
        std::snprintf(text, sizeof text, "Cannot open main file: %s", message_name_.c_str());
        break;
    case kMixNotPresent:
        std::snprintf(text, sizeof text, "File %s not present in main file.", message_name_.c_str());
        break;
    case kMixNoMemory:
        return "Out of memory.";
    case kMixOutOfDomain:
        return "Out of file domain.";
    case kMixNoDecodeMemory:
        return "Out of memory to decode file.";
    default:
        std::snprintf(text, sizeof text, "Unknown error in Engine interface <%s>.\n", message_name_.c_str());
        break;
    }
    return text;
}

void mixer::report_error()
{
    const std::string text = error_text();
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stderr);
    throw GameError("loader erorr in opening");
}
