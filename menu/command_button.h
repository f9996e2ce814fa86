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

// Button modes.
inline constexpr std::int32_t kButtonSprite = 0;  // a sprite centred on the background ("SpriteFile")
inline constexpr std::int32_t kButtonText = 1;

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
    std::int32_t m_nMode = kButtonText;
    std::uint32_t m_ColTextDown = 0xFFFFFF, m_ColTextUp = 0xFFFFFF, m_ColTextSelected = 0xFFFFFF;
    std::int32_t m_nSfx = -1;
    std::unique_ptr<AnimStrip> m_pSprite;

private:
    // Paint (with the redraw-counter test) and Draw (without).
    bool PaintButton(bool paint);
    // Sets the frames, font variant and text colour of the state's look and
    // the look's offset.
    void ChooseLook(std::int32_t& offset_x, std::int32_t& offset_y);
    // A sprite button with its sprite (a button made again from a state
    // file has none).
    bool SpriteMode() const { return m_nMode == kButtonSprite && m_pSprite; }
    // A new state, invalidating when it changed.
    void SetButtonState(std::int32_t state);
    // An arrow key for a switch held down: its virtual-key code goes to the
    // button's own OnChar.
    bool PassArrow(std::int32_t virtual_key);

    bool m_bPassing = false;  // handing a focus change on along the links
};
