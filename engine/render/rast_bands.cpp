#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/render/rast.h"
#include "engine/render/rast_state.h"
#include "platform/worker_pool.h"

// Drawing on several threads. The entries record their polygons (copies of
// the vertices, the material record and the rows each may touch); the flush
// cuts the frame into bands of rows, and each band is drawn by one thread,
// taking every polygon that reaches it in the order they came and drawing
// only its own rows of them. A pixel's value depends only on its polygon and
// its row (each band does the polygon's whole set-up again), so the picture
// is the one the polygons drawn one after the other make, for any number of
// threads and any band size.
//
// The bands are cut by work, not by rows: a race frame's polygons crowd
// around the horizon (bikes, riders, trackside), and bands of equal rows
// left two threads with most of the frame while the sky's band was done at
// once. Each polygon adds an estimate of its cost (a set-up, then each row
// and its pixels) to the rows it covers, and the flush cuts the rows where
// that sum reaches each band's equal share.

namespace {

// The polygons recorded since the last flush.
struct queued_polygon {
    std::uint32_t first;  // its first point in `points`
    std::uint16_t count;
    bool perspective;
    raster_material material;
};

// The rows a recorded polygon may touch, inside the clip: kept apart from
// the polygons so that each band finds its polygons in a short scan.
struct queued_rows {
    std::int32_t lo, hi;
};

// Past this many recorded polygons the queue is drawn at once, so a caller
// that never flushes does not make it grow without end (the picture is the
// same: everything recorded so far is drawn in order).
constexpr std::size_t max_queued = 1 << 16;

// The cost estimate, in units of a pixel drawn: a polygon's set-up (paid
// again by every band it reaches) and each of its rows. Measured on the
// race frame the set-up of a small triangle costs about as much as forty of
// its pixels, a row about three.
constexpr float setup_work = 40.0f;
constexpr float row_work = 3.0f;

// Bands per thread: a few more bands than threads, claimed as threads come
// free, keep one late or slow thread from holding the frame, at the price
// of setting up the polygons cut by a band's edge twice.
constexpr int bands_per_thread = 2;

// A band: rows [lo, hi).
struct band_rows {
    std::int32_t lo, hi;
};

// The threads that share the bands of a flush, the flushing one included.
class band_pool {
public:
    int threads() const { return workers_ ? workers_->Threads() : 1; }

    // The shared pool for as many threads as the hardware has.
    void set_threads(int threads)
    {
        workers_ = nullptr;
        own_.reset();
        if (threads == platform::WorkerPool::HardwareThreads() && threads > 1) {
            workers_ = &platform::WorkerPool::Shared();
        } else if (threads > 1) {
            own_ = std::make_unique<platform::WorkerPool>(threads);
            workers_ = own_.get();
        }
    }

    // Draws the queue's bands.
    void draw(const std::vector<band_rows>& bands);

private:
    platform::WorkerPool* workers_ = nullptr;
    std::unique_ptr<platform::WorkerPool> own_;
    // The bands of the current flush, read by the bands' tasks.
    const std::vector<band_rows>* bands_ = nullptr;
};

std::vector<queued_polygon> queue;
std::vector<queued_rows> queue_rows;
std::vector<rast_point> points;
// The work estimate per row as differences (row r's work is the sum of
// entries 0..r), over the clip's rows (empty: nothing recorded yet).
std::vector<float> row_work_steps;
std::vector<band_rows> flush_bands;
band_pool pool;

// Draws the recorded polygons that reach rows [lo, hi), in order.
void draw_band(std::int32_t lo, std::int32_t hi)
{
    const std::size_t n = queue.size();
    const queued_rows* rows = queue_rows.data();
    for (std::size_t i = 0; i < n; ++i) {
        if (rows[i].hi <= lo || rows[i].lo >= hi)
            continue;
        const queued_polygon& p = queue[i];
        const std::int64_t from = rows[i].lo > lo ? rows[i].lo : lo;
        const std::int64_t to = rows[i].hi < hi ? rows[i].hi : hi;
        if (p.perspective)
            rast_draw_persp_rows(points.data() + p.first, p.count, p.material, from, to);
        else
            rast_draw_affine_rows(points.data() + p.first, p.material, from, to);
    }
}

void band_pool::draw(const std::vector<band_rows>& bands)
{
    if (bands.empty())
        return;
    bands_ = &bands;
    const auto task = [](void* context, int band) {
        const band_pool& self = *static_cast<const band_pool*>(context);
        const band_rows& b = (*self.bands_)[static_cast<std::size_t>(band)];
        draw_band(b.lo, b.hi);
    };
    if (workers_)
        workers_->Run(static_cast<int>(bands.size()), task, this);
    else
        for (std::size_t band = 0; band < bands.size(); ++band)
            task(this, static_cast<int>(band));
}

// Cuts rows [0, height) into at most `count` bands of about equal estimated
// work (rows without work go to the band they border).
void cut_bands(int height, int count, std::vector<band_rows>& bands)
{
    bands.clear();
    if (height <= 0)
        return;
    double total = 0.0;
    {
        double level = 0.0;
        for (int r = 0; r < height; ++r) {
            level += row_work_steps[static_cast<std::size_t>(r)];
            total += level > 0.0 ? level : 0.0;
        }
    }
    if (count <= 1 || !(total > 0.0)) {
        bands.push_back({0, height});
        return;
    }
    const double share = total / count;
    double level = 0.0, done = 0.0, next_cut = share;
    std::int32_t lo = 0;
    for (int r = 0; r < height; ++r) {
        level += row_work_steps[static_cast<std::size_t>(r)];
        done += level > 0.0 ? level : 0.0;
        if (done >= next_cut && r + 1 < height && static_cast<int>(bands.size()) + 1 < count) {
            bands.push_back({lo, r + 1});
            lo = r + 1;
            while (next_cut <= done)
                next_cut += share;
        }
    }
    bands.push_back({lo, height});
}

} // namespace

