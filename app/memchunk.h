#pragma once

#include <cstddef>
#include <cstdint>

// One block of equal-size slots with one state byte per slot: 'F' free,
// 'A' taken. Pools (memmng) chain these blocks; the engine's small fixed-size
// records live in them.
//
// Searches start at the hint: every slot before it is taken, so consecutive
// single takes cost one map byte each. Runs of slots (arrays of records) are
// searched from the hint too; any n consecutive free slots serve a run of n,
// the last slot and a run that fills the whole chunk included.
class memchunk {
public:
    static constexpr std::uint8_t slot_free = 'F';
    static constexpr std::uint8_t slot_taken = 'A';

    // Allocates the slot storage (slot count x slot size, plus four spare
    // bytes) and the map, all slots free. Out of memory (or a storage size
    // that cannot be represented) shows "\nERROR. (memchunk::memchunk) Out of
    // memory!\n" and ends the program with exit status 1.
    memchunk(std::uint32_t slot_count, std::uint32_t slot_size);
    ~memchunk();

    memchunk(const memchunk&) = delete;
    memchunk& operator=(const memchunk&) = delete;

    // One free slot, or null when the chunk has none from the hint on (the
    // search does not wrap).
    void* take();

    // The first n consecutive free slots from the hint on, or null when there
    // are none (the search does not wrap). n = 1 is take(); n = 0 gives null.
    void* take_run(std::uint32_t n);

    // Gives back n slots starting at `address`. Only slots that are taken
    // change: a slot that is already free is left as it is and not counted
    // twice. An address outside the slot storage or not on a slot boundary
    // changes nothing; a run reaching past the last slot stops there.
    void release(const void* address, std::uint32_t n);

    // True when `address` lies inside the slot storage (from the first slot
    // to the end of the last one).
    bool holds(const void* address) const;

    std::uint32_t slot_count() const { return slot_count_; }
    std::uint32_t slot_size() const { return slot_size_; }
    std::uint32_t used() const { return used_; }
    // Index of the map byte where searches start.
    std::uint32_t hint() const { return static_cast<std::uint32_t>(hint_ - map_); }
    // State byte of one slot ('F' or 'A').
    std::uint8_t slot_state(std::uint32_t index) const { return map_[index]; }
    std::uint8_t* slot_address(std::uint32_t index) const { return block_ + static_cast<std::size_t>(index) * slot_size_; }

    // Neighbours in the owning pool's chain.
    memchunk* prev = nullptr;
    memchunk* next = nullptr;

private:
    std::uint32_t slot_count_;
    std::uint32_t slot_size_;
    std::uint32_t used_ = 0;
    std::uint8_t* map_ = nullptr;
    std::uint8_t* block_ = nullptr;
    std::uint8_t* hint_ = nullptr;
};

// Shows a fatal memory manager message in a box captioned "error" (and on
// stderr) and ends the program with exit status 1.
[[noreturn]] void memory_manager_fatal(const char* text);
