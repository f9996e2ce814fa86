// Seeds of archive_fuzz: small archives of every kind of entry.
#include <string>

#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/mix_writer.h"

TORVANE_FUZZ_SEEDS(archive)
{
    using datakit::MixStorage;
    auto add = [&](const char* file_name, const datakit::MixWriter& writer) {
        seeds.push_back({file_name, writer.build()});
    };
    {
        datakit::MixWriter writer;
        writer.add_text("a.txt", "BIKE\n f1.5 i3 sABC\r\nEND_LIST\n", MixStorage::Plain);
        writer.add_text("b.txt", "# comment\nbegin menu\n  word\nend\n", MixStorage::Compressed);
        add("text.mix", writer);
    }
    {
        datakit::MixWriter writer;
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < 3000; ++i)
            bytes.push_back(static_cast<std::uint8_t>((i * 7) ^ (i >> 3)));
        writer.add("packed.bin", bytes, MixStorage::Compressed, false);
        writer.add("plain.bin", bytes, MixStorage::Plain, false);
        add("binary.mix", writer);
    }
    {
        datakit::MixWriter writer;
        writer.add("empty", {}, MixStorage::Compressed, false);
        add("empty_entry.mix", writer);
    }
    seeds.push_back({"no_entries.mix", {0, 0, 0, 0}});
}
