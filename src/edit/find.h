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
// progress, when given, receives the progress-bar values of the search:
// the starting percentage and one value per 1,000 starting positions passed,
// then 100 when nothing was found. Returns FIND_NO_MEMORY, with result
// untouched, when the work memory could not be had.
FindStatus find_period(uint32_t from, uint32_t window, FindResult& result,
                       void (*progress)(int percent));
