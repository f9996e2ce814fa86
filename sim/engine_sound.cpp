#include <algorithm>
#include <cmath>

#include "input/input_manager.h"
#include "platform/random.h"
#include "sim/bike.h"
#include "sim/race_context.h"

namespace {

constexpr float kRandomScale = 3.051851e-05f; // 1 / 32767

// A uniform value in [0, 1] for sound variation. It comes from the cosmetic
// stream: the revving runs once per drawn frame, so drawing from the
// simulation's stream would let the frame rate change the race.
float SoundVariation()
{
    return static_cast<float>(platform::random_stream(platform::RandomStreamId::Cosmetic).next()) * kRandomScale;
}

bool CloseCamera(int mode)
{
    return mode == 0 || mode == 1 || mode == 2 || mode == 3 || mode == 6;
}

float LayeredVolume(int mode)
{
    switch (mode) {
    case 0: return 0.9f;
    case 2: return 0.8f;
    case 3: return 0.6f;
    default: return 1.0f; // 1 and 6
    }
}

} // namespace

// Before the start the engine sound revs up and down between drawn targets
// (its own revs: the simulation's stay as they are, so the race is the same
// with the sound on or off); the viewed bike in a close camera plays the
// layered engine set, every other bike a positional voice.
void Bike::UpdateEngineSound(float frameTime)
{
    RaceContext& race = CurrentRaceContext();
    RaceHooks* hooks = race.Hooks;
    if (!(race.GraphicsFlags & 0x01))
        return;

    const InputManager* input = TheInputManager();
    const bool paused = input && input->m_bPaused;
    if (!race.Racing() && !paused) {
        if (RevTarget == 0.0f) {
            SoundRpm = EngineSoundRpm;
            RevTarget = 6000.0f + 3000.0f * SoundVariation();
            RevRate = (RevTarget - SoundRpm) * (2.0f + 4.0f * SoundVariation());
        } else if (RevTarget < 6000.0f) {
            SoundRpm -= frameTime * RevRate;
            if (SoundRpm < RevTarget) {
                SoundRpm = RevTarget;
                RevTarget = 6000.0f + 3000.0f * SoundVariation();
                RevRate = (RevTarget - SoundRpm) * (2.0f + 4.0f * SoundVariation());
            }
        } else {
            SoundRpm += frameTime * RevRate;
            if (SoundRpm >= RevTarget) {
                SoundRpm = RevTarget;
                RevTarget = 3000.0f + 1500.0f * SoundVariation();
                RevRate = (SoundRpm - RevTarget) * (0.8f + 1.2f * SoundVariation());
            }
        }
    }

    if (!hooks)
        return;
    const float rpm = race.Racing() || RevTarget == 0.0f ? EngineSoundRpm : SoundRpm;
    const float revs = rpm >= 15000.0f ? 14999.0f : rpm;
    const int model = GridEntry ? GridEntry->Model : 0;
    const int mode = race.CameraMode;
    const bool viewed = Index == race.ViewedRider;

    if (viewed && CloseCamera(mode)) {
        if (SoundFlags & kBikeEngineVoice) {
            hooks->StopVoiceNow(hooks->GetSoundSetSample(model, Index + 1), Index + 1);
            SoundFlags &= ~kBikeEngineVoice;
        }
        hooks->PlaySoundSet(model, revs, 0, LayeredVolume(mode));
        return;
    }
    if (viewed)
        hooks->PlaySoundSet(model, -1.0f, 0, 1.0f);

    const bool close = CloseCamera(mode);
    const float minimum = close ? 1.0f : 10.0f;
    const float maximum = close ? 80.0f : 400.0f;
    const float volume = close ? 0.4f : 0.3f;
    const int sample = hooks->GetSoundSetSample(model, Index + 1);
    hooks->SetVoiceVolume(sample, Index + 1, volume);
    hooks->SetVoiceDistance(sample, Index + 1, minimum, maximum);
    hooks->SetVoicePosition(sample, Index + 1, Position);
    hooks->Play(sample, Index + 1, 2000.0f + std::trunc(2.0f * revs), 0.0f, kKeepSoundValue, 25);
    SoundFlags |= kBikeEngineVoice;
}
