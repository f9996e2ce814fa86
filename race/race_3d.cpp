#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/typed_list.h"
#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/base/shade_table.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/lens_flare.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/cloth.h"
#include "engine/scene/ground_under.h"
#include "engine/scene/lights.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "race/bike_models.h"
#include "race/race.h"
#include "race/race_3d_data.h"
#include "sim/race_context.h"

// The race's 3D data and display: Load3d loads the track's scene, the sky,
// the light, the bike, rider, shadow, particle and arch libraries, the
// cockpits and every bike's instances into the race's own engine context;
// Release3d frees them; InitDisplay starts the renderer for the race. A race
// without a renderer (headless) reads the track's scene record only and runs
// the same.

namespace {

// Graphics flag the race sets while its bikes have cockpits.
constexpr std::uint32_t kGfxFlagRiders = 0x100;

// Model flags of the track's libraries and the sky: flag 2 cleared, 0x10 set.
constexpr std::uint32_t kTrackModelFlagCleared = 0x2;
constexpr std::uint32_t kTrackModelFlagSet = 0x10;
// The sky instance: flags 2 and 0x10 cleared; its meshes' parameter.
constexpr std::uint32_t kSkyFlagsCleared = 0x2 | 0x10;
constexpr float kSkyMeshParam = -115.0f;
constexpr float kSkyScale = 0.8f;
// The scene light: directional, reaching everything.
constexpr std::int32_t kSceneLightType = 3;
constexpr float kSceneLightRange = 100000000.0f;
// The 2D cockpit's needle is drawn over the dial.
constexpr float kNeedlePriority = 20.0f;
// Most keys a scale list gives.
constexpr int kMaxScaleKeys = 32;
// The scene view's near plane.
constexpr float kNearPlane = -0.001f;
// Load flag of the race's models: every node of the full kind (the race
// reads their world matrices: wheels, eye point, needles).
constexpr int kFullNodes = 1;

const render_device* ReadyRenderer()
{
    const render_device* device = installed_render_device();
    return device && device->ready ? device : nullptr;
}

bool Software()
{
    const render_device* device = ReadyRenderer();
    return !device || device->render_type == kRenderSoftware;
}

const char* MaterialExtension()
{
    return Software() ? ".mtp" : ".mtt";
}

const char* DetailMaterialExtension()
{
    return Software() ? ".mlp" : ".mlt";
}

// Failure texts of the libraries.
constexpr const char* kOpenFailed = "open_lib_file";
constexpr const char* kAddModelFailed = "add_model";
constexpr const char* kGetModelFailed = "get_model";

// Opens the three files of a library set "<base><ext>" and loads every
// material and animation; the models are added by name (AddModel). A member
// that cannot be made throws its name; a file that cannot be read throws
// "open_lib_file" (the path goes to the error output).
void OpenGroup(RaceLibraryGroup& group, const std::string& base, const char* const* materialExtensions,
               int materialFiles, const char* memberPrefix)
{
    const std::string prefix = memberPrefix;
    try {
        group.Models = std::make_unique<model_lib>(base.c_str());
    } catch (const std::bad_alloc&) {
        throw GameError(prefix + "ModelLib");
    }
    const std::string mdl = base + ".mdl";
    if (group.Models->try_open(mdl.c_str()) != mdl_status::ok) {
        std::fprintf(stderr, "Race: the model library \"%s\" cannot be read\n", mdl.c_str());
        throw GameError(kOpenFailed);
    }
    const int kind = Software() ? material_kind_atlas : material_kind_surface;
    for (int i = 0; i < materialFiles; ++i) {
        const std::string path = base + materialExtensions[i];
        mtr_lib* lib = nullptr;
        try {
            lib = new mtr_lib(path.c_str());
        } catch (const std::bad_alloc&) {
            throw GameError(prefix + "MaterialLib");
        }
        // Chained at once: the group frees whatever it holds.
        lib->next = group.Materials;
        group.Materials = lib;
        if (lib->try_open(path.c_str()) != mtt_status::ok || lib->try_add_all_materials(kind, 0, 0) != mtt_status::ok) {
            std::fprintf(stderr, "Race: the material library \"%s\" cannot be read\n", path.c_str());
            throw GameError(kOpenFailed);
        }
    }
    try {
        group.Anims = std::make_unique<anim_lib>(base.c_str());
    } catch (const std::bad_alloc&) {
        throw GameError(prefix + "AnimLib");
    }
    const std::string anm = base + ".anm";
    if (group.Anims->try_open(anm.c_str()) != anm_status::ok || group.Anims->try_load_all() != anm_status::ok) {
        std::fprintf(stderr, "Race: the animation library \"%s\" cannot be read\n", anm.c_str());
        throw GameError(kOpenFailed);
    }
}

// Loads a model of the set's file; "add_model" (or `failure`) when it is
// not there or cannot be read.
void AddModel(RaceLibraryGroup& group, const char* name, const char* failure = kAddModelFailed)
{
    if (group.Models->try_load_model(name, kFullNodes) != mdl_status::ok) {
        std::fprintf(stderr, "Race: the model \"%s\" of \"%s\" cannot be loaded\n", name, group.Models->path.c_str());
        throw GameError(failure);
    }
    group.Models->link_anims(group.Anims.get());
}

// A curve of the (time, value, slope) triples of a list of
// "Data\Details.dat", each a key with equal in- and out-slope; null when the
// list is missing.
fcurve* ScaleCurve(const char* list)
{
    float triples[kMaxScaleKeys][3];
    const int count = ReadTypedList(kDetailsFile, list, triples, static_cast<int>(sizeof triples[0]),
                                    static_cast<int>(sizeof triples[0]), kMaxScaleKeys);
    if (count <= 0)
        return nullptr;
    anm_curve keys;
    keys.interp = fcurve_interp_cubic;
    for (int k = 0; k < count; ++k) {
        // Keys must follow in time; a key that does not is left out.
        if (!keys.keys.empty() && !(triples[k][0] > keys.keys.back().time))
            continue;
        keys.keys.push_back(anm_key{triples[k][0], triples[k][1], triples[k][2], triples[k][2]});
    }
    fcurve* curve = anm_build_curve(keys);
    return curve;
}

void DeleteCurve(fcurve*& curve)
{
    delete curve;
    curve = nullptr;
}

std::string DataPath(const char* format, const char* name)
{
    char path[300];
    std::snprintf(path, sizeof path, format, TheGameApp().CDTrack, name);
    return path;
}

// Scales an instance to `s` on every axis, its first node's bounding value
// with it.
void ScaleInstance(ml_modelinfo& instance, float s)
{
    const vec4 old = instance.scale;
    const float oldLength = std::sqrt(old.x * old.x + old.y * old.y + old.z * old.z);
    instance.scale = {s, s, s, old.w};
    const float newLength = std::sqrt(3.0f * s * s);
    if (instance.first_node && oldLength > 0.0f)
        instance.first_node->radius *= newLength / oldLength;
    instance.clear_flags(model_transforms_valid);
}

} // namespace

