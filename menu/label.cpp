// Placeholder bodies, replaced by the label's real implementation.
#include "menu/label.h"

#include "app/form_parser.h"

void Label::Load(FormParser& parser, const char* name) { FontControl::Load(parser, name); }
bool Label::Update(std::int32_t*, std::int32_t*, std::int32_t*, std::int32_t*) { return true; }
bool Label::Draw() { return false; }
bool Label::Paint() { return false; }
bool Label::PaintText() { return false; }
void Label::DrawBackground() { FontControl::DrawBackground(); }
void Label::DrawBackgroundRect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) { FontControl::DrawBackgroundRect(l, t, r, b); }
bool Label::OnKeyDown() { return false; }
bool Label::OnKeyUp() { return false; }
void Label::EndEdit() {}
bool Label::OnMouse(std::int32_t, std::int32_t, std::int32_t, std::int32_t) { return true; }
void Label::Notify(std::int32_t) {}
void Label::OnChar(std::int32_t) {}
void Label::SaveState(platform::File&) {}
void Label::LoadState(platform::File&) {}
void Label::SetText(const char*, std::int32_t) {}
bool Label::GetText(char*, std::size_t) const { return false; }
void Label::SetWidth(std::int32_t) {}
void Label::loadtext(const char*, const char*, std::string&, std::int32_t&) {}
void Label::SetPage(std::int32_t) {}
void Label::SetFirstRow(std::int32_t) {}
void Label::SetCurrentRow(std::int32_t) {}
void Label::EditRow(std::int32_t) {}
bool Label::HasSelectedRow() const { return false; }
std::int32_t Label::FirstRowLength() const { return 0; }
void Label::SaveRows() {}
std::string Label::RowText(std::int32_t) const { return {}; }
std::int32_t Label::RowCount() const { return 0; }
const Label::Page* Label::CurrentPageRecord() const { return nullptr; }
void Label::RowDeleteLast(Row&) {}
void Label::RowAppendChar(Row&, char) {}
std::string ReadTextSection(const char*, const char*) { return {}; }
