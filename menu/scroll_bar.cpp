#include "menu/scroll_bar.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_error.h"
#include "menu/form.h"
#include "menu/link_pass.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "menu/window.h"

namespace {

// The colour of a scroll bar's background brush.
constexpr std::uint32_t kScrollBackColour = 0x646464;
// The tick picture's frame.
constexpr std::int32_t kTickWidth = 2, kTickHeight = 3;
// How far below the bar its tick marks reach (the dirty rectangle).
constexpr std::int32_t kTickReach = 5;
// The width of a bar attached to a label.
constexpr std::int32_t kAttachedWidth = 10;
// What a row of a list label hands on down the display chain.
constexpr std::size_t kChainRowMax = 49;

// The thumb's picture: the track's name without its extension, its last
// character replaced by 'c' ("sprites\barv.pcx" -> "sprites\barc"). Only
// the last path component's extension is cut, so a folder ".\menu\" stays.
std::string ThumbName(std::string_view track)
{
    const std::size_t slash = track.find_last_of("\\/");
    const std::size_t dot = track.find('.', slash == std::string_view::npos ? 0 : slash + 1);
    std::string name(track.substr(0, dot));
    if (!name.empty())
        name.back() = 'c';
    return name;
}

// A label of the display chain: plain labels only (buttons and check boxes
// show their own texts, and a rich text is scrolled by its window, not
// replaced by a number).
Label* ChainLabel(Control* control)
{
    if (!control || control->m_nType != kControlLabel)
        return nullptr;
    return static_cast<Label*>(control);
}

std::unique_ptr<AnimStrip> LoadStrip(const char* name, std::int32_t width, std::int32_t height)
{
    std::unique_ptr<AnimStrip> strip;
    try {
        strip = std::make_unique<AnimStrip>();
    } catch (const std::bad_alloc&) {
        throw GameError("out of mem");
    }
    strip->Load(name, width, height);
    return strip;
}

} // namespace

// Every scroll bar is of type 7 whichever word made it; the orientation
// tells them apart.
ScrollBar::ScrollBar(std::int32_t orientation) : Control(kControlHScrollBar), m_nOrientation(orientation) {}

void ScrollBar::Load(FormParser& parser, const char* name)
{
    Control::Load(parser, name);
    const std::int64_t block_start = parser.MarkedPos();
    m_BackColor = kScrollBackColour;
    m_pTicks = LoadStrip(kScrollTickPicture, kTickWidth, kTickHeight);
    m_bCanHaveFocus = 1;

    const auto int_key = [&parser](const char* key, std::int32_t& out) {
        if (parser.GetInt(key, out))
            return true;
        parser.RestorePos();
        return false;
    };
    if (!int_key("CursorWidth", m_nThumbSize))
        int_key("CursorHeight", m_nThumbSize);
    char value[kTokenCapacity];
    if (parser.GetString("DisplayString", value, sizeof value))
        CopyBounded(m_szDisplayString, sizeof m_szDisplayString, value);
    else
        parser.RestorePos();
    char graphic[kTokenCapacity] = {};
    if (!parser.GetString("Graphic", graphic, sizeof graphic))
        parser.RestorePos();
    if (m_nThumbSize != 0 && graphic[0]) {
        m_pTrack = LoadStrip(graphic, m_nWidth, m_nHeight);
        const std::string thumb = ThumbName(graphic);
        if (m_nOrientation == kScrollVertical)
            m_pThumb = LoadStrip(thumb.c_str(), m_nWidth, m_nThumbSize);
        else
            m_pThumb = LoadStrip(thumb.c_str(), m_nThumbSize, m_nHeight);
    }
    std::int32_t maximum = m_nMaximum, minimum = m_nMinimum, step = m_nStep;
    int_key("Max", maximum);
    int_key("Min", minimum);
    if (int_key("Step", step)) {
        SetRange(minimum, maximum, step);
    } else {
        // Without a step the range is kept as written (in order), and the
        // bar has no tick marks.
        m_nMinimum = std::min(minimum, maximum);
        m_nMaximum = std::max(minimum, maximum);
    }
    m_nPosition = m_nMinimum;
    parser.Seek(block_start);
    parser.MarkPos();
}

// ---- Range and position ----

void ScrollBar::SetRange(std::int32_t minimum, std::int32_t maximum, std::int32_t step)
{
    m_nMinimum = std::min(minimum, maximum);
    m_nMaximum = std::max(minimum, maximum);
    m_nStep = std::max(step, 1);
    // The position stays inside the range (it is not reported: nothing was
    // set).
    m_nPosition = std::clamp(m_nPosition, m_nMinimum, m_nMaximum);
    if (m_pValueLabel)
        m_pValueLabel->SetText(std::to_string(m_nMaximum).c_str());
    ComputeTickSpacing();
}

