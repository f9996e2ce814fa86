#pragma once

#include <cstdint>

#include "engine/base/clip_vertex.h"
#include "engine/base/material_records.h"

// The software rasteriser of render type 144: it fills polygons that the
// mesh pipeline has clipped, projected, lit and sorted back to front straight
// into the locked back surface, one lit, texture-mapped span at a time. Every
// texel goes through the shade table (texel colour against light level);
// keyed materials leave texel 0 out and translucent ones blend texels
// 0xE0-0xFF over the frame through their blend page.
//
// Two families of entries:
// - rast_polygon: perspective-correct, for a convex polygon of 3 or more
//   vertices;
// - rast_draw_triangle / rast_draw_triangle_alt: affine, for triangles.
//
// The rasteriser never writes outside the frame it was given: rows are
// clamped to the screen's height and every span to its width, so polygons
// that a clipper rounded outward (or any other polygon) stay inside; what
// lies inside the screen is drawn as if nothing had been clamped.
//
// Main thread only, while the back surface is locked; the state is
// program-wide and not reentrant. With several threads (rast_set_threads)
// the entries record their polygons and rast_flush draws them, sharing the
// rows among the threads; the picture is the same for any thread count.
// docs/rasteriser.md has the details.

// Initial settings.
inline constexpr int rast_default_span_run = 4;
inline constexpr int rast_default_edge_run = 2;

// The frame the rasteriser draws into: the locked back surface's memory.
struct rast_frame {
    void* pixels = nullptr;   // first byte of the top row; null: nothing is drawn
    int pitch = 0;            // bytes from one row to the next (a whole number of pixels)
    int width = 0;            // pixels per row that may be written
    int height = 0;           // rows that may be written
    int depth = 8;            // 8 (palette indices) or 16 bits per pixel
};

// Stores the three settings: the perspective family's run length along a
// span (pixels between exact divisions) and along an edge (rows), and the
// full-resolution switch (0: one sample per pixel pair; else one per pixel).
// Runs shorter than one pixel (or one pair in the half modes) are lengthened
// to that.
void rast_set_globals(int span_run, int edge_run, int full_res);

// Sets the screen state: the width and height as given, the integer screen
// width, half of it, and the centre (width x 0.5 - 1, height x 0.5 - 1).
// Keeps the current frame.
void rast_set_screen(float width, float height);
// The same, and makes `frame` the one drawn into. The frame's pitch must be a
// whole number of pixels (asserted); rows are that many pixels apart.
void rast_set_screen(float width, float height, const rast_frame& frame);
// Makes `frame` the one drawn into and keeps the screen state. The display's
// set-up gives the software type's back surface here each time it is made,
// and an empty frame when it is released, so nothing draws into freed memory.
void rast_set_frame(const rast_frame& frame);
// The frame drawn into, as last given.
rast_frame rast_current_frame();

// The most threads rast_set_threads takes.
inline constexpr int rast_max_threads = 64;

// Sets how many threads draw (0: as many as the machine has cores; at most
// rast_max_threads), after drawing what is recorded. With 1, the initial
// value, every entry draws its polygon before it returns. With more, an
// entry clamps the caller's lights (written back at once, as always), copies
// the vertices and the material record (the caller may reuse both at once)
// and records the polygon; rast_flush draws everything recorded, in order,
// the threads each drawing whole bands of rows. The texels, the shade table
// and the blend pages a recorded polygon reads must stay as they are until
// the flush, and the caller leaves the frame alone until then. The picture
// is the same for any number of threads.
void rast_set_threads(int threads);
// The threads that draw (fewer than asked when the system refused some).
int rast_threads();
// Draws every recorded polygon into the current frame and returns when all
// are drawn. Nothing to do with one thread. Changing the screen, the frame,
// the settings or the thread count flushes first, so every polygon is drawn
// with the state it was given under. Call it before the frame is shown.
void rast_flush();

// Perspective family: a convex polygon of `count` vertices given by pointers
// in drawing order (either winding). Fewer than 3 vertices draw nothing.
void rast_polygon(clip_vertex* const* vertices, int count, const raster_material* material);

// Affine family: the triangle of three vertex pointers; the second argument
// is not read. The two entries draw by the depth of the current frame; the
// option byte (rast_option_byte) tells callers which one the frame is for.
void rast_draw_triangle(clip_vertex* const* vertices, int ignored, const raster_material* material);
void rast_draw_triangle_alt(clip_vertex* const* vertices, int ignored, const raster_material* material);

// The rasteriser's settings and screen state, as last set.
struct rast_settings {
    int span_run;
    int edge_run;
    int full_res;
    float width;
    float height;
    int screen_width;
    int half_width;
    float centre_x;
    float centre_y;
};
rast_settings rast_get_settings();

// The option byte: 1 when the current frame is 16-bit (the mesh pipeline then
// calls rast_draw_triangle_alt), 0 when it is 8-bit.
std::uint8_t rast_option_byte();

// The scale values by which the software emitters multiply a clip vertex's
// view-space x and y (words 1 and 2) before handing it over. The rasteriser
// takes screen positions from words 13-14 and depth from word 4, never from
// view x and y, so the values are 1.0: the view position stays the one the
// clipper used.
inline constexpr float rast_scale_x = 1.0f;
inline constexpr float rast_scale_y = 1.0f;
