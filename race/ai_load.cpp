#include "race/ai_load.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/game_error.h"
#include "app/mixer.h"
#include "app/typed_list.h"
#include "platform/byte_reader.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/scene/scene_view.h"
#include "race/race.h"
#include "race/race_3d_data.h"
#include "sim/race_context.h"

// The computer riders' speed profile, the pit lane's limits and boxes, and
// the practice arches.

namespace {

constexpr float kGravity = 9.80665f;
// No corner and no limit: no target.
constexpr float kNoTarget = 100000.0f;
// Corner speed (|r| x grip x g) ^ 0.495.
constexpr double kCornerExponent = 0.495;
// Braking counts from this many metres before the slower metre, and only
// where the road is straight or gently curved.
constexpr int kBrakingFromStep = 12;
constexpr float kGentleRadius = 80.0f;
// A pit-lane section without a limit is held to 80 km/h.
constexpr float kPitLaneLimitKmh = 80.0f;
// The side margin of a pit box beyond the distance of its point.
constexpr float kPitBoxMargin = 1.8f;

constexpr std::size_t kArchRecordBytes = 36;

const char* const kWeatherParts[3] = {"SUNNY_", "RAIN_", "FOG_"};
const char* const kSkillParts[4] = {"BEGINNER", "AMATEUR", "PRO", "REAL"};

AiSkill ReadSkill(const Race& race)
{
    const std::string name = AiSkillListName(race.m_nSessionType, race.m_nWeather, race.m_nSkill);
    AiSkill skill;
    if (ReadTypedList(kAiFile, name.c_str(), &skill, sizeof skill, sizeof skill, 1) == 0)
        ThrowGameError("The computer riders' list %s is missing from %s", name.c_str(), kAiFile);
    // Braking must slow the riders down toward a corner (negative) and grip
    // must give a corner speed: other values make no speed profile.
    if (!std::isfinite(skill.Braking) || !(skill.Braking <= 0.0f) || !std::isfinite(skill.Grip) ||
        !(skill.Grip > 0.0f))
        ThrowGameError("The computer riders' list %s of %s has unusable values", name.c_str(), kAiFile);
    return skill;
}

// The bytes of a file on disk, else of its archive entry; false when
// neither exists.
bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& out)
{
    mixer file;
    if (file.open_file(path, "rb") == 0) {
        out.resize(static_cast<std::size_t>(std::max(file.size(), 0)));
        const int read = out.empty() ? 0 : file.read(out.data(), static_cast<int>(out.size()));
        out.resize(static_cast<std::size_t>(std::max(read, 0)));
        file.close();
        return true;
    }
    const ArchivePath archive = SplitArchivePath(path);
    mixer entry;
    return entry.load(archive.archive.c_str(), archive.entry.c_str(), out) == 0;
}

// The practice arches of "data\Practice\<track>.arc", or one arch on each
// curve section of the circuit when the track has no such file.
void LoadPracticeArches(Race& race)
{
    race.m_Arches.clear();
    char path[96];
    std::snprintf(path, sizeof path, "data\\Practice\\%s.arc", race.m_szTrackName);
    std::vector<std::uint8_t> bytes;
    if (ReadWholeFile(path, bytes)) {
        platform::ByteReader in(bytes);
        const std::int32_t count = in.i32();
        // The count is bounded by the records the file holds, and by
        // nothing else.
        if (!in.ok() || count < 0 || static_cast<std::size_t>(count) * kArchRecordBytes > in.remaining())
            ThrowGameError("The practice arch file %s is damaged", path);
        race.m_Arches.resize(static_cast<std::size_t>(count));
        for (PracticeArch& arch : race.m_Arches) {
            for (float& v : arch.Position)
                v = in.f32();
            for (float& v : arch.Angles)
                v = in.f32();
            arch.Kind = in.i32();
            in.skip(8); // a spare word and the instance slot
        }
        return;
    }
    Track& circuit = race.m_Circuit;
    for (const TrackSegment& section : circuit.Segments) {
        PracticeArch arch;
        Vec3 point(section.StartX, 0.0f, section.StartZ);
        const float ground = circuit.Query(&point, nullptr, -1.0f, nullptr);
        arch.Position[0] = section.StartX;
        arch.Position[1] = ground == kTrackNone ? 0.0f : ground;
        arch.Position[2] = section.StartZ;
        arch.Angles[1] = section.Heading;
        race.m_Arches.push_back(arch);
    }
}

// The distance along the circuit at which the pit lane leaves it: the pit
// lane's first point projected on the circuit from the circuit's nearest
// section point.
float PitEntryDistance(const Track& circuit, const Track& pitLane)
{
    if (circuit.SegmentCount() == 0 || pitLane.SegmentCount() == 0)
        return 0.0f;
    const TrackSegment& first = pitLane.Segments.front();
    int nearest = 0;
    float best = 0.0f;
    for (int i = 0; i < circuit.SegmentCount(); ++i) {
        const TrackSegment& s = circuit.Segments[static_cast<std::size_t>(i)];
        const float dx = s.StartX - first.StartX;
        const float dz = s.StartZ - first.StartZ;
        const float d = dx * dx + dz * dz;
        if (i == 0 || d < best) {
            best = d;
            nearest = i;
        }
    }
    Vec2 point(first.StartX, first.StartZ);
    float heading = 0.0f;
    int lapDelta = 0;
    return circuit.Project(&point, &nearest, &heading, &lapDelta);
}

