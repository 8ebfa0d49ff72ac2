#pragma once
// One movie file (QuickTime, AVI or anything libavformat opens), from disk or from memory:
// what it holds, its pictures decoded by libavcodec and converted by libswscale to 32-bit
// pixels at the size they are shown, and its sound track for the mixer.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/sound_decoder.h"

namespace cv {

// Frames larger than this are refused: a damaged header must not make the player allocate
// gigabytes for one picture.
constexpr int64_t kMaxMoviePixels = 16 * 1024 * 1024;

constexpr uint32_t fourcc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

struct MovieInfo {
    int width = 0, height = 0; // natural size; 0 × 0 for a movie without pictures
    int64_t durationMs = 0;    // the longer of the picture and sound tracks
    double frameRate = 0;      // frames per second as stored; 0 when unknown
    std::string container;     // libavformat's name ("mov,mp4,...", "avi")
    std::string videoCodec;    // libavcodec's name, empty without pictures
    std::string audioCodec;    // empty without sound
    uint32_t videoTag = 0;     // the picture track's handler, as stored (little-endian FourCC)
    bool hasAudio = false;
    std::vector<int64_t> chapterStartsMs; // the container's chapter marks, at most 1000
    bool videoDecoderMissing = false; // pictures whose codec this build cannot decode
    bool vrMovie = false;             // QuickTime user data 'ctyp': a VR panorama or object movie
    bool avi = false;
    bool tooLarge = false;            // frames above kMaxMoviePixels
};

// Where the packets of a sound track start. A seek in the track goes on from the packet at
// or before the position (SoundDecoder::seekMs); this tells how far before it that is, so
// that the samples in between can be passed over and the sound keeps to the pictures.
struct SoundTrackIndex {
    int timeNum = 0, timeDen = 1; // the track's time base
    int64_t unitsPerTick = 1;     // index steps per time-base tick (bytes per sample frame in an AVI)
    std::vector<int64_t> starts;  // the key packets, ascending; empty when unknown
    // Seconds from the start of the packet a seek to `ms` lands on to `ms` (0 when unknown).
    double leadInSeconds(int64_t ms) const;
};

// One picture, 0xAARRGGBB words in rows (QImage's RGB32 layout).
struct MovieFrame {
    int width = 0, height = 0;
    int64_t ptsMs = 0;
    std::vector<uint32_t> pixels;
};

// What a movie is read from: a file path, or a whole file held in memory.
struct MovieSource {
    std::string path;
    std::shared_ptr<const std::vector<uint8_t>> image;
};

class MovieDecoder {
public:
    ~MovieDecoder();
    MovieDecoder(const MovieDecoder&) = delete;
    MovieDecoder& operator=(const MovieDecoder&) = delete;

    // Opens and inspects the source. nullptr when libavformat cannot open it or finds neither
    // pictures nor sound in it.
    static std::unique_ptr<MovieDecoder> open(const MovieSource& source);

    const MovieInfo& info() const { return info_; }
    // The sound track's packets, as read when the movie was opened.
    const SoundTrackIndex& soundIndex() const { return soundIndex_; }
    const MovieSource& source() const { return source_; }

    // The size pictures are handed out at (scaled when it differs from the natural size);
    // 0 × 0 keeps the natural size. Sizes above kMaxMoviePixels are refused.
    bool setOutputSize(int width, int height);
    // The next picture in presentation order; false at the end, on damage that leaves
    // nothing more to show, or for a movie without pictures.
    bool nextFrame(MovieFrame* out);
    // Goes back to the key frame at or before `ms`; nextFrame then goes on from there.
    bool seekMs(int64_t ms);
    // The sound track of `source`, opened to be decoded as it plays at the mixer's format.
    // nullptr after the sound side's alert when it cannot be read.
    static std::unique_ptr<SoundDecoder> openAudio(const MovieSource& source, OutputFormat out);

    // Codecs treated as missing from this build (tests of the refusal path: an Indeo 3.2
    // movie cannot be made here, so its path is reached by claiming the decoder is absent).
    static void setMissingCodecsForTesting(std::vector<std::string> names);

private:
    MovieDecoder() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    MovieInfo info_;
    MovieSource source_;
    SoundTrackIndex soundIndex_;
};

// Whether a QuickTime file's movie carries user data of type 'ctyp' (a QuickTime VR movie).
// Reads only the atom headers along moov/udta, every size checked against its parent.
bool hasQuickTimeVrType(std::span<const uint8_t> file);
bool hasQuickTimeVrType(const std::string& path);

} // namespace cv
