// Decoding video files through FFmpeg's libraries, on a thread per video.
// Without the libraries (TORVANE_HAVE_FFMPEG unset) no video opens.
#include "platform/video.h"

#include "platform/path_resolver.h"

#if TORVANE_HAVE_FFMPEG

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace platform {

namespace {

// Frames decoded ahead of the one shown.
constexpr std::size_t kFramesAhead = 4;
constexpr double kDefaultFrameRate = 25.0;

std::string av_text(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void set_error(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

// An opened file with the decoder of one of its streams.
struct Demuxed {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    int stream = -1;

    ~Demuxed()
    {
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    bool open(const std::string& native, AVMediaType type, std::string* error)
    {
        int r = avformat_open_input(&format, native.c_str(), nullptr, nullptr);
        if (r < 0) {
            set_error(error, "cannot open " + native + ": " + av_text(r));
            return false;
        }
        if ((r = avformat_find_stream_info(format, nullptr)) < 0) {
            set_error(error, "cannot read " + native + ": " + av_text(r));
            return false;
        }
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(format, type, -1, -1, &decoder, 0);
        if (stream < 0 || !decoder) {
            set_error(error, "no stream to decode in " + native);
            return false;
        }
        codec = avcodec_alloc_context3(decoder);
        if (!codec || avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) < 0 ||
            avcodec_open2(codec, decoder, nullptr) < 0) {
            set_error(error, "cannot start the decoder of " + native);
            return false;
        }
        return true;
    }
};

class FfmpegStream final : public VideoStream {
public:
    ~FfmpegStream() override { stop(); }

    bool open(const std::string& native, std::string* error)
    {
        native_ = native;
        video_ = std::make_unique<Demuxed>();
        if (!video_->open(native, AVMEDIA_TYPE_VIDEO, error))
            return false;
        width_ = video_->codec->width;
        height_ = video_->codec->height;
        if (width_ <= 0 || height_ <= 0 || width_ > kVideoMaxSide || height_ > kVideoMaxSide) {
            set_error(error, "the video of " + native + " has no usable size");
            return false;
        }
        const AVRational rate = video_->format->streams[video_->stream]->avg_frame_rate;
        rate_ = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : kDefaultFrameRate;
        return true;
    }

    int width() const override { return width_; }
    int height() const override { return height_; }
    double frame_rate() const override { return rate_; }

    void start() override
    {
        stop();
        // A stream that has run plays again from the start of its file.
        if (ran_) {
            auto again = std::make_unique<Demuxed>();
            if (!again->open(native_, AVMEDIA_TYPE_VIDEO, nullptr) || again->codec->width != width_ ||
                again->codec->height != height_) {
                std::lock_guard lock(mutex_);
                done_ = failed_ = true;
                return;
            }
            video_ = std::move(again);
        }
        {
            std::lock_guard lock(mutex_);
            queue_.clear();
            stopping_ = done_ = failed_ = false;
        }
        ran_ = true;
        thread_ = std::thread([this] { run(); });
    }

    Next next_frame(VideoFrame& out, std::uint32_t wait_ms) override
    {
        std::unique_lock lock(mutex_);
        if (!ran_)
            return Next::Failed;
        ready_.wait_for(lock, std::chrono::milliseconds(wait_ms), [this] { return !queue_.empty() || done_; });
        if (!queue_.empty()) {
            out = std::move(queue_.front());
            queue_.pop_front();
            room_.notify_one();
            return Next::Frame;
        }
        if (done_)
            return failed_ ? Next::Failed : Next::End;
        return Next::Late;
    }

    void stop() override
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        room_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    bool decode_sound(std::uint32_t rate, int channels, double max_seconds, std::vector<std::int16_t>& out) override;

private:
    void run();
    // Hands a decoded picture to the queue; false when told to stop.
    bool deliver(const AVFrame& frame, SwsContext*& scaler);
    void finish(bool failed)
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        failed_ = failed;
        ready_.notify_all();
    }

    std::string native_;
    std::unique_ptr<Demuxed> video_;
    bool ran_ = false;
    int width_ = 0, height_ = 0;
    double rate_ = kDefaultFrameRate;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<VideoFrame> queue_;
    bool stopping_ = false, done_ = false, failed_ = false;
};

bool FfmpegStream::deliver(const AVFrame& frame, SwsContext*& scaler)
{
    // A frame of another size than the stream's is the sign of a damaged file.
    if (frame.width != width_ || frame.height != height_)
        return false;
    scaler = sws_getCachedContext(scaler, width_, height_, static_cast<AVPixelFormat>(frame.format), width_, height_,
                                  AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler)
        return false;
    VideoFrame picture;
    picture.width = width_;
    picture.height = height_;
    picture.rgb.resize(static_cast<std::size_t>(width_) * height_ * 3);
    std::uint8_t* planes[1] = {picture.rgb.data()};
    const int pitches[1] = {width_ * 3};
    if (sws_scale(scaler, frame.data, frame.linesize, 0, height_, planes, pitches) != height_)
        return false;
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return queue_.size() < kFramesAhead || stopping_; });
    if (stopping_)
        return false;
    queue_.push_back(std::move(picture));
    ready_.notify_one();
    return true;
}

void FfmpegStream::run()
{
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    bool failed = !packet || !frame;
    bool ended = false;
    // Reads packets and takes every picture they give; at the end of the
    // file the decoder is drained.
    while (!failed && !ended) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
        }
        int r = av_read_frame(video_->format, packet);
        if (r == AVERROR_EOF) {
            ended = true;
            r = avcodec_send_packet(video_->codec, nullptr);
        } else if (r < 0) {
            failed = true;
            break;
        } else {
            if (packet->stream_index == video_->stream)
                r = avcodec_send_packet(video_->codec, packet);
            av_packet_unref(packet);
            // A damaged packet is skipped, as players do; the next key
            // frame takes over.
            if (r < 0 && r != AVERROR(EAGAIN))
                r = 0;
        }
        while (!failed) {
            r = avcodec_receive_frame(video_->codec, frame);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                break;
            if (r < 0)
                break;  // a picture that cannot be decoded is left out
            if (!deliver(*frame, scaler)) {
                std::lock_guard lock(mutex_);
                failed = !stopping_;
                ended = stopping_;
            }
            av_frame_unref(frame);
        }
    }
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    finish(failed);
}