// Each pit box's distance along the pit lane and its side margin.
void PlacePitBoxes(const Track& pitLane, RaceContext& context)
{
    const int n = pitLane.SegmentCount();
    if (n == 0)
        return;
    int middle = 0;
    while (middle < n && pitLane.SegmentStart[static_cast<std::size_t>(middle)] < pitLane.Length * 0.5f)
        ++middle;
    middle = std::min(middle, n - 1);
    for (int box = 0; box < kPitSlotCount; ++box) {
        const Vec2 boxPoint = pitLane.Slots[box];
        Vec2 projected = boxPoint;
        int segment = middle;
        float heading = 0.0f;
        int lapDelta = 0;
        context.PitBoxDistance[box] = pitLane.Project(&projected, &segment, &heading, &lapDelta);
        const float dx = boxPoint.x - projected.x;
        const float dz = boxPoint.z - projected.z;
        context.PitBoxDepth[box] = std::sqrt(dx * dx + dz * dz) - kPitBoxMargin;
    }
}

} // namespace

std::string AiSkillListName(int sessionType, int weather, int skill)
{
    std::string name = sessionType == kSessionArcade ? "ARCADE_" : "SIM_";
    if (weather >= 0 && weather < 3)
        name += kWeatherParts[weather];
    if (skill >= 0 && skill < 4)
        name += kSkillParts[skill];
    return name;
}

void BuildSpeedProfile(Track& path, const AiSkill& skill)
{
    const int metres = path.MetreCount();
    const int segments = path.SegmentCount();
    if (metres == 0)
        return;
    const float a = skill.Braking * kGravity;
    std::vector<float> radius(static_cast<std::size_t>(metres));
    std::vector<float> limit(static_cast<std::size_t>(metres));
    int section = 0;
    for (int k = 0; k < metres; ++k) {
        const float d = static_cast<float>(k);
        while (section + 1 < segments && d >= path.SegmentStart[static_cast<std::size_t>(section) + 1])
            ++section;
        radius[static_cast<std::size_t>(k)] = path.CurveRadiusAt(d);
        limit[static_cast<std::size_t>(k)] = segments > 0 ? path.Segments[static_cast<std::size_t>(section)].SpeedLimit : 0.0f;
    }

    std::vector<float> target(static_cast<std::size_t>(metres), kNoTarget);
    for (int k = 0; k < metres; ++k) {
        const float r = radius[static_cast<std::size_t>(k)];
        float v = r == 0.0f ? kNoTarget
                            : static_cast<float>(std::pow(static_cast<double>(std::fabs(r) * skill.Grip * kGravity),
                                                          kCornerExponent));
        const float lim = limit[static_cast<std::size_t>(k)];
        if (lim != 0.0f)
            v = std::min(v, std::fabs(lim) * kKmhToMs);
        float& own = target[static_cast<std::size_t>(k)];
        own = std::min(std::fabs(own), v);

        // Back from the slower metre, braking where the road allows it.
        const float brake = lim < 0.0f ? a : 2.0f * a;
        int j = k;
        for (int step = 1; step < metres; ++step) {
            j = j == 0 ? metres - 1 : j - 1;
            if (step >= kBrakingFromStep) {
                const float rj = radius[static_cast<std::size_t>(j)];
                if (rj == 0.0f || std::fabs(rj) > kGentleRadius)
                    v = std::sqrt(v * v - brake);
            }
            float& t = target[static_cast<std::size_t>(j)];
            if (!(v < t))
                break;
            t = v;
        }
    }
    for (int k = 0; k < metres; ++k)
        path.Metres[static_cast<std::size_t>(k)].RefSpeed = target[static_cast<std::size_t>(k)];
    path.BuildDistanceTables();
}

void AiLoad(Race& race)
{
    race.m_AiSkill = ReadSkill(race);
    if (race.m_nSessionType == kSessionPractice)
        LoadPracticeArches(race);
    else
        race.m_Arches.clear();

    RaceContext& context = CurrentRaceContext();
    if (race.m_bHasPitLane) {
        for (TrackSegment& section : race.m_PitLane.Segments)
            if (section.SpeedLimit == 0.0f)
                section.SpeedLimit = kPitLaneLimitKmh;
        context.PitEntryDistance = PitEntryDistance(race.m_Circuit, race.m_PitLane);
    }
    BuildSpeedProfile(race.m_Circuit, race.m_AiSkill);
    if (race.m_bHasPitLane) {
        BuildSpeedProfile(race.m_PitLane, race.m_AiSkill);
        PlacePitBoxes(race.m_PitLane, context);
    }
}

void AiCreateArches(Race& race)
{
    // One instance of the model "Pratice" per arch, from the race's arch
    // libraries; a race without model libraries shows none.
    for (PracticeArch& arch : race.m_Arches)
        arch.Instance = nullptr;
    Race3dData* d = race.Data3d();
    if (!d || !d->Arches.Loaded())
        return;
    for (PracticeArch& arch : race.m_Arches) {
        ml_modelinfo* instance = d->Arches.Models->create_instance("Pratice", d->Arches.Materials, 0);
        if (!instance)
            throw GameError("get_model");
        arch.Instance = instance;
        d->View->add_instance(instance);
        instance->set_mesh_param(race.m_TrackPriority[0]);
        instance->angles = {arch.Angles[0], arch.Angles[1], arch.Angles[2], 0.0f};
        instance->set_position(arch.Position[0], arch.Position[1], arch.Position[2], 1.0f);
        if (arch.Kind == 0 || arch.Kind == 1)
            instance->set_material_set(std::bit_cast<std::uint32_t>(arch.Kind == 0 ? 0.0f : 0.8f));
    }
}
