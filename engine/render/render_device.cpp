#include "engine/render/render_device.h"

#include <stdexcept>

#include "engine/base/render_facts.h"
#include "engine/render/fog.h"
#include "platform/memory_status.h"

namespace {

render_device* g_pRenderDevice = nullptr;

} // namespace

// Below this much physical memory (a round figure, not 16 MiB) the machine
// counts as low on memory: the engine keeps smaller software buffers.
inline constexpr std::uint64_t kLowMemoryBytes = 17000000;

render_device::render_device()
{
    // A figure that cannot be read is not taken for a small machine.
    const std::uint64_t memory = platform::total_physical_memory();
    low_memory = memory != 0 && memory < kLowMemoryBytes ? 1 : 0;
    clear_state();
    // Fog and depths are usable before any scene sets its own fog: without
    // this table every vertex would have depth 0.
    make_fog_table(kDefaultFogDensity, kDefaultFogStart, kDefaultFogEnd);
}

// The constructed state: nothing listed, nothing set up, render type 96.
void render_device::clear_state()
{
    ready = 0;
    surfaces_valid = 0;
    window = {};
    driver_count = 0;
    for (dd_driver_info& info : drivers)
        info = dd_driver_info{};
    current_driver = current_device = current_mode = 0;
    exclusive = 0;
    paused = 0;
    render_states_dirty = 1;
    render_type = kRenderHardware;
    requested_level = 0;
    surfaces_lost = 0;
}

int render_device::update_window_origin()
{
    if (exclusive)
        return 1;
    platform::Point origin;
    if (platform::client_to_screen(window, origin)) {
        origin_x = origin.x;
        origin_y = origin.y;
    }
    return 1;
}

void render_device::set_active(int state)
{
    if (state == 1) {
        paused = 1;
    } else if (state == 0) {
        // The device's states and an 8-bit screen's palette are sent again
        // with the next frame; a surface lost meanwhile is restored then.
        render_states_dirty = 1;
        paused = 0;
        palette_dirty = 1;
    }
}

render_device* installed_render_device()
{
    return g_pRenderDevice;
}

render_device& the_render_device()
{
    if (!g_pRenderDevice)
        throw std::logic_error("the renderer is used before the program-wide objects are built");
    return *g_pRenderDevice;
}

void set_the_render_device(render_device* device)
{
    g_pRenderDevice = device;
    // The engine's context sizes its software buffers by the machine's memory.
    engine_render_facts().low_memory = device && device->low_memory;
    install_texture_surface_ops(device != nullptr);
    if (device)
        publish_render_palette(*device);
}
