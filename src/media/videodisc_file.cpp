#include "media/videodisc_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "core/clock.h"
#include "media/mixer.h"
#include "media/movie_playback.h"
#include "media/videodisc.h"

namespace cv {

namespace {

// NTSC discs, when the file does not say its rate.
constexpr double kDefaultRate = 30000.0 / 1001.0;
double rateOf(const MovieInfo& info) {
    return info.frameRate > 0 && std::isfinite(info.frameRate) ? info.frameRate : kDefaultRate;
}
// Scanning moves this many times faster than the stored play speed.
constexpr unsigned kScanFactor = 4;
// A jump of more frames than this is a seek, not decoding onwards.
constexpr uint32_t kDecodeOnwards = 48;

// The disc's sound with the channels the audio setting switched off silenced.
class ChannelMask final : public SoundSource {
public:
    ChannelMask(std::unique_ptr<SoundDecoder> sound, int channels, bool left, bool right)
        : sound_(std::move(sound)), channels_(channels), left_(left), right_(right) {}
    size_t read(int16_t* out, size_t frames) override {
        const size_t n = sound_->read(out, frames);
        if (channels_ == 2) {
            for (size_t i = 0; i < n; ++i) {
                if (!left_) out[2 * i] = 0;
                if (!right_) out[2 * i + 1] = 0;
            }
        }
        return n;
    }

private:
    std::unique_ptr<SoundDecoder> sound_;
    int channels_;
    bool left_, right_;
};

class FileDisc final : public VideodiscDevice, public VideodiscScreen {
public:
    FileDisc(std::unique_ptr<MoviePlayback> playback, bool linear, std::vector<uint32_t> chapters, std::string path,
             Mixer* mixer)
        : playback_(std::move(playback)), linear_(linear), chapters_(std::move(chapters)), path_(std::move(path)),
          mixer_(mixer) {
        const MovieInfo& info = playback_->info();
        rate_ = rateOf(info);
        const double frames = std::floor(double(std::max<int64_t>(info.durationMs, 0)) * rate_ / 1000.0);
        last_ = uint32_t(std::clamp(frames - 1, 0.0, double(UINT32_MAX)));
        if (chapters_.empty() || chapters_.front() != 0) chapters_.insert(chapters_.begin(), 0);
        format_ = linear_ ? VideodiscFormat::Hms : VideodiscFormat::Frames;
        hasAudio_ = info.hasAudio;
    }
    ~FileDisc() override { stopSound(); }
    FileDisc(const FileDisc&) = delete;
    FileDisc& operator=(const FileDisc&) = delete;

    int open() override {
        open_ = true;
        return 0;
    }
    int close() override {
        stopSound();
        open_ = false;
        mode_ = vdstate::kStopped;
        return 0;
    }
    bool ready() override { return open_ && !doorOpen_; }
    int keylockOff() override { return open_ ? 0 : kVideodiscNoDevice; }
    int status(uint16_t& mode, bool& present, char& type) override {
        if (!open_) return kVideodiscNoDevice;
        settle(clock().nowMs());
        mode = mode_;
        present = !doorOpen_;
        type = linear_ ? '1' : '0';
        return 0;
    }
    int setFormat(VideodiscFormat f) override {
        if (!open_) return kVideodiscNoDevice;
        if ((f == VideodiscFormat::Hms && !linear_) || (f == VideodiscFormat::Frames && linear_))
            return kVideodiscBadFormat;
        format_ = f;
        return 0;
    }
    int setAudio(bool left, bool right) override {
        if (!open_) return kVideodiscNoDevice;
        left_ = left;
        right_ = right;
        if (mode_ == vdstate::kPlaying) {
            settle(clock().nowMs());
            startSound();
        }
        return 0;
    }
    int seek(uint32_t position) override {
        if (int st = usable()) return st;
        const auto frame = toFrame(position);
        if (!frame) return kVideodiscOutOfRange;
        settle(clock().nowMs());
        hold(*frame);
        return 0;
    }
    int play(uint32_t to, bool reverse, unsigned fps) override {
        if (int st = usable()) return st;
        const auto target = toFrame(to);
        if (!target) return kVideodiscOutOfRange;
        start(reverse, fps, *target);
        return 0;
    }
    int playOn(bool reverse, unsigned fps) override {
        if (int st = usable()) return st;
        start(reverse, fps, reverse ? 0 : last_);
        return 0;
    }
    int pause() override {
        if (int st = usable()) return st;
        settle(clock().nowMs());
        hold(currentFrame());
        return 0;
    }
    int eject() override {
        if (!open_) return kVideodiscNoDevice;
        stopSound();
        doorOpen_ = true;
        mode_ = vdstate::kUnknown;
        changed_ = true;
        return 0;
    }
    int spinUp() override {
        if (!open_) return kVideodiscNoDevice;
        doorOpen_ = false;
        if (mode_ == vdstate::kUnknown || mode_ == vdstate::kParked) mode_ = vdstate::kStopped;
        return 0;
    }
    int step(int frames) override {
        if (int st = usable()) return st;
        settle(clock().nowMs());
        const int64_t to = std::clamp<int64_t>(int64_t(currentFrame()) + frames, 0, last_);
        hold(uint32_t(to));
        return 0;
    }
    int scan(bool reverse) override {
        if (int st = usable()) return st;
        start(reverse, unsigned(std::lround(rate_)) * kScanFactor, reverse ? 0 : last_);
        return 0;
    }
    int video(bool on) override {
        if (!open_) return kVideodiscNoDevice;
        video_ = on;
        changed_ = true;
        return 0;
    }
    int index(bool on) override {
        if (!open_) return kVideodiscNoDevice;
        picture_.index = on;
        changed_ = true;
        return 0;
    }
    int position(uint32_t& out) override {
        if (int st = usable()) return st;
        settle(clock().nowMs());
        const uint32_t f = currentFrame();
        switch (format_) {
        case VideodiscFormat::Frames: out = f; break;
        case VideodiscFormat::Chapters: out = chapterOf(f); break;
        case VideodiscFormat::Hms: {
            const auto s = uint32_t(double(f) / rate_);
            out = PackDiscTime(s / 3600 * 10000 + s / 60 % 60 * 100 + s % 60);
            break;
        }
        }
        return 0;
    }
    int chapter(uint32_t& out) override {
        if (int st = usable()) return st;
        settle(clock().nowMs());
        out = chapterOf(currentFrame());
        return 0;
    }

