#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "platform/display.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "race/bike_models.h"
#include "race/race_3d_data.h"
#include "tests/engine/scene/scene_load_fixture.h"
#include "tests/race/race_3d_fixture.h"
#include "tests/race/race_fixture.h"
#include "tests/support/back_surface_picture.h"
#include "tests/support/png_image.h"

// The race's 3D data on the demo data: what Load3d loads on each renderer
// path, the failures it reports, its release, the bike models and one drawn
// race frame.
namespace {

using race_test::RaceFixture;

constexpr int kHardware = 1; // device 1: the platform's 3D device
constexpr int kSoftware = 0; // device 0: the game's rasteriser

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    const std::string t = Lower(text);
    return t.size() >= end.size() && t.compare(t.size() - end.size(), end.size(), end) == 0;
}

// Every live counter of the engine's records, and the scene views.
std::vector<std::pair<const char*, int>> LiveCounts()
{
    auto counts = scene_test::scene_live_counts();
    counts.push_back({"scene views", scene_view::live});
    return counts;
}

// Replaces every occurrence of `from` by `to` (same length) in a file.
void Damage(const std::filesystem::path& path, const std::string& from, const std::string& to)
{
    ASSERT_EQ(from.size(), to.size());
    std::string bytes = race_test::ReadText(path);
    std::size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << path;
    for (; at != std::string::npos; at = bytes.find(from, at + to.size()))
        bytes.replace(at, from.size(), to);
    race_test::WriteText(path, bytes);
}

class Race3d : public race_test::Race3dWindowFixture {
protected:
    void SetUp() override
    {
        Race3dWindowFixture::SetUp();
        before_ = LiveCounts();
    }
    void TearDown() override
    {
        race.reset();
        EXPECT_EQ(current_engine, nullptr) << "the race left its engine context current";
        Race3dWindowFixture::TearDown();
    }

    void ExpectCountsBack()
    {
        const auto after = LiveCounts();
        for (std::size_t i = 0; i < before_.size(); ++i)
            EXPECT_EQ(after[i].second, before_[i].second) << after[i].first;
    }

    std::vector<std::pair<const char*, int>> before_;
};

class Race3dPaths : public Race3d, public ::testing::WithParamInterface<int> {};

std::string PathName(const ::testing::TestParamInfo<int>& info)
{
    return info.param == kHardware ? "Device3d" : "Rasteriser";
}

// ---- Loading and release ----

