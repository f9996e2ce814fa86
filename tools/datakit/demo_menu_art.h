#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/datakit/font_writer.h"
#include "tools/datakit/pcx_writer.h"

// The pictures of the demo menus, painted procedurally: a full-colour
// canvas with coverage (the parts a picture leaves transparent), text in
// the menu font's face at any size, and the conversion to the 8-bit
// pictures the menus load (a colour cube with error diffusion, index 0 the
// transparent colour).
namespace datakit::menu_art {

struct Colour {
    float r = 0, g = 0, b = 0; // 0..255
};

Colour mix(Colour a, Colour b, float t);

class Canvas {
public:
    // A canvas of w x h in `fill`; `opaque` false leaves it transparent.
    Canvas(int width, int height, Colour fill = {}, bool opaque = true);

    int width() const { return width_; }
    int height() const { return height_; }

    // Lays `c` over the pixel with opacity a (0..1); pixels outside are
    // left alone. Over a transparent pixel the coverage grows by a.
    void blend(int x, int y, Colour c, float a);
    Colour at(int x, int y) const { return colour_[index(x, y)]; }
    float coverage(int x, int y) const { return cover_[index(x, y)]; }
    // Every pixel from a function of its place (opaque).
    void paint(const std::function<Colour(int x, int y)>& colour);
    // A rectangle with rounded corners (radius r, edges smoothed), filled
    // top to bottom from `top` to `bottom`, with a border of `border_width`
    // pixels in `border`.
    void panel(int x, int y, int w, int h, int r, Colour top, Colour bottom, Colour border, int border_width,
               float opacity = 1.0f);
    // Another canvas laid over this one at (x, y), with its coverage.
    void draw(const Canvas& other, int x, int y);
    // A box-filtered copy at w x h.
    Canvas scaled(int w, int h) const;

    // The 8-bit picture: a 6 x 7 x 6 colour cube at indices 1..252 with
    // Floyd-Steinberg error diffusion; pixels under half covered become the
    // transparent index 0.
    PcxPicture picture() const;

private:
    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    }

    int width_, height_;
    std::vector<Colour> colour_;
    std::vector<float> cover_;
};

// Text in the menu font's face (sans bold) at a size in points, laid out
// with the glyphs' inked widths.
class Lettering {
public:
    // False, with `error`, when the face cannot be rendered.
    bool load(int point_size, bool bold, std::string& error);

    int height() const { return font_.cell_height; }
    // The width of a text with `spacing` extra pixels between glyphs.
    int width(std::string_view text, int spacing = 0) const;
    // Draws the text with its top-left corner at (x, y); the colour of each
    // pixel comes from its height within the glyph row (0 top, 1 bottom).
    void draw(Canvas& canvas, int x, int y, std::string_view text, const std::function<Colour(float)>& colour,
              float opacity = 1.0f, int spacing = 0) const;
    void draw(Canvas& canvas, int x, int y, std::string_view text, Colour colour, float opacity = 1.0f,
              int spacing = 0) const;
    // Centred on x: a soft shadow, then the text.
    void draw_centred_with_shadow(Canvas& canvas, int centre_x, int y, std::string_view text,
                                  const std::function<Colour(float)>& colour, int spacing = 0) const;

private:
    struct Glyph {
        int left = 0, width = 0; // inked columns within the cell
    };
    const Glyph* glyph(unsigned char c) const;
    float ink(unsigned char c, int x, int y) const; // 0..1 inside the glyph's cell

    BitmapFont font_;
    std::vector<Glyph> glyphs_;
    int space_ = 0;
};

} // namespace datakit::menu_art
