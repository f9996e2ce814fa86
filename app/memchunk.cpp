#include "app/memchunk.h"

#include <cstdlib>
#include <cstring>

#include "platform/fault_seam.h"
#include "platform/message_box.h"

void memory_manager_fatal(const char* text)
{
    platform::message_box(text, "error", platform::MB_OK);
    std::exit(1);
}

memchunk::memchunk(std::uint32_t slot_count, std::uint32_t slot_size)
    : slot_count_(slot_count), slot_size_(slot_size)
{
    // Four spare bytes after the last slot, as the block has always had.
    const std::uint64_t block_bytes = static_cast<std::uint64_t>(slot_count) * slot_size + 4;
    const bool representable = block_bytes <= static_cast<std::uint64_t>(SIZE_MAX);
    if (representable && !platform::take_fault(platform::Fault::MemoryAlloc)) {
        block_ = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(block_bytes)));
        map_ = static_cast<std::uint8_t*>(std::malloc(slot_count == 0 ? 1 : slot_count));
    }
    if (!block_ || !map_) {
        std::free(block_);
        std::free(map_);
        memory_manager_fatal("\nERROR. (memchunk::memchunk) Out of memory!\n");
    }
    std::memset(map_, slot_free, slot_count);
    hint_ = map_;
}

memchunk::~memchunk()
{
    std::free(block_);
    std::free(map_);
}

void* memchunk::take()
{
    if (used_ == slot_count_)
        return nullptr;
    std::uint8_t* const end = map_ + slot_count_;
    for (std::uint8_t* p = hint_; p < end; ++p) {
        if (*p != slot_taken) {
            *p = slot_taken;
            hint_ = p + 1;
            ++used_;
            return slot_address(static_cast<std::uint32_t>(p - map_));
        }
    }
    return nullptr;
}

void* memchunk::take_run(std::uint32_t n)
{
    if (n == 0)
        return nullptr;
    if (n == 1)
        return take();
    if (static_cast<std::uint64_t>(used_) + n > slot_count_)
        return nullptr;
    std::uint32_t start = static_cast<std::uint32_t>(hint_ - map_);
    for (;;) {
        // The run must fit before the end of the map; it may end on the last
        // slot and may fill the chunk.
        if (static_cast<std::uint64_t>(start) + n > slot_count_)
            return nullptr;
        std::uint32_t i = 0;
        while (i < n && map_[start + i] == slot_free)
            ++i;
        if (i == n)
            break;
        // Restart just past the blocking slot.
        start += i + 1;
    }
    std::memset(map_ + start, slot_taken, n);
    used_ += n;
    hint_ = map_;
    return slot_address(start);
}

bool memchunk::holds(const void* address) const
{
    const auto* p = static_cast<const std::uint8_t*>(address);
    return p >= block_ && p < block_ + static_cast<std::size_t>(slot_count_) * slot_size_;
}

void memchunk::release(const void* address, std::uint32_t n)
{
    if (!address || !holds(address) || slot_size_ == 0)
        return;
    const std::size_t offset = static_cast<std::size_t>(static_cast<const std::uint8_t*>(address) - block_);
    if (offset % slot_size_ != 0)
        return;
    const std::uint32_t index = static_cast<std::uint32_t>(offset / slot_size_);
    if (map_ + index < hint_)
        hint_ = map_;
    const std::uint32_t last = slot_count_ - index < n ? slot_count_ : index + n;
    for (std::uint32_t i = index; i < last; ++i) {
        if (map_[i] == slot_taken) {
            map_[i] = slot_free;
            --used_;
        }
    }
}
