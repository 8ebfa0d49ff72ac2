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
// How many bytes of packets FFmpeg reads ahead to learn what a stream holds (5 MB by
// default). A 16-bit WAV file has its samples scanned for other codecs inside them that far
// before the first one is decoded; its first 32 KB tell as well.
constexpr int64_t kStreamProbeBytes = 32 * 1024;

// FFmpeg reports damage on stderr; the player says it once, through its own alert.
void quietFFmpeg() {
    static const bool once = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)once;
}

// Resamples decoded frames into the mixer's format, whatever the decoder hands out, appending
// them to `dst`.
class Converter {
public:
    explicit Converter(OutputFormat out) : out_(out) {}
    ~Converter() { swr_free(&swr_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool add(const AVFrame* f, std::vector<int16_t>& dst) {
        if (f->nb_samples <= 0) return true;
        if (!swr_ && !open(f)) return false;
        if (f->sample_rate != inRate_ || f->format != inFormat_ || f->ch_layout.nb_channels != inChannels_)
            return false; // a stream that changes format midway is not a sound we play
        return convert(const_cast<const uint8_t**>(f->extended_data), f->nb_samples, dst);
    }
    // Hands out what the resampler still holds, at the end of the sound.
    bool finish(std::vector<int16_t>& dst) { return !swr_ || convert(nullptr, 0, dst); }
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
    bool convert(const uint8_t** in, int count, std::vector<int16_t>& dst) {
        const int room = swr_get_out_samples(swr_, count);
        if (room < 0) return false;
        if (room == 0) return true;
        const size_t have = dst.size();
        dst.resize(have + size_t(room) * size_t(out_.channels));
        uint8_t* to = reinterpret_cast<uint8_t*>(dst.data() + have);
        const int made = swr_convert(swr_, &to, room, in, count);
        dst.resize(have + size_t(std::max(made, 0)) * size_t(out_.channels));
        return made >= 0;
    }

    OutputFormat out_;
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
    CodecContext() = default;
    CodecContext(const CodecContext&) = delete;
    CodecContext& operator=(const CodecContext&) = delete;
    // Sends one packet (nullptr flushes) and hands every frame that comes out to `c`.
    bool feed(const AVPacket* p, Converter& c, std::vector<int16_t>& dst) {
        int rc = avcodec_send_packet(ctx, p);
        if (rc < 0 && rc != AVERROR_EOF) return false;
        while ((rc = avcodec_receive_frame(ctx, frame)) == 0) {
            const bool ok = c.add(frame, dst);
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

void setStatus(int* status, int value) {
    if (status) *status = value;
}

} // namespace

// Everything one decoder holds: its source (a container, or a stored sound's samples sent in
// whole units), the codec, the resampler and the samples made but not yet read.
struct SoundDecoder::State {
    explicit State(OutputFormat o) : out(o), conv(o) {}
    ~State() {
        avformat_close_input(&fmt);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    OutputFormat out;
    std::vector<uint8_t> bytes; // a stored sound or file image, the decoder's own copy
    MemoryReader reader{nullptr, 0};
    AVIOContext* io = nullptr;
    AVFormatContext* fmt = nullptr;
    int stream = -1;
    // A stored sound: where its samples are and how much goes in one packet.
    size_t dataOffset = 0, at = 0, usable = 0, chunk = 0;
    CodecContext cc;
    Converter conv;
    std::vector<int16_t> pending;
    size_t taken = 0;
    bool inputDone = false, finished = false, damaged = false;

    size_t available() const { return (pending.size() - taken) / size_t(out.channels); }

    // The next packet of the sound into cc.packet: 1, 0 at the end, -1 when it cannot be had.
    int nextPacket() {
        if (fmt) {
            while (av_read_frame(fmt, cc.packet) >= 0) {
                if (cc.packet->stream_index == stream) return 1;
                av_packet_unref(cc.packet);
            }
            return 0;
        }
        if (at >= usable) return 0;
        const size_t n = std::min(chunk, usable - at);
        if (av_new_packet(cc.packet, int(n)) < 0) return -1;
        std::memcpy(cc.packet->data, bytes.data() + dataOffset + at, n);
        at += n;
        return 1;
    }

    // Decodes one more packet (or, at the end, what the decoder and resampler still hold).
    void step() {
        if (finished) return;
        if (!inputDone) {
            bool ok = true;
            const int got = nextPacket();
            if (got > 0) {
                AVPacket* p = av_packet_clone(cc.packet);
                ok = p && cc.feed(p, conv, pending);
                av_packet_free(&p);
                av_packet_unref(cc.packet);
            } else {
                ok = got == 0 && cc.feed(nullptr, conv, pending);
                inputDone = true;
            }
            if (!ok) damaged = inputDone = true;
            if (!inputDone) return;
        }
        if (!conv.finish(pending)) damaged = true;
        finished = true;
    }

    // Decodes until the first samples come out: a sound that gives none before damage is not
    // a sound.
    bool prime() {
        while (!finished && available() == 0) step();
        return !(damaged && !conv.gotFrames());
    }

    // Finds the best audio stream of an opened container and opens its decoder.
    bool openContainer() {
        // A container with a header (WAV, AIFF, AU...) says all the decoder needs; probing
        // its first seconds of packets as well would only hold back the first sample.
        bool described = !(fmt->ctx_flags & AVFMTCTX_NOHEADER);
        for (unsigned i = 0; described && i < fmt->nb_streams; ++i) {
            const AVCodecParameters* p = fmt->streams[i]->codecpar;
            if (p->codec_type == AVMEDIA_TYPE_AUDIO &&
                (p->codec_id == AV_CODEC_ID_NONE || p->sample_rate <= 0 || p->ch_layout.nb_channels <= 0))
                described = false;
        }
        if (!described && avformat_find_stream_info(fmt, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        stream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (stream < 0 || !codec) return false;
        const AVCodecParameters* par = fmt->streams[stream]->codecpar;
        if (par->sample_rate < kMinFileRate || par->sample_rate > kMaxFileRate) return false;
        if (par->ch_layout.nb_channels < 1 || par->ch_layout.nb_channels > kMaxChannels) return false;
        cc.ctx = avcodec_alloc_context3(codec);
        if (!cc.ctx || !cc.packet || !cc.frame) return false;
        if (avcodec_parameters_to_context(cc.ctx, par) < 0) return false;
        return avcodec_open2(cc.ctx, codec, nullptr) >= 0 && prime();
    }
};

namespace {

bool usableFormat(OutputFormat out) { return out.rate > 0 && out.channels > 0 && out.channels <= kMaxChannels; }

// Reads a decoder to its end into `pcm`; false when the sound is longer than the player
// decodes whole.
bool readAll(SoundDecoder& d, OutputFormat out, PcmBuffer* pcm) {
    constexpr size_t kPiece = 16384;
    const size_t ch = size_t(out.channels);
    const size_t most = size_t(kMaxSoundSeconds * out.rate);
    for (;;) {
        const size_t have = pcm->samples.size();
        pcm->samples.resize(have + kPiece * ch);
        const size_t n = d.read(pcm->samples.data() + have, kPiece);
        pcm->samples.resize(have + n * ch);
        if (pcm->frames() > most) return false;
        if (n < kPiece) return true;
    }
}

void startBuffer(OutputFormat out, PcmBuffer* pcm) {
    pcm->rate = out.rate;
    pcm->channels = out.channels;
    pcm->samples.clear();
}

} // namespace

SoundDecoder::SoundDecoder(std::unique_ptr<State> s) : s_(std::move(s)) {}
SoundDecoder::~SoundDecoder() = default;

bool SoundDecoder::damaged() const { return s_->damaged; }

bool SoundDecoder::seekMs(int64_t ms) {
    State& s = *s_;
    if (!s.fmt || s.stream < 0 || !s.cc.ctx) return false;
    const AVStream* st = s.fmt->streams[s.stream];
    const int64_t ts = av_rescale_q(std::max<int64_t>(ms, 0), AVRational{1, 1000}, st->time_base);
    if (av_seek_frame(s.fmt, s.stream, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(s.cc.ctx);
    s.pending.clear();
    s.taken = 0;
    s.inputDone = s.finished = false;
    return true;
}

size_t SoundDecoder::read(int16_t* out, size_t frames) {
    State& s = *s_;
    const size_t ch = size_t(s.out.channels);
    while (s.available() < frames && !s.finished) s.step();
    const size_t n = std::min(frames, s.available());
    std::copy_n(s.pending.data() + s.taken, n * ch, out);
    s.taken += n * ch;
    if (s.taken == s.pending.size()) {
        s.pending.clear();
        s.taken = 0;
    } else if (s.taken >= (size_t(1) << 16)) {
        s.pending.erase(s.pending.begin(), s.pending.begin() + std::ptrdiff_t(s.taken));
        s.taken = 0;
    }
    return n;
}

std::unique_ptr<SoundDecoder> SoundDecoder::opened(std::unique_ptr<State> s, bool ok, int alert, int failure,
                                                  int* status) {
    if (!ok) {
        showAlert(alert);
        setStatus(status, failure);
        return nullptr;
    }
    setStatus(status, 0);
    return std::unique_ptr<SoundDecoder>(new SoundDecoder(std::move(s)));
}

std::unique_ptr<SoundDecoder> SoundDecoder::stored(std::vector<uint8_t> resource, OutputFormat out, int* status) {
    quietFFmpeg();
    StoredSoundLayout layout;
    if (const int st = DescribeStoredSound(resource, &layout)) {
        setStatus(status, st);
        return nullptr;
    }
    const SoundDescription& d = layout.desc;
    auto s = std::make_unique<State>(out);
    const AVCodec* codec = avcodec_find_decoder(storedCodec(d));
    if (codec) s->cc.ctx = avcodec_alloc_context3(codec);
    bool ok = usableFormat(out) && s->cc.ctx && s->cc.packet && s->cc.frame;
    if (ok) {
        s->cc.ctx->sample_rate = int(d.sampleRate >> 16);
        av_channel_layout_default(&s->cc.ctx->ch_layout, d.numChannels);
        ok = avcodec_open2(s->cc.ctx, codec, nullptr) >= 0;
    }
    // Whole frames (or MACE packets) per packet, so no decoder sees half of one.
    const size_t unit = d.dataFormat == kSoundMace3 ? 2u * d.numChannels
                        : d.dataFormat == kSoundMace6 ? 1u * d.numChannels
                                                      : size_t(d.sampleSize / 8) * d.numChannels;
    if (ok) {
        s->bytes = std::move(resource);
        s->dataOffset = layout.dataOffset;
        s->usable = layout.byteCount - layout.byteCount % unit;
        s->chunk = unit * 1024;
        ok = s->prime();
    }
    return opened(std::move(s), ok, kAlertBadSound, kSoundBadFormat, status);
}

std::unique_ptr<SoundDecoder> SoundDecoder::file(const std::string& path, OutputFormat out, int* status) {
    quietFFmpeg();
    auto s = std::make_unique<State>(out);
    s->fmt = avformat_alloc_context();
    if (s->fmt) s->fmt->probesize = kStreamProbeBytes;
    // avformat_open_input frees the context itself when it fails.
    const bool ok = usableFormat(out) && s->fmt &&
                    avformat_open_input(&s->fmt, path.c_str(), nullptr, nullptr) >= 0 && s->openContainer();
    return opened(std::move(s), ok, kAlertCannotOpen, kSoundFileUnreadable, status);
}

std::unique_ptr<SoundDecoder> SoundDecoder::image(std::vector<uint8_t> bytes, OutputFormat out, int* status) {
    quietFFmpeg();
    auto s = std::make_unique<State>(out);
    s->bytes = std::move(bytes);
    s->reader = MemoryReader{s->bytes.data(), s->bytes.size()};
    constexpr int kBufferSize = 4096;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    s->io = buffer ? avio_alloc_context(buffer, kBufferSize, 0, &s->reader, readMemory, nullptr, seekMemory) : nullptr;
    if (!s->io) av_free(buffer);
    s->fmt = s->io ? avformat_alloc_context() : nullptr;
    bool ok = usableFormat(out) && s->fmt != nullptr;
    if (ok) {
        s->fmt->pb = s->io;
        s->fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
        s->fmt->probesize = kStreamProbeBytes;
        // avformat_open_input frees the context itself when it fails.
        ok = avformat_open_input(&s->fmt, nullptr, nullptr, nullptr) >= 0 && s->openContainer();
    }
    return opened(std::move(s), ok, kAlertBadSound, kSoundBadFormat, status);
}

namespace {

// Reads an opened decoder whole into `pcm`: 0, the status of the opening (its alert shown),
// or `failure` after `alert` when the sound is too long or, with `whole`, damaged part way.
int decodeWhole(std::unique_ptr<SoundDecoder> d, int status, OutputFormat out, PcmBuffer* pcm, bool whole,
                int alert, int failure) {
    startBuffer(out, pcm);
    if (!d) return status;
    if (!readAll(*d, out, pcm) || (whole && d->damaged())) {
        pcm->samples.clear();
        showAlert(alert);
        return failure;
    }
    return 0;
}

} // namespace

int DecodeStoredSound(std::span<const uint8_t> resource, OutputFormat out, PcmBuffer* pcm) {
    int status = 0;
    auto d = SoundDecoder::stored({resource.begin(), resource.end()}, out, &status);
    // A stored sound is read whole or not at all.
    return decodeWhole(std::move(d), status, out, pcm, true, kAlertBadSound, kSoundBadFormat);
}

int DecodeSoundFile(const std::string& path, OutputFormat out, PcmBuffer* pcm) {
    int status = 0;
    auto d = SoundDecoder::file(path, out, &status);
    return decodeWhole(std::move(d), status, out, pcm, false, kAlertCannotOpen, kSoundFileUnreadable);
}

int DecodeSoundImage(std::span<const uint8_t> bytes, OutputFormat out, PcmBuffer* pcm) {
    int status = 0;
    auto d = SoundDecoder::image({bytes.begin(), bytes.end()}, out, &status);
    return decodeWhole(std::move(d), status, out, pcm, false, kAlertBadSound, kSoundBadFormat);
}

} // namespace cv
