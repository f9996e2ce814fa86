#include "platform/file.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/fault_seam.h"
#include "platform/path_resolver.h"

namespace platform {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kEndOfText = 0x1A;

struct OpenMode {
    char kind = 0;   // 'r', 'w' or 'a'
    bool plus = false;
    bool text = true;
};

bool parse_mode(std::string_view mode, OpenMode& out)
{
    if (mode.empty() || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a'))
        return false;
    out.kind = mode[0];
    bool seen_plus = false, seen_b = false, seen_t = false;
    for (char c : mode.substr(1)) {
        bool* seen = c == '+' ? &seen_plus : c == 'b' ? &seen_b : c == 't' ? &seen_t : nullptr;
        if (!seen || *seen)
            return false;
        *seen = true;
    }
    if (seen_b && seen_t)
        return false;
    out.plus = seen_plus;
    out.text = !seen_b;
    return true;
}

bool is_blank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string describe(const std::string& what, std::string_view path, int err)
{
    return what + " \"" + std::string(path) + "\": " + std::strerror(err);
}

} // namespace

File::~File()
{
    if (!is_open())
        return;
    if (!temp_path_.empty() && std::uncaught_exceptions() > exceptions_at_open_)
        discard();
    else
        close();
}

File::File(File&& other) noexcept
{
    *this = std::move(other);
}

File& File::operator=(File&& other) noexcept
{
    if (this == &other)
        return *this;
    if (is_open())
        close();
    fd_ = std::exchange(other.fd_, -1);
    readable_ = other.readable_;
    writable_ = other.writable_;
    append_ = other.append_;
    text_ = other.text_;
    at_end_ = other.at_end_;
    write_failed_ = other.write_failed_;
    exceptions_at_open_ = other.exceptions_at_open_;
    position_ = other.position_;
    native_path_ = std::move(other.native_path_);
    temp_path_ = std::move(other.temp_path_);
    error_ = std::move(other.error_);
    in_ = std::move(other.in_);
    in_start_ = other.in_start_;
    in_length_ = other.in_length_;
    out_ = std::move(other.out_);
    out_start_ = other.out_start_;
    other.reset();
    return *this;
}

void File::reset()
{
    fd_ = -1;
    readable_ = writable_ = append_ = text_ = at_end_ = write_failed_ = false;
    position_ = 0;
    temp_path_.clear();
    in_.clear();
    in_start_ = 0;
    in_length_ = 0;
    out_.clear();
    out_start_ = 0;
}

void File::fail(const std::string& what, int err)
{
    error_ = describe(what, native_path_, err);
}

bool File::open(std::string_view program_path, std::string_view mode)
{
    if (is_open())
        close();
    native_path_.assign(program_path);
    OpenMode m;
    if (!parse_mode(mode, m)) {
        error_ = "invalid open mode \"" + std::string(mode) + "\" for \"" + native_path_ + "\"";
        return false;
    }
    if (take_fault(Fault::FileOpen)) {
        fail("cannot open", EIO);
        return false;
    }
    if (m.kind == 'r') {
        auto found = resolve_existing(program_path);
        if (!found) {
            fail("cannot open", ENOENT);
            return false;
        }
        native_path_ = std::move(*found);
    } else {
        native_path_ = resolve_for_create(program_path);
    }
    text_ = m.text;
    exceptions_at_open_ = std::uncaught_exceptions();
    return open_native(native_path_, m.kind, m.plus);
}

bool File::open_native(const std::string& native_path, char kind, bool plus)
{
    struct stat st {};
    const bool existed = ::stat(native_path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) {
        fail("cannot open", EISDIR);
        return false;
    }
    const int access_mode = plus ? O_RDWR : (kind == 'r' ? O_RDONLY : O_WRONLY);
    int fd = -1;
    if (kind == 'w') {
        // Write beside the file and rename over it on close; refuse at once
        // what the rename would be refused later.
        if (existed && ::access(native_path.c_str(), W_OK) != 0) {
            fail("cannot open", errno);
            return false;
        }
        temp_path_ = native_path + ".tmp";
        fd = ::open(temp_path_.c_str(), access_mode | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0 && existed)
            ::fchmod(fd, st.st_mode & 07777);
    } else {
        const int create = kind == 'a' ? O_CREAT | O_APPEND : 0;
        fd = ::open(native_path.c_str(), access_mode | create | O_CLOEXEC, 0644);
    }
    if (fd < 0) {
        fail("cannot open", errno);
        temp_path_.clear();
        return false;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || S_ISDIR(opened.st_mode)) {
        ::close(fd);
        fail("cannot open", EISDIR);
        temp_path_.clear();
        return false;
    }
    fd_ = fd;
    readable_ = kind == 'r' || plus;
    writable_ = kind != 'r' || plus;
    append_ = kind == 'a';
    position_ = append_ ? static_cast<std::int64_t>(opened.st_size) : 0;
    error_.clear();
    return true;
}

bool File::flush_output()
{
    if (out_.empty())
        return true;
    const std::uint8_t* p = out_.data();
    std::size_t left = out_.size();
    std::int64_t at = out_start_;
    while (left > 0) {
        const ssize_t n = append_ ? ::write(fd_, p, left) : ::pwrite(fd_, p, left, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write", errno);
            write_failed_ = true;
            out_.clear();
            return false;
        }
        p += n;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    out_.clear();
    return true;
}

bool File::start_reading()
{
    if (!is_open() || !readable_)
        return false;
    if (!out_.empty()) {
        flush_output();
        in_length_ = 0;
    }
    return true;
}

bool File::start_writing()
{
    if (!is_open() || !writable_)
        return false;
    in_length_ = 0;   // what is buffered for reading may be overwritten
    if (out_.empty()) {
        if (append_) {
            struct stat st {};
            if (::fstat(fd_, &st) == 0)
                position_ = st.st_size;
        }
        out_start_ = position_;
    }
    return true;
}

int File::byte_ahead(std::size_t ahead)
{
    const std::int64_t want = position_ + static_cast<std::int64_t>(ahead);
    if (want < in_start_ || want >= in_start_ + static_cast<std::int64_t>(in_length_)) {
        if (in_.size() < kBufferSize)
            in_.resize(kBufferSize);
        in_start_ = position_;
        in_length_ = 0;
        while (in_length_ < in_.size()) {
            const ssize_t n = ::pread(fd_, in_.data() + in_length_, in_.size() - in_length_,
                                      in_start_ + static_cast<std::int64_t>(in_length_));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail("cannot read", errno);
            if (n <= 0)
                break;
            in_length_ += static_cast<std::size_t>(n);
        }
        if (want >= in_start_ + static_cast<std::int64_t>(in_length_))
            return -1;
    }
    return in_[static_cast<std::size_t>(want - in_start_)];
}

int File::peek(std::size_t& raw)
{
    raw = 1;
    const int c = byte_ahead(0);
    if (c < 0 || !text_)
        return c;
    if (c == kEndOfText)
        return -1;
    if (c == '\r' && byte_ahead(1) == '\n') {
        raw = 2;
        return '\n';
    }
    return c;
}

int File::get_char()
{
    if (!start_reading())
        return -1;
    std::size_t raw = 0;
    const int c = peek(raw);
    if (c < 0) {
        at_end_ = true;
        return -1;
    }
    position_ += static_cast<std::int64_t>(raw);
    return c;
}

std::size_t File::read(void* dst, std::size_t count)
{
    if (!start_reading())
        return 0;
    auto* out = static_cast<std::uint8_t*>(dst);
    if (text_) {
        std::size_t done = 0;
        while (done < count) {
            const int c = get_char();
            if (c < 0)
                break;
            out[done++] = static_cast<std::uint8_t>(c);
        }
        return done;
    }
    std::size_t done = 0;
    while (done < count) {
        const int first = byte_ahead(0);
        if (first < 0) {
            at_end_ = true;
            break;
        }
        const auto offset = static_cast<std::size_t>(position_ - in_start_);
        const std::size_t n = std::min(count - done, in_length_ - offset);
        std::memcpy(out + done, in_.data() + offset, n);
        done += n;
        position_ += static_cast<std::int64_t>(n);
    }
    return done;
}

char* File::gets(char* buffer, int size)
{
    if (size <= 0 || !start_reading())
        return nullptr;
    int n = 0;
    while (n < size - 1) {
        const int c = get_char();
        if (c < 0)
            break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    if (n == 0 && size > 1)
        return nullptr;
    buffer[n] = '\0';
    return buffer;
}

bool File::read_line(std::string& line)
{
    line.clear();
    bool any = false;
    for (;;) {
        const int c = get_char();
        if (c < 0)
            return any;
        any = true;
        if (c == '\n')
            return true;
        line += static_cast<char>(c);
    }
}

bool File::read_word(std::string& word)
{
    word.clear();
    if (!start_reading())
        return false;
    std::size_t raw = 0;
    int c = peek(raw);
    while (c >= 0 && is_blank(c)) {
        position_ += static_cast<std::int64_t>(raw);
        c = peek(raw);
    }
    while (c >= 0 && !is_blank(c)) {
        word += static_cast<char>(c);
        position_ += static_cast<std::int64_t>(raw);
        c = peek(raw);
    }
    if (c < 0)
        at_end_ = true;
    return !word.empty();
}

std::size_t File::write(const void* src, std::size_t count)
{
    if (!start_writing())
        return 0;
    const auto* in = static_cast<const std::uint8_t*>(src);
    if (text_) {
        for (std::size_t i = 0; i < count; ++i) {
            if (in[i] == '\n')
                out_.push_back('\r');
            out_.push_back(in[i]);
        }
    } else {
        out_.insert(out_.end(), in, in + count);
    }
    position_ = out_start_ + static_cast<std::int64_t>(out_.size());
    if (out_.size() >= kBufferSize)
        flush_output();
    return count;
}

bool File::write_text(std::string_view text)
{
    return write(text.data(), text.size()) == text.size();
}

bool File::print(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) {
        va_end(args);
        return false;
    }
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.pop_back();
    return write_text(text);
}

bool File::seek(std::int64_t offset, SeekOrigin origin)
{
    if (!is_open())
        return false;
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current)
        base = position_;
    else if (origin == SeekOrigin::End) {
        base = size();
        if (base < 0)
            return false;
    }
    flush_output();
    const std::int64_t target = base + offset;
    if (target < 0) {
        error_ = describe("cannot seek in", native_path_, EINVAL);
        return false;
    }
    position_ = target;
    at_end_ = false;
    return true;
}

std::int64_t File::size()
{
    if (!is_open())
        return -1;
    flush_output();
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool File::close()
{
    if (!is_open())
        return false;
    bool ok = flush_output() && !write_failed_;
    if (!temp_path_.empty() && ok && ::fsync(fd_) != 0) {
        fail("cannot write", errno);
        ok = false;
    }
    if (::close(fd_) != 0 && ok) {
        fail("cannot write", errno);
        ok = false;
    }
    if (!temp_path_.empty()) {
        if (ok && ::rename(temp_path_.c_str(), native_path_.c_str()) != 0) {
            fail("cannot replace", errno);
            ok = false;
        }
        if (!ok)
            ::unlink(temp_path_.c_str());
    }
    reset();
    return ok;
}

void File::discard()
{
    if (!is_open())
        return;
    if (temp_path_.empty()) {
        close();
        return;
    }
    ::close(fd_);
    ::unlink(temp_path_.c_str());
    reset();
}

bool read_whole_file(std::string_view program_path, std::vector<std::uint8_t>& out, std::string* error)
{
    out.clear();
    if (take_fault(Fault::FileOpen)) {
        if (error)
            *error = describe("cannot open", program_path, EIO);
        return false;
    }
    const auto native = resolve_existing(program_path);
    if (!native) {
        if (error)
            *error = describe("cannot open", program_path, ENOENT);
        return false;
    }
    struct stat st {};
    if (::stat(native->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (error)
            *error = describe("cannot open", *native, EISDIR);
        return false;
    }
    return read_file_whole(*native, out, error);
}

bool write_whole_file(std::string_view program_path, const void* data, std::size_t size, std::string* error)
{
    if (take_fault(Fault::FileOpen)) {
        if (error)
            *error = describe("cannot create", program_path, EIO);
        return false;
    }
    return write_file_atomic(resolve_for_create(program_path), data, size, error);
}

bool file_exists(std::string_view program_path)
{
    const auto native = resolve_existing(program_path);
    struct stat st {};
    return native && ::stat(native->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool remove_file(std::string_view program_path)
{
    const auto native = resolve_existing(program_path);
    return native && ::unlink(native->c_str()) == 0;
}

bool make_directory(std::string_view program_path)
{
    if (const auto native = resolve_existing(program_path)) {
        struct stat st {};
        return ::stat(native->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    const std::string native = resolve_for_create(program_path);
    return ::mkdir(native.c_str(), 0755) == 0;
}

} // namespace platform
