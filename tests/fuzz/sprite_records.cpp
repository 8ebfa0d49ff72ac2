// Sprites as stored: the 'Sprt', 'Path' and 'Film' records, their 'PPak' frames and masks, and
// the engine drawing them over a small card. Nothing may be read or written outside.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/clock.h"
#include "media/sprite_engine.h"

namespace {

struct SmallCard : cv::SpriteCanvas {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(40 * 30, 0xFF808080u);
    cv::SpriteSurface surface() override { return {pixels.data(), 40, 30, 40}; }
    void present(const cv::AnimRect& r) override {
        if (r.left < 0 || r.top < 0 || r.right > 40 || r.bottom > 30) abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> in(data, size);
    if (auto records = cv::parseSpriteRecords(in)) {
        if (records->frames.empty() || records->frames.size() > cv::sprite::kMaxFrames) abort();
        std::vector<cv::SpriteFrame> frames;
        if (cv::decodeSpriteFrames(*records, 32, 32, &frames) == cv::SpriteDecode::Ok)
            for (const cv::SpriteFrame& f : frames)
                if (f.pixels.size() != size_t(f.width) * f.height) abort();
    }
    cv::VirtualClock clock;
    cv::setClock(&clock);
    {
        cv::SpriteEngine engine;
        engine.setLargest(32, 32);
        SmallCard card;
        if (engine.startSprite(in, 1) == cv::SpriteStart::Started) {
            for (int step = 0; step < 64 && engine.stepSprites(card); ++step) {
                const auto due = engine.nextDueMs();
                if (!due) abort();
                clock.sleepUntilMs(*due);
            }
            engine.stopSprites(&card);
        }
    }
    cv::setClock(nullptr);
    return 0;
}
