#include "platform/text_fonts.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace platform::text_fonts {

// SDL_ttf's start and end; its own count keeps other users (the data kit's
// font writer) safe beside this one.
class Library {
public:
    Library() : started_(TTF_Init() == 0) {}
    ~Library()
    {
        std::lock_guard guard(ttf_lock());
        if (started_)
            TTF_Quit();
    }
    bool started() const { return started_; }

private:
    bool started_;
};

namespace {

// Kept for the program's whole life: a face may close after static
// destructors have begun.
struct Cache {
    std::weak_ptr<Library> library;
    std::vector<std::pair<FontRequest, std::weak_ptr<const OpenFont>>> fonts;
};

Cache& cache()
{
    static Cache* c = new Cache;
    return *c;
}

std::shared_ptr<Library> start_library(std::string* error)
{
    std::shared_ptr<Library> library = cache().library.lock();
    if (library)
        return library;
    library = std::make_shared<Library>();
    if (!library->started()) {
        if (error)
            *error = std::string("the text service does not start: ") + TTF_GetError();
        return nullptr;
    }
    cache().library = library;
    return library;
}

void report(std::string* error, const FontRequest& request)
{
    if (error)
        *error = "cannot open the font \"" + request.file + "\": " + TTF_GetError();
}

// Stretches an open font horizontally (by its horizontal resolution) so that
// its average width comes nearest to `width`.
void stretch_to_width(TTF_Font* font, int height, int width)
{
    const double natural = weighted_average_width(font);
    if (natural <= 0.0 || std::lround(natural) == width)
        return;
    const long guess = std::clamp(std::lround(72.0 * width / natural), 1L, 72L * 64L);
    unsigned best = 72;
    double best_error = std::fabs(natural - width);
    for (long dpi = std::max(1L, guess - 1); dpi <= guess + 1; ++dpi) {
        if (TTF_SetFontSizeDPI(font, height, static_cast<unsigned>(dpi), 72) != 0)
            continue;
        const double e = std::fabs(weighted_average_width(font) - width);
        if (e < best_error) {
            best_error = e;
            best = static_cast<unsigned>(dpi);
        }
    }
    TTF_SetFontSizeDPI(font, height, best, 72);
}

} // namespace

std::recursive_mutex& ttf_lock()
{
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

OpenFont::~OpenFont()
{
    std::lock_guard guard(ttf_lock());
    TTF_CloseFont(font_);
}

std::shared_ptr<const OpenFont> open_font(const FontRequest& request, std::string* error)
{
    std::lock_guard guard(ttf_lock());
    auto& fonts = cache().fonts;
    std::erase_if(fonts, [](const auto& entry) { return entry.second.expired(); });
    for (const auto& [key, font] : fonts)
        if (key == request)
            if (std::shared_ptr<const OpenFont> open = font.lock())
                return open;

    std::shared_ptr<Library> library = start_library(error);
    if (!library)
        return nullptr;
    const int height = std::max(1, request.height);
    // At 72 dots per inch a point is a pixel: the size is the em height.
    TTF_Font* font = TTF_OpenFontDPI(request.file.c_str(), height, 72, 72);
    if (!font) {
        report(error, request);
        return nullptr;
    }
    // Text is laid out glyph after glyph, the way the screens were measured.
    TTF_SetFontKerning(font, 0);
    TTF_SetFontStyle(font, request.style);
    if (request.width > 0)
        stretch_to_width(font, height, request.width);
    auto open = std::make_shared<const OpenFont>(font, std::move(library));
    fonts.emplace_back(request, open);
    return open;
}

double weighted_average_width(TTF_Font* font)
{
    // How often each letter and the blank occur, per thousand characters.
    static constexpr std::pair<char, int> kWeights[] = {
        {'a', 64}, {'b', 14}, {'c', 27}, {'d', 35}, {'e', 100}, {'f', 20}, {'g', 14}, {'h', 42}, {'i', 63},
        {'j', 3},  {'k', 6},  {'l', 35}, {'m', 20}, {'n', 56},  {'o', 56}, {'p', 17}, {'q', 4},  {'r', 49},
        {'s', 56}, {'t', 71}, {'u', 31}, {'v', 10}, {'w', 18},  {'x', 3},  {'y', 18}, {'z', 2},  {' ', 166},
    };
    double sum = 0.0;
    int total = 0;
    for (const auto& [ch, weight] : kWeights) {
        int advance = 0;
        if (TTF_GlyphMetrics32(font, static_cast<Uint32>(ch), nullptr, nullptr, nullptr, nullptr, &advance) != 0)
            continue;
        sum += static_cast<double>(weight) * advance;
        total += weight;
    }
    return total > 0 ? sum / total : 0.0;
}

} // namespace platform::text_fonts
