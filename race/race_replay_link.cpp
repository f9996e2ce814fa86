#include <cstring>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "race/race.h"
#include "race/race_links.h"
#include "sim/replay_frame.h"

// What the input's replays see of the race: the viewed bike's status, the
// whole race state for the checkpoints, and the bikes' replay frames.

std::uint32_t RaceInputLink::ViewedBikeStatus() const
{
    const Bike* viewed = m_race.ViewedBike();
    return viewed ? viewed->Status : 0u;
}

std::size_t RaceInputLink::RaceStateWords() const
{
    return m_race.StateWordCount();
}

void RaceInputLink::SaveRaceState(std::uint32_t* words)
{
    m_race.SaveState(words);
}

void RaceInputLink::RestoreRaceState(const std::uint32_t* words)
{
    m_race.RestoreState(words);
}

int RaceInputLink::ReplayRiders() const
{
    return m_race.RiderCount();
}

bool RaceInputLink::EncodeReplayFrame(int rider, std::uint8_t* frame, std::uint8_t* riderRecord, std::uint16_t index)
{
    if (rider < 0 || rider >= m_race.RiderCount())
        return false;
    ReplayFrame f;
    ReplayRiderRecord r;
    const bool apart = m_race.m_pBikes[rider].EncodeReplayFrame(&f, &r, index);
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    WriteReplayFrame(out, f);
    std::memcpy(frame, bytes.data(), kReplayFrameBytes);
    if (apart) {
        bytes.clear();
        WriteReplayRiderRecord(out, r);
        std::memcpy(riderRecord, bytes.data(), kReplayRiderSlotBytes);
    }
    return apart;
}

void RaceInputLink::PlayReplayFrame(int rider, const std::uint8_t* a, const std::uint8_t* b,
                                    const std::uint8_t* const* blocks, int blockCount, float t)
{
    if (rider < 0 || rider >= m_race.RiderCount())
        return;
    // The rider records are decoded once for the blocks they come from.
    const std::vector<const std::uint8_t*> from(blocks, blocks + (blocks ? blockCount : 0));
    if (from != m_riderRecordsFrom) {
        m_riderRecords.clear();
        for (const std::uint8_t* block : from) {
            auto records = std::make_unique<ReplayRiderRecord[]>(kReplayRiderBlockRecords);
            platform::ByteReader in(block, kReplayRiderSlotBytes * kReplayRiderBlockRecords);
            for (int i = 0; i < kReplayRiderBlockRecords; ++i)
                ReadReplayRiderRecord(in, &records[static_cast<std::size_t>(i)]);
            m_riderRecords.push_back(std::move(records));
        }
        m_riderRecordsFrom = from;
    }
    std::vector<ReplayRiderRecord*> pointers;
    for (const auto& records : m_riderRecords)
        pointers.push_back(records.get());
    RiderRecordBlocks records{pointers.data(), static_cast<int>(pointers.size())};

    ReplayFrame fa, fb;
    platform::ByteReader ina(a, kReplayFrameBytes), inb(b, kReplayFrameBytes);
    if (!ReadReplayFrame(ina, &fa) || !ReadReplayFrame(inb, &fb))
        return; // a damaged sample leaves the bike where it is
    m_race.m_pBikes[rider].PlayReplayFrame(fa, fb, records, t);
}
