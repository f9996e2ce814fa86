#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/base/error_box.h"
#include "engine/base/name_hash.h"
#include "platform/message_box.h"

TEST(NameHash, FixedValues)
{
    struct Case {
        const char* name;
        std::uint32_t hash;
    };
    const Case cases[] = {
        {"", 0xCFCFCFD0u},        // the first word is always added
        {"A", 0xCFCFD011u},
        {"a", 0xCFCFD011u},       // case does not count
        {"ABCD", 0x14131211u},    // four characters: one word
        {"BACK", 0x1B131112u},
        {"ABCDE", 0x714920ECu},   // five: two words, the second mostly zero
        {"abcd_x", 0x744C13B2u},  // the fourth character is not '_': no skip
        {"ABCD_X", 0x744C13B2u},
        {"WHEEL", 0xBC95714Bu},
        {"ABC_WHEEL", 0xBC95714Bu},  // a family prefix does not count
        {"XYZ_WHEEL", 0xBC95714Bu},
        {"SEMAFORO", 0xCB1FD42Du},
        {"AFA_SEMAFORO", 0xCB1FD42Du},
        {"_ABC", 0x1312112Fu},    // length 4: never skipped
        {"ABC_", 0x2F131211u},
        {"ABC_D", 0xCFCFD014u},   // length 5: skipped, "D" alone
        {"Ruota_Anteriore.01", 0xFB59ED04u},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 0x191AD49Du},  // 32 characters
    };
    for (const Case& c : cases)
        EXPECT_EQ(name_hash(c.name), c.hash) << '"' << c.name << '"';
}

TEST(NameHash, LongNamesCountTheirFirst36CharactersAndReadNoFurther)
{
    // Exactly 36 characters, and longer names that agree in those 36.
    const std::string name36 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    EXPECT_EQ(name_hash(name36.c_str()), 0x78E6FB63u);
    EXPECT_EQ(name_hash((name36 + "XYZW").c_str()), 0x78E6FB63u);
    EXPECT_EQ(name_hash((name36 + std::string(200, 'Q')).c_str()), 0x78E6FB63u);

    // A name that fills its allocation exactly, with the terminator at the
    // very end (the sanitizer build catches any read past it).
    for (std::size_t length = 30; length <= 40; ++length) {
        std::string text(length, 'M');
        char* exact = new char[length + 1];
        std::memcpy(exact, text.c_str(), length + 1);
        const std::uint32_t hash = name_hash(exact);
        EXPECT_EQ(hash, name_hash(text.substr(0, 36).c_str()));
        delete[] exact;
    }

    // With a prefix the word walk starts at the fifth character.
    const std::string prefixed = "ABC_" + std::string(40, 'Z');
    EXPECT_EQ(name_hash(prefixed.c_str()), name_hash(prefixed.substr(0, 36).c_str()));
}

TEST(NameHash, NameHashDoesNotChangeItsArgument)
{
    char name[] = "wheel";
    name_hash(name);
    EXPECT_STREQ(name, "wheel");
}

TEST(NameHash, StrUpperChangesOnlyLetters)
{
    char text[] = "abc_Xyz-09 \xe9";
    EXPECT_EQ(str_upper(text), text);
    EXPECT_STREQ(text, "ABC_XYZ-09 \xe9");
    char empty[] = "";
    EXPECT_EQ(str_upper(empty), empty);
}

TEST(NameHash, SetNameStoresAtMost31CharactersAndTheirHash)
{
    named_record record;
    std::memset(&record, 0x7F, sizeof record);
    const std::string forty(40, 'k');
    const std::uint32_t hash = set_name(&record, forty.c_str());
    EXPECT_EQ(std::strlen(record.name), 31u);
    EXPECT_EQ(record.name[31], '\0');
    EXPECT_EQ(std::string(record.name), forty.substr(0, 31));
    EXPECT_EQ(hash, name_hash(forty.substr(0, 31).c_str()));
    EXPECT_EQ(record.hash, hash);

    // A shorter name is padded with zeros.
    set_name(&record, "wheel");
    EXPECT_STREQ(record.name, "wheel");
    for (std::size_t i = 5; i < sizeof record.name; ++i)
        EXPECT_EQ(record.name[i], '\0') << i;
    EXPECT_EQ(record.hash, name_hash("WHEEL"));

    std::uint32_t word = 0;
    EXPECT_EQ(set_name_hash(&word, "ABC_WHEEL"), 0xBC95714Bu);
    EXPECT_EQ(word, 0xBC95714Bu);
}

TEST(ErrorBox, ShowsTheFormattedTextWithItsCaption)
{
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(error_box("error", "ENGINE:: %s %d", "code", 7), platform::IDOK);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "error");
    EXPECT_EQ(boxes[0].text, "ENGINE:: code 7");
    EXPECT_EQ(boxes[0].style, platform::MB_OK);
}

TEST(ErrorBox, KeepsA255CharacterTextWholeAndCutsALongerOne)
{
    platform::clear_recorded_message_boxes();
    const std::string text255(255, 'x');
    error_box("error", "%s", text255.c_str());
    const std::string text400 = std::string(250, 'y') + std::string(150, 'z');
    error_box("error", "%s", text400.c_str());
    // A 255-character format with no arguments.
    error_box("error", text255.c_str());
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, text255);
    EXPECT_EQ(boxes[1].text, text400.substr(0, 255));
    EXPECT_EQ(boxes[2].text, text255);
}
