#include "race/bike_models.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/game_app.h"
#include "app/game_error.h"
#include "engine/base/mat4.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/model_node.h"
#include "engine/model/mtr_lib.h"
#include "engine/model/shadow_link.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene_view.h"
#include "race/overlay_files.h"
#include "race/race.h"
#include "race/race_3d_data.h"
#include "sim/bike.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"

namespace {

// Detail levels a shadow is linked over.
constexpr int kShadowLinkLevels = 4;
// A shadow lies this far above the ground under the bike, as a skid mark
// does, so that it never fights the road it lies on for a pixel.
constexpr float kShadowLift = 0.03f;
// While the rider is down, other bikes draw no finer than this level.
constexpr int kFallenDetailLevel = 3;
// Riders drawn close: detail levels 0..3 of a visible instance.
constexpr int kCloseDetailLevels = 4;
// Bike status bit: the bike has fallen (the crash body runs).
constexpr std::uint32_t kBikeFallen = 0x1;
// Rider states in which the bike model plays its fall animation.
constexpr std::int32_t kBikeFallStates[2] = {21, 25};
// The bike sinks by this much times (1 - cos(lean)) as it leans.
constexpr float kLeanDrop = 0.4f;

const RiderStateTable* AnimTable()
{
    return CurrentRaceContext().RiderStates;
}

std::uint32_t RiderHash(int record)
{
    const RiderStateTable* table = AnimTable();
    return table && record >= 0 && record < kRiderStateRecords ? table->RiderHash[record] : 0u;
}

// Makes an animation current unless it already is; one that is not linked
// to the instance is left alone (the engine would end the program).
void MakeCurrent(ml_modelinfo& instance, std::uint32_t hash)
{
    if (hash == 0 || (instance.current_anim && instance.current_anim->name_hash == hash))
        return;
    if (HasAnimation(&instance, hash))
        instance.set_curanim(hash);
}

// The engine's rotation of a body turned by roll (about z), then pitch
// (about x), then heading (about y): the simulation's order.
void BodyMatrix(mat4& m, float pitch, float heading, float roll)
{
    mat_rot_z(&m, roll);
    mat_rotate_x(&m, &m, pitch);
    mat_rotate_y(&m, &m, heading);
}

void ApplyWheelPose(WheelAssembly& wheel, const WheelNodePose& pose)
{
    if (pose.HasPivotRotation && wheel.PivotNode && !wheel.PivotNode->anim)
        wheel.PivotNode->angles = {pose.PivotRotation.x, pose.PivotRotation.y, pose.PivotRotation.z, 0.0f};
    if (wheel.WheelNode && !wheel.WheelNode->anim)
        wheel.WheelNode->angles = {pose.WheelRotation.x, pose.WheelRotation.y, pose.WheelRotation.z, 0.0f};
    if (pose.HasSuspensionPosition && wheel.SuspensionNode) {
        const vec4 p = wheel.SuspensionNode->local_position;
        wheel.SuspensionNode->local_position = {pose.SuspensionPosition.x, pose.SuspensionPosition.y,
                                                pose.SuspensionPosition.z, p.w};
    }
    if (pose.HasSuspensionRotation && wheel.SuspensionNode && !wheel.SuspensionNode->anim)
        wheel.SuspensionNode->angles = {pose.SuspensionRotation.x, pose.SuspensionRotation.y,
                                        pose.SuspensionRotation.z, 0.0f};
}

model_node* RequireNode(ml_modelinfo* instance, const char* name, const char* failure)
{
    model_node* node = FindNode(instance->first_node, name_hash(name));
    if (!node)
        throw GameError(failure);
    return node;
}

ml_modelinfo* MakeInstance(RaceLibraryGroup& group, const char* name, const char* failure)
{
    ml_modelinfo* instance = group.Models->create_instance(name, group.Materials, 0);
    if (!instance)
        throw GameError(failure);
    return instance;
}

void AddModelOnce(RaceLibraryGroup& group, const char* name, bool& added, const char* failure)
{
    if (added)
        return;
    if (group.Models->try_load_model(name, 1) != mdl_status::ok) {
        std::fprintf(stderr, "Race: the model \"%s\" of \"%s\" cannot be loaded\n", name, group.Models->path.c_str());
        throw GameError(failure);
    }
    added = true;
}

int ModelOf(const Bike& bike)
{
    return bike.GridEntry ? std::clamp(bike.GridEntry->Model, 0, kBikeModelCount - 1) : 0;
}

BikeView* ViewOf(Race& race, const Bike& bike)
{
    Race3dData* d = race.Data3d();
    if (!d || bike.Index < 0 || bike.Index >= kPitSlotCount)
        return nullptr;
    return &d->Bikes3d[bike.Index];
}

// The ground under a bike for its flat shadow: the wheels' ground where
// both found one, else the bike's own height.
float ShadowGround(const Bike& bike)
{
    const float front = bike.FrontWheel.GroundHeight;
    const float rear = bike.RearWheel.GroundHeight;
    if (front != kNoGround && rear != kNoGround && std::isfinite(front) && std::isfinite(rear))
        return 0.5f * (front + rear);
    return bike.Position.y;
}

} // namespace

