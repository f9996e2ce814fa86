#include "platform/display.h"
#include "platform/device3d_raster.h"
#include "platform/display_state.h"

#include <algorithm>
#include <mutex>

#include "platform/fault_seam.h"

namespace platform {

namespace {

std::mutex g_description_mutex;

DisplayDescription& installed_description()
{
    static DisplayDescription* description = new DisplayDescription(default_display_description());
    return *description;
}

bool is_16_bit_colour(PixelLayout layout)
{
    return layout == PixelLayout::Rgb565 || layout == PixelLayout::Rgb555 || layout == PixelLayout::Bgr565 ||
           layout == PixelLayout::Argb4444;
}

// The raw value of a colour 0xRRGGBB in a layout (alpha full).
std::uint32_t pack_rgb(PixelLayout layout, std::uint32_t rgb)
{
    const std::uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    switch (layout) {
    case PixelLayout::Rgb565: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    case PixelLayout::Bgr565: return (b >> 3) << 11 | (g >> 2) << 5 | (r >> 3);
    case PixelLayout::Rgb555: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case PixelLayout::Argb4444: return 0xF000u | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4);
    default: return 0;
    }
}

bool lists_depth(const std::vector<int>& depths, int depth)
{
    return std::find(depths.begin(), depths.end(), depth) != depths.end();
}

} // namespace

PixelMasks pixel_masks(PixelLayout layout)
{
    PixelMasks m;
    switch (layout) {
    case PixelLayout::Indexed8: m.bits = 8; m.palettised = true; m.index_bits = 8; break;
    case PixelLayout::Rgb565: m.bits = 16; m.red = 0xF800; m.green = 0x07E0; m.blue = 0x001F; break;
    case PixelLayout::Rgb555: m.bits = 16; m.red = 0x7C00; m.green = 0x03E0; m.blue = 0x001F; break;
    case PixelLayout::Bgr565: m.bits = 16; m.red = 0x001F; m.green = 0x07E0; m.blue = 0xF800; break;
    case PixelLayout::Argb4444:
        m.bits = 16; m.alpha = 0xF000; m.red = 0x0F00; m.green = 0x00F0; m.blue = 0x000F; break;
    case PixelLayout::Depth16: m.bits = 16; m.depth = true; break;
    }
    return m;
}

std::uint16_t pack_colour(std::uint32_t bgr, PixelLayout layout)
{
    const std::uint32_t rgb = (bgr & 0xFF) << 16 | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
    return static_cast<std::uint16_t>(pack_rgb(layout, rgb));
}

int bytes_per_pixel(PixelLayout layout)
{
    return layout == PixelLayout::Indexed8 ? 1 : 2;
}

DisplayDescription default_display_description()
{
    DisplayDescription d;
    d.driver_name = "Primary Display Driver";
    d.desktop = {get_system_metric(SM_CXSCREEN), get_system_metric(SM_CYSCREEN), 16};
    d.modes.push_back({320, 200, 8});
    static constexpr int kSizes[][2] = {{512, 384}, {640, 480}, {800, 600}, {1024, 768}};
    for (int depth : {8, 16})
        for (const auto& size : kSizes)
            d.modes.push_back({size[0], size[1], depth});
    // The desktop, for a window: frames of 16 bits are what windows take.
    const bool listed = std::any_of(d.modes.begin(), d.modes.end(), [&](const DisplayModeInfo& m) {
        return m.width == d.desktop.width && m.height == d.desktop.height && m.depth == d.desktop.depth;
    });
    if (!listed)
        d.modes.push_back(d.desktop);

    DeviceInfo device;
    device.name = "Torvane 3D";
    device.description = "Torvane rasteriser, RGB";
    device.hardware = true;
    device.colour_model = 2;
    device.render_depths = {16};
    device.depth_buffer_depths = {16};
    device.compare_less = true;
    device.compare_less_equal = true;
    device.perspective_textures = true;
    device.clipping = true;
    device.stippled_alpha = true;
    device.source_blends = kBlendZero | kBlendOne | kBlendSourceAlpha | kBlendInverseSourceAlpha;
    device.destination_blends = device.source_blends;
    device.texture_blends = kTextureBlendModulate | kTextureBlendModulateAlpha;
    device.max_vertex_count = 0xFFFF;
    d.devices.push_back(device);

    d.texture_formats = {PixelLayout::Rgb565, PixelLayout::Rgb555, PixelLayout::Argb4444};
    d.video_memory = 16u * 1024u * 1024u;
    d.texture_memory = d.video_memory;
    d.dac_bits = 8;
    return d;
}