TEST_P(Race3dPaths, LoadsEveryGroupAndInstanceAndFreesThemAll)
{
    Open(GetParam());
    Header("Sugo", 4, 4);
    app.GfxFlags = kGfxFlagAmbient;
    Start();
    ASSERT_NE(race->Data3d(), nullptr);
    Race3dData& d = D();
    const bool software = GetParam() == kSoftware;

    EXPECT_EQ(race->m_bHardwareDevice, !software);
    ASSERT_TRUE(d.Track);
    EXPECT_FALSE(d.Track->model_libs.empty());
    for (RaceLibraryGroup* group : {&d.Back, &d.Bikes, &d.Riders, &d.Shadows, &d.DynShadows})
        EXPECT_TRUE(group->Loaded() && group->Materials && group->Anims);
    EXPECT_FALSE(d.Arches.Loaded()) << "arches are for practice only";
    EXPECT_NE(d.Sky, nullptr);
    EXPECT_NE(d.LightInstance, nullptr);
    EXPECT_EQ(race->m_Camera.m_pSky, d.Sky);

    // The materials by device: the level-0 file at the head of the chain's
    // end, the detail levels' file before it.
    const std::string level0 = software ? ".mtp" : ".mtt";
    const std::string levels = software ? ".mlp" : ".mlt";
    for (RaceLibraryGroup* group : {&d.Bikes, &d.Riders}) {
        ASSERT_TRUE(group->Materials->next);
        EXPECT_TRUE(EndsWith(group->Materials->path, level0)) << group->Materials->path;
        EXPECT_TRUE(EndsWith(group->Materials->next->path, levels)) << group->Materials->next->path;
    }
    EXPECT_TRUE(EndsWith(d.Shadows.Materials->path, level0));
    EXPECT_TRUE(EndsWith(d.Back.Materials->path, level0));
    EXPECT_EQ(d.Engine->render_type, software ? engine::software_render_type : 2);

    for (int model = 0; model < kBikeModelCount; ++model) {
        EXPECT_NE(d.Cockpit3d[model], nullptr);
        EXPECT_NE(d.Cockpit2d[model], nullptr);
        EXPECT_NE(d.Needle3d[model], nullptr);
        EXPECT_GT(d.Needles[model].maxRpm, 0);
    }
    EXPECT_NE(d.Handlebars, nullptr);
    EXPECT_NE(d.Head, nullptr);
    EXPECT_TRUE(app.GfxFlags & 0x100);
    for (int i = 0; i < 4; ++i) {
        const Bike& b = bike(i);
        EXPECT_NE(b.BikeInstance, nullptr);
        EXPECT_NE(b.RiderInstance, nullptr);
        EXPECT_NE(b.ShadowInstance, nullptr);
        EXPECT_EQ(b.RiderShadowInstance, nullptr) << "no dynamic shadows without \"Photoreal\"";
        EXPECT_EQ(b.BikeInstance->pair, b.RiderInstance);
        for (const WheelAssembly* w : {&b.FrontWheel, &b.RearWheel})
            EXPECT_TRUE(w->PivotNode && w->SuspensionNode && w->WheelNode);
        EXPECT_NE(d.Bikes3d[i].Vista, nullptr);
        EXPECT_NE(d.Bikes3d[i].Head, nullptr);
    }
    // "Ambient": every skid mark and particle has its instance.
    for (int k = 0; k < kSmokeKinds; ++k)
        EXPECT_NE(race->m_Smoke.Particle(k, kParticlesPerKind - 1).Instance, nullptr);
    EXPECT_NE(race->m_Smoke.SkidInstance(kSkidMarks - 1), nullptr);

    // A few frames run and draw, lit by the scene's light.
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_NE(std::find(d.View->lights.begin(), d.View->lights.end(), &d.Light), d.View->lights.end());
    EXPECT_TRUE(Boxes().empty());

    race.reset();
    ExpectCountsBack();
}

INSTANTIATE_TEST_SUITE_P(BothPaths, Race3dPaths, ::testing::Values(kHardware, kSoftware), PathName);

TEST_F(Race3d, SkyAndParticlesFollowTheirSettings)
{
    Open(kSoftware);
    Header("Sugo", 4, 2);
    app.GfxFlags = kGfxFlagNoSky;
    Start();
    EXPECT_EQ(D().Sky, nullptr);
    EXPECT_FALSE(D().Back.Loaded());
    EXPECT_EQ(race->m_Camera.m_pSky, nullptr);
    for (int k = 0; k < kSmokeKinds; ++k)
        EXPECT_EQ(race->m_Smoke.Particle(k, 0).Instance, nullptr) << "\"Ambient\" off makes no particles";
    EXPECT_EQ(race->m_Smoke.SkidInstance(0), nullptr);
    Frame();
}

TEST_F(Race3d, PracticeShowsItsArches)
{
    Open(kSoftware);
    Header("Sugo", 0, 1);
    Start();
    ASSERT_FALSE(race->m_Arches.empty());
    EXPECT_TRUE(D().Arches.Loaded());
    for (const PracticeArch& arch : race->m_Arches) {
        ASSERT_NE(arch.Instance, nullptr);
        EXPECT_FLOAT_EQ(arch.Instance->position.x, arch.Position[0]);
    }
    race.reset();
    ExpectCountsBack();
}

