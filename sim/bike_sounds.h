#pragma once

#include "sim/race_context.h"
#include "sim/vec3.h"

// The simulation's sound calls go to the race's presentation (RaceHooks);
// without one they do nothing.
inline RaceHooks* PresentationHooks()
{
    return CurrentRaceContext().Hooks;
}

// Plays a positional effect of a bike: the sample on the bike's voice, heard
// between the two distances, at the point.
inline void PlayBikeSound(int sample, int instance, float frequency, float volume, int mode, float minDistance,
                          float maxDistance, const Vec3& position)
{
    RaceHooks* hooks = PresentationHooks();
    if (!hooks)
        return;
    hooks->Play(sample, instance, frequency, volume, kKeepSoundValue, mode);
    hooks->SetVoiceDistance(sample, instance, minDistance, maxDistance);
    hooks->SetVoicePosition(sample, instance, position);
}

// Effect samples the bike dynamics play.
inline constexpr int kSoundImpactHard = 4;    // barrier hit above 32 m/s
inline constexpr int kSoundImpactMedium = 7;
inline constexpr int kSoundImpactLight = 8;
inline constexpr int kSoundScrapeTarmac = 9;  // the fallen bike's scrapes
inline constexpr int kSoundScrapeVerge = 10;
inline constexpr int kSoundSurface = 11;      // rolling off the road
inline constexpr int kSoundSkid = 12;         // tyre skid on tarmac
inline constexpr int kSoundSkidVerge = 18;    // sliding off the road
