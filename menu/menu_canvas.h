#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

// What the menus draw their text and filled rectangles into: the
// renderer's back buffer (the picture the next present shows). Menu
// coordinates are the back buffer's pixels.
//
// False / nothing when no renderer is installed or its back buffer is not
// ready (paused, lost, not set up).
bool MenuTextTarget(platform::TextTarget& target);
// Fills left..right-1 x top..bottom-1 with a colour 0x00BBGGRR (a
// control's background brush), clipped to the picture.
void FillMenuRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  std::uint32_t colour);
// A row of text as a face draws it: line ends and other control characters
// have no glyph to show and are left out.
std::string PrintableText(std::string_view text);
// Draws one line of text with a face, clipped to `clip` and the picture.
void DrawMenuText(const platform::TextFace& face, std::string_view text, const platform::TextDrawOptions& options);
// The whole picture as a clip rectangle (empty when there is none).
platform::PixelRect MenuScreenRect();
// The palette entry of an 8-bit picture nearest to a colour 0x00BBGGRR.
std::uint8_t NearestMenuPaletteIndex(const platform::TextTarget& target, std::uint32_t colour);
// Draws a line from (x0, y0) to (x1, y1), both ends included, with a square
// pen `width` pixels wide, clipped to `clip` and the picture.
void DrawMenuLine(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::uint32_t colour,
                  std::int32_t width, const platform::PixelRect& clip);
