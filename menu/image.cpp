#include "menu/image.h"

#include <cmath>
#include <cstdlib>

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_error.h"
#include "menu/link_pass.h"
#include "platform/clock.h"

void Image::Load(FormParser& parser, const char* name)
{
    Control::Load(parser, name);
    const std::int64_t block_start = parser.MarkedPos();

    bool animated = false;
    char value[kTokenCapacity];
    if (parser.GetBool("Animated", animated)) {
        m_bAnimated = animated;
    } else {
        parser.RestorePos();
        if (parser.GetDefault(Name(), "Animated", value, sizeof value))
            m_bAnimated = std::atoi(value) > 0;
    }
    char graphic[kTokenCapacity];
    if (!parser.GetString("Graphic", graphic, sizeof graphic))
        ThrowGameError("Graphic not found in %s", Name());
    std::int32_t selectable = 0;
    if (parser.GetInt("Selectable", selectable))
        m_Strip.m_bTwoHalves = selectable != 0;
    else
        parser.RestorePos();
    if (parser.GetDefault(Name(), "Time", value, sizeof value))
        m_nFrameTime = std::atoi(value);

    parser.Seek(block_start);
    parser.MarkPos();
    m_Strip.Load(graphic, m_nWidth, m_nHeight);
    if (m_Strip.Count() == 1)
        m_bAnimated = false;
}

void Image::SetGraphic(const char* name, std::int32_t width, std::int32_t height, bool animated)
{
    m_nWidth = width;
    m_nHeight = height;
    m_Strip.Load(name, width, height);
    m_bAnimated = animated && m_Strip.Count() != 1;
    Invalidate();
}

void Image::StepAnimation()
{
    UpdateSlide();
    if (!m_bAnimated)
        return;
    const std::uint32_t now = platform::time_get_time();
    if (static_cast<std::int64_t>(platform::elapsed_ms(m_nLastStep, now)) > m_nFrameTime) {
        m_Strip.NextFrame();
        m_nLastStep = now;
        Invalidate();
    }
}

bool Image::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    StepAnimation();
    GrowDirty(left, top, right, bottom);
    return true;
}

bool Image::Draw()
{
    if (!IsVisibleInState())
        return false;
    m_Strip.Draw(GetLeft(), GetTop());
    if (m_nRedraw > 0)
        --m_nRedraw;
    return true;
}

bool Image::Paint()
{
    StepAnimation();
    if (m_nRedraw == 0)
        return false;
    return Draw();
}

void Image::Notify(std::int32_t code)
{
    const LinkPass pass(m_bPassing);
    if (!pass.Entered())
        return;
    if (code == -2) {
        m_Strip.NextFrame();
        Invalidate();
    } else if (code == -3) {
        m_Strip.PrevFrame();
        Invalidate();
    }
    if (Control* linked = Linked())
        linked->Notify(code);
}

void Image::GotFocus()
{
    if (m_Strip.m_bTwoHalves)
        m_Strip.m_bSelected = true;
    Invalidate();
}

void Image::LostFocus()
{
    m_Strip.m_bSelected = false;
    Invalidate();
}

void Image::SaveState(platform::File& file)
{
    m_Strip.SaveState(file);
}

void Image::LoadState(platform::File& file)
{
    m_Strip.LoadState(file);
    Invalidate();
}

void Image::DrawBackground()
{
    m_Strip.DrawBackground(GetLeft(), GetTop(), GetRight(), GetBottom());
}

void Image::DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    m_Strip.DrawBackground(left, top, right, bottom);
}

bool Image::SetFrameFraction(float f)
{
    const std::int32_t count = m_Strip.Count();
    // A fraction of 1 or more shows the last frame, a negative one (or no
    // number at all) the first.
    std::int32_t frame = 0;
    if (count > 0 && f > 0.0f) {
        const double scaled = std::trunc(static_cast<double>(count) * f);
        frame = scaled >= count ? count - 1 : static_cast<std::int32_t>(scaled);
    }
    if (frame == m_Strip.m_nCurrent)
        return true;
    m_Strip.SetFrameClamped(frame);
    Invalidate();
    return false;
}

void Image::MoveTo(float x, float y)
{
    m_fLeft = x;
    m_fTop = y;
    Invalidate();
    Paint();
}
