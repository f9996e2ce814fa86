#include "engine/scene/map_grid.h"

#include <cmath>
#include <cstring>
#include <new>

#include "engine/base/name_hash.h"
#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/file.h"
#include "platform/float_conv.h"

namespace {

constexpr char tag_map[4] = {'M', 'A', 'P', '_'};
constexpr char tag_level[4] = {'L', 'E', 'V', 'L'};
constexpr char tag_row[4] = {'R', 'O', 'W', '_'};
constexpr char tag_section[4] = {'S', 'E', 'C', 'T'};
constexpr char tag_list[4] = {'L', 'I', 'S', 'T'};
constexpr std::size_t visible_entry_bytes = 12;

// Index of a coordinate along one axis: trunc((v - origin) / size), clamped
// into 0 .. count - 1 (NaN and a size that is not above 0 give 0).
std::int32_t axis_index(float v, float origin, float size, std::int32_t count)
{
    if (count <= 0 || !std::isgreater(size, 0.0f) || !std::isfinite(origin))
        return 0;
    const double q = (static_cast<double>(v) - static_cast<double>(origin)) / static_cast<double>(size);
    return platform::trunc_clamped(q, 0, count - 1);
}

std::int64_t clamp_index(std::int64_t i, std::int32_t count)
{
    if (i < 0)
        return 0;
    if (i >= count)
        return count - 1;
    return i;
}

// Reads a ".MAP" file into a grid; the first fault found ends the reading.
class MapParser {
public:
    explicit MapParser(std::span<const std::uint8_t> bytes) : r_(bytes) {}

    map_status parse(map_grid& g)
    {
        if (!header(tag_map, nullptr))
            return status_;
        g.origin = {r_.f32(), r_.f32(), r_.f32(), r_.f32()};
        g.far_corner = {r_.f32(), r_.f32(), r_.f32(), r_.f32()};
        g.rows = r_.i32();
        g.columns = r_.i32();
        g.levels = r_.i32();
        r_.u32();   // the level table's pointer slot
        g.cell_size = {r_.f32(), r_.f32(), r_.f32(), 0.0f};
        for (std::int32_t& reach : g.reach)
            reach = r_.i32();
        if (!r_.ok())
            return map_status::truncated;
        if (!g.check_record())
            return map_status::bad_grid;

        std::vector<bool> present;
        if (!presence(g.levels, present))
            return status_;
        g.level_table.clear();
        g.level_table.resize(static_cast<std::size_t>(g.levels));
        for (std::int32_t iy = 0; iy < g.levels; ++iy) {
            if (!present[static_cast<std::size_t>(iy)])
                continue;
            g.level_table[static_cast<std::size_t>(iy)] = std::make_unique<map_level>();
            if (!level(g, *g.level_table[static_cast<std::size_t>(iy)]))
                return status_;
        }
        return map_status::ok;
    }

private:
    bool fail(map_status status)
    {
        status_ = status;
        return false;
    }

    // A block header carrying `tag`; its b word into *b when asked.
    bool header(const char* tag, std::int32_t* b)
    {
        char found[4] = {};
        r_.bytes(found, sizeof found);
        r_.i32();
        const std::int32_t count = r_.i32();
        if (!r_.ok())
            return fail(map_status::truncated);
        if (std::memcmp(found, tag, sizeof found) != 0)
            return fail(map_status::bad_tag);
        if (b)
            *b = count;
        return true;
    }

    // `count` presence words (count already bounded by the grid's limits).
    bool presence(std::int32_t count, std::vector<bool>& out)
    {
        const auto n = static_cast<std::size_t>(count);
        if (!r_.has(n * 4))
            return fail(map_status::truncated);
        out.assign(n, false);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = r_.u32() != 0;
        return true;
    }

    // A level or row record: its count must be `expected`.
    bool table_record(const char* tag, std::int32_t expected)
    {
        if (!header(tag, nullptr))
            return false;
        const std::int32_t count = r_.i32();
        r_.u32();   // pointer slot
        if (!r_.ok())
            return fail(map_status::truncated);
        if (count != expected)
            return fail(map_status::bad_count);
        return true;
    }

    // A level's or a row's table: its record (count `count`), its presence
    // words, then each present entry, read by `read_entry`.
    template <class Entry, class ReadEntry>
    bool table(const char* tag, std::int32_t count, std::vector<std::unique_ptr<Entry>>& out, ReadEntry read_entry)
    {
        if (!table_record(tag, count))
            return false;
        std::vector<bool> present;
        if (!presence(count, present))
            return false;
        out.resize(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (!present[i])
                continue;
            out[i] = std::make_unique<Entry>();
            if (!read_entry(*out[i]))
                return false;
        }
        return true;
    }

