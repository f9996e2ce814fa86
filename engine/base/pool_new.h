#pragma once

#include <cstddef>
#include <cstdint>

// Pool-typed allocation of the engine's animation records.
//
// `new (type) T` with a pool type 0 to 13 takes T's storage from that pool of
// the current engine context; type 14 takes it from the ordinary heap. Any
// other type is fatal: "\n\nERROR! (::operator new) tipo non valido.\n" in a
// box captioned "error", then exit status 1. A size of 0 gives null and
// touches no pool. Heap storage (type 14) comes from the global operator new
// (new[] for the array form), so a plain delete of a class without
// pool_record gives it back correctly.
//
// A request takes as many consecutive records as its size needs (at least
// one), so an array form `new (type) T[n]`, whose size includes the count
// the compiler keeps in front of the first element, gets room for all of it.
//
// The global operator new and delete stay the ordinary ones. A pooled record
// goes back to its pool through its class's own operator delete, which the
// pool_record base below supplies: the class derives from
// pool_record<Class, type>, and `delete p` (or `delete[] p`) returns the
// records to the pool of the live engine context that holds them, or frees
// heap storage (type 14). Destructors therefore do not return their records
// themselves, and no program-wide word has to tell operator delete whether to
// free.
//
// A record may outlive its engine context: a context released while records
// are out keeps the chunks they lie in (memmng::retire), so the records stay
// valid and their delete gives them back to that chunk, which is freed with
// its last record. A pooled record is never handed to the global operator
// delete.

enum engine_pool_type : int {
    pool_anim_node = 0,
    pool_node_binding = 1,
    pool_anim_link = 2,
    pool_shape_anim = 3,
    pool_lattice_shape = 4,
    pool_lattice_anim = 5,
    pool_orient_key = 6,
    pool_orient_spline = 7,
    pool_anim_rotation = 8,
    pool_path_point = 9,
    pool_path_spline = 10,
    pool_anim_position = 11,
    pool_fcurve = 12,
    pool_fcurve_key = 13,
    pool_heap = 14,
};

inline constexpr int engine_pool_types = 14;

// Record size of each pool: the size of the record type that lives there,
// rounded up to 16 bytes. pool_record checks this at compile time against the
// real type, so a change to a record type shows here.
inline constexpr std::uint32_t engine_pool_record_bytes[engine_pool_types] = {
    112, // anim_node
    128, // node binding record
    64,  // anim_link
    96,  // shape_anim
    192, // lattice_shape
    80,  // lattice_anim
    96,  // orient_key
    96,  // orient_spline
    80,  // anim_rotation
    96,  // path_point
    128, // path_spline
    80,  // anim_position
    48,  // fcurve
    48,  // fcurve_key
};

// Records in each pool's first chunk; a full pool grows by a chunk of the
// same size.
inline constexpr std::uint32_t engine_pool_record_counts[engine_pool_types] = {
    6000, 10, 600, 100, 5, 5, 20, 20, 100, 20, 20, 100, 500, 150,
};

constexpr std::size_t round_up_16(std::size_t size)
{
    return (size + 15) / 16 * 16;
}

// The number of records of pool `type` (0 to 13) that `size` bytes need: the
// size divided by the record size, rounded up, and at least one.
std::uint32_t engine_pool_records_for(int type, std::size_t size);

// n consecutive records of pool `type` (0 to 13) of the current engine
// context, n = engine_pool_records_for(type, size). Fatal without a current
// context ("ENGINE:: No engine context!").
void* engine_pool_new(int type, std::size_t size);

// Gives back storage that operator new(size, type) (`array`: new[]) returned
// for `size` bytes: the records return to the pool of the live engine context
// whose pool `type` holds them, or to the chunk a released context kept for
// them; storage that no chunk holds came from the heap (type 14) and goes
// back there. Null does nothing.
void pool_record_delete(void* record, std::size_t size, int type, bool array = false) noexcept;

// Fatal report of a pool type outside 0 to 14.
[[noreturn]] void pool_type_invalid();

void* operator new(std::size_t size, int pool) noexcept;
void* operator new[](std::size_t size, int pool) noexcept;

// Base of every pooled record class. `Pool` is the record's pool type; the
// class is created with `new (Pool) Record` (or `new (pool_heap) Record`
// where the record lives on the heap), never with a plain new.
template <class Record, int Pool>
struct pool_record {
    static_assert(Pool >= 0 && Pool < engine_pool_types, "pool records live in pools 0 to 13");

    static void* operator new(std::size_t size, int pool) noexcept
    {
        check_record_size();
        if (pool != Pool && pool != pool_heap && size != 0)
            pool_type_invalid();
        return ::operator new(size, pool);
    }
    static void* operator new[](std::size_t size, int pool) noexcept
    {
        check_record_size();
        if (pool != Pool && pool != pool_heap && size != 0)
            pool_type_invalid();
        return ::operator new[](size, pool);
    }
    static void operator delete(void* record, std::size_t size) noexcept
    {
        pool_record_delete(record, size, Pool);
    }
    static void operator delete[](void* records, std::size_t size) noexcept
    {
        pool_record_delete(records, size, Pool, true);
    }

private:
    static constexpr void check_record_size()
    {
        static_assert(engine_pool_record_bytes[Pool] == round_up_16(sizeof(Record)),
                      "engine_pool_record_bytes must hold this record's size rounded up to 16");
    }
};

// Links n contiguous records into a list: the first record's prev is null,
// each record's next points at the following record and that record's prev
// back at it, the last record's next is null. Nothing happens for n < 1.
template <class Record>
void link_array_72(Record* records, int n)
{
    for (int i = 0; i < n; ++i) {
        records[i].prev = i > 0 ? &records[i - 1] : nullptr;
        records[i].next = i + 1 < n ? &records[i + 1] : nullptr;
    }
}
