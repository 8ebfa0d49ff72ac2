#!/usr/bin/env python3
"""A sound button, heard through a capture of the player's output.

Builds a stack whose button plays a stored sound (made from a WAV file written here), clicks
it in a headless session that records what the player would have played, and compares the
recording with the WAV file decoded independently by Python's own `wave` module: the two must
correlate at 0.99 or better, and the sound must begin within 20 ms of the click. A second
button, a sound named "Stop All Sounds", silences it; leaving the card silences it too.

usage: sound_capture.py CVSTACK WORKDIR
"""
import json
import math
import os
import struct
import subprocess
import sys
import wave

RATE = 22050
SECONDS = 1.0
CAPTURE_RATE = 48000
CLICK_MS = 100    # the click comes this long after recording starts
STOP_MS = 600     # the "Stop All Sounds" button, before the sound's end
SECOND_MS = 800   # the sound again, then the card is left


def signal(i):
    t = i / RATE
    return 0.4 * math.sin(2 * math.pi * 440 * t) + 0.2 * math.sin(2 * math.pi * 1000 * t + 0.3)


def write_wav(path, samples, rate, width):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(width)
        w.setframerate(rate)
        if width == 2:
            w.writeframes(b"".join(struct.pack("<h", int(round(32767 * s))) for s in samples))
        else:
            w.writeframes(bytes(128 + int(round(127 * s)) for s in samples))


def read_mono(path):
    """The first channel of a 16-bit WAV, as floats."""
    with wave.open(path, "rb") as w:
        assert w.getsampwidth() == 2, "16-bit samples expected"
        n, ch, rate = w.getnframes(), w.getnchannels(), w.getframerate()
        data = w.readframes(n)
    values = struct.unpack("<%dh" % (len(data) // 2), data)
    return [v / 32768.0 for v in values[::ch]], rate


def resample_linear(x, from_rate, to_rate):
    n = int(len(x) * to_rate / from_rate)
    out = []
    for j in range(n):
        p = j * from_rate / to_rate
        i = int(p)
        f = p - i
        a = x[i]
        b = x[i + 1] if i + 1 < len(x) else 0.0
        out.append(a + (b - a) * f)
    return out


def correlation(a, b):
    n = min(len(a), len(b))
    sab = sum(a[i] * b[i] for i in range(n))
    saa = sum(a[i] * a[i] for i in range(n))
    sbb = sum(b[i] * b[i] for i in range(n))
    return sab / math.sqrt(saa * sbb) if saa > 0 and sbb > 0 else 0.0


def peak(x, start_ms, end_ms):
    lo = int(start_ms * CAPTURE_RATE / 1000)
    hi = int(end_ms * CAPTURE_RATE / 1000)
    return max((abs(v) for v in x[lo:hi]), default=0.0)


def main():
    cvstack, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    tone = [signal(i) for i in range(int(RATE * SECONDS))]
    write_wav(os.path.join(work, "tone.wav"), tone, RATE, 2)
    write_wav(os.path.join(work, "click.wav"), [0.0] * 200, 11025, 1)

    manifest = {
        "version": 5, "depth": 8, "card_width": 200, "card_height": 100,
        "cards": [
            {"name": "Sounds", "background": {"colour": "#FFFFFF"}, "objects": [
                {"kind": "button", "id": 1, "name": "Play", "rect": [10, 10, 90, 40],
                 "actions": [{"type": "sound", "id": 1, "value4": 256, "value24": 0}]},
                {"kind": "button", "id": 2, "name": "Quiet", "rect": [110, 10, 190, 40],
                 "actions": [{"type": "sound", "id": 2, "value4": 256, "value24": 0}]}]},
            {"name": "Elsewhere", "background": {"colour": "#000000"}}],
        "resources": [
            {"type": "Snd ", "id": 1, "name": "Tone", "wav": "tone.wav"},
            {"type": "Snd ", "id": 2, "name": "Stop All Sounds", "wav": "click.wav"}],
    }
    with open(os.path.join(work, "sounds.json"), "w") as f:
        json.dump(manifest, f)
    subprocess.run([cvstack, "build", os.path.join(work, "sounds.json"), "-o", os.path.join(work, "sounds.stk")],
                   check=True)

    session = f"""open sounds.stk
record-audio heard.wav
expect sound silent
wait {CLICK_MS}
click 50 25
expect sound playing
wait {STOP_MS - CLICK_MS}
expect sound playing
click 150 25
expect sound silent
wait {SECOND_MS - STOP_MS}
click 50 25
expect sound playing
wait 100
command 204
expect card 2
expect sound silent
wait 500
"""
    with open(os.path.join(work, "sounds.session"), "w") as f:
        f.write(session)
    result = subprocess.run([cvstack, "session", os.path.join(work, "sounds.session")],
                            capture_output=True, text=True)
    if result.returncode != 0:
        print(result.stdout + result.stderr)
        return 1

    heard, rate = read_mono(os.path.join(work, "heard.wav"))
    assert rate == CAPTURE_RATE, rate
    reference = resample_linear(tone, RATE, CAPTURE_RATE)
    failures = []

    # Where the sound begins: the best match near the click.
    click = CLICK_MS * CAPTURE_RATE // 1000
    window = int(0.4 * CAPTURE_RATE)  # the part before the stop button
    best_lag, best = None, -2.0
    for lag in range(click - 24, click + int(0.020 * CAPTURE_RATE) + 1, 2):
        c = correlation(reference[:window], heard[lag:lag + window])
        if c > best:
            best, best_lag = c, lag
    for lag in (best_lag - 1, best_lag + 1):
        c = correlation(reference[:window], heard[lag:lag + window])
        if c > best:
            best, best_lag = c, lag
    start_ms = (best_lag - click) * 1000 / CAPTURE_RATE
    print(f"correlation {best:.5f}, sound begins {start_ms:.2f} ms after the click")
    if best < 0.99:
        failures.append(f"the recording correlates with the sound at only {best:.4f}")
    if not 0 <= start_ms <= 20:
        failures.append(f"the sound begins {start_ms:.2f} ms after the click")
    if peak(heard, 0, CLICK_MS - 1) != 0.0:
        failures.append("something was heard before the click")
    if peak(heard, CLICK_MS + 50, STOP_MS - 10) < 0.3:
        failures.append("the sound is too quiet while it plays")
    if peak(heard, STOP_MS + 1, SECOND_MS - 1) != 0.0:
        failures.append("the sound went on after Stop All Sounds")
    if peak(heard, SECOND_MS + 10, SECOND_MS + 90) < 0.3:
        failures.append("the second click was not heard")
    if peak(heard, SECOND_MS + 101, SECOND_MS + 600) != 0.0:
        failures.append("the sound went on after the card was left")
    for f in failures:
        print("FAILED: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