// ---- The library sets and the data record ----

RaceLibraryGroup::RaceLibraryGroup() = default;

RaceLibraryGroup::~RaceLibraryGroup()
{
    Release();
}

void RaceLibraryGroup::Release()
{
    // The models first: their instances hold links into the animations and
    // references to the materials.
    Models.reset();
    Anims.reset();
    while (Materials) {
        mtr_lib* next = Materials->next;
        delete Materials;
        Materials = next;
    }
}

Race3dData::Race3dData() = default;
Race3dData::~Race3dData() = default;

void Race3dDataDeleter::operator()(Race3dData* data) const
{
    delete data;
}

bool Race::RendersOnHardware()
{
    return ReadyRenderer() && !Software();
}

// ---- Engine context, camera and view ----

void Race::CreateView()
{
    m_bViewCreated = true;
    if (!ReadyRenderer() || m_p3d)
        return;
    GameApp& app = TheGameApp();
    m_p3d.reset(new Race3dData);
    Race3dData& d = *m_p3d;
    d.PreviousEngine = current_engine;
    d.Engine = std::make_unique<engine>();
    current_engine = d.Engine.get();
    d.Engine->grid_culling = app.GfxFlags & kGfxFlagEscluder;
    d.Engine->option_byte = static_cast<std::uint8_t>(m_uEngineOption);
    d.Camera = std::make_unique<camera>();
    const int width = app.HRes > 0 ? app.HRes : 640;
    const int height = app.VRes > 0 ? app.VRes : 480;
    d.View = std::make_unique<scene_view>(nullptr, nullptr, 0, d.Camera.get(), 0, 0, width, height);
    d.Engine->view = d.View.get();
    // The scene view draws its meshes through the mesh drawing's hooks, and
    // finds the ground under its shadowed instances through the scene's;
    // the models loaded from here on bind their cloths.
    install_mesh_draw_hooks();
    install_ground_under_hook();
    install_cloth_setup();
}

