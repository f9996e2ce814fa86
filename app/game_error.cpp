#include "app/game_error.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

void ThrowGameError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string message;
    if (length > 0) {
        std::vector<char> text(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        message.assign(text.data(), static_cast<std::size_t>(length));
    }
    va_end(args);
    throw GameError(message);
}
