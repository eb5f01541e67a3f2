// The song in memory as a YM or VGM file, and YM and VGM files read into the
// song: what the window and the command-line tool both do with them, so that
// the two give the same bytes.
#pragma once

#include "formats/dump.h"
#include "formats/vgm.h"
#include "song/psg_read.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

enum ExportFormat { EXPORT_NONE, EXPORT_YM, EXPORT_VGM };

// By the name's ending, in any letter case: ".ym" or ".vgm".
ExportFormat export_format(const QByteArray& name);

// The file's name without its folder and its ending: the title a song
// exported from it carries.
QByteArray file_title(const QByteArray& path);

// Where a file of the song loops back to from its end when the song goes
// round the loop start, period to its last frame: the first frame of a
// repetition whose frames and register image are those the end leads on to,
// so that the jump is seamless. False when the song leaves the loop before
// its end, or no such frame exists.
bool loop_point(uint32_t start, uint32_t period, uint32_t* frame);

// Reads the YM or VGM file at path (plain or packed) whole. On failure
// returns false with the reason in error (without the name).
bool import_file(const QByteArray& path, RegisterDump* dump, DumpInfo* info, QByteArray* error);
// Whether the bytes that open a file are those of a YM or VGM file.
bool is_chip_music(const QByteArray& start);
// What the user is told after an import, one line each: what could not be
// carried over, and a chip clock other than the usual one.
QList<QByteArray> import_notes(const DumpInfo& info);

// Reads the dump into the song as the PSG reader reads a file (reset: the
// song is replaced, otherwise the frames are appended), with its checks and
// reports. READ_FAILED when no temporary file could be made for it.
ReadResult read_dump(const RegisterDump& dump, bool reset);
