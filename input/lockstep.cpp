#include <algorithm>

#include "input/input_manager.h"
#include "input/lockstep.h"
#include "input/net_link.h"
#include "input/race_link.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/clock.h"

// The lockstep exchange of a network race: every peer simulates every bike
// from the same controls and the same time steps. Each frame a client sends
// its players' controls to the host; the host collects them, stamps the
// frame with its own time step and race command, keeps it and sends it to
// everybody; every peer simulates a frame only when it holds it, in frame
// number order.

namespace {

// The host's server player: clients send to it, it sends from it.
constexpr std::uint32_t kHostPlayer = 1;
constexpr std::uint32_t kEveryPlayer = 0;
// The longest frame a frame message may carry.
constexpr float kMaxFrameStep = 1.0f;
// How long one look for a message sleeps while waiting.
constexpr std::uint32_t kWaitSliceMs = 1;

} // namespace

std::vector<std::uint8_t> BuildFrameMessage(const FrameMessage& message)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.i32(message.Command);
    out.u32(message.Frame);
    out.f32(message.Step);
    for (const FrameEntry& entry : message.Entries) {
        out.u32(entry.PlayerId);
        WriteControlRecord(out, entry.Controls);
        out.u16(0);
    }
    return bytes;
}

bool ReadFrameMessage(std::span<const std::uint8_t> bytes, FrameMessage& message)
{
    if (bytes.size() < kFrameHeaderBytes + kFrameEntryBytes ||
        (bytes.size() - kFrameHeaderBytes) % kFrameEntryBytes != 0 ||
        (bytes.size() - kFrameHeaderBytes) / kFrameEntryBytes > kMaxFrameEntries)
        return false;
    platform::ByteReader in(bytes);
    FrameMessage m;
    m.Command = in.i32();
    m.Frame = in.u32();
    m.Step = in.f32();
    if (m.Command < kRaceCommandNone || m.Command > kRaceCommandPark || !(m.Step >= 0.0f && m.Step <= kMaxFrameStep))
        return false;
    while (in.remaining() >= kFrameEntryBytes) {
        FrameEntry entry;
        entry.PlayerId = in.u32();
        ReadControlRecord(in, &entry.Controls);
        in.u16();
        m.Entries.push_back(entry);
    }
    if (!in.ok())
        return false;
    message = std::move(m);
    return true;
}

bool InputManager::NetworkRaceRunning() const
{
    return m_pRaceLink && m_pRaceLink->NetworkRace() && m_Lockstep.Link;
}

void InputManager::SendFrameMessage(bool resend)
{
    InputNetLink* link = m_Lockstep.Link;
    if (!link)
        return;
    const bool host = (m_dwMode & kInputModeHost) != 0;
    if (resend) {
        if (!m_Lockstep.LastMessage.empty())
            link->SendFrame(m_Lockstep.LastFrom, host ? kEveryPlayer : kHostPlayer, m_Lockstep.LastMessage.data(),
                            m_Lockstep.LastMessage.size(), false);
        return;
    }

    FrameMessage message;
    message.Command = m_nRaceCommand;
    // A frame with a race command is the last one exchanged: the picture
    // fades after it and nobody waits for (or resends) a frame any more, so
    // a loss could not be made good. It goes guaranteed; a peer that then
    // cannot be reached loses the session.
    const bool last = m_nRaceCommand != kRaceCommandNone;
    message.Frame = static_cast<std::uint32_t>(m_nFrameNumber);
    // A frame's step is at most a second (the race steps no more), also a
    // client's, which the host reads only to check the message.
    const float step = std::clamp(m_fFrameTime, 0.0f, kMaxFrameStep);
    if (!host) {
        message.Step = step;
        for (const Target& t : m_targets) {
            if (!(t.Flags & kTargetLocal))
                continue;
            message.Entries = {FrameEntry{t.PlayerId, *t.Object}};
            m_Lockstep.LastMessage = BuildFrameMessage(message);
            m_Lockstep.LastFrom = t.PlayerId;
            link->SendFrame(t.PlayerId, kHostPlayer, m_Lockstep.LastMessage.data(), m_Lockstep.LastMessage.size(),
                            last);
        }
        // The client's own command (it leaves the race) takes effect at once.
        if (m_nRaceCommand != kRaceCommandNone)
            ApplyRaceCommand();
        return;
    }

    message.Step = m_bPaused ? 0.0f : step;
    LockstepState::Queued queued;
    queued.Command = message.Command;
    queued.Frame = message.Frame;
    queued.Step = message.Step;
    for (const Target& t : m_targets) {
        message.Entries.push_back(FrameEntry{t.PlayerId, *t.Object});
        queued.Controls.emplace_back(*t.Object);
    }
    if (m_Lockstep.Frames.size() < kMaxQueuedFrames)
        m_Lockstep.Frames.push_back(std::move(queued));
    m_nQueuedFrames = static_cast<std::int32_t>(m_Lockstep.Frames.size());
    m_Lockstep.LastMessage = BuildFrameMessage(message);
    m_Lockstep.LastFrom = kHostPlayer;
    link->SendFrame(kHostPlayer, kEveryPlayer, m_Lockstep.LastMessage.data(), m_Lockstep.LastMessage.size(), last);
}

