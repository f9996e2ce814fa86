#pragma once

#include <cstdint>

#include "engine/base/vec4.h"

class map_grid;
class ml_modelinfo;
class model_node;
class scene;

// The ground under an instance: sets its ground factor (0.5 ground found,
// 1.0 none), the ground instance and the ground node it found.
//
// The point is the instance's position plus its scale times its root's
// local position; the search is coarse when its chosen detail level is
// below 3. The node and then the instance found last time are tried first
// (find_ground_poly_cached, find_ground_poly; engine/model/ground_poly.h),
// unless an instance has been destroyed since they were found (they might
// name it). Otherwise the ground instance is cleared, the factor set to 1.0,
// and the grid is searched: the box of half a cell size on each side of the
// point, held inside the grid, gives a range of cells on each axis (at least
// one, none past the grid's counts); in each cell the first list's items
// whose instance is shown (flag 0x1) and ground (flag 0x10000) are tried in
// order, and the first hit sets the ground instance and the factor 0.5.
void ground_under_instance(ml_modelinfo* instance, const map_grid& grid);

// The scene view's ground hook (scene_hooks().ground_under_instance): the
// search over the scene's grid (no scene: no ground, factor 1.0), the factor
// also left in the instance's shadow_state[0] as its float's bits, the word
// an instance drawn through its pair copies from the pair.
void ground_under_scene(ml_modelinfo* instance, scene* world);
// The ground shade a shadowed instance is lit by: the factor its
// shadow_state[0] holds (its own search's, or its pair's), or its ground
// factor while no search has left one there (the word is 0 until then).
float instance_ground_shade(const ml_modelinfo& instance);

// Installs ground_under_scene as the scene view's ground hook.
void install_ground_under_hook();

// What grid_find_ground found last: the ground instance and its ground
// node, tried first the next time; trusted only while no instance has been
// destroyed since they were found (ml_modelinfo::ground_epoch).
struct ground_search_cache {
    ml_modelinfo* instance = nullptr;
    model_node* node = nullptr;
    std::uint64_t seen = 0;
};

// Whether something with ground stands over or under a point (the race asks
// it with the camera's position, and hides the lens flare when it answers
// 1): the cached node (find_ground_poly_cached), then the cached instance
// (find_ground_poly), then the scene's grid. The grid search takes the box
// of the grid's reach on each side of the point (reach counts cells, so the
// box is reach x cell size per axis), held inside the grid's box; every
// cell of it (x outermost, then y, then z; indexes clamped, at least one
// cell per axis) has the instances of its first list tried in order, those
// shown (flag 0x1) and ground (flag 0x10000) only. The first hit fills the
// cache and gives 1; otherwise the instance cache is cleared and the result
// is 0. No scene, an empty grid or a point that is not finite: 0.
int grid_find_ground(const vec4& point, const scene* world, ground_search_cache& cache);
