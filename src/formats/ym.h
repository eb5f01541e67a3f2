// YM files (YM5 and YM6): one image of the chip's sixteen registers a frame,
// with a header that holds the clock, the frame rate and the loop frame.
#pragma once

#include "formats/dump.h"

#include <QByteArray>

// A YM6 file of the dump's frames 0 .. frames() - 1, interleaved and
// uncompressed: each frame's registers as the chip holds them after its
// writes, R13 0xFF where the frame does not restart the envelope. The
// registers keep only the bits the chip has (the others mean effects to YM
// players) and the I/O ports R14 and R15 are 0. info: clock, loop frame
// (frame 0 without a loop: YM players always loop) and title; the frame
// rate is 50.
QByteArray ym_write(const RegisterDump& dump, const DumpInfo& info);

// Reads a YM5 or YM6 file, interleaved or not, plain or packed in an LHA
// archive. Each frame becomes the writes of the registers that changed and,
// where R13 is not 0xFF, an envelope restart. On failure returns false with
// what is wrong in error.
bool ym_read(const QByteArray& file, RegisterDump* dump, DumpInfo* info, QByteArray* error);

// Whether the bytes look like a YM file, packed or not.
bool is_ym(const QByteArray& file);
