#pragma once

#include <cstdint>

// What the engine foundation needs to know of the renderer, which sits above
// it: the renderer fills this in when it sets up its display, and the engine
// context reads it when it sizes its software buffers and loads a shade
// table.
struct render_facts {
    // The machine has little memory: the software path keeps fewer vertices.
    bool low_memory = false;
    // The software rasteriser draws into a 16-bit surface: shade tables hold
    // 16-bit colours instead of palette indices.
    bool software_16bit = false;
    // The 16-bit colour of each palette index (in the low half), built by the
    // renderer from the palette; read only in the software 16-bit mode.
    std::uint32_t palette_conversion[256] = {};
    // The palette as red, green, blue bytes, for the blend tables of the
    // software path's colour-keyed frames.
    std::uint8_t palette_rgb[256][3] = {};
};

// The program's one set of facts (all false and zero until the renderer
// fills them in).
render_facts& engine_render_facts();