// Ticks stand a whole number of steps apart, the first multiple of the
// step's distance t that is wider than the thumb. A range whose steps are
// closer than a pixel (t = 0, or a bar narrower than its thumb) has none.
void ScrollBar::ComputeTickSpacing()
{
    if (m_nOrientation == kScrollVertical) {
        m_nTickSpacing = -1;
        return;
    }
    if (m_nMaximum == m_nMinimum) {
        m_nTickSpacing = m_nWidth;
        return;
    }
    const double t = std::trunc((static_cast<double>(m_nWidth) - m_nThumbSize) / Span() * m_nStep);
    if (!(t >= 1.0) || t > INT32_MAX) {
        m_nTickSpacing = 0;
        return;
    }
    const auto step = static_cast<std::int64_t>(t);
    m_nTickSpacing = static_cast<std::int32_t>(std::min<std::int64_t>((m_nThumbSize / step + 1) * step, INT32_MAX));
}

std::int32_t ScrollBar::ClampedPosition(std::int32_t position) const
{
    const std::int32_t step = std::max(m_nStep, 1);
    std::int32_t p = std::clamp(position, m_nMinimum, m_nMaximum);
    p = p / step * step;
    // Rounding to the step may leave the range (a minimum of 5 with a step
    // of 10 rounds 5 down to 0): the rounded position is clamped again.
    return std::clamp(p, m_nMinimum, m_nMaximum);
}

void ScrollBar::SetPos(std::int32_t position)
{
    m_nPosition = ClampedPosition(position);

    if (Control* linked = Linked()) {
        UpdateDisplay(linked, nullptr);
        if (linked->m_nType == kControlWindow || linked->m_nType == kControlPlot)
            linked->OnMouse(m_nPosition, 0, kScrollToPosition, 0);
    }
    if (m_pValueLabel) {
        // The number overwrites the label's first row, padded with blanks
        // to the row's length.
        std::string text = std::to_string(m_nPosition);
        if (m_pValueLabel->RowCount() > 0)
            text.resize(std::max(text.size(), static_cast<std::size_t>(m_pValueLabel->FirstRowLength())), ' ');
        m_pValueLabel->SetText(text.c_str());
    }
    if (m_nUserID >= 0 && (m_nFlags & kControlReports)) {
        if (MenuManager* manager = GetMenuManager())
            manager->m_nLastUserID = m_nUserID;
        OnMenuCommand(*this);
    }
    Invalidate();
}

bool ScrollBar::StepUp()
{
    if (m_nPosition >= m_nMaximum)
        return false;
    const std::int32_t before = m_nPosition;
    SetPos(static_cast<std::int32_t>(std::min<std::int64_t>(static_cast<std::int64_t>(m_nPosition) + m_nStep,
                                                            m_nMaximum)));
    return m_nPosition != before;
}

bool ScrollBar::StepDown()
{
    if (m_nPosition <= m_nMinimum)
        return false;
    const std::int32_t before = m_nPosition;
    SetPos(static_cast<std::int32_t>(std::max<std::int64_t>(static_cast<std::int64_t>(m_nPosition) - m_nStep,
                                                            m_nMinimum)));
    return m_nPosition != before;
}

// The value conversions: an empty range (maximum equal to minimum, or real
// limits equal) maps everything to its start instead of dividing by 0.
float ScrollBar::GetValue() const
{
    if (!m_bRealMode)
        return static_cast<float>(m_nPosition);
    return GetValueInRange(m_fRealMinimum, m_fRealMaximum);
}

void ScrollBar::SetValue(float value)
{
    if (!m_bRealMode) {
        // The position is the value cut to a whole number. A value outside
        // the range (or not a number) stands at the nearer end, as in
        // SetValueInRange: converting it to an integer as it is would be
        // undefined.
        const double position = std::trunc(static_cast<double>(value));
        SetPos(!(position > m_nMinimum) ? m_nMinimum
               : position > m_nMaximum  ? m_nMaximum
                                        : static_cast<std::int32_t>(position));
        return;
    }
    SetValueInRange(m_fRealMinimum, m_fRealMaximum, value);
}

float ScrollBar::GetValueInRange(float a, float b) const
{
    if (m_nMaximum == m_nMinimum)
        return a;
    return a + static_cast<float>(static_cast<double>(Offset()) * (b - a) / Span());
}

