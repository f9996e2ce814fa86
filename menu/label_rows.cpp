// A label's pages and rows: setting the text, breaking it into rows for the
// label's width, the first visible, current and selected rows.
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/game_error.h"
#include "engine/render/lib2d_font.h"
#include "menu/label.h"
#include "menu/link_pass.h"
#include "platform/text.h"

namespace {

// The label a link leads to, when it is one whose rows follow this one's
// (a label or a rich-text label; buttons and check boxes do not).
Label* LinkedLabel(const Control& control)
{
    auto* label = dynamic_cast<Label*>(control.Linked());
    if (label && (label->m_nType == kControlLabel || label->m_nType == kControlLabelExt))
        return label;
    return nullptr;
}

std::int32_t RoomFrom(const Label::Page& page, std::int32_t start)
{
    return std::max(page.capacity + 1 - start, 0);
}

} // namespace

// ---- Pages ----

const Label::Page* Label::CurrentPageRecord() const
{
    if (m_nCurrentPage < 0 || m_nCurrentPage >= PageCount())
        return nullptr;
    return &m_Pages[static_cast<std::size_t>(m_nCurrentPage)];
}

Label::Page* Label::CurrentPageForChange()
{
    return const_cast<Page*>(static_cast<const Label*>(this)->CurrentPageRecord());
}

// A label made at run time (no screen file) has no page until its first text.
Label::Page& Label::EnsurePage()
{
    if (m_Pages.empty()) {
        m_Pages.emplace_back();
        m_nCurrentPage = 0;
    }
    return *CurrentPageForChange();
}

void Label::SetText(const char* text, std::int32_t n)
{
    Page& page = EnsurePage();
    std::string_view given = text ? text : "";
    const std::int32_t length = static_cast<std::int32_t>(std::min<std::size_t>(given.size(), INT32_MAX));
    if (std::max(length, n) <= page.capacity) {
        // The text fits the buffer it has.
        page.text.assign(given.substr(0, static_cast<std::size_t>(page.capacity)));
    } else {
        if (given.ends_with('\n')) {
            given.remove_suffix(1);
            if (given.ends_with('\r'))
                given.remove_suffix(1);
        }
        page.capacity = n > 0 ? n : static_cast<std::int32_t>(given.size());
        // A text longer than the capacity asked for is cut to it.
        page.text.assign(given.substr(0, static_cast<std::size_t>(page.capacity)));
    }
    SetWidth(m_nWidth);
    Invalidate();
}

bool Label::GetText(char* buffer, std::size_t size) const
{
    if (!buffer || size == 0)
        return false;
    const Page* page = CurrentPageRecord();
    const std::string_view text = page ? std::string_view(page->text) : std::string_view();
    const std::size_t copied = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = 0;
    return copied == text.size();
}

void Label::SetPage(std::int32_t page)
{
    if (page == m_nCurrentPage)
        return;
    if (page < 0 || page >= PageCount())
        ThrowGameError("page %d out of range in %s", static_cast<int>(page), Name());
    m_nCurrentPage = page;
    Invalidate();
}

// ---- Rows ----

void Label::SetWidth(std::int32_t width)
{
    Page* page = CurrentPageForChange();
    if (!page)
        return;
    page->rows.clear();
    switch (m_nFontKind) {
    case kFontWindows:
        BuildWindowsFontRows(*page, width);
        break;
    case kFontGame:
        BuildGameFontRows(*page);
        break;
    case kFontNone:
        m_nVisibleRows = 0;
        return;
    default:
        throw GameError("undef font type");
    }
    FitVisibleRows();
    const std::int32_t rows = RowCount();
    if (m_nFirstRow > rows - 1)
        m_nFirstRow = rows - 1;
    if (m_nSelectedRow > rows - 1)
        m_nCurrentRow = rows - 1;
    if (m_nFirstRow < 0)
        m_nFirstRow = 0;
}

// Rows of about `c` characters, c = width / (average character width + 1):
// a row ends at the last blank that keeps it within c characters, and the
// blank itself is left out. A word longer than a row is broken where it no
// longer fits, and every row takes at least one character, so that even a
// label narrower than one character ends its layout.
void Label::BuildWindowsFontRows(Page& page, std::int32_t width)
{
    PrepareFont();
    if (!m_pFace)
        ThrowGameError("no font for %s", Name());
    m_nRowHeight = m_pFace->cell_height();
    m_nAverageWidth = m_pFace->average_char_width() + 1;
    const std::int32_t c = std::max(m_nAverageWidth > 0 ? width / m_nAverageWidth : 0, 1);
    const std::string& text = page.text;
    const std::int32_t length = static_cast<std::int32_t>(text.size());
    const auto add = [&](std::int32_t start, std::int32_t end) {
        if (end > start || m_bEditable)
            page.rows.push_back({start, end - start, RoomFrom(page, start)});
    };
    std::int32_t start = 0;
    while (length - start > c) {
        std::int32_t blank = start + c;
        while (blank >= start && text[static_cast<std::size_t>(blank)] != ' ')
            --blank;
        if (blank < start) {
            add(start, start + c);
            start += c;
        } else {
            add(start, blank);
            start = blank + 1;
        }
    }
    add(start, length);
}

