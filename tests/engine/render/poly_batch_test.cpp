// The polygon batches and the frame operations that draw them: small scenes
// of procedural textures sent through draw_polygons, the batches and the 3D
// device into memory, compared pixel by pixel with the plain reference of
// tests/support/device3d_reference.h; slots that run full, classes without a
// free slot, the three groups of classes, the vertex colours and depths,
// pausing, lost surfaces and the pre-load pass.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/clip_vertex.h"
#include "engine/base/texture_record.h"
#include "engine/render/fog.h"
#include "engine/render/render_device.h"
#include "platform/display.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "tests/support/device3d_reference.h"

namespace {

using platform::CompareFunc;
using platform::DisplayResult;
using platform::PixelLayout;
using platform::TLVertex;
namespace ref = device3d_reference;

constexpr int kWidth = 64, kHeight = 48;
constexpr std::uint16_t kBackground = 0x3A6B;  // a dark blue-green
constexpr std::uint16_t kKey = 0xF81F;

// What a texture is made of: its texel layout, which of two patterns,
// its record's flags (class and options), blend mode and colour key.
struct TextureKind {
    PixelLayout layout = PixelLayout::Rgb565;
    int pattern = 0;
    std::uint32_t flags = kTextureFogged;
    int blend_mode = 0;
    int key = -1;
};

// 16 x 16 texels: blocks of 4 x 4 in two colours over gradients; a keyed
// texture carries its key in the blocks of one diagonal; 4444 texels have
// alpha rising across the even blocks.
std::vector<std::uint16_t> make_texels(const TextureKind& kind)
{
    std::vector<std::uint16_t> texels;
    for (int v = 0; v < 16; ++v)
        for (int u = 0; u < 16; ++u) {
            const bool odd = ((u / 4) + (v / 4)) & 1;
            std::uint16_t t;
            if (kind.layout == PixelLayout::Argb4444) {
                const unsigned a = odd ? 15 : 3 + (u / 4) * 3;
                t = static_cast<std::uint16_t>(a << 12 | (odd ? 15u : unsigned(u)) << 8 | unsigned(v) << 4 |
                                               (odd ? 2u : 12u));
            } else if (kind.pattern == 0) {
                t = odd ? ref::to565(240, 200 - v * 8, 40 + u * 8) : ref::to565(20 + u * 12, 90, 250 - v * 10);
            } else {
                t = odd ? ref::to565(250, 250, 60 + v * 10) : ref::to565(60, 140 + u * 6, 30 + v * 4);
            }
            if (kind.key >= 0 && (u / 4) == (v / 4))
                t = static_cast<std::uint16_t>(kind.key);
            texels.push_back(t);
        }
    return texels;
}

// A texture as the batches see it (a cache record with a system-memory
// copy of its texels, named by a material frame) and as the reference
// reads it.
struct Texture {
    cache_texture record;
    mtr_texture frame;
    ref::RefTexture texels;
};

clip_vertex cv(float sx, float sy, float z, float rhw, float u, float v, float light)
{
    clip_vertex c{};
    c.x = sx;
    c.y = sy;
    c.z = z;
    c.w = 1.0f / rhw;
    c.sx = sx;
    c.sy = sy;
    c.rhw = rhw;
    c.u = u;
    c.v = v;
    c.light[0] = light;
    return c;
}

// The device vertex a clip vertex is to become, as the batches are
// documented to make it (docs/device3d.md).
TLVertex expected_vertex(const clip_vertex& c, int bias, bool alpha4, bool list_form)
{
    const std::uint32_t alpha = alpha4 ? 0xFF000000u : 0x80000000u;
    const double scaled = double(c.light[0]) * 256.0;
    const int light = std::isnan(scaled) ? 0 : int(std::clamp(std::round(scaled), 0.0, 2047.0));
    TLVertex t;
    t.sx = std::fabs(c.sx);
    t.sy = std::fabs(c.sy);
    t.tu = c.u;
    t.tv = c.v;
    if (list_form) {
        t.sz = std::fabs(c.z * fog_depth_scale);
        t.rhw = std::fabs(c.rhw * (float(bias) - 200.0f));
        t.colour = light <= 255 ? alpha | std::uint32_t(light) * 0x010101u : alpha | 0xFFFFFFu;
        t.specular = 0xFF000000u;
        return t;
    }
    t.sz = std::fabs((c.z + float(bias) - 200.0f) * fog_depth_scale);
    t.rhw = std::fabs(c.rhw);
    const int fog = int(std::clamp(std::round(double(t.sz) * 256.0), 0.0, 255.0));
    if (light <= 255) {
        t.colour = alpha | std::uint32_t(light) * 0x010101u;
        t.specular = fog_table[fog];
    } else {
        t.colour = alpha | 0xFFFFFFu;
        t.specular = fog_table[fog] | std::uint32_t(light >> 3) * 0x010101u;
    }
    return t;
}

void expect_same_vertex(const TLVertex& a, const TLVertex& b, const std::string& what)
{
    EXPECT_EQ(a.sx, b.sx) << what;
    EXPECT_EQ(a.sy, b.sy) << what;
    EXPECT_EQ(a.sz, b.sz) << what;
    EXPECT_EQ(a.rhw, b.rhw) << what;
    EXPECT_EQ(a.colour, b.colour) << what;
    EXPECT_EQ(a.specular, b.specular) << what;
    EXPECT_EQ(a.tu, b.tu) << what;
    EXPECT_EQ(a.tv, b.tv) << what;
}

// A render device set up by hand on a 64 x 48 back surface with a Z-buffer
// and the platform's 3D device, in render type 96, with its batches.
class Batches : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::clear_recorded_message_boxes();
        open_display();
    }
    void open_display()
    {
        dev.display = platform::DisplayDriver::open();
        ASSERT_TRUE(dev.display);
        ASSERT_EQ(dev.display->open_3d(), DisplayResult::Ok);
        std::unique_ptr<platform::Surface> back = surface(kWidth, kHeight, PixelLayout::Rgb565,
                                                          platform::SurfaceKind::Offscreen);
        std::unique_ptr<platform::Surface> z = surface(kWidth, kHeight, PixelLayout::Depth16,
                                                       platform::SurfaceKind::DepthBuffer);
        ASSERT_TRUE(back && z);
        ASSERT_EQ(back->attach_depth_buffer(*z), DisplayResult::Ok);
        ASSERT_EQ(dev.display->create_device("Torvane 3D", *back, dev.device3d), DisplayResult::Ok);
        ASSERT_EQ(dev.device3d->create_viewport(dev.viewport), DisplayResult::Ok);
        ASSERT_EQ(dev.device3d->add_viewport(*dev.viewport), DisplayResult::Ok);
        ASSERT_EQ(dev.viewport->set_rect({0, 0, kWidth, kHeight}), DisplayResult::Ok);
        ASSERT_EQ(dev.device3d->set_current_viewport(*dev.viewport), DisplayResult::Ok);
        ASSERT_EQ(dev.device3d->create_material(dev.background_material), DisplayResult::Ok);
        ASSERT_EQ(dev.background_material->get_handle(dev.background_handle), DisplayResult::Ok);
        ASSERT_EQ(dev.viewport->set_background(dev.background_handle), DisplayResult::Ok);
        dev.back_offscreen = std::move(back);
        dev.back_surface = dev.back_offscreen.get();
        dev.zbuffer = std::move(z);
        dev.has_3d = 1;
        dev.render_type = kRenderHardware;
        dev.surfaces_valid = 1;
        dev.zcompare = 4;
        ASSERT_EQ(dev.alloc_batch_buffers(), 1);
        ASSERT_EQ(dev.make_texture_material(), 1);
        dev.make_fog_table(0.9f, -100.0f, -1000.0f);
        dev.set_fog(0, 0, 0, 0);
        clear_frame();
    }
    void TearDown() override
    {
        dev.release();
        textures.clear();
        platform::reset_display_description();
        platform::clear_faults();
        platform::shutdown_video_thread();
        platform::clear_recorded_message_boxes();
    }
    std::unique_ptr<platform::Surface> surface(int w, int h, PixelLayout layout, platform::SurfaceKind kind,
                                               platform::MemoryPlace place = platform::MemoryPlace::Video)
    {
        platform::SurfaceSpec wanted;
        wanted.kind = kind;
        wanted.width = w;
        wanted.height = h;
        wanted.layout = layout;
        wanted.place = place;
        std::unique_ptr<platform::Surface> s;
        EXPECT_EQ(dev.display->create_surface(wanted, {}, s), DisplayResult::Ok);
        return s;
    }
    static void write(platform::Surface& s, const std::vector<std::uint16_t>& values, int w)
    {
        platform::SurfaceLock lock;
        ASSERT_EQ(s.lock(lock), DisplayResult::Ok);
        for (std::size_t i = 0; i < values.size(); ++i)
            std::memcpy(lock.pixels + (i / w) * lock.pitch + (i % w) * 2, &values[i], 2);
        s.unlock();
    }
    static std::vector<std::uint16_t> read(platform::Surface& s, int w, int h)
    {
        std::vector<std::uint16_t> out(static_cast<std::size_t>(w * h));
        platform::SurfaceLock lock;
        EXPECT_EQ(s.lock(lock), DisplayResult::Ok);
        for (std::size_t i = 0; i < out.size(); ++i)
            std::memcpy(&out[i], lock.pixels + (i / w) * lock.pitch + (i % w) * 2, 2);
        s.unlock();
        return out;
    }
    void clear_frame(const std::vector<std::uint16_t>* depth = nullptr)
    {
        write(*dev.back_surface, std::vector<std::uint16_t>(kWidth * kHeight, kBackground), kWidth);
        write(*dev.zbuffer, depth ? *depth : std::vector<std::uint16_t>(kWidth * kHeight, 0xFFFF), kWidth);
    }
    ref::Frame frame()
    {
        ref::Frame f(kWidth, kHeight);
        f.colour = read(*dev.back_surface, kWidth, kHeight);
        f.depth = read(*dev.zbuffer, kWidth, kHeight);
        return f;
    }
    Texture& add_texture(const TextureKind& kind, int side = 16)
    {
        auto t = std::make_unique<Texture>();
        t->texels.layout = kind.layout;
        t->texels.width = t->texels.height = side;
        t->texels.texels = side == 16 ? make_texels(kind) : std::vector<std::uint16_t>(side * side, 0x7BEF);
        t->texels.keyed = kind.key >= 0;
        t->texels.key = static_cast<std::uint16_t>(kind.key);
        cache_texture& r = t->record;
        r.system_surface = surface(side, side, kind.layout, platform::SurfaceKind::Texture,
                                   platform::MemoryPlace::System);
        write(*r.system_surface, t->texels.texels, side);
        r.source_width = r.source_height = r.cache_width = r.cache_height = side;
        r.bytes_per_texel = 2;
        r.size = static_cast<std::uint32_t>(side * side * 2);
        r.flags = kind.flags;
        r.blend_mode = kind.blend_mode;
        r.colour_key = kind.key;
        t->frame.surface = &t->record;
        textures.push_back(std::move(t));
        return *textures.back();
    }

    render_device dev;
    std::vector<std::unique_ptr<Texture>> textures;
};

