// The song in memory as a YM or VGM file holds it with its loop: a player
// of those files plays the frames once and then jumps back to the loop
// frame for ever.
#pragma once

#include "formats/dump.h"
#include "formats/vgm.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

struct SongExport {
    RegisterDump dump;
    bool has_loop = false;
    uint32_t loop_frame = 0;
    QList<QByteArray> notes;  // why there is no loop point, one line each
};

// The song with the loop chosen for it (period 0: none). A loop that chains
// exactly and whose repetition runs to the song's end gives the intro and
// one pass: frames 0 .. start + period - 1, looping to start, so that a
// player plays what the intro and the loop piece of save_intro_and_loop
// play joined, and after the jump what the song plays in its next pass (the
// loop frame also sets registers 0..12 that the end of the pass leaves
// otherwise). Any other loop gives the whole song without a loop point and
// a note why.
SongExport export_with_loop(uint32_t start, uint32_t period);

// The same with the loop `trelvane-cli loop` takes by default (the best
// candidate of at least LOOP_MIN_FRAMES frames that runs to the end), or
// the whole song without a loop point and a note when there is none.
SongExport export_with_auto_loop();

// The file: a YM file when ym, else a VGM file for chip. info gives the
// clock and the title; the loop comes from song.
QByteArray export_bytes(const SongExport& song, DumpInfo info, bool ym, VgmChip chip);
