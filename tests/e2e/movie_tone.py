#!/usr/bin/env python3
"""The movie's sound track in a session's recording: silence before the click (100 ms into
the recording), then its 440 Hz tone for the movie's second.

usage: movie_tone.py RECORDING.wav
"""
import struct
import sys
import wave


def main(path):
    with wave.open(path, "rb") as w:
        rate, channels = w.getframerate(), w.getnchannels()
        data = w.readframes(w.getnframes())
    left = struct.unpack("<%dh" % (len(data) // 2), data)[::channels]

    def window(start_ms, end_ms):
        return left[start_ms * rate // 1000:end_ms * rate // 1000]

    before = window(0, 90)
    if not before or max(abs(v) for v in before) > 50:
        sys.exit("sound before the click")
    tone = window(200, 1000)
    if len(tone) < rate // 2:
        sys.exit("the recording is too short: %d samples" % len(tone))
    rms = (sum(v * v for v in tone) / len(tone)) ** 0.5
    crossings = sum(1 for a, b in zip(tone, tone[1:]) if (a < 0) != (b < 0))
    hz = crossings / 2 / (len(tone) / rate)
    if rms < 3000 or abs(hz - 440) > 10:
        sys.exit("no 440 Hz tone: rms %.0f, %.1f Hz" % (rms, hz))
    print("tone: rms %.0f, %.1f Hz" % (rms, hz))


if __name__ == "__main__":
    main(sys.argv[1])