// ---- Scenes against the reference -------------------------------------------

// A polygon of the scene: its texture (index), corners, depth bias, and
// whether it goes as a list of vertex addresses.
struct Poly {
    int texture;
    std::vector<clip_vertex> corners;
    int bias = 0;
    bool list_form = false;
};

// A quad of texture 0 across most of the frame from near to far, a
// triangle of texture 1 over it (one corner brighter than full light), and
// a triangle of texture 0 again, pushed back by a depth bias, so the batches
// draw the two polygons of texture 0 together before texture 1.
std::vector<Poly> scene(bool list_form_third)
{
    return {
        {0,
         {cv(2.5f, 3.25f, 300, 1.0f, 0, 0, 0.9f), cv(58.75f, 5.5f, 700, 0.35f, 2, 0, 0.6f),
          cv(52.25f, 43.5f, 900, 0.25f, 2, 2, 0.4f), cv(4.5f, 40.75f, 450, 0.7f, 0, 2, 1.0f)}},
        {1,
         {cv(30.5f, 1.25f, 350, 0.9f, 0, 0, 1.3f), cv(62.5f, 30.5f, 520, 0.5f, 1.5f, 0.5f, 0.7f),
          cv(14.25f, 46.5f, 260, 1.0f, 0.25f, 1.75f, 0.5f)}},
        {0,
         {cv(8.0f, 22.0f, 250, 0.8f, 0.5f, 0.5f, 0.8f), cv(40.0f, 8.5f, 380, 0.6f, 1.5f, 0.25f, 0.75f),
          cv(26.5f, 45.0f, 420, 0.5f, 1.0f, 1.5f, 0.95f)},
         60,
         list_form_third},
    };
}

