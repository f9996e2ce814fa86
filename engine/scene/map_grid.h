#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/base/vec4.h"

class ml_modelinfo;

// The map grid: a scene's map objects (track-side buildings, trees, stands)
// placed in a three-dimensional array of equal cells over the scene's box,
// stored sparsely in three levels of tables: levels along y, rows along z
// inside a level, cells along x inside a row. Each cell holds five item
// lists (sections; the scene reads the first) and the list of the cells
// visible from it. Scenes read it from their ".MAP" file; the tool side
// builds grids with insert() and writes them with save().
//
// ".MAP" file (little-endian; every block starts with a 12-byte header
// {char tag[4]; int32 a; int32 b}, written with a = -1):
//   {"MAP_", -1, -1}; the 72-byte grid record; `levels` presence words
//   (u32, 0 = absent); per present level {"LEVL", -1, -1}, its 8-byte record
//   (count = rows, a word written 0), `rows` presence words; per present row
//   {"ROW_", -1, -1}, its record (count = columns, a word), `columns`
//   presence words; per present cell {"SECT", -1, 5}, five lists, each
//   {"LIST", -1, n} and n item records of 76 bytes, then the visible-cell
//   count and that many (level, row, column) triples of int32.
// Grid record (72 bytes): origin x, y, z and a spare float; far corner x, y,
// z and a spare float; rows (along z), columns (along x), levels (along y);
// a table word (written 0, not read); cell size x, y, z; reach x, y, z
// (int32: how many cells an item may extend beyond its own).

// A map object (76-byte record):
//   0  char[32] name (zero-terminated)
//   32 u32 name hash
//   36 7 x u32 words carried for the scene, not read here
//   64 u32 scene word: the model instance the scene links (written 0, not read)
//   68 u32 next link (written 0, not read)
//   72 u32 a last word, carried as it is
// The record's named words take 72 bytes; its stated size is 76. The last
// four bytes are kept as one more carried word, so that every record byte
// except the scene word and the link survives a load and a save.
struct map_item {
    static constexpr std::size_t file_bytes = 76;
    static constexpr int carried_words = 7;

    map_item() { ++live; }
    ~map_item() { --live; }
    map_item(const map_item&) = delete;
    map_item& operator=(const map_item&) = delete;

    char name[32] = {};
    std::uint32_t name_hash = 0;
    std::uint32_t words[carried_words] = {};
    ml_modelinfo* instance = nullptr;   // set when the scene links the item
    map_item* next = nullptr;
    std::uint32_t last_word = 0;

    static inline int live = 0;
};

// A cell's entry in another cell's visible list.
struct map_cell_ref {
    std::int32_t level = 0;
    std::int32_t row = 0;
    std::int32_t column = 0;
    bool operator==(const map_cell_ref&) const = default;
};

struct map_cell {
    static constexpr int section_count = 5;

    map_cell() { ++live; }
    // Deletes the items of every section.
    ~map_cell();
    map_cell(const map_cell&) = delete;
    map_cell& operator=(const map_cell&) = delete;

    map_item* sections[section_count] = {};
    std::vector<map_cell_ref> visible;

    static inline int live = 0;
};

struct map_row {
    std::vector<std::unique_ptr<map_cell>> cells;   // `columns` entries, null = empty cell
};

struct map_level {
    std::vector<std::unique_ptr<map_row>> rows;     // `rows` entries, null = empty row
};

// What load() found.
enum class map_status {
    ok,
    open_failed,     // the file could not be read
    truncated,       // the file ends inside a block
    bad_tag,         // a block header does not carry its tag
    bad_grid,        // counts, cell sizes, extents or reach out of range
    bad_count,       // a level's or row's count differs from the grid's, or a list count is negative
    bad_item,        // an item's name is not zero-terminated
    bad_visible,     // a visible-cell count or triple out of range
    out_of_memory,
};

const char* map_status_text(map_status status);

