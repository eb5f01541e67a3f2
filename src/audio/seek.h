// The chip at any frame of the song.
#pragma once

#include "audio/chip.h"

#include <cstdint>

// Puts `chip` into exactly the state that playing the song from frame 0 on
// a freshly reset chip reaches at the start of frame `frame`
// (0..frame_count): every register, counter and envelope phase and the
// noise generator's position. Frame 0 is a reset chip. It walks the writes
// and moves the counters on arithmetically between the frames that change a
// register, so it takes time in proportion to the writes before the frame,
// not to the sound.
void chip_seek(ChipState& chip, uint32_t frame);

// The same state as a value, for work of its own beside playback.
ChipState chip_state_at(uint32_t frame);

// The playing chip goes there, with an empty register queue.
void chip_seek(uint32_t frame);
