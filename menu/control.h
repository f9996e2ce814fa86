#pragma once

#include <cstdint>
#include <memory>
#include <string>

class FormParser;
class Form;
class MenuManager;

namespace platform {
class File;
}

// Control type numbers, as screen files name them (Form's factory).
enum ControlType : std::int32_t {
    kControlUnknown = 0,
    kControlLabel = 1,
    kControlImage = 2,
    kControlCommandButton = 3,
    kControlPictureBox = 4,
    kControlForm = 5,
    kControlVScrollBar = 6,
    kControlHScrollBar = 7,
    kControlCheckBox = 8,
    kControlWindow = 9,
    kControlLabelExt = 10,
    kControlPlot = 11,
};

// Pointer messages handed to OnMouse.
inline constexpr std::int32_t kMouseMove = 512;
inline constexpr std::int32_t kMouseLeftDown = 513;
inline constexpr std::int32_t kMouseLeftUp = 514;

// Bit 0 of Control::m_nFlags: the control reports changes to the screen's
// command handler.
inline constexpr std::int32_t kControlReports = 1;

// One element of a menu screen. A control is made by its screen's factory
// from a block of the screen file, owned by that screen (its Form) and driven
// by the Form, the menu manager and the run loop through the virtual
// operations below without their knowing its class. The base keeps what
// every control shares: place and size in the 640 x 480 menu space, colours
// (0x00BBGGRR), name, link to another control, visibility by menu state,
// slide-in and command numbers.
class Control {
public:
    explicit Control(std::int32_t type) : m_nType(type) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // ---- The operations every control answers ----

    // Advances the control's own animation and, when it has something new
    // to draw, grows the dirty rectangle (left, top, right, bottom) over it.
    virtual bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom);
    // Draws a visible control (the incremental path); true when drawn.
    virtual bool Draw() { return false; }
    virtual void DrawBackground() {}
    virtual void DrawBackgroundRect(std::int32_t /*left*/, std::int32_t /*top*/, std::int32_t /*right*/,
                                    std::int32_t /*bottom*/)
    {
    }
    // Reads the control's properties from its block of the screen file.
    virtual void Load(FormParser& parser, const char* name);
    virtual void LoadElementData(platform::File& /*file*/) {}
    virtual void SaveElementData(platform::File& /*file*/) {}
    virtual void GotFocus() {}
    virtual void LostFocus() {}
    // True when the control used the key itself; false lets the screen move
    // the focus.
    virtual bool OnKeyDown() { return false; }
    virtual bool OnKeyUp() { return false; }
    virtual bool OnKeyLeft() { return false; }
    virtual bool OnKeyRight() { return false; }
    virtual void Activate() {}
    // Enter or the control's hot key goes down (Press) and comes up (Release).
    virtual bool Press() { return false; }
    virtual bool Release() { return false; }
    virtual void EndEdit() {}
    // Back to the start position, the slide clock stopped (every time the
    // screen is entered).
    virtual void Reset();
    virtual void OnScreenLeave() {}
    // Paints the control when it is visible in the current state and has
    // something new to draw; true when painted.
    virtual bool Paint() = 0;
    // A pointer event at (x, y) in menu pixels; true lets the screen pass it
    // on to the next element.
    virtual bool OnMouse(std::int32_t /*x*/, std::int32_t /*y*/, std::int32_t /*message*/, std::int32_t /*keys*/)
    {
        return true;
    }
    virtual void Notify(std::int32_t /*code*/) {}
    virtual void OnChar(std::int32_t /*character*/) {}
    virtual void SaveState(platform::File& /*file*/) {}
    virtual void LoadState(platform::File& /*file*/) {}

    // ---- Shared helpers ----

    MenuManager* GetMenuManager() const;
    // Stores the name; 32 characters or more throw "string too long".
    void SetName(const char* name);
    const char* Name() const { return m_szName; }
    // Strictly inside the control's integer edges.
    bool Contains(std::int32_t x, std::int32_t y) const
    {
        return x > GetLeft() && x < GetRight() && y > GetTop() && y < GetBottom();
    }
    std::int32_t GetLeft() const { return static_cast<std::int32_t>(m_fLeft); }
    std::int32_t GetTop() const { return static_cast<std::int32_t>(m_fTop); }
    std::int32_t GetRight() const { return GetLeft() + m_nWidth; }
    std::int32_t GetBottom() const { return GetTop() + m_nHeight; }
    // Shown in every state (0) or in the manager's current state.
    bool IsVisibleInState() const;
    bool CanTakeFocus() const;
    void Invalidate() { m_nRedraw = 2; }
    void SetVisibleInState(std::int32_t state);
    void Hide() { SetVisibleInState(-1); }
    void Show() { SetVisibleInState(0); }
    void MoveBy(float dx, float dy)
    {
        m_fLeft += dx;
        m_fTop += dy;
    }
    // Links to another control; a second link throws "elemento gia' linkato".
    void LinkTo(Control* control);
    void SetLinked(Control* control) { m_pLink = control; }
    void SetLinkName(const char* name) { m_LinkName = name ? name : ""; }
    const std::string& LinkName() const { return m_LinkName; }
    void ClearLinkName() { m_LinkName.clear(); }
    Control* Linked() const { return m_pLink; }
    std::int32_t GetFormId() const;
    // Closes in on the target position (the slide-in of a control with a
    // "PixFromX" or "PixFromY" start).
    void UpdateSlide();
    // Grows a dirty rectangle over this control's rectangle plus `grow`
    // pixels right and down when it has something new to draw.
    void GrowDirty(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom,
                   std::int32_t grow = 0) const;

    // ---- Fields ----
    std::int32_t m_nType;
    Form* m_pOwner = nullptr;
    std::int32_t m_nRedraw = 2;
    std::int32_t m_bCanHaveFocus = 0;
    float m_fTop = 0.0f, m_fLeft = 0.0f;
    std::int32_t m_nHeight = 0, m_nWidth = 0;
    char m_szTag[32] = {};
    std::uint32_t m_ForeColor = 0xFFFFFF;
    std::uint32_t m_BackColor = 0;
    std::int32_t m_nIndex = 0;
    std::int32_t m_nElement = -1;
    // Slide-in: the target and start positions and the clock (0: stopped).
    std::int32_t m_bSliding = 0;
    float m_fTargetLeft = 0.0f, m_fTargetTop = 0.0f;
    float m_fStartLeft = 0.0f, m_fStartTop = 0.0f;
    std::uint32_t m_nSlideClock = 0;
    // 0: shown in every state; -1: never; else only in that state.
    std::int32_t m_nVisibleInState = 0;
    std::int32_t m_nGroup = -1;
    std::int32_t m_nUserID = -1;
    std::int32_t m_nFlags = kControlReports;

protected:
    // Reads one of the four keys that may stand anywhere in the block:
    // in order first, else from the screen's defaults.
    bool GetIntAnywhere(FormParser& parser, const char* key, std::int32_t& out, bool* from_defaults = nullptr);
    bool GetStringAnywhere(FormParser& parser, const char* key, char* out, std::size_t capacity,
                           bool* from_defaults = nullptr);

private:
    char m_szName[32] = {};
    Control* m_pLink = nullptr;
    std::string m_LinkName;
};
