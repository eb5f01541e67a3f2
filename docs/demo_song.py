#!/usr/bin/env python3
"""Writes the demo song of the README's picture: 7.7 s of intro (bass and
drums), then a 15.4-second loop (a tune on A, an enveloped bass on B, drums
and chords on C) played twice. A tracker-like player writes a register only
when its value changes.

Usage: demo_song.py OUT.psg
"""
import sys

RATE = 50
ROW = 12  # frames a row


def period(midi):
    freq = 440.0 * 2 ** ((midi - 69) / 12)
    return max(1, min(4095, round(44100 * 800 / 318 / freq)))


# Rows of the intro (32 rows) and the loop (64 rows); None holds the note.
BASS = [40, None, 40, None, 43, None, 45, None] * 4
TUNE = [64, None, 67, 69, 71, None, 69, 67, 64, None, None, 62, 64, None, None, None,
        67, None, 69, 71, 74, None, 72, 71, 69, None, 67, None, 69, None, None, None,
        72, None, 71, 69, 67, None, 69, 71, 72, None, 74, None, 76, None, None, None,
        74, 72, 71, 69, 67, None, 64, 62, 64, None, None, None, None, None, None, None]
CHORDS = [[52, 55, 59], [55, 59, 62], [57, 60, 64], [55, 59, 62]]


def frames():
    """Register values for every frame."""
    out = []
    regs = [0] * 14
    tune_note = tune_age = None
    for part, count in (("intro", 32), ("loop", 64), ("loop", 64)):
        for r in range(count):
            bass = BASS[r % len(BASS)]
            tune = TUNE[r] if part == "loop" else None
            if tune is not None:
                tune_note, tune_age = tune, 0
            drum = "kick" if r % 8 == 0 else "snare" if r % 8 == 4 else None
            chord = CHORDS[(r // 8) % 4]
            for f in range(ROW):
                regs = list(regs)
                # A: the tune, falling from 14 to 7 over a note.
                if part == "loop" and tune_note is not None:
                    p = period(tune_note + (0.15 if (tune_age // 2) % 2 else 0))
                    regs[0], regs[1] = p & 0xFF, p >> 8
                    regs[8] = max(7, 14 - tune_age // 3)
                    tune_age += 1
                else:
                    regs[8] = 0
                # B: the bass, on the envelope (a falling saw-tooth) restarted
                # on each new note.
                if bass is not None and f == 0:
                    p = period(bass)
                    regs[2], regs[3] = p & 0xFF, p >> 8
                    regs[9] = 0x10
                    regs[11], regs[12] = 0x00, 0x08
                    regs[13] = 8
                    out.append((list(regs), True))
                    continue
                # C: a noise drum for two frames, then a quiet arpeggio.
                if drum and f < 2:
                    regs[6] = 2 if drum == "kick" else 12
                    regs[7] = 0b00011100  # noise on C, tone on A and B
                    regs[10] = 13 - 3 * f
                else:
                    p = period(chord[f % 3] + 12)
                    regs[4], regs[5] = p & 0xFF, p >> 8
                    regs[7] = 0b00111000
                    regs[10] = 6 if part == "loop" else 4
                out.append((list(regs), False))
    return out


def main():
    data = bytearray(b"PSG\x1a" + bytes(12))
    held = [0] * 14
    for regs, restart in frames():
        for r in range(13):
            if regs[r] != held[r]:
                data += bytes((r, regs[r]))
                held[r] = regs[r]
        if restart:
            data += bytes((13, regs[13]))
        data.append(0xFF)
    with open(sys.argv[1], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
