// Streamed music: two channels, each playing a ".wav" file through a
// two-second looping buffer of 24 blocks that a refill thread of its own
// keeps filled, woken by the output as each block has been played.
//
// Ordering between the main thread and a refill thread: only the thread
// reads the file and writes the buffer while it runs. StopStream raises the
// stop flag, stops the buffer and signals the stop event (so the thread
// wakes whatever it waits for), joins the thread, and only then closes the
// file and releases the buffer.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/mixer.h"
#include "sound/sound_library.h"
#include "sound/wav_file.h"

namespace {

constexpr std::uint32_t kStreamBlocks = 24;

bool ValidChannel(int channel)
{
    return channel >= 0 && channel < kSoundStreams;
}

std::uint8_t SilenceByte(const platform::PcmFormat& format)
{
    return format.bits == 8 ? 0x80 : 0x00;
}

} // namespace

std::int32_t SoundLibrary::OpenStream(const char* fileName, int channel)
{
    if (!m_bInitialised)
        return kSoundOk;
    if (!ValidChannel(channel))
        return kSoundUnknownError;
    SoundStream& s = m_Streams[channel];
    if (s.m_bOpen)
        StopStream(channel);

    auto file = std::make_unique<mixer>();
    if (!fileName || !OpenSoundFile(fileName, *file))
        return kSoundFileError;
    WavInfo wav;
    // A file without whole frames of data (or of a format with a block
    // align of 0) is refused: looping it would never fill a block.
    if (!ReadWavHeader(*file, wav) || wav.data_size < wav.format.block_align())
        return kSoundFileError;
    const std::uint32_t align = wav.format.block_align();
    std::uint32_t block = (wav.format.rate * align * 2 + kStreamBlocks - 1) / kStreamBlocks;
    block = (block + align - 1) / align * align;
    SoundSlot slot;
    if (CreatePlainBuffer(slot, wav.format, block * kStreamBlocks, false) != kSoundOk)
        return kSoundBufferError;

    s.m_Buffer = slot.m_Buffer;
    s.m_pFile = std::move(file);
    s.m_Format = wav.format;
    s.m_uDataSize = wav.data_size;
    s.m_uDataStart = wav.data_start;
    s.m_uBlockSize = block;
    s.m_uBufferSize = block * kStreamBlocks;
    s.m_uReadPosition = 0;
    s.m_nEnded = 0;
    s.m_nLoop = 0;
    s.m_uWriteOffset = 0;
    s.m_bOpen = true;
    s.m_pFile->seekfile(static_cast<int>(s.m_uDataStart), 0);
    // A buffer that cannot be filled would play nothing but silence: the
    // stream is not opened.
    if (FillStream(channel) != 0) {
        m_Output.release(s.m_Buffer);
        s.m_Buffer = platform::kNoAudioBuffer;
        s.m_pFile.reset();
        s.m_bOpen = false;
        return kSoundBufferError;
    }
    s.m_nStop.store(0);
    return kSoundOk;
}

void SoundLibrary::ReadStreamData(SoundStream& s, std::uint8_t* dst, std::uint32_t bytes, bool& ended)
{
    ended = false;
    bool rewound = false;
    while (bytes > 0) {
        const std::uint32_t left = s.m_uDataSize - s.m_uReadPosition;
        const std::uint32_t want = std::min(bytes, left);
        const int got = want > 0 ? s.m_pFile->read(dst, static_cast<int>(want)) : 0;
        if (got > 0) {
            dst += got;
            bytes -= static_cast<std::uint32_t>(got);
            s.m_uReadPosition += static_cast<std::uint32_t>(got);
            rewound = false;
            continue;
        }
        // The data (not the file: chunks after it are not sound) has run
        // out, or the file gives no more. Start it again when looping, unless
        // a fresh start gave nothing either.
        if (s.m_nLoop && !rewound) {
            s.m_pFile->seekfile(static_cast<int>(s.m_uDataStart), 0);
            s.m_uReadPosition = 0;
            rewound = true;
            continue;
        }
        ended = true;
        std::memset(dst, SilenceByte(s.m_Format), bytes);
        bytes = 0;
    }
}

