// Drawing a label: its rows in a Windows face or a game font.
#include <algorithm>
#include <string>
#include <string_view>

#include "app/game_error.h"
#include "engine/render/lib2d_font.h"
#include "menu/label.h"
#include "menu/menu_canvas.h"
#include "menu/screen_hooks.h"
#include "platform/clock.h"

namespace {

// What a game-font row may hold.
constexpr std::size_t kGameFontRowMax = 255;
// The cursor of the row being edited blinks with these bits of the clock.
constexpr std::uint32_t kCursorBlinkBit = 1u << 9;
// What a live variable may give a label at a time.
constexpr std::size_t kLiveTextCapacity = 256;

// A row as a face draws it: line ends and other control characters have no
// glyph to show.
std::string Printable(std::string_view row)
{
    std::string text;
    text.reserve(row.size());
    for (const char c : row)
        if (static_cast<unsigned char>(c) >= 32)
            text += c;
    return text;
}

} // namespace

bool Label::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    const Page* page = CurrentPageRecord();
    if (page && !page->rows.empty() && !page->text.empty()) {
        UpdateSlide();
        if (m_szTextVar[0] || m_bEditing)
            Invalidate();
    }
    GrowDirty(left, top, right, bottom);
    return true;
}

bool Label::Paint()
{
    if (!IsVisibleInState() || m_nRedraw == 0)
        return false;
    if (!PaintText())
        return false;
    if (m_nRedraw > 0)
        --m_nRedraw;
    return true;
}

bool Label::Draw()
{
    if (!IsVisibleInState())
        return false;
    if (!PaintText())
        return false;
    if (m_nRedraw > 0)
        --m_nRedraw;
    return true;
}

bool Label::PaintText()
{
    const Page* page = CurrentPageRecord();
    if (!page || page->rows.empty() || page->text.empty())
        return false;
    UpdateSlide();
    const std::int32_t x = GetLeft() + m_nOffsetX;
    const std::int32_t y = GetTop() + m_nOffsetY;

    if (m_szTextVar[0]) {
        char buffer[kLiveTextCapacity] = {};
        if (UpdateLiveLabel(*this, buffer, sizeof buffer)) {
            buffer[sizeof buffer - 1] = 0;
            SetText(buffer, 0);
            page = CurrentPageRecord();
        }
    }
    if (m_pAttached) {
        if (const auto* attachment = dynamic_cast<const LabelAttachment*>(m_pAttached.get()))
            m_nFirstRow = std::max(attachment->FirstRowValue(), 0);
        m_pAttached->Paint();
    }

    switch (m_nFontKind) {
    case kFontWindows:
        DrawWindowsFontRows(*page, x, y);
        break;
    case kFontGame:
        DrawGameFontRows(*page, x, y);
        break;
    case kFontNone:
        break;
    default:
        throw GameError("undef font type");
    }
    return true;
}

