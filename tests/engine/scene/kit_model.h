#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mdl_writer.h"

namespace scene_test {

// Writes a model `name` whose one detail level holds the single object with
// the data kit into a temporary folder, loads it through a model library
// (kept in `lib`) and returns the object's node (null on failure).
inline model_node* load_kit_object(std::unique_ptr<model_lib>& lib, const char* name, const mdl_object& object)
{
    const auto path = torvane_test::make_temp_dir("kit_model") / "Kit.mdl";
    std::string error;
    EXPECT_TRUE(datakit::write_mdl(path, {datakit::mdl_single_level(name, {object})}, error)) << error;
    lib = std::make_unique<model_lib>("kit");
    if (lib->try_open(path.string().c_str()) != mdl_status::ok || lib->load_model(name, 0) != 1)
        return nullptr;
    return lib->find_model(name_hash(name))->find_node(name_hash(object.name.c_str()));
}

} // namespace scene_test
