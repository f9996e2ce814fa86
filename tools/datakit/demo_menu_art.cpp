#include "tools/datakit/demo_menu_art.h"

#include <algorithm>
#include <cmath>

#include "platform/text_faces.h"

namespace datakit::menu_art {

namespace {

// The colour cube of the pictures: 6 levels of red and blue, 7 of green,
// after the transparent index 0.
constexpr int kRedLevels = 6, kGreenLevels = 7, kBlueLevels = 6;

float clamp255(float v)
{
    return std::clamp(v, 0.0f, 255.0f);
}

int level_of(float v, int levels)
{
    return static_cast<int>(std::lround(clamp255(v) * static_cast<float>(levels - 1) / 255.0f));
}

float level_value(int level, int levels)
{
    return 255.0f * static_cast<float>(level) / static_cast<float>(levels - 1);
}

} // namespace

Colour mix(Colour a, Colour b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Canvas::Canvas(int width, int height, Colour fill, bool opaque)
    : width_(width), height_(height), colour_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill),
      cover_(colour_.size(), opaque ? 1.0f : 0.0f)
{
}

void Canvas::blend(int x, int y, Colour c, float a)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || a <= 0.0f)
        return;
    a = std::min(a, 1.0f);
    const std::size_t i = index(x, y);
    const float below = cover_[i];
    const float total = a + below * (1.0f - a);
    // The colour over what was there, weighted by how much of each shows.
    const float own = total > 0.0f ? a / total : 1.0f;
    colour_[i] = mix(colour_[i], c, own);
    cover_[i] = total;
}

void Canvas::paint(const std::function<Colour(int x, int y)>& colour)
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            colour_[index(x, y)] = colour(x, y);
            cover_[index(x, y)] = 1.0f;
        }
}

void Canvas::panel(int x, int y, int w, int h, int r, Colour top, Colour bottom, Colour border, int border_width,
                   float opacity)
{
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            // Distance inside the rounded rectangle's edge.
            const float cx = std::clamp(static_cast<float>(i) + 0.5f, static_cast<float>(r),
                                        static_cast<float>(w - r));
            const float cy = std::clamp(static_cast<float>(j) + 0.5f, static_cast<float>(r),
                                        static_cast<float>(h - r));
            const float dx = static_cast<float>(i) + 0.5f - cx, dy = static_cast<float>(j) + 0.5f - cy;
            const float corner = static_cast<float>(r) - std::sqrt(dx * dx + dy * dy);
            const float edge = std::min({corner, static_cast<float>(i) + 0.5f, static_cast<float>(j) + 0.5f,
                                         static_cast<float>(w - i) - 0.5f, static_cast<float>(h - j) - 0.5f});
            const float inside = std::clamp(edge + 0.5f, 0.0f, 1.0f);
            if (inside <= 0.0f)
                continue;
            const float t = h > 1 ? static_cast<float>(j) / static_cast<float>(h - 1) : 0.0f;
            const float rim = std::clamp(static_cast<float>(border_width) - edge + 0.5f, 0.0f, 1.0f);
            blend(x + i, y + j, mix(mix(top, bottom, t), border, rim), inside * opacity);
        }
}

void Canvas::draw(const Canvas& other, int x, int y)
{
    for (int j = 0; j < other.height_; ++j)
        for (int i = 0; i < other.width_; ++i)
            blend(x + i, y + j, other.at(i, j), other.coverage(i, j));
}

Canvas Canvas::scaled(int w, int h) const
{
    Canvas out(w, h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int x0 = i * width_ / w, x1 = std::max(x0 + 1, (i + 1) * width_ / w);
            const int y0 = j * height_ / h, y1 = std::max(y0 + 1, (j + 1) * height_ / h);
            Colour sum;
            float cover = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    const Colour c = at(x, y);
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                    cover += coverage(x, y);
                }
            const float n = static_cast<float>((x1 - x0) * (y1 - y0));
            out.colour_[out.index(i, j)] = {sum.r / n, sum.g / n, sum.b / n};
            out.cover_[out.index(i, j)] = cover / n;
        }
    return out;
}

