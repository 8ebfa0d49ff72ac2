#include "media/movie_decoder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "media/memory_input.h"

namespace cv {

namespace {

// Bad packets in a row after which the rest of a picture track is given up as unreadable.
constexpr int kMaxBadPackets = 64;
// How deep the atom walk goes, and how many atoms it reads, whatever the file says.
constexpr int kMaxAtoms = 4096;

std::mutex missingMutex;
std::vector<std::string> missingCodecs;

bool codecMissing(AVCodecID id) {
    if (!avcodec_find_decoder(id)) return true;
    std::lock_guard lock(missingMutex);
    const std::string name = avcodec_get_name(id);
    return std::find(missingCodecs.begin(), missingCodecs.end(), name) != missingCodecs.end();
}

void quietFFmpeg() {
    static const bool once = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)once;
}

// The longest stretch a seek in a sound track may land before its position; beyond it the
// index is not what the sound's own reader uses, and nothing is passed over.
constexpr double kMaxLeadInSeconds = 10;

// The audio stream's key packets as the demuxer indexed them. A QuickTime index counts in
// the track's time base; an AVI one counts bytes of fixed-size samples, known for PCM alone.
SoundTrackIndex readSoundIndex(AVStream* st, bool avi) {
    SoundTrackIndex index;
    const AVCodecParameters* par = st->codecpar;
    if (st->time_base.num <= 0 || st->time_base.den <= 0) return index;
    if (avi) {
        const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
        const bool pcm = desc && std::string_view(desc->name).starts_with("pcm_");
        if (!pcm || par->block_align <= 0) return index;
        index.unitsPerTick = par->block_align;
    }
    index.timeNum = st->time_base.num;
    index.timeDen = st->time_base.den;
    const int n = avformat_index_get_entries_count(st);
    for (int i = 0; i < n; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        if (!e || !(e->flags & AVINDEX_KEYFRAME)) continue;
        if (!index.starts.empty() && e->timestamp < index.starts.back()) return {}; // not ascending: not trusted
        index.starts.push_back(e->timestamp);
    }
    return index;
}

} // namespace

double SoundTrackIndex::leadInSeconds(int64_t ms) const {
    if (starts.empty() || timeNum <= 0 || timeDen <= 0 || unitsPerTick <= 0) return 0;
    // The same target the sound's reader searches for.
    const int64_t ticks = av_rescale_q(std::max<int64_t>(ms, 0), AVRational{1, 1000}, AVRational{timeNum, timeDen});
    if (ticks > INT64_MAX / unitsPerTick) return 0;
    auto it = std::upper_bound(starts.begin(), starts.end(), ticks * unitsPerTick);
    if (it == starts.begin()) return 0;
    const double landed = double(*std::prev(it)) / double(unitsPerTick) * timeNum / timeDen;
    const double lead = double(std::max<int64_t>(ms, 0)) / 1000.0 - landed;
    return lead > 0 && lead <= kMaxLeadInSeconds ? lead : 0;
}

namespace {

bool sizeAllowed(int64_t w, int64_t h) { return w > 0 && h > 0 && w * h <= kMaxMoviePixels; }

// Reads `n` bytes at `at` of the file into `out`; false past its end.
using ReadAt = std::function<bool(uint64_t at, size_t n, uint8_t* out)>;

// Looks for `path` (a chain of atom types) inside the atoms of [begin, end).
bool findAtomPath(const ReadAt& read, uint64_t begin, uint64_t end, const uint32_t* path, int depth, int& budget) {
    uint64_t at = begin;
    while (at + 8 <= end && budget-- > 0) {
        uint8_t h[16];
        if (!read(at, 8, h)) return false;
        uint64_t size = uint64_t(h[0]) << 24 | uint64_t(h[1]) << 16 | uint64_t(h[2]) << 8 | h[3];
        const uint32_t type = uint32_t(h[4]) << 24 | uint32_t(h[5]) << 16 | uint32_t(h[6]) << 8 | h[7];
        uint64_t header = 8;
        if (size == 1) {
            if (at + 16 > end || !read(at + 8, 8, h + 8)) return false;
            size = 0;
            for (int i = 8; i < 16; ++i) size = size << 8 | h[i];
            header = 16;
        } else if (size == 0) {
            size = end - at;
        }
        if (size < header || size > end - at) return false;
        // A movie may hold more than one atom of a type (two 'udta'): each is looked in.
        if (type == path[0] && (depth == 0 || findAtomPath(read, at + header, at + size, path + 1, depth - 1, budget)))
            return true;
        at += size;
    }
    return false;
}

bool hasVrType(const ReadAt& read, uint64_t size) {
    constexpr uint32_t kPath[] = {0x6D6F6F76 /*moov*/, 0x75647461 /*udta*/, 0x63747970 /*ctyp*/};
    int budget = kMaxAtoms;
    return findAtomPath(read, 0, size, kPath, 2, budget);
}

} // namespace

