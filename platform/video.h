#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The video service: video files decoded on a thread of their own, frame
// after frame in order, with their sound track decoded to PCM at a format
// the caller asks for; and, for the data kit, writing such files.
//
// It plays through FFmpeg's libraries where the build found them
// (video_supported()); without them every video fails to open, which the
// menus treat as a video that cannot play.
namespace platform {

// Whether this build can decode and encode videos.
bool video_supported();

// One decoded picture: width x height RGB triples, top row first.
struct VideoFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// Sizes a video may have; anything larger is refused as damaged.
inline constexpr int kVideoMaxSide = 2048;

class VideoStream {
public:
    // Opens a file by its program path (resolved as every file is). Null,
    // with `error`, when it cannot be read or holds no video it can decode.
    static std::unique_ptr<VideoStream> open(std::string_view program_path, std::string* error = nullptr);
    virtual ~VideoStream() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    // Frames per second as the file gives it (25 when it gives none).
    virtual double frame_rate() const = 0;

    // Starts the decoding thread; it keeps a few frames ready ahead.
    virtual void start() = 0;
    enum class Next { Frame, End, Failed, Late };
    // The next frame in order: Frame (in `out`), End after the last, Failed
    // when the file turned out damaged, Late when none came within
    // `wait_ms` (the decoder is still working on it).
    virtual Next next_frame(VideoFrame& out, std::uint32_t wait_ms) = 0;
    // Stops the thread (what was not taken is dropped).
    virtual void stop() = 0;

    // The whole sound track as interleaved 16-bit samples at `rate` Hz and
    // `channels` channels (1 or 2), at most `max_seconds` of it. False when
    // the file has no sound it can decode.
    virtual bool decode_sound(std::uint32_t rate, int channels, double max_seconds,
                              std::vector<std::int16_t>& out) = 0;
};

// What the data kit's videos are made of.
struct VideoSource {
    int width = 0;
    int height = 0;
    int frame_rate = 0;
    std::vector<VideoFrame> frames;      // each width x height
    std::uint32_t sound_rate = 22050;
    int sound_channels = 2;
    std::vector<std::int16_t> sound;     // interleaved; may be empty
};

// Writes an ".avi" file of MPEG-4 Part 2 video (and 16-bit PCM sound),
// through a temporary file renamed into place. False, with `error`, when the
// libraries are absent or writing fails.
bool write_video(const std::string& native_path, const VideoSource& source, std::string* error = nullptr);

} // namespace platform
