#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/scene/map_grid.h"
#include "platform/atomic_file.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/map_writer.h"

namespace {

std::vector<std::uint8_t> demo_bytes()
{
    map_grid grid;
    datakit::build_demo_map(grid);
    return grid.save_bytes();
}

// Offset of the n-th block carrying `tag` (n from 0).
std::size_t tag_offset(const std::vector<std::uint8_t>& bytes, const char* tag, int n = 0)
{
    for (std::size_t i = 0; i + 4 <= bytes.size(); ++i)
        if (std::memcmp(&bytes[i], tag, 4) == 0 && n-- == 0)
            return i;
    ADD_FAILURE() << "no block " << tag;
    return 0;
}

void put_i32(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t v)
{
    std::memcpy(&bytes[at], &v, 4);
}

void put_f32(std::vector<std::uint8_t>& bytes, std::size_t at, float v)
{
    std::memcpy(&bytes[at], &v, 4);
}

std::vector<std::string> names(const map_item* head)
{
    std::vector<std::string> out;
    for (const map_item* it = head; it; it = it->next)
        out.emplace_back(it->name);
    return out;
}

// Offsets in the grid record (after the 12-byte file header).
constexpr std::size_t at_far_x = 12 + 16;
constexpr std::size_t at_rows = 12 + 32;
constexpr std::size_t at_columns = 12 + 36;
constexpr std::size_t at_levels = 12 + 40;
constexpr std::size_t at_size_x = 12 + 48;
constexpr std::size_t at_size_y = 12 + 52;
constexpr std::size_t at_reach_z = 12 + 68;

} // namespace

TEST(MapGrid, SaveAndLoadRoundTrip)
{
    torvane_test::FpTraps traps;
    const int items_before = map_item::live;
    const int cells_before = map_cell::live;
    {
        map_grid made;
        datakit::build_demo_map(made);
        made.reach[0] = 1;
        made.reach[2] = 2;
        made.origin.w = 5.5f;   // the spare floats are carried
        const auto path = torvane_test::make_temp_dir("map") / "DEMO.MAP";
        std::string error;
        ASSERT_TRUE(datakit::write_map(path, made, error)) << error;
        EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));

        map_grid read;
        ASSERT_EQ(read.load_file(path.string()), map_status::ok);
        EXPECT_EQ(read.rows, 4);
        EXPECT_EQ(read.columns, 4);
        EXPECT_EQ(read.levels, 1);
        EXPECT_EQ(read.origin.x, -100.0f);
        EXPECT_EQ(read.origin.w, 5.5f);
        EXPECT_EQ(read.far_corner.y, 50.0f);
        EXPECT_EQ(read.cell_size.x, 50.0f);
        EXPECT_EQ(read.cell_size.y, 50.0f);
        EXPECT_EQ(read.reach[0], 1);
        EXPECT_EQ(read.reach[2], 2);
        EXPECT_EQ(read.item_count(), 4u);

        // Every cell present in one is present in the other, with the same
        // lists in the same order and the same visible cells.
        for (std::int32_t iz = 0; iz < 4; ++iz) {
            for (std::int32_t ix = 0; ix < 4; ++ix) {
                const map_cell* a = made.lookup(0, iz, ix);
                const map_cell* b = read.lookup(0, iz, ix);
                ASSERT_EQ(a == nullptr, b == nullptr) << iz << " " << ix;
                if (!a)
                    continue;
                EXPECT_EQ(a->visible, b->visible);
                for (int s = 0; s < map_cell::section_count; ++s) {
                    EXPECT_EQ(names(a->sections[s]), names(b->sections[s]));
                    for (const map_item *x = a->sections[s], *y = b->sections[s]; x && y; x = x->next, y = y->next) {
                        EXPECT_EQ(x->name_hash, y->name_hash);
                        EXPECT_EQ(std::memcmp(x->words, y->words, sizeof x->words), 0);
                        EXPECT_EQ(x->last_word, y->last_word);
                        EXPECT_EQ(y->instance, nullptr);
                    }
                }
            }
        }
        // The cell at the origin holds two items, the later insert first,
        // the last with a null link; its visible list names itself and its
        // present neighbour.
        const map_cell* first = read.lookup(0, 0, 0);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(names(first->sections[0]), (std::vector<std::string>{"RIDER", "BIKE"}));
        EXPECT_EQ(first->sections[0]->name_hash, name_hash("RIDER"));
        EXPECT_EQ(first->sections[0]->words[3], 2u * 16 + 3);
        EXPECT_EQ(first->sections[0]->next->next, nullptr);
        EXPECT_EQ(first->visible, (std::vector<map_cell_ref>{{0, 0, 0}}));
        // A section with one item in another cell.
        const map_cell* far = read.lookup(0, 3, 3);
        ASSERT_NE(far, nullptr);
        EXPECT_EQ(far->sections[0], nullptr);
        ASSERT_NE(far->sections[1], nullptr);
        EXPECT_EQ(far->sections[1]->next, nullptr);
        // Saving what was read gives the same bytes.
        EXPECT_EQ(read.save_bytes(), made.save_bytes());
    }
    EXPECT_EQ(map_item::live, items_before);
    EXPECT_EQ(map_cell::live, cells_before);
}

