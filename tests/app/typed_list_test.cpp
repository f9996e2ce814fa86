#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/typed_list.h"
#include "tests/app/text_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/typed_list_writer.h"

using datakit::TypedField;
using text_fixture::Storage;
using text_fixture::TextFiles;

namespace {

// A record with one field of each type, laid out in the list's field order.
struct AllKinds {
    std::int32_t number;    // i
    std::uint32_t mask;     // x
    float speed;            // f
    float constant_float;   // #f
    std::int32_t constant_int; // #i
    std::int32_t flag;      // b
    double precise;         // d
    char name[32];          // s
};
static_assert(offsetof(AllKinds, number) == 0);
static_assert(offsetof(AllKinds, mask) == 4);
static_assert(offsetof(AllKinds, speed) == 8);
static_assert(offsetof(AllKinds, constant_float) == 12);
static_assert(offsetof(AllKinds, constant_int) == 16);
static_assert(offsetof(AllKinds, flag) == 20);
static_assert(offsetof(AllKinds, precise) == 24);
static_assert(offsetof(AllKinds, name) == 32);
static_assert(sizeof(AllKinds) == 64);

struct Basic {
    float value;
    std::int32_t count;
    char name[32];
};
static_assert(offsetof(Basic, count) == 4 && offsetof(Basic, name) == 8 && sizeof(Basic) == 40);

class TypedListTest : public text_fixture::StoredTextTest {
protected:
    TypedListTest() : StoredTextTest("typed") {}
};

} // namespace

TEST_P(TypedListTest, RoundTripOfEveryFieldType)
{
    datakit::TypedListWriter writer;
    writer.constant("SPEED", 12.5f).constant_hex("MASK", 0x1F).constant("NEG", -7.75f);
    writer.begin_list("OTHER").record({TypedField::i(99)}).end_list();
    writer.begin_list("Bikes");
    writer.record({TypedField::i(-5), TypedField::x(0xDEADBEEF), TypedField::f(3.14159274f),
                   TypedField::constant('f', "speed"), TypedField::constant('i', "SPEED"), TypedField::b(true),
                   TypedField::d(0.1), TypedField::s("Falco")});
    writer.comment("the second bike");
    writer.record({TypedField::i(2147483647), TypedField::x(0), TypedField::f(-0.0f),
                   TypedField::constant('F', "MASK"), TypedField::constant('i', "NEG"), TypedField::b(false),
                   TypedField::d(-1e300), TypedField::s("0123456789012345678901234567890")});
    writer.end_list();
    Place("Data\\Info.dat", writer);

    std::array<AllKinds, 4> records{};
    TypedListReport report;
    ASSERT_EQ(ReadTypedList("Data\\Info.dat", "BIKES", std::span(records), sizeof(AllKinds), &report), 2);
    EXPECT_EQ(report.records_skipped, 0);
    EXPECT_EQ(records[0].number, -5);
    EXPECT_EQ(records[0].mask, 0xDEADBEEFu);
    EXPECT_EQ(records[0].speed, 3.14159274f);
    EXPECT_EQ(records[0].constant_float, 12.5f);
    EXPECT_EQ(records[0].constant_int, 12);
    EXPECT_EQ(records[0].flag, 1);
    EXPECT_EQ(records[0].precise, 0.1);
    EXPECT_STREQ(records[0].name, "Falco");
    EXPECT_EQ(records[1].number, 2147483647);
    EXPECT_TRUE(std::signbit(records[1].speed));
    EXPECT_EQ(records[1].constant_float, 31.0f);
    EXPECT_EQ(records[1].constant_int, -7);
    EXPECT_EQ(records[1].flag, 0);
    EXPECT_EQ(records[1].precise, -1e300);
    EXPECT_STREQ(records[1].name, "0123456789012345678901234567890");

    ASSERT_EQ(ReadTypedList("Data\\Info.dat", "other", std::span(records), 4), 1);
    EXPECT_EQ(records[0].number, 99);
    EXPECT_EQ(ReadTypedList("Data\\Info.dat", "NOSUCH", std::span(records)), 0);
    EXPECT_EQ(ReadTypedList("Data\\Missing.dat", "BIKES", std::span(records)), 0);
}

TEST_P(TypedListTest, TheListOfThreeFieldsFillsOneRecord)
{
    Place("Data\\Basic.dat", "LIST\n f1.5 i3 sABC\nEND_LIST\n");
    Basic records[2];
    std::memset(records, 0x55, sizeof records);
    ASSERT_EQ(ReadTypedList("Data\\Basic.dat", "list", std::span(records)), 1);
    EXPECT_EQ(records[0].value, 1.5f);
    EXPECT_EQ(records[0].count, 3);
    EXPECT_STREQ(records[0].name, "ABC");
    EXPECT_EQ(records[0].name[31], 0); // the string field is zero-filled
    EXPECT_EQ(records[1].count, 0x55555555); // untouched
}

