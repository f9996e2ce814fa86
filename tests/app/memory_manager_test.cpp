#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "app/memchunk.h"
#include "app/memmng.h"
#include "platform/fault_seam.h"

namespace {

std::uint32_t index_of(const memchunk& chunk, const void* p)
{
    return static_cast<std::uint32_t>((static_cast<const std::uint8_t*>(p) - chunk.slot_address(0)) /
                                      chunk.slot_size());
}

// Takes the slots marked 'A' in `pattern` (one character per slot).
void take_pattern(memchunk& chunk, const char* pattern)
{
    std::vector<void*> taken;
    for (std::uint32_t i = 0; i < chunk.slot_count(); ++i)
        taken.push_back(chunk.take());
    for (std::uint32_t i = 0; i < chunk.slot_count(); ++i) {
        if (pattern[i] != 'A')
            chunk.release(taken[i], 1);
    }
}

class MemoryManagerDeath : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST(MemChunk, TakesEverySlotOnceThenRefusesAndReusesAReleasedSlot)
{
    memchunk chunk(10, 16);
    for (std::uint32_t i = 0; i < 10; ++i) {
        void* p = chunk.take();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, chunk.slot_address(i));
        EXPECT_EQ(chunk.slot_state(i), 'A');
    }
    EXPECT_EQ(chunk.used(), 10u);
    EXPECT_EQ(chunk.take(), nullptr);

    chunk.release(chunk.slot_address(3), 1);
    EXPECT_EQ(chunk.hint(), 0u);
    EXPECT_EQ(chunk.used(), 9u);
    EXPECT_EQ(chunk.slot_state(3), 'F');
    EXPECT_EQ(chunk.take(), chunk.slot_address(3));
    EXPECT_EQ(chunk.hint(), 4u);
}

TEST(MemChunk, SlotsAreAlignedForAnyRecord)
{
    memchunk chunk(4, 48);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(chunk.take()) % 16, 0u);
}

