#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/render/lib2d_font.h"

namespace {

void build_index(lib2d_pairs& out)
{
    out.index.assign(256, -1);
    for (std::int32_t i = out.count - 1; i >= 0; --i)
        out.index[static_cast<std::size_t>((out.keys[static_cast<std::size_t>(i)] >> 8) & 0xFF)] = i;
}

std::int32_t bounded_adjustment(long long v)
{
    return static_cast<std::int32_t>(
        std::clamp<long long>(v, -lib2d_font::kMaxPairAdjustment, lib2d_font::kMaxPairAdjustment));
}

// A decimal number as "%ld" reads it, held to the adjustments' bounds.
// Moves `at` past it; false when there is none.
bool read_number(const std::vector<std::uint8_t>& text, std::size_t& at, std::int32_t& value)
{
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
        ++at;
    std::size_t end = at;
    if (end < text.size() && (text[end] == '-' || text[end] == '+'))
        ++end;
    const std::size_t digits = end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end == digits)
        return false;
    const std::string number(text.begin() + static_cast<std::ptrdiff_t>(at), text.begin() + static_cast<std::ptrdiff_t>(end));
    errno = 0;
    const long long v = std::strtoll(number.c_str(), nullptr, 10);
    value = bounded_adjustment(v);
    at = end;
    return true;
}

std::int32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
                                     static_cast<std::uint32_t>(b[at + 2]) << 16 |
                                     static_cast<std::uint32_t>(b[at + 3]) << 24);
}

} // namespace

bool lib2d_parse_pairs_text(const std::vector<std::uint8_t>& text, lib2d_pairs& out)
{
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    std::size_t at = 0;
    while (at < text.size() && static_cast<int>(pairs.size()) < lib2d_font::kMaxPairs) {
        const std::uint8_t c = text[at];
        if (c <= 32) {
            ++at;
            continue;
        }
        if (c == '#') {
            while (at < text.size() && text[at] != '\n')
                ++at;
            continue;
        }
        if (at + 1 >= text.size())
            break;
        const std::uint8_t d = text[at + 1];
        at += 2;
        std::int32_t value = 0;
        if (!read_number(text, at, value))
            break; // not an entry: the rest is not read
        const std::int32_t key = c << 8 | d;
        if (std::none_of(pairs.begin(), pairs.end(), [&](const auto& p) { return p.first == key; }))
            pairs.emplace_back(key, value);
    }
    if (pairs.empty())
        return false;
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out.count = static_cast<std::int32_t>(pairs.size());
    out.keys.clear();
    out.adjust.clear();
    for (const auto& p : pairs) {
        out.keys.push_back(p.first);
        out.adjust.push_back(p.second);
    }
    out.keys.push_back(0);
    out.adjust.push_back(0);
    build_index(out);
    return true;
}

bool lib2d_parse_pairs_binary(const std::vector<std::uint8_t>& file, lib2d_pairs& out)
{
    if (file.size() < 4)
        return false;
    const std::int32_t n = le32(file, 0);
    if (n < 1 || n > lib2d_font::kMaxPairs)
        return false;
    const std::size_t entries = static_cast<std::size_t>(n) + 1;
    if (file.size() != 4 + 8 * entries + 1024)
        return false;
    lib2d_pairs p;
    p.count = n;
    for (std::size_t i = 0; i < entries; ++i) {
        p.keys.push_back(le32(file, 4 + 4 * i));
        p.adjust.push_back(bounded_adjustment(le32(file, 4 + 4 * (entries + i))));
    }
    if (p.keys[static_cast<std::size_t>(n)] != 0)
        return false;
    for (std::size_t c = 0; c < 256; ++c) {
        const std::int32_t i = le32(file, 4 + 8 * entries + 4 * c);
        if (i < -1 || i >= n)
            return false;
        p.index.push_back(i);
    }
    out = std::move(p);
    return true;
}
