#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/light_record.h"
#include "engine/base/mat4.h"
#include "engine/base/vec4.h"
#include "engine/scene/ground_under.h"
#include "race/overlay_files.h"
#include "sim/bike_parameters.h"
#include "sim/grid_entry.h"
#include "sim/vec3.h"

class anim_lib;
class camera;
class engine;
class fcurve;
class mesh_texture;
class ml_modelinfo;
class model_lib;
class model_node;
class mtr_lib;
class scene;
class scene_view;
class texture_set;

// The race's 3D data: what Race::Load3d loads and Race::Release3d frees
// (race/race_3d.cpp), and what the bike models (race/bike_models.cpp) and
// the drawing read of it. Everything here belongs to the race; the
// instances belong to the libraries that made them.

// One library set of the race: models, their materials (the level-0 file,
// and for the bikes and riders the detail levels' file chained behind it)
// and animations.
struct RaceLibraryGroup {
    std::unique_ptr<model_lib> Models;
    mtr_lib* Materials = nullptr; // a chain, owned
    std::unique_ptr<anim_lib> Anims;

    RaceLibraryGroup();
    ~RaceLibraryGroup();
    RaceLibraryGroup(const RaceLibraryGroup&) = delete;
    RaceLibraryGroup& operator=(const RaceLibraryGroup&) = delete;

    bool Loaded() const { return Models != nullptr; }
    // The models (with every instance made of them), then the animations,
    // then the materials, each released and deleted.
    void Release();
};

// What one bike's models need between frames: the matrices its instances
// point at, the rider's head and view nodes, and the eye point.
struct BikeView {
    mat4 BikeMatrix{};
    mat4 RiderMatrix{};
    mat4 ShadowMatrix{};
    model_node* Head = nullptr;   // "jnthead"
    model_node* Vista = nullptr;  // "VISTA", the rider's eye
    Vec3 Eye;                     // the view node's world position, each frame
    bool EyePosed = false;        // Eye holds a posed position (after the first UpdateModel)
    mesh_texture* Texture = nullptr; // the livery of the bike model ("<MODEL>_PAINT")
    std::int32_t Model = 0;       // bike model 0..4
    bool Built = false;
};

struct Race3dData {
    Race3dData();
    ~Race3dData();
    Race3dData(const Race3dData&) = delete;
    Race3dData& operator=(const Race3dData&) = delete;

    // The engine context the race made current, and the one that was
    // current before (current again when the race's goes).
    std::unique_ptr<engine> Engine;
    engine* PreviousEngine = nullptr;
    std::unique_ptr<camera> Camera;
    std::unique_ptr<scene_view> View;
    std::unique_ptr<scene> Track;

    // The six library sets, by role.
    RaceLibraryGroup Back;        // the sky
    RaceLibraryGroup Bikes;
    RaceLibraryGroup Riders;
    RaceLibraryGroup Shadows;     // flat shadows
    RaceLibraryGroup DynShadows;  // dynamic shadows, skid marks, particles
    RaceLibraryGroup Arches;      // practice arches

    ml_modelinfo* Sky = nullptr;
    fcurve* SkyScale = nullptr;   // "BACKGROUND_SCALE"
    scn_light Light;
    ml_modelinfo* LightInstance = nullptr; // owned (not on any library's list)
    ml_modelinfo* StartLights = nullptr;   // "AFA_SEMAFORO", a model of the track scene
    ml_modelinfo* Cockpit3d[kBikeModelCount] = {};
    ml_modelinfo* Cockpit2d[kBikeModelCount] = {};
    model_node* Needle3d[kBikeModelCount] = {};
    model_node* Needle2d[kBikeModelCount] = {};
    CockpitNeedle Needles[kBikeModelCount] = {};
    ml_modelinfo* Handlebars = nullptr;
    model_node* Head = nullptr;   // the handlebars' "Head" node
    mat4 CockpitMatrix{};

    // The camera's detail and depth curves (Race::InitDisplay).
    fcurve* DetailCurve = nullptr;
    fcurve* DepthCurve = nullptr;
    std::unique_ptr<texture_set> Flares;
    // The sun: the light's direction in the world (unit length) and, for
    // the frame's camera, in view space (the engine context's sun names it
    // while the light has a direction). The ground search over the track's
    // grid that hides the flare while the camera stands under something
    // keeps what it found here.
    vec4 SunWorld{};
    vec4 SunView{};
    ground_search_cache FlareGround;

    BikeView Bikes3d[kPitSlotCount];
    // The bike models already added to the bike library, and whether the
    // rider model is.
    bool BikeModelAdded[kBikeModelCount] = {};
    bool RiderModelAdded = false;

    // Scene options the race keeps for its drawing: fog (the track's fog
    // switch with "Photoreal") and "Darkline".
    bool Fog = false;
    bool Darkline = false;
};
