#include "tools/datakit/lzw_encoder.h"

#include <memory>

namespace datakit {

void LzwCodeWriter::put(std::uint32_t code, unsigned width)
{
    pending_ |= (code & ((1u << width) - 1)) << pending_bits_;
    pending_bits_ += width;
    while (pending_bits_ >= 8) {
        bytes_.push_back(static_cast<std::uint8_t>(pending_ & 0xFF));
        pending_ >>= 8;
        pending_bits_ -= 8;
    }
}

std::vector<std::uint8_t> LzwCodeWriter::finish()
{
    if (pending_bits_ > 0)
        bytes_.push_back(static_cast<std::uint8_t>(pending_ & 0xFF));
    pending_ = 0;
    pending_bits_ = 0;
    return std::move(bytes_);
}

namespace {

constexpr std::uint32_t kReset = 256;
constexpr std::uint32_t kEnd = 257;
constexpr std::uint32_t kFirstFree = 258;
constexpr std::uint32_t kTableSize = 4096;

// The encoder keeps its own dictionary and, beside it, the decoder's view of
// the stream: the decoder makes each table entry one code later than the
// encoder and makes none for the literal after a reset, so the code width is
// taken from that view, never from the encoder's own table size.
class Encoder {
public:
    Encoder() : children_(std::make_unique<std::uint16_t[]>(kTableSize * 256)) {}

    std::vector<std::uint8_t> run(std::span<const std::uint8_t> data)
    {
        if (data.empty()) {
            emit(kEnd);
            return out_.finish();
        }
        reset();
        std::uint32_t w = data[0];
        for (std::size_t i = 1; i < data.size(); ++i) {
            const std::uint8_t c = data[i];
            const std::uint16_t child = children_[w * 256 + c];
            if (child != 0) {
                w = child;
                continue;
            }
            emit(w);
            if (next_ < kTableSize) {
                children_[w * 256 + c] = static_cast<std::uint16_t>(next_);
                used_.push_back(w * 256 + c);
                ++next_;
            }
            w = c;
            if (next_ == kTableSize)
                reset();
        }
        emit(w);
        emit(kEnd);
        return out_.finish();
    }

private:
    void emit(std::uint32_t code)
    {
        out_.put(code, decoder_width_);
        if (code == kReset || code == kEnd)
            return;
        if (expect_literal_) {
            expect_literal_ = false;
            return;
        }
        if (decoder_next_ < kTableSize) {
            ++decoder_next_;
            if (decoder_next_ >= decoder_width_limit_ && decoder_width_ < 12) {
                ++decoder_width_;
                decoder_width_limit_ <<= 1;
            }
        }
    }

    void reset()
    {
        emit(kReset);
        decoder_width_ = 9;
        decoder_width_limit_ = 512;
        decoder_next_ = kFirstFree;
        expect_literal_ = true;
        for (std::uint32_t slot : used_)
            children_[slot] = 0;
        used_.clear();
        next_ = kFirstFree;
    }

    LzwCodeWriter out_;
    std::unique_ptr<std::uint16_t[]> children_; // [prefix code * 256 + byte] -> code, 0 = none
    std::vector<std::uint32_t> used_;
    std::uint32_t next_ = kFirstFree;
    unsigned decoder_width_ = 9;
    std::uint32_t decoder_width_limit_ = 512;
    std::uint32_t decoder_next_ = kFirstFree;
    bool expect_literal_ = false;
};

} // namespace

std::vector<std::uint8_t> lzw_encode(std::span<const std::uint8_t> data)
{
    Encoder encoder;
    return encoder.run(data);
}

} // namespace datakit