std::uint32_t AnimNameHash(const char* name)
{
    // 32 characters of the name, three zero bytes and a terminator.
    char padded[32 + 3 + 1] = {};
    if (name)
        std::memcpy(padded, name, strnlen(name, 32));
    return name_hash(padded);
}

model_node* FindNode(model_node* node, std::uint32_t hash)
{
    // Siblings by iteration, children by recursion: a long sibling list
    // never deepens the stack.
    for (; node; node = node->next_sibling) {
        if (node->hash == hash)
            return node;
        if (model_node* found = FindNode(node->first_child, hash))
            return found;
    }
    return nullptr;
}

void ShowModelInstance(ml_modelinfo* instance, bool shown)
{
    if (!instance)
        return;
    if (shown)
        instance->set_flags(model_active);
    else
        instance->clear_flags(model_active);
}

bool HasAnimation(const ml_modelinfo* instance, std::uint32_t hash)
{
    if (!instance)
        return false;
    for (const anim_link* link = instance->anims; link; link = link->next)
        if (link->name_hash == hash)
            return true;
    return false;
}

float RiderLeanValue(float leanFactor, float leanControl)
{
    const float s = std::clamp(leanFactor, 0.0f, 1.0f);
    const float c = std::clamp(leanControl, -1.0f, 1.0f);
    const float k = 4.0f - 3.9f * s;
    return (std::atan(k * c) / std::atan(k) + 1.0f) * 0.5f;
}

float FarRiderLeanValue(float lean)
{
    return std::clamp(0.5f + 0.51156944f * lean, -1.0f, 1.0f);
}

