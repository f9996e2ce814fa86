#include "input/input_manager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "input/input_math.h"
#include "input/race_link.h"
#include "platform/clock.h"
#include "platform/haptics.h"
#include "platform/input_events.h"
#include "platform/key_codes.h"
#include "platform/message_box.h"
#include "platform/window.h"

namespace {

InputManager* g_pInputManager = nullptr;

// The main window, whose focus the devices follow.
constexpr const char* kMainWindowClass = "D3Dclass";

// More records than any machine has sticks; keeps a device that keeps coming
// back under new names from growing the array without end.
constexpr int kMaxJoystickRecords = 64;

// The constant-force effect starts pointing along the X axis with no force.
constexpr platform::ConstantForce kInitialForce{18000, 0, 0};

float LimitUnit(float value)
{
    if (std::isnan(value))
        return 0.0f;
    return std::clamp(value, -1.0f, 1.0f);
}

} // namespace

InputManager::InputManager() = default;

InputManager::~InputManager()
{
    FreeReplay();
    RemoveTarget(nullptr);
    DropForceEffect();
    Unacquire();
}

// ---- Devices ----

InputResult InputManager::Create()
{
    if (m_bCreated)
        return kInputOk;
    m_pKeyboard = std::make_unique<KeyboardDevice>(&m_focus);
    m_pMouse = std::make_unique<MouseDevice>(&m_focus);
    m_bCreated = true;

    std::string why;
    if (!platform::start_joysticks(&why)) {
        std::fprintf(stderr, "Joysticks are not used: %s\n", why.c_str());
        return kInputOk;
    }
    for (const platform::JoystickInfo& device : platform::attached_joysticks())
        AddJoystick(device);
    return kInputOk;
}

bool InputManager::AddJoystick(const platform::JoystickInfo& device)
{
    if (!m_bCreated || FindJoystick(device.id))
        return false;

    // A device that was unplugged and came back takes its old record, so the
    // bindings to it work again.
    JoystickRecord* record = nullptr;
    for (JoystickRecord& j : m_joysticks) {
        if (!j.Device->Attached() && device.name == j.Name) {
            record = &j;
            record->Device->Attach(device);
            break;
        }
    }
    if (!record) {
        if (JoystickCount() >= kMaxJoystickRecords)
            return false;
        m_joysticks.emplace_back();
        record = &m_joysticks.back();
        record->Device = std::make_unique<JoystickDevice>(&m_focus, device);
        // A stick plugged in while the others work is set up as they are.
        if (m_pKeyboard && m_pKeyboard->CooperativeLevel() & kCoopForeground)
            record->Device->SetCooperativeLevel(platform::find_window(kMainWindowClass), m_pKeyboard->CooperativeLevel());
        if (m_pKeyboard && m_pKeyboard->Acquired())
            record->Device->Acquire();
    }
    std::snprintf(record->Name, sizeof record->Name, "%s", device.name.c_str());
    record->Caps.dwAxes = static_cast<std::uint32_t>(std::max(device.axes, 0));
    record->Caps.dwButtons = static_cast<std::uint32_t>(std::clamp(device.buttons, 0, platform::kJoystickButtons));
    record->Caps.dwPOVs = static_cast<std::uint32_t>(std::clamp(device.hats, 0, platform::kJoystickHats));
    record->Caps.dwFlags = device.force_feedback ? kJoystickCapsForceFeedback : 0;
    record->State = device.state;
    record->Usable = 1;
    return true;
}

void InputManager::SetWindow()
{
    if (!m_bCreated)
        return;
    const platform::WindowHandle window = platform::find_window(kMainWindowClass);
    constexpr std::uint32_t level = kCoopNonExclusive | kCoopForeground;
    if (!m_pKeyboard->SetCooperativeLevel(window, level) || !m_pMouse->SetCooperativeLevel(window, level))
        return;
    for (JoystickRecord& j : m_joysticks)
        if (!j.Device->SetCooperativeLevel(window, level))
            return;
    Acquire();
}

bool InputManager::Acquire()
{
    if (m_pKeyboard)
        m_pKeyboard->Acquire();
    if (m_pMouse)
        m_pMouse->Acquire();
    for (JoystickRecord& j : m_joysticks)
        j.Device->Acquire();
    return true;
}

bool InputManager::Unacquire()
{
    if (m_pKeyboard)
        m_pKeyboard->Unacquire();
    if (m_pMouse)
        m_pMouse->Unacquire();
    for (JoystickRecord& j : m_joysticks)
        j.Device->Unacquire();
    return true;
}

JoystickRecord* InputManager::FindJoystick(int deviceId)
{
    for (JoystickRecord& j : m_joysticks)
        if (j.Device->Attached() && j.Device->Id() == deviceId)
            return &j;
    return nullptr;
}