TEST_P(TypedListTest, FlagsAndPartRecords)
{
    // Record size 8: two floats make a record; the third starts one that is
    // not complete and not counted.
    Place("Data\\Flags.dat", "FLAGS bON bon bOFF bYes\nEND_LIST\nFLOATS f1 f2 f3 end_list\n");
    std::int32_t flags[4];
    std::memset(flags, 0xFF, sizeof flags);
    ASSERT_EQ(ReadTypedList("Data\\Flags.dat", "FLAGS", std::span(flags)), 4);
    EXPECT_EQ(flags[0], 1);
    EXPECT_EQ(flags[1], 1);
    EXPECT_EQ(flags[2], 0);
    EXPECT_EQ(flags[3], 0);

    float floats[4] = {0, 0, 0, 0};
    EXPECT_EQ(ReadTypedList("Data\\Flags.dat", "FLOATS", floats, 8, 8, 2), 1);
    EXPECT_EQ(floats[0], 1.0f);
    EXPECT_EQ(floats[1], 2.0f);
    EXPECT_EQ(floats[2], 3.0f);
}

TEST_P(TypedListTest, CommentsAndStridesAndUnknownTypes)
{
    // A "*" ends its line only; the stride leaves a gap after each record.
    Place("Data\\Gap.dat", "GAP\ni1 * note i99\ni2 q7 *\ni3\nEND_LIST\n");
    std::int32_t slots[6];
    std::memset(slots, 0, sizeof slots);
    ASSERT_EQ(ReadTypedList("Data\\Gap.dat", "GAP", slots, 4, 8, 3), 3);
    EXPECT_EQ(slots[0], 1);
    EXPECT_EQ(slots[2], 2);
    EXPECT_EQ(slots[4], 3);
    EXPECT_EQ(slots[1] | slots[3] | slots[5], 0);
}

TEST_P(TypedListTest, RecordsBeyondTheCapacityAreSkippedAndReported)
{
    datakit::TypedListWriter writer;
    writer.begin_list("MANY");
    for (int i = 0; i < 10; ++i) writer.record({TypedField::i(i), TypedField::f(static_cast<float>(i))});
    writer.end_list();
    Place("Data\\Many.dat", writer);

    struct Pair {
        std::int32_t i;
        float f;
    };
    Pair storage[5];
    std::memset(storage, 0x77, sizeof storage);
    TypedListReport report;
    ASSERT_EQ(ReadTypedList("Data\\Many.dat", "MANY", std::span(storage).first(3), sizeof(Pair), &report), 3);
    EXPECT_EQ(report.records_skipped, 7);
    EXPECT_EQ(storage[2].i, 2);
    EXPECT_EQ(storage[3].i, 0x77777777); // never written
    EXPECT_EQ(storage[4].i, 0x77777777);

    EXPECT_EQ(ReadTypedList("Data\\Many.dat", "MANY", nullptr, 8, 8, 0, &report), 0);
    EXPECT_EQ(report.records_skipped, 10);
}

TEST_P(TypedListTest, ConstantsBeyondTheTableAreIgnored)
{
    datakit::TypedListWriter writer;
    for (int i = 0; i < 256; ++i) writer.constant("C" + std::to_string(i), static_cast<float>(i));
    writer.constant("C7", 1000.0f); // already defined: keeps its first value
    writer.constant("LATE", 5.0f);  // the 257th
    writer.constant("A_NAME_LONGER_THAN_THIRTY_ONE_CHARACTERS", 3.0f);
    writer.begin_list("L")
        .record({TypedField::constant('f', "C255"), TypedField::constant('f', "C7"), TypedField::constant('f', "LATE"),
                 TypedField::constant('i', "NONE")})
        .end_list();
    Place("Data\\Const.dat", writer);
    float values[4];
    TypedListReport report;
    ASSERT_EQ(ReadTypedList("Data\\Const.dat", "L", values, 16, 16, 1, &report), 1);
    EXPECT_EQ(values[0], 255.0f);
    EXPECT_EQ(values[1], 7.0f);
    EXPECT_EQ(values[2], 0.0f);
    std::int32_t none = -1;
    std::memcpy(&none, &values[3], 4);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(report.constants_ignored, 2);
}

