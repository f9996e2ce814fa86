// Placeholder bodies, replaced by the image's real implementation.
#include "menu/image.h"

void Image::Load(FormParser& parser, const char* name) { Control::Load(parser, name); }
bool Image::Update(std::int32_t*, std::int32_t*, std::int32_t*, std::int32_t*) { return true; }
bool Image::Draw() { return false; }
bool Image::Paint() { return false; }
void Image::Notify(std::int32_t) {}
void Image::GotFocus() {}
void Image::LostFocus() {}
void Image::SaveState(platform::File&) {}
void Image::LoadState(platform::File&) {}
void Image::DrawBackground() {}
void Image::DrawBackgroundRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void Image::SetGraphic(const char*, std::int32_t, std::int32_t, bool) {}
bool Image::SetFrameFraction(float) { return false; }
void Image::MoveTo(float x, float y) { m_fLeft = x; m_fTop = y; }
