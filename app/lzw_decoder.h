#pragma once

#include <cstddef>
#include <cstdint>

// Where an LzwDecoder takes its packed bytes from: the open archive, or a
// block of memory.
class LzwSource {
public:
    virtual ~LzwSource() = default;
    // Reads up to count bytes; fewer (or 0) when the data ends.
    virtual std::size_t ReadBytes(std::uint8_t* destination, std::size_t count) = 0;
};

class LzwMemorySource : public LzwSource {
public:
    LzwMemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t ReadBytes(std::uint8_t* destination, std::size_t count) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Expands the variable-width LZW code stream of compressed archive entries:
// codes of 9 to 12 bits, least-significant bit first; 0..255 literal bytes,
// 256 reset, 257 end of data, table entries from 258. The output can be taken
// in pieces: a call stops when it has produced `limit` bytes and the next
// call carries on where it stopped, so any series of calls yields the same
// bytes as one call.
//
// Damaged data never runs wild: a code beyond the next free table entry, a
// non-literal after a reset or a string longer than the table is corrupt
// data, and running out of packed bytes before the end code is truncated
// data. Either stops the decoder for good; status() tells which.
class LzwDecoder {
public:
    static constexpr std::uint32_t kResetCode = 256;
    static constexpr std::uint32_t kEndCode = 257;
    static constexpr std::uint32_t kFirstFreeCode = 258;
    static constexpr std::uint32_t kTableSize = 4096;
    static constexpr std::size_t kInputBufferSize = 1024;

    enum class Status {
        Running,   // more output may follow
        Ended,     // the end code was read
        Truncated, // the packed data ran out before the end code
        Corrupt,   // the code stream is not one the encoder can produce
    };

    LzwDecoder();

    // Produces at most `limit` bytes into `output`, reading packed bytes from
    // `source` (at most `packed_size` of them over all calls). Returns the
    // bytes produced by this call.
    std::uint32_t Decode(std::uint8_t* output, std::int32_t packed_size, std::uint32_t limit,
                         LzwSource& source);

    Status status() const { return status_; }
    bool failed() const { return status_ == Status::Truncated || status_ == Status::Corrupt; }
    std::uint32_t width() const { return width_; }
    std::uint32_t next_code() const { return next_code_; }
    std::int32_t bytes_read() const { return bytes_read_; }

private:
    enum : std::uint32_t { kFresh = 0, kAfterResetLiteral = 1, kEmitting = 2 };

    bool ReadCode(std::uint32_t& code);
    void Refill();
    bool EmitStack();
    void AddEntry();
    void Stop(Status status) { status_ = status; }

    std::uint16_t prefix_[kTableSize];
    std::uint8_t suffix_[kTableSize];
    std::int32_t bytes_read_ = 0;
    std::int32_t packed_size_ = 0;
    std::uint32_t output_limit_ = 0;
    std::uint32_t state_ = kFresh;
    std::uint32_t current_code_ = 0;
    std::uint32_t previous_code_ = 0;
    std::uint32_t incoming_code_ = 0;
    std::uint32_t next_code_ = kFirstFreeCode;
    std::uint32_t width_limit_ = 512;
    std::uint32_t stack_depth_ = 0;
    std::uint32_t width_ = 9;
    std::uint32_t bit_position_ = 0;
    std::uint32_t output_count_ = 0;
    std::uint8_t stack_[kTableSize];
    static constexpr std::uint32_t kMasks[4] = {511, 1023, 2047, 4095};
    std::uint8_t first_byte_ = 0;
    std::uint8_t last_first_byte_ = 0;
    std::uint8_t input_[kInputBufferSize];
    std::uint32_t input_length_ = 0; // bytes of real data in input_
    bool source_exhausted_ = false;
    std::uint8_t* output_ = nullptr;
    LzwSource* source_ = nullptr;
    Status status_ = Status::Running;
};
