#include "race/race_links.h"

#include <bit>

#include "engine/model/ml_modelinfo.h"
#include "platform/float_conv.h"
#include "race/bike_models.h"
#include "race/race.h"
#include "race/race_3d_data.h"
#include "race/race_sound.h"
#include "sim/bike.h"
#include "sound/sound_library.h"

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

// The start beeps: the sample of that id where the player is, its own
// frequency, volume and pan, restarted if it still sounds.
void RaceInputLink::PlayStartSample(int sample)
{
    if (SoundLibrary* sound = RaceEffectsLibrary(m_race))
        sound->Play(sample, 0, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayRestartOwn);
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

void RaceInputLink::ShowHostPaused(bool shown)
{
    Hud& hud = m_race.GetHud();
    if (shown && !hud.Test(kHudHostPaused))
        hud.Raise(kHudHostPaused);
    else if (!shown)
        hud.Clear(kHudHostPaused);
}

void RaceInputLink::ParkPlayerBike()
{
    if (Bike* bike = m_race.ViewedBike())
        bike->Park();
}

void RaceInputLink::MuteSound()
{
    if (SoundLibrary* sound = RaceMusicLibrary())
        sound->Mute();
}

void RaceInputLink::UnmuteSound()
{
    if (SoundLibrary* sound = RaceMusicLibrary())
        sound->Unmute();
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

// ---- The simulation's sounds ----

namespace {

// A frequency or pan the simulation passes as a float: a whole number for
// the library (held within its range), the keep marker staying the marker.
std::int32_t WholeSoundValue(float v)
{
    if (v == kKeepSoundValue)
        return kSoundKeep;
    return platform::trunc_to_int(v);
}

} // namespace

void RaceSimulationHooks::Play(int sample, int instance, float frequency, float volume, float pan, int mode)
{
    if (SoundLibrary* sound = RaceEffectsLibrary(m_race))
        sound->Play(sample, instance, WholeSoundValue(frequency), volume, WholeSoundValue(pan),
                    static_cast<std::uint8_t>(mode));
}

void RaceSimulationHooks::StopVoice(int sample, int instance)
{
    if (SoundLibrary* sound = RaceEffectsLibrary(m_race))
        sound->StopVoice(sample, instance);
}

void RaceSimulationHooks::StopVoiceNow(int sample, int instance)
{
    if (SoundLibrary* sound = RaceEffectsLibrary(m_race))
        sound->StopVoiceNow(sample, instance);
}

void RaceSimulationHooks::SetVoiceDistance(int sample, int instance, float minimum, float maximum)
{
    if (SoundLibrary* sound = RaceEffectsLibrary(m_race))
        sound->SetVoiceDistance(sample, instance, minimum, maximum);
}

void RaceSimulationHooks::SetVoicePosition(int sample, int instance, const Vec3& position)
{
    if (SoundLibrary* sound = RaceEffectsLibrary(m_race))
        sound->SetVoicePosition(sample, instance, position.x, position.y, position.z);
}

void RaceSimulationHooks::SetVoiceVolume(int sample, int instance, float volume)
{
    if (SoundLibrary* sound = RaceEffectsLibrary(m_race))
        sound->SetVoiceVolume(sample, instance, volume);
}

// The simulation names a sound set by the bike model; the race knows which
// set of the library each model's is.
int RaceSimulationHooks::GetSoundSetSample(int soundSet, int /*instance*/)
{
    SoundLibrary* sound = RaceEffectsLibrary(m_race);
    if (!sound || soundSet < 0 || soundSet >= kBikeModelCount || m_race.m_Sound.EngineSet[soundSet] < 0)
        return -1;
    return sound->GetSoundSetSample(m_race.m_Sound.EngineSet[soundSet]);
}

void RaceSimulationHooks::PlaySoundSet(int soundSet, float rpm, int /*mode*/, float volume)
{
    SoundLibrary* sound = RaceEffectsLibrary(m_race);
    if (!sound)
        return;
    const int set = soundSet >= 0 && soundSet < kBikeModelCount ? m_race.m_Sound.EngineSet[soundSet] : -1;
    sound->PlaySoundSet(set, rpm, m_race.m_Camera.m_fFrameTime, volume);
}

void RaceSimulationHooks::StopStream(int channel)
{
    if (SoundLibrary* sound = RaceMusicLibrary())
        sound->StopStream(channel);
}

void RaceSimulationHooks::StartStream(int channel, bool loop)
{
    if (SoundLibrary* sound = RaceMusicLibrary())
        sound->StartStream(loop, channel);
}
