#include "tools/datakit/world_bike_anims.h"

#include <array>
#include <cmath>
#include <string_view>

#include "engine/model/anm_format.h"
#include "tools/datakit/rider_state_writer.h"

namespace datakit {

namespace {

// Joint numbers; the pelvis also carries the body's offset.
enum Joint {
    kPelvis, kTorso, kHead, kArmL, kForearmL, kArmR, kForearmR, kThighL, kShinL, kThighR, kShinR, kJoints
};

const char* const kJointNames[kJoints] = {"PELVIS", "TORSO", "jnthead", "ARM_L", "FOREARM_L", "ARM_R",
                                          "FOREARM_R", "THIGH_L", "SHIN_L", "THIGH_R", "SHIN_R"};

// A pose: three angles in degrees per joint and the pelvis's offset from
// its place on the seat, in metres.
struct Pose {
    std::array<std::array<float, 3>, kJoints> angle{};
    std::array<float, 3> offset{};

    Pose& turn(Joint j, float x, float y = 0.0f, float z = 0.0f)
    {
        angle[j] = {x, y, z};
        return *this;
    }
    Pose& move(float x, float y, float z)
    {
        offset = {x, y, z};
        return *this;
    }
};

// Seated and tucked behind the screen, hands on the bars, feet on the pegs.
Pose tucked()
{
    Pose p;
    p.turn(kTorso, 62).turn(kHead, -45).turn(kArmL, 40, 0, -12).turn(kForearmL, -35).turn(kArmR, 40, 0, 12)
        .turn(kForearmR, -35).turn(kThighL, -75, 0, -8).turn(kShinL, 115).turn(kThighR, -75, 0, 8).turn(kShinR, 115);
    return p;
}

// Seated upright (braking, slow riding, on the grid).
Pose upright()
{
    Pose p = tucked();
    p.turn(kTorso, 30).turn(kHead, -20).turn(kArmL, 55, 0, -12).turn(kForearmL, -20).turn(kArmR, 55, 0, 12)
        .turn(kForearmR, -20);
    return p;
}

// Hanging off to one side (-1 left, +1 right) by `amount` (0..1).
Pose hanging(float side, float amount)
{
    Pose p = tucked();
    p.move(side * 0.18f * amount, -0.03f * amount, 0.0f);
    p.turn(kPelvis, 0, 0, -side * 12.0f * amount);
    p.turn(kTorso, 58, side * 8.0f * amount, side * 22.0f * amount);
    p.turn(kHead, -40, 0, -side * 25.0f * amount);
    // The inside knee goes out towards the road.
    if (side < 0)
        p.turn(kThighL, -70, 0, -8.0f - 45.0f * amount);
    else
        p.turn(kThighR, -70, 0, 8.0f + 45.0f * amount);
    return p;
}

// Standing beside the bike.
Pose standing()
{
    Pose p;
    p.move(0.0f, 0.08f, 0.0f).turn(kArmL, 5, 0, -8).turn(kArmR, 5, 0, 8).turn(kForearmL, -10).turn(kForearmR, -10);
    return p;
}

// A walking stride: `phase` -1..1 swings the legs and arms opposite ways.
Pose striding(float phase)
{
    Pose p = standing();
    p.turn(kThighL, -28 * phase).turn(kShinL, phase > 0 ? 30 * phase : 5).turn(kThighR, 28 * phase)
        .turn(kShinR, phase < 0 ? -30 * phase : 5).turn(kArmL, 25 * phase, 0, -8).turn(kArmR, -25 * phase, 0, 8);
    return p;
}

// Lying on the ground: on the back (side 0) or on one side.
Pose lying(float side)
{
    Pose p;
    p.move(side * 0.3f, -0.72f, -0.2f).turn(kPelvis, -85, 0, side * 70).turn(kArmL, 20, 0, -70)
        .turn(kArmR, 20, 0, 70).turn(kThighL, -10, 0, -15).turn(kThighR, -10, 0, 15).turn(kShinL, 20).turn(kShinR, 20);
    return p;
}

// Curled and rolling: `turns` of the whole body about x.
Pose tumbling(float turns, float height)
{
    Pose p;
    p.move(0.0f, height - 0.6f, 0.0f).turn(kPelvis, 360.0f * turns).turn(kTorso, 50).turn(kHead, -20)
        .turn(kArmL, 60, 0, -30).turn(kArmR, 60, 0, 30).turn(kThighL, -100).turn(kShinL, 130).turn(kThighR, -100)
        .turn(kShinR, 130);
    return p;
}

Pose kneeling()
{
    Pose p;
    p.move(0.0f, -0.35f, 0.0f).turn(kTorso, 35).turn(kThighL, -90).turn(kShinL, 90).turn(kThighR, -10)
        .turn(kShinR, 90).turn(kArmL, 30, 0, -10).turn(kArmR, 30, 0, 10);
    return p;
}

Pose crawling(float phase)
{
    Pose p;
    p.move(0.0f, -0.5f, 0.0f).turn(kPelvis, 80).turn(kHead, -60).turn(kArmL, -80 + 15 * phase)
        .turn(kArmR, -80 - 15 * phase).turn(kThighL, -90 - 15 * phase).turn(kShinL, 90).turn(kThighR, -90 + 15 * phase)
        .turn(kShinR, 90);
    return p;
}

// Bending over the fallen bike, hands low (lifting or pushing).
Pose bending(float depth)
{
    Pose p = standing();
    p.move(0.0f, 0.08f - 0.15f * depth, 0.0f).turn(kTorso, 20 + 55 * depth).turn(kArmL, 70 * depth, 0, -10)
        .turn(kArmR, 70 * depth, 0, 10).turn(kThighL, -35 * depth).turn(kShinL, 50 * depth).turn(kThighR, -35 * depth)
        .turn(kShinR, 50 * depth);
    return p;
}

// Seated, one foot on the ground (the grid, a stop, turning the bike).
Pose foot_down(float side)
{
    Pose p = upright();
    if (side < 0)
        p.turn(kThighL, -20, 0, -25).turn(kShinL, 15);
    else
        p.turn(kThighR, -20, 0, 25).turn(kShinR, 15);
    return p;
}

// Seated upright with the right arm up, waving by `wave` degrees.
Pose waving(float wave)
{
    Pose p = upright();
    p.turn(kTorso, 5).turn(kHead, -5, 15).turn(kArmR, 170, 0, 20 + wave).turn(kForearmR, -20);
    return p;
}

struct Key {
    float fraction; // of the animation's length
    Pose pose;
};

// The poses of one animation, chosen by its name.
std::vector<Key> keys_for(std::string_view name)
{
    const float side = name.find("_B") != std::string_view::npos ? 1.0f : -1.0f;
    auto starts = [&](std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; };
    if (name == "RIDE")
        return {{0.0f, hanging(-1, 0.35f)}, {0.5f, tucked()}, {1.0f, hanging(1, 0.35f)}};
    if (name == "RIDE_LEAN")
        return {{0.0f, hanging(-1, 1.0f)}, {0.5f, hanging(0, 0.0f)}, {1.0f, hanging(1, 1.0f)}};
    if (name == "PULL_AWAY")
        return {{0.0f, foot_down(-1)}, {1.0f, tucked()}};
    if (name == "STOP")
        return {{0.0f, upright()}, {1.0f, foot_down(-1)}};
    if (name == "LOOK_BEHIND") {
        Pose back = upright();
        back.turn(kTorso, 25, 25).turn(kHead, -10, 70);
        return {{0.0f, upright()}, {0.5f, back}, {1.0f, upright()}};
    }
    if (starts("LOWSIDE"))
        return {{0.0f, hanging(side, 1.0f)}, {1.0f, lying(side)}};
    if (starts("SLIDE") || starts("HALT"))
        return {{0.0f, lying(side)}, {1.0f, lying(side * 0.5f)}};
    if (starts("TUMBLE"))
        return {{0.0f, tumbling(0.0f, 0.5f)}, {0.5f, tumbling(0.5f, 0.7f)}, {1.0f, tumbling(1.0f, 0.5f)}};
    if (starts("THROWN"))
        return {{0.0f, tucked()}, {0.5f, tumbling(0.3f, 1.4f)}, {1.0f, tumbling(0.5f, 0.4f)}};
    if (starts("GET_UP"))
        return {{0.0f, lying(side)}, {0.5f, kneeling()}, {1.0f, standing()}};
    if (starts("DAZED")) {
        Pose a = standing(), b = standing();
        a.turn(kHead, 10, 0, 15).turn(kTorso, 10);
        b.turn(kHead, 10, 0, -15).turn(kTorso, 10);
        return {{0.0f, a}, {0.5f, b}, {1.0f, a}};
    }
    if (starts("RUN") || starts("WALK"))
        return {{0.0f, striding(-1)}, {0.5f, striding(1)}, {1.0f, striding(-1)}};
    if (starts("LIFT_BIKE"))
        return {{0.0f, bending(1.0f)}, {1.0f, bending(0.2f)}};
    if (starts("GET_ON")) {
        Pose over = standing();
        over.turn(kThighR, -90, 0, 40).turn(kShinR, 60).move(0.0f, 0.1f, 0.0f);
        return {{0.0f, standing()}, {0.5f, over}, {1.0f, upright()}};
    }
    if (starts("RIDE_OFF") || starts("BACK_RIDING") || name == "RIDE_OUT")
        return {{0.0f, upright()}, {1.0f, tucked()}};
    if (starts("PUSH")) {
        Pose a = striding(-1), b = striding(1);
        for (Pose* p : {&a, &b})
            p->turn(kTorso, 25).turn(kArmL, 50, 0, -10).turn(kArmR, 50, 0, 10);
        return {{0.0f, a}, {0.5f, b}, {1.0f, a}};
    }
    if (starts("CRAWL"))
        return {{0.0f, crawling(-1)}, {0.5f, crawling(1)}, {1.0f, crawling(-1)}};
    if (starts("TURN_") || starts("IDLE") || name == "STUCK") {
        Pose turned = foot_down(side);
        turned.turn(kTorso, 25, side * 15).turn(kHead, -15, side * 25);
        return {{0.0f, foot_down(side)}, {0.5f, turned}, {1.0f, foot_down(side)}};
    }
    if (name == "BUMPED_56") { // braking hard: arms straight, body up
        Pose braking = upright();
        braking.turn(kTorso, 20).turn(kArmL, 70, 0, -12).turn(kForearmL, 0).turn(kArmR, 70, 0, 12).turn(kForearmR, 0);
        return {{0.0f, tucked()}, {0.5f, braking}, {1.0f, tucked()}};
    }
    if (name == "BUMPED_57") { // a wheelie: weight forward over the tank
        Pose wheelie = tucked();
        wheelie.turn(kTorso, 75).turn(kHead, -60).move(0.0f, 0.02f, 0.08f);
        return {{0.0f, tucked()}, {0.5f, wheelie}, {1.0f, tucked()}};
    }
    if (starts("BUMPED")) {
        Pose jolt = tucked();
        jolt.turn(kTorso, 50, 0, side * 10).move(0.0f, 0.05f, 0.0f);
        return {{0.0f, tucked()}, {0.3f, jolt}, {1.0f, tucked()}};
    }
    // WINNER, GESTURE_*, CELEBRATE_*: waving at the crowd.
    return {{0.0f, upright()}, {0.25f, waving(-20)}, {0.5f, waving(20)}, {0.75f, waving(-20)}, {1.0f, upright()}};
}

anm_curve curve(std::uint32_t param, std::vector<anm_key> keys, std::uint32_t post)
{
    anm_curve c;
    c.name = "POSE";
    c.param = param;
    c.post = post;
    c.interp = 2;
    c.keys = std::move(keys);
    return c;
}

anm_animation rider_animation(const AnimationRecordSpec& record)
{
    const bool timed = record.frames > 0;
    const float seconds = timed ? static_cast<float>(record.frames) / 18.0f : 1.0f;
    const std::uint32_t post = timed ? 0u : 2u; // untimed animations cycle
    const std::vector<Key> keys = keys_for(record.name);
    anm_animation a;
    a.name = record.name;
    for (int j = 0; j < kJoints; ++j) {
        anm_object o;
        o.name = kJointNames[j];
        for (int axis = 0; axis < 3; ++axis) {
            std::vector<anm_key> k;
            for (const Key& key : keys)
                k.push_back({key.fraction * seconds, key.pose.angle[static_cast<std::size_t>(j)][static_cast<std::size_t>(axis)], 0.0f, 0.0f});
            o.curves.push_back(curve(anm::param_rotate_x + static_cast<std::uint32_t>(axis), std::move(k), post));
        }
        if (j == kPelvis) {
            // The pelvis's place: its rest position on the seat plus the offset.
            static constexpr float rest[3] = {0.0f, 0.86f, 0.48f};
            for (int axis = 0; axis < 3; ++axis) {
                std::vector<anm_key> k;
                for (const Key& key : keys)
                    k.push_back({key.fraction * seconds, rest[axis] + key.pose.offset[static_cast<std::size_t>(axis)], 0.0f, 0.0f});
                o.curves.push_back(curve(anm::param_translate_x + static_cast<std::uint32_t>(axis), std::move(k), post));
            }
        }
        a.objects.push_back(std::move(o));
    }
    return a;
}

} // namespace

const std::vector<std::string>& world_rider_joints()
{
    static const std::vector<std::string> names(std::begin(kJointNames), std::end(kJointNames));
    return names;
}

std::vector<anm_animation> world_rider_anm()
{
    std::vector<anm_animation> out;
    for (const AnimationRecordSpec& r : demo_rider_animations())
        out.push_back(rider_animation(r));
    return out;
}

std::vector<anm_animation> world_bike_anm()
{
    std::vector<anm_animation> out;
    for (const AnimationRecordSpec& r : demo_bike_animations()) {
        const float seconds = static_cast<float>(r.frames) / 18.0f;
        const float roll = r.name.back() == 'A' ? 80.0f : -80.0f;
        anm_animation a;
        a.name = r.name;
        anm_object o;
        o.name = "CHASSIS";
        // All three angles: the engine reads the angle about z only beside
        // the one about y.
        o.curves.push_back(curve(anm::param_rotate_x, {{0.0f, 0.0f, 0.0f, 0.0f}, {seconds, 0.0f, 0.0f, 0.0f}}, 0));
        o.curves.push_back(curve(anm::param_rotate_y, {{0.0f, 0.0f, 0.0f, 0.0f}, {seconds, 0.0f, 0.0f, 0.0f}}, 0));
        o.curves.push_back(curve(anm::param_rotate_z, {{0.0f, 0.0f, 0.0f, 0.0f}, {seconds, roll, 0.0f, 0.0f}}, 0));
        o.curves.push_back(curve(anm::param_translate_y, {{0.0f, 0.0f, 0.0f, 0.0f}, {seconds, 0.05f, 0.0f, 0.0f}}, 0));
        a.objects.push_back(std::move(o));
        out.push_back(std::move(a));
    }
    return out;
}

} // namespace datakit
