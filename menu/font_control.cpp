#include "menu/font_control.h"

#include <cstring>
#include <string>

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_error.h"
#include "app/m_cparse.h"
#include "engine/render/lib2d_font.h"
#include "menu/menu_files.h"
#include "menu/menu_manager.h"
#include "platform/directory_listing.h"
#include "platform/text.h"

namespace {

// The name up to its first '.'.
std::string CutAtDot(const char* name)
{
    const char* dot = std::strchr(name, '.');
    return dot ? std::string(name, static_cast<std::size_t>(dot - name)) : std::string(name);
}

} // namespace

void ReadGameFontParams(const char* font_name, std::int32_t* params, int count)
{
    const std::string mfg = CutAtDot(font_name) + ".mfg";
    M_CParse words;
    words.Open(mfg.c_str());
    for (int i = 0; i < count; ++i)
        if (!words.GetIntToken(params[i]))
            ThrowGameError("font parameters missing in %s", mfg.c_str());
    words.Release();
}

void CacheGameFontLooks(MenuManager& manager, const char* font_name, const std::int32_t params[5],
                        lib2d_font* looks[3])
{
    looks[0] = manager.GetFont(font_name, params);
    const std::string base = CutAtDot(font_name);
    const char* suffixes[2] = {"_.pcx", "!.pcx"};
    for (int i = 0; i < 2; ++i) {
        const std::string variant = base + suffixes[i];
        looks[i + 1] = MenuFileExists(variant) ? manager.GetFont(variant.c_str(), params) : looks[0];
    }
}

void FontControl::SetFont(const char* name, std::int32_t width, std::int32_t height, std::int32_t style,
                          std::int32_t logical)
{
    CopyBounded(m_szFontName, sizeof m_szFontName, name ? name : "");
    m_nFontWidth = width;
    m_nFontHeight = height;
    m_nFontStyle = style;
    m_nFontLogical = logical;
}

void FontControl::Load(FormParser& parser, const char* name)
{
    Control::Load(parser, name);
    const std::int64_t block_start = parser.MarkedPos();

    bool flag = false;
    if (parser.GetBool("FontBold", flag)) {
        if (flag)
            m_nFontStyle += 1;
    } else {
        parser.RestorePos();
    }
    if (parser.GetBool("FontItalic", flag)) {
        if (flag)
            m_nFontStyle += 2;
    } else {
        parser.RestorePos();
    }
    if (!parser.GetString("FontName", m_szFontName, sizeof m_szFontName))
        parser.RestorePos();
    float size = 0.0f;
    if (parser.GetFloat("FontSize", size)) {
        m_nFontWidth = m_nFontHeight = static_cast<std::int32_t>(size * 10.0f);
    } else {
        parser.RestorePos();
    }
    char kind[kTokenCapacity];
    m_nFontKind = kFontNone;
    if (parser.GetString("FontType", kind, sizeof kind)) {
        if (platform::equals_ignoring_case(kind, "winfont")) {
            m_nFontKind = kFontWindows;
            for (char* c = m_szFontName; *c; ++c)
                if (*c == '_')
                    *c = ' ';
        } else if (platform::equals_ignoring_case(kind, "gamefont")) {
            m_nFontKind = kFontGame;
        } else if (platform::equals_ignoring_case(kind, "nofont")) {
            m_nFontKind = kFontNone;
        }
    } else {
        parser.RestorePos();
    }
    if (!parser.GetInt("Shadow", m_nShadow))
        parser.RestorePos();

    if (m_nFontKind == kFontGame)
        ReadGameFontParams(m_szFontName, m_GameFontParams, 7);
    parser.Seek(block_start);
    parser.MarkPos();
}

void FontControl::PrepareFont()
{
    MenuManager* manager = GetMenuManager();
    if (!manager)
        manager = CurrentMenuManager();
    switch (m_nFontKind) {
    case kFontWindows:
        if (!m_pFace) {
            if (!manager)
                throw GameError("no menu manager for the font");
            m_pFace = manager->GetWinFont(m_szFontName, m_nFontHeight, m_nFontWidth, m_nFontStyle, m_nFontLogical);
        }
        return;
    case kFontGame:
        if (!m_pGameFonts[0]) {
            if (!m_szFontName[0])
                throw GameError("font non configurato");
            if (!manager)
                throw GameError("no menu manager for the font");
            CacheGameFontLooks(*manager, m_szFontName, m_GameFontParams, m_pGameFonts);
        }
        return;
    case kFontNone:
        return;
    default:
        throw GameError("undef font type");
    }
}

lib2d_font* FontControl::GameFont() const
{
    const int variant = m_nFontVariant >= 0 && m_nFontVariant < 3 ? m_nFontVariant : 0;
    return m_pGameFonts[variant] ? m_pGameFonts[variant] : m_pGameFonts[0];
}

std::int32_t FontControl::TextExtent(std::string_view text)
{
    switch (m_nFontKind) {
    case kFontWindows:
        PrepareFont();
        return m_pFace ? m_pFace->measure(text) : 0;
    case kFontGame: {
        PrepareFont();
        const lib2d_font* font = GameFont();
        return font ? font->text_width(std::string(text).c_str(), m_GameFontParams[5], m_GameFontParams[6]) : 0;
    }
    case kFontNone:
        throw GameError("da fare non so se serve");
    default:
        throw GameError("undef font type");
    }
}

void FontControl::DrawBackground()
{
    if (m_nFontKind != kFontGame)
        return;
    DrawBackgroundRect(GetLeft(), GetTop(), GetRight() - 1, GetBottom() - 1);
}

void FontControl::DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    if (m_nFontKind != kFontGame)
        return;
    PrepareFont();
    for (lib2d_font* font : m_pGameFonts)
        if (font)
            font->set_clip(left, right, top, bottom);
}