void set_display_description(const DisplayDescription& description)
{
    std::lock_guard lock(g_description_mutex);
    installed_description() = description;
}

void reset_display_description()
{
    set_display_description(default_display_description());
}

DisplayDescription current_display_description()
{
    std::lock_guard lock(g_description_mutex);
    return installed_description();
}

// ---- The driver ----------------------------------------------------------------

DisplayResult DisplayDriver::list_drivers(std::vector<std::string>& names)
{
    names.clear();
    if (take_fault(Fault::DisplayDriverList))
        return DisplayResult::Failed;
    names.push_back(current_display_description().driver_name);
    return DisplayResult::Ok;
}

std::unique_ptr<DisplayDriver> DisplayDriver::open()
{
    if (take_fault(Fault::DisplayOpen))
        return nullptr;
    std::unique_ptr<DisplayDriver> driver(new DisplayDriver);
    driver->state_ = std::make_shared<DriverState>();
    driver->state_->description = current_display_description();
    driver->state_->mode = driver->state_->description.desktop;
    return driver;
}

// A driver that goes gives the display back (this cannot be refused).
DisplayDriver::~DisplayDriver()
{
    if (state_->exclusive_window)
        set_window_full_screen(state_->exclusive_window, false);
    state_->exclusive = false;
    state_->exclusive_window = {};
    state_->mode = state_->description.desktop;
}

const std::string& DisplayDriver::name() const
{
    return state_->description.driver_name;
}

DisplayResult DisplayDriver::desktop_mode(DisplayModeInfo& mode) const
{
    if (take_fault(Fault::DisplayDesktopMode))
        return DisplayResult::Failed;
    mode = state_->description.desktop;
    return DisplayResult::Ok;
}

DisplayResult DisplayDriver::list_modes(std::vector<DisplayModeInfo>& modes) const
{
    modes.clear();
    if (take_fault(Fault::DisplayModeList))
        return DisplayResult::Failed;
    modes = state_->description.modes;
    return DisplayResult::Ok;
}

DisplayResult DisplayDriver::list_devices(std::vector<DeviceInfo>& devices) const
{
    devices.clear();
    if (take_fault(Fault::DisplayDeviceList))
        return DisplayResult::Failed;
    devices = state_->description.devices;
    return DisplayResult::Ok;
}

int DisplayDriver::dac_bits() const
{
    return state_->description.dac_bits;
}

DisplayResult DisplayDriver::free_video_memory(std::uint64_t& bytes) const
{
    bytes = 0;
    if (take_fault(Fault::DisplayMemoryQuery))
        return DisplayResult::Failed;
    std::lock_guard lock(state_->mutex);
    bytes = state_->free_video();
    return DisplayResult::Ok;
}

DisplayResult DisplayDriver::free_texture_memory(std::uint64_t& bytes) const
{
    bytes = 0;
    if (take_fault(Fault::DisplayMemoryQuery))
        return DisplayResult::Failed;
    std::lock_guard lock(state_->mutex);
    bytes = state_->free_texture();
    return DisplayResult::Ok;
}

DisplayResult DisplayDriver::set_exclusive(WindowHandle window, bool exclusive)
{
    if (take_fault(Fault::DisplayExclusive))
        return DisplayResult::Failed;
    if (exclusive && !is_window(window))
        return DisplayResult::InvalidArgument;
    if (state_->exclusive_window && state_->exclusive_window != window)
        set_window_full_screen(state_->exclusive_window, false);
    state_->exclusive = exclusive;
    state_->exclusive_window = exclusive ? window : WindowHandle{};
    set_window_full_screen(window, exclusive);
    // The whole display is the window's: it shows, whatever it was before.
    if (exclusive && !is_window_visible(window))
        show_window(window, SW_SHOWNORMAL);
    if (!exclusive)
        state_->mode = state_->description.desktop;
    return DisplayResult::Ok;
}

bool DisplayDriver::exclusive() const
{
    return state_->exclusive;
}

DisplayResult DisplayDriver::set_mode(const DisplayModeInfo& mode)
{
    if (take_fault(Fault::DisplayModeSet))
        return DisplayResult::Failed;
    const auto& modes = state_->description.modes;
    const bool listed = std::any_of(modes.begin(), modes.end(), [&](const DisplayModeInfo& m) {
        return m.width == mode.width && m.height == mode.height && m.depth == mode.depth;
    });
    if (!state_->exclusive || !listed)
        return DisplayResult::InvalidArgument;
    state_->mode = mode;
    // The window takes the mode's size; full screen shows it scaled.
    const WindowHandle window = state_->exclusive_window;
    set_client_size(window, mode.width, mode.height, true);
    return DisplayResult::Ok;
}