std::int32_t SoundLibrary::FillStream(int channel)
{
    if (!ValidChannel(channel))
        return -1;
    SoundStream& s = m_Streams[channel];
    platform::AudioLock lock;
    if (!s.m_bOpen || !m_Output.lock(s.m_Buffer, 0, s.m_uBufferSize, lock))
        return -1;
    bool ended = false;
    ReadStreamData(s, lock.part1, lock.bytes1, ended);
    m_Output.unlock(s.m_Buffer, lock);
    // The buffer plays only what has been written: a late refill is heard
    // as a gap, never as the old music again.
    m_Output.set_filled_ahead(s.m_Buffer, s.m_uBufferSize);
    if (ended)
        s.m_nEnded = 1;
    s.m_uWriteOffset = 0;
    s.m_uLastPlayPosition = 0;
    s.m_uRefillPosition = 0;
    return 0;
}

std::int32_t SoundLibrary::StartStream(bool loop, int channel)
{
    if (!m_bInitialised)
        return kSoundOk;
    if (!ValidChannel(channel) || !m_Streams[channel].m_bOpen)
        return -1;
    SoundStream& s = m_Streams[channel];
    // Started again: the running thread ends first, and the music starts
    // from its beginning.
    if (s.m_Thread.joinable() || s.m_uPlayed > 0 || s.m_uRefillPosition > 0) {
        EndStreamThread(s);
        s.m_nLoop = loop ? 1 : 0;
        s.m_nEnded = 0;
        s.m_uReadPosition = 0;
        s.m_pFile->seekfile(static_cast<int>(s.m_uDataStart), 0);
        FillStream(channel);
    } else if (loop && !s.m_nLoop && s.m_nEnded) {
        // Opened as a one-shot and shorter than the buffer: fill it again
        // looping.
        s.m_nLoop = 1;
        s.m_nEnded = 0;
        s.m_uReadPosition = 0;
        s.m_pFile->seekfile(static_cast<int>(s.m_uDataStart), 0);
        FillStream(channel);
    }
    s.m_nLoop = loop ? 1 : 0;
    s.m_NotifyEvent.reset();
    s.m_StopEvent.reset();

    platform::AudioNotification notes[kStreamBlocks + 1];
    for (std::uint32_t k = 1; k < kStreamBlocks; ++k)
        notes[k - 1] = platform::AudioNotification{s.m_uBlockSize * k, &s.m_NotifyEvent};
    notes[kStreamBlocks - 1] = platform::AudioNotification{s.m_uBufferSize - 1, &s.m_NotifyEvent};
    notes[kStreamBlocks] = platform::AudioNotification{platform::kAudioNotifyStop, &s.m_StopEvent};
    if (!m_Output.set_notifications(s.m_Buffer, notes))
        return -1;

    s.m_nStop.store(0);
    s.m_bFinished.store(false);
    s.m_uPlayed = 0;
    s.m_uBlocksWritten.store(0);
    if (!s.m_Thread.start([this, channel] { StreamThread(channel); }, platform::ThreadPriority::TimeCritical)) {
        s.m_bFinished.store(true);
        s.m_nStop.store(1);
        return -1;
    }
    m_Output.set_position(s.m_Buffer, 0);
    SetStreamVolume(m_fStreamVolume[channel], channel);
    if (!m_Output.play(s.m_Buffer, true)) {
        EndStreamThread(s);
        return -1;
    }
    return 0;
}

void SoundLibrary::EndStreamThread(SoundStream& s)
{
    s.m_nStop.store(1);
    m_Output.stop(s.m_Buffer);
    // Wakes the thread even when the buffer was not playing.
    s.m_StopEvent.set();
    s.m_Thread.join();
    s.m_bFinished.store(true);
}