std::int32_t ScrollBar::PositionOfValueInRange(float a, float b, float value) const
{
    if (b == a)
        return ClampedPosition(m_nMinimum);
    const double position = std::trunc(Span() * (value - a) / (b - a) + m_nMinimum + 0.5);
    // A value far outside the limits (or not a number) stands at the nearer end.
    return ClampedPosition(!(position > m_nMinimum) ? m_nMinimum
                           : position > m_nMaximum  ? m_nMaximum
                                                    : static_cast<std::int32_t>(position));
}

void ScrollBar::SetValueInRange(float a, float b, float value)
{
    SetPos(PositionOfValueInRange(a, b, value));
}

// ---- The display chain ----

std::string ScrollBar::DisplayText() const
{
    char text[64];
    if (m_bRealMode)
        std::snprintf(text, sizeof text, "%.*f", std::clamp(m_nDecimals, 0, 9), static_cast<double>(GetValue()));
    else
        std::snprintf(text, sizeof text, "%d", static_cast<int>(m_nPosition));
    return std::string(text) + m_szDisplayString;
}

void ScrollBar::UpdateDisplay(Control* control, const std::string* text)
{
    // Each label of the chain once, also round a ring of links.
    std::vector<const Control*> reached;
    std::string passed;
    for (Label* label = ChainLabel(control); label && std::find(reached.begin(), reached.end(), label) == reached.end();
         label = ChainLabel(label->Linked())) {
        reached.push_back(label);
        const std::int32_t rows = label->RowCount();
        if (rows < 2) {
            const std::string shown = text ? *text + m_szDisplayString : DisplayText();
            label->SetText(shown.c_str());
            continue;
        }
        // A list shows the row of the position; a position past its rows
        // shows its last row.
        const auto row = static_cast<std::int32_t>(std::clamp<std::int64_t>(Offset(), 0, rows - 1));
        label->m_nFirstRow = row;
        label->Invalidate();
        passed = label->RowText(row).substr(0, kChainRowMax);
        text = &passed;
    }
}

// ---- Geometry ----

namespace {

// A coordinate worked out in doubles (exact for every range and bar a
// screen uses, and never overflowing for the others), truncated and kept
// in 32 bits.
std::int32_t ToInt32(double value)
{
    return static_cast<std::int32_t>(std::clamp(std::trunc(value), static_cast<double>(INT32_MIN),
                                                static_cast<double>(INT32_MAX)));
}

} // namespace

std::int32_t ScrollBar::ThumbOrigin() const
{
    if (m_nMaximum == m_nMinimum)
        return Start();
    const double travel = static_cast<double>(Length()) - m_nThumbSize;
    return ToInt32(Start() + std::trunc(static_cast<double>(Offset()) * travel / Span()));
}

std::int32_t ScrollBar::PositionAt(std::int32_t coordinate) const
{
    const double travel = static_cast<double>(Length()) - m_nThumbSize;
    if (travel <= 0)
        return m_nMinimum;
    const double above = std::trunc((static_cast<double>(coordinate) - Start()) * Span() / travel);
    return std::clamp(ToInt32(m_nMinimum + above), m_nMinimum, m_nMaximum);
}

bool ScrollBar::OnThumb(std::int32_t x, std::int32_t y) const
{
    if (m_nThumbSize <= 0 || !Contains(x, y))
        return false;
    const std::int32_t along = m_nOrientation == kScrollVertical ? y : x;
    const std::int32_t origin = ThumbOrigin();
    return along >= origin && along < origin + m_nThumbSize;
}

// ---- Drawing ----

bool ScrollBar::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    GrowDirty(left, top, right, bottom);
    if (m_nRedraw >= 1 && bottom && *bottom < GetBottom() + kTickReach)
        *bottom = GetBottom() + kTickReach;
    return true;
}

bool ScrollBar::Paint()
{
    return PaintBar(true);
}

bool ScrollBar::Draw()
{
    return PaintBar(false);
}

bool ScrollBar::PaintBar(bool paint)
{
    if (!IsVisibleInState() || (paint && m_nRedraw == 0))
        return false;
    if (m_nOrientation != kScrollVertical && m_nOrientation != kScrollHorizontal)
        throw GameError("undef scroll type");
    if (m_pThumb) {
        const std::int32_t frames = m_pThumb->Count();
        if (CanTakeFocus()) {
            if (frames >= 2)
                m_pThumb->SetState(m_nHover != kScrollHoverNone ? 1 : 0);
        } else if (frames >= 3) {
            m_pThumb->SetState(2);
        }
    }
    if (m_pTrack)
        m_pTrack->Draw(GetLeft(), GetTop());
    if (m_pThumb) {
        if (m_nOrientation == kScrollVertical)
            m_pThumb->Draw(GetLeft(), ThumbOrigin());
        else
            m_pThumb->Draw(ThumbOrigin(), GetTop());
    }
    if (m_pValueLabel) {
        m_pValueLabel->Invalidate();
        m_pValueLabel->Paint();
    }
    // A spacing of 0 (steps closer than a pixel) draws no ticks.
    if (m_nOrientation == kScrollHorizontal && m_nTickSpacing > 0 && m_pTicks) {
        const std::int64_t half = m_nThumbSize / 2;
        for (std::int64_t k = 0; k * m_nTickSpacing < m_nWidth - half; ++k) {
            const std::int64_t x = GetLeft() + half + k * m_nTickSpacing;
            if (x > INT32_MAX)
                break;
            m_pTicks->Draw(static_cast<std::int32_t>(x), GetBottom());
        }
    }
    if (m_nRedraw > 0)
        --m_nRedraw;
    return true;
}