bool rast_defer(const rast_point* p, int count, bool perspective, const raster_material& material)
{
    if (pool.threads() <= 1)
        return false;
    const rast_state& st = rast_current_state();
    // The rows the polygon may touch: both families draw rows between the
    // floor of the top vertex's y and that of the bottom one's (the affine
    // family's rows round to the nearest, at most one further). A polygon
    // with a position that is not a number draws nothing and is dropped.
    float top = p[0].sy, bottom = p[0].sy;
    float left = p[0].sx, right = p[0].sx;
    for (int i = 1; i < count; ++i) {
        top = p[i].sy < top ? p[i].sy : top;
        bottom = p[i].sy > bottom ? p[i].sy : bottom;
        left = p[i].sx < left ? p[i].sx : left;
        right = p[i].sx > right ? p[i].sx : right;
    }
    if (!std::isfinite(top) || !std::isfinite(bottom))
        return true;
    const double lo = std::max(std::floor(static_cast<double>(top)), 0.0);
    const double hi = std::min(std::floor(static_cast<double>(bottom)) + 1.0, static_cast<double>(st.clip_height));
    if (lo >= hi)
        return true;
    const std::int32_t row_lo = static_cast<std::int32_t>(lo), row_hi = static_cast<std::int32_t>(hi);
    // The estimate: a set-up on its first row, then each row and about
    // half its bounding width in pixels (a triangle's rows average half of
    // it; a wider polygon's more).
    if (row_work_steps.empty())
        row_work_steps.assign(static_cast<std::size_t>(st.clip_height) + 1, 0.0f);
    double width = static_cast<double>(right) - static_cast<double>(left);
    if (!(width > 0.0))
        width = 0.0;
    else if (width > st.clip_width)
        width = st.clip_width;
    const float per_row = row_work + static_cast<float>(width) * (count == 3 ? 0.5f : 0.8f);
    row_work_steps[static_cast<std::size_t>(row_lo)] += per_row + setup_work;
    row_work_steps[static_cast<std::size_t>(row_lo) + 1] -= setup_work;
    row_work_steps[static_cast<std::size_t>(row_hi)] -= per_row;
    queue.push_back({static_cast<std::uint32_t>(points.size()), static_cast<std::uint16_t>(count), perspective, material});
    queue_rows.push_back({row_lo, row_hi});
    for (int i = 0; i < count; ++i)
        points.push_back(p[i]);
    if (queue.size() >= max_queued)
        rast_flush();
    return true;
}

void rast_flush()
{
    if (queue.empty())
        return;
    const int height = rast_current_state().clip_height;
    cut_bands(height, pool.threads() * bands_per_thread, flush_bands);
    pool.draw(flush_bands);
    queue.clear();
    queue_rows.clear();
    points.clear();
    row_work_steps.clear();
}

void rast_set_threads(int threads)
{
    rast_flush();
    if (threads <= 0)
        threads = platform::WorkerPool::HardwareThreads();
    threads = std::clamp(threads, 1, rast_max_threads);
    if (threads != pool.threads())
        pool.set_threads(threads);
}

int rast_threads()
{
    return pool.threads();
}
