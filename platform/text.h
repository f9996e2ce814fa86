#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display.h"

// Menu text in the faces the screen files name ("Arial", "Courier New",
// "Times New Roman", ...), drawn into a picture the caller owns (the
// renderer's back buffer). Faces map to metric-compatible TrueType fonts
// installed on the machine (text_faces.h), with a fallback, so a layout
// measured here matches the one the screens were made for.
namespace platform {

// A line of text as its glyphs cover the pixels: `width` x `height` bytes,
// row after row, from 0 (not covered) to 255 (covered whole); as wide as the
// line measures and as high as its cell, empty for an empty text.
struct TextCoverage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> alpha;
};

// What a face is asked for with. Sizes are pixels.
struct TextFaceSpec {
    std::string face;          // the face name as the screen file gives it
    int height = 16;           // the em height (character height) in pixels; 1 to 2048 (below 1: 1)
    int width = 0;             // the average character width in pixels, up to 2048; 0: the face's own
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike_out = false;
};

// A face opened at one size and style.
class TextFace {
public:
    // Opens the face; null, with `error` set, when no font file can be
    // opened (neither the face's own nor the fallback), the size is beyond
    // the limits, or the text service does not start. A width other than 0
    // and other than the face's own average width stretches the glyphs
    // horizontally to that average.
    static std::unique_ptr<TextFace> open(const TextFaceSpec& spec, std::string* error = nullptr);
    virtual ~TextFace() = default;

    // Line metrics in pixels: the cell height (ascent + descent), the
    // ascent, and the average character width (the width of the lower-case
    // letters weighted as a text would use them, as the layout rules use it).
    virtual int cell_height() const = 0;
    virtual int ascent() const = 0;
    virtual int average_char_width() const = 0;
    // The advance width of the text in pixels (0 for an empty text). Texts
    // are Windows-1252 bytes, ending at the first NUL; underline and
    // strike-out are part of the glyphs.
    virtual int measure(std::string_view text) const = 0;
    // The text rendered anti-aliased, its cell's top-left corner at (0, 0).
    virtual TextCoverage coverage(std::string_view text) const = 0;
    // The font file this face was opened from.
    virtual const std::string& file() const = 0;
    const TextFaceSpec& spec() const { return spec_; }

protected:
    explicit TextFace(TextFaceSpec spec) : spec_(std::move(spec)) {}

private:
    TextFaceSpec spec_;
};

// Where the text's reference point lies: its left edge, its right edge or
// its centre; the top of its cell is at y.
enum class TextAlign { Left, Right, Center };

// A picture to draw into: width x height pixels in `layout` (Indexed8 or one
// of the 16-bit colour layouts), rows `pitch` bytes apart. An Indexed8
// picture takes the palette entry nearest to each colour drawn (`palette`:
// 256 entries 0x00BBGGRR).
struct TextTarget {
    std::uint8_t* pixels = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
    PixelLayout layout = PixelLayout::Rgb565;
    std::span<const std::uint32_t> palette;
};

struct TextDrawOptions {
    int x = 0;                        // the reference point (see TextAlign)
    int y = 0;                        // the top of the text's cell
    TextAlign align = TextAlign::Left;
    PixelRect clip{};                 // nothing is drawn outside it (nor outside the target)
    std::uint32_t colour = 0xFFFFFF;  // 0x00BBGGRR
    bool opaque = false;              // fill the text's cell with `background` first
    std::uint32_t background = 0;     // 0x00BBGGRR
};

// Draws one line of text (no line breaks are interpreted). Glyph edges are
// blended over what the picture holds (a 16-bit picture); in an 8-bit
// picture a pixel the glyphs cover at least half takes the palette entry
// nearest to the text colour, and the others keep theirs. An opaque
// background fills the cell (measure x cell_height) at the aligned place
// first. Nothing happens for an empty text, a null picture, a pitch too
// small for the width, an 8-bit picture without a palette, or an empty clip.
void draw_text(const TextFace& face, const TextTarget& target, std::string_view text, const TextDrawOptions& options);

} // namespace platform
