#include "race/camera_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "input/input_devices.h"
#include "input/input_manager.h"
#include "sim/track.h"

namespace {

// Key numbers of the keyboard.
constexpr int kKeyP = 0x19;
constexpr int kKeyO = 0x18;
constexpr int kKeyL = 0x26;
constexpr int kKeyS = 0x1F;
constexpr int kKeyInsert = 0xD2;
constexpr int kKeyDelete = 0xD3;
constexpr int kKeyPageDown = 0xD1;
constexpr int kKeyPageUp = 0xC9;
constexpr int kKeyLeftShift = 0x2A;
constexpr int kKeyPadPlus = 0x4E;
constexpr int kKeyPadMinus = 0x4A;
constexpr int kKeyPadDivide = 0xB5;
constexpr int kKeyPadMultiply = 0x37;
constexpr int kKeyPad1 = 0x4F;
constexpr int kKeyPad3 = 0x51;
constexpr int kKeyPad7 = 0x47;
constexpr int kKeyPad9 = 0x49;

constexpr float kMaxFov = 1.3962635f; // 80 degrees
constexpr float kMinFov = 0.017453292f; // 1 degree
// A range never shrinks below this many metres.
constexpr float kMinRange = 5.0f;

bool Held(const InputManager& input, int key)
{
    return (input.m_KeyState[key & 0xFF] & kInputDown) != 0;
}

} // namespace

CameraEditor::CameraEditor() = default;

CameraEditor::~CameraEditor()
{
    if (m_bRegistered)
        if (InputManager* input = TheInputManager())
            input->RemoveTarget(&m_Controls);
}

bool CameraEditor::Init(Track& circuit, const char* trackName)
{
    m_pCircuit = &circuit;
    std::memset(m_szTrack, 0, sizeof m_szTrack);
    for (int i = 0; i < 3 && trackName && trackName[i]; ++i)
        m_szTrack[i] = trackName[i];
    const Vec2& a = circuit.Slots[0];
    const Vec2& b = circuit.Slots[1];
    m_fHeight = 1.4f;
    m_Eye = Vec3((a.x + b.x) * 0.5f, m_fHeight, (a.z + b.z) * 0.5f);
    const float ground = TrackHeight(m_Eye, 0.0f);
    if (ground != kTrackNone)
        m_Eye.y = ground + m_fHeight;
    UpdateAim();
    m_Controls = ControlRecord();
    InputManager* input = TheInputManager();
    if (!input || m_bRegistered)
        return m_bRegistered;
    m_bRegistered = input->AddTarget(&m_Controls, InputManager::kTargetLocal, 0);
    return m_bRegistered;
}

std::string CameraEditor::FileName() const
{
    const std::string name = EditorCameraFileName(m_szTrack);
    return m_Folder.empty() ? name : m_Folder + "/" + name;
}

void CameraEditor::SetCurrent(int index)
{
    m_nCurrent = std::clamp(index, 0, std::max(0, m_nCount - 1));
}

float CameraEditor::TrackHeight(const Vec3& point, float hint) const
{
    if (!m_pCircuit || m_pCircuit->IsEmpty())
        return kTrackNone;
    const float h = m_pCircuit->Query(&point, nullptr, hint, nullptr);
    return std::isfinite(h) ? h : kTrackNone;
}

void CameraEditor::UpdateAim()
{
    const float cp = std::cos(m_Angles.x);
    m_Aim = m_Eye.Plus(Vec3(std::sin(m_Angles.y) * cp, -std::sin(m_Angles.x), std::cos(m_Angles.y) * cp));
}

void CameraEditor::Run(float dt, bool raceHasRiders)
{
    if (raceHasRiders)
        return;
    if (const InputManager* input = TheInputManager()) {
        RunKeys(*input);
        RunHeldKeys(*input, dt);
    }
    Fly(dt);
    UpdateAim();
}

