#include "engine/render/polygon_target.h"

#include "engine/render/render_device.h"

int device_polygon_target::draw_polygons(int count, const clip_vertex* vertices, const clip_vertex* const* vertex_list,
                                         const mtr_texture* texture, int depth_bias)
{
    return device_.draw_polygons(count, vertices, vertex_list, texture, depth_bias);
}
