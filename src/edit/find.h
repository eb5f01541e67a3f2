// The search for the first place where the song repeats itself.
#pragma once

#include <cstdint>

constexpr uint32_t FIND_WINDOW = 12000;

struct FindResult {
    bool found;
    uint32_t i;      // start of the first occurrence
    uint32_t j;      // start of the repetition (the next search starts here)
    uint32_t frame;  // frame of the repetition's first write
};

enum FindStatus { FIND_DONE, FIND_NO_MEMORY };

// Looks at the song's writes of frames 0 .. frame_count - 1 (the work
// sequence E, compared by register and value only) for the smallest start
// i >= from with i < floor(M / 2) such that the window of `window` writes at
// i recurs at some j > i with j + window < M, and for that i the smallest j.
//
// The work sequence is not copied; the search needs at most about 9.5 bytes
// of work memory per write of E and runs in expected time linear in M.
//
// progress, when given, receives the progress-bar values of the search
// (range 0 to 100): floor(from * 100 / half) when from < half, then
// floor(m * 100 / half) for every multiple m of 1,000 among the starts tried
// (from .. i when found, from .. half - 1 otherwise), then 100 when nothing
// was found. The starting value goes out when the search begins, the others
// when it is over. Returns FIND_NO_MEMORY, with result untouched and no progress
// reported, when the work memory could not be had.
FindStatus find_period(uint32_t from, uint32_t window, FindResult& result, void (*progress)(int percent));
