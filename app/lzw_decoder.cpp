#include "app/lzw_decoder.h"

#include <algorithm>
#include <cstring>

std::size_t LzwMemorySource::ReadBytes(std::uint8_t* destination, std::size_t count)
{
    const std::size_t n = std::min(count, size_ - position_);
    if (n > 0) {
        std::memcpy(destination, data_ + position_, n);
        position_ += n;
    }
    return n;
}

LzwDecoder::LzwDecoder()
{
    std::memset(prefix_, 0, sizeof prefix_);
    std::memset(suffix_, 0, sizeof suffix_);
    std::memset(stack_, 0, sizeof stack_);
    std::memset(input_, 0, sizeof input_);
}

// Keeps at least 5 unread bytes in the input buffer while the entry has more:
// the unread tail moves to the front and the rest is filled from the source.
void LzwDecoder::Refill()
{
    const std::uint32_t byte_index = bit_position_ / 8;
    if (input_length_ - byte_index >= 5 || source_exhausted_)
        return;
    const std::uint32_t kept = input_length_ - byte_index;
    std::memmove(input_, input_ + byte_index, kept);
    input_length_ = kept;
    bit_position_ %= 8;
    const std::int64_t wanted = std::min<std::int64_t>(kInputBufferSize - kept,
                                                       std::int64_t{packed_size_} - bytes_read_);
    if (wanted <= 0) {
        source_exhausted_ = true;
        return;
    }
    const std::size_t got = source_->ReadBytes(input_ + kept, static_cast<std::size_t>(wanted));
    bytes_read_ += static_cast<std::int32_t>(got);
    input_length_ += static_cast<std::uint32_t>(got);
    if (got < static_cast<std::size_t>(wanted))
        source_exhausted_ = true;
}

bool LzwDecoder::ReadCode(std::uint32_t& code)
{
    Refill();
    if (bit_position_ + width_ > input_length_ * 8) {
        Stop(Status::Truncated);
        return false;
    }
    const std::uint32_t byte_index = bit_position_ / 8;
    std::uint32_t bits = 0;
    for (std::uint32_t i = 0; i < 3 && byte_index + i < input_length_; ++i)
        bits |= std::uint32_t{input_[byte_index + i]} << (8 * i);
    code = (bits >> (bit_position_ % 8)) & kMasks[width_ - 9];
    bit_position_ += width_;
    return true;
}

// Pops the waiting string to the output; false when the call's limit was
// reached (the rest follows at the next call).
bool LzwDecoder::EmitStack()
{
    while (stack_depth_ > 0) {
        output_[output_count_++] = stack_[--stack_depth_];
        if (output_count_ == output_limit_) {
            state_ = kEmitting;
            return false;
        }
    }
    return true;
}

void LzwDecoder::AddEntry()
{
    if (next_code_ < kTableSize) {
        prefix_[next_code_] = static_cast<std::uint16_t>(previous_code_);
        suffix_[next_code_] = last_first_byte_;
        ++next_code_;
        if (next_code_ >= width_limit_ && width_ < 12) {
            ++width_;
            width_limit_ <<= 1;
        }
    }
    previous_code_ = incoming_code_;
}

std::uint32_t LzwDecoder::Decode(std::uint8_t* output, std::int32_t packed_size, std::uint32_t limit,
                                 LzwSource& source)
{
    output_ = output;
    output_limit_ = limit;
    source_ = &source;
    packed_size_ = std::max<std::int32_t>(packed_size, 0);
    output_count_ = 0;
    if (status_ != Status::Running || limit == 0)
        return 0;

    if (state_ == kFresh) {
        const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(packed_size_), kInputBufferSize);
        const std::size_t got = wanted > 0 ? source.ReadBytes(input_, wanted) : 0;
        input_length_ = static_cast<std::uint32_t>(got);
        bytes_read_ = static_cast<std::int32_t>(got);
        source_exhausted_ = got < wanted || bytes_read_ >= packed_size_;
        previous_code_ = 0;
        state_ = kAfterResetLiteral;
    }

    for (;;) {
        if (state_ == kEmitting) {
            if (!EmitStack())
                return output_count_;
            AddEntry();
            state_ = kAfterResetLiteral;
        }

        std::uint32_t code = 0;
        if (!ReadCode(code))
            return output_count_;
        if (code == kEndCode) {
            Stop(Status::Ended);
            return output_count_;
        }
        if (code == kResetCode) {
            width_ = 9;
            width_limit_ = 512;
            next_code_ = kFirstFreeCode;
            if (!ReadCode(code))
                return output_count_;
            if (code == kEndCode) {
                Stop(Status::Ended);
                return output_count_;
            }
            if (code > 255) {
                Stop(Status::Corrupt);
                return output_count_;
            }
            current_code_ = previous_code_ = code;
            first_byte_ = last_first_byte_ = static_cast<std::uint8_t>(code);
            output_[output_count_++] = static_cast<std::uint8_t>(code);
            if (output_count_ == output_limit_) {
                state_ = kAfterResetLiteral;
                return output_count_;
            }
            continue;
        }

        // A code may name at most the entry about to be made (the string
        // that begins and ends with the same byte); anything further on
        // cannot come from the encoder.
        if (code > next_code_ || code >= kTableSize) {
            Stop(Status::Corrupt);
            return output_count_;
        }
        current_code_ = incoming_code_ = code;
        if (code == next_code_) {
            stack_[stack_depth_++] = last_first_byte_;
            current_code_ = previous_code_;
        }
        while (current_code_ > 255) {
            // Every entry's prefix is an older code, so a chain ends within
            // the table; a longer one (or a reserved code) is damage.
            if (stack_depth_ >= kTableSize - 1 || current_code_ == kResetCode ||
                current_code_ == kEndCode || current_code_ >= next_code_) {
                stack_depth_ = 0;
                Stop(Status::Corrupt);
                return output_count_;
            }
            stack_[stack_depth_++] = suffix_[current_code_];
            current_code_ = prefix_[current_code_];
        }
        first_byte_ = last_first_byte_ = static_cast<std::uint8_t>(current_code_);
        stack_[stack_depth_++] = first_byte_;
        state_ = kEmitting;
    }
}
