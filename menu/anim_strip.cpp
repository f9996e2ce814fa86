// Placeholder bodies, replaced by the strip's real implementation.
#include "menu/anim_strip.h"

void AnimStrip::Load(const char*, std::int32_t w, std::int32_t h) { m_nFrameWidth = w; m_nFrameHeight = h; }
void AnimStrip::Free() { m_Frames.clear(); }
void AnimStrip::Draw(std::int32_t, std::int32_t) const {}
void AnimStrip::NextFrame() {}
void AnimStrip::PrevFrame() {}
void AnimStrip::SetState(std::int32_t frame) { m_nCurrent = frame; }
void AnimStrip::SaveState(platform::File&) const {}
void AnimStrip::LoadState(platform::File&) {}
void AnimStrip::DrawBackground(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
