#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/render/lib2d_font.h"
#include "engine/render/lib2d_picture.h"
#include "engine/render/lib2d_surface.h"
#include "race/overlay_files.h"
#include "sim/grid_entry.h"

class render_device;

// What CockpitLoad loaded: the overlay's definition and the sheets, fonts,
// fills and cockpits it names.
struct HudContent {
    static constexpr int kFadeSteps = 8;

    struct Cockpit {
        bool loaded = false;
        CockpitDefinition def;
        lib2d_picture pictures[kCockpitPictures];
    };

    OverlayDefinition def;
    lib2d_picture flagSheet;
    lib2d_picture lightSheet;
    lib2d_picture pointer;
    std::vector<std::unique_ptr<lib2d_font>> fonts;
    std::vector<std::unique_ptr<lib2d_picture>> sheets; // by OverlaySheet index
    Cockpit cockpits[kBikeModelCount];
    // The 3D types' fills (the software type fills the back buffer itself).
    std::unique_ptr<lib2d_surface> boxFills[kOverlayElements];
    std::unique_ptr<lib2d_surface> fades[kFadeSteps];
    bool pointerShown = false;
    int pointerX = 0, pointerY = 0;
};

// The software type's fills, straight into the back buffer (the 3D types
// draw lib2d_surface quads). On a 16-bit screen each channel, in the
// screen's own masks, becomes (d x (255 - a) + s x a + 127) / 255; on an
// 8-bit screen, which cannot mix colours, the nearest palette entry covers
// the pixels an ordered 4 x 2 pattern picks for the coverage a x 8 / 255
// rounded (see kOverlayCoverRank).
void FillScreenRect(render_device& device, int x, int y, int w, int h, int r, int g, int b, int a);
// The fade: black with alpha k / 8. A 16-bit screen's channels become
// c x (8 - k) / 8 (truncated); an 8-bit screen's darkest entry covers the
// pattern's k pixels of every 8.
void FadeScreen(render_device& device, int eighths);
// The order pixels are covered in, by (y & 1) x 4 + (x & 3): a pixel is
// covered at coverage k when its rank is below k.
inline constexpr int kOverlayCoverRank[8] = {0, 4, 2, 6, 5, 1, 7, 3};
// The palette entry nearest 0xRRGGBB (squared distance; the first on ties).
int NearestPaletteEntry(const render_device& device, int r, int g, int b);
