#include <SDL_ttf.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fault_seam.h"
#include "platform/text.h"
#include "platform/text_faces.h"

// The text service checked against SDL_ttf used directly: the same font file
// opened at the same size gives the reference measures and coverage, and the
// expected pictures are painted here from that coverage.
namespace {

using platform::PixelLayout;
using platform::PixelRect;
using platform::TextAlign;
using platform::TextDrawOptions;
using platform::TextFace;
using platform::TextFaceSpec;
using platform::TextTarget;

std::string font_file(const char* name)
{
    return platform::liberation_font_path(name).string();
}

// A font opened straight through SDL_ttf, laid out glyph after glyph.
class ReferenceFont {
public:
    ReferenceFont(const std::string& file, int height, int style = TTF_STYLE_NORMAL)
    {
        TTF_Init();
        font_ = TTF_OpenFont(file.c_str(), height);
        if (font_) {
            TTF_SetFontKerning(font_, 0);
            TTF_SetFontStyle(font_, style);
        }
    }
    ~ReferenceFont()
    {
        if (font_)
            TTF_CloseFont(font_);
        TTF_Quit();
    }
    ReferenceFont(const ReferenceFont&) = delete;
    ReferenceFont& operator=(const ReferenceFont&) = delete;

    TTF_Font* get() const { return font_; }
    int width(const char* text) const
    {
        int w = 0, h = 0;
        TTF_SizeText(font_, text, &w, &h);
        return w;
    }

private:
    TTF_Font* font_ = nullptr;
};

struct Coverage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> alpha;
    int at(int x, int y) const { return alpha[static_cast<std::size_t>(y) * width + x]; }
};

Coverage reference_coverage(const ReferenceFont& font, const char* text)
{
    Coverage c;
    SDL_Surface* s = TTF_RenderText_Blended(font.get(), text, SDL_Color{255, 255, 255, 255});
    if (!s)
        return c;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(s);
    c.width = argb->w;
    c.height = argb->h;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const auto* row = reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(argb->pixels) + y * argb->pitch);
            c.alpha.push_back(static_cast<std::uint8_t>(row[x] >> 24));
        }
    SDL_FreeSurface(argb);
    return c;
}

// A 565 picture and the colour arithmetic of the reference.
struct Picture565 {
    int width, height;
    std::vector<std::uint16_t> pixels;
    Picture565(int w, int h, std::uint16_t fill) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
    std::uint16_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    TextTarget target()
    {
        TextTarget t;
        t.pixels = reinterpret_cast<std::uint8_t*>(pixels.data());
        t.pitch = width * 2;
        t.width = width;
        t.height = height;
        t.layout = PixelLayout::Rgb565;
        return t;
    }
};