// A missing or damaged kit file fails the load with the text of the step.
TEST_F(Race3d, AMissingFileModelOrNodeFailsTheLoadWithItsText)
{
    struct Case {
        const char* file;      // under the data folder
        const char* from;      // bytes to damage (empty: delete the file)
        const char* to;
        const char* message;
    };
    const Case cases[] = {
        {"Gfx/Bikes/Riders.mdl", "", "", "open_lib_file"},
        {"Gfx/Bikes/Shadow.mtp", "", "", "open_lib_file"},
        {"Gfx/Bikes/dynombra.anm", "", "", "open_lib_file"},
        {"Gfx/Bikes/Riders.mdl", "HANDLEBARS", "HANDLEBARZ", "get handlebar model"},
        {"Gfx/Bikes/Riders.mdl", "AXX_RIDER", "AXX_RIDEZ", "add rider model"},
        {"Gfx/Bikes/Riders.mdl", "VISTA", "VISTB", "get vista model"},
        {"Gfx/Bikes/Bikes.mdl", "FRONT_SUSP", "FRONT_SUSQ", "get front susp model"},
        {"Gfx/Bikes/Bikes.mdl", "REAR_WHEEL", "REAR_WHEEX", "get rear wheel model"},
        {"Gfx/Bikes/Shadow.mdl", "Shadow", "Shadox", "add_model"},
    };
    Open(kSoftware);
    // The loose files only: a file missing on disk would be read from its
    // folder's archive.
    std::filesystem::remove(dir() / "Gfx/Bikes.mix");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.from);
        const std::filesystem::path path = dir() / c.file;
        const std::string kept = race_test::ReadText(path);
        if (*c.from)
            Damage(path, c.from, c.to);
        else
            std::filesystem::remove(path);
        platform::clear_recorded_message_boxes();
        Header("Sugo", 4, 2);
        EXPECT_FALSE(Load());
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].text, c.message);
        race.reset();
        ExpectCountsBack();
        race_test::WriteText(path, kept);
    }
}

TEST_F(Race3d, SuspendAndResumeReloadEverythingAndTheRaceGoesOn)
{
    Open(kSoftware);
    Header("Sugo", 4, 4);
    app.GfxFlags = kGfxFlagAmbient;
    Start();
    for (int i = 0; i < 20; ++i)
        Frame();
    const int viewed = race->m_nViewedRider;
    const RiderOrder standings = race->m_StandingOrder;
    const auto loaded = LiveCounts();

    race->Suspend();
    EXPECT_EQ(race->Data3d(), nullptr);
    EXPECT_FALSE(race->Has3d());
    EXPECT_EQ(current_engine, nullptr);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bike(i).BikeInstance, nullptr);
    EXPECT_EQ(race->m_Smoke.SkidInstance(0), nullptr);
    ExpectCountsBack();

    race->Resume();
    ASSERT_NE(race->Data3d(), nullptr);
    EXPECT_TRUE(race->Has3d());
    EXPECT_TRUE(D().Bikes.Loaded() && D().DynShadows.Loaded() && D().Sky);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(bike(i).BikeInstance, nullptr);
    EXPECT_NE(race->m_Smoke.SkidInstance(0), nullptr);
    EXPECT_EQ(race->RiderCount(), 4);
    EXPECT_EQ(race->m_nViewedRider, viewed);
    EXPECT_EQ(race->m_StandingOrder, standings);
    const auto reloaded = LiveCounts();
    for (std::size_t i = 0; i < loaded.size(); ++i)
        EXPECT_EQ(reloaded[i].second, loaded[i].second) << reloaded[i].first;
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_TRUE(Boxes().empty());
}

// ---- Bike models ----