// One row a line (its CR LF or LF left out); an editable label has one row
// with the whole text. Empty lines make no row, except the row of an
// editable label, which the player types into.
void Label::BuildGameFontRows(Page& page)
{
    m_nRowHeight = m_GameFontParams[1];
    const std::int32_t length = static_cast<std::int32_t>(page.text.size());
    if (m_bEditable) {
        page.rows.push_back({0, length, RoomFrom(page, 0)});
        return;
    }
    std::int32_t start = 0;
    while (start < length) {
        const std::size_t newline = page.text.find('\n', static_cast<std::size_t>(start));
        const std::int32_t next = newline == std::string::npos ? length : static_cast<std::int32_t>(newline) + 1;
        std::int32_t end = newline == std::string::npos ? length : static_cast<std::int32_t>(newline);
        if (end > start && page.text[static_cast<std::size_t>(end - 1)] == '\r')
            --end;
        if (end > start)
            page.rows.push_back({start, end - start, RoomFrom(page, start)});
        start = next;
    }
}

// As many rows as the height holds (a row height of 0 holds none), at
// most the rows of the current page.
void Label::FitVisibleRows()
{
    m_nVisibleRows = std::min(m_nRowHeight > 0 ? m_nHeight / m_nRowHeight : 0, RowCount());
}

std::int32_t Label::RowCount() const
{
    const Page* page = CurrentPageRecord();
    return page ? static_cast<std::int32_t>(page->rows.size()) : 0;
}

std::string Label::RowText(std::int32_t row) const
{
    const Page* page = CurrentPageRecord();
    if (!page || row < 0 || row >= RowCount())
        return {};
    const Row& r = page->rows[static_cast<std::size_t>(row)];
    return page->text.substr(static_cast<std::size_t>(r.start), static_cast<std::size_t>(r.length));
}

void Label::SetFirstRow(std::int32_t row)
{
    if (row < 0)
        throw GameError("non si puo'");
    const LinkPass pass(m_bPassingFirstRow);
    if (!pass.Entered())
        return;
    m_nFirstRow = row;
    if (Label* next = LinkedLabel(*this))
        next->SetFirstRow(row);
    Invalidate();
}

void Label::SetCurrentRow(std::int32_t row)
{
    std::vector<const Label*> reached;
    for (Label* label = this; label && std::find(reached.begin(), reached.end(), label) == reached.end();
         label = LinkedLabel(*label)) {
        reached.push_back(label);
        label->m_nCurrentRow = row;
        label->Invalidate();
    }
}

void Label::EditRow(std::int32_t row)
{
    m_nSelectedRow = row;
    m_bEditing = m_bEditable = row >= 0 ? 1 : 0;
    if (row >= 0 && row < RowCount()) {
        Page& page = *CurrentPageForChange();
        Row& r = page.rows[static_cast<std::size_t>(row)];
        while (r.length > 0) {
            const char last = page.text[static_cast<std::size_t>(r.start + r.length - 1)];
            if (last != ' ' && last != '\r' && last != '\n')
                break;
            --r.length;
        }
    }
    SetCurrentRow(row);
}

bool Label::HasSelectedRow() const
{
    return m_nSelectedRow >= 0 && m_nSelectedRow < RowCount();
}

std::int32_t Label::FirstRowLength() const
{
    if (RowCount() == 0)
        throw GameError("0 row");
    return CurrentPageRecord()->rows[0].length;
}

void Label::SaveRows()
{
    if (!m_SavedRows.empty())
        return;
    for (std::int32_t i = 0; i < RowCount(); ++i) {
        std::string text = RowText(i);
        text.resize(std::min(text.find_first_of("\r\n"), text.size()));
        m_SavedRows.push_back(std::move(text));
    }
}

bool Label::RowAppendChar(Page& page, std::size_t row, char c)
{
    if (row >= page.rows.size())
        return false;
    Row& r = page.rows[row];
    if (r.length >= r.capacity - 1)
        return false;
    page.text.resize(static_cast<std::size_t>(r.start + r.length));
    page.text += c;
    ++r.length;
    page.rows.resize(row + 1);
    return true;
}

bool Label::RowDeleteLast(Page& page, std::size_t row)
{
    if (row >= page.rows.size() || page.rows[row].length == 0)
        return false;
    Row& r = page.rows[row];
    --r.length;
    page.text.resize(static_cast<std::size_t>(r.start + r.length));
    page.rows.resize(row + 1);
    return true;
}
