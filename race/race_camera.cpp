#include "race/race_camera.h"

#include "race/race.h"
#include "sim/bike.h"
#include "sim/race_context.h"

RaceCamera::RaceCamera(Race& race) : m_Hud(race), m_race(race)
{
}

bool RaceCamera::Load(const char* /*trackName*/)
{
    m_uFlags = 0;
    return true;
}

void RaceCamera::Release()
{
}

void RaceCamera::FollowBike(Bike* bike)
{
    Detach();
    m_pTarget = bike;
    m_Hud.SetViewedBike(bike);
    if (bike) {
        m_pTargetPos = &bike->Position;
        m_pTargetAim = &bike->CgPosition;
        m_pTargetOrient = &bike->RiderAngles;
    }
    if (m_race.AttractRun())
        m_uFlags |= kDirector;
    SetMode(m_nMode);
}

void RaceCamera::FollowPoint(const Vec3* position, const Vec3* aim, const Vec3* orientation)
{
    Detach();
    m_Hud.SetViewedBike(nullptr);
    m_pTargetPos = position;
    m_pTargetAim = aim;
    m_pTargetOrient = orientation;
    if (m_race.AttractRun())
        m_uFlags |= kDirector;
    SetMode(m_nMode);
}

void RaceCamera::Detach()
{
    m_pTarget = nullptr;
}

void RaceCamera::SetMode(int mode)
{
    if (mode < 0 || mode >= kCameraModes)
        mode = kCameraChase;
    if (DirectorOn() && mode != m_nMode)
        m_fModeTime = 0.0f;
    m_nMode = mode;
    m_uFlags |= kSnap;
    RaceContext& context = CurrentRaceContext();
    if (context.Models == m_race.m_BikeModels)
        context.CameraMode = mode;
}

void RaceCamera::CycleMode(int step)
{
    SetMode(((m_nMode + 7 + step) % 7 + 7) % 7);
}

void RaceCamera::Update(float dt)
{
    if (DirectorOn())
        m_fModeTime += dt;
    m_uFlags &= ~kSnap;
}