    bool level(const map_grid& g, map_level& lv)
    {
        return table(tag_level, g.rows, lv.rows, [&](map_row& rw) {
            return table(tag_row, g.columns, rw.cells, [&](map_cell& c) { return cell(g, c); });
        });
    }

    bool cell(const map_grid& g, map_cell& c)
    {
        // The section header's count is written 5 and not read: a cell
        // always has five lists.
        if (!header(tag_section, nullptr))
            return false;
        for (map_item*& head : c.sections) {
            std::int32_t n = 0;
            if (!header(tag_list, &n))
                return false;
            if (n < 0)
                return fail(map_status::bad_count);
            if (static_cast<std::size_t>(n) > r_.remaining() / map_item::file_bytes)
                return fail(map_status::truncated);
            map_item** tail = &head;
            for (std::int32_t i = 0; i < n; ++i) {
                auto* item = new map_item;
                *tail = item;   // owned by the cell from here on
                tail = &item->next;
                if (!read_item(*item))
                    return false;
            }
        }
        const std::int32_t count = r_.i32();
        if (!r_.ok())
            return fail(map_status::truncated);
        if (count < 0)
            return fail(map_status::bad_visible);
        if (static_cast<std::size_t>(count) > r_.remaining() / visible_entry_bytes)
            return fail(map_status::truncated);
        c.visible.resize(static_cast<std::size_t>(count));
        for (map_cell_ref& ref : c.visible) {
            ref.level = r_.i32();
            ref.row = r_.i32();
            ref.column = r_.i32();
            if (ref.level < 0 || ref.level >= g.levels || ref.row < 0 || ref.row >= g.rows || ref.column < 0 ||
                ref.column >= g.columns)
                return fail(map_status::bad_visible);
        }
        return true;
    }

    bool read_item(map_item& item)
    {
        r_.bytes(item.name, sizeof item.name);
        item.name_hash = r_.u32();
        for (std::uint32_t& w : item.words)
            w = r_.u32();
        r_.u32();   // scene word
        r_.u32();   // next link
        item.last_word = r_.u32();
        if (!r_.ok())
            return fail(map_status::truncated);
        if (!std::memchr(item.name, 0, sizeof item.name))
            return fail(map_status::bad_item);
        return true;
    }

    platform::ByteReader r_;
    map_status status_ = map_status::ok;
};

void write_header(platform::ByteWriter& w, const char* tag, std::int32_t b)
{
    w.bytes(tag, 4);
    w.i32(-1);
    w.i32(b);
}

// A table of levels, rows or cells: with a tag, its header and record
// (count, a word written 0); its presence words; then each present entry,
// written by `write_entry`.
template <class Entry, class WriteEntry>
void write_table(platform::ByteWriter& w, const char* tag, std::int32_t count,
                 const std::vector<std::unique_ptr<Entry>>& entries, WriteEntry write_entry)
{
    auto at = [&](std::int32_t i) -> const Entry* {
        return static_cast<std::size_t>(i) < entries.size() ? entries[static_cast<std::size_t>(i)].get() : nullptr;
    };
    if (tag) {
        write_header(w, tag, -1);
        w.i32(count);
        w.u32(0);
    }
    for (std::int32_t i = 0; i < count; ++i)
        w.u32(at(i) ? 1u : 0u);
    for (std::int32_t i = 0; i < count; ++i)
        if (const Entry* e = at(i))
            write_entry(*e);
}

void write_cell(platform::ByteWriter& w, const map_cell& c)
{
    write_header(w, tag_section, map_cell::section_count);
    for (const map_item* head : c.sections) {
        std::int32_t n = 0;
        for (const map_item* it = head; it; it = it->next)
            ++n;
        write_header(w, tag_list, n);
        for (const map_item* it = head; it; it = it->next) {
            w.bytes(it->name, sizeof it->name);
            w.u32(it->name_hash);
            for (std::uint32_t word : it->words)
                w.u32(word);
            w.u32(0);   // scene word
            w.u32(0);   // next link
            w.u32(it->last_word);
        }
    }
    w.i32(static_cast<std::int32_t>(c.visible.size()));
    for (const map_cell_ref& ref : c.visible) {
        w.i32(ref.level);
        w.i32(ref.row);
        w.i32(ref.column);
    }
}

} // namespace

map_cell::~map_cell()
{
    for (map_item*& head : sections) {
        // Iteratively: a list may be long.
        while (head) {
            map_item* after = head->next;
            delete head;
            head = after;
        }
    }
    --live;
}

const char* map_status_text(map_status status)
{
    switch (status) {
    case map_status::ok: return "ok";
    case map_status::open_failed: return "file open error";
    case map_status::truncated: return "file ends inside a block";
    case map_status::bad_tag: return "block tag expected";
    case map_status::bad_grid: return "grid counts, cell sizes or box out of range";
    case map_status::bad_count: return "level, row or list count out of range";
    case map_status::bad_item: return "item name not terminated";
    case map_status::bad_visible: return "visible-cell list out of range";
    case map_status::out_of_memory: return "out of memory";
    }
    return "unknown";
}

