// Placeholder until the text service lands: no face opens.
#include "platform/text.h"

namespace platform {

std::unique_ptr<TextFace> TextFace::open(const TextFaceSpec&, std::string* error)
{
    if (error)
        *error = "the text service is not built yet";
    return nullptr;
}

void draw_text(const TextFace&, const TextTarget&, std::string_view, const TextDrawOptions&) {}

std::uint16_t pack_colour(std::uint32_t bgr, PixelLayout layout)
{
    const unsigned r = bgr & 0xFF, g = bgr >> 8 & 0xFF, b = bgr >> 16 & 0xFF;
    switch (layout) {
    case PixelLayout::Rgb555: return static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    case PixelLayout::Bgr565: return static_cast<std::uint16_t>((b >> 3) << 11 | (g >> 2) << 5 | (r >> 3));
    default: return static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    }
}

} // namespace platform