std::uint16_t rgb565(int r, int g, int b)
{
    return static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// Colour c over pixel p with coverage a of 255, each channel rounded.
std::uint16_t over565(int r, int g, int b, std::uint16_t p, int a)
{
    const int pr = (p >> 11) << 3 | (p >> 13), pg = ((p >> 5) & 63) << 2 | ((p >> 9) & 3), pb = (p & 31) << 3 | ((p & 31) >> 2);
    const auto mix = [&](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
    return rgb565(mix(r, pr), mix(g, pg), mix(b, pb));
}

// Paints the reference coverage at (left, top) into a picture, inside a clip.
void paint_reference(Picture565& pic, const Coverage& c, int left, int top, int r, int g, int b, PixelRect clip)
{
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const int px = left + x, py = top + y;
            if (px < clip.left || px >= clip.right || py < clip.top || py >= clip.bottom || px < 0 || py < 0 ||
                px >= pic.width || py >= pic.height || c.at(x, y) == 0)
                continue;
            pic.at(px, py) = over565(r, g, b, pic.at(px, py), c.at(x, y));
        }
}

std::unique_ptr<TextFace> open_face(const TextFaceSpec& spec)
{
    std::string error;
    auto face = TextFace::open(spec, &error);
    EXPECT_TRUE(face) << error;
    return face;
}

// A face opened through the service beside the same font opened straight
// through SDL_ttf.
struct FacePair {
    std::unique_ptr<TextFace> face;
    std::unique_ptr<ReferenceFont> ref;
    bool ok() const { return face && ref->get(); }
};

FacePair open_pair(TextFaceSpec spec, const char* file, int ref_style = TTF_STYLE_NORMAL)
{
    FacePair p;
    p.face = open_face(spec);
    p.ref = std::make_unique<ReferenceFont>(font_file(file), spec.height, ref_style);
    return p;
}

TextFaceSpec face_spec(const char* face, int height)
{
    TextFaceSpec spec;
    spec.face = face;
    spec.height = height;
    return spec;
}

TextDrawOptions draw_at(int x, int y, PixelRect clip, std::uint32_t colour)
{
    TextDrawOptions o;
    o.x = x;
    o.y = y;
    o.clip = clip;
    o.colour = colour;
    return o;
}

TEST(TextFaces, FaceNamesMapToTheirLiberationFiles)
{
    struct Case {
        const char* face;
        bool bold, italic;
        const char* file;
    };
    const Case cases[] = {
        {"Arial", false, false, "LiberationSans-Regular.ttf"},
        {"ARIAL", true, false, "LiberationSans-Bold.ttf"},
        {"helvetica", false, true, "LiberationSans-Italic.ttf"},
        {"MS Sans Serif", true, true, "LiberationSans-BoldItalic.ttf"},
        {"Tahoma", false, false, "LiberationSans-Regular.ttf"},
        {"Verdana", false, false, "LiberationSans-Regular.ttf"},
        {"Arial Narrow", true, true, "LiberationSansNarrow-BoldItalic.ttf"},
        {"Courier New", false, false, "LiberationMono-Regular.ttf"},
        {"courier", true, false, "LiberationMono-Bold.ttf"},
        {"Lucida Console", false, false, "LiberationMono-Regular.ttf"},
        {"Times New Roman", false, true, "LiberationSerif-Italic.ttf"},
        {"TIMES", true, false, "LiberationSerif-Bold.ttf"},
        {"Wingdings", false, false, "LiberationSans-Regular.ttf"},
        {"", true, false, "LiberationSans-Bold.ttf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        EXPECT_EQ(platform::liberation_file_name(platform::liberation_family(c.face), c.bold, c.italic), c.file);
        TextFaceSpec spec;
        spec.face = c.face;
        spec.bold = c.bold;
        spec.italic = c.italic;
        auto face = open_face(spec);
        ASSERT_TRUE(face);
        EXPECT_EQ(face->file(), font_file(c.file));
    }
}

// An unknown face falls back to the sans family: the same metrics as Arial.
TEST(TextFaces, AnUnknownFaceMeasuresAsTheFallback)
{
    TextFaceSpec spec;
    spec.face = "No Such Face";
    spec.height = 20;
    auto unknown = open_face(spec);
    spec.face = "Arial";
    auto arial = open_face(spec);
    ASSERT_TRUE(unknown && arial);
    EXPECT_EQ(unknown->measure("Fallback text"), arial->measure("Fallback text"));
    EXPECT_EQ(unknown->cell_height(), arial->cell_height());
    EXPECT_EQ(unknown->average_char_width(), arial->average_char_width());
}

TEST(TextFaces, AFailedOpenIsReported)
{
    platform::clear_faults();
    platform::fail_next(platform::Fault::TextFaceOpen);
    TextFaceSpec spec;
    spec.face = "Arial";
    std::string error;
    EXPECT_FALSE(TextFace::open(spec, &error));
    EXPECT_NE(error.find("Arial"), std::string::npos) << error;
    EXPECT_TRUE(TextFace::open(spec, &error)) << error;

    // A size beyond the limits is refused; a height below 1 opens at 1.
    spec.height = 2049;
    EXPECT_FALSE(TextFace::open(spec, &error));
    EXPECT_NE(error.find("2049"), std::string::npos) << error;
    spec.height = 16;
    spec.width = 100000;
    EXPECT_FALSE(TextFace::open(spec, &error));
    spec.width = 0;
    spec.height = -5;
    auto tiny = TextFace::open(spec, &error);
    ASSERT_TRUE(tiny) << error;
    EXPECT_EQ(tiny->spec().height, -5);
    EXPECT_LE(tiny->cell_height(), 3);
}

// Widths, line metrics and the average width against SDL_ttf's measures of
// the same file: the average is the width of a text whose letters occur as
// often as the average's weights say, over its length.
TEST(TextMeasures, MatchSdlTtfOnTheSameFile)
{
    struct Case {
        const char* face;
        int height;
        bool bold;
        const char* file;
    };
    const Case cases[] = {
        {"Arial", 16, false, "LiberationSans-Regular.ttf"},
        {"Arial", 11, true, "LiberationSans-Bold.ttf"},
        {"Times New Roman", 24, false, "LiberationSerif-Regular.ttf"},
        {"Courier New", 13, false, "LiberationMono-Regular.ttf"},
    };
    const char* letters = "abcdefghijklmnopqrstuvwxyz ";
    const int weights[] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56,
                           56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2, 166};
    std::string sample;
    for (int i = 0; i < 27; ++i)
        sample.append(static_cast<std::size_t>(weights[i]), letters[i]);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face + std::string(" ") + std::to_string(c.height));
        TextFaceSpec spec = face_spec(c.face, c.height);
        spec.bold = c.bold;
        const FacePair p = open_pair(spec, c.file);
        ASSERT_TRUE(p.ok());
        const auto& face = p.face;
        const ReferenceFont& ref = *p.ref;
        for (const char* text : {"Torvane", "Race 12: Gran Premio", "W", "  spaced  ", "iiiilllI"})
            EXPECT_EQ(face->measure(text), ref.width(text)) << text;
        EXPECT_EQ(face->measure(""), 0);
        EXPECT_EQ(face->cell_height(), TTF_FontHeight(ref.get()));
        EXPECT_EQ(face->ascent(), TTF_FontAscent(ref.get()));
        const double average = static_cast<double>(ref.width(sample.c_str())) / 1000.0;
        EXPECT_NEAR(face->average_char_width(), average, 0.51);
    }

    // Texts are Windows-1252: accents as in Latin-1, the euro sign at 0x80,
    // and nothing after a NUL.
    const FacePair p = open_pair(face_spec("Arial", 16), "LiberationSans-Regular.ttf");
    ASSERT_TRUE(p.ok());
    const auto& face = p.face;
    const ReferenceFont& ref = *p.ref;
    int w = 0, h = 0;
    TTF_SizeUTF8(ref.get(), "caff\xC3\xA8 \xE2\x82\xAC", &w, &h);
    EXPECT_EQ(face->measure("caff\xE8 \x80"), w);
    EXPECT_EQ(face->measure(std::string_view("ab\0cd", 5)), ref.width("ab"));
}

