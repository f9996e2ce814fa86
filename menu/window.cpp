#include "menu/window.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "app/form_parser.h"
#include "app/game_error.h"
#include "engine/render/lib2d_font.h"
#include "engine/render/lib2d_picture.h"
#include "menu/command_button.h"
#include "menu/image.h"
#include "menu/label_ext.h"
#include "menu/menu_canvas.h"
#include "menu/scroll_bar.h"

namespace {

// The clipping rectangles of the pictures and fonts a window's children
// draw with, kept while the window paints them with its own rectangle and
// put back afterwards: pictures and fonts come from the menu manager's
// caches and are shared with controls outside the window.
class SavedClips {
public:
    explicit SavedClips(const Form& children)
    {
        for (std::int32_t i = 0; i < children.ElementCount(); ++i) {
            Control* child = children.Element(i);
            if (auto* font_control = dynamic_cast<FontControl*>(child)) {
                if (font_control->m_nFontKind == kFontGame) {
                    font_control->PrepareFont();
                    for (lib2d_font* font : font_control->m_pGameFonts)
                        Keep(font);
                }
            }
            if (auto* image = dynamic_cast<Image*>(child))
                Keep(image->m_Strip);
            if (auto* button = dynamic_cast<CommandButton*>(child)) {
                Keep(button->m_Graphic);
                if (button->m_pSprite)
                    Keep(*button->m_pSprite);
            }
            if (auto* bar = dynamic_cast<ScrollBar*>(child)) {
                for (const AnimStrip* strip : {bar->m_pTrack.get(), bar->m_pThumb.get()})
                    if (strip)
                        Keep(*strip);
            }
        }
    }
    ~SavedClips()
    {
        for (const FontClip& saved : fonts_)
            saved.font->set_clip(saved.left, saved.right, saved.top, saved.bottom);
        for (const PictureClip& saved : pictures_)
            saved.picture->set_rect(saved.left, saved.right, saved.top, saved.bottom);
    }
    SavedClips(const SavedClips&) = delete;
    SavedClips& operator=(const SavedClips&) = delete;

private:
    struct FontClip {
        lib2d_font* font;
        int left, right, top, bottom;
    };
    struct PictureClip {
        lib2d_picture* picture;
        int left, right, top, bottom;
    };
    void Keep(lib2d_font* font)
    {
        if (font && std::none_of(fonts_.begin(), fonts_.end(), [font](const FontClip& c) { return c.font == font; }))
            fonts_.push_back({font, font->clip_left, font->clip_right, font->clip_top, font->clip_bottom});
    }
    void Keep(const AnimStrip& strip)
    {
        for (lib2d_picture* picture : strip.m_Frames)
            if (std::none_of(pictures_.begin(), pictures_.end(),
                             [picture](const PictureClip& c) { return c.picture == picture; }))
                pictures_.push_back(
                    {picture, picture->clip_left, picture->clip_right, picture->clip_top, picture->clip_bottom});
    }

    std::vector<FontClip> fonts_;
    std::vector<PictureClip> pictures_;
};

// How deep windows may stand in windows: a file cannot make the loading
// recurse without end.
constexpr int kMaxWindowDepth = 8;
int g_nWindowDepth = 0;

// A remainder that is never negative.
std::int32_t Remainder(std::int32_t value, std::int32_t divisor)
{
    const std::int32_t r = value % divisor;
    return r < 0 ? r + divisor : r;
}

} // namespace

void Window::Load(FormParser& parser, const char* name)
{
    SetName(name);
    std::int32_t clip_height = 0, clip_left = 0, clip_top = 0, clip_width = 0;
    const struct {
        const char* key;
        std::int32_t* out;
    } keys[] = {{"WinHeight", &m_nWinHeight}, {"WinWidth", &m_nWinWidth}, {"ClipHeight", &clip_height},
                {"ClipLeft", &clip_left},     {"ClipTop", &clip_top},     {"ClipWidth", &clip_width}};
    for (const auto& entry : keys)
        if (!parser.GetInt(entry.key, *entry.out))
            ThrowGameError("%s", Name());
    m_fLeft = m_fStartLeft = m_fTargetLeft = static_cast<float>(clip_left);
    m_fTop = m_fStartTop = m_fTargetTop = static_cast<float>(clip_top);
    m_nWidth = clip_width;
    m_nHeight = clip_height;

    m_Children.m_pOwner = GetMenuManager();
    m_Children.m_pHolder = this;
    m_Children.SetName(Name());
    m_Children.m_nScaleTop = parser.ScaleTop;
    m_Children.m_nScaleLeft = parser.ScaleLeft;
    m_Children.m_nScaleWidth = parser.ScaleWidth;
    m_Children.m_nScaleHeight = parser.ScaleHeight;
    m_Children.m_nId = GetFormId();
    if (g_nWindowDepth >= kMaxWindowDepth)
        ThrowGameError("windows nested too deep in %s (%s)", parser.FileName().c_str(), Name());
    struct Depth {
        Depth() { ++g_nWindowDepth; }
        ~Depth() { --g_nWindowDepth; }
    } depth;
    m_Children.LoadChildren(parser);

    // The children are never entered as a screen: they take their places
    // (with the screen's scale origin) now, then the rich text is laid out
    // there. The content reaches at least to the bottom of every rich text,
    // measured from the window's top. The children are clipped to the
    // window while it paints them (the fonts and pictures they share with
    // other controls keep their own clipping otherwise).
    for (std::int32_t i = 0; i < m_Children.ElementCount(); ++i)
        m_Children.Element(i)->Reset();
    for (std::int32_t i = 0; i < m_Children.ElementCount(); ++i) {
        auto* text = dynamic_cast<LabelExt*>(m_Children.Element(i));
        if (!text || text->m_nType != kControlLabelExt)
            continue;
        text->Layout(text->m_nWidth);
        m_nWinHeight = std::max(m_nWinHeight, text->GetBottom() - GetTop());
    }
    Show();
}

