#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// Filling a caller's character buffer of `capacity` bytes: at most
// capacity - 1 characters are kept, the rest are dropped, and the text is
// terminated after every character, so it is whole whenever the filling
// stops. A null buffer or a capacity of 0 keeps nothing.
class BoundedText {
public:
    BoundedText(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(buffer != nullptr ? capacity : 0)
    {
        if (capacity_ > 0) buffer_[0] = 0;
    }

    void put(int c)
    {
        if (length_ + 1 < capacity_) {
            buffer_[length_++] = static_cast<char>(c);
            buffer_[length_] = 0;
        }
    }

    std::size_t length() const { return length_; }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

// Copies `text` into a buffer of `capacity` bytes, cut to capacity - 1
// characters and terminated.
inline void CopyBounded(char* out, std::size_t capacity, std::string_view text)
{
    if (out == nullptr || capacity == 0) return;
    const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
    if (length > 0) std::memcpy(out, text.data(), length);
    out[length] = 0;
}
