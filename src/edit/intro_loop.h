// An intro and a loop cut out of a recording that plays its tune and then
// goes round part of it again, so that the intro followed by the loop, over
// and over, plays exactly like the recording: on a chip that is never reset
// and in this program's own player (the pieces loaded one after the other).
#pragma once

#include "edit/loops.h"
#include "song/psg_write.h"

#include <QByteArray>

#include <cstdint>

// The repetition the loop candidates are looked for with: 5 s, as `loops`
// does by default.
constexpr uint32_t LOOP_MIN_FRAMES = 250;
// What must remain of the exact repetition after the start has moved, and
// how much of the pass "hear the seam" plays before the join: 2 s.
constexpr uint32_t SEAM_FRAMES = 100;

// Whether frames a and b have the same writes (registers and values, in
// order), as the loop candidates compare them.
bool same_frame_writes(uint32_t a, uint32_t b);

// The first start from candidate c's start on where the loop chains
// exactly: the frames repeat (c says so) and so do registers 0..12 (those
// the frame does not write itself), so the loop piece's opening writes
// change nothing on the second pass. False when that start leaves less
// than SEAM_FRAMES (or c's whole repetition, when shorter) of exact
// repetition.
bool exact_start(const LoopCandidate& c, uint32_t* start);

// Whether the loop the user names chains exactly: frames start + period on
// repeat those a period earlier for at least SEAM_FRAMES (or to the song's
// end), and registers 0..12 repeat at start. When only the registers fail,
// *better (if given) is the first start where they also repeat, or
// UINT32_MAX.
bool loop_chains(uint32_t start, uint32_t period, uint32_t* better = nullptr);

// The candidate a recording's loop is taken from by default: the first
// (best first) that runs to the song's end and chains exactly; a
// repetition that stops before the end is no loop of the song. Its index,
// with *start its exact start, or -1 (also when stop, see find_loops, was
// set).
int default_loop(const std::vector<LoopCandidate>& loops, uint32_t* start, const std::atomic<bool>* stop = nullptr);

// The loop of the song in memory: pick 0 the default candidate among those
// of find_loops (above), pick N the N-th candidate, with its start moved
// where registers 0..12 also repeat. False when there is no such candidate
// or it never repeats exactly enough.
bool choose_loop(int pick, uint32_t* start, uint32_t* period);
// The same among the candidates of at least min_frames frames.
bool choose_loop(int pick, uint32_t* start, uint32_t* period, uint32_t min_frames);

// What the loop piece begins with: registers 0..12 that hold something
// else than 0 at the start of frame start and that the frame does not write
// itself. Never the envelope shape: a pass must not restart the envelope
// unless the song does there.
LeadIn loop_lead_in(uint32_t start);

// Writes frames 0 .. start - 1 under the intro name of chosen and frames
// start .. start + period - 1, opened by loop_lead_in, under its loop name.
// Both are complete before either name is replaced; on failure neither
// changes. The song in memory stays as it is.
bool save_intro_and_loop(const QByteArray& chosen, uint32_t start, uint32_t period);

// The sound of the join as the chain plays it: the last SEAM_FRAMES of the
// pass (the whole pass when shorter) with the chip state that the intro and
// the pass leave, then as many frames of the loop's start, as frames of
// 16-bit stereo samples (FRAME_BYTES each). The playing chip is left alone.
QByteArray seam_sound(uint32_t start, uint32_t period);
