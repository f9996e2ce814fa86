#include <algorithm>
#include <cstring>

#include "input/input_math.h"
#include "input/input_manager.h"
#include "platform/clock.h"

// The per-frame controls: every target's bindings become eight smoothed
// control values, packed into its ControlRecord.

namespace {

// An axis read -1..1 from 0..65535: the centre 32768 is 0, and 90% of the
// travel to either side is full deflection.
constexpr float kAxisFullScale = 29491.2f;

float Clamp(float v, float lo, float hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// A rate 1..9 moves a value by (10 - r) per second; a larger rate reads as
// 9 (BindingRate), so a value always moves toward its source.
float RatePerSecond(std::uint8_t rate)
{
    return static_cast<float>(10 - BindingRate(rate));
}

} // namespace

bool InputManager::ReadControls()
{
    Poll();
    if (m_bDevicesLost) {
        // The controls freeze with every key up. The time goes on being
        // measured, so the frame after the devices come back does not
        // simulate the time they were away.
        std::memset(m_KeyState, 0, sizeof m_KeyState);
        const std::uint32_t now = platform::time_get_time();
        m_fFrameTime = SecondsBetween(m_dwLastTime, now);
        m_dwLastTime = now;
        return false;
    }

    const bool frame = StepClock() != 0.0f;

    if (m_nMouseRange > 0) {
        m_fMouseX = Clamp(m_fMouseX + static_cast<float>(m_MouseState.lX) / static_cast<float>(m_nMouseRange), -1.0f, 1.0f);
        m_fMouseY = Clamp(m_fMouseY + static_cast<float>(m_MouseState.lY) / static_cast<float>(m_nMouseRange), -1.0f, 1.0f);
    }

    for (Target& t : m_targets)
        if (t.Block)
            StepControlValues(*t.Block);
    // While an input replay is watched, the recorded controls drive the
    // bikes, not the devices.
    if (!(m_dwMode & kInputModePlayback)) {
        for (int i = 0; i < TargetCount(); ++i) {
            Target& t = m_targets[static_cast<std::size_t>(i)];
            if (t.Block)
                PackControls(i);
            if (m_controlSource)
                m_controlSource(i, *t.Object);
        }
    }

    ExchangeFrames();
    m_dwMode &= ~kInputModeWaiting;
    const bool taken = NextFrame(true);
    // A network race simulates only the frames the host sent, with their
    // steps.
    if (NetworkRaceRunning())
        return taken && m_fFrameTime != 0.0f;
    return frame;
}

float InputManager::SourceValue(const ControlBlock& block, int control) const
{
    const int type = block.Type[control];
    const int index = block.Index[control];
    const auto down = [](std::uint8_t byte) { return (byte & kInputDown) ? 1.0f : 0.0f; };

    if (type == kBindKey)
        return down(m_KeyState[index]);
    if (type >= kBindJoyButton0 && type < kBindJoyButton0 + kBindJoyButtonCount)
        return index < JoystickCount() ? down(Joystick(index).State.button[type - kBindJoyButton0]) : 0.0f;
    if (type >= kBindMouseButton0 && type < kBindMouseButton0 + kBindMouseButtonCount)
        return down(m_MouseState.rgbButtons[type - kBindMouseButton0]);

    // Axes: a value -1..1, of which the binding takes one side.
    const int axis = type & ~kBindNegative;
    float s = 0.0f;
    if (axis == kBindMouseX)
        s = m_fMouseX;
    else if (axis == kBindMouseY)
        s = m_fMouseY;
    else if (axis >= kBindJoyAxisX && axis < kBindJoyAxisX + kBindJoyAxisCount && index < JoystickCount()) {
        const std::int32_t v = Joystick(index).State.axis[axis - kBindJoyAxisX];
        s = Clamp(static_cast<float>(v - platform::kJoystickAxisCentre) / kAxisFullScale, -1.0f, 1.0f);
    }
    // The wheel and unknown codes read neutral.
    if (type & kBindNegative)
        return s <= 0.0f ? -s : 0.0f;
    return s < 0.0f ? 0.0f : s;
}

void InputManager::StepControlValues(ControlBlock& block)
{
    const float dt = m_fFrameTime;
    for (int i = 0; i < kControlCount; ++i) {
        const float s = SourceValue(block, i);
        float& c = block.Value[i];
        if (c < s)
            c = block.Rise[i] == 0 ? s : std::min(s, c + RatePerSecond(block.Rise[i]) * dt);
        else if (c > s)
            c = block.Fall[i] == 0 ? s : std::max(s, c - RatePerSecond(block.Fall[i]) * dt);
    }
}

void InputManager::PackControls(int targetIndex)
{
    if (targetIndex < 0 || targetIndex >= TargetCount())
        return;
    Target& t = m_targets[static_cast<std::size_t>(targetIndex)];
    if (!t.Block)
        return;
    ControlBlock& block = *t.Block;
    const float* v = block.Value;
    ControlRecord& out = *t.Object;

    out.Throttle = static_cast<std::uint8_t>(TruncToRange(v[kControlAccelerator] * 127.0f, 0, 127));
    out.Brake = static_cast<std::uint8_t>(TruncToRange(v[kControlBrake] * 127.0f, 0, 127));
    const float steer = v[kControlSteerRight] - v[kControlSteerLeft];
    out.SteerInput = static_cast<std::int8_t>(TruncToRange(steer * steer * steer * 127.0f, -127, 127));

    const int hang = TruncToRange(v[kControlHangOn] * 31.0f, 0, 31) & 0x1F;
    const bool look = v[kControlLookBehind] > 0.5f;
    // A gear shift goes out once, on the frame the shift direction changes.
    const float shift = v[kControlShiftUp] - v[kControlShiftDown];
    const int direction = shift > 0.5f ? 1 : (shift < -0.5f ? -1 : 0);
    const int shiftBits = direction != block.LastShift ? (direction & 3) : 0;
    block.LastShift = direction;
    out.Posture = static_cast<std::uint8_t>(hang | (look ? ControlRecord::kLookBehindBit : 0) | (shiftBits << 6));
}
