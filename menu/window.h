#pragma once

#include <cstdint>

#include "menu/control.h"
#include "menu/form.h"

// The pointer messages that scroll a window (or a plot): to x thousandths
// of its range (what a linked scroll bar sends with its position), and one
// pixel further.
inline constexpr std::int32_t kScrollToPosition = 100;
inline constexpr std::int32_t kScrollOneStep = 101;

// A clipped, vertically scrolling area of a screen holding controls of its
// own (a child form: the elements nested in the window's block). The
// window's own place and size are its clip rectangle; its first child, an
// image, is tiled over it as the background. Scrolling moves the children
// (a rich-text label's runs with it); a scroll bar linked to the window
// scrolls it.
class Window : public Control {
public:
    Window() : Control(kControlWindow) {}

    void Load(FormParser& parser, const char* name) override;
    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override;
    bool Paint() override;
    // 100: scroll to x thousandths of the range; 101: one pixel further
    // (false once the end is reached); other messages go to the children
    // while the pointer is inside.
    bool OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys) override;
    void DrawBackgroundRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}

    // Shows the window with its buttons enabled, or hides it with them disabled.
    void Show();
    void Hide();
    // Scrolls the content so that `offset` pixels of it lie above the clip
    // rectangle (clamped to the range), moving every child.
    void ScrollTo(std::int32_t offset);
    // How far the content scrolls: its height beyond the clip height, never
    // below 0.
    std::int32_t ScrollRange() const;
    std::int32_t ScrollOffset() const { return m_nScrollY; }
    // Gives every child the window's rectangle as its clipping rectangle
    // (game fonts, image frames, button backgrounds). The window's paint
    // does this and puts the children's own clipping back afterwards: their
    // fonts and pictures are shared with controls outside the window.
    void ClipChildren();
    // Covers the clip rectangle with the first child's picture, shifted by
    // the scroll offsets; nothing when the first child is no image with a
    // picture of some size.
    void TileBackground();

    Form& Children() { return m_Children; }
    const Form& Children() const { return m_Children; }

    std::int32_t m_nScrollX = 0;
    std::int32_t m_nScrollY = 0;
    std::int32_t m_nWord = 0;
    std::int32_t m_nPreviousScrollY = 0;
    std::int32_t m_nWinHeight = 0;  // the content's height
    std::int32_t m_nWinWidth = 0;

private:
    bool PaintWindow(bool invalidate);

    Form m_Children;
};
