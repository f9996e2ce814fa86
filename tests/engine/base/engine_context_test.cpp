#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/pool_new.h"
#include "engine/base/recip_table.h"
#include "engine/base/render_facts.h"
#include "engine/base/shade_table.h"
#include "platform/fault_seam.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/shade_table_writer.h"

namespace {

// A record of pool 12's size class (40 bytes, rounded up to 48), with a
// destructor so that its arrays carry a count in front of the first element.
struct test_curve : pool_record<test_curve, pool_fcurve> {
    static inline int destroyed = 0;
    std::uint32_t words[10] = {};
    ~test_curve() { ++destroyed; }
};

struct linked_record {
    int value = 0;
    linked_record* prev = reinterpret_cast<linked_record*>(1);
    linked_record* next = reinterpret_cast<linked_record*>(1);
};

// Each test gets a fresh context and leaves no current context behind.
class EngineContext : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    void TearDown() override
    {
        current_engine = nullptr;
        engine_render_facts() = render_facts{};
        platform::clear_faults();
    }
};

std::uintptr_t address(const void* p)
{
    return reinterpret_cast<std::uintptr_t>(p);
}

// Writes every byte of a buffer, so that the sanitizer build sees any buffer
// shorter than its record count.
template <class T>
void fill(T* records, std::size_t count)
{
    ASSERT_NE(records, nullptr);
    std::memset(static_cast<void*>(records), 0x5A, count * sizeof(T));
}

} // namespace

TEST_F(EngineContext, ConstructorSetsItsFieldsAndBuffers)
{
    torvane_test::FpTraps traps;
    software_vertex_limit = 1;
    engine e;
    EXPECT_EQ(current_engine, nullptr);  // the creator makes it current
    EXPECT_EQ(e.render_type, 0);
    EXPECT_EQ(e.first_word, 0u);
    EXPECT_EQ(e.mode_word, 2u);
    EXPECT_EQ(e.factor_a, 0.5f);
    EXPECT_EQ(e.height_threshold, 0.6f);
    EXPECT_EQ(e.vertex_capacity_word, 1000u);
    EXPECT_EQ(e.camera, nullptr);
    EXPECT_EQ(software_vertex_limit, 16000);
    fill(e.vertex_a1, vertex_buffer_capacity);
    fill(e.vertex_a2, vertex_buffer_capacity);
    fill(e.work_c1, vertex_buffer_capacity);
    fill(e.work_c2, vertex_buffer_capacity);
    EXPECT_EQ(e.vertex_b1, nullptr);
    EXPECT_EQ(e.vertex_b2, nullptr);
    EXPECT_EQ(e.sw_vertices, nullptr);
    EXPECT_EQ(e.depth_buckets, nullptr);
    EXPECT_EQ(e.span_buffers[0], nullptr);

    EXPECT_EQ(recip_table[0], 1.0f);
    EXPECT_EQ(recip_table[3], static_cast<float>(1.0 / 3.0));
    EXPECT_EQ(recip_table[1023], static_cast<float>(1.0 / 1023.0));

    e.set_factors(0.9f, 0.8f);
    e.set_threshold(0.25f);
    e.set_mode_word(1);
    EXPECT_EQ(e.factor_a, 0.9f);
    EXPECT_EQ(e.factor_b, 0.8f);
    EXPECT_EQ(e.height_threshold, 0.25f);
    EXPECT_EQ(e.mode_word, 1u);
}