bool hasQuickTimeVrType(std::span<const uint8_t> file) {
    return hasVrType(
        [file](uint64_t at, size_t n, uint8_t* out) {
            if (at > file.size() || n > file.size() - at) return false;
            std::memcpy(out, file.data() + at, n);
            return true;
        },
        file.size());
}

bool hasQuickTimeVrType(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size <= 0) return false;
    return hasVrType(
        [&in](uint64_t at, size_t n, uint8_t* out) {
            in.clear();
            in.seekg(std::streamoff(at));
            in.read(reinterpret_cast<char*>(out), std::streamsize(n));
            return size_t(in.gcount()) == n;
        },
        uint64_t(size));
}

struct MovieDecoder::Impl {
    std::unique_ptr<MemoryInput> memory;
    AVFormatContext* fileFormat = nullptr;
    AVFormatContext* fmt = nullptr;
    int video = -1;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    int outWidth = 0, outHeight = 0;
    bool drained = false;
    int64_t startTs = 0;
    int64_t frameIndex = 0;
    double frameRate = 0;

    ~Impl() {
        sws_freeContext(sws);
        avcodec_free_context(&codec);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avformat_close_input(&fileFormat);
    }

    int64_t frameMs(const AVFrame* f) {
        const int64_t ts = f->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE) {
            const double rate = frameRate > 0 ? frameRate : 15.0;
            return int64_t(double(frameIndex) * 1000.0 / rate);
        }
        return std::max<int64_t>(0, av_rescale_q(ts - startTs, fmt->streams[video]->time_base, AVRational{1, 1000}));
    }

    bool convert(MovieFrame* out) {
        const AVFrame* f = frame;
        if (!sizeAllowed(f->width, f->height) || f->format < 0) return false;
        const int ow = outWidth ? outWidth : f->width;
        const int oh = outHeight ? outHeight : f->height;
        // At the movie's own size only the pixel format changes: the plain converter is the
        // fast one; scaled frames are filtered.
        const int flags = ow == f->width && oh == f->height ? SWS_POINT : SWS_BILINEAR;
        sws = sws_getCachedContext(sws, f->width, f->height, AVPixelFormat(f->format), ow, oh, AV_PIX_FMT_RGB32, flags,
                                   nullptr, nullptr, nullptr);
        if (!sws) return false;
        out->width = ow;
        out->height = oh;
        out->pixels.resize(size_t(ow) * size_t(oh));
        uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(out->pixels.data()), nullptr, nullptr, nullptr};
        const int dstStride[4] = {ow * 4, 0, 0, 0};
        if (sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride) != oh) return false;
        out->ptsMs = frameMs(f);
        return true;
    }
};

MovieDecoder::~MovieDecoder() = default;

void MovieDecoder::setMissingCodecsForTesting(std::vector<std::string> names) {
    std::lock_guard lock(missingMutex);
    missingCodecs = std::move(names);
}

