#include "media/movie_channel.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "core/alerts.h"
#include "core/clock.h"

namespace cv {

namespace {

// Playback volume is 8.8 fixed point: 256 is full volume.
constexpr float kFullVolume = 256.0f;
constexpr float kMaxGain = 4.0f;
// The rectangle a movie without pictures takes.
constexpr MovieRect kSoundOnlyRect{0, 0, 200, 0};

bool isIndeo32(uint32_t tag) {
    auto lower = [](uint32_t t) {
        uint32_t out = 0;
        for (int i = 0; i < 4; ++i)
            out |= uint32_t(std::tolower(int((t >> (8 * i)) & 0xFF))) << (8 * i);
        return out;
    };
    return lower(tag) == fourcc('i', 'v', '3', '2');
}

int64_t now() { return int64_t(clock().nowMs()); }

// Hands the mixer the movie's own decoder: the movie keeps it from one start to the next, so
// the track is opened (and a file image copied) once, whatever the pauses and seeks.
class SharedSource final : public SoundSource {
public:
    explicit SharedSource(std::shared_ptr<SoundDecoder> d) : d_(std::move(d)) {}
    size_t read(int16_t* out, size_t frames) override { return d_->read(out, frames); }

private:
    std::shared_ptr<SoundDecoder> d_;
};

// Reads and drops `frames` frames: the way to a position in a track that cannot be searched.
void skipFrames(SoundDecoder& d, size_t frames, int channels) {
    std::vector<int16_t> scratch(size_t(4096) * size_t(channels));
    while (frames > 0) {
        const size_t want = std::min<size_t>(frames, 4096);
        const size_t got = d.read(scratch.data(), want);
        frames -= got;
        if (got < want) return;
    }
}

} // namespace

MovieList::MovieList(SoundManager& sounds) : sounds_(sounds) {}

// The sound manager may be gone already (the player's hooks outlive it): voices still in its
// mixer hold their own samples.
MovieList::~MovieList() = default;

MovieChannel* MovieList::find(uint16_t object) {
    // The newest: a button that names another movie waits for the one it started last.
    for (auto it = movies_.rbegin(); it != movies_.rend(); ++it)
        if ((*it)->object == object) return it->get();
    return nullptr;
}

MovieChannel* MovieList::PrepareMovie(const MovieRequest& request, uint16_t object, bool startNow) {
    const std::string& path = request.source.path;
    for (auto& m : movies_) {
        if (m->object == object && m->path == path && !path.empty()) {
            m->options = request.options;
            m->level = request.level;
            if (startNow) StartMovie(*m);
            return m.get();
        }
    }

    auto decoder = MovieDecoder::open(request.source);
    if (!decoder || (decoder->info().tooLarge && !decoder->info().hasAudio)) {
        showAlert(kAlertMovieOpen);
        return nullptr;
    }
    const MovieInfo& info = decoder->info();
    auto movie = std::make_unique<MovieChannel>();
    movie->path = path;
    movie->object = object;
    movie->options = request.options;
    movie->level = request.level;
    movie->rect = request.rect;

    // Indeo 3.2 in an AVI was Video for Windows' to play; here it is decoded like the rest,
    // and refused only when this build has no decoder for it.
    const bool pictures = info.width > 0 && info.height > 0;
    if (info.avi && isIndeo32(info.videoTag)) movie->status |= kMovieVideoForWindows;
    else movie->status |= kMovieQuickTime;
    if (pictures && info.videoDecoderMissing) {
        showAlert(kAlertMovieCodec);
        return nullptr;
    }
    if (!pictures || info.tooLarge) movie->status |= kMovieSoundOnly;
    if (info.vrMovie) movie->status |= kMovieVR;

    // Placing: an empty rectangle takes the movie's own size.
    if (movie->rect.allZero()) {
        if (pictures && !info.tooLarge) {
            movie->rect = {0, 0, info.width, info.height};
        } else {
            showAlert(kAlertMovieNoPictures);
            movie->status |= kMovieSoundOnly;
            movie->rect = kSoundOnlyRect;
        }
    }

    // The sound track is opened when it first plays, and decoded as it plays.
    movie->hasSound = info.hasAudio;
    if (movie->hasSound) {
        movie->soundSource = request.source;
        movie->soundIndex = decoder->soundIndex();
    }
    const int naturalWidth = info.width, naturalHeight = info.height;
    movie->playback = std::make_unique<MoviePlayback>(std::move(decoder), mode);
    const MovieRect& r = movie->rect;
    if (movie->playback->hasPictures() && r.width() > 0 && r.height() > 0 &&
        (r.width() != naturalWidth || r.height() != naturalHeight))
        movie->playback->setOutputSize(r.width(), r.height());
    movies_.push_back(std::move(movie));
    MovieChannel* m = movies_.back().get();
    if (startNow) StartMovie(*m);
    return m;
}

float MovieList::gain(const MovieChannel& movie) const {
    if (!(movie.options & kMovieUseLevel)) return 1.0f;
    return std::min(float(movie.level) / kFullVolume, kMaxGain);
}

void MovieList::stopSound(MovieChannel& movie) {
    if (!movie.voice) return;
    sounds_.sink().catchUp();
    sounds_.mixer().stop(movie.voice);
    movie.voice = 0;
}

void MovieList::startSound(MovieChannel& movie, int64_t fromMs) {
    stopSound(movie);
    if (!movie.hasSound) return;
    const OutputFormat format = sounds_.mixer().format();
    const bool first = !movie.sound;
    if (first) {
        // A track that cannot be read was said once (by the sound side's alert); the movie
        // goes on without sound and does not try again.
        movie.sound = MovieDecoder::openAudio(movie.soundSource, format);
        if (!movie.sound) {
            movie.hasSound = false;
            movie.soundSource = {};
            return;
        }
    }
    // A fresh decoder is at the start already; otherwise go to the movie's position: to the
    // packet the position is in, then on through it to the position itself. A track that
    // cannot be searched is opened again and read up to there.
    const int64_t at = std::max<int64_t>(fromMs, 0);
    if (!(first && at == 0)) {
        if (movie.sound->seekMs(at)) {
            skipFrames(*movie.sound, size_t(movie.soundIndex.leadInSeconds(at) * format.rate), format.channels);
        } else {
            movie.sound = MovieDecoder::openAudio(movie.soundSource, format);
            if (!movie.sound) {
                movie.hasSound = false;
                return;
            }
            skipFrames(*movie.sound, size_t(at * format.rate / 1000), format.channels);
        }
    }
    // Whatever played until now was heard before the movie's sound begins.
    sounds_.sink().catchUp();
    movie.voice = sounds_.mixer().playStream(std::make_unique<SharedSource>(movie.sound), gain(movie));
}

void MovieList::StartMovie(MovieChannel& movie) {
    if (movie.status & kMovieAtEnd) {
        movie.status &= ~kMovieAtEnd;
        if (movie.options & kMovieHideAtEnd) ShowMovieWindow(movie, true);
    }
    // From the beginning, at the movie's own rate.
    movie.originMs = now();
    movie.pausedAtMs = 0;
    movie.playing = true;
    movie.started = true;
    if (movie.playback) movie.playback->seek(0);
    startSound(movie, 0);
    ShowMovieWindow(movie, true);
}

int64_t MovieList::position(const MovieChannel& movie) const {
    return movie.playing ? std::max<int64_t>(0, now() - movie.originMs) : movie.pausedAtMs;
}

int64_t MovieList::length(const MovieChannel& movie) const {
    // The stored length covers the sound track too.
    return movie.playback ? movie.playback->lengthMs() : 0;
}

bool MovieList::IsMovieDone(MovieChannel& movie) {
    if (movie.status & kMovieAtEnd) return true;
    if (!movie.playing) return false;
    const int64_t at = position(movie);
    sounds_.sink().catchUp();
    const bool soundDone = !movie.voice || sounds_.mixer().finished(movie.voice);
    const bool picturesDone = !movie.playback || movie.playback->picturesDone(at);
    if (!soundDone || !picturesDone) return false;
    movie.status |= kMovieAtEnd;
    movie.playing = false;
    movie.pausedAtMs = at;
    stopSound(movie);
    if (movie.options & kMovieHideAtEnd) ShowMovieWindow(movie, false);
    return true;
}

void MovieList::ShowMovieWindow(MovieChannel& movie, bool show) { movie.shown = show; }

void MovieList::pause(MovieChannel& movie) {
    if (!movie.playing) return;
    movie.pausedAtMs = position(movie);
    movie.playing = false;
    stopSound(movie);
}

void MovieList::resume(MovieChannel& movie) {
    if (movie.playing) return;
    if (movie.status & kMovieAtEnd) {
        StartMovie(movie);
        return;
    }
    movie.originMs = now() - movie.pausedAtMs;
    movie.playing = true;
    movie.started = true;
    startSound(movie, movie.pausedAtMs);
}

void MovieList::seek(MovieChannel& movie, int64_t positionMs) {
    const int64_t to = std::clamp<int64_t>(positionMs, 0, std::max<int64_t>(0, length(movie) - 1));
    movie.status &= ~kMovieAtEnd;
    if (movie.playback) movie.playback->seek(to);
    if (movie.playing) {
        movie.originMs = now() - to;
        startSound(movie, to);
    } else {
        movie.pausedAtMs = to;
    }
}

void MovieList::stopSoundOnly(bool all) {
    for (auto it = movies_.begin(); it != movies_.end();) {
        MovieChannel& m = **it;
        if (m.soundOnly() && (all || !(m.options & kMovieNoWait))) {
            stopSound(m);
            it = movies_.erase(it);
        } else {
            ++it;
        }
    }
}

void MovieList::stopPlaying(bool keepNoWait) {
    for (auto& m : movies_) {
        if (keepNoWait && (m->options & kMovieNoWait)) continue;
        if (m->playing) pause(*m);
    }
}

void MovieList::clear() {
    for (auto& m : movies_) stopSound(*m);
    movies_.clear();
}

bool MovieList::anyPlaying() {
    bool any = false;
    for (auto& m : movies_)
        if (m->playing && !IsMovieDone(*m)) any = true;
    return any;
}

} // namespace cv