TEST_F(EngineContext, PoolsHaveTheRecordSizesAndCountsOfTheirTypes)
{
    engine e;
    // Starting record counts of each pool type, and the size its record had
    // in the 32-bit layout: the record of the real type holds the same
    // fields, so it is at least that large.
    struct Pool {
        int type;
        std::uint32_t count;
        std::uint32_t bytes_32bit;
    };
    const Pool pools[] = {
        {0, 6000, 64}, {1, 10, 100}, {2, 600, 40},  {3, 100, 72},  {4, 5, 168},   {5, 5, 40},   {6, 20, 80},
        {7, 20, 80},   {8, 100, 40}, {9, 20, 80},   {10, 20, 116}, {11, 100, 40}, {12, 500, 40}, {13, 150, 32},
    };
    for (const Pool& p : pools) {
        SCOPED_TRACE(p.type);
        const memmng& pool = e.pool(p.type);
        EXPECT_EQ(pool.chunk_count(), 1u);
        EXPECT_EQ(pool.slots_per_chunk(), p.count);
        EXPECT_EQ(pool.slot_size(), engine_pool_record_bytes[p.type]);
        EXPECT_EQ(pool.slot_size() % 16, 0u);
        EXPECT_GE(pool.slot_size(), p.bytes_32bit);
    }
    EXPECT_EQ(e.pool(pool_anim_node).slots_per_chunk(), 6000u);
    EXPECT_EQ(e.pool(pool_fcurve_key).slots_per_chunk(), 150u);
    EXPECT_EQ(e.lattice_point_pool.slot_size(), 5488u);
    EXPECT_EQ(e.shape_key_pool.slot_size(), 131072u);
    EXPECT_EQ(e.shape_offset_pool.slot_size(), 16384u);
    EXPECT_EQ(e.lattice_point_pool.slots_per_chunk(), 1u);
    EXPECT_EQ(engine_pool_record_bytes[pool_fcurve], round_up_16(sizeof(test_curve)));
}

TEST_F(EngineContext, SoftwarePathSizesItsBuffersByTheMachinesMemory)
{
    struct Case {
        bool low_memory;
        int limit;
    };
    for (const Case c : {Case{true, 15990}, Case{false, 31990}}) {
        SCOPED_TRACE(c.limit);
        engine_render_facts().low_memory = c.low_memory;
        engine e;
        e.set_render_type(1);
        EXPECT_EQ(e.render_type, 1);
        EXPECT_EQ(software_vertex_limit, c.limit);
        EXPECT_EQ(current_engine, &e);
        fill(e.sw_vertices, static_cast<std::size_t>(c.limit));
        fill(e.sw_vertices2, static_cast<std::size_t>(c.limit));
        EXPECT_EQ(static_cast<std::size_t>(c.limit) * 48, c.low_memory ? 767520u : 1535520u);
        fill(e.sw_work, face_entry_count);
        fill(e.span_buffers[0], engine::span_buffer_records);
        fill(e.span_buffers[1], engine::span_buffer_records);
        EXPECT_EQ(e.vertex_b1, nullptr);
        EXPECT_EQ(e.vertex_b2, nullptr);
        ASSERT_NE(e.depth_buckets, nullptr);
        for (std::size_t i = 0; i < depth_bucket_count; ++i)
            ASSERT_EQ(e.depth_buckets[i], nullptr) << i;
        e.depth_buckets[5] = e.sw_work;
        e.clear_depth_buckets();
        EXPECT_EQ(e.depth_buckets[5], nullptr);
    }
}

TEST_F(EngineContext, SwitchingRenderTypesSwapsTheBuffers)
{
    engine e;
    e.set_render_type(2);
    EXPECT_EQ(current_engine, nullptr);  // only the software path makes it current
    fill(e.vertex_b1, vertex_buffer_capacity);
    fill(e.vertex_b2, vertex_buffer_capacity);
    EXPECT_EQ(e.sw_vertices, nullptr);

    e.set_render_type(1);
    EXPECT_EQ(e.vertex_b1, nullptr);
    EXPECT_EQ(e.vertex_b2, nullptr);
    EXPECT_NE(e.sw_vertices, nullptr);

    e.set_render_type(2);
    EXPECT_NE(e.vertex_b1, nullptr);
    EXPECT_EQ(e.sw_vertices, nullptr);
    EXPECT_EQ(e.sw_vertices2, nullptr);
    EXPECT_EQ(e.sw_work, nullptr);
    EXPECT_EQ(e.depth_buckets, nullptr);
    EXPECT_EQ(e.span_buffers[0], nullptr);
    EXPECT_EQ(e.span_buffers[1], nullptr);
    // A second 3D-device type frees and allocates B1 and B2 again (the
    // sanitizer build sees a leak otherwise).
    e.set_render_type(3);
    EXPECT_NE(e.vertex_b2, nullptr);
}

