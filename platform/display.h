#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"

// The display service: the one display driver of this machine, the modes it
// offers, its 3D device and the surfaces frames are drawn into.
//
// Surfaces are plain memory: a "video memory" surface is charged to the
// driver's video memory budget (and a texture to the texture budget as
// well), a "system memory" surface to nothing. A locked surface gives its
// pixel address and pitch; the address never changes while the surface
// lives. What reaches the screen goes through the frame hand-over of
// platform/frame.h: a blit or fill into the primary surface, or a flip of a
// flipping primary, presents the primary to its window.
//
// Every operation can be made to fail from a test through its fault seam
// (platform/fault_seam.h); the failure is reported as DisplayResult::Failed.
namespace platform {

enum class DisplayResult {
    Ok,
    Failed,           // the operation was refused
    NoVideoMemory,    // the budget cannot take the surface
    Lost,             // the surface's memory was taken away; restore it
    InvalidArgument,  // a rectangle, size or format the operation cannot take
};

enum class PixelLayout {
    Indexed8,  // 8-bit, through a palette
    Rgb565,
    Rgb555,    // the top bit unused
    Bgr565,
    Argb4444,
    Depth16,   // a Z-buffer
};

// What a pixel layout looks like to a caller that packs colours itself.
struct PixelMasks {
    int bits = 0;          // per pixel
    bool palettised = false;
    int index_bits = 0;    // 8 for Indexed8
    std::uint32_t red = 0, green = 0, blue = 0, alpha = 0;
    bool depth = false;
};
PixelMasks pixel_masks(PixelLayout layout);
int bytes_per_pixel(PixelLayout layout);
// Packs a colour 0x00BBGGRR (red in the low byte, as the screen files store
// colours) into a 16-bit colour layout, alpha full; 0 for other layouts.
std::uint16_t pack_colour(std::uint32_t bgr, PixelLayout layout);

struct DisplayModeInfo {
    int width = 0;
    int height = 0;
    int depth = 0;  // bits per pixel
};

// Blend factors of the 3D device, as bits of DeviceInfo::source_blends and
// destination_blends.
enum BlendFactorBit : std::uint32_t {
    kBlendZero = 1u << 0,
    kBlendOne = 1u << 1,
    kBlendSourceAlpha = 1u << 2,
    kBlendInverseSourceAlpha = 1u << 3,
};
// How a texel combines with the vertex colour, as bits of
// DeviceInfo::texture_blends.
enum TextureBlendBit : std::uint32_t {
    kTextureBlendModulate = 1u << 0,
    kTextureBlendModulateAlpha = 1u << 1,
    kTextureBlendDecal = 1u << 2,
};

// The 3D device as the driver describes it.
struct DeviceInfo {
    std::string name;
    std::string description;
    bool hardware = false;
    int colour_model = 0;             // 1 mono, 2 RGB
    std::vector<int> render_depths;   // screen depths it draws at
    std::vector<int> depth_buffer_depths;
    bool compare_less = false;        // Z tests it can make
    bool compare_less_equal = false;
    bool perspective_textures = false;
    bool square_textures_only = false;
    bool nonlocal_textures = false;   // textures from memory outside the card
    bool stippled_alpha = false;
    bool clipping = false;
    bool line_drawing = false;
    std::uint32_t source_blends = 0;
    std::uint32_t destination_blends = 0;
    std::uint32_t texture_blends = 0;
    int max_buffer_size = 0;
    int max_vertex_count = 0;
};

// Everything the display service offers. The default is this platform's;
// a test installs its own to see how the game handles other machines.
struct DisplayDescription {
    std::string driver_name;
    DisplayModeInfo desktop;
    std::vector<DisplayModeInfo> modes;        // as offered, in order
    std::vector<DeviceInfo> devices;
    std::vector<PixelLayout> texture_formats;  // what a device's textures may be
    std::uint64_t video_memory = 0;            // budget, bytes
    std::uint64_t texture_memory = 0;          // part of it textures may use
    int dac_bits = 8;                          // width of a palette component
};

// One primary driver; modes 320x200x8 and 512x384 to 1024x768 at 8 and 16
// bits, then the desktop (described as a 16-bit mode, so that a window can
// take 16-bit frames); one hardware RGB 3D device; 565, 555 and 4444
// textures; 16 MiB of video memory, of which 12 MiB for textures.
DisplayDescription default_display_description();
// The description the service uses from now on (the default until a test
// sets another). Only between drivers: a driver open keeps its own copy.
void set_display_description(const DisplayDescription& description);
void reset_display_description();
DisplayDescription current_display_description();

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

enum class MemoryPlace { System, Video };

enum class SurfaceKind {
    Offscreen,
    Primary,      // the picture in the window
    Texture,
    DepthBuffer,
};

struct SurfaceSpec {
    SurfaceKind kind = SurfaceKind::Offscreen;
    int width = 0;
    int height = 0;
    PixelLayout layout = PixelLayout::Rgb565;
    // Where the surface must lie; `any_place` lets it fall back to system
    // memory when the video memory budget cannot take it.
    MemoryPlace place = MemoryPlace::System;
    bool any_place = false;
    // A primary surface: with a back surface that flip() shows.
    bool flipping = false;
};

struct SurfaceLock {
    std::uint8_t* pixels = nullptr;
    int pitch = 0;  // bytes from one row to the next
};

// What a surface is, as a caller reads it back after creating it.
struct SurfaceInfo {
    SurfaceKind kind = SurfaceKind::Offscreen;
    int width = 0;
    int height = 0;
    int pitch = 0;
    PixelLayout layout = PixelLayout::Rgb565;
    MemoryPlace place = MemoryPlace::System;
};

class Palette;
class Clipper;
class DisplayDriver;
struct DriverState;

class Surface {
public:
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    PixelLayout layout() const { return layout_; }
    SurfaceKind kind() const { return kind_; }
    MemoryPlace place() const { return place_; }
    int pitch() const { return pitch_; }
    bool lost() const { return lost_; }

