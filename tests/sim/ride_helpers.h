#pragma once

// Riding a bike in tests: one sub-step of the race's passes for one bike,
// a scripted rider that follows the centre line, and a check that every
// field of a bike is a finite number.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/bike.h"
#include "sim/computer_control.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"
#include "tests/sim/bike_world.h"
#include "tools/datakit/rider_state_writer.h"

namespace ride_test {

// Records what the bikes ask of the race's presentation: sounds, smoke and
// skid marks, overlay messages and notices. Overlay bits raised stay up
// until cleared, as the overlay keeps them.
class EffectsRecorder : public bike_test::RecordingHooks {
public:
    struct Sound {
        int sample;
        int instance;
        float frequency;
        float volume;
        int mode;
    };
    struct Smoke {
        int kind;
        int point;
        float amount;
    };

    void Play(int sample, int instance, float frequency, float volume, float, int mode) override
    {
        plays.push_back({sample, instance, frequency, volume, mode});
    }
    void StopVoice(int sample, int instance) override { stops.push_back({sample, instance}); }
    void StopVoiceNow(int sample, int instance) override { stops.push_back({sample, instance}); }
    void SetVoiceVolume(int sample, int, float volume) override { voiceVolumes.push_back({sample, volume}); }
    int GetSoundSetSample(int soundSet, int instance) override { return 100 + soundSet * 40 + instance; }
    void PlaySoundSet(int soundSet, float rpm, int, float volume) override
    {
        soundSets.push_back({soundSet, rpm, volume});
    }
    void SmokeEmit(int kind, Bike&, int point, float amount) override { smokes.push_back({kind, point, amount}); }
    void SmokeEmitLine(const Vec3&, const Vec3&, float, float) override { ++skidMarks; }
    bool HudTest(std::uint32_t bits) override { return (raised & bits) != 0; }
    void HudRaise(std::uint32_t bits) override
    {
        raised |= bits;
        raises.push_back(bits);
    }
    void HudClear(std::uint32_t bits) override { raised &= ~bits; }
    void HudSetViewMode(int mode) override { viewModes.push_back(mode); }

    // Samples played, in order.
    std::vector<int> Samples() const
    {
        std::vector<int> out;
        for (const Sound& s : plays)
            out.push_back(s.sample);
        return out;
    }
    bool Played(int sample) const
    {
        for (const Sound& s : plays)
            if (s.sample == sample)
                return true;
        return false;
    }
    bool Stopped(int sample) const
    {
        for (const auto& s : stops)
            if (s.first == sample)
                return true;
        return false;
    }
    void Clear()
    {
        plays.clear();
        stops.clear();
        voiceVolumes.clear();
        soundSets.clear();
        smokes.clear();
        skidMarks = 0;
        raises.clear();
        viewModes.clear();
    }

    struct SoundSet {
        int set;
        float rpm;
        float volume;
    };
    std::vector<Sound> plays;
    std::vector<std::pair<int, int>> stops;
    std::vector<std::pair<int, float>> voiceVolumes;
    std::vector<SoundSet> soundSets;
    std::vector<Smoke> smokes;
    int skidMarks = 0;
    std::uint32_t raised = 0;
    std::vector<std::uint32_t> raises;
    std::vector<int> viewModes;
};

// The race's passes of one sub-step, for one bike: controls into a lean,
// then the dynamics and the rider's state.
inline void Step(Bike& b, float dt)
{
    b.ControlStep(dt);
    b.DynamicsStep(dt);
    b.StateStep(dt);
}

// The demo rider animation sets (state timings and follow-ups), written
// below the test's data folder and handed to the simulation; taken back at
// the end. Install after the world's Load, which resets the race record.
class DemoRiderStates {
public:
    explicit DemoRiderStates(const std::filesystem::path& root)
    {
        std::string error;
        EXPECT_TRUE(datakit::write_demo_animation_sets(root, error)) << error;
        table_ = ReadRiderStateTable("Data\\Info.dat", nullptr);
        InstallRiderStateTable(CurrentRaceContext(), &table_);
    }
    ~DemoRiderStates() { InstallRiderStateTable(CurrentRaceContext(), nullptr); }
    DemoRiderStates(const DemoRiderStates&) = delete;
    DemoRiderStates& operator=(const DemoRiderStates&) = delete;

private:
    RiderStateTable table_;
};

// A rider who follows a line at a fixed side offset from the centre line:
// he steers for the point of that line a short way ahead, brakes so as to
// reach a share of each metre's reference speed in time, and otherwise
// opens the throttle fully, shutting it while the front wheel goes light
// (nothing else keeps a human rider's front wheel down in the low gears).
class ScriptedRider {
public:
    float SideOffset = 0.0f;     // m from the centre line (positive: left)
    float Braking = 6.0f;        // m/s^2 he plans with
    float SpeedFactor = 0.7f;    // share of the reference speed he rides at
    bool FollowSpeeds = true;    // false: no braking, the throttle held open

