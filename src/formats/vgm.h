// VGM files: a sample-exact log of chip writes at 44,100 samples a second,
// here of one AY-3-8910 or YM2149.
#pragma once

#include "formats/dump.h"

#include <QByteArray>

enum VgmChip { VGM_AY8910, VGM_YM2149 };

constexpr uint32_t VGM_FRAME_SAMPLES = 882;  // one 50 Hz frame at 44,100 Hz
// The largest clock a VGM header holds: bits 30 and 31 are flags.
constexpr uint32_t VGM_CLOCK_MAX = (1u << 30) - 1;

// A VGM 1.71 file of the dump's frames 0 .. frames() - 1: each frame's
// writes (0xA0), then a wait of 882 samples (0x63); the end marker, the
// total sample count, with a loop the loop offset and sample count at the
// first command of the loop frame, and a GD3 tag with the title.
QByteArray vgm_write(const RegisterDump& dump, const DumpInfo& info, VgmChip chip);

// Reads a VGM file, plain or gzip-packed (.vgz): the writes of the first
// AY-3-8910 / YM2149 in 50 Hz frames (a write between two frame boundaries
// goes to the frame it falls in, with a note), other chips' commands
// skipped with a note. The frames run to the end of the last wait. On
// failure returns false with what is wrong in error.
bool vgm_read(const QByteArray& file, RegisterDump* dump, DumpInfo* info, QByteArray* error);

bool is_vgm(const QByteArray& file);