bool map_grid::check_record() const
{
    const std::int32_t counts[3] = {columns, levels, rows};
    const float o[3] = {origin.x, origin.y, origin.z};
    const float f[3] = {far_corner.x, far_corner.y, far_corner.z};
    const float s[3] = {cell_size.x, cell_size.y, cell_size.z};
    for (int axis = 0; axis < 3; ++axis) {
        if (counts[axis] < 1 || counts[axis] > max_cells_per_axis)
            return false;
        if (!std::isfinite(o[axis]) || !std::isfinite(f[axis]) || !std::isfinite(s[axis]))
            return false;
        if (std::fabs(o[axis]) > max_coordinate || std::fabs(f[axis]) > max_coordinate)
            return false;
        if (!(s[axis] > 0.0f) || f[axis] < o[axis])
            return false;
        const double span = static_cast<double>(counts[axis]) * static_cast<double>(s[axis]);
        const double extent = static_cast<double>(f[axis]) - static_cast<double>(o[axis]);
        if (std::fabs(span - extent) > 0.5 * static_cast<double>(s[axis]))
            return false;
        if (reach[axis] < 0 || reach[axis] > max_cells_per_axis)
            return false;
    }
    return true;
}

bool map_grid::init_counts(const vec4& new_origin, const vec4& new_far, std::int32_t columns_x, std::int32_t levels_y,
                           std::int32_t rows_z)
{
    free();
    const std::int32_t counts[3] = {columns_x, levels_y, rows_z};
    for (std::int32_t c : counts)
        if (c < 1 || c > max_cells_per_axis)
            return false;
    origin = new_origin;
    far_corner = new_far;
    columns = columns_x;
    levels = levels_y;
    rows = rows_z;
    cell_size = {(new_far.x - new_origin.x) / static_cast<float>(columns_x),
                 (new_far.y - new_origin.y) / static_cast<float>(levels_y),
                 (new_far.z - new_origin.z) / static_cast<float>(rows_z), 0.0f};
    if (!check_record()) {
        free();
        return false;
    }
    level_table.resize(static_cast<std::size_t>(levels));
    return true;
}

bool map_grid::init_sizes(const vec4& new_origin, const vec4& new_far, float size_x, float size_y, float size_z)
{
    free();
    const float o[3] = {new_origin.x, new_origin.y, new_origin.z};
    const float f[3] = {new_far.x, new_far.y, new_far.z};
    const float s[3] = {size_x, size_y, size_z};
    std::int32_t counts[3] = {};
    for (int axis = 0; axis < 3; ++axis) {
        if (!std::isfinite(s[axis]) || !(s[axis] > 0.0f) || !std::isfinite(o[axis]) || !std::isfinite(f[axis]))
            return false;
        const double n = std::trunc((static_cast<double>(f[axis]) - o[axis]) / s[axis]);
        if (n < 1.0 || n > static_cast<double>(max_cells_per_axis))
            return false;
        counts[axis] = static_cast<std::int32_t>(n);
    }
    origin = new_origin;
    columns = counts[0];
    levels = counts[1];
    rows = counts[2];
    cell_size = {size_x, size_y, size_z, 0.0f};
    far_corner = {new_origin.x + static_cast<float>(columns) * size_x,
                  new_origin.y + static_cast<float>(levels) * size_y,
                  new_origin.z + static_cast<float>(rows) * size_z, new_far.w};
    if (!check_record()) {
        free();
        return false;
    }
    level_table.resize(static_cast<std::size_t>(levels));
    return true;
}

void map_grid::free()
{
    level_table.clear();
    levels = 0;
    rows = 0;
    columns = 0;
}

map_cell* map_grid::lookup(std::int64_t iy, std::int64_t iz, std::int64_t ix) const
{
    if (levels <= 0 || rows <= 0 || columns <= 0)
        return nullptr;
    iy = clamp_index(iy, levels);
    iz = clamp_index(iz, rows);
    ix = clamp_index(ix, columns);
    if (static_cast<std::size_t>(iy) >= level_table.size())
        return nullptr;
    const map_level* lv = level_table[static_cast<std::size_t>(iy)].get();
    if (!lv || static_cast<std::size_t>(iz) >= lv->rows.size())
        return nullptr;
    const map_row* rw = lv->rows[static_cast<std::size_t>(iz)].get();
    if (!rw || static_cast<std::size_t>(ix) >= rw->cells.size())
        return nullptr;
    return rw->cells[static_cast<std::size_t>(ix)].get();
}

