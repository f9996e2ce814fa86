#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/display.h"
#include "platform/worker_pool.h"

// The triangle rasteriser behind the 3D device: transformed, lit triangle
// lists drawn into a 16-bit colour surface and a 16-bit Z-buffer.
//
// Pixel (x, y) is covered when the point (x, y) lies inside the triangle
// (pixel centres on integer coordinates), with vertex positions snapped to
// 1/16 pixel and a top-left fill rule: a point on an edge belongs to the
// triangle only when the edge is a top edge (horizontal, triangle below) or
// a left edge, so triangles sharing an edge draw each pixel exactly once.
// Texture coordinates are interpolated perspective-correct (u/w, v/w and 1/w
// linear in screen space, one division per pixel); Z, the colour and the
// specular colour (its alpha is the fog factor) linear in screen space.
//
// Draws are queued between begin and flush and drawn at the flush by bands
// of rows, each band by one thread, every band seeing the triangles in the
// order they were queued. Every value a pixel gets depends only on its
// triangle and its row, never on the band, so the picture is the same for
// any number of threads.
namespace platform {

// A transformed and lit vertex: screen position, depth 0..1, 1/w, the
// diffuse colour 0xAARRGGBB, the specular colour 0xFFRRGGBB with the fog
// factor in its alpha (255 no fog, 0 all fog), texture coordinates.
struct TLVertex {
    float sx = 0, sy = 0, sz = 0, rhw = 1;
    std::uint32_t colour = 0xFFFFFFFFu;
    std::uint32_t specular = 0xFF000000u;
    float tu = 0, tv = 0;
};

enum class CompareFunc { Never, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
enum class BlendFactor { Zero, One, SourceAlpha, InverseSourceAlpha };
enum class TextureFilter { Nearest, Linear };
// How a texel combines with the vertex colour: modulate multiplies the
// colours and takes the texel's alpha when the texture has one (else the
// vertex's); modulate-alpha multiplies the alphas too; decal takes the texel.
enum class TextureBlend { Decal, Modulate, ModulateAlpha };

struct RenderStates {
    bool z_enable = true;
    bool z_write = true;
    CompareFunc z_func = CompareFunc::LessEqual;
    bool alpha_blend = false;
    BlendFactor source_blend = BlendFactor::One;
    BlendFactor dest_blend = BlendFactor::Zero;
    bool colour_key = true;      // keyed texels leave the pixel alone
    bool fog = false;
    std::uint32_t fog_colour = 0;  // 0xRRGGBB
    bool specular = false;       // adds the specular colour
    TextureFilter filter = TextureFilter::Nearest;
    TextureBlend texture_blend = TextureBlend::Modulate;
    bool gouraud = true;         // false: the first vertex's colours for the whole triangle
    // Stippled alpha: a pixel is drawn (opaque, or blended when alpha
    // blending is on too) only where its alpha is above the threshold of
    // its place in a 4 x 4 ordered pattern, so alpha 128 draws every
    // other pixel and 255 all of them.
    bool stippled_alpha = false;
};

// A texture as the rasteriser reads it: power-of-two sides, 16-bit texels
// (Rgb565, Rgb555, Bgr565 or Argb4444), rows `pitch` texels apart.
struct RasterTexture {
    const std::uint16_t* texels = nullptr;
    int width = 0, height = 0, pitch = 0;
    PixelLayout layout = PixelLayout::Rgb565;
    bool keyed = false;
    std::uint16_t key = 0;
};

// Where the triangles go: a 16-bit colour surface (Rgb565, Rgb555 or
// Bgr565) and optionally a Z-buffer, pitches in pixels, and the rectangle
// everything is scissored to.
struct RasterTarget {
    std::uint16_t* colour = nullptr;
    int colour_pitch = 0;
    PixelLayout layout = PixelLayout::Rgb565;
    std::uint16_t* depth = nullptr;
    int depth_pitch = 0;
    PixelRect scissor;
};

class TriangleRasteriser {
public:
    // 0 threads: as many as the machine has cores.
    explicit TriangleRasteriser(int threads = 1);
    ~TriangleRasteriser();
    TriangleRasteriser(const TriangleRasteriser&) = delete;
    TriangleRasteriser& operator=(const TriangleRasteriser&) = delete;

    int threads() const { return pool_ ? pool_->Threads() : 1; }
    void set_threads(int threads);

    // Queues an indexed triangle list with its states and texture (null:
    // untextured). The texture's texels must stay as they are until the
    // flush. Indexes at or past `vertex_count` leave their triangle out;
    // false when any did.
    bool queue(const RenderStates& states, const RasterTexture* texture, const TLVertex* vertices, int vertex_count,
               const std::uint16_t* indices, int index_count);
    bool empty() const { return triangles_.empty(); }
    // Draws everything queued into the target and empties the queue.
    void flush(const RasterTarget& target);
    void discard();

    struct Setup;
    struct SpanContext;
    struct Command {
        RenderStates states;
        RasterTexture texture;
        bool textured = false;
    };

private:
    void set_up(std::size_t first, std::size_t last);
    void draw_band(const RasterTarget& target, int band);
    void run_parallel(int tasks, const std::function<void(int)>& task);

    int threads_ = 1;  // asked for (the pool may have fewer)
    std::vector<Command> commands_;
    std::vector<TLVertex> vertices_;   // three per queued triangle
    std::vector<std::uint32_t> triangles_;  // command index of each
    std::vector<Setup> setups_;
    std::vector<std::uint8_t> setup_ok_;
    // The triangles of band b: band_items_[band_start_[b] .. band_start_[b + 1]).
    std::vector<std::uint32_t> band_start_, band_fill_, band_items_;
    struct BandRange {
        int first, last;  // none when last < first
    };
    std::vector<BandRange> band_of_;

    // The threads that share a flush's set-up and bands: the shared pool
    // when as many as the hardware's are asked for, else own_pool_.
    WorkerPool* pool_ = nullptr;
    std::unique_ptr<WorkerPool> own_pool_;
};

} // namespace platform
