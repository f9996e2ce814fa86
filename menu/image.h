#pragma once

#include <cstdint>

#include "menu/anim_strip.h"
#include "menu/control.h"

// A picture, optionally animated (its frames in turn every frame time) or
// selectable (the second half of its frames shown while focused).
class Image : public Control {
public:
    Image() : Control(kControlImage) {}

    void Load(FormParser& parser, const char* name) override;
    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override;
    bool Paint() override;
    void Notify(std::int32_t code) override;
    void GotFocus() override;
    void LostFocus() override;
    void SaveState(platform::File& file) override;
    void LoadState(platform::File& file) override;
    void DrawBackground() override;
    void DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override;

    // Takes another picture or strip, sized w x h; a single frame never animates.
    void SetGraphic(const char* name, std::int32_t width, std::int32_t height, bool animated);
    // Current frame := trunc(count x f); true when that did not change it.
    bool SetFrameFraction(float f);
    // Places the image and paints it there.
    void MoveTo(float x, float y);

    AnimStrip m_Strip;
    std::int32_t m_nFrameTime = 50;
    std::uint32_t m_nLastStep = 0;
    bool m_bAnimated = true;
    std::int32_t m_nWord1 = 0, m_nWord2 = 2000;

private:
    // The slide-in step, then the next frame once the frame time has passed.
    void StepAnimation();

    bool m_bPassing = false;  // handing a notification on along the links
};
