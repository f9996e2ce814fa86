#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"

namespace model_test {

// Builds a model's node hierarchy in memory, as a library does after
// reading a file: owner state 1, children chained in the order they are
// added, the flat list in the order of the nodes.
class model_builder {
public:
    explicit model_builder(const char* name) : model_(new ml_modelinfo(name)) {}

    model_node* add(const char* name, std::int32_t type, int parent, std::uint32_t kind = node_kind_full)
    {
        auto* n = new model_node(kind);
        n->hash = name_hash(name);
        n->first_hash = n->hash;
        n->type = type;
        n->index = static_cast<std::int32_t>(nodes_.size());
        n->owner_state = 1;
        if (parent >= 0) {
            model_node* p = nodes_[parent];
            n->parent = p;
            if (!p->first_child) {
                p->first_child = n;
            } else {
                model_node* c = p->first_child;
                while (c->next_sibling)
                    c = c->next_sibling;
                c->next_sibling = n;
            }
        }
        nodes_.push_back(n);
        return n;
    }

    // A pivot of scale 1, no rotation and the given translation.
    static void pivot_at(model_node* n, vec4 t, vec4 angles = {})
    {
        n->pivot = new model_pivot{{1.0f, 1.0f, 1.0f, 0.0f}, angles, t};
    }

    // A bone object with one group per mesh name.
    static void bone_groups(model_node* n, std::vector<std::pair<const char*, std::vector<std::uint16_t>>> groups)
    {
        n->bone = new bone_object;
        n->bone->group_count = static_cast<std::uint32_t>(groups.size());
        n->bone->groups = groups.empty() ? nullptr : new skin_group*[groups.size()];
        for (std::size_t i = 0; i < groups.size(); ++i) {
            auto* g = new skin_group;
            g->mesh_hash = name_hash(groups[i].first);
            g->vertex_count = static_cast<std::uint32_t>(groups[i].second.size());
            if (g->vertex_count) {
                g->vertices = new std::uint16_t[g->vertex_count];
                std::memcpy(g->vertices, groups[i].second.data(), g->vertex_count * 2);
            }
            if (i > 0) {
                g->prev = n->bone->groups[i - 1];
                n->bone->groups[i - 1]->next = g;
            }
            n->bone->groups[i] = g;
        }
    }

    // Links the flat list and the set-up passes of a loaded model.
    ml_modelinfo* finish()
    {
        link(model_, nodes_);
        model_->level_count = 1 + static_cast<int>(levels_.size());
        model_->levels = new model_record*[model_->level_count];
        model_->levels[0] = model_;
        for (std::size_t i = 0; i < levels_.size(); ++i)
            model_->levels[i + 1] = levels_[i];
        model_->flags = model_active | model_built;
        model_->link_levels();
        model_->setup_skin();
        model_->resolve_bindings();
        model_->owner_state = 1;
        return model_;
    }

    // A detail level whose nodes have the given names (a chain under the
    // first), linked when the model is finished.
    void level(std::vector<const char*> names)
    {
        auto* lv = new model_level;
        lv->id = static_cast<int>(levels_.size()) + 1;
        lv->model = model_;
        lv->owner_state = 1;
        std::vector<model_node*> nodes;
        for (std::size_t i = 0; i < names.size(); ++i) {
            auto* n = new model_node(node_kind_level);
            n->hash = name_hash(names[i]);
            n->type = node_empty;
            n->index = static_cast<std::int32_t>(i);
            n->owner_state = 1;
            if (i > 0) {
                n->parent = nodes[0];
                if (i == 1)
                    nodes[0]->first_child = n;
                else
                    nodes[i - 1]->next_sibling = n;
            }
            nodes.push_back(n);
        }
        link(lv, nodes);
        levels_.push_back(lv);
    }

private:
    static void link(model_record* record, std::vector<model_node*>& nodes)
    {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            nodes[i]->prev = i > 0 ? nodes[i - 1] : nullptr;
            nodes[i]->next = i + 1 < nodes.size() ? nodes[i + 1] : nullptr;
        }
        record->first_node = nodes.empty() ? nullptr : nodes[0];
        record->node_count = static_cast<std::int32_t>(nodes.size());
    }

    ml_modelinfo* model_;
    std::vector<model_node*> nodes_;
    std::vector<model_level*> levels_;
};

} // namespace model_test
