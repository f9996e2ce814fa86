#include "menu/form.h"

#include <cstring>

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_app.h"
#include "app/game_error.h"
#include "engine/base/engine.h"
#include "engine/render/lib2d_picture.h"
#include "engine/render/render_device.h"
#include "input/binding_names.h"
#include "menu/control_factory.h"
#include "menu/menu_manager.h"
#include "menu/run_loop_seam.h"
#include "menu/screen_hooks.h"
#include "platform/directory_listing.h"

std::int32_t g_nPaintedElements = 0;

namespace {

struct TypeName {
    const char* word;
    std::int32_t type;
};

constexpr TypeName kTypeNames[] = {
    {"Form", kControlForm},         {"Label", kControlLabel},           {"Image", kControlImage},
    {"CommandButton", kControlCommandButton}, {"OLE", kControlPictureBox}, {"PictureBox", kControlPictureBox},
    {"HScrollBar", kControlHScrollBar}, {"VScrollBar", kControlVScrollBar}, {"CheckBox", kControlCheckBox},
    {"Window", kControlWindow},     {"LabelExt", kControlLabelExt},     {"Plot", kControlPlot},
};

// The elements a screen shows only in a network game.
constexpr const char* kNetworkOnly[] = {"multi_warn_sprite", "multi_warn_text", "multi_forbidden_sprite",
                                        "multi_forbidden_text"};

// The pointer position drawn last, remembered from the first frame on.
bool g_bPointerRemembered = false;
std::int32_t g_nLastPointerX = 0, g_nLastPointerY = 0;

} // namespace

std::int32_t ControlTypeFromName(const char* word)
{
    if (!word)
        return kControlUnknown;
    for (const TypeName& entry : kTypeNames)
        if (platform::equals_ignoring_case(word, entry.word))
            return entry.type;
    return kControlUnknown;
}

void Form::SetName(const char* name)
{
    CopyBounded(m_szName, sizeof m_szName, name ? name : "");
    if (char* dot = std::strchr(m_szName, '.'))
        *dot = 0;
}

void Form::Load(FormParser& parser)
{
    m_nScaleTop = parser.ScaleTop;
    m_nScaleLeft = parser.ScaleLeft;
    m_nScaleWidth = parser.ScaleWidth;
    m_nScaleHeight = parser.ScaleHeight;
    SetName(parser.FormName().c_str());

    char value[kTokenCapacity];
    if (parser.GetDefault(Name(), "Music", value, sizeof value))
        m_nMusic = std::atoi(value);

    struct FlagKey {
        const char* key;
        std::int32_t flag;
    };
    const FlagKey flag_keys[] = {{"NoMouse", kFormNoMouse},
                                 {"UserDraw", kFormUserDraw},
                                 {"UserPrepare", kFormUserPrepare},
                                 {"UserRelease", kFormUserRelease}};
    for (const FlagKey& entry : flag_keys) {
        std::int32_t number = 0;
        bool found = parser.GetInt(entry.key, number);
        if (!found) {
            parser.RestorePos();
            found = parser.GetDefault(Name(), entry.key, value, sizeof value);
            if (found)
                number = std::atoi(value);
        }
        if (found && number != 0)
            m_nFlags |= entry.flag;
    }

    char type[kTokenCapacity], name[kTokenCapacity];
    while (parser.ReadBegin(type, name, sizeof type)) {
        const std::int32_t kind = ControlTypeFromName(type);
        if (kind == kControlForm)
            continue;
        if (kind == kControlUnknown)
            ThrowGameError("undef element %s in %s", type, parser.FileName().c_str());
        // An element that cannot load says which screen file holds it.
        try {
            AddElement(kind, &parser, name);
        } catch (const GameError& error) {
            ThrowGameError("%s (screen file %s)", error.what(), parser.FileName().c_str());
        }
    }
    ResolveLinks();
}

namespace {

// Reads words up to the end of the block the parser stands in (its own
// "end" after every nested block's).
void SkipBlock(FormParser& parser)
{
    char word[kTokenCapacity];
    for (int depth = 1; depth > 0 && parser.NextToken(word, sizeof word);) {
        if (platform::equals_ignoring_case(word, "Begin"))
            ++depth;
        else if (platform::equals_ignoring_case(word, "end"))
            --depth;
    }
}

} // namespace

void Form::LoadChildren(FormParser& parser)
{
    // Every element's load leaves the parser at the start of its block, but
    // a window reads its own children to its block's end. A nested form
    // header is passed over as a screen passes it over: its elements are
    // read, its "end" is not the block's.
    char word[kTokenCapacity], type[kTokenCapacity], name[kTokenCapacity];
    int open_forms = 0;
    while (parser.NextToken(word, sizeof word)) {
        if (platform::equals_ignoring_case(word, "end")) {
            if (open_forms == 0)
                break;
            --open_forms;
            continue;
        }
        if (!platform::equals_ignoring_case(word, "Begin"))
            continue;
        if (!parser.NextToken(type, sizeof type) || !parser.NextToken(name, sizeof name))
            break;
        const std::int32_t kind = ControlTypeFromName(type);
        if (kind == kControlForm) {
            ++open_forms;
            continue;
        }
        if (kind == kControlUnknown)
            ThrowGameError("undef element %s in %s", type, parser.FileName().c_str());
        AddElement(kind, &parser, name);
        if (kind != kControlWindow)
            SkipBlock(parser);
    }
    ResolveLinks();
}