    DisplayResult lock(SurfaceLock& lock);
    void unlock();
    // Fills the rectangle (null: the whole surface) with a raw pixel value.
    DisplayResult fill(const PixelRect* rect, std::uint32_t value);
    // Copies a rectangle of a surface of the same layout, stretched when the
    // sizes differ; with `keyed`, source pixels equal to the source's colour
    // key are left out.
    DisplayResult blit(const PixelRect* dest, Surface& source, const PixelRect* source_rect, bool keyed);
    void set_colour_key(std::uint32_t value)
    {
        colour_key_ = value;
        keyed_ = true;
    }
    std::uint32_t colour_key() const { return colour_key_; }
    // Whether a colour key was set (a texture's keyed texels are not drawn).
    bool keyed() const { return keyed_; }
    // A flipping primary: shows the back surface (copied into the front).
    DisplayResult flip();
    // The back surface of a flipping primary; null for other surfaces.
    Surface* back() const { return back_.get(); }
    // The same, as an operation that can be refused (InvalidArgument for a
    // surface that has no back surface).
    DisplayResult get_back(Surface*& back);
    // Reads the surface's size, pitch, layout and place.
    DisplayResult describe(SurfaceInfo& info) const;
    // A primary in a window: blits and fills into it are clipped to it
    // rather than refused when they reach past its edges.
    DisplayResult set_clipper(std::shared_ptr<Clipper> clipper);
    const std::shared_ptr<Clipper>& clipper() const { return clipper_; }
    // Makes a Z-buffer the depth of this surface.
    DisplayResult attach_depth_buffer(Surface& depth_buffer);
    Surface* depth_buffer() const { return depth_; }
    // An 8-bit surface draws its pixels through the palette.
    DisplayResult set_palette(std::shared_ptr<Palette> palette);
    const std::shared_ptr<Palette>& palette() const { return palette_; }
    // Gives a lost surface its memory back (its pixels are then 0).
    DisplayResult restore();

private:
    friend class DisplayDriver;
    Surface() = default;
    bool contains(const PixelRect& rect) const;
    PixelRect clipped(const PixelRect& rect) const;
    void present();

