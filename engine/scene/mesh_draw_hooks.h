#pragma once

#include "engine/scene/mesh_draw.h"

class model_node;
class polygon_target;
class scene_view;

// The scene view's drawing hooks (scene_hooks(), scene_view.h) that belong
// to the mesh drawing, and the mesh view a scene view gives the drawing.

// The mesh view of a scene view: its frame's projection and engine context,
// the clip record of its camera's field of view (w' = -z' tan(half fov)),
// and `renderer`.
mesh_view scene_mesh_view(scene_view& view, polygon_target* renderer);

// Installs the hooks built here, drawing through the installed render
// device's batches:
// - zsort_draw: the software path's buckets with the view's first light,
//   then the entry array is free again for the next frame;
// - flush: render_device::draw_scene;
// - draw_shadow_mesh: face normals, then the depth sort (software type) or
//   the back faces and mesh_draw_shadow at the mean view depth of the laid
//   vertices.
// The per-instance hook (draw_nodes: choosing each node's transform and
// lights, then draw_mesh_node) is not built yet; until it is, instances
// draw nothing.
void install_mesh_draw_hooks();
