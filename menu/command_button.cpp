#include "menu/command_button.h"

#include <cstdlib>
#include <new>

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_error.h"
#include "menu/form.h"
#include "menu/link_pass.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "menu/state_io.h"
#include "sound/sound_library.h"

namespace {

// The click sound a button plays when its file names none.
constexpr std::int32_t kDefaultClickSample = 5;
// How far a pressed (or disabled) look moves right and down.
constexpr std::int32_t kPressOffset = 3;
// The pointer picture's frame over a button.
constexpr std::int32_t kPointerOverButton = 2;

// A number, or a character in double quotes standing for its code.
std::int32_t CodeOfWord(const char* value)
{
    if (value[0] == '"')
        return static_cast<unsigned char>(value[1]);
    return std::atoi(value);
}

// Three numbers "r g b" packed as a colour 0x00BBGGRR, each cut to a byte.
bool GetPackedColour(FormParser& parser, const char* key, std::uint32_t& out)
{
    std::int32_t r = 0, g = 0, b = 0;
    if (!parser.GetInt3(key, r, g, b)) {
        parser.RestorePos();
        return false;
    }
    out = (static_cast<std::uint32_t>(r) & 0xFF) | (static_cast<std::uint32_t>(g) & 0xFF) << 8 |
          (static_cast<std::uint32_t>(b) & 0xFF) << 16;
    return true;
}

} // namespace

CommandButton::CommandButton() : Label(kControlCommandButton) {}

void CommandButton::Load(FormParser& parser, const char* name)
{
    Label::Load(parser, name);
    const std::int64_t block_start = parser.MarkedPos();
    m_bCanHaveFocus = 1;
    m_nAlignment = kAlignCentredBoth;
    // Without its own colour a look shows the control's text colour.
    m_ColTextDown = m_ColTextUp = m_ColTextSelected = m_ForeColor;

    char value[kTokenCapacity];
    GetPackedColour(parser, "ColTextDown", m_ColTextDown);
    m_nCommand = GetStringAnywhere(parser, "Command", value, sizeof value) ? CodeOfWord(value) : -1;
    GetPackedColour(parser, "ColTextSelected", m_ColTextSelected);
    GetPackedColour(parser, "ColTextUp", m_ColTextUp);
    std::int32_t number = 0;
    if (GetIntAnywhere(parser, "DownTrigger", number))
        m_bDownTrigger = number != 0;
    char graphic[kTokenCapacity] = {};
    if (!parser.GetString("Graphic", graphic, sizeof graphic))
        parser.RestorePos();
    if (parser.GetString("HotKey", value, sizeof value)) {
        if (m_pOwner)
            m_pOwner->addhotkey(CodeOfWord(value), this);
    } else {
        parser.RestorePos();
    }
    m_nSfx = parser.GetDefault(Name(), "Sfx", value, sizeof value) ? std::atoi(value) : kDefaultClickSample;
    char sprite[kTokenCapacity];
    if (parser.GetString("SpriteFile", sprite, sizeof sprite)) {
        m_nMode = kButtonSprite;
        // Without a frame size the sprite's frames are the button's size.
        std::int32_t sprite_width = m_nWidth, sprite_height = m_nHeight;
        if (!parser.GetInt("SpriteX", sprite_width))
            parser.RestorePos();
        if (!parser.GetInt("SpriteY", sprite_height))
            parser.RestorePos();
        try {
            m_pSprite = std::make_unique<AnimStrip>();
        } catch (const std::bad_alloc&) {
            throw GameError("fine memoria in load button");
        }
        m_pSprite->Load(sprite, sprite_width, sprite_height);
    } else {
        parser.RestorePos();
    }
    if (GetIntAnywhere(parser, "Switch", number))
        m_bSwitch = number != 0;

    parser.Seek(block_start);
    parser.MarkPos();
    if (graphic[0])
        m_Graphic.Load(graphic, m_nWidth, m_nHeight);
}

bool CommandButton::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    // The pressed look reaches 3 pixels further right and down.
    GrowDirty(left, top, right, bottom, kPressOffset);
    return true;
}

bool CommandButton::Draw()
{
    return PaintButton(false);
}

bool CommandButton::Paint()
{
    return PaintButton(true);
}