void ScrollBar::DrawBackground()
{
    DrawBackgroundRect(GetLeft(), GetTop(), GetRight(), GetBottom());
}

void ScrollBar::DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    if (m_pTrack)
        m_pTrack->DrawBackground(left, top, right, bottom);
    if (m_pThumb)
        m_pThumb->DrawBackground(left, top, right, bottom);
}

// ---- Focus, keys and pointer ----

void ScrollBar::GotFocus()
{
    const LinkPass pass(m_bPassing);
    if (!pass.Entered())
        return;
    if (Control* linked = Linked())
        linked->GotFocus();
    m_nHover = kScrollHoverThumb;
    Invalidate();
}

void ScrollBar::LostFocus()
{
    m_nHover = kScrollHoverNone;
    Invalidate();
}

bool ScrollBar::OnKeyLeft()
{
    if (m_nOrientation != kScrollHorizontal)
        return false;
    StepDown();
    return true;
}

bool ScrollBar::OnKeyRight()
{
    if (m_nOrientation != kScrollHorizontal)
        return false;
    StepUp();
    return true;
}

void ScrollBar::Reset()
{
    Control::Reset();
    SetPos(m_nPosition);
    Invalidate();
}

bool ScrollBar::OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t /*keys*/)
{
    if (!CanTakeFocus())
        return true;
    const bool on_thumb = OnThumb(x, y);
    switch (message) {
    case kMouseLeftDown:
        if (!Contains(x, y))
            break;
        if (on_thumb) {
            m_nHover = kScrollDragging;
        } else {
            const std::int32_t along = m_nOrientation == kScrollVertical ? y : x;
            if (along > ThumbOrigin())
                StepUp();
            else
                StepDown();
        }
        break;
    case kMouseLeftUp:
        if (m_nHover == kScrollDragging)
            m_nHover = kScrollHoverThumb;
        break;
    case kMouseMove:
        if (m_nHover == kScrollDragging) {
            SetPos(PositionAt(m_nOrientation == kScrollVertical ? y : x));
        } else if (!on_thumb && m_nHover == kScrollHoverThumb) {
            if (m_pOwner && m_nElement >= 0 && m_pOwner->m_nLastFocused == m_nElement)
                m_pOwner->SetFocus(kFocusNothing);
            else
                LostFocus();
        } else if (on_thumb && m_nHover == kScrollHoverNone) {
            if (m_pOwner && m_nElement >= 0)
                m_pOwner->SetFocus(m_nElement);
            else
                GotFocus();
        }
        break;
    default:
        break;
    }
    return true;
}

void ScrollBar::AttachToLabel(const Label& label)
{
    m_fLeft = m_fStartLeft = m_fTargetLeft = static_cast<float>(label.GetRight());
    m_fTop = m_fStartTop = m_fTargetTop = label.m_fTop;
    m_nWidth = kAttachedWidth;
    m_nHeight = label.m_nHeight;
    SetRange(0, label.RowCount() - label.m_nVisibleRows, 1);
}

void ScrollBar::CreateValueLabel()
{
    try {
        m_pValueLabel = std::make_unique<Label>();
    } catch (const std::bad_alloc&) {
        throw GameError("out of mem");
    }
    m_pValueLabel->m_pOwner = m_pOwner;
    m_pValueLabel->m_fLeft = m_fLeft;
    m_pValueLabel->m_fTop = m_fTop;
    m_pValueLabel->m_nWidth = m_nWidth;
    m_pValueLabel->m_nHeight = m_nHeight;
    m_pValueLabel->m_nAlignment = kAlignCentredBoth;
    m_pValueLabel->SetText(std::to_string(m_nMaximum).c_str());
}

void ScrollBar::Enable()
{
    if (m_bCanHaveFocus != 1) {
        m_bCanHaveFocus = 1;
        Invalidate();
    }
}

void ScrollBar::Disable()
{
    if (m_bCanHaveFocus != 0) {
        m_bCanHaveFocus = 0;
        Invalidate();
    }
}
