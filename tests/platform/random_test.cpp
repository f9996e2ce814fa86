#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/random.h"

namespace {

std::vector<int> draw(platform::RandomStream& stream, int n)
{
    std::vector<int> out;
    for (int i = 0; i < n; ++i)
        out.push_back(stream.next());
    return out;
}

} // namespace

TEST(RandomStream, SequencesFromKnownSeeds)
{
    struct Case {
        std::uint32_t seed;
        std::vector<int> first;
    };
    const Case cases[] = {
        {1, {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464}},
        {0x5F3759DF, {9212, 8736, 7370, 32319, 4983, 23862, 304, 31055}},
        {0, {38, 7719, 21238, 2437, 8855}},
    };
    for (const Case& c : cases) {
        platform::RandomStream stream;
        stream.seed(c.seed);
        EXPECT_EQ(draw(stream, static_cast<int>(c.first.size())), c.first) << "seed " << c.seed;
    }

    // An unseeded stream behaves as if seeded with 1.
    platform::RandomStream fresh;
    EXPECT_EQ(draw(fresh, 3), (std::vector<int>{41, 18467, 6334}));
}

TEST(RandomStream, StateContinuesTheSequenceExactly)
{
    platform::RandomStream stream(1);
    for (int i = 0; i < 10000; ++i)
        stream.next();
    EXPECT_EQ(stream.state(), 0xC96C24D1u);

    platform::RandomStream copy;
    copy.set_state(stream.state());
    EXPECT_EQ(draw(copy, 50), draw(stream, 50));
}

TEST(RandomStream, ValuesStayInRangeAndReachBothEnds)
{
    // Formulas divide by RAND_MAX_VALUE and expect both 0 and 1 to occur.
    platform::RandomStream stream(12345);
    int low = platform::RAND_MAX_VALUE;
    int high = 0;
    for (int i = 0; i < 1 << 20; ++i) {
        const int v = stream.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, platform::RAND_MAX_VALUE);
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, platform::RAND_MAX_VALUE);
}

TEST(RandomStreams, NamedStreamsAreIndependent)
{
    using platform::RandomStreamId;
    auto& sim = platform::random_stream(RandomStreamId::Simulation);
    auto& cosmetic = platform::random_stream(RandomStreamId::Cosmetic);
    EXPECT_NE(&sim, &cosmetic);
    EXPECT_EQ(&platform::random_stream(RandomStreamId::Simulation), &sim);

    // The simulation's sequence is the same whether or not cosmetic values
    // and default values are drawn between its steps.
    sim.seed(0x5F3759DF);
    const std::vector<int> alone = draw(sim, 8);

    sim.seed(0x5F3759DF);
    cosmetic.seed(7);
    platform::srand(99);
    std::vector<int> interleaved;
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < i; ++k)
            cosmetic.next();
        platform::rand();
        interleaved.push_back(sim.next());
    }
    EXPECT_EQ(interleaved, alone);
}

TEST(RandomStreams, RandAndSrandUseTheDefaultStream)
{
    auto& def = platform::random_stream(platform::RandomStreamId::Default);
    auto& sim = platform::random_stream(platform::RandomStreamId::Simulation);
    sim.seed(5);
    const std::uint32_t sim_state = sim.state();

    platform::srand(1);
    EXPECT_EQ(def.state(), 1u);
    EXPECT_EQ(platform::rand(), 41);
    EXPECT_EQ(platform::rand(), 18467);
    EXPECT_EQ(def.next(), 6334);
    EXPECT_EQ(platform::rand(), 26500);
    EXPECT_EQ(sim.state(), sim_state);
}
