#pragma once
// Test movies made with FFmpeg's own encoders: each frame shows its number as a row of black
// and white blocks over a green lower half, and the sound track is a tone.
#include <cstdint>
#include <string>

#include "media/movie_writer.h"

namespace cv::test {

// What MovieToWrite describes (its `draw` is filled in), and two marks added afterwards.
struct TestMovie : MovieToWrite {
    bool vr = false;          // add QuickTime user data 'ctyp' (a VR movie)
    std::string forceTag;     // write this FourCC as the AVI picture handler (e.g. "iv32")
};

// The number of bits (blocks) that carry the frame number.
constexpr int kFrameBits = 6;
// The lower half's colour.
constexpr uint32_t kMovieGreen = 0x00A000;

// Writes the movie; false (and `error`) when an encoder or the muxer refuses.
bool makeTestMovie(const std::string& path, const TestMovie& desc, std::string* error);

// Where bit `bit` of the frame number is drawn in a width × height frame: its centre.
inline int frameBitX(int width, int bit) { return width * (2 * bit + 1) / (2 * kFrameBits); }
inline int frameBitY(int height) { return height / 4; }

// The frame number read back from 0xRRGGBB pixels (`pixel(x, y)`), as drawn by makeTestMovie.
template <typename PixelAt>
int readFrameNumber(int width, int height, PixelAt pixel) {
    int n = 0;
    for (int b = 0; b < kFrameBits; ++b) {
        const uint32_t p = pixel(frameBitX(width, b), frameBitY(height));
        const int lum = int((p >> 16) & 0xFF) + int((p >> 8) & 0xFF) + int(p & 0xFF);
        if (lum > 3 * 128) n |= 1 << b;
    }
    return n;
}

} // namespace cv::test
