// Renders the loaded song through the chip model of accurate/psg_model.h.
#pragma once

#include "accurate/psg_model.h"

#include <cstdint>
#include <functional>

struct AccurateSetup {
    PsgSetup chip;
    uint32_t frame_millihertz = 50000;  // frames a second, in 1/1000 Hz
};

// The first output sample of frame f: floor(f * rate / frame rate).
uint64_t accurate_sample_of(const AccurateSetup& setup, uint32_t frame);
// The clock / 8 tick at which frame f's writes reach the chip.
uint64_t accurate_tick_of(const AccurateSetup& setup, uint32_t frame);

// Hands `sink` the stereo pairs of the song from the start of frame `from`
// to the start of frame `to` (to <= frame_count), frame by frame, as
// interleaved left/right samples, as playing the song from frame 0 on a
// reset chip gives them (accurate/accurate_player.h), so a part sounds as
// it does in the whole song. Stops early, returning false, when the sink
// does.
bool accurate_render(const AccurateSetup& setup, uint32_t from, uint32_t to,
                     const std::function<bool(const int16_t* pairs, size_t count)>& sink);
