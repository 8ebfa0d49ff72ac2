// Writes the movies the movie sessions play into the folder given, made with FFmpeg's own
// encoders (see tests/media/movie_maker.h for what each frame shows).
#include <cstdio>
#include <string>

#include "movie_maker.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    struct Made {
        const char* name;
        cv::test::TestMovie desc;
    };
    cv::test::TestMovie qtrle; // 160 × 120, 10 frames at 10 fps, a 440 Hz tone
    cv::test::TestMovie raw;
    raw.container = "avi";
    raw.codec = "rawvideo";
    cv::test::TestMovie cinepak;
    cinepak.codec = "cinepak";
    cinepak.frames = 30;
    cv::test::TestMovie msvideo1;
    msvideo1.container = "avi";
    msvideo1.codec = "msvideo1";
    // A laserdisc digitised: 64 frames at 30 a second, no sound.
    cv::test::TestMovie disc;
    disc.frames = 64;
    disc.fps = 30;
    disc.tone = false;
    const Made made[] = {{"videodisc_disc.mov", disc},
                         {"movie_qtrle.mov", qtrle}, {"movie_raw.avi", raw}, {"movie_long.mov", cinepak},
                         {"movie_msvideo1.avi", msvideo1}};
    for (const Made& m : made) {
        std::string error;
        if (!cv::test::makeTestMovie(std::string(argv[1]) + "/" + m.name, m.desc, &error)) {
            std::fprintf(stderr, "%s: %s\n", m.name, error.c_str());
            return 1;
        }
    }
    return 0;
}