TEST(MapGrid, AGridWithoutCellsLooksUpNothing)
{
    map_grid grid;
    EXPECT_EQ(grid.lookup(0, 0, 0), nullptr);   // never initialised
    ASSERT_TRUE(grid.init_counts({0, 0, 0, 0}, {30, 20, 10, 0}, 3, 2, 1));
    map_grid read;
    ASSERT_EQ(read.load(grid.save_bytes()), map_status::ok);
    for (std::int32_t iy = 0; iy < 2; ++iy)
        for (std::int32_t ix = 0; ix < 3; ++ix)
            EXPECT_EQ(read.lookup(iy, 0, ix), nullptr);
    EXPECT_EQ(read.item_count(), 0u);
    read.free();
    EXPECT_EQ(read.levels, 0);
    EXPECT_EQ(read.lookup(0, 0, 0), nullptr);
}

TEST(MapGrid, DamagedGridsAreRefused)
{
    torvane_test::FpTraps traps;
    const std::vector<std::uint8_t> good = demo_bytes();
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        map_status expected;
    };
    const std::size_t levl = tag_offset(good, "LEVL");
    const std::size_t row = tag_offset(good, "ROW_");
    const std::size_t list = tag_offset(good, "LIST");
    const std::size_t item = list + 12;
    const Case cases[] = {
        {"wrong file tag", [](auto& b) { b[0] = 'X'; }, map_status::bad_tag},
        {"no rows", [](auto& b) { put_i32(b, at_rows, 0); }, map_status::bad_grid},
        {"negative levels", [](auto& b) { put_i32(b, at_levels, -1); }, map_status::bad_grid},
        {"absurd column count", [](auto& b) { put_i32(b, at_columns, 1 << 20); }, map_status::bad_grid},
        {"cell size 0", [](auto& b) { put_f32(b, at_size_x, 0.0f); }, map_status::bad_grid},
        {"negative cell size", [](auto& b) { put_f32(b, at_size_y, -50.0f); }, map_status::bad_grid},
        {"cell size NaN", [](auto& b) { put_f32(b, at_size_x, std::nanf("")); }, map_status::bad_grid},
        {"far corner below the origin", [](auto& b) { put_f32(b, at_far_x, -150.0f); }, map_status::bad_grid},
        {"absurd extent", [](auto& b) { put_f32(b, at_far_x, 1e30f); }, map_status::bad_grid},
        {"infinite corner", [](auto& b) { put_f32(b, at_far_x, INFINITY); }, map_status::bad_grid},
        {"cells not spanning the box", [](auto& b) { put_f32(b, at_size_x, 10.0f); }, map_status::bad_grid},
        {"negative reach", [](auto& b) { put_i32(b, at_reach_z, -1); }, map_status::bad_grid},
        {"level count differs from the rows", [=](auto& b) { put_i32(b, levl + 12, 5); }, map_status::bad_count},
        {"row count differs from the columns", [=](auto& b) { put_i32(b, row + 12, 3); }, map_status::bad_count},
        {"wrong level tag", [=](auto& b) { b[levl] = 'l'; }, map_status::bad_tag},
        {"wrong list tag", [=](auto& b) { b[list + 3] = '_'; }, map_status::bad_tag},
        {"negative list count", [=](auto& b) { put_i32(b, list + 8, -2); }, map_status::bad_count},
        {"list count past the end", [=](auto& b) { put_i32(b, list + 8, 1000000); }, map_status::truncated},
        {"item name not terminated", [=](auto& b) { std::memset(&b[item], 'A', 32); }, map_status::bad_item},
        {"one byte short", [](auto& b) { b.pop_back(); }, map_status::truncated},
        {"nothing", [](auto& b) { b.clear(); }, map_status::truncated},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        map_grid grid;
        datakit::build_demo_map(grid);
        EXPECT_EQ(grid.load(bytes), c.expected) << c.what;
        EXPECT_EQ(grid.levels, 0) << c.what << ": a refused file leaves an empty grid";
        EXPECT_EQ(grid.lookup(0, 0, 0), nullptr) << c.what;
    }

    // Every cut of the file is refused.
    for (std::size_t n = 0; n < good.size(); ++n) {
        map_grid grid;
        EXPECT_EQ(grid.load(std::span(good.data(), n)), map_status::truncated) << n;
    }
    map_grid grid;
    EXPECT_EQ(grid.load(good), map_status::ok);
}

