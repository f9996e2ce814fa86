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

namespace {

// The polygons recorded since the last flush.
struct queued_polygon {
    std::uint32_t first;  // its first point in `points`
    std::uint16_t count;
    bool perspective;
    std::int32_t row_lo, row_hi;  // the rows it may touch, inside the clip
    raster_material material;
};

// Past this many recorded polygons the queue is drawn at once, so a caller
// that never flushes does not make it grow without end (the picture is the
// same: everything recorded so far is drawn in order).
constexpr std::size_t max_queued = 1 << 16;

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

    // Draws the queue's bands of `band_rows` rows over rows [0, height).
    void draw(int height, int band_rows);

private:
    platform::WorkerPool* workers_ = nullptr;
    std::unique_ptr<platform::WorkerPool> own_;
    // The job of the current flush, read by the bands' tasks.
    int height_ = 0;
    int band_rows_ = 1;
};

std::vector<queued_polygon> queue;
std::vector<rast_point> points;
// The bands of the next flush, `bin_rows` rows each (0: not chosen yet),
// and for each the recorded polygons that reach it, in order.
int bin_rows = 0;
std::vector<std::vector<std::uint32_t>> bins;
band_pool pool;

// Draws the recorded polygons that reach band `band`, rows [lo, hi), in
// order.
void draw_band(std::size_t band, std::int64_t lo, std::int64_t hi)
{
    for (const std::uint32_t i : bins[band]) {
        const queued_polygon& p = queue[i];
        const std::int64_t from = p.row_lo > lo ? p.row_lo : lo;
        const std::int64_t to = p.row_hi < hi ? p.row_hi : hi;
        if (p.perspective)
            rast_draw_persp_rows(points.data() + p.first, p.count, p.material, from, to);
        else
            rast_draw_affine_rows(points.data() + p.first, p.material, from, to);
    }
}

void band_pool::draw(int height, int band_rows)
{
    const int bands = (height + band_rows - 1) / band_rows;
    if (bands <= 0)
        return;
    height_ = height;
    band_rows_ = band_rows;
    const auto task = [](void* context, int band) {
        const band_pool& self = *static_cast<const band_pool*>(context);
        const std::int64_t lo = static_cast<std::int64_t>(band) * self.band_rows_;
        const std::int64_t hi = std::min<std::int64_t>(lo + self.band_rows_, self.height_);
        draw_band(static_cast<std::size_t>(band), lo, hi);
    };
    if (workers_)
        workers_->Run(bands, task, this);
    else
        for (int band = 0; band < bands; ++band)
            task(this, band);
}

// Rows per band: one band per thread, at least 16 rows. More and smaller
// bands balance the threads better but cut more small polygons, which each
// band they reach sets up again; on the race-sized frame one band per thread
// was the fastest of one, two and four.
int band_rows_for(int height, int threads)
{
    const int rows = (height + threads - 1) / threads;
    return std::max(rows, 16);
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
    for (int i = 1; i < count; ++i) {
        top = p[i].sy < top ? p[i].sy : top;
        bottom = p[i].sy > bottom ? p[i].sy : bottom;
    }
    if (!std::isfinite(top) || !std::isfinite(bottom))
        return true;
    const double lo = std::max(std::floor(static_cast<double>(top)), 0.0);
    const double hi = std::min(std::floor(static_cast<double>(bottom)) + 1.0, static_cast<double>(st.clip_height));
    if (lo >= hi)
        return true;
    if (bin_rows == 0) {
        bin_rows = band_rows_for(st.clip_height, pool.threads());
        bins.resize(static_cast<std::size_t>((st.clip_height + bin_rows - 1) / bin_rows));
    }
    const std::int32_t row_lo = static_cast<std::int32_t>(lo), row_hi = static_cast<std::int32_t>(hi);
    const std::uint32_t index = static_cast<std::uint32_t>(queue.size());
    queue.push_back({static_cast<std::uint32_t>(points.size()), static_cast<std::uint16_t>(count), perspective, row_lo,
                     row_hi, material});
    for (int i = 0; i < count; ++i)
        points.push_back(p[i]);
    for (std::int32_t band = row_lo / bin_rows; band <= (row_hi - 1) / bin_rows; ++band)
        bins[static_cast<std::size_t>(band)].push_back(index);
    if (queue.size() >= max_queued)
        rast_flush();
    return true;
}

void rast_flush()
{
    if (queue.empty())
        return;
    pool.draw(rast_current_state().clip_height, bin_rows);
    queue.clear();
    points.clear();
    for (std::vector<std::uint32_t>& bin : bins)
        bin.clear();
    bin_rows = 0;
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
