// The record size of every typed pool of the engine context against the
// record type that lives there, checked at compile time for all fourteen
// pools at once (pool_record checks a type only where it is allocated).

#include "engine/base/node_binding.h"
#include "engine/base/pool_new.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/orient_spline.h"
#include "engine/model/path_spline.h"
#include "engine/model/shape_anim.h"

namespace {

template <class Record, int Pool>
constexpr bool pool_fits()
{
    return engine_pool_record_bytes[Pool] == round_up_16(sizeof(Record));
}

static_assert(pool_fits<anim_node, pool_anim_node>(), "pool 0 holds anim_node");
static_assert(pool_fits<node_binding, pool_node_binding>(), "pool 1 holds node_binding");
static_assert(pool_fits<anim_link, pool_anim_link>(), "pool 2 holds anim_link");
static_assert(pool_fits<shape_anim, pool_shape_anim>(), "pool 3 holds shape_anim");
static_assert(pool_fits<lattice_shape, pool_lattice_shape>(), "pool 4 holds lattice_shape");
static_assert(pool_fits<lattice_anim, pool_lattice_anim>(), "pool 5 holds lattice_anim");
static_assert(pool_fits<orient_key, pool_orient_key>(), "pool 6 holds orient_key");
static_assert(pool_fits<orient_spline, pool_orient_spline>(), "pool 7 holds orient_spline");
static_assert(pool_fits<anim_rotation, pool_anim_rotation>(), "pool 8 holds anim_rotation");
static_assert(pool_fits<path_point, pool_path_point>(), "pool 9 holds path_point");
static_assert(pool_fits<path_spline, pool_path_spline>(), "pool 10 holds path_spline");
static_assert(pool_fits<anim_position, pool_anim_position>(), "pool 11 holds anim_position");
static_assert(pool_fits<fcurve, pool_fcurve>(), "pool 12 holds fcurve");
static_assert(pool_fits<fcurve_key, pool_fcurve_key>(), "pool 13 holds fcurve_key");

} // namespace
