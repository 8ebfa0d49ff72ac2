#include "movie_maker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace cv::test {

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

// Frame `n` in RGB24: the number's bits as blocks in the upper half, green below.
std::vector<uint8_t> drawFrame(int width, int height, int n) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            if (y >= height / 2) {
                p[0] = (kMovieGreen >> 16) & 0xFF;
                p[1] = (kMovieGreen >> 8) & 0xFF;
                p[2] = kMovieGreen & 0xFF;
                continue;
            }
            const int bit = x * kFrameBits / width;
            const uint8_t v = (n >> bit) & 1 ? 255 : 0;
            p[0] = p[1] = p[2] = v;
        }
    }
    return rgb;
}

bool fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

bool openVideo(Output& o, const TestMovie& desc, std::string* error) {
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

bool openAudio(Output& o, const TestMovie& desc, std::string* error) {
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

bool writeVideo(Output& o, const TestMovie& desc, std::string* error) {
    AVFrame* f = av_frame_alloc();
    SwsContext* sws = sws_getContext(desc.width, desc.height, AV_PIX_FMT_RGB24, desc.width, desc.height,
                                     o.video->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
    bool ok = f && sws;
    if (ok) {
        f->format = o.video->pix_fmt;
        f->width = desc.width;
        f->height = desc.height;
        ok = av_frame_get_buffer(f, 0) >= 0;
    }
    for (int n = 0; ok && n < desc.frames; ++n) {
        ok = av_frame_make_writable(f) >= 0;
        const std::vector<uint8_t> rgb = drawFrame(desc.width, desc.height, n);
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

bool writeAudio(Output& o, const TestMovie& desc, std::string* error) {
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

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

void put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Adds moov/udta/ctyp: the muxer writes 'moov' last, so it can grow at the end of the file.
bool addVrType(const std::string& path) {
    std::vector<uint8_t> b = readAll(path);
    size_t at = 0;
    while (at + 8 <= b.size()) {
        const uint32_t size = uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
        if (size < 8 || at + size > b.size()) return false;
        if (std::memcmp(&b[at + 4], "moov", 4) == 0) {
            if (at + size != b.size()) return false;
            const uint8_t udta[20] = {0, 0, 0, 20, 'u', 'd', 't', 'a', 0, 0, 0, 12, 'c', 't', 'y', 'p', 'q', 't', 'v', 'r'};
            b.insert(b.end(), std::begin(udta), std::end(udta));
            put32(&b[at], size + 20);
            return writeAll(path, b);
        }
        at += size;
    }
    return false;
}

// Writes `tag` over the picture handler the AVI muxer wrote (in the stream header and the
// bitmap header), so the file claims a codec nothing here can encode.
bool forceAviTag(const std::string& path, const std::string& codec, const std::string& tag) {
    const char* written = codec == "msvideo1" ? "MSVC" : nullptr;
    if (!written || tag.size() != 4) return false;
    std::vector<uint8_t> b = readAll(path);
    int replaced = 0;
    // Only in the headers, which come before the first frame.
    for (size_t i = 0; i + 4 <= std::min<size_t>(b.size(), 1024); ++i) {
        if (std::memcmp(&b[i], written, 4) == 0) {
            std::memcpy(&b[i], tag.data(), 4);
            ++replaced;
        }
    }
    return replaced > 0 && writeAll(path, b);
}

} // namespace

bool makeTestMovie(const std::string& path, const TestMovie& desc, std::string* error) {
    Output o;
    if (avformat_alloc_output_context2(&o.oc, nullptr, desc.container.c_str(), path.c_str()) < 0 || !o.oc)
        return fail(error, "no muxer " + desc.container);
    if (desc.pictures && !openVideo(o, desc, error)) return false;
    if (desc.tone && !openAudio(o, desc, error)) return false;
    if (!(o.oc->oformat->flags & AVFMT_NOFILE) && avio_open(&o.oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return fail(error, "cannot write " + path);
    if (avformat_write_header(o.oc, nullptr) < 0) return fail(error, "the muxer refused the header");
    if (desc.pictures && !writeVideo(o, desc, error)) return false;
    if (desc.tone && !writeAudio(o, desc, error)) return false;
    if (av_write_trailer(o.oc) < 0) return fail(error, "the muxer refused the trailer");
    avio_closep(&o.oc->pb);
    if (desc.vr && !addVrType(path)) return fail(error, "cannot add 'ctyp'");
    if (!desc.forceTag.empty() && !forceAviTag(path, desc.codec, desc.forceTag)) return fail(error, "cannot force the tag");
    return true;
}

} // namespace cv::test
