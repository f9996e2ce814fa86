#include "tools/datakit/font_writer.h"

#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/text_faces.h"

namespace datakit {

namespace {

constexpr int kFirstChar = 33;
constexpr int kLastChar = 126;
constexpr int kShades = 15;

void put32(std::vector<std::uint8_t>& out, std::int32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

std::vector<FontPair> sorted_unique(std::vector<FontPair> pairs)
{
    std::stable_sort(pairs.begin(), pairs.end(), [](const FontPair& a, const FontPair& b) {
        return (a.first << 8 | a.second) < (b.first << 8 | b.second);
    });
    pairs.erase(std::unique(pairs.begin(), pairs.end(),
                            [](const FontPair& a, const FontPair& b) {
                                return a.first == b.first && a.second == b.second;
                            }),
                pairs.end());
    return pairs;
}

// SDL_ttf for as long as a font is being rendered.
class TtfSession {
public:
    TtfSession() : ok_(TTF_Init() == 0) {}
    ~TtfSession()
    {
        if (ok_)
            TTF_Quit();
    }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// Pairs the kit gives every font whose file carries no kerning of its own:
// the classic tight pairs, pulled in by a twelfth of the size.
std::vector<FontPair> classic_pairs(int point_size)
{
    const int pull = -std::max(1, point_size / 12);
    std::vector<FontPair> pairs;
    for (const char* p : {"AV", "AW", "AT", "AY", "LT", "LV", "LY", "TA", "Ta", "Te", "To", "VA", "Va", "Ve", "WA",
                          "YA", "Yo", "Ye", "PA", "FA"})
        pairs.push_back({static_cast<std::uint8_t>(p[0]), static_cast<std::uint8_t>(p[1]), pull});
    return pairs;
}

} // namespace

std::string font_cfg_text(const std::vector<FontPair>& pairs)
{
    std::string text = "# kerning pairs: two characters and the extra advance in pixels\n";
    for (const FontPair& p : pairs) {
        text += static_cast<char>(p.first);
        text += static_cast<char>(p.second);
        text += ' ';
        text += std::to_string(p.adjust);
        text += '\n';
    }
    return text;
}

std::vector<std::uint8_t> font_cfb_bytes(const std::vector<FontPair>& pairs_in)
{
    const std::vector<FontPair> pairs = sorted_unique(pairs_in);
    std::vector<std::uint8_t> out;
    put32(out, static_cast<std::int32_t>(pairs.size()));
    for (const FontPair& p : pairs)
        put32(out, p.first << 8 | p.second);
    put32(out, 0);
    for (const FontPair& p : pairs)
        put32(out, p.adjust);
    put32(out, 0);
    std::array<std::int32_t, 256> index;
    index.fill(-1);
    for (std::size_t i = pairs.size(); i-- > 0;)
        index[pairs[i].first] = static_cast<std::int32_t>(i);
    for (std::int32_t i : index)
        put32(out, i);
    return out;
}

bool render_bitmap_font(const FontStyle& style, BitmapFont& out, std::string& error)
{
    TtfSession ttf;
    if (!ttf.ok()) {
        error = std::string("SDL_ttf does not start: ") + TTF_GetError();
        return false;
    }
    TTF_Font* font = TTF_OpenFont(style.ttf_file.c_str(), style.point_size);
    if (!font) {
        error = "cannot open the font \"" + style.ttf_file + "\": " + TTF_GetError();
        return false;
    }
    TTF_SetFontHinting(font, TTF_HINTING_NORMAL);
    int cell_w = 2;
    for (int c = kFirstChar; c <= kLastChar; ++c) {
        int minx = 0, maxx = 0, miny = 0, maxy = 0, advance = 0;
        if (TTF_GlyphMetrics(font, static_cast<Uint16>(c), &minx, &maxx, &miny, &maxy, &advance) == 0)
            cell_w = std::max({cell_w, advance + 2, maxx - std::min(minx, 0) + 2});
    }
    cell_w = (cell_w + 1) & ~1;
    const int cell_h = TTF_FontHeight(font);

    BitmapFont f;
    f.cell_width = cell_w;
    f.cell_height = cell_h;
    f.across = 16;
    f.first_char = kFirstChar;
    f.count = kLastChar - kFirstChar + 1;
    const int rows = (f.count + f.across - 1) / f.across;
    f.sheet.width = cell_w * f.across;
    f.sheet.height = cell_h * rows;
    f.sheet.pixels.assign(static_cast<std::size_t>(f.sheet.width) * f.sheet.height, 0);
    for (int i = 1; i <= kShades; ++i) {
        const double level = 0.25 + 0.75 * (i - 1) / (kShades - 1);
        f.sheet.palette[3 * i] = static_cast<std::uint8_t>(style.red * level + 0.5);
        f.sheet.palette[3 * i + 1] = static_cast<std::uint8_t>(style.green * level + 0.5);
        f.sheet.palette[3 * i + 2] = static_cast<std::uint8_t>(style.blue * level + 0.5);
    }

    const SDL_Color white{255, 255, 255, 255}, black{0, 0, 0, 255};
    for (int k = 0; k < f.count; ++k) {
        const int c = kFirstChar + k;
        SDL_Surface* glyph = TTF_RenderGlyph_Shaded(font, static_cast<Uint16>(c), white, black);
        if (!glyph) {
            TTF_CloseFont(font);
            error = std::string("cannot render a glyph: ") + TTF_GetError();
            return false;
        }
        // A shaded glyph is 8-bit: index 0 the background, 255 full ink.
        int minx = 0;
        TTF_GlyphMetrics(font, static_cast<Uint16>(c), &minx, nullptr, nullptr, nullptr, nullptr);
        const int shift = minx < 0 ? -minx : 0;
        const int x0 = (k % f.across) * cell_w + 1, y0 = (k / f.across) * cell_h;
        SDL_LockSurface(glyph);
        for (int y = 0; y < std::min(glyph->h, cell_h); ++y)
            for (int x = 0; x < glyph->w && x + shift < cell_w - 1; ++x) {
                const int v = static_cast<const std::uint8_t*>(glyph->pixels)[y * glyph->pitch + x];
                const int shade = (v * kShades + 127) / 255;
                if (shade > 0)
                    f.sheet.pixels[static_cast<std::size_t>(y0 + y) * f.sheet.width + x0 + x + shift] =
                        static_cast<std::uint8_t>(shade);
            }
        SDL_UnlockSurface(glyph);
        SDL_FreeSurface(glyph);
    }

    for (int a = kFirstChar; a <= kLastChar; ++a)
        for (int b = kFirstChar; b <= kLastChar; ++b) {
            const int kern = TTF_GetFontKerningSizeGlyphs(font, static_cast<Uint16>(a), static_cast<Uint16>(b));
            if (kern != 0)
                f.pairs.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), kern});
        }
    TTF_CloseFont(font);
    if (f.pairs.empty())
        f.pairs = classic_pairs(style.point_size);
    f.pairs = sorted_unique(f.pairs);
    out = std::move(f);
    return true;
}

