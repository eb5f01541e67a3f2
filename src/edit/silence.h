// Where a recording is silent, judged on the sound it renders.
#pragma once

#include <cstdint>
#include <vector>

// Frames from .. to - 1 of the song.
struct FrameRange {
    uint32_t from;
    uint32_t to;
};

// Plays the song once from frame 0 to its end, as render does, on a chip of
// its own, and tells for each frame 0 .. frame_count - 1 whether it is
// silent: every sample it renders the same on each side (a constant level
// is silence too). progress, when given, gets the share done in percent now
// and then.
std::vector<bool> silent_frames(void (*progress)(int percent) = nullptr);

// The stretches between runs of at least min_silent (1 or more) silent
// frames, each from its first sounding frame to its last (shorter silences
// inside stay in); none when no frame sounds.
std::vector<FrameRange> sounding_parts(const std::vector<bool>& silent, uint32_t min_silent);
