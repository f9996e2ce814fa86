#pragma once

#include <cstdint>

#include "platform/audio.h"

class mixer;

// ".wav" files: RIFF "WAVE" with a "fmt " chunk of PCM (8 or 16 bit, mono
// or stereo, 100 to 100000 Hz) and a "data" chunk.
//
// Chunks are walked by their sizes, each padded to an even length; chunks
// other than "fmt " and "data" (LIST, fact, cue ...) are skipped, and a
// format chunk longer than 16 bytes (18 with its extra-size word, or more)
// is read right. The data's size is cut to what the file holds and to
// whole frames.
struct WavInfo {
    platform::PcmFormat format;
    std::uint32_t data_start = 0; // offset of the first sample byte in the file
    std::uint32_t data_size = 0;  // bytes of whole frames
};

// Opens a sound file from disk, else as an entry of its folder's ".mix"
// archive ("Sfx\Crash1.wav" in "Sfx.mix"). False when neither opens.
bool OpenSoundFile(const char* name, mixer& file);

// Reads the chunks up to the data of a file opened at its start, leaving
// the file anywhere. False for anything that is not a PCM wave file of the
// formats above, and for one without sound data.
bool ReadWavHeader(mixer& file, WavInfo& info);
