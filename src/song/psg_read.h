#pragma once

#include "song/psg_format.h"

enum ReadResult {
    READ_COMPLETE,     // the whole file was read
    READ_OPEN_FAILED,  // "Can't open"; nothing changed
    READ_REJECTED,     // "Wrong CMD"; the song keeps what came before the byte
    READ_TOO_BIG,      // "MUSIC_MAX_LEN is reached!"; nothing changed
};

// Reads a PSG file into the song: the file at path (UTF-8), or, when path is
// null, the open file of handle. With reset the song is replaced, otherwise
// the file's frames are appended. Callers may ignore the result.
ReadResult psg_read(const char* path, int handle, bool reset);
