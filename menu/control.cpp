#include "menu/control.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_error.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "platform/clock.h"

MenuManager* Control::GetMenuManager() const
{
    return m_pOwner ? m_pOwner->m_pOwner : nullptr;
}

std::int32_t Control::GetFormId() const
{
    return m_pOwner ? m_pOwner->m_nId : -1;
}

void Control::SetName(const char* name)
{
    const std::size_t length = name ? std::strlen(name) : 0;
    if (length >= sizeof m_szName)
        throw GameError("string too long");
    CopyBounded(m_szName, sizeof m_szName, name ? name : "");
}

bool Control::IsVisibleInState() const
{
    if (m_nVisibleInState == 0)
        return true;
    // -1 is never shown, also while the manager's state is -1 (between runs).
    if (m_nVisibleInState == -1)
        return false;
    const MenuManager* manager = GetMenuManager();
    return manager && m_nVisibleInState == manager->m_nState;
}

bool Control::CanTakeFocus() const
{
    if (!m_bCanHaveFocus || !IsVisibleInState())
        return false;
    if (m_nType == kControlCommandButton)
        return static_cast<const CommandButton*>(this)->m_nState != kButtonDisabled;
    return true;
}

void Control::SetVisibleInState(std::int32_t state)
{
    if (m_nVisibleInState != state) {
        m_nVisibleInState = state;
        Invalidate();
    }
}

void Control::LinkTo(Control* control)
{
    if (m_pLink)
        throw GameError("elemento gia' linkato");
    m_pLink = control;
}

bool Control::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    (void)left;
    (void)top;
    (void)right;
    (void)bottom;
    return true;
}

void Control::GrowDirty(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom,
                        std::int32_t grow) const
{
    if (m_nRedraw < 1 || !left || !top || !right || !bottom)
        return;
    if (GetLeft() < *left)
        *left = GetLeft();
    if (GetTop() < *top)
        *top = GetTop();
    if (GetRight() + grow > *right)
        *right = GetRight() + grow;
    if (GetBottom() + grow > *bottom)
        *bottom = GetBottom() + grow;
}

void Control::Reset()
{
    m_fLeft = m_fStartLeft;
    m_fTop = m_fStartTop;
    m_nSlideClock = 0;
}

bool Control::GetStringAnywhere(FormParser& parser, const char* key, char* out, std::size_t capacity,
                                bool* from_defaults)
{
    if (from_defaults)
        *from_defaults = false;
    if (parser.GetString(key, out, capacity))
        return true;
    parser.RestorePos();
    if (parser.GetDefault(Name(), key, out, capacity)) {
        if (from_defaults)
            *from_defaults = true;
        return true;
    }
    return false;
}

bool Control::GetIntAnywhere(FormParser& parser, const char* key, std::int32_t& out, bool* from_defaults)
{
    char value[kTokenCapacity];
    if (!GetStringAnywhere(parser, key, value, sizeof value, from_defaults))
        return false;
    out = std::atoi(value);
    return true;
}

void Control::Load(FormParser& parser, const char* name)
{
    SetName(name);
    m_BackColor = parser.BackColor;
    m_ForeColor = parser.ForeColor;
    parser.MarkPos();
    const std::int64_t block_start = parser.MarkedPos();

    std::uint32_t colour = 0;
    if (parser.GetColor("BackColor", colour))
        m_BackColor = colour;
    else
        parser.RestorePos();

    // Any value makes the control focusable, 0 included.
    char word[kTokenCapacity];
    if (GetStringAnywhere(parser, "CanHaveFocus", word, sizeof word))
        m_bCanHaveFocus = 1;

    std::int32_t r = 0, g = 0, b = 0;
    if (parser.GetInt3("ForeColor", r, g, b))
        m_ForeColor = (static_cast<std::uint32_t>(r) & 0xFF) | (static_cast<std::uint32_t>(g) & 0xFF) << 8 |
                      (static_cast<std::uint32_t>(b) & 0xFF) << 16;
    else
        parser.RestorePos();

    if (!parser.GetInt("Group", m_nGroup)) {
        parser.RestorePos();
        m_nGroup = -1;
    }
    if (!parser.GetInt("Index", m_nIndex))
        parser.RestorePos();
    if (GetStringAnywhere(parser, "LinkedTo", word, sizeof word))
        SetLinkName(word);

    float from_x = 0.0f, from_y = 0.0f;
    const bool has_from_x = parser.GetIntAsFloat("PixFromX", from_x);
    if (!has_from_x)
        parser.RestorePos();
    const bool has_from_y = parser.GetIntAsFloat("PixFromY", from_y);
    if (!has_from_y)
        parser.RestorePos();

    if (!parser.GetInt("PixHeight", m_nHeight))
        ThrowGameError("Height not found in %s", Name());
    if (!parser.GetIntAsFloat("PixLeft", m_fLeft))
        ThrowGameError("Left not found in %s", Name());
    if (!parser.GetIntAsFloat("PixTop", m_fTop))
        ThrowGameError("Top not found in %s", Name());
    if (!parser.GetInt("PixWidth", m_nWidth))
        ThrowGameError("Width not found in %s", Name());

    if (!parser.GetString("Tag", m_szTag, sizeof m_szTag))
        parser.RestorePos();
    bool user_id_from_defaults = false;
    if (GetIntAnywhere(parser, "UserID", m_nUserID, &user_id_from_defaults) && user_id_from_defaults &&
        m_nUserID >= 0)
        m_nFlags |= kControlReports;
    GetIntAnywhere(parser, "VisibleInState", m_nVisibleInState);

    m_fTargetLeft = m_fStartLeft = m_fLeft;
    m_fTargetTop = m_fStartTop = m_fTop;
    if (has_from_x) {
        m_bSliding = 1;
        m_fLeft = m_fStartLeft = from_x;
    }
    if (has_from_y) {
        m_bSliding = 1;
        m_fTop = m_fStartTop = from_y;
    }
    parser.Seek(block_start);
    parser.MarkPos();
}

namespace {

// One coordinate's slide step: the square root of the distance left falls
// by 1 every 50 ms.
float SlideTowards(float current, float target, double dt)
{
    const double d = static_cast<double>(current) - target;
    const double r = std::sqrt(std::fabs(d)) - dt / 50.0;
    if (r <= 0.0)
        return target;
    return static_cast<float>(d > 0 ? target + r * r : target - r * r);
}

} // namespace

void Control::UpdateSlide()
{
    if (!m_bSliding || !IsVisibleInState())
        return;
    if (m_fLeft == m_fTargetLeft && m_fTop == m_fTargetTop)
        return;
    m_nRedraw += 2;
    const std::uint32_t now = platform::time_get_time();
    if (m_nSlideClock == 0)
        m_nSlideClock = now;
    const double dt = platform::elapsed_ms(m_nSlideClock, now);
    m_fTop = SlideTowards(m_fTop, m_fTargetTop, dt);
    m_fLeft = SlideTowards(m_fLeft, m_fTargetLeft, dt);
    m_nSlideClock = now;
}