void InputManager::OnJoystickEvent(const platform::InputEvent& e)
{
    using T = platform::InputEventType;
    if (e.type == T::JoystickAdded) {
        for (const platform::JoystickInfo& device : platform::attached_joysticks())
            if (device.id == e.device)
                AddJoystick(device);
        return;
    }
    JoystickRecord* j = FindJoystick(e.device);
    if (!j)
        return;
    switch (e.type) {
    case T::JoystickRemoved:
        j->Device->Detach();
        j->State.centre();
        break;
    case T::JoystickAxis:
        j->Device->OnAxis(e.index, static_cast<std::int32_t>(std::clamp<std::int64_t>(e.value, 0, platform::kJoystickAxisMax)));
        break;
    case T::JoystickButtonDown:
    case T::JoystickButtonUp:
        j->Device->OnButton(e.index, e.type == T::JoystickButtonDown);
        break;
    case T::JoystickHat:
        j->Device->OnHat(e.index, static_cast<std::uint32_t>(e.value));
        break;
    default:
        break;
    }
}

void InputManager::PumpEvents()
{
    using T = platform::InputEventType;
    platform::InputEvent e;
    while (platform::poll_input_event(e)) {
        if (!m_bCreated)
            continue;
        switch (e.type) {
        case T::KeyDown:
        case T::KeyUp:
            m_pKeyboard->OnKey(platform::pc_scan_code_from_sdl_scancode(e.scancode).key_number(), e.type == T::KeyDown);
            break;
        case T::MouseMotion:
            m_pMouse->OnMotion(e.dx, e.dy);
            break;
        case T::MouseButtonDown:
        case T::MouseButtonUp:
            m_pMouse->OnButton(e.button, e.type == T::MouseButtonDown);
            break;
        case T::MouseWheel:
            m_pMouse->OnWheel(e.wheel);
            break;
        case T::FocusGained:
            m_focus.focused = true;
            break;
        case T::FocusLost:
            // Releases made elsewhere are not seen: everything reads up, and
            // the foreground devices stay unacquired until the focus is back.
            m_focus.focused = false;
            m_pKeyboard->ReleaseAll();
            m_pMouse->ReleaseAll();
            m_pKeyboard->OnFocusLost();
            m_pMouse->OnFocusLost();
            for (JoystickRecord& j : m_joysticks)
                j.Device->OnFocusLost();
            break;
        default:
            OnJoystickEvent(e);
            break;
        }
    }
}

bool InputManager::ReadKeyboard()
{
    if (!m_pKeyboard)
        return false;
    if (m_pKeyboard->GetState(m_KeyState))
        return true;
    m_pKeyboard->Acquire();
    return m_pKeyboard->GetState(m_KeyState);
}

bool InputManager::ReadMouse()
{
    if (!m_pMouse)
        return false;
    if (m_pMouse->GetState(m_MouseState))
        return true;
    m_pMouse->Acquire();
    return m_pMouse->GetState(m_MouseState);
}

bool InputManager::ReadJoystick(JoystickRecord& joystick)
{
    joystick.Device->Poll();
    if (joystick.Device->GetState(joystick.State))
        return true;
    joystick.Device->Acquire();
    return joystick.Device->GetState(joystick.State);
}

void InputManager::Poll()
{
    PumpEvents();
    m_bDevicesLost = 1;
    std::memcpy(m_PrevKeyState, m_KeyState, sizeof m_KeyState);
    if (!ReadKeyboard() || !ReadMouse())
        return;
    for (JoystickRecord& j : m_joysticks)
        if (!ReadJoystick(j))
            return;
    m_bDevicesLost = 0;
}

void InputManager::SetMouseSensitivity(std::int32_t counts)
{
    if (counts == 0)
        return;
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(counts));
    m_nMouseRange = static_cast<std::int32_t>(std::min<std::int64_t>(magnitude, std::numeric_limits<std::int32_t>::max()));
}

// ---- Targets ----

bool InputManager::AddTarget(ControlRecord* object, std::uint32_t flags, std::uint32_t playerId)
{
    if (!object || FindTarget(object))
        return false;
    Target target;
    target.Flags = flags;
    target.PlayerId = playerId;
    target.Object = object;
    if (!(flags & kTargetNoBlock))
        target.Block = std::make_unique<ControlBlock>();
    m_targets.push_back(std::move(target));
    ResetTarget(object);
    return true;
}

void InputManager::RemoveTarget(ControlRecord* object)
{
    if (!object) {
        m_targets.clear();
        return;
    }
    std::erase_if(m_targets, [object](const Target& t) { return t.Object == object; });
}

InputManager::Target* InputManager::FindTarget(const ControlRecord* object)
{
    for (Target& t : m_targets)
        if (t.Object == object)
            return &t;
    return nullptr;
}

void InputManager::ResetTarget(ControlRecord* object)
{
    Target* target = FindTarget(object);
    if (!target || !target->Block)
        return;
    object->Throttle = 0;
    object->Brake = 0;
    object->SteerInput = 0;
    object->Posture &= 0x3F;
    ControlBlock& block = *target->Block;
    block = DefaultControlBlock();
    std::fill(std::begin(block.Value), std::end(block.Value), 0.0f);
    ValidateBindings(block);
    block.LastShift = 0;
}

void InputManager::ValidateBindings(ControlBlock& block) const
{
    for (int i = 0; i < kControlCount; ++i)
        if (IsJoystickBinding(block.Type[i]) && block.Index[i] >= JoystickCount())
            block.ClearBinding(i);
}

