#pragma once

#include <cstdint>

// Register writes that go in front of the first written frame's own writes.
struct LeadIn {
    int count;
    uint8_t reg[16];
    uint8_t value[16];
};

// Writes frames from .. to - 1 of the song as a PSG file: to path (UTF-8),
// which is closed afterwards, or, when path is null, to a new temporary file
// that stays open for reading back. With lead_in, its writes open the first
// frame (not when no frame is written). Returns the file's handle, or -1
// when the file could not be created or not be written completely (then a
// named file is removed rather than left half-written).
int psg_write(uint32_t from, const char* path, uint32_t to, const LeadIn* lead_in = nullptr);
