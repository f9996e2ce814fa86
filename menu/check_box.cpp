// Placeholder bodies, replaced by the check box's real implementation.
#include "menu/check_box.h"

void CheckBox::Load(FormParser& parser, const char* name) { Label::Load(parser, name); }
bool CheckBox::OnMouse(std::int32_t, std::int32_t, std::int32_t, std::int32_t) { return true; }
bool CheckBox::Paint() { return false; }
void CheckBox::SetChecked(bool checked) { m_bChecked = checked; Invalidate(); }