void BuildModels(Race& race, Bike& bike)
{
    Race3dData* d = race.Data3d();
    BikeView* view = ViewOf(race, bike);
    bike.BikeInstance = bike.RiderInstance = bike.ShadowInstance = bike.RiderShadowInstance = nullptr;
    for (WheelAssembly* wheel : {&bike.FrontWheel, &bike.RearWheel})
        wheel->PivotNode = wheel->SuspensionNode = wheel->WheelNode = nullptr;
    if (!d || !view)
        return;
    *view = BikeView{};
    const int model = ModelOf(bike);
    view->Model = model;
    const char* modelName = race.m_BikeModels[model].Maker.ModelName;
    char name[48];
    std::snprintf(name, sizeof name, "AXX_%.31s", modelName);

    AddModelOnce(d->Bikes, name, d->BikeModelAdded[model], "add bike model");
    AddModelOnce(d->Riders, "AXX_RIDER", d->RiderModelAdded, "add rider model");
    ml_modelinfo* bikeInstance = MakeInstance(d->Bikes, name, "get bike model");
    ml_modelinfo* rider = MakeInstance(d->Riders, "AXX_RIDER", "get rider model");
    // The bike draws its rider right after itself, at its own detail level.
    bikeInstance->pair_with(rider);
    bike.BikeInstance = bikeInstance;
    bike.RiderInstance = rider;

    model_node* frontPivot = RequireNode(bikeInstance, "FRONT_PIVOT", "get front pivot Model");
    model_node* frontSusp = RequireNode(bikeInstance, "FRONT_SUSP", "get front susp model");
    model_node* frontWheel = RequireNode(bikeInstance, "FRONT_WHEEL", "get front wheel model");
    model_node* rearPivot = RequireNode(bikeInstance, "REAR_PIVOT", "get rear pivot model");
    model_node* rearWheel = RequireNode(bikeInstance, "REAR_WHEEL", "get rear wheel model");
    view->Head = RequireNode(rider, "jnthead", "get jnt15_1");
    view->Vista = RequireNode(rider, "VISTA", "get vista model");

    char paint[48];
    std::snprintf(paint, sizeof paint, "%.31s_PAINT", modelName);
    view->Texture = bikeInstance->texture_of_material(name_hash(paint));

    if (const RiderStateTable* table = AnimTable()) {
        for (std::uint32_t hash : table->RiderHash)
            if (hash && !HasAnimation(rider, hash))
                rider->lnk_anim(d->Riders.Anims.get(), hash, 0, 0);
        for (std::uint32_t hash : table->BikeHash)
            if (hash && !HasAnimation(bikeInstance, hash))
                bikeInstance->lnk_anim(d->Bikes.Anims.get(), hash, 0, 0);
        MakeCurrent(*rider, table->RiderHash[0]);
    }

    GameApp& app = TheGameApp();
    const bool dynamic = (app.GfxFlags & kGfxFlagPhotoreal) && race.m_nWeather == 0;
    if (dynamic) {
        char shadowName[48];
        std::snprintf(shadowName, sizeof shadowName, "AXX_OMB%.31s", modelName);
        ml_modelinfo* shadow = MakeInstance(d->DynShadows, shadowName, "get_model");
        ml_modelinfo* riderShadow = MakeInstance(d->DynShadows, "AXX_OMBRIDER", "get_model");
        bike.ShadowInstance = shadow;
        bike.RiderShadowInstance = riderShadow;
        d->View->add_instance(shadow);
        d->View->add_instance(riderShadow);
        link_shadow(bikeInstance, shadow, kShadowLinkLevels);
        link_shadow(rider, riderShadow, kShadowLinkLevels);
    } else {
        // Rain and fog take the wet shadow, also with dynamic shadows on.
        ml_modelinfo* shadow =
            MakeInstance(d->Shadows, race.m_nWeather == 0 ? "Shadow" : "Shadowp", "get_model");
        bike.ShadowInstance = shadow;
        d->View->add_instance(shadow);
        shadow->set_lod_table(race.m_BikeDetail);
    }

    if (bike.GridEntry) {
        bikeInstance->set_material_set(std::bit_cast<std::uint32_t>(bike.GridEntry->BikeVariant));
        rider->set_material_set(std::bit_cast<std::uint32_t>(bike.GridEntry->RiderVariant));
    }
    bikeInstance->set_lod_table(race.m_BikeDetail);
    rider->set_lod_table(race.m_BikeDetail);

    // The wheel assemblies' nodes, with their rest data.
    bike.FrontWheel.PivotNode = frontPivot;
    bike.FrontWheel.SuspensionNode = frontSusp;
    bike.FrontWheel.WheelNode = frontWheel;
    bike.RearWheel.PivotNode = rearPivot;
    bike.RearWheel.SuspensionNode = rearPivot;
    bike.RearWheel.WheelNode = rearWheel;
    const vec4 frontRest = frontSusp->local_position;
    ApplyWheelPose(bike.FrontWheel, bike.FrontWheel.BindNodes(Vec3(frontRest.x, frontRest.y, frontRest.z),
                                                              frontPivot->local_position.y, 0.0f));
    const vec4 rearRest = rearPivot->local_position;
    const vec4 arm = rearWheel->local_position;
    ApplyWheelPose(bike.RearWheel, bike.RearWheel.BindNodes(Vec3(rearRest.x, rearRest.y, rearRest.z),
                                                            rearRest.y, std::sqrt(arm.y * arm.y + arm.z * arm.z)));

    d->View->add_instance(bikeInstance);
    d->View->add_instance(rider);
    view->Built = true;

    // A bike out of the session is not shown (the simulation's state is
    // left as it is: loading the pictures never changes the race).
    if (bike.IsOut())
        for (ml_modelinfo* instance : {bike.BikeInstance, bike.RiderInstance, bike.ShadowInstance, bike.RiderShadowInstance})
            ShowModelInstance(instance, false);
}

