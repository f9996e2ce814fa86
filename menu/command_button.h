#pragma once

#include <cstdint>
#include <memory>

#include "menu/anim_strip.h"
#include "menu/label.h"

// Button states.
enum ButtonState : std::int32_t {
    kButtonPressed = 0,
    kButtonUp = 1,
    kButtonSelected = 2,  // focused or under the pointer
    kButtonDisabled = 3,
};

// A text or sprite button: up, selected, pressed and disabled looks, a hot
// key, a click sound and the command it gives the menu's state machine.
class CommandButton : public Label {
public:
    CommandButton();

    void Load(FormParser& parser, const char* name) override;
    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override;
    bool Paint() override;
    void DrawBackground() override;
    void DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override;
    void GotFocus() override;
    void LostFocus() override;
    bool OnKeyDown() override;
    bool OnKeyUp() override;
    bool OnKeyLeft() override;
    bool OnKeyRight() override;
    void Activate() override;
    bool Press() override;
    bool Release() override;
    bool OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys) override;
    void OnChar(std::int32_t /*character*/) override {}
    void SaveState(platform::File& file) override;
    void LoadState(platform::File& file) override;

    void Disable();
    void Enable();
    void SetAlignmentWord(std::int32_t value) { m_nAlignment = value; }

    AnimStrip m_Graphic;
    std::int32_t m_nDeferred = 2;
    bool m_bSwitch = false;
    bool m_bDownTrigger = false;
    std::int32_t m_nCommand = 0;
    std::int32_t m_nState = kButtonUp;
    std::int32_t m_nPrevState = kButtonUp;
    std::int32_t m_nMode = 1;  // 1 text button, 0 sprite button
    std::uint32_t m_ColTextDown = 0xFFFFFF, m_ColTextUp = 0xFFFFFF, m_ColTextSelected = 0xFFFFFF;
    std::int32_t m_nSfx = -1;
    std::unique_ptr<AnimStrip> m_pSprite;

private:
    bool PaintButton(bool paint);
};
