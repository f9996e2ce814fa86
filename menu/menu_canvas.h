#pragma once

#include <cstdint>
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
// Draws one line of text with a face, clipped to `clip` and the picture.
void DrawMenuText(const platform::TextFace& face, std::string_view text, const platform::TextDrawOptions& options);
// The whole picture as a clip rectangle (empty when there is none).
platform::PixelRect MenuScreenRect();
