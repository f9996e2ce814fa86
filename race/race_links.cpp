#include "race/race_links.h"

#include <bit>

#include "engine/model/ml_modelinfo.h"
#include "race/bike_models.h"
#include "race/race.h"
#include "race/race_3d_data.h"
#include "sim/bike.h"

// ---- The input's view of the race ----

bool RaceInputLink::NetworkRace() const
{
    return m_race.NetworkGame();
}

std::uint32_t RaceInputLink::RaceFlags() const
{
    return m_race.LiveFlags();
}

void RaceInputLink::ChangeRaceFlags(std::uint32_t set, std::uint32_t clear)
{
    std::uint32_t& flags = m_race.LiveFlags();
    flags |= set;
    flags &= ~clear;
}

void RaceInputLink::Finish()
{
    m_race.StartRace();
}

void RaceInputLink::SetStartLight(int frame)
{
    m_race.GetHud().SetStartLight(frame);
}

void RaceInputLink::SetStartLightMaterial(float set)
{
    // The start-light model comes with the track's 3D scene.
    if (Race3dData* d = m_race.Data3d())
        if (d->StartLights)
            d->StartLights->set_material_set(std::bit_cast<std::uint32_t>(set));
}

void RaceInputLink::PlayStartSample(int /*sample*/)
{
    // The start samples come with the race's sounds.
}

void RaceInputLink::SetFadeTarget(float value)
{
    m_race.GetHud().m_fFadeTarget = value;
}

void RaceInputLink::SetFadeLevel(float value)
{
    m_race.GetHud().m_fFadeLevel = value;
}

void RaceInputLink::SetShade(float value)
{
    m_race.GetHud().m_fDimTarget = value;
}

bool RaceInputLink::IsFading() const
{
    const Hud& hud = m_race.GetHud();
    return hud.m_fFadeLevel != hud.m_fFadeTarget;
}

void RaceInputLink::ParkPlayerBike()
{
    if (Bike* bike = m_race.ViewedBike())
        bike->Park();
}

void RaceInputLink::MuteSound()
{
}

void RaceInputLink::UnmuteSound()
{
}

// ---- The simulation's view of the race ----

void RaceSimulationHooks::ShowInstance(ml_modelinfo* instance, bool shown)
{
    // Instances exist only with the race's 3D data.
    ShowModelInstance(instance, shown);
}

// An animation the instance does not have is not made current: the engine
// would end the program for it, and the instance keeps the pose it has.
void RaceSimulationHooks::SetAnimation(ml_modelinfo* instance, std::uint32_t animationHash)
{
    if (!instance)
        return;
    if (animationHash == 0 || HasAnimation(instance, animationHash))
        instance->set_curanim(animationHash);
}

void RaceSimulationHooks::UpdateModel(Bike& bike)
{
    ::UpdateModel(m_race, bike);
}

bool RaceSimulationHooks::HudTest(std::uint32_t bits)
{
    return m_race.GetHud().Test(bits);
}

void RaceSimulationHooks::HudRaise(std::uint32_t bits)
{
    m_race.GetHud().Raise(bits);
}

void RaceSimulationHooks::HudClear(std::uint32_t bits)
{
    m_race.GetHud().Clear(bits);
}

void RaceSimulationHooks::HudSetViewMode(int /*mode*/)
{
    // The notices (fallen rider ahead, wrong way, lapping, last lap) are
    // texts of the overlay's definition files.
}

void RaceSimulationHooks::HudDisableMessages(std::uint32_t mask)
{
    m_race.GetHud().DisableMessages(mask);
}

void RaceSimulationHooks::SetCameraMode(int mode)
{
    m_race.m_Camera.SetMode(mode);
}

void RaceSimulationHooks::SmokeEmit(int kind, Bike& bike, int point, float amount)
{
    ::SmokeEmit(m_race, kind, bike, point, amount);
}

// The wheel's previous point and ground, then its current ones.
void RaceSimulationHooks::SmokeEmitLine(const Vec3& from, const Vec3& to, float fromGround, float toGround)
{
    ::LaySkidMark(m_race, from, to, fromGround, toGround);
}
