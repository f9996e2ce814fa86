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
// - draw_nodes: each node of the drawn model that is loaded and in draw
//   pass 0 (flag 0x1000): a mesh node through the transform its kind and
//   the instance's first node choose, counted in the view's statistics,
//   then draw_mesh_node with the frame's lights that reach the instance
//   (unlit for the "BACK" instance); a patch node through
//   transform_patch_points and the tessellator with mesh_patch_sink, or in
//   the software type zsort_patch_sink (its triangles into the depth
//   buckets), its points lit with the lights that reach the instance. After each plain transform (transform_clip_mesh
//   and its detail-level twin) the linked shadow vertices of the drawn
//   level follow (shadow_follow); while a shadowed instance's mesh is
//   drawn the engine's light factor is multiplied by its ground shade
//   (instance_ground_shade). draw_instance lays the shadow afterwards.
void install_mesh_draw_hooks();

// The polygon batches the hooks draw into on the 3D device's path: the
// installed render device's (render_device::draw_polygons) unless another
// target is set here (an off-screen recorder, say); null gives the device
// back. The flush still goes to the installed device.
void set_mesh_draw_target(polygon_target* target);
