#pragma once

#include <SDL_ttf.h>

#include <memory>
#include <mutex>
#include <string>

// The TrueType fonts behind the text service: SDL_ttf started while any font
// is open, and one open font shared by every face asked for with the same
// file, size and style.
namespace platform::text_fonts {

// Every SDL_ttf call of the text service runs under this lock: the library
// and each open font keep state (the glyph caches) that calls change.
std::recursive_mutex& ttf_lock();

struct FontRequest {
    std::string file;
    int height = 1;  // the em height in pixels
    int width = 0;   // the average character width in pixels; 0: the font's own
    int style = 0;   // TTF_STYLE_* bits SDL_ttf draws itself
    bool operator==(const FontRequest&) const = default;
};

class Library;

// One open font. Its size and style never change after it is opened.
class OpenFont {
public:
    OpenFont(TTF_Font* font, std::shared_ptr<Library> library) : font_(font), library_(std::move(library)) {}
    ~OpenFont();
    OpenFont(const OpenFont&) = delete;
    OpenFont& operator=(const OpenFont&) = delete;

    // Use under ttf_lock().
    TTF_Font* font() const { return font_; }

private:
    TTF_Font* font_;
    std::shared_ptr<Library> library_;  // closed after the font
};

// The open font for a request (from the cache while another face holds it);
// null, with `error` set, when SDL_ttf does not start or the file does not
// open at that size.
std::shared_ptr<const OpenFont> open_font(const FontRequest& request, std::string* error);

// The average character width of an open font in pixels, unrounded: the
// advances of the lower-case letters and the blank weighted by how often
// they occur in a text (per thousand letters). Use under ttf_lock().
double weighted_average_width(TTF_Font* font);

} // namespace platform::text_fonts
