// Pictures of the bike and rider world: the models as the game reads them,
// posed by the engine (instances, animations, node transforms) and drawn by
// the 3D device's triangle rasteriser. The test checks what the pictures
// show; with TORVANE_WORLD_PICTURES set to a folder it also writes them
// there as PNG files (docs/images holds the checked-in ones).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/model_node.h"
#include "platform/device3d_raster.h"
#include "tests/support/png_image.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/world_bike_models.h"
#include "tools/datakit/world_bikes.h"

namespace {

constexpr int kWidth = 320, kHeight = 120;
constexpr std::uint16_t kSky = 0x867D; // pale blue, 565

struct Camera {
    float eye[3], right[3], up[3], forward[3], focal;
};

Camera look(const float eye[3], const float target[3], float focal)
{
    Camera c{};
    float f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    const float lf = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (int i = 0; i < 3; ++i) {
        c.eye[i] = eye[i];
        c.forward[i] = f[i] / lf;
    }
    // right = forward x up(0, 1, 0), up = right x forward.
    const float lr = std::sqrt(c.forward[0] * c.forward[0] + c.forward[2] * c.forward[2]);
    c.right[0] = -c.forward[2] / lr;
    c.right[1] = 0.0f;
    c.right[2] = c.forward[0] / lr;
    c.up[0] = c.right[1] * c.forward[2] - c.right[2] * c.forward[1];
    c.up[1] = c.right[2] * c.forward[0] - c.right[0] * c.forward[2];
    c.up[2] = c.right[0] * c.forward[1] - c.right[1] * c.forward[0];
    c.focal = focal;
    return c;
}

// The colour picture: 565 texels and a depth buffer.
struct Picture {
    std::vector<std::uint16_t> colour = std::vector<std::uint16_t>(kWidth * kHeight, kSky);
    std::vector<std::uint16_t> depth = std::vector<std::uint16_t>(kWidth * kHeight, 0xFFFF);
};

// The textures of the materials, first frame or the frame a variant picks.
class Textures {
public:
    explicit Textures(int variant) : variant_(variant)
    {
        for (auto list : {datakit::world_bike_materials(), datakit::world_bike_detail_materials(),
                          datakit::world_rider_materials(), datakit::world_rider_detail_materials()})
            for (const datakit::WorldMaterial& m : list) {
                const auto& frame = m.frames[m.frames.size() == 5 ? static_cast<std::size_t>(variant_) : 0u];
                Texture& t = textures_[m.name];
                t.texels.clear();
                for (std::uint32_t c : frame.rgb)
                    t.texels.push_back(c == datakit::kWorldClear
                                           ? 0xF81F
                                           : static_cast<std::uint16_t>((((c >> 19) & 31u) << 11) |
                                                                        (((c >> 10) & 63u) << 5) | ((c >> 3) & 31u)));
                t.raster.width = t.raster.pitch = frame.width;
                t.raster.height = frame.height;
                t.raster.keyed = true;
                t.raster.key = 0xF81F;
            }
        for (auto& [name, t] : textures_)
            t.raster.texels = t.texels.data();
    }
    const platform::RasterTexture* find(const std::string& name) const
    {
        auto it = textures_.find(name);
        return it == textures_.end() ? nullptr : &it->second.raster;
    }

private:
    struct Texture {
        std::vector<std::uint16_t> texels;
        platform::RasterTexture raster;
    };
    int variant_;
    std::map<std::string, Texture> textures_;
};

// Draws level `level` of a model description with the node matrices of a
// posed engine instance (for a detail level, the matrices of the level-0
// namesakes, as the engine draws them).
void draw(Picture& picture, const Camera& cam, const mdl_model& model, int level, ml_modelinfo* posed,
          const Textures& textures)
{
    platform::TriangleRasteriser raster(1);
    platform::RenderStates states;
    const float light[3] = {0.4f, 0.8f, 0.45f};
    for (const mdl_object& o : model.levels[static_cast<std::size_t>(level)].objects) {
        if (o.type != 4)
            continue;
        model_node* node = posed->find_node(name_hash(o.name.c_str()));
        if (!node)
            continue;
        const mat4& m = node->world;
        for (const mdl_face& f : o.mesh.faces) {
            const std::uint32_t corners = f[0];
            std::vector<platform::TLVertex> v;
            float n[3] = {std::bit_cast<float>(f[2]), std::bit_cast<float>(f[3]), std::bit_cast<float>(f[4])};
            float wn[3];
            for (int i = 0; i < 3; ++i)
                wn[i] = n[0] * m.m[0][i] + n[1] * m.m[1][i] + n[2] * m.m[2][i];
            const float lit = 0.4f + 0.6f * std::max(0.0f, wn[0] * light[0] + wn[1] * light[1] + wn[2] * light[2]);
            const auto grey = static_cast<std::uint32_t>(std::min(255.0f, 255.0f * lit));
            bool visible = true;
            for (std::uint32_t c = 0; c < corners; ++c) {
                const mdl_vertex& x = o.mesh.vertices[f[6 + c] / 48];
                const float p[3] = {std::bit_cast<float>(x[0]), std::bit_cast<float>(x[1]), std::bit_cast<float>(x[2])};
                float w[3], d[3];
                for (int i = 0; i < 3; ++i) {
                    w[i] = p[0] * m.m[0][i] + p[1] * m.m[1][i] + p[2] * m.m[2][i] + m.m[3][i];
                    d[i] = w[i] - cam.eye[i];
                }
                const float z = d[0] * cam.forward[0] + d[1] * cam.forward[1] + d[2] * cam.forward[2];
                if (z < 0.1f)
                    visible = false;
                platform::TLVertex t;
                const float xs = d[0] * cam.right[0] + d[1] * cam.right[1] + d[2] * cam.right[2];
                const float ys = d[0] * cam.up[0] + d[1] * cam.up[1] + d[2] * cam.up[2];
                t.sx = kWidth * 0.5f + xs / z * cam.focal;
                t.sy = kHeight * 0.5f - ys / z * cam.focal;
                t.sz = std::min(1.0f, z / 100.0f);
                t.rhw = 1.0f / z;
                t.colour = 0xFF000000u | grey << 16 | grey << 8 | grey;
                t.tu = std::bit_cast<float>(x[8]);
                t.tv = std::bit_cast<float>(x[9]);
                v.push_back(t);
            }
            if (!visible)
                continue;
            const std::uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
            const platform::RasterTexture* tex = textures.find(o.materials[f[1]]);
            raster.queue(states, tex, v.data(), static_cast<int>(v.size()), quad, corners == 4 ? 6 : 3);
        }
    }
    platform::RasterTarget target;
    target.colour = picture.colour.data();
    target.colour_pitch = kWidth;
    target.depth = picture.depth.data();
    target.depth_pitch = kWidth;
    target.scissor = {0, 0, kWidth, kHeight};
    raster.flush(target);
}

torvane_test::PngImage png(const Picture& p)
{
    torvane_test::PngImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.indexed = false;
    for (std::uint16_t c : p.colour) {
        image.pixels.push_back(static_cast<std::uint8_t>((c >> 11) << 3));
        image.pixels.push_back(static_cast<std::uint8_t>(((c >> 5) & 63) << 2));
        image.pixels.push_back(static_cast<std::uint8_t>((c & 31) << 3));
    }
    return image;
}

void keep(const Picture& p, const char* name)
{
    const char* folder = std::getenv("TORVANE_WORLD_PICTURES");
    if (!folder)
        return;
    std::string error;
    EXPECT_TRUE(torvane_test::write_png((std::filesystem::path(folder) / name).string(), png(p), &error)) << error;
}

int drawn_pixels(const Picture& p, int x0, int x1)
{
    int n = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = x0; x < x1; ++x)
            n += p.colour[static_cast<std::size_t>(y * kWidth + x)] != kSky;
    return n;
}

