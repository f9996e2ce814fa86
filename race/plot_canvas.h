#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// A picture of 32-bit colours (0x00RRGGBB) that the telemetry plot window
// draws its curves and labels into before handing it to its window: filled
// rectangles, lines and text in a fixed 5 x 7 pixel face. Everything is
// clipped to the picture. It keeps the rectangle of the pixels whose colour
// changed, so that its owner can tell what a drawing step altered.
class PlotCanvas {
public:
    // Columns left..right - 1 of rows top..bottom - 1; empty when either
    // side is 0 or less.
    struct Box {
        int left = 0, top = 0, right = 0, bottom = 0;
        bool Empty() const { return right <= left || bottom <= top; }
        bool Overlaps(const Box& other) const
        {
            return !Empty() && !other.Empty() && left < other.right && other.left < right && top < other.bottom &&
                   other.top < bottom;
        }
    };

    // The face: each character is 5 x 7 pixels, one column apart.
    static constexpr int kGlyphWidth = 5;
    static constexpr int kTextHeight = 7;
    static constexpr int kAdvance = kGlyphWidth + 1;

    enum class Align { Left, Right };
    enum class Edge { Top, Bottom };

    // A black picture of that size (nothing for a side below 1).
    void Resize(int width, int height);
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    const std::vector<std::uint32_t>& Pixels() const { return m_Pixels; }
    // The colour at a point; 0 outside the picture.
    std::uint32_t At(int x, int y) const;

    // Columns left..right - 1 of rows top..bottom - 1.
    void Fill(int left, int top, int right, int bottom, std::uint32_t colour);
    // A line from one point to the other, both ends drawn.
    void Line(int x0, int y0, int x1, int y1, std::uint32_t colour);
    // Text on a transparent background: `x` is its left or right edge and
    // `y` its top or bottom edge (the row below its last row). Characters
    // outside the printable ASCII range draw as spaces.
    void Text(std::string_view text, int x, int y, Align align, Edge edge, std::uint32_t colour);
    static int TextWidth(std::string_view text);
    // The rectangle that Text with these arguments covers.
    static Box TextBox(std::string_view text, int x, int y, Align align, Edge edge);

    // The smallest rectangle holding every pixel whose colour changed since
    // the last call (the whole picture after Resize); empty when none did.
    // Writing a pixel its own colour is no change.
    Box TakeChanges();

    // The rows of a character's glyph, top first, bit 4 the left column.
    static const std::uint8_t* Glyph(char c);

private:
    void Put(long long x, long long y, std::uint32_t colour);
    void Changed(int left, int top, int right, int bottom);

    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<std::uint32_t> m_Pixels;
    Box m_Changes;
};
