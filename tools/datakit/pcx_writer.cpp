#include "tools/datakit/pcx_writer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <system_error>

#include "platform/atomic_file.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/palette_writer.h"

namespace datakit {

namespace {

constexpr std::size_t kHeaderBytes = 128;

int stored_line(const PcxPicture& p)
{
    return p.bytes_per_line > 0 ? p.bytes_per_line : p.width;
}

void put16(std::vector<std::uint8_t>& out, std::size_t at, int value)
{
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

std::vector<std::uint8_t> header_bytes(const PcxPicture& p)
{
    std::vector<std::uint8_t> h(kHeaderBytes, 0);
    h[0] = 10; // manufacturer
    h[1] = 5;  // version
    h[2] = 1;  // run-length encoding
    h[3] = 8;  // bits per pixel and plane
    put16(h, 4, 0);
    put16(h, 6, 0);
    put16(h, 8, p.width - 1);
    put16(h, 10, p.height - 1);
    put16(h, 12, 72);
    put16(h, 14, 72);
    h[65] = static_cast<std::uint8_t>(p.planes);
    put16(h, 66, stored_line(p));
    put16(h, 68, 1); // colour palette
    return h;
}

void check(const PcxPicture& p)
{
    if (p.width <= 0 || p.height <= 0 || p.width > 0x7FFF || p.height > 0x7FFF || (p.planes != 1 && p.planes != 3))
        throw std::invalid_argument("pcx: bad picture size or plane count");
    if (p.bytes_per_line != 0 && (p.bytes_per_line < p.width || p.bytes_per_line > 0x7FFF))
        throw std::invalid_argument("pcx: bytes per line shorter than the picture");
    if (p.pixels.size() != static_cast<std::size_t>(p.width) * p.height * p.planes)
        throw std::invalid_argument("pcx: the pixels do not match the picture's size");
}

void encode_run(std::vector<std::uint8_t>& out, std::uint8_t value, int length)
{
    while (length > 0) {
        const int n = length > 63 ? 63 : length;
        if (n == 1 && value < 0xC0) {
            out.push_back(value);
        } else {
            out.push_back(static_cast<std::uint8_t>(0xC0 | n));
            out.push_back(value);
        }
        length -= n;
    }
}

} // namespace

std::vector<std::uint8_t> pcx_bytes(const PcxPicture& p)
{
    check(p);
    std::vector<std::uint8_t> out = header_bytes(p);
    const std::size_t width = static_cast<std::size_t>(p.width);
    const std::size_t line = static_cast<std::size_t>(stored_line(p));
    std::vector<std::uint8_t> padded(line, 0);
    for (std::size_t row = 0; row < static_cast<std::size_t>(p.height) * p.planes; ++row) {
        std::copy_n(p.pixels.data() + row * width, width, padded.begin());
        const std::uint8_t* src = padded.data();
        std::size_t x = 0;
        while (x < line) {
            std::size_t end = x + 1;
            while (end < line && src[end] == src[x])
                ++end;
            encode_run(out, src[x], static_cast<int>(end - x));
            x = end;
        }
    }
    out.push_back(0x0C);
    out.insert(out.end(), p.palette.begin(), p.palette.end());
    return out;
}

std::vector<std::uint8_t> pcx_raw_bytes(const PcxPicture& p)
{
    check(p);
    std::vector<std::uint8_t> out = {'C', 'o', 'r', 'v', 'a', 'n', 't', 'i', 's'};
    const std::size_t width = static_cast<std::size_t>(p.width);
    const std::size_t line = static_cast<std::size_t>(stored_line(p));
    const std::size_t lines = static_cast<std::size_t>(p.height) * p.planes;
    const std::uint32_t count = static_cast<std::uint32_t>(lines * line);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
    const std::vector<std::uint8_t> header = header_bytes(p);
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), p.palette.begin(), p.palette.end());
    for (std::size_t row = 0; row < lines; ++row) {
        const auto from = p.pixels.begin() + static_cast<std::ptrdiff_t>(row * width);
        out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(width));
        out.insert(out.end(), line - width, 0);
    }
    out.insert(out.end(), 8, 0);
    return out;
}

bool write_pcx(const std::filesystem::path& path, const PcxPicture& picture, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::vector<std::uint8_t> bytes = pcx_bytes(picture);
    if (!platform::write_file_atomic(path.string(), bytes, &error)) {
        error = "cannot write \"" + path.string() + "\": " + error;
        return false;
    }
    return true;
}

