#include "engine/base/error_box.h"

#include <cstdarg>
#include <cstdio>

#include "platform/message_box.h"

int error_box(const char* caption, const char* format, ...)
{
    char text[error_box_text_size];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written < 0)
        text[0] = '\0';
    return platform::message_box(text, caption ? caption : "", platform::MB_OK);
}
