#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/render/rast.h"
#include "engine/render/rast_state.h"
#include "platform/thread.h"

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

// The pool: `threads - 1` workers and the thread that flushes share the
// bands of a flush. A flush publishes its job under a new generation; a
// worker claims bands through `ticket` (generation, band count and next band
// in one word), so a worker that wakes late can never claim a band of a
// later flush with the job of an earlier one.
class band_pool {
public:
    ~band_pool() { stop(); }

    int threads() const { return threads_; }

    void set_threads(int threads)
    {
        stop();
        threads_ = 1;
        workers_.clear();
        stopping_.store(false, std::memory_order_relaxed);
        workers_.reserve(static_cast<std::size_t>(threads - 1));
        for (int i = 1; i < threads; ++i) {
            auto worker = std::make_unique<platform::Thread>();
            // A thread the system refuses is one fewer to share the work.
            // The generation the worker starts from is the one current when
            // it is made: a thread that the system starts late still sees
            // every later one (a stop among them).
            const std::uint32_t from = generation_.load(std::memory_order_relaxed);
            if (!worker->start([this, from] { work(from); }))
                break;
            workers_.push_back(std::move(worker));
        }
        threads_ = 1 + static_cast<int>(workers_.size());
    }

    // Draws the queue's bands of `band_rows` rows over rows [0, height).
    void draw(int height, int band_rows)
    {
        const int bands = (height + band_rows - 1) / band_rows;
        if (bands <= 0)
            return;
        height_ = height;
        band_rows_ = band_rows;
        done_.store(0, std::memory_order_relaxed);
        const std::uint32_t generation = generation_.load(std::memory_order_relaxed) + 1;
        ticket_.store(make_ticket(generation, static_cast<std::uint32_t>(bands), 0), std::memory_order_release);
        if (!workers_.empty())
            publish(generation);
        run(generation);
        // Every band is claimed; wait for those still being drawn.
        for (int spins = 0; done_.load(std::memory_order_acquire) != bands; ++spins) {
            if (spins < 4096)
                spin_pause();
            else
                std::this_thread::yield();
        }
    }

private:
    static std::uint64_t make_ticket(std::uint32_t generation, std::uint32_t bands, std::uint32_t next)
    {
        return static_cast<std::uint64_t>(generation) << 32 | (bands & 0xFFFFu) << 16 | (next & 0xFFFFu);
    }

    static void spin_pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    // Claims and draws bands of `generation` until none is left.
    void run(std::uint32_t generation);

    void work(std::uint32_t seen)
    {
        for (;;) {
            // A short spin first: the next flush often follows soon, and a
            // sleeping thread takes longer to wake than a band takes to draw.
            for (int spins = 0; spins < 2048 && generation_.load(std::memory_order_acquire) == seen; ++spins)
                spin_pause();
            {
                std::unique_lock lock(sleep_);
                wake_.wait(lock, [&] { return generation_.load(std::memory_order_acquire) != seen; });
            }
            // The generation first: a stop publishes one after setting the
            // flag, so a worker that reads it also sees the flag.
            seen = generation_.load(std::memory_order_acquire);
            if (stopping_.load(std::memory_order_acquire))
                return;
            run(seen);
        }
    }

    void stop()
    {
        if (workers_.empty())
            return;
        stopping_.store(true, std::memory_order_release);
        publish(generation_.load(std::memory_order_relaxed) + 1);
        workers_.clear();  // each waits for its thread
    }

    // A new generation, under the lock the sleeping workers check it under,
    // so that none misses it.
    void publish(std::uint32_t generation)
    {
        {
            std::lock_guard lock(sleep_);
            generation_.store(generation, std::memory_order_release);
        }
        wake_.notify_all();
    }

    int threads_ = 1;
    std::vector<std::unique_ptr<platform::Thread>> workers_;
    std::atomic<std::uint32_t> generation_{0};
    std::atomic<std::uint64_t> ticket_{0};
    std::atomic<int> done_{0};
    std::atomic<bool> stopping_{false};
    std::mutex sleep_;
    std::condition_variable wake_;
    // The job of the current flush, written before its generation is
    // published and read only by threads holding one of its bands.
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

void band_pool::run(std::uint32_t generation)
{
    std::uint64_t t = ticket_.load(std::memory_order_acquire);
    for (;;) {
        const std::uint32_t bands = static_cast<std::uint32_t>(t >> 16) & 0xFFFFu;
        const std::uint32_t next = static_cast<std::uint32_t>(t) & 0xFFFFu;
        if (static_cast<std::uint32_t>(t >> 32) != generation || next >= bands)
            return;
        if (!ticket_.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel, std::memory_order_acquire))
            continue;
        const std::int64_t lo = static_cast<std::int64_t>(next) * band_rows_;
        const std::int64_t hi = std::min<std::int64_t>(lo + band_rows_, height_);
        draw_band(next, lo, hi);
        done_.fetch_add(1, std::memory_order_release);
        t = ticket_.load(std::memory_order_acquire);
    }
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
        threads = static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, rast_max_threads);
    if (threads != pool.threads())
        pool.set_threads(threads);
}

int rast_threads()
{
    return pool.threads();
}