void Form::ResolveLinks()
{
    for (const std::unique_ptr<Control>& element : m_Elements) {
        if (element->LinkName().empty())
            continue;
        Control* target = FindElement(element->LinkName().c_str());
        if (!target)
            ThrowGameError("not found: %s, linked from %s", element->LinkName().c_str(), element->Name());
        element->ClearLinkName();
        element->LinkTo(target);
        NoteButtonLink(*element, *target);
    }
}

Control* Form::AddElement(std::int32_t type, FormParser* parser, const char* name)
{
    std::unique_ptr<Control> control = MakeControl(type, name);
    if (type == kControlCommandButton && m_nFocus == kFocusNone)
        m_nFocus = kFocusNothing;
    control->m_pOwner = this;
    Control* added = control.get();
    m_Elements.push_back(std::move(control));
    if (parser)
        added->Load(*parser, name);
    else
        added->SetName(name);
    added->m_nElement = ElementCount() - 1;
    added->m_fStartTop += static_cast<float>(m_nScaleTop);
    added->m_fStartLeft += static_cast<float>(m_nScaleLeft);
    return added;
}

Control* Form::FindElement(const char* name) const
{
    if (!name)
        return nullptr;
    for (const std::unique_ptr<Control>& element : m_Elements)
        if (platform::equals_ignoring_case(element->Name(), name))
            return element.get();
    return nullptr;
}

void Form::Clear()
{
    // Links point between elements of this screen: they all go together.
    m_Elements.clear();
    m_HotKeys.clear();
    m_nId = -1;
    m_nFocus = kFocusNone;
    m_nLastFocused = kFocusNone;
    m_nFlags = kFormUserPrepare;
    m_nPendingState = -1;
    m_nMusic = -1;
    m_nKeyLock = 0;
}

void Form::RemoveElementsFrom(std::int32_t first)
{
    if (first < 0 || first >= ElementCount())
        return;
    const auto gone = [this, first](const Control* control) {
        for (std::size_t i = static_cast<std::size_t>(first); i < m_Elements.size(); ++i)
            if (m_Elements[i].get() == control)
                return true;
        return false;
    };
    std::erase_if(m_HotKeys, [&gone](const HotKey& hot) { return gone(hot.control); });
    for (std::int32_t i = 0; i < first; ++i)
        if (gone(m_Elements[static_cast<std::size_t>(i)]->Linked()))
            m_Elements[static_cast<std::size_t>(i)]->SetLinked(nullptr);
    m_Elements.erase(m_Elements.begin() + first, m_Elements.end());
    if (m_nFocus >= first)
        m_nFocus = kFocusNothing;
    if (m_nLastFocused >= first)
        m_nLastFocused = kFocusNone;
}

void Form::addhotkey(std::int32_t key, Control* control)
{
    m_HotKeys.push_back({key, control});
}

std::int32_t Form::FindHotKey(std::int32_t key) const
{
    for (const HotKey& hot : m_HotKeys)
        if (hot.key == key && hot.control->IsVisibleInState())
            return hot.control->m_nElement;
    return -1;
}

Control* Form::HotKeyControl(std::int32_t key) const
{
    return Element(FindHotKey(key));
}

void Form::SetFocus(std::int32_t element)
{
    // A number past the elements (a record reused for another screen)
    // focuses nothing rather than a control that is not there.
    if (element >= ElementCount())
        element = kFocusNothing;
    if (Control* last = Element(m_nLastFocused))
        last->LostFocus();
    m_nFocus = element;
    if (Control* focused = Element(element))
        focused->GotFocus();
    m_nLastFocused = element;
    ReportFocus(*this, m_nFocus);
}

std::int32_t Form::SearchFocus(std::int32_t from, std::int32_t direction) const
{
    const std::int32_t count = ElementCount();
    if (count == 0)
        return from;
    const std::int32_t hot = FindHotKey(kKeyEnter);
    std::int32_t n = from;
    // One pass over the elements at most: a screen where nothing qualifies
    // keeps its focus.
    for (std::int32_t step = 0; step < count; ++step) {
        if (direction > 0)
            n = (n < 0 || n >= count - 1) ? 0 : n + 1;
        else
            n = (n <= 0 || n >= count) ? count - 1 : n - 1;
        const Control* control = Element(n);
        if (hot < 0) {
            if (control->CanTakeFocus())
                return n;
        } else if (n == hot || (control->m_nType != kControlCommandButton && control->CanTakeFocus())) {
            return n;
        }
    }
    return from;
}

void Form::FocusNext()
{
    if (m_nFocus == kFocusNone)
        return;
    if (Control* focused = Element(m_nFocus))
        if (focused->OnKeyDown())
            return;
    m_nFocus = SearchFocus(m_nFocus, +1);
}

