#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A proportional bitmap font cut from a picture sheet (loadpcx) laid out as
// a grid of equal character cells, each glyph trimmed to its inked columns
// and widened to an even width, with an optional table of kerning pairs
// read from "<name>.cfg" (text) or "<name>.cfb" (binary) beside the sheet.
// Text is drawn into the renderer's back buffer with the transparent
// colour left out, clipped to the font's rectangle and the screen.
//
// All positions, widths, spacings and kerning adjustments are in pixels,
// on 8-bit and 16-bit screens alike.
class lib2d_font {
public:
    static constexpr int kMaxPairs = 7680;
    // Kerning adjustments are held to this many pixels either way on
    // reading: no screen is wider, and the pen's sums stay far from the
    // ends of 32 bits.
    static constexpr int kMaxPairAdjustment = 1024;

    lib2d_font();
    ~lib2d_font() { free(); }
    lib2d_font(const lib2d_font&) = delete;
    lib2d_font& operator=(const lib2d_font&) = delete;

    // Cuts `count` glyphs of w x h cells, `across` to a row, the character
    // codes running from `first`. 1, or 0 after a Lib2d error box (5: the
    // display is not set up; 6: the sheet is not found; 2: the sheet does
    // not hold the grid). A missing or damaged description file is no
    // error: the font has no kerning.
    int load(const char* sheet, int w, int h, int across, int count, int first);
    // Draws the text with its first cell's top-left corner at (x, y): a
    // space or underscore advances by `space`, each glyph by its width plus
    // `spacing` plus the kerning of it and the next character; characters
    // the font lacks are skipped. 1 when the device can draw; 0 when it is
    // not ready or paused, or no row of the text is inside the rectangle.
    int draw_text(const char* text, int x, int y, int space, int spacing);
    // Every character centred in a fixed cell of cell width - `narrowing`
    // pixels. 1 when the device can draw (also when nothing is visible).
    int draw_text_ex(const char* text, int x, int y, int narrowing);
    // Glyphs at their own widths, each followed by `gap` pixels; a space or
    // underscore advances by `space`.
    int draw_text_gap(const char* text, int x, int y, int space, int gap);
    // The width in pixels draw_text gives the text (no clipping), summed in
    // 64 bits and held to the range of an int.
    int text_width(const char* text, int space, int spacing) const;
    // The rectangle draw_text clips to; right and bottom exclusive. Bounds
    // are clamped to the screen when the text is drawn.
    void set_clip(int left, int right, int top, int bottom);
    void free();

    // The extra advance, in pixels, of character `c` followed by `d`.
    int pair_adjustment(int c, int d) const;

    // Glyphs one after another, each width x cell height pixels of
    // bytes_per_pixel bytes: palette indices on the software type
    // (0 transparent), else colours in the screen's format (key transparent).
    std::vector<std::uint8_t> glyphs;
    std::int32_t glyph_offset[256];   // bytes into `glyphs`; -1: no such character
    std::int32_t glyph_width[256];    // pixels, even; 0: empty cell
    std::int32_t glyph_count = 0;
    std::int32_t cell_width = 0;      // rounded up to even
    std::int32_t cell_height = 0;
    std::int32_t key = 0;
    std::int32_t bytes_per_pixel = 0;
    // Kerning: keys (first << 8 | second) ascending with a closing 0, the
    // adjustment of each in pixels, and per first character the index of
    // its first pair (-1: none).
    std::int32_t pair_count = 0;
    std::vector<std::int32_t> pair_keys;
    std::vector<std::int32_t> pair_adjust;
    std::vector<std::int32_t> pair_index;
    // Palette index to screen colour, when the software type draws on a
    // 16-bit screen.
    std::vector<std::uint16_t> colour_table;
    std::int32_t clip_left = 0, clip_right = 0, clip_top = 0, clip_bottom = 0;

private:
    struct Box {
        int left, right, top, bottom;
    };
    Box screen_box() const;
    // Draws the visible pixels of glyph `code` with its top-left at
    // (x, y), inside `box`.
    void put_glyph(int code, long long x, long long y, const Box& box) const;
    // Draws `text` from `x` inside `box`: a space or '_' moves the pen by
    // `space`, a glyph by its width, `extra` and (with `kerning`) the pair
    // adjustment with the next character; characters without a glyph are
    // skipped. Stops at the box's right edge.
    void draw_run(const char* text, long long x, int y, const Box& box, int space, int extra, bool kerning) const;
    bool has_glyph(int code) const { return glyph_offset[code] >= 0 && glyph_width[code] > 0; }
    void load_pairs(const std::string& sheet);
};

// Kerning pairs read from a description file, in pixels: keys ascending
// with a closing 0, their adjustments, and the per-character index.
struct lib2d_pairs {
    std::int32_t count = 0;
    std::vector<std::int32_t> keys;
    std::vector<std::int32_t> adjust;
    std::vector<std::int32_t> index;
};

// The text form: entries of two characters (the first above 32) and a
// signed decimal number; lines starting with '#' are comments. The first
// entry of a pair counts; at most lib2d_font::kMaxPairs are taken; each
// adjustment is held to lib2d_font::kMaxPairAdjustment either way. False
// when no pair was read.
bool lib2d_parse_pairs_text(const std::vector<std::uint8_t>& text, lib2d_pairs& out);
// The binary form: the count, keys and adjustments (count + 1 each, the
// last key 0), then 256 index entries. False unless the file's size, the
// closing 0 and every index agree with the count. Adjustments are held as
// in the text form.
bool lib2d_parse_pairs_binary(const std::vector<std::uint8_t>& file, lib2d_pairs& out);