struct SceneCase {
    const char* name;
    TextureKind textures[2];
    int zcompare = 4;       // the device's compare code
    CompareFunc z_func = CompareFunc::LessEqual;
    bool prefill_depth = false;
    bool bilinear = false;
    bool fog = false;
    bool specular = false;
    int texture_map_blend = 2;
    platform::TextureBlend blend = platform::TextureBlend::Modulate;
    bool alpha4 = false;
    bool list_form_third = false;
    bool stipple_device = false;  // the device offers stippled alpha
};

TextureKind kind(PixelLayout layout, int pattern, std::uint32_t flags, int blend_mode = 0, int key = -1)
{
    return {layout, pattern, flags, blend_mode, key};
}

// The states the device is documented to draw a texture with.
platform::RenderStates expected_states(const SceneCase& c, const TextureKind& t)
{
    platform::RenderStates s;
    s.z_enable = true;
    s.z_func = c.z_func;
    s.z_write = (t.flags & 15) != 12;
    s.colour_key = true;
    s.specular = c.specular;
    s.texture_blend = c.blend;
    s.filter = c.bilinear && !(t.flags & kTextureNoBilinear) ? platform::TextureFilter::Linear
                                                               : platform::TextureFilter::Nearest;
    s.fog = c.fog && (t.flags & kTextureFogged);
    s.fog_colour = 0x8099B2;
    if (t.blend_mode == 4) {
        s.alpha_blend = true;
        s.source_blend = platform::BlendFactor::SourceAlpha;
        s.dest_blend = platform::BlendFactor::InverseSourceAlpha;
    }
    s.stippled_alpha = c.stipple_device && t.blend_mode < 0;
    return s;
}

std::vector<std::uint16_t> depth_ramp()
{
    std::vector<std::uint16_t> d(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i)
        d[i] = static_cast<std::uint16_t>((i % kWidth) * 500 + (i / kWidth) * 300);
    return d;
}

// The scene as the reference draws it: class by class (class 12 last),
// each texture's polygons together in the order they came.
class Scenes : public Batches {
protected:
    void draw_reference(ref::Frame& expected, const SceneCase& c, const std::vector<Poly>& polys)
    {
        std::vector<int> order = {0, 1};
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return std::min(c.textures[a].flags & 15, 12u) < std::min(c.textures[b].flags & 15, 12u);
        });
        for (int t : order)
            for (const Poly& p : polys) {
                if (p.texture != t)
                    continue;
                std::vector<TLVertex> v;
                for (const clip_vertex& corner : p.corners)
                    v.push_back(expected_vertex(corner, p.bias, c.alpha4, p.list_form));
                const platform::RenderStates st = expected_states(c, c.textures[t]);
                const TLVertex tri1[3] = {v[0], v[1], v[2]};
                ref::reference_triangle(expected, st, &textures[t]->texels, tri1, {0, 0, kWidth, kHeight});
                if (v.size() == 4) {
                    const TLVertex tri2[3] = {v[0], v[2], v[3]};
                    ref::reference_triangle(expected, st, &textures[t]->texels, tri2, {0, 0, kWidth, kHeight});
                }
            }
    }
    void queue(const std::vector<Poly>& polys)
    {
        for (const Poly& p : polys) {
            std::vector<const clip_vertex*> list;
            for (const clip_vertex& v : p.corners)
                list.push_back(&v);
            ASSERT_EQ(dev.draw_polygons(int(p.corners.size()), p.list_form ? nullptr : p.corners.data(),
                                        p.list_form ? list.data() : nullptr, &textures[p.texture]->frame, p.bias),
                      1);
        }
    }
};

