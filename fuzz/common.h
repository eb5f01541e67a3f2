// What the fuzz targets share: a quiet core, PSG bytes read through the file
// table without a file on the disk, the song that bytes describe worked out
// straight from the format's command table, and the song model's rules.
//
// The 16-byte PSG header is not read by the reader, so the targets take
// their own parameters (a cut position, a search window, ...) from header
// bytes 4 to 15: every target starts from the same seed files.
#pragma once

#include "song/psg_read.h"
#include "song/song.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Aborts, naming what failed, when ok is false.
void check(bool ok, const char* what);

// Once per process, on the first input: no message boxes or diagnostics,
// temporary files in memory where the system has such a folder.
void fuzz_init();

// Header byte 4 + k of an input (k < 12), 0 past its end.
uint8_t param(const uint8_t* data, size_t size, size_t k);

// The song that bytes describe as a PSG file read onto a song whose last
// frame is first_frame: each write with its frame, the frame ends, and
// whether an undefined byte stops the reading. A command cut short by the end
// of the file is left out.
struct Expected {
    std::vector<MusicEvent> writes;
    uint64_t ends = 0;
    bool rejected = false;
};
Expected describe(const uint8_t* data, size_t size, uint32_t first_frame = 0);

// Songs longer than this are left out: they take the same paths as shorter
// ones, frame after frame, and the reader fills a record for each frame (a
// wait of two bytes makes 1,020 of them), so a few such inputs in the corpus
// cost more than all the others. Files too big for the song are still read:
// the reader turns them away after counting, at little cost.
constexpr uint64_t FUZZ_MAX_FRAMES = 4096;
bool too_long_to_fuzz(const Expected& e);

// Reads bytes as a PSG file through the file table, as psg_read does a file,
// from a file in memory; the file object is released afterwards.
ReadResult read_bytes(const uint8_t* data, size_t size, bool reset);

bool same_write(const MusicEvent& a, const MusicEvent& b);

// The rules every reader of the model relies on. Register images run from
// zero and take every write before their frame; writes from index
// `restart_write` on belong to a file appended after frame `restart_frame`,
// whose images start from zero again after that frame.
void check_model(uint32_t restart_frame = UINT32_MAX, uint32_t restart_write = UINT32_MAX);

// The file table keeps every file object for the life of the process; the
// targets let go of them between inputs.
void release_files();

// A folder of the process's own for the files a target writes by name,
// removed at exit.
const char* fuzz_dir();
