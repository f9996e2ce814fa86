#pragma once

#include <cstdint>

#include "app/memchunk.h"

// A pool of equal-size records: a chain of memchunks of one geometry that
// grows by one chunk whenever a request finds no room. A new chunk goes to
// the front of the chain, so the requests that follow find it first.
//
// Requests never return null: when no chunk can be added, or a run of
// records is longer than a fresh chunk can hold, the program shows the
// out-of-memory message and ends with exit status 1.
class memmng {
public:
    // An empty pool without a geometry; it cannot grow until reset().
    memmng() = default;
    // A chain of `chunk_count` chunks of `slots_per_chunk` slots of
    // `slot_size` bytes. Later chunks have the same geometry.
    memmng(std::uint32_t chunk_count, std::uint32_t slots_per_chunk, std::uint32_t slot_size);
    ~memmng();

    memmng(const memmng&) = delete;
    memmng& operator=(const memmng&) = delete;

    // Destroys every chunk and builds the chain anew with this geometry.
    void reset(std::uint32_t chunk_count, std::uint32_t slots_per_chunk, std::uint32_t slot_size);

    // Unlinks and destroys every chunk; the geometry is kept.
    void destroy();

    // Unlinks every chunk as destroy() does, but a chunk that still has
    // records out is kept aside (retired) rather than freed: its records stay
    // valid storage until they are given back with give_back_retired(), and
    // the chunk is freed with the last of them. Chunks with no record out are
    // freed at once. The geometry is kept.
    void retire();

    // Returns n records to the retired chunk that holds `address`, freeing
    // the chunk when it has no record out any more. False (nothing changes)
    // when no retired chunk holds the address.
    static bool give_back_retired(const void* address, std::uint32_t n);

    // Retired chunks that still wait for records.
    static std::uint32_t retired_chunk_count();

    // One record. Failure: "\nERROR. (memmng::new_entry) Out of memory!\n".
    void* new_entry();

    // n consecutive records in one chunk (n of 0 counts as 1).
    // Failure: "\nERROR. (memmng::new_entry[]) Out of memory!\n".
    void* new_entry_array(std::uint32_t n);

    // Returns n records to the chunk that holds `address`; nothing happens
    // for an address that no chunk holds.
    void delete_entry(const void* address, std::uint32_t n = 1);

    // True when a chunk of this pool holds `address`.
    bool holds(const void* address) const;

    memchunk* head() const { return head_; }
    std::uint32_t chunk_count() const;
    std::uint32_t slots_per_chunk() const { return slots_per_chunk_; }
    std::uint32_t slot_size() const { return slot_size_; }

private:
    void* grow_and_take(std::uint32_t n, const char* failure);
    // Unlinks every chunk and frees it, or (keep_chunks_in_use) retires a
    // chunk that still has records out.
    void drop_chunks(bool keep_chunks_in_use);

    memchunk* head_ = nullptr;
    std::uint32_t slots_per_chunk_ = 0;
    std::uint32_t slot_size_ = 0;
};
