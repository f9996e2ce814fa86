#pragma once

#include <cstdint>
#include <string>

class Race;
class Track;
class ml_modelinfo;

// What the computer riders' control reads while racing, prepared once when
// the race loads: a target speed for every metre of the circuit and of the
// pit lane, the pit lane's speed limits, where the pit lane leaves the
// circuit, where each pit box lies along the pit lane, and in practice the
// arches shown on the track.

// The two values of a skill list of "Data\AI.dat": braking and grip, in g.
// Braking is negative: going back from a slow metre the speed grows by
// sqrt(v^2 - 2 x braking x g) per metre.
struct AiSkill {
    float Braking = 0.0f;
    float Grip = 0.0f;
};

// One practice arch ("data\Practice\<track>.arc", 36 bytes each).
struct PracticeArch {
    float Position[3] = {};
    float Angles[3] = {};   // radians about x, y, z
    std::int32_t Kind = 0;  // 0 plain, 1 marked; others keep the model's look
    ml_modelinfo* Instance = nullptr; // made with the race's 3D data
};

// The list of "Data\AI.dat" for a session type, weather and skill
// ("SIM_RAIN_PRO"; an unknown weather or skill adds nothing).
std::string AiSkillListName(int sessionType, int weather, int skill);

// Reads the skill list and prepares the race's paths, pit entry, pit boxes
// and (session type 0) practice arches. A missing skill list, or one with
// values the speed profile cannot use, throws a GameError naming it.
void AiLoad(Race& race);

// The target speed of every metre of a path from its curve radii and speed
// limits (see ai_load.cpp).
void BuildSpeedProfile(Track& path, const AiSkill& skill);

// The practice arches' instances, made with the race's 3D data; without
// model libraries there is nothing to make.
void AiCreateArches(Race& race);
