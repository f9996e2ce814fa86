#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/lzw_decoder.h"
#include "app/mix_directory.h"
#include "tools/datakit/lzw_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// Decodes a whole stream in calls of `piece` bytes (0: one call whose limit
// is the expected size plus one).
Bytes decode(const Bytes& packed, std::size_t expected, std::size_t piece, LzwDecoder::Status* status = nullptr)
{
    LzwMemorySource source(packed.data(), packed.size());
    LzwDecoder decoder;
    Bytes out(expected + 1 + piece);
    std::size_t total = 0;
    if (piece == 0) {
        total = decoder.Decode(out.data(), static_cast<std::int32_t>(packed.size()),
                               static_cast<std::uint32_t>(expected + 1), source);
    } else {
        while (total < expected + 1) {
            const std::uint32_t got = decoder.Decode(out.data() + total, static_cast<std::int32_t>(packed.size()),
                                                     static_cast<std::uint32_t>(piece), source);
            total += got;
            if (got < piece)
                break;
        }
    }
    if (status)
        *status = decoder.status();
    out.resize(total);
    return out;
}

Bytes random_bytes(std::size_t n, unsigned seed, int alphabet)
{
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(alphabet));
    return out;
}

// Widths the decoder reads codes at: the j-th code after a reset's literal
// (j = 1, 2, ...) is read after j - 1 table entries were made.
unsigned width_for(std::uint32_t entries_made)
{
    const std::uint32_t next = 258 + entries_made;
    if (next < 512)
        return 9;
    if (next < 1024)
        return 10;
    if (next < 2048)
        return 11;
    return 12;
}

} // namespace

TEST(LzwDecoder, ResetLiteralEndYieldsOneByte)
{
    datakit::LzwCodeWriter writer;
    writer.put(256, 9);
    writer.put('Q', 9);
    writer.put(257, 9);
    const Bytes packed = writer.finish();
    LzwDecoder::Status status;
    EXPECT_EQ(decode(packed, 1, 0, &status), bytes_of("Q"));
    EXPECT_EQ(status, LzwDecoder::Status::Ended);
    EXPECT_EQ(datakit::lzw_encode(bytes_of("Q")), packed);
}

TEST(LzwDecoder, CodeEqualToNextCodeRepeatsTheFirstByte)
{
    // "aaaaaa": literal a, then 258 ("aa", not yet in the table when read),
    // then 259 ("aaa"), the case of a string beginning and ending alike.
    datakit::LzwCodeWriter writer;
    writer.put(256, 9);
    writer.put('a', 9);
    writer.put(258, 9);
    writer.put(259, 9);
    writer.put(257, 9);
    EXPECT_EQ(decode(writer.finish(), 6, 0), bytes_of("aaaaaa"));
    EXPECT_EQ(decode(datakit::lzw_encode(bytes_of("abababababab")), 12, 0), bytes_of("abababababab"));
}

TEST(LzwDecoder, RoundTripsInAnyPieceSize)
{
    struct Case {
        const char* what;
        Bytes data;
    };
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "BIKE_SPEED f1.5 i" + std::to_string(i) + " sAbc # comment\r\n";
    const Case cases[] = {
        {"empty", {}},
        {"one byte", bytes_of("x")},
        {"text", bytes_of(text)},
        {"all zeros", Bytes(20000, 0)},
        {"random, small alphabet", random_bytes(60000, 1, 4)},
        {"random bytes (table fills and resets)", random_bytes(70000, 2, 256)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes packed = datakit::lzw_encode(c.data);
        for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
            SCOPED_TRACE(piece);
            LzwDecoder::Status status;
            EXPECT_EQ(decode(packed, c.data.size(), piece, &status), c.data);
            EXPECT_EQ(status, LzwDecoder::Status::Ended);
        }
    }
}

TEST(LzwDecoder, WidthsGrowAt512And1024And2048AndStayAt12)
{
    // Random bytes make a new entry with nearly every code; watch the width
    // against the next free code while decoding byte by byte.
    const Bytes data = random_bytes(9000, 3, 256);
    const Bytes packed = datakit::lzw_encode(data);
    LzwMemorySource source(packed.data(), packed.size());
    LzwDecoder decoder;
    std::uint8_t byte;
    unsigned widest = 9;
    bool saw[13] = {};
    for (std::size_t i = 0; i < data.size(); ++i) {
        ASSERT_EQ(decoder.Decode(&byte, static_cast<std::int32_t>(packed.size()), 1, source), 1u);
        ASSERT_EQ(byte, data[i]);
        const std::uint32_t next = decoder.next_code();
        const unsigned expected = next < 512 ? 9 : next < 1024 ? 10 : next < 2048 ? 11 : 12;
        ASSERT_EQ(decoder.width(), expected) << "next code " << next;
        ASSERT_LE(next, 4096u);
        saw[decoder.width()] = true;
        widest = std::max(widest, decoder.width());
    }
    EXPECT_TRUE(saw[9] && saw[10] && saw[11] && saw[12]);
    EXPECT_EQ(widest, 12u);
}

TEST(LzwDecoder, FullTableStaysFrozenUntilAReset)
{
    // Without a reset the table fills at 4096 entries; later codes are read
    // at 12 bits and use the table as it is.
    datakit::LzwCodeWriter writer;
    Bytes expected;
    writer.put(256, 9);
    writer.put('a', 9);
    expected.push_back('a');
    for (std::uint32_t j = 1; j <= 4000; ++j) {
        writer.put('b', width_for(j - 1 > 3838 ? 3838 : j - 1));
        expected.push_back('b');
    }
    writer.put(258, 12); // entry 258 is "ab"
    expected.push_back('a');
    expected.push_back('b');
    writer.put(257, 12);
    LzwDecoder::Status status;
    EXPECT_EQ(decode(writer.finish(), expected.size(), 0, &status), expected);
    EXPECT_EQ(status, LzwDecoder::Status::Ended);
}