TEST_F(Scenes, EachStateMatchesThePlainReference)
{
    constexpr std::uint32_t F = kTextureFogged;
    const PixelLayout k565 = PixelLayout::Rgb565, k4444 = PixelLayout::Argb4444;
    std::vector<SceneCase> cases;
    const auto add = [&](SceneCase c) { cases.push_back(c); };
    add({.name = "batch_z_less", .textures = {kind(k565, 0, F), kind(k565, 1, F | 2)}, .zcompare = 2,
         .z_func = CompareFunc::Less});
    add({.name = "batch_z_greater", .textures = {kind(k565, 0, F), kind(k565, 1, F | 2)}, .zcompare = 5,
         .z_func = CompareFunc::Greater, .prefill_depth = true});
    add({.name = "batch_overlay_no_z_write", .textures = {kind(k565, 0, F), kind(k565, 1, F | 12)}});
    add({.name = "batch_colour_key", .textures = {kind(k565, 0, F, 1, kKey), kind(k565, 1, F | 6)}});
    add({.name = "batch_alpha_blend", .textures = {kind(k565, 0, F), kind(k4444, 0, F | 7, 4)}, .alpha4 = true});
    add({.name = "batch_stippled_drawn_keyed", .textures = {kind(k565, 0, F), kind(k565, 1, F, -1, kKey)}});
    add({.name = "batch_stippled", .textures = {kind(k565, 0, F), kind(k565, 1, F, -1, kKey)},
         .stipple_device = true});
    add({.name = "batch_fog_highlight", .textures = {kind(k565, 0, F), kind(k565, 1, 0)}, .fog = true,
         .specular = true});
    add({.name = "batch_bilinear_and_refused", .textures = {kind(k565, 0, F), kind(k565, 1, F | kTextureNoBilinear)},
         .bilinear = true});
    add({.name = "batch_decal", .textures = {kind(k565, 0, F), kind(k565, 1, F)}, .texture_map_blend = 1,
         .blend = platform::TextureBlend::Decal});
    add({.name = "batch_modulate_alpha", .textures = {kind(k565, 0, F), kind(k4444, 0, F, 4)},
         .texture_map_blend = 4, .blend = platform::TextureBlend::ModulateAlpha, .alpha4 = true});
    add({.name = "batch_vertex_list", .textures = {kind(k565, 0, F), kind(k565, 1, F)}, .list_form_third = true});

    for (const SceneCase& c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh device and fresh textures for each scene.
        dev.release();
        textures.clear();
        open_display();
        dev.zcompare = c.zcompare;
        dev.bilinear = c.bilinear;
        dev.specular_enabled = c.specular;
        dev.texture_map_blend = c.texture_map_blend;
        dev.alpha4 = c.alpha4;
        dev.device_info.stippled_alpha = c.stipple_device;
        dev.set_fog(c.fog ? 256 : 0, 0.5f, 0.6f, 0.7f);
        const std::vector<std::uint16_t> ramp = depth_ramp();
        clear_frame(c.prefill_depth ? &ramp : nullptr);
        ref::Frame expected(kWidth, kHeight, kBackground);
        if (c.prefill_depth)
            expected.depth = ramp;
        for (const TextureKind& t : c.textures)
            add_texture(t);

        const std::vector<Poly> polys = scene(c.list_form_third);
        queue(polys);
        ASSERT_EQ(dev.draw_scene(), 1);
        EXPECT_TRUE(platform::recorded_message_boxes().empty());

        draw_reference(expected, c, polys);
        ref::expect_golden(TORVANE_RAST_GOLDEN_DIR, c.name, expected);
        const ref::Frame device = frame();
        ref::expect_close(c.name, device, expected, kWidth * kHeight / 100);
        int far_apart = 0;
        for (std::size_t i = 0; i < device.depth.size(); ++i)
            far_apart += std::abs(int(device.depth[i]) - int(expected.depth[i])) > 1;
        EXPECT_LE(far_apart, kWidth * kHeight / 100) << "Z-buffers differ";
    }
}

// An overlay (class 12, no depth writes) whose texture is resident already
// over a texture seen for the first time: the texture behind is made
// resident in the frame, and the overlay is still drawn after it, over it
// wherever the overlay is nearer.
TEST_F(Scenes, AnOverlayLiesOverATextureMadeResidentInTheSameFrame)
{
    constexpr std::uint32_t F = kTextureFogged;
    const SceneCase c{.name = "overlay_after_residency",
                      .textures = {kind(PixelLayout::Rgb565, 0, F), kind(PixelLayout::Rgb565, 1, F | 12)}};
    for (const TextureKind& t : c.textures)
        add_texture(t);
    const std::vector<Poly> polys = scene(false);
    // A first frame with the overlay alone makes its texture resident.
    queue({polys[1]});
    ASSERT_EQ(dev.draw_scene(), 1);
    ASSERT_TRUE(textures[1]->record.video_surface);
    ASSERT_FALSE(textures[0]->record.video_surface);

    clear_frame();
    queue(polys);
    ASSERT_EQ(dev.draw_scene(), 1);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
    ref::Frame expected(kWidth, kHeight, kBackground);
    draw_reference(expected, c, polys);
    ref::expect_close(c.name, frame(), expected, kWidth * kHeight / 100);
}

// Video memory for two textures only: making the third resident in the
// middle of a frame evicts one the frame has already drawn, whose texels
// must still be the ones drawn. Then every surface is lost, and the next
// frame reloads the textures from their system copies.
TEST_F(Batches, EvictionAndLostSurfacesInTheMiddleOfFramesKeepThePicture)
{
    dev.release();
    platform::DisplayDescription d = platform::default_display_description();
    d.texture_memory = 1100;  // two 16 x 16 16-bit textures
    platform::set_display_description(d);
    open_display();
    const PixelLayout k565 = PixelLayout::Rgb565;
    add_texture(kind(k565, 0, 0));
    add_texture(kind(k565, 1, 1));
    add_texture(kind(k565, 0, 2, 1, kKey));
    const clip_vertex quads[3][4] = {
        {cv(1, 1, 400, 1, 0, 0, 1), cv(40, 1, 400, 1, 2, 0, 1), cv(40, 30, 400, 1, 2, 2, 1), cv(1, 30, 400, 1, 0, 2, 1)},
        {cv(20, 10, 300, 1, 0, 0, 1), cv(63, 10, 300, 1, 1, 0, 1), cv(63, 47, 300, 1, 1, 1, 1),
         cv(20, 47, 300, 1, 0, 1, 1)},
        {cv(5, 20, 250, 1, 0, 0, 1), cv(35, 20, 250, 1, 1, 0, 1), cv(35, 46, 250, 1, 1, 1, 1), cv(5, 46, 250, 1, 0, 1, 1)},
    };
    ref::Frame expected(kWidth, kHeight, kBackground);
    platform::RenderStates st;
    for (int t = 0; t < 3; ++t) {
        std::vector<TLVertex> v;
        for (const clip_vertex& c : quads[t])
            v.push_back(expected_vertex(c, 0, false, false));
        const TLVertex a[3] = {v[0], v[1], v[2]}, b[3] = {v[0], v[2], v[3]};
        ref::reference_triangle(expected, st, &textures[t]->texels, a, {0, 0, kWidth, kHeight});
        ref::reference_triangle(expected, st, &textures[t]->texels, b, {0, 0, kWidth, kHeight});
    }
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "evicting" : "after losing every surface");
        // A frame starts by clearing the Z-buffer, which restores what was lost.
        ASSERT_EQ(dev.clear_zbuffer(), 1);
        clear_frame();
        for (int t = 0; t < 3; ++t)
            ASSERT_EQ(dev.draw_polygons(4, quads[t], nullptr, &textures[t]->frame, 0), 1);
        ASSERT_EQ(dev.draw_scene(), 1);
        EXPECT_TRUE(platform::recorded_message_boxes().empty());
        ref::expect_close("eviction", frame(), expected, kWidth * kHeight / 100);
        EXPECT_FALSE(textures[0]->record.video_surface) << "the oldest gave its copy back";
        dev.display->lose_surfaces();
    }
}