void Race::DestroyView()
{
    m_bViewCreated = false;
    if (!m_p3d)
        return;
    Race3dData& d = *m_p3d;
    // The curves come from the context's pools: they go before it.
    DeleteCurve(d.SkyScale);
    DeleteCurve(d.DetailCurve);
    DeleteCurve(d.DepthCurve);
    d.View.reset();
    d.Camera.reset();
    engine* previous = d.PreviousEngine;
    if (current_engine == d.Engine.get())
        current_engine = nullptr;
    d.Engine.reset();
    m_p3d.reset();
    if (!current_engine)
        current_engine = previous;
}

// ---- Loading ----

bool Race::Load3d()
{
    CreateView();
    char name[64];
    const char* weather = m_nWeather >= 0 && m_nWeather < 3 ? kWeatherSuffixes[m_nWeather] : "";
    std::snprintf(name, sizeof name, "%s%s%s", m_szTrackName, weather,
                  m_bHardwareDevice ? kHardwareSuffix : kSoftwareSuffix);
    TrackSceneRecord record;
    if (ReadTypedList(kDetailsFile, name, &record, sizeof record, sizeof record, 1) == 0)
        ThrowGameError("Track scene details not found: %s", name);
    m_TrackScene = record;
    // From here on, what is loaded is freed by Release3d whatever fails.
    LiveFlags() |= kRace3dLoaded;

    if (m_p3d) {
        Race3dData& d = *m_p3d;
        current_engine = d.Engine.get();
        d.Engine->set_render_type(Software() ? engine::software_render_type : 2);
        LoadTrackScene();
        if (!(m_uGfxFlags & kGfxFlagNoSky))
            LoadSky();
        const render_device* device = ReadyRenderer();
        const GameApp& app = TheGameApp();
        if (app.HRes > 320)
            rast_set_globals(32, 16, 0);
        else
            rast_set_globals(16, 8, 1);
        d.Fog = m_TrackScene.FogSwitch > 0.5f && (m_uGfxFlags & kGfxFlagPhotoreal);
        d.Darkline = (m_uGfxFlags & kGfxFlagDarkline) != 0;
        if (device && !Software()) {
            // The device's fog follows the scene's fog option: with the
            // option off nothing is fogged.
            render_device& renderer = *installed_render_device();
            const float* c = m_TrackScene.FogColour;
            renderer.set_fog(d.Fog ? 0x100 : 0, c[0], c[1], c[2]);
            renderer.make_fog_table(m_TrackScene.FogStart, m_TrackScene.FogEnd,
                                    -static_cast<float>(app.ZClipping));
        }
        d.Engine->set_factors(m_TrackScene.EngineFactor, 0.5f);
        // The scene's objects that shade what is under them get their ground
        // flag (the ground search under the 3D cockpit and the lens flare's
        // look for it).
        d.Track->mark_objects(static_cast<float>(m_TrackScene.MarkKeys[0]),
                              static_cast<float>(m_TrackScene.MarkKeys[1]));
        LoadLight();
        LoadLibraries();
    }
    if (m_nSessionType == kSessionPractice)
        AiCreateArches(*this);
    if (m_p3d && RiderCount() > 0)
        LoadCockpits();
    if (m_uGfxFlags & kGfxFlagSound)
        LoadSounds();
    return true;
}

// The track's palette: the screen's palette, then the rasteriser's shade
// table. The order matters on a 16-bit screen, where the shade table is
// converted through the palette loaded last: read first, it took the
// colours of the palette before (the menus'), and the whole race showed
// wrong colours.
void Race::LoadTrackPalette()
{
    const std::string palette = DataPath("%sGfx\\Tracks\\%s", m_szTrackName) + ".pal";
    if (render_device* renderer = installed_render_device())
        renderer->load_palette(palette.c_str());
    load_shade_table(palette.c_str());
}