    std::shared_ptr<DriverState> driver_;
    SurfaceKind kind_ = SurfaceKind::Offscreen;
    MemoryPlace place_ = MemoryPlace::System;
    PixelLayout layout_ = PixelLayout::Rgb565;
    int width_ = 0, height_ = 0, pitch_ = 0;
    std::uint64_t charged_video_ = 0, charged_texture_ = 0;
    std::vector<std::uint8_t> pixels_;
    std::uint32_t colour_key_ = 0;
    bool keyed_ = false;
    bool lost_ = false;
    std::unique_ptr<Surface> back_;
    Surface* depth_ = nullptr;
    std::shared_ptr<Palette> palette_;
    std::shared_ptr<Clipper> clipper_;
    WindowHandle window_;
};

// Keeps what is drawn into a primary surface inside its window.
class Clipper {
public:
    DisplayResult set_window(WindowHandle window);
    WindowHandle window() const { return window_; }

private:
    friend class DisplayDriver;
    Clipper() = default;
    WindowHandle window_;
};

// 256 colours, 0x00RRGGBB, each component 0..255.
class Palette {
public:
    explicit Palette(const std::uint32_t* entries);
    DisplayResult set_entries(int first, int count, const std::uint32_t* entries);
    const std::uint32_t* entries() const { return entries_; }

private:
    std::uint32_t entries_[256] = {};
};

struct DeviceShared;
struct TLVertex;
struct RenderStates;
class TriangleRasteriser;

// A colour the 3D device refers to by its handle (a viewport's background).
class Material {
public:
    ~Material();
    Material(const Material&) = delete;
    Material& operator=(const Material&) = delete;
    // Its colour, 0xRRGGBB.
    DisplayResult set_colour(std::uint32_t rgb);
    DisplayResult get_handle(std::uint32_t& handle) const;

private:
    friend class Device3D;
    Material() = default;
    std::shared_ptr<DeviceShared> shared_;
    std::uint32_t handle_ = 0;
};

// The rectangle of the device's target it draws into and clears, and the
// material it clears to.
class Viewport {
public:
    ~Viewport();
    Viewport(const Viewport&) = delete;
    Viewport& operator=(const Viewport&) = delete;
    // Inside the device's target; only once added to the device.
    DisplayResult set_rect(const PixelRect& rect);
    const PixelRect& rect() const { return rect_; }
    // The material (by its handle) the viewport is cleared to.
    DisplayResult set_background(std::uint32_t material_handle);
    std::uint32_t background() const { return background_; }

private:
    friend class Device3D;
    Viewport() = default;
    std::shared_ptr<DeviceShared> shared_;
    PixelRect rect_;
    std::uint32_t background_ = 0;
};

// The 3D device on a target surface: configured and cleared here; drawing
// comes with the renderer's triangles. The device draws into its target and
// the target's Z-buffer, so it is released before its target. Viewports and
// materials may outlive it (they then do nothing).
class Device3D {
public:
    ~Device3D();
    Device3D(const Device3D&) = delete;
    Device3D& operator=(const Device3D&) = delete;

    const DeviceInfo& info() const { return info_; }
    Surface& target() const { return *target_; }
    DisplayResult texture_formats(std::vector<PixelLayout>& formats) const;

    DisplayResult create_viewport(std::unique_ptr<Viewport>& out);
    // A viewport is the device's once added; one of them is current.
    DisplayResult add_viewport(Viewport& viewport);
    void delete_viewport(Viewport& viewport);
    DisplayResult set_current_viewport(Viewport& viewport);
    const Viewport* current_viewport() const;
    DisplayResult create_material(std::unique_ptr<Material>& out);
    // The colour of a material of this device, 0 for a handle it does not
    // know.
    std::uint32_t material_colour(std::uint32_t handle) const;

    // Clears the current viewport of the target (to its background
    // material's colour) and of its Z-buffer (to the farthest depth).
    DisplayResult clear(bool target, bool depth);

