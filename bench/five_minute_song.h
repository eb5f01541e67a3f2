// A five-minute song (15,000 frames) of about ten writes a frame, made and
// read once: three moving tones, noise on channel C every fourth frame and
// an envelope restarted every sixteenth.
#pragma once

#include "song/psg_read.h"
#include "song/song.h"

#include <QTemporaryFile>

constexpr uint32_t SONG_FRAMES = 5 * 60 * FRAME_RATE;

inline void put(QByteArray& s, int reg, uint32_t value)
{
    s.append(static_cast<char>(reg));
    s.append(static_cast<char>(value & 0xFF));
}

inline bool load_five_minute_song()
{
    QByteArray s("PSG\x1a", 4);
    s.append(12, '\0');
    for (uint32_t f = 0; f < SONG_FRAMES; ++f) {
        for (int c = 0; c < 3; ++c) {
            const uint32_t period = 60 + (f * (c + 3) % 400);
            put(s, 2 * c, period);
            put(s, 2 * c + 1, period >> 8);
            put(s, 8 + c, c == 1 ? 0x10 : 8 + f % 8);
        }
        if (f % 4 == 0) {
            put(s, 6, f % 32);
            put(s, 7, f % 8 == 0 ? 0x18 : 0x38);
        }
        if (f % 16 == 0) {
            put(s, 11, f % 200);
            put(s, 12, 0);
            put(s, 13, 8 + f / 16 % 8);
        }
        s.append('\xff');
    }
    QTemporaryFile file;
    if (!file.open() || file.write(s) != s.size() || !file.flush())
        return false;
    return psg_read(file.fileName().toUtf8().constData(), 0, true) == READ_COMPLETE && frame_count == SONG_FRAMES;
}