void CameraEditor::RunKeys(const InputManager& input)
{
    if (input.KeyPressed(kKeyP)) {
        if (m_nCurrent < m_nCount) {
            m_Cameras[m_nCurrent].X = m_Eye.x;
            m_Cameras[m_nCurrent].Y = m_Eye.y;
            m_Cameras[m_nCurrent].Z = m_Eye.z;
        }
    } else if (input.KeyPressed(kKeyL)) {
        Reload();
    } else if (input.KeyPressed(kKeyS)) {
        std::string error;
        if (!Save(&error))
            std::fprintf(stderr, "Trackside cameras not saved: %s\n", error.c_str());
    } else if (input.KeyPressed(kKeyInsert)) {
        AddCamera();
    } else if (input.KeyPressed(kKeyPageDown)) {
        if (m_nCount > 0) {
            SetCurrent(m_nCurrent + 1);
            const TvCamera& c = m_Cameras[m_nCurrent];
            m_Eye = Vec3(c.X, c.Y, c.Z);
            LookAtDistance(c.From);
        }
    } else if (input.KeyPressed(kKeyPageUp)) {
        if (m_nCount > 0) {
            SetCurrent(m_nCurrent - 1);
            const TvCamera& c = m_Cameras[m_nCurrent];
            m_Eye = Vec3(c.X, c.Y, c.Z);
            LookAtDistance(c.To);
        }
    } else if (input.KeyPressed(kKeyDelete)) {
        DeleteCamera();
    }
}

void CameraEditor::RunHeldKeys(const InputManager& input, float dt)
{
    if (Held(input, kKeyP))
        m_Angles.x += 0.5f * dt;
    else if (Held(input, kKeyO))
        m_Angles.x -= 0.5f * dt;

    const bool shift = Held(input, kKeyLeftShift);
    const float fovStep = shift ? dt : 0.1f * dt;
    if (Held(input, kKeyPadPlus))
        m_fFov = std::min(kMaxFov, m_fFov + fovStep);
    if (Held(input, kKeyPadMinus))
        m_fFov = std::max(kMinFov, m_fFov - fovStep);

    if (m_nCurrent >= m_nCount)
        return;
    TvCamera& c = m_Cameras[m_nCurrent];
    if (input.KeyPressed(kKeyPadDivide)) {
        c.FocMin = m_fFov;
        c.FocMax = std::max(c.FocMax, m_fFov);
    } else if (input.KeyPressed(kKeyPadMultiply)) {
        c.FocMax = m_fFov;
        c.FocMin = std::min(c.FocMin, m_fFov);
    }

    const float step = (shift ? 100.0f : 10.0f) * dt;
    const bool first = m_nCurrent == 0;
    const bool last = m_nCurrent == m_nCount - 1;
    if (Held(input, kKeyPad9) || Held(input, kKeyPad7)) {
        if (Held(input, kKeyPad9))
            c.From = std::min(c.From + step, c.To - kMinRange);
        else {
            c.From -= step;
            if (!first)
                c.From = std::max(c.From, m_Cameras[m_nCurrent - 1].From + kMinRange);
        }
        if (!first)
            m_Cameras[m_nCurrent - 1].To = c.From;
        LookAtDistance(c.From);
    }
    if (Held(input, kKeyPad3) || Held(input, kKeyPad1)) {
        if (Held(input, kKeyPad3)) {
            c.To += step;
            if (!last)
                c.To = std::min(c.To, m_Cameras[m_nCurrent + 1].To - kMinRange);
        } else {
            c.To = std::max(c.To - step, c.From + kMinRange);
        }
        if (!last)
            m_Cameras[m_nCurrent + 1].From = c.To;
        LookAtDistance(c.To);
    }
}

void CameraEditor::Fly(float dt)
{
    if (m_fVerticalMove > 0.0f) {
        m_fHeight += 3.0f * dt;
        m_Eye.y += 3.0f * dt;
    } else if (m_fVerticalMove < 0.0f) {
        m_fHeight -= 3.0f * dt;
        m_Eye.y -= 3.0f * dt;
    }
    const float s = static_cast<float>(m_Controls.SteerInput) / 127.0f;
    if (m_Controls.SteerInput > 12)
        m_Angles.y -= (s - 0.1f) * dt * 4.0f;
    else if (m_Controls.SteerInput < -12)
        m_Angles.y -= (s + 0.1f) * dt * 4.0f;
    float v = (static_cast<float>(m_Controls.Throttle) - static_cast<float>(m_Controls.Brake)) / 127.0f;
    if (std::fabs(v) >= 0.2f) {
        v += v > 0.0f ? -0.2f : 0.2f;
        const float cp = std::cos(m_Angles.x);
        const Vec3 d(std::sin(m_Angles.y) * cp, -std::sin(m_Angles.x), std::cos(m_Angles.y) * cp);
        m_Eye = m_Eye.Plus(d.Times(v * dt * 60.0f));
        const float ground = TrackHeight(m_Eye, -1.0f);
        if (ground != kTrackNone)
            m_Eye.y = ground + m_fHeight;
    }
}