// ---- Slots ------------------------------------------------------------------

// Class 0 holds 100 vertices a slot. A slot that has reached its capacity is
// drawn when the next polygon comes (not when the one that filled it came),
// and that polygon starts it again; the texture keeps its slot.
TEST_F(Batches, AFullSlotIsDrawnAtTheNextPolygonAndGoesOn)
{
    Texture& t = add_texture(kind(PixelLayout::Rgb565, 0, 0));
    const struct {
        int corners, polygons_to_fill, vertices_when_full;
    } cases[] = {{4, 25, 100}, {3, 34, 102}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.corners);
        const clip_vertex v[4] = {cv(1, 1, 300, 1, 0, 0, 1), cv(9, 1, 300, 1, 1, 0, 1), cv(9, 9, 300, 1, 1, 1, 1),
                                  cv(1, 9, 300, 1, 0, 1, 1)};
        const std::uint64_t before = dev.device3d->triangles_queued();
        for (int i = 0; i < c.polygons_to_fill; ++i)
            ASSERT_EQ(dev.draw_polygons(c.corners, v, nullptr, &t.frame, 0), 1);
        auto* slot = static_cast<batch_slot*>(t.record.batch_slot);
        ASSERT_EQ(slot, &dev.batches.rows[0].slots[0]);
        EXPECT_EQ(slot->vertex_count, c.vertices_when_full);
        EXPECT_EQ(dev.device3d->triangles_queued(), before) << "nothing drawn yet";
        ASSERT_EQ(dev.draw_polygons(c.corners, v, nullptr, &t.frame, 0), 1);
        const int triangles = c.polygons_to_fill * (c.corners - 2);
        EXPECT_EQ(dev.device3d->triangles_queued(), before + triangles);
        EXPECT_EQ(t.record.batch_slot, slot);
        EXPECT_EQ(slot->vertex_count, c.corners);
        EXPECT_EQ(slot->index_count, c.corners == 4 ? 6 : 3);
        const std::uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < slot->index_count; ++i)
            EXPECT_EQ(slot->indices[i], quad[i]);
        ASSERT_EQ(dev.draw_scene(), 1);
        EXPECT_EQ(t.record.batch_slot, nullptr);
        EXPECT_EQ(slot->texture, nullptr);
    }
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

// Class 0 has 70 slots: the 71st texture of a frame takes slot 69, whose
// polygons are drawn at once and whose texture loses its slot; that
// texture, drawn again, takes slot 69 back the same way.
TEST_F(Batches, AClassWithoutAFreeSlotDrawsItsLastSlotAndHandsItOn)
{
    const clip_vertex v[3] = {cv(1, 1, 300, 1, 0, 0, 1), cv(9, 1, 300, 1, 1, 0, 1), cv(9, 9, 300, 1, 1, 1, 1)};
    for (int i = 0; i < 71; ++i)
        add_texture(kind(PixelLayout::Rgb565, i & 1, 0));
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &textures[i]->frame, 0), 1);
    batch_class& row = dev.batches.rows[0];
    EXPECT_EQ(row.cursor, 70);
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(textures[i]->record.batch_slot, &row.slots[i]);
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &textures[69]->frame, 0), 1);
    EXPECT_EQ(dev.device3d->triangles_queued(), 0u);

    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &textures[70]->frame, 0), 1);
    EXPECT_EQ(dev.device3d->triangles_queued(), 2u) << "slot 69's two triangles were drawn";
    EXPECT_EQ(textures[69]->record.batch_slot, nullptr);
    EXPECT_EQ(textures[70]->record.batch_slot, &row.slots[69]);
    EXPECT_EQ(row.slots[69].texture, &textures[70]->record);
    EXPECT_EQ(row.slots[69].vertex_count, 3);
    EXPECT_TRUE(textures[69]->record.video_surface) << "made resident to be drawn";

    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &textures[69]->frame, 0), 1);
    EXPECT_EQ(dev.device3d->triangles_queued(), 3u);
    EXPECT_EQ(textures[70]->record.batch_slot, nullptr);
    EXPECT_EQ(textures[69]->record.batch_slot, &row.slots[69]);
    EXPECT_EQ(row.cursor, 70);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