// The host counts a target as heard when its player has left the race, or
// has gone from the session (it then leaves the race, for every peer, by
// the status bit its record carries from now on).
void InputManager::MarkLeftTargets()
{
    m_Lockstep.Heard.resize(m_targets.size(), 0);
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        Target& t = m_targets[i];
        if (!(t.Flags & kTargetLocal) && !m_Lockstep.Link->PlayerPresent(t.PlayerId))
            t.Object->Status |= ControlRecord::kControlStatusLeft;
        if (t.Object->PlayerLeft())
            m_Lockstep.Heard[i] = 1;
    }
}

// One frame message that arrived: true when it is the current frame. A
// client queues every frame not yet simulated; the host takes the controls
// of the current frame from the clients' messages.
bool InputManager::TakeFrameMessage(const FrameMessage& message, bool host)
{
    const auto current = static_cast<std::uint32_t>(m_nFrameNumber);
    if (message.Frame < current)
        return false;
    if (host) {
        if (message.Frame != current)
            return false;
        for (const FrameEntry& entry : message.Entries)
            for (std::size_t i = 0; i < m_targets.size(); ++i) {
                Target& t = m_targets[i];
                if (m_Lockstep.Heard[i] || t.PlayerId != entry.PlayerId || (t.Flags & kTargetLocal))
                    continue;
                *t.Object = entry.Controls;
                if (message.Command == kRaceCommandLeave)
                    t.Object->Status |= ControlRecord::kControlStatusLeft;
                m_Lockstep.Heard[i] = 1;
            }
        return true;
    }
    auto& frames = m_Lockstep.Frames;
    if (frames.size() >= kMaxQueuedFrames)
        std::erase_if(frames, [current](const LockstepState::Queued& q) { return q.Frame < current; });
    if (frames.size() >= kMaxQueuedFrames) {
        // A full queue drops the newest frame: the one arriving, unless it
        // is the frame awaited, which takes the place of the latest queued
        // (the host sends that one again when it is awaited in its turn).
        ++m_Lockstep.DroppedAtFullQueue;
        if (message.Frame != current)
            return false;
        const auto latest = std::max_element(frames.begin(), frames.end(), [](const auto& a, const auto& b) {
            return a.Frame < b.Frame;
        });
        frames.erase(latest);
    }
    LockstepState::Queued queued;
    queued.Command = message.Command;
    queued.Frame = message.Frame;
    queued.Step = message.Step;
    queued.Controls.resize(m_targets.size());
    for (const FrameEntry& entry : message.Entries)
        for (std::size_t i = 0; i < m_targets.size(); ++i)
            if (m_targets[i].PlayerId == entry.PlayerId)
                queued.Controls[i] = entry.Controls;
    frames.push_back(std::move(queued));
    m_nQueuedFrames = static_cast<std::int32_t>(frames.size());
    return message.Frame == current;
}

