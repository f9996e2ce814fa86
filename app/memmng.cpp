#include "app/memmng.h"

#include <new>

#include "platform/fault_seam.h"

namespace {

const char* const new_entry_failure = "\nERROR. (memmng::new_entry) Out of memory!\n";
const char* const new_entry_array_failure = "\nERROR. (memmng::new_entry[]) Out of memory!\n";
const char* const memmng_failure = "\nERROR. (memmng::memmng) Out of memory!\n";

// Chunks that left their pool with records still out, linked through their
// prev and next fields. Pools are used from the main thread only.
memchunk* retired_chunks = nullptr;

void unlink_retired(memchunk* chunk)
{
    if (chunk->prev)
        chunk->prev->next = chunk->next;
    else
        retired_chunks = chunk->next;
    if (chunk->next)
        chunk->next->prev = chunk->prev;
    chunk->prev = chunk->next = nullptr;
}

// A chunk object itself comes from the heap; its failure is the pool's.
memchunk* make_chunk(std::uint32_t slots, std::uint32_t slot_size)
{
    if (platform::take_fault(platform::Fault::MemoryAlloc))
        return nullptr;
    return new (std::nothrow) memchunk(slots, slot_size);
}

} // namespace

memmng::memmng(std::uint32_t chunk_count, std::uint32_t slots_per_chunk, std::uint32_t slot_size)
{
    reset(chunk_count, slots_per_chunk, slot_size);
}

memmng::~memmng()
{
    destroy();
}

void memmng::reset(std::uint32_t chunk_count, std::uint32_t slots_per_chunk, std::uint32_t slot_size)
{
    destroy();
    slots_per_chunk_ = slots_per_chunk;
    slot_size_ = slot_size;
    memchunk* last = nullptr;
    for (std::uint32_t i = 0; i < chunk_count; ++i) {
        memchunk* chunk = make_chunk(slots_per_chunk, slot_size);
        if (!chunk)
            memory_manager_fatal(memmng_failure);
        if (last) {
            last->next = chunk;
            chunk->prev = last;
        } else {
            head_ = chunk;
        }
        last = chunk;
    }
}

void memmng::destroy()
{
    drop_chunks(false);
}

void memmng::retire()
{
    drop_chunks(true);
}

void memmng::drop_chunks(bool keep_chunks_in_use)
{
    memchunk* chunk = head_;
    head_ = nullptr;
    while (chunk) {
        memchunk* next = chunk->next;
        chunk->prev = chunk->next = nullptr;
        if (keep_chunks_in_use && chunk->used() != 0) {
            chunk->next = retired_chunks;
            if (retired_chunks)
                retired_chunks->prev = chunk;
            retired_chunks = chunk;
        } else {
            delete chunk;
        }
        chunk = next;
    }
}

bool memmng::give_back_retired(const void* address, std::uint32_t n)
{
    if (!address)
        return false;
    for (memchunk* c = retired_chunks; c; c = c->next) {
        if (!c->holds(address))
            continue;
        c->release(address, n);
        if (c->used() == 0) {
            unlink_retired(c);
            delete c;
        }
        return true;
    }
    return false;
}

std::uint32_t memmng::retired_chunk_count()
{
    std::uint32_t count = 0;
    for (const memchunk* c = retired_chunks; c; c = c->next)
        ++count;
    return count;
}

std::uint32_t memmng::chunk_count() const
{
    std::uint32_t count = 0;
    for (const memchunk* c = head_; c; c = c->next)
        ++count;
    return count;
}

void* memmng::grow_and_take(std::uint32_t n, const char* failure)
{
    if (slots_per_chunk_ == 0 || slot_size_ == 0)
        memory_manager_fatal(failure);
    memchunk* chunk = make_chunk(slots_per_chunk_, slot_size_);
    if (!chunk)
        memory_manager_fatal(failure);
    chunk->next = head_;
    if (head_)
        head_->prev = chunk;
    head_ = chunk;
    void* record = chunk->take_run(n);
    if (!record)
        memory_manager_fatal(failure);
    return record;
}

void* memmng::new_entry()
{
    for (memchunk* c = head_; c; c = c->next) {
        if (void* record = c->take())
            return record;
    }
    return grow_and_take(1, new_entry_failure);
}

void* memmng::new_entry_array(std::uint32_t n)
{
    if (n == 0)
        n = 1;
    for (memchunk* c = head_; c; c = c->next) {
        if (void* records = c->take_run(n))
            return records;
    }
    return grow_and_take(n, new_entry_array_failure);
}

void memmng::delete_entry(const void* address, std::uint32_t n)
{
    if (!address)
        return;
    for (memchunk* c = head_; c; c = c->next) {
        if (c->holds(address))
            c->release(address, n);
    }
}

bool memmng::holds(const void* address) const
{
    for (const memchunk* c = head_; c; c = c->next) {
        if (c->holds(address))
            return true;
    }
    return false;
}