TEST_F(Race3d, BikesOfOneModelShareItAndOnlyTheFirstAddsTheRider)
{
    Open(kSoftware);
    Header("Sugo", 4, 16);
    Start();
    std::set<int> models;
    for (int i = 0; i < 16; ++i)
        models.insert(bike(i).GridEntry->Model);
    ASSERT_LT(models.size(), 16u) << "the demo grid has models shared by several bikes";
    // The cockpits (two per model) and one model per bike model in use.
    EXPECT_EQ(D().Bikes.Models->model_count, 2 * kBikeModelCount + static_cast<int>(models.size()));
    // The rider and the handlebars.
    EXPECT_EQ(D().Riders.Models->model_count, 2);
    for (int i = 1; i < 16; ++i)
        EXPECT_NE(bike(i).BikeInstance, bike(0).BikeInstance);
}

TEST_F(Race3d, ShadowsByWeatherAndPhotoreal)
{
    struct Case {
        int weather;
        bool dynamic;
        const char* shadow;
    };
    const Case cases[] = {{0, false, "Shadow"}, {1, false, "Shadowp"}, {2, false, "Shadowp"}, {0, true, "OMB"}, {1, true, "Shadowp"}};
    Open(kSoftware);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.weather) + (c.dynamic ? " photoreal" : ""));
        Header("Sugo", 4, 2);
        app.m_nWeather = c.weather;
        app.GfxFlags = c.dynamic ? kGfxFlagPhotoreal : 0;
        Start();
        const Bike& b = bike(0);
        ASSERT_NE(b.ShadowInstance, nullptr);
        EXPECT_NE(std::string(b.ShadowInstance->name).find(c.shadow), std::string::npos) << b.ShadowInstance->name;
        EXPECT_EQ(b.RiderShadowInstance != nullptr, std::string(c.shadow) == "OMB");
        Frame();
        race.reset();
        ExpectCountsBack();
    }
}

TEST(RiderLean, AControlOfZeroIsTheMiddleOfTheBlendWhateverTheFactor)
{
    for (float s : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f}) {
        EXPECT_FLOAT_EQ(RiderLeanValue(s, 0.0f), 0.5f) << s;
        EXPECT_NEAR(RiderLeanValue(s, 1.0f), 1.0f, 1e-6f) << s;
        EXPECT_NEAR(RiderLeanValue(s, -1.0f), 0.0f, 1e-6f) << s;
        EXPECT_NEAR(RiderLeanValue(s, 0.3f) + RiderLeanValue(s, -0.3f), 1.0f, 1e-6f) << s;
    }
    // A factor of 0 bends the curve most: a small control leans far.
    EXPECT_GT(RiderLeanValue(0.0f, 0.2f), RiderLeanValue(1.0f, 0.2f) + 0.1f);
    EXPECT_FLOAT_EQ(FarRiderLeanValue(0.0f), 0.5f);
    EXPECT_FLOAT_EQ(FarRiderLeanValue(10.0f), 1.0f);
    EXPECT_FLOAT_EQ(FarRiderLeanValue(-10.0f), -1.0f);
}

TEST(RiderLean, AnimationNamesHashTheirWholeFieldPadded)
{
    // A name that fills its 32-byte field has no terminator of its own.
    char field[32];
    std::memset(field, 'A', sizeof field);
    char terminated[33] = {};
    std::memcpy(terminated, field, sizeof field);
    std::string longer(40, 'A');
    EXPECT_EQ(AnimNameHash(field), name_hash(terminated));
    EXPECT_EQ(AnimNameHash(longer.c_str()), name_hash(terminated));
    EXPECT_EQ(AnimNameHash("CURVING"), name_hash("CURVING"));
}

