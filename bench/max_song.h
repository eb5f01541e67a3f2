// The largest song the program holds: FRAMES_MAX_LEN - 1 frame ends with 15
// writes each, 13,499,985 writes in a file of about 28 MB. Made once in a
// temporary file that is removed at exit.
#pragma once

#include "song/song.h"

#include <QTemporaryFile>

constexpr uint32_t WRITES_PER_FRAME = MUSIC_MAX_LEN / FRAMES_MAX_LEN;  // 15

inline QTemporaryFile& max_song()
{
    static QTemporaryFile file;
    if (!file.isOpen() && file.open()) {
        QByteArray bytes("PSG\x1a", 4);
        bytes.append(12, '\0');
        for (uint32_t frame = 0; frame < FRAMES_MAX_LEN - 1; ++frame) {
            for (uint32_t k = 0; k < WRITES_PER_FRAME; ++k) {
                bytes.append(static_cast<char>(k % 14));
                bytes.append(static_cast<char>((frame + k) & 0xFF));
            }
            bytes.append('\xff');
        }
        file.write(bytes);
        file.flush();
    }
    return file;
}
