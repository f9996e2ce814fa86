#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "input/input_manager.h"
#include "input/race_link.h"
#include "input/replay_description.h"
#include "input/replay_file.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/file.h"
#include "platform/message_box.h"

// Replays: the input replay (every simulated frame's time step and the
// targets' controls, played back through the whole simulation, with a
// checkpoint of the race state every second of playback to rewind to), the
// state replay (poses sampled five times a second), and ".rpl" files.

namespace {

constexpr int kInputBlockRecords = 10000;
constexpr int kCheckpointsPerBlock = 60;
// A checkpoint begins with the playback position and the input frame index.
constexpr std::size_t kCheckpointHeadWords = 2;

constexpr int kStateSamplesPerSecond = 5;
constexpr int kStateBlockSamples = 100;
constexpr std::size_t kStateFrameBytes = 20;
constexpr int kEventBlockRecords = 1000;
constexpr std::size_t kEventRecordBytes = 16;
// The length of a state recording stops a little short of its last sample.
constexpr float kStateLengthMargin = 0.2f + 0.001f;

constexpr const char* kReplayFolder = "replay";

float ReadF32(const std::uint8_t* p)
{
    platform::ByteReader in(p, 4);
    return in.f32();
}

void WriteF32(std::uint8_t* p, float v)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.f32(v);
    std::memcpy(p, bytes.data(), 4);
}

void WriteControls(std::uint8_t* p, const ControlRecord& c)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    WriteControlRecord(out, c);
    std::memcpy(p, bytes.data(), kControlRecordBytes);
}

// A race command waits to be applied at the end of this frame's step: it
// fades the picture out, and the race does not simulate the frame.
bool FadingCommand(std::int32_t code)
{
    return code >= kRaceCommandEnd && code <= kRaceCommandPark;
}

std::string ReplayPath(const std::string& name)
{
    return std::string(kReplayFolder) + "\\" + name + ".rpl";
}

} // namespace

// ---- Input replay ----

std::uint8_t* InputManager::InputRecordAt(int n) const
{
    const int block = n / kInputBlockRecords;
    if (n < 0 || block >= static_cast<int>(m_inputBlocks.size()) || m_nInputRecordSize <= 0)
        return nullptr;
    return m_inputBlocks[static_cast<std::size_t>(block)].get() +
           static_cast<std::size_t>(n % kInputBlockRecords) * static_cast<std::size_t>(m_nInputRecordSize);
}

bool InputManager::InputRecord(int n, float* step, ControlRecord* first) const
{
    if (n < 0 || n >= m_nInputFrameCount)
        return false;
    const std::uint8_t* record = InputRecordAt(n);
    if (!record)
        return false;
    if (step)
        *step = ReadF32(record);
    if (first && m_nInputRecordSize >= 4 + kControlRecordBytes) {
        platform::ByteReader in(record + 4, kControlRecordBytes);
        ReadControlRecord(in, first);
    }
    return true;
}

// Outside the state modes: in input playback the next recorded frame is
// taken, otherwise the frame is recorded.
void InputManager::StepInputReplay()
{
    if (m_dwMode & (kInputModeStatePlayback | kInputModeStateRecord))
        return;
    if (m_dwMode & kInputModePlayback)
        PlayInputFrame();
    else
        RecordInputFrame();
}

// A frame is recorded exactly when the race simulates it: it has a time
// step, the race is under way, neither paused nor fading (nor about to
// fade), and the viewed bike has not finished. The step kept is the one the
// race simulates (at most 1 s of a frame).
void InputManager::RecordInputFrame()
{
    if (m_fFrameTime == 0.0f || m_bPaused || !m_pRaceLink || FadingCommand(m_nRaceCommand))
        return;
    const InputRaceLink& race = *m_pRaceLink;
    if (!(race.RaceFlags() & kRaceFlagRacing) || race.IsFading() || (race.ViewedBikeStatus() & kViewedBikeFinished))
        return;
    if (m_nInputRecordSize < 4)
        return;
    const int n = m_nInputFrameCount;
    if (n == 0) {
        // A new recording: blocks of an earlier one may have another size.
        m_inputBlocks.clear();
        m_nReplayHumans = (m_nInputRecordSize - 4) / kControlRecordBytes;
    }
    m_fReplayLength = m_fReplayTime;
    if (n / kInputBlockRecords >= static_cast<int>(m_inputBlocks.size())) {
        const std::size_t bytes = static_cast<std::size_t>(m_nInputRecordSize) * kInputBlockRecords;
        m_inputBlocks.push_back(std::make_unique<std::uint8_t[]>(bytes));
        m_nInputBlocks = static_cast<std::int32_t>(m_inputBlocks.size());
    }
    std::uint8_t* record = InputRecordAt(n);
    WriteF32(record, std::min(m_fFrameTime, kReplayMaxTimeStep));
    const int slots = (m_nInputRecordSize - 4) / kControlRecordBytes;
    for (int i = 0; i < slots; ++i) {
        ControlRecord c;
        if (i < TargetCount())
            c = *m_targets[static_cast<std::size_t>(i)].Object;
        WriteControls(record + 4 + static_cast<std::size_t>(i) * kControlRecordBytes, c);
    }
    m_nInputFrameCount = n + 1;
}

