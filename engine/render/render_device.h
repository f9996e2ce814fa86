#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/render/poly_batch.h"
#include "engine/render/texture_cache.h"
#include "platform/display.h"
#include "platform/window.h"

struct clip_vertex;
struct mtr_texture;

// The renderer: one program-wide record that lists the display drivers found
// at start-up, sets up a display in a chosen mode and render type over the
// platform's display service (the driver, the primary and back surfaces, the
// Z-buffer, the palette, the 3D device with its viewport and background
// material), and presents the frames drawn into the back surface.
//
// Textures, polygon batches and fog join it with the rest of the renderer.
//
// A presented frame is copied into the platform's frame hand-over before
// present() returns (platform/frame.h), so the video thread never reads the
// back surface: the loading-screen thread may draw and present while the
// main thread loads a race, as long as the two never draw at the same time
// (the race run loop's handshake sees to that).

// Render types.
inline constexpr std::int32_t kRenderHardware = 96;  // a hardware 3D device, 16-bit colour
inline constexpr std::int32_t kRenderMono = 112;     // a 3D device of the mono colour model
inline constexpr std::int32_t kRenderRgb = 128;      // a 3D device of the RGB colour model
inline constexpr std::int32_t kRenderSoftware = 144; // the game's own rasteriser, no 3D device

inline constexpr int kMaxDrivers = 6;
inline constexpr int kMaxModes = 32;
inline constexpr int kMaxDevices = 4;
inline constexpr int kMaxTextureFormats = 16;

// One display mode of a driver. `fits`: front, back and Z-buffer of the mode
// leave room for textures in video memory.
struct display_mode {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 0;
    std::uint8_t fits = 0;
};

// One 3D device of a driver.
struct d3d_device_info {
    char name[64] = {};
    char description[64] = {};
    std::int32_t colour_model = 0;        // 1 mono, 2 RGB; -1 for the "RenderSoftware" entry
    std::int32_t render_depths = 0;       // the depths it renders at (depth_to_ddbd bits)
    std::int32_t hardware = 0;
    std::int32_t perspective = 0;
    std::int32_t nonlocal_textures = 0;   // textures from non-local (AGP) memory
    std::int32_t local_textures = 0;      // textures in local video memory
    std::int32_t has_zbuffer = 0;
    std::int32_t zbuffer_depths = 0;      // the Z-buffer depths it takes (depth_to_ddbd bits)
    std::int32_t zcompare = 0;            // 2 less, 4 less-or-equal, 0 none
    std::int32_t windowed = 0;            // can render in a window
    std::int32_t line_caps = 0;
    std::int32_t clipping = 0;
    std::int32_t square_only = 0;         // textures must be square
    std::int32_t palettised = 0;          // an 8-bit palettised texture format exists
    std::int32_t stippled_alpha = 0;
    std::uint64_t free_local_memory = 0;  // bytes
    std::uint64_t free_texture_memory = 0;
    std::int32_t max_buffer_size = 0;
    std::int32_t max_vertex_count = 0;
};

// One display driver with its modes and 3D devices.
struct dd_driver_info {
    std::int32_t primary = 0;       // the primary display
    std::int32_t standard_vga = 0;
    std::int32_t dac_bits = -1;     // -1 until measured
    std::uint8_t guid[16] = {};     // zero for the primary driver
    char name[64] = {};
    std::int32_t mode_count = 0;
    display_mode modes[kMaxModes];
    std::int32_t device_count = 0;
    d3d_device_info devices[kMaxDevices];
};

// One texture format of the 3D device: its layout and the bits of each
// channel (the length of the channel's mask), or the bits of a palette index.
struct texture_format_info {
    platform::PixelLayout layout = platform::PixelLayout::Rgb565;
    platform::PixelMasks masks;
    std::int32_t palettised = 0;
    std::int32_t red_bits = 0;
    std::int32_t blue_bits = 0;
    std::int32_t green_bits = 0;
    std::int32_t alpha_bits = 0;
    std::int32_t index_bits = 0;  // 8, 4 or 0
};

// The width of a bit depth as the device capabilities give it: 1 -> 0x4000,
// 2 -> 0x2000, 4 -> 0x1000, 8 -> 0x800, 16 -> 0x400, 24 -> 0x200,
// 32 -> 0x100, any other -> -100.
std::int32_t depth_to_ddbd(int depth);