TEST_F(Race3d, TheViewedRiderBlendsItsLeanThroughCurving)
{
    Open(kSoftware);
    Header("Sugo", 4, 2);
    Start();
    Bike& b = *race->ViewedBike();
    b.RiderState = kRiderRiding;
    b.Posture = 0.5f;
    b.RideValue = 0.0f;
    UpdateModel(*race, b);
    ml_modelinfo& rider = *b.RiderInstance;
    ASSERT_NE(rider.trans_link, nullptr);
    EXPECT_EQ(rider.current_anim, rider.trans_link);
    EXPECT_EQ(rider.trans_link->name_hash, AnimNameHash(kCurvingTransition));
    EXPECT_EQ(rider.trans_from, CurrentRaceContext().RiderStates->RiderHash[kRideUprightRecord]);
    EXPECT_EQ(rider.trans_to, CurrentRaceContext().RiderStates->RiderHash[kRideLeanRecord]);
    // The viewed rider is posed at once and not again by the view.
    EXPECT_EQ(rider.anim_time, -1.0f);
    const Vec3 eye = D().Bikes3d[b.Index].Eye;
    EXPECT_NEAR(eye.x, b.Position.x, 2.0f);
    EXPECT_GT(eye.y, b.Position.y + 0.5f);

    // The wheels' nodes follow their assemblies, the viewed model's needles
    // its revs (the 2D cockpit's the other way round), its cockpit and
    // handlebars its place.
    b.Rpm = 6000.0f;
    b.FrontWheel.SpinAngle = 1.25f;
    UpdateModel(*race, b);
    EXPECT_FLOAT_EQ(b.FrontWheel.WheelNode->angles.x, 1.25f);
    const int model = b.GridEntry->Model;
    const float needle = CockpitNeedleAngle(D().Needles[model], 6000.0f);
    EXPECT_GT(needle, 0.0f);
    EXPECT_FLOAT_EQ(D().Needle3d[model]->angles.z, needle);
    EXPECT_FLOAT_EQ(D().Needle2d[model]->angles.z, -needle);
    EXPECT_EQ(D().Cockpit3d[model]->ext_matrix, b.BikeInstance->ext_matrix);
    EXPECT_EQ(D().Handlebars->position.x, b.BikeInstance->position.x);

    // Upright and full lean play their own animations.
    b.Posture = 0.0f;
    UpdateModel(*race, b);
    EXPECT_EQ(rider.current_anim->name_hash, CurrentRaceContext().RiderStates->RiderHash[kRideUprightRecord]);
    b.Posture = 1.0f;
    UpdateModel(*race, b);
    EXPECT_EQ(rider.current_anim->name_hash, CurrentRaceContext().RiderStates->RiderHash[kRideLeanRecord]);

    // An animation the rider does not have is not made current.
    RaceHooks* hooks = CurrentRaceContext().Hooks;
    hooks->SetAnimation(&rider, name_hash("NO_SUCH_ANIMATION"));
    EXPECT_EQ(rider.current_anim->name_hash, CurrentRaceContext().RiderStates->RiderHash[kRideLeanRecord]);
}

// ---- A drawn frame ----

