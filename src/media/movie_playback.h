#pragma once
// The pictures of a playing movie, by position: which frame is due at a given time of the
// movie. On the real clock a decode thread per movie keeps a few converted frames ready ahead
// of time; on the virtual clock frames are decoded on the caller's thread when asked, so the
// same position always shows the same frame.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "media/movie_decoder.h"

namespace cv {

class MoviePlayback {
public:
    enum class Mode { Synchronous, Threaded };
    // Frames decoded ahead of the one shown, on the decode thread.
    static constexpr size_t kQueuedFrames = 4;

    MoviePlayback(std::unique_ptr<MovieDecoder> decoder, Mode mode);
    ~MoviePlayback();
    MoviePlayback(const MoviePlayback&) = delete;
    MoviePlayback& operator=(const MoviePlayback&) = delete;

    const MovieInfo& info() const { return decoder_->info(); }
    Mode mode() const { return mode_; }
    bool hasPictures() const { return pictures_; }

    // Frames come out at this size from now on (0 × 0: the natural size).
    bool setOutputSize(int width, int height);
    // Starts again from `positionMs` (the key frame before it is decoded, and the frames up
    // to the position are passed over).
    void seek(int64_t positionMs);
    // The frame due at `positionMs`: the last one whose time is at or before it. nullptr
    // before the first frame or without pictures.
    const MovieFrame* frameAt(int64_t positionMs);
    // Changes each time frameAt hands out another frame.
    uint64_t frameSerial() const { return serial_; }
    // The position at which the next frame is due, when one is known to follow.
    std::optional<int64_t> nextFramePosition();
    // Whether the pictures have ended by `positionMs`: the last frame has been shown for its
    // whole duration (true at once for a movie without pictures).
    bool picturesDone(int64_t positionMs);
    // The end of the pictures as far as known now (the stored length until the last frame is seen).
    int64_t lengthMs() const;

private:
    void startThread();
    void stopThread();
    void workerLoop();
    // Synchronous mode: makes pending_ the next frame, if there is one.
    void fillPending();
    void take(MovieFrame&& f);
    int64_t frameDurationMs() const;

    std::unique_ptr<MovieDecoder> decoder_;
    Mode mode_;
    bool pictures_ = false;
    MovieFrame current_;
    bool haveCurrent_ = false;
    uint64_t serial_ = 0;
    int64_t lastPts_ = -1, previousPts_ = -1;

    // Synchronous mode.
    std::optional<MovieFrame> pending_;
    bool decoderEnded_ = false;

    // Threaded mode: the worker fills queue_ until it holds kQueuedFrames or the decoder ends.
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<MovieFrame> queue_;
    bool stop_ = false;
    bool workerEnded_ = false;
};

} // namespace cv
