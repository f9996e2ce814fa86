#include "engine/model/blend_tables.h"

#include <array>

namespace {

struct blend_slot {
    bool used = false;
    std::uint32_t key = 0;
    std::array<std::uint16_t, blend_table_levels * 256> entries{};
};

std::array<blend_slot, blend_table_count>& slots()
{
    static std::array<blend_slot, blend_table_count> tables;
    return tables;
}

int& tables_made()
{
    static int made = 0;
    return made;
}

void build(blend_slot& slot, std::uint32_t colour, const std::uint8_t palette[256][3])
{
    const float cr = static_cast<float>(colour >> 16 & 255);
    const float cg = static_cast<float>(colour >> 8 & 255);
    const float cb = static_cast<float>(colour & 255);
    for (int k = 0; k < blend_table_levels; ++k) {
        const float f = static_cast<float>(k) * 0.0625f;
        for (int p = 0; p < 256; ++p) {
            const float tr = static_cast<float>(palette[p][0]) * (1.0f - f) + cr * f;
            const float tg = static_cast<float>(palette[p][1]) * (1.0f - f) + cg * f;
            const float tb = static_cast<float>(palette[p][2]) * (1.0f - f) + cb * f;
            int best = 0;
            float best_d = 0.0f;
            for (int i = 0; i < 256; ++i) {
                const float dr = static_cast<float>(palette[i][0]) - tr;
                const float dg = static_cast<float>(palette[i][1]) - tg;
                const float db = static_cast<float>(palette[i][2]) - tb;
                const float d = dr * dr + dg * dg + db * db;
                if (i == 0 || d < best_d) {
                    best = i;
                    best_d = d;
                }
            }
            slot.entries[static_cast<std::size_t>(k * 256 + p)] = static_cast<std::uint16_t>(best | best << 8);
        }
    }
}

} // namespace

int blend_table_for(std::uint32_t colour, const std::uint8_t palette[256][3])
{
    const std::uint32_t key = colour & 0xF0F0F0;
    auto& tables = slots();
    for (int i = 0; i < blend_table_count; ++i)
        if (tables[static_cast<std::size_t>(i)].used && tables[static_cast<std::size_t>(i)].key == key)
            return i;
    int& made = tables_made();
    const int number = made < blend_table_count - 1 ? made : blend_table_count - 1;
    if (made < blend_table_count)
        ++made;
    blend_slot& slot = tables[static_cast<std::size_t>(number)];
    slot.used = true;
    slot.key = key;
    build(slot, colour, palette);
    return number;
}

const std::uint16_t* blend_table(int number)
{
    if (number < 0 || number >= blend_table_count || !slots()[static_cast<std::size_t>(number)].used)
        return nullptr;
    return slots()[static_cast<std::size_t>(number)].entries.data();
}

void blend_tables_reset()
{
    for (blend_slot& slot : slots())
        slot.used = false;
    tables_made() = 0;
}