// A width other than the face's own stretches the glyphs to that average;
// the height stays.
TEST(TextMeasures, AnAskedWidthStretchesTheGlyphs)
{
    TextFaceSpec spec;
    spec.face = "Arial";
    spec.height = 16;
    auto natural = open_face(spec);
    ASSERT_TRUE(natural);
    for (int factor : {2, 3}) {
        spec.width = natural->average_char_width() * factor;
        auto wide = open_face(spec);
        ASSERT_TRUE(wide);
        EXPECT_EQ(wide->average_char_width(), spec.width);
        EXPECT_EQ(wide->cell_height(), natural->cell_height());
        const double ratio = static_cast<double>(wide->measure("Stretched text")) / natural->measure("Stretched text");
        EXPECT_NEAR(ratio, factor, 0.15 * factor);
    }
    spec.width = natural->average_char_width();
    EXPECT_EQ(open_face(spec)->measure("Same width"), natural->measure("Same width"));
}

// A line drawn into a 565 picture is SDL_ttf's own rendering of it, blended
// over the picture where the alignment puts it, for each alignment and for
// styles drawn by variant files and by SDL_ttf.
TEST(TextDrawing, DrawsSdlTtfsRenderingWhereTheAlignmentSays)
{
    struct Case {
        TextAlign align;
        bool bold, italic, underline, strike;
        const char* file;
        int ref_style;
    };
    const Case cases[] = {
        {TextAlign::Left, false, false, false, false, "LiberationSans-Regular.ttf", TTF_STYLE_NORMAL},
        {TextAlign::Right, true, false, false, false, "LiberationSans-Bold.ttf", TTF_STYLE_NORMAL},
        {TextAlign::Center, false, true, true, false, "LiberationSans-Italic.ttf", TTF_STYLE_UNDERLINE},
        {TextAlign::Center, true, true, false, true, "LiberationSans-BoldItalic.ttf", TTF_STYLE_STRIKETHROUGH},
    };
    const char* text = "Gran Premio 1:23.45";
    const std::uint16_t ground = rgb565(20, 40, 90);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TextFaceSpec spec = face_spec("Arial", 18);
        spec.bold = c.bold;
        spec.italic = c.italic;
        spec.underline = c.underline;
        spec.strike_out = c.strike;
        const FacePair p = open_pair(spec, c.file, c.ref_style);
        ASSERT_TRUE(p.ok());
        const auto& face = p.face;
        const ReferenceFont& ref = *p.ref;
        const Coverage cov = reference_coverage(ref, text);
        ASSERT_GT(cov.width, 0);

        Picture565 drawn(240, 40, ground), expected(240, 40, ground);
        TextDrawOptions o = draw_at(120, 7, {0, 0, 240, 40}, 0x2080FF);  // red 255, green 128, blue 32
        o.align = c.align;
        platform::draw_text(*face, drawn.target(), text, o);
        const int w = ref.width(text);
        const int left = c.align == TextAlign::Left ? 120 : c.align == TextAlign::Right ? 120 - w : 120 - w / 2;
        paint_reference(expected, cov, left, 7, 255, 128, 32, o.clip);
        EXPECT_EQ(drawn.pixels, expected.pixels);
    }
}

