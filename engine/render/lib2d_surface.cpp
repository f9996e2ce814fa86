#include "engine/render/lib2d_surface.h"

#include "engine/render/render_device.h"

lib2d_surface::lib2d_surface(float r, float g, float b, float a)
{
    if (render_device* d = installed_render_device())
        texture = d->create_surface(r, g, b, a);
    valid = texture != nullptr;
}

int lib2d_surface::draw(float x, float y, float w, float h)
{
    if (!valid)
        return 0;
    render_device* d = installed_render_device();
    // Released: the record may serve another texture by now.
    if (!texture || !d)
        return 0;
    d->draw_quad(texture, x, y, w, h);
    return 1;
}

void lib2d_surface::release()
{
    if (!valid || !texture)
        return;
    // Through the cache, so that no entry of the eviction ring or the
    // pending-reload list is left pointing at the freed record.
    if (render_device* d = installed_render_device())
        d->free_cache_texture(texture);
    texture = nullptr;
}