// One texture in every slot of every class, each slot filled to its
// capacity with vertices that name their slot: reading them all back
// finds every one as written, so slots of different groups share no memory.
TEST_F(Batches, TheThreeGroupsOfClassesDoNotOverwriteEachOther)
{
    EXPECT_EQ(batch_group_bytes(0), 1618400u);
    EXPECT_EQ(batch_group_bytes(1), 1699840u);
    EXPECT_EQ(batch_group_bytes(2), 1728000u);
    for (int g = 0; g < kBatchGroups; ++g)
        EXPECT_EQ(dev.batches.arena_bytes(g), batch_group_bytes(g));

    const auto corner = [](int cls, int slot, int n) {
        return cv(float(cls * 1000 + slot), float(n), 300, 1, float(cls), float(slot), 0.5f);
    };
    std::vector<std::pair<int, int>> owners;  // class, slot of each texture
    for (int cls = 0; cls < kBatchClasses; ++cls) {
        for (int s = 0; s < kBatchClassSizes[cls].slots; ++s) {
            Texture& t = add_texture(kind(PixelLayout::Rgb565, 0, std::uint32_t(cls)));
            owners.emplace_back(cls, s);
            // Quads up to the capacity (and over it by at most the spare).
            for (int n = 0; n < kBatchClassSizes[cls].vertex_capacity; n += 4) {
                const clip_vertex q[4] = {corner(cls, s, n), corner(cls, s, n + 1), corner(cls, s, n + 2),
                                          corner(cls, s, n + 3)};
                ASSERT_EQ(dev.draw_polygons(4, q, nullptr, &t.frame, 0), 1);
            }
        }
    }
    EXPECT_EQ(dev.device3d->triangles_queued(), 0u) << "no slot ran full";
    for (std::size_t i = 0; i < textures.size(); ++i) {
        const auto [cls, s] = owners[i];
        const auto* slot = static_cast<const batch_slot*>(textures[i]->record.batch_slot);
        ASSERT_EQ(slot, &dev.batches.rows[cls].slots[s]);
        const int capacity = kBatchClassSizes[cls].vertex_capacity;
        ASSERT_EQ(slot->vertex_count, (capacity + 3) / 4 * 4);
        for (int n = 0; n < slot->vertex_count; ++n) {
            const TLVertex& v = slot->vertices[n];
            ASSERT_EQ(v.sx, float(cls * 1000 + s)) << "class " << cls << " slot " << s << " vertex " << n;
            ASSERT_EQ(v.sy, float(n));
            ASSERT_EQ(v.tu, float(cls));
            ASSERT_EQ(v.tv, float(s));
        }
        for (int n = 0; n < slot->index_count; n += 6)
            ASSERT_EQ(slot->indices[n + 5], n / 6 * 4 + 3) << "class " << cls << " slot " << s;
    }
    // The classes' textures are drawn class by class: everything queued
    // reaches the device.
    ASSERT_EQ(dev.draw_scene(), 1);
    std::uint64_t triangles = 0;
    for (int cls = 0; cls < kBatchClasses; ++cls)
        triangles += std::uint64_t(kBatchClassSizes[cls].slots) * ((kBatchClassSizes[cls].vertex_capacity + 3) / 4) * 2;
    EXPECT_EQ(dev.device3d->triangles_queued(), triangles);
}

// ---- Vertices ---------------------------------------------------------------

// Light 1.0 is 256: white with a grey highlight of 32. Lights are held to
// 0..2047, fog indexes to 0..255, depths go through the depth scale of the
// last fog table with the bias added; a class number above 12 is class 12.
TEST_F(Batches, VertexColoursDepthsAndClampedIndexes)
{
    dev.make_fog_table(0.9f, -100.0f, -1000.0f);  // depth scale -1/1320
    Texture& t = add_texture(kind(PixelLayout::Rgb565, 0, kTextureFogged | 15));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float light, z;
        int bias;
        std::uint32_t colour, specular;
    } cases[] = {
        {0.5f, 200, 0, 0x80808080, fog_table[0]},
        {1.0f, 200, 0, 0x80FFFFFF, fog_table[0] | 0x202020},
        {-3.0f, 200, 0, 0x80000000, fog_table[0]},
        // Between two levels the light is rounded, not cut.
        {0.5f + 0.7f / 256, 200, 0, 0x80818181, fog_table[0]},            // 128.7 -> 129
        {0.5f + 0.3f / 256, 200, 0, 0x80808080, fog_table[0]},            // 128.3 -> 128
        {1.0f + 7.6f / 256, 200, 0, 0x80FFFFFF, fog_table[0] | 0x212121}, // 263.6 -> 264: highlight 33
        {nan, 200, 0, 0x80000000, fog_table[0]},
        {100.0f, 200, 0, 0x80FFFFFF, fog_table[0] | 0xFFFFFF},   // 25600 held to 2047
        {7.99f, 200, 0, 0x80FFFFFF, fog_table[0] | 0xFFFFFF},    // 2045 -> 255
        {0.5f, 100000, 0, 0x80808080, fog_table[255]},           // beyond the far end
        {0.5f, 400, 0, 0x80808080, fog_table[39]},               // 200 / 1320 x 256 = 38.8
        {0.5f, 300, 100, 0x80808080, fog_table[39]},             // the bias adds to the depth
        {0.5f, 100, 0, 0x80808080, fog_table[19]},               // nearer than 200: the depth's size
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n++);
        const clip_vertex v[3] = {cv(1, 2, c.z, 0.5f, 0.25f, 0.75f, c.light), cv(-9, 2, c.z, -0.5f, 1, 0, c.light),
                                  cv(9, 9, c.z, 0.5f, 1, 1, c.light)};
        ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, c.bias), 1);
        const auto* slot = static_cast<const batch_slot*>(t.record.batch_slot);
        ASSERT_EQ(slot, &dev.batches.rows[12].slots[0]) << "class 15 is drawn as class 12";
        const TLVertex* out = slot->vertices + slot->vertex_count - 3;
        EXPECT_EQ(out[0].colour, c.colour);
        EXPECT_EQ(out[0].specular, c.specular);
        EXPECT_EQ(out[1].sx, 9.0f) << "screen positions are taken unsigned";
        EXPECT_EQ(out[1].rhw, 0.5f);
        EXPECT_FLOAT_EQ(out[0].sz, std::fabs((c.z + float(c.bias) - 200.0f) / -1320.0f));
        for (int i = 0; i < 3; ++i)
            expect_same_vertex(out[i], expected_vertex(v[i], c.bias, false, false), "vertex " + std::to_string(i));
    }
    // With a 4-bit alpha texture format the colours are opaque.
    dev.alpha4 = 1;
    const clip_vertex v[3] = {cv(1, 2, 200, 1, 0, 0, 0.25f), cv(5, 2, 200, 1, 0, 0, 2.0f), cv(1, 7, 200, 1, 0, 0, 1)};
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
    const auto* slot = static_cast<const batch_slot*>(t.record.batch_slot);
    EXPECT_EQ(slot->vertices[slot->vertex_count - 3].colour, 0xFF404040u);
    EXPECT_EQ(slot->vertices[slot->vertex_count - 2].colour, 0xFFFFFFFFu);
    EXPECT_EQ(slot->vertices[slot->vertex_count - 2].specular, fog_table[0] | 0x404040u);

    // The list form: no bias in the depth, 1/w times (bias - 200), no fog.
    dev.alpha4 = 0;
    const clip_vertex* list[3] = {&v[0], &v[1], &v[2]};
    ASSERT_EQ(dev.draw_polygons(3, nullptr, list, &t.frame, 50), 1);
    const TLVertex* out = slot->vertices + slot->vertex_count - 3;
    EXPECT_FLOAT_EQ(out[0].sz, 200.0f / 1320.0f);
    EXPECT_FLOAT_EQ(out[0].rhw, 150.0f);
    EXPECT_EQ(out[0].colour, 0x80404040u);
    EXPECT_EQ(out[1].colour, 0x80FFFFFFu);
    EXPECT_EQ(out[1].specular, 0xFF000000u);

    // A new fog table brings its depth scale.
    dev.make_fog_table(0.9f, -100.0f, -2000.0f);
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
    EXPECT_FLOAT_EQ(slot->vertices[slot->vertex_count - 1].sz, 0.0f);
    const clip_vertex far[3] = {cv(1, 2, 1200, 1, 0, 0, 1), cv(5, 2, 1200, 1, 0, 0, 1), cv(1, 7, 1200, 1, 0, 0, 1)};
    ASSERT_EQ(dev.draw_polygons(3, far, nullptr, &t.frame, 0), 1);
    EXPECT_FLOAT_EQ(slot->vertices[slot->vertex_count - 1].sz, 1000.0f / 2320.0f);
}