void Race::LoadTrackScene()
{
    Race3dData& d = *m_p3d;
    const std::string base = DataPath("%sGfx\\Tracks\\%s", m_szTrackName);
    if (Software())
        LoadTrackPalette();
    d.Track = std::make_unique<scene>();
    d.Engine->set_threshold(m_TrackScene.HeightThreshold);
    const int detail = m_nSessionType == 0 ? 0 : (m_nSessionType <= 2 ? 1 : 2);
    d.Track->load(base.c_str(), Software() ? scene::material_kind_mtp : scene::material_kind_mtt, 0, detail);
    d.View->world = d.Track.get();
    d.StartLights = d.Track->find_model(name_hash("AFA_SEMAFORO"));
    if (d.StartLights)
        d.StartLights->set_material_set(0);
    for (auto& lib : d.Track->model_libs) {
        lib->set_lod_table(m_TrackDetail);
        lib->clear_flags(kTrackModelFlagCleared);
        lib->set_flags(kTrackModelFlagSet);
    }
}

void Race::LoadSky()
{
    Race3dData& d = *m_p3d;
    char shortName[4] = {};
    std::snprintf(shortName, sizeof shortName, "%s", m_szTrackName);
    const std::string base =
        DataPath(m_nWeather == 0 ? "%sGfx\\Tracks\\%s_skys" : "%sGfx\\Tracks\\%s_skyr", shortName);
    const char* materials[1] = {MaterialExtension()};
    OpenGroup(d.Back, base, materials, 1, "m_lpclBack");
    AddModel(d.Back, "Back");
    ml_modelinfo* sky = d.Back.Models->create_instance("Back", d.Back.Materials, 0);
    if (!sky)
        throw GameError(kGetModelFailed);
    d.Sky = sky;
    d.View->add_instance(sky);
    sky->clear_flags(kSkyFlagsCleared);
    ScaleInstance(*sky, kSkyScale * static_cast<float>(TheGameApp().ZClipping));
    sky->set_mesh_param(kSkyMeshParam);
    d.SkyScale = ScaleCurve("BACKGROUND_SCALE");
    m_Camera.m_pSky = sky;
}

void Race::LoadLight()
{
    Race3dData& d = *m_p3d;
    const float* p = m_TrackScene.LightPosition;
    const float* c = m_TrackScene.LightColour;
    light_set(d.Light, kSceneLightType, c[0], c[1], c[2], kSceneLightRange, 0.0f, 0.0f);
    // The light's own range field, which its model takes as the radius of
    // its nodes: with a radius of 0 the light model is seen only while its
    // point (one metre from the origin) is in view, and the scene is unlit.
    d.Light.range = kSceneLightRange;
    const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const float k = length > 0.0f ? 1.0f / length : 0.0f;
    d.Light.world_position = {p[0] * k, p[1] * k, p[2] * k, 1.0f};
    d.Light.position = d.Light.world_position;
    // The sun lies in the light's direction; a light at the origin has none.
    d.SunWorld = {p[0] * k, p[1] * k, p[2] * k, 0.0f};
    d.SunView = d.SunWorld;
    d.Engine->sun = length > 0.0f && std::isfinite(k) ? &d.SunView : nullptr;
    d.LightInstance = model_lib::make_simple_model(&d.Light);
    if (!d.LightInstance)
        throw GameError(kGetModelFailed);
    d.LightInstance->set_position(p[0] * k, p[1] * k, p[2] * k, 1.0f);
    d.View->add_instance(d.LightInstance);
}

