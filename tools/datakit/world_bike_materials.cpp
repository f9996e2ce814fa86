#include "tools/datakit/world_bike_materials.h"

#include <array>
#include <bit>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "tools/datakit/palette_writer.h"
#include "tools/datakit/world_track_parts.h"

namespace datakit {

namespace {

std::uint32_t shade(std::uint32_t rgb, float f)
{
    auto ch = [&](int shift) {
        const float v = static_cast<float>((rgb >> shift) & 255u) * f;
        return static_cast<std::uint32_t>(v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v)) << shift;
    };
    return ch(16) | ch(8) | ch(0);
}

std::uint16_t rgb565(std::uint32_t rgb)
{
    return static_cast<std::uint16_t>((((rgb >> 19) & 31u) << 11) | (((rgb >> 10) & 63u) << 5) | ((rgb >> 3) & 31u));
}

// A small deterministic hash of a texel's place, for grain.
float grain(int x, int y)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return static_cast<float>(h & 255u) / 255.0f;
}

} // namespace

WorldPicture world_solid(const std::string& name, int size, std::uint32_t colour)
{
    WorldPicture p{name, size, size, {}};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            p.rgb.push_back(shade(colour, 0.92f + 0.08f * grain(x, y)));
    return p;
}

WorldPicture world_livery(const std::string& name, int size, std::uint32_t base, std::uint32_t accent)
{
    WorldPicture p{name, size, size, {}};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int band = (x + y / 2) % size;
            std::uint32_t c = band < size * 3 / 8 && band >= size / 8 ? accent : base;
            if (band == size / 2)
                c = 0xF0F0F0;
            p.rgb.push_back(shade(c, 1.0f - 0.25f * static_cast<float>(y) / static_cast<float>(size)));
        }
    return p;
}

WorldPicture world_tyre(const std::string& name, int size)
{
    WorldPicture p{name, size, size, {}};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            p.rgb.push_back((x + y) % 8 == 0 ? 0x101010 : shade(0x303030, 0.9f + 0.1f * grain(x, y)));
    return p;
}

WorldPicture world_puff(const std::string& name, int size, std::uint32_t colour, float thinning)
{
    WorldPicture p{name, size, size, {}};
    const float r = static_cast<float>(size) * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float dx = (static_cast<float>(x) + 0.5f - r) / r, dy = (static_cast<float>(y) + 0.5f - r) / r;
            const float d = std::sqrt(dx * dx + dy * dy);
            const bool inside = d < 1.0f && grain(x, y) >= thinning * 0.9f + d * d * 0.3f;
            p.rgb.push_back(inside ? shade(colour, 1.0f - 0.3f * d) : kWorldClear);
        }
    return p;
}

PcxPicture world_pcx_sheet(int frames, int frame_width, int frame_height)
{
    PcxPicture p;
    p.width = frames * frame_width;
    p.height = frame_height;
    p.pixels.assign(static_cast<std::size_t>(p.width * p.height), 0);
    p.palette = demo_palette_rgb();
    return p;
}

void push_world_texel_565(std::vector<std::uint8_t>& pixels, std::uint32_t rgb, bool clear, bool avoid_key)
{
    std::uint16_t v = clear ? kWorldKey565 : rgb565(rgb);
    if (!clear && avoid_key && v == kWorldKey565)
        v ^= 1u;  // a visible texel never reads as the key
    pixels.push_back(static_cast<std::uint8_t>(v));
    pixels.push_back(static_cast<std::uint8_t>(v >> 8));
}

mtt_palette world_track_mtt_palette(const char* name)
{
    mtt_palette pal;
    pal.name = name;
    const Palette demo = world::track_palette();
    for (std::size_t i = 0; i < 256; ++i)
        pal.colours[i] = rgb565(static_cast<std::uint32_t>(demo[i].red) * 4u << 16 |
                                static_cast<std::uint32_t>(demo[i].green) * 4u << 8 |
                                static_cast<std::uint32_t>(demo[i].blue) * 4u);
    return pal;
}