bool FfmpegStream::decode_sound(std::uint32_t rate, int channels, double max_seconds, std::vector<std::int16_t>& out)
{
    out.clear();
    Demuxed sound;
    if (channels < 1 || channels > 2 || rate == 0 || !sound.open(native_, AVMEDIA_TYPE_AUDIO, nullptr))
        return false;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    SwrContext* resampler = nullptr;
    AVChannelLayout in_layout{};
    if (sound.codec->ch_layout.nb_channels > 0)
        av_channel_layout_copy(&in_layout, &sound.codec->ch_layout);
    else
        av_channel_layout_default(&in_layout, 1);
    if (swr_alloc_set_opts2(&resampler, &layout, AV_SAMPLE_FMT_S16, static_cast<int>(rate), &in_layout,
                            sound.codec->sample_fmt, sound.codec->sample_rate, 0, nullptr) < 0 ||
        swr_init(resampler) < 0) {
        swr_free(&resampler);
        av_channel_layout_uninit(&in_layout);
        return false;
    }
    const std::size_t limit = static_cast<std::size_t>(std::max(0.0, max_seconds) * rate) * channels;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&](const AVFrame* f) {
        const int in = f ? f->nb_samples : 0;
        const int room = swr_get_out_samples(resampler, in);
        if (room <= 0)
            return;
        std::vector<std::int16_t> part(static_cast<std::size_t>(room) * channels);
        auto* dst = reinterpret_cast<std::uint8_t*>(part.data());
        const int made = swr_convert(resampler, &dst, room, f ? const_cast<const std::uint8_t**>(f->extended_data) : nullptr, in);
        if (made > 0) {
            const std::size_t n = std::min(static_cast<std::size_t>(made) * channels, limit - std::min(limit, out.size()));
            out.insert(out.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(n));
        }
    };
    bool ended = false;
    while (packet && frame && !ended && out.size() < limit) {
        int r = av_read_frame(sound.format, packet);
        if (r < 0) {
            ended = true;
            avcodec_send_packet(sound.codec, nullptr);
        } else {
            if (packet->stream_index == sound.stream)
                avcodec_send_packet(sound.codec, packet);
            av_packet_unref(packet);
        }
        while (avcodec_receive_frame(sound.codec, frame) >= 0) {
            if (frame->sample_rate == sound.codec->sample_rate)
                take(frame);
            av_frame_unref(frame);
        }
    }
    take(nullptr);
    av_frame_free(&frame);
    av_packet_free(&packet);
    swr_free(&resampler);
    av_channel_layout_uninit(&in_layout);
    av_channel_layout_uninit(&layout);
    return !out.empty();
}

} // namespace

bool video_supported()
{
    return true;
}

std::unique_ptr<VideoStream> VideoStream::open(std::string_view program_path, std::string* error)
{
    const std::optional<std::string> native = resolve_existing(program_path);
    if (!native) {
        set_error(error, "no file " + std::string(program_path));
        return nullptr;
    }
    av_log_set_level(AV_LOG_QUIET);
    auto stream = std::make_unique<FfmpegStream>();
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(*native, ec);
    if (!stream->open(ec ? *native : absolute.string(), error))
        return nullptr;
    return stream;
}

} // namespace platform

#else  // no FFmpeg

namespace platform {

bool video_supported()
{
    return false;
}

std::unique_ptr<VideoStream> VideoStream::open(std::string_view program_path, std::string* error)
{
    if (error)
        *error = "videos cannot play in this build (" + std::string(program_path) + ")";
    return nullptr;
}

} // namespace platform

#endif
