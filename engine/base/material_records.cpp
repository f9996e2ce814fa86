#include "engine/base/material_records.h"

std::uint32_t blend_pages[blend_page_count][blend_page_entries];
