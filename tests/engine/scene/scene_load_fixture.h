#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/scene/scene.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/scene_writer.h"

namespace scene_test {

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
        set_texture_classer(nullptr);
        ModelTest::TearDown();
    }

    // The map object of that model name (the library's model the grid links).
    static ml_modelinfo* model(const scene& s, const char* name) { return s.find_model(name_hash(name)); }

    datakit::SceneLibraries kit;
    std::filesystem::path folder;
    std::string base;
};

} // namespace scene_test