// Nothing is drawn outside the clip or the picture; inside, the glyphs are
// those of an unclipped drawing.
TEST(TextDrawing, ClipsToTheRectangleAndThePicture)
{
    const FacePair p = open_pair(face_spec("Times New Roman", 26), "LiberationSerif-Regular.ttf");
    ASSERT_TRUE(p.ok());
    const auto& face = p.face;
    const ReferenceFont& ref = *p.ref;
    const char* text = "Clipped Wj";
    const Coverage cov = reference_coverage(ref, text);
    struct Case {
        int x, y;
        PixelRect clip;
    };
    const Case cases[] = {
        {10, 2, {30, 8, 90, 20}},         // a window through the middle
        {-9, -6, {-50, -50, 500, 500}},   // over the top-left corner
        {70, 20, {0, 0, 100, 30}},        // over the bottom-right corner
        {10, 2, {60, 10, 40, 5}},         // an empty clip
        {500, 2, {0, 0, 100, 30}},        // right of the picture
    };
    const std::uint16_t sentinel = 0x1234;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        Picture565 drawn(100, 30, sentinel), expected(100, 30, sentinel);
        const TextDrawOptions o = draw_at(c.x, c.y, c.clip, 0xFFFFFF);
        platform::draw_text(*face, drawn.target(), text, o);
        paint_reference(expected, cov, c.x, c.y, 255, 255, 255, c.clip);
        EXPECT_EQ(drawn.pixels, expected.pixels);
    }
}

// An opaque background fills the cell (the text's width by the cell height)
// at the aligned place, inside the clip, before the glyphs.
TEST(TextDrawing, AnOpaqueBackgroundFillsTheCell)
{
    const FacePair p = open_pair(face_spec("Courier New", 15), "LiberationMono-Regular.ttf");
    ASSERT_TRUE(p.ok());
    const auto& face = p.face;
    const ReferenceFont& ref = *p.ref;
    const char* text = "Opaque";
    const Coverage cov = reference_coverage(ref, text);
    const int w = ref.width(text), h = TTF_FontHeight(ref.get());
    const std::uint16_t sentinel = 0x0841;
    Picture565 drawn(120, 40, sentinel), expected(120, 40, sentinel);
    TextDrawOptions o = draw_at(110, 5, {0, 0, 120, 14}, 0x000000);  // the clip cuts the cell's bottom
    o.align = TextAlign::Right;
    o.opaque = true;
    o.background = 0x00FF00;  // green
    platform::draw_text(*face, drawn.target(), text, o);
    for (int y = 5; y < std::min(5 + h, 14); ++y)
        for (int x = 110 - w; x < 110; ++x)
            expected.at(x, y) = rgb565(0, 255, 0);
    paint_reference(expected, cov, 110 - w, 5, 0, 0, 0, o.clip);
    EXPECT_EQ(drawn.pixels, expected.pixels);
}

// An 8-bit picture takes the palette entry nearest to the text colour where
// the glyphs cover a pixel at least half, and to the background colour in
// the opaque cell.
TEST(TextDrawing, AnIndexedPictureTakesTheNearestPaletteEntry)
{
    std::vector<std::uint32_t> palette(256, 0x808080);
    palette[0] = 0x000000;
    palette[3] = 0x0000C0;   // red 192
    palette[4] = 0x00C000;   // green 192
    palette[7] = 0x1010FF;   // red 255, a little blue and green: nearest to pure red
    palette[9] = 0xFF0000;   // blue
    const FacePair p = open_pair(face_spec("Arial", 20), "LiberationSans-Regular.ttf");
    ASSERT_TRUE(p.ok());
    const auto& face = p.face;
    const ReferenceFont& ref = *p.ref;
    const char* text = "Indexed";
    const Coverage cov = reference_coverage(ref, text);
    const int w = ref.width(text), h = TTF_FontHeight(ref.get());

    for (bool opaque : {false, true}) {
        SCOPED_TRACE(opaque);
        std::vector<std::uint8_t> drawn(90 * 30, 0), expected(90 * 30, 0);
        TextTarget t;
        t.pixels = drawn.data();
        t.pitch = 90;
        t.width = 90;
        t.height = 30;
        t.layout = PixelLayout::Indexed8;
        t.palette = palette;
        TextDrawOptions o = draw_at(3, 2, {0, 0, 90, 30}, 0x0000FF);  // pure red: entry 7
        o.opaque = opaque;
        o.background = 0xE00000;  // a blue: entry 9
        platform::draw_text(*face, t, text, o);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 90; ++x) {
                const int cx = x - 3, cy = y - 2;
                const bool in_cell = cx >= 0 && cx < w && cy >= 0 && cy < h;
                const bool in_glyph = cx >= 0 && cx < cov.width && cy >= 0 && cy < cov.height;
                std::uint8_t& e = expected[static_cast<std::size_t>(y) * 90 + x];
                if (opaque && in_cell)
                    e = 9;
                if (in_glyph && cov.at(cx, cy) >= 128)
                    e = 7;
            }
        EXPECT_EQ(drawn, expected);
    }
}

} // namespace
