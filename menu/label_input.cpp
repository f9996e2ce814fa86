// A label's keys, pointer, notifications and editing.
#include <algorithm>
#include <string>

#include "menu/form.h"
#include "menu/label.h"
#include "menu/link_pass.h"
#include "menu/screen_hooks.h"
#include "menu/state_io.h"
#include "platform/clock.h"

namespace {

constexpr std::int32_t kBackspace = 8;
// The longest row editing makes.
constexpr std::int32_t kEditRowMax = 252;
constexpr std::uint32_t kEndEditBlinkBit = 1u << 10;

// Notification codes of the buttons that scroll and page a label.
enum NotifyCode : std::int32_t {
    kNotifyEnd = -7,
    kNotifyTop = -6,
    kNotifyRowDown = -5,
    kNotifyRowUp = -4,
    kNotifyPreviousPage = -3,
    kNotifyNextPage = -2,
};

} // namespace

void Label::ReportRow()
{
    if (m_nUserID >= 0 && (m_nFlags & kControlReports))
        OnMenuCommand(*this);
}

bool Label::OnKeyDown()
{
    if (m_bEditing)
        return true;
    if (m_nSelectedRow >= RowCount() - 1) {
        // Down from the last row leaves the list.
        m_nSelectedRow = -1;
        SetCurrentRow(-1);
        return false;
    }
    ++m_nSelectedRow;
    SetCurrentRow(m_nSelectedRow);
    ReportRow();
    return true;
}

bool Label::OnKeyUp()
{
    if (m_bEditing)
        return true;
    if (m_nSelectedRow < 1) {
        // Up from the first row leaves the list, one past its last row.
        m_nSelectedRow = RowCount();
        SetCurrentRow(m_nSelectedRow);
        return false;
    }
    --m_nSelectedRow;
    SetCurrentRow(m_nSelectedRow);
    return true;
}

bool Label::OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys)
{
    if (m_pAttached)
        m_pAttached->OnMouse(x, y, message, keys);
    if (!CanTakeFocus() || message != kMouseLeftDown || !Contains(x, y))
        return true;
    if (m_pOwner)
        m_pOwner->SetFocus(m_nElement);
    if (m_nRowHeight <= 0)
        return true;
    const std::int32_t row = (y - GetTop()) / m_nRowHeight + m_nFirstRow;
    if (row < RowCount()) {
        m_nSelectedRow = row;
        SetCurrentRow(row);
        Invalidate();
        ReportRow();
    }
    return true;
}

void Label::StepPage(std::int32_t step)
{
    const std::int32_t pages = PageCount();
    if (pages < 1)
        return;
    m_nCurrentPage = ((m_nCurrentPage + step) % pages + pages) % pages;
    FitVisibleRows();
}

void Label::Notify(std::int32_t code)
{
    const LinkPass pass(m_bPassingNotify);
    if (!pass.Entered())
        return;
    switch (code) {
    case kNotifyEnd:
        m_nFirstRow = std::max(RowCount() - m_nVisibleRows, 0);
        Invalidate();
        break;
    case kNotifyTop:
        m_nFirstRow = 0;
        Invalidate();
        break;
    case kNotifyRowDown:
        if (m_nFirstRow + m_nVisibleRows < RowCount()) {
            ++m_nFirstRow;
            Invalidate();
        }
        break;
    case kNotifyRowUp:
        if (m_nFirstRow > 0) {
            --m_nFirstRow;
            Invalidate();
        }
        break;
    case kNotifyPreviousPage:
        StepPage(-1);
        Invalidate();
        break;
    case kNotifyNextPage:
        StepPage(1);
        Invalidate();
        break;
    default:
        break;
    }
    if (Control* next = Linked())
        next->Notify(code);
}

void Label::OnChar(std::int32_t character)
{
    if (!m_bEditing || !HasSelectedRow())
        return;
    Page& page = *CurrentPageForChange();
    const auto row = static_cast<std::size_t>(m_nSelectedRow);
    if (character == kBackspace) {
        RowDeleteLast(page, row);
    } else {
        // Only printable characters are typed; a row never grows past what
        // the row buffer holds, nor past the label's width with room for two
        // more characters.
        if (character < 32 || character > 255 || page.rows[row].length > kEditRowMax)
            return;
        const std::string text = RowText(m_nSelectedRow);
        if (TextExtent(text + "XX") > m_nWidth)
            return;
        RowAppendChar(page, row, static_cast<char>(character));
    }
    SetFirstRow(m_nSelectedRow);
    Invalidate();
}

void Label::EndEdit()
{
    if (!m_bEditing || !HasSelectedRow())
        return;
    Page& page = *CurrentPageForChange();
    const Row& row = page.rows[static_cast<std::size_t>(m_nSelectedRow)];
    if (row.length > 0)
        page.text[static_cast<std::size_t>(row.start + row.length - 1)] =
            (platform::time_get_time() & kEndEditBlinkBit) != 0 ? '<' : ' ';
    Invalidate();
}

void Label::SaveState(platform::File& file)
{
    WriteStateWord(file, m_nCurrentPage);
}

void Label::LoadState(platform::File& file)
{
    // A page the label does not have leaves it on its page.
    const std::int32_t page = ReadStateWord(file);
    if (page >= 0 && page < PageCount() && page != m_nCurrentPage) {
        m_nCurrentPage = page;
        Invalidate();
    }
}
