#include "engine/render/lib2d_error.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/message_box.h"

int lib2d_report_error(int code, const char* name)
{
    static constexpr const char* kTexts[] = {
        "Cannot open file!",
        "Cannot allocate memory for buffers!",
        "parameteres error! in ",
        "Create fonts surface faild!",
        "Lock font surface faild!",
        "Cannot open font file, you must create D3D before!",
        "Cannot open font file!",
        "Cannot open sprite file, you must create D3D before!",
        "Cannot open sprite file! ",
    };
    std::string text;
    if (code < 0 || code >= static_cast<int>(sizeof kTexts / sizeof kTexts[0])) {
        text = "General Lib2d Error!";
    } else {
        text = kTexts[code];
        if (code == 2 || code == 8)
            text += name ? name : "";
    }
    return platform::message_box(text + "\r\n", kLib2dErrorCaption, platform::MB_OK);
}

int lib2d_show_message(const char* format, ...)
{
    char text[kLib2dMessageChars];
    text[0] = '\0';
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    return platform::message_box(std::string(text) + "\r\n", kLib2dErrorCaption, platform::MB_OK);
}
