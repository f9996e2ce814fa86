#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/pool_new.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"

namespace model_test {

// A lattice shape of n x m x l points over the box [0, size]^3, with
// `bend` added to the y of every point of the middle x layer. The points
// stand 1 / cell scale apart (the cell scale being (n - 1) x 0.999 / size),
// which makes the unbent lattice the identity.
inline lattice_shape* grid_shape(std::uint32_t n, std::uint32_t m, std::uint32_t l, float size, float bend = 0.0f)
{
    auto* s = new (pool_lattice_shape) lattice_shape;
    lattice_header h;
    h.counts[0] = n;
    h.counts[1] = m;
    h.counts[2] = l;
    h.box_min = {0, 0, 0, 1};
    h.box_max = {size, size, size, 1};
    s->apply_header(h);
    s->allocate_points();
    for (std::uint32_t i = 0; i < n; ++i)
        for (std::uint32_t j = 0; j < m; ++j)
            for (std::uint32_t k = 0; k < l; ++k)
                s->at(i, j, k) = {i / s->cell_scale[0], j / s->cell_scale[1] + (2 * i + 1 == n ? bend : 0.0f),
                                  k / s->cell_scale[2], 1};
    return s;
}

// A lattice animation of the given shapes, with its working shape.
inline lattice_anim* lattice_of(std::vector<lattice_shape*> shapes, fcurve* curve)
{
    auto* anim = new (pool_lattice_anim) lattice_anim;
    anim->take_shapes(shapes.data(), static_cast<int>(shapes.size()));
    anim->curve = curve;
    return anim;
}

} // namespace model_test
