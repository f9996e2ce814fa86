#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/base/node_binding.h"
#include "engine/base/texture_record.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/mtr_lib.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/scene/scene.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/scene_writer.h"

namespace scene_test {

// Every live counter a loaded scene moves, by name.
inline std::vector<std::pair<const char*, int>> scene_live_counts()
{
    return {{"model records", model_record::live},   {"full nodes", model_node::live_full},
            {"level nodes", model_node::live_level}, {"bone objects", bone_object::live},
            {"skin groups", skin_group::live},       {"skin references", skin_ref::live},
            {"node bindings", node_binding::live},   {"materials", mesh_material::live},
            {"textures", mesh_texture::live},        {"texture frames", mtr_texture::live},
            {"animation links", anim_link::live},    {"animation nodes", anim_node::live},
            {"curves", fcurve::live},                {"curve keys", fcurve_key::live},
            {"map items", map_item::live},           {"map cells", map_cell::live},
            {"scenes", scene::live},                 {"material references", material_ref::live}};
}

// A current engine context and the data kit's small scene written as
// "<folder>/DEMO.*" (tools/datakit/scene_writer.h describes its contents).
class KitSceneTest : public model_test::ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        folder = torvane_test::make_temp_dir("scene");
        datakit::build_demo_scene(kit);
        std::string error;
        ASSERT_TRUE(datakit::write_scene(folder, "DEMO", kit, error)) << error;
        base = (folder / "DEMO").string();
    }
    void TearDown() override
    {
        texture_surfaces().cache_word = nullptr;
        ml_modelinfo::set_light_preparer(nullptr);
        ModelTest::TearDown();
    }

    // The map object of that model name (the library's model the grid links).
    static ml_modelinfo* model(const scene& s, const char* name) { return s.find_model(name_hash(name)); }

    datakit::SceneLibraries kit;
    std::filesystem::path folder;
    std::string base;
};

} // namespace scene_test