class render_device {
public:
    render_device();
    ~render_device();
    render_device(const render_device&) = delete;
    render_device& operator=(const render_device&) = delete;

    // ---- Life cycle ----

    // Releases the display and forgets the drivers: back to the constructed
    // state (render type 96). A step that fails (the display cannot be taken
    // to give the desktop its mode back: error 6; the mode: error 7) is
    // reported and the rest is released all the same. 1, or 0 when a step
    // failed.
    int release();
    // The main window moved: in a window (not exclusive) the client area's
    // screen position is taken again. 1.
    int update_window_origin();
    // The application became inactive (1: paused) or active again (0: the
    // palette and the render states are sent again); other values change
    // nothing.
    void set_active(int state);

    // ---- Drivers and modes (driver_enum.cpp) ----

    // Lists the drivers of the platform's display service, their modes and
    // devices for the main window: modes wider than 1024, higher than 768 or
    // deeper than 16 bits are left out, at most 32 are kept; a device can
    // render in a window when it renders at the desktop's depth; each mode's
    // fit flag comes from the first hardware device's free video memory. 1,
    // or 0 after reporting the failure (the window does not exist, or the
    // display does not open: error 1; the desktop's mode: 2; the driver
    // list: 0; the modes: 3; the devices: 5).
    int enumerate_drivers(platform::WindowHandle window);
    // 1 when the driver (-1: the current one) offers width x height for the
    // render type that device (-1: the current render type) would get.
    int find_mode(int width, int height, int driver, int device) const;
    // Chooses the current mode of a driver for width x height at the screen
    // depth: the exact mode, else the last smaller one of that depth in list
    // order, else mode 0.
    void select_mode(const dd_driver_info& info);
    // Lists the device's texture formats (at most 16) and chooses one: the
    // last palettised one, else the first. 1, or 0 after reporting error 33.
    int enum_texture_formats(platform::Device3D& device);

    // ---- Display (display_init.cpp, display_surfaces.cpp) ----

    // Sets up the display: the render type from the device (hardware 96,
    // "RenderSoftware" 144, mono model 112, else 128), the mode (select_mode),
    // full screen or a window (depth 32 asks for full screen; a display whose
    // depth the desktop does not have, or a device that cannot draw in a
    // window, is full screen), the primary and back surfaces, and for the 3D
    // types the Z-buffer, the device, its texture formats, viewport and
    // background material (and for type 112 the palette of
    // "gfx\palette.pal"). The same arguments again keep everything; another
    // mode on the same software device rebuilds only the surfaces; anything
    // else rebuilds from the driver up. 1, or 0 after a reported failure
    // (what was made before stays held until the next init or release).
    int init(int driver, int width, int height, int depth, int device);
    // The colour the back buffer is cleared to; components 0..1 (a 16-bit
    // screen packs it by its masks, an 8-bit one takes the nearest palette
    // entry, the first on ties; the 3D types set it on the background
    // material). 1, or 0 after reporting error 17.
    int set_background(float r, float g, float b);
    std::uint32_t pack_by_masks(std::uint32_t rgb) const;

    // ---- Palettes (palette.cpp) ----

    // Loads a palette file of 768 bytes of 6-bit red, green, blue (each
    // value is masked to 6 bits). An 8-bit screen takes it as its palette;
    // a 16-bit one builds the 16-bit colour of each entry by the screen's
    // masks. 1, or 0 after reporting error 37 (the file cannot be read or
    // is not 768 bytes).
    int load_palette(const char* file);
    // Replaces the palette of an 8-bit screen from 768 bytes of 6-bit RGB;
    // nothing on a 16-bit screen. 1.
    int set_palette_entries(const unsigned char* rgb768);

    // ---- Frame operations (frame_ops.cpp) ----

