#include <gtest/gtest.h>

#include <cmath>

#include "race/ai_load.h"
#include "sim/race_conditions.h"
#include "sim/track.h"
#include "tests/race/race_fixture.h"
#include "tests/support/fp_traps.h"

using namespace race_test;

namespace {

using AiLoadTest = RaceFixture;

TEST(AiSkillListName, ByModelWeatherAndSkill)
{
    EXPECT_EQ(AiSkillListName(4, 1, 2), "SIM_RAIN_PRO");
    EXPECT_EQ(AiSkillListName(6, 0, 0), "ARCADE_SUNNY_BEGINNER");
    EXPECT_EQ(AiSkillListName(0, 2, 3), "SIM_FOG_REAL");
    EXPECT_EQ(AiSkillListName(4, 7, 9), "SIM_") << "unknown weather and skill add nothing";
}

// A path of straights and arcs, one metre record per metre.
struct PathPiece {
    float length;
    float radius;
    float limitKmh;
};

void MakePath(Track& path, const std::vector<PathPiece>& pieces)
{
    path.Segments.clear();
    path.SegmentStart.clear();
    float start = 0.0f;
    for (const PathPiece& p : pieces) {
        TrackSegment s;
        s.Length = p.length;
        s.Radius = p.radius;
        s.SpeedLimit = p.limitKmh;
        path.Segments.push_back(s);
        path.SegmentStart.push_back(start);
        start += p.length;
    }
    path.SegmentStart.push_back(start);
    path.Length = start;
    path.Metres.assign(static_cast<std::size_t>(start), TrackMetre{});
}

float Target(const Track& path, int k)
{
    const int n = path.MetreCount();
    return path.Metres[static_cast<std::size_t>(((k % n) + n) % n)].RefSpeed;
}

constexpr float kG = 9.80665f;

// A straight path without limits has no target anywhere; a limit holds its
// section, the eleven metres before it keep the limit, and from the twelfth
// the target rises by braking (at half the rate before a negative limit).
TEST(SpeedProfile, StraightsAndLimits)
{
    torvane_test::FpTraps traps;
    const AiSkill skill{-0.8f, 1.2f};
    Track path;
    MakePath(path, {{1000.0f, 0.0f, 0.0f}});
    BuildSpeedProfile(path, skill);
    for (int k = 0; k < path.MetreCount(); ++k)
        ASSERT_EQ(Target(path, k), 100000.0f) << k;

    for (float limit : {72.0f, -72.0f}) {
        MakePath(path, {{400.0f, 0.0f, 0.0f}, {100.0f, 0.0f, limit}, {500.0f, 0.0f, 0.0f}});
        BuildSpeedProfile(path, skill);
        const float v = 72.0f * 0.2777778f;
        for (int k = 400; k < 500; ++k)
            EXPECT_FLOAT_EQ(Target(path, k), v) << k;
        for (int k = 389; k < 400; ++k)
            EXPECT_FLOAT_EQ(Target(path, k), v) << k;
        const float brake = (limit < 0.0f ? 1.0f : 2.0f) * -skill.Braking * kG;
        EXPECT_FLOAT_EQ(Target(path, 388), std::sqrt(v * v + brake)) << limit;
        EXPECT_FLOAT_EQ(Target(path, 387), std::sqrt(v * v + 2.0f * brake)) << limit;
        EXPECT_LT(Target(path, 0), 100000.0f) << "braking reaches back round the path";
    }
}

// In a corner the target is (|r| x grip x g) ^ 0.495; braking does not count
// on the tight corner's own metres (radius 80 m or less).
TEST(SpeedProfile, Corners)
{
    torvane_test::FpTraps traps;
    const AiSkill skill{-0.8f, 1.2f};
    Track path;
    MakePath(path, {{500.0f, 0.0f, 0.0f}, {200.0f, -60.0f, 0.0f}, {500.0f, 0.0f, 0.0f}});
    BuildSpeedProfile(path, skill);
    const float corner = static_cast<float>(std::pow(60.0 * 1.2 * static_cast<double>(kG), 0.495));
    EXPECT_FLOAT_EQ(Target(path, 550), corner);
    EXPECT_FLOAT_EQ(Target(path, 500), corner);
    EXPECT_FLOAT_EQ(Target(path, 489), corner);
    EXPECT_GT(Target(path, 488), corner);
    for (int k = 100; k < 488; ++k)
        EXPECT_GT(Target(path, k), Target(path, k + 1)) << k;
}

// The demo circuit's profile: finite and positive everywhere, never above
// the corner speed in a corner; the pit lane held to 80 km/h.
TEST_F(AiLoadTest, SpeedProfileOfTheDemoCircuit)
{
    torvane_test::FpTraps traps;
    ASSERT_TRUE(Load());
    const Track& circuit = race->m_Circuit;
    const AiSkill skill = race->m_AiSkill;
    for (int k = 0; k < circuit.MetreCount(); ++k) {
        const float target = Target(circuit, k);
        ASSERT_TRUE(std::isfinite(target)) << k;
        ASSERT_GT(target, 0.0f) << k;
        const float r = circuit.CurveRadiusAt(static_cast<float>(k));
        if (r != 0.0f) {
            EXPECT_LE(target, static_cast<float>(std::pow(static_cast<double>(std::fabs(r) * skill.Grip * kG), 0.495)) *
                                  1.0001f)
                << k;
        }
    }
    const Track& pit = race->m_PitLane;
    for (const TrackSegment& section : pit.Segments)
        EXPECT_NE(section.SpeedLimit, 0.0f);
    for (int k = 0; k < pit.MetreCount(); ++k)
        EXPECT_LE(Target(pit, k), 80.0f * 0.2777778f * 1.0001f) << k;
}

// The practice arches of an arch file replace the one-per-section arches;
// the file's size alone bounds the count (1500 arches load), and a file
// whose count does not fit its size fails the load.
TEST_F(AiLoadTest, PracticeArchFile)
{
    auto arcFile = [](std::int32_t count, int records) {
        std::string bytes;
        auto put = [&bytes](std::uint32_t v) {
            for (int b = 0; b < 4; ++b)
                bytes.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
        };
        put(static_cast<std::uint32_t>(count));
        for (int i = 0; i < records; ++i) {
            for (int v = 0; v < 6; ++v) {
                const float f = static_cast<float>(i * 10 + v);
                std::uint32_t bits;
                std::memcpy(&bits, &f, 4);
                put(bits);
            }
            put(1);
            put(0);
            put(0);
        }
        return bytes;
    };
    Header("Sugo", 0, 2);
    WriteText(dir() / "Data" / "Practice" / "Sugo.arc", arcFile(2, 2));
    ASSERT_TRUE(Load());
    ASSERT_EQ(race->m_Arches.size(), 2u);
    EXPECT_EQ(race->m_Arches[1].Position[0], 10.0f);
    EXPECT_EQ(race->m_Arches[1].Angles[2], 15.0f);
    EXPECT_EQ(race->m_Arches[1].Kind, 1);
    race.reset();

    WriteText(dir() / "Data" / "Practice" / "Sugo.arc", arcFile(1500, 1500));
    ASSERT_TRUE(Load());
    EXPECT_EQ(race->m_Arches.size(), 1500u);
    race.reset();

    WriteText(dir() / "Data" / "Practice" / "Sugo.arc", arcFile(1000, 2));
    EXPECT_FALSE(Load());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_NE(Boxes().back().text.find("Sugo.arc"), std::string::npos);
}

} // namespace
