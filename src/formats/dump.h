// What the YM and VGM files say besides their register writes, which they
// carry as a RegisterDump (song/register_dump.h).
#pragma once

#include "song/register_dump.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

struct DumpInfo {
    uint32_t clock = 0;       // Hz
    uint32_t frame_rate = 0;  // frames a second
    bool has_loop = false;
    uint32_t loop_frame = 0;
    QByteArray title;         // UTF-8
    QList<QByteArray> notes;  // what the reader could not carry over, one line each
};

// The chip clock a song is exported at unless told otherwise.
constexpr uint32_t DEFAULT_CLOCK = 1773400;
