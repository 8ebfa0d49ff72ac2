// Movies: decoding the period codecs through FFmpeg, frames due by position on both clocks,
// and the movie list's rules (alerts, placing, status, reuse, end, hiding, sound-only stops).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/clock.h"
#include "core/ui.h"
#include "media/movie_channel.h"
#include "movie_maker.h"

namespace cv {
namespace {

namespace fs = std::filesystem;

class Movies : public ::testing::Test {
protected:
    void SetUp() override {
        setUi(&ui);
        setClock(&vc);
        dir = fs::temp_directory_path() / ("cv_movies_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        MovieDecoder::setMissingCodecsForTesting({});
        setClock(nullptr);
        setUi(nullptr);
        fs::remove_all(dir);
    }
    // A test movie in the folder: the default one, changed by `set`.
    std::string make(const std::string& name, const std::function<void(test::TestMovie&)>& set = {}) {
        test::TestMovie desc;
        if (set) set(desc);
        const std::string path = (dir / name).string();
        std::string error;
        EXPECT_TRUE(test::makeTestMovie(path, desc, &error)) << name << ": " << error;
        return path;
    }
    bool alerted(int id) const {
        for (const std::string& l : ui.log())
            if (l.find("alert " + std::to_string(id)) != std::string::npos) return true;
        return false;
    }
    static int number(const MovieFrame& f) {
        return test::readFrameNumber(f.width, f.height, [&](int x, int y) { return f.pixels[size_t(y * f.width + x)] & 0xFFFFFF; });
    }
    MovieRequest request(const std::string& path, MovieRect rect = {}, int16_t options = 0) {
        MovieRequest r;
        r.source.path = path, r.rect = rect, r.options = options;
        return r;
    }
    HeadlessUi ui;
    VirtualClock vc{1000};
    fs::path dir;
};

struct CodecCase {
    const char* container;
    const char* codec;
    const char* decoderName;
    bool exactColour; // lossless (or lossless for these colours)
};

TEST_F(Movies, EachPeriodCodecDecodesEveryFrameWithItsNumberAndTime) {
    const CodecCase cases[] = {
        {"mov", "cinepak", "cinepak", false},
        {"mov", "qtrle", "qtrle", true},
        {"avi", "msvideo1", "msvideo1", false},
        {"avi", "rawvideo", "rawvideo", true},
    };
    for (const CodecCase& c : cases) {
        SCOPED_TRACE(c.codec);
        const std::string path = make(std::string(c.codec) + "." + c.container, [&](test::TestMovie& d) {
            d.container = c.container;
            d.codec = c.codec;
            d.frames = 12;
        });
        auto d = MovieDecoder::open(MovieSource{path, nullptr});
        ASSERT_TRUE(d);
        EXPECT_EQ(d->info().videoCodec, c.decoderName);
        EXPECT_EQ(d->info().width, 160);
        EXPECT_EQ(d->info().height, 120);
        EXPECT_TRUE(d->info().hasAudio);
        EXPECT_NEAR(double(d->info().durationMs), 1200.0, 60.0);
        EXPECT_EQ(d->info().avi, std::string(c.container) == "avi");
        MovieFrame f;
        int n = 0;
        while (d->nextFrame(&f)) {
            EXPECT_EQ(number(f), n);
            EXPECT_EQ(f.ptsMs, n * 100);
            const uint32_t green = f.pixels[size_t(100 * f.width + 80)] & 0xFFFFFF;
            if (c.exactColour) EXPECT_EQ(green, test::kMovieGreen);
            else EXPECT_NEAR(double((green >> 8) & 0xFF), 0xA0, 24.0);
            ++n;
        }
        EXPECT_EQ(n, 12);
        auto sound = MovieDecoder::openAudio(d->source(), OutputFormat{48000, 2});
        ASSERT_TRUE(sound);
        std::vector<int16_t> pcm(size_t(48000) * 2 * 2);
        EXPECT_NEAR(double(sound->read(pcm.data(), 48000 * 2)), 48000 * 1.2, 2000.0);
    }
}

TEST_F(Movies, FromMemoryScaledAndAfterASeek) {
    const std::string path = make("m.mov", [](test::TestMovie& d) { d.frames = 20; });
    std::ifstream in(path, std::ios::binary);
    auto bytes = std::make_shared<std::vector<uint8_t>>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    auto d = MovieDecoder::open(MovieSource{"", bytes});
    ASSERT_TRUE(d);
    ASSERT_TRUE(d->setOutputSize(320, 60));
    EXPECT_FALSE(d->setOutputSize(5000, 5000)); // 25 megapixels
    MoviePlayback p(std::move(d), MoviePlayback::Mode::Synchronous);
    const MovieFrame* f = p.frameAt(1250);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->width, 320);
    EXPECT_EQ(f->height, 60);
    EXPECT_EQ(number(*f), 12);
    f = p.frameAt(310); // backwards: decoded again from a key frame
    ASSERT_TRUE(f);
    EXPECT_EQ(number(*f), 3);
    EXPECT_FALSE(p.picturesDone(1999));
    EXPECT_TRUE(p.picturesDone(2000));
    // The same bytes stored as a sound's file image (kind 6) are heard through the sound side.
    PcmBuffer pcm;
    EXPECT_EQ(DecodeSoundImage(*bytes, OutputFormat{48000, 2}, &pcm), 0);
    EXPECT_NEAR(double(pcm.frames()), 96000.0, 2000.0);
}

TEST_F(Movies, TheDecodeThreadHandsOutFramesInOrderAndReachesTheEnd) {
    auto d = MovieDecoder::open(MovieSource{make("t.mov", [](test::TestMovie& m) {
        m.codec = "cinepak";
        m.frames = m.fps = 30;
    }), nullptr});
    ASSERT_TRUE(d);
    MoviePlayback p(std::move(d), MoviePlayback::Mode::Threaded);
    int last = -1;
    for (int64_t at = 0; !p.picturesDone(at) && at < 5000; at += 10) {
        if (const MovieFrame* f = p.frameAt(at)) {
            EXPECT_GE(number(*f), last);
            last = number(*f);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(last, 29);
}

TEST_F(Movies, PreparingChoosesAlertsStatusAndPlace) {
    const std::string mov = make("plain.mov");
    const std::string wavMov = make("sound.mov", [](test::TestMovie& d) { d.pictures = false; });
    const std::string vrMov = make("vr.mov", [](test::TestMovie& d) { d.vr = true; });
    const std::string iv32 = make("indeo.avi", [](test::TestMovie& d) {
        d.container = "avi";
        d.codec = "msvideo1";
        d.forceTag = "iv32";
    });
    const std::string junk = (dir / "junk.mov").string();
    std::ofstream(junk) << "not a movie at all";

    struct Case {
        const char* name;
        std::string path;
        MovieRect rect;
        bool stubIndeo;
        int alert;      // 0: none
        bool prepared;
        uint32_t status;
        MovieRect placed;
    };
    const Case cases[] = {
        {"natural rect", mov, {}, false, 0, true, kMovieQuickTime, {0, 0, 160, 120}},
        {"given rect", mov, {10, 20, 90, 80}, false, 0, true, kMovieQuickTime, {10, 20, 90, 80}},
        {"sound only, no rect", wavMov, {}, false, kAlertMovieNoPictures, true, kMovieQuickTime | kMovieSoundOnly, {0, 0, 200, 0}},
        {"sound only, a rect", wavMov, {5, 5, 50, 50}, false, 0, true, kMovieQuickTime | kMovieSoundOnly, {5, 5, 50, 50}},
        {"VR", vrMov, {}, false, 0, true, kMovieQuickTime | kMovieVR, {0, 0, 160, 120}},
        {"Indeo 3.2 decoded here", iv32, {}, false, 0, true, kMovieVideoForWindows, {0, 0, 160, 120}},
        {"Indeo 3.2 without its decoder", iv32, {}, true, kAlertMovieCodec, false, 0, {}},
        {"missing", (dir / "none.mov").string(), {}, false, kAlertMovieOpen, false, 0, {}},
        {"not a movie", junk, {}, false, kAlertMovieOpen, false, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.clearLog();
        MovieDecoder::setMissingCodecsForTesting(c.stubIndeo ? std::vector<std::string>{"indeo3"} : std::vector<std::string>{});
        SoundManager sounds;
        MovieList list(sounds);
        list.mode = MoviePlayback::Mode::Synchronous;
        MovieChannel* m = list.PrepareMovie(request(c.path, c.rect), 7, false);
        EXPECT_EQ(m != nullptr, c.prepared);
        if (c.alert) EXPECT_TRUE(alerted(c.alert)) << (ui.log().empty() ? "" : ui.log().back());
        else EXPECT_TRUE(ui.log().empty()) << ui.log().front();
        if (!m) continue;
        EXPECT_EQ(m->status, c.status);
        EXPECT_EQ(m->rect, c.placed);
        EXPECT_EQ(m->kind, 1);
    }
}

TEST_F(Movies, DamagedFilesAlertOrPlayWhatTheyCan) {
    const std::string path = make("big.avi", [](test::TestMovie& d) {
        d.container = "avi";
        d.codec = "rawvideo";
    });
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // The bitmap header's width and height (after "strf" and its size) made 65535 × 65535.
    std::vector<uint8_t> huge = bytes;
    for (size_t i = 0; i + 20 < huge.size(); ++i) {
        if (std::string(huge.begin() + long(i), huge.begin() + long(i) + 4) != "strf") continue;
        for (int k = 0; k < 2; ++k) huge[i + 12 + k] = huge[i + 16 + k] = 0xFF;
        huge[i + 14] = huge[i + 15] = huge[i + 18] = huge[i + 19] = 0;
        break;
    }
    std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + long(bytes.size() / 2));
    for (const auto& [name, data] : {std::pair{"huge", huge}, std::pair{"truncated", truncated}}) {
        SCOPED_TRACE(name);
        ui.clearLog();
        SoundManager sounds;
        MovieList list(sounds);
        list.mode = MoviePlayback::Mode::Synchronous;
        MovieRequest r;
        r.source.image = std::make_shared<std::vector<uint8_t>>(data);
        MovieChannel* m = list.PrepareMovie(r, 1, true);
        if (!m) {
            EXPECT_TRUE(alerted(kAlertMovieOpen));
            continue;
        }
        // What can be played plays, no frame above the limit is made, and it ends.
        vc.advance(5000);
        EXPECT_TRUE(list.IsMovieDone(*m));
        const MovieFrame* f = m->playback->hasPictures() ? m->playback->frameAt(5000) : nullptr;
        if (f) {
            EXPECT_LE(int64_t(f->width) * f->height, kMaxMoviePixels);
        }
    }
}

TEST_F(Movies, StartingEndingHidingReuseAndSoundOnlyStops) {
    const std::string mov = make("m.mov");  // one second, with a tone
    const std::string snd = make("s.mov", [](test::TestMovie& d) { d.pictures = false; });
    SoundManager sounds;
    MovieList list(sounds);
    list.mode = MoviePlayback::Mode::Synchronous;

    MovieChannel* m = list.PrepareMovie(request(mov, {}, kMovieHideAtEnd | kMovieUseLevel), 3, true);
    ASSERT_TRUE(m);
    m->level = 128;
    EXPECT_TRUE(m->shown);
    EXPECT_EQ(sounds.mixer().voiceCount(), 1u);
    vc.advance(500);
    EXPECT_FALSE(list.IsMovieDone(*m));
    EXPECT_EQ(number(*m->playback->frameAt(list.position(*m))), 5);
    vc.advance(600);
    EXPECT_TRUE(list.IsMovieDone(*m));
    EXPECT_TRUE(m->status & kMovieAtEnd);
    EXPECT_FALSE(m->shown); // option 0x0008
    // The same file for the same button: the same movie, shown again from its start.
    EXPECT_EQ(list.PrepareMovie(request(mov, {}, kMovieHideAtEnd), 3, true), m);
    EXPECT_TRUE(m->shown);
    EXPECT_FALSE(m->status & kMovieAtEnd);
    EXPECT_EQ(list.movies().size(), 1u);
    // Another button gets its own.
    EXPECT_NE(list.PrepareMovie(request(mov), 4, false), m);

    MovieChannel* kept = list.PrepareMovie(request(snd, {1, 1, 2, 2}, kMovieNoWait), 5, true);
    ASSERT_TRUE(kept);
    list.PrepareMovie(request(snd, {1, 1, 2, 2}), 6, true);
    EXPECT_EQ(list.movies().size(), 4u);
    list.stopSoundOnly(false);
    EXPECT_EQ(list.movies().size(), 3u);
    EXPECT_TRUE(list.find(5));
    list.stopSoundOnly(true);
    EXPECT_FALSE(list.find(5));
    list.clear();
    EXPECT_EQ(sounds.mixer().voiceCount(), 0u);
}

TEST_F(Movies, PauseResumeAndSeekKeepPositionAndSound) {
    SoundManager sounds;
    MovieList list(sounds);
    list.mode = MoviePlayback::Mode::Synchronous;
    // The tone ends 200 ms before the pictures: where it ends shows where it went on from.
    MovieChannel* m = list.PrepareMovie(request(make("p.mov", [](test::TestMovie& d) {
        d.frames = 30;
        d.audioSeconds = 2.8;
    })), 1, true);
    ASSERT_TRUE(m);
    vc.advance(700);
    list.pause(*m);
    EXPECT_EQ(sounds.mixer().voiceCount(), 0u);
    vc.advance(5000);
    EXPECT_EQ(list.position(*m), 700);
    EXPECT_FALSE(list.IsMovieDone(*m));
    list.resume(*m);
    EXPECT_EQ(sounds.mixer().voiceCount(), 1u);
    vc.advance(100);
    EXPECT_EQ(number(*m->playback->frameAt(list.position(*m))), 8);
    list.seek(*m, 2500);
    EXPECT_EQ(number(*m->playback->frameAt(list.position(*m))), 25);
    // The sound went on from 2500 ms exactly (not from the start of the packet the seek landed
    // in, 39 ms before): 300 ms of it are left.
    const Mixer::VoiceId voice = m->voice;
    vc.advance(280);
    sounds.sink().catchUp();
    EXPECT_FALSE(sounds.mixer().finished(voice));
    vc.advance(40);
    sounds.sink().catchUp();
    EXPECT_TRUE(sounds.mixer().finished(voice));
    vc.advance(180);
    EXPECT_TRUE(list.IsMovieDone(*m));
    // Started again, it plays from the beginning.
    list.StartMovie(*m);
    vc.advance(2700);
    sounds.sink().catchUp();
    EXPECT_FALSE(sounds.mixer().finished(m->voice));
}

TEST_F(Movies, ATrackTheSoundSideRefusesIsSaidOnceAndTheMoviePlaysSilent) {
    SoundManager sounds;
    MovieList list(sounds);
    list.mode = MoviePlayback::Mode::Synchronous;
    MovieChannel* m = list.PrepareMovie(request(make("low.mov", [](test::TestMovie& d) {
        d.frames = 20;
        d.audioRate = 800;  // below the lowest rate a sound file may have
    })), 1, true);
    ASSERT_TRUE(m);
    vc.advance(500);
    list.pause(*m);
    list.resume(*m);
    list.seek(*m, 1000);
    list.StartMovie(*m);
    EXPECT_EQ(ui.log().size(), 1u);
    EXPECT_TRUE(alerted(kAlertMovieOpen));
    EXPECT_EQ(sounds.mixer().voiceCount(), 0u);
    vc.advance(2100);
    EXPECT_TRUE(list.IsMovieDone(*m));
}

TEST(MovieVrType, FoundOnlyWhereTheAtomsSayAndNeverOutside) {
    auto atom = [](const char* type, std::vector<uint8_t> body, uint32_t size = 0) {
        const uint32_t s = size ? size : uint32_t(body.size() + 8);
        std::vector<uint8_t> out{uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s)};
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), body.begin(), body.end());
        return out;
    };
    const auto ctyp = atom("ctyp", {'q', 't', 'v', 'r'});
    EXPECT_TRUE(hasQuickTimeVrType(atom("moov", atom("udta", ctyp))));
    EXPECT_FALSE(hasQuickTimeVrType(atom("moov", ctyp)));
    EXPECT_FALSE(hasQuickTimeVrType(atom("udta", ctyp)));
    // A udta whose size runs past its moov is damage, not a VR movie.
    EXPECT_FALSE(hasQuickTimeVrType(atom("moov", atom("udta", ctyp, 4000))));
    EXPECT_FALSE(hasQuickTimeVrType(std::vector<uint8_t>{0, 0, 0, 1, 'm', 'o', 'o', 'v'}));
}

} // namespace
} // namespace cv