class map_grid {
public:
    // Limits of a sound grid: cells along one axis, and the largest
    // coordinate of its box.
    static constexpr std::int32_t max_cells_per_axis = 65536;
    static constexpr float max_coordinate = 1.0e7f;
    static constexpr std::size_t record_bytes = 72;
    static constexpr std::size_t header_bytes = 12;

    // An empty grid without cells (every lookup gives null).
    map_grid() = default;
    map_grid(map_grid&&) = default;
    map_grid& operator=(map_grid&&) = default;

    // An empty grid over the box from `origin` to `far_corner` with the
    // given numbers of cells along x, y and z (cell size = extent / count),
    // or with the given cell sizes (count = trunc(extent / size) per axis,
    // and the far corner moves to origin + count x size). False (and an
    // empty grid) when the box, counts or sizes are not sound (see
    // check_record).
    bool init_counts(const vec4& origin, const vec4& far_corner, std::int32_t columns_x, std::int32_t levels_y,
                     std::int32_t rows_z);
    bool init_sizes(const vec4& origin, const vec4& far_corner, float size_x, float size_y, float size_z);

    // Frees every item, cell, row and level and leaves an empty grid
    // (levels, rows and columns 0).
    void free();

    // The cell at level iy, row iz, column ix, or null when it is absent.
    // Each index is first clamped into its range (0 to count - 1), so a
    // point just outside the box finds the border cell.
    map_cell* lookup(std::int64_t iy, std::int64_t iz, std::int64_t ix) const;

    // The cell indices of a point: trunc((p - origin) / cell_size) per
    // axis, clamped into the grid (NaN gives 0). False on an empty grid.
    bool cell_of(const vec4& p, std::int32_t* iy, std::int32_t* iz, std::int32_t* ix) const;

    // Puts a new copy of `item` (name through set_name, so the hash is
    // recomputed; the carried words copied; no instance) at the head of list
    // `section` of the cell of (x, y, z), creating the level, row and cell
    // as needed. Returns the copy; null for a section outside 0 to 4 or an
    // empty grid.
    map_item* insert(const map_item& item, float x, float y, float z, int section);

    // The cell at (iy, iz, ix) (in range), created when absent; null out of
    // range.
    map_cell* make_cell(std::int32_t iy, std::int32_t iz, std::int32_t ix);
    // Sets the cell's visible list to `count` entries (0, 0, 0).
    static void set_visible_count(map_cell& cell, std::size_t count);
    // Stores entry i; false when i or the triple is out of range.
    bool set_visible_entry(map_cell& cell, std::size_t i, std::int32_t level, std::int32_t row,
                           std::int32_t column) const;

    // Reads a whole ".MAP" file. On any failure the grid is left empty and
    // the status says why. Every count, triple and record is checked against
    // the grid and against the bytes that are there.
    map_status load(std::span<const std::uint8_t> bytes);
    // The same from a file (program path).
    map_status load_file(const std::string& path);

    // The ".MAP" bytes of the grid: present levels, rows and cells in index
    // order, each list from its head.
    std::vector<std::uint8_t> save_bytes() const;
    // Writes the file atomically (temporary file, then rename). False and
    // `error` on failure; the old file is then untouched.
    bool save(const std::string& native_path, std::string* error = nullptr) const;

    // True when the record's counts, cell sizes, box and reach are sound:
    // counts 1 to max_cells_per_axis, finite cell sizes above 0, a finite
    // box inside +-max_coordinate whose far corner is not below its origin,
    // counts x cell sizes spanning the box to within half a cell, and reach
    // 0 to max_cells_per_axis.
    bool check_record() const;

    // Items in the grid (every section of every cell).
    std::size_t item_count() const;

    vec4 origin{};              // w: a spare float, carried
    vec4 far_corner{};          // w: a spare float, carried
    std::int32_t rows = 0;      // along z
    std::int32_t columns = 0;   // along x
    std::int32_t levels = 0;    // along y
    std::vector<std::unique_ptr<map_level>> level_table;   // `levels` entries, null = empty level
    vec4 cell_size{};           // x, y, z (w unused)
    std::int32_t reach[3] = {};
};
