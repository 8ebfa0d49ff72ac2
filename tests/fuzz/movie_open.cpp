// Movie files held in memory: hostile bytes are opened, inspected and their first frames
// decoded and scaled safely; no frame handed out is larger than the limit or than it says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "media/movie_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = std::make_shared<const std::vector<uint8_t>>(data, data + size);
    cv::hasQuickTimeVrType(*bytes);
    auto movie = cv::MovieDecoder::open(cv::MovieSource{"", bytes});
    if (!movie) return 0;
    const cv::MovieInfo& info = movie->info();
    if (info.durationMs < 0 || info.width < 0 || info.height < 0) abort();
    // Every other frame at a fixed size, the rest at their own.
    cv::MovieFrame f;
    for (int n = 0; n < 8; ++n) {
        movie->setOutputSize(n % 2 ? 64 : 0, n % 2 ? 48 : 0);
        if (!movie->nextFrame(&f)) break;
        if (int64_t(f.width) * f.height > cv::kMaxMoviePixels || f.pixels.size() != size_t(f.width) * size_t(f.height))
            abort();
    }
    movie->seekMs(0);
    movie->nextFrame(&f);
    return 0;
}
