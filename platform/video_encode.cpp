// Writing ".avi" videos (MPEG-4 Part 2 pictures, 16-bit PCM sound) through
// FFmpeg's libraries, for the data kit.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/video.h"

#if TORVANE_HAVE_FFMPEG

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace platform {

namespace {

// Quantiser of every picture: fine enough that a decoded picture stays
// well within 30 dB of its source.
constexpr int kQuantiser = 3;
constexpr int kSoundFrame = 1024;

struct Writer {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* sound = nullptr;
    AVStream* video_stream = nullptr;
    AVStream* sound_stream = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    bool opened_file = false;

    ~Writer()
    {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&video);
        avcodec_free_context(&sound);
        if (format && opened_file)
            avio_closep(&format->pb);
        avformat_free_context(format);
    }

    // Sends a frame (null: the end) and writes every packet it gives.
    bool send(AVCodecContext* codec, AVStream* stream, AVFrame* f)
    {
        if (avcodec_send_frame(codec, f) < 0)
            return false;
        for (;;) {
            const int r = avcodec_receive_packet(codec, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                return false;
        }
    }
};

bool fail(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
}

bool write_all(Writer& w, const std::string& path, const VideoSource& source, std::string* error)
{
    if (avformat_alloc_output_context2(&w.format, nullptr, "avi", path.c_str()) < 0 || !w.format)
        return fail(error, "no avi writer");
    const AVCodec* mpeg4 = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!mpeg4)
        return fail(error, "no MPEG-4 encoder");
    w.video_stream = avformat_new_stream(w.format, nullptr);
    w.video = avcodec_alloc_context3(mpeg4);
    if (!w.video_stream || !w.video || !w.packet || !w.frame)
        return fail(error, "out of memory");
    w.video->width = source.width;
    w.video->height = source.height;
    w.video->time_base = AVRational{1, source.frame_rate};
    w.video->framerate = AVRational{source.frame_rate, 1};
    w.video->pix_fmt = AV_PIX_FMT_YUV420P;
    w.video->gop_size = 12;
    w.video->max_b_frames = 0;
    w.video->flags |= AV_CODEC_FLAG_QSCALE;
    w.video->global_quality = FF_QP2LAMBDA * kQuantiser;
    if (w.format->oformat->flags & AVFMT_GLOBALHEADER)
        w.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // One thread and no version marks, so the same frames give the same bytes.
    w.video->thread_count = 1;
    w.video->flags |= AV_CODEC_FLAG_BITEXACT;
    if (avcodec_open2(w.video, mpeg4, nullptr) < 0 ||
        avcodec_parameters_from_context(w.video_stream->codecpar, w.video) < 0)
        return fail(error, "cannot start the MPEG-4 encoder");
    w.video_stream->time_base = w.video->time_base;

    const bool with_sound = !source.sound.empty();
    if (with_sound) {
        const AVCodec* pcm = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        w.sound_stream = avformat_new_stream(w.format, nullptr);
        w.sound = pcm ? avcodec_alloc_context3(pcm) : nullptr;
        if (!w.sound || !w.sound_stream)
            return fail(error, "no PCM encoder");
        w.sound->sample_fmt = AV_SAMPLE_FMT_S16;
        w.sound->sample_rate = static_cast<int>(source.sound_rate);
        av_channel_layout_default(&w.sound->ch_layout, source.sound_channels);
        w.sound->time_base = AVRational{1, w.sound->sample_rate};
        if (avcodec_open2(w.sound, pcm, nullptr) < 0 ||
            avcodec_parameters_from_context(w.sound_stream->codecpar, w.sound) < 0)
            return fail(error, "cannot start the PCM encoder");
        w.sound_stream->time_base = w.sound->time_base;
    }

    if (avio_open(&w.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return fail(error, "cannot create the video file");
    w.opened_file = true;
    // Same bytes every run: no encoder version or date in the file.
    w.format->flags |= AVFMT_FLAG_BITEXACT;
    if (avformat_write_header(w.format, nullptr) < 0)
        return fail(error, "cannot write the video header");

    w.frame->format = AV_PIX_FMT_YUV420P;
    w.frame->width = source.width;
    w.frame->height = source.height;
    if (av_frame_get_buffer(w.frame, 0) < 0)
        return fail(error, "out of memory");
    w.scaler = sws_getContext(source.width, source.height, AV_PIX_FMT_RGB24, source.width, source.height,
                              AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!w.scaler)
        return fail(error, "no colour converter");
    std::int64_t index = 0;
    for (const VideoFrame& picture : source.frames) {
        if (picture.width != source.width || picture.height != source.height ||
            picture.rgb.size() != static_cast<std::size_t>(source.width) * source.height * 3)
            return fail(error, "a frame of another size");
        if (av_frame_make_writable(w.frame) < 0)
            return fail(error, "out of memory");
        const std::uint8_t* planes[1] = {picture.rgb.data()};
        const int pitches[1] = {source.width * 3};
        sws_scale(w.scaler, planes, pitches, 0, source.height, w.frame->data, w.frame->linesize);
        w.frame->pts = index++;
        if (!w.send(w.video, w.video_stream, w.frame))
            return fail(error, "cannot encode a picture");
    }
    if (!w.send(w.video, w.video_stream, nullptr))
        return fail(error, "cannot finish the pictures");

    if (with_sound) {
        const int channels = source.sound_channels;
        const std::size_t total = source.sound.size() / static_cast<std::size_t>(channels);
        AVFrame* part = av_frame_alloc();
        std::int64_t at = 0;
        bool ok = part != nullptr;
        while (ok && static_cast<std::size_t>(at) < total) {
            const int n = static_cast<int>(std::min<std::size_t>(kSoundFrame, total - static_cast<std::size_t>(at)));
            av_frame_unref(part);
            part->format = AV_SAMPLE_FMT_S16;
            part->nb_samples = n;
            part->sample_rate = w.sound->sample_rate;
            av_channel_layout_copy(&part->ch_layout, &w.sound->ch_layout);
            ok = av_frame_get_buffer(part, 0) >= 0;
            if (ok) {
                std::copy_n(source.sound.data() + at * channels, static_cast<std::size_t>(n) * channels,
                            reinterpret_cast<std::int16_t*>(part->data[0]));
                part->pts = at;
                ok = w.send(w.sound, w.sound_stream, part);
            }
            at += n;
        }
        av_frame_free(&part);
        if (!ok || !w.send(w.sound, w.sound_stream, nullptr))
            return fail(error, "cannot write the sound");
    }
    if (av_write_trailer(w.format) < 0)
        return fail(error, "cannot finish the video file");
    return true;
}

} // namespace

bool write_video(const std::string& native_path, const VideoSource& source, std::string* error)
{
    if (source.width <= 0 || source.height <= 0 || source.frame_rate <= 0 || source.frames.empty() ||
        (source.sound_channels != 1 && source.sound_channels != 2))
        return fail(error, "nothing to write");
    av_log_set_level(AV_LOG_QUIET);
    const std::string temporary = native_path + ".tmp";
    bool ok;
    {
        Writer w;
        ok = write_all(w, temporary, source, error);
    }
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temporary, native_path, ec);
        if (ec)
            ok = fail(error, "cannot rename the video file");
    }
    if (!ok)
        std::filesystem::remove(temporary, ec);
    return ok;
}

} // namespace platform

#else

namespace platform {

bool write_video(const std::string& native_path, const VideoSource& /*source*/, std::string* error)
{
    if (error)
        *error = "videos cannot be written in this build (" + native_path + ")";
    return false;
}

} // namespace platform

#endif
