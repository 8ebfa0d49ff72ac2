#include "media/sound_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include "core/alerts.h"
#include "media/memory_input.h"

namespace cv {

namespace {

constexpr int kAlertBadSound = 2390;
constexpr int kAlertCannotOpen = 2286;
// Sound files may be recorded at any rate the format allows; beyond these it is damage.
constexpr int kMinFileRate = 1000;
constexpr int kMaxFileRate = 384000;
constexpr int kMaxChannels = 8;

// FFmpeg reports damage on stderr; the player says it once, through its own alert.
void quietFFmpeg() {
    static const bool once = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)once;
}

// Resamples decoded frames into the mixer's format, whatever the decoder hands out.
class Collector {
public:
    Collector(OutputFormat out, PcmBuffer* pcm) : out_(out), pcm_(pcm) {
        pcm_->rate = out.rate;
        pcm_->channels = out.channels;
        pcm_->samples.clear();
        maxFrames_ = size_t(kMaxSoundSeconds * out.rate);
    }
    ~Collector() { swr_free(&swr_); }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    bool add(const AVFrame* f) {
        if (f->nb_samples <= 0) return true;
        if (!swr_ && !open(f)) return false;
        if (f->sample_rate != inRate_ || f->format != inFormat_ || f->ch_layout.nb_channels != inChannels_)
            return false; // a stream that changes format midway is not a sound we play
        return convert(const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    }
    bool finish() { return !swr_ || convert(nullptr, 0); }
    bool gotFrames() const { return swr_ != nullptr; }

private:
    bool open(const AVFrame* f) {
        AVChannelLayout in{};
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&f->ch_layout) == 0)
            av_channel_layout_default(&in, f->ch_layout.nb_channels);
        else if (av_channel_layout_copy(&in, &f->ch_layout) < 0)
            return false;
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, out_.channels);
        const int rc = swr_alloc_set_opts2(&swr_, &outLayout, AV_SAMPLE_FMT_S16, out_.rate, &in,
                                           AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&outLayout);
        // A mono sound plays at its full level on both sides, not 3 dB down.
        if (rc >= 0 && f->ch_layout.nb_channels == 1 && out_.channels == 2) {
            const double both[2] = {1.0, 1.0};
            swr_set_matrix(swr_, both, 1);
        }
        if (rc < 0 || swr_init(swr_) < 0) {
            swr_free(&swr_);
            return false;
        }
        inRate_ = f->sample_rate;
        inFormat_ = f->format;
        inChannels_ = f->ch_layout.nb_channels;
        return true;
    }
    bool convert(const uint8_t** in, int count) {
        const int room = swr_get_out_samples(swr_, count);
        if (room < 0) return false;
        if (room == 0) return true;
        const size_t have = pcm_->samples.size();
        if (have / size_t(out_.channels) + size_t(room) > maxFrames_ + size_t(out_.rate)) return false;
        pcm_->samples.resize(have + size_t(room) * size_t(out_.channels));
        uint8_t* dst = reinterpret_cast<uint8_t*>(pcm_->samples.data() + have);
        const int made = swr_convert(swr_, &dst, room, in, count);
        if (made < 0) return false;
        pcm_->samples.resize(have + size_t(made) * size_t(out_.channels));
        return pcm_->frames() <= maxFrames_;
    }

    OutputFormat out_;
    PcmBuffer* pcm_;
    size_t maxFrames_ = 0;
    SwrContext* swr_ = nullptr;
    int inRate_ = 0, inFormat_ = -1, inChannels_ = 0;
};

struct CodecContext {
    AVCodecContext* ctx = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    ~CodecContext() {
        avcodec_free_context(&ctx);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
    // Sends one packet (nullptr flushes) and hands every frame that comes out to `c`.
    bool feed(const AVPacket* p, Collector& c) {
        int rc = avcodec_send_packet(ctx, p);
        if (rc < 0 && rc != AVERROR_EOF) return false;
        while ((rc = avcodec_receive_frame(ctx, frame)) == 0) {
            const bool ok = c.add(frame);
            av_frame_unref(frame);
            if (!ok) return false;
        }
        return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
    }
};

AVCodecID storedCodec(const SoundDescription& d) {
    if (d.dataFormat == kSoundMace3) return AV_CODEC_ID_MACE3;
    if (d.dataFormat == kSoundMace6) return AV_CODEC_ID_MACE6;
    return d.sampleSize == 16 ? AV_CODEC_ID_PCM_S16BE : AV_CODEC_ID_PCM_U8;
}

} // namespace