std::uint8_t world_palette_index(std::uint32_t rgb)
{
    static const std::array<std::uint32_t, 256> palette = [] {
        std::array<std::uint32_t, 256> out{};
        const Palette pal = world::track_palette();
        for (std::size_t i = 0; i < 256; ++i)
            out[i] = static_cast<std::uint32_t>(pal[i].red) * 4u << 16 | static_cast<std::uint32_t>(pal[i].green) * 4u << 8 |
                     static_cast<std::uint32_t>(pal[i].blue) * 4u;
        return out;
    }();
    int best = 1;
    long best_d = -1;
    for (int i = 1; i < 256; ++i) {
        const long dr = static_cast<long>((rgb >> 16) & 255u) - static_cast<long>((palette[static_cast<std::size_t>(i)] >> 16) & 255u);
        const long dg = static_cast<long>((rgb >> 8) & 255u) - static_cast<long>((palette[static_cast<std::size_t>(i)] >> 8) & 255u);
        const long db = static_cast<long>(rgb & 255u) - static_cast<long>(palette[static_cast<std::size_t>(i)] & 255u);
        const long d = dr * dr + dg * dg + db * db;
        if (best_d < 0 || d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

MttLibrary world_material_library(const std::vector<WorldMaterial>& materials, bool eight_bit)
{
    MttLibrary lib;
    std::unordered_map<std::uint32_t, std::uint8_t> nearest;
    std::unordered_set<std::string> stored; // a picture shared by materials is stored once
    for (const WorldMaterial& m : materials) {
        std::vector<std::string> frame_names;
        for (const WorldPicture& f : m.frames)
            frame_names.push_back(f.name);
        const WorldPicture& first = m.frames.front();
        // Pictures with clear texels are keyed: magenta in the 16-bit
        // files (type 5), index 0 in the 8-bit ones (type 6).
        bool keyed = false;
        for (const WorldPicture& f : m.frames)
            for (std::uint32_t c : f.rgb)
                keyed = keyed || c == kWorldClear;
        const std::uint32_t type = eight_bit ? (keyed ? 6u : 4u) : (keyed ? 5u : 1u);
        mtt_material material = mtt_make_material(m.name.c_str(), frame_names, type, first.width, first.height);
        mtt_set_drawing_words(material, first.width, first.height, kWorldAmbient, kWorldDiffuse);
        for (mtt_frame& f : material.texture.frames)
            f.colour = keyed && !eight_bit ? kWorldKey565 : 0u;
        lib.materials.push_back(std::move(material));
        for (const WorldPicture& f : m.frames) {
            if (!stored.insert(f.name).second)
                continue;
            MttPicture pic;
            pic.name = f.name;
            pic.width = f.width;
            pic.height = f.height;
            pic.pixel_bytes = eight_bit ? 1 : 2;
            for (std::uint32_t c : f.rgb) {
                if (eight_bit) {
                    std::uint8_t index = 0;
                    if (c != kWorldClear) {
                        auto it = nearest.find(c);
                        if (it == nearest.end())
                            it = nearest.emplace(c, world_palette_index(c)).first;
                        index = it->second;
                    }
                    pic.pixels.push_back(index);
                } else {
                    push_world_texel_565(pic.pixels, c, c == kWorldClear, true);
                }
            }
            lib.pictures.push_back(std::move(pic));
        }
    }
    if (eight_bit) {
        lib.palettes.push_back(world_track_mtt_palette("TRACK"));
    }
    if (eight_bit)
        mtt_software_layout(lib);
    else
        mtt_pack_atlas(lib);
    return lib;
}

bool write_world_materials(const std::filesystem::path& base, const char* wide_ext, const char* narrow_ext,
                           const std::vector<WorldMaterial>& materials, std::string& error)
{
    std::filesystem::path wide = base, narrow = base;
    wide += wide_ext;
    narrow += narrow_ext;
    return write_mtt(wide, world_material_library(materials, false), error) &&
           write_mtt(narrow, world_material_library(materials, true), error);
}

} // namespace datakit
