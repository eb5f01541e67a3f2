// Recordings that play a song and then go round its loop again, built to
// make an intro and a loop hard to get right.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

struct LoopSong {
    const char* name;
    QByteArray bytes;  // the PSG file
    uint32_t start;    // where an exact loop can start; UINT32_MAX: none
    uint32_t period;
};

enum LoopSongKind {
    REWRITTEN_IN_LOOP,  // a register set in the intro is rewritten inside the loop
    ENVELOPE_RUNS_ON,   // an envelope started once in the intro sounds through the loop
    LOOP_AT_FRAME_0,    // the loop is the whole song
    NEVER_REPEATS,      // nothing repeats
};

LoopSong loop_song(LoopSongKind kind);

// The PCM of intro + loop over and over as a player that streams the
// files' commands plays it on a chip that is never reset: frames of
// FRAME_BYTES, `frames` of them. The chip model is reset first.
QByteArray streamed_chain(const QByteArray& intro, const QByteArray& loop, uint32_t frames);