std::unique_ptr<MovieDecoder> MovieDecoder::open(const MovieSource& source) {
    quietFFmpeg();
    std::unique_ptr<MovieDecoder> d(new MovieDecoder);
    d->source_ = source;
    d->impl_ = std::make_unique<Impl>();
    Impl& m = *d->impl_;
    if (!m.packet || !m.frame) return nullptr;
    if (source.image) {
        m.memory = std::make_unique<MemoryInput>(*source.image);
        m.fmt = m.memory->format();
    } else if (avformat_open_input(&m.fileFormat, source.path.c_str(), nullptr, nullptr) >= 0) {
        m.fmt = m.fileFormat;
    }
    if (!m.fmt || avformat_find_stream_info(m.fmt, nullptr) < 0) return nullptr;

    MovieInfo& info = d->info_;
    info.container = m.fmt->iformat && m.fmt->iformat->name ? m.fmt->iformat->name : "";
    info.avi = info.container == "avi";
    const int audio = av_find_best_stream(m.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0) {
        info.hasAudio = true;
        info.audioCodec = avcodec_get_name(m.fmt->streams[audio]->codecpar->codec_id);
    }
    const int video = av_find_best_stream(m.fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVStream* vs = video >= 0 ? m.fmt->streams[video] : nullptr;
    if (vs && !(vs->disposition & AV_DISPOSITION_ATTACHED_PIC) && vs->codecpar->width > 0 && vs->codecpar->height > 0) {
        const AVCodecParameters* par = vs->codecpar;
        info.videoCodec = avcodec_get_name(par->codec_id);
        info.videoTag = par->codec_tag;
        info.width = par->width;
        info.height = par->height;
        AVRational rate = vs->avg_frame_rate.num > 0 && vs->avg_frame_rate.den > 0 ? vs->avg_frame_rate : vs->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) info.frameRate = av_q2d(rate);
        if (info.frameRate > 1000) info.frameRate = 0; // a rate no movie of the era has: timestamps decide
        info.tooLarge = !sizeAllowed(par->width, par->height);
        info.videoDecoderMissing = codecMissing(par->codec_id);
        m.video = video;
        m.frameRate = info.frameRate;
        m.startTs = vs->start_time != AV_NOPTS_VALUE ? vs->start_time : 0;
    }
    if (m.video < 0 && !info.hasAudio) return nullptr;
    if (audio >= 0) d->soundIndex_ = readSoundIndex(m.fmt->streams[audio], info.avi);

    int64_t duration = m.fmt->duration > 0 ? av_rescale(m.fmt->duration, 1000, AV_TIME_BASE) : 0;
    for (unsigned i = 0; i < m.fmt->nb_streams; ++i) {
        const AVStream* s = m.fmt->streams[i];
        if (s->duration > 0 && s->time_base.num > 0 && s->time_base.den > 0)
            duration = std::max(duration, av_rescale_q(s->duration, s->time_base, AVRational{1, 1000}));
    }
    info.durationMs = std::clamp<int64_t>(duration, 0, int64_t(24) * 3600 * 1000);
    for (unsigned i = 0; i < m.fmt->nb_chapters && info.chapterStartsMs.size() < 1000; ++i) {
        const AVChapter* c = m.fmt->chapters[i];
        if (c && c->time_base.num > 0 && c->time_base.den > 0 && c->start >= 0)
            info.chapterStartsMs.push_back(av_rescale_q(c->start, c->time_base, AVRational{1, 1000}));
    }

    if (info.container.find("mov") != std::string::npos)
        info.vrMovie = source.image ? hasQuickTimeVrType(*source.image) : hasQuickTimeVrType(source.path);

    if (m.video >= 0 && !info.videoDecoderMissing && !info.tooLarge) {
        const AVCodec* codec = avcodec_find_decoder(vs->codecpar->codec_id);
        m.codec = avcodec_alloc_context3(codec);
        // One thread per movie: the player's decode thread is the movie's only worker.
        if (m.codec) m.codec->thread_count = 1;
        // The decoder refuses larger frames itself, before it allocates them.
        if (m.codec) m.codec->max_pixels = kMaxMoviePixels;
        if (!m.codec || avcodec_parameters_to_context(m.codec, vs->codecpar) < 0 ||
            avcodec_open2(m.codec, codec, nullptr) < 0) {
            avcodec_free_context(&m.codec);
            info.videoDecoderMissing = true;
        }
    }
    return d;
}

bool MovieDecoder::setOutputSize(int width, int height) {
    if (width == 0 && height == 0) {
        impl_->outWidth = impl_->outHeight = 0;
        return true;
    }
    if (!sizeAllowed(width, height)) return false;
    impl_->outWidth = width;
    impl_->outHeight = height;
    return true;
}

bool MovieDecoder::nextFrame(MovieFrame* out) {
    Impl& m = *impl_;
    if (!m.codec) return false;
    int bad = 0;
    while (bad < kMaxBadPackets) {
        const int rc = avcodec_receive_frame(m.codec, m.frame);
        if (rc == 0) {
            const bool ok = m.convert(out);
            ++m.frameIndex;
            av_frame_unref(m.frame);
            if (ok) return true;
            ++bad;
            continue;
        }
        if (rc == AVERROR_EOF) return false;
        if (rc != AVERROR(EAGAIN)) {
            ++bad;
            if (m.drained) return false;
        }
        if (m.drained) return false;
        if (av_read_frame(m.fmt, m.packet) < 0) {
            avcodec_send_packet(m.codec, nullptr);
            m.drained = true;
            continue;
        }
        if (m.packet->stream_index == m.video) {
            const int sent = avcodec_send_packet(m.codec, m.packet);
            if (sent < 0 && sent != AVERROR(EAGAIN)) ++bad;
            else bad = 0;
        }
        av_packet_unref(m.packet);
    }
    return false;
}

bool MovieDecoder::seekMs(int64_t ms) {
    Impl& m = *impl_;
    if (!m.codec) return false;
    const AVStream* s = m.fmt->streams[m.video];
    const int64_t ts = m.startTs + av_rescale_q(std::max<int64_t>(ms, 0), AVRational{1, 1000}, s->time_base);
    if (av_seek_frame(m.fmt, m.video, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(m.fmt, m.video, m.startTs, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
        return false;
    avcodec_flush_buffers(m.codec);
    m.drained = false;
    m.frameIndex = 0;
    return true;
}

std::unique_ptr<SoundDecoder> MovieDecoder::openAudio(const MovieSource& source, OutputFormat out) {
    // The sound side's decoders, which say themselves when a track cannot be read.
    if (source.image) return SoundDecoder::image(*source.image, out, nullptr);
    return SoundDecoder::file(source.path, out, nullptr);
}

} // namespace cv
