#include "tools/datakit/rider_state_writer.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace datakit {

namespace {

// One demo record: frames, speed threshold (km/h), attached, follow-ups, name.
struct DemoRecord {
    std::int32_t frames;
    float speed_kmh;
    std::int32_t attached;
    std::vector<std::int32_t> follow_ups;
    const char* name;
};

// States 0..70. Family A is the side of a fall with the bike's roll not
// above 0, family B the other side. Falls go: thrown or low side -> tumble
// or slide while fast -> halt -> get up -> dazed -> walk back to the bike
// (the crash step ends the walk beside the bike) -> lift it -> turn it
// round as needed -> get on -> ride off -> riding. A push turns the bike by
// less than the remount's window of +-0.3 rad (12 frames: at most 0.4 rad at
// the fallen riders' fastest clock), so turning never overshoots.
const DemoRecord kDemoRider[kRiderAnimationRecords] = {
    {18, 0.0f, 1, {}, "PULL_AWAY"},          // 0
    {18, 0.0f, 1, {}, "STOP"},               // 1
    {0, 0.0f, 1, {}, "RIDE"},                // 2
    {0, 0.0f, 1, {}, "RIDE_LEAN"},           // 3
    {0, 0.0f, 1, {}, "LOOK_BEHIND"},         // 4
    {12, 0.0f, 0, {7, 13}, "LOWSIDE_A"},     // 5
    {12, 0.0f, 0, {8, 14}, "LOWSIDE_B"},     // 6
    {18, 15.0f, 0, {7, 13}, "SLIDE_A"},      // 7: while at least 15 km/h
    {18, 15.0f, 0, {8, 14}, "SLIDE_B"},      // 8
    {18, 25.0f, 0, {9, 7, 13}, "TUMBLE_A"},  // 9: while at least 25 km/h
    {12, 0.0f, 0, {9, 7, 13}, "THROWN_A"},   // 10
    {12, 0.0f, 0, {12, 8, 14}, "THROWN_B"},  // 11
    {18, 25.0f, 0, {12, 8, 14}, "TUMBLE_B"}, // 12
    {18, -15.0f, 0, {15, 13}, "HALT_A"},     // 13: at most 15 km/h
    {18, -15.0f, 0, {16, 14}, "HALT_B"},     // 14
    {36, -3.0f, 0, {17}, "GET_UP_A"},        // 15: at most 3 km/h
    {36, -3.0f, 0, {18}, "GET_UP_B"},        // 16
    {18, 0.0f, 0, {29}, "DAZED_A"},          // 17
    {18, 0.0f, 0, {30}, "DAZED_B"},          // 18
    {18, 0.0f, 0, {19}, "RUN_A"},            // 19
    {18, 0.0f, 0, {20}, "RUN_B"},            // 20
    {36, 0.0f, 1, {}, "LIFT_BIKE_A"},        // 21
    {36, 0.0f, 1, {23}, "GET_ON_A"},         // 22
    {18, 0.0f, 1, {}, "RIDE_OFF_A"},         // 23
    {18, 0.0f, 1, {}, "BACK_RIDING_A"},      // 24
    {36, 0.0f, 1, {}, "LIFT_BIKE_B"},        // 25
    {36, 0.0f, 1, {27}, "GET_ON_B"},         // 26
    {18, 0.0f, 1, {}, "RIDE_OFF_B"},         // 27
    {18, 0.0f, 1, {}, "BACK_RIDING_B"},      // 28
    {18, 0.0f, 0, {29}, "WALK_A"},           // 29
    {18, 0.0f, 0, {30}, "WALK_B"},           // 30
    {54, 0.0f, 1, {}, "WINNER"},             // 31
    {18, 0.0f, 1, {}, "TURN_START_A1"},      // 32
    {18, 0.0f, 1, {}, "TURN_START_B1"},      // 33
    {18, 0.0f, 1, {}, "TURN_START_A2"},      // 34
    {18, 0.0f, 1, {}, "TURN_START_B2"},      // 35
    {18, 0.0f, 1, {}, "IDLE_36"},            // 36
    {18, 0.0f, 1, {}, "IDLE_37"},            // 37
    {18, 0.0f, 1, {}, "IDLE_38"},            // 38
    {18, 0.0f, 1, {}, "IDLE_39"},            // 39
    {18, 0.0f, 1, {}, "IDLE_40"},            // 40
    {12, 0.0f, 1, {}, "PUSH_A1"},            // 41
    {18, 0.0f, 1, {}, "TURN_END_A1"},        // 42
    {18, 0.0f, 1, {}, "TURN_SWITCH_A2"},     // 43
    {12, 0.0f, 1, {}, "PUSH_B1"},            // 44
    {18, 0.0f, 1, {}, "TURN_END_B1"},        // 45
    {18, 0.0f, 1, {}, "TURN_SWITCH_B2"},     // 46
    {12, 0.0f, 1, {}, "PUSH_A2"},            // 47
    {18, 0.0f, 1, {}, "TURN_END_A2"},        // 48
    {18, 0.0f, 1, {}, "TURN_SWITCH_A1"},     // 49
    {12, 0.0f, 1, {}, "PUSH_B2"},            // 50
    {18, 0.0f, 1, {}, "TURN_END_B2"},        // 51
    {18, 0.0f, 1, {}, "TURN_SWITCH_B1"},     // 52
    {18, 0.0f, 0, {53}, "CRAWL_A"},          // 53
    {18, 0.0f, 0, {54}, "CRAWL_B"},          // 54
    {36, 0.0f, 1, {}, "STUCK"},              // 55
    {18, 0.0f, 1, {}, "BUMPED_56"},          // 56
    {18, 0.0f, 1, {}, "BUMPED_57"},          // 57
    {18, 0.0f, 1, {}, "BUMPED_58"},          // 58
    {18, 0.0f, 1, {}, "BUMPED_59"},          // 59
    {24, 0.0f, 1, {}, "GESTURE_60"},         // 60
    {24, 0.0f, 1, {}, "GESTURE_61"},         // 61
    {24, 0.0f, 1, {}, "GESTURE_62"},         // 62
    {24, 0.0f, 1, {}, "GESTURE_63"},         // 63
    {18, 0.0f, 1, {}, "IDLE_64"},            // 64
    {18, 0.0f, 1, {}, "IDLE_65"},            // 65
    {36, 0.0f, 1, {}, "RIDE_OUT"},           // 66
    {36, 0.0f, 1, {}, "CELEBRATE_67"},       // 67
    {36, 0.0f, 1, {}, "CELEBRATE_68"},       // 68
    {36, 0.0f, 1, {}, "CELEBRATE_69"},       // 69
    {36, 0.0f, 1, {}, "CELEBRATE_70"},       // 70
};

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

void add_animation_list(TypedListWriter& out, std::string_view list_name,
                        const std::vector<AnimationRecordSpec>& records)
{
    out.begin_list(list_name);
    for (const AnimationRecordSpec& r : records) {
        if (r.follow_ups.size() > static_cast<std::size_t>(kAnimationFollowUps))
            throw std::invalid_argument("an animation record holds at most five follow-up states");
        std::int32_t slots[kAnimationFollowUps] = {-1, -1, -1, -1, -1};
        for (std::size_t k = 0; k < r.follow_ups.size(); ++k)
            slots[k] = r.follow_ups[k];
        out.record({TypedField::i(slots[0]), TypedField::i(slots[1]), TypedField::i(slots[2]),
                    TypedField::i(slots[3]), TypedField::i(slots[4]), TypedField::i(r.frames),
                    TypedField::f(r.speed_kmh), TypedField::i(r.attached), TypedField::i(r.spare),
                    TypedField::s(r.name)});
    }
    out.end_list();
}

std::vector<AnimationRecordSpec> demo_rider_animations()
{
    std::vector<AnimationRecordSpec> records;
    records.reserve(std::size(kDemoRider));
    for (const DemoRecord& d : kDemoRider) {
        AnimationRecordSpec r;
        r.follow_ups = d.follow_ups;
        r.frames = d.frames;
        r.speed_kmh = d.speed_kmh;
        r.attached = d.attached;
        r.name = d.name;
        records.push_back(std::move(r));
    }
    return records;
}

std::vector<AnimationRecordSpec> demo_bike_animations()
{
    AnimationRecordSpec a;
    a.frames = 36;
    a.name = "BIKE_FALL_A";
    AnimationRecordSpec b = a;
    b.name = "BIKE_FALL_B";
    return {a, b};
}

bool append_animation_lists(const std::filesystem::path& info, const std::vector<AnimationRecordSpec>& rider,
                            const std::vector<AnimationRecordSpec>& bike, std::string& error)
{
    TypedListWriter lists;
    add_animation_list(lists, "RIDER_ANIMATIONS", rider);
    add_animation_list(lists, "BIKE_ANIMATIONS", bike);
    std::string text = read_text(info);
    if (!text.empty() && text.back() != '\n')
        text += "\r\n";
    text += lists.text();
    return write_text_file(info, text, error);
}

bool write_demo_animation_sets(const std::filesystem::path& root, std::string& error)
{
    return append_animation_lists(root / "Data" / "Info.dat", demo_rider_animations(), demo_bike_animations(), error);
}

} // namespace datakit
