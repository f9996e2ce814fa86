#include "engine/render/rast.h"
#include "engine/render/render_device.h"

// Giving the display back: the device and its objects before the surfaces
// it draws into, the desktop's mode before the driver.

void render_device::release_device_objects()
{
    if (viewport && device3d)
        device3d->delete_viewport(*viewport);
    viewport.reset();
    background_material.reset();
    background_handle = 0;
    batch_scene_open = 0;
    device3d.reset();
    zbuffer.reset();
    zbuffer_in_video = 0;
}

void render_device::release_display_surfaces()
{
    // The rasteriser lets go of the picture (drawing what it still holds)
    // while the surfaces are alive, and of its threads.
    if (screen_pixels && rast_current_frame().pixels == screen_pixels)
        rast_set_frame({});
    // The threads the set-up asked for go with the display: the next user
    // of the rasteriser finds it drawing at once, as it starts.
    if (rast_threads_taken) {
        rast_set_threads(1);
        rast_threads_taken = false;
    }
    release_device_objects();
    clipper.reset();
    back_surface = nullptr;
    back_offscreen.reset();
    primary_surface.reset();
    screen_palette.reset();
    back_address = primary_address = screen_pixels = nullptr;
    back_buffer = {};
    back_pitch = back_width = back_height = 0;
    draw_width = draw_height = 0;
    back_in_video = primary_in_video = 0;
    surfaces_valid = 0;
}

// The desktop gets its mode back when one was set: the display is taken
// (if it is not held), its mode restored, and it is given back for windows.
int render_device::restore_desktop_mode()
{
    if (!display || !display_mode_changed)
        return 1;
    int result = 1;
    if (!exclusive) {
        if (display->set_exclusive(window, true) != platform::DisplayResult::Ok) {
            report_error(6);
            return 0;
        }
        exclusive = 1;
    }
    if (display->restore_mode() != platform::DisplayResult::Ok) {
        report_error(7);
        result = 0;
    }
    if (display->set_exclusive(window, false) != platform::DisplayResult::Ok) {
        report_error(6);
        result = 0;
    }
    exclusive = 0;
    display_mode_changed = 0;
    return result;
}

// Everything goes before a display of another driver or device is made.
int render_device::tear_down()
{
    release_display_surfaces();
    if (!restore_desktop_mode())
        return 0;
    display.reset();
    has_3d = 0;
    exclusive = 0;
    ready = 0;
    normal_level_taken = 0;
    return 1;
}

// Every step runs, also after one has failed: a driver that closes gives the
// display back to the desktop in any case, so nothing stays held.
int render_device::release()
{
    ready = 0;
    surfaces_valid = 0;
    release_display_surfaces();
    const int result = restore_desktop_mode();
    display.reset();
    has_3d = 0;
    exclusive = 0;
    display_mode_changed = 0;
    normal_level_taken = 0;
    colour_table.clear();
    colour_table.shrink_to_fit();
    free_batch_buffers();
    release_textures();
    clear_state();
    return result;
}

render_device::~render_device()
{
    release_display_surfaces();
    display.reset();
}
