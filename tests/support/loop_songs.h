// Recordings that play a song and then go round its loop again, built to
// make an intro and a loop hard to get right.
#pragma once

#include <QByteArray>

#include <cstdint>

enum LoopSongKind {
    REWRITTEN_IN_LOOP,  // a register set in the intro is rewritten inside the loop
    ENVELOPE_RUNS_ON,   // an envelope started once in the intro sounds through the loop
    LOOP_AT_FRAME_0,    // the loop is the whole song
    NEVER_REPEATS,
    // A register of the intro rewritten where 2 s of the repetition remain,
    // or one frame later: then the registers repeat too briefly to loop.
    REWRITTEN_2S_BEFORE_THE_END,
    REWRITTEN_TOO_LATE,
    SAME_VALUE_AT_START,  // the loop's first frame writes what a register holds; the pass changes it
    REPEATS_INSIDE,       // a stretch played twice, then more of the song: no loop
    SET_JUST_BEFORE,      // a register the loop holds is set in the frame before it
    TWO_REWRITTEN,        // two registers of the intro rewritten in the same frame of the loop
    ENVELOPE_AT_REST,     // a channel on an envelope at rest at 0 (never started)
    ENVELOPE_RESTED,      // the same on one that came to rest at 0 after a decay
};

struct LoopSong {
    const char* name;
    QByteArray bytes;  // the PSG file
    uint32_t start;    // where the exact loop starts; UINT32_MAX: none
    uint32_t period;
};
LoopSong loop_song(LoopSongKind kind);

// The first `frames` frames of intro + loop + loop ... as a player plays them
// that streams the files' commands to a chip it never resets.
QByteArray streamed_chain(const QByteArray& intro, const QByteArray& loop, uint32_t frames);