TEST_F(EngineContext, PoolRequestsTakeEnoughRecordsForTheirSize)
{
    engine e;
    current_engine = &e;
    // Pool 12 has 48-byte records.
    struct Case {
        std::size_t size;
        std::uint32_t records;
    };
    const Case cases[] = {{1, 1},   {40, 1},  {47, 1},  {48, 1},  {49, 2},
                          {80, 2},  {84, 2},  {96, 2},  {97, 3},  {144, 3},
                          // Sizes near the top of the range must not wrap
                          // round to a small count.
                          {SIZE_MAX, UINT32_MAX}, {SIZE_MAX - 100, UINT32_MAX},
                          {std::size_t{48} * UINT32_MAX, UINT32_MAX}};
    for (const Case c : cases)
        EXPECT_EQ(engine_pool_records_for(pool_fcurve, c.size), c.records) << c.size;

    void* one = ::operator new(48, pool_fcurve);
    void* two = ::operator new(96, pool_fcurve);
    void* three = ::operator new(100, pool_fcurve);
    void* next = ::operator new(1, pool_fcurve);
    EXPECT_EQ(address(two), address(one) + 48);
    EXPECT_EQ(address(three), address(two) + 2 * 48);
    EXPECT_EQ(address(next), address(three) + 3 * 48);
    EXPECT_EQ(e.pool(pool_fcurve).head()->used(), 7u);
    for (void* p : {one, two, three, next})
        EXPECT_TRUE(e.pool(pool_fcurve).holds(p));

    pool_record_delete(three, 100, pool_fcurve);
    EXPECT_EQ(e.pool(pool_fcurve).head()->used(), 4u);

    // Size 0 touches no pool.
    EXPECT_EQ(::operator new(0, pool_fcurve), nullptr);
    EXPECT_EQ(::operator new(0, pool_heap), nullptr);
    EXPECT_EQ(e.pool(pool_fcurve).head()->used(), 4u);
}

TEST_F(EngineContext, APooledRecordGoesBackToItsPoolAndAHeapRecordToTheHeap)
{
    engine e;
    current_engine = &e;
    const memmng& pool = e.pool(pool_fcurve);

    test_curve* pooled = new (pool_fcurve) test_curve;
    EXPECT_TRUE(pool.holds(pooled));
    EXPECT_EQ(pool.head()->used(), 1u);
    test_curve::destroyed = 0;
    delete pooled;
    EXPECT_EQ(test_curve::destroyed, 1);
    EXPECT_EQ(pool.head()->used(), 0u);

    // The array form keeps its count in front of the elements and takes
    // enough records for both.
    test_curve* array = new (pool_fcurve) test_curve[3];
    EXPECT_TRUE(pool.holds(array));
    EXPECT_EQ(pool.head()->used(), engine_pool_records_for(pool_fcurve, 3 * sizeof(test_curve) + sizeof(std::size_t)));
    for (int i = 0; i < 3; ++i)
        array[i].words[9] = 9;
    test_curve::destroyed = 0;
    delete[] array;
    EXPECT_EQ(test_curve::destroyed, 3);
    EXPECT_EQ(pool.head()->used(), 0u);

    // Heap records are freed (the sanitizer build reports a leak or a bad
    // free otherwise).
    test_curve* on_heap = new (pool_heap) test_curve;
    EXPECT_FALSE(pool.holds(on_heap));
    delete on_heap;
    EXPECT_EQ(pool.head()->used(), 0u);
    test_curve* heap_array = new (pool_heap) test_curve[2];
    EXPECT_FALSE(pool.holds(heap_array));
    delete[] heap_array;
    // A class without pool_record takes heap storage with type 14 and gives
    // it back with a plain delete.
    auto* plain = new (pool_heap) std::vector<int>(3, 7);
    delete plain;
    pool_record_delete(nullptr, 64, pool_fcurve);
}

TEST_F(EngineContext, ARecordReturnsToTheContextItCameFrom)
{
    auto first = std::make_unique<engine>();
    auto second = std::make_unique<engine>();
    current_engine = first.get();
    test_curve* record = new (pool_fcurve) test_curve;
    current_engine = second.get();
    delete record;
    EXPECT_EQ(first->pool(pool_fcurve).head()->used(), 0u);
    EXPECT_EQ(engine::find_pool_owner(pool_fcurve, record), first.get());
    EXPECT_EQ(engine::find_pool_owner(pool_fcurve, nullptr), nullptr);
}