// Takes the next recorded frame once the replay time has moved past it.
// Frames are taken only while the race simulates them (not paused, not
// fading), so the recording plays back frame for frame as it was made.
void InputManager::PlayInputFrame()
{
    if (m_dwMode & kInputModeWaiting)
        return;
    RewindInputReplay();
    if (m_nInputFrameIndex >= m_nInputFrameCount) {
        // Every recorded frame has been played: the race stands still.
        m_fFrameTime = 0.0f;
        m_nInputFrameIndex = m_nInputFrameCount;
        return;
    }
    if (m_bPaused || FadingCommand(m_nRaceCommand) || (m_pRaceLink && m_pRaceLink->IsFading())) {
        m_fFrameTime = 0.0f;
        return;
    }
    const std::uint8_t* record = InputRecordAt(m_nInputFrameIndex);
    const float step = record ? ReadF32(record) : 0.0f;
    if (!record || !(m_fPlaybackPos + step < m_fReplayTime)) {
        m_fFrameTime = 0.0f; // the replay time has not moved far enough
        return;
    }
    // A checkpoint holds the race as it is before the frame (the frame's
    // controls are taken again after a rewind).
    while (static_cast<std::int64_t>(std::trunc(m_fPlaybackPos)) >= m_nNextCheckpoint)
        StoreCheckpoint();
    m_fFrameTime = step;
    const int slots = std::min(TargetCount(), (m_nInputRecordSize - 4) / kControlRecordBytes);
    for (int i = 0; i < slots; ++i) {
        platform::ByteReader in(record + 4 + static_cast<std::size_t>(i) * kControlRecordBytes, kControlRecordBytes);
        ReadControlRecord(in, m_targets[static_cast<std::size_t>(i)].Object);
    }
    ++m_nInputFrameIndex;
    m_fPlaybackPos += step;
}

std::size_t InputManager::CheckpointWords() const
{
    return kCheckpointHeadWords + (m_pRaceLink ? m_pRaceLink->RaceStateWords() : 0);
}

void InputManager::StoreCheckpoint()
{
    const std::size_t words = CheckpointWords();
    if (words != m_checkpointWords) {
        // Checkpoints of another race's size are no use here.
        m_checkpointBlocks.clear();
        m_checkpointWords = words;
    }
    const int n = m_nNextCheckpoint;
    while (n / kCheckpointsPerBlock >= static_cast<int>(m_checkpointBlocks.size()))
        m_checkpointBlocks.push_back(std::make_unique<std::uint32_t[]>(words * kCheckpointsPerBlock));
    std::uint32_t* c = m_checkpointBlocks[static_cast<std::size_t>(n / kCheckpointsPerBlock)].get() +
                       static_cast<std::size_t>(n % kCheckpointsPerBlock) * words;
    std::memcpy(&c[0], &m_fPlaybackPos, sizeof(float));
    c[1] = static_cast<std::uint32_t>(m_nInputFrameIndex);
    if (m_pRaceLink)
        m_pRaceLink->SaveRaceState(c + kCheckpointHeadWords);
    m_nNextCheckpoint = n + 1;
}

