#pragma once

#include <cstdint>
#include <string_view>

#include "menu/control.h"

class MenuManager;
class lib2d_font;
namespace platform {
class TextFace;
}

// How a control draws its text.
enum FontKind : std::int32_t {
    kFontWindows = 0,  // "winfont": a TrueType face by name (platform/text.h)
    kFontGame = 1,     // "gamefont": a bitmap font (".pcx" sheet and ".mfg" parameters)
    kFontNone = 2,     // "nofont": no text
};

// The base of every control that draws text: a face by name and size, a
// bitmap game font in three looks (the base font, its "_" variant and its
// "!" variant, which the derived controls choose by state), or none.
class FontControl : public Control {
public:
    explicit FontControl(std::int32_t type) : Control(type) {}

    void Load(FormParser& parser, const char* name) override;
    void DrawBackground() override;
    void DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override;

    // Name (at most 31 characters kept), size in tenths of a point, style
    // (+1 bold, +2 italic, +4 underline, +8 strike-out) and the logical word
    // the face cache keys on.
    void SetFont(const char* name, std::int32_t width, std::int32_t height, std::int32_t style,
                 std::int32_t logical);
    // Makes the font ready: the face from the manager's cache, or the three
    // game fonts. Throws "font non configurato" (a game font without a
    // name) or "undef font type".
    void PrepareFont();
    // The face or game font in use, after PrepareFont.
    const platform::TextFace* Face() const { return m_pFace; }
    lib2d_font* GameFont() const;
    // The text's width in menu pixels. "nofont" throws "da fare non so se
    // serve"; another kind "undef font type".
    std::int32_t TextExtent(std::string_view text);

    std::int32_t m_nFontKind = kFontNone;
    const platform::TextFace* m_pFace = nullptr;
    char m_szFontName[32] = "Courier New";
    std::int32_t m_nFontWidth = 120, m_nFontHeight = 120;  // tenths of a point
    std::int32_t m_nFontStyle = 0;
    std::int32_t m_nFontLogical = 1;
    std::int32_t m_nShadow = 0;
    std::int32_t m_nFontVariant = 0;  // 0 base, 1 "_", 2 "!"
    lib2d_font* m_pGameFonts[3] = {};
    // The ".mfg" words: five that the cache keys on (cell width, cell
    // height, glyphs across, glyph count, first character) and the two
    // spacing words of the text width (space advance, glyph spacing).
    std::int32_t m_GameFontParams[7] = {};
};

// Reads the first `count` words of a game font's ".mfg" file (the font's
// name cut at its first '.', plus ".mfg"). Throws what opening it throws, or
// "font parameters missing in <file>".
void ReadGameFontParams(const char* font_name, std::int32_t* params, int count);
// Puts a game font's three looks into the manager's cache: the base font
// and its "_" and "!" variants where their sheets exist (the base font
// stands in for a missing one).
void CacheGameFontLooks(MenuManager& manager, const char* font_name, const std::int32_t params[5],
                        lib2d_font* looks[3]);