bool write_bitmap_font(const std::filesystem::path& base, const BitmapFont& font, std::string& error)
{
    std::filesystem::path sheet = base;
    sheet += ".pcx";
    if (!write_pcx(sheet, font.sheet, error))
        return false;
    std::filesystem::path cfg = base;
    cfg += ".cfg";
    const std::string text = font_cfg_text(font.pairs);
    if (!platform::write_file_atomic(cfg.string(), text.data(), text.size(), &error)) {
        error = "cannot write \"" + cfg.string() + "\": " + error;
        return false;
    }
    return true;
}

bool write_demo_fonts(const std::filesystem::path& root, std::string& error)
{
    struct Demo {
        const char* name;
        const char* ttf;
        int size;
        std::uint8_t r, g, b;
    };
    const Demo fonts[] = {
        {"Menu", "LiberationSans-Bold.ttf", 18, 255, 255, 255},
        {"Small", "LiberationSans-Regular.ttf", 12, 220, 220, 220},
        {"Race", "LiberationSans-Bold.ttf", 16, 255, 220, 40},
    };
    for (const Demo& d : fonts) {
        FontStyle style;
        style.ttf_file = platform::liberation_font_path(d.ttf).string();
        style.point_size = d.size;
        style.red = d.r;
        style.green = d.g;
        style.blue = d.b;
        BitmapFont font;
        if (!render_bitmap_font(style, font, error))
            return false;
        if (!write_bitmap_font(root / "Gfx" / "Fonts" / d.name, font, error))
            return false;
    }
    return true;
}

} // namespace datakit
