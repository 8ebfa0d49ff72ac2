#!/usr/bin/env python3
# A plug-in host that goes wrong on purpose, for the player's side of the Windows plug-in
# frames: it greets and loads as nbahost.exe does, then answers the first call with the damage
# CV_FAKE_HOST_CASE names (0-11 chosen ones, any higher number random bytes from that seed;
# -1 a sound answer: 5, with 43 in the data word).
import os
import random
import struct
import sys
import time

BLOCK = 78
HELLO, LOAD, LOADED, CALL, CALLBACK, RETURN = 1, 2, 3, 4, 5, 7
WAITING, IDLE_CALLBACK = 11, 12

out = sys.stdout.buffer
inp = sys.stdin.buffer


def frame(kind, payload=b"", length=None):
    size = len(payload) + 4 if length is None else length
    out.write(struct.pack("<II", size, kind) + payload)
    out.flush()


def read_frame():
    head = inp.read(8)
    if len(head) < 8:
        sys.exit(0)
    size, kind = struct.unpack("<II", head)
    return kind, inp.read(size - 4)


def block(command=0):
    b = bytearray(BLOCK)
    struct.pack_into("<H", b, 46, command)
    return bytes(b)


def u32(v):
    return struct.pack("<I", v)


def damage(case, given):
    cases = {
        0: lambda: frame(RETURN, u32(0) + given[:40]),                        # the block cut short
        1: lambda: frame(RETURN, u32(0) + given + u32(0xFFFFFFFF)),           # endless Handles
        2: lambda: frame(RETURN, u32(0) + given + u32(1) + u32(0) + u32(7) + u32(0x7FFFFFFF)),
        3: lambda: frame(RETURN, u32(0) + given + u32(1) + u32(0) + u32(7) + u32(0xFFFFFFFE)),
        4: lambda: frame(CALLBACK, block(5) + u32(0) + u32(1) + u32(58) + u32(1 << 30)),
        5: lambda: frame(CALLBACK, block(5) + u32(0) + u32(3) + u32(58) + u32(2) + b"x"),
        6: lambda: frame(RETURN, b"", length=0xFFFFFFF0),                     # a frame too big
        7: lambda: frame(RETURN, b"", length=2),                              # shorter than its type
        8: lambda: frame(99, given),                                          # a kind nobody knows
        9: lambda: sys.exit(0),                                               # gone at once
        10: lambda: (out.write(struct.pack("<II", 200, RETURN)), out.flush(), time.sleep(5)),
        11: lambda: [frame(WAITING) for _ in range(3)] + [frame(IDLE_CALLBACK, block(68)[:20])],
    }
    if case == -1:
        sound = bytearray(given)
        sound[28] = 43
        frame(RETURN, u32(5) + bytes(sound) + u32(0) + u32(0))
        return
    if case in cases:
        cases[case]()
        return
    rng = random.Random(case)
    for _ in range(rng.randint(1, 4)):
        kind = rng.choice([CALLBACK, RETURN, WAITING, IDLE_CALLBACK])
        if rng.random() < 0.5:
            body = bytearray(rng.randbytes(rng.randint(0, 600)))
            if len(body) >= 4 + BLOCK and rng.random() < 0.5:
                body[4:4 + BLOCK] = given  # a sane block, the rest not
        else:
            body = bytearray(u32(rng.getrandbits(32)) if kind == RETURN else b"")
            b = bytearray(given)
            struct.pack_into("<H", b, 46, rng.randrange(0, 160))  # a callback command, most of them real
            for off in range(50, 70, 4):
                struct.pack_into("<I", b, off, rng.choice([0, 1, 7, rng.getrandbits(32)]))
            body += b
            handles = rng.randint(0, 3)  # well-formed Handles of random content
            body += u32(handles)
            for _ in range(handles):
                data = rng.randbytes(rng.randint(0, 64))
                body += u32(rng.choice([0, 1, rng.getrandbits(32)])) + u32(rng.getrandbits(32)) + u32(len(data)) + data
            items = rng.randint(0, 3)  # data items for parameters, some at odd offsets
            body += u32(items)
            for _ in range(items):
                data = rng.randbytes(rng.randint(0, 300))
                body += u32(rng.choice([50, 54, 58, 62, 66, rng.getrandbits(32)])) + u32(len(data)) + data
            if rng.random() < 0.2:
                body = body[:rng.randint(0, len(body))]  # cut anywhere
        frame(kind, bytes(body))


def main():
    case = int(os.environ.get("CV_FAKE_HOST_CASE", "0"))
    frame(HELLO, struct.pack("<I", 1))
    while True:
        kind, payload = read_frame()
        if kind == LOAD:
            empty = struct.pack("<I", 0)
            frame(LOADED, struct.pack("<IIIHH", 1, 1, 0, 0, 0) + empty * 3)
        elif kind == CALL:
            damage(case, payload[4:4 + BLOCK])
            time.sleep(5)  # then silent: the player must not wait for more
        elif kind == 9:
            return


main()