DisplayResult DisplayDriver::restore_mode()
{
    if (take_fault(Fault::DisplayModeSet))
        return DisplayResult::Failed;
    state_->mode = state_->description.desktop;
    return DisplayResult::Ok;
}

DisplayModeInfo DisplayDriver::current_mode() const
{
    return state_->mode;
}

DisplayResult DisplayDriver::create_palette(const std::uint32_t* entries, std::shared_ptr<Palette>& out)
{
    out.reset();
    if (take_fault(Fault::PaletteCreate))
        return DisplayResult::Failed;
    out = std::make_shared<Palette>(entries);
    return DisplayResult::Ok;
}

void DisplayDriver::lose_surfaces()
{
    std::lock_guard lock(state_->mutex);
    for (Surface* s : state_->surfaces)
        if (s->place_ == MemoryPlace::Video)
            s->lost_ = true;
}

// ---- Palettes --------------------------------------------------------------------

Palette::Palette(const std::uint32_t* entries)
{
    if (entries)
        for (int i = 0; i < 256; ++i)
            entries_[i] = entries[i] & 0xFFFFFFu;
}

DisplayResult Palette::set_entries(int first, int count, const std::uint32_t* entries)
{
    if (take_fault(Fault::PaletteSet))
        return DisplayResult::Failed;
    if (!entries || first < 0 || count < 0 || count > 256 - first)
        return DisplayResult::InvalidArgument;
    for (int i = 0; i < count; ++i)
        entries_[first + i] = entries[i] & 0xFFFFFFu;
    return DisplayResult::Ok;
}

// ---- The 3D device -----------------------------------------------------------------

DisplayResult DisplayDriver::open_3d()
{
    if (take_fault(Fault::Display3DOpen))
        return DisplayResult::Failed;
    state_->three_d_open = true;
    return DisplayResult::Ok;
}

DisplayResult DisplayDriver::create_device(const std::string& name, Surface& target, std::unique_ptr<Device3D>& out)
{
    out.reset();
    if (take_fault(Fault::DeviceCreate))
        return DisplayResult::Failed;
    if (!state_->three_d_open)
        return DisplayResult::InvalidArgument;
    const auto& devices = state_->description.devices;
    const auto found =
        std::find_if(devices.begin(), devices.end(), [&](const DeviceInfo& d) { return d.name == name; });
    if (found == devices.end() || !is_16_bit_colour(target.layout()) || target.layout() == PixelLayout::Argb4444 ||
        !lists_depth(found->render_depths, 16))
        return DisplayResult::InvalidArgument;
    if (found->hardware && target.place() != MemoryPlace::Video)
        return DisplayResult::InvalidArgument;
    out.reset(new Device3D);
    out->driver_ = state_;
    out->shared_ = std::make_shared<DeviceShared>();
    out->shared_->target_width = target.width();
    out->shared_->target_height = target.height();
    out->info_ = *found;
    out->target_ = &target;
    return DisplayResult::Ok;
}

Device3D::~Device3D()
{
    std::lock_guard lock(shared_->mutex);
    shared_->device_alive = false;
    shared_->viewports.clear();
    shared_->current = nullptr;
}

DisplayResult Device3D::texture_formats(std::vector<PixelLayout>& formats) const
{
    formats.clear();
    if (take_fault(Fault::DeviceTextureFormats))
        return DisplayResult::Failed;
    formats = driver_->description.texture_formats;
    return DisplayResult::Ok;
}

DisplayResult Device3D::create_viewport(std::unique_ptr<Viewport>& out)
{
    out.reset();
    if (take_fault(Fault::ViewportCreate))
        return DisplayResult::Failed;
    out.reset(new Viewport);
    out->shared_ = shared_;
    return DisplayResult::Ok;
}

DisplayResult Device3D::add_viewport(Viewport& viewport)
{
    if (take_fault(Fault::ViewportAdd))
        return DisplayResult::Failed;
    std::lock_guard lock(shared_->mutex);
    if (viewport.shared_ != shared_)
        return DisplayResult::InvalidArgument;
    if (!shared_->added(&viewport))
        shared_->viewports.push_back(&viewport);
    return DisplayResult::Ok;
}

void Device3D::delete_viewport(Viewport& viewport)
{
    std::lock_guard lock(shared_->mutex);
    auto& list = shared_->viewports;
    list.erase(std::remove(list.begin(), list.end(), &viewport), list.end());
    if (shared_->current == &viewport)
        shared_->current = nullptr;
}

