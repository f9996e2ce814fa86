#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

using platform::ByteReader;
using platform::ByteWriter;
using platform::StringFit;

using Bytes = std::vector<std::uint8_t>;

TEST(ByteWriter, LaysOutEveryTypeLittleEndian)
{
    ByteWriter w;
    w.u8(0xAB);
    w.i8(-2);
    w.u16(0x1234);
    w.i16(-2);
    w.u32(0x12345678);
    w.i32(-2);
    w.f32(1.0f);
    w.f64(-2.0);
    w.zeros(2);
    EXPECT_EQ(w.bytes(), (Bytes{0xAB, 0xFE, 0x34, 0x12, 0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF,
                                0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0x00, 0xC0, 0, 0}));
}

TEST(ByteReader, EveryTypeRoundTripsThroughTheWriter)
{
    const float nan_bits = std::bit_cast<float>(0x7FC01234u);
    ByteWriter w;
    w.u8(0);
    w.u8(255);
    w.i8(-128);
    w.i8(127);
    w.u16(65535);
    w.i16(-32768);
    w.u32(0xFFFFFFFFu);
    w.i32(std::numeric_limits<std::int32_t>::min());
    w.u64(0x0123456789ABCDEFull);
    w.i64(-5);
    w.f32(-0.0f);
    w.f32(nan_bits);
    w.f32(3.14159274f);
    w.f64(std::numeric_limits<double>::denorm_min());
    w.f64(-1.0e300);
    const std::uint8_t raw[3] = {9, 8, 7};
    w.bytes(raw, 3);
    w.fixed_string("Misano", 12);

    ByteReader r(w.bytes());
    EXPECT_EQ(r.u8(), 0);
    EXPECT_EQ(r.u8(), 255);
    EXPECT_EQ(r.i8(), -128);
    EXPECT_EQ(r.i8(), 127);
    EXPECT_EQ(r.u16(), 65535);
    EXPECT_EQ(r.i16(), -32768);
    EXPECT_EQ(r.u32(), 0xFFFFFFFFu);
    EXPECT_EQ(r.i32(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(r.u64(), 0x0123456789ABCDEFull);
    EXPECT_EQ(r.i64(), -5);
    // Floats keep their exact bits, sign of zero and NaN payload included.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(r.f32()), 0x80000000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(r.f32()), 0x7FC01234u);
    EXPECT_EQ(r.f32(), 3.14159274f);
    EXPECT_EQ(r.f64(), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(r.f64(), -1.0e300);
    std::uint8_t back[3] = {};
    EXPECT_TRUE(r.bytes(back, 3));
    EXPECT_EQ(back[2], 7);
    bool terminated = false;
    EXPECT_EQ(r.fixed_string(12, &terminated), "Misano");
    EXPECT_TRUE(terminated);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 0u);
}

TEST(ByteReader, ReadPastTheEndReadsNothingAndStaysFailed)
{
    const Bytes data{1, 2, 3};
    ByteReader r(data);
    EXPECT_EQ(r.u16(), 0x0201);
    EXPECT_EQ(r.u32(), 0u);   // 1 byte left: nothing read
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.position(), 2u);
    // Sticky: a read that would fit now returns 0 too.
    EXPECT_EQ(r.u8(), 0);
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_FALSE(r.seek(0));

    ByteReader b(data);
    std::uint8_t dst[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_FALSE(b.bytes(dst, 4));
    EXPECT_EQ(dst[0], 0xEE);
    bool terminated = true;
    EXPECT_EQ(ByteReader(data).fixed_string(4, &terminated), "");
    EXPECT_FALSE(terminated);

    // Huge counts (as a corrupt header would give) cannot wrap around.
    ByteReader h(data);
    h.u8();
    EXPECT_FALSE(h.skip(std::numeric_limits<std::size_t>::max()));
    EXPECT_FALSE(h.ok());
}

TEST(ByteReader, SeekSkipAndViewStayInsideTheData)
{
    const Bytes data{10, 11, 12, 13, 14};
    ByteReader r(data);
    EXPECT_TRUE(r.seek(5));   // the end itself is a valid place
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_TRUE(r.seek(1));
    EXPECT_TRUE(r.skip(2));
    EXPECT_EQ(r.u8(), 13);
    auto v = r.view(1);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0], 14);
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(r.has(1));
    EXPECT_TRUE(r.view(1).empty());
    EXPECT_FALSE(r.ok());

    ByteReader s(data);
    EXPECT_FALSE(s.seek(6));
    EXPECT_FALSE(s.ok());
}

TEST(ByteReader, FixedStringStopsAtTheFirstZero)
{
    struct Case {
        Bytes field;
        std::string text;
        bool terminated;
    };
    const Case cases[] = {
        {{'a', 'b', 'c', 0, 'x', 'y'}, "abc", true},
        {{'a', 'b', 'c', 'd'}, "abcd", false},
        {{0, 'z', 'z'}, "", true},
        {{}, "", false},
    };
    for (const auto& c : cases) {
        ByteReader r(c.field);
        bool terminated = !c.terminated;
        EXPECT_EQ(r.fixed_string(c.field.size(), &terminated), c.text);
        EXPECT_EQ(terminated, c.terminated) << c.text;
        EXPECT_EQ(r.position(), c.field.size());
    }
}

TEST(ByteWriter, FixedStringFieldsAreCutAndZeroPadded)
{
    struct Case {
        std::string_view text;
        std::size_t size;
        StringFit fit;
        Bytes expected;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {"ab", 4, StringFit::Terminated, {'a', 'b', 0, 0}},
        {"abcd", 4, StringFit::Terminated, {'a', 'b', 'c', 0}},
        {"abcdef", 4, StringFit::MayFill, {'a', 'b', 'c', 'd'}},
        {"abc", 4, StringFit::MayFill, {'a', 'b', 'c', 0}},
        {"a\0bc"sv, 4, StringFit::MayFill, {'a', 0, 0, 0}},   // never past the terminator
        {"abc", 0, StringFit::Terminated, {}},
        {"", 2, StringFit::Terminated, {0, 0}},
    };
    for (const auto& c : cases) {
        ByteWriter w;
        w.fixed_string(c.text, c.size, c.fit);
        EXPECT_EQ(w.bytes(), c.expected) << c.text << " in " << c.size;
    }
}

TEST(ByteWriter, PatchesAWordAlreadyWrittenAndAppendsToTheCallersVector)
{
    Bytes out{0xAA};
    ByteWriter w(out);
    const std::size_t size_slot = w.position();
    EXPECT_EQ(size_slot, 1u);
    w.u32(0);
    w.u16(7);
    EXPECT_TRUE(w.patch_u32(size_slot, 0xDEADBEEF));
    EXPECT_FALSE(w.patch_u32(4, 1));   // would run past the end
    EXPECT_FALSE(w.patch_u32(100, 1));
    EXPECT_EQ(out, (Bytes{0xAA, 0xEF, 0xBE, 0xAD, 0xDE, 7, 0}));
}
