#include "tools/datakit/flare_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "tools/datakit/pcx_writer.h"

namespace datakit {

namespace {

constexpr int kSide = 64;

// Alpha 0..1 at a distance d from the centre (in pixels) and an angle.
using Shape = std::function<double(double d, double angle)>;

PcxPicture flare_picture(const Shape& shape)
{
    PcxPicture p;
    p.width = kSide;
    p.height = kSide;
    p.pixels.resize(kSide * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const double dx = x + 0.5 - kSide / 2.0, dy = y + 0.5 - kSide / 2.0;
            const double a = std::clamp(shape(std::sqrt(dx * dx + dy * dy), std::atan2(dy, dx)), 0.0, 1.0);
            p.pixels[static_cast<std::size_t>(y) * kSide + x] = static_cast<std::uint8_t>(std::lround(a * 15.0));
        }
    for (int i = 0; i < 256; ++i)
        p.palette[3 * i] = p.palette[3 * i + 1] = p.palette[3 * i + 2] = static_cast<std::uint8_t>((i & 15) * 17);
    return p;
}

} // namespace

bool write_demo_lens_flare(const std::filesystem::path& root, std::string& error)
{
    const double pi = std::acos(-1.0);
    const Shape shapes[] = {
        // The sun disc: full inside, a soft rim.
        [](double d, double) { return d < 18 ? 1.0 : 1.0 - (d - 18) / 13; },
        // A ring around the middle.
        [](double d, double) { return 1.0 - std::fabs(d - 24) / 5; },
        // A hexagon, faint inside with a brighter edge.
        [pi](double d, double angle) {
            const double sector = std::fmod(angle + pi, pi / 3) - pi / 6;
            const double edge = 28 * std::cos(pi / 6) / std::cos(sector);
            return d > edge ? 0.0 : (edge - d < 3 ? 0.8 : 0.4);
        },
        // A soft spot.
        [](double d, double) { return std::exp(-(d * d) / (2 * 11.0 * 11.0)); },
        // The glare: bright in the middle, fading towards the corners.
        [](double d, double) { return 1.0 - d / 46; },
    };
    int n = 0;
    for (const Shape& shape : shapes) {
        char name[16];
        std::snprintf(name, sizeof name, "Flare%02d.pcx", n++);
        if (!write_pcx(root / "Gfx" / "Lens" / name, flare_picture(shape), error))
            return false;
    }
    return true;
}

} // namespace datakit
