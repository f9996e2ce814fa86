#include <cmath>
#include <cstdio>

#include "input/input_manager.h"
#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/race_context.h"
#include "sim/track.h"

// The viewed bike's channels for the race's telemetry plot window, and the
// window's one-line summary of the bike.

namespace {

constexpr float kToKmh = 3.6f;
constexpr float kToG = 0.10197162f; // 1 / 9.80665
constexpr int kChannelCount = 49;

// Share of the road to the bike's left: 0 at the left bound, 1 at the right.
float TrackPosition(const Bike& b)
{
    if (!b.Path || b.Path->MetreCount() == 0)
        return 0.0f;
    const int k = TruncClamped(b.Progress, 0, b.Path->MetreCount() - 1);
    const TrackMetre& m = b.Path->Metres[static_cast<std::size_t>(k)];
    const float width = m.LowBound + m.HighBound;
    return width != 0.0f ? (m.HighBound - b.SideOffset) / width : 0.0f;
}

} // namespace

float Bike::AiChannelValue(int channel) const
{
    switch (channel) {
    case 0: return Controls.Throttle;
    case 1: return Controls.Brake;
    case 2: return Gear;
    case 3: return Speed * kToKmh;
    case 4: return Rpm;
    case 5: return Roll;
    case 6: return Pitch;
    case 7: return Accel * kToG;
    case 8: return FrontWheel.Travel;
    case 9: return FrontWheel.TravelSpeed;
    case 10: return RearWheel.Travel;
    case 11: return RearWheel.TravelSpeed;
    case 12: return (static_cast<float>(Controls.SteerInput) / 127.0f + 1.0f) * 0.5f;
    case 13: return FrontWheel.Grip;
    case 14: return FrontWheel.Force.y;
    case 15: return FrontWheel.Terrain;
    case 16: return RearWheel.Grip;
    case 17: return RearWheel.Force.y;
    case 18: return RearWheel.Terrain;
    case 19: return 2.0f * FrontWheel.LoadShare - 1.0f;
    case 20: return SideOffset;
    case 21: return TrackPosition(*this);
    case 22: return Wheelbase;
    case 23: return AngularRate.y;
    case 24: return MassOffset.z;
    case 25: return MassOffset.y;
    case 26: return MassOffset.x;
    case 27: return FrontWheel.Tyre.WeightedTemp;
    case 28: return FrontWheel.Tyre.WeightedWear;
    case 29: return FrontWheel.Tyre.Grip * FrontWheel.Tyre.SurfaceC;
    case 30: return FrontWheel.Tyre.Asymmetry;
    case 31: return RearWheel.Tyre.WeightedTemp;
    case 32: return RearWheel.Tyre.WeightedWear;
    case 33: return RearWheel.Tyre.Grip * RearWheel.Tyre.SurfaceC;
    case 34: return RearWheel.Tyre.Asymmetry;
    case 35: return TurnRadius;
    case 36: return TurnRadius != 0.0f ? std::cos(Roll) * Speed * Speed / TurnRadius : 0.0f;
    case 37: return Lean.Value;
    case 38: return Lean.Rate;
    case 39: return Lean.Limit;
    // 40-43 are debug ratios that stay 0; 44 and 45, the wheels' ratio
    // lengths, have no field in this simulation and plot as 0.
    case 46: return EngineTemp;
    case 47: return FrontWheel.Downforce;
    case 48: return RearWheel.Downforce;
    default: return 0.0f;
    }
}

void Bike::PrintAiDebug()
{
    RaceHooks* hooks = CurrentRaceContext().Hooks;
    if (!hooks)
        return;

    const InputManager* input = TheInputManager();
    const float time = 0.1f * (input ? input->m_fRaceClock : 0.0f);
    const int slots = hooks->PlotChannelCount();
    for (int slot = 0; slot < slots && slot < kChannelCount; ++slot) {
        const int channel = hooks->PlotChannel(slot);
        if (channel >= 0 && channel < kChannelCount)
            hooks->Plot(slot, time, AiChannelValue(channel));
    }

    if (!hooks->ShowsPlotText())
        return;
    char line[160];
    FormatAiDebugLine(line, sizeof line);
    hooks->SetPlotText(line);
}

void Bike::FormatAiDebugLine(char* out, std::size_t size) const
{
    float mu = Accel * kToG;
    if (TurnRadius != 0.0f)
        mu += 0.5f * Speed * Speed / (TurnRadius * 9.80665f);
    std::snprintf(out, size, "#%2d Pos:%d/%4.0f Gear:%ld Spd:%4.0f Rpm:%5.0f Radius:%5.1f Mu need: %1.2f", Index,
                  static_cast<int>(Laps), static_cast<double>(Progress), static_cast<long>(Gear) + 1,
                  static_cast<double>(Speed) * 3.6, static_cast<double>(Rpm), static_cast<double>(TurnRadius),
                  static_cast<double>(mu));
}