TEST_F(EngineContext, ARecordMayBeDeletedAfterItsContextIsReleased)
{
    // Model instances may be destroyed after the race's context. Their
    // records stay valid until then, and their delete neither hands pool
    // storage to the heap (the sanitizer build reports a bad or double free
    // otherwise) nor touches another context's pool.
    // Earlier tests in this process may have left records out.
    const std::uint32_t retired_before = memmng::retired_chunk_count();
    auto* e = new engine;
    current_engine = e;
    test_curve* record = new (pool_fcurve) test_curve;
    record->words[9] = 77;
    test_curve* array = new (pool_fcurve) test_curve[3];
    test_curve* last = new (pool_fcurve) test_curve;
    test_curve* on_heap = new (pool_heap) test_curve;
    delete e;
    EXPECT_EQ(current_engine, nullptr);
    EXPECT_EQ(memmng::retired_chunk_count(), retired_before + 1) << "only the chunk with records out is kept";

    // A later context's pools never take the storage of records still out.
    engine next;
    current_engine = &next;
    test_curve* fresh = new (pool_fcurve) test_curve;
    for (const test_curve* old : {record, &array[0], &array[2], last})
        EXPECT_NE(old, fresh);
    EXPECT_EQ(record->words[9], 77u);

    test_curve::destroyed = 0;
    delete record;
    delete[] array;
    delete on_heap;
    EXPECT_EQ(test_curve::destroyed, 5);
    EXPECT_EQ(memmng::retired_chunk_count(), retired_before + 1);
    delete last;
    EXPECT_EQ(memmng::retired_chunk_count(), retired_before) << "the chunk goes with its last record";
    EXPECT_EQ(next.pool(pool_fcurve).head()->used(), 1u);
    delete fresh;
    EXPECT_EQ(next.pool(pool_fcurve).head()->used(), 0u);
}

TEST_F(EngineContext, ReleaseClearsTheCurrentContextAndCanBeRepeated)
{
    auto e = std::make_unique<engine>();
    e->set_render_type(1);
    ASSERT_EQ(current_engine, e.get());
    e->release();
    EXPECT_EQ(current_engine, nullptr);
    EXPECT_EQ(e->sw_vertices, nullptr);
    EXPECT_EQ(e->vertex_a1, nullptr);
    EXPECT_EQ(e->pool(pool_anim_node).chunk_count(), 0u);
    e->release();
    e.reset();

    // Releasing a context that is not current leaves the current one alone.
    engine current;
    current_engine = &current;
    {
        engine other;
        other.release();
    }
    EXPECT_EQ(current_engine, &current);
}

TEST_F(EngineContext, LinkArrayChainsContiguousRecords)
{
    linked_record one[1];
    link_array_72(one, 1);
    EXPECT_EQ(one[0].prev, nullptr);
    EXPECT_EQ(one[0].next, nullptr);

    linked_record three[3];
    link_array_72(three, 3);
    EXPECT_EQ(three[0].prev, nullptr);
    EXPECT_EQ(three[0].next, &three[1]);
    EXPECT_EQ(three[1].prev, &three[0]);
    EXPECT_EQ(three[1].next, &three[2]);
    EXPECT_EQ(three[2].prev, &three[1]);
    EXPECT_EQ(three[2].next, nullptr);

    linked_record untouched[1];
    link_array_72(untouched, 0);
    EXPECT_EQ(untouched[0].prev, reinterpret_cast<linked_record*>(1));
}

