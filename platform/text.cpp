#include "platform/text.h"

#include <algorithm>
#include <cmath>

#include "platform/fault_seam.h"
#include "platform/text_faces.h"
#include "platform/text_fonts.h"

namespace platform {

namespace {

using text_fonts::FontRequest;
using text_fonts::OpenFont;
using text_fonts::ttf_lock;

// The largest em height and average width a face opens at: far beyond any
// screen, and small enough that a line's glyphs always fit in memory.
constexpr int kMaxHeight = 2048;

// The code points of Windows-1252's bytes 0x80..0x9F; the five it leaves
// undefined keep their own value, as Windows maps them.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The text as UTF-8 for SDL_ttf, up to its first NUL.
std::string to_utf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            break;
        const char32_t cp = (byte >= 0x80 && byte < 0xA0) ? kWindows1252High[byte - 0x80] : byte;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

class TtfTextFace final : public TextFace {
public:
    TtfTextFace(TextFaceSpec spec, std::string file, std::shared_ptr<const OpenFont> font)
        : TextFace(std::move(spec)), file_(std::move(file)), font_(std::move(font))
    {
        std::lock_guard guard(ttf_lock());
        TTF_Font* f = font_->font();
        cell_height_ = TTF_FontHeight(f);
        ascent_ = TTF_FontAscent(f);
        average_ = static_cast<int>(std::lround(text_fonts::weighted_average_width(f)));
    }

    int cell_height() const override { return cell_height_; }
    int ascent() const override { return ascent_; }
    int average_char_width() const override { return average_; }
    const std::string& file() const override { return file_; }

    int measure(std::string_view text) const override
    {
        const std::string utf8 = to_utf8(text);
        if (utf8.empty())
            return 0;
        std::lock_guard guard(ttf_lock());
        int w = 0, h = 0;
        if (TTF_SizeUTF8(font_->font(), utf8.c_str(), &w, &h) != 0)
            return 0;
        return std::max(0, w);
    }

    TextCoverage coverage(std::string_view text) const override
    {
        TextCoverage out;
        const std::string utf8 = to_utf8(text);
        if (utf8.empty())
            return out;
        std::lock_guard guard(ttf_lock());
        // Rendered in white, the alpha of each pixel is the glyphs' coverage.
        SDL_Surface* surface = TTF_RenderUTF8_Blended(font_->font(), utf8.c_str(), SDL_Color{255, 255, 255, 255});
        if (!surface)
            return out;
        if (surface->format->BytesPerPixel == 4 && surface->w > 0 && surface->h > 0 && SDL_LockSurface(surface) == 0) {
            out.width = surface->w;
            out.height = surface->h;
            out.alpha.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
            const SDL_PixelFormat* format = surface->format;
            for (int y = 0; y < out.height; ++y) {
                const auto* row = reinterpret_cast<const Uint32*>(static_cast<const std::uint8_t*>(surface->pixels) +
                                                                  static_cast<std::ptrdiff_t>(y) * surface->pitch);
                for (int x = 0; x < out.width; ++x)
                    out.alpha[static_cast<std::size_t>(y) * out.width + x] =
                        static_cast<std::uint8_t>((row[x] & format->Amask) >> format->Ashift);
            }
            SDL_UnlockSurface(surface);
        }
        SDL_FreeSurface(surface);
        return out;
    }

private:
    std::string file_;
    std::shared_ptr<const OpenFont> font_;
    int cell_height_ = 0;
    int ascent_ = 0;
    int average_ = 0;
};

// The font files to try for a face, best first: its family's variant file,
// the family's regular file with bold and italic drawn by SDL_ttf, then the
// same two of the fallback family.
std::vector<FontRequest> font_candidates(const TextFaceSpec& spec)
{
    const int lines = (spec.underline ? TTF_STYLE_UNDERLINE : 0) | (spec.strike_out ? TTF_STYLE_STRIKETHROUGH : 0);
    const int emphasis = (spec.bold ? TTF_STYLE_BOLD : 0) | (spec.italic ? TTF_STYLE_ITALIC : 0);
    const int height = std::max(1, spec.height);
    const int width = std::max(0, spec.width);
    std::vector<FontRequest> out;
    const auto add_family = [&](std::string_view family) {
        out.push_back({liberation_font_path(liberation_file_name(family, spec.bold, spec.italic)).string(), height,
                       width, lines});
        if (emphasis != 0)
            out.push_back({liberation_font_path(liberation_file_name(family, false, false)).string(), height, width,
                           lines | emphasis});
    };
    const std::string_view family = liberation_family(spec.face);
    add_family(family);
    const std::string_view fallback = liberation_family("");
    if (family != fallback)
        add_family(fallback);
    return out;
}

} // namespace

std::unique_ptr<TextFace> TextFace::open(const TextFaceSpec& spec, std::string* error)
{
    if (take_fault(Fault::TextFaceOpen)) {
        if (error)
            *error = "the face \"" + spec.face + "\" does not open";
        return nullptr;
    }
    if (spec.height > kMaxHeight || spec.width > kMaxHeight) {
        if (error)
            *error = "the face \"" + spec.face + "\" cannot be opened at " + std::to_string(spec.height) + " x " +
                     std::to_string(spec.width) + " pixels";
        return nullptr;
    }
    std::string last_error;
    for (const FontRequest& request : font_candidates(spec)) {
        if (std::shared_ptr<const OpenFont> font = text_fonts::open_font(request, &last_error))
            return std::make_unique<TtfTextFace>(spec, request.file, std::move(font));
    }
    if (error)
        *error = "the face \"" + spec.face + "\" does not open: " + last_error;
    return nullptr;
}

} // namespace platform