const std::uint32_t* InputManager::Checkpoint(int n, float* position, std::int32_t* frameIndex) const
{
    if (n < 0 || n >= m_nNextCheckpoint || m_checkpointWords == 0 ||
        n / kCheckpointsPerBlock >= static_cast<int>(m_checkpointBlocks.size()))
        return nullptr;
    const std::uint32_t* c = m_checkpointBlocks[static_cast<std::size_t>(n / kCheckpointsPerBlock)].get() +
                             static_cast<std::size_t>(n % kCheckpointsPerBlock) * m_checkpointWords;
    if (position)
        std::memcpy(position, &c[0], sizeof(float));
    if (frameIndex)
        *frameIndex = static_cast<std::int32_t>(c[1]);
    return c + kCheckpointHeadWords;
}

// A step back asked for: the replay time goes back by the seek amount from
// the playback position, and the race is restored from the last checkpoint
// at or before it; the frames up to the replay time then play again.
void InputManager::RewindInputReplay()
{
    if (!(m_fSeekAmount > 0.0f && m_fReplayTime > 0.0f))
        return;
    m_fReplayTime = std::max(0.0f, m_fPlaybackPos - m_fSeekAmount);
    m_fSeekAmount = 0.0f;
    if (m_nNextCheckpoint <= 0)
        return;
    int c = static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(std::trunc(m_fReplayTime)),
                                                    m_nNextCheckpoint - 1));
    float position = 0.0f;
    std::int32_t index = 0;
    const std::uint32_t* state = Checkpoint(c, &position, &index);
    while (c > 0 && !(m_fReplayTime > position))
        state = Checkpoint(--c, &position, &index);
    if (!state)
        return;
    m_fPlaybackPos = position;
    m_nInputFrameIndex = std::clamp(index, 0, m_nInputFrameCount);
    if (m_pRaceLink)
        m_pRaceLink->RestoreRaceState(state);
}

// ---- State replay ----

void InputManager::StepStateReplay()
{
    const std::uint32_t mode = m_dwMode & (kInputModeStatePlayback | kInputModeStateRecord);
    if (!mode || !m_pRaceLink)
        return;
    const float scaled = m_fReplayTime * static_cast<float>(kStateSamplesPerSecond);
    if (!(scaled >= 0.0f) || scaled >= 2.0e9f)
        return;
    const int sample = static_cast<int>(scaled);
    if (mode == kInputModeStateRecord)
        StepStateRecording(sample);
    else if (mode & kInputModeStatePlayback)
        StepStatePlayback(sample, scaled - static_cast<float>(sample));
}

void InputManager::StepStateRecording(int sample)
{
    InputRaceLink& race = *m_pRaceLink;
    const int riders = std::max(race.ReplayRiders(), 0);
    if (m_stateBlocks.empty())
        m_nStateRiders = riders;
    if (riders != m_nStateRiders || riders == 0)
        return;
    const std::size_t sampleBytes = static_cast<std::size_t>(riders) * kStateFrameBytes;
    const int block = sample / kStateBlockSamples;
    const int slot = sample % kStateBlockSamples;
    while (static_cast<int>(m_stateBlocks.size()) <= block)
        m_stateBlocks.push_back(std::make_unique<std::uint8_t[]>(sampleBytes * kStateBlockSamples));
    m_nStateBlocks = static_cast<std::int32_t>(m_stateBlocks.size());

    std::uint8_t* current = m_stateBlocks[static_cast<std::size_t>(block)].get() + static_cast<std::size_t>(slot) * sampleBytes;
    for (int i = 0; i < riders; ++i) {
        // The rider record slot for an event is made before it is written.
        if (m_nEventCount / kEventBlockRecords >= static_cast<int>(m_eventBlocks.size()))
            m_eventBlocks.push_back(std::make_unique<std::uint8_t[]>(kEventRecordBytes * kEventBlockRecords));
        std::uint8_t* event = m_eventBlocks[static_cast<std::size_t>(m_nEventCount / kEventBlockRecords)].get() +
                              static_cast<std::size_t>(m_nEventCount % kEventBlockRecords) * kEventRecordBytes;
        if (race.EncodeReplayFrame(i, current + static_cast<std::size_t>(i) * kStateFrameBytes, event,
                                   static_cast<std::uint16_t>(m_nEventCount)))
            ++m_nEventCount;
    }
    // Samples skipped in blocks left behind take the current one (the
    // previous sample itself stays).
    if (block > m_nStateBlock) {
        for (int b = m_nStateBlock; b < block; ++b)
            for (int s = (b == m_nStateBlock ? m_nStateSlot + 1 : 0); s < kStateBlockSamples; ++s)
                std::memcpy(m_stateBlocks[static_cast<std::size_t>(b)].get() + static_cast<std::size_t>(s) * sampleBytes,
                            current, sampleBytes);
    }
    m_nStateBlock = block;
    m_nStateSlot = slot;
    m_fReplayLength = m_fReplayTime - kStateLengthMargin;
}