void InputManager::ExchangeFrames()
{
    if (!NetworkRaceRunning() || m_Lockstep.Lost)
        return;
    if (!(m_pRaceLink->RaceFlags() & kRaceFlagRacing) || m_pRaceLink->IsFading())
        return;
    InputNetLink& link = *m_Lockstep.Link;
    const bool host = (m_dwMode & kInputModeHost) != 0;

    m_Lockstep.Heard.assign(m_targets.size(), 0);
    if (host)
        MarkLeftTargets();
    else
        SendFrameMessage(false);
    const auto unheard = [this] {
        return std::count(m_Lockstep.Heard.begin(), m_Lockstep.Heard.end(), std::uint8_t{0});
    };
    bool done = host && unheard() < 2;

    // Nobody more to wait for: the host goes on without the clients still
    // unheard (they have left); a client leaves the race (false: return).
    const auto giveUp = [&] {
        if (host) {
            for (std::size_t i = 0; i < m_targets.size(); ++i)
                if (!m_Lockstep.Heard[i] && !(m_targets[i].Flags & kTargetLocal)) {
                    m_targets[i].Object->Status |= ControlRecord::kControlStatusLeft;
                    m_Lockstep.Heard[i] = 1;
                }
            if (!link.LinkOpen())
                m_Lockstep.Lost = true;
            return true;
        }
        m_Lockstep.Lost = true;
        QueueRaceCommand(kRaceCommandLeave);
        return false;
    };

    const std::uint32_t start = platform::real_time_get_time();
    std::uint32_t lastResend = start;
    std::uint32_t lastHeard = start;
    while (!done) {
        const std::uint32_t now = platform::real_time_get_time();
        if (platform::elapsed_ms(lastHeard, now) >= m_Lockstep.SilenceMs) {
            if (!giveUp())
                return;
            break;
        }
        if (platform::elapsed_ms(lastResend, now) >= m_Lockstep.ResendMs) {
            SendFrameMessage(true);
            lastResend = now;
        }
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        const std::uint32_t from = link.ReceiveFrame(data, size);
        if (from == 0) {
            // A closed session is given up only once what arrived before it
            // closed is read: the host sends the frame that ends the race
            // and closes, and that frame must still be taken.
            if (!link.LinkOpen()) {
                if (!giveUp())
                    return;
                break;
            }
            if (!(m_dwMode & kInputModeStarted))
                break;
            if (host) {
                // A client that left the session is not waited for.
                MarkLeftTargets();
                if (unheard() < 2)
                    break;
            }
            link.WaitForFrame(kWaitSliceMs);
            continue;
        }
        FrameMessage message;
        if (size == kBarrierMessageBytes || !ReadFrameMessage(std::span(data, size), message))
            continue;
        if (host && from == kHostPlayer)
            continue;
        lastHeard = now;
        const bool current = TakeFrameMessage(message, host);
        done = host ? unheard() < 2 : current;
    }

    if (host)
        SendFrameMessage(false);
    for (Target& t : m_targets)
        t.Flags &= ~kTargetSkipNet;
}

bool InputManager::NextNetworkFrame(bool live)
{
    if (m_dwMode & kInputModeWaiting) {
        m_fFrameTime = 0.0f;
        return false;
    }
    const auto current = static_cast<std::uint32_t>(m_nFrameNumber);
    std::erase_if(m_Lockstep.Frames, [current](const LockstepState::Queued& q) { return q.Frame < current; });
    const auto taken = std::find_if(m_Lockstep.Frames.rbegin(), m_Lockstep.Frames.rend(),
                                    [current](const LockstepState::Queued& q) { return q.Frame == current; });
    bool result = false;
    if (taken != m_Lockstep.Frames.rend()) {
        m_fFrameTime = taken->Step;
        m_nRaceCommand = taken->Command;
        for (std::size_t i = 0; i < m_targets.size() && i < taken->Controls.size(); ++i) {
            Target& t = m_targets[i];
            if (!(t.Flags & kTargetSkipNet) && taken->Controls[i])
                *t.Object = *taken->Controls[i];
        }
        m_Lockstep.Frames.erase(std::next(taken).base());
        ++m_nFrameNumber;
        // The race's clock moves with the frames every peer simulates.
        m_fRaceClock += m_fFrameTime;
        result = true;
        if (!(m_dwMode & kInputModeHost)) {
            const bool paused = m_fFrameTime == 0.0f;
            if (paused != ((m_dwMode & kInputModeHostPaused) != 0) && m_pRaceLink)
                m_pRaceLink->ShowHostPaused(paused);
            if (paused)
                m_dwMode |= kInputModeHostPaused;
            else
                m_dwMode &= ~kInputModeHostPaused;
        }
    } else {
        // Before the race is under way (its start sequence and countdown)
        // and while the picture fades out after a race command, no frame
        // comes and the race simulates nothing (ReadControls says so); the
        // overlay's timers and the fade run on this machine's own frame
        // time, as StepClock measured it, so that they end.
        const bool exchanging = m_pRaceLink && (m_pRaceLink->RaceFlags() & kRaceFlagRacing) &&
                                !m_pRaceLink->IsFading() && !m_Lockstep.Lost;
        if (!live || exchanging)
            m_fFrameTime = 0.0f;
        if (live && !(m_dwMode & kInputModeHostPaused))
            m_dwMode |= kInputModeWaiting;
    }
    m_nQueuedFrames = static_cast<std::int32_t>(m_Lockstep.Frames.size());
    ApplyRaceCommand();
    return result;
}