void Race::LoadLibraries()
{
    Race3dData& d = *m_p3d;
    const char* both[2] = {DetailMaterialExtension(), MaterialExtension()};
    const char* one[1] = {MaterialExtension()};
    OpenGroup(d.Bikes, "Gfx\\Bikes\\Bikes", both, 2, "m_lpclBikes");
    OpenGroup(d.Riders, "Gfx\\Bikes\\Riders", both, 2, "m_lpclRiders");
    OpenGroup(d.Shadows, "Gfx\\Bikes\\Shadow", one, 1, "m_lpclShadow");
    AddModel(d.Shadows, m_nWeather == 0 ? "Shadow" : "Shadowp");
    OpenGroup(d.DynShadows, "Gfx\\Bikes\\dynombra", one, 1, "m_lpclDynombra");
    if (d.DynShadows.Models->try_load_all(kFullNodes) != mdl_status::ok)
        throw GameError(kAddModelFailed);
    d.DynShadows.Models->link_anims(d.DynShadows.Anims.get());

    // The skid marks and particles, with "Ambient".
    if (m_uGfxFlags & kGfxFlagAmbient)
        SmokeCreateInstances(*this, *d.DynShadows.Models, d.DynShadows.Materials, d.View.get());

    if (m_nSessionType == kSessionPractice) {
        OpenGroup(d.Arches, "Gfx\\Bikes\\Arc", one, 1, "m_lpclArc");
        AddModel(d.Arches, "Pratice");
    }
}

void Race::LoadCockpits()
{
    Race3dData& d = *m_p3d;
    GameApp& app = TheGameApp();
    app.GfxFlags |= kGfxFlagRiders;
    RaceContext& context = CurrentRaceContext();
    const float priority = m_TrackPriority[0];
    for (int model = 0; model < kBikeModelCount; ++model) {
        const char* modelName = m_BikeModels[model].Maker.ModelName;
        char name2d[48], name3d[48];
        std::snprintf(name2d, sizeof name2d, "AXX_2DCOCK%.31s", modelName);
        std::snprintf(name3d, sizeof name3d, "AXX_COCK%.31s", modelName);
        AddModel(d.Bikes, name2d, "get cockpit model");
        AddModel(d.Bikes, name3d, "get cockpit model");
        ml_modelinfo* cockpit2d = d.Bikes.Models->create_instance(name2d, d.Bikes.Materials, 0);
        ml_modelinfo* cockpit3d = d.Bikes.Models->create_instance(name3d, d.Bikes.Materials, 0);
        if (!cockpit2d || !cockpit3d)
            throw GameError("get cockpit model");
        d.Cockpit2d[model] = cockpit2d;
        d.Cockpit3d[model] = cockpit3d;
        d.View->add_instance(cockpit2d);
        d.View->add_instance(cockpit3d);
        // Hidden until the camera shows the viewed model's.
        cockpit2d->clear_flags(model_active);
        cockpit3d->clear_flags(model_active);
        cockpit2d->set_mesh_param(priority);
        cockpit3d->set_mesh_param(priority);
        const std::uint32_t needle = name_hash("NEEDLE");
        d.Needle2d[model] = FindNode(cockpit2d->first_node, needle);
        d.Needle3d[model] = FindNode(cockpit3d->first_node, needle);
        if (d.Needle2d[model] && d.Needle2d[model]->mesh)
            d.Needle2d[model]->set_mesh_param(priority + kNeedlePriority);
        cockpit3d->enable_shadow();
        // The needle's scale and range from the model's cockpit file; a
        // missing one leaves the needle still.
        CockpitDefinition cockpit;
        std::string why;
        d.Needles[model] = ReadCockpitFile(CockpitFileName(modelName).c_str(), cockpit, why) ? cockpit.needle
                                                                                             : CockpitNeedle{};
        m_Camera.m_pCockpit3d[model] = cockpit3d;
        m_Camera.m_pCockpit2d[model] = cockpit2d;
        context.Cockpit[model][0] = cockpit3d;
        context.Cockpit[model][1] = cockpit2d;
    }
    AddModel(d.Riders, "HANDLEBARS", "get handlebar model");
    d.Handlebars = d.Riders.Models->create_instance("HANDLEBARS", d.Riders.Materials, 0);
    if (!d.Handlebars)
        throw GameError("get handlebar model");
    d.View->add_instance(d.Handlebars);
    d.Handlebars->clear_flags(model_active);
    d.Handlebars->set_mesh_param(priority);
    d.Head = FindNode(d.Handlebars->first_node, name_hash("Head"));
    m_Camera.m_pHandlebars = d.Handlebars;
    context.SharedCockpit = d.Handlebars;

    for (int i = 0; i < RiderCount(); ++i)
        BuildModels(*this, m_pBikes[i]);
}

// ---- Release ----

