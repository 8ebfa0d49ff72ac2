#pragma once
// Writes a movie from pictures drawn by the caller, with FFmpeg's own encoders and muxers:
// QuickTime or AVI, in the period codecs the player reads (Cinepak, Animation, Microsoft
// Video 1, uncompressed), with an optional tone as its sound track. The home stack's movie is
// made with it when the player is built, and the tests make theirs.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cv {

struct MovieToWrite {
    std::string container = "mov"; // "mov" or "avi"
    std::string codec = "qtrle";    // cinepak, qtrle, msvideo1, rawvideo
    int width = 160, height = 120;
    int frames = 10;
    int fps = 10;
    bool pictures = true;      // false: sound only
    bool tone = true;          // a sine tone as the sound track
    int toneHz = 440;
    int audioRate = 22050;
    double audioSeconds = -1;  // the tone's length; by default as long as the pictures
    std::vector<int64_t> chaptersMs; // chapter marks (a QuickTime chapter track)
    // Draws frame `n` into `rgb` (width × height RGB triples, black when called).
    std::function<void(int n, uint8_t* rgb)> draw;
};

// False (and `error`) when an encoder or the muxer refuses.
bool WriteMovie(const std::string& path, const MovieToWrite& movie, std::string* error);

} // namespace cv
