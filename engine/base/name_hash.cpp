#include "engine/base/name_hash.h"

#include <cstring>

namespace {

// Word multipliers, chosen by the word's position modulo 3.
constexpr std::uint32_t hash_multipliers[3] = {1u, 0x2F2F2F2Fu, 0x9DF44AA1u};

// Characters of a name that take part in its hash.
constexpr std::size_t hashed_chars = 36;

inline char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::uint32_t word_at(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

char* str_upper(char* text)
{
    for (char* p = text; *p; ++p)
        *p = upper(*p);
    return text;
}

std::uint32_t name_hash(const char* name)
{
    // The text, upper-cased, followed by at least one whole zero word: the
    // word walk below always meets a zero byte inside the buffer.
    unsigned char buffer[hashed_chars + 4] = {};
    std::size_t length = 0;
    while (length < hashed_chars && name[length]) {
        buffer[length] = static_cast<unsigned char>(upper(name[length]));
        ++length;
    }

    std::size_t start = (length > 4 && buffer[3] == '_') ? 4 : 0;
    std::uint32_t hash = 0;
    for (std::size_t i = 0;; ++i) {
        const unsigned char* word = buffer + start + 4 * i;
        hash += (word_at(word) - 0x30303030u) * hash_multipliers[i % 3];
        if (word[4] == 0)
            break;
    }
    return hash;
}

std::uint32_t set_name(named_record* record, const char* name)
{
    std::size_t length = 0;
    while (length < sizeof record->name - 1 && name[length]) {
        record->name[length] = name[length];
        ++length;
    }
    std::memset(record->name + length, 0, sizeof record->name - length);
    record->hash = name_hash(record->name);
    return record->hash;
}

std::uint32_t set_name_hash(std::uint32_t* word, const char* name)
{
    *word = name_hash(name);
    return *word;
}
