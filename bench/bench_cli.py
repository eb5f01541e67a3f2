#!/usr/bin/env python3
"""Writes the song that scripts/bench.sh times `trelvane-cli find` on.

About 100,000 register writes, ten to a frame: an intro of 10,000 writes,
then a body of 40,000 writes played two and a quarter times. The search
finds the loop at write 50,000 (frame 5,000).

Usage: bench_cli.py OUT.psg
"""
import random
import sys

INTRO, BODY, PER_FRAME = 10_000, 40_000, 10


def writes(count, rng):
    return [(rng.randrange(14), rng.randrange(256)) for _ in range(count)]


def main():
    rng = random.Random(2024)
    intro, body = writes(INTRO, rng), writes(BODY, rng)
    song = intro + body + body + body[: BODY // 4]
    out = bytearray(b"PSG\x1a" + bytes(12))
    for k, (reg, value) in enumerate(song):
        out += bytes((reg, value))
        if (k + 1) % PER_FRAME == 0:
            out.append(0xFF)
    out.append(0xFF)
    with open(sys.argv[1], "wb") as f:
        f.write(out)
    print(f"{sys.argv[1]}: {len(song)} writes, {len(song) // PER_FRAME + 1} frames")


if __name__ == "__main__":
    main()