TEST(LzwDecoder, DamagedStreamsStopAndSaySo)
{
    auto stream = [](std::initializer_list<std::uint32_t> codes) {
        datakit::LzwCodeWriter writer;
        for (std::uint32_t code : codes)
            writer.put(code, 9);
        return writer.finish();
    };
    const std::string text = "the quick brown fox jumps over the lazy dog the end";
    Bytes good = datakit::lzw_encode(bytes_of(text));
    Bytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    struct Case {
        const char* what;
        Bytes packed;
        LzwDecoder::Status status;
        std::size_t max_output;
    };
    const Case cases[] = {
        {"code beyond the next free code", stream({256, 'a', 300, 257}), LzwDecoder::Status::Corrupt, 1},
        {"first code a table entry", stream({400}), LzwDecoder::Status::Corrupt, 0},
        {"table entry right after a reset", stream({256, 258, 257}), LzwDecoder::Status::Corrupt, 0},
        {"reset code after a reset", stream({256, 256, 257}), LzwDecoder::Status::Corrupt, 0},
        {"no end code", stream({256, 'a', 'b'}), LzwDecoder::Status::Truncated, 2},
        {"truncated stream", truncated, LzwDecoder::Status::Truncated, text.size()},
        {"empty stream", {}, LzwDecoder::Status::Truncated, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::size_t piece : {std::size_t{0}, std::size_t{1}}) {
            LzwDecoder::Status status;
            const Bytes out = decode(c.packed, 100, piece, &status);
            EXPECT_EQ(status, c.status);
            EXPECT_LE(out.size(), c.max_output);
        }
    }
}

TEST(LzwDecoder, StopsForGoodAfterTheEndOrDamage)
{
    const Bytes packed = datakit::lzw_encode(bytes_of("abc"));
    LzwMemorySource source(packed.data(), packed.size());
    LzwDecoder decoder;
    std::uint8_t out[16];
    EXPECT_EQ(decoder.Decode(out, static_cast<std::int32_t>(packed.size()), 0, source), 0u);
    EXPECT_EQ(decoder.Decode(out, static_cast<std::int32_t>(packed.size()), 16, source), 3u);
    EXPECT_EQ(decoder.status(), LzwDecoder::Status::Ended);
    EXPECT_EQ(decoder.Decode(out, static_cast<std::int32_t>(packed.size()), 16, source), 0u);
}

TEST(LzwDecoder, PackedSizeLimitsWhatIsRead)
{
    // Bytes after the entry's packed size belong to someone else.
    Bytes packed = datakit::lzw_encode(bytes_of("hello hello hello"));
    const std::size_t packed_size = packed.size();
    packed.insert(packed.end(), 2000, 0xFF);
    LzwMemorySource source(packed.data(), packed.size());
    LzwDecoder decoder;
    std::uint8_t out[64];
    EXPECT_EQ(decoder.Decode(out, static_cast<std::int32_t>(packed_size), 64, source), 17u);
    EXPECT_EQ(decoder.bytes_read(), static_cast<std::int32_t>(packed_size));
}

TEST(LzwDecoder, RandomGarbageNeverOverrunsTheOutput)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        Bytes packed = random_bytes(1 + rng() % 3000, static_cast<unsigned>(round), 256);
        if (round % 2 == 0) { // start like a real stream
            packed[0] = 0x00;
            packed[1] = static_cast<std::uint8_t>((packed[1] & 0xFE) | 0x01);
        }
        const std::size_t limit = 1 + rng() % 5000;
        LzwMemorySource source(packed.data(), packed.size());
        LzwDecoder decoder;
        Bytes out(limit);
        std::size_t total = 0;
        for (int calls = 0; calls < 10000 && total < limit; ++calls) {
            const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::size_t>(1 + rng() % 64, limit - total));
            const std::uint32_t got = decoder.Decode(out.data() + total, static_cast<std::int32_t>(packed.size()),
                                                     piece, source);
            ASSERT_LE(got, piece);
            total += got;
            if (got < piece)
                break;
        }
        EXPECT_LE(total, limit);
    }
}

TEST(LzwDecoder, ExpansionStaysWithinTheBoundArchivesAreCheckedAgainst)
{
    // One repeated byte expands the most: each code one byte longer.
    for (std::size_t n : {std::size_t{1}, std::size_t{1000}, std::size_t{100000}, std::size_t{8000000}}) {
        const Bytes packed = datakit::lzw_encode(Bytes(n, 'z'));
        EXPECT_LE(n, MaxLzwOutput(packed.size())) << n;
    }
    // Hand-made: after a reset, codes 258, 259, ... each repeat the string
    // so far, until the table is full; then the longest entry over and over.
    datakit::LzwCodeWriter writer;
    writer.put(256, 9);
    writer.put('z', 9);
    std::uint64_t total = 1;
    for (std::uint32_t j = 1; j <= 3838; ++j) {
        writer.put(257 + j, width_for(j - 1));
        total += j + 1;
    }
    for (int k = 0; k < 1000; ++k) {
        writer.put(4095, 12);
        total += 3839;
    }
    writer.put(257, 12);
    const Bytes packed = writer.finish();
    EXPECT_EQ(decode(packed, total, 0).size(), total);
    EXPECT_LE(total, MaxLzwOutput(packed.size()));
}
