#include "engine/scene/ground_under.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/base/float_conv.h"
#include "engine/model/ground_poly.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/scene/map_grid.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"

namespace {

constexpr std::uint32_t instance_ground = 0x10000;

// The cell range [first, last] along one axis of the box [low, high],
// held inside the grid's `count` cells; at least one cell.
void cell_range(float low, float high, float origin, float far, float size, std::int32_t count,
                std::int32_t* first, std::int32_t* last)
{
    const auto cell = [&](float x) {
        x = std::clamp(x, origin, far);
        const double c = std::floor((static_cast<double>(x) - origin) / size);
        // NaN reads as the first cell.
        return c >= 0.0 ? static_cast<std::int32_t>(std::min<double>(c, count - 1)) : 0;
    };
    *first = cell(low);
    *last = std::max(*first, cell(high));
}

// The first instance of the cell's first list that is shown and ground and
// has ground under the point (its ground node written to `slot`), or null.
ml_modelinfo* ground_in_cell(const map_cell* cell, model_node** slot, const vec4& point, int coarse)
{
    if (!cell)
        return nullptr;
    for (const map_item* item = cell->sections[0]; item; item = item->next) {
        ml_modelinfo* m = item->instance;
        if (!m || (m->flags & (instance_shown | instance_ground)) != (instance_shown | instance_ground))
            continue;
        if (find_ground_poly(m, slot, point, coarse))
            return m;
    }
    return nullptr;
}

} // namespace

void ground_under_instance(ml_modelinfo* instance, const map_grid& grid)
{
    if (!instance)
        return;
    vec4 point = instance->position;
    if (const model_node* root = instance->first_node) {
        point.x += instance->scale.x * root->local_position.x;
        point.y += instance->scale.y * root->local_position.y;
        point.z += instance->scale.z * root->local_position.z;
    }
    const int coarse = instance->id < 3 ? 1 : 0;

    // What was found last time, while nothing it names can have gone.
    if (instance->ground_seen != ml_modelinfo::ground_epoch) {
        instance->ground_instance = nullptr;
        instance->ground_node = nullptr;
    }
    instance->ground_seen = ml_modelinfo::ground_epoch;
    if (instance->ground_node && find_ground_poly_cached(instance->ground_node, point, coarse)) {
        instance->ground_factor = 0.5f;
        return;
    }
    if (instance->ground_instance &&
        find_ground_poly(instance->ground_instance, &instance->ground_node, point, coarse)) {
        instance->ground_factor = 0.5f;
        return;
    }

    instance->ground_instance = nullptr;
    instance->ground_factor = 1.0f;
    if (grid.levels <= 0 || grid.rows <= 0 || grid.columns <= 0)
        return;
    std::int32_t x0, x1, y0, y1, z0, z1;
    cell_range(point.x - grid.cell_size.x * 0.5f, point.x + grid.cell_size.x * 0.5f, grid.origin.x,
               grid.far_corner.x, grid.cell_size.x, grid.columns, &x0, &x1);
    cell_range(point.y - grid.cell_size.y * 0.5f, point.y + grid.cell_size.y * 0.5f, grid.origin.y,
               grid.far_corner.y, grid.cell_size.y, grid.levels, &y0, &y1);
    cell_range(point.z - grid.cell_size.z * 0.5f, point.z + grid.cell_size.z * 0.5f, grid.origin.z,
               grid.far_corner.z, grid.cell_size.z, grid.rows, &z0, &z1);
    for (std::int32_t iy = y0; iy <= y1; ++iy)
        for (std::int32_t iz = z0; iz <= z1; ++iz)
            for (std::int32_t ix = x0; ix <= x1; ++ix)
                if (ml_modelinfo* m = ground_in_cell(grid.lookup(iy, iz, ix), &instance->ground_node, point, coarse)) {
                    instance->ground_instance = m;
                    instance->ground_factor = 0.5f;
                    return;
                }
}