void InputManager::StepStatePlayback(int sample, float fraction)
{
    InputRaceLink& race = *m_pRaceLink;
    const int riders = std::min(race.ReplayRiders(), m_nStateRiders);
    const int samples = static_cast<int>(m_stateBlocks.size()) * kStateBlockSamples;
    if (riders <= 0 || samples <= 0)
        return;
    // The sample and the next one both lie within the recording.
    const int a = std::clamp(sample, 0, samples - 1);
    const int b = std::min(a + 1, samples - 1);
    const std::size_t sampleBytes = static_cast<std::size_t>(m_nStateRiders) * kStateFrameBytes;
    const auto at = [&](int s) {
        return m_stateBlocks[static_cast<std::size_t>(s / kStateBlockSamples)].get() +
               static_cast<std::size_t>(s % kStateBlockSamples) * sampleBytes;
    };
    std::vector<const std::uint8_t*> events;
    for (const auto& block : m_eventBlocks)
        events.push_back(block.get());
    for (int i = 0; i < riders; ++i)
        race.PlayReplayFrame(i, at(a) + static_cast<std::size_t>(i) * kStateFrameBytes,
                             at(b) + static_cast<std::size_t>(i) * kStateFrameBytes, events.data(),
                             static_cast<int>(events.size()), a == sample ? fraction : 0.0f);
}

// ---- Commands ----

void InputManager::ReplayCommand(int code)
{
    const auto mute = [this] {
        if (m_pRaceLink)
            m_pRaceLink->MuteSound();
    };
    const auto stepOn = [&](float amount) {
        mute();
        m_fReplayTime += amount;
        if (m_dwMode & kInputModeStatePlayback)
            m_fReplayTime = std::min(m_fReplayTime, m_fReplayLength);
        m_dwMode &= ~kInputModePlaying;
    };
    const auto stepBack = [&](float amount) {
        mute();
        m_fSeekAmount += amount;
        m_dwMode &= ~kInputModePlaying;
    };
    switch (code) {
    case 0:
        if (m_pRaceLink)
            m_pRaceLink->UnmuteSound();
        m_dwMode |= kInputModePlaying;
        break;
    case 1:
        mute();
        m_dwMode &= ~kInputModePlaying;
        break;
    case 2:
        ReplayCommand((m_dwMode & kInputModePlaying) ? 1 : 0);
        break;
    case 3: stepOn(m_fLastFrameTime); break;
    case 4: stepOn(3.0f * m_fLastFrameTime); break;
    case 5: stepOn(0.3f * m_fLastFrameTime); break;
    case 6: stepBack(m_fLastFrameTime); break;
    case 7: stepBack(3.0f * m_fLastFrameTime); break;
    case 8: stepBack(0.3f * m_fLastFrameTime); break;
    case 9:
        QueueRaceCommand(kRaceCommandEndReplay);
        ReplayCommand(1);
        break;
    default:
        break;
    }
}

// ---- Files ----

bool InputManager::SaveReplay()
{
    if (m_szReplayName[0] != '\0' || (m_dwMode & (kInputModeLoaded | kInputModeSaved)) || !m_pDescription)
        return false;
    std::vector<std::uint8_t> header, players;
    m_pDescription->Describe(header, players);

    // The first number whose file is not there names the replay.
    const std::string prefix = ReplayTrackName(header).substr(0, 3);
    std::string name;
    for (int n = 1;; ++n) {
        name = prefix + std::to_string(n);
        if (name.size() >= sizeof m_szReplayName)
            return false; // no free name fits the replay name
        if (!platform::file_exists(ReplayPath(name)))
            break;
    }
    std::snprintf(m_szReplayName, sizeof m_szReplayName, "%s", name.c_str());
    platform::make_directory(kReplayFolder);
    if (!SaveReplayAs(ReplayPath(name))) {
        // A later save may try again.
        m_szReplayName[0] = '\0';
        return false;
    }
    m_dwMode |= kInputModeSaved;
    return true;
}

