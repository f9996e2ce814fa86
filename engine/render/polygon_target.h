#pragma once

#include "engine/base/clip_vertex.h"

class render_device;
struct mtr_texture;

// Where the mesh pipeline's emitters hand their polygons: the polygon
// batches of the 3D device (render_device::draw_polygons) in the game, a
// recorder in tests. The arguments are those of render_device::draw_polygons:
// a triangle or quad either as `count` contiguous clip vertices or as
// `count` vertex addresses, its texture frame and its depth bias.
class polygon_target {
public:
    virtual int draw_polygons(int count, const clip_vertex* vertices, const clip_vertex* const* vertex_list,
                              const mtr_texture* texture, int depth_bias) = 0;

protected:
    ~polygon_target() = default;
};

// The polygon target over a render device's batches.
class device_polygon_target final : public polygon_target {
public:
    explicit device_polygon_target(render_device& device) : device_(device) {}
    int draw_polygons(int count, const clip_vertex* vertices, const clip_vertex* const* vertex_list,
                      const mtr_texture* texture, int depth_bias) override;

private:
    render_device& device_;
};