// Counts other than 3 and 4, a missing texture or vertices, and a vertex
// list with a hole queue nothing.
TEST_F(Batches, PolygonsThatCannotBeDrawnQueueNothing)
{
    Texture& t = add_texture(kind(PixelLayout::Rgb565, 0, 0));
    mtr_texture no_record;
    const clip_vertex v[5] = {cv(1, 1, 300, 1, 0, 0, 1), cv(9, 1, 300, 1, 1, 0, 1), cv(9, 9, 300, 1, 1, 1, 1),
                              cv(1, 9, 300, 1, 0, 1, 1), cv(1, 5, 300, 1, 0, 1, 1)};
    const clip_vertex* holed[3] = {&v[0], nullptr, &v[2]};
    EXPECT_EQ(dev.draw_polygons(2, v, nullptr, &t.frame, 0), 1);
    EXPECT_EQ(dev.draw_polygons(5, v, nullptr, &t.frame, 0), 1);
    EXPECT_EQ(dev.draw_polygons(3, v, nullptr, nullptr, 0), 1);
    EXPECT_EQ(dev.draw_polygons(3, v, nullptr, &no_record, 0), 1);
    EXPECT_EQ(dev.draw_polygons(3, nullptr, nullptr, &t.frame, 0), 1);
    EXPECT_EQ(dev.draw_polygons(3, nullptr, holed, &t.frame, 0), 1);
    EXPECT_EQ(t.record.batch_slot, nullptr);
    EXPECT_EQ(dev.draw_scene(), 0) << "nothing was queued";

    // A record emptied (given back to the cache) queues nothing, and one
    // emptied while it holds a slot is passed over when the frame is drawn.
    Texture& other = add_texture(kind(PixelLayout::Rgb565, 1, 0));
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &other.frame, 0), 1);
    other.record.size = 0;
    other.record.system_surface.reset();
    EXPECT_EQ(dev.draw_polygons(3, v, nullptr, &other.frame, 0), 1);
    EXPECT_EQ(static_cast<batch_slot*>(other.record.batch_slot)->vertex_count, 3);
    EXPECT_EQ(dev.draw_scene(), 1);
    EXPECT_EQ(dev.device3d->triangles_queued(), 1u);
    EXPECT_EQ(other.record.batch_slot, nullptr);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

// ---- Frames -----------------------------------------------------------------