    // Clears the Z-buffer of a 3D type's viewport (nothing for the software
    // type, while paused or while the surfaces are not valid). 1, or 0 after
    // reporting error 22.
    int clear_zbuffer();
    // Fills the back buffer with the background colour (nothing while the
    // surfaces are not valid or the display is paused). 1, or 0 after
    // reporting error 11 (software type) or 22.
    int clear_back_buffer();
    // Shows the back buffer: the software type copies its picture (from its
    // second row) into the primary, writing the palette first when it
    // changed; the 3D types blank the right and bottom strips and copy (in
    // a window) or flip (full screen). A lost surface is restored and the
    // frame dropped. Nothing is shown while paused. 1, or 0 after reporting
    // error 27.
    int present();
    // Writes the back buffer as a 24-bit bitmap under the first free name of
    // "scre000.bmp", "scre001.bmp", ... in the working folder
    // (screenshot.cpp). 1 when a file was written; 0 when every name up to
    // "scre1000.bmp" is taken, nothing is on the screen, or the file cannot
    // be created ("errore !! <name>" on the standard output; the game goes
    // on).
    int save_screenshot();
    // Gives lost display surfaces their memory back (and clears them). 1,
    // or 0 after reporting error 11.
    int restore_surfaces();
    int restore_surface(platform::Surface& surface);
    // Begins and ends a scene with nothing in it (a check that the 3D
    // device can draw). 1 (also without a 3D device); kSurfaceLostResult
    // when the surfaces were lost; 0 after reporting error 24 (begin) or 26
    // (end).
    int test_scene();
    // Writes one 16-bit colour into the picture of the back buffer at
    // (x, y), each held to the picture (an 8-bit screen takes the colour's
    // low byte); nothing before a display is set up.
    void put_pixel(int x, int y, std::uint16_t colour);

    // ---- Fog (fog.cpp) ----

    // Builds the fog table and depth scale (engine/render/fog.h).
    void make_fog_table(float density, float start, float end);
    // Mode 256 turns fog on, any other value off; the colour's components
    // 0..1. The device's fog state is forgotten, so the next fogged texture
    // turns the device's fog on again.
    void set_fog(int mode, float r, float g, float b);
    // The same settings, ignored for a mode below 1 or while the device's
    // fog is on.
    void set_fog_color(int mode, float r, float g, float b);
    static std::uint32_t fog_rgb(float r, float g, float b);

    // ---- Errors (render_errors.cpp) ----

