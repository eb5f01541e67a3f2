// Where a recording plays part of itself again: the loop candidates.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

// Frames compare by their writes (registers and values, in order). A
// candidate: from frame start + period on, each of `length` frames repeats
// the frame `period` frames earlier; start + period is where the second pass
// begins, the cut position that keeps the intro and one pass of the loop.
struct LoopCandidate {
    uint32_t start;
    uint32_t period;
    uint32_t length;
    bool to_end;  // the repetition runs to the song's last frame
};

// The candidates whose repetition lasts at least min_frames frames (1 or
// more) and is as long as it can be at both ends, best first: those that run
// to the end, then by earliest start, then by shortest period. Left out, as
// nothing a loop is made of: a stretch of one frame over and over (period 1);
// a period that is a multiple of a shorter one over the same frames (a loop
// played three times also repeats at twice its period); and a repetition
// whose frames are themselves at least two rounds of a shorter period (the
// silences of a recording repeat one another at every distance).
//
// Repetitions that run to the end are all found, in time linear in the
// song. The others are found by comparing each stretch of (min_frames + 1)
// / 2 frames at a multiple of that length with its LOOP_NEAREST nearest
// earlier copies, which catches every repetition that some such stretch of
// it has among its nearest copies.
//
// stop, when given, may be set from another thread: the search then gives
// up within a few milliseconds and returns no candidates.
std::vector<LoopCandidate> find_loops(uint32_t min_frames, const std::atomic<bool>* stop = nullptr);

inline bool stop_asked(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

constexpr int LOOP_NEAREST = 64;

// Each frame 0 .. frame_count - 1 as a number: equal numbers for frames with
// the same writes, 0 for frames without writes.
std::vector<uint32_t> frame_ids(const std::atomic<bool>* stop = nullptr);
