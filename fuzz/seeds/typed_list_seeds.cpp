// Seeds of typed_list_fuzz: three layout bytes (record size - 1, stride
// extra, capacity), then a typed keyword list file.
#include <string>

#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/typed_list_writer.h"

TORVANE_FUZZ_SEEDS(typed_list)
{
    using datakit::TypedField;
    auto add = [&](const char* file_name, std::uint8_t record_size, std::uint8_t stride_extra, std::uint8_t capacity,
                   const std::string& text) {
        std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(record_size - 1), stride_extra, capacity};
        bytes.insert(bytes.end(), text.begin(), text.end());
        seeds.push_back({file_name, bytes});
    };
    {
        datakit::TypedListWriter writer;
        writer.constant("SPEED", 12.5f).constant_hex("MASK", 0x1F);
        writer.begin_list("L");
        writer.record({TypedField::f(1.5f), TypedField::i(3), TypedField::s("ABC"), TypedField::b(true),
                       TypedField::constant('f', "SPEED"), TypedField::constant('i', "MASK"), TypedField::d(0.5),
                       TypedField::x(0xBEEF)});
        writer.comment("second record");
        writer.record({TypedField::f(-2.0f), TypedField::i(-4), TypedField::s("DEF"), TypedField::b(false),
                       TypedField::constant('f', "NONE"), TypedField::constant('i', "SPEED"), TypedField::d(1e300),
                       TypedField::x(0)});
        writer.end_list();
        add("all_fields.txt", 68, 4, 3, writer.text());
    }
    add("floats.txt", 8, 0, 2, "L f1 f2 f3\nEND_LIST\n");
    add("many.txt", 4, 0, 2, "#A 1\n#B x10\nL i1 i2 i3 i4 #iA #fB * rest\nEND_LIST\n");
    add("word_file.txt", 4, 0, 4, "# comment\nbegin fonts\n2 a.mfg b.mfg\n[end]\n");
}