    bool advance(uint64_t nowMs) override {
        settle(nowMs);
        if (doorOpen_ || !video_) {
            const bool was = changed_ || shown_;
            shown_ = false;
            changed_ = false;
            return was;
        }
        const uint32_t f = currentFrame();
        if (shown_ && f == picture_.frame && !changed_) return false;
        changed_ = false;
        show(f);
        return true;
    }
    const VideodiscPicture* picture() const override { return shown_ ? &picture_ : nullptr; }
    uint64_t nextDueMs() const override {
        if (mode_ != vdstate::kPlaying) return 0;
        return lastSettled_ + std::max<uint64_t>(1, uint64_t(1000 / std::max(1u, fps_)));
    }

private:
    int usable() const {
        if (!open_) return kVideodiscNoDevice;
        if (doorOpen_) return kVideodiscNotReady;
        return 0;
    }

    // A position in the current format as a frame of the disc.
    std::optional<uint32_t> toFrame(uint32_t position) const {
        double frame = position;
        if (format_ == VideodiscFormat::Chapters) {
            if (position < 1 || position > chapters_.size()) return std::nullopt;
            frame = chapters_[position - 1];
        } else if (format_ == VideodiscFormat::Hms) {
            const uint32_t t = UnpackDiscTime(position);
            frame = std::ceil(double(t / 10000 * 3600 + t / 100 % 100 * 60 + t % 100) * rate_);
        }
        if (frame > last_) return std::nullopt;
        return uint32_t(frame);
    }

    uint32_t chapterOf(uint32_t frame) const {
        return uint32_t(std::upper_bound(chapters_.begin(), chapters_.end(), frame) - chapters_.begin());
    }

    uint32_t currentFrame() const { return uint32_t(std::clamp(std::floor(pos_), 0.0, double(last_))); }

    void hold(uint32_t frame) {
        stopSound();
        pos_ = frame;
        mode_ = vdstate::kPaused;
    }

    void start(bool reverse, unsigned fps, uint32_t target) {
        const uint64_t now = clock().nowMs();
        settle(now);
        reverse_ = reverse;
        fps_ = std::max(1u, fps);
        target_ = target;
        startPos_ = pos_;
        startMs_ = now;
        mode_ = vdstate::kPlaying;
        startSound();
    }

    // The sound plays while the disc plays forwards at its own speed, as a player's does.
    void startSound() {
        stopSound();
        if (!mixer_ || !hasAudio_ || reverse_ || (!left_ && !right_)) return;
        if (std::abs(double(fps_) - rate_) > rate_ * 0.05) return;
        int status = 0;
        auto sound = SoundDecoder::file(path_, mixer_->format(), &status);
        if (!sound) return;
        const auto ms = int64_t(pos_ * 1000.0 / rate_);
        if (ms > 0 && !sound->seekMs(ms)) return;
        voice_ = mixer_->playStream(std::make_unique<ChannelMask>(std::move(sound), mixer_->format().channels, left_, right_), 1.0f);
    }