    // Shows the code's message (render_error_text, followed by a line break)
    // in a message box captioned "D3D Error Message"; the box's result.
    int report_error(int code) const;
    // Formats a message (printf-style, cut to 255 characters), adds a line
    // break and shows it as report_error does.
    int format_error(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    // ---- polygon batches (poly_batch.cpp; draw_scene, the render states
    // and the pre-load pass in frame_ops.cpp) ----

    // Carves the batch slots (each group of classes from its own arena) on
    // first use and frees every slot. 1, or 0 after reporting the general
    // error when the memory cannot be had.
    int alloc_batch_buffers();
    // Frees the slots and arenas. 1.
    int free_batch_buffers();
    // Queues a triangle (count 3) or a quad (4, in fan order: triangles
    // 0-1-2 and 0-2-3) of `texture` into its texture's slot, from either
    // `vertices` (contiguous clip vertices) or `vertex_list` (count vertex
    // addresses). The contiguous form puts the view depth plus `depth_bias`
    // through the depth scale of the last fog table and takes the fog factor
    // from the result; the list form has no bias and no fog. Light values
    // are held to 0..2047 (1.0 = 256; above 255 the vertex is white with a
    // grey highlight of light / 8), fog indexes to 0..255. Nothing is queued
    // while paused (every slot is given back), without slots, for a count
    // other than 3 or 4, or for a texture without a cache record (or whose
    // record is empty). 1.
    int draw_polygons(int count, const clip_vertex* vertices, const clip_vertex* const* vertex_list,
                      const mtr_texture* texture, int depth_bias);
    // Draws one slot now (the texture made resident first), into the scene
    // the frame's batches share: the first flush begins it, and it stays
    // open until draw_scene or anything else that reads or writes the
    // picture or the textures ends it (end_batch_scene), so a frame's
    // batches cost one scene, drawn in the order they were flushed. 1; 0
    // after reporting error 24, 26, 28 or 42; kSurfaceLostResult when the
    // surfaces were lost. While paused every slot is given back and nothing
    // is drawn.
    int flush_batch(batch_slot& slot);
    // Ends the scene flush_batch left open, drawing what it holds: 1 (also
    // when none is open), kSurfaceLostResult, or 0 after reporting error 26.
    int end_batch_scene();
    // The device's states for drawing `texture`: Z writes (none for the
    // overlay class 12), its video copy, fog when fog is on and the texture
    // is fogged, alpha blending for blend mode 4, stippled alpha for a
    // negative mode where the device has it, the filter unless the texture
    // refuses bilinear filtering. Sent to the device.
    void apply_texture_states(const cache_texture& texture);
    // Draws every queued slot between begin and end of scene, class by class
    // (class 12 last, without Z writes), resident textures first, and gives
    // every slot back. 1; 0 when nothing was queued since the last call;
    // kSurfaceLostResult when the surfaces were lost (the frame is dropped);
    // 0 after reporting error 24, 26, 28 or 42. Neither 0 nor the lost result
    // is fatal to a caller. The software type answers 1 at once.
    int draw_scene();
    // The whole render-state block (Z, filter, blending, colour key, fog,
    // texture blend), sent to the device; render-states-dirty = 0.
    void set_render_states();
    // Every slot given back: no texture holds a slot, every class is empty.
    void give_back_batch_slots();
    // Steps: a slot's texture made ready to draw (resident, its video copy
    // reloaded when lost): 0, or the error code to report; one slot given
    // back; one slot's polygons handed to the device inside a scene (1, or
    // 0 after reporting error 24).
    int ready_batch_texture(cache_texture& texture);
    void give_back_slot(batch_slot& slot);
    int draw_slot(batch_slot& slot);
    // The pre-load pass of clear_zbuffer.
    void preload_textures();
    // What a begin or end of scene answered, as the batches answer: 1 when
    // it went through, kSurfaceLostResult when the surfaces were lost, else
    // 0 after reporting `error`.
    int scene_step(platform::DisplayResult result, int error);

    batch_table batches;
    std::uint8_t scene_queued = 0;       // draw_polygons since the last draw_scene
    std::uint8_t batch_scene_open = 0;   // flush_batch's scene, not ended yet
    // Set, the next clear_zbuffer draws every texture of `preload_records`
    // once (making each resident) and clears it; nothing else sets it.
    std::uint8_t texture_preload = 0;
    // The records the pre-load pass walks: the texture cache's records.
    std::span<cache_texture> preload_records;
    std::uint8_t specular_enabled = 0;   // highlights added through the specular colour
    // The texture-map blend set_render_states sends (1 decal, 2 modulate,
    // 4 modulate-alpha; any other value modulates).
    std::int32_t texture_map_blend = 2;
    // What was last sent to the device: the whole block, the alpha-blend,
    // bilinear and stippled-alpha states.
    platform::RenderStates device_states;
    std::int32_t blend_state = 0, bilinear_state = 0, stipple_state = 0;
    // Texture residency for the batches: the ring of resident textures, the
    // next texture handle, bytes made resident this frame and the last.
    texture_ring resident_ring;
    std::int32_t next_texture_handle = 1;
    std::uint64_t upload_bytes = 0, previous_upload_bytes = 0;

    // ---- The record ----

    std::int32_t ready = 0;
    std::int32_t driver = 0, width = 0, height = 0;
    std::int32_t device = 0, depth = 0;
    platform::WindowHandle window;
    std::int32_t desktop_width = 0, desktop_height = 0, desktop_depth = 0;
    std::int32_t exclusive = 0;          // full screen
    std::int32_t bilinear = 0;           // bilinear filtering option
    std::int32_t client_width = 0, client_height = 0;
    std::int32_t origin_x = 0, origin_y = 0;
    std::int32_t surfaces_valid = 0;
    std::int32_t driver_count = 0;
    dd_driver_info drivers[kMaxDrivers];
    std::int32_t current_driver = 0, current_device = 0, current_mode = 0;
    std::int32_t texture_format_count = 0;
    std::int32_t texture_format_index = -1;  // the chosen one
    texture_format_info texture_formats[kMaxTextureFormats];
    texture_format_info texture_format;      // a copy of the chosen one
    std::int32_t alpha4 = 0;                 // a format has exactly 4 alpha bits
    display_mode mode;                   // the current display mode
    d3d_device_info device_info;         // the current device
    std::int32_t render_type = kRenderHardware;
    std::int32_t paused = 0;
    std::int32_t render_states_dirty = 1;
    std::int32_t screen_depth = 0;       // 8 or 16
    std::uint8_t software_16bit = 0;     // set by callers before init
    // The machine has less than 17,000,000 bytes of physical memory (looked
    // at once, by the construction; the engine context reads it).
    std::uint8_t low_memory = 0;
    std::uint8_t palette_dirty = 0;
    // Set by the main window when it closes, so that nothing is presented
    // to a window that is going.
    std::uint8_t closing = 0;
    std::uint32_t red_mask = 0, green_mask = 0, blue_mask = 0;
    std::uint32_t background = 0;        // 0xRRGGBB
    // The background as a pixel of the screen: packed by the masks on a
    // 16-bit screen, the nearest palette entry on an 8-bit one.
    std::uint32_t background_pixel = 0;
    std::uint32_t palette[256] = {};     // 0x00RRGGBB, for an 8-bit screen
    // The loaded palette: each entry's red, green and blue 0..252 (the
    // 6-bit values times 4); the copy for the palette hardware (shifted to
    // its width); the entry with the smallest red + green + blue (the first
    // on ties); for a 16-bit screen, each entry as a 16-bit colour.
    std::int32_t palette_rgb[256][3] = {};
    std::uint8_t hardware_palette[768] = {};
    std::int32_t darkest_index = 0;
    std::vector<std::uint16_t> colour_table;
    std::uint32_t triangles = 0;         // drawn this frame
    std::int32_t fog_enabled = 0;
    std::uint32_t fog_colour = 0;        // 0xRRGGBB
    std::int32_t device_fog_state = 0;   // the device's fog is on
    std::uint32_t frames_presented = 0;  // frames handed to the window

    // ---- The display (made by init, released by release) ----

    std::unique_ptr<platform::DisplayDriver> display;  // the open driver
    std::int32_t has_3d = 0;                            // its 3D service is open
    std::unique_ptr<platform::Surface> primary_surface;
    // The back surface: a surface of its own, or the flipping primary's.
    std::unique_ptr<platform::Surface> back_offscreen;
    platform::Surface* back_surface = nullptr;
    std::unique_ptr<platform::Surface> zbuffer;
    std::shared_ptr<platform::Clipper> clipper;          // a window's primary
    std::shared_ptr<platform::Palette> screen_palette;   // an 8-bit screen; type 112
    std::unique_ptr<platform::Device3D> device3d;
    std::unique_ptr<platform::Viewport> viewport;
    std::unique_ptr<platform::Material> background_material;
    std::uint32_t background_handle = 0;
    std::int32_t zcompare = 0;           // the device's Z compare function
    std::int32_t primary_in_video = 0, back_in_video = 0, zbuffer_in_video = 0;
    // Free video memory: outside the card, on it, for textures.
    std::uint64_t free_nonlocal_memory = 0, free_local_memory = 0, free_texture_memory = 0;
    std::int32_t requested_level = 0;    // 16 in a window, 32 full screen
    std::int32_t display_mode_changed = 0;
    std::int32_t normal_level_taken = 0; // the display was given back for a window
    std::int32_t surfaces_lost = 0;
    std::uint8_t mode_key = 0;           // software_16bit at the last init
    std::int32_t requested_depth = 0;    // depth as given to the last init

    // The back surface: its first pixel, pitch and size (from its
    // description), and the primary's first pixel, taken by one lock when
    // they are made; the addresses never move.
    std::uint8_t* back_address = nullptr;
    std::uint8_t* primary_address = nullptr;
    std::int32_t back_pitch = 0;
    std::int32_t back_width = 0, back_height = 0;
    // Where the picture starts: one row into the back surface for the
    // software type (whose back has a spare row above and below), its first
    // row otherwise. The rasteriser and the picture code draw from here.
    std::uint8_t* screen_pixels = nullptr;
    // Whether this device set the rasteriser's thread count (the software
    // type's set-up); giving the surfaces back sets it to one again.
    bool rast_threads_taken = false;
    // The picture drawn into: draw_width x draw_height pixels of
    // screen_depth bits from screen_pixels, rows of back_pitch bytes.
    std::span<std::uint8_t> back_buffer;
    std::int32_t draw_width = 0, draw_height = 0;
    // Rectangles of the back surface: what the software type clears, the
    // 2-pixel strips at the right and bottom that present blanks, the
    // viewport's.
    platform::PixelRect software_clear, right_strip, bottom_strip, viewport_clear;

    // ---- Texture cache (texture_cache_device.cpp, texture_upload.cpp) ----
    //
    // Every texture drawn through the 3D device lives in one of the 800
    // records of `texture_records` (made with the first texture, freed by
    // release). A material frame registers with create_textures and writes
    // its texels into the buffer it is given; upload_textures converts all
    // registered textures at once into system-memory texture surfaces; a
    // texture is copied into video memory when it is drawn (make_resident),
    // the textures made resident longest ago giving their copies back when
    // video memory runs out.

    // Takes a free record for the frame: its pixel kind, size and options
    // (between two '#' of its name; `default_class` when they give no batch
    // class), and a buffer for its texels (and palette) that the frame's
    // pixel and palette fields then point at. The software type keeps no
    // record: the frame gets a buffer only. 1, or 0 after reporting 39 (no
    // free record), 40 (no memory), 48 (a size of 0) or the general error
    // (a side below 8 texels, a '#' without its closing one).
    int create_textures(mtr_texture* m, int default_class);
    // Builds the system-memory texture surface of every registered texture
    // not yet built, fitted to power-of-two sides within the texture memory
    // (`percent` widens the budget), and makes the white texture material.
    // Nothing for the software type. 1, or 0 after reporting 42 (nothing
    // fits), 43 (no texture layout), 21 (a lock), 28 (a surface), or the
    // general error (the material or the batch buffers, which it sets up
    // first).
    int upload_textures(int percent);
    // The white texture material (colour white) every textured triangle on
    // the 3D device is lit with, made once: 1, or 0 after reporting the
    // general error. Until it exists textured triangles are drawn
    // untextured.
    int make_texture_material();
    // Copies the record's texels into video memory when they are not there
    // (evicting the oldest resident textures while memory is short; in a
    // scene, what is queued is drawn first). 1, or 0 after reporting 42
    // (nothing left to evict) or 28.
    int make_resident(cache_texture* texture);
    // A lost video copy is restored and loaded again from the system copy;
    // one that cannot be restored gives its copy back (made resident again
    // when next drawn). 1, or 0 after reporting 28.
    int refresh_texture(cache_texture& texture);
    // refresh_texture for every resident record; run when the display
    // surfaces were found lost.
    int reload_lost_textures();
    // An 8 x 8 texture of one colour (components 0..1, held to that range)
    // for a 2D surface: 4-4-4-4 when the device has 4 alpha bits, else 565
    // (or the device's 16-bit colour layout); made resident at once. Null
    // in the software type, or after reporting 39, 43, 21, 28 or 42.
    cache_texture* create_surface(float r, float g, float b, float a);
    // Draws a record as the screen rectangle (x, y)-(x + w, y + h), in
    // front of everything, with its colour's alpha. 1 (also when nothing
    // can be drawn: surfaces not valid, paused, no device); 0 after
    // reporting 24 or 26, or the residency error.
    int draw_quad(cache_texture* surface, float x, float y, float w, float h);
    // Gives a frame's record back: its surfaces, its batch slot, its place
    // in the eviction ring and in the pending-reload list, a texel buffer
    // never uploaded;
    // the record is cleared (free) and the frame's surface, pixel and
    // palette fields are cleared. The software type frees the frame's
    // buffer. Nothing for a frame without a record of this renderer.
    void free_texture(mtr_texture* m);
    // The same for a record without a frame (2D surfaces, the lens flare).
    void free_cache_texture(cache_texture* texture);
    // texture_size_class for the current render type.
    int texture_size_class(int n) const;
    // The 16-bit layouts the device's texture formats offer.
    texture_layouts device_texture_layouts() const;
    // The layout of a record's texels: its system surface's, or the one the
    // upload will convert it into. False when the device has none for it.
    bool texture_layout_of(const cache_texture& texture, platform::PixelLayout& layout) const;
    // The first free record (size 0), the array made if needed; null when
    // all 800 are taken.
    cache_texture* take_texture_record();
    // Whether the pointer is one of this renderer's records.
    bool owns_texture(const cache_texture* texture) const;
    // A record whose system surface was written (a picture painted into
    // it) is loaded again into video memory at the next present; with the
    // list full it is loaded at once. 1, or 0 after reporting 28.
    int add_pending_reload(cache_texture* texture);
    // Loads every pending record again (present calls it). 1, or 0 after
    // reporting 28.
    int reload_pending_textures();
    // Frees every record and the texture material.
    void release_textures();
    // Before a texture is evicted inside a scene: the device reads textures
    // when the scene ends, so what is queued is drawn first (the scene then
    // goes on).
    void draw_queued_before_eviction();
    // A system-memory texture surface of w x h texels of a layout, holding
    // `texels` (rows of w). 1, or 0 after reporting 28 (the surface) or 21
    // (its lock).
    int make_system_texture(int w, int h, platform::PixelLayout layout, const std::uint16_t* texels,
                            std::unique_ptr<platform::Surface>& out);

    // The ring of resident textures, the next handle and the bytes made
    // resident per frame are the batches' (resident_ring, next_texture_handle,
    // upload_bytes); preload_records spans the records once they exist.
    static constexpr int kPendingReloads = 10;
    std::unique_ptr<cache_texture[]> texture_records;
    std::uint64_t texture_memory_total = 0;     // texel buffers allocated
    cache_texture* pending_reloads[kPendingReloads] = {};
    std::int32_t pending_reload_count = 0;
    // The white material textured triangles are lit with (made by
    // upload_textures).
    std::unique_ptr<platform::Material> texture_material;
    std::uint32_t texture_material_handle = 0;
    std::int32_t texture_material_made = 0;
    // The software type's texel buffers, by frame.
    std::vector<std::pair<const mtr_texture*, std::unique_ptr<std::uint8_t[]>>> software_texels;

private:
    int read_desktop_mode();
    int add_driver(const std::string& name);
    void add_device(dd_driver_info& info, platform::DisplayDriver& driver, const platform::DeviceInfo& device);
    void test_device(d3d_device_info& entry, platform::DisplayDriver& driver, const platform::DeviceInfo& device);
    void set_fit_flags(dd_driver_info& info) const;
    void clear_state();
    int palette_shift() const;
    void take_palette_entry(int index, int red, int green, int blue, int shift);

    // Steps of init.
    int init_software(int wanted_depth);
    int init_3d(int wanted_depth);
    int choose_3d_device();
    int create_directdraw();
    void query_video_memory();
    int set_display_mode(int wanted_depth);
    int create_surfaces(int wanted_depth);
    int create_primary_and_back(bool full_screen, platform::PixelLayout layout);
    int attach_clipper();
    int describe_surfaces();
    int create_palette();
    int create_zbuffer();
    int create_device();
    int create_viewport();
    int create_background_material();
    int load_mono_palette();
    int clear_surface(platform::Surface& surface);
    void set_strips();
    // Releases the device's viewport, material and the device, then the
    // Z-buffer and the primary and back surfaces.
    void release_device_objects();
    void release_display_surfaces();
    // Gives the desktop its mode back when a mode was set; reports what
    // fails. 1, or 0 when a step failed.
    int restore_desktop_mode();
    int tear_down();
    // Present steps.
    int present_software();
    int present_3d();
    void paint_software_border();
    bool restore_after(platform::DisplayResult result);
    // The end of showing a frame: a shown frame is counted (1); a lost
    // surface is restored (1); anything else reports error 27 (0).
    int frame_shown(platform::DisplayResult result);
};

// The program's renderer, or null before the program-wide objects have
// built it (and in tests that have not installed one).
render_device* installed_render_device();
// The program's renderer; throws std::logic_error when there is none.
render_device& the_render_device();
// Installs (or, with null, removes) the program's renderer: its texture
// operations for the material library and its palette for the engine's
// facts (publish_render_palette).
void set_the_render_device(render_device* device);
// Copies the device's palette into the engine's facts
// (engine_render_facts().palette_rgb, and on a 16-bit software screen the
// 16-bit colour of each index into palette_conversion) when the device is
// the installed renderer; nothing for any other device.
void publish_render_palette(const render_device& device);

inline constexpr const char* kRenderErrorCaption = "D3D Error Message";

// The message of a renderer error code 0..49; "General D3D Interface Error"
// for any other code.
const char* render_error_text(int code);
