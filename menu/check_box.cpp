#include "menu/check_box.h"

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_error.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"

void CheckBox::Load(FormParser& parser, const char* name)
{
    Label::Load(parser, name);
    const std::int64_t block_start = parser.MarkedPos();
    char graphic[kTokenCapacity];
    if (!parser.GetString("Graphic", graphic, sizeof graphic))
        throw GameError("Check_button graphic undef");
    if (!GetIntAnywhere(parser, "UserID", m_nOwnUserID))
        m_nOwnUserID = -1;
    parser.Seek(block_start);
    parser.MarkPos();
    m_Box.Load(graphic, m_nWidth, m_nHeight);
}

void CheckBox::SetChecked(bool checked)
{
    if (m_bChecked != checked) {
        m_bChecked = checked;
        Invalidate();
    }
}

bool CheckBox::OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t /*keys*/)
{
    // A check box hidden in the current state takes no click where it would stand.
    if (message != kMouseLeftDown || !Contains(x, y) || !IsVisibleInState())
        return true;
    m_bChecked = !m_bChecked;
    Invalidate();
    if (m_nOwnUserID >= 0 && (m_nFlags & kControlReports)) {
        if (MenuManager* manager = GetMenuManager())
            manager->m_nLastUserID = m_nOwnUserID;
        OnMenuCommand(*this);
    }
    return true;
}

bool CheckBox::Paint()
{
    // A hidden check box draws neither its text nor its box.
    if (m_nRedraw == 0 || !IsVisibleInState())
        return false;
    UpdateSlide();
    m_Box.SetFrameClamped(m_bChecked ? 0 : 1);
    const float left = m_fLeft, top = m_fTop;
    // The box's width is how far its visible pixels reach into its frame.
    const std::int32_t box_width = m_Box.VisibleRight();
    if (m_nAlignment == kAlignLeft) {
        m_Box.Draw(GetLeft(), GetTop());
        m_fLeft += static_cast<float>(box_width);
    } else if (m_nAlignment == kAlignRight) {
        m_Box.Draw(GetRight() - box_width, GetTop());
        m_fLeft -= static_cast<float>(box_width);
    }
    // The slide has been stepped: the label's own step must not pull the
    // shifted text back to the control's place.
    const std::int32_t sliding = m_bSliding;
    m_bSliding = 0;
    PaintText();
    m_bSliding = sliding;
    m_fLeft = left;
    m_fTop = top;
    // The redraw counter stays as it was: a check box paints on every pass.
    return true;
}
