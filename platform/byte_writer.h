#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Builds little-endian binary records field by field, the twin of
// ByteReader. Appends to its own buffer, or to a caller's vector.
namespace platform {

// How much of a text a fixed-size field may take.
enum class StringFit {
    Terminated,   // at most size - 1 bytes, so the field always holds a 0 byte
    MayFill,      // up to size bytes; a text that long has no 0 byte
};

class ByteWriter {
public:
    ByteWriter() : out_(&own_) {}
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(&out) {}
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    // Offsets count from the start of the vector written to.
    std::size_t position() const { return out_->size(); }
    const std::vector<std::uint8_t>& bytes() const { return *out_; }

    void u8(std::uint8_t v) { out_->push_back(v); }
    void i8(std::int8_t v) { u8(static_cast<std::uint8_t>(v)); }
    void u16(std::uint16_t v) { little_endian(v, 2); }
    void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
    void u32(std::uint32_t v) { little_endian(v, 4); }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void u64(std::uint64_t v) { little_endian(v, 8); }
    void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
    void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
    void f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }

    void bytes(const void* src, std::size_t count)
    {
        const auto* p = static_cast<const std::uint8_t*>(src);
        out_->insert(out_->end(), p, p + count);
    }

    void zeros(std::size_t count) { out_->insert(out_->end(), count, 0); }

    // A text field of exactly `field_size` bytes: the text up to its first 0
    // byte, cut to what `fit` allows, then zeros to the end of the field.
    void fixed_string(std::string_view text, std::size_t field_size, StringFit fit = StringFit::Terminated)
    {
        const std::size_t end = std::min(text.find('\0'), text.size());
        std::size_t room = field_size;
        if (fit == StringFit::Terminated && room > 0)
            --room;
        const std::size_t length = std::min(end, room);
        bytes(text.data(), length);
        zeros(field_size - length);
    }

    // Overwrites four bytes already written (a size or offset known only
    // later); false when they lie past what was written.
    bool patch_u32(std::size_t offset, std::uint32_t v)
    {
        if (offset > out_->size() || out_->size() - offset < 4)
            return false;
        for (std::size_t i = 0; i < 4; ++i)
            (*out_)[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
        return true;
    }

private:
    void little_endian(std::uint64_t v, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i)
            out_->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }

    std::vector<std::uint8_t> own_;
    std::vector<std::uint8_t>* out_;
};

} // namespace platform
