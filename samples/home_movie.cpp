// Makes the home stack's movie when the player is built: a ball bouncing across a sky, drawn
// here frame by frame and written as a Cinepak QuickTime movie with a tone.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "media/movie_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.mov\n", argv[0]);
        return 2;
    }
    cv::MovieToWrite m;
    m.codec = "cinepak";
    m.width = 160;
    m.height = 120;
    m.fps = 15;
    m.frames = 60;
    m.toneHz = 523;
    m.draw = [&m](int n, uint8_t* rgb) {
        const double t = double(n) / m.frames;
        const double cx = 20 + t * (m.width - 40);
        const double cy = m.height - 22 - std::fabs(std::sin(t * 3 * std::numbers::pi)) * (m.height - 50);
        for (int y = 0; y < m.height; ++y) {
            for (int x = 0; x < m.width; ++x) {
                uint8_t* p = rgb + (size_t(y) * size_t(m.width) + size_t(x)) * 3;
                const bool ground = y >= m.height - 12;
                const double d = std::hypot(x - cx, y - cy);
                if (d < 10) { // the ball, lit from the top left
                    const double shade = 1.0 - 0.5 * std::hypot(x - cx + 4, y - cy + 4) / 14;
                    p[0] = uint8_t(230 * shade + 20);
                    p[1] = uint8_t(40 * shade);
                    p[2] = uint8_t(40 * shade);
                } else if (ground) {
                    p[0] = 40, p[1] = 140, p[2] = 50;
                } else {
                    p[0] = uint8_t(120 + y / 2), p[1] = uint8_t(170 + y / 3), p[2] = 240;
                }
            }
        }
    };
    std::string error;
    if (!cv::WriteMovie(argv[1], m, &error)) {
        std::fprintf(stderr, "home movie: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