std::array<std::uint8_t, 768> demo_palette_rgb()
{
    const Palette palette = demo_palette();
    std::array<std::uint8_t, 768> rgb{};
    for (std::size_t i = 0; i < 256; ++i) {
        rgb[3 * i] = static_cast<std::uint8_t>(palette[i].red * 4);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(palette[i].green * 4);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(palette[i].blue * 4);
    }
    return rgb;
}

namespace {

// Demo palette ramps (32 shades each, index 32 r + k).
constexpr int kGrey = 0, kRed = 1, kGreen = 2, kBlue = 3, kYellow = 4;

std::uint8_t shade(int ramp, int k)
{
    return static_cast<std::uint8_t>(32 * ramp + (k < 0 ? 0 : (k > 31 ? 31 : k)));
}

PcxPicture blank(int w, int h)
{
    PcxPicture p;
    p.width = w;
    p.height = h;
    p.pixels.assign(static_cast<std::size_t>(w) * h, 0);
    p.palette = demo_palette_rgb();
    return p;
}

} // namespace

PcxPicture demo_track_picture(int circuit)
{
    PcxPicture p = blank(640, 480);
    const int hills = 1 + circuit % 7; // a ramp other than grey
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            std::uint8_t c;
            const int horizon = 220 + static_cast<int>(30.0 * std::sin((x + 40 * circuit) / 90.0));
            if (y < horizon)
                c = shade(kBlue, 31 - y / 12);
            else if (y > 330 && y < 380)
                c = shade(kGrey, 12 + ((x / 40 + y / 10) % 2) * 2); // the road with its kerb pattern
            else
                c = shade(hills == kBlue ? kGreen : hills, 10 + (y - horizon) / 20);
            p.pixels[static_cast<std::size_t>(y) * 640 + x] = c;
        }
    }
    return p;
}

namespace {

PcxPicture loading_picture()
{
    PcxPicture p = blank(640, 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool panel = x >= 160 && x < 480 && y >= 200 && y < 280;
            p.pixels[static_cast<std::size_t>(y) * 640 + x] = panel ? shade(kYellow, 24) : shade(kGrey, 2 + y / 40);
        }
    return p;
}

// 35 frames of a turning wheel, 120 x 90 each, five to a row.
PcxPicture logo_sheet()
{
    constexpr int kW = 120, kH = 90, kAcross = 5, kFrames = 35;
    PcxPicture p = blank(kW * kAcross, kH * (kFrames / kAcross));
    const double pi = 3.14159265358979323846;
    for (int f = 0; f < kFrames; ++f) {
        const int x0 = (f % kAcross) * kW, y0 = (f / kAcross) * kH;
        const double turn = 2.0 * pi * f / kFrames;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double dx = x - kW / 2.0 + 0.5, dy = y - kH / 2.0 + 0.5;
                const double r = std::sqrt(dx * dx + dy * dy);
                std::uint8_t c = 0; // transparent
                if (r < 40.0 && r > 32.0) {
                    c = shade(kGrey, 20);
                } else if (r <= 32.0) {
                    double a = std::atan2(dy, dx) - turn;
                    a = std::fmod(a + 8.0 * pi, 2.0 * pi / 5.0);
                    if (a < 0.25 || r < 6.0)
                        c = shade(kRed, 28);
                }
                p.pixels[static_cast<std::size_t>(y0 + y) * p.width + x0 + x] = c;
            }
    }
    return p;
}

PcxPicture logo_mask()
{
    PcxPicture p = blank(120, 90);
    for (auto& c : p.pixels)
        c = shade(kGrey, 3);
    return p;
}

} // namespace

bool write_demo_loading_pictures(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path folder = root / "Gfx" / "Loading";
    if (!write_pcx(folder / "loading.pcx", loading_picture(), error) ||
        !write_pcx(folder / "TvnLogo.pcx", logo_sheet(), error) ||
        !write_pcx(folder / "Mask_00.pcx", logo_mask(), error))
        return false;
    for (int i = 0; i < 12; ++i)
        if (!write_pcx(folder / (std::string(kDemoCircuitNames[i]) + ".pcx"), demo_track_picture(i), error))
            return false;
    return true;
}

} // namespace datakit
