// Drawing rich text: its runs, clipped to the window that holds the label.
#include <algorithm>
#include <string>
#include <string_view>

#include "app/game_error.h"
#include "engine/render/lib2d_font.h"
#include "menu/form.h"
#include "menu/label_ext.h"
#include "menu/menu_canvas.h"
#include "menu/menu_manager.h"
#include "platform/text.h"

namespace {

// A face run is drawn only while it lies between this far above the
// window's top and the window's bottom.
constexpr std::int32_t kFaceRunMargin = 30;

} // namespace

bool LabelExt::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    GrowDirty(left, top, right, bottom);
    return true;
}

bool LabelExt::Paint()
{
    return PaintRuns(true);
}

bool LabelExt::Draw()
{
    return PaintRuns(false);
}

bool LabelExt::PaintRuns(bool paint)
{
    const Page* page = CurrentPageRecord();
    if (!IsVisibleInState() || (paint && m_nRedraw == 0) || !page || page->text.empty())
        return false;
    // The window holding the label clips it; a label on a screen of its own
    // is clipped to the screen.
    const Control* window = m_pOwner ? m_pOwner->m_pHolder : nullptr;
    const platform::PixelRect clip =
        window ? platform::PixelRect{window->GetLeft(), window->GetTop(), window->GetRight(), window->GetBottom()}
               : MenuScreenRect();
    const std::size_t first = static_cast<std::size_t>(std::max(m_nFirstRow, 0));
    for (std::size_t i = first; i < m_Runs.size(); ++i) {
        const Run& run = m_Runs[i];
        if (run.font_kind == kFontGame) {
            DrawGameFontRun(run, clip);
        } else if (!window || (run.y >= clip.top - kFaceRunMargin && run.y <= clip.bottom)) {
            DrawFaceRun(run, clip);
        }
    }
    if (m_nRedraw > 0)
        --m_nRedraw;
    return true;
}

// A face run in the regular style of its font and size, in its colour, by
// its alignment over the width it had on its line.
void LabelExt::DrawFaceRun(const Run& run, const platform::PixelRect& clip)
{
    MenuManager* manager = GetMenuManager() ? GetMenuManager() : CurrentMenuManager();
    if (!manager)
        return;
    const platform::TextFace* face = manager->GetWinFont(run.font.c_str(), run.size, 0, 0, m_nFontLogical);
    const std::string text = PrintableText(run.text);
    platform::TextDrawOptions options;
    options.y = run.y;
    options.clip = clip;
    options.colour = run.colour;
    switch (run.alignment) {
    case kAlignRight:
        options.x = run.x + run.available;
        options.align = platform::TextAlign::Right;
        break;
    case kAlignCenter:
        options.x = run.x + run.available / 2;
        options.align = platform::TextAlign::Center;
        break;
    case kAlignJustified: {
        // The width the run lacks is spread over its blanks, the first
        // blanks taking one pixel more when it does not divide evenly.
        const auto blanks = static_cast<std::int32_t>(std::count(text.begin(), text.end(), ' '));
        const std::int32_t missing = run.available - face->measure(text);
        if (blanks > 0 && missing > 0) {
            const std::int32_t blank = face->measure(" ");
            std::int32_t pen = run.x;
            std::size_t start = 0;
            for (std::int32_t i = 0;; ++i) {
                const std::size_t end = std::min(text.find(' ', start), text.size());
                const std::string_view word = std::string_view(text).substr(start, end - start);
                options.x = pen;
                DrawMenuText(*face, word, options);
                if (end == text.size())
                    return;
                pen += face->measure(word) + blank + missing / blanks + (i < missing % blanks ? 1 : 0);
                start = end + 1;
            }
        }
        options.x = run.x;
        break;
    }
    default:
        options.x = run.x;
        break;
    }
    DrawMenuText(*face, text, options);
}

// A game-font run, clipped to the window: its font's clip is put back
// afterwards, since the font is shared with other controls.
void LabelExt::DrawGameFontRun(const Run& run, const platform::PixelRect& clip)
{
    MenuManager* manager = GetMenuManager() ? GetMenuManager() : CurrentMenuManager();
    if (!manager)
        return;
    lib2d_font* font = manager->GetFont(run.font.c_str(), run.game_font);
    const std::int32_t space = run.game_font[5], spacing = run.game_font[6];
    const std::int32_t width = font->text_width(run.text.c_str(), space, spacing);
    std::int32_t x = run.x;
    switch (run.alignment) {
    case kAlignLeft:
    case kAlignJustified:
        break;
    case kAlignRight:
        // Right-aligned text ends at the right edge of its line.
        x = run.x + run.available - width;
        break;
    case kAlignCenter:
        x = run.x + (run.available - width) / 2;
        break;
    default:
        throw GameError("undef align type");
    }
    const int saved[4] = {font->clip_left, font->clip_right, font->clip_top, font->clip_bottom};
    font->set_clip(clip.left, clip.right, clip.top, clip.bottom);
    font->draw_text(run.text.c_str(), x, run.y, space, spacing);
    font->set_clip(saved[0], saved[1], saved[2], saved[3]);
}
