#include "media/movie_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

namespace cv {

namespace {

struct Output {
    AVFormatContext* oc = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* vs = nullptr;
    AVStream* as = nullptr;
    AVPacket* packet = av_packet_alloc();
    ~Output() {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (oc && !(oc->oformat->flags & AVFMT_NOFILE)) avio_closep(&oc->pb);
        avformat_free_context(oc);
        av_packet_free(&packet);
    }
    bool drain(AVCodecContext* c, AVStream* s, const AVFrame* f) {
        if (avcodec_send_frame(c, f) < 0) return false;
        int rc;
        while ((rc = avcodec_receive_packet(c, packet)) == 0) {
            // Every picture lasts one frame period, the last one too (else it is cut off).
            if (c->codec_type == AVMEDIA_TYPE_VIDEO && packet->duration <= 0) packet->duration = 1;
            av_packet_rescale_ts(packet, c->time_base, s->time_base);
            packet->stream_index = s->index;
            if (av_interleaved_write_frame(oc, packet) < 0) return false;
        }
        return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
    }
};

AVPixelFormat encoderFormat(const std::string& codec) {
    if (codec == "msvideo1") return AV_PIX_FMT_RGB555LE;
    if (codec == "rawvideo") return AV_PIX_FMT_BGR24;
    return AV_PIX_FMT_RGB24;
}

bool fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

bool openVideo(Output& o, const MovieToWrite& desc, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(desc.codec.c_str());
    if (!codec) return fail(error, "no encoder " + desc.codec);
    o.vs = avformat_new_stream(o.oc, nullptr);
    o.video = avcodec_alloc_context3(codec);
    if (!o.vs || !o.video) return fail(error, "out of memory");
    o.video->width = desc.width;
    o.video->height = desc.height;
    o.video->time_base = AVRational{1, desc.fps};
    o.video->framerate = AVRational{desc.fps, 1};
    o.video->pix_fmt = encoderFormat(desc.codec);
    o.video->gop_size = 5;
    if (o.oc->oformat->flags & AVFMT_GLOBALHEADER) o.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(o.video, codec, nullptr) < 0) return fail(error, "cannot open encoder " + desc.codec);
    if (avcodec_parameters_from_context(o.vs->codecpar, o.video) < 0) return fail(error, "parameters");
    o.vs->time_base = o.video->time_base;
    return true;
}

bool openAudio(Output& o, const MovieToWrite& desc, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder(desc.container == "avi" ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_S16BE);
    o.as = avformat_new_stream(o.oc, nullptr);
    o.audio = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!o.as || !o.audio) return fail(error, "no PCM encoder");
    o.audio->sample_fmt = AV_SAMPLE_FMT_S16;
    o.audio->sample_rate = desc.audioRate;
    av_channel_layout_default(&o.audio->ch_layout, 1);
    o.audio->time_base = AVRational{1, desc.audioRate};
    if (avcodec_open2(o.audio, codec, nullptr) < 0) return fail(error, "cannot open the PCM encoder");
    if (avcodec_parameters_from_context(o.as->codecpar, o.audio) < 0) return fail(error, "parameters");
    o.as->time_base = o.audio->time_base;
    return true;
}

