#include "menu/control_factory.h"

#include "app/game_error.h"
#include "menu/check_box.h"
#include "menu/command_button.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/label_ext.h"
#include "menu/picture_box.h"
#include "menu/plot.h"
#include "menu/scroll_bar.h"
#include "menu/window.h"

std::unique_ptr<Control> MakeControl(std::int32_t type, const char* name)
{
    switch (type) {
    case kControlLabel: return std::make_unique<Label>();
    case kControlImage: return std::make_unique<Image>();
    case kControlCommandButton: return std::make_unique<CommandButton>();
    case kControlCheckBox: return std::make_unique<CheckBox>();
    case kControlVScrollBar: return std::make_unique<ScrollBar>(kScrollVertical);
    case kControlHScrollBar: return std::make_unique<ScrollBar>(kScrollHorizontal);
    case kControlWindow: return std::make_unique<Window>();
    case kControlLabelExt: return std::make_unique<LabelExt>();
    case kControlPictureBox: return std::make_unique<PictureBox>();
    case kControlPlot: return std::make_unique<Plot>();
    default: break;
    }
    (void)name;
    throw GameError("undef element");
}

void NoteButtonLink(Control& control, Control& target)
{
    // A picture box keeps the buttons linked to it, to disable them while
    // its carousel turns.
    if (control.m_nType == kControlCommandButton && target.m_nType == kControlPictureBox)
        static_cast<PictureBox&>(target).AddLinkedButton(static_cast<CommandButton*>(&control));
}

void EnableIfButton(Control& control)
{
    if (control.m_nType == kControlCommandButton)
        static_cast<CommandButton&>(control).Enable();
}