TEST(MapGrid, VisibleCellListsOutOfRangeAreRefused)
{
    // One cell (the last one written) seeing one other: its triple is the
    // file's last twelve bytes, its count the four before them.
    map_grid grid;
    ASSERT_TRUE(grid.init_counts({0, 0, 0, 0}, {20, 20, 20, 0}, 2, 2, 2));
    map_cell* cell = grid.make_cell(1, 1, 1);
    ASSERT_NE(cell, nullptr);
    map_grid::set_visible_count(*cell, 1);
    ASSERT_TRUE(grid.set_visible_entry(*cell, 0, 0, 1, 0));
    EXPECT_FALSE(grid.set_visible_entry(*cell, 1, 0, 0, 0));   // past the count
    EXPECT_FALSE(grid.set_visible_entry(*cell, 0, 2, 0, 0));   // no level 2
    const std::vector<std::uint8_t> good = grid.save_bytes();
    const std::size_t triple = good.size() - 12;
    struct Case {
        const char* what;
        std::size_t at;
        std::int32_t value;
        map_status expected;
    } const cases[] = {
        {"level at the count", triple, 2, map_status::bad_visible},
        {"negative level", triple, -1, map_status::bad_visible},
        {"row at the count", triple + 4, 2, map_status::bad_visible},
        {"column at the count", triple + 8, 2, map_status::bad_visible},
        {"column far out", triple + 8, 0x7fffffff, map_status::bad_visible},
        {"negative count", triple - 4, -1, map_status::bad_visible},
        {"count past the end", triple - 4, 2, map_status::truncated},
        {"last column in range", triple + 8, 1, map_status::ok},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = good;
        put_i32(bytes, c.at, c.value);
        map_grid read;
        EXPECT_EQ(read.load(bytes), c.expected) << c.what;
    }
}

