#include "menu/control_factory.h"

#include "app/game_error.h"
#include "menu/check_box.h"
#include "menu/command_button.h"
#include "menu/image.h"
#include "menu/label.h"

namespace {

const char* KindName(std::int32_t type)
{
    switch (type) {
    case kControlPictureBox: return "PictureBox";
    case kControlVScrollBar: return "VScrollBar";
    case kControlHScrollBar: return "HScrollBar";
    case kControlWindow: return "Window";
    case kControlLabelExt: return "LabelExt";
    case kControlPlot: return "Plot";
    default: return nullptr;
    }
}

} // namespace

std::unique_ptr<Control> MakeControl(std::int32_t type, const char* name)
{
    switch (type) {
    case kControlLabel: return std::make_unique<Label>();
    case kControlImage: return std::make_unique<Image>();
    case kControlCommandButton: return std::make_unique<CommandButton>();
    case kControlCheckBox: return std::make_unique<CheckBox>();
    default: break;
    }
    if (const char* kind = KindName(type))
        ThrowGameError("%s controls are not built yet (element %s)", kind, name ? name : "");
    throw GameError("undef element");
}

void NoteButtonLink(Control& /*control*/, Control& /*target*/)
{
    // Picture boxes, which keep the list of their buttons, are not built yet.
}

void EnableIfButton(Control& control)
{
    if (control.m_nType == kControlCommandButton)
        static_cast<CommandButton&>(control).Enable();
}
