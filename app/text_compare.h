#pragma once

// Word comparisons of the text readers: data files compare words without
// regard to ASCII case.
inline bool EqualsIgnoringCase(const char* a, const char* b)
{
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    for (;; ++a, ++b) {
        const unsigned char x = static_cast<unsigned char>(*a);
        const unsigned char y = static_cast<unsigned char>(*b);
        const unsigned char fx = (x >= 'A' && x <= 'Z') ? static_cast<unsigned char>(x - 'A' + 'a') : x;
        const unsigned char fy = (y >= 'A' && y <= 'Z') ? static_cast<unsigned char>(y - 'A' + 'a') : y;
        if (fx != fy) return false;
        if (x == 0) return true;
    }
}