    // Drawing (platform/device3d_raster.h): between begin_scene and
    // end_scene, indexed triangle lists are queued with the render states
    // and texture current at the call, and end_scene draws them into the
    // target and its Z-buffer, scissored to the current viewport (the whole
    // target without one). A clear inside a scene draws what is queued
    // first. Lost when the target or Z-buffer is lost (nothing is drawn).
    DisplayResult begin_scene();
    DisplayResult end_scene();
    bool in_scene() const { return in_scene_; }
    void set_render_states(const RenderStates& states);
    const RenderStates& render_states() const { return *states_; }
    // A 16-bit texture surface with power-of-two sides, or null for
    // untextured triangles; its colour key, when set, is the texels' key.
    // The surface must live until the scene ends.
    DisplayResult set_texture(Surface* texture);
    // The light state MATERIAL: the material (by its handle; 0 for none)
    // the device lights its pre-lit vertices with. Each vertex's diffuse
    // red, green and blue are multiplied by the material's colour / 255 as
    // the vertex is queued (a white material leaves them as they are; alpha
    // and the specular colour are not lit). InvalidArgument for a handle
    // the device does not know (the state stays). A material released
    // while current lights nothing.
    DisplayResult set_light_material(std::uint32_t handle);
    std::uint32_t light_material() const { return light_material_; }
    // Triangles of `index_count` / 3 index triples into `vertices`.
    // InvalidArgument (and nothing queued from the bad triples) for an index
    // out of range or a count that is not a multiple of 3; Failed outside a
    // scene.
    DisplayResult draw_indexed(const TLVertex* vertices, int vertex_count, const std::uint16_t* indices,
                               int index_count);
    // Threads drawing a scene (0, the default: one per core); the picture
    // is the same for any number.
    void set_threads(int threads);
    // Triangles queued since the device was made.
    std::uint64_t triangles_queued() const { return triangles_queued_; }

private:
    friend class DisplayDriver;
    Device3D();
    DisplayResult draw_queued();
    std::unique_ptr<TriangleRasteriser> raster_;
    std::unique_ptr<RenderStates> states_;
    Surface* texture_ = nullptr;
    std::uint32_t light_material_ = 0;
    std::vector<TLVertex> lit_;  // vertices lit by a coloured material
    bool in_scene_ = false;
    std::uint64_t triangles_queued_ = 0;
    std::shared_ptr<DriverState> driver_;
    std::shared_ptr<DeviceShared> shared_;
    DeviceInfo info_;
    Surface* target_ = nullptr;
};

// The open display driver. Surfaces, palettes and devices it makes may
// outlive it.
class DisplayDriver {
public:
    // The names of the drivers there are: the primary one only.
    static DisplayResult list_drivers(std::vector<std::string>& names);
    // The primary driver; null when the display cannot be opened.
    static std::unique_ptr<DisplayDriver> open();
    ~DisplayDriver();
    DisplayDriver(const DisplayDriver&) = delete;
    DisplayDriver& operator=(const DisplayDriver&) = delete;

    const std::string& name() const;
    // Opens the driver's 3D service, which devices are created through
    // (whether or not it lists any).
    DisplayResult open_3d();
    DisplayResult desktop_mode(DisplayModeInfo& mode) const;
    DisplayResult list_modes(std::vector<DisplayModeInfo>& modes) const;
    DisplayResult list_devices(std::vector<DeviceInfo>& devices) const;
    int dac_bits() const;

    // Free bytes of the budgets.
    DisplayResult free_video_memory(std::uint64_t& bytes) const;
    DisplayResult free_texture_memory(std::uint64_t& bytes) const;

    // Takes the whole display for the window (full screen) or gives it back.
    DisplayResult set_exclusive(WindowHandle window, bool exclusive);
    bool exclusive() const;
    // A mode of the list; only while exclusive.
    DisplayResult set_mode(const DisplayModeInfo& mode);
    DisplayResult restore_mode();
    DisplayModeInfo current_mode() const;

    // A primary surface shows in `window`.
    DisplayResult create_surface(const SurfaceSpec& spec, WindowHandle window, std::unique_ptr<Surface>& out);
    DisplayResult create_palette(const std::uint32_t* entries, std::shared_ptr<Palette>& out);
    DisplayResult create_clipper(std::shared_ptr<Clipper>& out);
    // A device of the list on a 16-bit target, once the 3D service is open;
    // a hardware device wants its target in video memory.
    DisplayResult create_device(const std::string& name, Surface& target, std::unique_ptr<Device3D>& out);

    // What happens when another program takes the display: every video
    // memory surface is lost until restored.
    void lose_surfaces();

private:
    DisplayDriver() = default;
    std::shared_ptr<DriverState> state_;
};

} // namespace platform
