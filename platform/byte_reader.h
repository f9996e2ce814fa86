#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

// Reads little-endian binary records field by field from bytes in memory,
// never past their end. A read that does not fit reads nothing, returns 0
// and clears ok(); from then on every read returns 0 and moves nothing, so a
// parser can read a whole record and check ok() once at the end.
namespace platform {

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const void* data, std::size_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    explicit ByteReader(std::span<const std::uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}
    explicit ByteReader(const std::vector<std::uint8_t>& bytes) : ByteReader(bytes.data(), bytes.size()) {}

    bool ok() const { return ok_; }
    std::size_t position() const { return position_; }
    std::size_t size() const { return size_; }
    std::size_t remaining() const { return ok_ ? size_ - position_ : 0; }
    // True when `count` more bytes can be read.
    bool has(std::size_t count) const { return ok_ && count <= size_ - position_; }

    std::uint8_t u8() { return static_cast<std::uint8_t>(little_endian(1)); }
    std::int8_t i8() { return static_cast<std::int8_t>(u8()); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(little_endian(2)); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(little_endian(4)); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint64_t u64() { return little_endian(8); }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    // IEEE bits as stored.
    float f32() { return std::bit_cast<float>(u32()); }
    double f64() { return std::bit_cast<double>(u64()); }

    // Copies `count` bytes; false (nothing copied, `dst` untouched) when they
    // are not there.
    bool bytes(void* dst, std::size_t count)
    {
        if (!take(count))
            return false;
        if (count > 0)
            std::memcpy(dst, data_ + position_ - count, count);
        return true;
    }

    // A text field of `field_size` bytes: the text up to its first 0 byte (or
    // the whole field when it holds none). `terminated`, when given, tells
    // whether a 0 byte was found inside the field.
    std::string fixed_string(std::size_t field_size, bool* terminated = nullptr)
    {
        if (terminated)
            *terminated = false;
        if (!take(field_size))
            return {};
        const auto* field = data_ + position_ - field_size;
        const void* nul = field_size > 0 ? std::memchr(field, 0, field_size) : nullptr;
        const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - field)
                                       : field_size;
        if (terminated)
            *terminated = nul != nullptr;
        return std::string(reinterpret_cast<const char*>(field), length);
    }

    // The next `count` bytes without copying (empty when they are not there).
    std::span<const std::uint8_t> view(std::size_t count)
    {
        if (!take(count))
            return {};
        return {data_ + position_ - count, count};
    }

    bool skip(std::size_t count) { return take(count); }

    // Moves to an absolute offset; an offset past the end fails like a read.
    bool seek(std::size_t offset)
    {
        if (!ok_ || offset > size_) {
            ok_ = false;
            return false;
        }
        position_ = offset;
        return true;
    }

private:
    bool take(std::size_t count)
    {
        if (!has(count)) {
            ok_ = false;
            return false;
        }
        position_ += count;
        return true;
    }

    std::uint64_t little_endian(std::size_t count)
    {
        if (!take(count))
            return 0;
        std::uint64_t value = 0;
        const std::uint8_t* p = data_ + position_ - count;
        for (std::size_t i = 0; i < count; ++i)
            value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
        return value;
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
    bool ok_ = true;
};

} // namespace platform
