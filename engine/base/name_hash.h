#pragma once

#include <cstdint>

// Engine names: models, nodes, animations and materials are found by a
// 32-bit hash of their names, never by comparing the texts, so two names with
// the same hash are the same name to the engine.

// The leading part of every engine record that carries a name: at most 31
// significant characters and a terminating zero, then the name's hash.
struct named_record {
    char name[32];
    std::uint32_t hash;
};

// Upper-cases the zero-terminated `text` in place (only a to z change) and
// returns it.
char* str_upper(char* text);

// The hash of a zero-terminated name. Letters are compared without regard to
// case, and a three-character prefix with an underscore (a family tag such as
// "ABC_" in "ABC_WHEEL") does not take part when the name is longer than four
// characters. Only the first 36 characters of a name count.
std::uint32_t name_hash(const char* name);

// Stores at most 31 characters of `name` in the record's name field (the
// rest of the field zero-filled, the last byte always zero) and the hash of
// the stored name in its hash word; returns the hash.
std::uint32_t set_name(named_record* record, const char* name);

// Stores name_hash(name) in `word` and returns it.
std::uint32_t set_name_hash(std::uint32_t* word, const char* name);
