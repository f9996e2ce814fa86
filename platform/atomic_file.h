#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fault_seam.h"

namespace platform {

// Writes a whole file so that a crash never loses the old one: the bytes go
// to "<path>.tmp", are flushed to disk, and the temporary file is renamed over
// the target. On any failure the temporary file is removed, the old file is
// left as it was, `error` (when given) says why, and false is returned.
// `fault`, when given, is the fault seam that makes this write fail just
// before the rename (as a write interrupted there would).
bool write_file_atomic(const std::string& native_path, const void* data, std::size_t size,
                       std::string* error = nullptr, const Fault* fault = nullptr);

inline bool write_file_atomic(const std::string& native_path, const std::vector<std::uint8_t>& bytes,
                              std::string* error = nullptr, const Fault* fault = nullptr)
{
    return write_file_atomic(native_path, bytes.data(), bytes.size(), error, fault);
}

// Reads a whole file; false (and `error`) when it cannot be opened or read.
bool read_file_whole(const std::string& native_path, std::vector<std::uint8_t>& out,
                     std::string* error = nullptr);

} // namespace platform
