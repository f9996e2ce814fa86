#include "engine/base/pool_new.h"

#include <cstdlib>
#include <new>

#include "engine/base/engine.h"
#include "engine/base/error_box.h"

std::uint32_t engine_pool_records_for(int type, std::size_t size)
{
    const std::size_t record = engine_pool_record_bytes[type];
    // Rounded up without forming size + record - 1, which wraps for sizes
    // near the top of the range and would turn a huge request into one
    // record.
    const std::size_t n = size / record + (size % record != 0 ? 1 : 0);
    // No pool chunk holds anywhere near 2^32 records: such a size fails in
    // the pool as a run longer than a chunk.
    if (n > UINT32_MAX)
        return UINT32_MAX;
    return n == 0 ? 1u : static_cast<std::uint32_t>(n);
}

void* engine_pool_new(int type, std::size_t size)
{
    if (!current_engine)
        engine_error(2);
    const std::uint32_t n = engine_pool_records_for(type, size);
    memmng& pool = current_engine->pool(type);
    return n == 1 ? pool.new_entry() : pool.new_entry_array(n);
}

void pool_record_delete(void* record, std::size_t size, int type, bool array) noexcept
{
    if (!record)
        return;
    // A record knows where it came from by the chunk that holds it: a pool
    // of a live context, or a chunk its released context kept for it (no
    // chunk storage is freed while a record lies in it, so no heap block can
    // share its address). Storage that no chunk holds came from the heap.
    const std::uint32_t n = engine_pool_records_for(type, size);
    if (engine* owner = engine::find_pool_owner(type, record)) {
        owner->pool(type).delete_entry(record, n);
        return;
    }
    if (memmng::give_back_retired(record, n))
        return;
    if (array)
        ::operator delete[](record);
    else
        ::operator delete(record);
}

void pool_type_invalid()
{
    error_box("error", "%s", "\n\nERROR! (::operator new) tipo non valido.\n");
    std::exit(1);
}

namespace {

void* pool_or_heap_new(std::size_t size, int pool, bool array)
{
    if (size == 0)
        return nullptr;
    if (pool >= 0 && pool < engine_pool_types)
        return engine_pool_new(pool, size);
    if (pool != pool_heap)
        pool_type_invalid();
    // The ordinary heap, in the form the matching plain delete gives back.
    return array ? ::operator new[](size, std::nothrow) : ::operator new(size, std::nothrow);
}

} // namespace

void* operator new(std::size_t size, int pool) noexcept
{
    return pool_or_heap_new(size, pool, false);
}

void* operator new[](std::size_t size, int pool) noexcept
{
    return pool_or_heap_new(size, pool, true);
}