// ---- Race input ----

bool InputManager::BeginRace(std::uint32_t modeBits)
{
    // The force-feedback stick is taken for this program alone; a stick that
    // will not be is used without force feedback.
    Unacquire();
    const platform::WindowHandle window = platform::find_window(kMainWindowClass);
    for (JoystickRecord& j : m_joysticks)
        if ((j.Caps.dwFlags & kJoystickCapsForceFeedback) &&
            !j.Device->SetCooperativeLevel(window, kCoopExclusive | kCoopForeground))
            j.Caps.dwFlags &= ~kJoystickCapsForceFeedback;
    Acquire();

    if (CreateForceEffect())
        platform::start_haptic_effect(m_nEffect, 1);

    m_dwMode |= modeBits;
    m_dwMode &= ~kInputModeHostPaused;
    m_dwMode |= kInputModeStarted;

    const std::uint32_t replay = m_dwMode & kInputModeReplayModes;
    if (replay == kInputModePlayback && m_nInputBlocks > 0) {
        // A replay drives the race's human riders one for one.
        if (TargetCount() != m_nReplayHumans) {
            char text[160];
            std::snprintf(text, sizeof text, "This replay was recorded with %d players; its race has %d.",
                          m_nReplayHumans, TargetCount());
            platform::message_box(text, "Error", platform::MB_ICONEXCLAMATION);
            m_dwMode &= ~kInputModeReplayModes;
            return false;
        }
        m_nInputFrameIndex = 0;
    } else if (replay == kInputModeRecord || replay == (kInputModeRecord | kInputModeStateRecord)) {
        m_nInputFrameCount = 0;
        m_nReplayHumans = TargetCount();
    } else if (replay == (kInputModePlayback | kInputModeStatePlayback) && m_nStateBlocks > 0)
        m_nInputFrameIndex = 0;
    else
        m_dwMode &= ~kInputModeReplayModes;

    m_dwStartTime = m_dwLastTime = platform::time_get_time();
    m_fReplayTime = 0.0f;
    m_fPlaybackPos = 0.0f;
    m_nStateBlock = m_nStateSlot = 0;
    m_nEventCount = 0;
    m_nFrameNumber = 0;
    m_nQueuedFrames = 0;
    m_Lockstep.Clear();
    m_bPaused = 0;
    m_nRaceCommand = kRaceCommandNone;
    m_fSeekAmount = 0.0f;
    m_nNextCheckpoint = 0;
    m_nInputRecordSize = TargetCount() * kControlRecordBytes + 4;
    m_dwMode &= ~kInputModeMouse;

    for (Target& t : m_targets) {
        t.Object->Status &= ControlRecord::kControlStatusLeft;
        if (!t.Block)
            continue;
        for (int i = 0; i < kControlCount; ++i)
            if (IsMouseBinding(t.Block->Type[i]))
                m_dwMode |= kInputModeMouse;
    }

    if ((m_dwMode & kInputModePlayback) && m_pRaceLink)
        m_pRaceLink->MuteSound();
    return true;
}

void InputManager::EndRace()
{
    if (m_nEffect >= 0)
        platform::stop_haptic_effect(m_nEffect);
    m_dwMode &= ~kInputModeReplayModes;
}

// ---- Force feedback ----

bool InputManager::CreateForceEffect()
{
    DropForceEffect();
    for (const JoystickRecord& j : m_joysticks) {
        if (!(j.Caps.dwFlags & kJoystickCapsForceFeedback) || !j.Device->Attached())
            continue;
        // Only the first force-feedback stick carries the effect.
        m_nEffect = platform::create_constant_force(j.Device->Id(), kInitialForce);
        return m_nEffect >= 0;
    }
    return false;
}

void InputManager::DropForceEffect()
{
    if (m_nEffect < 0)
        return;
    platform::stop_haptic_effect(m_nEffect);
    platform::destroy_haptic_effect(m_nEffect);
    m_nEffect = -1;
}

void InputManager::SetForce(const float force[2])
{
    m_lastForce[0] = LimitUnit(force[0]);
    m_lastForce[1] = LimitUnit(force[1]);
    if (m_nEffect < 0)
        return;
    const float m = LimitUnit(Vec2Length(force));
    platform::ConstantForce f;
    f.magnitude = TruncToRange(m * 10000.0f, 0, platform::kHapticMaxMagnitude);
    f.x = TruncToRange(force[0] * 1000.0f, -kForceDirectionLimit, kForceDirectionLimit);
    f.y = TruncToRange(force[1] * 1000.0f, -kForceDirectionLimit, kForceDirectionLimit);
    if (!platform::update_constant_force(m_nEffect, f)) {
        // The device will not take the change (unplugged, taken by another
        // program): the race goes on without force feedback.
        std::fprintf(stderr, "Force feedback stopped: the device refused a change of force.\n");
        DropForceEffect();
    }
}

float Vec2Length(const float v[2])
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1]);
}

InputManager* TheInputManager()
{
    return g_pInputManager;
}

void SetTheInputManager(InputManager* manager)
{
    g_pInputManager = manager;
}
