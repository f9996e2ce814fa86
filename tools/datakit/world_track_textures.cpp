// The demo world's pictures, drawn in code: every texel comes from a
// formula of its coordinates and a deterministic noise.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>

#include "tools/datakit/world_bike_materials.h"
#include "tools/datakit/world_track_parts.h"

namespace datakit::world {

namespace {

struct Rgb {
    double r, g, b;
};

std::uint32_t argb(Rgb c, std::uint32_t alpha = 255)
{
    auto q = [](double v) { return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
    return alpha << 24 | q(c.r) << 16 | q(c.g) << 8 | q(c.b);
}

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb scale(Rgb a, double s) { return {a.r * s, a.g * s, a.b * s}; }

Picture make(const char* name, int w, int h, const std::function<std::uint32_t(int, int)>& texel, bool cut_out = false)
{
    Picture p;
    p.name = name;
    p.width = w;
    p.height = h;
    p.cut_out = cut_out;
    p.argb.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.argb[static_cast<std::size_t>(y * w + x)] = texel(x, y);
    return p;
}

// Noise that tiles with period `period` in both directions, smoothed over
// a cell of `cell` texels.
double tiled_noise(int x, int y, int period, int cell, std::uint32_t seed)
{
    const int cells = std::max(1, period / cell);
    const double fx = static_cast<double>(x) / cell, fy = static_cast<double>(y) / cell;
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    const double tx = fx - x0, ty = fy - y0;
    auto at = [&](int i, int j) { return noise(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, seed); };
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
    const double b = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
    return a + (b - a) * sy;
}

// Glyphs of 3 x 5 dots for the boards' digits and letters (bit 2 is the
// left column).
const std::array<std::uint8_t, 5>* glyph(char c)
{
    static const std::array<std::uint8_t, 5> digits[10] = {
        {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
        {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
    };
    struct Letter {
        char c;
        std::array<std::uint8_t, 5> rows;
    };
    static const Letter letters[] = {
        {'A', {2, 5, 7, 5, 5}}, {'E', {7, 4, 6, 4, 7}}, {'G', {7, 4, 5, 5, 7}}, {'I', {7, 2, 2, 2, 7}},
        {'L', {4, 4, 4, 4, 7}}, {'N', {5, 7, 7, 5, 5}}, {'O', {7, 5, 5, 5, 7}}, {'P', {7, 5, 7, 4, 4}},
        {'R', {6, 5, 6, 5, 5}}, {'S', {7, 4, 7, 1, 7}}, {'T', {7, 2, 2, 2, 2}}, {'V', {5, 5, 5, 5, 2}},
        {'X', {5, 5, 2, 5, 5}}, {'Y', {5, 5, 2, 2, 2}}, {'C', {7, 4, 4, 4, 7}}, {'K', {5, 6, 4, 6, 5}},
    };
    if (c >= '0' && c <= '9')
        return &digits[c - '0'];
    for (const Letter& l : letters)
        if (l.c == c)
            return &l.rows;
    return nullptr;
}

// Whether (x, y) falls on a dot of `text` drawn with dots of `dot` texels
// from (left, top).
bool on_text(const std::string& text, int x, int y, int left, int top, int dot)
{
    if (y < top || y >= top + 5 * dot || x < left)
        return false;
    const int col = (x - left) / dot;
    const int index = col / 4, gx = col % 4;
    if (index >= static_cast<int>(text.size()) || gx == 3)
        return false;
    const auto* g = glyph(text[static_cast<std::size_t>(index)]);
    return g && ((*g)[static_cast<std::size_t>((y - top) / dot)] >> (2 - gx) & 1) != 0;
}

int text_width(const std::string& text, int dot) { return (static_cast<int>(text.size()) * 4 - 1) * dot; }

Picture advert(const char* name, Rgb back, Rgb front, const std::string& text, int pattern)
{
    return make(name, 64, 16, [=](int x, int y) {
        const int left = (64 - text_width(text, 2)) / 2;
        if (on_text(text, x, y, left, 3, 2))
            return argb(front);
        bool band = false;
        if (pattern == 0)
            band = y < 2 || y > 13;
        else if (pattern == 1)
            band = (x + y) % 16 < 3 && (x < left - 2 || x > 64 - left + 1);
        else if (pattern == 2)
            band = (x < left - 3 || x > 64 - left + 2) && (y % 4 < 2);
        else
            band = x < 3 || x > 60;
        return argb(band ? mix(front, back, 0.35) : back);
    });
}

Picture distance_board(const char* name, const std::string& digits)
{
    return make(name, 32, 32, [=](int x, int y) {
        if (x < 2 || x > 29 || y < 2 || y > 29)
            return argb({200, 30, 25});
        const int left = (32 - text_width(digits, 2)) / 2;
        return argb(on_text(digits, x, y, left, 11, 2) ? Rgb{15, 15, 15} : Rgb{240, 240, 235});
    });
}

Picture lamps(int frame)
{
    return make(("lamps" + std::to_string(frame)).c_str(), 64, 16, [=](int x, int y) {
        const int lamp = x / 12;
        const double cx = lamp * 12 + 8.0, cy = 8.0;
        const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
        if (lamp >= 5 || d > 4.5 || x < 2)
            return argb({20, 20, 22});
        Rgb c{60, 10, 10};
        if (frame == 6)
            c = {40, 230, 60};
        else if (lamp < frame)
            c = {255, 40, 25};
        return argb(mix(c, scale(c, 0.6), d / 4.5));
    });
}

} // namespace

double noise(int x, int y, std::uint32_t seed)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<double>(h & 0xFFFFFF) / 16777216.0;
}

Palette track_palette()
{
    static constexpr Rgb ramps[8] = {
        {200, 200, 200}, {70, 150, 50}, {30, 95, 35}, {205, 180, 125},
        {215, 35, 30},   {100, 150, 225}, {240, 205, 40}, {225, 120, 35},
    };
    Palette palette{};
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k < 32; ++k) {
            // 24 shades from dark to the full colour, then 8 toward white.
            const Rgb c = k < 24 ? scale(ramps[r], (k + 1) / 24.0)
                                 : mix(ramps[r], Rgb{255, 255, 255}, (k - 23) / 9.0);
            PaletteColor& p = palette[static_cast<std::size_t>(32 * r + k)];
            p.red = static_cast<std::uint8_t>(std::clamp(std::lround(c.r / 4.0), 0L, 63L));
            p.green = static_cast<std::uint8_t>(std::clamp(std::lround(c.g / 4.0), 0L, 63L));
            p.blue = static_cast<std::uint8_t>(std::clamp(std::lround(c.b / 4.0), 0L, 63L));
        }
    }
    palette[0] = PaletteColor{0, 0, 0};
    return palette;
}

const std::vector<Picture>& track_pictures()
{
    static const std::vector<Picture> pictures = [] {
        std::vector<Picture> p;
        p.push_back(make("asphalt", 64, 64, [](int x, int y) {
            const double n = tiled_noise(x, y, 64, 4, 1) * 0.5 + noise(x, y, 2) * 0.5;
            return argb(scale(Rgb{92, 92, 96}, 0.82 + 0.3 * n));
        }));
        p.push_back(make("pitasphalt", 64, 64, [](int x, int y) {
            const double n = noise(x, y, 3);
            return argb(scale(Rgb{118, 116, 112}, 0.85 + 0.25 * n));
        }));
        p.push_back(make("line", 8, 8, [](int x, int y) { return argb(scale(Rgb{245, 245, 240}, 0.95 + 0.05 * noise(x, y, 4))); }));
        p.push_back(make("yellowpaint", 8, 8, [](int, int) { return argb({235, 200, 30}); }));
        // Four bands along the track per texture height (1 m each at 4 m a
        // repeat): red, white, red, white.
        p.push_back(make("kerb", 16, 64, [](int x, int y) {
            const Rgb c = (y / 16) % 2 == 0 ? Rgb{205, 30, 28} : Rgb{240, 240, 236};
            return argb(scale(c, 0.9 + 0.1 * std::sin(x * 3.14159 / 16.0)));
        }));
        p.push_back(make("checker", 64, 64, [](int x, int y) {
            return argb(((x / 8) + (y / 8)) % 2 == 0 ? Rgb{20, 20, 20} : Rgb{240, 240, 240});
        }));
        p.push_back(make("grass", 64, 64, [](int x, int y) {
            const double n = tiled_noise(x, y, 64, 8, 5) * 0.6 + noise(x, y, 6) * 0.4;
            const double stripe = (y / 32) % 2 == 0 ? 1.0 : 0.9;
            return argb(scale(Rgb{70, 140, 48}, (0.75 + 0.35 * n) * stripe));
        }));
        p.push_back(make("ground", 64, 64, [](int x, int y) {
            const double n = tiled_noise(x, y, 64, 16, 7) * 0.7 + noise(x, y, 8) * 0.3;
            return argb(mix(Rgb{62, 120, 44}, Rgb{95, 120, 55}, n));
        }));
        p.push_back(make("gravel", 64, 64, [](int x, int y) {
            const double n = noise(x, y, 9);
            return argb(scale(Rgb{205, 182, 130}, 0.72 + 0.38 * n));
        }));
        p.push_back(make("concrete", 64, 64, [](int x, int y) {
            const double n = tiled_noise(x, y, 64, 8, 10) * 0.5 + noise(x, y, 11) * 0.5;
            const bool joint = x % 32 == 0;
            return argb(scale(Rgb{185, 183, 176}, joint ? 0.7 : 0.88 + 0.15 * n));
        }));
        p.push_back(make("armco", 64, 16, [](int x, int y) {
            // Two grooves along the rail, a post every half texture.
            const bool groove = y == 5 || y == 10;
            const bool post = x % 32 < 2 && y > 12;
            return argb(scale(Rgb{175, 180, 185}, groove ? 0.6 : (post ? 0.45 : 0.9 + 0.1 * noise(x, y, 12))));
        }));
        p.push_back(make("tyres", 32, 32, [](int x, int y) {
            // Stacked tyres seen from the side, every other row red and white.
            const int row = y / 8;
            const double cx = (x % 8) + 0.5 - 4.0, cy = (y % 8) + 0.5 - 4.0;
            const double r = std::hypot(cx, cy);
            if (r < 1.5)
                return argb({10, 10, 10});
            const Rgb band = row % 2 == 0 ? Rgb{200, 40, 35} : Rgb{230, 230, 230};
            return argb(r < 3.8 ? scale(Rgb{30, 30, 32}, 0.8 + 0.3 * noise(x, y, 13)) : scale(band, 0.8));
        }));
        p.push_back(make("stand", 64, 64, [](int x, int y) {
            // Rows of seats with spectators in many colours.
            if (y % 8 < 2)
                return argb({150, 150, 150});
            static const Rgb shirts[6] = {{210, 40, 35}, {240, 220, 60}, {40, 80, 200}, {240, 240, 240}, {40, 140, 60}, {230, 120, 30}};
            const double n = noise(x / 2, y / 8, 14);
            if (n < 0.55 && x % 2 == 0)
                return argb(shirts[static_cast<int>(n * 100) % 6]);
            return argb({60, 90, 170});
        }));
        p.push_back(make("roof", 32, 32, [](int x, int y) {
            return argb(scale(Rgb{170, 175, 185}, x % 4 < 2 ? 0.95 : 0.8 + 0.05 * noise(x, y, 15)));
        }));
        p.push_back(make("garage", 64, 64, [](int x, int y) {
            // A roller door framed in white with a band of windows above.
            if (y < 14)
                return argb((x % 16 < 12 && y > 3 && y < 11) ? Rgb{70, 110, 150} : Rgb{235, 235, 230});
            if (x < 6 || x > 57 || y < 18)
                return argb({235, 235, 230});
            return argb(scale(Rgb{140, 145, 150}, y % 4 == 0 ? 0.7 : 1.0));
        }));
        p.push_back(make("wall", 32, 32, [](int x, int y) { return argb(scale(Rgb{230, 225, 210}, 0.9 + 0.1 * noise(x, y, 16))); }));
        p.push_back(make("tree", 64, 64, [](int x, int y) {
            const double cx = x + 0.5 - 32.0, cy = y + 0.5 - 26.0;
            const double edge = 24.0 + 5.0 * (tiled_noise(x, y, 64, 4, 17) - 0.5);
            if (std::hypot(cx, cy * 1.1) < edge && y < 52)
                return argb(scale(Rgb{40, 105, 38}, 0.6 + 0.5 * noise(x, y, 18)));
            if (std::fabs(cx) < 3.0 && y >= 40)
                return argb({90, 65, 40});
            return std::uint32_t{0};
        }, true));
        p.push_back(make("pine", 32, 64, [](int x, int y) {
            const double cx = std::fabs(x + 0.5 - 16.0);
            if (y < 56 && cx < (y + 2) * 0.27 + 1.0 * (noise(x, y, 19) - 0.5))
                return argb(scale(Rgb{25, 80, 40}, 0.6 + 0.5 * noise(x, y, 20)));
            if (cx < 2.0 && y >= 52)
                return argb({80, 60, 40});
            return std::uint32_t{0};
        }, true));
        p.push_back(make("bush", 32, 32, [](int x, int y) {
            const double cx = x + 0.5 - 16.0, cy = y + 0.5 - 22.0;
            if (std::hypot(cx * 0.8, cy * 1.3) < 12.0 + 3.0 * (noise(x / 3, y / 3, 21) - 0.5) && y < 31)
                return argb(scale(Rgb{60, 120, 40}, 0.6 + 0.5 * noise(x, y, 22)));
            return std::uint32_t{0};
        }, true));
        p.push_back(make("marshal", 32, 32, [](int x, int y) {
            if (y < 4)
                return argb({240, 240, 240});
            if (y > 10 && y < 18 && x > 6 && x < 26)
                return argb({60, 80, 100});
            return argb(scale(Rgb{235, 120, 30}, 0.9 + 0.1 * noise(x, y, 23)));
        }));
        p.push_back(make("metal", 32, 32, [](int x, int y) {
            const bool brace = (x + y) % 16 < 2 || (x - y + 32) % 16 < 2 || x < 2 || x > 29;
            return argb(brace ? Rgb{60, 62, 66} : Rgb{120, 124, 130});
        }));
        for (int f = 0; f < kStartLightFrames; ++f)
            p.push_back(lamps(f));
        p.push_back(advert("ad0", {200, 30, 30}, {250, 250, 250}, "TORVANE", 0));
        p.push_back(advert("ad1", {30, 60, 170}, {250, 220, 40}, "OIL", 1));
        p.push_back(advert("ad2", {245, 215, 40}, {25, 25, 25}, "TYRES", 2));
        p.push_back(advert("ad3", {30, 130, 60}, {245, 245, 245}, "SPARK", 3));
        p.push_back(distance_board("dist100", "100"));
        p.push_back(distance_board("dist200", "200"));
        p.push_back(distance_board("dist300", "300"));
        return p;
    }();
    return pictures;
}

std::vector<Picture> sky_pictures(int weather)
{
    const bool sunny = weather == 0;
    std::vector<Picture> p;
    // Names holding "skynf" keep the sky out of the fog.
    p.push_back(make(sunny ? "skynf_sky" : "skynf_skyr", 16, 64, [=](int x, int y) {
        // Rows 0 to 55 the sky from the zenith to the horizon, the rest
        // the haze of the far ground below it.
        const Rgb top = sunny ? Rgb{60, 110, 210} : Rgb{95, 100, 108};
        const Rgb low = sunny ? Rgb{190, 215, 240} : Rgb{150, 155, 160};
        const Rgb haze = sunny ? Rgb{82, 118, 72} : Rgb{92, 104, 90};
        if (y >= 56)
            return argb(scale(haze, 0.97 + 0.06 * noise(x, y, 30)));
        const double t = y / 55.0;
        return argb(scale(mix(top, low, t * t), 0.98 + 0.04 * noise(x, y, 30)));
    }));
    p.push_back(make(sunny ? "skynf_hills" : "skynf_hillsr", 128, 32, [=](int x, int y) {
        // Two ranges of distant hills: the far one paler.
        const double far = 14.0 + 6.0 * tiled_noise(x, 0, 128, 16, 31) + 2.0 * tiled_noise(x, 0, 128, 4, 32);
        const double near = 21.0 + 5.0 * tiled_noise(x, 0, 128, 32, 33) + 1.5 * tiled_noise(x, 0, 128, 8, 34);
        const Rgb haze = sunny ? Rgb{150, 175, 200} : Rgb{135, 140, 148};
        const Rgb green = sunny ? Rgb{70, 110, 80} : Rgb{90, 100, 96};
        if (y >= near)
            return argb(scale(green, 0.9 + 0.15 * noise(x, y, 35)));
        if (y >= far)
            return argb(mix(haze, green, 0.35));
        return std::uint32_t{0};
    }, true));
    if (sunny) {
        p.push_back(make("skynf_sun", 32, 32, [](int x, int y) {
            const double r = std::hypot(x + 0.5 - 16.0, y + 0.5 - 16.0);
            if (r < 7.0)
                return argb({255, 252, 235});
            if (r < 15.0)
                return argb(mix(Rgb{255, 240, 180}, Rgb{200, 220, 245}, (r - 7.0) / 8.0));
            return std::uint32_t{0};
        }, true));
    }
    return p;
}

std::vector<MaterialSpec> track_materials()
{
    std::vector<MaterialSpec> m = {
        {mat::asphalt, {"asphalt"}},   {mat::pit_asphalt, {"pitasphalt"}}, {mat::line, {"line"}},
        {mat::paint, {"yellowpaint"}}, {mat::kerb, {"kerb"}},              {mat::start, {"checker"}},
        {mat::grass, {"grass"}},       {mat::ground, {"ground"}},          {mat::gravel, {"gravel"}},
        {mat::concrete, {"concrete"}}, {mat::armco, {"armco"}},            {mat::tyres, {"tyres"}},
        {mat::stand, {"stand"}},       {mat::roof, {"roof"}},              {mat::garage, {"garage"}},
        {mat::wall, {"wall"}},         {mat::tree, {"tree"}},              {mat::pine, {"pine"}},
        {mat::bush, {"bush"}},         {mat::marshal, {"marshal"}},        {mat::metal, {"metal"}},
    };
    MaterialSpec lights{mat::lamps, {}};
    for (int f = 0; f < kStartLightFrames; ++f)
        lights.pictures.push_back("lamps" + std::to_string(f));
    m.push_back(lights);
    for (int i = 0; i < 4; ++i)
        m.push_back({mat::ads[i], {"ad" + std::to_string(i)}});
    for (int i = 0; i < 3; ++i)
        m.push_back({mat::distance[i], {"dist" + std::to_string((i + 1) * 100)}});
    return m;
}

std::vector<MaterialSpec> sky_materials(int weather)
{
    const bool sunny = weather == 0;
    std::vector<MaterialSpec> m = {
        {mat::sky, {sunny ? "skynf_sky" : "skynf_skyr"}},
        {mat::hills, {sunny ? "skynf_hills" : "skynf_hillsr"}},
    };
    if (sunny)
        m.push_back({mat::sun, {"skynf_sun"}});
    return m;
}

MttLibrary material_library(const std::vector<MaterialSpec>& materials, const std::vector<Picture>& pictures,
                            bool palettised)
{
    MttLibrary lib;
    const Picture* const none = nullptr;
    for (const MaterialSpec& spec : materials) {
        const Picture* first = none;
        for (const Picture& p : pictures)
            if (!spec.pictures.empty() && p.name == spec.pictures.front())
                first = &p;
        if (!first)
            throw std::invalid_argument("material " + spec.name + " shows a picture that is not drawn");
        const std::uint32_t type = palettised ? (first->cut_out ? 6u : 4u) : (first->cut_out ? 5u : 1u);
        mtt_material m = mtt_make_material(spec.name.c_str(), spec.pictures, type, first->width, first->height);
        mtt_set_drawing_words(m, first->width, first->height, kWorldAmbient, kWorldDiffuse);
        for (mtt_frame& f : m.texture.frames) {
            f.colour = !palettised && first->cut_out ? kWorldKey565 : 0u;
            f.palette = 0;
        }
        lib.materials.push_back(std::move(m));
    }
    for (const Picture& p : pictures) {
        bool used = false;
        for (const MaterialSpec& spec : materials)
            used = used || std::find(spec.pictures.begin(), spec.pictures.end(), p.name) != spec.pictures.end();
        if (!used)
            continue;
        MttPicture out;
        out.name = p.name;
        out.width = p.width;
        out.height = p.height;
        out.pixel_bytes = palettised ? 1 : 2;
        for (std::uint32_t c : p.argb) {
            const bool clear = p.cut_out && (c >> 24) == 0;
            if (palettised)
                out.pixels.push_back(clear ? 0 : world_palette_index(c));
            else
                push_world_texel_565(out.pixels, c, clear, p.cut_out);
        }
        lib.pictures.push_back(std::move(out));
    }
    if (palettised)
        lib.palettes.push_back(world_track_mtt_palette("track"));
    if (palettised)
        mtt_software_layout(lib);
    else
        mtt_pack_atlas(lib);
    return lib;
}

} // namespace datakit::world