std::int32_t Window::ScrollRange() const
{
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(static_cast<std::int64_t>(m_nWinHeight) - m_nHeight, 0, INT32_MAX));
}

void Window::ScrollTo(std::int32_t offset)
{
    offset = std::clamp(offset, 0, ScrollRange());
    const float dy = static_cast<float>(m_nPreviousScrollY - offset);
    m_nScrollY = offset;
    if (dy != 0.0f) {
        for (std::int32_t i = 0; i < m_Children.ElementCount(); ++i) {
            Control* child = m_Children.Element(i);
            child->MoveBy(0.0f, dy);
            if (child->m_nType == kControlLabelExt)
                static_cast<LabelExt*>(child)->MoveRuns(0, static_cast<std::int32_t>(dy));
        }
        Invalidate();
    }
    m_nPreviousScrollY = offset;
}

bool Window::OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys)
{
    if (message == kScrollToPosition) {
        ScrollTo(static_cast<std::int32_t>(static_cast<std::int64_t>(std::clamp(x, 0, 1000)) * ScrollRange() / 1000));
        return true;
    }
    if (message == kScrollOneStep) {
        ScrollTo(m_nScrollY + 1);
        return m_nScrollY < ScrollRange();
    }
    if (Contains(x, y))
        m_Children.RouteMouse(x, y, message, keys);
    return true;
}

void Window::ClipChildren()
{
    for (std::int32_t i = 0; i < m_Children.ElementCount(); ++i)
        m_Children.Element(i)->DrawBackgroundRect(GetLeft(), GetTop(), GetRight(), GetBottom());
}

void Window::TileBackground()
{
    auto* tile = dynamic_cast<Image*>(m_Children.Element(0));
    if (!tile || tile->m_Strip.Count() == 0 || tile->m_nWidth <= 0 || tile->m_nHeight <= 0)
        return;
    // Only the tiles that reach the screen are drawn.
    const platform::PixelRect screen = MenuScreenRect();
    const std::int64_t width = tile->m_nWidth, height = tile->m_nHeight;
    const auto first = [](std::int64_t start, std::int64_t size, std::int64_t visible) {
        return start + size > visible ? start : start + (visible - start) / size * size;
    };
    const std::int64_t bottom = std::min<std::int64_t>(GetBottom(), screen.bottom);
    const std::int64_t right = std::min<std::int64_t>(GetRight(), screen.right);
    const std::int64_t left = first(GetLeft() - Remainder(m_nScrollX, tile->m_nWidth), width, screen.left);
    for (std::int64_t y = first(GetTop() - Remainder(m_nScrollY, tile->m_nHeight), height, screen.top); y < bottom;
         y += height)
        for (std::int64_t x = left; x < right; x += width)
            tile->m_Strip.Draw(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
}

bool Window::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    for (std::int32_t i = 0; i < m_Children.ElementCount(); ++i)
        m_Children.Element(i)->Update(left, top, right, bottom);
    return true;
}

bool Window::Paint()
{
    return PaintWindow(true);
}

bool Window::Draw()
{
    return PaintWindow(false);
}

bool Window::PaintWindow(bool invalidate)
{
    if (!IsVisibleInState())
        return false;
    if (invalidate)
        m_Children.Invalidate();
    {
        const SavedClips saved(m_Children);
        ClipChildren();
        TileBackground();
        m_Children.PaintAll();
    }
    if (m_nRedraw > 0)
        --m_nRedraw;
    return true;
}

void Window::Show()
{
    m_Children.EnableButtons();
    Control::Show();
}

void Window::Hide()
{
    for (std::int32_t i = 0; i < m_Children.ElementCount(); ++i)
        if (Control* child = m_Children.Element(i); child->m_nType == kControlCommandButton)
            static_cast<CommandButton*>(child)->Disable();
    Control::Hide();
}
