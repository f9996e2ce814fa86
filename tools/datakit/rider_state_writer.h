#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/datakit/typed_list_writer.h"

namespace datakit {

// Writers of the animation sets of "Data\Info.dat": the list
// "RIDER_ANIMATIONS" (one record per rider state 0..70) and the list
// "BIKE_ANIMATIONS" (two records: the bike falling to one side and to the
// other). docs/sim-rider-states.md says what the states do.

inline constexpr int kRiderAnimationRecords = 71;
inline constexpr int kBikeAnimationRecords = 2;
inline constexpr int kAnimationFollowUps = 5;

// One 68-byte record, written as the typed fields i i i i i i f i i s.
struct AnimationRecordSpec {
    std::vector<std::int32_t> follow_ups; // at most 5; the unused slots are written as -1
    std::int32_t frames = 0;              // 18 per second; 0 = not timed
    float speed_kmh = 0.0f;               // as a follow-up: + at least, - at most, 0 any speed
    std::int32_t attached = 0;            // non-zero: the rider follows the bike
    std::int32_t spare = 0;
    std::string name;                     // the animation's name: one word, at most 31 characters
};

// Appends a list of animation records (one per line). More than five
// follow-ups throw std::invalid_argument.
void add_animation_list(TypedListWriter& out, std::string_view list_name,
                        const std::vector<AnimationRecordSpec>& records);

// The demo animation sets: every fall leads through getting up and walking
// back to the bike, lifting it, turning it and getting back on; the riding,
// look-behind and head-turn records are not timed.
std::vector<AnimationRecordSpec> demo_rider_animations();
std::vector<AnimationRecordSpec> demo_bike_animations();

// Appends both lists to the typed list file `info` (what it already holds,
// such as "MANUFACTURERS", is kept; a missing file is started), written
// through a temporary file and a rename.
bool append_animation_lists(const std::filesystem::path& info, const std::vector<AnimationRecordSpec>& rider,
                            const std::vector<AnimationRecordSpec>& bike, std::string& error);

// Appends the demo animation sets to "Data/Info.dat" below `root`; runs after
// the bike data, which starts that file.
bool write_demo_animation_sets(const std::filesystem::path& root, std::string& error);

} // namespace datakit
