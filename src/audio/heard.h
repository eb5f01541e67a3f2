// The frame being heard: the playback clock renders ahead of the speakers by
// the sound waiting in the FIFO and the sound the output has taken but not
// played yet. What is shown and chosen while playing is the frame heard.
#pragma once

#include <cstdint>

// The output's own queue: bytes it took from the generator since it started,
// less what its clock says it has played (microseconds at 176,400 bytes a
// second). Never below zero.
uint64_t sink_unplayed_bytes(uint64_t taken_bytes, int64_t played_usecs);

// The frame whose sound leaves the speakers when queued_bytes of rendered
// sound still wait in front of the speakers and next_frame is the frame the
// clock renders next. Not before from_frame, where the playback started or
// last sought (sound queued before that belongs to where it was), and not
// past next_frame.
uint32_t heard_frame(uint32_t next_frame, uint32_t from_frame, uint64_t queued_bytes);
