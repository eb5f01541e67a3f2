// The chip at any frame of the song.
#pragma once

#include <cstdint>

// Puts the chip model into exactly the state that playing the song from
// frame 0 on a freshly reset chip reaches at the start of frame `frame`
// (0..frame_count): every register, counter and envelope phase and the
// noise generator's position, with an empty register queue. Frame 0 is a
// reset chip. It walks the writes and moves the counters on arithmetically
// between the frames that change a register, so it takes time in proportion
// to the writes before the frame, not to the sound.
void chip_seek(uint32_t frame);
