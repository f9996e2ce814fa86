#include "tools/datakit/world_bike_cockpit.h"


#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/pcx_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/world_bike_materials.h"
#include "tools/datakit/world_bike_models.h"

namespace datakit {

namespace {

constexpr int kDigitWidth = 8, kDigitHeight = 12, kRevLights = 8, kLightSize = 6;

// Digits 0-9 as 3 x 5 cells, one bit per cell, top row first.
const std::uint16_t kGlyphs[10] = {0x7B6F, 0x2492, 0x73E7, 0x73CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};

PcxPicture digits(std::uint32_t colour)
{
    PcxPicture p = world_pcx_sheet(10, kDigitWidth, kDigitHeight);
    const std::uint8_t ink = world_palette_index(colour);
    for (int d = 0; d < 10; ++d)
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 6; ++x)
                if (kGlyphs[d] >> (14 - ((y / 2) * 3 + x / 2)) & 1)
                    p.pixels[static_cast<std::size_t>((y + 1) * p.width + d * kDigitWidth + x + 1)] = ink;
    return p;
}

PcxPicture lights(bool lit)
{
    PcxPicture p = world_pcx_sheet(kRevLights, kLightSize, kLightSize);
    for (int k = 0; k < kRevLights; ++k) {
        const std::uint32_t colour = !lit ? 0x303030 : (k < 5 ? 0x20E020 : (k < 7 ? 0xF0C010 : 0xF02010));
        const std::uint8_t ink = world_palette_index(colour);
        for (int y = 1; y < kLightSize - 1; ++y)
            for (int x = 1; x < kLightSize - 1; ++x)
                p.pixels[static_cast<std::size_t>(y * p.width + k * kLightSize + x)] = ink;
    }
    return p;
}

} // namespace

std::string world_cockpit_text(int model)
{
    const ManufacturerSpec maker = demo_manufacturers()[static_cast<std::size_t>(model)];
    const std::string key = world_material_key(maker.model_name);
    const auto limit = static_cast<std::int32_t>(maker.rev_limit);
    TypedListWriter out;
    out.begin_list("NEEDLE").record({TypedField::f(1.0f), TypedField::i(limit)}).end_list();
    out.begin_list("COCKPIT");
    out.record({TypedField::s("Speed.pcx"), TypedField::i(10), TypedField::i(kDigitWidth), TypedField::i(kDigitHeight),
                TypedField::i(3), TypedField::i(10), TypedField::i(1)});
    out.record({TypedField::s("Gear.pcx"), TypedField::i(10), TypedField::i(kDigitWidth), TypedField::i(kDigitHeight),
                TypedField::i(7), TypedField::i(2), TypedField::i(1)});
    out.record({TypedField::s("RevOn.pcx"), TypedField::i(kRevLights), TypedField::i(kLightSize),
                TypedField::i(kLightSize), TypedField::i(0), TypedField::i(0), TypedField::i(0)});
    out.record({TypedField::s("RevOff.pcx"), TypedField::i(kRevLights), TypedField::i(kLightSize),
                TypedField::i(kLightSize), TypedField::i(0), TypedField::i(0), TypedField::i(0)});
    out.end_list();
    out.begin_list("RPM");
    for (int k = 0; k < kRevLights; ++k)
        out.record({TypedField::i(limit * (60 + 5 * k) / 100), TypedField::i(4 + 7 * k), TypedField::i(29)});
    out.end_list();
    out.begin_list("TEXTURE");
    for (const char* suffix : {"_SPD", "_GEAR", "_REVS", "_REVS"})
        out.record({TypedField::s(key + suffix)});
    out.end_list();
    return out.text();
}

bool write_world_cockpits(const std::filesystem::path& root, std::string& error)
{
    const std::vector<ManufacturerSpec> makers = demo_manufacturers();
    for (std::size_t m = 0; m < makers.size(); ++m) {
        const std::filesystem::path folder = root / "Gfx" / "Cockpit" / makers[m].model_name;
        if (!create_folders(folder, error) || !write_text_file(folder / "Cockpit.dat", world_cockpit_text(static_cast<int>(m)), error) ||
            !write_pcx(folder / "Speed.pcx", digits(0xF0F0F0), error) ||
            !write_pcx(folder / "Gear.pcx", digits(0xF0C010), error) || !write_pcx(folder / "RevOn.pcx", lights(true), error) ||
            !write_pcx(folder / "RevOff.pcx", lights(false), error))
            return false;
    }
    return true;
}

} // namespace datakit