// Damaged list files: each row gives the text, the record layout and the
// records it yields; every read stays inside the caller's array.
TEST_P(TypedListTest, DamagedListsYieldWhatFits)
{
    const std::string long_word(700, 'z');
    struct Case {
        const char* name;
        std::string text;
        int record_size;
        int stride;
        int capacity;
        int expected;
        int skipped;
        int not_fitting;
    };
    const Case cases[] = {
        {"empty", "", 4, 4, 4, 0, 0, 0},
        {"cut before the list", "#A 1\n#B", 4, 4, 4, 0, 0, 0},
        {"no end marker", "L i1 i2 i3", 4, 4, 4, 3, 0, 0},
        {"cut in a field", "L i1 i2 i", 4, 4, 4, 3, 0, 0},
        {"more than fits", "L i1 i2 i3 i4 i5 i6", 4, 4, 2, 2, 4, 0},
        {"string past the stride", "L sLONGNAME i1", 8, 8, 4, 1, 0, 1},
        {"double past the stride", "L f1 d2", 8, 8, 1, 1, 0, 1},
        {"overlong words", "L s" + long_word + " f" + long_word + " i1", 40, 40, 1, 1, 0, 0},
        {"unknown types only", "L q1 z2 ?3 *\nEND_LIST", 4, 4, 4, 0, 0, 0},
        {"constant without a name", "# \nL #f #i #\nEND_LIST", 4, 4, 4, 3, 0, 0},
        {"stride below the record size", "L i1 i2", 8, 4, 4, 0, 0, 0},
        {"record size zero", "L i1 i2", 0, 4, 4, 0, 0, 0},
        {"negative capacity", "L i1", 4, 4, -1, 0, 0, 0},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string path = "Data\\bad" + std::to_string(index++) + ".dat";
        Place(path, c.text);
        // Guard bytes around the array show any write outside it.
        std::vector<std::uint8_t> memory(64 + 8 * 64 + 64, 0xCD);
        std::uint8_t* records = memory.data() + 64;
        TypedListReport report;
        const int capacity = c.capacity;
        EXPECT_EQ(ReadTypedList(path.c_str(), "L", records, c.record_size, c.stride, capacity, &report), c.expected)
            << c.name;
        EXPECT_EQ(report.records_skipped, c.skipped) << c.name;
        EXPECT_EQ(report.fields_not_fitting, c.not_fitting) << c.name;
        const std::size_t used = capacity > 0 ? static_cast<std::size_t>(capacity) * static_cast<std::size_t>(c.stride) : 0;
        for (std::size_t i = 0; i < 64; ++i) ASSERT_EQ(memory[i], 0xCD) << c.name;
        for (std::size_t i = 64 + used; i < memory.size(); ++i) ASSERT_EQ(memory[i], 0xCD) << c.name << " at " << i;
    }
}

TEST(TypedList, WordModes)
{
    TextSource source;
    source.attach_bytes("  first  word\tand rest \r\nnext line\n\n");
    char buffer[256];
    ASSERT_TRUE(ReadWord(source, buffer, kReadWord));
    EXPECT_STREQ(buffer, "first");
    ASSERT_TRUE(ReadWord(source, buffer, kReadRestOfLine));
    EXPECT_STREQ(buffer, "  word\tand rest ");
    ASSERT_TRUE(ReadWord(source, buffer, kReadWord));
    EXPECT_STREQ(buffer, "next");
    ASSERT_TRUE(ReadWord(source, buffer, kReadRestOfLineNoBlanks));
    EXPECT_STREQ(buffer, "line");
    ASSERT_TRUE(ReadWord(source, buffer, kReadRestOfLine));
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(ReadWord(source, buffer, kReadWord));
    EXPECT_FALSE(ReadWord(source, buffer, kReadRestOfLine));

    source.attach_bytes("abcdefgh");
    char small[4];
    ASSERT_TRUE(ReadWord(source, small, kReadWord, sizeof small));
    EXPECT_STREQ(small, "abc");
    EXPECT_TRUE(source.at_end());
}

TEST(TypedList, ConstantsTable)
{
    ListConstant table[kMaxListConstants];
    TextSource source;
    source.attach_bytes(" 12.5\n x1f \n  -3 # note\n 99\nX10\n\n");
    int count = DefineConstant("SPEED", table, 0, source);
    count = DefineConstant("Mask", table, count, source);
    count = DefineConstant("neg", table, count, source);
    count = DefineConstant("speed", table, count, source); // defined already
    count = DefineConstant("BIG", table, count, source);
    count = DefineConstant("EMPTY", table, count, source);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(LookupConstant("speed", table, count), 12.5f);
    EXPECT_EQ(LookupConstant("MASK", table, count), 31.0f);
    EXPECT_EQ(LookupConstant("NEG", table, count), -3.0f);
    EXPECT_EQ(LookupConstant("big", table, count), 16.0f);
    EXPECT_EQ(LookupConstant("empty", table, count), 0.0f);
    EXPECT_EQ(LookupConstant("unknown", table, count), 0.0f);
}
INSTANTIATE_TEST_SUITE_P(Sources, TypedListTest, text_fixture::kAllStorages, text_fixture::storage_name);
