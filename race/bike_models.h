#pragma once

#include <cstdint>

class Bike;
class Race;
class ml_modelinfo;
class model_node;

// The bike and rider models of the race: every Bike is shown by a bike
// instance, a rider instance and shadow instances of the race's libraries
// (race/race_3d_data.h). BuildModels makes them when the race's 3D data
// loads; UpdateModel poses them every frame from the bike's simulated state.
// The simulation (sim/) sits below the engine and never sees these: it
// reaches them through the race's hooks (race/race_links.h).

// The transition the riding rider plays between its upright riding
// animation (rider state record 2) and the one at full lean (record 3).
inline constexpr const char* kCurvingTransition = "CURVING";
// The rider animation records of riding upright and at full lean.
inline constexpr int kRideUprightRecord = 2;
inline constexpr int kRideLeanRecord = 3;

// The hash the animation library knows a name by: the name (at most its
// first 32 characters, the size of an animation record's name field, which
// need not end in a zero) followed by three zero bytes, in a buffer that has
// room for all of them and a terminator.
std::uint32_t AnimNameHash(const char* name);

// Depth first through a node tree: the node itself, then its first child's
// subtree, then its next sibling's; the first node of that name hash, or
// null.
model_node* FindNode(model_node* node, std::uint32_t hash);

// Shows (instance flag 1 set on it and its nodes) or hides an instance;
// nothing for none.
void ShowModelInstance(ml_modelinfo* instance, bool shown);

// Whether an animation of that hash is linked to the instance.
bool HasAnimation(const ml_modelinfo* instance, std::uint32_t hash);

// The rider's animation time while riding close to the camera: the lean
// control c (-1 full left .. 1 full right) through a curve whose bend the
// lean factor s (0..1) sets: (atan((4 - 3.9 s) c) / atan(4 - 3.9 s) + 1) x
// 0.5. A control of 0 gives 0.5 whatever the factor.
float RiderLeanValue(float leanFactor, float leanControl);
// The same for a rider far from the camera (or not drawn close): 0.5 +
// 0.51156944 x the bike's lean (radians), held to [-1, 1].
float FarRiderLeanValue(float lean);

// Builds one bike's instances from the race's libraries: the bike model
// "AXX_<model>" (added to the bike library by the first bike of that model),
// the rider "AXX_RIDER" (added by the first bike), their wheel and head
// nodes, animations, shadows and colours; each instance is added to the
// race's scene view. A missing model, node or shadow model throws a
// GameError with the failure's text ("add bike model", "get rider model",
// "get front pivot Model", "get vista model", "get_model", ...). Needs the
// race's 3D data (Race::Data3d); a bike out of the session is hidden.
void BuildModels(Race& race, Bike& bike);

// Drops the rider instance's transition, makes rider animation 0 current
// and forgets the instance (its library frees it).
void ReleaseRiderModel(Race& race, Bike& bike);

// The per-frame pose of one bike's instances (nothing for a bike out of the
// session or without instances): detail levels, the rider's animation and
// the "CURVING" blend, the wheels' nodes, the bike placed and lowered by
// its lean, the rider on the bike or posed by its own place while off it,
// the eye point, the viewed bike's cockpit, handlebars and needles, and the
// shadows. The race calls it for the viewed bike before the camera update
// and for every other bike after it.
void UpdateModel(Race& race, Bike& bike);
