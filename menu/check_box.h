#pragma once

#include <cstdint>

#include "menu/anim_strip.h"
#include "menu/label.h"

// A label with a two-frame box (frame 0 checked, frame 1 unchecked) that
// the pointer toggles.
class CheckBox : public Label {
public:
    CheckBox() : Label(kControlCheckBox) {}

    void Load(FormParser& parser, const char* name) override;
    bool OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys) override;
    bool Paint() override;

    void SetChecked(bool checked);
    bool IsChecked() const { return m_bChecked; }

    AnimStrip m_Box;
    bool m_bChecked = false;
    std::int32_t m_nOwnUserID = -1;
};