void Label::DrawWindowsFontRows(const Page& page, std::int32_t x, std::int32_t y)
{
    PrepareFont();
    if (!m_pFace)
        return;
    const platform::TextFace& face = *m_pFace;
    if (m_nBackStyle == 1)
        FillMenuRect(GetLeft() + 1, GetTop() + 1, GetRight(), GetBottom(), m_BackColor);
    // Text goes anywhere on the screen: a row longer than the label shows
    // past its edge.
    const platform::PixelRect clip = MenuScreenRect();
    if (m_nAlignment == kAlignCentredBoth)
        y += (m_nHeight - m_nRowHeight) / 2;

    const auto draw = [&](std::string_view text, std::int32_t at_x, std::int32_t at_y, platform::TextAlign align,
                          std::uint32_t colour) {
        platform::TextDrawOptions options;
        options.x = at_x;
        options.y = at_y;
        options.align = align;
        options.clip = clip;
        options.colour = colour;
        DrawMenuText(face, text, options);
    };
    // One row in one colour, displaced by (dx, dy).
    const auto draw_row = [&](const std::string& text, std::int32_t row_y, std::int32_t dx, std::uint32_t colour) {
        switch (m_nAlignment) {
        case kAlignRight:
            draw(text, x + m_nWidth + dx, row_y + dx, platform::TextAlign::Right, colour);
            return;
        case kAlignCenter:
        case kAlignCentredBoth:
            draw(text, x + m_nWidth / 2 + dx, row_y + dx, platform::TextAlign::Center, colour);
            return;
        case kAlignJustified: {
            // The width the row lacks is spread over its blanks, the first
            // blanks taking one pixel more when it does not divide evenly.
            const std::int32_t blanks = static_cast<std::int32_t>(std::count(text.begin(), text.end(), ' '));
            const std::int32_t missing = m_nWidth - face.measure(text);
            if (blanks > 0 && missing > 0) {
                const std::int32_t blank_width = face.measure(" ");
                std::int32_t pen = x + dx;
                std::size_t start = 0;
                for (std::int32_t i = 0;; ++i) {
                    const std::size_t end = std::min(text.find(' ', start), text.size());
                    const std::string_view word = std::string_view(text).substr(start, end - start);
                    draw(word, pen, row_y + dx, platform::TextAlign::Left, colour);
                    if (end == text.size())
                        break;
                    pen += face.measure(word) + blank_width + missing / blanks + (i < missing % blanks ? 1 : 0);
                    start = end + 1;
                }
                return;
            }
            break;
        }
        default:
            break;
        }
        draw(text, x + dx, row_y + dx, platform::TextAlign::Left, colour);
    };

    const std::int32_t last = std::min(m_nFirstRow + m_nVisibleRows, RowCount());
    for (std::int32_t r = m_nFirstRow; r < last; ++r) {
        const Row& row = page.rows[static_cast<std::size_t>(r)];
        const std::string text =
            Printable(std::string_view(page.text).substr(static_cast<std::size_t>(row.start),
                                                         static_cast<std::size_t>(row.length)));
        const std::int32_t row_y = y + (r - m_nFirstRow) * m_nRowHeight;
        if (m_nShadow != 0)
            draw_row(text, row_y, m_nShadow, 0x000000);
        draw_row(text, row_y, 0, m_ForeColor);
    }
}

void Label::DrawGameFontRows(const Page& page, std::int32_t x, std::int32_t y)
{
    PrepareFont();
    const std::int32_t space = m_GameFontParams[5];
    const std::int32_t spacing = m_GameFontParams[6];
    if (m_nAlignment == kAlignCentredBoth)
        y += (m_nHeight - m_nRowHeight) / 2;
    const bool blink_on = (platform::time_get_time() & kCursorBlinkBit) != 0;

    const std::int32_t last = std::min(m_nFirstRow + m_nVisibleRows, RowCount());
    for (std::int32_t r = m_nFirstRow; r < last; ++r) {
        const Row& row = page.rows[static_cast<std::size_t>(r)];
        std::string text = page.text.substr(static_cast<std::size_t>(row.start),
                                            std::min(static_cast<std::size_t>(row.length), kGameFontRowMax));
        // A plain label shows its selected and current rows in the "_"
        // look; the buttons choose the look by their state themselves.
        if (m_nType == kControlLabel) {
            m_nFontVariant = r == m_nSelectedRow || r == m_nCurrentRow ? 1 : 0;
            if (r == m_nSelectedRow && m_bEditing && blink_on && text.size() < kGameFontRowMax)
                text += '<';
        }
        lib2d_font* font = GameFont();
        if (!font)
            continue;
        std::int32_t width = font->text_width(text.c_str(), space, spacing);
        while (!text.empty() && width > m_nWidth) {
            text.pop_back();
            width = font->text_width(text.c_str(), space, spacing);
        }
        std::int32_t at_x = x;
        switch (m_nAlignment) {
        case kAlignLeft:
        case kAlignJustified:
            break;
        case kAlignRight:
            at_x = x + m_nWidth - width;
            break;
        case kAlignCenter:
        case kAlignCentredBoth:
            at_x = x + (m_nWidth - width) / 2;
            break;
        default:
            throw GameError("undef align type");
        }
        font->draw_text(text.c_str(), at_x, y + (r - m_nFirstRow) * m_nRowHeight, space, spacing);
    }
}
