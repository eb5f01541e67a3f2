#pragma once

#include <cstdint>

// Writes frames from .. to - 1 of the song as a PSG file: to path (UTF-8),
// which is closed afterwards, or, when path is null, to a new temporary file
// that stays open for reading back. Returns the file's handle, or -1 when the
// file could not be created or not be written completely (then a named file
// is removed rather than left half-written).
int psg_write(uint32_t from, const char* path, uint32_t to);