TEST(MemChunk, TakeRunFollowsItsPlacementRules)
{
    struct Case {
        const char* name;
        const char* pattern;  // slot states before the run ('A' taken)
        std::uint32_t n;
        int expected;         // first slot of the run, -1 for none
    };
    const Case cases[] = {
        {"empty chunk, run from the start", "FFFFFFFFFF", 3, 0},
        {"skips past a taken slot", "FFAFFFFFFF", 3, 3},
        {"skips two gaps that are too short", "FFAFFAFFFF", 3, 6},
        // A run may end on the last slot and may fill the chunk.
        {"exactly n free, at the end", "AAAAAAAFFF", 3, 7},
        {"n + 1 free at the end: the first fit", "AAAAAAFFFF", 3, 6},
        {"the only fit ends on the last slot", "AAAAAAFAFF", 2, 8},
        {"run of the whole chunk", "FFFFFFFFFF", 10, 0},
        {"run of all but the last slot", "FFFFFFFFFF", 9, 0},
        {"one slot more than the chunk", "FFFFFFFFFF", 11, -1},
        {"enough free slots, but not side by side", "FAFFFFFFFA", 9, -1},
        {"n = 1 is take", "AAAAAAAAAF", 1, 9},
        {"n = 0 takes nothing", "FFFFFFFFFF", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        memchunk chunk(10, 16);
        take_pattern(chunk, c.pattern);
        const std::uint32_t used_before = chunk.used();
        void* run = chunk.take_run(c.n);
        if (c.expected < 0) {
            EXPECT_EQ(run, nullptr);
            EXPECT_EQ(chunk.used(), used_before);
            continue;
        }
        ASSERT_NE(run, nullptr);
        EXPECT_EQ(index_of(chunk, run), static_cast<std::uint32_t>(c.expected));
        EXPECT_EQ(chunk.used(), used_before + c.n);
        for (std::uint32_t i = 0; i < c.n; ++i)
            EXPECT_EQ(chunk.slot_state(static_cast<std::uint32_t>(c.expected) + i), 'A');
    }
}

TEST(MemChunk, ReleaseChangesOnlySlotsThatAreTaken)
{
    memchunk chunk(8, 32);
    for (int i = 0; i < 4; ++i)
        chunk.take();
    ASSERT_EQ(chunk.used(), 4u);

    // Releasing a free slot, or the same slot twice, never counts twice.
    chunk.release(chunk.slot_address(6), 1);
    EXPECT_EQ(chunk.used(), 4u);
    EXPECT_EQ(chunk.hint(), 4u);
    for (std::uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(chunk.slot_state(i), i < 4 ? 'A' : 'F') << i;
    chunk.release(chunk.slot_address(1), 1);
    chunk.release(chunk.slot_address(1), 1);
    EXPECT_EQ(chunk.used(), 3u);

    // A run over taken and free slots frees only the taken ones.
    chunk.release(chunk.slot_address(0), 4);
    EXPECT_EQ(chunk.used(), 0u);

    // Addresses outside the storage or between slots change nothing; a run
    // past the last slot stops there.
    for (int i = 0; i < 8; ++i)
        chunk.take();
    chunk.release(chunk.slot_address(0) + 8, 1);
    chunk.release(chunk.slot_address(0) - 32, 1);
    chunk.release(chunk.slot_address(7) + 32, 1);
    chunk.release(nullptr, 1);
    EXPECT_EQ(chunk.used(), 8u);
    chunk.release(chunk.slot_address(6), 100);
    EXPECT_EQ(chunk.used(), 6u);
    EXPECT_EQ(chunk.slot_state(5), 'A');
}

TEST(MemMng, BuildsItsChainAndGrowsAtTheFront)
{
    memmng pool(2, 3, 16);
    EXPECT_EQ(pool.chunk_count(), 2u);
    memchunk* first = pool.head();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->next->prev, first);

    for (int i = 0; i < 6; ++i)
        ASSERT_NE(pool.new_entry(), nullptr);
    EXPECT_EQ(pool.chunk_count(), 2u);

    // Full: one more request adds one chunk, in front, and takes from it.
    void* grown = pool.new_entry();
    EXPECT_EQ(pool.chunk_count(), 3u);
    EXPECT_NE(pool.head(), first);
    EXPECT_EQ(pool.head()->next, first);
    EXPECT_EQ(first->prev, pool.head());
    EXPECT_TRUE(pool.head()->holds(grown));
    EXPECT_EQ(pool.head()->slot_count(), 3u);
    EXPECT_EQ(pool.head()->slot_size(), 16u);

    // The next requests are served by the new chunk first.
    EXPECT_TRUE(pool.head()->holds(pool.new_entry()));
    EXPECT_EQ(pool.chunk_count(), 3u);
}

TEST(MemMng, ArraysComeFromOneChunkAndGoBackWhole)
{
    memmng pool(1, 8, 16);
    auto* a = static_cast<std::uint8_t*>(pool.new_entry_array(3));
    auto* b = static_cast<std::uint8_t*>(pool.new_entry_array(3));
    EXPECT_EQ(b, a + 3 * 16);
    EXPECT_EQ(pool.head()->used(), 6u);
    // The last 2 free slots of 8 serve a run of 2 and fill the chunk.
    void* c = pool.new_entry_array(2);
    EXPECT_EQ(c, b + 3 * 16);
    EXPECT_EQ(pool.chunk_count(), 1u);
    EXPECT_EQ(pool.head()->used(), 8u);
    // A full chunk: the next run comes from a new one.
    void* d = pool.new_entry_array(2);
    EXPECT_EQ(pool.chunk_count(), 2u);
    EXPECT_TRUE(pool.head()->holds(d));

    pool.delete_entry(a, 3);
    EXPECT_EQ(pool.head()->next->used(), 5u);
    // An address no chunk holds changes nothing.
    int outside = 0;
    pool.delete_entry(&outside, 1);
    pool.delete_entry(nullptr, 1);
    EXPECT_EQ(pool.head()->next->used(), 5u);
    EXPECT_TRUE(pool.holds(b));
    EXPECT_FALSE(pool.holds(&outside));
}

TEST(MemMng, ResetAndDestroyKeepTheGeometry)
{
    memmng pool;
    EXPECT_EQ(pool.head(), nullptr);
    pool.reset(1, 4, 32);
    EXPECT_EQ(pool.chunk_count(), 1u);
    pool.destroy();
    EXPECT_EQ(pool.chunk_count(), 0u);
    // An empty chain still grows with the geometry it was given.
    void* p = pool.new_entry();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(pool.chunk_count(), 1u);
    EXPECT_EQ(pool.head()->slot_size(), 32u);
}

TEST(MemMng, RetiredChunksWaitForTheirRecords)
{
    const std::uint32_t before = memmng::retired_chunk_count();
    memmng pool(1, 4, 16);
    void* a = pool.new_entry();
    auto* run = static_cast<std::uint8_t*>(pool.new_entry_array(2));
    void* full = pool.new_entry_array(4);  // a second chunk, all of it out
    memmng empty(2, 4, 16);   // chunks with nothing out go at once
    empty.retire();
    pool.retire();
    EXPECT_EQ(pool.chunk_count(), 0u);
    EXPECT_EQ(pool.slots_per_chunk(), 4u);
    EXPECT_EQ(memmng::retired_chunk_count(), before + 2);

    int outside = 0;
    EXPECT_FALSE(memmng::give_back_retired(&outside, 1));
    EXPECT_FALSE(memmng::give_back_retired(nullptr, 1));
    EXPECT_TRUE(memmng::give_back_retired(a, 1));
    EXPECT_EQ(memmng::retired_chunk_count(), before + 2);
    EXPECT_TRUE(memmng::give_back_retired(run, 2));
    EXPECT_EQ(memmng::retired_chunk_count(), before + 1);
    EXPECT_FALSE(memmng::give_back_retired(run, 2)) << "its chunk is gone";

    EXPECT_TRUE(memmng::give_back_retired(full, 4));
    EXPECT_EQ(memmng::retired_chunk_count(), before);

    // The pool itself grows again with its geometry.
    EXPECT_NE(pool.new_entry(), nullptr);
    EXPECT_EQ(pool.chunk_count(), 1u);
}

TEST_F(MemoryManagerDeath, OutOfMemoryEndsTheProgramWithItsMessage)
{
    EXPECT_EXIT(
        {
            platform::fail_next(platform::Fault::MemoryAlloc);
            memchunk chunk(4, 16);
        },
        ::testing::ExitedWithCode(1), "\\[error\\] \nERROR\\. \\(memchunk::memchunk\\) Out of memory!\n");
    EXPECT_EXIT(
        {
            platform::fail_next(platform::Fault::MemoryAlloc);
            memmng pool(2, 4, 16);
        },
        ::testing::ExitedWithCode(1), "\\[error\\] \nERROR\\. \\(memmng::memmng\\) Out of memory!\n");
    EXPECT_EXIT(
        {
            memmng pool(1, 2, 16);
            pool.new_entry();
            pool.new_entry();
            platform::fail_next(platform::Fault::MemoryAlloc);
            pool.new_entry();
        },
        ::testing::ExitedWithCode(1), "\\[error\\] \nERROR\\. \\(memmng::new_entry\\) Out of memory!\n");
    EXPECT_EXIT(
        {
            memmng pool;
            pool.new_entry();
        },
        ::testing::ExitedWithCode(1), "\nERROR\\. \\(memmng::new_entry\\) Out of memory!\n");
}

TEST_F(MemoryManagerDeath, ARunOfAWholeChunkIsServedAndALongerOneIsOutOfMemory)
{
    // A pool of 150 records (the curve keys' geometry), partly used: a run
    // of exactly one chunk fits a fresh chunk and is served from it.
    memmng pool(1, 150, 48);
    void* first = pool.new_entry();
    auto* whole = static_cast<std::uint8_t*>(pool.new_entry_array(150));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(pool.chunk_count(), 2u);
    EXPECT_EQ(pool.head()->used(), 150u);
    EXPECT_EQ(whole, pool.head()->slot_address(0));
    EXPECT_FALSE(pool.head()->holds(first));
    pool.delete_entry(whole, 150);
    EXPECT_EQ(pool.head()->used(), 0u);

    EXPECT_EXIT(pool.new_entry_array(151), ::testing::ExitedWithCode(1),
                "\\[error\\] \nERROR\\. \\(memmng::new_entry\\[\\]\\) Out of memory!\n");
}
