#include "media/movie_playback.h"

#include <algorithm>

namespace cv {

namespace {
// How long the last frame stays when the movie gives no rate and only one frame.
constexpr int64_t kDefaultFrameMs = 100;
} // namespace

MoviePlayback::MoviePlayback(std::unique_ptr<MovieDecoder> decoder, Mode mode)
    : decoder_(std::move(decoder)), mode_(mode) {
    const MovieInfo& i = decoder_->info();
    pictures_ = i.width > 0 && i.height > 0 && !i.videoDecoderMissing && !i.tooLarge;
    if (pictures_ && mode_ == Mode::Threaded) startThread();
}

MoviePlayback::~MoviePlayback() { stopThread(); }

void MoviePlayback::startThread() {
    stop_ = false;
    workerEnded_ = false;
    worker_ = std::thread([this] { workerLoop(); });
}

void MoviePlayback::stopThread() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void MoviePlayback::workerLoop() {
    while (true) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || queue_.size() < kQueuedFrames; });
            if (stop_) return;
        }
        // Decoding and scaling happen outside the lock: the player thread only takes frames.
        MovieFrame f;
        const bool got = decoder_->nextFrame(&f);
        std::lock_guard lock(mutex_);
        if (!got) {
            workerEnded_ = true;
            return;
        }
        queue_.push_back(std::move(f));
    }
}

bool MoviePlayback::setOutputSize(int width, int height) {
    stopThread();
    const bool ok = decoder_->setOutputSize(width, height);
    // Frames already made at the old size are made again at the new one.
    const int64_t at = haveCurrent_ ? current_.ptsMs : 0;
    queue_.clear();
    pending_.reset();
    haveCurrent_ = false;
    decoderEnded_ = false;
    if (pictures_) {
        decoder_->seekMs(at);
        if (mode_ == Mode::Threaded) startThread();
    }
    return ok;
}

void MoviePlayback::seek(int64_t positionMs) {
    if (!pictures_) return;
    stopThread();
    queue_.clear();
    pending_.reset();
    haveCurrent_ = false;
    decoderEnded_ = false;
    decoder_->seekMs(positionMs);
    if (mode_ == Mode::Threaded) startThread();
    ++serial_;
}

void MoviePlayback::take(MovieFrame&& f) {
    previousPts_ = lastPts_;
    lastPts_ = std::max(lastPts_, f.ptsMs);
    current_ = std::move(f);
    haveCurrent_ = true;
    ++serial_;
}

void MoviePlayback::fillPending() {
    if (pending_ || decoderEnded_) return;
    MovieFrame f;
    if (decoder_->nextFrame(&f)) pending_ = std::move(f);
    else decoderEnded_ = true;
}

const MovieFrame* MoviePlayback::frameAt(int64_t positionMs) {
    if (!pictures_) return nullptr;
    // Going back (a seek on the play bar, a restart) decodes again from a key frame.
    if (haveCurrent_ && positionMs < current_.ptsMs) seek(positionMs);
    if (mode_ == Mode::Synchronous) {
        for (fillPending(); pending_ && pending_->ptsMs <= positionMs; fillPending()) {
            take(std::move(*pending_));
            pending_.reset();
        }
    } else {
        std::lock_guard lock(mutex_);
        bool took = false;
        while (!queue_.empty() && queue_.front().ptsMs <= positionMs) {
            take(std::move(queue_.front()));
            queue_.pop_front();
            took = true;
        }
        if (took) wake_.notify_one();
    }
    return haveCurrent_ ? &current_ : nullptr;
}

std::optional<int64_t> MoviePlayback::nextFramePosition() {
    if (!pictures_) return std::nullopt;
    if (mode_ == Mode::Synchronous) {
        fillPending();
        if (pending_) return pending_->ptsMs;
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return queue_.front().ptsMs;
    return std::nullopt;
}

int64_t MoviePlayback::frameDurationMs() const {
    const double rate = decoder_->info().frameRate;
    if (rate > 0) return std::max<int64_t>(1, int64_t(1000.0 / rate + 0.5));
    if (previousPts_ >= 0 && lastPts_ > previousPts_) return lastPts_ - previousPts_;
    return kDefaultFrameMs;
}

bool MoviePlayback::picturesDone(int64_t positionMs) {
    if (!pictures_) return true;
    frameAt(positionMs);
    bool ended = false;
    if (mode_ == Mode::Synchronous) {
        fillPending();
        ended = decoderEnded_ && !pending_;
    } else {
        std::lock_guard lock(mutex_);
        ended = workerEnded_ && queue_.empty();
    }
    return ended && positionMs >= lastPts_ + frameDurationMs();
}

int64_t MoviePlayback::lengthMs() const {
    const int64_t seen = lastPts_ >= 0 ? lastPts_ + frameDurationMs() : 0;
    return std::max(seen, decoder_->info().durationMs);
}

} // namespace cv
