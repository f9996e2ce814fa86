#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/device3d_raster.h"

// The polygon batches: the mesh pipeline hands the renderer one triangle or
// quad at a time, and the renderer sorts them by texture into slots, each
// holding transformed-and-lit vertices and 16-bit indices for one indexed
// draw. Every texture in use during a frame owns one slot of its class; the
// 13 classes differ in slot count and capacity. draw_scene draws and frees
// every slot at the end of the frame; a slot that runs full, or a class with
// no slot left, is drawn at once (render_device::flush_batch).
//
// The classes fall into three groups (A: 0-5, B: 6-11, C: 12). Each group
// carves its slots from an arena of its own, so slots of different groups
// never share memory and any mix of classes may be queued in one frame.

struct cache_texture;

// One slot: the texture it belongs to (or none), what it holds, and its
// areas in its group's arena. The vertex area has room for the capacity plus
// 10 spare vertices, so that a polygon that starts below the capacity always
// fits and the capacity is tested once per polygon.
struct batch_slot {
    cache_texture* texture = nullptr;
    std::int32_t vertex_count = 0;
    std::int32_t index_count = 0;
    std::int32_t vertex_capacity = 0;
    std::int32_t index_capacity = 0;
    std::uint16_t* indices = nullptr;
    platform::TLVertex* vertices = nullptr;
};

inline constexpr int kBatchClasses = 13;
inline constexpr int kBatchGroups = 3;
inline constexpr int kBatchSpareVertices = 10;
// The texture class given to every class number above the last.
inline constexpr int kOverlayBatchClass = 12;

struct batch_class_size {
    std::int32_t vertex_capacity;
    std::int32_t index_capacity;
    std::int32_t slots;
    std::int32_t group;  // 0 A, 1 B, 2 C
};

inline constexpr batch_class_size kBatchClassSizes[kBatchClasses] = {
    {100, 200, 70, 0},   {200, 400, 20, 0},  {800, 1600, 15, 0}, {600, 1200, 5, 0},  {1600, 3000, 10, 0},
    {390, 800, 5, 0},    {1500, 3000, 8, 1}, {400, 800, 15, 1},  {400, 800, 20, 1},  {600, 1000, 8, 1},
    {1000, 2000, 6, 1},  {390, 800, 25, 1},  {1590, 3200, 30, 2},
};

// The bytes a group's slots take: index areas (2 bytes an index) and vertex
// areas (32 bytes a vertex, capacity + 10). A 1,618,400, B 1,699,840,
// C 1,728,000.
std::size_t batch_group_bytes(int group);

// One class: the slots in use are the first `cursor` ones.
struct batch_class {
    std::int32_t cursor = 0;
    std::int32_t vertex_capacity = 0;
    std::int32_t index_capacity = 0;
    std::int32_t slot_count = 0;
    std::vector<batch_slot> slots;
};

// The 13 classes and their three arenas.
class batch_table {
public:
    batch_table();
    // Carves every slot from its group's arena; false (nothing kept) when
    // the memory cannot be had or a group's slots would not fit its arena.
    bool allocate();
    void release();
    bool allocated() const { return allocated_; }
    // The bytes of a group's arena; 0 before allocate.
    std::size_t arena_bytes(int group) const;

    batch_class rows[kBatchClasses];

private:
    struct arena {
        std::vector<std::uint16_t> indices;
        std::vector<platform::TLVertex> vertices;
    };
    arena arenas_[kBatchGroups];
    bool allocated_ = false;
};

// What draw_scene and flush_batch answer when the device's surfaces were
// lost (the display's "surface lost" code); not an error: the frame is
// dropped and the caller goes on.
inline constexpr int kSurfaceLostResult = static_cast<int>(0x887601C2u);
