#include <cstdarg>
#include <cstdio>
#include <string>

#include "engine/render/render_device.h"
#include "platform/message_box.h"

namespace {

constexpr const char* kErrorTexts[] = {
    "DirectDrawEnumerate failed!",
    "DirectDrawCreate failed",
    "GetDisplayMode error!",
    "EnumDisplayModes failed.",
    "Creation of IDirect3D failed!",
    "Enumeration of drivers failed.",
    "SetCooperativeLevel to fullscreen failed.",
    "Invalid video mode!",
    "PrimarySurface creation error!",
    "GetAttachedSurface failed",
    "GetSurfDesc failed!",
    "Clearing the front buffer error",
    "Create D3D device failed.",
    "Create D3D viewport failed!",
    "Add D3D viewport failed!",
    "SetViewport failed!",
    "CreateMaterial failed!",
    "SetMaterial failed!",
    "Get Handle failed!",
    "Set BackGround failed!",
    "Creating execute buffer failed!",
    "Locking execute buffer failed!",
    "Clear BackBuffer failed!",
    "Set execute buffer failed!",
    "Begin Scene failed!",
    "Execute buffer failed!",
    "End Scene failed!",
    "Swap Buffer failed!",
    "Create surface for texture failed!",
    "Get surface handle failed!",
    "Create clipper failed!",
    "Set Hwnd failed!",
    "Render Software not available",
    "Enum texture failed!",
    "Set clipper failed!",
    "Create palette failed!",
    "Set palette failed!",
    "Cannot open palette file!\n",
    "Create Z-Buffer surface failed!\n",
    "Surfaces overflow!\n",
    "Cannot allocate memory for all textures!\n",
    "Cannot allocate memory for shrinking!\n",
    "Insufficient video memory!\n",
    "Texture format not supported!\n",
    "No more space for surfaces cache!\n",
    "Unsupported Z-buffer depth\n",
    "There's not video memory for Z-buffer\n",
    "Could not fit the rendering surfaces in video memory for this hardware device.\n",
    "Texture size no valid! (size must be != 0)\n",
    "Texture cache, range error\n",
};
constexpr int kErrorCount = static_cast<int>(sizeof kErrorTexts / sizeof kErrorTexts[0]);
static_assert(kErrorCount == 50);

} // namespace

const char* render_error_text(int code)
{
    if (code < 0 || code >= kErrorCount)
        return "General D3D Interface Error";
    return kErrorTexts[code];
}

int render_device::report_error(int code) const
{
    return format_error("%s", render_error_text(code));
}

int render_device::format_error(const char* format, ...) const
{
    // The text is formatted into a buffer of 256 characters: a longer one is
    // cut, never written past the buffer. A line break always follows, also
    // after a message that ends with its own.
    char text[256] = {};
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    return platform::message_box(std::string(text) + "\r\n", kRenderErrorCaption, platform::MB_OK);
}
