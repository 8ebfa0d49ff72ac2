#pragma once
// The media manager's movie side: the movie list, preparing a movie for a button (opening,
// choosing how it is decoded, placing it), starting it, its end, its window shown or hidden,
// and its sound track decoded as it plays through the mixer. What a movie looks like on the card is the
// player's business: it asks for the frame due now and draws it in the movie's rectangle.
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "media/movie_playback.h"
#include "media/sound_manager.h"

namespace cv {

// Options of a movie, from its action.
constexpr int16_t kMoviePlayBar = 0x0001;
constexpr int16_t kMovieHideAtEnd = 0x0008;
constexpr int16_t kMovieUseLevel = 0x0080;
constexpr int16_t kMovieNoWait = 0x0100;
// Status of a movie, kept by the player.
constexpr uint32_t kMovieVideoForWindows = 0x0200; // an Indeo 3.2 AVI
constexpr uint32_t kMovieVR = 0x0400;
constexpr uint32_t kMovieQuickTime = 0x1000;
constexpr uint32_t kMovieSoundOnly = 0x2000;
constexpr uint32_t kMovieAtEnd = 0x8000;

constexpr int kAlertMovieOpen = 2286;
constexpr int kAlertMovieCodec = 2358;
constexpr int kAlertMovieNoPictures = 2275;

// The rectangle a movie sits in on the card: left, top, right, bottom.
struct MovieRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool allZero() const { return !left && !top && !right && !bottom; }
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const MovieRect&) const = default;
};

// What a movie action asks for.
struct MovieRequest {
    MovieSource source; // the located file, or a file image
    MovieRect rect;
    int16_t options = 0;
    uint16_t level = 256;
};

struct MovieChannel {
    std::string path;
    MovieRect rect;
    uint16_t object = 0;
    int16_t options = 0;
    uint32_t status = 0;
    uint16_t level = 0;
    int kind = 1;
    bool shown = false;   // the movie's window is on the card
    bool playing = false; // started, not paused, not at its end
    bool started = false; // started at least once
    // Clock time at which the movie's position 0 was (or would have been) played.
    int64_t originMs = 0;
    int64_t pausedAtMs = 0; // the position while not playing
    std::unique_ptr<MoviePlayback> playback;
    // The sound track: where it is read from (when the movie has one), and its decoder, opened
    // the first time the sound starts and kept (sought) for every start after that.
    MovieSource soundSource;
    SoundTrackIndex soundIndex;
    bool hasSound = false;
    std::shared_ptr<SoundDecoder> sound;
    Mixer::VoiceId voice = 0;

    bool soundOnly() const { return status & kMovieSoundOnly; }
};

class MovieList {
public:
    explicit MovieList(SoundManager& sounds);
    ~MovieList();
    MovieList(const MovieList&) = delete;
    MovieList& operator=(const MovieList&) = delete;

    // Reuses the movie of `object` with the same path, or opens a new one (alerts 2286, 2358
    // and 2275 as they apply), places it and, with `startNow`, starts it. nullptr when the
    // movie cannot be played.
    MovieChannel* PrepareMovie(const MovieRequest& request, uint16_t object, bool startNow);
    void StartMovie(MovieChannel& movie);
    // True once the movie has reached its end (status 0x8000 set then, its window hidden with
    // option 0x0008).
    bool IsMovieDone(MovieChannel& movie);
    void ShowMovieWindow(MovieChannel& movie, bool show);

    // The play bar's controls.
    void pause(MovieChannel& movie);
    void resume(MovieChannel& movie);
    void seek(MovieChannel& movie, int64_t positionMs);
    // Where the movie is now (ms from its start), and how long it is.
    int64_t position(const MovieChannel& movie) const;
    int64_t length(const MovieChannel& movie) const;

    // StopSounds' movie half: sound-only movies end, those with option 0x0100 too when `all`.
    void stopSoundOnly(bool all);
    // Stops the playing movies (those of `object`, or all for 0), leaving them in the list.
    void stopPlaying(bool keepNoWait);
    // Ends and frees every movie (the list's destructor frees them without touching the
    // sounds, which may have gone first).
    void clear();

    MovieChannel* find(uint16_t object);
    std::list<std::unique_ptr<MovieChannel>>& movies() { return movies_; }
    bool anyPlaying();

    // Decoding mode for movies opened from now on.
    MoviePlayback::Mode mode = MoviePlayback::Mode::Threaded;

private:
    void stopSound(MovieChannel& movie);
    void startSound(MovieChannel& movie, int64_t fromMs);
    float gain(const MovieChannel& movie) const;

    SoundManager& sounds_;
    std::list<std::unique_ptr<MovieChannel>> movies_;
};

} // namespace cv
