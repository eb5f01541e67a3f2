// The song as a PSG file without the writes that cannot change its sound.
#pragma once

#include "song/register_dump.h"

#include <QByteArray>

#include <cstdint>

struct PsgImage {
    QByteArray bytes;  // the whole file: header and commands
    uint32_t writes;   // register writes in it
};

// Frames 0 .. frame_count - 1 as played, with only the writes that make a
// difference: a write to registers 0..12 stays when it is the frame's last
// to that register and leaves it with another value than it held before the
// frame (so a value written again, and a write that a later one in the same
// frame replaces, go). Every write to R13 stays, since each one restarts
// the envelope, and every write to R14 and R15 stays. What playback hands
// the chip besides the writes is taken into account: the register image of
// the next frame that each tick queues, and the register queue's limit of
// REG_QUEUE_MAX pairs a frame (a crowded frame becomes the writes that
// reached the chip), so each frame's register image and envelope restarts
// are exactly what playback gives the chip, and the writes render exactly
// the same samples as the song. The writes after the last frame end, which
// are never played, are left out, as every other writer of the program
// leaves them out.
RegisterDump optimized_dump();
// The same as a PSG file (psg_encode).
PsgImage optimized_psg();

// Frames 0 .. frame_count - 1 with all their writes, runs of frame ends as
// waits where that is shorter: never larger than the file the song was read
// from.
PsgImage plain_psg();