// The demo scene's objects that shade what is under them (faces the sun
// does not reach) are marked as ground when the race loads: the start
// gantry is, the road is not. Ridden from the grid through the start line
// with the onboard camera, the viewed bike's 3D cockpit (the one instance
// that casts a shadow) finds that ground while it passes under the gantry's
// beam, and is then lit at half its light; before the line and well past
// it, it is in the open.
TEST_F(Race3d, TheCockpitIsShadedWhileItPassesUnderTheStartGantry)
{
    Open(kHardware);
    Header("Island", 4, 2);
    app.Camera = kCameraOnboard;
    Start();
    Race3dData& d = D();
    ml_modelinfo* gantry = d.Track->find_model(name_hash("START_GANTRY"));
    ASSERT_NE(gantry, nullptr);
    EXPECT_TRUE(gantry->flags & scene_ground_object);
    int marked = 0, models = 0;
    for (auto& lib : d.Track->model_libs)
        for (ml_modelinfo* m = lib->models; m; m = m->next, ++models)
            marked += (m->flags & scene_ground_object) != 0;
    EXPECT_GT(marked, 0);
    EXPECT_LT(marked, models) << "the road and the verges shade nothing";

    PressKey(0x01); // Escape: the start sequence skipped
    Frame();
    ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 400));
    ml_modelinfo* cockpit = nullptr;
    for (ml_modelinfo* c : d.Cockpit3d)
        if (c && (c->flags & model_active))
            cockpit = c;
    ASSERT_NE(cockpit, nullptr) << "no 3D cockpit shown in the onboard view";
    ASSERT_TRUE(cockpit->shadow_flag);
    // The gantry stands where its root is in the world.
    const vec4 at{gantry->first_node->world.m[3][0], 0.0f, gantry->first_node->world.m[3][2], 1.0f};
    const auto from_gantry = [&] { return std::hypot(cockpit->position.x - at.x, cockpit->position.z - at.z); };
    int shaded = 0, open_far = 0;
    bool passed = false;
    for (int i = 0; i < 600 && !(passed && from_gantry() > 40.0f); ++i) {
        Frame(10);
        const float far = from_gantry();
        if (cockpit->ground_factor == 0.5f) {
            ++shaded;
            EXPECT_LT(far, 3.0f) << "shaded away from the gantry, frame " << i;
            EXPECT_EQ(cockpit->ground_instance, gantry);
            passed = true;
        } else {
            EXPECT_EQ(cockpit->ground_factor, 1.0f);
            open_far += far > 5.0f;
        }
    }
    EXPECT_GT(shaded, 0) << "the cockpit never passed under the gantry";
    EXPECT_GT(open_far, 0);
    EXPECT_TRUE(Boxes().empty());
}

class Race3dFrame : public Race3d, public ::testing::WithParamInterface<int> {};

TEST_P(Race3dFrame, SixteenRidersOnIslandShortlyAfterTheStart)
{
    Open(GetParam());
    Header("Island", 4, 16);
    app.GfxFlags = kGfxFlagAmbient;
    app.Camera = kCameraTelevision;
    Start();
    // The start sequence skipped; the race under way for two seconds, each
    // frame drawn as the run loop draws it.
    const auto frame = [&](std::uint32_t ms) {
        device_.clear_zbuffer();
        Frame(ms);
    };
    PressKey(0x01); // Escape
    frame(20);
    for (int i = 0; i < 400 && !(flags() & kRaceRacing); ++i)
        frame(20);
    ASSERT_TRUE(flags() & kRaceRacing);
    for (int i = 0; i < 100; ++i)
        frame(20);
    device_.clear_zbuffer();
    race->Draw();
    race->DrawOverlay();
    const torvane_test::PngImage image = Picture();
    // TORVANE_FRAME_DIR=<folder> keeps the frame as a picture to look at.
    if (const char* folder = std::getenv("TORVANE_FRAME_DIR")) {
        const std::string name =
            std::string(folder) + "/race3d_" + (GetParam() == kHardware ? "device" : "rasteriser") + ".png";
        std::string error;
        EXPECT_TRUE(torvane_test::write_png(name, image, &error)) << error;
    }

    // Not one colour: the track, the sky and the bikes are drawn.
    std::set<std::uint32_t> colours;
    for (std::size_t p = 0; p < image.pixels.size(); p += 3)
        colours.insert(image.pixels[p] << 16 | image.pixels[p + 1] << 8 | image.pixels[p + 2]);
    EXPECT_GT(colours.size(), 20u);
    const Race3dData& d = D();
    EXPECT_GT(d.View->meshes_drawn, 10u);
    // The sky dome is among the instances drawn, every bike and rider is
    // listed, and the viewed bike is in front of the camera.
    int bikes = 0;
    bool sky = false;
    for (ml_modelinfo* const* v = d.View->visible; *v; ++v) {
        sky = sky || *v == d.Sky;
        bikes += std::string((*v)->name).rfind("AXX_", 0) == 0 && std::string((*v)->name) != "AXX_RIDER";
    }
    EXPECT_TRUE(sky);
    EXPECT_GT(bikes, 0);
    EXPECT_TRUE(Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(BothPaths, Race3dFrame, ::testing::Values(kHardware, kSoftware), PathName);

} // namespace