void Form::FocusPrevious()
{
    if (m_nFocus == kFocusNone)
        return;
    if (Control* focused = Element(m_nFocus))
        if (focused->OnKeyUp())
            return;
    m_nFocus = SearchFocus(m_nFocus, -1);
}

void Form::KeyLeft()
{
    if (Control* focused = Element(m_nFocus))
        focused->OnKeyLeft();
}

void Form::KeyRight()
{
    if (Control* focused = Element(m_nFocus))
        focused->OnKeyRight();
}

bool Form::PressFocused()
{
    Control* focused = Element(m_nFocus);
    return focused ? focused->Press() : false;
}

bool Form::ReleaseFocused()
{
    Control* focused = Element(m_nFocus);
    return focused ? focused->Release() : false;
}

void Form::ActivateFocused()
{
    if (Control* focused = Element(m_nFocus))
        focused->Activate();
}

bool Form::BroadcastChar(std::int32_t scan_code)
{
    const std::int32_t character = ScanCodeToChar(scan_code);
    for (const std::unique_ptr<Control>& element : m_Elements)
        element->OnChar(character);
    return true;
}

void Form::RouteMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys)
{
    for (const std::unique_ptr<Control>& element : m_Elements)
        if (!element->OnMouse(x, y, message, keys))
            break;
}

void Form::Invalidate()
{
    m_nRedraw = 2;
    for (const std::unique_ptr<Control>& element : m_Elements)
        element->Invalidate();
}

void Form::ShowScreen()
{
    if (m_pOwner)
        m_pOwner->m_nPointerFrame = 0;
    if (!(TheGameApp().Flags & kAppFlagNetwork))
        for (const char* name : kNetworkOnly)
            if (Control* control = FindElement(name))
                control->Hide();
    for (const std::unique_ptr<Control>& element : m_Elements)
        element->m_nFlags &= ~kControlReports;
    if (m_nFlags & kFormUserPrepare)
        OnUserPrepare(*this);
    for (const std::unique_ptr<Control>& element : m_Elements) {
        element->Reset();
        element->m_nFlags |= kControlReports;
    }
    RouteMouse(g_nPointerX, g_nPointerY, kMouseMove, 0);
    if (m_nFocus == kFocusNothing)
        FocusNext();
    SetFocus(m_nFocus);
    const std::int32_t enter = FindHotKey(kKeyEnter);
    if (enter >= 0)
        SetFocus(enter);
}

void Form::LeaveScreen()
{
    if ((m_nFlags & kFormUserRelease) && !OnUserRelease(*this))
        return;
    for (const std::unique_ptr<Control>& element : m_Elements)
        element->OnScreenLeave();
}

std::int32_t Form::PaintAll()
{
    m_nKeyLock = 0;
    if (current_engine)
        current_engine->frame_scene = nullptr;
    if ((m_nFlags & kFormUserDraw) && !OnUserDraw(*this))
        return 0;
    std::int32_t painted = 0;
    // By index: a paint may add elements to the screen.
    for (std::size_t i = 0; i < m_Elements.size(); ++i)
        if (m_Elements[i]->Paint())
            ++painted;
    return painted;
}

void Form::Draw()
{
    if (!g_bPointerRemembered) {
        g_bPointerRemembered = true;
        g_nLastPointerX = g_nPointerX;
        g_nLastPointerY = g_nPointerY;
    }
    Invalidate();
    render_device* renderer = installed_render_device();
    if (renderer)
        renderer->clear_zbuffer();
    if (m_pOwner && m_pOwner->m_pOverlay && m_pOwner->m_pOverlay != this) {
        Form* overlay = m_pOwner->m_pOverlay;
        const std::int32_t flags = overlay->m_nFlags;
        overlay->m_nFlags = kFormNoMouse | kFormNoPresent;
        overlay->Invalidate();
        overlay->Draw();
        overlay->m_nFlags = flags;
    }
    g_nPaintedElements = PaintAll();
    if (m_pOwner && m_pOwner->m_bPointerVisible && !(m_nFlags & kFormNoMouse)) {
        if (lib2d_picture* pointer = MenuPointerPicture()) {
            pointer->draw(g_nPointerX, g_nPointerY, m_pOwner->m_nPointerFrame, 0);
            g_nLastPointerX = g_nPointerX;
            g_nLastPointerY = g_nPointerY;
        }
    }
    if (!(m_nFlags & kFormNoPresent) && renderer)
        renderer->present();
}

void Form::EnableButtons()
{
    for (const std::unique_ptr<Control>& element : m_Elements)
        EnableIfButton(*element);
}

void Form::ShowGroup(std::int32_t group)
{
    for (const std::unique_ptr<Control>& element : m_Elements)
        if (element->m_nGroup == group)
            element->SetVisibleInState(0);
}

void Form::HideGroups()
{
    for (const std::unique_ptr<Control>& element : m_Elements)
        if (element->m_nGroup >= 0)
            element->SetVisibleInState(-1);
}

void Form::HideGroup(std::int32_t group)
{
    for (const std::unique_ptr<Control>& element : m_Elements)
        if (element->m_nGroup == group)
            element->SetVisibleInState(-1);
}