void ReleaseRiderModel(Race& /*race*/, Bike& bike)
{
    ml_modelinfo* rider = bike.RiderInstance;
    if (!rider)
        return;
    if (rider->trans_link)
        rider->remove_anim(rider->trans_link);
    const std::uint32_t first = RiderHash(0);
    if (first && HasAnimation(rider, first))
        rider->set_curanim(first);
    bike.RiderInstance = nullptr;
}

void UpdateModel(Race& race, Bike& bike)
{
    Race3dData* d = race.Data3d();
    BikeView* view = ViewOf(race, bike);
    ml_modelinfo* bikeInstance = bike.BikeInstance;
    ml_modelinfo* rider = bike.RiderInstance;
    if (!d || !view || !view->Built || !bikeInstance || !rider || bike.IsOut())
        return;
    const bool viewed = &bike == race.ViewedBike();
    const bool fallen = (bike.Status & kBikeFallen) != 0;

    // 1. Detail levels.
    const lod_view detail = d->Camera->detail_view();
    bool close = false;
    if (viewed) {
        const int level = std::clamp<int>(TheGameApp().m_PlayerDetail[0], 0, std::max(bikeInstance->level_count - 1, 0));
        bikeInstance->id = level;
        rider->id = level;
        close = true;
    } else {
        bikeInstance->id = -1;
        bikeInstance->select_lod(&detail);
        const int level = bikeInstance->id;
        close = level >= 0 && level < kCloseDetailLevels && (rider->flags & instance_visible);
        if (fallen && bikeInstance->level_count > 0)
            bikeInstance->id = std::max(level, std::min(kFallenDetailLevel, bikeInstance->level_count - 1));
        else
            bikeInstance->id = -1; // the view chooses again where it draws
    }

    // 2. The rider's animation time.
    float riderTime = bike.StatePhase;
    if (bike.RiderState == kRiderRiding) {
        const std::uint32_t upright = RiderHash(kRideUprightRecord);
        const std::uint32_t lean = RiderHash(kRideLeanRecord);
        if (!close) {
            riderTime = FarRiderLeanValue(bike.Roll);
            MakeCurrent(*rider, upright);
        } else {
            const float s = std::clamp(bike.Posture, 0.0f, 1.0f);
            const float value = RiderLeanValue(s, bike.RideValue);
            riderTime = value;
            if (s <= 0.0f) {
                MakeCurrent(*rider, upright);
            } else if (s >= 1.0f) {
                MakeCurrent(*rider, lean);
            } else if (HasAnimation(rider, upright) && HasAnimation(rider, lean)) {
                // Both ends of the blend at the lean's time; the blend
                // itself runs with the lean factor.
                const std::uint32_t curving = AnimNameHash(kCurvingTransition);
                rider->make_anim_trans(upright, value, lean, value, curving, 0);
                rider->set_curanim(curving);
                riderTime = s;
            }
        }
    }

    // 3. The wheels' nodes.
    ApplyWheelPose(bike.FrontWheel, bike.FrontWheel.UpdateNodes());
    ApplyWheelPose(bike.RearWheel, bike.RearWheel.UpdateNodes());

    // 4. The bike, lowered by its lean along its up axis.
    BodyMatrix(view->BikeMatrix, bike.Pitch, bike.Heading, bike.Roll);
    const float drop = kLeanDrop * (1.0f - std::cos(bike.Roll));
    const Vec3 place = bike.Position.Minus(bike.UpAxis.Times(drop));
    const bool falling = bike.RiderState == kBikeFallStates[0] || bike.RiderState == kBikeFallStates[1];
    bikeInstance->anim_time = falling ? bike.StatePhase : 0.0f;
    bikeInstance->set_ext_matrix(&view->BikeMatrix);
    bikeInstance->set_position(place.x, place.y, place.z, 1.0f);

    // 5. The rider: on the bike, or by its own place in a state whose
    // record says so.
    const RiderStateTable* table = AnimTable();
    const RiderAnimationRecord* record = table ? table->Record(bike.RiderState) : nullptr;
    rider->anim_time = riderTime;
    if (record && record->Attached == 0) {
        BodyMatrix(view->RiderMatrix, bike.RiderAngles.x, bike.RiderAngles.y, bike.RiderAngles.z);
        rider->set_ext_matrix(&view->RiderMatrix);
        rider->set_position(bike.RiderPosition.x, bike.RiderPosition.y, bike.RiderPosition.z, 1.0f);
    } else {
        rider->set_ext_matrix(&view->BikeMatrix);
        rider->set_position(place.x, place.y, place.z, 1.0f);
    }
    // The viewed rider is posed now (the camera reads its eye this frame)
    // and not again by the view.
    if (viewed)
        rider->anim_time = -1.0f;

    // 6. The eye point.
    if (view->Vista) {
        view->Eye = Vec3(view->Vista->world_centre.x, view->Vista->world_centre.y, view->Vista->world_centre.z);
        view->EyePosed = true;
    }

    // 7. The viewed bike's cockpit, handlebars and needles.
    if (viewed) {
        const int model = view->Model;
        for (ml_modelinfo* instance : {d->Cockpit3d[model], d->Handlebars})
            if (instance) {
                instance->set_ext_matrix(&view->BikeMatrix);
                instance->set_position(place.x, place.y, place.z, 1.0f);
            }
        const float angle = CockpitNeedleAngle(d->Needles[model], bike.Rpm);
        if (model_node* needle = d->Needle3d[model]; needle && !needle->anim && d->Cockpit3d[model]) {
            needle->angles.z = angle;
            d->Cockpit3d[model]->clear_flags(model_transforms_valid);
        }
        if (model_node* needle = d->Needle2d[model]; needle && !needle->anim && d->Cockpit2d[model]) {
            needle->angles.z = -angle;
            d->Cockpit2d[model]->clear_flags(model_transforms_valid);
        }
    }

    // 8. The shadows on the ground under the bike: the flat one turned with
    // the bike; the dynamic ones are laid flat on the level plane through
    // their position (their shape comes from the bike and rider).
    const float ground = ShadowGround(bike) + kShadowLift;
    if (ml_modelinfo* shadow = bike.ShadowInstance; shadow && !bike.RiderShadowInstance) {
        mat_rot_y(&view->ShadowMatrix, bike.Heading);
        shadow->set_ext_matrix(&view->ShadowMatrix);
        shadow->set_position(bike.Position.x, ground, bike.Position.z, 1.0f);
    } else {
        for (ml_modelinfo* dynamic : {bike.ShadowInstance, bike.RiderShadowInstance})
            if (dynamic)
                dynamic->set_position(bike.Position.x, ground, bike.Position.z, 1.0f);
    }
}

const Vec3* EyePoint(Race& race, const Bike& bike)
{
    const BikeView* view = ViewOf(race, bike);
    return view && view->EyePosed ? &view->Eye : nullptr;
}