TEST_F(EngineContext, FatalErrorsEndTheProgramWithTheirMessages)
{
    EXPECT_EXIT(
        {
            engine e;
            current_engine = &e;
            (void)::operator new(16, 15);
        },
        ::testing::ExitedWithCode(1), "\\[error\\] \n\nERROR! \\(::operator new\\) tipo non valido\\.\n");
    EXPECT_EXIT((void)::operator new(16, -1), ::testing::ExitedWithCode(1),
                "ERROR! \\(::operator new\\) tipo non valido\\.");
    // A pooled class refuses another class's pool.
    EXPECT_EXIT(
        {
            engine e;
            current_engine = &e;
            (void)new (pool_anim_node) test_curve;
        },
        ::testing::ExitedWithCode(1), "tipo non valido");
    EXPECT_EXIT((void)::operator new(16, pool_fcurve), ::testing::ExitedWithCode(1),
                "\\[error\\] ENGINE:: No engine context!");
    // A request larger than any chunk is the pool's out-of-memory, never a
    // record too small for it.
    EXPECT_EXIT(
        {
            engine e;
            current_engine = &e;
            (void)::operator new(SIZE_MAX, pool_fcurve);
        },
        ::testing::ExitedWithCode(1), "\\[error\\] \nERROR\\. \\(memmng::new_entry\\[\\]\\) Out of memory!\n");
    EXPECT_EXIT(engine_error(1), ::testing::ExitedWithCode(1), "\\[error\\] ENGINE:: Out of memory!");
    EXPECT_EXIT(engine_error(5), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            engine e;
            platform::fail_next(platform::Fault::MemoryAlloc);
            e.set_render_type(2);
        },
        ::testing::ExitedWithCode(1), "\\[error\\] ENGINE:: Out of memory!");
    EXPECT_EXIT(
        {
            engine e;
            platform::fail_next(platform::Fault::MemoryAlloc);
            e.set_render_type(1);
        },
        ::testing::ExitedWithCode(1), "\\[error\\] ENGINE:: Out of memory!");
}

TEST_F(EngineContext, LoadsTheShadeTableOfAPalette)
{
    const auto dir = torvane_test::make_temp_dir("shade");
    std::filesystem::create_directories(dir / "menu" / "3d");
    const datakit::Palette palette = datakit::demo_palette();
    std::string error;
    ASSERT_TRUE(datakit::write_palette_with_shade_table(dir / "menu" / "3d" / "podium.pal", palette, error)) << error;
    const std::vector<std::uint32_t> expected = datakit::compute_shade_table(palette);

    torvane_test::ScopedCwd cwd(dir);
    shade_slot_counter = 9;
    load_shade_table("MENU\\3d\\Podium.pal");
    EXPECT_EQ(shade_slot_counter, 0);
    for (std::size_t i = 0; i < shade_table_entries; ++i)
        ASSERT_EQ(shade_table[i], expected[i]) << i;

    // In the software 16-bit mode each entry holds the 16-bit colour of its
    // low byte's palette index in both halves.
    render_facts& facts = engine_render_facts();
    facts.software_16bit = true;
    for (std::uint32_t c = 0; c < 256; ++c)
        facts.palette_conversion[c] = 0x1000 + c;
    load_shade_table("menu\\3d\\podium.pal");
    for (std::size_t i = 0; i < shade_table_entries; ++i) {
        const std::uint32_t colour = 0x1000 + (expected[i] & 255);
        ASSERT_EQ(shade_table[i], colour << 16 | colour) << i;
    }
    const std::size_t level_index_7 = 128 * 256 + 7;  // colour 7 at its own level
    EXPECT_EQ(expected[level_index_7] & 255, 7u);
    EXPECT_EQ(shade_table[level_index_7], 0x10071007u);
}

TEST_F(EngineContext, AMissingOrWrongSizedShadeTableIsFatal)
{
    const auto dir = torvane_test::make_temp_dir("shade");
    std::filesystem::create_directories(dir / "Gfx" / "Tracks");
    {
        std::FILE* f = std::fopen((dir / "Gfx" / "Tracks" / "short.pal.SHD").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::vector<std::uint8_t> bytes(shade_table_file_bytes - 4);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    torvane_test::ScopedCwd cwd(dir);
    EXPECT_EXIT(load_shade_table("Gfx\\Tracks\\none.pal"), ::testing::ExitedWithCode(1),
                "\\[error\\] ENGINE:: Shade table Gfx\\\\Tracks\\\\none\\.pal\\.SHD not found!");
    EXPECT_EXIT(load_shade_table("Gfx\\Tracks\\short.pal"), ::testing::ExitedWithCode(1),
                "\\[error\\] ENGINE:: Shade table Gfx\\\\Tracks\\\\short\\.pal\\.SHD has the wrong size!");
    EXPECT_EXIT(
        {
            platform::fail_next(platform::Fault::FileOpen);
            load_shade_table("Gfx\\Tracks\\short.pal");
        },
        ::testing::ExitedWithCode(1), "not found!");
}