// draw_scene answers 1 after polygons were queued and 0 when nothing was
// queued since the last call; while paused nothing reaches the device and
// every slot is given back.
TEST_F(Batches, DrawSceneTwiceAndWhilePaused)
{
    Texture& t = add_texture(kind(PixelLayout::Rgb565, 0, 0));
    const clip_vertex v[3] = {cv(1, 1, 300, 1, 0, 0, 1), cv(30, 1, 300, 1, 1, 0, 1), cv(30, 30, 300, 1, 1, 1, 1)};
    EXPECT_EQ(dev.draw_scene(), 0);
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
    EXPECT_EQ(dev.draw_scene(), 1);
    EXPECT_EQ(dev.triangles, 1u);
    EXPECT_EQ(dev.draw_scene(), 0);
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
    EXPECT_EQ(dev.draw_scene(), 1);
    EXPECT_EQ(dev.device3d->triangles_queued(), 2u);

    // Paused: a polygon queued before is given back, one queued while
    // paused is not queued, and nothing is drawn.
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
    dev.set_active(1);
    EXPECT_EQ(dev.draw_scene(), 1);
    EXPECT_EQ(t.record.batch_slot, nullptr);
    EXPECT_EQ(dev.batches.rows[0].cursor, 0);
    ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
    EXPECT_EQ(t.record.batch_slot, nullptr);
    EXPECT_EQ(dev.flush_batch(dev.batches.rows[0].slots[0]), 1);
    dev.set_active(0);
    EXPECT_EQ(dev.device3d->triangles_queued(), 2u);

    // The frame's counters move on present, also while paused.
    dev.upload_bytes = 1234;
    dev.set_active(1);
    EXPECT_EQ(dev.present(), 1);
    EXPECT_EQ(dev.previous_upload_bytes, 1234u);
    EXPECT_EQ(dev.upload_bytes, 0u);
    EXPECT_EQ(dev.triangles, 0u);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

// A refused begin of scene is error 24 and a refused end error 26; either
// way the frame's slots are given back and the next frame draws.
TEST_F(Batches, RefusedScenesReportTheirErrorsAndGiveTheSlotsBack)
{
    Texture& t = add_texture(kind(PixelLayout::Rgb565, 0, 0));
    const clip_vertex v[3] = {cv(1, 1, 300, 1, 0, 0, 1), cv(30, 1, 300, 1, 1, 0, 1), cv(30, 30, 300, 1, 1, 1, 1)};
    const struct {
        platform::Fault fault;
        int code;
    } cases[] = {{platform::Fault::DeviceBeginScene, 24}, {platform::Fault::DeviceEndScene, 26},
                 {platform::Fault::DeviceDraw, 24}};
    for (const auto& c : cases) {
        platform::clear_recorded_message_boxes();
        ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
        platform::fail_next(c.fault);
        EXPECT_EQ(dev.draw_scene(), 0);
        platform::clear_faults();
        ASSERT_EQ(platform::recorded_message_boxes().size(), 1u);
        EXPECT_EQ(platform::recorded_message_boxes()[0].text.rfind(render_error_text(c.code), 0), 0u)
            << platform::recorded_message_boxes()[0].text;
        EXPECT_EQ(t.record.batch_slot, nullptr);
        ASSERT_EQ(dev.draw_polygons(3, v, nullptr, &t.frame, 0), 1);
        EXPECT_EQ(dev.draw_scene(), 1);
    }
}

// Fog follows set_fog: on for fogged textures only, off again when fog is
// turned off, in the colour last set; set_fog_color is ignored while the
// device's fog is on or for a mode below 1.
TEST_F(Batches, FogSwitchesReachTheDevice)
{
    Texture& fogged = add_texture(kind(PixelLayout::Rgb565, 0, kTextureFogged));
    Texture& sky = add_texture(kind(PixelLayout::Rgb565, 1, 0));
    dev.set_fog(256, 1, 0, 0);
    EXPECT_EQ(dev.fog_colour, 0xFF0000u);
    dev.apply_texture_states(sky.record);
    EXPECT_FALSE(dev.device3d->render_states().fog);
    EXPECT_EQ(dev.device_fog_state, 0);
    dev.set_fog_color(256, 0, 1, 0);
    EXPECT_EQ(dev.fog_colour, 0x00FF00u);
    dev.apply_texture_states(fogged.record);
    EXPECT_TRUE(dev.device3d->render_states().fog);
    EXPECT_EQ(dev.device3d->render_states().fog_colour, 0x00FF00u);
    EXPECT_EQ(dev.device_fog_state, 1);
    dev.set_fog_color(256, 0, 0, 1);  // the device's fog is on: ignored
    EXPECT_EQ(dev.fog_colour, 0x00FF00u);
    dev.set_fog(256, 0, 0, 1);        // a new colour reaches the device with the next texture
    dev.apply_texture_states(fogged.record);
    EXPECT_EQ(dev.device3d->render_states().fog_colour, 0x0000FFu);
    dev.set_fog(0, 0, 0, 0);
    dev.apply_texture_states(fogged.record);
    EXPECT_FALSE(dev.device3d->render_states().fog) << "fog turned off is off";
    dev.set_fog_color(0, 1, 1, 1);
    EXPECT_EQ(dev.fog_colour, 0u);

    // The render-state block after a change of the active state.
    dev.zcompare = 2;
    dev.bilinear = 1;
    dev.set_active(0);
    dev.apply_texture_states(fogged.record);
    const platform::RenderStates& s = dev.device3d->render_states();
    EXPECT_EQ(s.z_func, CompareFunc::Less);
    EXPECT_TRUE(s.z_enable);
    EXPECT_TRUE(s.z_write);
    EXPECT_EQ(s.filter, platform::TextureFilter::Linear);
    EXPECT_TRUE(s.colour_key);
    EXPECT_FALSE(s.alpha_blend);
    EXPECT_EQ(s.texture_blend, platform::TextureBlend::Modulate);
    EXPECT_EQ(dev.render_states_dirty, 0);
}

// The pre-load pass of clear_zbuffer draws every texture with texels once
// at the top left, which makes each resident, and clears its flag; the
// slot it borrows is free again.
TEST_F(Batches, ThePreloadPassMakesEveryTextureResident)
{
    std::vector<cache_texture> records(4);
    std::vector<ref::RefTexture> texels;
    for (int i = 0; i < 3; ++i) {
        const TextureKind s = kind(PixelLayout::Rgb565, i & 1, 0);
        cache_texture& r = records[i];
        r.system_surface = surface(16, 16, PixelLayout::Rgb565, platform::SurfaceKind::Texture,
                                   platform::MemoryPlace::System);
        write(*r.system_surface, make_texels(s), 16);
        r.source_width = r.source_height = r.cache_width = r.cache_height = 16;
        r.size = 512;
    }
    dev.preload_records = records;
    EXPECT_EQ(dev.clear_zbuffer(), 1);
    EXPECT_FALSE(records[0].video_surface) << "only with the pre-load flag";
    dev.texture_preload = 1;
    EXPECT_EQ(dev.clear_zbuffer(), 1);
    EXPECT_EQ(dev.texture_preload, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(records[i].video_surface) << i;
    EXPECT_FALSE(records[3].video_surface) << "a free record is passed over";
    EXPECT_EQ(dev.batches.rows[0].slots[0].texture, nullptr);
    // The last texture drawn covers the top left 16 x 16, texel for pixel
    // (modulated by white: within a step of each channel). Pixel centres
    // fall on texel edges, where float rounding may take the texel before.
    const std::vector<std::uint16_t> expected = make_texels(kind(PixelLayout::Rgb565, 0, 0));
    const ref::Frame f = frame();
    const auto close = [](int a, int b) {
        return std::abs((a >> 11) - (b >> 11)) <= 1 && std::abs(((a >> 5) & 63) - ((b >> 5) & 63)) <= 1 &&
               std::abs((a & 31) - (b & 31)) <= 1;
    };
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool found = false;
            for (int ty = std::max(y - 1, 0); ty <= y; ++ty)
                for (int tx = std::max(x - 1, 0); tx <= x; ++tx)
                    found = found || close(f.colour[y * kWidth + x], expected[ty * 16 + tx]);
            EXPECT_TRUE(found) << x << ", " << y;
        }
    EXPECT_EQ(f.colour[20 * kWidth + 20], kBackground);
    dev.preload_records = {};
    for (cache_texture& r : records)
        r.video_surface.reset();
}

} // namespace