class WorldBikePictures : public ::testing::Test {
protected:
    void SetUp() override
    {
        current_engine = &context_;
        root_ = torvane_test::make_temp_dir("pictures");
        std::string error;
        ASSERT_TRUE(datakit::write_demo_world_bikes(root_, error)) << error;
        for (const char* group : {"Bikes", "Riders"}) {
            auto lib = std::make_unique<model_lib>(group);
            ASSERT_EQ(lib->try_open((root_ / "Gfx" / "Bikes" / (std::string(group) + ".mdl")).string().c_str()),
                      mdl_status::ok);
            ASSERT_EQ(lib->try_load_all(0), mdl_status::ok);
            libs_[group] = std::move(lib);
        }
        anims_ = std::make_unique<anim_lib>("Riders.anm");
        ASSERT_EQ(anims_->try_open((root_ / "Gfx" / "Bikes" / "Riders.anm").string().c_str()), anm_status::ok);
        ASSERT_EQ(anims_->try_load_all(), anm_status::ok);
    }
    void TearDown() override
    {
        libs_.clear();
        anims_.reset();
        current_engine = nullptr;
    }

    // A rider instance in the pose of an animation at a time, placed at x.
    ml_modelinfo* rider(const char* animation, float time, float x, float heading = 0.0f)
    {
        ml_modelinfo* r = libs_["Riders"]->create_instance("AXX_RIDER", nullptr, 0);
        r->lnk_anim_by_name(anims_.get(), animation, 0, 0);
        r->set_curanim(name_hash(animation));
        r->position = {x, 0.0f, 0.0f, 1.0f};
        r->angles = {0.0f, heading, 0.0f, 0.0f};
        r->update_transforms(time);
        return r;
    }

