#include "tools/datakit/menu_widget_art.h"

#include "tools/datakit/pcx_writer.h"

namespace datakit {

namespace {

// The tick's size, as the scroll bars cut it.
constexpr int kTickWidth = 2;
constexpr int kTickHeight = 3;
// Shades of the demo palette's grey ramp (indices 0 to 31, 0 black), from
// the top row down.
constexpr std::uint8_t kTickShades[kTickHeight] = {31, 26, 20};

} // namespace

bool write_scroll_tick_picture(const std::filesystem::path& menu_folder, std::string& error)
{
    PcxPicture tick;
    tick.width = kTickWidth;
    tick.height = kTickHeight;
    tick.palette = demo_palette_rgb();
    for (const std::uint8_t shade : kTickShades)
        tick.pixels.insert(tick.pixels.end(), kTickWidth, shade);
    return write_pcx(menu_folder / "ssprites" / "slidbar.pcx", tick, error);
}

} // namespace datakit
