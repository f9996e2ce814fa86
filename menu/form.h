#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "menu/control.h"

class FormParser;
class MenuManager;

// Form flags.
inline constexpr std::int32_t kFormUserDraw = 1 << 0;
inline constexpr std::int32_t kFormUserPrepare = 1 << 1;
inline constexpr std::int32_t kFormUserRelease = 1 << 2;
inline constexpr std::int32_t kFormNoMouse = 1 << 3;    // no pointer drawn over it
inline constexpr std::int32_t kFormNoPresent = 1 << 4;  // drawn under another screen

// Focus values besides an element number.
inline constexpr std::int32_t kFocusNone = -2;     // no focus navigation on this screen
inline constexpr std::int32_t kFocusNothing = -1;  // navigation, nothing focused yet

// The key code of Enter, whose hot key decides the focus cycle.
inline constexpr std::int32_t kKeyEnter = 28;

// The number of the control type a screen file's type word names
// (ignoring case); 0 for a word that names none.
std::int32_t ControlTypeFromName(const char* word);

// One menu screen: its controls (made from the screen file by type word, in
// file order, later ones drawn over earlier ones), their links, the keyboard
// focus and the hot keys, the routing of pointer events, the screen hooks
// when it is entered, painted and left, and its paint pass with an overlay
// screen and the pointer.
class Form {
public:
    Form() = default;
    ~Form() { Clear(); }
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Reads the form's options and every element from the parser, which
    // stands after the form's header (FormParser::LoadForm).
    void Load(FormParser& parser);
    // Reads the elements nested in the block the parser stands in, up to
    // the block's own "end" (a window's children), and resolves their links.
    void LoadChildren(FormParser& parser);
    // Makes a control of the type, appends it and loads it (with a parser)
    // or only names it (without). The new control.
    Control* AddElement(std::int32_t type, FormParser* parser, const char* name);
    Control* FindElement(const char* name) const;
    // Destroys every element and the hot keys; the record is unloaded again.
    void Clear();
    // Destroys the elements from number `first` on (pages added to a
    // screen), with their hot keys and links into them; a focus on one of
    // them goes.
    void RemoveElementsFrom(std::int32_t first);
    // At most 31 characters, cut at the first '.'.
    void SetName(const char* name);
    const char* Name() const { return m_szName; }

    void addhotkey(std::int32_t key, Control* control);
    // The element number of the first visible control bound to the key, else -1.
    std::int32_t FindHotKey(std::int32_t key) const;
    // The control bound to the key (visible in the current state), or null.
    Control* HotKeyControl(std::int32_t key) const;
    void SetFocus(std::int32_t element);
    void FocusNext();
    void FocusPrevious();
    void KeyLeft();
    void KeyRight();
    bool PressFocused();
    bool ReleaseFocused();
    void ActivateFocused();
    bool BroadcastChar(std::int32_t scan_code);
    void RouteMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys);
    void Invalidate();
    void ShowScreen();
    void LeaveScreen();
    // Paints every element; the number that painted.
    std::int32_t PaintAll();
    void Draw();
    void EnableButtons();
    void ShowGroup(std::int32_t group);
    void HideGroups();
    void HideGroup(std::int32_t group);

    // The record and its buttons (only buttons are made again on loading);
    // and the element states (focus and each element's own state).
    void SaveState(platform::File& file) const;
    void LoadState(platform::File& file);
    void SaveElementStates(platform::File& file) const;
    void LoadElementStates(platform::File& file);

    std::int32_t ElementCount() const { return static_cast<std::int32_t>(m_Elements.size()); }
    Control* Element(std::int32_t n) const
    {
        return n >= 0 && n < ElementCount() ? m_Elements[static_cast<std::size_t>(n)].get() : nullptr;
    }
    bool IsLoaded() const { return m_nId >= 0; }

    std::int32_t m_nId = -1;
    std::int32_t m_nFlags = kFormUserPrepare;
    MenuManager* m_pOwner = nullptr;
    std::int32_t m_nFocus = kFocusNone;
    std::int32_t m_nLastFocused = kFocusNone;
    std::int32_t m_nRedraw = 0;
    std::int32_t m_nKeyLock = 0;
    std::int32_t m_nScaleTop = 0, m_nScaleLeft = 0, m_nScaleWidth = 0, m_nScaleHeight = 0;
    std::int32_t m_nPendingState = -1;
    // The word a screen handler that calls this screen leaves for it (a page
    // browser's first page); not part of the stored record.
    std::int32_t m_nArgument = 0;
    std::int32_t m_nMusic = -1;
    void* m_pUser = nullptr;  // for the screen handlers
    Control* m_pHolder = nullptr;  // the window whose children this form holds (null: a screen)
    std::int32_t m_nLastCommand = 0;

private:
    struct HotKey {
        std::int32_t key;
        Control* control;
    };
    // One step of the focus search from `from` in `direction` (+1 or -1)
    // over at most one pass; the element found, or `from` when none qualifies.
    std::int32_t SearchFocus(std::int32_t from, std::int32_t direction) const;
    void ResolveLinks();

    char m_szName[32] = {};
    std::vector<std::unique_ptr<Control>> m_Elements;
    std::vector<HotKey> m_HotKeys;
};

// The number of elements the last screen drawn painted.
extern std::int32_t g_nPaintedElements;
