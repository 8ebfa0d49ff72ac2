// Frame animations as stored: frame 1 decoding, the changes of later frames of both widths, and
// a whole record played through the scheduler. Nothing may be written outside the work
// picture, and the scheduler must end or go on only as the clock moves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/clock.h"
#include "core/handles.h"
#include "media/frame_animation.h"

namespace {

struct CheckingCanvas : cv::FrameCanvas {
    void drawFrame(const cv::Bitmap& frame, int, int, bool) override {
        if (frame.bits.size() != frame.byteCount() || frame.width > 64 || frame.height > 64) abort();
    }
    void invalidate(const cv::AnimRect&) override {}
};

} // namespace

// Input: width, height, depth choice and the 16-bit flag, then a record (in-memory form).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    static const int kDepths[] = {1, 2, 4, 8, 16, 32};
    const int width = 1 + data[0] % 48, height = 1 + data[1] % 48, depth = kDepths[data[2] % 6];
    const std::span<const uint8_t> rest(data + 4, size - 4);
    auto work = cv::MakeDIB(width, height, depth);
    if (!work) abort();
    const size_t bytes = work->byteCount();
    cv::applyFrameChanges(*work, rest, data[3] & 1);
    (void)cv::decodeFirstFrame(*work, rest);
    if (work->bits.size() != bytes) abort();

    cv::VirtualClock clock;
    cv::setClock(&clock);
    {
        cv::FrameAnimations animations;
        animations.setLargest(64, 64);
        CheckingCanvas canvas;
        const cv::Handle record = cv::NewHandleFrom(rest.data(), uint32_t(rest.size()));
        if (record && animations.StartFrameAnimation(record, {0, 0, 64, 64}, 1)) {
            for (int pass = 0; pass < 64 && animations.StepFrameAnimations(canvas); ++pass) {
                clock.sleepUntilMs(*animations.nextDueMs());
                clock.advance(1);
            }
        }
    }
    cv::setClock(nullptr);
    return 0;
}