void SoundLibrary::StopStream(int channel)
{
    if (!m_bInitialised || !ValidChannel(channel))
        return;
    SoundStream& s = m_Streams[channel];
    if (!s.m_bOpen)
        return;
    m_Output.set_volume(s.m_Buffer, platform::kAudioVolumeSilent);
    EndStreamThread(s);
    s.m_pFile.reset();
    m_Output.release(s.m_Buffer);
    s.m_Buffer = platform::kNoAudioBuffer;
    s.m_bOpen = false;
    s.m_uPlayed = 0;
    s.m_uRefillPosition = 0;
}

void SoundLibrary::SetStreamVolume(float v, int channel)
{
    if (!ValidChannel(channel))
        return;
    m_fStreamVolume[channel] = v;
    SoundStream& s = m_Streams[channel];
    if (!m_bInitialised || !s.m_bOpen)
        return;
    std::int32_t level = platform::kAudioVolumeSilent;
    if (v > 0.0f)
        level = static_cast<std::int32_t>(
            std::clamp(2000.0 * std::log10(static_cast<double>(v)), -10000.0, 0.0));
    m_Output.set_volume(s.m_Buffer, level);
}

bool SoundLibrary::RefillBlock(SoundStream& s)
{
    platform::AudioLock lock;
    if (!m_Output.lock(s.m_Buffer, s.m_uWriteOffset, s.m_uBlockSize, lock))
        return false;
    if (s.m_nEnded) {
        std::memset(lock.part1, SilenceByte(s.m_Format), lock.bytes1);
    } else {
        bool ended = false;
        ReadStreamData(s, lock.part1, lock.bytes1, ended);
        if (ended)
            s.m_nEnded = 1;
    }
    m_Output.unlock(s.m_Buffer, lock);
    m_Output.add_filled(s.m_Buffer, s.m_uBlockSize);
    s.m_uWriteOffset = (s.m_uWriteOffset + s.m_uBlockSize) % s.m_uBufferSize;
    s.m_uRefillPosition += s.m_uBlockSize;
    s.m_uBlocksWritten.fetch_add(1);
    return true;
}

bool SoundLibrary::RefillPlayedBlocks(SoundStream& s)
{
    // Every whole block played since the last refill is written again, so a
    // thread woken late (or once for two blocks) catches up.
    std::uint32_t ahead = 0;
    m_Output.filled_ahead(s.m_Buffer, ahead);
    for (std::uint32_t due = (s.m_uBufferSize - std::min(ahead, s.m_uBufferSize)) / s.m_uBlockSize; due > 0; --due) {
        // The block held the music from this stream position; once that
        // reaches the end of a one-shot file and the block is silence, the
        // whole buffer is: the thread's work is done, and the buffer plays
        // silence until it is stopped.
        const std::uint32_t heldFrom = s.m_uRefillPosition;
        const bool wasEnded = s.m_nEnded != 0;
        if (!RefillBlock(s))
            return false;
        if (wasEnded && heldFrom + s.m_uBlockSize >= s.m_uDataSize)
            return false;
    }
    return true;
}

void SoundLibrary::StreamThread(int channel)
{
    SoundStream& s = m_Streams[channel];
    while (s.m_nStop.load() != 1) {
        const int which = platform::wait_any(s.m_NotifyEvent, s.m_StopEvent, platform::kInfinite);
        if (which < 0 || s.m_nStop.load() == 1)
            break;
        if (which == 1) {
            s.m_nStop.store(1);
            m_Output.stop(s.m_Buffer);
            break;
        }
        std::uint32_t cursor = 0;
        m_Output.position(s.m_Buffer, cursor);
        s.m_uPlayed += (cursor + s.m_uBufferSize - s.m_uLastPlayPosition) % s.m_uBufferSize;
        s.m_uLastPlayPosition = cursor;
        if (!RefillPlayedBlocks(s))
            break;
    }
    s.m_bFinished.store(true);
}
