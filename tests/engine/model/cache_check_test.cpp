#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/texture_record.h"
#include "engine/model/mtr_lib.h"
#include "model_builder.h"
#include "model_fixture.h"

namespace model_test {
namespace {

// The renderer's cache word, as the test's frames carry it.
std::uint32_t test_cache_word(const mtr_texture* frame)
{
    return frame->kept[0];
}

class CacheCheckTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        saved_ = texture_surfaces();
        texture_surfaces().cache_word = test_cache_word;
    }
    void TearDown() override
    {
        texture_surfaces() = saved_;
        ModelTest::TearDown();
    }

    // A model of one mesh per cache class (with a lower detail level whose
    // mesh has the last class), each bound to a material of its own.
    ml_modelinfo* model_of(std::vector<std::uint32_t> classes)
    {
        model_builder b("CAR");
        b.add("ROOT", node_empty, -1);
        std::vector<model_node*> meshes;
        for (std::size_t i = 0; i + 1 < classes.size(); ++i)
            meshes.push_back(b.add(("MESH" + std::to_string(i)).c_str(), node_mesh, 0));
        b.level({"ROOT", "LOW"});
        ml_modelinfo* m = b.finish();
        meshes.push_back(m->levels[1]->first_node->first_child);
        for (std::size_t i = 0; i < classes.size(); ++i) {
            auto frame = std::make_unique<mtr_texture>();
            frame->kept[0] = 0x100 | classes[i];   // the class is the low 4 bits
            // The material owns its texture (state 2), whose frame stays ours.
            auto material = std::make_unique<mesh_material>();
            material->texture = new mesh_texture;
            material->texture->first_frame = frame.get();
            material_ref ref;
            ref.material = material.get();
            meshes[i]->material_refs.push_back(ref);
            frames_.push_back(std::move(frame));
            materials_.push_back(std::move(material));
        }
        return m;
    }

private:
    texture_surface_ops saved_;
    std::vector<std::unique_ptr<mtr_texture>> frames_;
    std::vector<std::unique_ptr<mesh_material>> materials_;
};

TEST_F(CacheCheckTest, EveryLevelTakesTheOneClassItsTexturesShare)
{
    constexpr std::uint32_t a = model_cache_class_a, b = model_cache_class_b, c = model_cache_class_c;
    struct row {
        std::vector<std::uint32_t> classes;
        bool ok;
        std::uint32_t flags;
    };
    const row rows[] = {
        {{0, 3, 4}, true, a},
        {{6, 11, 7}, true, b},
        {{12, 12}, true, c},
        {{5, 2}, true, a},      // 5 fits A
        {{9, 5}, true, b},      // and B
        {{5, 5}, true, a | b},  // alone it fits either
        {{13, 3}, true, a},     // classes past 12 are in no range
        {{4, 6}, false, 0},
        {{3, 12}, false, 0},
        {{5, 12}, false, 0},
        {{2, 2, 9}, false, 0},  // the lower detail level's texture counts too
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.classes[0] << "," << r.classes[1]);
        ml_modelinfo* m = model_of(r.classes);
        EXPECT_EQ(m->try_check_cache_used(), r.ok);
        const std::uint32_t got = m->flags & (a | b | c);
        EXPECT_EQ(got, r.flags);
        EXPECT_EQ(m->levels[1]->flags & (a | b | c), r.flags);
        delete m;
    }
}

TEST_F(CacheCheckTest, MixedClassesEndTheProgram)
{
    ml_modelinfo* m = model_of({1, 8});
    EXPECT_EXIT(m->check_cache_used(), ::testing::ExitedWithCode(1), "Texture cache range error!");
    delete m;
    // Without cache words from the renderer nothing is known and nothing set.
    texture_surfaces().cache_word = nullptr;
    ml_modelinfo* n = model_of({1, 8});
    EXPECT_TRUE(n->try_check_cache_used());
    EXPECT_EQ(n->flags & (model_cache_class_a | model_cache_class_b), 0u);
    delete n;
}

std::uint32_t handed = 0;
int calls = 0;

TEST_F(CacheCheckTest, ATextureValueReachesEveryFrameWithASurface)
{
    ml_modelinfo* m = model_of({1, 2, 3});
    // The first mesh's frame has a surface; the second none; the third is on
    // the lower detail level, which the value does not reach.
    model_node* first = m->first_node->first_child;
    first->material_refs[0].material->texture->frame_count = 1;
    first->material_refs[0].material->texture->first_frame->surface = first;
    model_node* second = first->next_sibling;
    second->material_refs[0].material->texture->frame_count = 1;
    handed = 0;
    calls = 0;
    texture_surfaces().set_value = [](mtr_texture*, std::uint32_t v) {
        handed = v;
        ++calls;
    };
    m->set_texture_value(44);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(handed, 44u);
    delete m;
}

} // namespace
} // namespace model_test
