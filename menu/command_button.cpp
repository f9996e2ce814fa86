// Placeholder bodies, replaced by the button's real implementation.
#include "menu/command_button.h"

CommandButton::CommandButton() : Label(kControlCommandButton) {}
void CommandButton::Load(FormParser& parser, const char* name) { Label::Load(parser, name); m_bCanHaveFocus = 1; }
bool CommandButton::Update(std::int32_t*, std::int32_t*, std::int32_t*, std::int32_t*) { return true; }
bool CommandButton::Draw() { return false; }
bool CommandButton::Paint() { return false; }
bool CommandButton::PaintButton(bool) { return false; }
void CommandButton::DrawBackground() {}
void CommandButton::DrawBackgroundRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void CommandButton::GotFocus() {}
void CommandButton::LostFocus() {}
bool CommandButton::OnKeyDown() { return false; }
bool CommandButton::OnKeyUp() { return false; }
bool CommandButton::OnKeyLeft() { return false; }
bool CommandButton::OnKeyRight() { return false; }
void CommandButton::Activate() {}
bool CommandButton::Press() { return false; }
bool CommandButton::Release() { return false; }
bool CommandButton::OnMouse(std::int32_t, std::int32_t, std::int32_t, std::int32_t) { return true; }
void CommandButton::SaveState(platform::File&) {}
void CommandButton::LoadState(platform::File&) {}
void CommandButton::Disable() { m_nPrevState = m_nState; m_nState = kButtonDisabled; Invalidate(); }
void CommandButton::Enable() { m_nState = kButtonUp; Invalidate(); }