void Race::ReleaseCockpitsAndBikes()
{
    RaceContext& context = CurrentRaceContext();
    if (context.Models == m_BikeModels) {
        for (auto& model : context.Cockpit)
            for (ml_modelinfo*& cockpit : model)
                cockpit = nullptr;
        context.SharedCockpit = nullptr;
    }
    for (int i = 0; i < RiderCount(); ++i) {
        Bike& bike = m_pBikes[i];
        ReleaseRiderModel(*this, bike);
        bike.BikeInstance = nullptr;
        bike.ShadowInstance = nullptr;
        bike.RiderShadowInstance = nullptr;
        for (WheelAssembly* wheel : {&bike.FrontWheel, &bike.RearWheel})
            wheel->PivotNode = wheel->SuspensionNode = wheel->WheelNode = nullptr;
    }
}

void Race::Release3d()
{
    if (!(LiveFlags() & kRace3dLoaded))
        return;
    m_Camera.Release();
    ReleaseCockpitsAndBikes();
    SmokeReleaseInstances(*this, m_p3d ? m_p3d->View.get() : nullptr);
    for (PracticeArch& arch : m_Arches)
        arch.Instance = nullptr;
    if (m_p3d) {
        Race3dData& d = *m_p3d;
        // The view lists instances of every library: it forgets them all
        // before the libraries free them.
        if (d.View) {
            d.View->instances = nullptr;
            d.View->world = nullptr;
        }
        if (d.Track)
            d.Track->release();
        d.Track.reset();
        d.StartLights = nullptr;
        d.Bikes.Release();
        d.Riders.Release();
        d.Shadows.Release();
        d.DynShadows.Release();
        d.Arches.Release();
        d.Back.Release();
        d.Sky = nullptr;
        delete d.LightInstance;
        d.LightInstance = nullptr;
        d.Flares.reset();
        for (BikeView& view : d.Bikes3d)
            view = BikeView{};
    }
    DestroyView();
    if (m_uGfxFlags & kGfxFlagSound)
        FreeSounds();
    LiveFlags() &= ~kRace3dLoaded;
    // The sound markers stay: they belong to the race for its whole life.
}

// ---- Display ----

int Race::Start3d()
{
    const int result = InitDisplay();
    if (m_p3d && (m_uGfxFlags & kGfxFlagPhotoreal) && !Software()) {
        m_p3d->Flares = std::make_unique<texture_set>(0);
        m_p3d->Flares->load_pcx_series("Gfx\\Lens\\Flare");
    }
    return result;
}

int Race::InitDisplay()
{
    render_device* renderer = installed_render_device();
    if (!m_p3d || !renderer || !renderer->ready)
        return m_Camera.Load(m_szTrackName) ? 1 : 0;
    GameApp& app = TheGameApp();
    Race3dData& d = *m_p3d;
    current_engine = d.Engine.get();
    // The same mode as the front end's keeps the display as it is.
    const int depth = (app.GfxFlags & kGfxFlagFullScreen) ? 32 : 16;
    if (!renderer->init(app.DDrawDriver, app.HRes, app.VRes, depth, app.D3DDriver))
        return 0;
    renderer->upload_textures(app.Shrink);
    renderer->bilinear = (app.GfxFlags & kGfxFlagFilter) ? 1 : 0;
    if (Software())
        LoadTrackPalette();
    OpenTelemetryWindow();

    d.Engine->set_mode_word(static_cast<std::uint32_t>(app.EngineDetails));
    const char* suffix = RendersOnHardware() ? kHardwareSuffix : kSoftwareSuffix;
    char list[48];
    DeleteCurve(d.DetailCurve);
    DeleteCurve(d.DepthCurve);
    std::snprintf(list, sizeof list, "SCALE_DETAILS%s", suffix);
    d.DetailCurve = ScaleCurve(list);
    std::snprintf(list, sizeof list, "SCALE_DEPTH%s", suffix);
    d.DepthCurve = ScaleCurve(list);
    camera& cam = *d.Camera;
    cam.fov_curve = d.DetailCurve;
    cam.range_curve = d.DepthCurve;
    cam.lod_distance = 1.0f;
    cam.far_base = static_cast<float>(app.ZClipping > 0 ? app.ZClipping : 1000);
    cam.far = cam.far_base;
    d.View->frustum.set(cam.half_fov, kNearPlane, 0.0f, cam.far_base);
    return m_Camera.Load(m_szTrackName, &cam) ? 1 : 0;
}
