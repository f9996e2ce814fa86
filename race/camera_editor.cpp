#include "race/camera_editor.h"

#include "input/input_manager.h"
#include "sim/track.h"

CameraEditor::CameraEditor() = default;

CameraEditor::~CameraEditor()
{
    if (m_bRegistered)
        if (InputManager* input = TheInputManager())
            input->RemoveTarget(&m_Controls);
}

bool CameraEditor::Init(const Track& circuit)
{
    const Vec2& a = circuit.Slots[0];
    const Vec2& b = circuit.Slots[1];
    m_fHeight = 1.4f;
    m_Eye = Vec3((a.x + b.x) * 0.5f, m_fHeight, (a.z + b.z) * 0.5f);
    m_Aim = m_Eye;
    m_Controls = ControlRecord();
    InputManager* input = TheInputManager();
    if (!input || m_bRegistered)
        return m_bRegistered;
    m_bRegistered = input->AddTarget(&m_Controls, InputManager::kTargetLocal, 0);
    return m_bRegistered;
}

void CameraEditor::Run(float /*dt*/, bool raceHasRiders)
{
    if (raceHasRiders)
        return;
    // The editor's keys move the eye and edit the trackside cameras; they
    // come with the trackside camera files.
}