TEST(MapGrid, CellIndexesAreClampedBeforeLookup)
{
    torvane_test::FpTraps traps;
    map_grid grid;
    ASSERT_TRUE(grid.init_counts({-100, 0, -100, 0}, {100, 50, 100, 0}, 4, 1, 4));
    map_cell* corner = grid.make_cell(0, 0, 0);
    map_cell* opposite = grid.make_cell(0, 3, 3);
    struct Case {
        const char* what;
        std::int64_t iy, iz, ix;
        const map_cell* expected;
    } const cases[] = {
        {"in range", 0, 3, 3, opposite},
        {"negative indexes", -1, -7, -1, corner},
        {"beyond every count", 5, 4, 400, opposite},
        {"far beyond", INT64_MAX, INT64_MAX, INT64_MAX, opposite},
        {"an absent cell", 0, 1, 2, nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(grid.lookup(c.iy, c.iz, c.ix), c.expected) << c.what;

    struct PointCase {
        const char* what;
        vec4 p;
        std::int32_t iy, iz, ix;
    } const points[] = {
        {"inside", {-40, 10, 60, 0}, 0, 3, 1},
        {"just below the origin truncates to 0", {-100.5f, -0.5f, -100.5f, 0}, 0, 0, 0},
        {"far below", {-1e30f, -1e30f, -1e30f, 0}, 0, 0, 0},
        {"on the far corner", {100, 50, 100, 0}, 0, 3, 3},
        {"far beyond", {1e30f, INFINITY, 1e30f, 0}, 0, 3, 3},
        {"NaN", {std::nanf(""), std::nanf(""), std::nanf(""), 0}, 0, 0, 0},
    };
    for (const auto& c : points) {
        std::int32_t iy = -1, iz = -1, ix = -1;
        ASSERT_TRUE(grid.cell_of(c.p, &iy, &iz, &ix)) << c.what;
        EXPECT_EQ(iy, c.iy) << c.what;
        EXPECT_EQ(iz, c.iz) << c.what;
        EXPECT_EQ(ix, c.ix) << c.what;
    }
}

TEST(MapGrid, InsertPutsACopyFirstAndRefusesOtherSections)
{
    map_grid grid;
    ASSERT_TRUE(grid.init_sizes({0, 0, 0, 0}, {105, 10, 10, 0}, 10.0f, 10.0f, 10.0f));
    EXPECT_EQ(grid.columns, 10);                  // trunc(105 / 10)
    EXPECT_EQ(grid.far_corner.x, 100.0f);         // moved to origin + count x size
    map_item item;
    std::strcpy(item.name, "TREE");
    item.name_hash = 12345;   // recomputed by insert
    item.words[6] = 77;
    item.last_word = 9;
    item.instance = reinterpret_cast<ml_modelinfo*>(&item);   // not copied
    map_item* first = grid.insert(item, 55, 5, 5, 2);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, &item);
    EXPECT_EQ(first->name_hash, name_hash("TREE"));
    EXPECT_EQ(first->words[6], 77u);
    EXPECT_EQ(first->last_word, 9u);
    EXPECT_EQ(first->instance, nullptr);
    std::strcpy(item.name, "BUSH");
    map_item* second = grid.insert(item, 59, 1, 1, 2);
    const map_cell* cell = grid.lookup(0, 0, 5);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->sections[2], second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(grid.insert(item, 1, 1, 1, 5), nullptr);
    EXPECT_EQ(grid.insert(item, 1, 1, 1, -1), nullptr);
    // A name filling its whole field is cut to 31 characters.
    std::memset(item.name, 'N', sizeof item.name);
    map_item* longest = grid.insert(item, 1, 1, 1, 0);
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(std::strlen(longest->name), 31u);
    map_grid empty;
    EXPECT_EQ(empty.insert(item, 0, 0, 0, 0), nullptr);
}

TEST(MapGrid, UnsoundGridsAreNotBuilt)
{
    torvane_test::FpTraps traps;
    map_grid grid;
    const vec4 o{0, 0, 0, 0}, f{100, 100, 100, 0};
    EXPECT_FALSE(grid.init_counts(o, f, 0, 1, 1));
    EXPECT_FALSE(grid.init_counts(o, f, 1, -3, 1));
    EXPECT_FALSE(grid.init_counts(o, {-100, 100, 100, 0}, 1, 1, 1));   // far corner below
    EXPECT_FALSE(grid.init_counts(o, {1e20f, 100, 100, 0}, 1, 1, 1));  // absurd
    EXPECT_FALSE(grid.init_counts(o, {100, 100, 0, 0}, 1, 1, 1));      // flat: cell size 0
    EXPECT_FALSE(grid.init_sizes(o, f, 0.0f, 10.0f, 10.0f));
    EXPECT_FALSE(grid.init_sizes(o, f, std::nanf(""), 10.0f, 10.0f));
    EXPECT_FALSE(grid.init_sizes(o, f, 1000.0f, 10.0f, 10.0f));         // no whole cell
    EXPECT_FALSE(grid.init_sizes(o, f, 1e-6f, 10.0f, 10.0f));           // too many cells
    EXPECT_EQ(grid.levels, 0);
    EXPECT_TRUE(grid.init_counts(o, f, 3, 7, 9));
    EXPECT_TRUE(grid.check_record());
}

TEST(MapGrid, SaveReplacesTheFileWholeOrNotAtAll)
{
    map_grid grid;
    datakit::build_demo_map(grid);
    const auto dir = torvane_test::make_temp_dir("mapsave");
    const auto path = dir / "A.MAP";
    ASSERT_TRUE(platform::write_file_atomic(path.string(), std::vector<std::uint8_t>{1, 2, 3}));
    std::string error;
    ASSERT_TRUE(grid.save(path.string(), &error)) << error;
    std::vector<std::uint8_t> written;
    ASSERT_TRUE(platform::read_file_whole(path.string(), written));
    EXPECT_EQ(written, grid.save_bytes());
    EXPECT_FALSE(grid.save((dir / "missing" / "B.MAP").string(), &error));
    EXPECT_FALSE(error.empty());
    map_grid read;
    EXPECT_EQ(read.load_file((dir / "none.MAP").string()), map_status::open_failed);
}
