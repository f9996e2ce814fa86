#include "engine/base/recip_table.h"

float recip_table[recip_table_size];

void recip_table_build()
{
    recip_table[0] = 1.0f;
    for (std::size_t k = 1; k < recip_table_size; ++k)
        recip_table[k] = static_cast<float>(1.0 / static_cast<double>(k));
}
