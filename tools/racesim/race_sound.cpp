#include "tools/racesim/race_sound.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/game_app.h"
#include "race/race.h"
#include "tools/datakit/wav_writer.h"

namespace racesim {

RaceSound::~RaceSound()
{
    if (m_bInstalled && TheSoundLibrary() == &m_Sound)
        SetTheSoundLibrary(m_pPrevious);
    m_Sound.Shutdown();
    if (m_bManualMixing)
        platform::set_manual_audio_mixing(false);
}

bool RaceSound::Start(GameApp& app, float frameTime, const std::string& recordPath, std::string& error)
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
    m_pPrevious = TheSoundLibrary();
    SetTheSoundLibrary(&m_Sound);
    m_bInstalled = true;
    app.GfxFlags |= kGfxFlagSound | kGfxFlagMusic;
    return true;
}

void RaceSound::Attach(Race& race)
{
    race.LoadSounds();
}

void RaceSound::Detach(Race& race)
{
    race.FreeSounds();
}

void RaceSound::Frame()
{
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