// Decodes everything an opened container holds in its best audio stream.
bool decodeContainer(AVFormatContext* fmt, OutputFormat out, PcmBuffer* pcm) {
    if (avformat_find_stream_info(fmt, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec) return false;
    const AVCodecParameters* par = fmt->streams[stream]->codecpar;
    if (par->sample_rate < kMinFileRate || par->sample_rate > kMaxFileRate) return false;
    if (par->ch_layout.nb_channels < 1 || par->ch_layout.nb_channels > kMaxChannels) return false;

    CodecContext cc;
    cc.ctx = avcodec_alloc_context3(codec);
    if (!cc.ctx || !cc.packet || !cc.frame) return false;
    if (avcodec_parameters_to_context(cc.ctx, par) < 0) return false;
    if (avcodec_open2(cc.ctx, codec, nullptr) < 0) return false;

    Collector collector(out, pcm);
    bool damaged = false;
    while (av_read_frame(fmt, cc.packet) >= 0) {
        bool ok = true;
        if (cc.packet->stream_index == stream) {
            AVPacket* p = av_packet_clone(cc.packet);
            ok = p && cc.feed(p, collector);
            av_packet_free(&p);
        }
        av_packet_unref(cc.packet);
        if (!ok) {
            damaged = true;
            break;
        }
    }
    if (!damaged && !cc.feed(nullptr, collector)) damaged = true;
    // Samples decoded before damage still play; a file that gives none is not a sound.
    if (damaged && !collector.gotFrames()) return false;
    if (!collector.finish()) return false;
    return collector.gotFrames() || !damaged;
}

int DecodeStoredSound(std::span<const uint8_t> resource, OutputFormat out, PcmBuffer* pcm) {
    quietFFmpeg();
    StoredSoundLayout layout;
    if (const int status = DescribeStoredSound(resource, &layout)) return status;
    const SoundDescription& d = layout.desc;

    CodecContext cc;
    const AVCodec* codec = avcodec_find_decoder(storedCodec(d));
    if (codec) cc.ctx = avcodec_alloc_context3(codec);
    bool ok = cc.ctx && cc.packet && cc.frame;
    if (ok) {
        cc.ctx->sample_rate = int(d.sampleRate >> 16);
        av_channel_layout_default(&cc.ctx->ch_layout, d.numChannels);
        ok = avcodec_open2(cc.ctx, codec, nullptr) >= 0;
    }
    // Whole frames (or MACE packets) per packet, so no decoder sees half of one.
    const size_t unit = d.dataFormat == kSoundMace3 ? 2u * d.numChannels
                        : d.dataFormat == kSoundMace6 ? 1u * d.numChannels
                                                      : size_t(d.sampleSize / 8) * d.numChannels;
    const size_t chunk = unit * 1024;
    Collector collector(out, pcm);
    const uint8_t* samples = resource.data() + layout.dataOffset;
    const size_t usable = layout.byteCount - layout.byteCount % unit;
    for (size_t at = 0; ok && at < usable; at += chunk) {
        const size_t n = std::min(chunk, usable - at);
        ok = av_new_packet(cc.packet, int(n)) >= 0;
        if (!ok) break;
        std::memcpy(cc.packet->data, samples + at, n);
        ok = cc.feed(cc.packet, collector);
        av_packet_unref(cc.packet);
    }
    ok = ok && cc.feed(nullptr, collector) && collector.finish();
    if (!ok) {
        pcm->samples.clear();
        showAlert(kAlertBadSound);
        return kSoundBadFormat;
    }
    return 0;
}

int DecodeSoundFile(const std::string& path, OutputFormat out, PcmBuffer* pcm) {
    quietFFmpeg();
    AVFormatContext* fmt = nullptr;
    bool ok = avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) >= 0;
    ok = ok && decodeContainer(fmt, out, pcm);
    avformat_close_input(&fmt);
    if (!ok) {
        pcm->samples.clear();
        showAlert(kAlertCannotOpen);
        return kSoundFileUnreadable;
    }
    return 0;
}

int DecodeSoundImage(std::span<const uint8_t> bytes, OutputFormat out, PcmBuffer* pcm) {
    quietFFmpeg();
    MemoryInput input(bytes);
    const bool ok = input.format() && decodeContainer(input.format(), out, pcm);
    if (!ok) {
        pcm->samples.clear();
        showAlert(kAlertBadSound);
        return kSoundBadFormat;
    }
    return 0;
}

} // namespace cv
