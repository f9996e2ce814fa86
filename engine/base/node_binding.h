#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/pool_new.h"

// A node binding record: binds a record (a light's channel, a model node's
// link) to a model node found by its lookup hash. Model files and the
// animated lights of animation files store them as 100-byte records; the
// model side resolves `bound` by `target_hash`, and a light reads its
// channel links from them (code = channel id, value = mode, bound = source).
//
// Stored record, 100 bytes, little-endian:
//   0  u32 target lookup hash
//   4  u32 code (111 by default; a light's channel: 2111 position, 2116 target)
//   8  u32 value (1 by default; a light's mode 1 to 3)
//   12 u32 pointer slot: the bound record (written 0, never read)
//   16 u32 pointer slot: previous record (written 0, never read)
//   20 u32 pointer slot: next record (written 0, never read)
//   24 u32 owner state slot (written 0, never read)
//   28 18 x u32 words kept as they are
struct node_binding : pool_record<node_binding, pool_node_binding> {
    static constexpr std::size_t file_bytes = 100;
    static constexpr std::size_t kept_words = 18;
    static constexpr std::size_t kept_offset = 28;

    std::uint32_t target_hash = 0;
    std::uint32_t code = 111;
    std::uint32_t value = 1;
    void* bound = nullptr;
    node_binding* prev = nullptr;
    node_binding* next = nullptr;
    std::uint32_t owner_state = 2;
    std::uint32_t kept[kept_words] = {};

    node_binding() { ++live; }
    node_binding(void* bound_record, std::uint32_t code_word, std::uint32_t value_word)
        : code(code_word), value(value_word), bound(bound_record)
    {
        ++live;
    }
    ~node_binding() { --live; }
    node_binding(const node_binding&) = delete;
    node_binding& operator=(const node_binding&) = delete;

    void set_state(std::uint32_t state) { owner_state = state; }

    static inline int live = 0;
};