void ground_under_scene(ml_modelinfo* instance, scene* world)
{
    if (!instance)
        return;
    if (world) {
        ground_under_instance(instance, world->grid);
    } else {
        instance->ground_instance = nullptr;
        instance->ground_factor = 1.0f;
    }
    instance->shadow_state[0] = std::bit_cast<std::uint32_t>(instance->ground_factor);
}

float instance_ground_shade(const ml_modelinfo& instance)
{
    const float shade = std::bit_cast<float>(instance.shadow_state[0]);
    if (instance.shadow_state[0] == 0 || !std::isfinite(shade))
        return instance.ground_factor;
    return shade;
}

void install_ground_under_hook()
{
    scene_hooks().ground_under_instance = &ground_under_scene;
}

int grid_find_ground(const vec4& point, const scene* world, ground_search_cache& cache)
{
    if (cache.seen != ml_modelinfo::ground_epoch) {
        cache.instance = nullptr;
        cache.node = nullptr;
    }
    cache.seen = ml_modelinfo::ground_epoch;
    // A point that is not a number stands over nothing.
    if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z)) {
        cache.instance = nullptr;
        cache.node = nullptr;
        return 0;
    }
    if (cache.node && find_ground_poly_cached(cache.node, point, 0))
        return 1;
    if (cache.instance && find_ground_poly(cache.instance, &cache.node, point, 0))
        return 1;
    cache.instance = nullptr;
    if (!world)
        return 0;
    const map_grid& g = world->grid;
    if (g.columns <= 0 || g.levels <= 0 || g.rows <= 0)
        return 0;

    // The search box, held inside the grid's box.
    const auto bound = [](float p, float offset, float low, float high) {
        return std::clamp(p + offset, low, high);
    };
    vec4 low = point, high = point;
    low.x = bound(point.x, -static_cast<float>(g.reach[0]) * g.cell_size.x, g.origin.x, g.far_corner.x);
    low.y = bound(point.y, -static_cast<float>(g.reach[1]) * g.cell_size.y, g.origin.y, g.far_corner.y);
    low.z = bound(point.z, -static_cast<float>(g.reach[2]) * g.cell_size.z, g.origin.z, g.far_corner.z);
    high.x = bound(point.x, static_cast<float>(g.reach[0]) * g.cell_size.x, g.origin.x, g.far_corner.x);
    high.y = bound(point.y, static_cast<float>(g.reach[1]) * g.cell_size.y, g.origin.y, g.far_corner.y);
    high.z = bound(point.z, static_cast<float>(g.reach[2]) * g.cell_size.z, g.origin.z, g.far_corner.z);
    const vec4 first = world->point_to_cell(low);
    const vec4 last = world->point_to_cell(high);
    // [from, to] along one axis: the low corner's cell and (high - low + 1)
    // cells, cut to the grid's count, at least one.
    const auto range = [](float a, float b, std::int32_t count, std::int32_t* from, std::int32_t* to) {
        const std::int64_t c0 = std::clamp<std::int64_t>(trunc_to_int64(a), 0, count - 1);
        const std::int64_t c1 = std::clamp<std::int64_t>(trunc_to_int64(b), c0, count - 1);
        *from = static_cast<std::int32_t>(c0);
        *to = static_cast<std::int32_t>(c1);
    };
    std::int32_t x0, x1, y0, y1, z0, z1;
    range(first.x, last.x, g.columns, &x0, &x1);
    range(first.y, last.y, g.levels, &y0, &y1);
    range(first.z, last.z, g.rows, &z0, &z1);
    for (std::int32_t ix = x0; ix <= x1; ++ix)
        for (std::int32_t iy = y0; iy <= y1; ++iy)
            for (std::int32_t iz = z0; iz <= z1; ++iz)
                if (ml_modelinfo* m = ground_in_cell(world->cell(ix, iy, iz), &cache.node, point, 0)) {
                    cache.instance = m;
                    return 1;
                }
    cache.node = nullptr;
    return 0;
}
