#pragma once

#include "song/psg_format.h"

#include <QtGlobal>

enum ReadResult {
    READ_COMPLETE,     // the whole file was read
    READ_OPEN_FAILED,  // "Can't open"; nothing changed
    READ_REJECTED,     // "Wrong CMD"; the song keeps what came before the byte
    READ_TOO_BIG,      // "MUSIC_MAX_LEN is reached!"; nothing changed
    READ_NOT_PSG,      // no "PSG" 0x1A signature while one is required; nothing changed
    READ_FAILED,       // "Can't read": the input failed; nothing changed
};

// Whether a file must begin with "PSG" 0x1A to be read. Off by default: the
// window reads whatever follows the 16-byte header; the command-line tool
// turns it on and refuses other files.
extern bool psg_require_signature;

// Where a rejected read stopped: the undefined byte, and how many bytes of
// the file follow it (-1 when that is not known, as for a pipe).
struct ReadStop {
    uint8_t byte = 0;
    qint64 after = -1;
};

// Reads a PSG file into the song: the file at path (bytes), or, when path is
// null, the open file of handle; a pipe or a device is read like a file.
// With reset the song is replaced, otherwise the file's frames are
// appended. The input is read once and stops as soon as the song could not
// hold it. Callers may ignore the result; stop, when given, is filled in on
// READ_REJECTED.
ReadResult psg_read(const char* path, int handle, bool reset, ReadStop* stop = nullptr);
