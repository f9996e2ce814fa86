// Muscles: shapes of a mesh driven by the angle at a joint.

#include <vector>

#include "engine/model/fcurve.h"
#include "engine/model/ml_modelinfo.h"

muscle_record::~muscle_record()
{
    if (owns) {
        if (shape.curve) {
            shape.curve->set_state(2);
            delete shape.curve;
        }
        delete[] shape.offsets;
        delete[] shape.positions;
    }
    // The embedded shape frees nothing of its own.
    shape.curve = nullptr;
    shape.offsets = nullptr;
    shape.positions = nullptr;
    shape.owner_state = 1;
    --live;
}

void muscle_record::share(const muscle_record& other)
{
    joint_hash = other.joint_hash;
    shape.name = other.shape.name;
    shape.curve = other.shape.curve;
    shape.vertex_count = other.shape.vertex_count;
    shape.key_count = other.shape.key_count;
    shape.offsets = other.shape.offsets;
    shape.positions = other.shape.positions;
    shape.owner_state = 1;
    owns = false;
}

float muscle_record::weight() const
{
    if (!joints[0] || !joints[1] || !joints[2])
        return 0.0f;
    return corner_angle_weight(joints[0]->world_centre, joints[1]->world_centre, joints[2]->world_centre);
}

void muscle_record::apply(void* vertices, std::size_t bytes) const
{
    shape.apply(vertices, bytes, weight());
}

namespace {

bool accepted(const model_node* n)
{
    return n->type == node_bone || (n->parent && n->parent->type == node_bone);
}

// Up to three nodes from `from` along `step` while they are accepted.
template <class Step>
int collect(model_node* from, model_node* out[3], Step step)
{
    int count = 0;
    for (model_node* n = from; n && count < 3 && accepted(n); n = step(n))
        out[count++] = n;
    return count;
}

} // namespace

bool ml_modelinfo::muscles_init()
{
    bool found_all = true;
    for (model_node* n = first_node; n; n = n->next) {
        if (!n->is_full())
            continue;
        for (std::int32_t i = 0; i < n->muscle_count; ++i) {
            muscle_record& m = n->muscles[i];
            model_node* joint = find_node(m.joint_hash);
            if (!joint)
                continue;
            model_node* nodes[3] = {};
            int count = collect(joint, nodes, [](model_node* x) { return x->first_child; });
            if (count != 3) {
                nodes[0] = nodes[1] = nodes[2] = nullptr;
                count = collect(joint, nodes, [](model_node* x) { return x->parent; });
            }
            if (count != 3) {
                found_all = false;
                continue;
            }
            for (int k = 0; k < 3; ++k)
                m.joints[k] = nodes[k];
        }
    }
    return found_all;
}
