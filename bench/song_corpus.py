#!/usr/bin/env python3
"""Songs for measuring cuts by ear and by level: tracker-like tunes with a
lead on A, a bass on B (a plain tone, or the envelope as a buzzer restarted
on every note or set once) and drums on C (noise, or a one-shot envelope per
hit), arpeggios and vibrato, some written as raw recordings that write every
register every frame, some with waits. Deterministic: song i comes from seed
1000 + i.

    bench/song_corpus.py DIR N      writes N songs into DIR
"""
import os
import random
import sys


def note_period(n):  # n: semitone number, 0 = C1 (~32.7 Hz); chip clock 1.7734 MHz
    f = 32.703 * 2 ** (n / 12)
    return max(1, min(4095, round(1773400 / (16 * f))))

class Song:
    def __init__(self, raw):
        self.frames = []  # list of list of (reg, value)
        self.raw = raw
        self.regs = [None] * 16
    def frame(self, writes):
        out = []
        state = dict(writes)
        for r, v in writes:
            if r == 13:
                out.append((r, v))  # always a restart
            elif self.raw or self.regs[r] != v:
                out.append((r, v))
            self.regs[r] = v
        if self.raw:  # dumps write every register every frame
            have = {r for r, _ in out}
            for r in range(13):
                if r not in have and self.regs[r] is not None:
                    out.append((r, self.regs[r]))
            out.sort(key=lambda p: p[0] if p[0] != 13 else 99)
        self.frames.append(out)
    def bytes(self, waits):
        b = bytearray(b'PSG\x1a' + bytes(12))
        i = 0
        while i < len(self.frames):
            for r, v in self.frames[i]:
                b += bytes([r, v & 255])
            # runs of empty frames as waits
            j = i + 1
            while j < len(self.frames) and not self.frames[j]:
                j += 1
            empty = j - i - 1
            b.append(0xFF)
            if waits and empty >= 4:
                n = min(empty // 4, 255)
                b += bytes([0xFE, n])
                i += 1 + 4 * n
            else:
                i += 1
        return bytes(b)

def make(seed):
    rnd = random.Random(seed)
    style = {
        'raw': rnd.random() < 0.3,
        'waits': rnd.random() < 0.3,
        'speed': rnd.choice([3, 4, 5, 6, 6, 8]),
        'bass': rnd.choice(['tone', 'buzz_per_note', 'buzz_once', 'tri_per_note', 'tone']),
        'drums': rnd.choice(['noise', 'env_drum', 'noise', 'none']),
        'arp': rnd.random() < 0.5,
        'vibrato': rnd.random() < 0.4,
        'lead_env': rnd.random() < 0.2,   # lead uses a one-shot envelope per note
    }
    song = Song(style['raw'])
    key = rnd.randrange(12)
    scale = [0, 2, 3, 5, 7, 8, 10] if rnd.random() < 0.5 else [0, 2, 4, 5, 7, 9, 11]
    def pattern():
        rows = 32
        lead = []
        for r in range(rows):
            if rnd.random() < 0.6:
                lead.append(36 + key + rnd.choice(scale) + 12 * rnd.choice([0, 0, 1]))
            else:
                lead.append(None)
        bass = [24 + key + rnd.choice([0, 5, 7, 3]) if r % 4 == 0 else None for r in range(rows)]
        drum = [('k' if r % 8 == 0 else 's' if r % 8 == 4 else 'h' if r % 2 == 0 else None) for r in range(rows)]
        chords = [rnd.choice([(0, 4, 7), (0, 3, 7), (0, 5, 9)]) for _ in range(rows // 8)]
        return lead, bass, drum, chords
    pats = [pattern() for _ in range(rnd.randint(2, 4))]
    order = [0] + [rnd.randrange(len(pats)) for _ in range(rnd.randint(5, 9))]
    lead_n = lead_v = bass_n = None
    lead_age = bass_age = drum_age = 99
    drum_kind = None
    env_shape_once = False
    t = 0
    for p in order:
        lead, bass, drum, chords = pats[p]
        for row in range(len(lead)):
            for sub in range(style['speed']):
                w = []
                if sub == 0:
                    if lead[row] is not None:
                        lead_n = lead[row]; lead_age = 0
                    if bass[row] is not None:
                        bass_n = bass[row]; bass_age = 0
                    if drum[row] is not None and style['drums'] != 'none':
                        drum_kind = drum[row]; drum_age = 0
                # lead on A
                mixer = 0b111000  # noise off everywhere, tone on
                if lead_n is not None:
                    n = lead_n
                    if style['arp'] and lead_age < 40:
                        ch = chords[row // 8]
                        n += ch[(t // 1) % 3]
                    per = note_period(n)
                    if style['vibrato'] and lead_age > 6:
                        per += round(per * 0.01 * ((t % 8) - 4) / 4)
                    w += [(0, per & 255), (1, per >> 8)]
                    if style['lead_env']:
                        if lead_age == 0:
                            w += [(11, rnd.choice([40, 80, 120])), (12, 0), (13, 0)]
                        w += [(8, 16)]
                    else:
                        vol = max(0, 15 - lead_age // 3)
                        w += [(8, vol)]
                else:
                    w += [(8, 0)]
                # bass on B
                if bass_n is not None:
                    per = note_period(bass_n)
                    w += [(2, per & 255), (3, per >> 8)]
                    b = style['bass']
                    if b == 'tone':
                        w += [(9, max(0, 14 - bass_age // 4))]
                    else:
                        ep = max(1, per // 16)
                        w += [(11, ep & 255), (12, ep >> 8), (9, 16)]
                        shape = {'buzz_per_note': 8, 'buzz_once': 10, 'tri_per_note': 14}[b]
                        if b == 'buzz_once':
                            if not env_shape_once:
                                w += [(13, shape)]; env_shape_once = True
                        elif bass_age == 0:
                            w += [(13, shape)]
                # drums on C
                if drum_kind is not None and drum_age < 8:
                    if style['drums'] == 'noise':
                        mixer &= ~(1 << 5)  # noise on C
                        if drum_kind == 'k':
                            mixer &= ~(1 << 2)
                            w += [(4, 0), (5, 6 + drum_age), (6, 20 + drum_age)]
                        else:
                            mixer |= (1 << 2)
                            w += [(6, 3 if drum_kind == 'h' else 10)]
                        w += [(10, max(0, 15 - drum_age * (4 if drum_kind == 'h' else 2)))]
                    else:  # a one-shot envelope per hit
                        mixer &= ~(1 << 5)
                        mixer |= (1 << 2)
                        w += [(6, 6 if drum_kind == 'k' else 2)]
                        if drum_age == 0:
                            w += [(11, 0), (12, 6 if drum_kind == 'k' else 2), (13, 0)]
                        w += [(10, 16)]
                else:
                    w += [(10, 0)]
                    mixer |= (1 << 2)
                w += [(7, mixer)]
                song.frame(w)
                lead_age += 1; bass_age += 1; drum_age += 1; t += 1
    return song.bytes(style['waits']), style

if __name__ == '__main__':
    out, n = sys.argv[1], int(sys.argv[2])
    for i in range(n):
        data, style = make(1000 + i)
        name = f"own{i:02d}_{style['bass']}_{style['drums']}{'_raw' if style['raw'] else ''}.psg"
        open(os.path.join(out, name), 'wb').write(data)
        print(name, len(data))