bool map_grid::cell_of(const vec4& p, std::int32_t* iy, std::int32_t* iz, std::int32_t* ix) const
{
    if (levels <= 0 || rows <= 0 || columns <= 0)
        return false;
    *iy = axis_index(p.y, origin.y, cell_size.y, levels);
    *iz = axis_index(p.z, origin.z, cell_size.z, rows);
    *ix = axis_index(p.x, origin.x, cell_size.x, columns);
    return true;
}

map_cell* map_grid::make_cell(std::int32_t iy, std::int32_t iz, std::int32_t ix)
{
    if (iy < 0 || iy >= levels || iz < 0 || iz >= rows || ix < 0 || ix >= columns)
        return nullptr;
    if (level_table.size() != static_cast<std::size_t>(levels))
        level_table.resize(static_cast<std::size_t>(levels));
    auto& lv = level_table[static_cast<std::size_t>(iy)];
    if (!lv) {
        lv = std::make_unique<map_level>();
        lv->rows.resize(static_cast<std::size_t>(rows));
    }
    auto& rw = lv->rows[static_cast<std::size_t>(iz)];
    if (!rw) {
        rw = std::make_unique<map_row>();
        rw->cells.resize(static_cast<std::size_t>(columns));
    }
    auto& c = rw->cells[static_cast<std::size_t>(ix)];
    if (!c)
        c = std::make_unique<map_cell>();
    return c.get();
}

map_item* map_grid::insert(const map_item& item, float x, float y, float z, int section)
{
    if (section < 0 || section >= map_cell::section_count)
        return nullptr;
    std::int32_t iy = 0, iz = 0, ix = 0;
    if (!cell_of({x, y, z, 0.0f}, &iy, &iz, &ix))
        return nullptr;
    map_cell* c = make_cell(iy, iz, ix);
    if (!c)
        return nullptr;
    char name[sizeof item.name + 1] = {};
    std::memcpy(name, item.name, sizeof item.name);
    named_record named{};
    set_name(&named, name);
    auto* copy = new map_item;
    std::memcpy(copy->name, named.name, sizeof copy->name);
    copy->name_hash = named.hash;
    std::memcpy(copy->words, item.words, sizeof copy->words);
    copy->last_word = item.last_word;
    copy->next = c->sections[section];
    c->sections[section] = copy;
    return copy;
}

void map_grid::set_visible_count(map_cell& cell, std::size_t count)
{
    cell.visible.assign(count, map_cell_ref{});
}

bool map_grid::set_visible_entry(map_cell& cell, std::size_t i, std::int32_t level, std::int32_t row,
                                 std::int32_t column) const
{
    if (i >= cell.visible.size() || level < 0 || level >= levels || row < 0 || row >= rows || column < 0 ||
        column >= columns)
        return false;
    cell.visible[i] = {level, row, column};
    return true;
}

map_status map_grid::load(std::span<const std::uint8_t> bytes)
{
    free();
    try {
        map_grid read;
        MapParser parser(bytes);
        const map_status status = parser.parse(read);
        if (status != map_status::ok)
            return status;
        *this = std::move(read);
        return map_status::ok;
    } catch (const std::bad_alloc&) {
        return map_status::out_of_memory;
    }
}

map_status map_grid::load_file(const std::string& path)
{
    free();
    std::vector<std::uint8_t> bytes;
    if (!platform::read_whole_file(path, bytes))
        return map_status::open_failed;
    return load(bytes);
}

std::vector<std::uint8_t> map_grid::save_bytes() const
{
    std::vector<std::uint8_t> out;
    platform::ByteWriter w(out);
    write_header(w, tag_map, -1);
    for (const vec4* v : {&origin, &far_corner}) {
        w.f32(v->x);
        w.f32(v->y);
        w.f32(v->z);
        w.f32(v->w);
    }
    w.i32(rows);
    w.i32(columns);
    w.i32(levels);
    w.u32(0);
    w.f32(cell_size.x);
    w.f32(cell_size.y);
    w.f32(cell_size.z);
    for (std::int32_t r : reach)
        w.i32(r);

    write_table(w, nullptr, levels, level_table, [&](const map_level& lv) {
        write_table(w, tag_level, rows, lv.rows, [&](const map_row& rw) {
            write_table(w, tag_row, columns, rw.cells, [&](const map_cell& c) { write_cell(w, c); });
        });
    });
    return out;
}

bool map_grid::save(const std::string& native_path, std::string* error) const
{
    return platform::write_file_atomic(native_path, save_bytes(), error);
}

std::size_t map_grid::item_count() const
{
    std::size_t n = 0;
    for (const auto& lv : level_table) {
        if (!lv)
            continue;
        for (const auto& rw : lv->rows) {
            if (!rw)
                continue;
            for (const auto& c : rw->cells) {
                if (!c)
                    continue;
                for (const map_item* head : c->sections)
                    for (const map_item* it = head; it; it = it->next)
                        ++n;
            }
        }
    }
    return n;
}
