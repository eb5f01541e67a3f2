// What is true of a loop of the song in memory, and how the program says
// it: whether its repetition runs to the song's end, why its start lies
// later than where the frames begin to repeat, and whether the loop piece
// plays right without its intro. The command line and the window both say
// it with these functions.
#pragma once

#include "edit/loops.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

struct LoopFacts {
    uint32_t candidate_start;  // where the frames begin to repeat
    uint32_t start;            // where the loop piece begins
    uint32_t period;
    // The first frame after the repetition (the frames from start + period
    // on repeat those a period earlier up to it); frame_count when the
    // repetition runs to the song's end.
    uint32_t repeat_end;
    bool to_end;
    // When start > candidate_start: the register (0..12) that differs a
    // period later at the candidate's start for the longest, and the first
    // frame from which it no longer does; -1 otherwise.
    int moved_reg;
    uint32_t moved_until;
    // The loop piece played alone from a reset chip (with its opening
    // writes) gives every frame the registers and the envelope it has after
    // the intro. Not so when an envelope that sounds in the loop before the
    // loop restarts it was left by the intro in another state than a reset
    // chip's. The tone and noise generators' phases are not counted.
    bool alone_exact;
};

// The facts of the loop from start with the given period; candidate_start
// (at most start) is where its frames begin to repeat. The chip model is
// left as it was. stop, when given, may be set from another thread: the
// work then gives up early and the facts are not to be used.
LoopFacts loop_facts(uint32_t candidate_start, uint32_t start, uint32_t period,
                     const std::atomic<bool>* stop = nullptr);

// "starts at S (time), not C: Rn differs until frame F"; empty when the
// start did not move.
QByteArray start_moved_text(const LoopFacts& facts);

// For a loop whose repetition stops before the song's end: "its repetition
// stops at frame F (time): the pieces leave out the last N frames (time) of
// the song"; empty for a loop that runs to the end.
QByteArray left_out_text(const LoopFacts& facts);

// Whether the loop piece needs its intro, in a few words.
QByteArray alone_text(const LoopFacts& facts);

// Why the loop the user names from start with the given period does not
// chain exactly (loop_chains), as "the song does not repeat exactly with
// period P from frame S; it does from frame B (time) on", or empty when it
// chains.
QByteArray loop_refusal_text(uint32_t start, uint32_t period);

// Why there is no loop among these candidates (none runs to the end): "no
// loop: the song does not end repeating itself; its longest repetition, D
// from T, stops B before the end". With no candidates at all, only the
// words before the semicolon.
QByteArray no_loop_text(const std::vector<LoopCandidate>& loops);

// How long a candidate's repetition lasts and whether it runs to the end,
// as the lists of candidates say it: "to the end" or "inner, stops T before
// the end".
QByteArray candidate_reach_text(const LoopCandidate& c);