    ml_modelinfo* bike(int model, float x, float heading = 0.0f)
    {
        ml_modelinfo* b =
            libs_["Bikes"]->create_instance(("AXX_" + datakit::world_bike_names()[static_cast<std::size_t>(model)]).c_str(), nullptr, 0);
        b->position = {x, 0.0f, 0.0f, 1.0f};
        b->angles = {0.0f, heading, 0.0f, 0.0f};
        b->update_transforms(0.0f);
        return b;
    }

    engine context_;
    std::filesystem::path root_;
    std::map<std::string, std::unique_ptr<model_lib>> libs_;
    std::unique_ptr<anim_lib> anims_;
};

TEST_F(WorldBikePictures, TheFiveBikesWithTheirRiders)
{
    const float eye[3] = {5.0f, 2.4f, 9.0f}, target[3] = {5.0f, 0.6f, 0.5f};
    const Camera cam = look(eye, target, 255.0f);
    Picture picture;
    const mdl_model rider_model = datakit::world_rider_model();
    for (int m = 0; m < 5; ++m) {
        const float x = 1.0f + 2.0f * static_cast<float>(m);
        const Textures textures(m % 5);
        draw(picture, cam, datakit::world_bike_model(m), 0, bike(m, x - 0.5f, 2.1f), textures);
        draw(picture, cam, rider_model, 0, rider("RIDE", 0.5f, x - 0.5f, 2.1f), textures);
    }
    keep(picture, "world-bikes.png");
    // Each bike draws in its own fifth of the picture.
    for (int m = 0; m < 5; ++m)
        EXPECT_GT(drawn_pixels(picture, m * kWidth / 5, (m + 1) * kWidth / 5), 600) << m;
}

TEST_F(WorldBikePictures, RiderPosesAndDetailLevels)
{
    const float eye[3] = {3.7f, 1.6f, 8.0f}, target[3] = {3.7f, 0.6f, 0.0f};
    const Camera cam = look(eye, target, 290.0f);
    Picture picture;
    const Textures textures(2);
    const mdl_model rider_model = datakit::world_rider_model();
    const struct {
        const char* animation;
        float time;
    } poses[] = {{"RIDE_LEAN", 0.0f}, {"LOOK_BEHIND", 0.5f}, {"TUMBLE_A", 0.5f}, {"WALK_A", 0.25f}, {"WINNER", 0.75f}};
    for (int k = 0; k < 5; ++k)
        draw(picture, cam, rider_model, 0, rider(poses[k].animation, poses[k].time, 0.3f + 1.6f * static_cast<float>(k), 0.9f),
             textures);
    keep(picture, "world-rider-poses.png");
    for (int k = 0; k < 5; ++k)
        EXPECT_GT(drawn_pixels(picture, k * kWidth / 5, (k + 1) * kWidth / 5), 200) << poses[k].animation;

    // The bike's four detail levels side by side: each draws, lighter.
    Picture levels;
    const mdl_model model = datakit::world_bike_model(1);
    for (int l = 0; l < datakit::kWorldBikeLevels; ++l)
        draw(levels, look(eye, target, 250.0f), model, l, bike(1, 0.3f + 2.2f * static_cast<float>(l), 2.0f), textures);
    keep(levels, "world-bike-levels.png");
    for (int l = 0; l < datakit::kWorldBikeLevels; ++l)
        EXPECT_GT(drawn_pixels(levels, l * kWidth / 4, (l + 1) * kWidth / 4), 400) << l;
}

} // namespace