bool writeVideo(Output& o, const MovieToWrite& desc, std::string* error) {
    AVFrame* f = av_frame_alloc();
    SwsContext* sws = sws_getContext(desc.width, desc.height, AV_PIX_FMT_RGB24, desc.width, desc.height,
                                     o.video->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
    std::vector<uint8_t> rgb(size_t(desc.width) * size_t(desc.height) * 3);
    bool ok = f && sws;
    if (ok) {
        f->format = o.video->pix_fmt;
        f->width = desc.width;
        f->height = desc.height;
        ok = av_frame_get_buffer(f, 0) >= 0;
    }
    for (int n = 0; ok && n < desc.frames; ++n) {
        ok = av_frame_make_writable(f) >= 0;
        std::fill(rgb.begin(), rgb.end(), uint8_t(0));
        if (desc.draw) desc.draw(n, rgb.data());
        const uint8_t* src[1] = {rgb.data()};
        const int stride[1] = {desc.width * 3};
        ok = ok && sws_scale(sws, src, stride, 0, desc.height, f->data, f->linesize) == desc.height;
        f->pts = n;
        ok = ok && o.drain(o.video, o.vs, f);
    }
    ok = ok && o.drain(o.video, o.vs, nullptr);
    sws_freeContext(sws);
    av_frame_free(&f);
    return ok || fail(error, "encoding the pictures failed");
}

bool writeAudio(Output& o, const MovieToWrite& desc, std::string* error) {
    const double seconds = desc.audioSeconds >= 0 ? desc.audioSeconds : double(desc.frames) / desc.fps;
    const int total = int(seconds * desc.audioRate);
    constexpr int kChunk = 1024;
    AVFrame* f = av_frame_alloc();
    bool ok = f != nullptr;
    for (int at = 0; ok && at < total; at += kChunk) {
        const int n = std::min(kChunk, total - at);
        av_frame_unref(f);
        f->format = AV_SAMPLE_FMT_S16;
        f->sample_rate = desc.audioRate;
        f->nb_samples = n;
        av_channel_layout_default(&f->ch_layout, 1);
        ok = av_frame_get_buffer(f, 0) >= 0;
        if (!ok) break;
        auto* s = reinterpret_cast<int16_t*>(f->data[0]);
        for (int i = 0; i < n; ++i)
            s[i] = int16_t(std::lround(12000 * std::sin(2 * std::numbers::pi * desc.toneHz * (at + i) / desc.audioRate)));
        f->pts = at;
        ok = o.drain(o.audio, o.as, f);
    }
    ok = ok && o.drain(o.audio, o.as, nullptr);
    av_frame_free(&f);
    return ok || fail(error, "encoding the sound failed");
}

// The chapter marks, each running to the next (the last to the end of the pictures).
bool addChapters(AVFormatContext* oc, const MovieToWrite& desc) {
    if (desc.chaptersMs.empty()) return true;
    const int64_t endMs = int64_t(desc.frames) * 1000 / std::max(1, desc.fps);
    oc->chapters = static_cast<AVChapter**>(av_calloc(desc.chaptersMs.size(), sizeof(AVChapter*)));
    if (!oc->chapters) return false;
    for (size_t i = 0; i < desc.chaptersMs.size(); ++i) {
        auto* c = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!c) return false;
        c->id = int64_t(i) + 1;
        c->time_base = AVRational{1, 1000};
        c->start = desc.chaptersMs[i];
        c->end = i + 1 < desc.chaptersMs.size() ? desc.chaptersMs[i + 1] : endMs;
        av_dict_set(&c->metadata, "title", ("Chapter " + std::to_string(i + 1)).c_str(), 0);
        oc->chapters[oc->nb_chapters++] = c;
    }
    return true;
}

} // namespace

bool WriteMovie(const std::string& path, const MovieToWrite& desc, std::string* error) {
    Output o;
    if (avformat_alloc_output_context2(&o.oc, nullptr, desc.container.c_str(), path.c_str()) < 0 || !o.oc)
        return fail(error, "no muxer " + desc.container);
    if (desc.pictures && !openVideo(o, desc, error)) return false;
    if (desc.tone && !openAudio(o, desc, error)) return false;
    if (!(o.oc->oformat->flags & AVFMT_NOFILE) && avio_open(&o.oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return fail(error, "cannot write " + path);
    if (!addChapters(o.oc, desc)) return fail(error, "no memory for the chapters");
    if (avformat_write_header(o.oc, nullptr) < 0) return fail(error, "the muxer refused the header");
    if (desc.pictures && !writeVideo(o, desc, error)) return false;
    if (desc.tone && !writeAudio(o, desc, error)) return false;
    if (av_write_trailer(o.oc) < 0) return fail(error, "the muxer refused the trailer");
    avio_closep(&o.oc->pb);
    return true;
}

} // namespace cv