    void stopSound() {
        if (voice_ && mixer_) mixer_->stop(voice_);
        voice_ = 0;
    }

    // Brings the playing position up to `nowMs`; a play that reaches its end holds the frame.
    void settle(uint64_t nowMs) {
        lastSettled_ = nowMs;
        if (mode_ != vdstate::kPlaying) return;
        const double moved = double(nowMs - std::min(nowMs, startMs_)) * fps_ / 1000.0;
        double p = reverse_ ? startPos_ - moved : startPos_ + moved;
        if ((reverse_ && p <= target_) || (!reverse_ && p >= target_)) {
            p = target_;
            mode_ = vdstate::kPaused;
            stopSound();
        }
        pos_ = std::clamp(p, 0.0, double(last_));
    }

    void show(uint32_t frame) {
        const auto at = int64_t(std::llround((frame + 0.5) * 1000.0 / rate_));
        if (!decodedAny_ || frame < decoded_ || frame > decoded_ + kDecodeOnwards) playback_->seek(at);
        decodedAny_ = true;
        decoded_ = frame;
        const MovieFrame* f = playback_->frameAt(at);
        picture_.frame = frame;
        if (!f || f->pixels.empty()) {
            picture_.width = picture_.height = 0;
            picture_.argb.clear();
        } else {
            picture_.width = f->width;
            picture_.height = f->height;
            picture_.argb = f->pixels;
        }
        shown_ = true;
    }

    std::unique_ptr<MoviePlayback> playback_;
    bool linear_;
    std::vector<uint32_t> chapters_;
    std::string path_;
    Mixer* mixer_;
    bool hasAudio_ = false;
    Mixer::VoiceId voice_ = 0;
    double rate_ = kDefaultRate;
    uint32_t last_ = 0;
    VideodiscFormat format_ = VideodiscFormat::Frames;
    bool open_ = false, doorOpen_ = false, video_ = true, left_ = true, right_ = true;
    uint16_t mode_ = vdstate::kStopped;
    double pos_ = 0, startPos_ = 0;
    uint64_t startMs_ = 0, lastSettled_ = 0;
    unsigned fps_ = 30;
    bool reverse_ = false;
    uint32_t target_ = 0;
    VideodiscPicture picture_;
    bool shown_ = false, changed_ = false, decodedAny_ = false;
    uint32_t decoded_ = 0;
};

std::string readSmallFile(const std::filesystem::path& p) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(p, ec);
    if (ec || size > (1u << 20)) return {};
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

std::vector<uint32_t> ParseChapterList(const std::string& text) {
    std::vector<uint32_t> starts;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line) && starts.size() < 1000) {
        const size_t b = line.find_first_not_of(" \t\r");
        if (b == std::string::npos || line[b] == '#') continue;
        uint64_t v = 0;
        size_t i = b;
        for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && v <= UINT32_MAX; ++i) v = v * 10 + uint64_t(line[i] - '0');
        if (i == b || v > UINT32_MAX) continue;
        starts.push_back(uint32_t(v));
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
}

std::unique_ptr<VideodiscDevice> OpenVideodiscDevice(const std::string& path, bool linear, Mixer* mixer) {
    if (path.empty()) return std::make_unique<NoVideodiscPlayer>();
    auto decoder = MovieDecoder::open(MovieSource{path, nullptr});
    if (!decoder || decoder->info().width <= 0 || decoder->info().tooLarge || decoder->info().videoDecoderMissing)
        return std::make_unique<NoVideodiscPlayer>();
    std::vector<uint32_t> chapters = ParseChapterList(readSmallFile(std::filesystem::path(path).replace_extension(".chapters")));
    if (chapters.empty()) {
        // No side file: the video's own chapter marks, as frames.
        for (const int64_t ms : decoder->info().chapterStartsMs)
            chapters.push_back(uint32_t(std::clamp(std::floor(double(ms) * rateOf(decoder->info()) / 1000.0 + 0.5), 0.0, double(UINT32_MAX))));
        std::sort(chapters.begin(), chapters.end());
        chapters.erase(std::unique(chapters.begin(), chapters.end()), chapters.end());
    }
    auto playback = std::make_unique<MoviePlayback>(std::move(decoder), MoviePlayback::Mode::Synchronous);
    return std::make_unique<FileDisc>(std::move(playback), linear, std::move(chapters), path, mixer);
}

} // namespace cv