void CommandButton::ChooseLook(std::int32_t& offset_x, std::int32_t& offset_y)
{
    const auto press = [&]() { offset_x = offset_y = kPressOffset; };
    if (SpriteMode()) {
        switch (m_nState) {
        case kButtonPressed: press(); [[fallthrough]];
        case kButtonSelected: m_pSprite->SetFrameClamped(1); break;
        default: m_pSprite->SetFrameClamped(0); break;
        }
        return;
    }
    switch (m_nFontKind) {
    case kFontGame: {
        // A strip of one frame keeps it in every state.
        const bool frames = m_Graphic.Count() > 1;
        switch (m_nState) {
        case kButtonPressed: press(); m_nFontVariant = 1; break;
        case kButtonUp: m_nFontVariant = 0; break;
        case kButtonSelected: m_nFontVariant = 1; break;
        default: press(); m_nFontVariant = 2; break;
        }
        if (frames)
            m_Graphic.SetState(m_nState == kButtonUp ? 0 : 1);
        break;
    }
    case kFontNone:
        switch (m_nState) {
        case kButtonPressed:
            if (m_Graphic.Count() == 3) {
                m_Graphic.SetState(2);
            } else {
                press();
                m_Graphic.SetFrameClamped(1);
            }
            break;
        case kButtonSelected: m_Graphic.SetFrameClamped(1); break;
        default: m_Graphic.SetFrameClamped(0); break;
        }
        break;
    default:
        switch (m_nState) {
        case kButtonPressed:
            m_Graphic.SetFrameClamped(2);
            m_ForeColor = m_ColTextDown;
            break;
        case kButtonSelected:
            m_Graphic.SetFrameClamped(1);
            m_ForeColor = m_ColTextSelected;
            break;
        case kButtonUp:
            m_Graphic.SetFrameClamped(0);
            m_ForeColor = m_ColTextUp;
            break;
        default: m_Graphic.SetFrameClamped(0); break;
        }
        break;
    }
}

bool CommandButton::PaintButton(bool paint)
{
    if (!IsVisibleInState() || (paint && m_nRedraw == 0))
        return false;
    // The background, sprite and text move in together.
    UpdateSlide();
    const std::uint32_t fore = m_ForeColor;
    std::int32_t offset_x = 0, offset_y = 0;
    ChooseLook(offset_x, offset_y);
    if (SpriteMode()) {
        m_Graphic.Draw(GetLeft(), GetTop());
        std::int32_t sprite_width = 0, sprite_height = 0;
        m_pSprite->GetSize(sprite_width, sprite_height);
        m_pSprite->Draw(GetLeft() + (m_nWidth - sprite_width) / 2 + offset_x,
                        GetTop() + (m_nHeight - sprite_height) / 2 + offset_y);
    } else {
        m_Graphic.Draw(GetLeft() + offset_x, GetTop() + offset_y);
        if (m_nFontKind != kFontNone) {
            // The label's text drawing, moved with the look.
            m_nOffsetX = offset_x;
            m_nOffsetY = offset_y;
            PaintText();
        }
    }
    m_ForeColor = fore;
    m_nOffsetX = m_nOffsetY = 0;
    if (m_nRedraw > 0)
        --m_nRedraw;
    return true;
}

void CommandButton::DrawBackground()
{
    Label::DrawBackground();
    m_Graphic.DrawBackground(GetLeft(), GetTop(), GetRight(), GetBottom());
}

void CommandButton::DrawBackgroundRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    Label::DrawBackgroundRect(left, top, right, bottom);
    m_Graphic.DrawBackground(left, top, right, bottom);
}

void CommandButton::SetButtonState(std::int32_t state)
{
    if (m_nState != state) {
        m_nState = state;
        Invalidate();
    }
}

void CommandButton::GotFocus()
{
    if (m_nState == kButtonDisabled) {
        if (m_pOwner)
            m_pOwner->SetFocus(kFocusNothing);
        return;
    }
    SetButtonState(kButtonSelected);
    const LinkPass pass(m_bPassing);
    if (pass.Entered())
        if (Control* linked = Linked())
            linked->GotFocus();
}

