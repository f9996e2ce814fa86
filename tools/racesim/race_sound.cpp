#include "tools/racesim/race_sound.h"

#include <cmath>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/game_app.h"
#include "race/race.h"
#include "sim/bike.h"
#include "tools/datakit/wav_writer.h"

namespace racesim {

namespace {

// The race's effect samples, ids 0..19; all but the start lights are
// positioned.
constexpr const char* kEffects[] = {
    "Sfx\\Sema.wav",     "Sfx\\Cheer2.wav",   "Sfx\\Cheer3.wav",  "Sfx\\Cheer4.wav",   "Sfx\\WallHit.wav",
    "Sfx\\Crash1.wav",   "Sfx\\Crash2.wav",   "Sfx\\Crash3.wav",  "Sfx\\Crash3l.wav",  "Sfx\\MetalSkd.wav",
    "Sfx\\GrassSkd.wav", "Sfx\\SandGras.wav", "Sfx\\Skid0.wav",   "Sfx\\SandGrip.wav", "Sfx\\FCrash1.wav",
    "Sfx\\FCrash2.wav",  "Sfx\\FCrash3.wav",  "Sfx\\FCrash3l.wav", "Sfx\\Sand.wav",    "Sfx\\PickUp.wav",
};
constexpr int kVoiceBudget = 12;

// A float the simulation passes as an integer value of the library, the
// keep marker staying the marker.
std::int32_t Whole(float v)
{
    if (v == kKeepSoundValue)
        return kSoundKeep;
    if (!std::isfinite(v))
        return 0;
    return static_cast<std::int32_t>(std::fmax(-2.0e9f, std::fmin(2.0e9f, v)));
}

} // namespace

RaceSound::~RaceSound()
{
    RaceContext& context = CurrentRaceContext();
    if (m_bInstalled && context.Hooks == this)
        context.Hooks = m_pInner;
    m_Sound.Shutdown();
    if (m_bManualMixing)
        platform::set_manual_audio_mixing(false);
}

bool RaceSound::Start(Race& race, float frameTime, const std::string& recordPath, std::string& error)
{
    m_fFrameTime = frameTime;
    m_RecordPath = recordPath;
    if (!m_RecordPath.empty()) {
        platform::set_manual_audio_mixing(true);
        m_bManualMixing = true;
    }
    const std::int32_t started = m_Sound.Init(nullptr, false);
    if (started != kSoundOk) {
        error = SoundLibrary::GetErrorText(started);
        return false;
    }
    for (int id = 0; id < static_cast<int>(std::size(kEffects)); ++id) {
        const std::int32_t r = m_Sound.AddSample(kEffects[id], id, id != 0, false);
        if (r != kSoundOk)
            std::fprintf(stderr, "torvane-racesim: %s: %s\n", kEffects[id], SoundLibrary::GetErrorText(r));
    }
    std::int32_t next = static_cast<std::int32_t>(std::size(kEffects));
    for (const BikeModel& model : race.m_BikeModels) {
        const int layers = m_Sound.LoadWav("sfx\\engines\\engines.dat", model.Maker.ModelName, "sfx\\engines\\", next);
        if (layers > 0)
            next += layers;
    }
    // The race's music, as a race from the grid starts it.
    if (m_Sound.OpenStream("Sfx\\Music\\Jingle_01.wav", 1) != kSoundOk ||
        m_Sound.OpenStream("Sfx\\Music\\Race_01.wav", 0) != kSoundOk || m_Sound.StartStream(true, 0) != 0)
        std::fprintf(stderr, "torvane-racesim: the race music does not play\n");
    CurrentRaceContext().GraphicsFlags |= kGfxFlagSound;
    Install();
    return true;
}

void RaceSound::Install()
{
    RaceContext& context = CurrentRaceContext();
    if (context.Hooks == this || !context.Hooks)
        return;
    m_pInner = context.Hooks;
    context.Hooks = this;
    m_bInstalled = true;
}

void RaceSound::Frame(Race& race)
{
    // The race may have put its own hooks and flags back (a resumed session).
    CurrentRaceContext().GraphicsFlags |= kGfxFlagSound;
    Install();
    const Bike* viewed = race.ViewedBike();
    if (!viewed)
        return;
    const float position[3] = {viewed->Position.x, viewed->Position.y, viewed->Position.z};
    const float velocity[3] = {0.0f, 0.0f, 0.0f};
    const float front[3] = {std::sin(viewed->Heading), 0.0f, std::cos(viewed->Heading)};
    const float top[3] = {0.0f, 1.0f, 0.0f};
    m_Sound.SetListener(position, velocity, front, top);
    m_Sound.Update3DSounds(m_fFrameTime, kVoiceBudget);
    if (!m_RecordPath.empty())
        RecordFrame();
}

void RaceSound::RecordFrame()
{
    platform::AudioOutput& output = m_Sound.Output();
    const double rate = output.format().rate;
    m_fRecordedFrames += m_fFrameTime * rate;
    const auto due = static_cast<std::size_t>(m_fRecordedFrames) - m_Recording.size() / 2;
    const std::size_t at = m_Recording.size();
    m_Recording.resize(at + 2 * due);
    output.mix(m_Recording.data() + at, due);
    // The race runs faster than the music plays: give each running refill
    // thread the time to write what was played, as it would have had.
    for (int channel = 0; channel < kSoundStreams; ++channel) {
        const SoundStream& s = m_Sound.Stream(channel);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        std::uint32_t ahead = 0;
        while (s.m_bOpen && !s.m_bFinished.load() && output.filled_ahead(s.m_Buffer, ahead) &&
               ahead + s.m_uBlockSize <= s.m_uBufferSize && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

bool RaceSound::FinishRecording(std::string& error)
{
    if (m_RecordPath.empty())
        return true;
    return datakit::write_wav16(m_RecordPath, m_Sound.Output().format().rate, 2, m_Recording, error);
}

void RaceSound::Play(int sample, int instance, float frequency, float volume, float pan, int mode)
{
    m_Sound.Play(sample, instance, Whole(frequency), volume, Whole(pan), static_cast<std::uint8_t>(mode));
}

std::string RaceSound::Summary() const
{
    char text[160];
    const platform::AudioOutput& output = m_Sound.Output();
    std::snprintf(text, sizeof text, "sound: output=%s samples=%d sets=%d mixed=%.1f",
                  output.has_device() ? "device" : "silent", m_Sound.SampleCount(), m_Sound.SetCount(),
                  static_cast<double>(output.frames_mixed()) / output.format().rate);
    return text;
}

} // namespace racesim