PcxPicture Canvas::picture() const
{
    PcxPicture p;
    p.width = width_;
    p.height = height_;
    p.pixels.assign(colour_.size(), 0);
    for (int r = 0; r < kRedLevels; ++r)
        for (int g = 0; g < kGreenLevels; ++g)
            for (int b = 0; b < kBlueLevels; ++b) {
                const std::size_t i = static_cast<std::size_t>(1 + (r * kGreenLevels + g) * kBlueLevels + b);
                p.palette[3 * i] = static_cast<std::uint8_t>(std::lround(level_value(r, kRedLevels)));
                p.palette[3 * i + 1] = static_cast<std::uint8_t>(std::lround(level_value(g, kGreenLevels)));
                p.palette[3 * i + 2] = static_cast<std::uint8_t>(std::lround(level_value(b, kBlueLevels)));
            }
    // Error diffusion row by row; the error of a row goes to the next.
    std::vector<Colour> work = colour_;
    const auto spread = [&](int x, int y, Colour e, float w) {
        if (x < 0 || x >= width_ || y >= height_ || cover_[index(x, y)] < 0.5f)
            return;
        Colour& c = work[index(x, y)];
        c.r += e.r * w;
        c.g += e.g * w;
        c.b += e.b * w;
    };
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const std::size_t i = index(x, y);
            if (cover_[i] < 0.5f)
                continue;
            const Colour c = work[i];
            const int r = level_of(c.r, kRedLevels), g = level_of(c.g, kGreenLevels), b = level_of(c.b, kBlueLevels);
            p.pixels[i] = static_cast<std::uint8_t>(1 + (r * kGreenLevels + g) * kBlueLevels + b);
            const Colour e{clamp255(c.r) - level_value(r, kRedLevels), clamp255(c.g) - level_value(g, kGreenLevels),
                           clamp255(c.b) - level_value(b, kBlueLevels)};
            spread(x + 1, y, e, 7.0f / 16.0f);
            spread(x - 1, y + 1, e, 3.0f / 16.0f);
            spread(x, y + 1, e, 5.0f / 16.0f);
            spread(x + 1, y + 1, e, 1.0f / 16.0f);
        }
    return p;
}

bool Lettering::load(int point_size, bool bold, std::string& error)
{
    FontStyle style;
    style.ttf_file =
        platform::liberation_font_path(bold ? "LiberationSans-Bold.ttf" : "LiberationSans-Regular.ttf").string();
    style.point_size = point_size;
    if (!render_bitmap_font(style, font_, error))
        return false;
    glyphs_.assign(static_cast<std::size_t>(font_.count), Glyph{});
    for (int k = 0; k < font_.count; ++k) {
        const int x0 = (k % font_.across) * font_.cell_width, y0 = (k / font_.across) * font_.cell_height;
        int left = font_.cell_width, right = -1;
        for (int y = 0; y < font_.cell_height; ++y)
            for (int x = 0; x < font_.cell_width; ++x)
                if (font_.sheet.pixels[static_cast<std::size_t>(y0 + y) * static_cast<std::size_t>(font_.sheet.width) +
                                       static_cast<std::size_t>(x0 + x)] != 0) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        if (right >= left)
            glyphs_[static_cast<std::size_t>(k)] = {left, right - left + 1};
    }
    space_ = std::max(3, point_size * 4 / 10 + 1);
    return true;
}

const Lettering::Glyph* Lettering::glyph(unsigned char c) const
{
    const int k = static_cast<int>(c) - font_.first_char;
    if (k < 0 || k >= font_.count || glyphs_[static_cast<std::size_t>(k)].width == 0)
        return nullptr;
    return &glyphs_[static_cast<std::size_t>(k)];
}

float Lettering::ink(unsigned char c, int x, int y) const
{
    const int k = static_cast<int>(c) - font_.first_char;
    const int x0 = (k % font_.across) * font_.cell_width, y0 = (k / font_.across) * font_.cell_height;
    const std::uint8_t shade =
        font_.sheet.pixels[static_cast<std::size_t>(y0 + y) * static_cast<std::size_t>(font_.sheet.width) +
                           static_cast<std::size_t>(x0 + x)];
    return static_cast<float>(shade) / 15.0f;
}

int Lettering::width(std::string_view text, int spacing) const
{
    int w = 0;
    bool first = true;
    for (const char ch : text) {
        const Glyph* g = glyph(static_cast<unsigned char>(ch));
        if (!first)
            w += spacing;
        w += g ? g->width + std::max(1, font_.cell_height / 12) : space_;
        first = false;
    }
    return w;
}

void Lettering::draw(Canvas& canvas, int x, int y, std::string_view text, const std::function<Colour(float)>& colour,
                     float opacity, int spacing) const
{
    const float rows = static_cast<float>(std::max(1, font_.cell_height - 1));
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const Glyph* g = glyph(c);
        if (!g) {
            x += space_ + spacing;
            continue;
        }
        for (int j = 0; j < font_.cell_height; ++j) {
            const Colour shade = colour(static_cast<float>(j) / rows);
            for (int i = 0; i < g->width; ++i)
                canvas.blend(x + i, y + j, shade, ink(c, g->left + i, j) * opacity);
        }
        x += g->width + std::max(1, font_.cell_height / 12) + spacing;
    }
}

void Lettering::draw(Canvas& canvas, int x, int y, std::string_view text, Colour colour, float opacity,
                     int spacing) const
{
    draw(canvas, x, y, text, [colour](float) { return colour; }, opacity, spacing);
}

void Lettering::draw_centred_with_shadow(Canvas& canvas, int centre_x, int y, std::string_view text,
                                         const std::function<Colour(float)>& colour, int spacing) const
{
    const int x = centre_x - width(text, spacing) / 2;
    const int offset = std::max(2, font_.cell_height / 16);
    // A shadow blurred over a few pixels under the text.
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            draw(canvas, x + offset + dx * offset / 2, y + offset + dy * offset / 2, text, Colour{0, 0, 8}, 0.18f,
                 spacing);
    draw(canvas, x, y, text, colour, 1.0f, spacing);
}

} // namespace datakit::menu_art