void CommandButton::LostFocus()
{
    if (m_nState == kButtonDisabled)
        return;
    SetButtonState(kButtonUp);
    const LinkPass pass(m_bPassing);
    if (pass.Entered())
        if (Control* linked = Linked())
            linked->LostFocus();
}

bool CommandButton::PassArrow(std::int32_t virtual_key)
{
    // A switch held down edits a value with the arrows.
    if (!m_bSwitch || m_nState != kButtonPressed)
        return false;
    OnChar(virtual_key);
    return true;
}

bool CommandButton::OnKeyLeft()
{
    return PassArrow(37);
}

bool CommandButton::OnKeyUp()
{
    return PassArrow(38);
}

bool CommandButton::OnKeyRight()
{
    return PassArrow(39);
}

bool CommandButton::OnKeyDown()
{
    return PassArrow(40);
}

bool CommandButton::Press()
{
    if (m_nState == kButtonDisabled || !IsVisibleInState())
        return false;
    m_nState = kButtonPressed;
    if (m_bDownTrigger)
        Activate();
    Invalidate();
    if (m_bSwitch)
        if (MenuManager* manager = GetMenuManager())
            manager->m_bEditLock = 1;
    return true;
}

bool CommandButton::Release()
{
    if (m_bSwitch)
        return true;
    m_nPrevState = m_nState;
    m_nState = kButtonSelected;
    if (!m_bDownTrigger && m_nPrevState == kButtonPressed)
        Activate();
    Invalidate();
    return true;
}

void CommandButton::Activate()
{
    m_nDeferred = 2;
    if (m_nState == kButtonDisabled)
        return;
    if (m_nSfx >= 0)
        if (SoundLibrary* sounds = TheSoundLibrary())
            sounds->Play(m_nSfx, 0, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayRestartOwn);
    if (m_nCommand != -1)
        if (Control* linked = Linked()) {
            linked->Notify(m_nCommand);
            linked->OnChar(m_nCommand);
        }
    MenuManager* manager = GetMenuManager();
    if (m_nUserID >= 0 && (m_nFlags & kControlReports)) {
        if (manager)
            manager->m_nLastUserID = m_nUserID;
        if (!OnMenuCommand(*this))
            return;
    }
    if (manager)
        manager->ExecuteCommand(m_nCommand);
}

bool CommandButton::OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t /*keys*/)
{
    if (!IsVisibleInState() || m_nState == kButtonDisabled)
        return true;
    MenuManager* manager = GetMenuManager();
    const bool inside = Contains(x, y);
    switch (message) {
    case kMouseMove:
        if (!inside) {
            if (m_nState != kButtonUp) {
                if (m_pOwner)
                    m_pOwner->SetFocus(kFocusNothing);
                if (manager)
                    manager->m_nPointerFrame = 0;
            }
            SetButtonState(kButtonUp);
        } else if (m_nState == kButtonUp) {
            SetButtonState(kButtonSelected);
            if (m_pOwner)
                m_pOwner->SetFocus(m_nElement);
            if (manager)
                manager->m_nPointerFrame = kPointerOverButton;
        } else if (m_nState == kButtonSelected) {
            if (manager)
                manager->m_nPointerFrame = kPointerOverButton;
        }
        break;
    case kMouseLeftDown:
        if (inside)
            Press();
        break;
    case kMouseLeftUp:
        if (inside && m_nState == kButtonPressed)
            Release();
        break;
    default: break;
    }
    return true;
}

void CommandButton::SaveState(platform::File& file)
{
    WriteStateWord(file, m_nState);
    WriteStateWord(file, m_nPrevState);
}

void CommandButton::LoadState(platform::File& file)
{
    const std::int32_t state = ReadStateWord(file);
    const std::int32_t previous = ReadStateWord(file);
    const auto known = [](std::int32_t s) { return s >= kButtonPressed && s <= kButtonDisabled; };
    if (!known(state) || !known(previous))
        throw GameError("menu state file error: no such button state");
    m_nState = state;
    m_nPrevState = previous;
    Invalidate();
}

void CommandButton::Disable()
{
    m_nPrevState = m_nState;
    m_nState = kButtonDisabled;
    Invalidate();
}

void CommandButton::Enable()
{
    m_nState = kButtonUp;
    Invalidate();
}