bool CameraEditor::Save(std::string* error)
{
    // Written through a temporary file: a save that fails leaves the old
    // file as it was, and says so.
    return SaveTvCameras(FileName(), m_Cameras, m_nCount, error);
}

void CameraEditor::Reload()
{
    TvCamera read[kMaxTvCameras];
    std::string error;
    const std::string name = FileName();
    const int count = LoadTvCameras(name.c_str(), read, kMaxTvCameras, &error);
    if (!error.empty())
        std::fprintf(stderr, "Trackside cameras not read: %s\n", error.c_str());
    m_nCount = count;
    for (int i = 0; i < count; ++i)
        m_Cameras[i] = read[i];
    m_nCurrent = 0;
    if (m_nCount > 0) {
        m_Eye = Vec3(m_Cameras[0].X, m_Cameras[0].Y, m_Cameras[0].Z);
        LookAtDistance(m_Cameras[0].From);
    }
}

bool CameraEditor::AddCamera()
{
    if (m_nCount >= kMaxTvCameras)
        return false;
    if (m_nCount == 0) {
        m_nCurrent = 0;
    } else {
        const int at = std::min(m_nCurrent, m_nCount - 1) + 1;
        for (int i = m_nCount; i > at; --i)
            m_Cameras[i] = m_Cameras[i - 1];
        m_nCurrent = at;
    }
    ++m_nCount;
    TvCamera& c = m_Cameras[m_nCurrent];
    std::memset(&c, 0, sizeof c);
    std::snprintf(c.Name, sizeof c.Name, "CAM%d", m_nCurrent);
    SetDefaults();
    LookAtDistance(c.From);
    return true;
}

bool CameraEditor::DeleteCamera()
{
    if (m_nCurrent >= m_nCount)
        return false;
    const float from = m_Cameras[m_nCurrent].From;
    for (int i = m_nCurrent; i + 1 < m_nCount; ++i)
        m_Cameras[i] = m_Cameras[i + 1];
    --m_nCount;
    // The camera before takes over the deleted one's stretch up to the
    // next camera; when the first goes, the new first starts where it did.
    if (m_nCurrent > 0 && m_nCurrent < m_nCount)
        m_Cameras[m_nCurrent - 1].To = m_Cameras[m_nCurrent].From;
    else if (m_nCurrent == 0 && m_nCount > 0)
        m_Cameras[0].From = from;
    SetCurrent(m_nCurrent);
    return true;
}

void CameraEditor::SetDefaults()
{
    if (m_nCurrent >= m_nCount)
        return;
    TvCamera& c = m_Cameras[m_nCurrent];
    c.FocMin = 0.034906585f;
    c.FocMax = 1.3962634f;
    c.FakeZoom = 0.0f;
    c.From = m_nCurrent == 0 ? 0.0f : m_Cameras[m_nCurrent - 1].To;
    if (m_nCurrent == m_nCount - 1) {
        c.To = c.From + 10.0f;
    } else {
        m_Cameras[m_nCurrent + 1].From += 10.0f;
        c.To = m_Cameras[m_nCurrent + 1].From;
    }
    c.X = m_Eye.x;
    c.Y = m_Eye.y;
    c.Z = m_Eye.z;
}

void CameraEditor::LookAtDistance(float d)
{
    Vec2 point;
    if (m_pCircuit)
        m_pCircuit->DistanceToPoint(d, &point, nullptr);
    Vec3 target(point.x, 0.0f, point.z);
    const float ground = TrackHeight(target, d);
    target.y = (ground == kTrackNone ? 0.0f : ground) + 0.5f;
    const float dx = target.x - m_Eye.x;
    const float dy = target.y - m_Eye.y;
    const float dz = target.z - m_Eye.z;
    m_Angles.y = std::atan2(dx, dz);
    m_Angles.x = -std::atan2(dy, std::sqrt(dx * dx + dz * dz));
    m_Angles.z = 0.0f;
    UpdateAim();
}