DisplayResult Device3D::set_current_viewport(Viewport& viewport)
{
    if (take_fault(Fault::DeviceViewport))
        return DisplayResult::Failed;
    std::lock_guard lock(shared_->mutex);
    if (!shared_->added(&viewport))
        return DisplayResult::InvalidArgument;
    shared_->current = &viewport;
    return DisplayResult::Ok;
}

const Viewport* Device3D::current_viewport() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->current;
}

DisplayResult Device3D::create_material(std::unique_ptr<Material>& out)
{
    out.reset();
    if (take_fault(Fault::MaterialCreate))
        return DisplayResult::Failed;
    out.reset(new Material);
    out->shared_ = shared_;
    std::lock_guard lock(shared_->mutex);
    out->handle_ = shared_->next_handle++;
    shared_->material_colours[out->handle_] = 0;
    return DisplayResult::Ok;
}

std::uint32_t Device3D::material_colour(std::uint32_t handle) const
{
    std::lock_guard lock(shared_->mutex);
    const auto it = shared_->material_colours.find(handle);
    return it == shared_->material_colours.end() ? 0 : it->second;
}

DisplayResult Device3D::clear(bool target, bool depth)
{
    if (take_fault(Fault::DeviceClear))
        return DisplayResult::Failed;
    if (!raster_->empty()) {
        const DisplayResult drawn = draw_queued();
        if (drawn != DisplayResult::Ok)
            return drawn;
    }
    PixelRect rect;
    std::uint32_t colour = 0;
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->current)
            return DisplayResult::InvalidArgument;
        rect = shared_->current->rect_;
        const auto it = shared_->material_colours.find(shared_->current->background_);
        colour = it == shared_->material_colours.end() ? 0 : it->second;
    }
    if (target) {
        const DisplayResult r = target_->fill(&rect, pack_rgb(target_->layout(), colour));
        if (r != DisplayResult::Ok)
            return r;
    }
    if (depth && target_->depth_buffer()) {
        Surface& z = *target_->depth_buffer();
        rect.right = std::min(rect.right, z.width());
        rect.bottom = std::min(rect.bottom, z.height());
        return z.fill(&rect, 0xFFFF);
    }
    return DisplayResult::Ok;
}

Viewport::~Viewport()
{
    std::lock_guard lock(shared_->mutex);
    auto& list = shared_->viewports;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (shared_->current == this)
        shared_->current = nullptr;
}

DisplayResult Viewport::set_rect(const PixelRect& rect)
{
    if (take_fault(Fault::DeviceViewport))
        return DisplayResult::Failed;
    std::lock_guard lock(shared_->mutex);
    if (!shared_->added(this))
        return DisplayResult::InvalidArgument;
    if (rect.left < 0 || rect.top < 0 || rect.right > shared_->target_width ||
        rect.bottom > shared_->target_height || rect.width() <= 0 || rect.height() <= 0)
        return DisplayResult::InvalidArgument;
    rect_ = rect;
    return DisplayResult::Ok;
}

DisplayResult Viewport::set_background(std::uint32_t material_handle)
{
    if (take_fault(Fault::ViewportBackground))
        return DisplayResult::Failed;
    std::lock_guard lock(shared_->mutex);
    if (!shared_->material_colours.count(material_handle))
        return DisplayResult::InvalidArgument;
    background_ = material_handle;
    return DisplayResult::Ok;
}

Material::~Material()
{
    std::lock_guard lock(shared_->mutex);
    shared_->material_colours.erase(handle_);
}

DisplayResult Material::set_colour(std::uint32_t rgb)
{
    if (take_fault(Fault::DeviceBackground))
        return DisplayResult::Failed;
    std::lock_guard lock(shared_->mutex);
    shared_->material_colours[handle_] = rgb & 0xFFFFFFu;
    return DisplayResult::Ok;
}

DisplayResult Material::get_handle(std::uint32_t& handle) const
{
    handle = 0;
    if (take_fault(Fault::MaterialHandle))
        return DisplayResult::Failed;
    handle = handle_;
    return DisplayResult::Ok;
}

// ---- Clippers ----------------------------------------------------------------------

DisplayResult DisplayDriver::create_clipper(std::shared_ptr<Clipper>& out)
{
    out.reset();
    if (take_fault(Fault::ClipperCreate))
        return DisplayResult::Failed;
    out.reset(new Clipper);
    return DisplayResult::Ok;
}

DisplayResult Clipper::set_window(WindowHandle window)
{
    if (take_fault(Fault::ClipperWindow))
        return DisplayResult::Failed;
    if (!is_window(window))
        return DisplayResult::InvalidArgument;
    window_ = window;
    return DisplayResult::Ok;
}

} // namespace platform
