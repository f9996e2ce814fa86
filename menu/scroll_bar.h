#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "menu/anim_strip.h"
#include "menu/control.h"
#include "menu/label.h"

// Scroll bar orientations.
inline constexpr std::int32_t kScrollVertical = 0;
inline constexpr std::int32_t kScrollHorizontal = 1;

// Pointer states of a scroll bar.
inline constexpr std::int32_t kScrollHoverNone = 0;
inline constexpr std::int32_t kScrollHoverThumb = 1;  // over the thumb, or the bar has the focus
inline constexpr std::int32_t kScrollDragging = 2;

// The picture of a horizontal bar's tick marks.
inline constexpr char kScrollTickPicture[] = "ssprites\\slidbar.pcx";

// The slider of the menus: an integer position between a minimum and a
// maximum in steps (or a real value scaled from it), drawn as a track
// picture with a thumb and, on a horizontal bar, tick marks below it. Setting
// the position passes it down a chain of linked labels (the value as text,
// or the first row of a list), scrolls a linked window or plot and reports
// to the screen's command handler.
class ScrollBar : public Control, public LabelAttachment {
public:
    explicit ScrollBar(std::int32_t orientation);

    void Load(FormParser& parser, const char* name) override;
    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override;
    bool Paint() override;
    bool OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys) override;
    void GotFocus() override;
    void LostFocus() override;
    bool OnKeyLeft() override;
    bool OnKeyRight() override;
    void Reset() override;
    void DrawBackground() override;
    void DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override;

    // The position is the first row of the label the bar is attached to.
    std::int32_t FirstRowValue() const override { return m_nPosition; }

    // A minimum above the maximum is taken the other way round; a step
    // below 1 is 1.
    void SetRange(std::int32_t minimum, std::int32_t maximum, std::int32_t step);
    // Clamps the position to the range, rounds it down to a multiple of the
    // step (staying inside the range), then updates what it drives.
    void SetPos(std::int32_t position);
    // One step up or down; false when the position did not move (at the limit).
    bool StepUp();
    bool StepDown();
    float GetValue() const;
    void SetValue(float value);
    float GetValueInRange(float a, float b) const;
    void SetValueInRange(float a, float b, float value);
    // The positions SetPos(position) and SetValueInRange(a, b, value) would
    // give, without moving the bar (a screen tells so whether a value it
    // showed was moved).
    std::int32_t ClampedPosition(std::int32_t position) const;
    std::int32_t PositionOfValueInRange(float a, float b, float value) const;
    // Stands beside a label (its top and height, 10 pixels wide, at its
    // right edge) and runs over the label's rows that are not shown.
    void AttachToLabel(const Label& label);
    // A label over the bar showing the position, centred both ways.
    void CreateValueLabel();
    void Enable();
    void Disable();

    // Where the thumb starts along the bar (y of a vertical bar, x of a
    // horizontal one), and the position a pointer coordinate along the bar
    // stands for.
    std::int32_t ThumbOrigin() const;
    std::int32_t PositionAt(std::int32_t coordinate) const;
    // The distance of a horizontal bar's tick marks: -1 (a vertical bar), 0
    // for none.
    std::int32_t TickSpacing() const { return m_nTickSpacing; }
    // The text a single-row label of the display chain shows.
    std::string DisplayText() const;

    std::unique_ptr<Label> m_pValueLabel;
    std::unique_ptr<AnimStrip> m_pTrack, m_pThumb, m_pTicks;
    std::int32_t m_nPosition = 0;
    std::int32_t m_nMinimum = 0, m_nMaximum = 100, m_nStep = 1;
    std::int32_t m_nTickSpacing = -1;
    bool m_bRealMode = false;
    float m_fRealMinimum = 0.0f, m_fRealMaximum = 1.0f;
    std::int32_t m_nDecimals = 1;
    std::int32_t m_nHover = kScrollHoverNone;
    std::int32_t m_nOrientation = kScrollVertical;
    std::int32_t m_nThumbSize = 0;  // the thumb's size along the bar
    // The suffix of the shown value: at most 5 characters, terminated.
    char m_szDisplayString[6] = {};

private:
    bool PaintBar(bool paint);
    // Passes the position down the chain of linked labels, starting at
    // `control` with `text` (null: the bar's own value).
    void UpdateDisplay(Control* control, const std::string* text);
    std::int32_t Length() const { return m_nOrientation == kScrollVertical ? m_nHeight : m_nWidth; }
    std::int32_t Start() const { return m_nOrientation == kScrollVertical ? GetTop() : GetLeft(); }
    bool OnThumb(std::int32_t x, std::int32_t y) const;
    // The position above the minimum, and the range's size (a whole 32-bit
    // range does not fit 32 bits).
    std::int64_t Offset() const { return static_cast<std::int64_t>(m_nPosition) - m_nMinimum; }
    double Span() const { return static_cast<double>(m_nMaximum) - m_nMinimum; }
    void ComputeTickSpacing();

    bool m_bPassing = false;  // handing a focus change on along the links
};
