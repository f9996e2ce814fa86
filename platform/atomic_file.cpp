#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

void set_error(std::string* error, const std::string& what, const std::string& path, int err)
{
    if (error)
        *error = what + " \"" + path + "\": " + std::strerror(err);
}

bool write_all(int fd, const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

bool write_file_atomic(const std::string& native_path, const void* data, std::size_t size,
                       std::string* error, const Fault* fault)
{
    const std::string tmp = native_path + ".tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        set_error(error, "cannot create", tmp, errno);
        return false;
    }
    bool ok = write_all(fd, static_cast<const std::uint8_t*>(data), size);
    int err = errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        set_error(error, "cannot write", tmp, err);
        ::unlink(tmp.c_str());
        return false;
    }
    if (fault && take_fault(*fault)) {
        set_error(error, "write interrupted before replacing", native_path, EIO);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), native_path.c_str()) != 0) {
        err = errno;
        set_error(error, "cannot replace", native_path, err);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool read_file_whole(const std::string& native_path, std::vector<std::uint8_t>& out, std::string* error)
{
    out.clear();
    int fd = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        set_error(error, "cannot open", native_path, errno);
        return false;
    }
    std::uint8_t buf[65536];
    for (;;) {
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            set_error(error, "cannot read", native_path, errno);
            ::close(fd);
            out.clear();
            return false;
        }
        if (r == 0)
            break;
        out.insert(out.end(), buf, buf + r);
    }
    ::close(fd);
    return true;
}

} // namespace platform
