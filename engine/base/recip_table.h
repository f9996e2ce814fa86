#pragma once

#include <cstddef>

// Reciprocals for the software rasteriser's span and edge stepping: entry 0
// is 1.0 and entry k is 1/k, each computed in double precision and stored as
// a float. Built by the engine context's constructor.
inline constexpr std::size_t recip_table_size = 1024;
extern float recip_table[recip_table_size];

void recip_table_build();