    float MaxLean = 0.8f;        // rad
    float LeanRate = 1.5f;       // rad/s
    float Dt = 1.0f / 60.0f;     // the sub-step he is driven at

private:
    float throttle_ = 0.0f;
    float lean_ = 0.0f;

public:

    void Drive(Bike& b)
    {
        const Track& path = *b.Path;
        // Steering: the lean that balances the circle through the aim point.
        const float ahead = std::max(12.0f, 0.7f * b.Speed);
        float d = b.Progress + ahead;
        if (d >= path.Length)
            d -= path.Length;
        Vec2 centre;
        Vec2 direction;
        path.DistanceToPoint(d, &centre, &direction);
        // Left of the heading (sin h, cos h) is (-cos h, sin h).
        const float aim[2] = {centre.x - direction.z * SideOffset, centre.z + direction.x * SideOffset};
        const float from[2] = {b.Position.x, b.Position.z};
        const float radius = TurnRadius(from, b.Heading, aim);
        const float lean = radius == 0.0f ? 0.0f
                                          : std::atan(b.Speed * b.Speed / (9.80665f * radius));
        const float scale = b.Speed >= 15.0f ? 0.97738439f : std::max(b.Speed * 0.06515896f, 0.05f);
        // He changes his lean smoothly and keeps it within 45 degrees.
        const float limited = std::clamp(lean, -MaxLean, MaxLean);
        lean_ = std::clamp(limited, lean_ - LeanRate * Dt, lean_ + LeanRate * Dt);
        const float u = std::clamp(lean_ / scale, -1.0f, 1.0f);
        // The control step shapes the input with 0.792 atan(pi s): undo it.
        const float s = std::tan(u / 0.791999377f) / 3.14159265f;
        b.Controls.SteerInput = static_cast<std::int8_t>(std::clamp(s, -1.0f, 1.0f) * 127.0f);

        // Speed: the slowest of the speeds he can still brake down to.
        float allowed = 1000.0f;
        if (FollowSpeeds && path.MetreCount() > 0) {
            const int reach = static_cast<int>(b.Speed * b.Speed / (2.0f * Braking)) + 20;
            for (int j = 0; j < reach; j += 2) {
                int metre = static_cast<int>(b.Progress) + j;
                metre %= path.MetreCount();
                const float v = SpeedFactor * path.Metres[static_cast<std::size_t>(metre)].RefSpeed;
                allowed = std::min(allowed, std::sqrt(v * v + 2.0f * Braking * static_cast<float>(j)));
            }
        }
        // He opens the throttle progressively and shuts it when the front
        // wheel goes light (nothing else keeps a human rider's front wheel
        // down in the low gears).
        const bool light = b.FrontWheel.Travel <= 0.005f || b.Pitch < -0.03f;
        if (b.Speed > allowed + 1.0f) {
            throttle_ = 0.0f;
            b.Controls.Brake = static_cast<std::uint8_t>(std::clamp((b.Speed - allowed) * 40.0f, 0.0f, 127.0f));
        } else {
            b.Controls.Brake = 0;
            const float wanted = b.Speed < allowed ? 127.0f : 40.0f;
            if (light)
                throttle_ = std::max(throttle_ - 40.0f, 0.0f);
            else
                throttle_ = std::min(throttle_ + 8.0f, wanted);
        }
        b.Controls.Throttle = static_cast<std::uint8_t>(throttle_);
    }
};

// The name of the first field of a bike that is not a finite number, or "".
inline std::string FirstNonFinite(const Bike& b)
{
    auto bad = [](float v) { return !std::isfinite(v); };
    auto badVec = [&](const Vec3& v) { return bad(v.x) || bad(v.y) || bad(v.z); };
    struct Named {
        const char* name;
        bool broken;
    };
    const Named scalars[] = {
        {"Speed", bad(b.Speed)},           {"WheelSpeed", bad(b.WheelSpeed)},
        {"Rpm", bad(b.Rpm)},               {"Accel", bad(b.Accel)},
        {"Pitch", bad(b.Pitch)},           {"Heading", bad(b.Heading)},
        {"Roll", bad(b.Roll)},             {"AngularRate", badVec(b.AngularRate)},
        {"Position", badVec(b.Position)},  {"RiderAngles", badVec(b.RiderAngles)},
        {"RiderPosition", badVec(b.RiderPosition)},
        {"CgVelocity", badVec(b.CgVelocity)}, {"CgPosition", badVec(b.CgPosition)},
        {"Lean", bad(b.Lean.Value) || bad(b.Lean.Rate) || bad(b.Lean.Limit)},
        {"TurnRadius", bad(b.TurnRadius)}, {"SideOffset", bad(b.SideOffset)},
        {"Progress", bad(b.Progress)},     {"PathHeading", bad(b.PathHeading)},
        {"Wheelbase", bad(b.Wheelbase)},   {"EngineTemp", bad(b.EngineTemp)},
        {"EngineSoundRpm", bad(b.EngineSoundRpm)}, {"AimHeading", bad(b.AimHeading)},
        {"ShiftTimer", bad(b.ShiftTimer)}, {"StepTravel", bad(b.StepTravel)},
        {"MassOffset", badVec(b.MassOffset)}, {"ForwardAxis", badVec(b.ForwardAxis)},
        {"UpAxis", badVec(b.UpAxis)},      {"RideValue", bad(b.RideValue)},
        {"SkidSmokeTimer", bad(b.SkidSmokeTimer)},
    };
    for (const Named& n : scalars)
        if (n.broken)
            return n.name;
    for (int i = 0; i < 4; ++i)
        if (badVec(b.BodyPoint[i]) || badVec(b.BodyVelocity[i]) || badVec(b.BodyNormal[i]))
            return "Body" + std::to_string(i);
    const WheelAssembly* wheels[2] = {&b.FrontWheel, &b.RearWheel};
    for (int i = 0; i < 2; ++i) {
        const WheelAssembly& w = *wheels[i];
        const std::string side = i == 0 ? "Front." : "Rear.";
        const Named fields[] = {
            {"Travel", bad(w.Travel)}, {"SpringTravel", bad(w.SpringTravel)},
            {"SpringSpeed", bad(w.SpringSpeed)}, {"ContactPoint", badVec(w.ContactPoint)},
            {"PrevContactPoint", badVec(w.PrevContactPoint)}, {"Velocity", badVec(w.Velocity)},
            {"Heading", bad(w.Heading)}, {"Grip", bad(w.Grip)}, {"GroundNormal", badVec(w.GroundNormal)},
            {"Force", badVec(w.Force)}, {"Orientation", bad(w.Orientation.Pitch) || bad(w.Orientation.Heading) ||
                                                            bad(w.Orientation.Roll)},
            {"TurnRadius", bad(w.TurnRadius)}, {"LoadShare", bad(w.LoadShare)}, {"HubAccel", bad(w.HubAccel)},
            {"SpinAngle", bad(w.SpinAngle)}, {"Downforce", bad(w.Downforce)}, {"TravelSpeed", bad(w.TravelSpeed)},
            {"StepDistance", bad(w.StepDistance)}, {"Tyre.Grip", bad(w.Tyre.Grip)},
            {"Tyre.Temp", bad(w.Tyre.Temp[0]) || bad(w.Tyre.Temp[1]) || bad(w.Tyre.Temp[2])},
            {"Tyre.Wear", bad(w.Tyre.Wear[0]) || bad(w.Tyre.Wear[1]) || bad(w.Tyre.Wear[2])},
        };
        for (const Named& n : fields)
            if (n.broken)
                return side + n.name;
        // GroundHeight may hold the "no ground" marker, a finite value.
        if (std::isnan(w.GroundHeight) || std::isnan(w.PrevGroundHeight))
            return side + "GroundHeight";
    }
    return "";
}

} // namespace ride_test
