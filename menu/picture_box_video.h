#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/video.h"

class render_device;

// A video as the menus play it: its file decoded on the video service's
// thread, the current frame kept as a picture in the screen's own pixel
// format (the "sample"), copied into the back buffer where it is shown, and
// its sound track played once through the sound library's output.
class VideoInWindow {
public:
    // 0 opened, not yet running; 1 playing; 2 ended.
    enum State : std::int32_t { kStart = 0, kPlaying = 1, kEnded = 2 };

    VideoInWindow() = default;
    ~VideoInWindow() { Stop(); }
    VideoInWindow(const VideoInWindow&) = delete;
    VideoInWindow& operator=(const VideoInWindow&) = delete;

    // Opens the file (a program path); false, with `error`, when it cannot.
    bool Open(const char* path, std::string* error = nullptr);
    bool IsOpen() const { return m_pStream != nullptr; }
    std::int32_t Width() const;
    std::int32_t Height() const;
    double FrameRate() const;

    // Makes the sample (a picture of the video's size in the screen's
    // format) and starts decoding and the sound. False when the sample
    // cannot be made; nothing is left made then.
    bool Start();
    // Waits for the next frame and converts it into the sample. Frame, End
    // or Failed; Late when the decoder did not deliver within `wait_ms`.
    platform::VideoStream::Next NextFrame(std::uint32_t wait_ms);
    // Copies the sample into the back buffer's rectangle (stretched when its
    // size differs from the video's), cut to the screen.
    void Show(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) const;
    // Stops decoding and the sound and lets the sample go; the file stays
    // open, so Start plays it again from its beginning.
    void Stop();
    bool HasSample() const { return !m_Sample.empty(); }
    // The sound's buffer in the sound library's output (none without sound).
    platform::AudioBufferId SoundBuffer() const { return m_Sound; }
    // Frames converted since the last Start.
    std::int32_t FramesShown() const { return m_nFrames; }

    std::int32_t m_nState = kEnded;

private:
    void StartSound();
    // The screen's pixel value of an RGB colour.
    std::uint32_t Pack(std::uint8_t r, std::uint8_t g, std::uint8_t b) const;

    std::unique_ptr<platform::VideoStream> m_pStream;
    platform::VideoFrame m_Frame;
    // The sample: width x height pixels of `m_nPixelBytes` bytes.
    std::vector<std::uint8_t> m_Sample;
    std::int32_t m_nPixelBytes = 0;
    std::uint32_t m_Masks[3] = {};
    // The 8-bit screen: the nearest palette entry of every 15-bit colour.
    std::vector<std::uint8_t> m_Nearest;
    platform::AudioBufferId m_Sound = platform::kNoAudioBuffer;
    std::int32_t m_nFrames = 0;
};