bool InputManager::SaveReplayAs(const std::string& path) const
{
    if (!m_pDescription)
        return false;
    std::vector<std::uint8_t> header, players;
    m_pDescription->Describe(header, players);
    const int humans = m_nReplayHumans;
    if (header.size() != kReplayHeaderBytes ||
        players.size() != static_cast<std::size_t>(std::max(humans, 0)) * kReplayPlayerBytes) {
        std::fprintf(stderr, "The replay %s was not saved: its %d riders' controls do not match the race's players.\n",
                     path.c_str(), humans);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.bytes(header.data(), header.size());
    out.bytes(players.data(), players.size());
    out.f32(m_fReplayLength);
    out.i32(m_nInputFrameCount);
    const std::size_t recordBytes = ReplayRecordBytes(humans);
    for (int n = 0; n < m_nInputFrameCount; ++n) {
        const std::uint8_t* record = InputRecordAt(n);
        if (!record || static_cast<std::size_t>(m_nInputRecordSize) != recordBytes)
            break;
        out.bytes(record, recordBytes);
    }
    std::string error;
    const std::size_t expected =
        kReplayHeaderBytes + players.size() + 8 + recordBytes * static_cast<std::size_t>(m_nInputFrameCount);
    if (bytes.size() != expected || !platform::write_whole_file(path, bytes, &error)) {
        // Nothing is left of the file (it is written whole or not at all).
        std::fprintf(stderr, "The replay %s could not be saved: %s\n", path.c_str(),
                     error.empty() ? "its records are incomplete" : error.c_str());
        return false;
    }
    return true;
}

bool InputManager::LoadReplay()
{
    return LoadReplayFrom(ReplayPath(std::string(m_szReplayName, strnlen(m_szReplayName, sizeof m_szReplayName))));
}

bool InputManager::LoadReplayFrom(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!m_pDescription || !platform::read_whole_file(path, bytes, &why))
        return false;
    ReplayFileContents file;
    if (!ParseReplayFile(bytes, file, why)) {
        std::fprintf(stderr, "The replay %s is damaged: %s\n", path.c_str(), why.c_str());
        return false;
    }

    // The file is sound: the current replay goes, the file's takes its place.
    char name[sizeof m_szReplayName];
    std::memcpy(name, m_szReplayName, sizeof name);
    FreeReplay();
    std::memcpy(m_szReplayName, name, sizeof name);
    m_pDescription->Adopt(file.header.data(), file.players.data(), file.humans);
    m_fReplayLength = file.length;
    m_nReplayHumans = file.humans;
    m_nInputRecordSize = static_cast<std::int32_t>(ReplayRecordBytes(file.humans));
    const std::size_t recordBytes = ReplayRecordBytes(file.humans);
    for (int n = 0; n < file.frames; n += kInputBlockRecords) {
        auto block = std::make_unique<std::uint8_t[]>(recordBytes * kInputBlockRecords);
        const int count = std::min(kInputBlockRecords, file.frames - n);
        std::memcpy(block.get(), file.records.data() + static_cast<std::size_t>(n) * recordBytes,
                    static_cast<std::size_t>(count) * recordBytes);
        m_inputBlocks.push_back(std::move(block));
    }
    m_nInputBlocks = static_cast<std::int32_t>(m_inputBlocks.size());
    m_nInputFrameCount = file.frames;
    m_dwMode |= kInputModeLoaded;
    return true;
}

void InputManager::FreeReplay()
{
    m_dwMode &= ~(kInputModeLoaded | kInputModeSaved);
    m_szReplayName[0] = '\0';
    m_inputBlocks.clear();
    m_checkpointBlocks.clear();
    m_stateBlocks.clear();
    m_eventBlocks.clear();
    m_checkpointWords = 0;
    m_nStateRiders = 0;
    m_nInputBlocks = m_nStateBlocks = 0;
    m_nEventCount = 0;
    m_nNextCheckpoint = 0;
    m_nInputFrameCount = 0;
    m_nInputFrameIndex = 0;
    m_nReplayHumans = 0;
}
